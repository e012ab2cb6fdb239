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
  av_packet_rescale_ts(p, encoderTimeBases_[static_cast<size_t>(packet.input)],
                       format_->streams[packet.input]->time_base);
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
