// Console input: the key test of a running program, and reading standard input.
//
// The key test looks at the console's own keyboard ("CONIN$", the controlling terminal), never at
// standard input. From the first test on, the terminal gives single keys without Enter and echoes
// nothing; its earlier settings come back before standard input is read and on every way out of the
// process. A terminating signal being watched for counts as a key press.
#pragma once

// Nonzero when a key press (or a terminating signal) is waiting; the key is left unread.
int _kbhit();

// Reads one character from standard input (on a terminal: one line, giving its first character).
// EOF at end of input, or at once when a terminating signal is waiting.
int _gettchar();

namespace console {

// Gives the terminal back its settings from before the first key test, for good.
void RestoreTerminal();

// Around a stop of the process by the terminal: settings back while stopped, key mode after.
void SuspendKeyMode();
void ResumeKeyMode();

}  // namespace console
