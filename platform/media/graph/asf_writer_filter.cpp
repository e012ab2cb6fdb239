#include "graph/asf_writer_filter.h"

#include <algorithm>

namespace media::graph {

bool AsfWriterFilter::HasFreeInput(engine::StreamKind kind) const {
  // The default profile: one stream of each kind.
  return std::none_of(inputs_.begin(), inputs_.end(), [&](const Input& input) { return input.kind == kind; });
}

void AsfWriterFilter::AddInput(SourceFilter* source, std::size_t output) {
  inputs_.push_back({ComPtr<SourceFilter>(source), output, source->Output(output).kind});
}

}  // namespace media::graph
