// The ASF writer filter: an output file name and the inputs connected to it. The default profile takes
// one video and one audio input.
#pragma once

#include <string>
#include <vector>

#include "com/com_object.h"
#include "com/com_ptr.h"
#include "engine/media_source.h"
#include "graph/source_filter.h"
#include "media/media_interfaces.h"

namespace media::graph {

class AsfWriterFilter final : public ComObject<IBaseFilter, IFileSinkFilter> {
 public:
  struct Input {
    ComPtr<SourceFilter> source;
    std::size_t output;  // which of the source's outputs
    engine::StreamKind kind;
  };

  explicit AsfWriterFilter(std::string fileName) : fileName_(std::move(fileName)) {}

  const std::string& FileName() const { return fileName_; }
  const std::vector<Input>& Inputs() const { return inputs_; }
  bool HasFreeInput(engine::StreamKind kind) const;
  void AddInput(SourceFilter* source, std::size_t output);

 private:
  std::string fileName_;
  std::vector<Input> inputs_;
};

}  // namespace media::graph
