// How failures of the operating system and of FFmpeg become the platform's statuses.
#pragma once

#include <string>

#include "com/hresult.h"

namespace media::engine {

enum class IoDirection { kRead, kWrite };

// The status for an errno value, as the platform maps them; EIO is a read or a write fault.
HRESULT StatusFromErrno(int err, IoDirection direction = IoDirection::kRead);

// The status for an errno met while opening `path`: a missing file is told apart from a missing folder.
HRESULT StatusFromOpenErrno(int err, const std::string& path);

// The status for a negative FFmpeg return value; `fallback` stands for FFmpeg's own error codes.
HRESULT StatusFromAv(int averror, HRESULT fallback, IoDirection direction = IoDirection::kRead);

// Silences FFmpeg's logging (idempotent): the program's own lines are its only output.
void SilenceFfmpeg();

}  // namespace media::engine
