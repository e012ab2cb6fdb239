#include "engine/segment_pool.h"

#include <sched.h>

#include <algorithm>
#include <limits>
#include <thread>

#include "engine/media_time.h"
#include "engine/writer_profile.h"

namespace media::engine {
namespace {

// Source packets the log may hold before the splitter waits for workers to take them, and what one
// segment may hold before it ends at the next keyframe whatever its length (raw or intra-only sources,
// whose packets are whole pictures).
constexpr std::size_t kHeldBytes = 64u << 20;
constexpr std::size_t kSegmentBytes = 16u << 20;
// Packets past its end a segment's decoder may take to bring out the pictures shown before the next
// segment's keyframe (more than any decoder holds back for reordering).
constexpr int64_t kLookahead = 64;
// Converted pictures waiting for each worker's encoder.
constexpr std::size_t kWorkerPictures = 2;
// Segments encoded or waiting for their turn at once, at most: their length is how far the picture
// lags behind the sound the writer holds meanwhile.
constexpr std::size_t kMaxInFlight = 48;
constexpr int64_t kIdle = std::numeric_limits<int64_t>::max();

}  // namespace

int VideoWorkers() {
#ifdef VIDMILL_VIDEO_WORKERS
  return VIDMILL_VIDEO_WORKERS;  // a benchmark build with a pool of a fixed size
#else
  cpu_set_t set;
  CPU_ZERO(&set);
  if (sched_getaffinity(0, sizeof set, &set) != 0) return 1;
  return std::max(CPU_COUNT(&set), 1);
#endif
}

HRESULT SegmentPool::Run(PacketQueue& input, WriterInput output, std::stop_token stop) {
  cursors_.assign(workers_, kIdle);
  // Every thread of the pool gives up when the graph stops or when one of them fails.
  std::stop_source poolStop;
  const std::stop_callback forward(stop, [&] { poolStop.request_stop(); });
  const std::stop_token token = poolStop.get_token();
  {
    std::vector<std::jthread> threads;
    for (std::size_t w = 0; w < workers_; ++w)
      threads.emplace_back([this, w, token, &poolStop] {
        if (HRESULT hr = Work(w, token); FAILED(hr)) {
          Fail(hr);
          poolStop.request_stop();
        }
      });
    threads.emplace_back([this, &output, token, &poolStop] {
      if (HRESULT hr = HandOff(output, token); FAILED(hr)) {
        Fail(hr);
        poolStop.request_stop();
      }
    });
    Split(input, poolStop.get_token());
  }
  std::lock_guard lock(mutex_);
  return failure_;
}

void SegmentPool::Fail(HRESULT hr) {
  std::lock_guard lock(mutex_);
  if (SUCCEEDED(failure_)) failure_ = hr;
}

// --- splitter ---

void SegmentPool::Split(PacketQueue& input, std::stop_token stop) {
  const AVStream& stream = *format_.stream;
  for (int64_t place = 0;; ++place) {
    std::optional<PacketPtr> packet = input.Pop(stop);
    std::unique_lock lock(mutex_);
    if (!packet) {
      if (stop.stop_requested()) return;
      // The end: the open segment is the last one.
      candidate_.reset();
      decided_ = read_;
      inputEnded_ = true;
      changed_.notify_all();
      return;
    }
    const int64_t ts = (*packet)->pts != AV_NOPTS_VALUE ? (*packet)->pts : (*packet)->dts;
    std::optional<REFERENCE_TIME> time;
    if (ts != AV_NOPTS_VALUE) time = ToMediaTime(ts, stream.time_base) - format_.origin;
    // Reading stops once a whole segment waits for a free worker (or the log is full), so that the
    // source, and with it the other streams, stays near the pictures being encoded; a worker waiting
    // for a packet is never kept waiting.
    const auto room = [&] { return starved_ > 0 || (bytes_ <= kHeldBytes && starts_.size() < nextSegment_ + 2); };
    if (!changed_.wait(lock, stop, room)) return;
    Consider(**packet, place, time);
    bytes_ += (*packet)->size;
    openBytes_ += (*packet)->size;
    packets_.push_back(std::move(*packet));
    read_ = place + 1;
    if (!candidate_) decided_ = read_;
    changed_.notify_all();
  }
}

// Decides, as each packet comes, where the open segment ends: at the latest keyframe within the
// keyframe interval of its start, known once a packet lies beyond that interval.
void SegmentPool::Consider(const AVPacket& packet, int64_t place, std::optional<REFERENCE_TIME> time) {
  if (starts_.empty()) {
    starts_.push_back({place, time.value_or(0)});
    latest_ = time;
    if (!time) cutting_ = false;
    return;
  }
  // Without timestamps, or once the clock goes back, pictures are placed one after another: the rest
  // of the stream is one segment.
  if (!time || (latest_ && *time < *latest_ - kUnitsPerSecond)) {
    cutting_ = false;
    candidate_.reset();
  }
  if (!cutting_) return;
  const REFERENCE_TIME start = starts_.back().time;
  const bool keyframe = (packet.flags & AV_PKT_FLAG_KEY) && !(packet.flags & AV_PKT_FLAG_CORRUPT) &&
                        (!latest_ || *time > *latest_);
  latest_ = std::max(latest_.value_or(*time), *time);

  if (candidate_ && *time - start > profile::kMaxKeyframeInterval) {
    // No later keyframe can end the open segment within the interval.
    const Cut cut = *candidate_;
    CutAt(cut);
  }
  if (keyframe) {
    if (*time - starts_.back().time <= profile::kMaxKeyframeInterval) {
      candidate_ = Cut{place, *time};
      decided_ = place;
    } else {
      CutAt({place, *time});  // a source group longer than the interval: a segment of its own
    }
  }
  if (candidate_ && openBytes_ > kSegmentBytes) {
    const Cut cut = *candidate_;
    CutAt(cut);
  }
}

void SegmentPool::CutAt(const Cut& cut) {
  if (cut.place > starts_.back().place) {
    starts_.push_back(cut);
    openBytes_ = 0;
    for (int64_t p = std::max(cut.place, first_); p < read_; ++p) openBytes_ += packets_[p - first_]->size;
  }
  candidate_.reset();
  decided_ = read_;
  changed_.notify_all();
}

// Frees the packets no worker will read again.
void SegmentPool::Trim() {
  int64_t keep = nextSegment_ < starts_.size() ? starts_[nextSegment_].place : decided_;
  for (int64_t cursor : cursors_) keep = std::min(keep, cursor);
  while (first_ < keep && !packets_.empty()) {
    bytes_ -= packets_.front()->size;
    packets_.pop_front();
    ++first_;
  }
  changed_.notify_all();
}

// --- workers ---

HRESULT SegmentPool::Work(std::size_t worker, std::stop_token stop) {
  for (;;) {
    std::size_t segment;
    SegmentRange range;
    int64_t place;
    {
      std::unique_lock lock(mutex_);
      // At most one segment more than there are workers is in flight, so that finished segments
      // waiting for their turn stay few.
      const auto ready = [&] {
        return (nextSegment_ < starts_.size() && nextSegment_ <= head_ + std::min(workers_, kMaxInFlight - 1)) ||
               (inputEnded_ && nextSegment_ >= starts_.size()) || FAILED(failure_);
      };
      if (!changed_.wait(lock, stop, ready) || FAILED(failure_) || nextSegment_ >= starts_.size()) return S_OK;
      segment = nextSegment_++;
      place = starts_[segment].place;
      cursors_[worker] = place;
      if (segment > 0) range.first = place;
      range.startTime = starts_[segment].time;
      outputs_[segment];
    }
    range.next = [this, segment] { return NextStart(segment); };
    SegmentEncoder encoder(format_, std::move(range));
    const HRESULT hr = encoder.Run([&](std::stop_token s) { return NextPacket(worker, segment, place, s); },
                                   [&](PacketPtr packet, std::stop_token) { return Deliver(segment, std::move(packet)); },
                                   stop, 1, kWorkerPictures);
    {
      std::lock_guard lock(mutex_);
      cursors_[worker] = kIdle;
      outputs_[segment].done = true;
      Trim();
    }
    if (FAILED(hr)) return hr;
    if (stop.stop_requested()) return S_OK;
  }
}

std::optional<int64_t> SegmentPool::NextStart(std::size_t segment) {
  std::lock_guard lock(mutex_);
  if (segment + 1 < starts_.size()) return starts_[segment + 1].place;
  return std::nullopt;
}

std::optional<PacketPtr> SegmentPool::NextPacket(std::size_t worker, std::size_t segment, int64_t& place,
                                                 std::stop_token stop) {
  std::unique_lock lock(mutex_);
  const auto nextKnown = [&] { return segment + 1 < starts_.size(); };
  const auto finished = [&] {
    return (inputEnded_ && place >= read_) || (nextKnown() && place >= starts_[segment + 1].place + kLookahead);
  };
  const auto available = [&] { return place < read_ && (place < decided_ || nextKnown() || inputEnded_); };
  // Waiting for the splitter to read or to decide: it does so whatever the log holds.
  const bool starved = !finished() && !available();
  starved_ += starved;
  changed_.notify_all();
  const bool ok = changed_.wait(lock, stop, [&] { return finished() || available() || FAILED(failure_); });
  starved_ -= starved;
  if (!ok || finished() || FAILED(failure_)) return std::nullopt;
  PacketPtr packet = NewPacket();
  if (!packet || av_packet_ref(packet.get(), packets_[place - first_].get()) < 0) return std::nullopt;
  packet->pos = place;  // its place in decoding order tells the worker which pictures are its own
  cursors_[worker] = ++place;
  Trim();
  return packet;
}

bool SegmentPool::Deliver(std::size_t segment, PacketPtr packet) {
  std::lock_guard lock(mutex_);
  outputs_[segment].packets.push_back(std::move(packet));
  changed_.notify_all();
  return true;
}

// --- hand-off ---

HRESULT SegmentPool::HandOff(WriterInput& output, std::stop_token stop) {
  int64_t lastPts = -1;
  for (;;) {
    PacketPtr packet;
    {
      std::unique_lock lock(mutex_);
      const auto ready = [&] {
        if (FAILED(failure_)) return true;
        if (inputEnded_ && head_ >= starts_.size()) return true;
        const auto it = outputs_.find(head_);
        return it != outputs_.end() && (!it->second.packets.empty() || it->second.done);
      };
      if (!changed_.wait(lock, stop, ready) || FAILED(failure_)) return S_OK;
      const auto it = outputs_.find(head_);
      if (it == outputs_.end()) break;  // every segment delivered
      if (it->second.packets.empty()) {
        outputs_.erase(it);
        ++head_;
        changed_.notify_all();
        continue;
      }
      packet = std::move(it->second.packets.front());
      it->second.packets.pop_front();
    }
    // Segments are timed each on its own: where the last picture of one and the first of the next
    // fall on the same tick, the later moves up, as within a segment.
    if (packet->pts <= lastPts) {
      const int64_t shift = lastPts + 1 - packet->pts;
      packet->pts += shift;
      packet->dts += shift;
    }
    lastPts = packet->pts;
    const REFERENCE_TIME time = ToMediaTime(packet->dts, profile::kVideoTimeBase);
    const REFERENCE_TIME end = ToMediaTime(packet->pts + packet->duration, profile::kVideoTimeBase);
    if (!output.Deliver(std::move(packet), time, end, stop)) return S_OK;  // stopped
  }
  if (!stop.stop_requested()) output.End();
  return S_OK;
}

}  // namespace media::engine
