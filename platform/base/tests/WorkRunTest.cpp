// The run protocol every worker follows: the result is published before
// "done", a cancel that came first makes the run cancelled and one that
// came late changes nothing, a cancel wakes the body's waits, the end step
// knows for certain whether the run was cancelled, and destroying a run
// stops and joins it.
#include "platform/base/WorkRun.h"

#include <gtest/gtest.h>

#include <atomic>
#include <latch>
#include <stdexcept>
#include <vector>

#include "tests/support/Waits.h"

namespace vexa::base {
namespace {

using namespace std::chrono_literals;

void WaitForEnd(WorkRun& run) {
  if (!run.WaitDone(testsupport::kWaitBound)) ADD_FAILURE() << testsupport::InVain("the run to end");
}

TEST(WorkRunTest, TheResultIsPublishedBeforeDone) {
  WorkRun run;
  // No run yet: nothing is running, and a cancel changes nothing.
  EXPECT_TRUE(run.done());
  EXPECT_FALSE(run.Cancel());
  std::vector<std::int32_t> told;
  std::vector<std::string> names;
  run.SetOnDone([&] {
    std::string name;
    told.push_back(run.done() ? run.Result(&name) : kWorkRunning);
    names.push_back(name);
  });
  const struct {
    std::int32_t state;
    const char* name;
  } cases[] = {{kWorkSuccess, ""}, {kWorkInputFailed, "/photos/b.jpg"}, {kWorkEncoderFailed, ""}};
  for (const auto& c : cases) {
    ASSERT_TRUE(run.Start([&] {
      run.SetPlanned(3);
      for (int i = 0; i < 3; ++i) run.AddDone();
      if (*c.name) run.SetFailedName(c.name);
      return c.state;
    }));
    WaitForEnd(run);
    std::string name;
    EXPECT_EQ(run.Result(&name), c.state);
    EXPECT_EQ(name, c.name);
    EXPECT_EQ(run.DoneUnits(), 3);
    EXPECT_EQ(run.PlannedUnits(), 3);
    EXPECT_FALSE(run.Cancel());  // after the end
    EXPECT_EQ(run.state(), c.state);
  }
  run.Join();
  EXPECT_EQ(told, (std::vector<std::int32_t>{kWorkSuccess, kWorkInputFailed, kWorkEncoderFailed}));
  EXPECT_EQ(names, (std::vector<std::string>{"", "/photos/b.jpg", ""}));

  // A new run starts from a clean record; a run that cannot start is told too.
  run.EndNow(kWorkNotBound);
  EXPECT_TRUE(run.done());
  std::string name = "x";
  EXPECT_EQ(run.Result(&name), kWorkNotBound);
  EXPECT_EQ(name, "");
  EXPECT_EQ(run.DoneUnits(), 0);
  EXPECT_EQ(told.back(), kWorkNotBound);
}

TEST(WorkRunTest, AFaultInsideTheWorkEndsTheRunAsAFault) {
  WorkRun run;
  ASSERT_TRUE(run.Start([]() -> std::int32_t { throw std::runtime_error("broken"); }));
  WaitForEnd(run);
  EXPECT_EQ(run.state(), kWorkFault);
  ASSERT_TRUE(run.Start([] { return kWorkSuccess; }, [](bool) { throw std::bad_alloc(); }));
  WaitForEnd(run);
  EXPECT_EQ(run.state(), kWorkFault);
}

// A cancel wakes the body's wait; the end step is told the run was
// cancelled and runs before "done".
TEST(WorkRunTest, ACancelWakesTheWorkAndTheEndStepKnowsIt) {
  WorkRun run;
  std::latch waiting(1);
  std::atomic<bool> woke{false};
  bool endSawCancel = false;
  bool endSawDone = true;
  ASSERT_TRUE(run.Start(
      [&] {
        waiting.count_down();
        // Nothing ever makes this ready: only the cancel ends the wait.
        woke = !run.WaitUnlessCancelled([] { return false; });
        return kWorkSuccess;
      },
      [&](bool cancelled) {
        endSawCancel = cancelled;
        endSawDone = run.done();
      }));
  {
    const testsupport::Watchdog dog("the work to start");
    waiting.wait();
  }
  EXPECT_TRUE(run.Cancel());
  WaitForEnd(run);
  EXPECT_TRUE(woke);
  EXPECT_TRUE(endSawCancel);
  EXPECT_FALSE(endSawDone);
  EXPECT_EQ(run.state(), kWorkCancelled);
  EXPECT_TRUE(run.cancelled());
}

// A wait made ready by the owner ends without a cancel.
TEST(WorkRunTest, AWaitMadeReadyEnds) {
  WorkRun run;
  std::atomic<bool> released{false};
  ASSERT_TRUE(run.Start([&] {
    return run.WaitUnlessCancelled([&] { return released.load(); }) ? kWorkSuccess : kWorkCancelled;
  }));
  released = true;
  run.Wake();
  WaitForEnd(run);
  EXPECT_EQ(run.state(), kWorkSuccess);
}

// Cancel and completion raced: the run reads as cancelled exactly when the
// cancel was taken.
TEST(WorkRunTest, ACancelRacingTheEndNeverReadsAsSuccess) {
  WorkRun run;
  for (int i = 0; i < 200; ++i) {
    ASSERT_TRUE(run.Start([] { return kWorkSuccess; }));
    bool took = false;
    std::thread canceller([&] { took = run.Cancel(); });
    canceller.join();
    WaitForEnd(run);
    EXPECT_EQ(run.state(), took ? kWorkCancelled : kWorkSuccess) << i;
  }
}

// Destroying a run that is still working stops it and waits for it.
TEST(WorkRunTest, DestroyingARunStopsAndJoinsIt) {
  std::latch started(1);
  std::atomic<bool> ended{false};
  {
    const testsupport::Watchdog dog("the work to start, and the run to stop and join it when destroyed");
    WorkRun run;
    ASSERT_TRUE(run.Start([&] {
      started.count_down();
      run.WaitUnlessCancelled([] { return false; });
      ended = true;
      return kWorkSuccess;
    }));
    started.wait();
  }
  EXPECT_TRUE(ended);
}

}  // namespace
}  // namespace vexa::base
