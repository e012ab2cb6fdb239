// Signals during a real conversion. SIGINT and SIGTERM stop it as a key would: the output is finished
// (a valid file of what was converted), the process then ends by the signal, and the terminal is as it
// was. SIGKILL cannot be caught: the output's name still holds what it held, beside at most one
// hidden, unfinished file.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <termios.h>

#include <cmath>
#include <cstring>
#include <filesystem>

#include "fault_tools.h"
#include "media_tools.h"

namespace faults {
namespace {

namespace fs = std::filesystem;
using testing_support::PtyProcess;
using testing_support::ReadFile;
using testing_support::TempDir;
using testing_support::WriteFile;

// Starts the program on a terminal once the test has read the terminal's settings: the shell waits for
// a line before it runs the program.
std::vector<std::string> AfterALine(std::vector<std::string> command) {
  command.back() = "printf 'ready\\n'; read -r line; " + command.back();
  return command;
}

class StoppingSignal : public ::testing::TestWithParam<int> {};

TEST_P(StoppingSignal, FinishesWhatWasConvertedThenEndsByTheSignal) {
  const int sig = GetParam();
  TempDir dir;
  fs::copy_file(LongClip(), dir / "clip.avi");

  PtyProcess program(AfterALine(VidmillIn(dir, {"clip.avi"})));
  ASSERT_TRUE(program.WaitFor("ready\r\n"));
  const termios before = program.Settings();
  program.Type("\n");
  ASSERT_TRUE(WaitForPosition(program, 2)) << program.output();
  EXPECT_EQ(program.Settings().c_lflag & (ICANON | ECHO), 0u) << "the key mode is on while the graph runs";
  const double shown = LastPosition(program.output());

  program.Signal(sig);
  program.ReadToEnd();
  const int status = program.Wait();

  EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == sig) << "status " << status;
  EXPECT_TRUE(testing_support::SameSettings(program.Settings(), before)) << "the terminal is as it was";
  EXPECT_EQ(FilesIn(dir.path()), (std::set<std::string>{"clip.avi", "clip.avi.wmv"}));

  const std::string output = dir / "clip.avi.wmv";
  const auto probed = media_testing::Probe(output);
  ASSERT_TRUE(probed.ok);
  EXPECT_EQ(probed.formatName, "asf");
  ASSERT_EQ(probed.Count("video"), 1);
  ASSERT_EQ(probed.Count("audio"), 1);
  // The header tells the length that was written, not the input's.
  const double videoEnd = media_testing::StreamEnd(output, "video");
  EXPECT_GE(probed.duration, shown - 0.1);
  EXPECT_LT(probed.duration, kLongClipSeconds - 1) << "stopped mid-run";
  EXPECT_NEAR(probed.duration, videoEnd, 0.25);
  EXPECT_NEAR(media_testing::StreamEnd(output, "audio"), videoEnd, 0.5);
  EXPECT_NEAR(static_cast<double>(probed.Stream("video")->frames), videoEnd * 30, 2);
  EXPECT_EQ(media_testing::DecodeErrors(output), "");
}

INSTANTIATE_TEST_SUITE_P(Signals, StoppingSignal, ::testing::Values(SIGINT, SIGTERM),
                         [](const auto& info) { return std::string(sigabbrev_np(info.param)); });

class Killed : public ::testing::TestWithParam<bool> {};

TEST_P(Killed, LeavesTheOutputsNameAsItWas) {
  const bool hadOld = GetParam();
  TempDir dir;
  fs::copy_file(LongClip(), dir / "clip.avi");
  const std::string old = "an older conversion's bytes\n";
  if (hadOld) WriteFile(dir / "clip.avi.wmv", old);

  PtyProcess program(VidmillIn(dir, {"clip.avi"}));
  ASSERT_TRUE(WaitForPosition(program, 2)) << program.output();
  program.Signal(SIGKILL);
  const int status = program.Wait();
  ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << "status " << status;

  if (hadOld)
    EXPECT_EQ(ReadFile(dir / "clip.avi.wmv"), old);
  else
    EXPECT_FALSE(fs::exists(dir / "clip.avi.wmv"));
  const auto hidden = HiddenFilesFor(dir.path(), "clip.avi.wmv");
  EXPECT_LE(hidden.size(), 1u);
  std::set<std::string> expected{"clip.avi"};
  if (hadOld) expected.insert("clip.avi.wmv");
  expected.insert(hidden.begin(), hidden.end());
  EXPECT_EQ(FilesIn(dir.path()), expected) << "nothing else";
}

INSTANTIATE_TEST_SUITE_P(Sigkill, Killed, ::testing::Bool(),
                         [](const auto& info) { return std::string(info.param ? "OverAnOldFile" : "NoOldFile"); });

}  // namespace
}  // namespace faults
