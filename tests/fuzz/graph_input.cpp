#include "graph_input.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "com/com_ptr.h"
#include "com/com_runtime.h"
#include "media/media_interfaces.h"
#include "text/narrow_wide.h"

namespace graph_input {
namespace {

namespace fs = std::filesystem;

// One folder per process, named by its id. The fuzzer ends its child processes without their exit
// handlers, so folders of processes that are gone are removed when the next one starts.
const fs::path& ScratchFolder() {
  static const fs::path folder = [] {
    const char* tmp = std::getenv("TMPDIR");
    const fs::path base = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : (tmp ? tmp : "/tmp");
    const std::string prefix = "vidmill-input-";
    std::error_code ignored;
    for (const auto& entry : fs::directory_iterator(base, ignored)) {
      const std::string name = entry.path().filename().string();
      if (name.rfind(prefix, 0) != 0) continue;
      const std::string pid = name.substr(prefix.size());
      if (pid.empty() || pid.find_first_not_of("0123456789") != std::string::npos) continue;
      if (kill(std::stoi(pid), 0) != 0 && errno == ESRCH) fs::remove_all(entry.path(), ignored);
    }
    const fs::path made = base / (prefix + std::to_string(getpid()));
    fs::remove_all(made, ignored);
    if (!fs::create_directory(made, ignored)) std::abort();
    std::atexit([] {
      std::error_code ignored;
      fs::remove_all(ScratchFolder(), ignored);
    });
    return made;
  }();
  return folder;
}

bool WriteAll(const fs::path& path, const uint8_t* data, std::size_t size) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (fd < 0) return false;
  std::size_t done = 0;
  while (done < size) {
    const ssize_t n = ::write(fd, data + done, size - done);
    if (n <= 0) break;
    done += static_cast<std::size_t>(n);
  }
  return ::close(fd) == 0 && done == size;
}

void Run(const fs::path& input, const fs::path& output, const Options& options, Outcome& outcome) {
  const auto fail = [&](const char* step, HRESULT hr) {
    outcome.failedStep = step;
    outcome.status = hr;
  };
  ComPtr<IGraphBuilder> graph;
  ComPtr<ICaptureGraphBuilder2> build;
  ComPtr<IBaseFilter> source, writer;
  HRESULT hr = CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC, IID_IGraphBuilder,
                                reinterpret_cast<void**>(graph.Put()));
  if (FAILED(hr)) return fail("CoCreateInstance", hr);
  hr = CoCreateInstance(CLSID_CaptureGraphBuilder2, nullptr, CLSCTX_INPROC_SERVER, IID_ICaptureGraphBuilder2,
                        reinterpret_cast<void**>(build.Put()));
  if (FAILED(hr)) return fail("CoCreateInstance", hr);
  if (FAILED(hr = build->SetFiltergraph(graph.Get()))) return fail("SetFiltergraph", hr);
  const std::u16string in = text::NarrowToWide(input.string()), out = text::NarrowToWide(output.string());
  if (FAILED(hr = graph->AddSourceFilter(in.c_str(), u"Source Filter", source.Put()))) return fail("AddSourceFilter", hr);
  if (FAILED(hr = build->SetOutputFileName(&MEDIASUBTYPE_Asf, out.c_str(), writer.Put(), nullptr)))
    return fail("SetOutputFileName", hr);
  if (FAILED(hr = build->RenderStream(nullptr, nullptr, source.Get(), nullptr, writer.Get())))
    return fail("RenderStream 1", hr);
  if (FAILED(hr = build->RenderStream(nullptr, nullptr, source.Get(), nullptr, writer.Get())))
    return fail("RenderStream 2", hr);
  auto filter = graph.As<IMediaFilter>();
  auto seeking = graph.As<IMediaSeeking>();
  auto control = graph.As<IMediaControl>();
  auto event = graph.As<IMediaEvent>();
  if (!filter || !seeking || !control || !event) return fail("QueryInterface", E_NOINTERFACE);
  if (FAILED(hr = filter->SetSyncSource(nullptr))) return fail("SetSyncSource", hr);
  LONGLONG duration = 0;
  seeking->GetDuration(&duration);  // unknown lengths are allowed here: the run does not need one
  if (FAILED(hr = control->Run())) return fail("Run", hr);

  const auto start = std::chrono::steady_clock::now();
  LONG eventCode = 0;
  HRESULT wait = event->WaitForCompletion(10, &eventCode);
  while (wait == E_ABORT) {
    LONGLONG position = 0;
    seeking->GetCurrentPosition(&position);
    if (std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count() > options.maxRunSeconds) {
      outcome.stoppedEarly = true;
      break;
    }
    wait = event->WaitForCompletion(10, &eventCode);
  }
  const HRESULT stopped = control->Stop();
  if (FAILED(wait) && wait != E_ABORT) return fail("Wait", wait);
  if (FAILED(stopped)) return fail("Stop", stopped);
}

}  // namespace

Outcome ConvertBytes(const uint8_t* data, std::size_t size, const Options& options) {
  Outcome outcome;
  const fs::path& folder = ScratchFolder();
  const fs::path input = folder / "input";
  const fs::path output = folder / "output.wmv";
  if (!WriteAll(input, data, size)) std::abort();

  CoInitialize(nullptr);
  Run(input, output, options, outcome);
  CoUninitialize();

  if (options.keepOutput && outcome.failedStep.empty()) {
    std::ifstream file(output, std::ios::binary);
    outcome.output.assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
  }
  std::error_code ignored;
  fs::remove(output, ignored);
  fs::remove(input, ignored);
  for (const auto& entry : fs::directory_iterator(folder)) {
    outcome.leftovers = true;
    fs::remove_all(entry.path(), ignored);
  }
  return outcome;
}

}  // namespace graph_input
