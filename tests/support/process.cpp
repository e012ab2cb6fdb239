#include "process.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>

#include "temp_dir.h"

namespace testing_support {

bool ProcessResult::Exited(int code) const { return WIFEXITED(status) && WEXITSTATUS(status) == code; }

bool ProcessResult::KilledBy(int signal) const { return WIFSIGNALED(status) && WTERMSIG(status) == signal; }

namespace {

std::vector<char*> CStrings(const std::vector<std::string>& strings) {
  std::vector<char*> pointers;
  for (const std::string& s : strings) pointers.push_back(const_cast<char*>(s.c_str()));
  pointers.push_back(nullptr);
  return pointers;
}

[[noreturn]] void Exec(const std::vector<std::string>& argv, const std::vector<std::string>& env) {
  for (const std::string& entry : env) putenv(const_cast<char*>(entry.c_str()));
  std::vector<char*> args = CStrings(argv);
  execv(args[0], args.data());
  _exit(127);
}

}  // namespace

ProcessResult RunProgram(const std::vector<std::string>& argv, const std::string& input,
                         const std::vector<std::string>& env) {
  TempDir dir;
  const std::string in = dir / "stdin", out = dir / "stdout", err = dir / "stderr";
  WriteFile(in, input);
  const int inFd = open(in.c_str(), O_RDONLY);
  const pid_t pid = fork();
  if (pid < 0) throw std::runtime_error("fork failed");
  if (pid == 0) {
    setsid();  // no controlling terminal
    dup2(inFd, 0);
    dup2(open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600), 1);
    dup2(open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600), 2);
    Exec(argv, env);
  }
  ProcessResult result;
  while (waitpid(pid, &result.status, 0) < 0 && errno == EINTR) {
  }
  result.stdinOffset = lseek(inFd, 0, SEEK_CUR);
  close(inFd);
  result.out = ReadFile(out);
  result.err = ReadFile(err);
  return result;
}

PtyProcess::PtyProcess(const std::vector<std::string>& argv) {
  pid_ = forkpty(&master_, nullptr, nullptr, nullptr);
  if (pid_ < 0) throw std::runtime_error("forkpty failed");
  if (pid_ == 0) Exec(argv, {});
}

PtyProcess::~PtyProcess() {
  if (!reaped_) {
    kill(pid_, SIGKILL);
    Wait();
  }
  close(master_);
}

bool PtyProcess::ReadSome(std::chrono::milliseconds timeout) {
  pollfd p{master_, POLLIN, 0};
  if (poll(&p, 1, static_cast<int>(timeout.count())) <= 0) return false;
  char buffer[4096];
  const ssize_t n = read(master_, buffer, sizeof buffer);
  if (n <= 0) return false;  // EIO once the program has closed its side
  output_.append(buffer, static_cast<size_t>(n));
  return true;
}

bool PtyProcess::WaitFor(const std::string& text, std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (output_.find(text) == std::string::npos) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0 || !ReadSome(left)) return output_.find(text) != std::string::npos;
  }
  return true;
}

void PtyProcess::ReadToEnd(std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0 || !ReadSome(left)) return;
  }
}

void PtyProcess::Type(const std::string& keys) {
  if (write(master_, keys.data(), keys.size()) != static_cast<ssize_t>(keys.size()))
    throw std::runtime_error("cannot type into the terminal");
}

void PtyProcess::Signal(int sig) { kill(pid_, sig); }

int PtyProcess::Wait() {
  if (!reaped_) {
    while (waitpid(pid_, &status_, 0) < 0 && errno == EINTR) {
    }
    reaped_ = true;
  }
  return status_;
}

termios PtyProcess::Settings() const {
  termios settings{};
  tcgetattr(master_, &settings);
  return settings;
}

bool SameSettings(const termios& a, const termios& b) {
  return a.c_iflag == b.c_iflag && a.c_oflag == b.c_oflag && a.c_cflag == b.c_cflag && a.c_lflag == b.c_lflag &&
         std::memcmp(a.c_cc, b.c_cc, sizeof a.c_cc) == 0;
}

}  // namespace testing_support
