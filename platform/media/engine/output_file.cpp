#include "engine/output_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <random>
#include <thread>
#include <vector>

#include "engine/status.h"

namespace media::engine {
namespace {

std::string FolderOf(const std::string& path) {
  const auto slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

std::string BaseOf(const std::string& path) {
  const auto slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Follows symbolic links (also one that points nowhere yet) to the name the data will live under.
HRESULT FollowLinks(const std::string& name, std::string* target) {
  std::string path = name;
  for (int depth = 0; depth < 40; ++depth) {
    struct stat st {};
    if (lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) {
      *target = path;
      return S_OK;
    }
    std::vector<char> buffer(static_cast<size_t>(st.st_size > 0 ? st.st_size : 255) + 1);
    const ssize_t n = readlink(path.c_str(), buffer.data(), buffer.size());
    if (n < 0) return StatusFromErrno(errno);
    std::string link(buffer.data(), static_cast<size_t>(n));
    path = link.front() == '/' ? link : FolderOf(path) + "/" + link;
  }
  return StatusFromErrno(ELOOP);
}

}  // namespace

HRESULT CheckOutputName(const std::string& name) {
  if (name.empty()) return E_INVALIDARG;
  struct stat st {};
  if (stat(name.c_str(), &st) == 0) {
    if (S_ISDIR(st.st_mode)) return HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED);
    if (!S_ISREG(st.st_mode)) return access(name.c_str(), W_OK) == 0 ? S_OK : StatusFromErrno(errno);
    if (access(name.c_str(), W_OK) != 0) return StatusFromErrno(errno);
  } else if (errno != ENOENT) {
    return errno == ENOTDIR ? HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND) : StatusFromErrno(errno);
  }
  // A new file, or one replaced by a new file: its folder must exist and take new files.
  std::string target;
  if (HRESULT hr = FollowLinks(name, &target); FAILED(hr)) return hr;
  const std::string folder = FolderOf(target);
  if (stat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND);
  if (access(folder.c_str(), W_OK | X_OK) != 0) return StatusFromErrno(errno);
  if (BaseOf(target).empty()) return HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED);
  return S_OK;
}

std::optional<FileIdentity> ExistingFile(const std::string& name) {
  struct stat st {};
  if (name.empty() || stat(name.c_str(), &st) != 0) return std::nullopt;
  return FileIdentity{st.st_dev, st.st_ino};
}

HRESULT OutputFile::Create(const std::string& name, std::unique_ptr<OutputFile>* file) {
  file->reset();
  if (HRESULT hr = CheckOutputName(name); FAILED(hr)) return hr;
  auto out = std::make_unique<OutputFile>(ConstructionKey<OutputFile>());
  if (HRESULT hr = FollowLinks(name, &out->target_); FAILED(hr)) return hr;

  struct stat st {};
  const bool exists = stat(out->target_.c_str(), &st) == 0;
  if (exists && !S_ISREG(st.st_mode)) {
    // Non-blocking: opening a FIFO must not wait for its reader, nor a write for a reader that lags.
    out->direct_ = true;
    out->fd_ = UniqueFd(::open(out->target_.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
    // A FIFO nobody reads yet refuses with ENXIO: it is opened once a reader comes (WaitUntilOpen).
    if (!out->fd_ && !(errno == ENXIO && S_ISFIFO(st.st_mode))) return StatusFromOpenErrno(errno, out->target_);
    *file = std::move(out);
    return S_OK;
  }

  const std::string prefix = FolderOf(out->target_) + "/." + BaseOf(out->target_) + ".";
  std::random_device entropy;
  std::mt19937 random(entropy());
  static constexpr char kLetters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::string hidden = prefix;
    for (int i = 0; i < 6; ++i) hidden += kLetters[random() % (sizeof kLetters - 1)];
    const int fd = ::open(hidden.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) {
      if (errno == EEXIST) continue;
      return StatusFromOpenErrno(errno, hidden);
    }
    out->fd_ = UniqueFd(fd);
    out->hidden_ = std::move(hidden);
    // A replaced file's permissions stay with the name.
    if (exists) fchmod(fd, st.st_mode & 07777);
    *file = std::move(out);
    return S_OK;
  }
  return HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED);
}

HRESULT OutputFile::WaitUntilOpen(std::stop_token stop) {
  while (!fd_) {
    if (stop.stop_requested()) return S_FALSE;
    fd_ = UniqueFd(::open(target_.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
    if (!fd_) {
      if (errno != ENXIO) return StatusFromOpenErrno(errno, target_);
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
  }
  return S_OK;
}

OutputFile::~OutputFile() { Discard(); }

HRESULT OutputFile::Commit() {
  const int err = fd_.Close();
  if (direct_ || hidden_.empty()) return err == 0 ? S_OK : StatusFromErrno(err, IoDirection::kWrite);
  if (err != 0) {
    Discard();
    return StatusFromErrno(err, IoDirection::kWrite);
  }
  if (::rename(hidden_.c_str(), target_.c_str()) != 0) {
    // ENOENT: the folder went away while the file was written (0x80070003), or the file itself did.
    const HRESULT hr = errno == ENOENT ? StatusFromOpenErrno(errno, target_) : StatusFromErrno(errno, IoDirection::kWrite);
    Discard();
    return hr;
  }
  hidden_.clear();
  return S_OK;
}

void OutputFile::Discard() {
  fd_.Close();
  if (!hidden_.empty()) ::unlink(hidden_.c_str());
  hidden_.clear();
}

}  // namespace media::engine
