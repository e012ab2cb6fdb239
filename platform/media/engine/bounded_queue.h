// A queue between two streaming stages: the producer waits while it is full, the consumer while it is
// empty, and both give up when their stop token is triggered. Closing it marks the end of the stream.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <mutex>
#include <optional>
#include <stop_token>

namespace media::engine {

template <class T>
class BoundedQueue {
 public:
  explicit BoundedQueue(std::size_t capacity) : capacity_(capacity) {}

  // False when stopped or closed before there was room.
  bool Push(T item, std::stop_token stop) {
    std::unique_lock lock(mutex_);
    if (!changed_.wait(lock, stop, [&] { return closed_ || items_.size() < capacity_; })) return false;
    if (closed_) return false;
    items_.push_back(std::move(item));
    changed_.notify_all();
    return true;
  }

  // The next item; nothing once the queue is closed and drained, or when stopped.
  std::optional<T> Pop(std::stop_token stop) {
    std::unique_lock lock(mutex_);
    if (!changed_.wait(lock, stop, [&] { return closed_ || !items_.empty(); })) return std::nullopt;
    if (items_.empty()) return std::nullopt;
    T item = std::move(items_.front());
    items_.pop_front();
    changed_.notify_all();
    return item;
  }

  // No more items will come; what is queued can still be taken.
  void Close() {
    std::lock_guard lock(mutex_);
    closed_ = true;
    changed_.notify_all();
  }

 private:
  const std::size_t capacity_;
  std::mutex mutex_;
  std::condition_variable_any changed_;
  std::deque<T> items_;
  bool closed_ = false;
};

}  // namespace media::engine
