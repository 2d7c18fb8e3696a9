#include "apps/vexa/StopRequest.h"

#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cstring>

namespace vexa::app {

namespace {

// Lock-free atomics: safe to touch from a signal handler, and sequentially
// consistent, so that either the handler sees the waiting mark or the
// marking thread sees the signal.
std::atomic<int> gStopSignal{0};
std::atomic<int> gWaiting{0};
static_assert(std::atomic<int>::is_always_lock_free);

[[noreturn]] void EndNow(int sig) {
  static constexpr char kText[] = "vexa: stopped by signal\n";
  ssize_t ignored = ::write(STDERR_FILENO, kText, sizeof kText - 1);
  (void)ignored;
  ::_exit(StopExitStatus(sig));
}

void OnStopSignal(int sig) {
  int none = 0;
  gStopSignal.compare_exchange_strong(none, sig);
  if (gWaiting.load() > 0) EndNow(gStopSignal.load());
}

}  // namespace

void InstallStopHandlers() {
  struct sigaction action;
  std::memset(&action, 0, sizeof action);
  action.sa_handler = OnStopSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  for (int sig : {SIGTERM, SIGINT, SIGHUP}) ::sigaction(sig, &action, nullptr);
}

int StopSignal() { return gStopSignal.load(); }

WaitingInComponent::WaitingInComponent() {
  gWaiting.fetch_add(1);
  if (const int sig = gStopSignal.load()) EndNow(sig);
}

WaitingInComponent::~WaitingInComponent() { gWaiting.fetch_sub(1); }

}  // namespace vexa::app
