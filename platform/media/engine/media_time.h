// Media time: 100-ns units, as the framework counts durations and positions.
#pragma once

#include "com/types.h"

extern "C" {
#include <libavutil/mathematics.h>
}

namespace media::engine {

inline constexpr AVRational kMediaTimeBase{1, 10'000'000};
inline constexpr REFERENCE_TIME kUnitsPerSecond = 10'000'000;

inline REFERENCE_TIME ToMediaTime(int64_t ts, AVRational timeBase) {
  return av_rescale_q(ts, timeBase, kMediaTimeBase);
}

inline int64_t FromMediaTime(REFERENCE_TIME rt, AVRational timeBase) {
  return av_rescale_q(rt, kMediaTimeBase, timeBase);
}

}  // namespace media::engine
