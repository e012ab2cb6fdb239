#include "graph/source_filter.h"

namespace media::graph {

SourceFilter::SourceFilter(std::u16string name, std::unique_ptr<engine::MediaSource> source)
    : name_(std::move(name)), source_(std::move(source)), connected_(source_->Outputs().size(), false) {}

}  // namespace media::graph
