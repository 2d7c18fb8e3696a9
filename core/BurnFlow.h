// BurnFlow: the disc checks, the erase of a used CD-RW, the premaster, the
// burns with their further copies and the settling of the burn speed, as
// the disc creation run drives them. It works through the run's context (user interface, result code,
// log and pending error text) and the engine driver it is given; it keeps
// the computer awake while the engine works. Each step answers true or false
// and leaves its own lines and result code; the component class turns the
// answer into its interface's result.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "core/FlowContext.h"
#include "core/ODBase.h"
#include "core/SleepGuard.h"

namespace vexa::core {

// How long the flow waits for the drive and the engine before it gives up.
struct FlowDeadlines {
  // The longest a quick erase may take before it counts as failed.
  std::chrono::milliseconds erase{std::chrono::minutes(8)};
  // The longest the flow waits for a cancelled burn (or premaster) to stop.
  std::chrono::milliseconds burnStop{std::chrono::minutes(2)};
};

// What a burn is asked to do; the three flags go to the engine as the
// caller gave them (-1 true, 0 false; any other value passes unchanged).
struct BurnSettings {
  LONG speed = 2;
  std::int16_t testMode = 0;
  std::int16_t verify = 0;
  std::int16_t burnSafe = -1;
};

// The work folder's free-space need, for the message of a premaster that
// ran out of room.
struct TempSpaceNote {
  long requiredMegabytes = 0;
  std::string drive;
};

class BurnFlow {
 public:
  // sleep may be null (nothing keeps the computer awake).
  BurnFlow(FlowContext& context, CVexaODBase& driver, SleepGuard* sleep, FlowDeadlines deadlines,
           TempSpaceNote space);

  // The disc check and the premaster with their steps on the status dialog.
  bool PrepareVCD();
  // The disc check before a burn: a disc there, blank (a used CD-RW erased
  // when the user agrees), the CD-R reminder.
  bool PrepareForWriting();
  // One burn of the premastered image; the disc comes out afterwards.
  bool BurnVCD(const BurnSettings& burn);
  // The burns of a run: the first disc, then, while the user asks for one
  // in the status dialog's end state, a copy of the same image on the next
  // blank disc. A failure ends the run with its texts raised as the call's
  // (a copy refused before anything was written keeps the discs made).
  bool BurnDiscs(const BurnSettings& burn);
  // Settles *speed on one the writer offers (or the default); *settled is
  // set. Always succeeds.
  void CheckBurnSpeed(LONG* speed, bool* settled);

 private:
  bool IsDiscOK();
  // *erased: the disc was blanked by an erase just now.
  bool IsDiscBlank(bool* retry, bool* erased);
  // A disc nothing can be written to (a written or closed CD, a DVD): text
  // tells the user why; where someone can put in another disc, OK lets the
  // check run again (*retry, true). Otherwise the text is shown once, the
  // log line reported and the check fails.
  bool RefuseDisc(const std::string& text, const std::string& logLine, bool* retry);
  // Each of the three works inside the caller's awake scope and ends it
  // early when it fails, before a message that waits for the user.
  // DoErase: true when the disc was blanked (*blanked) or, after a failed
  // erase, the user will put in another disc.
  bool DoErase(AwakeScope& awake, bool* blanked);
  bool DoPremaster(AwakeScope& awake);
  // The message of a disc too small for the image, around the engine's
  // sentence (why: its text with the method name).
  std::string DiscTooSmallText(const std::string& why) const;
  // *burnStopPending: the engine was told to cancel and may still be writing.
  bool DoBurn(const BurnSettings& burn, bool* burnStopPending, AwakeScope& awake);

  // A phase the engine runs (premaster or burn), watched until it is done.
  struct PhaseWatch {
    const char* method = "";  // for the failure lines, e.g. "CVEXACore1::DoBurn"
    const char* phase = "";   // "Premaster" or "Burn"
    std::function<bool(LONG*)> timeRemaining;
    std::function<bool(bool*)> isDone;
    std::function<bool(LONG*)> progressPercent;
    // The status line for a time remaining in seconds (kNoEstimate: none yet).
    std::function<std::string(long remaining)> timeText;
    std::function<bool()> cancelRequested;  // empty: the phase takes no cancel
    std::string finishing;
  };
  enum class PhaseEnd { Done, DoneQuestionFailed, Cancelled };
  PhaseEnd WatchPhase(const PhaseWatch& watch);
  bool BurnCancelRequested();
  void WaitForBurnToStop();
  // Waits (up to the stop deadline) until the engine's worker of a phase
  // has ended.
  void WaitForPhaseToStop(const char* method, const std::function<bool(bool*)>& isDone);
  void WaitForEngine(std::chrono::milliseconds longest) { flow_.WaitForWork(longest, driver_.ProcessEnd()); }
  bool GetDriveSpeedList(std::vector<LONG>* speeds);

  FlowContext& flow_;
  CVexaCoreUtil& util_;
  CVexaODBase& driver_;
  SleepGuard* sleep_;
  FlowDeadlines deadlines_;
  TempSpaceNote space_;
  // The type of the disc the last disc check found (0: not known).
  LONG discType_ = 0;
};

}  // namespace vexa::core
