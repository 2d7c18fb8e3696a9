// The pool of work runs over a list of items: every item's outcome at its
// place, no more items in flight than workers, the first failure stops the
// handing out (every item before it was begun), and the owner's cancel
// reaches every worker before it takes another item.
#include "platform/base/WorkPool.h"

#include <gtest/gtest.h>

#include <atomic>
#include <latch>
#include <stdexcept>
#include <thread>
#include <vector>

#include "tests/support/Waits.h"

namespace vexa::base {
namespace {

using namespace std::chrono_literals;

TEST(WorkPoolTest, OutcomesInPlaceAndTheFirstFailureStopsTheHandingOut) {
  constexpr std::size_t kItems = 40;
  for (unsigned workers : {1u, 3u, 8u}) {
    for (int failing : {-1, 0, 17, 39}) {
      SCOPED_TRACE(testing::Message() << workers << " workers, failing item " << failing);
      WorkRun owner;  // never started: a pool may also run on its caller's thread
      std::vector<std::atomic<int>> calls(kItems);
      std::atomic<int> inFlight{0}, mostInFlight{0};
      const auto outcomes = MakeItems(owner, kItems, workers, [&](std::size_t i) {
        const int now = ++inFlight;
        int most = mostInFlight.load();
        while (now > most && !mostInFlight.compare_exchange_weak(most, now)) {
        }
        ++calls[i];
        --inFlight;
        if (static_cast<int>(i) == failing) throw std::runtime_error("item fails");
        return true;
      });
      ASSERT_EQ(outcomes.size(), kItems);
      EXPECT_LE(mostInFlight.load(), static_cast<int>(workers));
      for (std::size_t i = 0; i < kItems; ++i) {
        EXPECT_LE(calls[i].load(), 1) << i;
        const auto expected = [&] {
          if (failing < 0 || static_cast<int>(i) < failing) return ItemOutcome::kMade;
          if (static_cast<int>(i) == failing) return ItemOutcome::kFailed;
          // Begun by a worker that took it before the failure was known, or never.
          return calls[i].load() ? ItemOutcome::kMade : ItemOutcome::kNotMade;
        }();
        EXPECT_EQ(outcomes[i], expected) << i;
      }
    }
  }
}

TEST(WorkPoolTest, TheOwnersCancelReachesEveryWorker) {
  // Every worker must hold an item at once: no more than the pool has.
  const unsigned kWorkers = std::min(4u, std::max(2u, ParallelJobs()));
  constexpr std::size_t kItems = 100;
  WorkRun owner;
  std::latch busy(kWorkers);   // every worker holds an item
  std::latch release(1);       // the items may end
  std::atomic<int> begun{0};
  std::vector<ItemOutcome> outcomes;
  ASSERT_TRUE(owner.Start([&] {
    outcomes = MakeItems(owner, kItems, kWorkers, [&](std::size_t) {
      ++begun;
      busy.count_down();
      release.wait();
      return true;
    });
    return static_cast<std::int32_t>(kWorkSuccess);
  }));
  {
    const testsupport::Watchdog dog("every worker to hold an item");
    busy.wait();
  }
  EXPECT_TRUE(owner.Cancel());
  release.count_down();
  ASSERT_TRUE(owner.WaitDone(testsupport::kWaitBound)) << testsupport::InVain("the cancelled pool to end");
  EXPECT_EQ(owner.Result(nullptr), kWorkCancelled);
  // The items under way were finished; no worker began another.
  EXPECT_EQ(begun.load(), static_cast<int>(kWorkers));
  ASSERT_EQ(outcomes.size(), kItems);
  for (std::size_t i = 0; i < kItems; ++i) {
    EXPECT_EQ(outcomes[i], i < kWorkers ? ItemOutcome::kMade : ItemOutcome::kNotMade) << i;
  }
}

TEST(WorkPoolTest, WorkersFollowTheCoresTheCapAndTheItems) {
  const unsigned cores = ParallelJobs();
  EXPECT_EQ(WorkersFor(0, 8), 1u);
  EXPECT_EQ(WorkersFor(1, 8), 1u);
  EXPECT_EQ(WorkersFor(1000, 1), 1u);
  EXPECT_EQ(WorkersFor(1000, 8), std::min(cores, 8u));
  EXPECT_EQ(WorkersFor(2, 8), std::min(cores, 2u));
}

}  // namespace
}  // namespace vexa::base
