#include "platform/base/Executor.h"

#include <pthread.h>
#include <sched.h>

#include <algorithm>
#include <cstdlib>
#include <deque>
#include <limits>
#include <string>
#include <system_error>
#include <thread>

namespace vexa::base {

unsigned AvailableCores() {
  cpu_set_t set;
  CPU_ZERO(&set);
  if (::sched_getaffinity(0, sizeof set, &set) == 0) {
    const int n = CPU_COUNT(&set);
    if (n > 0) return static_cast<unsigned>(n);
  }
  return std::max(1u, std::thread::hardware_concurrency());
}

unsigned ParallelJobs() {
  static const unsigned jobs = [] {
    if (const char* text = std::getenv(kJobsVariable); text && *text) {
      char* end = nullptr;
      const long n = std::strtol(text, &end, 10);
      if (end && *end == '\0' && n >= 1 && n <= 256) return static_cast<unsigned>(n);
    }
    return AvailableCores();
  }();
  return jobs;
}

namespace {

// The workers and their queue. Made on first use and never destroyed: its
// idle workers simply end with the process.
class Pool {
 public:
  explicit Pool(unsigned most) : most_(most) {}

  // Gives the task to an idle worker, or to a new one when every worker is
  // busy and there is room for one more, or else queues it for the first
  // worker to be free. False when nobody will run it: a pool without
  // workers, or one whose new worker could not be started while none (or,
  // for the side reserve, no free one) was there.
  // `ended`, if any, is called once the worker that ran the task counts as
  // free again, so whoever it tells can hand that worker the next task.
  bool Post(std::function<void()> task, std::function<void()> ended = {}) {
    if (most_ == 0) return false;
    Entry entry{std::move(task), std::move(ended)};
    {
      std::lock_guard lock(mutex_);
      if (idle_ > queue_.size() || started_ >= most_) {
        queue_.push_back(std::move(entry));
        ready_.notify_one();
        return true;
      }
      ++started_;
    }
    try {
      std::thread([this, first = std::move(entry)]() mutable { Work(std::move(first)); }).detach();
      return true;
    } catch (...) {
      std::lock_guard lock(mutex_);
      --started_;
      return false;  // the task went with the thread that was not made
    }
  }

  // Workers running a task now.
  std::size_t Busy() {
    std::lock_guard lock(mutex_);
    return started_ - idle_;
  }

  static constexpr unsigned kUnbounded = std::numeric_limits<unsigned>::max();

 private:
  struct Entry {
    std::function<void()> task;   // a wrapper that never throws
    std::function<void()> ended;  // may be empty
  };

  void Work(Entry entry) {
    std::unique_lock lock(mutex_, std::defer_lock);
    for (;;) {
      entry.task();
      entry.task = nullptr;
      lock.lock();
      ++idle_;
      if (entry.ended) {
        lock.unlock();
        entry.ended();
        entry.ended = nullptr;
        lock.lock();
      }
      ready_.wait(lock, [&] { return !queue_.empty(); });
      --idle_;
      entry = std::move(queue_.front());
      queue_.pop_front();
      lock.unlock();
    }
  }

  const unsigned most_;
  std::mutex mutex_;
  std::condition_variable ready_;
  std::deque<Entry> queue_;  // guarded by mutex_
  std::size_t idle_ = 0;                      // guarded by mutex_
  unsigned started_ = 0;                      // guarded by mutex_
};

std::atomic<Pool*> gPool{nullptr};
std::atomic<Pool*> gSide{nullptr};
std::mutex gPoolMade;

// A forked child has none of its parent's workers (and maybe a queue lock
// held by one). Its compute pool starts no threads (a child is mostly on
// its way to exec, and thread start-up after a fork of a threaded process
// is not safe everywhere): its groups run every task on the thread that
// waits. Side threads, which must run beside their caller, are started anew.
void ForgetPoolsInChild() {
  gPool.store(new Pool(0));
  gSide.store(new Pool(Pool::kUnbounded));
}

Pool& Made(std::atomic<Pool*>& slot, unsigned most) {
  if (Pool* p = slot.load(std::memory_order_acquire)) return *p;
  std::lock_guard lock(gPoolMade);
  if (Pool* p = slot.load(std::memory_order_acquire)) return *p;
  static const bool registered = [] { return ::pthread_atfork(nullptr, nullptr, ForgetPoolsInChild) == 0; }();
  (void)registered;
  auto* pool = new Pool(most);
  slot.store(pool, std::memory_order_release);
  return *pool;
}

Pool& SharedPool() { return Made(gPool, ParallelJobs()); }
Pool& SideReserve() { return Made(gSide, Pool::kUnbounded); }

}  // namespace

void PostToPool(std::function<void()> task) { SharedPool().Post(std::move(task)); }

struct SideThread::State {
  std::mutex mutex;
  std::condition_variable ended;
  bool done = false;  // guarded by mutex
};

SideThread::SideThread(std::function<void()> task) {
  auto state = std::make_shared<State>();
  auto run = [task = std::move(task)]() mutable {
    try {
      task();
    } catch (...) {
      // As on a std::thread, a fault must not escape the task; the task's
      // own code reports its failures.
    }
    task = nullptr;  // what it holds goes before its owner learns of the end
  };
  auto ended = [state] {
    {
      std::lock_guard lock(state->mutex);
      state->done = true;
    }
    state->ended.notify_all();
  };
  if (!SideReserve().Post(std::move(run), std::move(ended))) {
    throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again), "no thread to be had");
  }
  state_ = std::move(state);
}

std::size_t SideThreadsBusy() { return SideReserve().Busy(); }

void SideThread::Join() {
  if (!state_) return;
  std::unique_lock lock(state_->mutex);
  state_->ended.wait(lock, [&] { return state_->done; });
  lock.unlock();
  state_.reset();
}

struct TaskGroup::State {
  struct Slot {
    std::function<void()> task;
    std::atomic<bool> taken{false};
  };
  std::mutex mutex;
  std::condition_variable ended;
  std::vector<std::shared_ptr<Slot>> slots;  // guarded by mutex; the caller's list
  std::size_t running = 0;                   // guarded by mutex: posted, not ended
  std::exception_ptr fault;                  // guarded by mutex: the first one

  // Runs the slot's task unless somebody took it already.
  void RunSlot(Slot& slot) {
    if (slot.taken.exchange(true)) return;
    std::exception_ptr caught;
    try {
      slot.task();
    } catch (...) {
      caught = std::current_exception();
    }
    slot.task = nullptr;  // what it holds goes before the owner learns of the end
    {
      std::lock_guard lock(mutex);
      if (caught && !fault) fault = caught;
      --running;
    }
    ended.notify_all();
  }
};

TaskGroup::TaskGroup() : state_(std::make_shared<State>()) {}

TaskGroup::~TaskGroup() { WaitQuietly(); }

void TaskGroup::Run(std::function<void()> task, bool alone) {
  auto slot = std::make_shared<State::Slot>();
  slot->task = std::move(task);
  {
    std::lock_guard lock(state_->mutex);
    state_->slots.push_back(slot);
    ++state_->running;
  }
  state_->ended.notify_all();  // an owner already waiting takes it if nobody else does
  if (alone) return;
  // The pool holds the group's state and the slot, so a task that a worker
  // reaches only after its owner ran it itself finds it taken and ends.
  PostToPool([state = state_, slot] { state->RunSlot(*slot); });
}

void TaskGroup::Wait() {
  WaitQuietly();
  std::exception_ptr fault;
  {
    std::lock_guard lock(state_->mutex);
    std::swap(fault, state_->fault);
  }
  if (fault) std::rethrow_exception(fault);
}

bool TaskGroup::WaitQuietly() {
  std::unique_lock lock(state_->mutex);
  for (;;) {
    // A task may add tasks to its group while the owner waits (a worker
    // handing on the rest of its list): the owner runs whatever nobody has
    // taken, so it never waits on work that only it could start.
    state_->ended.wait(lock, [&] { return state_->running == 0 || !state_->slots.empty(); });
    if (state_->slots.empty()) break;
    std::vector<std::shared_ptr<State::Slot>> slots;
    slots.swap(state_->slots);
    lock.unlock();
    // Newest first: the caller's own share (kept, never posted) comes last,
    // and the oldest posted tasks are the likeliest to be under way already.
    for (auto it = slots.rbegin(); it != slots.rend(); ++it) state_->RunSlot(**it);
    lock.lock();
  }
  return !state_->fault;
}

std::size_t TaskGroup::Pending() const {
  std::lock_guard lock(state_->mutex);
  return state_->running;
}

void ParallelFor(std::size_t count, unsigned workers, const std::function<void(std::size_t)>& body) {
  if (count == 0) return;
  std::atomic<std::size_t> next{0};
  auto loop = [&] {
    for (std::size_t i; (i = next.fetch_add(1)) < count;) body(i);
  };
  const std::size_t helpers = std::min<std::size_t>(count, std::max(1u, workers)) - 1;
  TaskGroup group;
  for (std::size_t h = 0; h < helpers; ++h) group.Run(loop);
  group.Run(loop, true);
  group.Wait();
}

}  // namespace vexa::base
