// libavformat I/O on a file descriptor the engine opened itself, so that file names reach the system
// exactly as given (never parsed as FFmpeg URLs) and errno values survive as FFmpeg error codes.
#pragma once

#include "engine/ffmpeg_handles.h"

namespace media::engine {

// Reading context over fd; seekable when the descriptor is.
IoContextPtr NewReadIo(int fd);

// Writing context over fd; `seekable` false for pipes, devices and terminals.
IoContextPtr NewWriteIo(int fd, bool seekable);

}  // namespace media::engine
