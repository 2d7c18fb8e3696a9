// A budget of memory that work draws on before it takes what it needs, so
// that work spread over many workers stays within what the machine has
// instead of growing with the number of workers (a machine with more cores
// than gigabytes). Each piece of work asks for the bytes it will hold at
// most, known before it starts (a picture's size from its header), and
// waits while the pieces under way hold the rest:
//  - requests are served in the order they came, so a large one is never
//    passed over for ever by smaller ones behind it;
//  - a request larger than the whole budget still runs, alone: it waits
//    until nothing is held, and nothing else starts beside it;
//  - a wait ends early when its stop token is asked to stop; that request
//    then holds nothing.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>
#include <stop_token>

#include "platform/base/Export.h"

namespace vexa::base {

class VEXA_BASE_API MemoryBudget {
 public:
  explicit MemoryBudget(std::uint64_t capacity);
  MemoryBudget(const MemoryBudget&) = delete;
  MemoryBudget& operator=(const MemoryBudget&) = delete;

  // Bytes held from a budget, given back when the lease goes (or Release).
  class VEXA_BASE_API Lease {
   public:
    Lease() = default;
    Lease(Lease&& other) noexcept;
    Lease& operator=(Lease&& other) noexcept;
    ~Lease() { Release(); }

    // False for a request that was stopped before its bytes could be had.
    explicit operator bool() const { return budget_ != nullptr; }
    std::uint64_t bytes() const { return bytes_; }
    void Release();

   private:
    friend class MemoryBudget;
    Lease(MemoryBudget* budget, std::uint64_t bytes) : budget_(budget), bytes_(bytes) {}
    MemoryBudget* budget_ = nullptr;
    std::uint64_t bytes_ = 0;
  };

  // Waits until `bytes` can be held (see above) and holds them; an empty
  // lease when `stop` was asked to stop first.
  Lease Acquire(std::uint64_t bytes, std::stop_token stop = {});

  std::uint64_t capacity() const;
  // A new capacity; the requests waiting are looked at again.
  void SetCapacity(std::uint64_t capacity);
  std::uint64_t held() const;
  // The requests waiting now.
  std::size_t waiting() const;
  // The most leases held at once since the budget was made or the last
  // ResetPeak.
  std::size_t peakLeases() const;
  void ResetPeak();

 private:
  bool Fits(std::uint64_t bytes) const;
  void Give(std::uint64_t bytes);

  mutable std::mutex mutex_;
  std::condition_variable_any changed_;
  std::uint64_t capacity_;
  std::uint64_t held_ = 0;
  std::size_t leases_ = 0;
  std::size_t peakLeases_ = 0;
  std::uint64_t nextTicket_ = 0;
  std::deque<std::uint64_t> queue_;  // the tickets of the requests waiting, oldest first
};

// The memory this process may still take, in bytes: the kernel's estimate
// of what can be had without swapping (MemAvailable), or less where the
// process's control group allows less; 0 when neither can be read.
VEXA_BASE_API std::uint64_t AvailableMemory();

// The least budget for pictures, whatever the machine says.
inline constexpr std::uint64_t kPictureMemoryFloor = std::uint64_t{512} << 20;

// The process's budget for pictures being decoded and worked on: three
// quarters of AvailableMemory() when first asked for, at least
// kPictureMemoryFloor.
VEXA_BASE_API MemoryBudget& PictureMemory();

}  // namespace vexa::base
