// One connected stream between the source and the writer: packets in, encoded packets out.
//
// A chain owns its decoder, converters and encoder. The writer learns the encoded stream's parameters
// from EncodedFormat() before streaming starts. Run() takes source packets from its input queue until
// that queue is closed, then drains everything and ends its writer input.
#pragma once

#include <memory>
#include <stop_token>

#include "com/types.h"
#include "engine/bounded_queue.h"
#include "engine/ffmpeg_handles.h"
#include "engine/interleaver.h"
#include "engine/media_source.h"

namespace media::engine {

using PacketQueue = BoundedQueue<PacketPtr>;

class StreamChain {
 public:
  virtual ~StreamChain() = default;

  // The encoder whose output this chain delivers (parameters, time base).
  virtual const AVCodecContext& EncodedFormat() const = 0;

  // Streams until the input ends (S_OK), the stop token fires (S_OK), or a failure leaves nothing
  // sound to deliver (its status).
  virtual HRESULT Run(PacketQueue& input, WriterInput output, std::stop_token stop) = 0;
};

// A chain for the source's stream, with the default profile. `origin` is the media time that becomes 0.
// VFW_E_CANNOT_RENDER when the stream cannot be decoded or encoded.
HRESULT CreateStreamChain(const AVStream& stream, StreamKind kind, REFERENCE_TIME origin,
                          std::unique_ptr<StreamChain>* chain);

}  // namespace media::engine
