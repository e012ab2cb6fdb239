// The video chain: decode, convert to the profile's picture format and size, encode WMV 8.
//
// Self-contained on purpose: it takes the source's packets and delivers encoded packets with their
// times, so that another way of encoding (for instance segments encoded side by side) can take its
// place behind the same StreamChain interface.
#pragma once

#include <deque>
#include <memory>

#include "engine/stream_chain.h"

namespace media::engine {

class VideoChain final : public StreamChain {
 public:
  static HRESULT Create(const AVStream& stream, REFERENCE_TIME origin, std::unique_ptr<StreamChain>* chain);

  const AVCodecContext& EncodedFormat() const override { return *encoder_; }
  HRESULT Run(PacketQueue& input, WriterInput output, std::stop_token stop) override;

 private:
  VideoChain(const AVStream& stream, REFERENCE_TIME origin) : stream_(stream), origin_(origin) {}

  HRESULT OnFrame(AVFrame& decoded, WriterInput& output, std::stop_token stop);
  HRESULT Convert(AVFrame& decoded);
  HRESULT Encode(AVFrame* frame, WriterInput& output, std::stop_token stop);

  const AVStream& stream_;
  const REFERENCE_TIME origin_;
  REFERENCE_TIME defaultFrameDuration_ = 0;
  CodecContextPtr decoder_;
  CodecContextPtr encoder_;
  ScalePtr scaler_;
  FramePtr picture_;  // the converted picture handed to the encoder

  // Timing, in media time counted from the output's start.
  REFERENCE_TIME nextTime_ = 0;   // where a frame without a timestamp goes
  int64_t lastPts_ = -1;          // encoder time base; strictly increasing
  int64_t lastKeyframePts_ = 0;
  bool keyframeDue_ = true;
  std::deque<std::pair<int64_t, int64_t>> durations_;  // pts -> duration of frames in the encoder
};

}  // namespace media::engine
