#include "graph/capture_graph_builder.h"

#include "graph/graph_internal.h"
#include "text/narrow_wide.h"

namespace media::graph {
namespace {

IUnknown* IdentityOf(IUnknown* object) {
  IUnknown* identity = nullptr;
  if (!object || FAILED(object->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&identity)))) return nullptr;
  identity->Release();
  return identity;
}

}  // namespace

HRESULT CaptureGraphBuilder::SetFiltergraph(IGraphBuilder* pfg) {
  if (!pfg) return E_POINTER;
  if (graph_) return IdentityOf(graph_.Get()) == IdentityOf(pfg) ? S_OK : E_UNEXPECTED;
  graph_ = ComPtr<IGraphBuilder>(pfg);
  return S_OK;
}

HRESULT CaptureGraphBuilder::SetOutputFileName(const GUID* pType, LPCOLESTR lpstrFile, IBaseFilter** ppf,
                                               IFileSinkFilter** ppSink) {
  if (ppf) *ppf = nullptr;
  if (ppSink) *ppSink = nullptr;
  if (!graph_) return E_UNEXPECTED;
  if (!pType || !lpstrFile) return E_POINTER;
  if (!IsEqualGUID(*pType, MEDIASUBTYPE_Asf)) return E_NOTIMPL;
  if (lpstrFile[0] == u'\0') return E_INVALIDARG;
  auto building = graph_.As<IFilterGraphBuilding>();
  if (!building) return E_NOINTERFACE;

  ComPtr<IBaseFilter> writer;
  if (HRESULT hr = building->AddAsfWriter(text::WideToNarrow(lpstrFile), writer.Put()); FAILED(hr)) return hr;
  if (ppSink) {
    if (HRESULT hr = writer->QueryInterface(IID_IFileSinkFilter, reinterpret_cast<void**>(ppSink)); FAILED(hr))
      return hr;
  }
  if (ppf) *ppf = writer.Detach();
  return S_OK;
}

HRESULT CaptureGraphBuilder::RenderStream(const GUID* pCategory, const GUID* pType, IUnknown* pSource,
                                          IBaseFilter* pfCompressor, IBaseFilter* pfRenderer) {
  if (!graph_) return E_UNEXPECTED;
  if (!pSource || !pfRenderer) return E_POINTER;
  // Pin categories, media-type filters and chosen compressors are not part of this framework.
  if (pCategory || pType || pfCompressor) return E_NOTIMPL;
  auto building = graph_.As<IFilterGraphBuilding>();
  if (!building) return E_NOINTERFACE;
  return building->ConnectToWriter(pSource, pfRenderer);
}

}  // namespace media::graph
