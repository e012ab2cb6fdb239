#include "console/screen_buffer.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include "console/standard_output.h"

namespace {

// A standard handle stands for its file descriptor, offset so that none is null.
HANDLE HandleOf(int fd) { return reinterpret_cast<HANDLE>(static_cast<std::intptr_t>(fd) + 1); }
int FdOf(HANDLE handle) { return static_cast<int>(reinterpret_cast<std::intptr_t>(handle) - 1); }

bool IsTerminal(HANDLE handle) { return handle != nullptr && ::isatty(FdOf(handle)) == 1; }

}  // namespace

HANDLE GetStdHandle(DWORD nStdHandle) {
  switch (nStdHandle) {
    case STD_INPUT_HANDLE:
      return HandleOf(0);
    case STD_OUTPUT_HANDLE:
      return HandleOf(1);
    case STD_ERROR_HANDLE:
      return HandleOf(2);
    default:
      return reinterpret_cast<HANDLE>(static_cast<std::intptr_t>(-1));
  }
}

BOOL GetConsoleScreenBufferInfo(HANDLE hConsoleOutput, PCONSOLE_SCREEN_BUFFER_INFO lpInfo) {
  if (lpInfo == nullptr || !IsTerminal(hConsoleOutput)) return FALSE;
  winsize size{};
  if (::ioctl(FdOf(hConsoleOutput), TIOCGWINSZ, &size) != 0 || size.ws_col == 0) size = {25, 80, 0, 0};
  const auto columns = static_cast<std::int16_t>(size.ws_col);
  const auto rows = static_cast<std::int16_t>(size.ws_row);
  *lpInfo = {};
  lpInfo->dwSize = {columns, rows};
  lpInfo->dwCursorPosition = {0, 0};
  lpInfo->srWindow = {0, 0, static_cast<std::int16_t>(columns - 1), static_cast<std::int16_t>(rows - 1)};
  lpInfo->dwMaximumWindowSize = {columns, rows};
  return TRUE;
}

BOOL SetConsoleCursorPosition(HANDLE hConsoleOutput, COORD dwCursorPosition) {
  if (!IsTerminal(hConsoleOutput) || dwCursorPosition.X < 0) return FALSE;
  console::FlushStandardOutput();  // keep the move in order with what was written before it
  std::string move = "\r";
  if (dwCursorPosition.X > 0) move += "\x1b[" + std::to_string(dwCursorPosition.X) + "C";
  const int fd = FdOf(hConsoleOutput);
  return ::write(fd, move.data(), move.size()) == static_cast<ssize_t>(move.size()) ? TRUE : FALSE;
}
