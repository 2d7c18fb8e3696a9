// The back end of silent mode: no window, no display connection. Questions
// take the outcome given for "no dialog" (the port is not interactive), the
// status dialog keeps its state without a window and hands its status texts
// to the log, and waits simply wait.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "core/UiPort.h"

namespace vexa::core {

class HeadlessStatusDialog : public StatusDialog {
 public:
  using LogFn = std::function<void(const std::string&)>;
  explicit HeadlessStatusDialog(LogFn log) : log_(std::move(log)) {}

  void ShowStep(int step, bool show) override;
  void SetStatusText(const std::string& text) override;
  std::string StatusText() const override { return text_; }
  int Progress() const override { return progress_; }
  void SetProgress(int position) override;
  void Show() override { shown_ = true; }
  void Hide() override { shown_ = false; }
  bool IsShown() const override { return shown_; }
  void EnableWindow(bool) override {}
  void EnableButton(int, bool) override {}
  void BringToTop() override {}
  void SetWaitCursor(bool) override {}

  bool MarkerShown(int step) const { return step >= 1 && step <= 6 && markers_[step - 1]; }

 private:
  LogFn log_;
  std::string text_;
  int progress_ = 0;
  bool shown_ = false;
  bool markers_[6] = {};
};

class HeadlessUi : public UiPort {
 public:
  // log receives the status texts the dialog would have shown.
  explicit HeadlessUi(HeadlessStatusDialog::LogFn log = {}) : log_(std::move(log)) {}

  bool IsInteractive() const override { return false; }
  StatusDialog& Status() override;
  bool HasStatusDialog() const override { return status_ != nullptr; }
  void DestroyStatus() override { status_.reset(); }
  int DoMessage(int type, const std::string& text, bool isError, bool showCheckBox, bool useMessageBox,
                bool* checkBoxClicked) override;
  void PumpMessages() override {}
  void WaitFor(std::chrono::milliseconds d) override;
  void WaitFor(std::chrono::milliseconds longest, Completion& done) override;
  void WaitWithMessagePump(Completion& done, const std::function<void()>& onWake) override;

 private:
  HeadlessStatusDialog::LogFn log_;
  std::unique_ptr<HeadlessStatusDialog> status_;
};

}  // namespace vexa::core
