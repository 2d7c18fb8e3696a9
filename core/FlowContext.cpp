#include "core/FlowContext.h"

#include <signal.h>

#include <algorithm>

#include "platform/base/StopRequest.h"

namespace vexa::core {

namespace {

// "Stopped by signal 15 (SIGTERM)." for the signals that stop a run.
std::string StoppedBySignal(int sig) {
  const char* name = sig == SIGTERM ? "SIGTERM" : sig == SIGINT ? "SIGINT" : sig == SIGHUP ? "SIGHUP" : nullptr;
  return name ? Format("Stopped by signal %d (%s).", sig, name) : Format("Stopped by signal %d.", sig);
}

}  // namespace

void FlowContext::Wait(std::chrono::milliseconds d) {
  if (ui_) clock_->Wait(d, *ui_);
}

void FlowContext::Pause(std::chrono::milliseconds d) {
  if (Interactive()) Wait(d);
}

void FlowContext::WaitForWork(std::chrono::milliseconds longest, Completion* end) {
  if (!ui_) return;
  if (end) {
    clock_->WaitFor(longest, *end, *ui_);
  } else {
    clock_->Wait(longest, *ui_);
  }
}

bool FlowContext::ShowMessage(int buttons, const std::string& text, bool* checkFlag, bool failOnYes,
                              bool failOnOther, bool systemBox, bool isError) {
  AdvanceProgress(4, true);
  if (StatusShown()) Status().EnableWindow(false);
  Pump();
  bool clicked = false;
  const int answer = ui_->DoMessage(buttons, text, isError, checkFlag != nullptr, systemBox, &clicked);
  if (checkFlag) *checkFlag = !clicked;
  if (StatusShown()) Status().EnableWindow(true);
  Pump();
  const bool result = answer == kIDOK || answer == kIDYES ? !failOnYes : !failOnOther;
  if (result && StatusShown()) Status().BringToTop();
  return result;
}

bool FlowContext::IsCancelled() {
  // A request to stop the program (a signal) cancels the run as a confirmed
  // Cancel does, without asking anybody.
  if (base::StopSignal() != 0) return true;
  if (!Interactive()) return false;
  Status().Show();
  Pump();
  if (!Status().cancelRequested) return false;
  Status().cancelRequested = false;
  return ShowMessage(kMessageYesNo, util_.LoadString(65, "Are you sure you want to cancel?"), nullptr, false, true,
                     false, false);
}

std::string FlowContext::CancelLine(const std::string& text) {
  const int sig = base::StopSignal();
  if (sig == 0) return text;
  // Nobody pressed Cancel: the program was asked to stop.
  std::string line = text;
  const std::size_t at = line.find("User pressed Cancel");
  if (at != std::string::npos) {
    line.replace(at, std::string::npos, StoppedBySignal(sig));
  } else {
    line += " " + StoppedBySignal(sig);
  }
  return line;
}

bool FlowContext::Cancel(const std::string& text) {
  if (StatusShown() && ui_->HasStatusDialog()) {
    Status().cancelRequested = false;
    Status().Hide();
  }
  util_.LogInfo(CancelLine(text));
  SetCode(VEXACoreCancelled);
  return false;
}

void FlowContext::ShowError(const std::string& text) {
  if (Interactive() && errorsShown) ShowMessage(kMessageOK, text, nullptr, true, false, false);
}

void FlowContext::Note(const std::string& text) {
  if (Interactive()) ui_->Note(text);
}

void FlowContext::ReportProblem() {
  ShowError(util_.LoadString(4561, "The orlune disc creator software detected a problem and cannot continue."));
}

bool FlowContext::Fail(const std::string& text, bool withSystemText) {
  if (StatusShown() && ui_->HasStatusDialog()) Status().Hide();
  if (text.empty()) return false;
  if (EndedByUser()) {
    // The step ended because the user cancelled: it says so as information.
    std::string callee;
    if (withSystemText) CVexaCoreUtil::GetComErrorText(&callee);
    if (!callee.empty()) util_.LogInfo(callee);
    util_.LogInfo(text);
    return false;
  }
  util_.ReportError(text, withSystemText);
  return false;
}

bool FlowContext::FailCall(const std::string& text, bool withSystemText) {
  Fail(text, withSystemText);
  const std::string pending = util_.TakePendingErrors();
  if (!pending.empty() && raise_) raise_(pending);
  return false;
}

void FlowContext::EnableCancel(bool on) {
  if (!StatusShown()) return;
  Status().EnableButton(kButtonCancel, on);
  Status().EnableWindow(true);
  Pump();
}

void FlowContext::AdvanceProgress(int step, bool wrap) {
  if (!StatusShown()) return;
  const int position = Status().Progress() + step;
  Status().SetProgress(wrap ? position % 101 : std::min(position, 100));
  Pump();
}

void FlowContext::SetProgress(int position) {
  if (StatusShown()) Status().SetProgress(position);
}

void FlowContext::FillProgress(int step) {
  if (!StatusShown()) return;
  for (int i = 0; i < 100 && Status().Progress() < 100; ++i) {
    AdvanceProgress(step, false);
    Pause(std::chrono::milliseconds(100));
  }
}

void FlowContext::ShowStatus() {
  if (!StatusShown()) return;
  Status().Show();
  Pump();
}

void FlowContext::ShowStep(int step, bool show) {
  if (StatusShown()) Status().ShowStep(step, show);
}

void FlowContext::SetStatusText(const std::string& text) {
  if (StatusShown()) Status().SetStatusText(text);
}

void FlowContext::SetterDialogStep(int step) {
  if (!StatusShown()) return;
  SetStatusText("");
  ShowStatus();
  ShowStep(1, true);
  AdvanceProgress(step, true);
}

}  // namespace vexa::core
