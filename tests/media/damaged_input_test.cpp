// A damaged input still converts: what cannot be decoded is left out, the rest is written, and the
// libraries say nothing about it on the process's standard streams.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

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

}  // namespace
}  // namespace media_testing
