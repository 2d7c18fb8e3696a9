// Shared set-up of the orchestrator's tests: an apartment, a registry layer
// and a scratch folder of the test's own, a logger that keeps its lines in
// memory, and the independent checkers.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "core/CoreUtil.h"
#include "idl/vexalog.h"
#include "tests/support/Checkers.h"

namespace vexa::core::test {

// One line written through the fake logger.
struct LogLine {
  std::string component;
  std::string type;
  std::string text;
};

// IVexaLogger in memory. fail makes WriteMessage answer E_FAIL (nothing kept).
struct LogStore {
  std::vector<LogLine> lines;
  bool fail = false;
  std::vector<std::string> Texts(const std::string& type = "") const;
  bool Has(const std::string& type, const std::string& text) const;
  // The index of the first line of that type and text, or -1.
  int Find(const std::string& type, const std::string& text) const;
};
ComPtr<IVexaLogger> MakeFakeLogger(std::shared_ptr<LogStore> store);

using ::vexa::testsupport::CheckersRequired;
bool HaveTool(const std::string& path);
#define VEXA_CORE_REQUIRE_TOOL(path)                                              \
  do {                                                                            \
    if (!::vexa::core::test::HaveTool(path)) {                                    \
      if (::vexa::core::test::CheckersRequired()) FAIL() << "missing " << path;   \
      GTEST_SKIP() << "missing " << path;                                         \
    }                                                                             \
  } while (0)

// Runs a shell command; its exit status, and its output (stdout and stderr).
inline int RunCommand(const std::string& command, std::string* output = nullptr) {
  return ::vexa::testsupport::Shell(command, output);
}
std::string Quote(const std::string& s);

// A test with an apartment, its own registry layer and a scratch folder.
class CoreTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;
  std::string Path(const std::string& name) const { return dir_ + "/" + name; }
  static void SetProductString(const char* name, const std::string& value);
  static void SetProductDword(const char* name, DWORD value);

  std::string dir_;
};

}  // namespace vexa::core::test
