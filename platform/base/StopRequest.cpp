#include "platform/base/StopRequest.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <thread>

#include "platform/base/OwnedTempDir.h"

namespace vexa::base {

namespace {

// Touched by the signal handler: lock-free atomics and a pipe.
std::atomic<int> gStopSignal{0};
static_assert(std::atomic<int>::is_always_lock_free);
int gWakeRead = -1;
int gWakeWrite = -1;

void OnStopSignal(int sig) {
  const int saved = errno;
  int none = 0;
  gStopSignal.compare_exchange_strong(none, sig);
  const char byte = 1;
  ssize_t ignored = ::write(gWakeWrite, &byte, 1);
  (void)ignored;
  errno = saved;
}

// Reads one wake-up byte, waiting at most timeoutMs (-1: for ever); true
// when one came.
bool TakeWakeUp(int timeoutMs) {
  pollfd p{gWakeRead, POLLIN, 0};
  for (;;) {
    const int n = ::poll(&p, 1, timeoutMs);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    char byte;
    return ::read(gWakeRead, &byte, 1) == 1;
  }
}

void Watch(std::chrono::milliseconds grace) {
  while (!TakeWakeUp(-1)) {
  }
  // The program unwinds on its own within the grace period (and ends the
  // process, this thread with it); a second signal asks not to wait.
  TakeWakeUp(static_cast<int>(grace.count()));
  static constexpr char kText[] = "stopped by signal; removing temporary folders\n";
  ssize_t ignored = ::write(STDERR_FILENO, kText, sizeof kText - 1);
  (void)ignored;
  RemoveOwnTempDirs();
  ::_exit(StopExitStatus(gStopSignal.load()));
}

}  // namespace

namespace {

// The grace period VEXA_STOP_GRACE_SECONDS names, else given.
std::chrono::milliseconds GraceFromEnvironment(std::chrono::milliseconds given) {
  const char* text = std::getenv("VEXA_STOP_GRACE_SECONDS");
  if (!text || !*text) return given;
  char* end = nullptr;
  errno = 0;
  const long seconds = std::strtol(text, &end, 10);
  if (errno != 0 || *end != '\0' || seconds < 1 || seconds > 3600) return given;
  return std::chrono::seconds(seconds);
}

}  // namespace

void InstallStopHandlers(std::chrono::milliseconds grace) {
  grace = GraceFromEnvironment(grace);
  static std::once_flag once;
  std::call_once(once, [grace] {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0) return;
    gWakeRead = fds[0];
    gWakeWrite = fds[1];
    std::thread(Watch, grace).detach();
    struct sigaction action;
    std::memset(&action, 0, sizeof action);
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    // Interrupted system calls go on: the program looks for the request at
    // its own cancel points.
    action.sa_flags = SA_RESTART;
    for (int sig : {SIGTERM, SIGINT, SIGHUP}) ::sigaction(sig, &action, nullptr);
  });
}

int StopSignal() { return gStopSignal.load(); }

}  // namespace vexa::base
