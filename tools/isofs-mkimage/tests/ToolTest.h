// Running isofs-mkimage and the independent checkers from the tests.
#pragma once

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "platform/base/Path.h"
#include "tests/support/Checkers.h"

namespace mkimage_test {

inline const std::string kTool = std::string(VEXA_BUILD_DIR) + "/bin/isofs-mkimage";
inline const std::string kChecker = std::string(VEXA_TEST_SOURCE_DIR) + "/tests/check_image.py";

struct Result {
  int code;
  std::string out;  // standard output and error together
};

inline Result Shell(const std::string& cmd) {
  Result r{-1, {}};
  r.code = ::vexa::testsupport::Shell(cmd, &r.out);
  return r;
}

inline std::string Quote(const std::string& s) {
  std::string q = "'";
  for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

inline bool Have(const std::string& program) { return ::vexa::testsupport::HaveProgram(program); }

inline std::string Python() { return access("/usr/bin/python3", X_OK) == 0 ? "/usr/bin/python3" : "python3"; }

inline bool HavePycdlib() { return Shell(Python() + " -c 'import pycdlib'").code == 0; }

// Paths here are the operating system's: '\' is part of a name.
inline void WriteFile(const std::string& path, const std::string& data) {
  std::filesystem::create_directories(std::filesystem::path(path).parent_path());
  std::ofstream(path, std::ios::binary) << data;
}

}  // namespace mkimage_test

// Skips, or fails when the checkers are required.
#define REQUIRE_CHECKER(ok, what)                                                      \
  do {                                                                                 \
    if (!(ok)) {                                                                       \
      if (::vexa::testsupport::CheckersRequired()) FAIL() << "checker missing: " << what; \
      GTEST_SKIP() << "checker missing: " << what;                                     \
    }                                                                                  \
  } while (0)
