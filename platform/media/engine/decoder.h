// Decoding one source stream: packets from the chain's input queue become frames.
#pragma once

#include <functional>
#include <optional>
#include <stop_token>

#include "com/types.h"
#include "engine/bounded_queue.h"
#include "engine/ffmpeg_handles.h"

namespace media::engine {

// A decoder for the stream; VFW_E_CANNOT_RENDER when FFmpeg has none that opens. `threads` 0 lets
// FFmpeg choose how many threads it decodes on.
HRESULT OpenDecoder(const AVStream& stream, CodecContextPtr* decoder, int threads = 0);

// Where a decoder's packets come from: the next one, nothing at the end of the input or when stopped.
using PacketSource = std::function<std::optional<PacketPtr>(std::stop_token)>;

// Decodes every packet of `input` until it is closed, then drains the decoder. Packets that do not
// decode are dropped and decoding goes on. Each frame goes to `onFrame`; its failure ends decoding.
// S_OK when stopped.
HRESULT DecodeStream(AVCodecContext& decoder, BoundedQueue<PacketPtr>& input, std::stop_token stop,
                     const std::function<HRESULT(AVFrame&)>& onFrame);
// The same for packets from `next`, until it has no more.
HRESULT DecodeStream(AVCodecContext& decoder, const PacketSource& next, std::stop_token stop,
                     const std::function<HRESULT(AVFrame&)>& onFrame);

}  // namespace media::engine
