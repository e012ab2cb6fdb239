#include "console/console_input.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <mutex>

#include "console/standard_output.h"

namespace console {
namespace {

// The keyboard: opened at the first key test and kept open until the process exits.
int g_keyboardFd = -1;
termios g_savedSettings{};
volatile sig_atomic_t g_haveSaved = 0;
volatile sig_atomic_t g_keyModeWanted = 0;  // keep single-key mode (also after a stop and continue)
volatile sig_atomic_t g_keyModeOn = 0;
volatile sig_atomic_t g_pendingSignal = 0;

void ApplyKeyMode() {
  if (g_haveSaved == 0) return;
  termios settings = g_savedSettings;
  settings.c_lflag &= static_cast<tcflag_t>(~(ICANON | ECHO));
  settings.c_cc[VMIN] = 1;
  settings.c_cc[VTIME] = 0;
  if (::tcsetattr(g_keyboardFd, TCSANOW, &settings) == 0) g_keyModeOn = 1;
}

void DieBy(int sig) {
  RestoreTerminal();
  FlushStandardOutputFromSignal();
  std::signal(sig, SIG_DFL);
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, sig);
  sigprocmask(SIG_UNBLOCK, &set, nullptr);
  std::raise(sig);
}

void OnTerminationSignal(int sig) {
  if (g_pendingSignal == 0) {
    g_pendingSignal = sig;  // the key test reports it; the program stops and finishes first
    return;
  }
  DieBy(sig);  // a second one while stopping: end now
}

void OnQuit(int sig) { DieBy(sig); }

void OnTerminalStop(int sig) {
  const int saved = errno;
  if (g_keyModeOn != 0 && g_haveSaved != 0) {
    ::tcsetattr(g_keyboardFd, TCSANOW, &g_savedSettings);
    g_keyModeOn = 0;
  }
  std::signal(sig, SIG_DFL);
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, sig);
  sigprocmask(SIG_UNBLOCK, &set, nullptr);
  std::raise(sig);  // stops here until continued
  struct sigaction again {};
  again.sa_handler = OnTerminalStop;
  again.sa_flags = SA_RESTART;
  sigemptyset(&again.sa_mask);
  sigaction(sig, &again, nullptr);
  if (g_keyModeWanted != 0) ApplyKeyMode();
  errno = saved;
}

void OnContinue(int) {
  const int saved = errno;
  if (g_keyModeWanted != 0 && g_keyModeOn == 0) ApplyKeyMode();
  errno = saved;
}

void Install(int sig, void (*handler)(int)) {
  struct sigaction action {};
  action.sa_handler = handler;
  action.sa_flags = SA_RESTART;
  sigemptyset(&action.sa_mask);
  sigaction(sig, &action, nullptr);
}

void AtExit() {
  RestoreTerminal();
  FlushStandardOutput();
  if (const int sig = g_pendingSignal; sig != 0) {
    std::signal(sig, SIG_DFL);
    std::raise(sig);
  }
}

void OpenKeyboardOnce() {
  static std::once_flag once;
  std::call_once(once, [] {
    g_keyboardFd = ::open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (g_keyboardFd >= 0 && ::tcgetattr(g_keyboardFd, &g_savedSettings) == 0) g_haveSaved = 1;
    Install(SIGINT, OnTerminationSignal);
    Install(SIGTERM, OnTerminationSignal);
    Install(SIGHUP, OnTerminationSignal);
    Install(SIGQUIT, OnQuit);
    Install(SIGTSTP, OnTerminalStop);
    Install(SIGCONT, OnContinue);
    std::atexit(AtExit);
  });
}

}  // namespace

int PendingTerminationSignal() { return g_pendingSignal; }

void RestoreTerminal() {
  g_keyModeWanted = 0;
  if (g_keyModeOn != 0 && g_haveSaved != 0) {
    ::tcsetattr(g_keyboardFd, TCSANOW, &g_savedSettings);
    g_keyModeOn = 0;
  }
}

}  // namespace console

int _kbhit() {
  console::OpenKeyboardOnce();
  if (console::g_pendingSignal != 0) return 1;
  if (console::g_keyboardFd < 0) return 0;
  console::g_keyModeWanted = 1;
  if (console::g_keyModeOn == 0) console::ApplyKeyMode();
  int pending = 0;
  if (::ioctl(console::g_keyboardFd, FIONREAD, &pending) != 0) return 0;
  return pending > 0 ? 1 : 0;
}

int _gettchar() {
  console::RestoreTerminal();
  const bool terminal = ::isatty(0) == 1;
  for (;;) {
    if (console::g_pendingSignal != 0) return EOF;
    pollfd in{0, POLLIN, 0};
    if (::poll(&in, 1, -1) < 0) {
      if (errno == EINTR) continue;
      return EOF;
    }
    // A terminal gives a whole line, which is taken as one; elsewhere only one byte is taken.
    unsigned char buffer[4096];
    const ssize_t n = ::read(0, buffer, terminal ? sizeof buffer : 1);
    if (n < 0 && errno == EINTR) continue;
    return n > 0 ? buffer[0] : EOF;
  }
}
