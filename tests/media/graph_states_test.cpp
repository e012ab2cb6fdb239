// The graph and the builder answer each call by the state they are in, with the framework's statuses.
#include <gtest/gtest.h>

#include <filesystem>

#include "com/com_ptr.h"
#include "com/com_runtime.h"
#include "media/media_interfaces.h"
#include "media_tools.h"
#include "temp_dir.h"

namespace media_testing {
namespace {

class GraphStates : public ::testing::Test {
 protected:
  void SetUp() override {
    CoInitialize(nullptr);
    ASSERT_EQ(CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC, IID_IGraphBuilder,
                               reinterpret_cast<void**>(graph_.Put())),
              S_OK);
    ASSERT_EQ(CoCreateInstance(CLSID_CaptureGraphBuilder2, nullptr, CLSCTX_INPROC_SERVER, IID_ICaptureGraphBuilder2,
                               reinterpret_cast<void**>(build_.Put())),
              S_OK);
    control_ = graph_.As<IMediaControl>();
    event_ = graph_.As<IMediaEvent>();
    seeking_ = graph_.As<IMediaSeeking>();
    filter_ = graph_.As<IMediaFilter>();
    ASSERT_TRUE(control_ && event_ && seeking_ && filter_);
  }
  void TearDown() override {
    control_.Reset(), event_.Reset(), seeking_.Reset(), filter_.Reset(), build_.Reset(), graph_.Reset();
    CoUninitialize();
  }
  // Source and writer for a clip, both rendered.
  void BuildGraph(const std::string& seconds = "1") {
    MakeMedia("-f lavfi -i testsrc=size=160x120:rate=30:duration=" + seconds +
                  " -f lavfi -i sine=sample_rate=44100:duration=" + seconds + " -c:v mpeg4 -c:a pcm_s16le",
              dir_ / "clip.avi");
    ASSERT_EQ(build_->SetFiltergraph(graph_.Get()), S_OK);
    ASSERT_EQ(graph_->AddSourceFilter(Wide(dir_ / "clip.avi").c_str(), u"Source Filter", source_.Put()), S_OK);
    ASSERT_EQ(build_->SetOutputFileName(&MEDIASUBTYPE_Asf, Wide(dir_ / "out.wmv").c_str(), writer_.Put(), nullptr),
              S_OK);
    ASSERT_EQ(build_->RenderStream(nullptr, nullptr, source_.Get(), nullptr, writer_.Get()), S_OK);
    ASSERT_EQ(build_->RenderStream(nullptr, nullptr, source_.Get(), nullptr, writer_.Get()), S_OK);
  }
  static std::u16string Wide(const std::string& s) { return std::u16string(s.begin(), s.end()); }

  testing_support::TempDir dir_;
  ComPtr<IGraphBuilder> graph_;
  ComPtr<ICaptureGraphBuilder2> build_;
  ComPtr<IMediaControl> control_;
  ComPtr<IMediaEvent> event_;
  ComPtr<IMediaSeeking> seeking_;
  ComPtr<IMediaFilter> filter_;
  ComPtr<IBaseFilter> source_, writer_;
};

TEST_F(GraphStates, OneIdentityForAllTheGraphsInterfaces) {
  ComPtr<IUnknown> a, b;
  graph_->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(a.Put()));
  event_->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(b.Put()));
  EXPECT_EQ(a.Get(), b.Get());
}

TEST_F(GraphStates, StoppedGraphAnswers) {
  LONG ev = 7;
  LONGLONG t = -1;
  EXPECT_EQ(event_->WaitForCompletion(0, &ev), VFW_E_WRONG_STATE);
  EXPECT_EQ(event_->WaitForCompletion(0, nullptr), E_POINTER);
  EXPECT_EQ(seeking_->GetCurrentPosition(&t), S_OK);
  EXPECT_EQ(t, 0);
  EXPECT_EQ(seeking_->GetCurrentPosition(nullptr), E_POINTER);
  EXPECT_EQ(seeking_->GetDuration(nullptr), E_POINTER);
  EXPECT_EQ(seeking_->GetDuration(&t), E_NOTIMPL);  // no source yet
  EXPECT_EQ(control_->Stop(), S_OK);
  EXPECT_EQ(control_->Run(), VFW_E_NOT_CONNECTED);
  ComPtr<IBaseFilter> f;
  EXPECT_EQ(graph_->AddSourceFilter(nullptr, u"x", f.Put()), E_POINTER);
  EXPECT_EQ(graph_->AddSourceFilter(u"x", u"x", nullptr), E_POINTER);
}

TEST_F(GraphStates, RunningGraphAnswers) {
  BuildGraph("4");
  // Everything the source offers is connected now.
  EXPECT_EQ(build_->RenderStream(nullptr, nullptr, source_.Get(), nullptr, writer_.Get()), E_FAIL);
  LONGLONG duration = 0;
  ASSERT_EQ(seeking_->GetDuration(&duration), S_OK);
  EXPECT_EQ(duration, 40'000'000);
  ASSERT_EQ(control_->Run(), S_OK);  // with the default clock: it runs for seconds
  LONG ev = 7;
  EXPECT_EQ(event_->WaitForCompletion(10, &ev), E_ABORT);
  EXPECT_EQ(ev, 0);
  EXPECT_EQ(filter_->SetSyncSource(nullptr), VFW_E_NOT_STOPPED);
  EXPECT_EQ(control_->Run(), S_OK);
  ASSERT_EQ(control_->Stop(), S_OK);
  EXPECT_EQ(control_->Stop(), S_OK);
  EXPECT_EQ(event_->WaitForCompletion(0, &ev), VFW_E_WRONG_STATE);
  EXPECT_EQ(filter_->SetSyncSource(nullptr), S_OK);
}

TEST_F(GraphStates, CompletedGraphStaysCompleteUntilStopped) {
  BuildGraph();
  ASSERT_EQ(filter_->SetSyncSource(nullptr), S_OK);
  ASSERT_EQ(control_->Run(), S_OK);
  LONG ev = 0;
  ASSERT_EQ(event_->WaitForCompletion(-1, &ev), S_OK);
  EXPECT_EQ(ev, EC_COMPLETE);
  EXPECT_EQ(event_->WaitForCompletion(0, &ev), S_OK);
  LONGLONG position = 0;
  seeking_->GetCurrentPosition(&position);
  EXPECT_EQ(position, 10'000'000);
  EXPECT_EQ(control_->Stop(), S_OK);
  EXPECT_EQ(Probe(dir_ / "out.wmv").formatName, "asf");

  // Run again: the source starts over and the file is written anew.
  std::filesystem::remove(dir_ / "out.wmv");
  ASSERT_EQ(control_->Run(), S_OK);
  ASSERT_EQ(event_->WaitForCompletion(-1, &ev), S_OK);
  EXPECT_EQ(control_->Stop(), S_OK);
  const ProbedFile again = Probe(dir_ / "out.wmv");
  ASSERT_EQ(again.Count("video"), 1);
  EXPECT_EQ(again.Stream("video")->frames, 30);
}

TEST_F(GraphStates, BuilderAnswers) {
  ComPtr<IBaseFilter> writer;
  const GUID other{1, 2, 3, {4, 5, 6, 7, 8, 9, 10, 11}};
  EXPECT_EQ(build_->SetOutputFileName(&MEDIASUBTYPE_Asf, u"out.wmv", writer.Put(), nullptr), E_UNEXPECTED);
  EXPECT_EQ(build_->RenderStream(nullptr, nullptr, graph_.Get(), nullptr, nullptr), E_UNEXPECTED);
  EXPECT_EQ(build_->SetFiltergraph(nullptr), E_POINTER);
  ASSERT_EQ(build_->SetFiltergraph(graph_.Get()), S_OK);
  EXPECT_EQ(build_->SetFiltergraph(graph_.Get()), S_OK);

  ComPtr<IGraphBuilder> otherGraph;
  ASSERT_EQ(CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC, IID_IGraphBuilder,
                             reinterpret_cast<void**>(otherGraph.Put())),
            S_OK);
  EXPECT_EQ(build_->SetFiltergraph(otherGraph.Get()), E_UNEXPECTED);

  EXPECT_EQ(build_->SetOutputFileName(&other, u"out.wmv", writer.Put(), nullptr), E_NOTIMPL);
  EXPECT_EQ(writer.Get(), nullptr);
  EXPECT_EQ(build_->SetOutputFileName(&MEDIASUBTYPE_Asf, u"", writer.Put(), nullptr), E_INVALIDARG);
  ASSERT_EQ(build_->SetOutputFileName(&MEDIASUBTYPE_Asf, Wide(dir_ / "o.wmv").c_str(), writer.Put(), nullptr), S_OK);
  EXPECT_EQ(build_->RenderStream(nullptr, nullptr, nullptr, nullptr, writer.Get()), E_POINTER);
  EXPECT_EQ(build_->RenderStream(nullptr, nullptr, writer.Get(), nullptr, nullptr), E_POINTER);
  EXPECT_FALSE(std::filesystem::exists(dir_ / "o.wmv"));  // created by Run(), not before
}

}  // namespace
}  // namespace media_testing
