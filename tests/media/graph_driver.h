// Drives the media framework in-process, through its COM interfaces, the way the program does: create
// both objects, join them, add the source, set up the writer, render twice, remove the clock, read the
// duration, run, wait in 10 ms slices, stop.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "com/types.h"
#include "media/media_interfaces.h"

namespace media_testing {

struct DriveOptions {
  bool removeClock = true;
  // With removeClock false: a clock put in place of the graph's own (none: the graph's own).
  IReferenceClock* clock = nullptr;
  // Called on every 10 ms slice while the graph runs, with the seconds since Run(); true stops early.
  std::function<bool(double seconds)> stopEarly;
};

struct DriveResult {
  // The step that failed (its status in `status`), or "" when the graph ran and stopped.
  std::string failedStep;
  HRESULT status = S_OK;
  HRESULT waitStatus = S_OK;  // the wait's last status
  LONG eventCode = 0;
  LONGLONG duration = 0;
  std::vector<LONGLONG> positions;  // read on every slice, then once after Stop()
  double runSeconds = 0;            // from Run() to the end of the wait
};

DriveResult DriveConversion(const std::string& input, const std::string& output, const DriveOptions& options = {});

// The step texts DriveResult::failedStep names.
inline constexpr const char* kAddSource = "AddSourceFilter";
inline constexpr const char* kSetOutput = "SetOutputFileName";
inline constexpr const char* kRender1 = "RenderStream 1";
inline constexpr const char* kRender2 = "RenderStream 2";
inline constexpr const char* kStop = "Stop";

}  // namespace media_testing
