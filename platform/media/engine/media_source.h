// An input file opened and probed with libavformat: its audio and video streams, its length, and the
// packets read from it.
#pragma once

#include <sys/types.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "com/types.h"
#include "engine/construction_key.h"
#include "engine/ffmpeg_handles.h"
#include "engine/unique_fd.h"

namespace media::engine {

// Which file a name stands for, however it is named.
struct FileIdentity {
  dev_t device = 0;
  ino_t inode = 0;
  friend bool operator==(const FileIdentity&, const FileIdentity&) = default;
};

enum class StreamKind { kVideo, kAudio };

// One stream the source offers, in the container's order.
struct SourceOutput {
  int streamIndex;  // index in the container
  StreamKind kind;
};

class MediaSource {
 public:
  explicit MediaSource(ConstructionKey<MediaSource>) {}
  // Opens and probes `path` (the file name's exact bytes). On failure *source stays empty.
  static HRESULT Open(const std::string& path, std::unique_ptr<MediaSource>* source);

  MediaSource(const MediaSource&) = delete;
  MediaSource& operator=(const MediaSource&) = delete;
  ~MediaSource();

  const std::vector<SourceOutput>& Outputs() const { return outputs_; }
  const FileIdentity& Identity() const { return identity_; }
  const AVStream* Stream(int streamIndex) const { return format_->streams[streamIndex]; }

  // The container's length, else its longest stream's; none when neither is known.
  std::optional<REFERENCE_TIME> Duration() const;

  // The media time the earliest of these streams starts at; output times count from there.
  REFERENCE_TIME StartTime(const std::vector<int>& streamIndexes) const;

  // Reads the next packet: S_OK, S_FALSE at the end, or a read failure's status.
  HRESULT ReadPacket(AVPacket* packet);

  // Goes back to the beginning, for another run of the graph; nothing to do before the first read.
  HRESULT Rewind();

 private:
  UniqueFd fd_;
  IoContextPtr io_;
  InputFormatPtr format_;  // declared last: closed before its I/O and descriptor
  FileIdentity identity_;
  std::vector<SourceOutput> outputs_;
  int damagedReads_ = 0;
  bool read_ = false;
};

}  // namespace media::engine
