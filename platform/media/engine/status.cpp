#include "engine/status.h"

#include <sys/stat.h>

#include <cerrno>

extern "C" {
#include <libavutil/error.h>
#include <libavutil/log.h>
}

namespace media::engine {

HRESULT StatusFromErrno(int err, IoDirection direction) {
  switch (err) {
    case 0:
      return S_OK;
    case ENOENT:
      return HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);
    case ENOTDIR:
      return HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND);
    case EACCES:
    case EPERM:
    case EISDIR:
    case EROFS:
      return HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED);
    case ENOSPC:
    case EDQUOT:
      return HRESULT_FROM_WIN32(ERROR_DISK_FULL);
    case EIO:
      return HRESULT_FROM_WIN32(direction == IoDirection::kWrite ? ERROR_WRITE_FAULT : ERROR_READ_FAULT);
    case ENAMETOOLONG:
      return HRESULT_FROM_WIN32(ERROR_FILENAME_EXCED_RANGE);
    case ENOMEM:
      return E_OUTOFMEMORY;
    default:
      return E_FAIL;
  }
}

HRESULT StatusFromOpenErrno(int err, const std::string& path) {
  if (err == ENOENT) {
    // Missing file or missing folder on the way: the folder part tells.
    const auto slash = path.find_last_of('/');
    if (slash != std::string::npos && slash > 0) {
      struct stat st {};
      if (stat(path.substr(0, slash).c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
        return HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND);
    }
    return HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);
  }
  return StatusFromErrno(err);
}

HRESULT StatusFromAv(int averror, HRESULT fallback, IoDirection direction) {
  if (averror >= 0) return S_OK;
  if (averror == AVERROR(ENOMEM)) return E_OUTOFMEMORY;
  // FFmpeg's errno-based codes are negated errno values; its own codes are tags far below.
  if (averror > -4096) return StatusFromErrno(-averror, direction);
  return fallback;
}

void SilenceFfmpeg() { av_log_set_level(AV_LOG_QUIET); }

}  // namespace media::engine
