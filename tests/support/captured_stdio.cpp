#include "captured_stdio.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>

#include "console/standard_output.h"

namespace testing_support {

CapturedStdio::CapturedStdio(const std::string& input) {
  WriteFile(dir_ / "in", input);
  std::fflush(stdout);
  savedIn_ = dup(0);
  savedOut_ = dup(1);
  const int in = open((dir_ / "in").c_str(), O_RDONLY);
  const int out = open((dir_ / "out").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  dup2(in, 0);
  dup2(out, 1);
  inputFd_ = in;  // shares the offset with the redirected descriptor 0
  close(out);
}

CapturedStdio::~CapturedStdio() {
  Finish();
  close(inputFd_);
}

std::string CapturedStdio::Finish() {
  if (finished_) return output_;
  console::FlushStandardOutput();
  dup2(savedIn_, 0);
  dup2(savedOut_, 1);
  close(savedIn_);
  close(savedOut_);
  finished_ = true;
  output_ = ReadFile(dir_ / "out");
  return output_;
}

off_t CapturedStdio::InputRead() const { return lseek(inputFd_, 0, SEEK_CUR); }

}  // namespace testing_support
