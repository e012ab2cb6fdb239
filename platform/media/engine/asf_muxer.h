// libavformat's ASF muxer writing to the output file's descriptor. A seekable file gets its header
// rewritten at the end with the real duration and packet count; a pipe or device gets the stream as it
// goes, its header written once at the start (length unknown), readable as it arrives.
#pragma once

#include <memory>
#include <stop_token>
#include <vector>

#include "com/types.h"
#include "engine/construction_key.h"
#include "engine/fd_io.h"
#include "engine/ffmpeg_handles.h"
#include "engine/interleaver.h"
#include "engine/output_file.h"

namespace media::engine {

class AsfMuxer {
 public:
  explicit AsfMuxer(ConstructionKey<AsfMuxer>) {}
  static HRESULT Create(std::unique_ptr<AsfMuxer>* muxer);

  // A stream carrying what this encoder makes; streams are numbered in the order they are added.
  HRESULT AddStream(const AVCodecContext& encoder);

  // Starts writing to the file's descriptor (once it is open); a write waiting on a pipe or device
  // gives up when `stop` is triggered.
  HRESULT Open(const OutputFile& file, std::stop_token stop);
  HRESULT WriteHeader();
  // The packet's timestamps are in the time base of its stream's encoder. A packet earlier than one
  // already written (a stream that the source delivered far behind the other, see Interleaver) is
  // moved up to the latest time written, and the rest of its stream with it.
  HRESULT Write(TimedPacket& packet);
  // Writes the trailer (index, final header) and flushes everything to the file.
  HRESULT Finish();

 private:
  HRESULT WriteStatus(int rc) const;

  WriteTarget target_;
  IoContextPtr io_;
  OutputFormatPtr format_;  // declared last: freed before its I/O
  std::vector<AVRational> encoderTimeBases_;
  // Keeping the times handed to FFmpeg's muxer from going back (see Write): how far each stream has
  // been moved up, in its time base, and the latest time written.
  std::vector<int64_t> shifts_;
  int64_t lastTime_ = AV_NOPTS_VALUE;
  AVRational lastTimeBase_{1, 1};
};

}  // namespace media::engine
