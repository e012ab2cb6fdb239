// The progress wait on a real terminal: the key test, the terminal's settings, and signals.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>

#include <cstring>
#include <string>

#include "process.h"

namespace {

using testing_support::PtyProcess;
using testing_support::SameSettings;

const std::string kRunner = CONVERT_RUNNER;
const std::string kText = "00:00:00.00 / 00:00:03.00 ";

size_t Count(const std::string& haystack, const std::string& needle) {
  size_t count = 0;
  for (size_t at = haystack.find(needle); at != std::string::npos; at = haystack.find(needle, at + 1)) ++count;
  return count;
}

TEST(Terminal, EachProgressTextStartsAtColumnZero) {
  PtyProcess runner({kRunner, "aborts:5"});
  ASSERT_TRUE(runner.WaitFor("]"));
  EXPECT_EQ(Count(runner.output(), "\r" + kText), 5u) << runner.output();
  EXPECT_EQ(Count(runner.output(), kText), 5u);
  EXPECT_TRUE(WIFEXITED(runner.Wait()));
}

TEST(Terminal, AKeyEndsTheWaitStaysUnreadAndTheSettingsComeBack) {
  PtyProcess runner({kRunner, "forever"});
  ASSERT_TRUE(runner.WaitFor("ready"));
  const termios before = runner.Settings();
  ASSERT_TRUE(runner.WaitFor(kText + "\r" + kText));  // the key test has run once
  const termios during = runner.Settings();
  EXPECT_EQ(during.c_lflag & (ICANON | ECHO), 0u) << "single keys, not echoed, while the graph runs";

  runner.Type("k");
  ASSERT_TRUE(runner.WaitFor("]"));
  EXPECT_NE(runner.output().find("[result=0 stop=1 pending=1]"), std::string::npos) << runner.output();
  EXPECT_EQ(runner.output().find('k'), std::string::npos) << "the key is not echoed";
  const int status = runner.Wait();
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  EXPECT_TRUE(SameSettings(runner.Settings(), before));
}

TEST(Terminal, AKeyTypedBeforeTheRunEndsItAfterTheFirstText) {
  PtyProcess runner({kRunner, "forever", "--wait-for-typeahead"});
  runner.Type("q\n");
  ASSERT_TRUE(runner.WaitFor("]"));
  EXPECT_EQ(Count(runner.output(), kText), 1u) << runner.output();
  EXPECT_NE(runner.output().find("[result=0 stop=1 pending=2]"), std::string::npos) << runner.output();
  runner.Wait();
}

class TerminationSignal : public ::testing::TestWithParam<int> {};

TEST_P(TerminationSignal, StopsTheGraphLikeAKeyThenEndsTheProcessByIt) {
  const int sig = GetParam();
  PtyProcess runner({kRunner, "forever"});
  ASSERT_TRUE(runner.WaitFor("ready"));
  const termios before = runner.Settings();
  ASSERT_TRUE(runner.WaitFor(kText));

  runner.Signal(sig);
  runner.ReadToEnd();
  const int status = runner.Wait();

  EXPECT_NE(runner.output().find("[result=0 stop=1 pending=0]"), std::string::npos) << runner.output();
  EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == sig) << "status " << status;
  EXPECT_TRUE(SameSettings(runner.Settings(), before));
}

INSTANTIATE_TEST_SUITE_P(Signals, TerminationSignal, ::testing::Values(SIGINT, SIGTERM, SIGHUP),
                         [](const auto& info) { return std::string(sigabbrev_np(info.param)); });

TEST(NoTerminal, NoKeyIsEverSeenAndStandardInputIsLeftAlone) {
  const auto result = testing_support::RunProgram({kRunner, "aborts:40"}, "typed ahead\n");
  EXPECT_EQ(Count(result.out, kText), 40u);
  EXPECT_NE(result.out.find("[result=0 stop=1 pending=-1]"), std::string::npos) << result.out;
  EXPECT_EQ(result.stdinOffset, 0);
  EXPECT_TRUE(result.Exited(0));
}

TEST(NoTerminal, SigtermStillStopsTheGraphFirst) {
  // Without a terminal the signal is the only way to end a graph that never completes.
  const std::string script =
      "\"" + kRunner + "\" forever & pid=$!; sleep 0.3; kill -TERM $pid; wait $pid; echo \" status=$?\"";
  const auto result = testing_support::RunProgram({"/bin/sh", "-c", script});
  EXPECT_NE(result.out.find("[result=0 stop=1 pending=-1]"), std::string::npos) << result.out;
  EXPECT_NE(result.out.find(" status=143"), std::string::npos) << result.out;
}

}  // namespace
