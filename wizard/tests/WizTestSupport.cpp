#include "wizard/tests/WizTestSupport.h"

#include <QColor>
#include <QImage>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>

#include "idl/vexalog.h"
#include "platform/base/Module.h"
#include "platform/base/Path.h"
#include "platform/com/Com.h"
#include "platform/registry/Registry.h"
#include "wizard/common/WizUtil.h"

namespace vexa::wiz::testing {

void WizTest::SetUp() {
  UiTest::SetUp();
  ::setenv("XDG_CONFIG_HOME", m_temp.Path("config").c_str(), 1);
  ::setenv("XDG_CACHE_HOME", m_temp.Path("cache").c_str(), 1);
  ::setenv("TMPDIR", m_temp.dir().c_str(), 1);
  for (const CLSID* clsid : {&CLSID_VexaLogger, &CLSID_VEXACore1, &CLSID_VEXALocUtil}) {
    const std::string key = "Software\\Classes\\CLSID\\" + vexa::com::GuidToString(*clsid) + "\\InprocServer32";
    vexa::reg::SetValue(vexa::reg::Hive::CurrentUser, key, "", vexa::reg::Value::String("vexawiz_fakes"));
  }
  static vexa::base::Module fakes = vexa::base::Module::Load("vexawiz_fakes");
  ASSERT_TRUE(fakes) << fakes.Error();
  m_fake = fakes.Function<FakeState* (*)()>("VexaWizFakeState")();
  m_fake->Reset();
  ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
}

void WizTest::TearDown() {
  CoUninitialize();
  ::unsetenv("XDG_CONFIG_HOME");
  ::unsetenv("XDG_CACHE_HOME");
  ::unsetenv("TMPDIR");
  UiTest::TearDown();
}

void WizTest::SetProductString(const char* name, const std::string& value) {
  vexa::reg::SetValue(vexa::reg::Hive::LocalMachine, kWizProductKey, name, vexa::reg::Value::String(value));
}

void WizTest::SetProductDword(const char* name, DWORD value) {
  vexa::reg::SetValue(vexa::reg::Hive::LocalMachine, kWizProductKey, name, vexa::reg::Value::Dword(value));
}

std::string WizTest::Photo(const std::string& name, int w, int h) {
  const std::string path = m_temp.Path(name);
  vexa::base::MakeDirs(vexa::base::DirName(path));
  QImage image(w, h, QImage::Format_RGB32);
  image.fill(QColor(40, 120, 200));
  const std::string ext = vexa::base::Extension(name);
  const char* format = ext == ".png" ? "PNG" : ext == ".bmp" ? "BMP" : "JPG";
  image.save(QString::fromStdString(path), format);
  return path;
}

std::string WizTest::FileOfSize(const std::string& name, std::size_t bytes) {
  const std::string path = m_temp.Path(name);
  vexa::base::MakeDirs(vexa::base::DirName(path));
  std::ofstream out(path, std::ios::binary);
  // A sparse file costs nothing on disk.
  if (bytes > 0) {
    out.seekp(static_cast<std::streamoff>(bytes - 1));
    out.put('\0');
  }
  return path;
}

bool InXvfb() {
  // Told by a flag of its command line, never by the environment, so the
  // inner run cannot start another.
  const std::string args = vexa::ui::testing::ReadAll("/proc/self/cmdline");
  std::size_t at = 0;
  while (at < args.size()) {
    const std::size_t end = args.find('\0', at);
    if (args.compare(at, end == std::string::npos ? std::string::npos : end - at, "--in-xvfb") == 0) return true;
    if (end == std::string::npos) break;
    at = end + 1;
  }
  return false;
}

std::string ShotFolder() {
  const std::string folder = std::string(VEXA_BUILD_DIR) + "/artifacts/vexawiz";
  vexa::base::MakeDirs(folder);
  return folder;
}

int RunUnderXvfb(const std::string& test, const std::string& env, bool windowManager, std::string* out,
                 const std::string& screen) {
  using vexa::ui::testing::Quote;
  char self[4096] = {};
  const ssize_t len = ::readlink("/proc/self/exe", self, sizeof self - 1);
  if (len <= 0) return -1;
  const std::string run = "env QT_QPA_PLATFORM=xcb ASAN_OPTIONS=detect_leaks=0 TSAN_OPTIONS=report_bugs=0 " + env +
                          " " + Quote(self) + " --gtest_filter=" + Quote(test) + " --in-xvfb";
  const std::string folder = vexa::base::MakeTempDir(vexa::base::TempDirectory(), "xvfbrun");
  std::string command;
  if (windowManager) {
    // The test starts once openbox manages the display, and ends it.
    const std::string script = folder + "/run.sh";
    vexa::ui::testing::WriteAll(script, "#!/bin/sh\n" + run + " > " + Quote(folder + "/out") + " 2>&1\necho $? > " +
                                            Quote(folder + "/rc") + "\nopenbox --exit\n");
    ::chmod(script.c_str(), 0755);
    command = "timeout 300 /usr/bin/xvfb-run -a -s " + Quote("-screen 0 " + screen) +
              " /usr/bin/openbox --sm-disable --startup " + Quote(script);
  } else {
    command = "timeout 300 /usr/bin/xvfb-run -a -s " + Quote("-screen 0 " + screen) + " " + run;
  }
  std::string output;
  int rc = vexa::ui::testing::RunCommand(command, &output);
  if (windowManager) {
    output += vexa::ui::testing::ReadAll(folder + "/out");
    const std::string status = vexa::ui::testing::ReadAll(folder + "/rc");
    rc = status.empty() ? -1 : std::atoi(status.c_str());
  }
  vexa::base::RemoveAll(folder);
  if (out) *out = output;
  return rc;
}

}  // namespace vexa::wiz::testing
