// Writes to the platform's standard output as a test asks, then ends in a given way.
//
//   stdout_writer lines|block|terminal return|exit|sigterm

#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <string>

#include "console/console_input.h"
#include "console/standard_output.h"
#include "console/termination_signals.h"

int main(int argc, char* argv[]) {
  if (argc < 3) return 2;
  const std::string what = argv[1], end = argv[2];
  if (what == "lines") {
    _tprintf("one\ntwo\r\n%s\n", "three");
  } else if (what == "block") {
    const std::string text(5000, 'x');
    _tprintf("%s", text.c_str());
    write(2, "written\n", 8);  // the reader now looks at what has reached it so far
    _gettchar();               // wait until the reader closes our input
  } else if (what == "terminal") {
    _tprintf("abc");
    _gettchar();
  }
  if (end == "exit") std::exit(0);
  if (end == "sigterm") {
    console::WatchTerminationSignals();
    std::raise(SIGTERM);  // noted, and taken once the program is done
  }
  return 0;
}
