// The media framework's interfaces, as far as programs of this platform call them.
//
// Times are REFERENCE_TIME, 100-ns units. Every method answers a status; out-parameters are null on
// failure.
#pragma once

#include "com/unknown.h"
#include "media/media_guids.h"

struct IReferenceClock : IUnknown {
  static constexpr const IID& iid = IID_IReferenceClock;
  virtual HRESULT GetTime(REFERENCE_TIME* pTime) = 0;

 protected:
  ~IReferenceClock() = default;
};

// A filter in a graph. Programs only hold and pass these; the framework knows what is behind them.
struct IBaseFilter : IUnknown {
  static constexpr const IID& iid = IID_IBaseFilter;

 protected:
  ~IBaseFilter() = default;
};

struct IFileSinkFilter : IUnknown {
  static constexpr const IID& iid = IID_IFileSinkFilter;

 protected:
  ~IFileSinkFilter() = default;
};

struct IGraphBuilder : IUnknown {
  static constexpr const IID& iid = IID_IGraphBuilder;
  virtual HRESULT AddSourceFilter(LPCWSTR lpcwstrFileName, LPCWSTR lpcwstrFilterName, IBaseFilter** ppFilter) = 0;

 protected:
  ~IGraphBuilder() = default;
};

struct IMediaFilter : IUnknown {
  static constexpr const IID& iid = IID_IMediaFilter;
  virtual HRESULT SetSyncSource(IReferenceClock* pClock) = 0;

 protected:
  ~IMediaFilter() = default;
};

struct IMediaSeeking : IUnknown {
  static constexpr const IID& iid = IID_IMediaSeeking;
  virtual HRESULT GetDuration(LONGLONG* pDuration) = 0;
  virtual HRESULT GetCurrentPosition(LONGLONG* pCurrent) = 0;

 protected:
  ~IMediaSeeking() = default;
};

struct IMediaControl : IUnknown {
  static constexpr const IID& iid = IID_IMediaControl;
  virtual HRESULT Run() = 0;
  virtual HRESULT Stop() = 0;

 protected:
  ~IMediaControl() = default;
};

struct IMediaEvent : IUnknown {
  static constexpr const IID& iid = IID_IMediaEvent;
  // Waits up to msTimeout: E_ABORT while the graph still runs, else how it ended.
  virtual HRESULT WaitForCompletion(LONG msTimeout, LONG* pEvCode) = 0;

 protected:
  ~IMediaEvent() = default;
};

struct ICaptureGraphBuilder2 : IUnknown {
  static constexpr const IID& iid = IID_ICaptureGraphBuilder2;
  virtual HRESULT SetFiltergraph(IGraphBuilder* pfg) = 0;
  virtual HRESULT SetOutputFileName(const GUID* pType, LPCOLESTR lpstrFile, IBaseFilter** ppf,
                                    IFileSinkFilter** ppSink) = 0;
  virtual HRESULT RenderStream(const GUID* pCategory, const GUID* pType, IUnknown* pSource, IBaseFilter* pfCompressor,
                               IBaseFilter* pfRenderer) = 0;

 protected:
  ~ICaptureGraphBuilder2() = default;
};

// Graph event codes.
inline constexpr LONG EC_COMPLETE = 0x01;
inline constexpr LONG EC_USERABORT = 0x02;
inline constexpr LONG EC_ERRORABORT = 0x03;
