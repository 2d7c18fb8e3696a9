#include "uicommon/tests/UiTestSupport.h"

#include <sys/stat.h>
#include <unistd.h>

#ifdef VEXA_UI_TEST_PLAIN
#include <QGuiApplication>
#else
#include <QApplication>
#endif
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "platform/base/Path.h"

namespace vexa::ui::testing {


bool HaveTool(const std::string& path) { return ::access(path.c_str(), X_OK) == 0; }

std::string Quote(const std::string& s) {
  std::string q = "'";
  for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

bool WriteAll(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << bytes;
  return static_cast<bool>(out);
}

TempDir::TempDir() { m_dir = vexa::base::MakeTempDir(vexa::base::TempDirectory(), "uitest"); }
TempDir::~TempDir() {
  if (!m_dir.empty()) vexa::base::RemoveAll(m_dir);
}

void UiTest::SetUp() {
  const std::string reg = m_temp.Path("registry");
  vexa::base::MakeDirs(reg);
  ::setenv("VEXA_REGISTRY_DIR", reg.c_str(), 1);
}

void UiTest::TearDown() { ::unsetenv("VEXA_REGISTRY_DIR"); }

}  // namespace vexa::ui::testing

int main(int argc, char** argv) {
  // Every test runs on the offscreen platform unless a display is asked for.
  ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
#ifdef VEXA_UI_TEST_PLAIN
  // The tests of the parts without widgets run without the widget stack.
  QGuiApplication app(argc, argv);
#else
  QApplication app(argc, argv);
#endif
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
