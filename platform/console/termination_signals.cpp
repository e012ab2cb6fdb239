#include "console/termination_signals.h"

#include <csignal>
#include <cstdlib>
#include <mutex>

#include "console/console_input.h"
#include "console/standard_output.h"

namespace console {
namespace {

volatile sig_atomic_t g_pendingSignal = 0;

void Unblock(int sig) {
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, sig);
  sigprocmask(SIG_UNBLOCK, &set, nullptr);
}

void DieBy(int sig) {
  RestoreTerminal();
  FlushStandardOutputFromSignal();
  std::signal(sig, SIG_DFL);
  Unblock(sig);
  std::raise(sig);
}

void OnTermination(int sig) {
  if (g_pendingSignal == 0) {
    g_pendingSignal = sig;  // the key test reports it; the program stops the graph first
    return;
  }
  DieBy(sig);  // a second one while stopping: end now
}

void OnQuit(int sig) { DieBy(sig); }

void Install(int sig, void (*handler)(int)) {
  struct sigaction action {};
  action.sa_handler = handler;
  action.sa_flags = SA_RESTART;
  sigemptyset(&action.sa_mask);
  sigaction(sig, &action, nullptr);
}

void OnTerminalStop(int sig) {
  SuspendKeyMode();
  std::signal(sig, SIG_DFL);
  Unblock(sig);
  std::raise(sig);  // the process stops here until it is continued
  Install(sig, OnTerminalStop);
  ResumeKeyMode();
}

void OnContinue(int) { ResumeKeyMode(); }

void AtExit() {
  RestoreTerminal();
  FlushStandardOutput();
  if (const int sig = g_pendingSignal; sig != 0) {
    std::signal(sig, SIG_DFL);
    Unblock(sig);
    std::raise(sig);
  }
}

}  // namespace

void WatchTerminationSignals() {
  static std::once_flag once;
  std::call_once(once, [] {
    Install(SIGINT, OnTermination);
    Install(SIGTERM, OnTermination);
    Install(SIGHUP, OnTermination);
    Install(SIGQUIT, OnQuit);
    Install(SIGTSTP, OnTerminalStop);
    Install(SIGCONT, OnContinue);
    std::atexit(AtExit);
  });
}

int PendingTerminationSignal() { return g_pendingSignal; }

}  // namespace console
