// For tests that count the process's threads around a call: every worker
// the call may use is started first, so that a later count shows the
// threads a call leaves behind and not the pools' own growth.
#pragma once

#include <latch>
#include <vector>

#include "platform/base/Executor.h"
#include "tests/support/Waits.h"

namespace vexa::base::testing {

// Starts `side` side threads and every worker of the compute pool, each
// waiting until all are up; they then stay, idle, for later calls.
inline void WarmPools(unsigned side) {
  const testsupport::Watchdog dog("every side thread and every worker of the pool to be up at once");
  {
    std::latch up(side);
    std::vector<SideThread> threads;
    for (unsigned i = 0; i < side; ++i) threads.emplace_back([&] { up.arrive_and_wait(); });
  }
  // The pool's workers and the caller, all at once.
  const unsigned all = ParallelJobs() + 1;
  std::latch up(all);
  TaskGroup group;
  for (unsigned i = 0; i < all; ++i) group.Run([&] { up.arrive_and_wait(); });
  group.Wait();
}

}  // namespace vexa::base::testing
