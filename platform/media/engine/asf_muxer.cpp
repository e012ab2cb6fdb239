#include "engine/asf_muxer.h"

#include "engine/fd_io.h"
#include "engine/status.h"

namespace media::engine {

HRESULT AsfMuxer::Create(std::unique_ptr<AsfMuxer>* muxer) {
  auto self = std::make_unique<AsfMuxer>(ConstructionKey<AsfMuxer>());
  const AVOutputFormat* format = av_guess_format("asf", nullptr, nullptr);
  if (!format) return E_FAIL;
  AVFormatContext* context = nullptr;
  if (avformat_alloc_output_context2(&context, format, nullptr, nullptr) < 0 || !context) return E_OUTOFMEMORY;
  self->format_.reset(context);
  context->flags |= AVFMT_FLAG_CUSTOM_IO | AVFMT_FLAG_FLUSH_PACKETS;
  *muxer = std::move(self);
  return S_OK;
}

HRESULT AsfMuxer::Open(const OutputFile& file, std::stop_token stop) {
  target_ = {file.Fd(), std::move(stop)};
  io_ = NewWriteIo(&target_, !file.Direct());
  if (!io_) return E_OUTOFMEMORY;
  format_->pb = io_.get();
  return S_OK;
}

HRESULT AsfMuxer::AddStream(const AVCodecContext& encoder) {
  AVStream* stream = avformat_new_stream(format_.get(), nullptr);
  if (!stream) return E_OUTOFMEMORY;
  if (avcodec_parameters_from_context(stream->codecpar, &encoder) < 0) return E_OUTOFMEMORY;
  stream->time_base = encoder.time_base;
  stream->sample_aspect_ratio = encoder.sample_aspect_ratio;
  if (encoder.codec_type == AVMEDIA_TYPE_VIDEO && encoder.framerate.num > 0) stream->avg_frame_rate = encoder.framerate;
  encoderTimeBases_.push_back(encoder.time_base);
  shifts_.push_back(0);
  return S_OK;
}

HRESULT AsfMuxer::WriteStatus(int rc) const {
  if (format_->pb && format_->pb->error < 0) return StatusFromAv(format_->pb->error, E_FAIL, IoDirection::kWrite);
  return StatusFromAv(rc, E_FAIL, IoDirection::kWrite);
}

HRESULT AsfMuxer::WriteHeader() {
  const int rc = avformat_write_header(format_.get(), nullptr);
  if (rc < 0) return WriteStatus(rc);
  avio_flush(format_->pb);
  return format_->pb->error < 0 ? WriteStatus(format_->pb->error) : S_OK;
}

HRESULT AsfMuxer::Write(TimedPacket& packet) {
  AVPacket* p = packet.packet.get();
  p->stream_index = packet.input;
  const AVRational timeBase = format_->streams[packet.input]->time_base;
  av_packet_rescale_ts(p, encoderTimeBases_[static_cast<size_t>(packet.input)], timeBase);
  if (p->dts == AV_NOPTS_VALUE) p->dts = p->pts;
  if (p->dts == AV_NOPTS_VALUE) return E_UNEXPECTED;  // every chain times its packets

  // FFmpeg's ASF muxer gives each data packet the time of its first payload and aborts the process
  // when a later payload in it is earlier. Times written therefore never go back: a stream that
  // arrives behind is moved up, and stays moved, so that its own times keep their spacing.
  int64_t& shift = shifts_[static_cast<size_t>(packet.input)];
  if (lastTime_ != AV_NOPTS_VALUE && av_compare_ts(p->dts + shift, timeBase, lastTime_, lastTimeBase_) < 0)
    shift = av_rescale_q_rnd(lastTime_, lastTimeBase_, timeBase,
                             static_cast<AVRounding>(AV_ROUND_UP | AV_ROUND_PASS_MINMAX)) -
            p->dts;
  p->dts += shift;
  if (p->pts != AV_NOPTS_VALUE) p->pts += shift;
  if (lastTime_ == AV_NOPTS_VALUE || av_compare_ts(p->dts, timeBase, lastTime_, lastTimeBase_) > 0) {
    lastTime_ = p->dts;
    lastTimeBase_ = timeBase;
  }
  const int rc = av_write_frame(format_.get(), p);
  return rc < 0 ? WriteStatus(rc) : S_OK;
}

HRESULT AsfMuxer::Finish() {
  const int rc = av_write_trailer(format_.get());
  if (rc < 0) return WriteStatus(rc);
  avio_flush(format_->pb);
  return format_->pb->error < 0 ? WriteStatus(format_->pb->error) : S_OK;
}

}  // namespace media::engine
