#include "engine/fd_io.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>

namespace media::engine {
namespace {

constexpr int kBufferSize = 64 * 1024;

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
  int done = 0;
  while (done < size) {
    const ssize_t n = ::write(FdOf(opaque), buf + done, static_cast<size_t>(size - done));
    if (n < 0) {
      if (errno == EINTR) continue;
      return AVERROR(errno);
    }
    done += static_cast<int>(n);
  }
  return done;
}

int64_t Seek(void* opaque, int64_t offset, int whence) {
  const int fd = FdOf(opaque);
  if (whence & AVSEEK_SIZE) {
    struct stat st {};
    if (fstat(fd, &st) != 0) return AVERROR(errno);
    return st.st_size;
  }
  const off_t pos = ::lseek(fd, offset, whence & ~AVSEEK_FORCE);
  return pos < 0 ? AVERROR(errno) : pos;
}

IoContextPtr NewIo(int fd, bool writing, bool seekable) {
  auto* buffer = static_cast<unsigned char*>(av_malloc(kBufferSize));
  if (!buffer) return nullptr;
  AVIOContext* io = avio_alloc_context(buffer, kBufferSize, writing ? 1 : 0,
                                       reinterpret_cast<void*>(static_cast<std::intptr_t>(fd)),
                                       writing ? nullptr : ReadPacket, writing ? WritePacket : nullptr,
                                       seekable ? Seek : nullptr);
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
  return NewIo(fd, false, seekable);
}

IoContextPtr NewWriteIo(int fd, bool seekable) { return NewIo(fd, true, seekable); }

}  // namespace media::engine
