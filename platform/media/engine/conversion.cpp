#include "engine/conversion.h"

#include <algorithm>
#include <chrono>
#include <map>

namespace media::engine {
namespace {

// Source packets each chain may have waiting: a few frames of raw video, a second or so of audio.
constexpr std::size_t kVideoPackets = 16;
constexpr std::size_t kAudioPackets = 64;

// Reads the source and hands each packet to the queue of its stream's chain; closes them all at the end.
HRESULT ReadSource(MediaSource& source, const std::map<int, PacketQueue*>& queues, std::stop_token stop) {
  for (;;) {
    PacketPtr packet = NewPacket();
    if (!packet) return E_OUTOFMEMORY;
    const HRESULT hr = source.ReadPacket(packet.get());
    if (FAILED(hr)) return hr;
    if (hr == S_FALSE) break;
    const auto it = queues.find(packet->stream_index);
    if (it == queues.end()) continue;
    if (!it->second->Push(std::move(packet), stop)) return S_OK;  // stopped
  }
  for (const auto& [index, queue] : queues) queue->Close();
  return S_OK;
}

}  // namespace

HRESULT Conversion::Start(const ConversionPlan& plan, std::unique_ptr<Conversion>* conversion) {
  conversion->reset();
  auto self = std::make_unique<Conversion>(ConstructionKey<Conversion>());
  self->duration_ = plan.duration;
  self->clock_ = ComPtr<IReferenceClock>(plan.clock);

  // Output times count from the earliest start of the streams each source delivers.
  std::map<MediaSource*, std::vector<int>> sourceStreams;
  for (const auto& route : plan.routes) sourceStreams[route.source].push_back(route.streamIndex);
  std::map<MediaSource*, REFERENCE_TIME> origins;
  for (const auto& [source, indexes] : sourceStreams) {
    if (HRESULT hr = source->Rewind(); FAILED(hr)) return hr;
    origins[source] = source->StartTime(indexes);
  }

  std::vector<std::vector<const AVCodecContext*>> writerInputs(plan.outputs.size());
  std::vector<int> inputOfRoute;
  for (const auto& route : plan.routes) {
    std::unique_ptr<StreamChain> chain;
    if (HRESULT hr =
            CreateStreamChain(*route.source->Stream(route.streamIndex), route.kind, origins[route.source], &chain);
        FAILED(hr))
      return hr;
    inputOfRoute.push_back(static_cast<int>(writerInputs[route.writer].size()));
    writerInputs[route.writer].push_back(&chain->EncodedFormat());
    self->chains_.push_back(std::move(chain));
    self->queues_.push_back(
        std::make_unique<PacketQueue>(route.kind == StreamKind::kVideo ? kVideoPackets : kAudioPackets));
  }
  for (std::size_t w = 0; w < plan.outputs.size(); ++w) {
    if (writerInputs[w].empty()) return VFW_E_NOT_CONNECTED;
    std::unique_ptr<AsfWriter> writer;
    if (HRESULT hr = AsfWriter::Create(plan.outputs[w], writerInputs[w], &writer); FAILED(hr)) return hr;
    self->writers_.push_back(std::move(writer));
  }

  // Streaming starts downstream first: writers, then chains, then the readers that feed them.
  Conversion* c = self.get();
  for (auto& writer : self->writers_) {
    AsfWriter* w = writer.get();
    c->Spawn([c, w](std::stop_token stop) {
      const HRESULT hr = w->Run(stop, c->clock_.Get(), c->position_, [c] { return c->Failed(); });
      if (SUCCEEDED(hr) && !stop.stop_requested()) c->WriterDone();
      return hr;
    });
  }
  for (std::size_t r = 0; r < plan.routes.size(); ++r) {
    StreamChain* chain = self->chains_[r].get();
    PacketQueue* queue = self->queues_[r].get();
    WriterInput output(self->writers_[plan.routes[r].writer]->Inputs(), inputOfRoute[r]);
    c->Spawn([chain, queue, output](std::stop_token stop) { return chain->Run(*queue, output, stop); });
  }
  for (const auto& [source, indexes] : sourceStreams) {
    std::map<int, PacketQueue*> queues;
    for (std::size_t r = 0; r < plan.routes.size(); ++r)
      if (plan.routes[r].source == source) queues[plan.routes[r].streamIndex] = self->queues_[r].get();
    MediaSource* s = source;
    c->Spawn([s, queues](std::stop_token stop) { return ReadSource(*s, queues, stop); });
  }
  *conversion = std::move(self);
  return S_OK;
}

void Conversion::Spawn(std::function<HRESULT(std::stop_token)> work) {
  threads_.emplace_back([this, work = std::move(work), stop = stop_.get_token()] {
    const HRESULT hr = work(stop);
    if (FAILED(hr)) Fail(hr);
  });
}

Conversion::~Conversion() {
  Join();
  for (auto& writer : writers_) writer->Discard();
}

void Conversion::Join() {
  stop_.request_stop();
  threads_.clear();
}

void Conversion::Fail(HRESULT hr) {
  {
    std::lock_guard lock(mutex_);
    if (state_ != State::kRunning) return;
    state_ = State::kFailed;
    failure_ = hr;
  }
  ended_.notify_all();
  stop_.request_stop();
}

bool Conversion::Failed() {
  std::lock_guard lock(mutex_);
  return state_ == State::kFailed;
}

void Conversion::WriterDone() {
  {
    std::lock_guard lock(mutex_);
    if (++writersDone_ < writers_.size() || state_ != State::kRunning) return;
    state_ = State::kComplete;
  }
  ended_.notify_all();
}

HRESULT Conversion::Wait(LONG ms, LONG* eventCode) {
  std::unique_lock lock(mutex_);
  const auto ended = [&] { return state_ != State::kRunning; };
  if (ms < 0)
    ended_.wait(lock, ended);
  else
    ended_.wait_for(lock, std::chrono::milliseconds(ms), ended);
  switch (state_) {
    case State::kRunning:
      *eventCode = 0;
      return E_ABORT;
    case State::kComplete:
      *eventCode = EC_COMPLETE;
      return S_OK;
    case State::kFailed:
      break;
  }
  *eventCode = EC_ERRORABORT;
  return failure_;
}

HRESULT Conversion::Stop() {
  if (stopped_) return S_OK;
  Join();
  stopped_ = true;
  {
    std::lock_guard lock(mutex_);
    if (state_ == State::kFailed) {
      for (auto& writer : writers_) writer->Discard();
      return failure_;
    }
  }
  HRESULT result = S_OK;
  for (auto& writer : writers_) {
    const HRESULT hr = FAILED(result) ? (writer->Discard(), result) : writer->Commit();
    if (FAILED(hr)) result = hr;
  }
  return result;
}

REFERENCE_TIME Conversion::Position() const {
  const REFERENCE_TIME position = position_.load();
  return duration_ ? std::min(position, *duration_) : position;
}

}  // namespace media::engine
