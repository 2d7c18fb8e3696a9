// Keeping the computer awake while a disc is made: the status dialog's
// keep-awake switch (CanSuspend) and its answer to a sleep query
// (OnPowerBroadcast). The switch holds a logind inhibitor lock ("sleep" and
// "idle", mode "block") over the system bus while sleep is forbidden; where
// there is no system bus or no logind the switch only keeps its flag.
//
// The switch lives beside the status window, not in it, so a run without a
// window (silent mode) keeps the machine awake too.
#pragma once

#include <functional>
#include <memory>
#include <string>

namespace vexa::core {

// Where the inhibitor lock comes from; the default asks logind. Tests give
// their own.
class InhibitorSource {
 public:
  virtual ~InhibitorSource() = default;
  // Takes a lock; returns its file descriptor (>= 0), kUnavailable when no
  // session manager is there to ask, or kFailed when the request failed.
  virtual int Acquire() = 0;
  static constexpr int kUnavailable = -1;
  static constexpr int kFailed = -2;

  static std::unique_ptr<InhibitorSource> Logind();
};

// The power broadcast the system sends before it sleeps, and the answers.
inline constexpr unsigned kPBT_APMQUERYSUSPEND = 0;
inline constexpr long kBROADCAST_QUERY_DENY = 0x424D5144;
inline constexpr long kTRUE = 1;

class SleepGuard {
 public:
  using LogFn = std::function<void(bool isError, const std::string& text)>;
  explicit SleepGuard(LogFn log, std::unique_ptr<InhibitorSource> source = InhibitorSource::Logind());
  ~SleepGuard();
  SleepGuard(const SleepGuard&) = delete;
  SleepGuard& operator=(const SleepGuard&) = delete;

  // allow false: the system is kept from sleeping and from turning the
  // display off until CanSuspend(true).
  void CanSuspend(bool allow);
  // The counted form AwakeScope uses: the first hold forbids sleep, the
  // release of the last allows it again.
  void Hold();
  void Release();
  bool canSuspend() const { return canSuspend_; }
  bool Holding() const { return fd_ >= 0; }
  // The answer to a power broadcast: a suspend query is denied while sleep
  // is forbidden; every other event is answered TRUE.
  long OnPowerBroadcast(unsigned event, long data);

 private:
  void ReleaseLock();

  LogFn log_;
  std::unique_ptr<InhibitorSource> source_;
  bool canSuspend_ = true;
  int fd_ = -1;
  int holds_ = 0;
};

// Keeps the computer awake from its making until End() or the end of the
// scope, whichever comes first, so that no road out of a premaster, an erase
// or a burn leaves sleep forbidden. A failure ends it early, before a
// message that waits for the user. Scopes may nest; sleep is allowed again
// when the last one ends. A null guard holds nothing.
class AwakeScope {
 public:
  explicit AwakeScope(SleepGuard* guard) : guard_(guard) {
    if (guard_) guard_->Hold();
  }
  ~AwakeScope() { End(); }
  AwakeScope(const AwakeScope&) = delete;
  AwakeScope& operator=(const AwakeScope&) = delete;

  // Allows sleep again now; later calls do nothing.
  void End() {
    if (guard_) guard_->Release();
    guard_ = nullptr;
  }
  bool Active() const { return guard_ != nullptr; }

 private:
  SleepGuard* guard_;
};

}  // namespace vexa::core
