#include "engine/fd_io.h"

#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>

namespace media::engine {
namespace {

constexpr int kBufferSize = 64 * 1024;
constexpr int kPollMs = 20;
constexpr int kGraceAfterStopMs = 5000;

int FdOf(void* opaque) { return static_cast<int>(reinterpret_cast<std::intptr_t>(opaque)); }

int ReadPacket(void* opaque, uint8_t* buf, int size) {
  for (;;) {
    const ssize_t n = ::read(FdOf(opaque), buf, static_cast<size_t>(size));
    if (n > 0) return static_cast<int>(n);
    if (n == 0) return AVERROR_EOF;
    if (errno != EINTR) return AVERROR(errno);
  }
}

int WritePacket(void* opaque, uint8_t* buf, int size) {
  const WriteTarget& target = *static_cast<const WriteTarget*>(opaque);
  int done = 0;
  int stalledAfterStop = 0;  // ms without progress since the graph was told to stop
  while (done < size) {
    const ssize_t n = ::write(target.fd, buf + done, static_cast<size_t>(size - done));
    if (n < 0) {
      if (errno == EINTR) continue;
      if (errno == EAGAIN) {
        // The reader lags. Once the graph stops, it gets a grace period to take the rest.
        if (target.stop.stop_requested() && (stalledAfterStop += kPollMs) > kGraceAfterStopMs) return AVERROR_EXIT;
        pollfd ready{target.fd, POLLOUT, 0};
        poll(&ready, 1, kPollMs);
        continue;
      }
      return AVERROR(errno);
    }
    stalledAfterStop = 0;
    done += static_cast<int>(n);
  }
  return done;
}

int64_t Seek(void* opaque, int64_t offset, int whence) {
  const int fd = static_cast<const WriteTarget*>(opaque)->fd;
  if (whence & AVSEEK_SIZE) {
    struct stat st {};
    if (fstat(fd, &st) != 0) return AVERROR(errno);
    return st.st_size;
  }
  const off_t pos = ::lseek(fd, offset, whence & ~AVSEEK_FORCE);
  return pos < 0 ? AVERROR(errno) : pos;
}

int64_t SeekRead(void* opaque, int64_t offset, int whence) {
  WriteTarget target{FdOf(opaque), {}};
  return Seek(&target, offset, whence);
}

IoContextPtr NewIo(void* opaque, bool writing, bool seekable) {
  auto* buffer = static_cast<unsigned char*>(av_malloc(kBufferSize));
  if (!buffer) return nullptr;
  AVIOContext* io =
      avio_alloc_context(buffer, kBufferSize, writing ? 1 : 0, opaque, writing ? nullptr : ReadPacket,
                         writing ? WritePacket : nullptr, seekable ? (writing ? Seek : SeekRead) : nullptr);
  if (!io) {
    av_free(buffer);
    return nullptr;
  }
  if (!seekable) io->seekable = 0;
  return IoContextPtr(io);
}

}  // namespace

IoContextPtr NewReadIo(int fd) {
  struct stat st {};
  const bool seekable = fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
  return NewIo(reinterpret_cast<void*>(static_cast<std::intptr_t>(fd)), false, seekable);
}

IoContextPtr NewWriteIo(WriteTarget* target, bool seekable) { return NewIo(target, true, seekable); }

}  // namespace media::engine
