// The process's one pool of worker threads, which every fan-out of the
// system shares (the photo workers, the stills of one photo, the print
// copies, the resampler's stripes):
//  - its workers are long-lived: started as work comes, up to the cores
//    this process may run on (sched_getaffinity, or VEXA_JOBS when set), and
//    kept until the process ends, so no thread is made or ended per photo,
//    per copy or per call;
//  - compute work reaches it only through a TaskGroup: the caller posts tasks, then
//    Wait runs on its own thread every task no worker has taken yet and
//    waits for the ones under way. A caller always makes progress itself,
//    so a task may post and wait for tasks of its own (nesting), a full
//    pool only slows the work down and never stalls it, and a process
//    without workers (a forked child) still gets everything done.
// Work that must run beside its caller for as long as the caller works (the
// stages of a pipeline, handing each other data through bounded queues)
// cannot wait for a free worker: it runs as a SideThread, on a thread of a
// second reserve that always has one for it. That reserve too keeps its
// threads and reuses an idle one before it adds another.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/base/Export.h"

namespace vexa::base {

inline constexpr char kJobsVariable[] = "VEXA_JOBS";

// The processors this process may run on (its affinity mask), at least one.
VEXA_BASE_API unsigned AvailableCores();

// How many threads may work at once: VEXA_JOBS when it is a number from 1
// to 256, else AvailableCores(). Read once.
VEXA_BASE_API unsigned ParallelJobs();

// Gives `task` to the shared pool; it runs on one of the workers. Only a
// TaskGroup calls this: a task must never be needed by anyone who does not
// also hold a way to run it (see TaskGroup).
VEXA_BASE_API void PostToPool(std::function<void()> task);

// A set of tasks its owner waits for. Each task runs exactly once, on a
// worker of the pool or on the thread that waits. A fault escaping a task
// is kept and thrown again by Wait (the first one, once every task ended).
class VEXA_BASE_API TaskGroup {
 public:
  TaskGroup();
  ~TaskGroup();  // waits (faults are dropped)
  TaskGroup(const TaskGroup&) = delete;
  TaskGroup& operator=(const TaskGroup&) = delete;

  // Posts a task. With `alone` true the task is only kept: it runs when the
  // owner waits (for the caller's own share of the work).
  void Run(std::function<void()> task, bool alone = false);

  // Runs every task not yet taken, newest first, then waits for the rest.
  void Wait();
  // Waits without throwing; true when no task failed.
  bool WaitQuietly();

  // Tasks posted and not yet ended.
  std::size_t Pending() const;

 private:
  struct State;
  std::shared_ptr<State> state_;
};

// A task running beside its caller on a thread of the side reserve, joined
// like a std::jthread: by Join, or when it goes.
class VEXA_BASE_API SideThread {
 public:
  SideThread() = default;
  explicit SideThread(std::function<void()> task);  // throws std::system_error when no thread can be had
  ~SideThread() { Join(); }
  SideThread(SideThread&& other) noexcept = default;
  SideThread& operator=(SideThread&& other) noexcept {
    Join();
    state_ = std::move(other.state_);
    return *this;
  }

  bool joinable() const { return state_ != nullptr; }
  // Waits for the task's end (nothing when none was started).
  void Join();

 private:
  struct State;
  std::shared_ptr<State> state_;
};

// The side threads running a task now (0 once every pipeline has ended).
VEXA_BASE_API std::size_t SideThreadsBusy();

// Runs body(i) for i in 0..count-1 on up to `workers` threads at once (the
// caller is one of them) and returns when all have run.
VEXA_BASE_API void ParallelFor(std::size_t count, unsigned workers, const std::function<void(std::size_t)>& body);

}  // namespace vexa::base
