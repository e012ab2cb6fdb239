#include "engine/segment_encoder.h"

#include <algorithm>
#include <thread>

#include "engine/bounded_queue.h"
#include "engine/media_time.h"
#include "engine/status.h"
#include "engine/writer_profile.h"

namespace media::engine {
namespace {

// What OnFrame answers once the next segment's keyframe picture has come out: decoding ends there.
constexpr HRESULT kRangeEnded = MakeHResult(0x80040fffu);

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

HRESULT VideoFormatOf(const AVStream& stream, REFERENCE_TIME origin, VideoFormat* format) {
  // Odd sides are made even by leaving out the last column or row.
  const int width = stream.codecpar->width & ~1;
  const int height = stream.codecpar->height & ~1;
  if (width <= 0 || height <= 0) return VFW_E_CANNOT_RENDER;
  *format = {&stream, origin, width, height, SampleAspectRatio(stream), FrameDurationOf(stream)};
  return S_OK;
}

HRESULT OpenVideoEncoder(const VideoFormat& format, CodecContextPtr* encoder) {
  const AVCodec* codec = avcodec_find_encoder(profile::kVideoCodec);
  if (!codec) return VFW_E_CANNOT_RENDER;
  CodecContextPtr context(avcodec_alloc_context3(codec));
  AVCodecContext* enc = context.get();
  if (!enc) return E_OUTOFMEMORY;
  enc->width = format.width;
  enc->height = format.height;
  enc->pix_fmt = profile::kPixelFormat;
  enc->sample_aspect_ratio = format.sampleAspectRatio;
  enc->time_base = profile::kVideoTimeBase;
  const AVRational rate = format.stream->avg_frame_rate;
  if (rate.num > 0 && rate.den > 0) enc->framerate = rate;
  enc->flags |= AV_CODEC_FLAG_QSCALE | AV_CODEC_FLAG_GLOBAL_HEADER;
  enc->global_quality = FF_QP2LAMBDA * profile::kQuantizer;
  enc->max_b_frames = 0;
  enc->gop_size = 1000;  // keyframes are placed by time, see OnFrame
  enc->thread_count = 1;
  if (avcodec_open2(enc, codec, nullptr) < 0) return VFW_E_CANNOT_RENDER;
  *encoder = std::move(context);
  return S_OK;
}

HRESULT SegmentEncoder::Run(const PacketSource& next, const EncodedSink& sink, std::stop_token stop,
                            int decoderThreads, std::size_t queuedPictures) {
  if (HRESULT hr = OpenDecoder(*format_.stream, &decoder_, decoderThreads); FAILED(hr)) return hr;
  if (HRESULT hr = OpenVideoEncoder(format_, &encoder_); FAILED(hr)) return hr;
  nextTime_ = range_.startTime;

  BoundedQueue<Picture> pictures(queuedPictures);
  // The encoder gives up when the run stops or when decoding failed.
  std::stop_source encoderStop;
  const std::stop_callback forward(stop, [&] { encoderStop.request_stop(); });
  HRESULT encoded = S_OK;
  HRESULT decoded = S_OK;
  {
    std::jthread encoding([&] {
      const std::stop_token encoderToken = encoderStop.get_token();
      encoded = [&] {
        while (auto picture = pictures.Pop(encoderToken)) {
          durations_.emplace_back(picture->frame->pts, picture->duration);
          if (HRESULT hr = Encode(picture->frame.get(), sink, encoderToken); FAILED(hr)) return hr;
        }
        if (encoderToken.stop_requested()) return S_OK;
        return Encode(nullptr, sink, encoderToken);
      }();
      pictures.Close();  // a failed encoder takes no more: the decoding side stops pushing
    });
    const auto push = [&](Picture picture, std::stop_token s) { return pictures.Push(std::move(picture), s); };
    decoded = DecodeStream(*decoder_, next, stop, [&](AVFrame& frame) { return OnFrame(frame, push, stop); });
    if (decoded == kRangeEnded) decoded = S_OK;
    if (FAILED(decoded)) encoderStop.request_stop();
    pictures.Close();
  }
  return FAILED(encoded) ? encoded : decoded;
}

bool SegmentEncoder::InRange(const AVFrame& decoded) {
  // Without pictures held back for reordering, the first picture out is the keyframe's own, or the
  // keyframe did not decode and the next picture after it is the first of the segment.
  const bool inOrder = decoder_->has_b_frames == 0;
  const int64_t place = decoded.pkt_pos;
  if (!started_) {
    const std::optional<int64_t> first = range_.first;
    if (first && !(place == *first || (inOrder && place > *first))) return false;  // the previous group's
    started_ = true;
  }
  if (const std::optional<int64_t> end = range_.next(); end && (place == *end || (inOrder && place > *end))) {
    ended_ = true;
    return false;
  }
  return true;
}

HRESULT SegmentEncoder::OnFrame(AVFrame& decoded, const std::function<bool(Picture, std::stop_token)>& push,
                                std::stop_token stop) {
  if (decoded.width <= 0 || decoded.height <= 0 || decoded.format < 0) return S_OK;  // nothing to show
  if (!InRange(decoded)) return ended_ ? kRangeEnded : S_OK;
  const AVStream& stream = *format_.stream;
  REFERENCE_TIME time = nextTime_;
  if (decoded.best_effort_timestamp != AV_NOPTS_VALUE)
    time = ToMediaTime(decoded.best_effort_timestamp, stream.time_base) - format_.origin;
  // A timestamp far back is a break in the source's clock, not a frame out of place: the frame goes
  // where the previous one ends.
  if (lastPts_ >= 0 && time < nextTime_ - kUnitsPerSecond) time = nextTime_;
  REFERENCE_TIME duration =
      decoded.pkt_duration > 0 ? ToMediaTime(decoded.pkt_duration, stream.time_base) : format_.defaultFrameDuration;
  if (duration <= 0) duration = format_.defaultFrameDuration;

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
  frame->quality = FF_QP2LAMBDA * profile::kQuantizer;
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
  if (!push(std::move(picture), stop)) return stop.stop_requested() ? S_OK : E_ABORT;
  return S_OK;
}

HRESULT SegmentEncoder::Convert(AVFrame& decoded, AVFrame& picture) {
  const AVStream& stream = *format_.stream;
  const int width = format_.width;
  const int height = format_.height;
  const bool sourceSize = decoded.width == stream.codecpar->width && decoded.height == stream.codecpar->height;

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

HRESULT SegmentEncoder::Encode(AVFrame* frame, const EncodedSink& sink, std::stop_token stop) {
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
    if (!sink(std::move(packet), stop)) return S_OK;  // stopped
  }
}

}  // namespace media::engine
