// The graph's reference clock paces the writer to real time; removing it lets the conversion run as fast
// as it can.
#include <gtest/gtest.h>

#include "com/com_object.h"
#include "com/com_ptr.h"
#include "graph_driver.h"
#include "media_tools.h"
#include "temp_dir.h"

namespace media_testing {
namespace {

class Clock : public ::testing::Test {
 protected:
  void SetUp() override {
    MakeMedia(
        "-f lavfi -i testsrc=size=160x120:rate=30:duration=2 -f lavfi -i sine=sample_rate=44100:duration=2 "
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

// A clock whose time stands still: the writer takes the first samples (time 0) and waits for the rest.
class FrozenClock final : public ComObject<IReferenceClock> {
 public:
  HRESULT GetTime(REFERENCE_TIME* pTime) override {
    *pTime = 123456789;
    return S_OK;
  }
};

TEST_F(Clock, TheWriterFollowsTheClockItIsGiven) {
  auto clock = ComPtr<IReferenceClock>::Attach(new FrozenClock);
  DriveOptions options;
  options.removeClock = false;
  options.clock = clock.Get();
  options.stopEarly = [](double seconds) { return seconds >= 0.5; };
  const DriveResult run = DriveConversion(input_, dir_ / "out.wmv", options);
  ASSERT_EQ(run.failedStep, "") << std::hex << run.status;
  EXPECT_EQ(run.waitStatus, E_ABORT);
  // Only what is due at time 0 was written: one frame, one block of sound.
  EXPECT_LE(run.positions.back(), 500'000);
  const ProbedFile out = Probe(dir_ / "out.wmv");
  ASSERT_EQ(out.Count("video"), 1);
  EXPECT_LE(out.Stream("video")->frames, 1);
}

}  // namespace
}  // namespace media_testing
