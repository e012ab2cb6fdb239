// Standard output as a text stream.
//
// Every LF goes out as CR LF. On a terminal each formatted write reaches it at once; otherwise the
// text is kept in 4096-byte blocks and the rest is written when the process exits.
#pragma once

#include <string_view>

#include "com/types.h"

int _tprintf(LPCTSTR format, ...) __attribute__((format(printf, 1, 2)));

// Writes formatted text whose bytes are in the given code page (932 is Shift-JIS). They go out as
// they are, except to a terminal of another character set, where they are converted to read right.
int PrintCodePageText(UINT codePage, LPCSTR format, ...) __attribute__((format(printf, 2, 3)));

namespace console {

// Appends text to standard output, translating LF to CR LF.
void WriteStandardOutput(std::string_view text);

// Writes out whatever is kept back.
void FlushStandardOutput();

// The same, safe to call from a signal handler; skipped if a write was interrupted midway.
void FlushStandardOutputFromSignal();

}  // namespace console
