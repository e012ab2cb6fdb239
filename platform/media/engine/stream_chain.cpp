#include "engine/stream_chain.h"

#include "engine/audio_chain.h"
#include "engine/video_chain.h"

namespace media::engine {

HRESULT CreateStreamChain(const AVStream& stream, StreamKind kind, REFERENCE_TIME origin,
                          std::unique_ptr<StreamChain>* chain) {
  return kind == StreamKind::kVideo ? VideoChain::Create(stream, origin, chain)
                                    : AudioChain::Create(stream, origin, chain);
}

}  // namespace media::engine
