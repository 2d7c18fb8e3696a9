// Helpers of the page tests: scratch folders, running the independent
// checkers (tidy, xmllint, a headless browser), and a link resolver over a
// written page tree.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>
#include "tests/support/Checkers.h"

namespace vexa::pcpages::test {

// Runs a shell command; its exit status, with stdout and stderr in *output.
using ::vexa::testsupport::Shell;
// True when the program is on the PATH.
bool HaveChecker(const std::string& program);
using ::vexa::testsupport::CheckersRequired;
std::string ReadText(const std::string& path);
void WriteText(const std::string& path, const std::string& text);
// Files below root (relative paths, sorted), optionally only those whose
// name ends with one of the suffixes (case-insensitive).
std::vector<std::string> FilesBelow(const std::string& root, const std::vector<std::string>& suffixes = {});

// A missing checker skips the test, or fails it under VEXA_REQUIRE_CHECKERS=1.
#define VEXA_NEED_CHECKER(program)                                                  \
  do {                                                                              \
    if (!::vexa::pcpages::test::HaveChecker(program)) {                             \
      if (::vexa::pcpages::test::CheckersRequired()) FAIL() << program << " is required"; \
      GTEST_SKIP() << program << " is not installed";                               \
    }                                                                               \
  } while (0)

// A fresh folder, removed with everything in it at the end.
class ScratchDir {
 public:
  explicit ScratchDir(const std::string& prefix = "vexa-pcpages-");
  ~ScratchDir();
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;
  const std::string& path() const { return path_; }
  std::string operator/(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

// Every href and src of the pages and every url() of their styles, below
// root, that does not lead to an existing file (or, with a fragment, to an
// element of that id). Each entry reads "page: link". Links that leave root
// count as broken.
std::vector<std::string> BrokenLinks(const std::string& root);

// What tidy says of a page ("" when it is clean) and what xmllint's HTML
// parser says ("" when clean).
std::string TidyReport(const std::string& page);
std::string XmllintReport(const std::string& page);

// The headless browser, or "" when none is installed.
std::string Browser();
struct BrowserRun {
  int status = -1;
  std::string dom;                    // --dump-dom of the top document
  std::vector<std::string> console;   // console messages of every frame
  std::vector<std::string> errors;    // those that report a script error or a missing file
};
// Loads a page file (with a fresh profile) and lets its timers run for
// budgetMs of virtual time; with a screenshot path, also takes a picture.
BrowserRun RunBrowser(const std::string& page, int budgetMs, const std::string& screenshot = "");

// Watches a page in real time through the browser's DevTools pipe
// (watch_page.py beside this file) until a frame navigates to an address
// containing `want` or `seconds` pass.
struct PageWatch {
  bool reached = false;
  std::string report;                // the whole report, for messages
  std::vector<std::string> errors;   // script errors and failed loads
  bool Navigated(const std::string& part) const { return report.find(part) != std::string::npos; }
};
PageWatch WatchPage(const std::string& page, const std::string& want, int seconds);

// A short silent WAV file, standing for an album's music.
void WriteSilentWav(const std::string& path);
// The three PDFs the print front puts beside the pages of an album
// (PRINT/PDF below the album folder), as placeholders.
void WritePdfPlaceholders(const std::string& albumRoot);

// Text of the page with tags, scripts and styles removed and the character
// references of the pages decoded.
std::string VisibleText(const std::string& html);
// The values of attribute `name` in the order they appear, decoded.
std::vector<std::string> AttributeValues(const std::string& html, const std::string& name);
// Every start tag of element `tag` ("<img ...>"), in order.
std::vector<std::string> StartTags(const std::string& html, const std::string& tag);
// The decoded value of attribute `name` of one start tag ("" when absent).
std::string Attribute(const std::string& startTag, const std::string& name);
// The links of a page: each href with the visible text of its anchor.
std::vector<std::pair<std::string, std::string>> Anchors(const std::string& html);
// The text between the first "<tag>" and its "</tag>", with blanks at
// either end removed.
std::string ElementText(const std::string& html, const std::string& tag);
// Runs of blanks (and no-break spaces) as one blank, none at either end.
std::string Squeeze(const std::string& text);

}  // namespace vexa::pcpages::test
