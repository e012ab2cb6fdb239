// The video chain: decode and convert to the profile's picture format and size on one thread, encode
// WMV 8 on another, a short queue of timed pictures between them.
//
// Self-contained on purpose: it takes the source's packets and delivers encoded packets with their
// times, so that another way of encoding (for instance segments encoded side by side) can take its
// place behind the same StreamChain interface; the pictures it hands its encoder already carry their
// final timestamps and keyframe marks.
#pragma once

#include <deque>
#include <memory>

#include "engine/construction_key.h"
#include "engine/stream_chain.h"

namespace media::engine {

class VideoChain final : public StreamChain {
 public:
  VideoChain(ConstructionKey<VideoChain>, const AVStream& stream, REFERENCE_TIME origin)
      : stream_(stream), origin_(origin) {}
  static HRESULT Create(const AVStream& stream, REFERENCE_TIME origin, std::unique_ptr<StreamChain>* chain);

  const AVCodecContext& EncodedFormat() const override { return *encoder_; }
  HRESULT Run(PacketQueue& input, WriterInput output, std::stop_token stop) override;

 private:
  // A picture for the encoder: pts in the encoder's time base, keyframes marked.
  struct Picture {
    FramePtr frame;
    int64_t duration;  // encoder time base
  };
  using PictureQueue = BoundedQueue<Picture>;

  // Decoding side.
  HRESULT OnFrame(AVFrame& decoded, PictureQueue& pictures, std::stop_token stop);
  HRESULT Convert(AVFrame& decoded, AVFrame& picture);
  // Encoding side.
  HRESULT EncodePictures(PictureQueue& pictures, WriterInput& output, std::stop_token stop);
  HRESULT Encode(AVFrame* frame, WriterInput& output, std::stop_token stop);

  const AVStream& stream_;
  const REFERENCE_TIME origin_;
  REFERENCE_TIME defaultFrameDuration_ = 0;
  // What the decoding side needs to know of the encoder, read once: the encoder belongs to its thread.
  struct PictureFormat {
    int width = 0, height = 0;
    int quality = 0;
    AVRational sampleAspectRatio{0, 1};
  } format_;
  CodecContextPtr decoder_;
  CodecContextPtr encoder_;
  ScalePtr scaler_;

  // Timing (decoding side), in media time counted from the output's start.
  REFERENCE_TIME nextTime_ = 0;  // where a frame without a timestamp goes
  int64_t lastPts_ = -1;         // encoder time base; strictly increasing
  int64_t lastKeyframePts_ = 0;
  bool keyframeDue_ = true;
  // Encoding side: pts -> duration of the pictures inside the encoder.
  std::deque<std::pair<int64_t, int64_t>> durations_;
};

}  // namespace media::engine
