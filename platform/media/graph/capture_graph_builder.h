// The capture graph builder: sets up the ASF writer and connects the source's streams to it, working
// on the filter graph manager it was given.
#pragma once

#include "com/com_object.h"
#include "com/com_ptr.h"
#include "media/media_interfaces.h"

namespace media::graph {

class CaptureGraphBuilder final : public ComObject<ICaptureGraphBuilder2> {
 public:
  HRESULT SetFiltergraph(IGraphBuilder* pfg) override;
  HRESULT SetOutputFileName(const GUID* pType, LPCOLESTR lpstrFile, IBaseFilter** ppf,
                            IFileSinkFilter** ppSink) override;
  HRESULT RenderStream(const GUID* pCategory, const GUID* pType, IUnknown* pSource, IBaseFilter* pfCompressor,
                       IBaseFilter* pfRenderer) override;

 private:
  ComPtr<IGraphBuilder> graph_;
};

}  // namespace media::graph
