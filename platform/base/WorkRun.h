// The run of a work object: one piece of work on a thread of its own that
// its owner polls. Every worker of the system follows this protocol (the
// encoders, the menu builder, the image builder, the image stream, the
// thumbnail worker):
//  - Start launches the body on a new thread and returns at once; the
//    previous run's thread is joined first and the record is reset (state
//    running, not done, no cancel, no failing name, no progress);
//  - progress: the body counts the units of work it has done against the
//    units it planned, and the poller reads both at any time;
//  - Cancel asks the body to stop: it sets a flag the body reads between
//    pieces of work and wakes the body's waits (WaitUnlessCancelled);
//  - completion: once the body has returned, a cancel can no longer land
//    (Cancel answers false from then on); the end step runs knowing for
//    certain whether the run was cancelled, then the final state is
//    published, then "done", then the owner's end notice (SetOnDone) is
//    called. Whoever sees "done" reads the final state and the failing name;
//  - destroying the run cancels it and joins its thread.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <utility>

#include "platform/base/WorkState.h"

namespace vexa::base {

class WorkRun {
 public:
  WorkRun() = default;
  ~WorkRun() {
    Cancel();
    Join();
  }
  WorkRun(const WorkRun&) = delete;
  WorkRun& operator=(const WorkRun&) = delete;

  // Starts a run: body() does the work on a new thread and returns the run's
  // state; atEnd(cancelled) runs after it, when no cancel can come any more
  // and before anything is published (clean-up of a cancelled run, closing
  // a stream). A cancel that came first makes the state kWorkCancelled; a
  // fault escaping either makes it kWorkFault. False when no thread could
  // be started (the run then ends at once as a fault).
  template <typename Body, typename AtEnd>
  bool Start(Body body, AtEnd atEnd) {
    Join();
    Reset();
    try {
      thread_ = std::thread([this, body = std::move(body), atEnd = std::move(atEnd)]() mutable {
        std::int32_t state;
        try {
          state = body();
        } catch (...) {
          state = kWorkFault;
        }
        const bool cancelled = CloseCancel();
        try {
          atEnd(cancelled);
        } catch (...) {
          state = kWorkFault;
        }
        Publish(cancelled ? static_cast<std::int32_t>(kWorkCancelled) : state);
      });
    } catch (...) {
      CloseCancel();
      Publish(kWorkFault);
      return false;
    }
    return true;
  }
  template <typename Body>
  bool Start(Body body) {
    return Start(std::move(body), [](bool) {});
  }

  // A run that ends before it starts (what it needs is missing): the record
  // is reset and the state published at once, end notice included.
  void EndNow(std::int32_t state) {
    Join();
    Reset();
    CloseCancel();
    Publish(state);
  }

  // Asks the running body to stop; true when the run was still running. A
  // cancel once the body has returned, or with no run, changes nothing.
  bool Cancel() {
    {
      std::lock_guard lock(mutex_);
      if (done_.load() || finishing_) return false;
      cancel_.store(true);
    }
    changed_.notify_all();
    return true;
  }
  bool cancelled() const { return cancel_.load(); }

  // Waits until ready() holds or the run is cancelled; true when ready and
  // not cancelled. Whoever makes ready() true calls Wake() afterwards.
  template <typename Ready>
  bool WaitUnlessCancelled(Ready ready) {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] { return cancel_.load() || ready(); });
    return !cancel_.load();
  }
  void Wake() {
    { std::lock_guard lock(mutex_); }
    changed_.notify_all();
  }

  bool done() const { return done_.load(); }
  // Waits until the run is done or the time has passed; true when done.
  bool WaitDone(std::chrono::milliseconds timeout) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] { return done_.load(); });
  }
  // Waits until the run's thread (if any) has ended.
  void Join() {
    if (thread_.joinable()) thread_.join();
  }

  // The state: kWorkRunning while the body works (or what the body set on
  // the way), the final state once done.
  std::int32_t state() const { return state_.load(); }
  // The body's own record of how things go, read by the poller while it
  // works; the final state is what the body returns.
  void set_state(std::int32_t s) { state_.store(s); }
  // Sets the state only while the run is still marked running.
  void SetStateIfRunning(std::int32_t s) {
    std::int32_t running = kWorkRunning;
    state_.compare_exchange_strong(running, s);
  }
  // The state and the failing name read together.
  std::int32_t Result(std::string* name) const {
    std::lock_guard lock(mutex_);
    if (name) *name = failedName_;
    return state_.load();
  }

  // The name of what failed (an input's path, a drive's error).
  void SetFailedName(const std::string& name) {
    std::lock_guard lock(mutex_);
    failedName_ = name;
  }
  // Keeps the first reason given.
  void NoteFailure(const std::string& why) {
    std::lock_guard lock(mutex_);
    if (failedName_.empty()) failedName_ = why;
  }
  std::string FailedName() const {
    std::lock_guard lock(mutex_);
    return failedName_;
  }

  // Progress: units of work planned and done, in whatever unit the work
  // counts (pictures, items, bytes, sectors).
  void SetPlanned(std::int64_t units) { planned_.store(units); }
  void AddDone(std::int64_t units = 1) { doneUnits_.fetch_add(units); }
  std::int64_t PlannedUnits() const { return planned_.load(); }
  std::int64_t DoneUnits() const { return doneUnits_.load(); }

  // Called on the run's thread once a run's result is published (and at
  // once by EndNow). Set before the first run.
  void SetOnDone(std::function<void()> onDone) { onDone_ = std::move(onDone); }

 private:
  void Reset() {
    std::lock_guard lock(mutex_);
    state_.store(kWorkRunning);
    cancel_.store(false);
    done_.store(false);
    finishing_ = false;
    failedName_.clear();
    planned_.store(0);
    doneUnits_.store(0);
  }
  // From here on a cancel has no effect; answers whether one came first.
  bool CloseCancel() {
    std::lock_guard lock(mutex_);
    finishing_ = true;
    return cancel_.load();
  }
  // The final state first, then done.
  void Publish(std::int32_t state) {
    {
      std::lock_guard lock(mutex_);
      state_.store(state);
      done_.store(true);
    }
    changed_.notify_all();
    if (onDone_) onDone_();
  }

  mutable std::mutex mutex_;  // the failing name, the end of the run and waits
  std::condition_variable changed_;
  std::atomic<std::int32_t> state_{kWorkSuccess};
  std::atomic<bool> done_{true};  // no run yet: nothing is running
  std::atomic<bool> cancel_{false};
  bool finishing_ = false;  // guarded by mutex_
  std::string failedName_;  // guarded by mutex_
  std::atomic<std::int64_t> planned_{0};
  std::atomic<std::int64_t> doneUnits_{0};
  std::function<void()> onDone_;
  std::thread thread_;
};

}  // namespace vexa::base
