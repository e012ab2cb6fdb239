// Bytes fed to the media framework as an input file: through the source filter and the whole graph,
// the way the program drives it, into a scratch ASF file that is removed afterwards.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "com/hresult.h"

namespace graph_input {

struct Outcome {
  // The step that failed ("AddSourceFilter", "RenderStream 2", "Wait", "Stop"...), or "" when the graph
  // ran and stopped with an output written.
  std::string failedStep;
  HRESULT status = S_OK;
  bool stoppedEarly = false;     // the run was ended before the graph completed
  std::string output;            // the finished output's bytes, when asked for and there is one
  bool leftovers = false;        // anything but the input left in the scratch folder afterwards
};

struct Options {
  // How long a run may stream before it is stopped, as a key press would stop it.
  double maxRunSeconds = 3;
  bool keepOutput = false;
};

// Converts `data` as a file; the scratch folder is made once per process (in /dev/shm when it exists).
Outcome ConvertBytes(const uint8_t* data, std::size_t size, const Options& options = {});

}  // namespace graph_input
