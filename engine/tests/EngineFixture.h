// An engine made in the test's own process with a drive layer of the
// test's (FakeDrives.h) and a clock the test moves, in a scratch registry
// layer, data folder and work folder.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <memory>
#include <string>

#include "engine/ComPorts.h"
#include "engine/Engine.h"
#include "engine/tests/FakeDrives.h"
#include "platform/base/Path.h"
#include "platform/base/Text.h"
#include "platform/base/Time.h"
#include "tests/support/Checkers.h"

namespace vexa::engine {

// Reaches what the interfaces do not show.
class EngineTestAccess {
 public:
  static void DropImageBuilder(CVEXAVCDEngine* e) { e->wizard_.reset(); }
  static VCDWizard* Builder(CVEXAVCDEngine* e) { return e->wizard_.get(); }
  static std::vector<std::uint8_t> VolumeRecord(CVEXAVCDEngine* e, const std::string& preparer) {
    return e->VolumeRecord(preparer);
  }
  static GUID EngineGuid(CVEXAVCDEngine* e) { return e->engineGuid_; }
  static const std::string& WorkFolder(CVEXAVCDEngine* e, int which) {
    const WorkFolders& f = e->folders_;
    const std::string* folders[] = {&f.vexaxml, &f.vexaprt, &f.vexaod,   &f.content,
                                    &f.thumb,   &f.webres,  &f.original, &f.vexapc};
    return *folders[which];
  }
};

namespace test {

// A clock that stands still until the test moves it; safe to read from the
// engine's workers.
class TestClock : public base::Clock {
 public:
  std::chrono::system_clock::time_point Now() const override {
    return std::chrono::system_clock::time_point(std::chrono::milliseconds(1'800'000'000'000LL + ms_.load()));
  }
  std::chrono::steady_clock::time_point Monotonic() const override {
    return std::chrono::steady_clock::time_point(std::chrono::milliseconds(1'000'000 + ms_.load()));
  }
  void Advance(std::int64_t ms) { ms_ += ms; }

 private:
  std::atomic<std::int64_t> ms_{0};
};

using ::vexa::testsupport::CheckersRequired;

inline bool HaveTool(const char* name) { return ::vexa::testsupport::HaveProgram(name); }

#define VEXA_REQUIRE_TOOL(name)                                                       \
  do {                                                                                \
    if (!::vexa::engine::test::HaveTool(name)) {                                      \
      if (::vexa::engine::test::CheckersRequired()) FAIL() << name << " missing";     \
      GTEST_SKIP() << name << " missing";                                             \
    }                                                                                 \
  } while (0)

using ::vexa::testsupport::Shell;
using ::vexa::testsupport::InVain;
using ::vexa::testsupport::kWaitBoundMs;

// Waits for a run of the code under test (anything with WaitDone(ms)) to
// end: false, with a failure naming what was waited for, when it has not
// ended within the tests' bound.
template <typename Run>
bool Ended(Run& run, const std::string& what) {
  if (run.WaitDone(kWaitBoundMs)) return true;
  ADD_FAILURE() << InVain(what);
  return false;
}

inline com::Bstr B(const std::string& s) { return com::Bstr::FromUtf8(s); }

inline std::string Text(BSTR s) {
  return s ? base::Utf16ToUtf8(std::u16string_view(s, SysStringLen(s))) : std::string();
}

class EngineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = base::MakeTempDir(base::TempDirectory(), "vexa-engine-");
    ASSERT_FALSE(dir_.empty());
    ::setenv("VEXA_REGISTRY_DIR", (dir_ + "/registry").c_str(), 1);
    ::setenv("XDG_DATA_HOME", (dir_ + "/data").c_str(), 1);
    ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
    fake_ = std::make_shared<FakeDriveAccess>();
    InstallEnvironment(true);
  }

  void TearDown() override {
    engine_.Reset();
    SetEngineEnvironment({});
    com::TakeError();
    CoUninitialize();
    base::RemoveAll(dir_);
  }

  // The engine's environment: the real Video CD classes, the fake drives.
  void InstallEnvironment(bool withDiscLibrary) {
    auto fake = fake_;
    EngineEnvironment env;
    env.clock = &clock_;
    env.bind = [fake, withDiscLibrary](DiscLibrary* lib, std::string* error) {
      *lib = DiscLibrary{};
      if (!withDiscLibrary) {
        *error = "no library";
        return false;
      }
      DiscLibrary real;
      std::string e;
      bindDiscLibrary(&real, &e);
      lib->discpak = real.discpak;
      lib->drives = fake.get();
      lib->haveDriveTable = lib->haveTransportTable = true;
      return lib->discpak != nullptr;
    };
    SetEngineEnvironment(env);
  }

  HRESULT Create() {
    com::ComObject<CVEXAVCDEngine>* p = nullptr;
    const HRESULT hr = com::ComObject<CVEXAVCDEngine>::CreateInstance(&p);
    if (FAILED(hr)) return hr;
    object_ = p;
    engine_ = com::ComPtr<IVEXAEngine>::Attach(static_cast<IVEXAEngine*>(p));
    return hr;
  }

  template <typename I>
  com::ComPtr<I> As() {
    com::ComPtr<I> out;
    EXPECT_EQ(engine_->QueryInterface(com::IidOf<I>(), out.PutVoid()), S_OK);
    return out;
  }

  VEXAEngineResult LastCode() {
    VEXAEngineResult code{};
    EXPECT_EQ(engine_->GetLastResultCode(&code), S_OK);
    return code;
  }
  std::string LastMessage() {
    com::Bstr s;
    EXPECT_EQ(engine_->GetLastResultMsg(s.Out()), S_OK);
    return s.Utf8();
  }
  std::string LastMethod() {
    com::Bstr s;
    EXPECT_EQ(engine_->GetLastResultMethod(s.Out()), S_OK);
    return s.Utf8();
  }
  // The description of the error information the last call left.
  static std::string ErrorDescription() { return com::TakeError().Utf8Description(); }

  std::string Path(const std::string& name) const { return dir_ + "/" + name; }

  std::string dir_;
  TestClock clock_;
  std::shared_ptr<FakeDriveAccess> fake_;
  com::ComPtr<IVEXAEngine> engine_;
  CVEXAVCDEngine* object_ = nullptr;
};

}  // namespace test
}  // namespace vexa::engine
