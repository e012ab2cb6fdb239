// The ASF writer's default profile: what every stream it takes is encoded to.
#pragma once

#include "com/types.h"
#include "engine/media_time.h"

extern "C" {
#include <libavcodec/avcodec.h>
}

namespace media::engine::profile {

// Video: Windows Media Video 8 at a constant quantizer.
inline constexpr AVCodecID kVideoCodec = AV_CODEC_ID_WMV2;
inline constexpr AVPixelFormat kPixelFormat = AV_PIX_FMT_YUV420P;
inline constexpr int kQuantizer = 3;
inline constexpr REFERENCE_TIME kMaxKeyframeInterval = 3 * kUnitsPerSecond;
// ASF counts time in milliseconds; the encoder does the same, so no timestamp is rounded twice.
inline constexpr AVRational kVideoTimeBase{1, 1000};

// Audio: Windows Media Audio 2, mono or stereo.
inline constexpr AVCodecID kAudioCodec = AV_CODEC_ID_WMAV2;
inline constexpr AVSampleFormat kSampleFormat = AV_SAMPLE_FMT_FLTP;
inline constexpr int kMaxSampleRate = 48000;
inline constexpr int64_t kStereoBitRate = 128000;
inline constexpr int64_t kMonoBitRate = 64000;

}  // namespace media::engine::profile
