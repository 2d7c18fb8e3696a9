// Helpers for the imaging tests: a scratch folder, ImageMagick as fixture
// maker and independent reference, synthetic pictures.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/imaging/Bitmap.h"
#include "tests/support/Checkers.h"

namespace vexa::imaging::testing {

// True when the program exists; otherwise the test skips, or fails when
// VEXA_REQUIRE_CHECKERS=1.
bool HaveTool(const std::string& path);
#define VEXA_REQUIRE_TOOL(path)                                                   \
  do {                                                                            \
    if (!::vexa::imaging::testing::HaveTool(path)) {                              \
      if (::vexa::imaging::testing::CheckersRequired()) FAIL() << "missing " << path; \
      GTEST_SKIP() << "missing " << path;                                         \
    }                                                                             \
  } while (0)
using ::vexa::testsupport::CheckersRequired;

inline const char* kConvert = "/usr/bin/convert";
inline const char* kCompare = "/usr/bin/compare";
inline const char* kIdentify = "/usr/bin/identify";

// Runs a command line through the shell; returns its exit status and, when
// asked, its standard output and error together.
inline int RunCommand(const std::string& command, std::string* output = nullptr) {
  return ::vexa::testsupport::Shell(command, output);
}
std::string Quote(const std::string& s);

// ImageMagick's normalised RMSE (0 to 1) between two pictures; -1 on failure.
double RmseOf(const std::string& a, const std::string& b);

// What a piece of work did in a child process of its own.
struct ChildRun {
  bool ran = false;          // the child ended and reported; else why says what went wrong
  std::string why;
  int result = 0;            // what the work answered
  std::int64_t peakGrowth = 0;  // bytes its resident memory grew at most while it worked
};
// Runs work in a forked child and reports its answer and how far the
// child's resident memory rose above where it stood when the work began:
// what the work really took, whichever way it allocated (malloc, a
// library's mmap). Waits at most `limitSeconds` for the child, then kills it.
ChildRun RunInChild(const std::function<int()>& work, int limitSeconds = 120);

class TempDir {
 public:
  TempDir();
  ~TempDir();
  std::string Path(const std::string& name) const { return dir_ + "/" + name; }
  const std::string& dir() const { return dir_; }

 private:
  std::string dir_;
};

// A smooth colour picture with some detail: gradients and a grid.
Bitmap MakeTestPicture(int width, int height, int bitsPerPixel = 24);
// Writes a picture as a binary PPM for ImageMagick to read.
bool WritePpm(const Bitmap& bitmap, const std::string& path);

}  // namespace vexa::imaging::testing
