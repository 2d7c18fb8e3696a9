// The wizard tests' fixture: a scratch folder, a registry, configuration
// and cache folders of the test's own, and the fake servers registered in
// that registry for the logger, the orchestrator and the locale utility.
#pragma once

#include <string>

#include "uicommon/tests/UiTestSupport.h"
#include "wizard/tests/FakeServers.h"

namespace vexa::wiz::testing {

class WizTest : public vexa::ui::testing::UiTest {
 protected:
  void SetUp() override;
  void TearDown() override;

  FakeState& Fake() { return *m_fake; }
  std::string ConfigDir() const { return m_temp.Path("config/vexa"); }
  std::string CacheDir() const { return m_temp.Path("cache/vexa"); }
  static void SetProductString(const char* name, const std::string& value);
  static void SetProductDword(const char* name, DWORD value);
  // A small picture file made with Qt (JPEG for .jpg, else by extension).
  std::string Photo(const std::string& name, int w = 64, int h = 48);
  // A file of the given size (content does not matter).
  std::string FileOfSize(const std::string& name, std::size_t bytes);

  FakeState* m_fake = nullptr;
};

// Whether this process is the inner run of RunUnderXvfb.
bool InXvfb();
// Runs one test of this program again in a child on a real X display (Xvfb
// of the given size, with the openbox window manager when asked, so windows
// stack as on a desktop), with extra environment settings ("NAME=value ...").
// The child's exit status; its output in *out.
int RunUnderXvfb(const std::string& test, const std::string& env, bool windowManager, std::string* out,
                 const std::string& screen = "1280x900x24");
// Where the screenshots of the wizard's tests go (build/artifacts/vexawiz).
std::string ShotFolder();

}  // namespace vexa::wiz::testing
