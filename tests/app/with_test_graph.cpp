// Linked into a build of the program whose media framework is the scripted test graph. At exit it
// tells on standard error what the conversion asked of the graph.

#include <algorithm>
#include <cstdio>

#include "com/com_runtime.h"
#include "test_graph.h"

namespace {

struct Reporter {
  testgraph::TestGraph graph{testgraph::Script{}};
  ~Reporter() {
    const auto calls = graph.calls();
    // CoInitialize answers S_OK only on a thread where the program left COM uninitialised.
    const bool left = CoInitialize(NULL) != S_OK;
    std::fprintf(stderr, "source=%s output=%s stops=%d com-left-initialised=%s\n", graph.sourceFileName().c_str(),
                 graph.outputFileName().c_str(), static_cast<int>(std::count(calls.begin(), calls.end(), "Stop")),
                 left ? "yes" : "no");
  }
} g_reporter;

}  // namespace
