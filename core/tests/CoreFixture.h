// An orchestrator object for tests: the fake engine, a logger in memory, the
// scripted (or headless) user interface, a clock that does not wait, a free
// space of the test's choosing, and photos made on request.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/testsupport/ScriptedUi.h"
#include "core/VEXACore1.h"
#include "core/tests/CoreTestSupport.h"
#include "core/tests/FakeEngine.h"

namespace vexa::core::test {

// The keep-awake locks the objects took: a pipe per lock, of which the test
// keeps the read end; a lock is held while its write end is open.
struct AwakeLocks {
  std::vector<int> readEnds;
  AwakeLocks() = default;
  AwakeLocks(const AwakeLocks&) = delete;
  AwakeLocks& operator=(const AwakeLocks&) = delete;
  ~AwakeLocks();
  int Taken() const { return static_cast<int>(readEnds.size()); }
  int Held() const;
};

class CoreFixture : public CoreTest {
 protected:
  void SetUp() override;
  void TearDown() override;

  // The services of the object under test.
  CoreServices Services();
  // A new object (nullptr with the construction's result in *hr).
  ComPtr<IVEXACore1> Make(HRESULT* hr = nullptr);
  CVEXACore1* Object(IVEXACore1* core) { return static_cast<CVEXACore1*>(core); }

  // Makes core_ and calls Init with the level, the test's work folder and
  // doClean on.
  HRESULT MakeAndInit(LONG level);
  // A small JPEG photo at dir_/name (made with the image utility's writer).
  std::string Photo(const std::string& name);
  // Adds n photos through AddStill; their paths.
  std::vector<std::string> AddPhotos(int n);

  VEXACoreErrorCode Code(IVEXACore1* core = nullptr);
  // The error information of the last failing call.
  std::string ErrorText();
  std::vector<std::string> EngineCalls(const std::string& prefix = "");
  int Count(const std::string& prefix);

  std::shared_ptr<FakeEngineScript> engine_;
  std::shared_ptr<LogStore> log_;
  std::shared_ptr<ManualFlowClock> clock_;
  std::shared_ptr<AwakeLocks> awake_;
  // The scripted user interface of the object made last, and a hook to
  // script it before the object uses it.
  ScriptedUi* ui_ = nullptr;
  std::function<void(ScriptedUi&)> scriptUi_;
  // Use the headless back end instead of the scripted one, or the one the
  // object chooses itself (Qt with a display, headless without).
  bool headless_ = false;
  bool defaultUi_ = false;
  // Any other back end, made for each object when set.
  std::function<std::unique_ptr<UiPort>(CVexaCoreUtil&)> makeUi_;
  std::uint64_t freeBytes_ = 50ull * 1000 * 1000 * 1000;
  int localeTv_ = 0;
  int localePaper_ = 1;
  bool localeFails_ = false;
  ComPtr<IVEXACore1> core_;
};

}  // namespace vexa::core::test
