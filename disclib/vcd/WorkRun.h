// The run record shared by the work objects: state, done and cancel flags
// and the failing input's name, read by the polling thread while the
// object's own thread works. The thread is joined when the object goes.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>

namespace vexa::vcd {

// Milliseconds of a monotonic clock.
inline std::int64_t NowMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

class WorkRun {
 public:
  ~WorkRun() { Join(); }

  // Resets the record for a new run (the previous thread is joined first).
  void Reset() {
    Join();
    state_.store(1);
    done_.store(false);
    cancel_.store(false);
    SetFailedName("");
  }
  template <typename F>
  void Start(F&& body) {
    thread_ = std::thread(std::forward<F>(body));
  }
  void Join() {
    if (thread_.joinable()) thread_.join();
  }

  std::int32_t state() const { return state_.load(); }
  void set_state(std::int32_t s) { state_.store(s); }
  // Sets the state only while the run is still marked running.
  void SetStateIfRunning(std::int32_t s) {
    std::int32_t running = 1;
    state_.compare_exchange_strong(running, s);
  }
  bool done() const { return done_.load(); }
  void set_done() {
    {
      std::lock_guard lock(doneMutex_);
      done_.store(true);
    }
    doneChanged_.notify_all();
  }
  // Waits until the run is done or the time has passed; true when done.
  bool WaitDone(std::chrono::milliseconds timeout) {
    std::unique_lock lock(doneMutex_);
    return doneChanged_.wait_for(lock, timeout, [&] { return done_.load(); });
  }
  bool cancelled() const { return cancel_.load(); }
  void Cancel() { cancel_.store(true); }

  void SetFailedName(const std::string& name) {
    std::lock_guard lock(nameMutex_);
    failedName_ = name;
  }
  std::string FailedName() const {
    std::lock_guard lock(nameMutex_);
    return failedName_;
  }

 private:
  std::atomic<std::int32_t> state_{0};
  std::atomic<bool> done_{false};
  std::atomic<bool> cancel_{false};
  std::mutex doneMutex_;
  std::condition_variable doneChanged_;
  mutable std::mutex nameMutex_;
  std::string failedName_;
  std::thread thread_;
};

}  // namespace vexa::vcd
