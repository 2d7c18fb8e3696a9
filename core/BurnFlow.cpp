// The disc creation run (CreateVCD) and the burn flow: disc checks, the
// erase of a used CD-RW, premaster, burn and further copies, with the status
// dialog, the user's questions and the result codes.
#include <algorithm>

#include "core/VEXACore1.h"
#include "idl/ProductKey.h"

namespace vexa::core {

using namespace vexa::com;

namespace {

constexpr std::chrono::milliseconds kPoll{2700};

std::string Seconds(LONG s) { return (s < 10 ? "0" : "") + std::to_string(s); }

// A message with the engine's or the drive's own words for what happened.
std::string WithReason(const std::string& message, const std::string& reason) {
  return reason.empty() ? message : message + "\r\n\r\n" + reason;
}

}  // namespace

// ---- the run --------------------------------------------------------------------------------

HRESULT CVEXACore1::DoCreateVCD(VARIANT_BOOL testMode, VARIANT_BOOL verify, VARIANT_BOOL burnSafe) {
  testMode_ = testMode;
  verify_ = verify;
  burnSafe_ = burnSafe;
  if (!driver_ || !driver_->HasEngine()) {
    SetErrorCode(VEXACoreFailure);
    return Fail("CVEXACore1::CreateVCD - Init must be called first.");
  }

  if (!fileSystemSet_ && FAILED(DoSetFileSystemSupport(fileSystem_))) {
    return Fail("CVEXACore1::CreateVCD - SetFileSystemSupport call failed.", true);
  }
  if (!stillDelaySet_ && FAILED(DoSetStillDelay(5))) {
    return Fail(Format("CVEXACore1::CreateVCD - Still Delay not set; using default:%d.", 5), true);
  }
  if (!stillTitleTimeSet_ && FAILED(DoSetStillTitleVisibleTime(2))) {
    return Fail(Format("CVEXACore1::CreateVCD - StillTitleVisibleTime not set; using default:%d.", 2), true);
  }
  if (!tvSystemSet_) {
    LONG tv = VEXACoreTVNTSC;
    if (FAILED(GetTVSystem(&tv))) {
      util_.LogError("CVEXACore1::CreateVCD - Cannot Get a TV System. Using Default.", false);
      tv = VEXACoreTVNTSC;
    }
    if (FAILED(DoSetTVSystem(tv))) return Fail("CVEXACore1::CreateVCD - TV System Not set; using default NTSC.", true);
  }
  if (!paperSizeSet_) {
    LONG paper = VEXACorePaperSizeLetter;
    if (FAILED(GetPaperSize(&paper))) {
      util_.LogError("CVEXACore1::CreateVCD - Cannot GetPaperSize. Using default.", false);
      paper = VEXACorePaperSizeLetter;
    }
    if (FAILED(DoSetPaperSize(paper))) return Fail("CVEXACore1::CreateVCD - SetPaperSize call failed.", true);
  }
  if (!DealWithInvalidStills()) return Fail("CVEXACore1:CreateVCD - DealWithInvalidStills call failed.");
  if (!AddExtraODFiles()) return Fail("CVEXACore1::CreateVCD - AddExtraODFiles call failed.");
  if (!PrepareVCD()) return Fail("CVEXACore1::CreateVCD - PrepareVCD call failed.");
  CheckBurnSpeed();

  bool firstDisc = true;
  while (true) {
    if (!BurnVCD(burnSpeed_, testMode_, verify_, burnSafe_)) {
      // A copy refused before a sector was written (its disc too small)
      // leaves the discs already made good: the user is told and may try
      // another disc or stop.
      if (firstDisc || lastErrorCode_ != VEXACoreDiscTooSmall) return Fail("CVEXACore1::CreateVCD - BurnVCD call failed.");
      const std::string refused = util_.TakePendingErrors();
      if (!refused.empty()) util_.LogError(refused, false);
      util_.LogError("CVEXACore1::CreateVCD - The copy was not made; the discs made before it are good.", false);
      SetErrorCode(VEXACoreSuccess);
    }
    firstDisc = false;
    if (!StatusShown()) return S_OK;

    StatusDialog& status = Status();
    ShowStep(6, false);
    SetStatusText(util_.LoadString(56, "Orlune disc creation process complete!"));
    status.EnableButton(kButtonOK, true);
    status.EnableButton(kButtonExtra, true);
    EnableCancel(false);
    // Without a window nobody can ask for a copy: one disc, done.
    if (!Interactive() || !ui_->StatusHasButtons()) return S_OK;
    while (!status.okPressed && !status.extraButtonPressed && !status.cancelRequested) {
      Wait(std::chrono::milliseconds(500));
      Pump();
    }
    if (!status.extraButtonPressed) {
      status.okPressed = false;
      status.cancelRequested = false;
      status.Hide();
      return S_OK;
    }
    // Another copy of the same image on the next blank disc.
    status.extraButtonPressed = false;
    status.EnableButton(kButtonOK, false);
    status.EnableButton(kButtonExtra, false);
    EnableCancel(true);
    SetStatusText("");
    Pump();
    ShowStep(1, true);
    if (!PrepareForWriting()) return Fail("CVEXACore1::CreateVCD - PrepareForWriting call failed.");
    ShowStep(1, false);
    ShowStep(2, false);
    if (IsCancelled()) return CancelResult("CVEXACore1::CreateVCD - User pressed Cancel.");
  }
}

// ---- disc checks -------------------------------------------------------------------------------

bool CVEXACore1::PrepareVCD() {
  static const char kCancel[] = "CVEXACore1::PrepareVCD - User pressed Cancel.";
  if (IsCancelled()) {
    ShowStep(1, false);
    return Cancel(kCancel);
  }
  if (StatusShown()) {
    SetStatusText("");
    ShowStatus();
    ShowStep(1, true);
    AdvanceProgress(4, true);
  }
  if (!PrepareForWriting()) {
    util_.ReportError("CVEXACore1::PrepareVCD - PrepareForWriting call failed.", false);
    return false;
  }
  if (IsCancelled()) {
    ShowStep(1, false);
    ShowStep(2, false);
    return Cancel(kCancel);
  }
  if (StatusShown()) {
    SetProgress(0);
    Pump();
    ShowStep(3, true);
    ShowStep(1, false);
    ShowStep(2, false);
  }
  bool premastered = false;
  {
    AwakeScope awake(sleep_.get());
    premastered = DoPremaster(awake);
  }
  if (!premastered) {
    if (lastErrorCode_ != VEXACoreCancelled)
      util_.ReportError("CVEXACore1::PrepareVCD - DoPremaster call failed.", false);
    return false;
  }
  if (!StatusShown()) return true;

  // The two closing steps take about three seconds each.
  for (int step = 4; step <= 5; ++step) {
    SetProgress(0);
    if (step == 4) SetStatusText("");
    Pump();
    Pause(std::chrono::milliseconds(500));
    ShowStep(step, true);
    ShowStep(step - 1, false);
    for (int position : {25, 50, 75}) {
      SetProgress(position);
      Pause(std::chrono::milliseconds(1000));
    }
    SetProgress(100);
    Pump();
    Pause(std::chrono::milliseconds(step == 4 ? 200 : 1000));
    if (IsCancelled()) {
      ShowStep(step, false);
      return Cancel(kCancel);
    }
  }
  return true;
}

bool CVEXACore1::PrepareForWriting() {
  static const char kCancel[] = "CVEXACore1::PrepareForWriting - User pressed Cancel.";
  std::string reminder;
  if (StatusShown()) {
    reminder = util_.LoadString(4553, "You have inserted CD-R media into the CD writer.");
  }
  bool retry = true, erased = false;
  int checks = 0;
  while (retry) {
    // A question answered by its default (nobody at the keyboard) cannot
    // bring another disc: the disc is checked once more after it, not again.
    if (++checks > 2 && Interactive() && ui_->Unattended()) {
      SetProgress(0);
      util_.ReportError("CVEXACore1::PrepareForWriting - Nobody can change the disc; giving up after two checks.",
                        false);
      return false;
    }
    AdvanceProgress(4, true);
    if (!IsDiscOK()) {
      SetProgress(0);
      util_.ReportError("CVEXACore1::PrepareForWriting - IsDriveOK call failed", false);
      return false;
    }
    AdvanceProgress(4, true);
    if (!IsDiscBlank(&retry, &erased)) {
      SetProgress(0);
      // A disc found written has said so; only a question that could not
      // be answered is a failed call.
      if (lastErrorCode_ != VEXACoreDiscIsNotBlank && lastErrorCode_ != VEXACoreCancelled) {
        util_.ReportError("CVEXACore1::PrepareForWriting - IsDiscBlank call failed", false);
      }
      return false;
    }
    LONG type = 0;
    if (!driver_->GetDiscType(&type)) {
      util_.ReportError("CVEXACore1::PrepareForWriting - ODBase GetDiscType  call failed.", false);
    } else if (type == VEXADiscTypeR && Interactive()) {
      bool remind = true;
      if (!CVexaCoreUtil::GetCDRvsCDRW_NagFlag(&remind)) {
        util_.ReportError("CVEXACore1::PrepareForWriting - CVexaCoreUtil::GetCDRvsCDRW_NagFlag() call failed.", false);
      }
      if (remind) {
        ShowMessage(kMessageOK, reminder, &remind, false, false, false, false);
        if (!CVexaCoreUtil::SetCDRvsCDRW_NagFlag(remind)) {
          util_.ReportError("CVEXACore1::PrepareForWriting - CVexaCoreUtil::SetCDRvsCDRW_NagFlag() call failed.", false);
        }
      }
    }
    if (IsCancelled()) {
      ShowStep(1, false);
      return Cancel(kCancel);
    }
  }
  // The disc check stays on the screen a few seconds for the person who
  // watches it; nothing runs meanwhile, so without one there is no pause.
  if (!erased) {
    for (int i = 0; i < 4; ++i) {
      AdvanceProgress(4, true);
      if (IsCancelled()) {
        ShowStep(1, false);
        return Cancel(kCancel);
      }
      Pause(std::chrono::milliseconds(1000));
    }
    FillProgress(2);
    Pause(std::chrono::milliseconds(500));
  }
  if (IsCancelled()) {
    ShowStep(1, false);
    return Cancel(kCancel);
  }
  return true;
}

bool CVEXACore1::IsDiscOK() {
  LONG status = VEXADriveStatusNotSupported;
  if (!driver_->GetDriveStatus(&status)) {
    util_.ReportError("CVEXACore1::IsDiscOK - ODBase GetDriveStatus call failed.", false);
    status = VEXADriveStatusNotSupported;
  }
  if (status == VEXADriveStatusOK) return true;
  if (status == VEXADriveStatusNotReady) {
    util_.ReportError("CVEXACore1::IsDiscOK - Disc is not present.", false);
    if (!Interactive()) return false;
    if (!ShowMessage(kMessageOKCancel, util_.LoadString(4518, "There is no disc in the CD Writer."), nullptr, false,
                     true, true)) {
      return false;
    }
    // The user has put a disc in: give the drive time to take it.
    Wait(std::chrono::milliseconds(6000));
    return true;
  }
  util_.ReportError("CVEXACore1::IsDiscOK - ODBase Cannot access drive. It may be busy.", false);
  if (Interactive()) {
    ShowMessage(kMessageOK,
                util_.LoadString(4471, "The orlune disc creator software cannot access your CD writer."), nullptr,
                true, false, false);
  }
  return false;
}

bool CVEXACore1::IsDiscBlank(bool* retry, bool* erased) {
  *erased = false;
  const std::string unreadable =
      util_.LoadString(4524, "The orlune disc creator software cannot read the disc in the CD Writer.");
  bool blank = false;
  if (!driver_->IsDiscBlank(&blank)) {
    util_.ReportError("CVEXACore1::IsDiscBlank - ODBase IsDiscBlank  call failed.", false);
    *retry = Interactive() && ShowMessage(kMessageOKCancel, unreadable, nullptr, false, true, false);
    return *retry;
  }
  if (blank) {
    *retry = false;
    return true;
  }
  LONG type = 0;
  if (!driver_->GetDiscType(&type)) {
    util_.ReportError("CVEXACore1::IsDiscBlank - ODBase GetDiscType  call failed.", false);
    if (Interactive() && ShowMessage(kMessageOKCancel, unreadable, nullptr, false, true, false)) {
      Wait(std::chrono::milliseconds(4000));
      *retry = true;
      return true;
    }
    *retry = false;
    return false;
  }
  if (IsCancelled()) {
    *retry = false;
    return Cancel("CVEXACore1::IsDiscBlank - User pressed Cancel.");
  }
  SetErrorCode(VEXACoreDiscIsNotBlank);
  if (type == VEXADiscTypeRW) {
    if (!Interactive()) {
      util_.ReportError("CVEXACore1::IsDiscBlank - The CD-RW disc in the CD writer is not blank: erase it, or put in "
                        "a blank disc.",
                        false);
      *retry = false;
      return false;
    }
    if (ShowMessage(kMessageYesNo, util_.LoadString(4482, "The CD-RW disc is not blank."), nullptr, false, true, false,
                    false)) {
      ShowStep(1, false);
      ShowStep(2, true);
      *erased = true;
      *retry = true;
      bool done = false;
      {
        AwakeScope awake(sleep_.get());
        done = DoErase(awake);
      }
      if (done) return true;
      *retry = false;
      return false;
    }
    // The user puts in another disc instead.
    Wait(std::chrono::milliseconds(4000));
    *retry = true;
    return true;
  }
  if (Interactive() && ShowMessage(kMessageOKCancel,
                                   util_.LoadString(4480, "The disc in the CD Writer is read only."), nullptr, false,
                                   true, false)) {
    *retry = true;
    Wait(std::chrono::milliseconds(4000));
    return true;
  }
  util_.ReportError(type == VEXADiscTypeROM
                        ? "CVEXACore1::IsDiscBlank - The disc in the CD writer is not blank: it is closed and cannot "
                          "be written to. Put in a blank CD-R."
                        : "CVEXACore1::IsDiscBlank - The disc in the CD writer is not blank: a CD-R that has been "
                          "written to cannot be written again. Put in a blank CD-R.",
                    false);
  *retry = false;
  return false;
}

bool CVEXACore1::DoErase(AwakeScope& awake) {
  std::string erasing, elapsedText, completed, failedText;
  if (StatusShown()) {
    erasing = util_.LoadString(4468, "Erasing Disc: This may take a few minutes.");
    elapsedText = util_.LoadString(4488, "Erasing Disc - Elapsed Time: %1!s!:%2!s!");
    completed = util_.LoadString(4487, "Erase Completed");
    failedText = util_.LoadString(4469, "The orlune disc creator software cannot erase the disc in the CD writer.");
    SetStatusText(erasing);
    SetProgress(1);
    EnableCancel(false);
  }
  // A failed erase: the user may put in another disc (OK) or give up.
  auto failed = [&] {
    awake.End();
    if (!Interactive()) return false;
    EnableCancel(true);
    if (!ShowMessage(kMessageOKCancel, failedText, nullptr, false, true, false)) return false;
    Wait(std::chrono::milliseconds(4000));
    return true;
  };
  if (!driver_->StartErase()) {
    util_.ReportError("CVEXACore1::DoErase - ODBase StartErase call failed.", false);
    return failed();
  }

  // The drive says when the erase is done; it cannot be cancelled, but it
  // must end in time.
  int position = 2;
  LONG elapsed = 0;
  while (true) {
    Wait(std::chrono::milliseconds(1500));
    driver_->GetEraseElapsedTime(&elapsed);
    if (StatusShown()) {
      if (elapsed > 0) SetStatusText(FormatMessageText(elapsedText, {std::to_string(elapsed / 60), Seconds(elapsed % 60)}));
      if (position <= 93) SetProgress(position++);
      Pump();
    }
    bool done = false;
    if (!driver_->IsEraseDone(&done)) {
      util_.ReportError("CVEXACore1::DoErase - ODBase IsEraseDone call failed.", false);
      return failed();
    }
    if (done) break;
    if (std::chrono::seconds(elapsed) >= services_.eraseDeadline) {
      util_.ReportError(Format("CVEXACore1::DoErase - Erase not done after %d seconds.", static_cast<int>(elapsed)),
                        false);
      return failed();
    }
  }

  LONG status = VEXADriveStatusNotReady;
  if (!driver_->GetDriveStatus(&status)) {
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
  if (StatusShown()) {
    SetProgress(100);
    SetStatusText(completed);
    EnableCancel(true);
  }
  return true;
}

// Watches a phase the engine runs until it is done: the time remaining and
// the progress on the status dialog, "finishing" once the time has stayed
// under four seconds for a while, and the cancel request where the phase
// takes one.
CVEXACore1::PhaseEnd CVEXACore1::WatchPhase(const PhaseWatch& watch) {
  const std::string failedQuestion = std::string(watch.method) + " - Get" + watch.phase;
  LONG remaining = 0, percent = 0, minutes = 500, seconds = 0;
  bool finishingShown = false;
  int nearEndPolls = 0;
  bool done = false;
  do {
    if (watch.cancelRequested && watch.cancelRequested()) return PhaseEnd::Cancelled;
    if (StatusShown()) {
      if (!watch.timeRemaining(&remaining)) {
        util_.ReportError(failedQuestion + "TimeRemaining call failed.", false);
      } else if (remaining > 0) {
        minutes = remaining / 60;
        seconds = remaining % 60;
        SetStatusText(watch.timeText(remaining));
      }
    }
    if (!watch.isDone(&done)) return PhaseEnd::DoneQuestionFailed;
    if (done) break;
    if (StatusShown()) {
      if (minutes == 0 && seconds < 4 && ++nearEndPolls > 5) finishingShown = true;
      if (finishingShown) {
        SetStatusText(watch.finishing);
        AdvanceProgress(2, true);
      } else if (!watch.progressPercent(&percent)) {
        util_.ReportError(failedQuestion + "ProgressPercent call failed.", false);
      } else if (percent >= 100) {
        // The engine's estimate has run out (on a fast machine it can be
        // nothing at all) while the work goes on: the bar moves on towards
        // the end instead of standing full, and never goes back.
        const int shown = Status().Progress();
        SetProgress(std::max(shown, std::min(95, shown + std::max(1, (95 - shown) / 4))));
      } else if (percent > 0) {
        SetProgress(percent);
      }
      Pump();
    }
    // The engine's end wakes the wait; the interval only paces the display.
    WaitForEngine(kPoll);
    if (!watch.isDone(&done)) return PhaseEnd::DoneQuestionFailed;
  } while (!done);

  if (StatusShown()) {
    if (!finishingShown) {
      // The bar first: the line never shows a finished time over a bar that
      // is not.
      SetProgress(100);
      SetStatusText(watch.timeText(0));
    } else {
      FillProgress(3);
    }
    Pause(std::chrono::milliseconds(500));
  }
  return PhaseEnd::Done;
}

// ---- premaster ---------------------------------------------------------------------------------

bool CVEXACore1::DoPremaster(AwakeScope& awake) {
  SetErrorCode(VEXACoreSuccess);
  std::string timeText, cannotCreate, starting, finishing;
  cannotCreate = "The orlune disc creator could not create the Video CD (VCD) file.";
  if (StatusShown()) {
    timeText = util_.LoadString(63, "Time Remaining: %1!s!:%2!s!");
    cannotCreate = util_.LoadString(4531, cannotCreate);
    starting = util_.LoadString(4467, "Starting photo show creation - This may take a few minutes");
    finishing = util_.LoadString(4466, "Finishing photo show creation");
    SetStatusText(starting);
    SetProgress(2);
    Pump();
    // Nothing answers Cancel while the engine prepares the work; once its
    // worker runs, Cancel stops it.
    EnableCancel(false);
    Pause(std::chrono::milliseconds(300));
    Status().SetWaitCursor(true);
  }
  auto cursorOff = [&] {
    if (StatusShown()) Status().SetWaitCursor(false);
  };
  bool tempSpaceShort = false;
  if (!driver_->StartPremaster(&tempSpaceShort)) {
    cursorOff();
    awake.End();
    if (tempSpaceShort) {
      util_.ReportError("CVEXACore1::DoPremaster - Insufficient temp space returned from Premaster.", false);
      SetErrorCode(VEXACoreInsufficientTempSpace);
      if (StatusShown()) {
        EnableCancel(true);
        if (errorsShown_ && Interactive()) {
          ShowMessage(kMessageOK,
                      WithReason(FormatMessageText(util_.LoadString(4549, "You are below %1!d! MB of free remaining "
                                                                          "disc space on your %2!s! drive."),
                                                   {requiredMegabytes_, tempDrive_}),
                                 driver_->LastProcessMessage()),
                      nullptr, true, false, false);
        }
      }
      return false;
    }
    util_.ReportError("CVEXACore1::DoPremaster - ODBase StartPremaster call failed.", false);
    SetErrorCode(VEXACoreCannotCreateVideoCD);
    if (StatusShown()) {
      EnableCancel(true);
      if (errorsShown_ && Interactive()) {
        ShowMessage(kMessageOK, WithReason(cannotCreate, driver_->LastProcessMessage()), nullptr, true, false, false);
      }
    }
    return false;
  }
  cursorOff();
  EnableCancel(true);

  auto doneQuestionFailed = [&] {
    awake.End();
    util_.ReportError("CVEXACore1::DoPremaster - ODBase IsPremasterDone call failed.", false);
    SetErrorCode(VEXACoreCannotCreateVideoCD);
    if (StatusShown()) {
      EnableCancel(true);
      ReportProblem();
    }
    return false;
  };

  PhaseWatch watch;
  watch.method = "CVEXACore1::DoPremaster";
  watch.phase = "Premaster";
  watch.timeRemaining = [&](LONG* r) { return driver_->GetPremasterTimeRemaining(r); };
  watch.isDone = [&](bool* d) { return driver_->IsPremasterDone(d); };
  watch.progressPercent = [&](LONG* p) { return driver_->GetPremasterProgressPercent(p); };
  watch.timeText = [&](long remaining) { return TimeRemainingText(timeText, {}, remaining); };
  watch.cancelRequested = [&] { return IsCancelled(); };
  watch.finishing = finishing;
  switch (WatchPhase(watch)) {
    case PhaseEnd::DoneQuestionFailed:
      return doneQuestionFailed();
    case PhaseEnd::Cancelled:
      // The worker is told to stop, and the temporary files are left alone
      // until it has.
      awake.End();
      if (StatusShown()) {
        EnableCancel(false);
        SetStatusText(util_.LoadString(4562, "Cancelling photo show creation."));
        Status().SetWaitCursor(true);
        Pump();
      }
      if (!driver_->CancelPremaster())
        util_.ReportError("CVEXACore1::DoPremaster - ODBase CancelPremaster call failed.", false);
      WaitForPhaseToStop("CVEXACore1::DoPremaster", [&](bool* d) { return driver_->IsPremasterDone(d); });
      if (StatusShown()) Status().SetWaitCursor(false);
      Cancel("CVEXACore1::DoPremaster - User pressed Cancel.");
      return false;
    case PhaseEnd::Done:
      break;
  }
  if (driver_->PremasterSucceeded()) {
    EnableCancel(true);
    return true;
  }
  awake.End();
  util_.ReportError("CVEXACore1::DoPremaster - ODBase PremasterSucceeded call failed.", false);
  SetErrorCode(VEXACoreCannotCreateVideoCD);
  if (StatusShown()) {
    EnableCancel(true);
    if (errorsShown_ && Interactive()) {
      ShowMessage(kMessageOK, WithReason(cannotCreate, driver_->LastProcessMessage()), nullptr, true, false, false);
    }
  }
  return false;
}

// ---- burn ---------------------------------------------------------------------------------------

bool CVEXACore1::BurnVCD(LONG maxSpeed, VARIANT_BOOL testMode, VARIANT_BOOL verify, VARIANT_BOOL burnSafe) {
  if (IsCancelled()) {
    ShowStep(5, false);
    return Cancel("CVEXACore1::BurnVCD - User pressed Cancel.");
  }
  if (StatusShown()) {
    SetProgress(0);
    Pump();
    Pause(std::chrono::milliseconds(500));
    ShowStep(6, true);
    ShowStep(5, false);
  }
  if (!driver_->SetBlocking()) util_.ReportError("CVEXACore1::BurnVCD - ODBase SetBlocking call failed.", false);
  bool burnStopPending = false;
  bool burned = false;
  {
    AwakeScope awake(sleep_.get());
    burned = DoBurn(maxSpeed, testMode, verify, burnSafe, &burnStopPending, awake);
    if (!burned) util_.ReportError("CVEXACore1::BurnVCD - DoBurn call failed", false);
  }
  // A cancelled or lost burn may still be writing: the disc comes out only
  // once the engine's worker has stopped.
  if (burnStopPending) WaitForBurnToStop();
  driver_->Eject();
  if (!driver_->UnSetBlocking()) util_.ReportError("CVEXACore1::BurnVCD - ODBase UnSetBlocking call failed.", false);
  return burned;
}

void CVEXACore1::WaitForPhaseToStop(const char* method, const std::function<bool(bool*)>& isDone) {
  const std::uint32_t start = services_.clock->TickCount();
  while (true) {
    bool done = false;
    if (!isDone(&done) || done) return;
    const std::uint32_t waited = services_.clock->TickCount() - start;
    if (std::chrono::milliseconds(waited) >= services_.burnStopDeadline) {
      util_.ReportError(Format("%s - The engine had not stopped after %d seconds.", method,
                               static_cast<int>(waited / 1000)),
                        false);
      return;
    }
    if (StatusShown()) Pump();
    WaitForEngine(std::chrono::milliseconds(500));
  }
}

void CVEXACore1::WaitForBurnToStop() {
  const std::uint32_t start = services_.clock->TickCount();
  while (true) {
    bool done = false;
    if (!driver_->IsBurnDone(&done) || done) return;
    const std::uint32_t waited = services_.clock->TickCount() - start;
    if (std::chrono::milliseconds(waited) >= services_.burnStopDeadline) {
      util_.ReportError(Format("CVEXACore1::BurnVCD - The burn had not stopped after %d seconds.",
                               static_cast<int>(waited / 1000)),
                        false);
      return;
    }
    WaitForEngine(std::chrono::milliseconds(500));
  }
}

bool CVEXACore1::DoBurn(LONG maxSpeed, VARIANT_BOOL testMode, VARIANT_BOOL verify, VARIANT_BOOL burnSafe,
                        bool* burnStopPending, AwakeScope& awake) {
  SetErrorCode(VEXACoreSuccess);
  std::string speedText = "Write speed %1!1d!x - Time Remaining: %2!s!:%3!s!";
  std::string writeError, finishing, cancelling;
  if (StatusShown()) {
    speedText = util_.LoadString(4560, speedText);
    writeError = util_.LoadString(4539, "An error occurred while writing to the CD writer.");
    finishing = util_.LoadString(4465, "Finishing orlune disc creation");
    cancelling = util_.LoadString(4548, "Cancelling Burn.");
  }
  util_.LogInfo(Format("CVEXACore1::DoBurn - starting burn at %ldx", static_cast<long>(maxSpeed)));
  if (StatusShown()) {
    SetStatusText(TimeRemainingText(speedText, {static_cast<long long>(maxSpeed)}, kNoEstimate));
    SetProgress(1);
    Pump();
  }
  auto failureReport = [&] {
    if (errorsShown_ && Interactive()) {
      ShowMessage(kMessageOK, WithReason(writeError, driver_->LastProcessMessage()), nullptr, true, false, false);
    }
    return false;
  };
  auto cancelBurn = [&] {
    if (StatusShown()) {
      SetStatusText(cancelling);
      Pump();
    }
    if (!driver_->CancelBurn()) util_.ReportError("CVEXACore1::DoBurn - ODBase CancelBurn call failed.", false);
    *burnStopPending = true;
    return false;
  };
  auto cancelled = [&] {
    awake.End();
    SetErrorCode(VEXACoreBurnCancelled);
    util_.LogInfo("Burn Cancelled.");
    return cancelBurn();
  };
  auto doneQuestionFailed = [&] {
    awake.End();
    util_.ReportError("CVEXACore1::DoBurn - ODBase IsBurnDone call failed.", false);
    SetErrorCode(VEXACoreCannotBurnVideoCD);
    if (errorsShown_) ReportProblem();
    return cancelBurn();
  };

  bool tooSmall = false;
  std::string tooSmallWhy;
  if (!driver_->StartBurn(maxSpeed, testMode, verify, burnSafe, &tooSmall, &tooSmallWhy)) {
    awake.End();
    if (tooSmall) {
      // Refused before anything was written: the disc is left blank.
      util_.ReportError("CVEXACore1::DoBurn - The disc is too small for the disc image; nothing was written.", false);
      SetErrorCode(VEXACoreDiscTooSmall);
      if (errorsShown_ && Interactive()) {
        // The engine's sentence without its method name.
        const std::size_t dash = tooSmallWhy.find(" - ");
        const std::string sentence = dash == std::string::npos ? tooSmallWhy : tooSmallWhy.substr(dash + 3);
        ShowMessage(kMessageOK,
                    FormatMessageText(util_.LoadString(4570, "The disc in the CD writer is too small for this photo "
                                                             "disc; nothing was written to it.\r\n\r\n%1!s!\r\n\r\n"
                                                             "Insert a blank disc with enough room, then try again."),
                                      {sentence}),
                    nullptr, true, false, false);
      }
      return false;
    }
    util_.ReportError("CVEXACore1::DoBurn - ODBase StartBurn call failed.", false);
    SetErrorCode(VEXACoreCannotBurnVideoCD);
    return failureReport();
  }
  if (StatusShown()) {
    SetProgress(4);
    Pump();
  }

  PhaseWatch watch;
  watch.method = "CVEXACore1::DoBurn";
  watch.phase = "Burn";
  watch.timeRemaining = [&](LONG* r) { return driver_->GetBurnTimeRemaining(r); };
  watch.isDone = [&](bool* d) { return driver_->IsBurnDone(d); };
  watch.progressPercent = [&](LONG* p) { return driver_->GetBurnProgressPercent(p); };
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
  if (driver_->BurnSucceeded()) return true;
  awake.End();
  SetErrorCode(VEXACoreBurnFailure);
  util_.ReportError("CVEXACore1::DoBurn - ODBase BurnSucceeded call failed.", false);
  return failureReport();
}

bool CVEXACore1::BurnCancelRequested() {
  if (!Interactive() || !Status().cancelRequested) return false;
  if (ShowMessage(kMessageYesNo,
                  util_.LoadString(4530, "Are you sure you want to cancel?\r\n\r\nThe orlune disc creator software has "
                                         "started writing to the disc. If this is a CD-R disc, you will not be able "
                                         "to use it again."),
                  nullptr, false, true, false, false)) {
    return true;
  }
  Status().cancelRequested = false;
  return false;
}

// ---- burn speed -------------------------------------------------------------------------------------

bool CVEXACore1::CheckBurnSpeed() {
  DWORD value = 0;
  LONG standard = 2;
  if (CVexaCoreUtil::getRegistryEntry(HKEY_LOCAL_MACHINE, kProductKey, "DEFAULT_BURNSPEED", &value) && value >= 1 &&
      value <= 1000) {
    standard = static_cast<LONG>(value);
  } else {
    util_.ReportError(
        Format("CVEXACore::CheckBurnSpeed - getRegistryEntry call failed. Using default Burn Speed %d.", 2), false);
  }
  if (!burnSpeedSet_) burnSpeed_ = standard;
  if (burnSpeed_ < 1) {
    burnSpeed_ = standard;
    util_.ReportError("CVEXACore::CheckBurnSpeed - input burn speed <=0.", false);
  }
  std::vector<LONG> speeds;
  if (!GetDriveSpeedList(&speeds) || speeds.empty()) {
    burnSpeed_ = standard;
    burnSpeedSet_ = true;
    util_.ReportError(
        Format("CVEXACore::CheckBurnSpeed - drive Speed list is invalid. Using default burn speed = %d.",
               static_cast<int>(standard)),
        false);
    return true;
  }
  auto offered = [&](LONG s) { return std::find(speeds.begin(), speeds.end(), s) != speeds.end(); };
  if (offered(burnSpeed_)) {
    burnSpeedSet_ = true;
    return true;
  }
  // Above every speed the writer has: its highest, at once (counting down
  // from a speed of millions would take millions of steps).
  const LONG highest = *std::max_element(speeds.begin(), speeds.end());
  if (burnSpeed_ > highest) {
    util_.ReportError(Format("CVEXACore::CheckBurnSpeed - Input burn speed %d is above the highest speed of the "
                             "writer. Using its highest speed %d.",
                             static_cast<int>(burnSpeed_), static_cast<int>(highest)),
                      false);
    burnSpeed_ = highest;
    burnSpeedSet_ = true;
    return true;
  }
  util_.ReportError(Format("CVEXACore::CheckBurnSpeed - Input burn speed %d does not match any possible speed for "
                           "drives. Trying to reduce it.",
                           static_cast<int>(burnSpeed_)),
                    false);
  for (LONG s = burnSpeed_; s >= 1; --s) {
    if (offered(s)) {
      burnSpeed_ = s;
      burnSpeedSet_ = true;
      return true;
    }
    util_.ReportError(
        Format("CVEXACore::CheckBurnSpeed - No match for speed %d. Reducing Speed and trying again.", static_cast<int>(s)),
        false);
  }
  burnSpeed_ = speeds.front();
  burnSpeedSet_ = true;
  util_.ReportError(Format("CVEXACore::CheckBurnSpeed - No drive speeds available. Using slowest Burn Speed = %d.",
                           static_cast<int>(burnSpeed_)),
                    false);
  return true;
}

bool CVEXACore1::GetDriveSpeedList(std::vector<LONG>* speeds) {
  Variant list;
  if (FAILED(DoGetDriveSpeeds(&list))) {
    util_.ReportError("CVEXACore1::GetDriveSpeedList() - GetDriveSpeeds call failed.", true);
    return false;
  }
  if (!(list.vt & VT_ARRAY) || !(list.vt & 3) || !list.parray) {
    util_.ReportError("CVEXACore::GetDriveSpeedList() - drive Speed list is invalid.", false);
    return false;
  }
  LONG lower = 0, upper = -1;
  if (FAILED(SafeArrayGetLBound(list.parray, 1, &lower)) || FAILED(SafeArrayGetUBound(list.parray, 1, &upper))) {
    util_.ReportError("CVexaODVisual::GetDriveSpeedList - drive Speed list is invalid. Cannot get upper and lower "
                      "bounds.",
                      false);
    return false;
  }
  VARTYPE type = VT_EMPTY;
  SafeArrayGetVartype(list.parray, &type);
  for (LONG i = lower; i <= upper; ++i) {
    switch (type) {
      case VT_I4:
      case VT_UI4: {
        LONG v = 0;
        if (SUCCEEDED(SafeArrayGetElement(list.parray, &i, &v))) speeds->push_back(v);
        break;
      }
      case VT_I2: {
        SHORT v = 0;
        if (SUCCEEDED(SafeArrayGetElement(list.parray, &i, &v))) speeds->push_back(v);
        break;
      }
      case VT_UI1: {
        BYTE v = 0;
        if (SUCCEEDED(SafeArrayGetElement(list.parray, &i, &v))) speeds->push_back(v);
        break;
      }
      case VT_VARIANT: {
        Variant v, n;
        if (SUCCEEDED(SafeArrayGetElement(list.parray, &i, &v)) && SUCCEEDED(VariantChangeType(&n, &v, 0, VT_I4))) {
          speeds->push_back(n.lVal);
        }
        break;
      }
      default:
        break;
    }
  }
  if (speeds->empty()) {
    util_.ReportError("CVEXACore::GetDriveSpeedList() - Cannot get any drive speeds.", false);
    return false;
  }
  return true;
}

HRESULT CVEXACore1::DoGetDriveSpeeds(VARIANT* driveSpeeds) {
  SetErrorCode(VEXACoreSuccess);
  if (!driveSpeeds) return E_POINTER;
  if (!driver_ || !driver_->GetDriveSpeeds(driveSpeeds)) {
    SetErrorCode(VEXACoreFailure);
    ReportProblem();
    return Fail("CVEXACore1::GetDriveSpeeds - ODBase GetDriveSpeeds call failed.");
  }
  return S_OK;
}

HRESULT CVEXACore1::DoGetMaxBurnSpeed(LONG* maxSpeed) {
  SetErrorCode(VEXACoreSuccess);
  if (!maxSpeed) return E_POINTER;
  if (!driver_ || !driver_->GetMaxBurnSpeed(maxSpeed)) {
    SetErrorCode(VEXACoreFailure);
    ReportProblem();
    return Fail("CVEXACore1::GetMaxBurnSpeed - ODBase GetMaxBurnSpeed call failed.");
  }
  return S_OK;
}

HRESULT CVEXACore1::DoSetBurnSpeed(LONG burnSpeed) {
  SetErrorCode(VEXACoreSuccess);
  if (burnSpeed <= 0) {
    SetErrorCode(VEXACoreInvalidBurnSpeed);
    return Fail(Format("CVEXACore1::SetBurnSpeed - Burn speed must be positive. Speed set = %d.", static_cast<int>(burnSpeed)));
  }
  burnSpeed_ = burnSpeed;
  burnSpeedSet_ = true;
  return S_OK;
}

}  // namespace vexa::core
