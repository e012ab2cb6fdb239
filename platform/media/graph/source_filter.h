// The source filter: an opened input file with one output per audio or video stream.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "com/com_object.h"
#include "engine/media_source.h"
#include "media/media_interfaces.h"

namespace media::graph {

class SourceFilter final : public ComObject<IBaseFilter> {
 public:
  SourceFilter(std::u16string name, std::unique_ptr<engine::MediaSource> source);

  const std::u16string& Name() const { return name_; }
  engine::MediaSource& Source() { return *source_; }

  std::size_t OutputCount() const { return connected_.size(); }
  const engine::SourceOutput& Output(std::size_t i) const { return source_->Outputs()[i]; }
  bool IsConnected(std::size_t i) const { return connected_[i]; }
  void SetConnected(std::size_t i) { connected_[i] = true; }

 private:
  std::u16string name_;
  std::unique_ptr<engine::MediaSource> source_;
  std::vector<bool> connected_;
};

}  // namespace media::graph
