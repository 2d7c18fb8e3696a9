// Helpers for the tests of the UI libraries: a scratch folder, a registry of
// the test's own, outside programs as checkers, and the test main that runs
// every test inside a QApplication on the offscreen platform (a
// QGuiApplication where VEXA_UI_TEST_PLAIN is defined: the tests of the parts
// without widgets).
#pragma once

#include <gtest/gtest.h>

#include <string>
#include "tests/support/Checkers.h"

namespace vexa::ui::testing {

using ::vexa::testsupport::CheckersRequired;
// The bound of the waits for a window state, and their failure message.
using ::vexa::testsupport::InVain;
using ::vexa::testsupport::kWaitBoundMs;
bool HaveTool(const std::string& path);
#define VEXA_UI_REQUIRE_TOOL(path)                                              \
  do {                                                                          \
    if (!::vexa::ui::testing::HaveTool(path)) {                                 \
      if (::vexa::ui::testing::CheckersRequired()) FAIL() << "missing " << path; \
      GTEST_SKIP() << "missing " << path;                                       \
    }                                                                           \
  } while (0)

// Runs a shell command; its exit status, and its output when asked.
inline int RunCommand(const std::string& command, std::string* output = nullptr) {
  return ::vexa::testsupport::Shell(command, output);
}
std::string Quote(const std::string& s);
std::string ReadAll(const std::string& path);
bool WriteAll(const std::string& path, const std::string& bytes);

class TempDir {
 public:
  TempDir();
  ~TempDir();
  std::string Path(const std::string& name) const { return m_dir + "/" + name; }
  const std::string& dir() const { return m_dir; }

 private:
  std::string m_dir;
};

// A test with its own scratch folder and its own registry.
class UiTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;
  TempDir m_temp;
};

}  // namespace vexa::ui::testing
