// libavformat I/O on a file descriptor the engine opened itself, so that file names reach the system
// exactly as given (never parsed as FFmpeg URLs) and errno values survive as FFmpeg error codes.
#pragma once

#include <stop_token>

#include "engine/ffmpeg_handles.h"

namespace media::engine {

// Reading context over fd; seekable when the descriptor is a regular file.
IoContextPtr NewReadIo(int fd);

// Where a writing context writes. A non-blocking descriptor (a pipe or device written directly) is
// waited on in slices, so that a reader that stops reading cannot keep the graph from stopping.
struct WriteTarget {
  int fd = -1;
  std::stop_token stop;
};

// Writing context over the target, which must outlive it; `seekable` false for pipes and devices.
IoContextPtr NewWriteIo(WriteTarget* target, bool seekable);

}  // namespace media::engine
