// What every test that calls an independent checker needs: whether the
// checkers are required (VEXA_REQUIRE_CHECKERS=1, as in CI, where a missing
// checker fails the test instead of skipping it) and a shell command's exit
// status with its output.
#pragma once

#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace vexa::testsupport {

inline bool CheckersRequired() {
  const char* v = std::getenv("VEXA_REQUIRE_CHECKERS");
  return v && std::string(v) == "1";
}

// Runs command through the shell with standard error joined to standard
// output; the exit status, or -1 when it did not exit normally.
inline int Shell(const std::string& command, std::string* output = nullptr) {
  FILE* p = ::popen((command + " 2>&1").c_str(), "r");
  if (!p) return -1;
  std::string out;
  char buf[4096];
  std::size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
  const int rc = ::pclose(p);
  if (output) *output = out;
  return WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
}

}  // namespace vexa::testsupport
