// The fixture of the wizard's plain tests (the programs that link Qt's core
// only): a scratch folder and a registry of the test's own, COM for the
// album model, and the small file and shell helpers those tests use.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "platform/base/Path.h"
#include "platform/com/Com.h"
#include "tests/support/Checkers.h"

namespace vexa::wiz::testing {

// Skips (or fails, when the checkers are required) without the tool.
#define VEXA_WIZ_REQUIRE_TOOL(path)                                                 \
  do {                                                                              \
    if (::access(path, X_OK) != 0) {                                                \
      if (::vexa::testsupport::CheckersRequired()) FAIL() << "missing " << (path);  \
      GTEST_SKIP() << "missing " << (path);                                         \
    }                                                                               \
  } while (0)

inline std::string Quote(const std::string& s) {
  std::string q = "'";
  for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

inline std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

inline int RunCommand(const std::string& command, std::string* output = nullptr) {
  return ::vexa::testsupport::Shell(command, output);
}

class PlainTempDir {
 public:
  PlainTempDir() : m_dir(vexa::base::MakeTempDir(vexa::base::TempDirectory(), "wizplain")) {}
  ~PlainTempDir() {
    if (!m_dir.empty()) vexa::base::RemoveAll(m_dir);
  }
  PlainTempDir(const PlainTempDir&) = delete;
  PlainTempDir& operator=(const PlainTempDir&) = delete;
  std::string Path(const std::string& name) const { return m_dir + "/" + name; }
  const std::string& dir() const { return m_dir; }

 private:
  std::string m_dir;
};

class PlainTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(m_temp.dir().empty());
    const std::string registry = m_temp.Path("registry");
    vexa::base::MakeDirs(registry);
    ::setenv("VEXA_REGISTRY_DIR", registry.c_str(), 1);
    ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
  }
  void TearDown() override {
    CoUninitialize();
    ::unsetenv("VEXA_REGISTRY_DIR");
  }

  PlainTempDir m_temp;
};

}  // namespace vexa::wiz::testing
