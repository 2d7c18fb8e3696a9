#include "platform/base/MemoryBudget.h"

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <thread>

namespace vexa::base {
namespace {

using namespace std::chrono_literals;

constexpr auto kBound = 30s;  // for whatever must happen; a test never asserts a time

// A request made on a thread of its own; its lease comes back through the
// future (empty when the request was stopped).
struct Request {
  std::future<MemoryBudget::Lease> lease;
  std::thread thread;
  Request(MemoryBudget& budget, std::uint64_t bytes, std::stop_token stop = {}) {
    std::promise<MemoryBudget::Lease> promise;
    lease = promise.get_future();
    thread = std::thread([&budget, bytes, stop, p = std::move(promise)]() mutable {
      p.set_value(budget.Acquire(bytes, stop));
    });
  }
  ~Request() { thread.join(); }
  bool Granted() { return lease.wait_for(0s) == std::future_status::ready; }
  // Waits (bounded) for the answer.
  MemoryBudget::Lease Take() {
    EXPECT_EQ(lease.wait_for(kBound), std::future_status::ready) << "the request was never answered";
    return lease.get();
  }
};

// Waits (bounded) until `n` requests wait on the budget: they are blocked
// in Acquire, not merely not yet started.
void WaitForWaiting(const MemoryBudget& budget, std::size_t n) {
  const auto end = std::chrono::steady_clock::now() + kBound;
  while (budget.waiting() < n) {
    ASSERT_LT(std::chrono::steady_clock::now(), end) << "never " << n << " requests waiting";
    std::this_thread::yield();
  }
}

TEST(MemoryBudgetTest, ARequestWaitsWhileOthersHoldTheBudgetAndRunsWhenEnoughIsGivenBack) {
  MemoryBudget budget(100);
  MemoryBudget::Lease a = budget.Acquire(60);
  MemoryBudget::Lease b = budget.Acquire(40);  // fits exactly
  ASSERT_TRUE(a && b);
  EXPECT_EQ(budget.held(), 100u);
  Request c(budget, 30);
  WaitForWaiting(budget, 1);
  EXPECT_FALSE(c.Granted());
  b.Release();  // 60 held: 30 fit again
  MemoryBudget::Lease got = c.Take();
  EXPECT_TRUE(got);
  EXPECT_EQ(got.bytes(), 30u);
  EXPECT_EQ(budget.held(), 90u);
  EXPECT_EQ(budget.peakLeases(), 2u);
  a.Release();
  got.Release();
  EXPECT_EQ(budget.held(), 0u);
}

// A request larger than the whole budget is not refused: it waits until
// nothing is held and then runs alone; what comes after it waits for it,
// and it is not passed over by smaller requests that would fit.
TEST(MemoryBudgetTest, ARequestLargerThanTheBudgetRunsAloneInItsTurn) {
  MemoryBudget budget(100);
  MemoryBudget::Lease small = budget.Acquire(10);
  Request huge(budget, 500);
  WaitForWaiting(budget, 1);
  Request after(budget, 10);  // would fit beside `small`, but comes later
  WaitForWaiting(budget, 2);
  EXPECT_FALSE(huge.Granted());
  EXPECT_FALSE(after.Granted());
  small.Release();
  MemoryBudget::Lease alone = huge.Take();
  ASSERT_TRUE(alone);
  EXPECT_EQ(budget.held(), 500u);
  WaitForWaiting(budget, 1);
  EXPECT_FALSE(after.Granted());  // nothing beside the huge one
  alone.Release();
  EXPECT_TRUE(after.Take());
  EXPECT_EQ(budget.peakLeases(), 1u);
}

// A stop ends a wait at once, with nothing held; the request behind the
// stopped one then gets its turn.
TEST(MemoryBudgetTest, AStopWakesTheWaiterWithNothingHeld) {
  MemoryBudget budget(100);
  MemoryBudget::Lease most = budget.Acquire(90);
  std::stop_source stop;
  Request stopped(budget, 50, stop.get_token());
  WaitForWaiting(budget, 1);
  Request behind(budget, 10);
  WaitForWaiting(budget, 2);
  stop.request_stop();
  EXPECT_FALSE(stopped.Take());
  MemoryBudget::Lease next = behind.Take();
  EXPECT_TRUE(next);
  EXPECT_EQ(budget.held(), 100u);
  EXPECT_EQ(budget.waiting(), 0u);
  // A request whose stop was asked before it came does not wait; memory
  // that is free it still gets.
  EXPECT_FALSE(budget.Acquire(50, stop.get_token()));
  EXPECT_EQ(budget.waiting(), 0u);
  most.Release();
  EXPECT_TRUE(budget.Acquire(50, stop.get_token()));
}

TEST(MemoryBudgetTest, ALargerCapacityLetsWaitingRequestsRun) {
  MemoryBudget budget(100);
  MemoryBudget::Lease held = budget.Acquire(100);
  Request more(budget, 50);
  WaitForWaiting(budget, 1);
  budget.SetCapacity(150);
  MemoryBudget::Lease got = more.Take();
  EXPECT_TRUE(got);
  EXPECT_EQ(budget.held(), 150u);
}

TEST(MemoryBudgetTest, ThePictureBudgetFollowsTheMachine) {
  const std::uint64_t available = AvailableMemory();
  EXPECT_GT(available, 0u);  // /proc/meminfo is always there
  EXPECT_GE(PictureMemory().capacity(), kPictureMemoryFloor);
  EXPECT_GE(PictureMemory().capacity(), available / 2);
}

}  // namespace
}  // namespace vexa::base
