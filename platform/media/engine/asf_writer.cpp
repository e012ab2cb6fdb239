#include "engine/asf_writer.h"

#include <signal.h>

#include <algorithm>
#include <chrono>
#include <thread>

#include "engine/media_time.h"

namespace media::engine {
namespace {

// What each input may have waiting. The video chain delivers the pictures of several seconds at once,
// well after their sound, so the sound's input holds minutes of it (a few MB at most). The picture's
// input holds seconds: while it is not full, a burst of pictures waits for sound still being encoded
// rather than being written ahead of it; once it is, the source is taken to be stalled on it.
constexpr InputLimit kVideoLimit{2048, 10 * kUnitsPerSecond};
constexpr InputLimit kAudioLimit{4096};

void RaiseTo(std::atomic<REFERENCE_TIME>& value, REFERENCE_TIME to) {
  REFERENCE_TIME seen = value.load();
  while (to > seen && !value.compare_exchange_weak(seen, to)) {
  }
}

}  // namespace

AsfWriter::AsfWriter(ConstructionKey<AsfWriter>, const std::vector<InputLimit>& limits) : interleaver_(limits) {}

HRESULT AsfWriter::Create(const std::string& name, const std::vector<const AVCodecContext*>& inputs,
                          std::unique_ptr<AsfWriter>* writer) {
  std::vector<InputLimit> limits;
  for (const AVCodecContext* encoder : inputs)
    limits.push_back(encoder->codec_type == AVMEDIA_TYPE_AUDIO ? kAudioLimit : kVideoLimit);
  auto self = std::make_unique<AsfWriter>(ConstructionKey<AsfWriter>(), limits);
  if (HRESULT hr = OutputFile::Create(name, &self->file_); FAILED(hr)) return hr;
  if (HRESULT hr = AsfMuxer::Create(&self->muxer_); FAILED(hr)) return hr;
  for (const AVCodecContext* encoder : inputs)
    if (HRESULT hr = self->muxer_->AddStream(*encoder); FAILED(hr)) return hr;
  *writer = std::move(self);
  return S_OK;
}

bool AsfWriter::WaitForClock(IReferenceClock* clock, REFERENCE_TIME time, std::stop_token stop) const {
  if (!clock) return !stop.stop_requested();
  for (;;) {
    if (stop.stop_requested()) return false;
    REFERENCE_TIME now = 0;
    if (FAILED(clock->GetTime(&now))) return true;
    const REFERENCE_TIME left = time - (now - clockStart_);
    if (left <= 0) return true;
    std::this_thread::sleep_for(std::chrono::microseconds(std::clamp<REFERENCE_TIME>(left / 10, 100, 5000)));
  }
}

HRESULT AsfWriter::Run(std::stop_token stop, IReferenceClock* clock, std::atomic<REFERENCE_TIME>& position,
                       const std::function<bool()>& failed) {
  // A reader that went away must show up as a failed write, not end the process.
  sigset_t pipe;
  sigemptyset(&pipe);
  sigaddset(&pipe, SIGPIPE);
  pthread_sigmask(SIG_BLOCK, &pipe, nullptr);

  if (HRESULT hr = file_->WaitUntilOpen(stop); hr != S_OK) return hr;  // S_FALSE: stopped before a reader came
  if (HRESULT hr = muxer_->Open(*file_, stop); FAILED(hr)) return hr;
  if (HRESULT hr = muxer_->WriteHeader(); FAILED(hr)) return hr;
  if (clock) clock->GetTime(&clockStart_);

  REFERENCE_TIME end = 0;
  while (auto packet = interleaver_.Pop(stop)) {
    if (!WaitForClock(clock, packet->time, stop)) break;
    const REFERENCE_TIME packetEnd = packet->end;
    if (HRESULT hr = muxer_->Write(*packet); FAILED(hr)) return hr;
    end = std::max(end, packetEnd);
    RaiseTo(position, end);
  }
  if (failed()) return S_OK;  // the file is going to be removed anyway
  // With a clock, the run lasts until the last sample's time is over.
  if (!stop.stop_requested()) WaitForClock(clock, end, stop);
  return muxer_->Finish();
}

}  // namespace media::engine
