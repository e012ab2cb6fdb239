#include "graph_driver.h"

#include <chrono>

#include "com/com_ptr.h"
#include "com/com_runtime.h"
#include "text/narrow_wide.h"

namespace media_testing {

DriveResult DriveConversion(const std::string& input, const std::string& output, const DriveOptions& options) {
  DriveResult result;
  CoInitialize(nullptr);
  {
    ComPtr<IGraphBuilder> graph;
    ComPtr<ICaptureGraphBuilder2> build;
    ComPtr<IBaseFilter> source, writer;
    const auto fail = [&](const char* step, HRESULT hr) {
      result.failedStep = step;
      result.status = hr;
    };
    HRESULT hr = CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC, IID_IGraphBuilder,
                                  reinterpret_cast<void**>(graph.Put()));
    if (FAILED(hr)) return fail("CoCreateInstance graph", hr), CoUninitialize(), result;
    hr = CoCreateInstance(CLSID_CaptureGraphBuilder2, nullptr, CLSCTX_INPROC_SERVER, IID_ICaptureGraphBuilder2,
                          reinterpret_cast<void**>(build.Put()));
    if (FAILED(hr)) return fail("CoCreateInstance builder", hr), CoUninitialize(), result;

    const auto run = [&]() {
      if (HRESULT hr = build->SetFiltergraph(graph.Get()); FAILED(hr)) return fail("SetFiltergraph", hr);
      const std::u16string in = text::NarrowToWide(input), out = text::NarrowToWide(output);
      if (HRESULT hr = graph->AddSourceFilter(in.c_str(), u"Source Filter", source.Put()); FAILED(hr))
        return fail(kAddSource, hr);
      if (HRESULT hr = build->SetOutputFileName(&MEDIASUBTYPE_Asf, out.c_str(), writer.Put(), nullptr); FAILED(hr))
        return fail(kSetOutput, hr);
      if (HRESULT hr = build->RenderStream(nullptr, nullptr, source.Get(), nullptr, writer.Get()); FAILED(hr))
        return fail(kRender1, hr);
      if (HRESULT hr = build->RenderStream(nullptr, nullptr, source.Get(), nullptr, writer.Get()); FAILED(hr))
        return fail(kRender2, hr);
      auto filter = graph.As<IMediaFilter>();
      auto seeking = graph.As<IMediaSeeking>();
      auto control = graph.As<IMediaControl>();
      auto event = graph.As<IMediaEvent>();
      if (!filter || !seeking || !control || !event) return fail("QueryInterface", E_NOINTERFACE);
      if (options.removeClock || options.clock) {
        if (HRESULT hr = filter->SetSyncSource(options.removeClock ? nullptr : options.clock); FAILED(hr))
          return fail("SetSyncSource", hr);
      }
      if (HRESULT hr = seeking->GetDuration(&result.duration); FAILED(hr)) return fail("GetDuration", hr);
      const auto start = std::chrono::steady_clock::now();
      const auto seconds = [&] {
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
      };
      if (HRESULT hr = control->Run(); FAILED(hr)) return fail("Run", hr);
      HRESULT wait = event->WaitForCompletion(10, &result.eventCode);
      while (wait == E_ABORT) {
        LONGLONG position = 0;
        seeking->GetCurrentPosition(&position);
        result.positions.push_back(position);
        if (options.stopEarly && options.stopEarly(seconds())) break;
        wait = event->WaitForCompletion(10, &result.eventCode);
      }
      result.waitStatus = wait;
      result.runSeconds = seconds();
      const HRESULT stopped = control->Stop();
      LONGLONG position = 0;
      seeking->GetCurrentPosition(&position);
      result.positions.push_back(position);
      if (FAILED(stopped)) return fail(kStop, stopped);
    };
    run();
  }
  CoUninitialize();
  return result;
}

}  // namespace media_testing
