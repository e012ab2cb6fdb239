// Standard output as a text stream, seen from outside the process that writes it.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

#include "process.h"

namespace {

const std::string kWriter = STDOUT_WRITER;

TEST(StandardOutput, LineFeedsGoOutAsCarriageReturnLineFeed) {
  const auto result = testing_support::RunProgram({kWriter, "lines", "return"});
  EXPECT_EQ(result.out, "one\r\ntwo\r\r\nthree\r\n");
}

std::string ReadAvailable(int fd) {
  std::string got;
  char buffer[8192];
  pollfd p{fd, POLLIN, 0};
  while (poll(&p, 1, 200) > 0) {
    const ssize_t n = read(fd, buffer, sizeof buffer);
    if (n <= 0) break;
    got.append(buffer, static_cast<size_t>(n));
  }
  return got;
}

class Redirected : public ::testing::TestWithParam<const char*> {};

TEST_P(Redirected, GoesOutInBlocksOf4096AndTheRestAtExit) {
  int out[2], err[2], in[2];
  ASSERT_EQ(pipe(out), 0);
  ASSERT_EQ(pipe(err), 0);
  ASSERT_EQ(pipe(in), 0);
  const pid_t pid = fork();
  if (pid == 0) {
    dup2(in[0], 0);
    dup2(out[1], 1);
    dup2(err[1], 2);
    close(in[1]);
    close(out[0]);
    close(err[0]);
    execl(kWriter.c_str(), kWriter.c_str(), "block", GetParam(), nullptr);
    _exit(127);
  }
  close(in[0]);
  close(out[1]);
  close(err[1]);
  char mark[8];
  ASSERT_EQ(read(err[0], mark, sizeof mark), 8);
  EXPECT_EQ(ReadAvailable(out[0]).size(), 4096u) << "only whole blocks while the process runs";
  close(in[1]);  // lets it finish
  EXPECT_EQ(ReadAvailable(out[0]).size(), 5000u - 4096u) << "the rest at exit";
  int status = 0;
  waitpid(pid, &status, 0);
  if (std::string(GetParam()) == "sigterm")
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM);
  else
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  close(out[0]);
  close(err[0]);
}

INSTANTIATE_TEST_SUITE_P(WaysOut, Redirected, ::testing::Values("return", "exit", "sigterm"));

TEST(StandardOutput, OnATerminalEachWriteArrivesAtOnce) {
  testing_support::PtyProcess writer({kWriter, "terminal", "return"});
  EXPECT_TRUE(writer.WaitFor("abc", std::chrono::seconds(5)));
  writer.Type("\n");
  EXPECT_TRUE(WIFEXITED(writer.Wait()));
}

}  // namespace
