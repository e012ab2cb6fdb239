// A damaged input still converts: what cannot be decoded is left out, the rest is written, and the
// libraries say nothing about it on the process's standard streams.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <vector>

#include "graph_driver.h"
#include "media_tools.h"
#include "temp_dir.h"

namespace media_testing {
namespace {

using testing_support::ReadFile;
using testing_support::WriteFile;

// Standard output and error of this process go to a file while it lives.
class QuietCheck {
 public:
  explicit QuietCheck(const std::string& path) : path_(path) {
    fflush(stdout);
    fflush(stderr);
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    savedOut_ = dup(1);
    savedErr_ = dup(2);
    dup2(fd, 1);
    dup2(fd, 2);
    close(fd);
  }
  std::string Finish() {
    fflush(stdout);
    fflush(stderr);
    dup2(savedOut_, 1);
    dup2(savedErr_, 2);
    close(savedOut_);
    close(savedErr_);
    return ReadFile(path_);
  }

 private:
  std::string path_;
  int savedOut_, savedErr_;
};

TEST(DamagedInput, ConvertsWhatCanBeDecodedAndSaysNothing) {
  testing_support::TempDir dir;
  const std::string input = dir / "damaged.avi";
  MakeMedia(
      "-f lavfi -i testsrc=size=320x240:rate=30:duration=4 -f lavfi -i sine=sample_rate=44100:duration=4 "
      "-c:v mpeg4 -c:a pcm_s16le",
      input);
  const long frames = Probe(input).Stream("video")->frames;
  // Garbage inside ten of the video chunks in the middle ("00dc" chunks of the AVI).
  std::string bytes = ReadFile(input);
  std::vector<std::size_t> chunks;
  for (auto at = bytes.find("00dc"); at != std::string::npos; at = bytes.find("00dc", at + 4)) chunks.push_back(at);
  ASSERT_GT(chunks.size(), 80u);
  for (std::size_t c = 40; c < 80; c += 4)
    for (std::size_t i = 0; i < 200; ++i) bytes[chunks[c] + 24 + i] = static_cast<char>(i * 37);
  WriteFile(input, bytes);
  ASSERT_NE(DecodeErrors(input), "");  // the damage is real: FFmpeg's own tool reports it

  QuietCheck quiet(dir / "said.txt");
  const DriveResult run = DriveConversion(input, input + ".wmv");
  const std::string said = quiet.Finish();
  EXPECT_EQ(said, "");

  ASSERT_EQ(run.failedStep, "") << std::hex << run.status;
  EXPECT_EQ(run.eventCode, EC_COMPLETE);
  const ProbedFile out = Probe(input + ".wmv");
  ASSERT_EQ(out.Count("video"), 1);
  ASSERT_EQ(out.Count("audio"), 1);
  EXPECT_GT(out.Stream("video")->frames, frames * 3 / 4);
  EXPECT_GT(out.duration, 3.5);
  EXPECT_EQ(DecodeErrors(input + ".wmv"), "");
}

// Two recordings joined end to end: the second one's clock starts over. Every frame is kept, in order,
// the second part after the first.
TEST(DamagedInput, ClockStartingOverKeepsEveryFrameInOrder) {
  testing_support::TempDir dir;
  const std::string part = dir / "part.ts";
  MakeMedia(
      "-f lavfi -i testsrc=size=320x240:rate=30:duration=3 -f lavfi -i sine=sample_rate=44100:duration=3 "
      "-c:v mpeg2video -q:v 2 -c:a mp2",
      part);
  const std::string input = dir / "joined.ts";
  WriteFile(input, ReadFile(part) + ReadFile(part));

  const DriveResult run = DriveConversion(input, input + ".wmv");
  ASSERT_EQ(run.failedStep, "") << std::hex << run.status;
  const std::vector<double> times = VideoFrameTimes(input + ".wmv");
  ASSERT_EQ(times.size(), 180u);
  for (std::size_t i = 1; i < times.size(); ++i) EXPECT_GT(times[i], times[i - 1]) << "frame " << i;
  EXPECT_NEAR(times.back(), 6.0 - 1.0 / 30, 0.05);
  EXPECT_NEAR(StreamEnd(input + ".wmv", "audio"), 6.0, 0.1);
  EXPECT_EQ(DecodeErrors(input + ".wmv"), "");
}

// A clip of each container, damaged in the two ways a file most often is: the end missing, or a
// stretch of it zeroed (a bad sector, an interrupted copy).
struct Container {
  const char* name;
  const char* extension;
  const char* codecs;
};

void PrintTo(const Container& c, std::ostream* os) { *os << c.name; }

constexpr double kSeconds = 8;

class DamagedContainer : public ::testing::TestWithParam<Container> {
 protected:
  void SetUp() override {
    input_ = dir_ / (std::string("clip.") + GetParam().extension);
    MakeMedia("-f lavfi -i testsrc2=size=320x240:rate=30:duration=8 -f lavfi -i sine=frequency=440:duration=8 -ac 2 " +
                  std::string(GetParam().codecs),
              input_);
    frames_ = Probe(input_).Stream("video")->frames;
    ASSERT_EQ(frames_, 240);
  }
  // Converts the damaged input; the run must complete and its file must decode cleanly.
  ProbedFile Convert() {
    const DriveResult run = DriveConversion(input_, output_);
    EXPECT_EQ(run.failedStep, "") << std::hex << run.status;
    EXPECT_EQ(run.eventCode, EC_COMPLETE);
    EXPECT_EQ(DecodeErrors(output_), "");
    return Probe(output_);
  }

  testing_support::TempDir dir_;
  std::string input_;
  std::string output_ = dir_ / "out.wmv";
  long frames_ = 0;
};

TEST_P(DamagedContainer, CutInHalfConvertsTheFirstHalf) {
  const std::string bytes = ReadFile(input_);
  WriteFile(input_, bytes.substr(0, bytes.size() / 2));

  const ProbedFile out = Convert();
  ASSERT_EQ(out.Count("video"), 1);
  ASSERT_EQ(out.Count("audio"), 1);
  EXPECT_NEAR(out.duration, kSeconds / 2, kSeconds * 0.15);
  EXPECT_NEAR(static_cast<double>(out.Stream("video")->frames), frames_ / 2.0, frames_ * 0.15);
  EXPECT_NEAR(StreamEnd(output_, "audio"), StreamEnd(output_, "video"), 0.5) << "sound and picture both go on to the cut";
}

TEST_P(DamagedContainer, ZerosInTheMiddleLoseOnlyTheFramesThereabouts) {
  std::string bytes = ReadFile(input_);
  const std::size_t middle = bytes.size() / 2;
  std::fill_n(bytes.begin() + static_cast<std::ptrdiff_t>(middle), 32 * 1024, '\0');
  WriteFile(input_, bytes);

  const ProbedFile out = Convert();
  ASSERT_EQ(out.Count("video"), 1);
  ASSERT_EQ(out.Count("audio"), 1);
  EXPECT_NEAR(out.duration, kSeconds, 0.2) << "what follows the damage is there";
  EXPECT_GE(out.Stream("video")->frames, frames_ - 30) << "at most a second of pictures lost";
  const std::vector<double> times = VideoFrameTimes(output_);
  ASSERT_FALSE(times.empty());
  EXPECT_LT(times.front(), 0.05);
  // AVI counts time in chunks: the frames after a lost chunk come earlier by as much.
  EXPECT_GT(times.back(), kSeconds - 0.25);
  double longestGap = 0;
  for (std::size_t i = 1; i < times.size(); ++i) longestGap = std::max(longestGap, times[i] - times[i - 1]);
  EXPECT_LT(longestGap, 1.0) << "the frames on both sides of the damage are kept";
}

INSTANTIATE_TEST_SUITE_P(
    Containers, DamagedContainer,
    ::testing::Values(Container{"Avi", "avi", "-c:v mpeg4 -q:v 3 -c:a pcm_s16le"},
                      Container{"Mp4", "mp4", "-c:v libx264 -preset ultrafast -g 30 -c:a aac -movflags +faststart"},
                      Container{"Matroska", "mkv", "-c:v mpeg4 -q:v 3 -c:a mp3"},
                      Container{"MpegTs", "ts", "-c:v mpeg2video -q:v 3 -c:a mp2"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace media_testing
