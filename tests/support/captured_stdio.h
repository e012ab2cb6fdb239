// Standard input and output of this test process, redirected to files for the span of a test.
#pragma once

#include <sys/types.h>

#include <string>

#include "temp_dir.h"

namespace testing_support {

class CapturedStdio {
 public:
  explicit CapturedStdio(const std::string& input = "");
  ~CapturedStdio();
  CapturedStdio(const CapturedStdio&) = delete;
  CapturedStdio& operator=(const CapturedStdio&) = delete;

  // Flushes the platform's standard output, puts the real descriptors back, and returns what was
  // written, byte for byte.
  std::string Finish();
  // How many bytes of the input have been read so far.
  off_t InputRead() const;

 private:
  TempDir dir_;
  int inputFd_ = -1;
  int savedIn_ = -1;
  int savedOut_ = -1;
  bool finished_ = false;
  std::string output_;
};

}  // namespace testing_support
