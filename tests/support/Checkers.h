// What every test that calls an independent checker needs: whether the
// checkers are required (VEXA_REQUIRE_CHECKERS=1, as in CI, where a missing
// checker fails the test instead of skipping it), whether a program is
// there, and a shell command's exit status with its output, within a bound.
#pragma once

#include <chrono>
#include <cstdlib>
#include <string>
#include <utility>

#include "tests/support/Waits.h"

namespace vexa::testsupport {

inline bool CheckersRequired() {
  const char* v = std::getenv("VEXA_REQUIRE_CHECKERS");
  return v && std::string(v) == "1";
}

// Runs command through the shell and returns what it wrote to standard
// output (standard error goes where the test's own goes); the exit status in
// *status, -1 when it did not exit normally or could not be started. A
// command that has not ended within bound is killed with its children, the
// test fails with a message naming it, and *status is -1.
inline std::string ShellOutput(const std::string& command, int* status = nullptr,
                               std::chrono::milliseconds bound = kWaitBound) {
  ShellRun run = RunShell(command, bound);
  if (run.timedOut) ADD_FAILURE() << run.failure;
  if (status) *status = run.status;
  return std::move(run.out);
}

// Runs command through the shell with standard error joined to standard
// output; the exit status, or -1 when it did not exit normally (or did not
// end within bound, as ShellOutput).
inline int Shell(const std::string& command, std::string* output = nullptr,
                 std::chrono::milliseconds bound = kWaitBound) {
  ShellRun run = RunShell(command + " 2>&1", bound);
  if (run.timedOut) ADD_FAILURE() << run.failure;
  if (output) *output = std::move(run.out);
  return run.status;
}

// True when the shell finds program (a name on the PATH or a path).
inline bool HaveProgram(const std::string& program) {
  return Shell("command -v " + program + " >/dev/null") == 0;
}

// A shell command's prefix that runs what follows it with folder mounted
// read-only, in a mount namespace of its own (so even root is refused, with
// "Read-only file system"); "" where no such namespace can be made.
inline std::string ReadOnlyFolderPrefix(const std::string& folder) {
  if (!HaveProgram("unshare") || Shell("unshare -rm true") != 0) return "";
  return "unshare -rm sh -c 'mount --bind \"$0\" \"$0\" && mount -o remount,bind,ro \"$0\" && exec \"$@\"' '" +
         folder + "' ";
}

}  // namespace vexa::testsupport
