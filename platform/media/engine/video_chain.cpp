#include "engine/video_chain.h"

#include "engine/decoder.h"
#include "engine/segment_pool.h"
#include "engine/writer_profile.h"

namespace media::engine {
namespace {

// Converted pictures waiting for the encoder of a single run.
constexpr std::size_t kQueuedPictures = 8;

}  // namespace

HRESULT VideoChain::Create(const AVStream& stream, REFERENCE_TIME origin, std::unique_ptr<StreamChain>* chain) {
  auto self = std::make_unique<VideoChain>(ConstructionKey<VideoChain>());
  // The decoder is opened here only to know that the stream can be decoded; each run opens its own.
  CodecContextPtr decoder;
  if (HRESULT hr = OpenDecoder(stream, &decoder, 1); FAILED(hr)) return hr;
  if (HRESULT hr = VideoFormatOf(stream, origin, &self->format_); FAILED(hr)) return hr;
  if (HRESULT hr = OpenVideoEncoder(self->format_, &self->encoder_); FAILED(hr)) return hr;
  *chain = std::move(self);
  return S_OK;
}

HRESULT VideoChain::Run(PacketQueue& input, WriterInput output, std::stop_token stop) {
  if (const int workers = VideoWorkers(); workers > 1) {
    SegmentPool pool(format_, workers);
    return pool.Run(input, output, stop);
  }
  SegmentEncoder encoder(format_, SegmentRange{std::nullopt, [] { return std::optional<int64_t>(); }, 0});
  const auto deliver = [&](PacketPtr packet, std::stop_token s) {
    const REFERENCE_TIME time = ToMediaTime(packet->dts, profile::kVideoTimeBase);
    const REFERENCE_TIME end = ToMediaTime(packet->pts + packet->duration, profile::kVideoTimeBase);
    return output.Deliver(std::move(packet), time, end, s);
  };
  const HRESULT hr =
      encoder.Run([&input](std::stop_token s) { return input.Pop(s); }, deliver, stop, 0, kQueuedPictures);
  if (SUCCEEDED(hr) && !stop.stop_requested()) output.End();
  return hr;
}

}  // namespace media::engine
