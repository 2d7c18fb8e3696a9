// Bounded waits of the tests: for a child process, a shell command, a pipe,
// a condition that no event announces, and a watchdog for the waits that
// cannot be given a bound of their own. Each ends by itself, and when its
// bound passes it says what it waited for and for how long. The default
// bound is generous, so that a machine several times busier than its
// processors, under sanitizers, never reaches it, yet well inside ctest's
// limit for a test program (1800 s, the longest 3600 s), so that a real hang
// ends with a message rather than by ctest's timeout.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <climits>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <utility>

extern char** environ;

namespace vexa::testsupport {

// The bound of a wait that has no reason for another.
inline constexpr std::chrono::milliseconds kWaitBound{std::chrono::seconds(600)};
// The same in milliseconds, for the calls that take an int (QTest::qWaitFor).
inline constexpr int kWaitBoundMs = static_cast<int>(kWaitBound.count());

// "300 s", "1.5 s" or "250 ms".
inline std::string BoundText(std::chrono::milliseconds bound) {
  const long long ms = bound.count();
  if (ms < 1000) return std::to_string(ms) + " ms";
  if (ms % 1000 == 0) return std::to_string(ms / 1000) + " s";
  char text[32];
  std::snprintf(text, sizeof text, "%.1f s", static_cast<double>(ms) / 1000);
  return text;
}

// The failure message of a wait for what (a phrase such as "the thumbnail
// to show") that ended at its bound.
inline std::string InVain(const std::string& what, std::chrono::milliseconds bound = kWaitBound) {
  return "waited " + BoundText(bound) + " in vain for " + what;
}

// A point in time a wait must not pass.
class Deadline {
 public:
  explicit Deadline(std::chrono::milliseconds bound = kWaitBound)
      : bound_(bound), end_(std::chrono::steady_clock::now() + bound) {}

  bool Passed() const { return std::chrono::steady_clock::now() >= end_; }
  // What is left, in milliseconds for poll(): 0 once passed.
  int PollMs() const {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(end_ - std::chrono::steady_clock::now()).count();
    return left <= 0 ? 0 : left > INT_MAX ? INT_MAX : static_cast<int>(left);
  }
  std::chrono::milliseconds Bound() const { return bound_; }
  std::string BoundText() const { return testsupport::BoundText(bound_); }

 private:
  std::chrono::milliseconds bound_;
  std::chrono::steady_clock::time_point end_;
};

// Waits until fd is ready for events: its revents, 0 when the deadline
// passed first, -1 on an error of poll.
inline int PollUntil(int fd, short events, const Deadline& deadline) {
  for (;;) {
    pollfd p{fd, events, 0};
    const int r = ::poll(&p, 1, deadline.PollMs());
    if (r > 0) return p.revents;
    if (r == 0) return 0;
    if (errno != EINTR) return -1;
  }
}

enum class ReadEnd {
  kLine,      // a whole line was read
  kEnd,       // the writers closed the pipe first
  kTimedOut,  // the deadline passed first
  kError,
};

// Reads one line from fd (a pipe or terminal), without its newline, into
// *line; what came before an end or the deadline is there too.
inline ReadEnd ReadLineUntil(int fd, std::string* line, const Deadline& deadline) {
  line->clear();
  for (;;) {
    const int ready = PollUntil(fd, POLLIN, deadline);
    if (ready == 0) return ReadEnd::kTimedOut;
    if (ready < 0) return ReadEnd::kError;
    char c;
    const ssize_t n = ::read(fd, &c, 1);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return ReadEnd::kError;
    if (n == 0) return ReadEnd::kEnd;
    if (c == '\n') return ReadEnd::kLine;
    line->push_back(c);
  }
}

// Reads from fd into *out until its writers close it (kEnd) or the deadline
// passes (kTimedOut). EIO, a terminal whose other side has gone, is an end.
inline ReadEnd ReadToEndUntil(int fd, std::string* out, const Deadline& deadline) {
  char buffer[4096];
  for (;;) {
    const int ready = PollUntil(fd, POLLIN, deadline);
    if (ready == 0) return ReadEnd::kTimedOut;
    if (ready < 0) return ReadEnd::kError;
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return errno == EIO ? ReadEnd::kEnd : ReadEnd::kError;
    if (n == 0) return ReadEnd::kEnd;
    out->append(buffer, static_cast<std::size_t>(n));
  }
}

// Sends sig to the process group pid leads, or to pid alone when it leads
// none (a group of its own is what a test gives the programs it starts, so
// that their children go with them).
inline void KillGroup(pid_t pid, int sig = SIGKILL) {
  if (pid <= 0) return;
  if (::getpgid(pid) == pid && pid != ::getpgrp()) {
    ::kill(-pid, sig);
  } else {
    ::kill(pid, sig);
  }
}

// Waits until child pid of this process can be reaped; false when the
// deadline passed first. The kernel tells the end through a process file
// descriptor; where it has none, the child is asked every few milliseconds.
inline bool AwaitChildEnd(pid_t pid, const Deadline& deadline) {
  const int fd = static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
  if (fd >= 0) {
    const int ready = PollUntil(fd, POLLIN, deadline);
    ::close(fd);
    if (ready >= 0) return ready != 0;
  } else if (errno == ESRCH) {
    return true;
  }
  for (;;) {
    siginfo_t info{};
    if (::waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT) != 0) {
      if (errno == EINTR) continue;
      return true;  // not a child to wait for: waitpid says why
    }
    if (info.si_pid == pid) return true;
    if (deadline.Passed()) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
}

// How a child process ended, or why the wait for it did not see it end.
struct ChildEnd {
  bool ended = false;   // it ended by itself within the bound
  bool reaped = false;  // status holds its waitpid status
  int status = 0;
  std::string failure;  // when it did not end: what was waited for, how long, what was done

  // The exit code, or 128 + the signal that ended it; -1 when unknown.
  int Code() const {
    if (!reaped) return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  }
  bool Exited(int code) const { return ended && WIFEXITED(status) && WEXITSTATUS(status) == code; }
};

namespace detail {
inline bool Reap(pid_t pid, int* status) {
  for (;;) {
    if (::waitpid(pid, status, 0) == pid) return true;
    if (errno != EINTR) return false;
  }
}
}  // namespace detail

// Waits at most bound for child pid to end and reaps it. When the bound
// passes, its process group (or it alone, when it leads none) is killed and
// reaped, and failure says "<what> did not end within <bound>; ...".
inline ChildEnd WaitChild(pid_t pid, const std::string& what, std::chrono::milliseconds bound = kWaitBound) {
  ChildEnd end;
  if (pid <= 0) {
    end.failure = what + " was not started";
    return end;
  }
  const Deadline deadline(bound);
  if (AwaitChildEnd(pid, deadline)) {
    end.reaped = detail::Reap(pid, &end.status);
    end.ended = end.reaped;
    if (!end.reaped) end.failure = "the end of " + what + " could not be collected: " + std::strerror(errno);
    return end;
  }
  KillGroup(pid);
  // SIGKILL ends a process promptly unless it is stuck in the kernel.
  end.reaped = AwaitChildEnd(pid, Deadline(std::chrono::seconds(30))) && detail::Reap(pid, &end.status);
  end.failure = what + " did not end within " + BoundText(bound) +
                (end.reaped ? "; it was killed" : "; it was killed, and had still not ended 30 s later");
  return end;
}

// A shell command's end: its exit status (-1 when it did not exit
// normally) and what it wrote to standard output.
struct ShellRun {
  int status = -1;
  std::string out;
  bool timedOut = false;
  std::string failure;  // when it could not be started or did not end in time
};

// A shell command running beside the test: /bin/sh -c in a process group
// of its own, standard input /dev/null, standard output collected (standard
// error too with joinErrors, else where the test's goes). Finish waits for
// it within a bound; one never finished is killed with its children when
// the object goes.
class BackgroundShell {
 public:
  explicit BackgroundShell(const std::string& command, bool joinErrors = false)
      : what_("the shell command `" + command + "`") {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) {
      failure_ = what_ + " could not be started: " + std::strerror(errno);
      return;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
    if (joinErrors) posix_spawn_file_actions_adddup2(&actions, fds[1], 2);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
    posix_spawnattr_setpgroup(&attributes, 0);
    std::string shell = "/bin/sh", dashC = "-c", text = command;
    char* argv[] = {shell.data(), dashC.data(), text.data(), nullptr};
    const int rc = ::posix_spawn(&pid_, shell.c_str(), &actions, &attributes, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    ::close(fds[1]);
    if (rc != 0) {
      ::close(fds[0]);
      pid_ = -1;
      failure_ = what_ + " could not be started: " + std::strerror(rc);
      return;
    }
    out_ = fds[0];
  }
  ~BackgroundShell() {
    if (out_ >= 0) ::close(out_);
    if (pid_ > 0) {
      KillGroup(pid_);
      WaitChild(pid_, what_, std::chrono::seconds(30));
    }
  }
  BackgroundShell(const BackgroundShell&) = delete;
  BackgroundShell& operator=(const BackgroundShell&) = delete;

  bool Started() const { return pid_ > 0; }

  // Collects its output until it closes it, and its end; when bound passes
  // first, the group is killed and failure says so.
  ShellRun Finish(std::chrono::milliseconds bound = kWaitBound) {
    ShellRun run;
    if (pid_ <= 0) {
      run.failure = failure_;
      return run;
    }
    const Deadline deadline(bound);
    const ReadEnd read = ReadToEndUntil(out_, &run.out, deadline);
    ::close(std::exchange(out_, -1));
    if (read == ReadEnd::kTimedOut) KillGroup(pid_);
    // Its output closed: the shell ends at once, unless it waits for a
    // child that closed its output first.
    const ChildEnd end = WaitChild(std::exchange(pid_, -1), what_, std::chrono::milliseconds(deadline.PollMs()));
    run.timedOut = read == ReadEnd::kTimedOut || !end.ended;
    if (end.reaped && WIFEXITED(end.status)) run.status = WEXITSTATUS(end.status);
    if (run.timedOut) {
      run.status = -1;
      run.failure = what_ + " did not end within " + BoundText(bound) + "; its process group was killed";
    }
    return run;
  }

 private:
  std::string what_;
  std::string failure_;
  pid_t pid_ = -1;
  int out_ = -1;
};

// Runs command as BackgroundShell does and finishes it within bound.
inline ShellRun RunShell(const std::string& command, std::chrono::milliseconds bound = kWaitBound,
                         bool joinErrors = false) {
  return BackgroundShell(command, joinErrors).Finish(bound);
}

// Asks done() every `every` until it holds or bound passes; for a state
// that no event announces (a file another process writes, a window state
// without a signal). False when the bound passed first.
template <typename Done>
bool WaitUntil(Done done, std::chrono::milliseconds bound = kWaitBound,
               std::chrono::milliseconds every = std::chrono::milliseconds(10)) {
  const Deadline deadline(bound);
  for (;;) {
    if (done()) return true;
    if (deadline.Passed()) return done();
    std::this_thread::sleep_for(every);
  }
}

// Guards a wait that cannot be given a bound of its own (a thread's join, a
// latch, a call into the code under test that waits inside): when the
// guard is still alive after bound, it says what was waited for on
// standard error and stops the test program, so that the hang ends with
// that message rather than by ctest's timeout.
class Watchdog {
 public:
  explicit Watchdog(std::string what, std::chrono::milliseconds bound = kWaitBound)
      : what_(std::move(what)), bound_(bound), thread_([this] { Watch(); }) {}
  ~Watchdog() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      done_ = true;
    }
    changed_.notify_all();
    thread_.join();
  }
  Watchdog(const Watchdog&) = delete;
  Watchdog& operator=(const Watchdog&) = delete;

 private:
  void Watch() {
    std::unique_lock<std::mutex> lock(mutex_);
    if (changed_.wait_for(lock, bound_, [this] { return done_; })) return;
    const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
    std::fprintf(stderr, "\n%s%s%s: %s did not happen within %s; the test program stops here\n",
                 test ? test->test_suite_name() : "", test ? "." : "", test ? test->name() : "test", what_.c_str(),
                 BoundText(bound_).c_str());
    std::fflush(stderr);
    std::abort();
  }

  std::string what_;
  std::chrono::milliseconds bound_;
  std::mutex mutex_;
  std::condition_variable changed_;
  bool done_ = false;
  std::thread thread_;
};

}  // namespace vexa::testsupport
