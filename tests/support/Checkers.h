// What every test that calls an independent checker needs: whether the
// checkers are required (VEXA_REQUIRE_CHECKERS=1, as in CI, where a missing
// checker fails the test instead of skipping it), whether a program is
// there, and a shell command's exit status with its output.
#pragma once

#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <utility>

namespace vexa::testsupport {

inline bool CheckersRequired() {
  const char* v = std::getenv("VEXA_REQUIRE_CHECKERS");
  return v && std::string(v) == "1";
}

// Runs command through the shell and returns what it wrote to standard
// output (standard error goes where the test's own goes); the exit status in
// *status, -1 when it did not exit normally or could not be started.
inline std::string ShellOutput(const std::string& command, int* status = nullptr) {
  std::string out;
  FILE* p = ::popen(command.c_str(), "r");
  if (!p) {
    if (status) *status = -1;
    return out;
  }
  char buf[4096];
  std::size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
  const int rc = ::pclose(p);
  if (status) *status = WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
  return out;
}

// Runs command through the shell with standard error joined to standard
// output; the exit status, or -1 when it did not exit normally.
inline int Shell(const std::string& command, std::string* output = nullptr) {
  int status = -1;
  std::string out = ShellOutput(command + " 2>&1", &status);
  if (output) *output = std::move(out);
  return status;
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
