#include "engine/input_limits.h"

#include "com/hresult.h"

extern "C" {
#include <libavutil/mem.h>
}

namespace media::engine::limits {

void LimitAllocations() { av_max_alloc(kMaxAllocation); }

void LimitInput(AVFormatContext& format) { format.max_streams = kMaxStreams; }

HRESULT CheckStream(const AVCodecParameters& parameters) {
  switch (parameters.codec_type) {
    case AVMEDIA_TYPE_VIDEO: {
      const int64_t width = parameters.width, height = parameters.height;
      if (width > kMaxFrameSide || height > kMaxFrameSide || width * height > kMaxFrameArea)
        return VFW_E_CANNOT_RENDER;
      return S_OK;
    }
    case AVMEDIA_TYPE_AUDIO:
      if (parameters.ch_layout.nb_channels > kMaxChannels || parameters.sample_rate > kMaxSampleRate ||
          parameters.frame_size > kMaxFrameSamples)
        return VFW_E_CANNOT_RENDER;
      return S_OK;
    default:
      return S_OK;
  }
}

void LimitDecoder(AVCodecContext& decoder) {
  decoder.max_pixels = kMaxFrameArea;
  decoder.max_samples = kMaxFrameSamples;
}

}  // namespace media::engine::limits
