// The graph's reference clock paces the writer to real time; removing it lets the conversion run as fast
// as it can.
#include <gtest/gtest.h>

#include "graph_driver.h"
#include "media_tools.h"
#include "temp_dir.h"

namespace media_testing {
namespace {

class Clock : public ::testing::Test {
 protected:
  void SetUp() override {
    MakeMedia("-f lavfi -i testsrc=size=160x120:rate=30:duration=2 -f lavfi -i sine=sample_rate=44100:duration=2 "
              "-c:v mpeg4 -c:a pcm_s16le",
              input_);
  }
  testing_support::TempDir dir_;
  const std::string input_ = dir_ / "clip.avi";
};

TEST_F(Clock, WithTheDefaultClockTwoSecondsTakeAtLeastTwoSeconds) {
  DriveOptions options;
  options.removeClock = false;
  const DriveResult run = DriveConversion(input_, dir_ / "out.wmv", options);
  ASSERT_EQ(run.failedStep, "") << std::hex << run.status;
  EXPECT_EQ(run.eventCode, EC_COMPLETE);
  EXPECT_GE(run.runSeconds, 2.0);
  // Paced, the position moves through the clip instead of jumping to its end.
  std::size_t inside = 0;
  for (LONGLONG p : run.positions) inside += p > 0 && p < run.duration;
  EXPECT_GT(inside, 50u);
}

TEST_F(Clock, WithoutAClockTheClipConvertsAtFullSpeed) {
  const DriveResult run = DriveConversion(input_, dir_ / "out.wmv");
  ASSERT_EQ(run.failedStep, "") << std::hex << run.status;
  EXPECT_EQ(run.eventCode, EC_COMPLETE);
  EXPECT_LT(run.runSeconds, 1.5);
}

}  // namespace
}  // namespace media_testing
