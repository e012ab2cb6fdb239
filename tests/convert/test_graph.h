// A media graph for tests: answers the conversion's calls as a script says, and logs them.
//
// While a TestGraph lives, it stands in the class table for the filter graph manager and the
// capture graph builder, so CoCreateInstance of either makes one of its objects.
#pragma once

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "com/class_table.h"
#include "media/media_interfaces.h"

namespace testgraph {

// The conversion's steps that can be made to fail, in their order.
enum class Step {
  None,
  CreateGraph,
  CreateBuilder,
  SetFiltergraph,
  AddSourceFilter,
  SetOutputFileName,
  FirstRenderStream,
  SecondRenderStream,
  QueryMediaFilter,
  SetSyncSource,
  QueryMediaSeeking,
  GetDuration,
  QueryMediaControl,
  QueryMediaEvent,
  Run,
  Stop,
};

struct Position {
  HRESULT status;
  REFERENCE_TIME time;
};

struct Script {
  Step failing = Step::None;
  HRESULT failure = E_FAIL;
  REFERENCE_TIME duration = 0;
  // What successive WaitForCompletion calls answer; once used up, `thenWaits` for ever.
  std::vector<HRESULT> waits;
  HRESULT thenWaits = S_OK;
  LONG evCode = EC_COMPLETE;              // given with every answer but E_ABORT
  std::chrono::milliseconds waitTime{0};  // how long an E_ABORT answer takes
  // What successive GetCurrentPosition calls answer; once used up, the last for ever.
  std::vector<Position> positions;
};

struct State;

class TestGraph {
 public:
  explicit TestGraph(Script script);
  ~TestGraph();
  TestGraph(const TestGraph&) = delete;
  TestGraph& operator=(const TestGraph&) = delete;

  // Every call the conversion made, in order ("Run", "Release pGraph", ...). Waits and position
  // reads are left out: count them with waitCount() and positionReads().
  std::vector<std::string> calls() const;
  int waitCount() const;
  int positionReads() const;
  int liveObjects() const;  // objects made and not yet released to zero
  std::string sourceFileName() const;
  std::string outputFileName() const;
  std::string sourceFilterName() const;

 private:
  std::shared_ptr<State> state_;
  com::ScopedClassOverride graphClass_;
  com::ScopedClassOverride builderClass_;
};

}  // namespace testgraph
