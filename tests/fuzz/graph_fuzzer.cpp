// libFuzzer target: every input is converted as a media file, through the source filter and the whole
// graph. Whatever the bytes, the framework must fail cleanly or write a file; it must never crash,
// leak, read out of bounds or leave a file behind.
#include <cstdlib>

#include "graph_input.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const graph_input::Outcome outcome = graph_input::ConvertBytes(data, size);
  if (outcome.leftovers) std::abort();  // a hidden or half-written output left behind is a finding too
  return 0;
}
