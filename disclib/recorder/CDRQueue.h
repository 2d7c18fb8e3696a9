// The bounded ring of sectors between a producer (the caller of a write
// operation, or the Video CD image builder) and a consumer (a writer thread,
// or the disc engine's reader).
//
// A queue of n entries of s bytes keeps one entry free, so it holds n - 1
// sectors. Front and Release are split so the consumer copies the data out
// of the tail entry without the lock: the producer never writes into the
// tail entry. Every operation takes the queue's lock for its whole body.
//
// Besides the interface's slots, a queue wakes its waiters: a producer that
// finds it full waits in WaitNotFull, a consumer that finds it empty waits in
// WaitNotEmpty, and Wake (after a finish or abort flag was set elsewhere)
// makes them look at their conditions again. Nobody sleeps in a loop.
#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/base/WinTypes.h"

struct CDRQueueEntry {
  DWORD word1;   // the writers: track number
  DWORD word2;   //              sector address
  DWORD word3;   //              track type
  DWORD length;  // bytes of data
  BYTE* data;    // the entry's block of s bytes
};

// What Put answers.
enum CDRQueuePut : LONG {
  CDRQ_PUT_FULL = 0,      // the ring is full: nothing stored
  CDRQ_PUT_TOO_LONG = 1,  // the length exceeds the entry size: nothing stored
  CDRQ_PUT_STORED = 2,
};

class I_CDRQueue {
 public:
  virtual ~I_CDRQueue() = default;                                       // 0
  virtual CDRQueueEntry* Front() = 0;                                    // 1 tail entry or null
  // 2: a CDRQueuePut.
  virtual LONG Put(DWORD word1, DWORD word2, DWORD word3, DWORD length, const void* data) = 0;
  virtual void Release(CDRQueueEntry* entry) = 0;                        // 3
  virtual LONG IsFull() = 0;                                             // 4
};

class CDRQueueClass : public I_CDRQueue {
 public:
  // Throws the error code 8 (a long) when it cannot be allocated, so no
  // half-built queue is ever returned.
  CDRQueueClass(DWORD entries, DWORD entrySize);
  ~CDRQueueClass() override;
  CDRQueueClass(const CDRQueueClass&) = delete;
  CDRQueueClass& operator=(const CDRQueueClass&) = delete;

  CDRQueueEntry* Front() override;
  LONG Put(DWORD word1, DWORD word2, DWORD word3, DWORD length, const void* data) override;
  void Release(CDRQueueEntry* entry) override;
  LONG IsFull() override;

  bool IsEmpty();
  DWORD Count();
  DWORD EntrySize() const { return size_; }
  // Wait until there is room (or an entry), or until `stop` answers true; the
  // caller's flags are looked at under the queue's lock, after every change
  // of the queue and every Wake. False when `stop` ended the wait.
  bool WaitNotFull(const std::function<bool()>& stop);
  bool WaitNotEmpty(const std::function<bool()>& stop);
  // Wait until the ring is full or `stop` answers true.
  void WaitFull(const std::function<bool()>& stop);
  void Wake();

 private:
  DWORD Next(DWORD i) const { return i + 1 == count_ ? 0 : i + 1; }

  DWORD count_;
  DWORD size_;
  std::vector<CDRQueueEntry> entries_;
  std::unique_ptr<BYTE[]> blocks_;
  DWORD head_ = 0;
  DWORD tail_ = 0;
  std::mutex mutex_;
  std::condition_variable changed_;
};
