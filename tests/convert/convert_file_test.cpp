// The conversion routine against a scripted graph: its step order, failure reports, progress line
// and the release of everything it obtained.

#include "convert/convert_file.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "captured_stdio.h"
#include "com/com_runtime.h"
#include "test_graph.h"

namespace {

using testgraph::Position;
using testgraph::Script;
using testgraph::Step;
using testgraph::TestGraph;
using testing_support::CapturedStdio;

// The calls of a whole conversion, in order.
const std::vector<std::string> kAllCalls = {
    "CoCreateInstance(CLSID_FilterGraph)",
    "CoCreateInstance(CLSID_CaptureGraphBuilder2)",
    "SetFiltergraph",
    "AddSourceFilter",
    "SetOutputFileName",
    "RenderStream",
    "RenderStream",
    "QueryInterface(IMediaFilter)",
    "SetSyncSource(NULL)",
    "QueryInterface(IMediaSeeking)",
    "GetDuration",
    "QueryInterface(IMediaControl)",
    "QueryInterface(IMediaEvent)",
    "Run",
    "Stop",
};

// Which call obtains which interface.
const std::vector<std::pair<size_t, std::string>> kObtained = {
    {0, "pGraph"},       {1, "pBuild"},   {3, "pSrc"},           {4, "pAsfWriter"},
    {7, "pMediaFilter"}, {9, "pSeeking"}, {11, "pMediaControl"}, {12, "pEvent"},
};

// The calls up to and including call `last`, then the release of what those before it obtained
// (the failing call obtains nothing), latest first.
std::vector<std::string> CallsEndingAt(size_t last, bool lastSucceeded) {
  std::vector<std::string> calls(kAllCalls.begin(), kAllCalls.begin() + static_cast<long>(last) + 1);
  for (auto it = kObtained.rbegin(); it != kObtained.rend(); ++it)
    if (it->first < last || (lastSucceeded && it->first == last)) calls.push_back("Release " + it->second);
  return calls;
}

struct Converted {
  int result;
  std::string out;
  off_t inputRead;
};

Converted Convert(const char* in = "clip.avi", const char* out = "clip.avi.wmv", bool initialiseCom = true) {
  CapturedStdio stdio("\nmore input\n");
  if (initialiseCom) CoInitialize(NULL);
  const int result = ConvertFile(in, out);
  if (initialiseCom) CoUninitialize();
  Converted converted{result, stdio.Finish(), stdio.InputRead()};
  return converted;
}

std::string Report(const std::string& step, const char* status) {
  return "FAILED in " + step + "! hr=0x" + status + "\r\r\n";
}

struct StepCase {
  Step step;
  HRESULT status;
  const char* hex;
  size_t call;  // index in kAllCalls
  std::string text;
};

void PrintTo(const StepCase& c, std::ostream* os) { *os << c.text; }

class StepFailure : public ::testing::TestWithParam<StepCase> {};

TEST_P(StepFailure, IsReportedOnceAndEverythingObtainedIsReleased) {
  const StepCase& c = GetParam();
  Script script;
  script.failing = c.step;
  script.failure = c.status;
  TestGraph graph(script);

  const Converted converted = Convert();

  EXPECT_EQ(converted.result, -1);
  EXPECT_EQ(converted.out, Report(c.text, c.hex));
  EXPECT_EQ(converted.inputRead, 1) << "one character is read to acknowledge the report";
  // Stop is called after the wait, so a failing Stop has its Run before it and releases all.
  EXPECT_EQ(graph.calls(), CallsEndingAt(c.call, c.step == Step::Stop));
  EXPECT_EQ(graph.liveObjects(), 0);
}

INSTANTIATE_TEST_SUITE_P(
    EachStep, StepFailure,
    ::testing::Values(
        StepCase{Step::CreateGraph, static_cast<HRESULT>(0x80040154), "80040154", 0,
                 "CoCreateInstance(CLSID_FilterGraph, NULL, CLSCTX_INPROC, IID_IGraphBuilder, (void **)&pGraph)"},
        StepCase{Step::CreateBuilder, static_cast<HRESULT>(0x8007000e), "8007000e", 1,
                 "CoCreateInstance(CLSID_CaptureGraphBuilder2, NULL, CLSCTX_INPROC_SERVER, "
                 "IID_ICaptureGraphBuilder2, (void **)&pBuild)"},
        StepCase{Step::SetFiltergraph, static_cast<HRESULT>(0x8000ffff), "8000ffff", 2,
                 "pBuild->SetFiltergraph(pGraph)"},
        StepCase{Step::AddSourceFilter, static_cast<HRESULT>(0x80070002), "80070002", 3,
                 "pGraph->AddSourceFilter(T2W(lpszInFileName), L\"Source Filter\", &pSrc)"},
        StepCase{Step::SetOutputFileName, static_cast<HRESULT>(0x80070057), "80070057", 4,
                 "pBuild->SetOutputFileName(&MEDIASUBTYPE_Asf, T2W(lpszOutFileName), &pAsfWriter, NULL)"},
        StepCase{Step::FirstRenderStream, static_cast<HRESULT>(0x80040218), "80040218", 5,
                 "pBuild->RenderStream(NULL, NULL, pSrc, NULL, pAsfWriter)"},
        StepCase{Step::SecondRenderStream, static_cast<HRESULT>(0x80004005), "80004005", 6,
                 "pBuild->RenderStream(NULL, NULL, pSrc, NULL, pAsfWriter)"},
        StepCase{Step::QueryMediaFilter, static_cast<HRESULT>(0x80004002), "80004002", 7,
                 "pGraph->QueryInterface(IID_IMediaFilter, (void**)&pMediaFilter)"},
        StepCase{Step::SetSyncSource, static_cast<HRESULT>(0x80040224), "80040224", 8,
                 "pMediaFilter->SetSyncSource(NULL)"},
        StepCase{Step::QueryMediaSeeking, static_cast<HRESULT>(0x80004003), "80004003", 9,
                 "pGraph->QueryInterface(IID_IMediaSeeking, (void**)&pSeeking)"},
        StepCase{Step::GetDuration, static_cast<HRESULT>(0x80004001), "80004001", 10,
                 "pSeeking->GetDuration( &rtDuration )"},
        StepCase{Step::QueryMediaControl, static_cast<HRESULT>(0x80010001), "80010001", 11,
                 "pGraph->QueryInterface(IID_IMediaControl, (void **)&pMediaControl)"},
        StepCase{Step::QueryMediaEvent, static_cast<HRESULT>(0x800a0001), "800a0001", 12,
                 "pGraph->QueryInterface(IID_IMediaEvent, (void **)&pEvent)"},
        StepCase{Step::Run, static_cast<HRESULT>(0x80070005), "80070005", 13, "pMediaControl->Run()"},
        StepCase{Step::Stop, static_cast<HRESULT>(0x80070070), "80070070", 14, "pMediaControl->Stop()"}));

TEST(ConvertFile, CompleteRunSucceedsQuietlyAndReleasesEverything) {
  Script script;
  script.duration = 20000000;
  TestGraph graph(script);

  const Converted converted = Convert("dir/clip one.avi", "out.wmv");

  EXPECT_EQ(converted.result, 0);
  EXPECT_EQ(converted.out, "") << "a first wait that completes shows no progress";
  EXPECT_EQ(converted.inputRead, 0);
  EXPECT_EQ(graph.calls(), CallsEndingAt(kAllCalls.size() - 1, true));
  EXPECT_EQ(graph.waitCount(), 1);
  EXPECT_EQ(graph.liveObjects(), 0);
  EXPECT_EQ(graph.sourceFileName(), "dir/clip one.avi");
  EXPECT_EQ(graph.sourceFilterName(), "Source Filter");
  EXPECT_EQ(graph.outputFileName(), "out.wmv");
}

TEST(ConvertFile, WithoutComTheFirstStepReportsNotInitialized) {
  TestGraph graph(Script{});
  const Converted converted = Convert("clip.avi", "clip.avi.wmv", /*initialiseCom=*/false);
  EXPECT_EQ(converted.result, -1);
  EXPECT_EQ(converted.out, Report("CoCreateInstance(CLSID_FilterGraph, NULL, CLSCTX_INPROC, IID_IGraphBuilder, "
                                  "(void **)&pGraph)",
                                  "800401f0"));
  EXPECT_TRUE(graph.calls().empty()) << "no object was made";
}

TEST(ConvertFile, AnEmptyOutputNameIsPassedOnForTheFrameworkToJudge) {
  TestGraph graph(Script{});
  EXPECT_EQ(Convert("clip.avi", "").result, 0);
  EXPECT_EQ(graph.outputFileName(), "");
}

constexpr REFERENCE_TIME kSecond = 10000000;

struct ProgressCase {
  const char* name;
  std::vector<HRESULT> waits;
  std::vector<Position> positions;
  std::string expected;
};

void PrintTo(const ProgressCase& c, std::ostream* os) { *os << c.name; }

class Progress : public ::testing::TestWithParam<ProgressCase> {};

TEST_P(Progress, OneTextForEachWaitThatFindsTheGraphRunning) {
  const ProgressCase& c = GetParam();
  Script script;
  script.duration = 200 * kSecond;
  script.waits = c.waits;
  script.positions = c.positions;
  TestGraph graph(script);

  const Converted converted = Convert();

  EXPECT_EQ(converted.result, 0);
  EXPECT_EQ(converted.out, c.expected) << "redirected: no cursor moves, no separators";
  EXPECT_EQ(graph.calls().back(), "Release pGraph");
  EXPECT_EQ(graph.liveObjects(), 0);
}

const HRESULT kAbort = E_ABORT;

INSTANTIATE_TEST_SUITE_P(
    Waits, Progress,
    ::testing::Values(
        ProgressCase{"NoneWhenTheFirstWaitCompletes", {S_OK}, {{S_OK, kSecond}}, ""},
        ProgressCase{"NoneWhenTheFirstWaitFindsAnEventOtherThanCompletion", {S_FALSE}, {{S_OK, kSecond}}, ""},
        ProgressCase{"One", {kAbort, S_OK}, {{S_OK, 65 * kSecond + 1400000}}, "00:01:05.04 / 00:03:20.00 "},
        ProgressCase{"ThreeThenCompletion",
                     {kAbort, kAbort, kAbort, S_OK},
                     {{S_OK, 0}, {S_OK, 5000000}, {S_OK, 200 * kSecond}},
                     "00:00:00.00 / 00:03:20.00 00:00:00.14 / 00:03:20.00 00:03:20.00 / 00:03:20.00 "},
        ProgressCase{"AFailedPositionReadShowsThePreviousPosition",
                     {kAbort, kAbort, kAbort, kAbort, S_OK},
                     {{E_FAIL, 9 * kSecond}, {S_OK, kSecond}, {E_NOTIMPL, 7 * kSecond}, {S_OK, 3 * kSecond}},
                     "00:00:00.00 / 00:03:20.00 00:00:01.00 / 00:03:20.00 00:00:01.00 / 00:03:20.00 "
                     "00:00:03.00 / 00:03:20.00 "}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ConvertFile, AFailedStopContinuesTheProgressLine) {
  Script script;
  script.duration = kSecond;
  script.waits = {kAbort, S_OK};
  script.positions = {{S_OK, 0}};
  script.failing = Step::Stop;
  script.failure = static_cast<HRESULT>(0x80070070);
  TestGraph graph(script);

  const Converted converted = Convert();

  EXPECT_EQ(converted.result, -1);
  EXPECT_EQ(converted.out, "00:00:00.00 / 00:00:01.00 FAILED in pMediaControl->Stop()! hr=0x80070070\r\r\n");
}

// Streaming that fails is a failed conversion: the graph is stopped, the wait's status reported.
struct StreamingFailureCase {
  const char* name;
  HRESULT stopAnswer;
};

void PrintTo(const StreamingFailureCase& c, std::ostream* os) { *os << c.name; }

class StreamingFailure : public ::testing::TestWithParam<StreamingFailureCase> {};

TEST_P(StreamingFailure, IsReportedWithTheWaitsStatus) {
  Script script;
  script.duration = kSecond;
  script.waits = {kAbort, static_cast<HRESULT>(0x80070070)};
  script.evCode = EC_ERRORABORT;
  script.positions = {{S_OK, 5000000}};
  if (FAILED(GetParam().stopAnswer)) {
    script.failing = Step::Stop;
    script.failure = GetParam().stopAnswer;
  }
  TestGraph graph(script);

  const Converted converted = Convert();

  EXPECT_EQ(converted.result, -1);
  EXPECT_EQ(converted.out,
            "00:00:00.14 / 00:00:01.00 FAILED in pEvent->WaitForCompletion(10, &evCode)! hr=0x80070070\r\r\n");
  EXPECT_EQ(converted.inputRead, 1);
  EXPECT_EQ(graph.calls(), CallsEndingAt(kAllCalls.size() - 1, true)) << "stopped, then all released";
  EXPECT_EQ(graph.liveObjects(), 0);
}

INSTANTIATE_TEST_SUITE_P(Stop, StreamingFailure,
                         ::testing::Values(StreamingFailureCase{"StopSucceeds", S_OK},
                                           StreamingFailureCase{"StopFailsToo", E_FAIL}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(ConvertFile, CompletionWithAnyEventCodeIsSuccess) {
  Script script;
  script.waits = {kAbort, S_OK};
  script.evCode = EC_USERABORT;
  script.positions = {{S_OK, 0}};
  TestGraph graph(script);
  EXPECT_EQ(Convert().result, 0);
}

}  // namespace
