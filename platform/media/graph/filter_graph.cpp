#include "graph/filter_graph.h"

#include <algorithm>

#include "console/termination_signals.h"
#include "engine/output_file.h"
#include "graph/system_clock.h"
#include "text/narrow_wide.h"

namespace media::graph {
namespace {

// The identity of whatever interface of an object the caller holds.
IUnknown* IdentityOf(IUnknown* object) {
  IUnknown* identity = nullptr;
  if (!object || FAILED(object->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&identity)))) return nullptr;
  identity->Release();  // only compared, never used
  return identity;
}

bool SameFile(const std::string& outputName, const engine::MediaSource& source) {
  const auto existing = engine::ExistingFile(outputName);
  return existing && *existing == source.Identity();
}

}  // namespace

FilterGraph::FilterGraph() : clock_(ComPtr<IReferenceClock>::Attach(new SystemClock)) {}

FilterGraph::~FilterGraph() {
  std::lock_guard lock(mutex_);
  StopLocked();
}

HRESULT FilterGraph::AddSourceFilter(LPCWSTR lpcwstrFileName, LPCWSTR lpcwstrFilterName, IBaseFilter** ppFilter) {
  if (!ppFilter) return E_POINTER;
  *ppFilter = nullptr;
  if (!lpcwstrFileName) return E_POINTER;
  std::lock_guard lock(mutex_);
  if (conversion_) return VFW_E_NOT_STOPPED;

  const std::string path = text::WideToNarrow(lpcwstrFileName);
  std::unique_ptr<engine::MediaSource> source;
  if (HRESULT hr = engine::MediaSource::Open(path, &source); FAILED(hr)) return hr;
  for (const auto& writer : writers_)
    if (SameFile(writer->FileName(), *source)) return HRESULT_FROM_WIN32(ERROR_SHARING_VIOLATION);

  auto filter = ComPtr<SourceFilter>::Attach(
      new SourceFilter(lpcwstrFilterName ? std::u16string(lpcwstrFilterName) : std::u16string(), std::move(source)));
  sources_.push_back(filter);
  *ppFilter = filter.Detach();
  return S_OK;
}

HRESULT FilterGraph::AddAsfWriter(const std::string& fileName, IBaseFilter** writer) {
  if (writer) *writer = nullptr;
  std::lock_guard lock(mutex_);
  if (conversion_) return VFW_E_NOT_STOPPED;
  if (HRESULT hr = engine::CheckOutputName(fileName); FAILED(hr)) return hr;
  for (const auto& source : sources_)
    if (SameFile(fileName, source->Source())) return HRESULT_FROM_WIN32(ERROR_SHARING_VIOLATION);
  auto filter = ComPtr<AsfWriterFilter>::Attach(new AsfWriterFilter(fileName));
  writers_.push_back(filter);
  if (writer) *writer = filter.Detach();
  return S_OK;
}

SourceFilter* FilterGraph::FindSource(IUnknown* filter) const {
  IUnknown* identity = IdentityOf(filter);
  for (const auto& source : sources_)
    if (source->Identity() == identity) return source.Get();
  return nullptr;
}

AsfWriterFilter* FilterGraph::FindWriter(IUnknown* filter) const {
  IUnknown* identity = IdentityOf(filter);
  for (const auto& writer : writers_)
    if (writer->Identity() == identity) return writer.Get();
  return nullptr;
}

HRESULT FilterGraph::ConnectToWriter(IUnknown* source, IBaseFilter* writer) {
  if (!source || !writer) return E_POINTER;
  std::lock_guard lock(mutex_);
  if (conversion_) return VFW_E_NOT_STOPPED;
  SourceFilter* from = FindSource(source);
  AsfWriterFilter* to = FindWriter(writer);
  if (!from || !to) return E_INVALIDARG;

  // The first output not yet connected of a kind the writer still takes; one the engine cannot
  // convert is passed over for a later one of that kind.
  HRESULT refused = E_FAIL;
  for (std::size_t i = 0; i < from->OutputCount(); ++i) {
    if (from->IsConnected(i) || !to->HasFreeInput(from->Output(i).kind)) continue;
    const engine::SourceOutput& output = from->Output(i);
    std::unique_ptr<engine::StreamChain> trial;
    const HRESULT hr = engine::CreateStreamChain(*from->Source().Stream(output.streamIndex), output.kind, 0, &trial);
    if (FAILED(hr)) {
      refused = hr;
      continue;
    }
    from->SetConnected(i);
    to->AddInput(from, i);
    return S_OK;
  }
  return refused;
}

HRESULT FilterGraph::SetSyncSource(IReferenceClock* pClock) {
  std::lock_guard lock(mutex_);
  if (conversion_) return VFW_E_NOT_STOPPED;
  clock_ = ComPtr<IReferenceClock>(pClock);
  return S_OK;
}

HRESULT FilterGraph::GetDuration(LONGLONG* pDuration) {
  if (!pDuration) return E_POINTER;
  std::lock_guard lock(mutex_);
  std::optional<REFERENCE_TIME> longest;
  for (const auto& source : sources_)
    if (auto d = source->Source().Duration(); d && (!longest || *d > *longest)) longest = d;
  if (!longest) return E_NOTIMPL;
  *pDuration = *longest;
  return S_OK;
}

HRESULT FilterGraph::GetCurrentPosition(LONGLONG* pCurrent) {
  if (!pCurrent) return E_POINTER;
  std::lock_guard lock(mutex_);
  *pCurrent = conversion_ ? conversion_->Position() : lastPosition_;
  return S_OK;
}

HRESULT FilterGraph::CheckSameFile() const {
  for (const auto& writer : writers_)
    for (const auto& source : sources_)
      if (SameFile(writer->FileName(), source->Source())) return HRESULT_FROM_WIN32(ERROR_SHARING_VIOLATION);
  return S_OK;
}

HRESULT FilterGraph::Run() {
  std::lock_guard lock(mutex_);
  if (conversion_) return S_OK;
  if (writers_.empty()) return VFW_E_NOT_CONNECTED;
  if (HRESULT hr = CheckSameFile(); FAILED(hr)) return hr;

  engine::ConversionPlan plan;
  for (std::size_t w = 0; w < writers_.size(); ++w) {
    plan.outputs.push_back(writers_[w]->FileName());
    for (const auto& input : writers_[w]->Inputs()) {
      const engine::SourceOutput& output = input.source->Output(input.output);
      plan.routes.push_back({&input.source->Source(), output.streamIndex, output.kind, w});
    }
  }
  plan.clock = clock_.Get();
  for (const auto& source : sources_)
    if (auto d = source->Source().Duration(); d && (!plan.duration || *d > *plan.duration)) plan.duration = d;

  // From now on SIGINT, SIGTERM and SIGHUP stop the graph through the program's key test, so the
  // output is finished rather than abandoned.
  console::WatchTerminationSignals();
  std::unique_ptr<engine::Conversion> conversion;
  if (HRESULT hr = engine::Conversion::Start(plan, &conversion); FAILED(hr)) return hr;
  conversion_ = std::move(conversion);
  lastPosition_ = 0;
  return S_OK;
}

HRESULT FilterGraph::Stop() {
  std::lock_guard lock(mutex_);
  return StopLocked();
}

HRESULT FilterGraph::StopLocked() {
  if (!conversion_) return S_OK;
  const HRESULT hr = conversion_->Stop();
  lastPosition_ = conversion_->Position();
  conversion_.reset();
  return hr;
}

HRESULT FilterGraph::WaitForCompletion(LONG msTimeout, LONG* pEvCode) {
  if (!pEvCode) return E_POINTER;
  *pEvCode = 0;
  std::shared_ptr<engine::Conversion> conversion;
  {
    std::lock_guard lock(mutex_);
    conversion = conversion_;
  }
  if (!conversion) return VFW_E_WRONG_STATE;
  return conversion->Wait(msTimeout, pEvCode);
}

}  // namespace media::graph
