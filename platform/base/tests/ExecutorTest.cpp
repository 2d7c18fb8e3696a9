// The shared pool: every task of a group runs once, nested groups and a
// saturated pool never stall (the waiting thread runs what nobody took),
// faults reach the owner, the pool's threads are reused rather than made per
// call, and a forked child gets its work done without its parent's workers.
#include "platform/base/Executor.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <latch>
#include <mutex>
#include <set>
#include <stdexcept>
#include <thread>
#include <vector>

#include "tests/support/Waits.h"

namespace vexa::base {
namespace {

std::size_t ThreadsOfThisProcess() {
  std::size_t n = 0;
  for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator("/proc/self/task")) ++n;
  return n;
}

TEST(ExecutorTest, EveryTaskRunsOnceAndNestedGroupsOnAFullPoolEnd) {
  // Outer tasks, each waiting for inner tasks of its own: more waiters than
  // the pool has workers, so inner tasks can only run on the waiting threads.
  const std::size_t outer = 4 * ParallelJobs() + 3;
  constexpr std::size_t kInner = 16;
  std::vector<std::atomic<int>> runs(outer * kInner);
  const testsupport::Watchdog dog("the nested groups on a full pool to end");
  TaskGroup group;
  for (std::size_t o = 0; o < outer; ++o) {
    group.Run([&, o] {
      TaskGroup inner;
      for (std::size_t i = 0; i < kInner; ++i) inner.Run([&, o, i] { ++runs[o * kInner + i]; });
      inner.Wait();
    });
  }
  group.Wait();
  EXPECT_EQ(group.Pending(), 0u);
  for (std::size_t i = 0; i < runs.size(); ++i) EXPECT_EQ(runs[i].load(), 1) << i;
}

TEST(ExecutorTest, TheFirstFaultReachesTheOwnerOnceEveryTaskEnded) {
  std::atomic<int> ended{0};
  TaskGroup group;
  for (int i = 0; i < 20; ++i) {
    group.Run([&, i] {
      ++ended;
      if (i % 7 == 3) throw std::runtime_error("task failed");
    });
  }
  EXPECT_THROW(group.Wait(), std::runtime_error);
  EXPECT_EQ(ended.load(), 20);
  group.Run([] {});
  EXPECT_NO_THROW(group.Wait());  // a fault is reported once
}

TEST(ExecutorTest, ParallelForCoversEveryIndexWithinTheWorkers) {
  for (unsigned workers : {1u, 2u, 5u}) {
    for (std::size_t count : {0u, 1u, 3u, 100u}) {
      SCOPED_TRACE(testing::Message() << workers << " workers, " << count << " items");
      std::vector<std::atomic<int>> seen(count);
      std::atomic<int> inFlight{0}, most{0};
      ParallelFor(count, workers, [&](std::size_t i) {
        const int now = ++inFlight;
        for (int m = most.load(); now > m && !most.compare_exchange_weak(m, now);) {
        }
        ++seen[i];
        --inFlight;
      });
      for (std::size_t i = 0; i < count; ++i) EXPECT_EQ(seen[i].load(), 1) << i;
      EXPECT_LE(most.load(), static_cast<int>(workers));
    }
  }
}

TEST(ExecutorTest, ThreadsAreReusedNotMadePerCall) {
  ParallelFor(64, ParallelJobs(), [](std::size_t) {});  // the pool is up
  const std::size_t before = ThreadsOfThisProcess();
  std::mutex mutex;
  std::set<std::thread::id> ids;
  for (int call = 0; call < 200; ++call) {
    ParallelFor(8, 8, [&](std::size_t) {
      std::lock_guard lock(mutex);
      ids.insert(std::this_thread::get_id());
    });
  }
  EXPECT_LE(ThreadsOfThisProcess(), before + ParallelJobs());
  EXPECT_LE(ids.size(), ParallelJobs() + 1u);  // the pool and the caller
}

TEST(ExecutorTest, SideThreadsAllRunAtOnceAndAreKeptForTheNextCall) {
  // More stages than cores, each waiting for all: they must run side by side.
  const unsigned stages = 2 * ParallelJobs() + 3;
  auto pipeline = [&] {
    const testsupport::Watchdog dog("every side thread of a pipeline to run at once");
    std::latch all(stages);
    std::vector<SideThread> threads;
    for (unsigned i = 0; i < stages; ++i) threads.emplace_back([&] { all.arrive_and_wait(); });
  };
  pipeline();
  EXPECT_EQ(SideThreadsBusy(), 0u);
  const std::size_t before = ThreadsOfThisProcess();
  for (int call = 0; call < 20; ++call) pipeline();
  EXPECT_EQ(ThreadsOfThisProcess(), before);
  EXPECT_EQ(SideThreadsBusy(), 0u);
}

TEST(ExecutorTest, AForkedChildGetsItsWorkDone) {
  ParallelFor(16, ParallelJobs(), [](std::size_t) {});  // the parent's pool is up
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    std::atomic<int> sum{0};
    ParallelFor(100, 4, [&](std::size_t i) { sum += static_cast<int>(i); });
    std::atomic<int> side{0};
    { SideThread t([&] { side = 1; }); }
    ::_exit(sum.load() == 4950 && side.load() == 1 ? 0 : 1);
  }
  const testsupport::ChildEnd end = testsupport::WaitChild(child, "the forked child's work");
  ASSERT_TRUE(end.ended) << end.failure;
  EXPECT_TRUE(end.Exited(0)) << end.Code();
}

TEST(ExecutorTest, JobsFollowTheAffinityMask) {
  cpu_set_t set;
  CPU_ZERO(&set);
  ASSERT_EQ(::sched_getaffinity(0, sizeof set, &set), 0);
  EXPECT_EQ(AvailableCores(), static_cast<unsigned>(CPU_COUNT(&set)));
  EXPECT_GE(ParallelJobs(), 1u);
}

}  // namespace
}  // namespace vexa::base
