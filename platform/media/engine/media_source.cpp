#include "engine/media_source.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>

#include "com/hresult.h"
#include "engine/fd_io.h"
#include "engine/input_limits.h"
#include "engine/media_time.h"
#include "engine/status.h"

namespace media::engine {
namespace {

// How many damaged reads in a row end the input as if it had ended there.
constexpr int kMaxDamagedReads = 1000;

// The status of a failed open or probe. Read errors keep their own status; anything FFmpeg could not
// make sense of, including a header asking for more memory than the input limits allow, is not a file
// the engine reads.
HRESULT OpenStatus(int rc) {
  if (rc == AVERROR(ENOMEM)) return VFW_E_UNKNOWN_FILE_TYPE;
  const HRESULT hr = StatusFromAv(rc, VFW_E_UNKNOWN_FILE_TYPE);
  return hr == E_FAIL ? VFW_E_UNKNOWN_FILE_TYPE : hr;
}

}  // namespace

HRESULT MediaSource::Open(const std::string& path, std::unique_ptr<MediaSource>* source) {
  SilenceFfmpeg();
  limits::LimitAllocations();
  source->reset();
  auto s = std::make_unique<MediaSource>(ConstructionKey<MediaSource>());

  // Non-blocking only while opening: a FIFO without a writer must not hold up the graph (it reads as
  // empty, so not as media).
  s->fd_ = UniqueFd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
  if (!s->fd_) return StatusFromOpenErrno(errno, path);
  fcntl(s->fd_.Get(), F_SETFL, fcntl(s->fd_.Get(), F_GETFL) & ~O_NONBLOCK);
  struct stat st {};
  if (fstat(s->fd_.Get(), &st) != 0) return StatusFromErrno(errno);
  if (S_ISDIR(st.st_mode)) return HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED);
  s->identity_ = {st.st_dev, st.st_ino};

  s->io_ = NewReadIo(s->fd_.Get());
  AVFormatContext* format = avformat_alloc_context();
  if (!s->io_ || !format) {
    avformat_free_context(format);
    return E_OUTOFMEMORY;
  }
  format->pb = s->io_.get();
  format->flags |= AVFMT_FLAG_CUSTOM_IO;
  limits::LimitInput(*format);
  // The name only helps the probe guess by extension; the data comes from the descriptor.
  int rc = avformat_open_input(&format, path.c_str(), nullptr, nullptr);
  // avformat_open_input frees the context on failure.
  if (rc < 0) return OpenStatus(rc);
  s->format_.reset(format);
  rc = avformat_find_stream_info(format, nullptr);
  if (rc < 0 && rc != AVERROR_EOF) return OpenStatus(rc);

  for (unsigned i = 0; i < format->nb_streams; ++i) {
    const AVStream* stream = format->streams[i];
    if (stream->disposition & AV_DISPOSITION_ATTACHED_PIC) continue;
    const AVMediaType type = stream->codecpar->codec_type;
    if (type == AVMEDIA_TYPE_VIDEO)
      s->outputs_.push_back({static_cast<int>(i), StreamKind::kVideo});
    else if (type == AVMEDIA_TYPE_AUDIO)
      s->outputs_.push_back({static_cast<int>(i), StreamKind::kAudio});
  }
  if (s->outputs_.empty()) return VFW_E_UNKNOWN_FILE_TYPE;
  *source = std::move(s);
  return S_OK;
}

MediaSource::~MediaSource() = default;

std::optional<REFERENCE_TIME> MediaSource::Duration() const {
  if (format_->duration > 0) return ToMediaTime(format_->duration, AV_TIME_BASE_Q);
  REFERENCE_TIME longest = 0;
  for (const SourceOutput& output : outputs_) {
    const AVStream* stream = format_->streams[output.streamIndex];
    if (stream->duration > 0) longest = std::max(longest, ToMediaTime(stream->duration, stream->time_base));
  }
  if (longest > 0) return longest;
  return std::nullopt;
}

REFERENCE_TIME MediaSource::StartTime(const std::vector<int>& streamIndexes) const {
  std::optional<REFERENCE_TIME> earliest;
  for (int index : streamIndexes) {
    const AVStream* stream = format_->streams[index];
    if (stream->start_time == AV_NOPTS_VALUE) continue;
    const REFERENCE_TIME t = ToMediaTime(stream->start_time, stream->time_base);
    if (!earliest || t < *earliest) earliest = t;
  }
  if (earliest) return *earliest;
  if (format_->start_time != AV_NOPTS_VALUE) return ToMediaTime(format_->start_time, AV_TIME_BASE_Q);
  return 0;
}

HRESULT MediaSource::ReadPacket(AVPacket* packet) {
  read_ = true;
  for (;;) {
    const int rc = av_read_frame(format_.get(), packet);
    if (rc >= 0) {
      damagedReads_ = 0;
      return S_OK;
    }
    if (rc == AVERROR_EOF) return S_FALSE;
    if (rc == AVERROR(EAGAIN) || rc == AVERROR(EINTR)) continue;
    if (format_->pb && format_->pb->error < 0 && format_->pb->error != AVERROR_EOF)
      return StatusFromAv(format_->pb->error, E_FAIL);
    if (rc > -4096 && rc != AVERROR(EINVAL) && rc != AVERROR(ENOMEM)) return StatusFromAv(rc, E_FAIL);
    // Damaged data (also a packet claiming a size beyond the input limits): the demuxer resynchronises
    // on the next read. Endless damage ends the input.
    if (++damagedReads_ > kMaxDamagedReads) return S_FALSE;
  }
}

HRESULT MediaSource::Rewind() {
  if (!read_) return S_OK;
  read_ = false;
  damagedReads_ = 0;
  const int64_t start = format_->start_time != AV_NOPTS_VALUE ? format_->start_time : 0;
  int rc = avformat_seek_file(format_.get(), -1, INT64_MIN, start, start, 0);
  if (rc < 0) rc = av_seek_frame(format_.get(), -1, start, AVSEEK_FLAG_BACKWARD);
  if (rc < 0) rc = av_seek_frame(format_.get(), -1, 0, AVSEEK_FLAG_BYTE);
  return rc < 0 ? StatusFromAv(rc, E_FAIL) : S_OK;
}

}  // namespace media::engine
