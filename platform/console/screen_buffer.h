// Console handles and the cursor of the console's screen buffer.
#pragma once

#include "com/types.h"

inline constexpr DWORD STD_INPUT_HANDLE = static_cast<DWORD>(-10);
inline constexpr DWORD STD_OUTPUT_HANDLE = static_cast<DWORD>(-11);
inline constexpr DWORD STD_ERROR_HANDLE = static_cast<DWORD>(-12);

struct COORD {
  std::int16_t X;
  std::int16_t Y;
};

struct SMALL_RECT {
  std::int16_t Left;
  std::int16_t Top;
  std::int16_t Right;
  std::int16_t Bottom;
};

struct CONSOLE_SCREEN_BUFFER_INFO {
  COORD dwSize;
  COORD dwCursorPosition;
  WORD wAttributes;
  SMALL_RECT srWindow;
  COORD dwMaximumWindowSize;
};
using PCONSOLE_SCREEN_BUFFER_INFO = CONSOLE_SCREEN_BUFFER_INFO*;

HANDLE GetStdHandle(DWORD nStdHandle);

// Both succeed only when the handle is a terminal. The cursor row is always the one it is on, so a
// position means its column; moving goes in order with the formatted writes to standard output.
BOOL GetConsoleScreenBufferInfo(HANDLE hConsoleOutput, PCONSOLE_SCREEN_BUFFER_INFO lpInfo);
BOOL SetConsoleCursorPosition(HANDLE hConsoleOutput, COORD dwCursorPosition);
