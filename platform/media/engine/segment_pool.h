// The video chain on every core: the source's packets are cut into segments that each begin at a
// keyframe, workers decode, convert and encode segments side by side, each in encoders of its own, and
// their packets go to the writer in the stream's order.
//
//   input ──splitter──▶ packet log ──▶ worker 1: SegmentEncoder (decode+convert │ encode) ──┐
//            (cuts)     (compressed,   worker 2: ...                                      ├─▶ hand-off ──▶ writer
//                        bounded)      worker N: ...                                      ┘   (in order)
//
// Only compressed packets wait: each worker decodes its own segment, so no decoded picture waits ahead
// of an encoder beyond each worker's short picture queue. A segment ends at the last source keyframe
// within the profile's keyframe interval of its start, so segment starts are where the output has its
// keyframes anyway. A stream without keyframes to cut at, or whose clock breaks, is one segment (or
// ends in one): one worker then does what the single chain does.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <map>
#include <mutex>
#include <optional>
#include <stop_token>
#include <vector>

#include "com/hresult.h"
#include "com/types.h"
#include "engine/segment_encoder.h"
#include "engine/stream_chain.h"

namespace media::engine {

// How many segments are encoded at once: the cores this process may run on.
int VideoWorkers();

class SegmentPool {
 public:
  SegmentPool(const VideoFormat& format, int workers) : format_(format), workers_(workers) {}

  // As StreamChain::Run: every packet of `input` converted and delivered to `output`, which is ended.
  HRESULT Run(PacketQueue& input, WriterInput output, std::stop_token stop);

 private:
  struct Cut {
    int64_t place;        // in decoding order
    REFERENCE_TIME time;  // counted from the output's start
  };
  struct SegmentOutput {
    std::deque<PacketPtr> packets;
    bool done = false;
  };

  // Splitter: reads the input into the log and decides where segments begin.
  void Split(PacketQueue& input, std::stop_token stop);
  void Consider(const AVPacket& packet, int64_t place, std::optional<REFERENCE_TIME> time);
  void CutAt(const Cut& cut);
  void Trim();
  // Workers.
  HRESULT Work(std::size_t worker, std::stop_token stop);
  std::optional<PacketPtr> NextPacket(std::size_t worker, std::size_t segment, int64_t& place, std::stop_token stop);
  std::optional<int64_t> NextStart(std::size_t segment);
  bool Deliver(std::size_t segment, PacketPtr packet);
  // Hand-off: segments' packets to the writer in order.
  HRESULT HandOff(WriterInput& output, std::stop_token stop);
  void Fail(HRESULT hr);

  const VideoFormat& format_;
  const std::size_t workers_;

  std::mutex mutex_;
  std::condition_variable_any changed_;
  HRESULT failure_ = S_OK;
  // The packet log: packets from place first_ on, read_ places read so far.
  std::deque<PacketPtr> packets_;
  int64_t first_ = 0;
  int64_t read_ = 0;
  std::size_t bytes_ = 0;
  bool inputEnded_ = false;
  int starved_ = 0;  // workers waiting for a packet not read yet
  // Segments: where each begins; every packet before decided_ is known to belong to one of them.
  std::vector<Cut> starts_;
  int64_t decided_ = 0;
  std::optional<Cut> candidate_;  // the latest keyframe the open segment may end at
  std::size_t openBytes_ = 0;     // read since the open segment began
  std::optional<REFERENCE_TIME> latest_;
  bool cutting_ = true;
  // Workers: the segment the next free worker takes, where each worker reads.
  std::size_t nextSegment_ = 0;
  std::vector<int64_t> cursors_;
  // Hand-off: encoded packets of the segments in flight, the one being delivered.
  std::map<std::size_t, SegmentOutput> outputs_;
  std::size_t head_ = 0;
};

}  // namespace media::engine
