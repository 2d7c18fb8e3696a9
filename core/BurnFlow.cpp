// The burn flow: disc checks, the erase of a used CD-RW, premaster, burn
// and the settling of the burn speed, with the status dialog, the user's
// questions and the result codes.
#include "core/BurnFlow.h"

#include <algorithm>

#include "idl/ProductKey.h"
#include "platform/base/StopRequest.h"

namespace vexa::core {

namespace {

constexpr std::chrono::milliseconds kPoll{2700};

std::string Seconds(LONG s) { return (s < 10 ? "0" : "") + std::to_string(s); }

// A message with the engine's or the drive's own words for what happened.
std::string WithReason(const std::string& message, const std::string& reason) {
  return reason.empty() ? message : message + "\r\n\r\n" + reason;
}

constexpr char kNotACdText[] =
    "The disc in the CD writer is not a CD: it is a DVD or another disc that the orlune disc creator software "
    "cannot write.\r\n\r\nA photo disc is made on a CD. Insert a blank CD-R or CD-RW disc, then click OK.";
constexpr char kNotACdLine[] =
    "CVEXACore1::PrepareForWriting - The disc in the CD writer is not a CD (a DVD?): a photo disc is written on a CD. "
    "Put in a blank CD-R.";

}  // namespace

BurnFlow::BurnFlow(FlowContext& context, CVexaODBase& driver, SleepGuard* sleep, FlowDeadlines deadlines,
                   TempSpaceNote space)
    : flow_(context),
      util_(context.Util()),
      driver_(driver),
      sleep_(sleep),
      deadlines_(deadlines),
      space_(std::move(space)) {}

// ---- the discs ----------------------------------------------------------------------------------

bool BurnFlow::BurnDiscs(const BurnSettings& burn) {
  bool firstDisc = true;
  while (true) {
    if (!BurnVCD(burn)) {
      // A copy refused before a sector was written (its disc too small)
      // leaves the discs already made good: the user is told and may try
      // another disc or stop.
      if (firstDisc || flow_.Code() != VEXACoreDiscTooSmall) return flow_.FailCall("CVEXACore1::CreateVCD - BurnVCD call failed.");
      const std::string refused = util_.TakePendingErrors();
      if (!refused.empty()) util_.LogError(refused, false);
      util_.LogError("CVEXACore1::CreateVCD - The copy was not made; the discs made before it are good.", false);
      flow_.SetCode(VEXACoreSuccess);
    }
    firstDisc = false;
    if (!flow_.StatusShown()) return true;

    StatusDialog& status = flow_.Status();
    flow_.ShowStep(6, false);
    flow_.SetStatusText(util_.LoadString(56, "Orlune disc creation process complete!"));
    status.EnableButton(kButtonOK, true);
    status.EnableButton(kButtonExtra, true);
    flow_.EnableCancel(false);
    // Without a window nobody can ask for a copy: one disc, done.
    if (!flow_.Interactive() || !flow_.Port()->StatusHasButtons()) return true;
    while (!status.okPressed && !status.extraButtonPressed && !status.cancelRequested) {
      flow_.Wait(std::chrono::milliseconds(500));
      flow_.Pump();
    }
    if (!status.extraButtonPressed) {
      status.okPressed = false;
      status.cancelRequested = false;
      status.Hide();
      return true;
    }
    // Another copy of the same image on the next blank disc.
    status.extraButtonPressed = false;
    status.EnableButton(kButtonOK, false);
    status.EnableButton(kButtonExtra, false);
    flow_.EnableCancel(true);
    flow_.SetStatusText("");
    flow_.Pump();
    flow_.ShowStep(1, true);
    if (!PrepareForWriting()) return flow_.FailCall("CVEXACore1::CreateVCD - PrepareForWriting call failed.");
    flow_.ShowStep(1, false);
    flow_.ShowStep(2, false);
    if (flow_.IsCancelled()) return flow_.Cancel("CVEXACore1::CreateVCD - User pressed Cancel.");
  }
}

// ---- disc checks -------------------------------------------------------------------------------

bool BurnFlow::PrepareVCD() {
  static const char kCancel[] = "CVEXACore1::PrepareVCD - User pressed Cancel.";
  if (flow_.IsCancelled()) {
    flow_.ShowStep(1, false);
    return flow_.Cancel(kCancel);
  }
  if (flow_.StatusShown()) {
    flow_.SetStatusText("");
    flow_.ShowStatus();
    flow_.ShowStep(1, true);
    flow_.AdvanceProgress(4, true);
  }
  if (!PrepareForWriting()) {
    if (!flow_.EndedByUser()) util_.ReportError("CVEXACore1::PrepareVCD - PrepareForWriting call failed.", false);
    return false;
  }
  if (flow_.IsCancelled()) {
    flow_.ShowStep(1, false);
    flow_.ShowStep(2, false);
    return flow_.Cancel(kCancel);
  }
  if (flow_.StatusShown()) {
    flow_.SetProgress(0);
    flow_.Pump();
    flow_.ShowStep(3, true);
    flow_.ShowStep(1, false);
    flow_.ShowStep(2, false);
  }
  bool premastered = false;
  {
    AwakeScope awake(sleep_);
    premastered = DoPremaster(awake);
  }
  if (!premastered) {
    if (flow_.Code() != VEXACoreCancelled)
      util_.ReportError("CVEXACore1::PrepareVCD - DoPremaster call failed.", false);
    return false;
  }
  if (!flow_.StatusShown()) return true;

  // The two closing steps take about three seconds each.
  for (int step = 4; step <= 5; ++step) {
    flow_.SetProgress(0);
    if (step == 4) flow_.SetStatusText("");
    flow_.Pump();
    flow_.Pause(std::chrono::milliseconds(500));
    flow_.ShowStep(step, true);
    flow_.ShowStep(step - 1, false);
    for (int position : {25, 50, 75}) {
      flow_.SetProgress(position);
      flow_.Pause(std::chrono::milliseconds(1000));
    }
    flow_.SetProgress(100);
    flow_.Pump();
    flow_.Pause(std::chrono::milliseconds(step == 4 ? 200 : 1000));
    if (flow_.IsCancelled()) {
      flow_.ShowStep(step, false);
      return flow_.Cancel(kCancel);
    }
  }
  return true;
}

bool BurnFlow::PrepareForWriting() {
  static const char kCancel[] = "CVEXACore1::PrepareForWriting - User pressed Cancel.";
  std::string reminder;
  if (flow_.StatusShown()) {
    reminder = util_.LoadString(4553, "You have inserted CD-R media into the CD writer.");
  }
  bool retry = true, erased = false;
  int checks = 0;
  while (retry) {
    // A question answered by its default (nobody at the keyboard) cannot
    // bring another disc: the disc is checked once more after it, not again.
    if (++checks > 2 && flow_.Interactive() && flow_.Port()->Unattended()) {
      flow_.SetProgress(0);
      util_.ReportError("CVEXACore1::PrepareForWriting - Nobody can change the disc; giving up after two checks.",
                        false);
      return false;
    }
    flow_.AdvanceProgress(4, true);
    if (!IsDiscOK()) {
      flow_.SetProgress(0);
      util_.ReportError("CVEXACore1::PrepareForWriting - IsDriveOK call failed", false);
      return false;
    }
    flow_.AdvanceProgress(4, true);
    if (!IsDiscBlank(&retry, &erased)) {
      flow_.SetProgress(0);
      // A disc found written has said so; only a question that could not
      // be answered is a failed call.
      if (flow_.Code() != VEXACoreDiscIsNotBlank && flow_.Code() != VEXACoreCancelled &&
          flow_.Code() != VEXACoreCannotBurnVideoCD) {
        util_.ReportError("CVEXACore1::PrepareForWriting - IsDiscBlank call failed", false);
      }
      return false;
    }
    // The erase changed the disc: the check that follows looks at the disc
    // the run made blank, not at one somebody should have put in.
    if (erased) checks = 0;
    LONG type = 0;
    const bool typeKnown = driver_.GetDiscType(&type);
    discType_ = typeKnown ? type : 0;
    if (typeKnown && type == VEXADiscTypeNotCD) {
      // A blank DVD: no CD recording mode fits it.
      flow_.SetCode(VEXACoreCannotBurnVideoCD);
      if (!RefuseDisc(util_.LoadString(4582, kNotACdText), kNotACdLine, &retry)) {
        flow_.SetProgress(0);
        return false;
      }
      continue;
    }
    if (!typeKnown) {
      util_.ReportError("CVEXACore1::PrepareForWriting - ODBase GetDiscType  call failed.", false);
    } else if (type == VEXADiscTypeR && flow_.Interactive()) {
      bool remind = true;
      // A first run has no flag stored yet: the reminder is due, and that is
      // no failure.
      if (!CVexaCoreUtil::GetCDRvsCDRW_NagFlag(&remind) && !CVexaCoreUtil::CDRvsCDRW_NagFlagAbsent()) {
        util_.ReportError("CVEXACore1::PrepareForWriting - CVexaCoreUtil::GetCDRvsCDRW_NagFlag() call failed.", false);
      }
      if (remind) {
        flow_.ShowMessage(kMessageOK, reminder, &remind, false, false, false, false);
        if (!CVexaCoreUtil::SetCDRvsCDRW_NagFlag(remind)) {
          util_.ReportError("CVEXACore1::PrepareForWriting - CVexaCoreUtil::SetCDRvsCDRW_NagFlag() call failed.", false);
        }
      }
    }
    if (flow_.IsCancelled()) {
      flow_.ShowStep(1, false);
      return flow_.Cancel(kCancel);
    }
  }
  // The disc check stays on the screen a few seconds for the person who
  // watches it; nothing runs meanwhile, so without one there is no pause.
  if (!erased) {
    for (int i = 0; i < 4; ++i) {
      flow_.AdvanceProgress(4, true);
      if (flow_.IsCancelled()) {
        flow_.ShowStep(1, false);
        return flow_.Cancel(kCancel);
      }
      flow_.Pause(std::chrono::milliseconds(1000));
    }
    flow_.FillProgress(2);
    flow_.Pause(std::chrono::milliseconds(500));
  }
  if (flow_.IsCancelled()) {
    flow_.ShowStep(1, false);
    return flow_.Cancel(kCancel);
  }
  return true;
}

bool BurnFlow::IsDiscOK() {
  LONG status = VEXADriveStatusNotSupported;
  if (!driver_.GetDriveStatus(&status)) {
    util_.ReportError("CVEXACore1::IsDiscOK - ODBase GetDriveStatus call failed.", false);
    status = VEXADriveStatusNotSupported;
  }
  if (status == VEXADriveStatusOK) return true;
  if (status == VEXADriveStatusNotReady) {
    util_.ReportError("CVEXACore1::IsDiscOK - Disc is not present.", false);
    if (!flow_.Interactive()) return false;
    if (!flow_.ShowMessage(kMessageOKCancel, util_.LoadString(4518, "There is no disc in the CD Writer."), nullptr, false,
                           true, true)) {
      return false;
    }
    // The user has put a disc in: give the drive time to take it.
    flow_.Wait(std::chrono::milliseconds(6000));
    return true;
  }
  util_.ReportError("CVEXACore1::IsDiscOK - ODBase Cannot access drive. It may be busy.", false);
  if (flow_.Interactive()) {
    flow_.ShowMessage(kMessageOK,
                      util_.LoadString(4471, "The orlune disc creator software cannot access your CD writer."), nullptr,
                      true, false, false);
  }
  return false;
}

bool BurnFlow::IsDiscBlank(bool* retry, bool* erased) {
  *erased = false;
  const std::string unreadable =
      util_.LoadString(4524, "The orlune disc creator software cannot read the disc in the CD Writer.");
  bool blank = false;
  if (!driver_.IsDiscBlank(&blank)) {
    util_.ReportError("CVEXACore1::IsDiscBlank - ODBase IsDiscBlank  call failed.", false);
    *retry = flow_.Interactive() && flow_.ShowMessage(kMessageOKCancel, unreadable, nullptr, false, true, false);
    return *retry;
  }
  if (blank) {
    *retry = false;
    return true;
  }
  LONG type = 0;
  if (!driver_.GetDiscType(&type)) {
    util_.ReportError("CVEXACore1::IsDiscBlank - ODBase GetDiscType  call failed.", false);
    if (flow_.Interactive() && flow_.ShowMessage(kMessageOKCancel, unreadable, nullptr, false, true, false)) {
      flow_.Wait(std::chrono::milliseconds(4000));
      *retry = true;
      return true;
    }
    *retry = false;
    return false;
  }
  if (flow_.IsCancelled()) {
    *retry = false;
    return flow_.Cancel("CVEXACore1::IsDiscBlank - User pressed Cancel.");
  }
  flow_.SetCode(VEXACoreDiscIsNotBlank);
  if (type == VEXADiscTypeRW) {
    auto refuse = [&] {
      util_.ReportError("CVEXACore1::IsDiscBlank - The CD-RW disc in the CD writer is not blank: erase it, or put in "
                        "a blank disc.",
                        false);
      *retry = false;
      return false;
    };
    if (!flow_.Interactive()) return refuse();
    // Yes erases what is on the disc, so No is the default: what Enter
    // answers and what the question takes when nobody can answer it.
    if (flow_.ShowMessage(kMessageYesNo | kMessageSecondDefault,
                          util_.LoadString(4482, "The CD-RW disc is not blank."), nullptr, false, true, false,
                          false)) {
      flow_.ShowStep(1, false);
      flow_.ShowStep(2, true);
      *retry = true;
      bool done = false;
      {
        AwakeScope awake(sleep_);
        done = DoErase(awake, erased);
      }
      if (done) return true;
      *retry = false;
      return false;
    }
    // A No nobody gave cannot bring another disc: the run ends as a silent
    // one does.
    if (flow_.Port()->Unattended()) return refuse();
    // The user puts in another disc instead.
    flow_.Wait(std::chrono::milliseconds(4000));
    *retry = true;
    return true;
  }
  if (type == VEXADiscTypeNotCD) {
    flow_.SetCode(VEXACoreCannotBurnVideoCD);
    return RefuseDisc(util_.LoadString(4582, kNotACdText), kNotACdLine, retry);
  }
  if (type == VEXADiscTypeROM) {
    return RefuseDisc(
        util_.LoadString(4581, "The disc in the CD writer is closed: nothing more can be written to it.\r\n\r\n"
                               "Insert a blank CD-R or CD-RW disc, then click OK."),
        "CVEXACore1::IsDiscBlank - The disc in the CD writer is not blank: it is closed and cannot be written to. Put "
        "in a blank CD-R.",
        retry);
  }
  return RefuseDisc(
      util_.LoadString(4580, "The CD-R disc in the CD writer has been written to, or was left incomplete by a write "
                             "that stopped part-way: a CD-R cannot be written again.\r\n\r\nInsert a blank CD-R or "
                             "CD-RW disc, then click OK."),
      "CVEXACore1::IsDiscBlank - The disc in the CD writer is not blank: a CD-R that has been written to cannot be "
      "written again. Put in a blank CD-R.",
      retry);
}

bool BurnFlow::RefuseDisc(const std::string& text, const std::string& logLine, bool* retry) {
  *retry = false;
  if (flow_.Interactive() && !flow_.Port()->Unattended()) {
    if (flow_.ShowMessage(kMessageOKCancel, text, nullptr, false, true, false)) {
      *retry = true;
      flow_.Wait(std::chrono::milliseconds(4000));
      return true;
    }
  } else if (flow_.Interactive()) {
    // Nobody is there to change the disc: the reason is shown, not a
    // question, and the run ends here.
    flow_.ShowMessage(kMessageOK, text, nullptr, false, false, false);
  }
  util_.ReportError(logLine, false);
  return false;
}

bool BurnFlow::DoErase(AwakeScope& awake, bool* blanked) {
  *blanked = false;
  std::string erasing, elapsedText, completed, failedText;
  if (flow_.StatusShown()) {
    erasing = util_.LoadString(4468, "Erasing Disc: This may take a few minutes.");
    elapsedText = util_.LoadString(4488, "Erasing Disc - Elapsed Time: %1!s!:%2!s!");
    completed = util_.LoadString(4487, "Erase Completed");
    failedText = util_.LoadString(4469, "The orlune disc creator software cannot erase the disc in the CD writer.");
    flow_.SetStatusText(erasing);
    flow_.SetProgress(1);
    flow_.EnableCancel(false);
  }
  // A failed erase: the user may put in another disc (OK) or give up.
  auto failed = [&] {
    awake.End();
    if (!flow_.Interactive()) return false;
    flow_.EnableCancel(true);
    if (!flow_.ShowMessage(kMessageOKCancel, failedText, nullptr, false, true, false)) return false;
    flow_.Wait(std::chrono::milliseconds(4000));
    return true;
  };
  if (!driver_.StartErase()) {
    util_.ReportError("CVEXACore1::DoErase - ODBase StartErase call failed.", false);
    return failed();
  }

  // The drive says when the erase is done; it cannot be cancelled, but it
  // must end in time.
  int position = 2;
  LONG elapsed = 0;
  while (true) {
    flow_.Wait(std::chrono::milliseconds(1500));
    driver_.GetEraseElapsedTime(&elapsed);
    if (flow_.StatusShown()) {
      if (elapsed > 0) flow_.SetStatusText(FormatMessageText(elapsedText, {std::to_string(elapsed / 60), Seconds(elapsed % 60)}));
      if (position <= 93) flow_.SetProgress(position++);
      flow_.Pump();
    }
    bool done = false;
    if (!driver_.IsEraseDone(&done)) {
      util_.ReportError("CVEXACore1::DoErase - ODBase IsEraseDone call failed.", false);
      return failed();
    }
    if (done) break;
    if (std::chrono::seconds(elapsed) >= deadlines_.erase) {
      util_.ReportError(Format("CVEXACore1::DoErase - Erase not done after %d seconds.", static_cast<int>(elapsed)),
                        false);
      return failed();
    }
  }

  LONG status = VEXADriveStatusNotReady;
  if (!driver_.GetDriveStatus(&status)) {
    util_.ReportError("CVEXACore1::DoErase - ODBase IsEraseDone call failed.", false);
    status = VEXADriveStatusNotReady;
  }
  if (status != VEXADriveStatusOK) {
    // A drive that is not ready after the erase has not erased the disc.
    util_.ReportError(Format("CVEXACore1::DoErase - Erase not really done; status = %d.", static_cast<int>(status)),
                      false);
    return failed();
  }
  util_.LogInfo(Format("Erase Completed in %d seconds.", static_cast<int>(elapsed)));
  *blanked = true;
  if (flow_.StatusShown()) {
    flow_.SetProgress(100);
    flow_.SetStatusText(completed);
    flow_.EnableCancel(true);
  }
  return true;
}

// Watches a phase the engine runs until it is done: the time remaining and
// the progress on the status dialog, "finishing" once the time has stayed
// under four seconds for a while, and the cancel request where the phase
// takes one.
BurnFlow::PhaseEnd BurnFlow::WatchPhase(const PhaseWatch& watch) {
  const std::string failedQuestion = std::string(watch.method) + " - Get" + watch.phase;
  LONG remaining = 0, percent = 0, minutes = 500, seconds = 0;
  bool finishingShown = false;
  int nearEndPolls = 0;
  bool done = false;
  do {
    if (watch.cancelRequested && watch.cancelRequested()) return PhaseEnd::Cancelled;
    if (flow_.StatusShown()) {
      if (!watch.timeRemaining(&remaining)) {
        util_.ReportError(failedQuestion + "TimeRemaining call failed.", false);
      } else if (remaining > 0) {
        minutes = remaining / 60;
        seconds = remaining % 60;
        flow_.SetStatusText(watch.timeText(remaining));
      }
    }
    if (!watch.isDone(&done)) return PhaseEnd::DoneQuestionFailed;
    if (done) break;
    if (flow_.StatusShown()) {
      if (minutes == 0 && seconds < 4 && ++nearEndPolls > 5) finishingShown = true;
      if (finishingShown) {
        flow_.SetStatusText(watch.finishing);
        flow_.AdvanceProgress(2, true);
      } else if (!watch.progressPercent(&percent)) {
        util_.ReportError(failedQuestion + "ProgressPercent call failed.", false);
      } else if (percent >= 100) {
        // The engine's estimate has run out (on a fast machine it can be
        // nothing at all) while the work goes on: the bar moves on towards
        // the end instead of standing full, and never goes back.
        const int shown = flow_.Status().Progress();
        flow_.SetProgress(std::max(shown, std::min(95, shown + std::max(1, (95 - shown) / 4))));
      } else if (percent > 0) {
        // The bar starts at 2 before the engine has counted anything; its
        // first figures may be lower, and the bar never goes back.
        flow_.SetProgress(std::max(flow_.Status().Progress(), static_cast<int>(percent)));
      }
      flow_.Pump();
    }
    // The engine's end wakes the wait; the interval only paces the display.
    WaitForEngine(kPoll);
    if (!watch.isDone(&done)) return PhaseEnd::DoneQuestionFailed;
  } while (!done);

  if (flow_.StatusShown()) {
    if (!finishingShown) {
      // The bar first: the line never shows a finished time over a bar that
      // is not.
      flow_.SetProgress(100);
      flow_.SetStatusText(watch.timeText(0));
    } else {
      flow_.FillProgress(3);
    }
    flow_.Pause(std::chrono::milliseconds(500));
  }
  return PhaseEnd::Done;
}

// ---- premaster ---------------------------------------------------------------------------------

std::string BurnFlow::DiscTooSmallText(const std::string& why) const {
  // The engine's sentence without its method name.
  const std::size_t dash = why.find(" - ");
  const std::string sentence = dash == std::string::npos ? why : why.substr(dash + 3);
  return FormatMessageText(util_.LoadString(4570, "The disc in the CD writer is too small for this photo disc; nothing "
                                                  "was written to it.\r\n\r\n%1!s!\r\n\r\nInsert a blank disc with "
                                                  "enough room, then try again."),
                           {sentence});
}

bool BurnFlow::DoPremaster(AwakeScope& awake) {
  flow_.SetCode(VEXACoreSuccess);
  std::string timeText, cannotCreate, starting, finishing;
  cannotCreate = "The orlune disc creator could not create the Video CD (VCD) file.";
  if (flow_.StatusShown()) {
    timeText = util_.LoadString(63, "Time Remaining: %1!s!:%2!s!");
    cannotCreate = util_.LoadString(4531, cannotCreate);
    starting = util_.LoadString(4467, "Starting photo show creation - This may take a few minutes");
    finishing = util_.LoadString(4466, "Finishing photo show creation");
    flow_.SetStatusText(starting);
    flow_.SetProgress(2);
    flow_.Pump();
    // Nothing answers Cancel while the engine prepares the work; once its
    // worker runs, Cancel stops it.
    flow_.EnableCancel(false);
    flow_.Pause(std::chrono::milliseconds(300));
    flow_.Status().SetWaitCursor(true);
  }
  auto cursorOff = [&] {
    if (flow_.StatusShown()) flow_.Status().SetWaitCursor(false);
  };
  bool tempSpaceShort = false, tooSmall = false;
  std::string tooSmallWhy;
  if (!driver_.StartPremaster(&tempSpaceShort, &tooSmall, &tooSmallWhy)) {
    cursorOff();
    awake.End();
    if (tooSmall) {
      // Refused before anything was made: the same words and figures as a
      // burn refused for the disc's size.
      util_.ReportError("CVEXACore1::DoPremaster - The disc is too small for the disc image; nothing was made.", false);
      flow_.SetCode(VEXACoreDiscTooSmall);
      if (flow_.StatusShown()) flow_.EnableCancel(true);
      flow_.ShowError(DiscTooSmallText(tooSmallWhy));
      return false;
    }
    if (tempSpaceShort) {
      util_.ReportError("CVEXACore1::DoPremaster - Insufficient temp space returned from Premaster.", false);
      flow_.SetCode(VEXACoreInsufficientTempSpace);
      if (flow_.StatusShown()) {
        flow_.EnableCancel(true);
        flow_.ShowError(WithReason(FormatMessageText(util_.LoadString(4549, "You are below %1!d! MB of free remaining "
                                                                            "disc space on your %2!s! drive."),
                                                     {space_.requiredMegabytes, space_.drive}),
                                   driver_.LastProcessMessage()));
      }
      return false;
    }
    util_.ReportError("CVEXACore1::DoPremaster - ODBase StartPremaster call failed.", false);
    flow_.SetCode(VEXACoreCannotCreateVideoCD);
    if (flow_.StatusShown()) {
      flow_.EnableCancel(true);
      flow_.ShowError(WithReason(cannotCreate, driver_.LastProcessMessage()));
    }
    return false;
  }
  cursorOff();
  flow_.EnableCancel(true);

  auto doneQuestionFailed = [&] {
    awake.End();
    util_.ReportError("CVEXACore1::DoPremaster - ODBase IsPremasterDone call failed.", false);
    flow_.SetCode(VEXACoreCannotCreateVideoCD);
    if (flow_.StatusShown()) {
      flow_.EnableCancel(true);
      flow_.ReportProblem();
    }
    return false;
  };

  PhaseWatch watch;
  watch.method = "CVEXACore1::DoPremaster";
  watch.phase = "Premaster";
  watch.timeRemaining = [&](LONG* r) { return driver_.GetPremasterTimeRemaining(r); };
  watch.isDone = [&](bool* d) { return driver_.IsPremasterDone(d); };
  watch.progressPercent = [&](LONG* p) { return driver_.GetPremasterProgressPercent(p); };
  watch.timeText = [&](long remaining) { return TimeRemainingText(timeText, {}, remaining); };
  watch.cancelRequested = [&] { return flow_.IsCancelled(); };
  watch.finishing = finishing;
  switch (WatchPhase(watch)) {
    case PhaseEnd::DoneQuestionFailed:
      return doneQuestionFailed();
    case PhaseEnd::Cancelled:
      // The worker is told to stop, and the temporary files are left alone
      // until it has.
      awake.End();
      if (flow_.StatusShown()) {
        flow_.EnableCancel(false);
        flow_.SetStatusText(util_.LoadString(4562, "Cancelling photo show creation."));
        flow_.Status().SetWaitCursor(true);
        flow_.Pump();
      }
      if (!driver_.CancelPremaster())
        util_.ReportError("CVEXACore1::DoPremaster - ODBase CancelPremaster call failed.", false);
      WaitForPhaseToStop("CVEXACore1::DoPremaster", [&](bool* d) { return driver_.IsPremasterDone(d); });
      if (flow_.StatusShown()) flow_.Status().SetWaitCursor(false);
      flow_.Cancel("CVEXACore1::DoPremaster - User pressed Cancel.");
      return false;
    case PhaseEnd::Done:
      break;
  }
  if (driver_.PremasterSucceeded()) {
    flow_.EnableCancel(true);
    return true;
  }
  awake.End();
  util_.ReportError("CVEXACore1::DoPremaster - ODBase PremasterSucceeded call failed.", false);
  flow_.SetCode(VEXACoreCannotCreateVideoCD);
  if (flow_.StatusShown()) {
    flow_.EnableCancel(true);
    flow_.ShowError(WithReason(cannotCreate, driver_.LastProcessMessage()));
  }
  return false;
}

// ---- burn ---------------------------------------------------------------------------------------

bool BurnFlow::BurnVCD(const BurnSettings& burn) {
  if (flow_.IsCancelled()) {
    flow_.ShowStep(5, false);
    return flow_.Cancel("CVEXACore1::BurnVCD - User pressed Cancel.");
  }
  if (flow_.StatusShown()) {
    flow_.SetProgress(0);
    flow_.Pump();
    flow_.Pause(std::chrono::milliseconds(500));
    flow_.ShowStep(6, true);
    flow_.ShowStep(5, false);
  }
  if (!driver_.SetBlocking()) util_.ReportError("CVEXACore1::BurnVCD - ODBase SetBlocking call failed.", false);
  bool burnStopPending = false;
  bool burned = false;
  {
    AwakeScope awake(sleep_);
    burned = DoBurn(burn, &burnStopPending, awake);
    if (!burned && !flow_.EndedByUser()) util_.ReportError("CVEXACore1::BurnVCD - DoBurn call failed", false);
  }
  // A cancelled or lost burn may still be writing: the disc comes out only
  // once the engine's worker has stopped.
  if (burnStopPending) WaitForBurnToStop();
  driver_.Eject();
  if (!driver_.UnSetBlocking()) util_.ReportError("CVEXACore1::BurnVCD - ODBase UnSetBlocking call failed.", false);
  // A write-once disc whose write was cancelled part-way is spoilt: the user
  // is told so before being asked for a disc again.
  if (!burned && flow_.Code() == VEXACoreBurnCancelled && discType_ == VEXADiscTypeR && flow_.Interactive() &&
      base::StopSignal() == 0) {
    util_.LogInfo("CVEXACore1::BurnVCD - The cancelled write left the CD-R incomplete.");
    flow_.ShowMessage(kMessageOK,
                      util_.LoadString(4571, "The disc was not finished: writing stopped part-way.\r\n\r\nThe CD-R "
                                             "disc has been ejected. It was left incomplete and cannot be used.\r\n\r\n"
                                             "To make the orlune disc, insert a new blank disc and try again."),
                      nullptr, false, false, false, false);
  }
  return burned;
}

void BurnFlow::WaitForPhaseToStop(const char* method, const std::function<bool(bool*)>& isDone) {
  const std::uint32_t start = flow_.Clock().TickCount();
  while (true) {
    bool done = false;
    if (!isDone(&done) || done) return;
    const std::uint32_t waited = flow_.Clock().TickCount() - start;
    if (std::chrono::milliseconds(waited) >= deadlines_.burnStop) {
      util_.ReportError(Format("%s - The engine had not stopped after %d seconds.", method,
                               static_cast<int>(waited / 1000)),
                        false);
      return;
    }
    if (flow_.StatusShown()) flow_.Pump();
    WaitForEngine(std::chrono::milliseconds(500));
  }
}

void BurnFlow::WaitForBurnToStop() {
  const std::uint32_t start = flow_.Clock().TickCount();
  while (true) {
    bool done = false;
    if (!driver_.IsBurnDone(&done) || done) return;
    const std::uint32_t waited = flow_.Clock().TickCount() - start;
    if (std::chrono::milliseconds(waited) >= deadlines_.burnStop) {
      util_.ReportError(Format("CVEXACore1::BurnVCD - The burn had not stopped after %d seconds.",
                               static_cast<int>(waited / 1000)),
                        false);
      return;
    }
    WaitForEngine(std::chrono::milliseconds(500));
  }
}

bool BurnFlow::DoBurn(const BurnSettings& burn, bool* burnStopPending, AwakeScope& awake) {
  const LONG maxSpeed = burn.speed;
  flow_.SetCode(VEXACoreSuccess);
  std::string speedText = "Write speed %1!1d!x - Time Remaining: %2!s!:%3!s!";
  std::string writeError, finishing, cancelling;
  if (flow_.StatusShown()) {
    speedText = util_.LoadString(4560, speedText);
    writeError = util_.LoadString(4539, "An error occurred while writing to the CD writer.");
    finishing = util_.LoadString(4465, "Finishing orlune disc creation");
    cancelling = util_.LoadString(4548, "Cancelling Burn.");
  }
  util_.LogInfo(Format("CVEXACore1::DoBurn - starting burn at %ldx", static_cast<long>(maxSpeed)));
  if (flow_.StatusShown()) {
    flow_.SetStatusText(TimeRemainingText(speedText, {static_cast<long long>(maxSpeed)}, kNoEstimate));
    flow_.SetProgress(1);
    flow_.Pump();
  }
  auto failureReport = [&] {
    const std::string& said = driver_.LastProcessMessage();
    if (said.find("the drive is gone") != std::string::npos) {
      // The writer was unplugged or switched off: nothing about the disc,
      // the speed or a buffer is the cause.
      flow_.ShowError(FormatMessageText(
          util_.LoadString(4586, "The CD writer is gone: it was disconnected or switched off while the disc was "
                                 "written.\r\n\r\n%1!s!\r\n\r\nConnect the writer and switch it on, then try again "
                                 "with a new blank disc."),
          {said}));
    } else if (said.find("NO ANSWER FROM THE DRIVE") != std::string::npos) {
      // The writer stopped answering: no speed or buffer is the cause.
      flow_.ShowError(FormatMessageText(
          util_.LoadString(4585, "The CD writer stopped answering while the disc was written.\r\n\r\n%1!s!\r\n\r\n"
                                 "Check that the writer is connected and that no other program uses it, then try "
                                 "again with a new blank disc."),
          {said}));
    } else {
      flow_.ShowError(WithReason(writeError, said));
    }
    return false;
  };
  auto cancelBurn = [&] {
    if (flow_.StatusShown()) {
      flow_.SetStatusText(cancelling);
      flow_.Pump();
    }
    if (!driver_.CancelBurn()) util_.ReportError("CVEXACore1::DoBurn - ODBase CancelBurn call failed.", false);
    *burnStopPending = true;
    return false;
  };
  auto cancelled = [&] {
    awake.End();
    flow_.SetCode(VEXACoreBurnCancelled);
    util_.LogInfo(FlowContext::CancelLine("Burn Cancelled."));
    return cancelBurn();
  };
  auto doneQuestionFailed = [&] {
    awake.End();
    util_.ReportError("CVEXACore1::DoBurn - ODBase IsBurnDone call failed.", false);
    flow_.SetCode(VEXACoreCannotBurnVideoCD);
    if (flow_.errorsShown) flow_.ReportProblem();
    return cancelBurn();
  };

  bool tooSmall = false;
  std::string tooSmallWhy;
  if (!driver_.StartBurn(maxSpeed, burn.testMode, burn.verify, burn.burnSafe, &tooSmall, &tooSmallWhy)) {
    awake.End();
    if (tooSmall) {
      // Refused before anything was written: the disc is left blank.
      util_.ReportError("CVEXACore1::DoBurn - The disc is too small for the disc image; nothing was written.", false);
      flow_.SetCode(VEXACoreDiscTooSmall);
      flow_.ShowError(DiscTooSmallText(tooSmallWhy));
      return false;
    }
    util_.ReportError("CVEXACore1::DoBurn - ODBase StartBurn call failed.", false);
    flow_.SetCode(VEXACoreCannotBurnVideoCD);
    return failureReport();
  }
  if (flow_.StatusShown()) {
    flow_.SetProgress(4);
    flow_.Pump();
  }

  PhaseWatch watch;
  watch.method = "CVEXACore1::DoBurn";
  watch.phase = "Burn";
  watch.timeRemaining = [&](LONG* r) { return driver_.GetBurnTimeRemaining(r); };
  watch.isDone = [&](bool* d) { return driver_.IsBurnDone(d); };
  watch.progressPercent = [&](LONG* p) { return driver_.GetBurnProgressPercent(p); };
  watch.timeText = [&](long remaining) {
    return TimeRemainingText(speedText, {static_cast<long long>(maxSpeed)}, remaining);
  };
  watch.cancelRequested = [&] { return BurnCancelRequested(); };
  watch.finishing = finishing;
  switch (WatchPhase(watch)) {
    case PhaseEnd::Cancelled:
      return cancelled();
    case PhaseEnd::DoneQuestionFailed:
      return doneQuestionFailed();
    case PhaseEnd::Done:
      break;
  }
  if (driver_.BurnSucceeded()) return true;
  awake.End();
  flow_.SetCode(VEXACoreBurnFailure);
  util_.ReportError("CVEXACore1::DoBurn - ODBase BurnSucceeded call failed.", false);
  return failureReport();
}

bool BurnFlow::BurnCancelRequested() {
  // A request to stop the program stops the burn as a confirmed Cancel does.
  if (base::StopSignal() != 0) return true;
  if (!flow_.Interactive() || !flow_.Status().cancelRequested) return false;
  // Yes spoils a CD-R, so No is the default: Enter lets the write go on.
  if (flow_.ShowMessage(kMessageYesNo | kMessageSecondDefault,
                        util_.LoadString(4530, "Are you sure you want to cancel?\r\n\r\nThe orlune disc creator software has "
                                         "started writing to the disc. If this is a CD-R disc, you will not be able "
                                         "to use it again."),
                  nullptr, false, true, false, false)) {
    return true;
  }
  flow_.Status().cancelRequested = false;
  return false;
}

// ---- burn speed -------------------------------------------------------------------------------------

void BurnFlow::CheckBurnSpeed(LONG* speed, bool* settled) {
  DWORD value = 0;
  LONG standard = 2;
  if (CVexaCoreUtil::getRegistryEntry(HKEY_LOCAL_MACHINE, kProductKey, "DEFAULT_BURNSPEED", &value) && value >= 1 &&
      value <= 1000) {
    standard = static_cast<LONG>(value);
  } else {
    util_.ReportError(
        Format("CVEXACore::CheckBurnSpeed - getRegistryEntry call failed. Using default Burn Speed %d.", 2), false);
  }
  // A speed the caller gave is checked against the writer's and each
  // mismatch reported; the default is only a wish, met as nearly as the
  // writer allows.
  const bool asked = *settled;
  if (!*settled) *speed = standard;
  if (*speed < 1) {
    *speed = standard;
    util_.ReportError("CVEXACore::CheckBurnSpeed - input burn speed <=0.", false);
  }
  std::vector<LONG> speeds;
  if (!GetDriveSpeedList(&speeds) || speeds.empty()) {
    *speed = standard;
    *settled = true;
    util_.ReportError(
        Format("CVEXACore::CheckBurnSpeed - drive Speed list is invalid. Using default burn speed = %d.",
               static_cast<int>(standard)),
        false);
    return;
  }
  auto offered = [&](LONG s) { return std::find(speeds.begin(), speeds.end(), s) != speeds.end(); };
  if (offered(*speed)) {
    *settled = true;
    return;
  }
  // Above every speed the writer has: its highest, at once (counting down
  // from a speed of millions would take millions of steps).
  const LONG highest = *std::max_element(speeds.begin(), speeds.end());
  if (!asked) {
    // The nearest lower speed the writer offers, else its slowest.
    LONG chosen = 0;
    for (LONG s : speeds) {
      if (s <= *speed && s > chosen) chosen = s;
    }
    if (chosen == 0) chosen = *std::min_element(speeds.begin(), speeds.end());
    util_.LogInfo(Format("CVEXACore::CheckBurnSpeed - The writer does not offer the default burn speed %d. Using %d.",
                         static_cast<int>(*speed), static_cast<int>(chosen)));
    *speed = chosen;
    *settled = true;
    return;
  }
  if (*speed > highest) {
    util_.ReportError(Format("CVEXACore::CheckBurnSpeed - Input burn speed %d is above the highest speed of the "
                             "writer. Using its highest speed %d.",
                             static_cast<int>(*speed), static_cast<int>(highest)),
                      false);
    *speed = highest;
    *settled = true;
    return;
  }
  // Below every speed it has: its lowest (counting down would find none).
  const LONG lowest = *std::min_element(speeds.begin(), speeds.end());
  if (*speed < lowest) {
    util_.ReportError(Format("CVEXACore::CheckBurnSpeed - Input burn speed %d is below the lowest speed of the "
                             "writer. Using its lowest speed %d.",
                             static_cast<int>(*speed), static_cast<int>(lowest)),
                      false);
    *speed = lowest;
    *settled = true;
    return;
  }
  util_.ReportError(Format("CVEXACore::CheckBurnSpeed - Input burn speed %d does not match any possible speed for "
                           "drives. Trying to reduce it.",
                           static_cast<int>(*speed)),
                    false);
  for (LONG s = *speed; s >= 1; --s) {
    if (offered(s)) {
      *speed = s;
      *settled = true;
      return;
    }
    util_.ReportError(
        Format("CVEXACore::CheckBurnSpeed - No match for speed %d. Reducing Speed and trying again.", static_cast<int>(s)),
        false);
  }
  *speed = speeds.front();
  *settled = true;
  util_.ReportError(Format("CVEXACore::CheckBurnSpeed - No drive speeds available. Using slowest Burn Speed = %d.",
                           static_cast<int>(*speed)),
                    false);
  return;
}

bool BurnFlow::GetDriveSpeedList(std::vector<LONG>* speeds) {
  // As the interface's GetDriveSpeeds does, the code starts at 0.
  flow_.SetCode(VEXACoreSuccess);
  switch (driver_.GetDriveSpeedList(speeds)) {
    case CVexaODBase::SpeedList::Read:
      return true;
    case CVexaODBase::SpeedList::QueryFailed:
      // The interface method's own failure (GetDriveSpeeds), then this one's.
      flow_.SetCode(VEXACoreFailure);
      flow_.ReportProblem();
      flow_.Fail("CVEXACore1::GetDriveSpeeds - ODBase GetDriveSpeeds call failed.");
      util_.ReportError("CVEXACore1::GetDriveSpeedList() - GetDriveSpeeds call failed.", false);
      return false;
    case CVexaODBase::SpeedList::Unreadable:
      break;
  }
  return false;
}

}  // namespace vexa::core
