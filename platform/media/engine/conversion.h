// One run of a graph: the source readers, the stream chains and the writers, each on threads of its
// own, joined by bounded queues; how the run ended; how far the writers got.
#pragma once

#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <stop_token>
#include <string>
#include <thread>
#include <vector>

#include "com/com_ptr.h"
#include "com/types.h"
#include "engine/asf_writer.h"
#include "engine/construction_key.h"
#include "engine/media_source.h"
#include "engine/stream_chain.h"
#include "media/media_interfaces.h"

namespace media::engine {

struct ConversionPlan {
  struct Route {
    MediaSource* source;
    int streamIndex;
    StreamKind kind;
    std::size_t writer;  // index into outputs
  };
  std::vector<std::string> outputs;  // one writer per output file name
  std::vector<Route> routes;         // in the order the writers' inputs were made
  IReferenceClock* clock = nullptr;  // none: as fast as the chains go
  std::optional<REFERENCE_TIME> duration;
};

class Conversion {
 public:
  explicit Conversion(ConstructionKey<Conversion>) {}
  // Creates the outputs and starts streaming; returns at once.
  static HRESULT Start(const ConversionPlan& plan, std::unique_ptr<Conversion>* conversion);

  Conversion(const Conversion&) = delete;
  Conversion& operator=(const Conversion&) = delete;
  // Abandons a run that was not stopped: threads joined, outputs removed.
  ~Conversion();

  // E_ABORT with 0 while running, S_OK with EC_COMPLETE when all is written, the failure's status with
  // EC_ERRORABORT when streaming failed. ms < 0 waits without limit.
  HRESULT Wait(LONG ms, LONG* eventCode);

  // Ends streaming, joins every thread, and puts each finished output under its name.
  HRESULT Stop();

  REFERENCE_TIME Position() const;

 private:
  enum class State { kRunning, kComplete, kFailed };

  void Fail(HRESULT hr);
  bool Failed();
  void WriterDone();
  void Spawn(std::function<HRESULT(std::stop_token)> work);
  void Join();

  std::optional<REFERENCE_TIME> duration_;
  ComPtr<IReferenceClock> clock_;
  std::vector<std::unique_ptr<PacketQueue>> queues_;
  std::vector<std::unique_ptr<StreamChain>> chains_;
  std::vector<std::unique_ptr<AsfWriter>> writers_;

  std::mutex mutex_;
  std::condition_variable ended_;
  State state_ = State::kRunning;
  HRESULT failure_ = S_OK;
  std::size_t writersDone_ = 0;
  bool stopped_ = false;
  std::atomic<REFERENCE_TIME> position_{0};

  std::stop_source stop_;
  std::vector<std::jthread> threads_;  // declared last: joined before everything they use goes
};

}  // namespace media::engine
