// The writer's merge of its inputs: earliest packet first, and never a wait that the inputs' own
// back-pressure would turn into a stall.
#include "engine/interleaver.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

namespace media::engine {
namespace {

TimedPacket At(int input, REFERENCE_TIME time) { return {NewPacket(), time, time + 1, input}; }

// Pops with a stop that fires after a while, so that a wait that never ends shows as nothing popped.
std::optional<TimedPacket> PopWithin(Interleaver& interleaver, std::chrono::milliseconds limit) {
  std::stop_source stop;
  std::jthread timer([&](std::stop_token done) {
    const auto until = std::chrono::steady_clock::now() + limit;
    while (!done.stop_requested() && std::chrono::steady_clock::now() < until)
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    stop.request_stop();
  });
  return interleaver.Pop(stop.get_token());
}

TEST(Interleaver, TakesTheEarliestOnceEveryLiveInputHasOne) {
  Interleaver interleaver(2, 4);
  std::stop_source never;
  ASSERT_TRUE(interleaver.Push(At(0, 30), never.get_token()));
  ASSERT_TRUE(interleaver.Push(At(0, 60), never.get_token()));
  // Input 1 has said nothing yet: what it sends next may come first.
  EXPECT_FALSE(PopWithin(interleaver, std::chrono::milliseconds(100)));
  ASSERT_TRUE(interleaver.Push(At(1, 10), never.get_token()));
  ASSERT_TRUE(interleaver.Push(At(1, 45), never.get_token()));
  std::vector<REFERENCE_TIME> order;
  for (int i = 0; i < 3; ++i) order.push_back(PopWithin(interleaver, std::chrono::seconds(2))->time);
  EXPECT_EQ(order, (std::vector<REFERENCE_TIME>{10, 30, 45}));
  // Input 1 is empty again and live: 60 waits, until input 1 ends.
  EXPECT_FALSE(PopWithin(interleaver, std::chrono::milliseconds(100)));
  interleaver.End(1);
  EXPECT_EQ(PopWithin(interleaver, std::chrono::seconds(2))->time, 60);
  interleaver.End(0);
  EXPECT_FALSE(PopWithin(interleaver, std::chrono::seconds(2)));  // all ended: nothing, at once
}

TEST(Interleaver, AFullInputIsTakenWhileAnotherIsStillSilent) {
  // A source whose streams lie far apart in the file: one input fills while the other has nothing
  // yet, because the reader is blocked on the full one. Waiting would stall the whole graph. Full is
  // as many packets as the input holds, or packets as far apart in time as it may span.
  for (const InputLimit limit : {InputLimit{4}, InputLimit{100, 30}}) {
    Interleaver interleaver(std::vector<InputLimit>{{100}, limit});
    std::stop_source never;
    for (REFERENCE_TIME t = 0; t < 4; ++t) ASSERT_TRUE(interleaver.Push(At(1, t * 10), never.get_token()));
    const auto first = PopWithin(interleaver, std::chrono::seconds(2));
    ASSERT_TRUE(first) << limit.packets;
    EXPECT_EQ(first->input, 1);
    EXPECT_EQ(first->time, 0);
  }
}

TEST(Interleaver, EachInputIsFullAtItsOwnCapacity) {
  // Sound may wait long for a picture encoded late: its input holds more than the picture's.
  Interleaver interleaver(std::vector<InputLimit>{{2}, {6}});
  std::stop_source never;
  for (REFERENCE_TIME t = 0; t < 5; ++t) ASSERT_TRUE(interleaver.Push(At(1, t * 10), never.get_token()));
  EXPECT_FALSE(PopWithin(interleaver, std::chrono::milliseconds(100)));  // not full yet: waits for input 0
  ASSERT_TRUE(interleaver.Push(At(1, 50), never.get_token()));
  const auto first = PopWithin(interleaver, std::chrono::seconds(2));
  ASSERT_TRUE(first);
  EXPECT_EQ(first->input, 1);
  // Input 0 is full at two: a third waits for room.
  ASSERT_TRUE(interleaver.Push(At(0, 100), never.get_token()));
  ASSERT_TRUE(interleaver.Push(At(0, 110), never.get_token()));
  std::stop_source stop;
  std::jthread stopper([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    stop.request_stop();
  });
  EXPECT_FALSE(interleaver.Push(At(0, 120), stop.get_token()));
}

TEST(Interleaver, PushWaitsForRoomAndGivesUpWhenStopped) {
  Interleaver interleaver(1, 2);
  std::stop_source stop;
  ASSERT_TRUE(interleaver.Push(At(0, 0), stop.get_token()));
  ASSERT_TRUE(interleaver.Push(At(0, 1), stop.get_token()));
  std::jthread stopper([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    stop.request_stop();
  });
  EXPECT_FALSE(interleaver.Push(At(0, 2), stop.get_token()));
}

}  // namespace
}  // namespace media::engine
