// A disc engine for the orchestrator's tests: one COM object with the
// engine's nine interfaces, driven by a script the test fills (which calls
// fail, what the drive and the disc report, how long premaster, burn and
// erase take, what a rip writes) and recording every call it gets.
#pragma once

#include <atomic>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "core/ODBase.h"
#include "idl/vexasdk.h"

namespace vexa::core::test {

struct FakeEngineScript {
  std::mutex mutex;

  // Methods (by name, e.g. "SetStillDelay", "get_Burner") that answer E_FAIL
  // with the error description "<name> failed in the fake engine".
  std::set<std::string> failing;
  // Every call, "Name" or "Name arguments", in order.
  std::vector<std::string> calls;

  // Drives: how many GetNextDrive hands out before it answers none.
  int drives = 1;
  // Drive status reads, in order; the last one repeats.
  std::deque<VEXADriveStatus> driveStatus{VEXADriveStatusOK};
  // IsDiscBlank answers, in order; the last one repeats.
  std::deque<bool> blank{true};
  std::deque<VEXADiscType> discType{VEXADiscTypeRW};
  std::vector<LONG> speeds{4, 8, 16};
  // The array GetDriveSpeeds hands out, when set, instead of speeds.
  std::function<void(VARIANT*)> speedsVariant;
  LONG maxSpeed = 16;
  std::u16string inquiry = u"VEXA     SIMULATED CDRW 1.00";
  std::u16string drivePath = u"/dev/sr0";

  // Premaster: IsPremasterDone polls before it says done; progress and time
  // remaining as the polls go; the worker's result.
  int premasterPolls = 2;
  LONG premasterPercent = 50;
  std::deque<LONG> premasterRemaining{30, 0};
  VEXAEngineResult premasterResult = VEXAEngineResultSuccess;
  std::u16string premasterMessage;  // GetLastProcessResultMsg after the premaster
  // GetLastResultCode after a refused StartPremaster.
  VEXAEngineResult lastResult = VEXAEngineResultGeneralIOFail;

  // StartBurn calls still to refuse as the engine refuses a disc too small
  // for the image (each answers E_FAIL with tooSmallText, and the last
  // result becomes VEXAEngineResultDiscTooSmall).
  int burnsTooSmall = 0;
  std::string tooSmallText =
      "IVEXABurner::StartBurn - The disc is too small: the disc image needs 100 MB (51200 sectors) and the disc has "
      "58 MB (30000 sectors) free.";
  // StartPremaster calls still to refuse as the engine refuses an image
  // estimated too big for the disc (E_FAIL with premasterTooSmallText, also
  // the last result's text).
  int premastersTooSmall = 0;
  std::string premasterTooSmallText =
      "IVEXAPremaster::StartPremaster - The disc is too small: the disc image needs 702 MB (359850 sectors) and the "
      "disc has 702 MB (359849 sectors) free.";
  std::u16string lastResultMessage;  // GetLastResultMsg
  int burnPolls = 2;
  LONG burnPercent = 50;
  std::deque<LONG> burnRemaining{20, 0};
  VEXAEngineResult burnResult = VEXAEngineResultSuccess;
  std::u16string burnMessage;  // GetLastProcessResultMsg after a burn
  int burns = 0;
  int cancels = 0;
  // Set while a burn runs (between StartBurn and the last poll or a cancel).
  bool burning = false;

  // The engine tells its sink when a premaster or burn ends (as the real one
  // does); off, it refuses a sink and the orchestrator can only poll.
  bool tellsEnd = true;
  // Ends the running premaster or burn now (it answers done from here on)
  // and tells the sink, as the engine's worker does when it finishes.
  void EndWorkNow();
  // Set by the fake engine: the work ended early, and the sink it was given.
  bool workEnded = false;
  ComPtr<IVEXAProcessDoneSink> sink;

  // IsEraseDone polls before done (-1: never).
  int erasePolls = 3;
  int erases = 0;

  // StartRead: writes this text to the WAV file unless ripWritesFile is off.
  bool ripWritesFile = true;
  std::string ripData = "RIFF";
  LONG trackSize = 1234567;
  double playTime = 7.5;
  LONG timeToRip = 3;

  // Engine objects alive now, and made so far.
  std::atomic<int> alive{0};
  std::atomic<int> made{0};

  bool Fails(const std::string& name);
  void Record(std::string call);
  std::vector<std::string> Calls();
  bool CalledWith(const std::string& prefix);
};

// A factory for CVexaODBase over the script.
EngineFactory FakeEngineFactory(std::shared_ptr<FakeEngineScript> script);

}  // namespace vexa::core::test
