#include "engine/interleaver.h"

namespace media::engine {

Interleaver::Interleaver(int inputs, std::size_t capacityPerInput)
    : Interleaver(std::vector<InputLimit>(static_cast<std::size_t>(inputs), InputLimit{capacityPerInput})) {}

Interleaver::Interleaver(const std::vector<InputLimit>& limits) : inputs_(limits.size()) {
  for (std::size_t i = 0; i < limits.size(); ++i) inputs_[i].limit = limits[i];
}

bool Interleaver::Push(TimedPacket packet, std::stop_token stop) {
  std::unique_lock lock(mutex_);
  Input& input = inputs_[static_cast<std::size_t>(packet.input)];
  if (!changed_.wait(lock, stop, [&] { return !input.Full(); })) return false;
  input.packets.push_back(std::move(packet));
  changed_.notify_all();
  return true;
}

void Interleaver::End(int input) {
  std::lock_guard lock(mutex_);
  inputs_[static_cast<std::size_t>(input)].ended = true;
  changed_.notify_all();
}

bool Interleaver::Ready() const {
  bool anyFull = false;
  bool anyWaiting = false;
  bool allAnswered = true;
  for (const Input& input : inputs_) {
    if (!input.packets.empty()) anyWaiting = true;
    if (input.Full()) anyFull = true;
    if (input.packets.empty() && !input.ended) allAnswered = false;
  }
  if (allAnswered) return true;  // a packet from every live input, or all ended
  return anyWaiting && anyFull;
}

std::optional<TimedPacket> Interleaver::Pop(std::stop_token stop) {
  std::unique_lock lock(mutex_);
  if (!changed_.wait(lock, stop, [&] { return Ready(); })) return std::nullopt;
  Input* earliest = nullptr;
  for (Input& input : inputs_)
    if (!input.packets.empty() && (!earliest || input.packets.front().time < earliest->packets.front().time))
      earliest = &input;
  if (!earliest) return std::nullopt;  // every input ended and drained
  TimedPacket packet = std::move(earliest->packets.front());
  earliest->packets.pop_front();
  changed_.notify_all();
  return packet;
}

}  // namespace media::engine
