// The scripted back end for tests: a status dialog that keeps its state and a
// record of what was done to it, messages answered from a queue, and button
// presses injected in order when their moment comes (checked at every pump
// and every wait of the flow).
#pragma once

#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "core/UiPort.h"

namespace vexa::core {

class ScriptedStatusDialog : public StatusDialog {
 public:
  void ShowStep(int step, bool show) override;
  void SetStatusText(const std::string& text) override;
  std::string StatusText() const override { return text_; }
  int Progress() const override { return progress_; }
  void SetProgress(int position) override;
  void Show() override;
  void Hide() override;
  bool IsShown() const override { return shown_; }
  void EnableWindow(bool enable) override { windowEnabled_ = enable; }
  void EnableButton(int id, bool enable) override;
  void BringToTop() override { events.push_back("top"); }
  void SetWaitCursor(bool on) override { waitCursor_ = on; }

  bool MarkerShown(int step) const { return step >= 1 && step <= 6 && markers_[step - 1]; }
  bool LabelBlue(int step) const { return step >= 1 && step <= 6 && blue_[step - 1]; }
  bool ButtonEnabled(int id) const;
  bool WindowEnabled() const { return windowEnabled_; }
  bool WaitCursor() const { return waitCursor_; }
  // Presses a button as a click would: nothing happens to a disabled one.
  bool Press(int id);

  // "step N on", "step N off", "text <t>", "show", "hide", "button N on/off".
  std::vector<std::string> events;
  // Every status text set, in order (empty ones left out).
  std::vector<std::string> texts;
  // Every progress position set, in order.
  std::vector<int> positions;

 private:
  bool markers_[6] = {};
  bool blue_[6] = {};
  std::string text_;
  int progress_ = 0;
  bool shown_ = false;
  bool windowEnabled_ = true;
  bool okEnabled_ = false;
  bool cancelEnabled_ = true;
  bool extraEnabled_ = false;
  bool waitCursor_ = false;
};

class ScriptedUi : public UiPort {
 public:
  struct Message {
    int type = 0;
    std::string text;
    bool isError = false;
    bool showCheckBox = false;
    bool useMessageBox = false;
    int answer = 0;
  };
  struct Answer {
    int result = kIDOK;
    bool checkBoxClicked = false;
  };

  bool IsInteractive() const override { return interactive; }
  bool Unattended() const override { return unattended; }
  StatusDialog& Status() override;
  bool HasStatusDialog() const override { return status_ != nullptr; }
  void DestroyStatus() override;
  int DoMessage(int type, const std::string& text, bool isError, bool showCheckBox, bool useMessageBox,
                bool* checkBoxClicked) override;
  void PumpMessages() override;
  void WaitFor(std::chrono::milliseconds d) override;
  void WaitFor(std::chrono::milliseconds longest, Completion& done) override;
  void WaitWithMessagePump(Completion& done, const std::function<void()>& onWake) override;

  // The next message gets this answer (in order). A message without a queued
  // answer is answered kIDCANCEL / kIDNO and counted in unscripted.
  void QueueAnswer(int result, bool checkBoxClicked = false) { answers_.push_back({result, checkBoxClicked}); }
  // Presses button (kButtonOK, kButtonCancel, kButtonExtra) the first time
  // when() holds at a pump or a wait, once the button is enabled.
  void PressWhen(std::function<bool(const ScriptedStatusDialog&)> when, int button);
  // Runs at every pump and wait, before the presses.
  std::function<void()> onPump;

  ScriptedStatusDialog* Dialog() const { return status_.get(); }
  std::size_t PendingPresses() const { return presses_.size(); }
  std::size_t PendingAnswers() const { return answers_.size(); }

  bool interactive = true;
  // Answers as a port whose questions nobody at the machine answers does
  // (the queued answers stand for the defaults it takes).
  bool unattended = false;
  std::vector<Message> messages;
  int unscripted = 0;
  int pumps = 0;
  long long waitedMs = 0;
  int statusDialogsMade = 0;

 private:
  void Tick();

  struct Press {
    std::function<bool(const ScriptedStatusDialog&)> when;
    int button;
  };
  std::unique_ptr<ScriptedStatusDialog> status_;
  std::deque<Answer> answers_;
  std::deque<Press> presses_;
};

}  // namespace vexa::core
