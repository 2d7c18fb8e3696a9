#include "disclib/recorder/CDRQueue.h"

#include <cstring>
#include <new>

CDRQueueClass::CDRQueueClass(DWORD entries, DWORD entrySize) : count_(entries), size_(entrySize) {
  if (entries < 2 || entrySize == 0) throw 8L;
  try {
    entries_.resize(entries);
    blocks_.reset(new BYTE[static_cast<std::size_t>(entries) * entrySize]());
  } catch (const std::bad_alloc&) {
    throw 8L;
  }
  for (DWORD i = 0; i < entries; ++i) {
    entries_[i] = CDRQueueEntry{0, 0, 0, 0, blocks_.get() + static_cast<std::size_t>(i) * entrySize};
  }
}

CDRQueueClass::~CDRQueueClass() = default;

CDRQueueEntry* CDRQueueClass::Front() {
  std::lock_guard lock(mutex_);
  return head_ == tail_ ? nullptr : &entries_[tail_];
}

LONG CDRQueueClass::Put(DWORD word1, DWORD word2, DWORD word3, DWORD length, const void* data) {
  std::lock_guard lock(mutex_);
  if (length > size_) return CDRQ_PUT_TOO_LONG;
  if (Next(head_) == tail_) return CDRQ_PUT_FULL;
  CDRQueueEntry& e = entries_[head_];
  e.word1 = word1;
  e.word2 = word2;
  e.word3 = word3;
  e.length = length;
  if (length) std::memcpy(e.data, data, length);
  head_ = Next(head_);
  changed_.notify_all();
  return CDRQ_PUT_STORED;
}

void CDRQueueClass::Release(CDRQueueEntry* entry) {
  std::lock_guard lock(mutex_);
  if (head_ == tail_ || entry != &entries_[tail_]) return;
  tail_ = Next(tail_);
  changed_.notify_all();
}

LONG CDRQueueClass::IsFull() {
  std::lock_guard lock(mutex_);
  return Next(head_) == tail_ ? 1 : 0;
}

bool CDRQueueClass::IsEmpty() {
  std::lock_guard lock(mutex_);
  return head_ == tail_;
}

DWORD CDRQueueClass::Count() {
  std::lock_guard lock(mutex_);
  return head_ >= tail_ ? head_ - tail_ : count_ - tail_ + head_;
}

bool CDRQueueClass::WaitNotFull(const std::function<bool()>& stop) {
  std::unique_lock lock(mutex_);
  changed_.wait(lock, [&] { return Next(head_) != tail_ || stop(); });
  return Next(head_) != tail_;
}

bool CDRQueueClass::WaitNotEmpty(const std::function<bool()>& stop) {
  std::unique_lock lock(mutex_);
  changed_.wait(lock, [&] { return head_ != tail_ || stop(); });
  return head_ != tail_;
}

void CDRQueueClass::WaitFull(const std::function<bool()>& stop) {
  std::unique_lock lock(mutex_);
  changed_.wait(lock, [&] { return Next(head_) == tail_ || stop(); });
}

void CDRQueueClass::Wake() {
  std::lock_guard lock(mutex_);
  changed_.notify_all();
}
