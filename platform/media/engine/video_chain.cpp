#include "engine/video_chain.h"

#include <algorithm>
#include <thread>

#include "engine/decoder.h"
#include "engine/status.h"
#include "engine/writer_profile.h"

extern "C" {
#include <libavutil/imgutils.h>
}

namespace media::engine {
namespace {

// Converted pictures waiting for the encoder.
constexpr std::size_t kQueuedPictures = 8;

AVRational SampleAspectRatio(const AVStream& stream) {
  AVRational sar = stream.sample_aspect_ratio;
  if (sar.num <= 0 || sar.den <= 0) sar = stream.codecpar->sample_aspect_ratio;
  if (sar.num <= 0 || sar.den <= 0) return AVRational{0, 1};
  return sar;
}

REFERENCE_TIME FrameDurationOf(const AVStream& stream) {
  for (AVRational rate : {stream.avg_frame_rate, stream.r_frame_rate})
    if (rate.num > 0 && rate.den > 0 && av_q2d(rate) < 1000) return ToMediaTime(1, av_inv_q(rate));
  return kUnitsPerSecond / 25;
}

}  // namespace

HRESULT VideoChain::Create(const AVStream& stream, REFERENCE_TIME origin, std::unique_ptr<StreamChain>* chain) {
  auto self = std::make_unique<VideoChain>(ConstructionKey<VideoChain>(), stream, origin);
  if (HRESULT hr = OpenDecoder(stream, &self->decoder_); FAILED(hr)) return hr;

  // Odd sides are made even by leaving out the last column or row.
  const int width = stream.codecpar->width & ~1;
  const int height = stream.codecpar->height & ~1;
  if (width <= 0 || height <= 0) return VFW_E_CANNOT_RENDER;

  const AVCodec* codec = avcodec_find_encoder(profile::kVideoCodec);
  if (!codec) return VFW_E_CANNOT_RENDER;
  self->encoder_.reset(avcodec_alloc_context3(codec));
  AVCodecContext* enc = self->encoder_.get();
  if (!enc) return E_OUTOFMEMORY;
  enc->width = width;
  enc->height = height;
  enc->pix_fmt = profile::kPixelFormat;
  enc->sample_aspect_ratio = SampleAspectRatio(stream);
  enc->time_base = profile::kVideoTimeBase;
  if (stream.avg_frame_rate.num > 0 && stream.avg_frame_rate.den > 0) enc->framerate = stream.avg_frame_rate;
  enc->flags |= AV_CODEC_FLAG_QSCALE | AV_CODEC_FLAG_GLOBAL_HEADER;
  enc->global_quality = FF_QP2LAMBDA * profile::kQuantizer;
  enc->max_b_frames = 0;
  enc->gop_size = 1000;  // keyframes are placed by time, see Encode
  if (avcodec_open2(enc, codec, nullptr) < 0) return VFW_E_CANNOT_RENDER;

  self->defaultFrameDuration_ = FrameDurationOf(stream);
  self->format_ = {enc->width, enc->height, enc->global_quality, enc->sample_aspect_ratio};
  *chain = std::move(self);
  return S_OK;
}

HRESULT VideoChain::Run(PacketQueue& input, WriterInput output, std::stop_token stop) {
  PictureQueue pictures(kQueuedPictures);
  // The encoder gives up when the graph stops or when decoding failed.
  std::stop_source encoderStop;
  const std::stop_callback forward(stop, [&] { encoderStop.request_stop(); });
  HRESULT encoded = S_OK;
  HRESULT decoded = S_OK;
  {
    std::jthread encoder([&] {
      encoded = EncodePictures(pictures, output, encoderStop.get_token());
      pictures.Close();  // a failed encoder takes no more: the decoding side stops pushing
    });
    decoded = DecodeStream(*decoder_, input, stop, [&](AVFrame& frame) { return OnFrame(frame, pictures, stop); });
    if (FAILED(decoded)) encoderStop.request_stop();
    pictures.Close();
  }
  return FAILED(encoded) ? encoded : decoded;
}

HRESULT VideoChain::OnFrame(AVFrame& decoded, PictureQueue& pictures, std::stop_token stop) {
  if (decoded.width <= 0 || decoded.height <= 0 || decoded.format < 0) return S_OK;  // nothing to show
  REFERENCE_TIME time = nextTime_;
  if (decoded.best_effort_timestamp != AV_NOPTS_VALUE)
    time = ToMediaTime(decoded.best_effort_timestamp, stream_.time_base) - origin_;
  // A timestamp far back is a break in the source's clock, not a frame out of place: the frame goes
  // where the previous one ends.
  if (lastPts_ >= 0 && time < nextTime_ - kUnitsPerSecond) time = nextTime_;
  REFERENCE_TIME duration =
      decoded.pkt_duration > 0 ? ToMediaTime(decoded.pkt_duration, stream_.time_base) : defaultFrameDuration_;
  if (duration <= 0) duration = defaultFrameDuration_;

  // Every frame is kept: timestamps the encoder's time base cannot tell apart move up by one tick.
  time = std::max<REFERENCE_TIME>(time, 0);
  int64_t pts = FromMediaTime(time, profile::kVideoTimeBase);
  if (pts <= lastPts_) {
    pts = lastPts_ + 1;
    time = ToMediaTime(pts, profile::kVideoTimeBase);
  }
  lastPts_ = pts;
  nextTime_ = time + duration;  // unrounded, so that frames placed one after another do not drift

  Picture picture{NewFrame(), std::max<int64_t>(FromMediaTime(duration, profile::kVideoTimeBase), 1)};
  if (!picture.frame) return E_OUTOFMEMORY;
  if (HRESULT hr = Convert(decoded, *picture.frame); FAILED(hr)) return hr;
  AVFrame* frame = picture.frame.get();
  frame->pts = pts;
  frame->quality = format_.quality;
  const int64_t maxInterval = FromMediaTime(profile::kMaxKeyframeInterval, profile::kVideoTimeBase);
  if (keyframeDue_ || pts - lastKeyframePts_ >= maxInterval) {
    frame->pict_type = AV_PICTURE_TYPE_I;
    frame->key_frame = 1;
    lastKeyframePts_ = pts;
    keyframeDue_ = false;
  } else {
    frame->pict_type = AV_PICTURE_TYPE_NONE;
    frame->key_frame = 0;
  }
  // Refused when stopping, or when the encoder failed: then decoding ends too.
  if (!pictures.Push(std::move(picture), stop)) return stop.stop_requested() ? S_OK : E_ABORT;
  return S_OK;
}

HRESULT VideoChain::Convert(AVFrame& decoded, AVFrame& picture) {
  const int width = format_.width;
  const int height = format_.height;
  const bool sourceSize = decoded.width == stream_.codecpar->width && decoded.height == stream_.codecpar->height;

  if (decoded.format == profile::kPixelFormat && sourceSize) {
    // Already in the profile's format: the picture is the decoded one, cropped to even sides.
    if (av_frame_ref(&picture, &decoded) < 0) return E_OUTOFMEMORY;
    picture.width = width;
    picture.height = height;
    return S_OK;
  }

  // Cropping to even sides reads only the first columns and rows; other sizes are scaled.
  const int srcWidth = sourceSize ? width : decoded.width;
  const int srcHeight = sourceSize ? height : decoded.height;
  scaler_.reset(sws_getCachedContext(scaler_.release(), srcWidth, srcHeight, static_cast<AVPixelFormat>(decoded.format),
                                     width, height, profile::kPixelFormat, SWS_BICUBIC, nullptr, nullptr, nullptr));
  if (!scaler_) return VFW_E_CANNOT_RENDER;
  picture.format = profile::kPixelFormat;
  picture.width = width;
  picture.height = height;
  if (av_frame_get_buffer(&picture, 0) < 0) return E_OUTOFMEMORY;
  sws_scale(scaler_.get(), decoded.data, decoded.linesize, 0, srcHeight, picture.data, picture.linesize);
  picture.sample_aspect_ratio = format_.sampleAspectRatio;
  return S_OK;
}

HRESULT VideoChain::EncodePictures(PictureQueue& pictures, WriterInput& output, std::stop_token stop) {
  while (auto picture = pictures.Pop(stop)) {
    durations_.emplace_back(picture->frame->pts, picture->duration);
    if (HRESULT hr = Encode(picture->frame.get(), output, stop); FAILED(hr)) return hr;
  }
  if (stop.stop_requested()) return S_OK;
  if (HRESULT hr = Encode(nullptr, output, stop); FAILED(hr)) return hr;
  if (!stop.stop_requested()) output.End();
  return S_OK;
}

HRESULT VideoChain::Encode(AVFrame* frame, WriterInput& output, std::stop_token stop) {
  int rc = avcodec_send_frame(encoder_.get(), frame);
  if (rc < 0 && rc != AVERROR_EOF) return StatusFromAv(rc, E_FAIL);
  for (;;) {
    PacketPtr packet = NewPacket();
    if (!packet) return E_OUTOFMEMORY;
    rc = avcodec_receive_packet(encoder_.get(), packet.get());
    if (rc == AVERROR(EAGAIN) || rc == AVERROR_EOF) return S_OK;
    if (rc < 0) return StatusFromAv(rc, E_FAIL);
    while (!durations_.empty() && durations_.front().first < packet->pts) durations_.pop_front();
    if (!durations_.empty() && durations_.front().first == packet->pts) {
      packet->duration = durations_.front().second;
      durations_.pop_front();
    }
    if (packet->dts == AV_NOPTS_VALUE) packet->dts = packet->pts;
    const REFERENCE_TIME time = ToMediaTime(packet->dts, profile::kVideoTimeBase);
    const REFERENCE_TIME end = ToMediaTime(packet->pts + packet->duration, profile::kVideoTimeBase);
    if (!output.Deliver(std::move(packet), time, end, stop)) return S_OK;  // stopped
  }
}

}  // namespace media::engine
