#include "engine/decoder.h"

#include "engine/input_limits.h"
#include "engine/status.h"

namespace media::engine {

HRESULT OpenDecoder(const AVStream& stream, CodecContextPtr* decoder, int threads) {
  if (HRESULT hr = limits::CheckStream(*stream.codecpar); FAILED(hr)) return hr;
  const AVCodec* codec = avcodec_find_decoder(stream.codecpar->codec_id);
  if (!codec) return VFW_E_CANNOT_RENDER;
  CodecContextPtr context(avcodec_alloc_context3(codec));
  if (!context) return E_OUTOFMEMORY;
  if (avcodec_parameters_to_context(context.get(), stream.codecpar) < 0) return VFW_E_CANNOT_RENDER;
  context->pkt_timebase = stream.time_base;
  limits::LimitDecoder(*context);
  context->thread_count = threads;
  if (avcodec_open2(context.get(), codec, nullptr) < 0) return VFW_E_CANNOT_RENDER;
  *decoder = std::move(context);
  return S_OK;
}

namespace {

// Hands every frame the decoder has ready to onFrame.
HRESULT ReceiveFrames(AVCodecContext& decoder, AVFrame& frame, const std::function<HRESULT(AVFrame&)>& onFrame) {
  for (int damaged = 0; damaged < 64;) {
    const int rc = avcodec_receive_frame(&decoder, &frame);
    if (rc == AVERROR(EAGAIN) || rc == AVERROR_EOF) return S_OK;
    if (rc == AVERROR(ENOMEM)) return E_OUTOFMEMORY;
    if (rc < 0) {  // a damaged frame: the decoder goes on with the next one
      ++damaged;
      continue;
    }
    damaged = 0;
    const HRESULT hr = onFrame(frame);
    av_frame_unref(&frame);
    if (FAILED(hr)) return hr;
  }
  return S_OK;
}

}  // namespace

HRESULT DecodeStream(AVCodecContext& decoder, BoundedQueue<PacketPtr>& input, std::stop_token stop,
                     const std::function<HRESULT(AVFrame&)>& onFrame) {
  return DecodeStream(decoder, [&input](std::stop_token s) { return input.Pop(s); }, stop, onFrame);
}

HRESULT DecodeStream(AVCodecContext& decoder, const PacketSource& next, std::stop_token stop,
                     const std::function<HRESULT(AVFrame&)>& onFrame) {
  FramePtr frame = NewFrame();
  if (!frame) return E_OUTOFMEMORY;
  while (auto packet = next(stop)) {
    int rc = avcodec_send_packet(&decoder, packet->get());
    if (rc == AVERROR(EAGAIN)) {
      // Full: take what is ready, then the packet fits.
      if (HRESULT hr = ReceiveFrames(decoder, *frame, onFrame); FAILED(hr)) return hr;
      rc = avcodec_send_packet(&decoder, packet->get());
    }
    if (rc == AVERROR(ENOMEM)) return E_OUTOFMEMORY;
    // Any other refusal is a damaged packet: dropped.
    if (HRESULT hr = ReceiveFrames(decoder, *frame, onFrame); FAILED(hr)) return hr;
  }
  if (stop.stop_requested()) return S_OK;
  avcodec_send_packet(&decoder, nullptr);
  return ReceiveFrames(decoder, *frame, onFrame);
}

}  // namespace media::engine
