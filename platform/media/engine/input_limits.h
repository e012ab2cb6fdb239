// What the engine is willing to read. A file's header can claim anything (a 100000 x 100000 picture, a
// billion streams, a table of a billion entries); these bounds make such a file fail cleanly, as one the
// engine does not read, before anything that large is allocated. Real media stays well inside them.
#pragma once

#include <cstddef>

#include "com/types.h"
#include "engine/ffmpeg_handles.h"

namespace media::engine::limits {

// Pictures: any side up to 16384, and at most a DCI 8K picture's area.
inline constexpr int kMaxFrameSide = 16384;
inline constexpr int kMaxFrameArea = 8192 * 4320;
// Sound: up to 64 channels at up to 768 kHz; one decoded frame holds at most 2^22 samples.
inline constexpr int kMaxChannels = 64;
inline constexpr int kMaxSampleRate = 768000;
inline constexpr int kMaxFrameSamples = 1 << 22;
// Streams in one file.
inline constexpr int kMaxStreams = 100;
// The largest single block FFmpeg may allocate: room for the largest picture in any pixel format
// of up to 7 bytes a pixel, far above what any index or header of a real file needs.
inline constexpr std::size_t kMaxAllocation = 256u << 20;

// Applies the allocation bound to FFmpeg; called before any file is opened.
void LimitAllocations();

// Bounds for opening and probing an input.
void LimitInput(AVFormatContext& format);

// Whether a stream's claimed parameters are within the bounds (S_OK), else VFW_E_CANNOT_RENDER.
HRESULT CheckStream(const AVCodecParameters& parameters);

// Bounds for a decoder of such a stream: no picture or frame beyond them is ever allocated.
void LimitDecoder(AVCodecContext& decoder);

}  // namespace media::engine::limits
