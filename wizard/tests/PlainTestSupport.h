// The fixture of the wizard's plain tests (the programs that link Qt's core
// only): a scratch folder and a registry of the test's own, COM for the
// album model, the fake logger, orchestrator and locale utility registered
// in that registry, a set of the wizard's services, and the small file and
// shell helpers those tests use.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "idl/vexalog.h"
#include "platform/base/Module.h"
#include "platform/base/Path.h"
#include "platform/imaging/Bitmap.h"
#include "platform/imaging/Codec.h"
#include "platform/com/Com.h"
#include "platform/registry/Registry.h"
#include "tests/support/Checkers.h"
#include "wizard/common/WizUtil.h"
#include "wizard/tests/FakeServers.h"

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
    // Configuration, cache and temporary files of the test's own.
    ::setenv("XDG_CONFIG_HOME", m_temp.Path("config").c_str(), 1);
    ::setenv("XDG_CACHE_HOME", m_temp.Path("cache").c_str(), 1);
    ::setenv("TMPDIR", m_temp.dir().c_str(), 1);
    ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
  }
  void TearDown() override {
    m_wiz.Reset();
    CoUninitialize();
    ::unsetenv("XDG_CONFIG_HOME");
    ::unsetenv("XDG_CACHE_HOME");
    ::unsetenv("TMPDIR");
    ::unsetenv("VEXA_REGISTRY_DIR");
  }
  std::string ConfigDir() const { return m_temp.Path("config/vexa"); }
  std::string CacheDir() const { return m_temp.Path("cache/vexa"); }

  WizServices& Wiz() { return m_wiz; }
  // The fake servers: registered for the logger, the orchestrator and the
  // locale utility, their shared record reset.
  FakeState& Fake() {
    if (!m_fake) {
      for (const CLSID* clsid : {&CLSID_VexaLogger, &CLSID_VEXACore1, &CLSID_VEXALocUtil}) {
        const std::string key =
            "Software\\Classes\\CLSID\\" + vexa::com::GuidToString(*clsid) + "\\InprocServer32";
        vexa::reg::SetValue(vexa::reg::Hive::CurrentUser, key, "", vexa::reg::Value::String("vexawiz_fakes"));
      }
      static vexa::base::Module fakes = vexa::base::Module::Load("vexawiz_fakes");
      EXPECT_TRUE(fakes) << fakes.Error();
      m_fake = fakes.Function<FakeState* (*)()>("VexaWizFakeState")();
      m_fake->Reset();
    }
    return *m_fake;
  }
  static void SetProductString(const char* name, const std::string& value) {
    vexa::reg::SetValue(vexa::reg::Hive::LocalMachine, kWizProductKey, name, vexa::reg::Value::String(value));
  }
  static void SetProductDword(const char* name, DWORD value) {
    vexa::reg::SetValue(vexa::reg::Hive::LocalMachine, kWizProductKey, name, vexa::reg::Value::Dword(value));
  }
  // A file of the given size (sparse: the content does not matter).
  std::string FileOfSize(const std::string& name, std::size_t bytes) {
    const std::string path = m_temp.Path(name);
    vexa::base::MakeDirs(vexa::base::DirName(path));
    std::ofstream out(path, std::ios::binary);
    if (bytes > 0) {
      out.seekp(static_cast<std::streamoff>(bytes - 1));
      out.put('\0');
    }
    return path;
  }

  // A small JPEG picture (one colour), written with the imaging layer.
  std::string Photo(const std::string& name, int w = 64, int h = 48) {
    const std::string path = m_temp.Path(name);
    vexa::base::MakeDirs(vexa::base::DirName(path));
    vexa::imaging::Bitmap bitmap;
    EXPECT_TRUE(bitmap.Create(w, h, 24).ok());
    for (int y = 0; y < h; ++y) {
      std::uint8_t* row = bitmap.row(y);
      for (int x = 0; x < w; ++x) {
        row[3 * x] = 200;  // blue, green, red
        row[3 * x + 1] = 120;
        row[3 * x + 2] = 40;
      }
    }
    std::string bytes;
    EXPECT_TRUE(vexa::imaging::EncodeJpeg(bitmap, {}, &bytes).ok());
    std::ofstream(path, std::ios::binary) << bytes;
    return path;
  }

  PlainTempDir m_temp;
  WizServices m_wiz;
  FakeState* m_fake = nullptr;
};

}  // namespace vexa::wiz::testing
