// What the capture graph builder asks of the filter graph manager it works on. Not one of the
// framework's published interfaces: only this framework's own graph answers it.
#pragma once

#include <string>

#include "media/media_interfaces.h"

namespace media::graph {

// {6F2C8A41-3B7D-4E15-9C2A-58D1E0B7A913}
inline constexpr IID IID_IFilterGraphBuilding{
    0x6F2C8A41, 0x3B7D, 0x4E15, {0x9C, 0x2A, 0x58, 0xD1, 0xE0, 0xB7, 0xA9, 0x13}};

struct IFilterGraphBuilding : IUnknown {
  static constexpr const IID& iid = IID_IFilterGraphBuilding;

  // An ASF writer with the default profile for `fileName` (the name's bytes) joins the graph.
  virtual HRESULT AddAsfWriter(const std::string& fileName, IBaseFilter** writer) = 0;

  // Connects the first free output of `source` that `writer` has a free input for.
  virtual HRESULT ConnectToWriter(IUnknown* source, IBaseFilter* writer) = 0;

 protected:
  ~IFilterGraphBuilding() = default;
};

}  // namespace media::graph
