// A bounded queue shared between threads. Closing it wakes every waiter:
// producers see their Push refused and consumers drain what is left and then
// see the end. That is how the end of data and cancellation reach blocked
// threads; nobody sleeps in a loop waiting for another thread.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <mutex>
#include <optional>

namespace vexa::base {

template <typename T>
class ClosableQueue {
 public:
  explicit ClosableQueue(std::size_t capacity) : capacity_(capacity ? capacity : 1) {}

  // Blocks while full; false when the queue was closed (the item is dropped).
  bool Push(T item) {
    std::unique_lock lock(mutex_);
    notFull_.wait(lock, [&] { return closed_ || items_.size() < capacity_; });
    if (closed_) return false;
    items_.push_back(std::move(item));
    notEmpty_.notify_one();
    return true;
  }

  // Blocks while empty; nullopt once the queue is closed and drained.
  std::optional<T> Pop() {
    std::unique_lock lock(mutex_);
    notEmpty_.wait(lock, [&] { return closed_ || !items_.empty(); });
    if (items_.empty()) return std::nullopt;
    T item = std::move(items_.front());
    items_.pop_front();
    notFull_.notify_one();
    return item;
  }

  // Ends the queue: no more pushes; pops drain what is there, then end.
  void Close() {
    std::lock_guard lock(mutex_);
    closed_ = true;
    notEmpty_.notify_all();
    notFull_.notify_all();
  }

  // Ends the queue and throws away what is waiting (cancellation).
  void Abort() {
    std::lock_guard lock(mutex_);
    closed_ = true;
    items_.clear();
    notEmpty_.notify_all();
    notFull_.notify_all();
  }

  bool IsClosed() const {
    std::lock_guard lock(mutex_);
    return closed_;
  }

  std::size_t Size() const {
    std::lock_guard lock(mutex_);
    return items_.size();
  }

 private:
  mutable std::mutex mutex_;
  std::condition_variable notEmpty_;
  std::condition_variable notFull_;
  std::deque<T> items_;
  std::size_t capacity_;
  bool closed_ = false;
};

}  // namespace vexa::base
