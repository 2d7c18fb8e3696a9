// Test helpers for PDFs: running the independent checkers (qpdf, poppler's
// pdfinfo, pdffonts, pdfimages, pdftotext, pdftoppm), reading their answers,
// and a scratch folder per test. A test that needs a checker skips when it
// is missing, and fails instead when VEXA_REQUIRE_CHECKERS=1.
#pragma once

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>
#include "tests/support/Checkers.h"

namespace vexa::pdftest {

// Runs a shell command; returns its exit status and its output (stdout and stderr).
using ::vexa::testsupport::Shell;
// Quotes a path for the shell.
std::string Quote(const std::string& s);

// True when every named program is on the PATH; otherwise records a skip or
// (with VEXA_REQUIRE_CHECKERS=1) a failure, and returns false.
bool HaveCheckers(const std::vector<std::string>& programs);
#define VEXA_NEED_CHECKERS(...)                                      \
  do {                                                               \
    if (!::vexa::pdftest::HaveCheckers({__VA_ARGS__})) {             \
      if (::testing::Test::HasFailure()) return;                     \
      GTEST_SKIP() << "checker missing";                             \
    }                                                                \
  } while (0)

// True when VEXA_REQUIRE_CHECKERS=1 (a missing checker is then a failure).
using ::vexa::testsupport::CheckersRequired;

// Like HaveCheckers, for a data file a package provides.
bool HaveFile(const std::string& path);
#define VEXA_NEED_FILE(path)                                         \
  do {                                                               \
    if (!::vexa::pdftest::HaveFile(path)) {                          \
      if (::testing::Test::HasFailure()) return;                     \
      GTEST_SKIP() << "missing " << (path);                          \
    }                                                                \
  } while (0)

// "qpdf --check" passes without warnings.
::testing::AssertionResult QpdfClean(const std::string& pdf);
// pdfinfo's "Key: value" lines (with -box, the boxes too).
std::map<std::string, std::string> PdfInfo(const std::string& pdf, int page = 0);

struct Word {
  std::string text;
  double xMin, yMin, xMax, yMax;  // pdftotext -bbox: points, origin at the top left
};
// The words of one page (1-based) or of all pages (0).
std::vector<Word> Words(const std::string& pdf, int page = 0);
std::vector<std::vector<Word>> WordsByPage(const std::string& pdf);

struct ImageRow {
  int page, width, height;
  std::string color, enc;
  int object;
};
// pdfimages -list.
std::vector<ImageRow> Images(const std::string& pdf);

// A page rendered in grey at `dpi`: width, height and one byte a pixel.
struct Raster {
  int width = 0, height = 0;
  std::vector<unsigned char> pixels;
  unsigned char at(int x, int y) const { return pixels[static_cast<std::size_t>(y) * width + x]; }
};
bool Render(const std::string& pdf, int page, int dpi, Raster* out);

// A fresh scratch folder, removed with the object.
class ScratchDir {
 public:
  ScratchDir();
  ~ScratchDir();
  const std::string& path() const { return path_; }
  std::string operator/(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

// Reads a whole file ("" when it cannot).
std::string Slurp(const std::string& path);

// Compiles the locale `name` (such as "de_DE.UTF-8") into a private folder
// with localedef when the system lacks it, and points LOCPATH there. Returns
// false when neither works.
bool ProvideLocale(const std::string& name);

}  // namespace vexa::pdftest
