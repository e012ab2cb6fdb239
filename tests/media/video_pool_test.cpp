// The video chain on every core: segments cut at the source's keyframes, encoded side by side and
// joined in order. Whatever the source's frame order, frame rate or keyframe spacing, the output holds
// each frame once, at its time, in order, with a keyframe first and at least every 3 s, and every
// frame is the picture of the source frame it stands for.
#include <gtest/gtest.h>
#include <sched.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <ostream>
#include <sstream>
#include <thread>

#include "engine/bounded_queue.h"
#include "engine/media_source.h"
#include "engine/segment_pool.h"
#include "engine/stream_chain.h"
#include "graph_driver.h"
#include "media_tools.h"
#include "temp_dir.h"

namespace media_testing {
namespace {

// Presentation times of the decoded video frames in the order they are shown, in seconds. A frame
// the decoder gives no time (the last one of an AVI with B-frames) comes a frame after the one before.
std::vector<double> ShownTimes(const std::string& path) {
  const CommandResult r = Shell("ffprobe -v error -select_streams v:0 -show_entries frame=best_effort_timestamp_time "
                                "-of csv=p=0 " +
                                Quoted(path));
  std::vector<double> times;
  std::istringstream lines(r.output);
  std::string line;
  while (std::getline(lines, line))
    if (!line.empty()) times.push_back(line == "N/A" ? (times.empty() ? 0 : times.back() + 1.0 / 30) : std::stod(line));
  return times;
}

// Presentation times of the decoded keyframe pictures, in seconds.
std::vector<double> ShownKeyframeTimes(const std::string& path) {
  const CommandResult r = Shell("ffprobe -v error -select_streams v:0 -show_entries frame=key_frame,"
                                "best_effort_timestamp_time -of csv=p=0 " +
                                Quoted(path));
  std::vector<double> times;
  std::istringstream lines(r.output);
  std::string line;
  while (std::getline(lines, line))
    if (line.rfind("1,", 0) == 0 && line.substr(2) != "N/A") times.push_back(std::stod(line.substr(2)));
  return times;
}

// The lowest PSNR of any one frame of `encoded` against the frame of `reference` shown at the same
// place in order: a frame lost, doubled or taken from the wrong place at a segment's edge stands out
// far below the encoder's loss on moving pictures. -1 when unknown.
double LowestFramePsnr(const std::string& encoded, const std::string& reference, const std::string& statsFile) {
  const std::string graph =
      "[0:v]settb=1/30,setpts=N,format=yuv420p[a];[1:v]settb=1/30,setpts=N,format=yuv420p[b];[a][b]psnr=stats_file=" +
      statsFile;
  const CommandResult r = Shell("ffmpeg -nostdin -i " + Quoted(encoded) + " -i " + Quoted(reference) +
                                " -fps_mode passthrough -lavfi " + Quoted(graph) + " -f null -");
  if (r.status != 0) return -1;
  std::ifstream stats(statsFile);
  std::string line;
  double lowest = 1000;
  int frames = 0;
  while (std::getline(stats, line)) {
    const auto at = line.find("psnr_avg:");
    if (at == std::string::npos) continue;
    const std::string value = line.substr(at + 9, line.find(' ', at) - at - 9);
    lowest = std::min(lowest, value == "inf" ? 1000.0 : std::stod(value));
    ++frames;
  }
  return frames ? lowest : -1;
}

int CpusOfThisThread() {
  cpu_set_t set;
  CPU_ZERO(&set);
  if (sched_getaffinity(0, sizeof set, &set) != 0) return 1;
  return CPU_COUNT(&set);
}

struct PoolSource {
  const char* name;
  const char* file;
  std::string ffmpegArguments;
  // Whether a pool of more than one worker cuts this source: then each of the output's keyframes is
  // at one of the source's (the segments' starts), or within 3 s of the one before.
  bool cut;
};

std::string Moving(double seconds, const std::string& size = "320x240") {
  // Pictures that change every frame, so that any frame out of place is seen.
  return "-f lavfi -i testsrc2=size=" + size + ":rate=30:duration=" + std::to_string(seconds) +
         " -f lavfi -i sine=frequency=440:sample_rate=44100:duration=" + std::to_string(seconds);
}

const PoolSource kSources[] = {
    // B-frames in an AVI: no presentation times stored, frames come out of the decoder reordered.
    {"Mpeg4BFramesAvi", "clip.avi", Moving(8) + " -c:v mpeg4 -q:v 2 -bf 2 -g 15 -c:a pcm_s16le", true},
    {"Mpeg4BFramesMkv", "clip.mkv", Moving(8) + " -c:v mpeg4 -q:v 2 -bf 2 -g 15 -c:a flac", true},
    // B-pyramids, and groups that open on the previous one: pictures after a keyframe in decoding order
    // are shown before it and belong to the segment before.
    {"H264BFramesMp4", "clip.mp4",
     Moving(8) + " -c:v libx264 -crf 14 -bf 3 -g 24 -keyint_min 24 -sc_threshold 0 -pix_fmt yuv420p -c:a aac", true},
    {"H264OpenGopMkv", "clip.mkv",
     Moving(8) + " -c:v libx264 -crf 14 -bf 3 -g 24 -keyint_min 24 -sc_threshold 0 -x264-params open-gop=1"
                 " -pix_fmt yuv420p -c:a flac",
     true},
    // Variable frame rate: segments are cut by time, not by counting frames.
    {"VariableFrameRateMkv", "clip.mkv",
     Moving(9) + " -vf \"select='lt(mod(n,30),10)+gte(mod(n,30),20)+eq(mod(n,7),0)'\" -fps_mode passthrough"
                 " -c:v mpeg4 -q:v 2 -g 10 -c:a flac",
     true},
    // Source groups longer than the keyframe interval: keyframes inside the segments too.
    {"LongGroupsMkv", "clip.mkv", Moving(12) + " -c:v mpeg4 -q:v 2 -g 150 -c:a flac", true},
    // Every frame a keyframe.
    {"IntraOnlyAvi", "clip.avi", Moving(7) + " -c:v mjpeg -q:v 2 -c:a pcm_s16le", true},
    // Too few keyframes to cut: one segment, as the single chain does it.
    {"OneKeyframeMkv", "clip.mkv", Moving(6) + " -c:v mpeg4 -q:v 2 -g 1000 -c:a flac", false},
};

void PrintTo(const PoolSource& source, std::ostream* os) { *os << source.name; }

class PoolConverts : public ::testing::TestWithParam<PoolSource> {};

TEST_P(PoolConverts, EveryFrameOnceAtItsTimeWithKeyframesAtSegmentStarts) {
  const PoolSource& source = GetParam();
  testing_support::TempDir dir;
  const std::string input = dir / source.file;
  const std::string output = input + ".wmv";
  MakeMedia(source.ffmpegArguments, input);

  const DriveResult run = DriveConversion(input, output);
  ASSERT_EQ(run.failedStep, "") << std::hex << run.status;
  ASSERT_EQ(run.eventCode, EC_COMPLETE);
  EXPECT_EQ(DecodeErrors(output), "");

  // Each frame once, at its own time, in order.
  std::vector<double> sourceTimes = ShownTimes(input);
  std::sort(sourceTimes.begin(), sourceTimes.end());
  const std::vector<double> times = VideoFrameTimes(output);
  ASSERT_FALSE(sourceTimes.empty());
  ASSERT_EQ(times.size(), sourceTimes.size());
  for (std::size_t i = 0; i < times.size(); ++i) {
    EXPECT_NEAR(times[i] - times[0], sourceTimes[i] - sourceTimes[0], 0.0011) << "frame " << i;
    if (i > 0) {
      EXPECT_GT(times[i], times[i - 1]) << "frame " << i;
    }
  }
  // Each frame the picture of its source frame.
  EXPECT_GE(LowestFramePsnr(output, input, dir / "psnr.txt"), 30.0);

  // A keyframe first and at least every 3 s.
  const std::vector<double> keyframes = KeyframeTimes(output);
  ASSERT_FALSE(keyframes.empty());
  EXPECT_EQ(keyframes.front(), times.front());
  for (std::size_t i = 1; i < keyframes.size(); ++i) EXPECT_LE(keyframes[i] - keyframes[i - 1], 3.0 + 1e-6);
  EXPECT_LE(times.back() - keyframes.back(), 3.0 + 1e-6);

  // With several workers, segments start at the source's keyframes.
  const std::vector<double> sourceKeyframes = ShownKeyframeTimes(input);
  const auto atSourceKeyframe = [&](double t) {
    return std::any_of(sourceKeyframes.begin(), sourceKeyframes.end(),
                       [&](double k) { return std::abs((k - sourceTimes[0]) - (t - times[0])) < 0.0011; });
  };
  if (CpusOfThisThread() > 1 && source.cut) {
    int segmentStarts = 0;
    for (double k : keyframes) segmentStarts += atSourceKeyframe(k);
    EXPECT_GE(segmentStarts, 2) << "the source was not cut into segments";
  }
  if (!source.cut) {
    // One chain: keyframes every 3 s exactly, counted from the first frame.
    for (std::size_t i = 1; i < keyframes.size(); ++i) EXPECT_NEAR(keyframes[i] - keyframes[i - 1], 3.0, 0.05);
  }
}

INSTANTIATE_TEST_SUITE_P(Sources, PoolConverts, ::testing::ValuesIn(kSources),
                         [](const auto& info) { return std::string(info.param.name); });

// The pool is as large as the cores the process may run on: one core, one chain.
TEST(VideoWorkers, FollowTheCpuAffinity) {
  int withOne = 0;
  int withAll = 0;
  std::thread([&] {
    withAll = media::engine::VideoWorkers();
    cpu_set_t one;
    CPU_ZERO(&one);
    CPU_SET(sched_getcpu(), &one);
    ASSERT_EQ(sched_setaffinity(0, sizeof one, &one), 0);
    withOne = media::engine::VideoWorkers();
  }).join();
  EXPECT_EQ(withOne, 1);
  EXPECT_EQ(withAll, CpusOfThisThread());
}

// Restricted to one core, a conversion runs as a single chain and is as faithful.
TEST(VideoWorkers, OneCoreConvertsAsOneChain) {
  testing_support::TempDir dir;
  const std::string input = dir / "clip.avi";
  MakeMedia(Moving(7) + " -c:v mpeg4 -q:v 2 -bf 2 -g 15 -c:a pcm_s16le", input);
  DriveResult run;
  std::thread([&] {
    cpu_set_t one;
    CPU_ZERO(&one);
    CPU_SET(sched_getcpu(), &one);
    ASSERT_EQ(sched_setaffinity(0, sizeof one, &one), 0);
    run = DriveConversion(input, input + ".wmv");
  }).join();
  ASSERT_EQ(run.failedStep, "") << std::hex << run.status;
  EXPECT_EQ(VideoFrameTimes(input + ".wmv").size(), ShownTimes(input).size());
  const std::vector<double> keyframes = KeyframeTimes(input + ".wmv");
  ASSERT_EQ(keyframes.size(), 3u);
  EXPECT_NEAR(keyframes[1], 3.0, 0.05);
  EXPECT_NEAR(keyframes[2], 6.0, 0.05);
  EXPECT_GE(LowestFramePsnr(input + ".wmv", input, dir / "psnr.txt"), 30.0);
}

// Stopped while every worker is busy: Stop() returns soon, the file holds a whole ASF file of what was
// written, in order.
TEST(VideoPool, StoppedWhileWorkersAreBusyFinishesTheFile) {
  testing_support::TempDir dir;
  const std::string input = dir / "long.avi";
  MakeMedia(Moving(30, "640x480") + " -c:v mpeg4 -q:v 2 -g 12 -c:a pcm_s16le", input);
  for (double after : {0.05, 0.6}) {
    DriveOptions options;
    options.stopEarly = [after](double seconds) { return seconds >= after; };
    const std::string output = dir / ("stopped-" + std::to_string(after) + ".wmv");
    const DriveResult run = DriveConversion(input, output, options);
    ASSERT_EQ(run.failedStep, "") << std::hex << run.status;
    EXPECT_EQ(run.eventCode, 0) << "the conversion ended before it was stopped";
    const ProbedFile out = Probe(output);
    ASSERT_TRUE(out.ok) << after;
    EXPECT_EQ(out.formatName, "asf");
    EXPECT_EQ(DecodeErrors(output), "");
    const std::vector<double> times = VideoFrameTimes(output);
    for (std::size_t i = 1; i < times.size(); ++i) EXPECT_GT(times[i], times[i - 1]) << "frame " << i;
    EXPECT_LT(times.size(), 900u);
  }
}

}  // namespace
}  // namespace media_testing

namespace media::engine {
namespace {

// A worker that fails ends the pool with its status: the writer's input is not ended, nothing hangs.
TEST(SegmentPool, AWorkersFailureIsThePoolsStatus) {
  testing_support::TempDir dir;
  const std::string input = dir / "clip.avi";
  media_testing::MakeMedia(media_testing::Moving(6) + " -c:v mpeg4 -q:v 2 -g 15 -c:a pcm_s16le", input);
  std::unique_ptr<MediaSource> source;
  ASSERT_EQ(MediaSource::Open(input, &source), S_OK);
  const AVStream& stream = *source->Stream(0);
  VideoFormat format;
  ASSERT_EQ(VideoFormatOf(stream, 0, &format), S_OK);
  // A copy of the stream whose codec no decoder takes: every worker fails as it opens its decoder.
  AVStream broken = stream;
  AVCodecParameters parameters = *stream.codecpar;
  parameters.codec_id = AV_CODEC_ID_NONE;
  broken.codecpar = &parameters;
  format.stream = &broken;

  PacketQueue packets(1000);
  for (;;) {
    PacketPtr packet = NewPacket();
    const HRESULT hr = source->ReadPacket(packet.get());
    ASSERT_TRUE(SUCCEEDED(hr));
    if (hr == S_FALSE) break;
    if (packet->stream_index == 0) {
      ASSERT_TRUE(packets.Push(std::move(packet), {}));
    }
  }
  packets.Close();
  Interleaver writer(1, 4);
  SegmentPool pool(format, 2);
  std::stop_source stop;
  EXPECT_EQ(pool.Run(packets, WriterInput(writer, 0), stop.get_token()), VFW_E_CANNOT_RENDER);
  // Nothing was delivered and the input was not ended: the writer would still be waiting.
  std::stop_source soon;
  std::jthread timeout([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    soon.request_stop();
  });
  EXPECT_FALSE(writer.Pop(soon.get_token()).has_value());
  EXPECT_TRUE(soon.stop_requested());
}

}  // namespace
}  // namespace media::engine
