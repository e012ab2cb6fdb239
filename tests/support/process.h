// Running a program under test: with given standard input, or on a pseudo-terminal.
#pragma once

#include <sys/types.h>
#include <termios.h>

#include <chrono>
#include <functional>
#include <string>
#include <vector>

namespace testing_support {

struct ProcessResult {
  std::string out;    // standard output, byte for byte
  std::string err;    // standard error
  int status = 0;     // as waitpid reports it
  off_t stdinOffset;  // how far the program read into its standard input (a file)

  bool Exited(int code) const;
  bool KilledBy(int signal) const;
};

// Runs argv[0] with stdin from a file holding `input`, stdout and stderr to files, and no
// controlling terminal. `env` entries are added to the environment.
ProcessResult RunProgram(const std::vector<std::string>& argv, const std::string& input = "",
                         const std::vector<std::string>& env = {});

// A program on the slave side of a pseudo-terminal, its controlling terminal.
class PtyProcess {
 public:
  explicit PtyProcess(const std::vector<std::string>& argv);
  ~PtyProcess();
  PtyProcess(const PtyProcess&) = delete;
  PtyProcess& operator=(const PtyProcess&) = delete;

  // Reads what the program wrote until `text` has appeared (true) or the time is up (false).
  bool WaitFor(const std::string& text, std::chrono::milliseconds timeout = std::chrono::seconds(20));
  // Reads until the program closes the terminal or the time is up.
  void ReadToEnd(std::chrono::milliseconds timeout = std::chrono::seconds(20));
  void Type(const std::string& keys);
  void Signal(int sig);
  int Wait();  // waitpid status

  const std::string& output() const { return output_; }
  termios Settings() const;  // the terminal's settings, as the program's side sees them
  pid_t pid() const { return pid_; }

 private:
  bool ReadSome(std::chrono::milliseconds timeout);

  int master_ = -1;
  pid_t pid_ = -1;
  bool reaped_ = false;
  int status_ = 0;
  std::string output_;
};

bool SameSettings(const termios& a, const termios& b);

}  // namespace testing_support
