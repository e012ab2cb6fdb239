// An owned file descriptor, closed when its owner goes.
#pragma once

#include <unistd.h>

#include <utility>

namespace media::engine {

class UniqueFd {
 public:
  UniqueFd() = default;
  explicit UniqueFd(int fd) : fd_(fd) {}
  UniqueFd(UniqueFd&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
  UniqueFd& operator=(UniqueFd other) noexcept {
    std::swap(fd_, other.fd_);
    return *this;
  }
  ~UniqueFd() {
    if (fd_ >= 0) ::close(fd_);
  }

  int Get() const { return fd_; }
  explicit operator bool() const { return fd_ >= 0; }
  // Closes now and tells how that went (0 or an errno), for writers that must know.
  int Close() {
    if (fd_ < 0) return 0;
    const int rc = ::close(std::exchange(fd_, -1));
    return rc == 0 ? 0 : errno;
  }

 private:
  int fd_ = -1;
};

}  // namespace media::engine
