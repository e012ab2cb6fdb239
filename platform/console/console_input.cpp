#include "console/console_input.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <mutex>

#include "console/termination_signals.h"

namespace console {
namespace {

// The keyboard: opened at the first key test and kept open until the process exits. Everything
// here may be used from a signal handler.
int g_keyboardFd = -1;
termios g_savedSettings{};
volatile sig_atomic_t g_haveSaved = 0;
volatile sig_atomic_t g_keyModeWanted = 0;
volatile sig_atomic_t g_keyModeOn = 0;

void SetKeyMode(bool on) {
  if (g_haveSaved == 0 || (g_keyModeOn != 0) == on) return;
  const int saved = errno;
  termios settings = g_savedSettings;
  if (on) {
    settings.c_lflag &= static_cast<tcflag_t>(~(ICANON | ECHO));
    settings.c_cc[VMIN] = 1;
    settings.c_cc[VTIME] = 0;
  }
  if (::tcsetattr(g_keyboardFd, TCSANOW, &settings) == 0) g_keyModeOn = on ? 1 : 0;
  errno = saved;
}

void OpenKeyboardOnce() {
  static std::once_flag once;
  std::call_once(once, [] {
    g_keyboardFd = ::open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (g_keyboardFd >= 0 && ::tcgetattr(g_keyboardFd, &g_savedSettings) == 0) g_haveSaved = 1;
  });
}

}  // namespace

void RestoreTerminal() {
  g_keyModeWanted = 0;
  SetKeyMode(false);
}

void SuspendKeyMode() { SetKeyMode(false); }

void ResumeKeyMode() {
  if (g_keyModeWanted != 0) SetKeyMode(true);
}

}  // namespace console

int _kbhit() {
  console::WatchTerminationSignals();
  console::OpenKeyboardOnce();
  if (console::PendingTerminationSignal() != 0) return 1;
  if (console::g_keyboardFd < 0) return 0;
  console::g_keyModeWanted = 1;
  console::SetKeyMode(true);
  int pending = 0;
  if (::ioctl(console::g_keyboardFd, FIONREAD, &pending) != 0) return 0;
  return pending > 0 ? 1 : 0;
}

int _gettchar() {
  console::RestoreTerminal();
  const bool terminal = ::isatty(0) == 1;
  for (;;) {
    if (console::PendingTerminationSignal() != 0) return EOF;
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
