#include "core/testsupport/ScriptedUi.h"

namespace vexa::core {

void ScriptedStatusDialog::ShowStep(int step, bool show) {
  if (step < 1 || step > 6) return;
  markers_[step - 1] = show;
  if (show) blue_[step - 1] = true;
  events.push_back("step " + std::to_string(step) + (show ? " on" : " off"));
}

void ScriptedStatusDialog::SetStatusText(const std::string& text) {
  text_ = text;
  events.push_back("text " + text);
  if (!text.empty()) texts.push_back(text);
}

void ScriptedStatusDialog::SetProgress(int position) {
  progress_ = position < 0 ? 0 : position > 100 ? 100 : position;
  positions.push_back(progress_);
}

void ScriptedStatusDialog::Show() {
  if (!shown_) events.push_back("show");
  shown_ = true;
}

void ScriptedStatusDialog::Hide() {
  if (shown_) events.push_back("hide");
  shown_ = false;
}

void ScriptedStatusDialog::EnableButton(int id, bool enable) {
  events.push_back("button " + std::to_string(id) + (enable ? " on" : " off"));
  switch (id) {
    case kButtonOK: okEnabled_ = enable; break;
    case kButtonCancel: cancelEnabled_ = enable; break;
    case kButtonExtra: extraEnabled_ = enable; break;
    default: break;
  }
}

bool ScriptedStatusDialog::ButtonEnabled(int id) const {
  switch (id) {
    case kButtonOK: return okEnabled_;
    case kButtonCancel: return cancelEnabled_;
    case kButtonExtra: return extraEnabled_;
    default: return false;
  }
}

bool ScriptedStatusDialog::Press(int id) {
  if (!windowEnabled_ || !ButtonEnabled(id)) return false;
  switch (id) {
    case kButtonOK:
      okPressed = true;
      Hide();
      break;
    case kButtonCancel: cancelRequested = true; break;
    case kButtonExtra: extraButtonPressed = true; break;
    default: return false;
  }
  events.push_back("press " + std::to_string(id));
  return true;
}

StatusDialog& ScriptedUi::Status() {
  if (!status_) {
    status_ = std::make_unique<ScriptedStatusDialog>();
    ++statusDialogsMade;
  }
  return *status_;
}

void ScriptedUi::DestroyStatus() { status_.reset(); }

int ScriptedUi::DoMessage(int type, const std::string& text, bool isError, bool showCheckBox, bool useMessageBox,
                          bool* checkBoxClicked) {
  Message m{type, text, isError, showCheckBox, useMessageBox, 0};
  Answer a;
  if (!answers_.empty()) {
    a = answers_.front();
    answers_.pop_front();
  } else {
    ++unscripted;
    const int buttons = MessageButtons(type);
    a.result = buttons == kMessageOK ? kIDOK : buttons == kMessageYesNo ? kIDNO : kIDCANCEL;
  }
  if (checkBoxClicked) *checkBoxClicked = showCheckBox && a.checkBoxClicked;
  m.answer = a.result;
  messages.push_back(m);
  return a.result;
}

void ScriptedUi::PressWhen(std::function<bool(const ScriptedStatusDialog&)> when, int button) {
  presses_.push_back({std::move(when), button});
}

void ScriptedUi::Tick() {
  if (onPump) onPump();
  // Presses fire in order, one at a time: a later one waits for the one
  // before it and for the next moment the user interface is pumped.
  if (!presses_.empty() && status_) {
    Press& p = presses_.front();
    if (p.when(*status_) && status_->Press(p.button)) presses_.pop_front();
  }
}

void ScriptedUi::PumpMessages() {
  ++pumps;
  Tick();
}

void ScriptedUi::WaitFor(std::chrono::milliseconds d) {
  waitedMs += d.count();
  Tick();
}

void ScriptedUi::WaitFor(std::chrono::milliseconds longest, Completion& done) {
  if (!done.IsSet()) waitedMs += longest.count();
  Tick();
}

void ScriptedUi::WaitWithMessagePump(Completion& done, const std::function<void()>& onWake) {
  while (true) {
    const bool finished = done.IsSet();
    Tick();
    if (onWake) onWake();
    if (finished) return;
    done.Wait();
  }
}

}  // namespace vexa::core
