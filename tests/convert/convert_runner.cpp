// Runs one conversion against a scripted graph, for tests that need a process of its own: on a
// terminal, without one, or ended by a signal.
//
//   convert_runner forever|aborts:N [--wait-for-typeahead]
//
// "forever": the graph never completes; "aborts:N": N waits find it running, then it completes.
// Prints "ready", converts, then "[result=R stop=S pending=P]" with the number of Stop calls and of
// bytes still unread on the terminal.

#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>

#include "com/com_runtime.h"
#include "console/standard_output.h"
#include "convert/convert_file.h"
#include "test_graph.h"

namespace {

int TerminalPending() {
  const int fd = open("/dev/tty", O_RDONLY | O_NOCTTY);
  if (fd < 0) return -1;
  int pending = 0;
  ioctl(fd, FIONREAD, &pending);
  close(fd);
  return pending;
}

}  // namespace

int main(int argc, char* argv[]) {
  if (argc < 2) return 2;
  const std::string scenario = argv[1];
  testgraph::Script script;
  script.duration = 3 * 10000000LL;
  script.waitTime = std::chrono::milliseconds(10);
  script.positions = {{S_OK, 0}};
  if (scenario == "forever") {
    script.thenWaits = E_ABORT;
  } else if (scenario.rfind("aborts:", 0) == 0) {
    script.waits.assign(static_cast<size_t>(std::atoi(scenario.c_str() + 7)), E_ABORT);
  } else {
    return 2;
  }
  if (argc > 2 && std::string(argv[2]) == "--wait-for-typeahead") {
    while (TerminalPending() <= 0) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }

  testgraph::TestGraph graph(script);
  _tprintf("ready\n");
  CoInitialize(NULL);
  const int result = ConvertFile("clip.avi", "clip.avi.wmv");
  CoUninitialize();
  const auto calls = graph.calls();
  const auto stops = std::count(calls.begin(), calls.end(), "Stop");
  _tprintf("\n[result=%d stop=%d pending=%d]\n", result, static_cast<int>(stops), TerminalPending());
  return result;
}
