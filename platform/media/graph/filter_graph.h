// The filter graph manager: holds the graph's filters and its reference clock, and runs the graph on
// the engine.
#pragma once

#include <memory>
#include <mutex>
#include <vector>

#include "com/com_object.h"
#include "com/com_ptr.h"
#include "engine/conversion.h"
#include "graph/asf_writer_filter.h"
#include "graph/graph_internal.h"
#include "graph/source_filter.h"
#include "media/media_interfaces.h"

namespace media::graph {

class FilterGraph final
    : public ComObject<IGraphBuilder, IMediaFilter, IMediaSeeking, IMediaControl, IMediaEvent, IFilterGraphBuilding> {
 public:
  FilterGraph();

  // IGraphBuilder
  HRESULT AddSourceFilter(LPCWSTR lpcwstrFileName, LPCWSTR lpcwstrFilterName, IBaseFilter** ppFilter) override;
  // IMediaFilter
  HRESULT SetSyncSource(IReferenceClock* pClock) override;
  // IMediaSeeking
  HRESULT GetDuration(LONGLONG* pDuration) override;
  HRESULT GetCurrentPosition(LONGLONG* pCurrent) override;
  // IMediaControl
  HRESULT Run() override;
  HRESULT Stop() override;
  // IMediaEvent
  HRESULT WaitForCompletion(LONG msTimeout, LONG* pEvCode) override;
  // IFilterGraphBuilding
  HRESULT AddAsfWriter(const std::string& fileName, IBaseFilter** writer) override;
  HRESULT ConnectToWriter(IUnknown* source, IBaseFilter* writer) override;

 private:
  ~FilterGraph() override;

  SourceFilter* FindSource(IUnknown* filter) const;
  AsfWriterFilter* FindWriter(IUnknown* filter) const;
  // 0x80070020 when a writer would write over one of the graph's sources.
  HRESULT CheckSameFile() const;
  HRESULT StopLocked();

  mutable std::mutex mutex_;
  ComPtr<IReferenceClock> clock_;
  std::vector<ComPtr<SourceFilter>> sources_;
  std::vector<ComPtr<AsfWriterFilter>> writers_;
  std::shared_ptr<engine::Conversion> conversion_;  // while running
  REFERENCE_TIME lastPosition_ = 0;                 // where the last run got to
};

}  // namespace media::graph
