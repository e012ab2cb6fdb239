#include "test_graph.h"

#include <atomic>
#include <mutex>
#include <thread>

#include "console/termination_signals.h"
#include "text/narrow_wide.h"

namespace testgraph {

struct State {
  explicit State(Script s) : script(std::move(s)) {}

  void Log(std::string call) {
    std::lock_guard lock(mutex);
    calls.push_back(std::move(call));
  }
  HRESULT Answer(Step step) const { return step != Step::None && script.failing == step ? script.failure : S_OK; }

  Script script;
  mutable std::mutex mutex;
  std::vector<std::string> calls;
  std::atomic<int> live{0};
  int renderCalls = 0;
  size_t waitsDone = 0;
  size_t positionsDone = 0;
  int positionReads = 0;
  std::string sourceFile, outputFile, sourceName;
};

namespace {

// Counts itself among the graph's live objects.
struct Counted {
  explicit Counted(std::shared_ptr<State> s) : state(std::move(s)) { ++state->live; }
  ~Counted() { --state->live; }
  std::shared_ptr<State> state;
};

// One reference count for an object; each interface's Release is logged under the name the
// conversion holds it by.
class RefCounted : protected Counted {
 public:
  using Counted::Counted;
  virtual ~RefCounted() = default;
  ULONG AddRefObject() { return ++refs_; }
  ULONG ReleaseObject(const char* heldAs) {
    state->Log(std::string("Release ") + heldAs);
    const ULONG left = --refs_;
    if (left == 0) delete this;
    return left;
  }

 private:
  std::atomic<ULONG> refs_{1};
};

class Filter final : public IBaseFilter, public RefCounted {
 public:
  Filter(std::shared_ptr<State> s, const char* heldAs) : RefCounted(std::move(s)), heldAs_(heldAs) {}
  HRESULT QueryInterface(REFIID riid, void** ppv) override {
    if (!IsEqualIID(riid, IID_IUnknown) && !IsEqualIID(riid, IID_IBaseFilter)) {
      *ppv = nullptr;
      return E_NOINTERFACE;
    }
    *ppv = static_cast<IBaseFilter*>(this);
    AddRef();
    return S_OK;
  }
  ULONG AddRef() override { return AddRefObject(); }
  ULONG Release() override { return ReleaseObject(heldAs_); }

 private:
  const char* heldAs_;
};

class Graph;

// Each interface of the graph is a part of it that shares its count and identity.
template <class Interface>
class GraphPart : public Interface {
 public:
  GraphPart(Graph* graph, const char* heldAs) : graph_(graph), heldAs_(heldAs) {}
  HRESULT QueryInterface(REFIID riid, void** ppv) override;
  ULONG AddRef() override;
  ULONG Release() override;

 protected:
  Graph* graph_;
  const char* heldAs_;
};

class Graph final : public RefCounted {
 public:
  explicit Graph(std::shared_ptr<State> s) : RefCounted(std::move(s)) {}

  HRESULT QueryInterface(REFIID riid, void** ppv) {
    if (ppv == nullptr) return E_POINTER;
    *ppv = nullptr;
    struct Known {
      const IID& iid;
      const char* name;
      Step step;
      void* part;
    };
    const Known known[] = {
        {IID_IUnknown, nullptr, Step::None, static_cast<IGraphBuilder*>(&builder)},
        {IID_IGraphBuilder, nullptr, Step::None, static_cast<IGraphBuilder*>(&builder)},
        {IID_IMediaFilter, "IMediaFilter", Step::QueryMediaFilter, static_cast<IMediaFilter*>(&filter)},
        {IID_IMediaSeeking, "IMediaSeeking", Step::QueryMediaSeeking, static_cast<IMediaSeeking*>(&seeking)},
        {IID_IMediaControl, "IMediaControl", Step::QueryMediaControl, static_cast<IMediaControl*>(&control)},
        {IID_IMediaEvent, "IMediaEvent", Step::QueryMediaEvent, static_cast<IMediaEvent*>(&event)},
    };
    for (const Known& k : known) {
      if (!IsEqualIID(riid, k.iid)) continue;
      if (k.name != nullptr) state->Log(std::string("QueryInterface(") + k.name + ")");
      if (const HRESULT hr = state->Answer(k.step); FAILED(hr)) return hr;
      *ppv = k.part;
      AddRefObject();
      return S_OK;
    }
    return E_NOINTERFACE;
  }

  struct Builder : GraphPart<IGraphBuilder> {
    using GraphPart::GraphPart;
    HRESULT AddSourceFilter(LPCWSTR file, LPCWSTR name, IBaseFilter** ppFilter) override;
  } builder{this, "pGraph"};

  struct MediaFilter : GraphPart<IMediaFilter> {
    using GraphPart::GraphPart;
    HRESULT SetSyncSource(IReferenceClock* clock) override;
  } filter{this, "pMediaFilter"};

  struct Seeking : GraphPart<IMediaSeeking> {
    using GraphPart::GraphPart;
    HRESULT GetDuration(LONGLONG* duration) override;
    HRESULT GetCurrentPosition(LONGLONG* current) override;
  } seeking{this, "pSeeking"};

  struct Control : GraphPart<IMediaControl> {
    using GraphPart::GraphPart;
    HRESULT Run() override;
    HRESULT Stop() override;
  } control{this, "pMediaControl"};

  struct Event : GraphPart<IMediaEvent> {
    using GraphPart::GraphPart;
    HRESULT WaitForCompletion(LONG msTimeout, LONG* evCode) override;
  } event{this, "pEvent"};

  State& S() { return *state; }
  std::shared_ptr<State> Shared() { return state; }
};

template <class Interface>
HRESULT GraphPart<Interface>::QueryInterface(REFIID riid, void** ppv) {
  return graph_->QueryInterface(riid, ppv);
}
template <class Interface>
ULONG GraphPart<Interface>::AddRef() {
  return graph_->AddRefObject();
}
template <class Interface>
ULONG GraphPart<Interface>::Release() {
  return graph_->ReleaseObject(heldAs_);
}

HRESULT Graph::Builder::AddSourceFilter(LPCWSTR file, LPCWSTR name, IBaseFilter** ppFilter) {
  State& s = graph_->S();
  s.Log("AddSourceFilter");
  s.sourceFile = text::WideToNarrow(file);
  s.sourceName = text::WideToNarrow(name);
  if (const HRESULT hr = s.Answer(Step::AddSourceFilter); FAILED(hr)) return hr;
  *ppFilter = new Filter(graph_->Shared(), "pSrc");
  return S_OK;
}

HRESULT Graph::MediaFilter::SetSyncSource(IReferenceClock* clock) {
  graph_->S().Log(clock == nullptr ? "SetSyncSource(NULL)" : "SetSyncSource(clock)");
  return graph_->S().Answer(Step::SetSyncSource);
}

HRESULT Graph::Seeking::GetDuration(LONGLONG* duration) {
  State& s = graph_->S();
  s.Log("GetDuration");
  if (const HRESULT hr = s.Answer(Step::GetDuration); FAILED(hr)) return hr;
  *duration = s.script.duration;
  return S_OK;
}

HRESULT Graph::Seeking::GetCurrentPosition(LONGLONG* current) {
  State& s = graph_->S();
  std::lock_guard lock(s.mutex);
  ++s.positionReads;
  if (s.script.positions.empty()) return E_NOTIMPL;
  const Position& p = s.script.positions[std::min(s.positionsDone, s.script.positions.size() - 1)];
  ++s.positionsDone;
  if (SUCCEEDED(p.status)) *current = p.time;
  return p.status;
}

HRESULT Graph::Control::Run() {
  graph_->S().Log("Run");
  console::WatchTerminationSignals();  // as the framework does for a running graph
  return graph_->S().Answer(Step::Run);
}

HRESULT Graph::Control::Stop() {
  graph_->S().Log("Stop");
  return graph_->S().Answer(Step::Stop);
}

HRESULT Graph::Event::WaitForCompletion(LONG /*msTimeout*/, LONG* evCode) {
  State& s = graph_->S();
  HRESULT hr;
  {
    std::lock_guard lock(s.mutex);
    hr = s.waitsDone < s.script.waits.size() ? s.script.waits[s.waitsDone] : s.script.thenWaits;
    ++s.waitsDone;
  }
  if (hr == E_ABORT && s.script.waitTime.count() > 0) std::this_thread::sleep_for(s.script.waitTime);
  *evCode = hr == E_ABORT ? 0 : s.script.evCode;
  return hr;
}

class CaptureBuilder final : public ICaptureGraphBuilder2, public RefCounted {
 public:
  using RefCounted::RefCounted;
  HRESULT QueryInterface(REFIID riid, void** ppv) override {
    if (!IsEqualIID(riid, IID_IUnknown) && !IsEqualIID(riid, IID_ICaptureGraphBuilder2)) {
      *ppv = nullptr;
      return E_NOINTERFACE;
    }
    *ppv = static_cast<ICaptureGraphBuilder2*>(this);
    AddRef();
    return S_OK;
  }
  ULONG AddRef() override { return AddRefObject(); }
  ULONG Release() override { return ReleaseObject("pBuild"); }

  HRESULT SetFiltergraph(IGraphBuilder* graph) override {
    state->Log(graph != nullptr ? "SetFiltergraph" : "SetFiltergraph(NULL)");
    return state->Answer(Step::SetFiltergraph);
  }
  HRESULT SetOutputFileName(const GUID* type, LPCOLESTR file, IBaseFilter** ppf, IFileSinkFilter** ppSink) override {
    state->Log(type != nullptr && *type == MEDIASUBTYPE_Asf && ppSink == nullptr ? "SetOutputFileName"
                                                                                 : "SetOutputFileName(other)");
    state->outputFile = text::WideToNarrow(file);
    if (const HRESULT hr = state->Answer(Step::SetOutputFileName); FAILED(hr)) return hr;
    *ppf = new Filter(state, "pAsfWriter");
    return S_OK;
  }
  HRESULT RenderStream(const GUID* category, const GUID* type, IUnknown* source, IBaseFilter* compressor,
                       IBaseFilter* renderer) override {
    const bool plain =
        category == nullptr && type == nullptr && source != nullptr && compressor == nullptr && renderer != nullptr;
    state->Log(plain ? "RenderStream" : "RenderStream(other)");
    const Step step = ++state->renderCalls == 1 ? Step::FirstRenderStream : Step::SecondRenderStream;
    return state->Answer(step);
  }
};

// Makes an object for CoCreateInstance, or fails as the script says.
template <class Object>
com::ClassFactory FactoryOf(std::shared_ptr<State> state, Step step, const char* name) {
  return [state, step, name](REFIID riid, void** ppv) -> HRESULT {
    state->Log(std::string("CoCreateInstance(") + name + ")");
    if (const HRESULT hr = state->Answer(step); FAILED(hr)) return hr;
    auto* object = new Object(state);
    const HRESULT hr = object->QueryInterface(riid, ppv);
    object->ReleaseObject("(creation)");
    return hr;
  };
}

}  // namespace

TestGraph::TestGraph(Script script)
    : state_(std::make_shared<State>(std::move(script))),
      graphClass_(CLSID_FilterGraph, FactoryOf<Graph>(state_, Step::CreateGraph, "CLSID_FilterGraph")),
      builderClass_(CLSID_CaptureGraphBuilder2,
                    FactoryOf<CaptureBuilder>(state_, Step::CreateBuilder, "CLSID_CaptureGraphBuilder2")) {}

TestGraph::~TestGraph() = default;

std::vector<std::string> TestGraph::calls() const {
  std::lock_guard lock(state_->mutex);
  std::vector<std::string> calls;
  for (const std::string& call : state_->calls)
    if (call != "Release (creation)") calls.push_back(call);
  return calls;
}

int TestGraph::waitCount() const {
  std::lock_guard lock(state_->mutex);
  return static_cast<int>(state_->waitsDone);
}

int TestGraph::positionReads() const {
  std::lock_guard lock(state_->mutex);
  return state_->positionReads;
}

int TestGraph::liveObjects() const { return state_->live.load(); }
std::string TestGraph::sourceFileName() const { return state_->sourceFile; }
std::string TestGraph::outputFileName() const { return state_->outputFile; }
std::string TestGraph::sourceFilterName() const { return state_->sourceName; }

}  // namespace testgraph
