// Real conversions of the input kinds users bring, each checked with ffprobe and ffmpeg: an ASF file
// of one WMV 8 and one WMA 2 stream, every frame kept at its time, starting at 0, faithful picture.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <ostream>

#include "graph_driver.h"
#include "media_tools.h"
#include "temp_dir.h"

namespace media_testing {
namespace {

struct InputKind {
  const char* name;
  const char* file;
  std::string ffmpegArguments;
  int width, height;          // expected in the output
  int sampleRate, channels;   // expected in the output
  const char* referenceCrop;  // what of the source picture the output shows
  const char* sampleAspectRatio = "1:1";
};

std::string Video(const std::string& size = "320x240", double seconds = 2) {
  return "-f lavfi -i testsrc=size=" + size + ":rate=30:duration=" + std::to_string(seconds);
}
std::string Audio(int rate, double seconds = 2) {
  return "-f lavfi -i sine=frequency=440:sample_rate=" + std::to_string(rate) + ":duration=" + std::to_string(seconds);
}

const InputKind kKinds[] = {
    {"RawPcmAvi", "clip.avi", Video() + " " + Audio(44100) + " -c:v rawvideo -pix_fmt yuv420p -c:a pcm_s16le -ac 2",
     320, 240, 44100, 2, ""},
    {"Mpeg4PcmAvi", "clip.avi", Video() + " " + Audio(44100) + " -c:v mpeg4 -q:v 2 -c:a pcm_s16le -ac 2", 320, 240,
     44100, 2, ""},
    {"MjpegMp3Avi", "clip.avi", Video() + " " + Audio(44100) + " -c:v mjpeg -q:v 2 -c:a libmp3lame -ac 2", 320, 240,
     44100, 2, ""},
    {"H264AacMp4AudioFirst", "clip.mp4",
     Video() + " " + Audio(48000) + " -map 1:a -map 0:v -c:v libx264 -crf 12 -pix_fmt yuv420p -c:a aac -ac 2", 320, 240,
     48000, 2, ""},
    {"Ffv1FlacMkv", "clip.mkv", Video() + " " + Audio(44100) + " -c:v ffv1 -c:a flac -ac 2", 320, 240, 44100, 2, ""},
    {"OddFrameSize", "clip.avi", Video("321x241") + " " + Audio(44100) + " -c:v rawvideo -pix_fmt bgr24 -c:a pcm_s16le",
     320, 240, 44100, 1, "crop=320:240:0:0"},
    {"Mono22kHz", "clip.avi", Video() + " " + Audio(22050) + " -c:v rawvideo -pix_fmt yuv420p -c:a pcm_s16le -ac 1",
     320, 240, 22050, 1, ""},
    {"Surround96kHz", "clip.mkv", Video() + " " + Audio(96000) + " -c:v ffv1 -c:a flac -ac 6", 320, 240, 48000, 2, ""},
    {"VariableFrameRate", "clip.mkv",
     Video("320x240", 3) + " " + Audio(44100, 3) +
         " -vf \"select='lt(mod(n,30),10)+gte(mod(n,30),20)+eq(mod(n,7),0)'\" -fps_mode passthrough"
         " -c:v ffv1 -c:a flac -ac 2",
     320, 240, 44100, 2, ""},
    {"AnamorphicMkv", "clip.mkv", Video() + " " + Audio(44100) + " -vf setsar=4/3 -c:v ffv1 -c:a flac -ac 2", 320, 240,
     44100, 2, "", "4:3"},
};

void PrintTo(const InputKind& kind, std::ostream* os) { *os << kind.name; }

class ConvertsKind : public ::testing::TestWithParam<InputKind> {};

TEST_P(ConvertsKind, WritesOneWmv2AndOneWmav2StreamFaithfully) {
  const InputKind& kind = GetParam();
  testing_support::TempDir dir;
  const std::string input = dir / kind.file;
  const std::string output = input + ".wmv";
  MakeMedia(kind.ffmpegArguments, input);
  const ProbedFile source = Probe(input);
  ASSERT_TRUE(source.ok);
  ASSERT_NE(source.Stream("video"), nullptr);

  const DriveResult run = DriveConversion(input, output);
  ASSERT_EQ(run.failedStep, "") << std::hex << run.status;
  EXPECT_EQ(run.waitStatus, S_OK);
  EXPECT_EQ(run.eventCode, EC_COMPLETE);
  EXPECT_NEAR(run.duration / 1e7, source.duration, 1e-3);
  for (std::size_t i = 1; i < run.positions.size(); ++i) EXPECT_GE(run.positions[i], run.positions[i - 1]);
  for (LONGLONG p : run.positions) EXPECT_LE(p, run.duration);
  EXPECT_NEAR(run.positions.back(), run.duration, 10'000'000 / 30);  // all of it, to a frame

  const ProbedFile out = Probe(output);
  ASSERT_TRUE(out.ok);
  EXPECT_EQ(out.formatName, "asf");
  ASSERT_EQ(out.Count("video"), 1);
  ASSERT_EQ(out.Count("audio"), 1);
  const ProbedStream& video = *out.Stream("video");
  const ProbedStream& audio = *out.Stream("audio");
  EXPECT_EQ(video.codecName, "wmv2");
  EXPECT_EQ(audio.codecName, "wmav2");
  EXPECT_EQ(video.width, kind.width);
  EXPECT_EQ(video.height, kind.height);
  EXPECT_EQ(video.sampleAspectRatio, kind.sampleAspectRatio);
  EXPECT_EQ(audio.sampleRate, kind.sampleRate);
  EXPECT_EQ(audio.channels, kind.channels);
  EXPECT_EQ(audio.bitRate, kind.channels == 1 ? 64000 : 128000);
  EXPECT_EQ(video.frames, source.Stream("video")->frames);
  EXPECT_NEAR(out.duration, source.duration, 1.0 / 30 + 1e-3);
  EXPECT_NEAR(video.startTime, 0, 1e-3);
  EXPECT_NEAR(audio.startTime, 0, 1e-3);
  EXPECT_NEAR(StreamEnd(output, "video"), StreamEnd(output, "audio"), 0.1);
  EXPECT_EQ(DecodeErrors(output), "");
  EXPECT_GE(VideoPsnr(output, input, kind.referenceCrop), 38.0);

  // Every frame at its own time, to ASF's millisecond.
  std::vector<double> sourceTimes = VideoFrameTimes(input);
  std::vector<double> outputTimes = VideoFrameTimes(output);
  std::sort(sourceTimes.begin(), sourceTimes.end());
  std::sort(outputTimes.begin(), outputTimes.end());
  ASSERT_EQ(outputTimes.size(), sourceTimes.size());
  for (std::size_t i = 0; i < outputTimes.size(); ++i)
    EXPECT_NEAR(outputTimes[i], sourceTimes[i] - sourceTimes[0], 0.0011) << "frame " << i;
}

INSTANTIATE_TEST_SUITE_P(Inputs, ConvertsKind, ::testing::ValuesIn(kKinds),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace media_testing

namespace media_testing {
namespace {

// Where the first sound starts in the file's audio, in seconds (ffmpeg's silencedetect).
double FirstSound(const std::string& path) {
  const CommandResult r =
      Shell("ffmpeg -nostdin -i " + Quoted(path) + " -vn -af silencedetect=n=-40dB:d=0.1 -f null -");
  const auto at = r.output.find("silence_end: ");
  if (at == std::string::npos) return 0;
  return std::strtod(r.output.c_str() + at + 13, nullptr);
}

// The offset between sound and picture survives: sound that starts late is preceded by silence, a
// picture that starts late keeps its first time.
TEST(ConvertsOffsets, AudioStartingLateStartsLateAfterSilence) {
  testing_support::TempDir dir;
  const std::string input = dir / "late-audio.mkv";
  MakeMedia(Video() + " -itsoffset 0.5 " + Audio(44100) + " -c:v ffv1 -c:a flac", input);
  const DriveResult run = DriveConversion(input, input + ".wmv");
  ASSERT_EQ(run.failedStep, "") << std::hex << run.status;
  const ProbedFile out = Probe(input + ".wmv");
  ASSERT_EQ(out.Count("audio"), 1);
  EXPECT_NEAR(out.Stream("video")->startTime, 0, 1e-3);
  EXPECT_NEAR(out.Stream("audio")->startTime, 0, 1e-3);
  EXPECT_NEAR(FirstSound(input + ".wmv"), 0.5, 0.1);
  EXPECT_NEAR(StreamEnd(input + ".wmv", "audio"), 2.5, 0.05);
}

TEST(ConvertsKeyframes, FirstFrameAndAtLeastEveryThreeSeconds) {
  testing_support::TempDir dir;
  const std::string input = dir / "long.mkv";
  // Variable frame rate, so that keyframes cannot be placed by counting frames.
  MakeMedia(Video("160x120", 10) + " " + Audio(44100, 10) +
                " -vf \"select='lt(mod(n,45),30)'\" -fps_mode passthrough -c:v ffv1 -c:a flac",
            input);
  const DriveResult run = DriveConversion(input, input + ".wmv");
  ASSERT_EQ(run.failedStep, "") << std::hex << run.status;
  const std::vector<double> keyframes = KeyframeTimes(input + ".wmv");
  ASSERT_FALSE(keyframes.empty());
  EXPECT_EQ(keyframes.front(), 0.0);
  const std::vector<double> frames = VideoFrameTimes(input + ".wmv");
  for (std::size_t i = 1; i < keyframes.size(); ++i) EXPECT_LE(keyframes[i] - keyframes[i - 1], 3.0 + 1e-6);
  EXPECT_LE(frames.back() - keyframes.back(), 3.0 + 1e-6);
}

// An AVI whose sound is stored seconds ahead of the picture it belongs to converts whole, each stream
// at its own time. (How the writer copes with streams far apart in the order they arrive is tested on
// its merge of inputs directly: AVI's reader already hands packets over in time order.)
TEST(ConvertsOffsets, SoundStoredFarAheadOfThePictureDoesNotStall) {
  testing_support::TempDir dir;
  const std::string input = dir / "preloaded.avi";
  MakeMedia(Video("320x240", 10) + " " + Audio(44100, 10) + " -c:v mpeg4 -c:a pcm_s16le -audio_preload 8000000", input);
  DriveOptions options;
  options.stopEarly = [](double seconds) { return seconds > 60; };  // a stall ends the test, not the suite
  const DriveResult run = DriveConversion(input, input + ".wmv", options);
  ASSERT_EQ(run.failedStep, "") << std::hex << run.status;
  EXPECT_EQ(run.eventCode, EC_COMPLETE);
  const ProbedFile out = Probe(input + ".wmv");
  ASSERT_EQ(out.Count("video"), 1);
  EXPECT_EQ(out.Stream("video")->frames, 300);
  EXPECT_NEAR(StreamEnd(input + ".wmv", "audio"), 10.0, 0.05);
}

TEST(ConvertsOffsets, PictureStartingLateKeepsItsTime) {
  testing_support::TempDir dir;
  const std::string input = dir / "late-video.mkv";
  MakeMedia("-itsoffset 0.5 " + Video() + " " + Audio(44100) + " -c:v ffv1 -c:a flac", input);
  const DriveResult run = DriveConversion(input, input + ".wmv");
  ASSERT_EQ(run.failedStep, "") << std::hex << run.status;
  const ProbedFile out = Probe(input + ".wmv");
  ASSERT_EQ(out.Count("video"), 1);
  EXPECT_NEAR(out.Stream("audio")->startTime, 0, 1e-3);
  EXPECT_NEAR(out.Stream("video")->startTime, 0.5, 1e-3);
  EXPECT_EQ(out.Stream("video")->frames, 60);
  EXPECT_NEAR(FirstSound(input + ".wmv"), 0, 0.1);
}

}  // namespace
}  // namespace media_testing
