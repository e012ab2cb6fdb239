// The framework's classes in the COM class table.
#include "com/class_table.h"
#include "com/com_ptr.h"
#include "graph/capture_graph_builder.h"
#include "graph/filter_graph.h"

namespace media::graph {
namespace {

template <class Class>
HRESULT Create(REFIID riid, void** ppv) {
  auto object = ComPtr<IUnknown>::Attach(static_cast<Class*>(new Class)->Identity());
  return object->QueryInterface(riid, ppv);
}

const com::ClassRegistration filterGraph(CLSID_FilterGraph, Create<FilterGraph>);
const com::ClassRegistration captureGraphBuilder(CLSID_CaptureGraphBuilder2, Create<CaptureGraphBuilder>);

}  // namespace
}  // namespace media::graph
