// A few workers of the shared pool (Executor.h) sharing one list of items,
// on behalf of an owner run:
//  - the items are handed out in their order, one at a time to each worker,
//    so no more items are in flight (and in memory) than there are workers;
//  - each item's outcome is kept at its own place, whatever the order in
//    which the workers finish them;
//  - a failed item stops the handing out: the items before it were all
//    handed out already, so the first failed item in order is the one a
//    single worker would have met first;
//  - the owner's cancel reaches every worker: each reads the owner's run
//    before it takes an item. An item under way is finished; no new one is
//    begun.
// MakeItems returns once every worker has ended.
#pragma once

#include <algorithm>
#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/base/Executor.h"
#include "platform/base/WorkRun.h"

namespace vexa::base {

enum class ItemOutcome : char {
  kNotMade = 0,  // never begun: cancelled, or the work stopped at a failure
  kMade,
  kFailed,
};

// The workers for `items` items: one a core this process may use, at most
// `cap` (each holds one item's memory), never more than the items, at least
// one.
inline unsigned WorkersFor(std::size_t items, unsigned cap) {
  const std::size_t n = std::min<std::size_t>({static_cast<std::size_t>(ParallelJobs()), static_cast<std::size_t>(cap), items});
  return static_cast<unsigned>(std::max<std::size_t>(1, n));
}

// Makes items 0..count-1 with make(i) (true: made) on `workers` workers of
// the shared pool, the caller being one of them, and answers each item's
// outcome. A fault escaping make(i) fails item i.
inline std::vector<ItemOutcome> MakeItems(WorkRun& owner, std::size_t count, unsigned workers,
                                          const std::function<bool(std::size_t)>& make) {
  std::vector<ItemOutcome> outcomes(count, ItemOutcome::kNotMade);
  if (count == 0) return outcomes;
  workers = static_cast<unsigned>(std::min<std::size_t>(std::max(1u, workers), count));

  std::mutex mutex;  // guards next and stopped
  std::size_t next = 0;
  bool stopped = false;
  auto take = [&](std::size_t* item) {
    std::lock_guard lock(mutex);
    if (stopped || next >= count) return false;
    *item = next++;
    return true;
  };
  auto stop = [&] {
    std::lock_guard lock(mutex);
    stopped = true;
  };
  // A worker makes one item, then hands the rest of its share on as a new
  // task at the back of the pool's queue, so that other work waiting for the
  // pool (another list, a print copy) gets its turn between two items. Each
  // worker writes only the outcomes of the items it took, and reads the
  // owner's cancel before it takes another. No more than `workers` items are
  // in flight: a worker's next task exists only once its item is made.
  TaskGroup group;
  std::function<void()> work = [&] {
    std::size_t item = 0;
    if (owner.cancelled() || !take(&item)) return;
    bool made = false;
    try {
      made = make(item);
    } catch (...) {
      made = false;
    }
    outcomes[item] = made ? ItemOutcome::kMade : ItemOutcome::kFailed;
    if (!made) stop();
    group.Run(work);
  };
  for (unsigned w = 1; w < workers; ++w) group.Run(work);
  group.Run(work, true);
  group.WaitQuietly();
  return outcomes;
}

}  // namespace vexa::base
