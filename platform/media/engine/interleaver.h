// The writer's inputs, merged by time: each chain delivers its encoded packets to one input, and the
// writer takes them earliest first.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <limits>
#include <mutex>
#include <optional>
#include <stop_token>
#include <vector>

#include "com/types.h"
#include "engine/ffmpeg_handles.h"

namespace media::engine {

struct TimedPacket {
  PacketPtr packet;     // timestamps in the time base of the input's encoder
  REFERENCE_TIME time;  // decoding time, counted from the output's start
  REFERENCE_TIME end;   // presentation end
  int input = 0;
};

// How much an input may have waiting: at most `packets`, spanning less than `span` of time.
struct InputLimit {
  std::size_t packets = 0;
  REFERENCE_TIME span = std::numeric_limits<REFERENCE_TIME>::max();
};

class Interleaver {
 public:
  Interleaver(int inputs, std::size_t capacityPerInput);
  // Each input with a limit of its own.
  explicit Interleaver(const std::vector<InputLimit>& limits);

  // Waits while the input is full; false when stopped.
  bool Push(TimedPacket packet, std::stop_token stop);
  // The input will deliver nothing more.
  void End(int input);

  // The earliest packet once every live input has one waiting (or one input is full, so that a source
  // whose streams are far apart in the file cannot stall the others); nothing after the last packet of
  // every input, or when stopped. Taking from a full input while another is silent may write a packet
  // ahead of one that comes later with an earlier time, so a limit should be well beyond how far the
  // chains normally run apart.
  std::optional<TimedPacket> Pop(std::stop_token stop);

 private:
  struct Input {
    std::deque<TimedPacket> packets;
    InputLimit limit;
    bool ended = false;
    bool Full() const {
      return packets.size() >= limit.packets ||
             (!packets.empty() && packets.back().time - packets.front().time >= limit.span);
    }
  };
  bool Ready() const;

  std::mutex mutex_;
  std::condition_variable_any changed_;
  std::vector<Input> inputs_;
};

// What a chain holds to deliver to its input of the writer.
class WriterInput {
 public:
  WriterInput(Interleaver& interleaver, int input) : interleaver_(&interleaver), input_(input) {}
  bool Deliver(PacketPtr packet, REFERENCE_TIME time, REFERENCE_TIME end, std::stop_token stop) {
    return interleaver_->Push({std::move(packet), time, end, input_}, stop);
  }
  void End() { interleaver_->End(input_); }

 private:
  Interleaver* interleaver_;
  int input_;
};

}  // namespace media::engine
