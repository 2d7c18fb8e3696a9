// FlowContext: what every part of the orchestrator works through while one of
// its calls runs: the utilities (log lines, strings, pending error text), the
// user interface and its two flags (status dialog shown, problem messages
// shown), the flow clock, and the result code the call leaves. The helpers
// here are the status dialog's and the message dialog's as the flow uses
// them; each does nothing where nobody sees the dialog.
//
// A plain part: the component class owns it and converts at its edge.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "core/CoreUtil.h"
#include "core/UiPort.h"
#include "idl/vexacore.h"

namespace vexa::core {

// A flag as the interfaces carry it (16 bits): -1 true, 0 false. Flags the
// engine takes pass as the caller gave them.
inline constexpr std::int16_t kFlagTrue = -1;
inline constexpr std::int16_t kFlagFalse = 0;

class FlowContext {
 public:
  FlowContext(CVexaCoreUtil& util, std::shared_ptr<FlowClock> clock) : util_(util), clock_(std::move(clock)) {}
  FlowContext(const FlowContext&) = delete;
  FlowContext& operator=(const FlowContext&) = delete;

  CVexaCoreUtil& Util() { return util_; }
  FlowClock& Clock() { return *clock_; }

  // The user interface in use (null before Init); the owner replaces it.
  void SetPort(UiPort* ui) { ui_ = ui; }
  UiPort* Port() const { return ui_; }

  // ---- the result code ----
  void SetCode(VEXACoreErrorCode code) { code_ = code; }
  VEXACoreErrorCode Code() const { return code_; }

  // ---- the two flags ----
  bool statusShown = true;
  bool errorsShown = false;
  // The status dialog is used (it may have no window).
  bool StatusShown() const { return statusShown && ui_ != nullptr; }
  // Questions can be put to the user.
  bool Interactive() const { return StatusShown() && ui_->IsInteractive(); }
  StatusDialog& Status() { return ui_->Status(); }

  // ---- waits ----
  void Pump() { util_.PumpMessages(); }
  void Wait(std::chrono::milliseconds d);
  // A pause that lets a person read a step of the status dialog: none when
  // nobody can see the dialog (silent, or no window).
  void Pause(std::chrono::milliseconds d);
  // Waits for the engine's work to end (end, when the engine can tell), at
  // most longest.
  void WaitForWork(std::chrono::milliseconds longest, Completion* end);

  // ---- the user's answers ----
  // Shows the message; true for OK/Yes unless failOnYes, for Cancel/No
  // unless failOnOther. *checkFlag (when given) receives whether the
  // reminder is still wanted.
  bool ShowMessage(int buttons, const std::string& text, bool* checkFlag, bool failOnYes, bool failOnOther,
                   bool systemBox, bool isError = true);
  // The dialog's cancel request, confirmed by the user.
  bool IsCancelled();
  // The user's cancel: logged as info, code 21, the dialog hidden; false.
  // A cancel that a stop signal asked for is logged as that signal: the
  // text's "User pressed Cancel." gives way to "Stopped by signal N (NAME).".
  bool Cancel(const std::string& text);
  // The log line of a cancel: text, or after a stop signal the signal's.
  static std::string CancelLine(const std::string& text);
  // Whether the result code says the user ended the call (a cancel, or a
  // cancelled burn): no failure.
  bool EndedByUser() const { return code_ == VEXACoreCancelled || code_ == VEXACoreBurnCancelled; }
  // An error message with its OK button, where error messages are shown (an
  // interactive run that shows them).
  void ShowError(const std::string& text);
  // The problem message, where problem messages are shown.
  void ReportProblem();
  // Something the person who watches the run should know that needs no
  // answer, where questions can be put (the caller logs its own line).
  void Note(const std::string& text);
  // The failure report's first half: the status dialog hidden and the text
  // added to the pending error text; false. After the user's cancel the
  // call's texts are information, not errors.
  bool Fail(const std::string& text, bool withSystemText = false);
  // The whole failure report of a call: Fail, then the pending error text
  // handed to the error raiser (the call's error information, which a
  // caller's withSystemText reads back); false.
  bool FailCall(const std::string& text, bool withSystemText = false);
  void SetErrorRaiser(std::function<void(const std::string& text)> raise) { raise_ = std::move(raise); }

  // ---- the status dialog ----
  void EnableCancel(bool on);
  void AdvanceProgress(int step, bool wrap);
  void SetProgress(int position);
  void FillProgress(int step);
  void ShowStatus();
  void ShowStep(int step, bool show);
  void SetStatusText(const std::string& text);
  // The dialog step of the setters: status text cleared, dialog and step 1
  // shown, the bar moved by step with wrap-around.
  void SetterDialogStep(int step);

 private:
  CVexaCoreUtil& util_;
  std::shared_ptr<FlowClock> clock_;
  UiPort* ui_ = nullptr;
  VEXACoreErrorCode code_ = VEXACoreSuccess;
  std::function<void(const std::string& text)> raise_;
};

}  // namespace vexa::core
