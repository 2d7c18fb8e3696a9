// The back end of the status mode when no window system can be reached: the
// status dialog's content goes to standard error the way a terminal
// program shows its progress, and the orchestrator's questions are asked
// there.
//
//  - Each of the six steps is written on a line of its own as it starts.
//  - The current message follows a progress bar and its percent ("[#####...]
//    45%  Write speed 8x - Time Remaining: 1:05"); on a terminal it is one
//    line redrawn in place, cut to the terminal's width; otherwise (a pipe,
//    a file) it is written as a new line whenever the message or the tenth
//    of the bar changes.
//  - A note that needs no answer is a line of its own.
//  - A run that failed ends with a line that says so and names the cause
//    (the first failure text of the call that failed, as the log has it).
//  - A message is written with its caption; a question is answered from the
//    keyboard when standard input is a terminal (Enter takes the dialog's
//    default button, the first: OK or Yes; end of input closes it as Esc
//    does). Otherwise nobody can answer: the dialog's default answers, and
//    the terminal and the log say so.
//
// The status texts also go to the log as information lines, as the headless
// back end hands them there. Nothing here opens a window or a display
// connection.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "core/UiPort.h"

namespace vexa::core {

class CVexaCoreUtil;

// Where the terminal back end writes and reads, and whether each end is a
// terminal.
struct TerminalStreams {
  int out = 2;
  int in = 0;
  bool outIsTerminal = false;
  bool inIsTerminal = false;
  // Standard error and standard input of the process.
  static TerminalStreams Standard();
};

class TerminalStatusDialog : public StatusDialog {
 public:
  TerminalStatusDialog(CVexaCoreUtil& util, TerminalStreams streams);

  void ShowStep(int step, bool show) override;
  void SetStatusText(const std::string& text) override;
  std::string StatusText() const override { return text_; }
  int Progress() const override { return progress_; }
  void SetProgress(int position) override;
  void Show() override;
  void Hide() override;
  bool IsShown() const override { return shown_; }
  void EnableWindow(bool) override {}
  void EnableButton(int, bool) override {}
  void BringToTop() override {}
  void SetWaitCursor(bool) override {}

  // Ends the progress line on a terminal so that other text can follow;
  // Redraw puts it back.
  void Interrupt();
  void Redraw() { Draw(); }
  // The progress line as it stands (without the terminal's controls).
  std::string Line() const;

 private:
  void Draw();
  void Write(const std::string& text) const;
  int Columns() const;

  CVexaCoreUtil& util_;
  TerminalStreams streams_;
  std::string text_;
  int progress_ = 0;
  bool shown_ = false;
  bool markers_[6] = {};
  // What was last written of the progress line, and whether it still stands
  // unfinished on the terminal.
  std::string drawn_;
  int drawnTenth_ = -1;
  bool lineOpen_ = false;
};

class TerminalUi : public UiPort {
 public:
  explicit TerminalUi(CVexaCoreUtil& util, TerminalStreams streams = TerminalStreams::Standard());

  bool IsInteractive() const override { return true; }
  bool Unattended() const override { return !streams_.inIsTerminal; }
  bool StatusHasButtons() const override { return false; }
  StatusDialog& Status() override;
  bool HasStatusDialog() const override { return status_ != nullptr; }
  void DestroyStatus() override;
  int DoMessage(int type, const std::string& text, bool isError, bool showCheckBox, bool useMessageBox,
                bool* checkBoxClicked) override;
  // A line of its own above the progress line.
  void Note(const std::string& text) override;
  void SetFailure(const std::string& cause) override { failure_ = cause; }
  // After a failed run: "The run failed: <cause>" as the last line.
  void Finish() override;
  void PumpMessages() override {}
  void WaitFor(std::chrono::milliseconds d) override;
  void WaitFor(std::chrono::milliseconds longest, Completion& done) override;
  void WaitWithMessagePump(Completion& done, const std::function<void()>& onWake) override;

 private:
  void Write(const std::string& text) const;
  // One line from the keyboard; false at the end of input.
  bool ReadLine(std::string* line) const;

  CVexaCoreUtil& util_;
  TerminalStreams streams_;
  std::unique_ptr<TerminalStatusDialog> status_;
  std::string failure_;
};

}  // namespace vexa::core
