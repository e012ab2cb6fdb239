// The audio chain: decode, resample and mix to the profile's rate and channels, encode WMA 2.
#pragma once

#include <memory>

#include "engine/construction_key.h"
#include "engine/stream_chain.h"

namespace media::engine {

class AudioChain final : public StreamChain {
 public:
  AudioChain(ConstructionKey<AudioChain>, const AVStream& stream, REFERENCE_TIME origin)
      : stream_(stream), origin_(origin) {}
  static HRESULT Create(const AVStream& stream, REFERENCE_TIME origin, std::unique_ptr<StreamChain>* chain);

  const AVCodecContext& EncodedFormat() const override { return *encoder_; }
  HRESULT Run(PacketQueue& input, WriterInput output, std::stop_token stop) override;

 private:
  HRESULT OnFrame(AVFrame& decoded, WriterInput& output, std::stop_token stop);
  HRESULT Resample(const AVFrame* decoded);  // null drains the resampler
  HRESULT AddSilence(int64_t samples, WriterInput& output, std::stop_token stop);
  HRESULT EncodeReady(bool last, WriterInput& output, std::stop_token stop);
  HRESULT Encode(AVFrame* frame, WriterInput& output, std::stop_token stop);

  const AVStream& stream_;
  const REFERENCE_TIME origin_;
  CodecContextPtr decoder_;
  CodecContextPtr encoder_;
  ResamplePtr resampler_;
  AVChannelLayout resamplerInput_{};
  int resamplerFormat_ = -1;
  int resamplerRate_ = 0;
  AudioFifoPtr fifo_;

  bool started_ = false;
  int64_t samplesToSkip_ = 0;        // output samples before the output's start
  int64_t fifoStart_ = 0;            // output sample number of the fifo's first sample
  int64_t samplesIn_ = 0;            // output samples that entered the fifo (the last frame's filling aside)
  REFERENCE_TIME expectedTime_ = 0;  // where the next decoded frame should start
};

}  // namespace media::engine
