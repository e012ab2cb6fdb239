// One run of the video chain's work: decode a run of source packets, convert the pictures to the
// profile's format and size, time them and encode them to WMV 8, decoding on one thread and encoding on
// another with a short queue of pictures between. The whole stream is one such run; a pool of them
// encodes keyframe-aligned segments side by side (segment_pool.h).
//
// Which pictures a run keeps is told by the packets they come from: every packet carries its place in
// the stream's decoding order (its `pos`). A run that starts at a segment's keyframe keeps the pictures
// from that keyframe's on; one that ends at the next segment's keyframe goes on decoding past it, keeping
// the pictures shown before that keyframe's (the leading pictures of the next group), and stops once that
// keyframe's picture comes out.
#pragma once

#include <deque>
#include <functional>
#include <optional>
#include <stop_token>

#include "com/hresult.h"
#include "com/types.h"
#include "engine/decoder.h"
#include "engine/ffmpeg_handles.h"

namespace media::engine {

// What every run of one video stream shares: the source stream and the profile's picture format.
struct VideoFormat {
  const AVStream* stream = nullptr;
  REFERENCE_TIME origin = 0;  // the media time that becomes 0
  int width = 0, height = 0;
  AVRational sampleAspectRatio{0, 1};
  REFERENCE_TIME defaultFrameDuration = 0;
};

// The format for a stream; VFW_E_CANNOT_RENDER when it has no picture size.
HRESULT VideoFormatOf(const AVStream& stream, REFERENCE_TIME origin, VideoFormat* format);

// A WMV 8 encoder with the default profile's settings for that format. Every one opened for the same
// format writes the same stream parameters.
HRESULT OpenVideoEncoder(const VideoFormat& format, CodecContextPtr* encoder);

// An encoded packet on its way out: its times in the encoder's time base; false when stopped.
using EncodedSink = std::function<bool(PacketPtr packet, std::stop_token stop)>;

struct SegmentRange {
  // The place in decoding order of the keyframe this run starts at; pictures shown before it belong
  // to the previous segment. None for the stream's first run, which keeps everything from the start.
  std::optional<int64_t> first;
  // The place of the next segment's keyframe once it is known (it may become known while the run
  // decodes); none while unknown and for the stream's last run.
  std::function<std::optional<int64_t>()> next;
  // Where a picture without a timestamp of its own goes at the start, counted from the output's start.
  REFERENCE_TIME startTime = 0;
};

class SegmentEncoder {
 public:
  SegmentEncoder(const VideoFormat& format, SegmentRange range) : format_(format), range_(std::move(range)) {}

  // Decodes the packets `next` hands out (each one's pos its place in decoding order) and delivers the
  // encoded packets of the pictures in range to `sink`, in order. S_OK at the end or when stopped.
  HRESULT Run(const PacketSource& next, const EncodedSink& sink, std::stop_token stop, int decoderThreads,
              std::size_t queuedPictures);

 private:
  struct Picture {
    FramePtr frame;
    int64_t duration;  // encoder time base
  };

  HRESULT OnFrame(AVFrame& decoded, const std::function<bool(Picture, std::stop_token)>& push,
                  std::stop_token stop);
  bool InRange(const AVFrame& decoded);
  HRESULT Convert(AVFrame& decoded, AVFrame& picture);
  HRESULT Encode(AVFrame* frame, const EncodedSink& sink, std::stop_token stop);

  const VideoFormat& format_;
  const SegmentRange range_;
  CodecContextPtr decoder_;
  CodecContextPtr encoder_;
  ScalePtr scaler_;

  // Which pictures are kept (decoding side).
  bool started_ = false;
  bool ended_ = false;
  // Timing (decoding side), in media time counted from the output's start.
  REFERENCE_TIME nextTime_ = 0;  // where a frame without a timestamp goes
  int64_t lastPts_ = -1;         // encoder time base; strictly increasing
  int64_t lastKeyframePts_ = 0;
  bool keyframeDue_ = true;
  // Encoding side: pts -> duration of the pictures inside the encoder.
  std::deque<std::pair<int64_t, int64_t>> durations_;
};

}  // namespace media::engine
