// The video chain: decode, convert to the profile's picture format and size, and encode WMV 8.
//
// With one core it is one run of SegmentEncoder over the whole stream (decoding and converting on one
// thread, encoding on another); with more, a SegmentPool encodes keyframe-aligned segments side by side,
// as many at once as the process has cores. Nothing outside the chain sees the difference: packets in,
// encoded packets out in order, with the same timestamps and keyframe rule.
#pragma once

#include <memory>

#include "engine/construction_key.h"
#include "engine/segment_encoder.h"
#include "engine/stream_chain.h"

namespace media::engine {

class VideoChain final : public StreamChain {
 public:
  explicit VideoChain(ConstructionKey<VideoChain>) {}
  static HRESULT Create(const AVStream& stream, REFERENCE_TIME origin, std::unique_ptr<StreamChain>* chain);

  // The stream parameters every encoder of the chain writes.
  const AVCodecContext& EncodedFormat() const override { return *encoder_; }
  HRESULT Run(PacketQueue& input, WriterInput output, std::stop_token stop) override;

 private:
  VideoFormat format_;
  CodecContextPtr encoder_;
};

}  // namespace media::engine
