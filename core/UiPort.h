// The orchestrator's one road to the user: the status dialog, the message
// dialog, and the waits that keep the user interface alive. Four back ends
// implement it: the Qt 6 Widgets dialogs (QtUi.h), the terminal for the
// status mode without a window system (TerminalUi.h), a headless one that
// never opens a window or a display connection (HeadlessUi.h), and a
// scripted fake for tests (testsupport/ScriptedUi.h).
//
// Everything here runs on the thread that calls the orchestrator.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

namespace vexa::core {

// Buttons of a message (DoMessage's type) and the results it answers.
enum MessageType : int { kMessageOK = 0, kMessageOKCancel = 1, kMessageYesNo = 4 };
// Added to a type with two buttons: the second (No, Cancel) is the default,
// what Enter answers and what a question nobody can answer takes. For a
// question whose Yes cannot be undone.
inline constexpr int kMessageSecondDefault = 0x100;
// The buttons of a type, without the default's mark.
inline constexpr int MessageButtons(int type) { return type & ~kMessageSecondDefault; }
inline constexpr bool SecondIsDefault(int type) {
  return (type & kMessageSecondDefault) != 0 && MessageButtons(type) != kMessageOK;
}
enum MessageResult : int { kIDOK = 1, kIDCANCEL = 2, kIDYES = 6, kIDNO = 7 };

// Control ids of the status dialog (template 151).
enum StatusControl : int {
  kButtonOK = 1,
  kButtonCancel = 2,
  kButtonExtra = 3,
  kStatusText = 1032,  // the time label, where the flow writes its status line
  kProgressBar = 1076,
  kBanner = 1074,
  kBannerText = 1111,
};
// Markers and labels of the six step rows.
inline constexpr int kStepMarkers[6] = {1073, 1078, 1079, 1080, 1081, 1082};
inline constexpr int kStepLabels[6] = {1090, 1031, 1029, 1034, 1033, 1030};

// The modeless status dialog, CvexaStatusDlg. The three requests are set by
// its buttons and read and reset by the orchestrator.
class StatusDialog {
 public:
  virtual ~StatusDialog() = default;

  // step 1..6: show marks the row current (its label turns blue and stays
  // so); hide only hides the marker.
  virtual void ShowStep(int step, bool show) = 0;
  virtual void SetStatusText(const std::string& text) = 0;
  virtual std::string StatusText() const = 0;
  virtual int Progress() const = 0;
  virtual void SetProgress(int position) = 0;  // 0..100
  virtual void Show() = 0;
  virtual void Hide() = 0;
  virtual bool IsShown() const = 0;
  // The whole window (disabled while a message is up).
  virtual void EnableWindow(bool enable) = 0;
  // kButtonOK, kButtonCancel or kButtonExtra.
  virtual void EnableButton(int id, bool enable) = 0;
  virtual void BringToTop() = 0;
  virtual void SetWaitCursor(bool on) = 0;

  bool okPressed = false;
  bool cancelRequested = false;
  bool extraButtonPressed = false;
};

// Set once by another thread; the waiter wakes through a condition or, in a
// window system's loop, through the waker the back end installs.
class Completion {
 public:
  void Set() {
    std::lock_guard lock(mutex_);
    done_ = true;
    cv_.notify_all();
    if (waker_) waker_();
  }
  bool IsSet() const {
    std::lock_guard lock(mutex_);
    return done_;
  }
  void Wait() {
    std::unique_lock lock(mutex_);
    cv_.wait(lock, [&] { return done_; });
  }
  // Waits at most d; true when set.
  bool WaitFor(std::chrono::milliseconds d) {
    std::unique_lock lock(mutex_);
    return cv_.wait_for(lock, d, [&] { return done_; });
  }
  // Clears the flag for the next piece of work, before that work starts.
  void Reset() {
    std::lock_guard lock(mutex_);
    done_ = false;
  }
  // Installs (or with null removes) what Set calls after it has set the flag.
  // The waker runs under the lock, so once it is removed no call of it is
  // under way and its target may go.
  void SetWaker(std::function<void()> waker) {
    std::lock_guard lock(mutex_);
    waker_ = std::move(waker);
  }

 private:
  mutable std::mutex mutex_;
  std::condition_variable cv_;
  std::function<void()> waker_;
  bool done_ = false;
};

class UiPort {
 public:
  virtual ~UiPort() = default;

  // False for a back end that cannot ask the user anything: every question
  // then takes the outcome the flow gives for "no dialog".
  virtual bool IsInteractive() const = 0;
  // True when questions are shown but nobody can answer them, so that each
  // takes the dialog's default: the flow then never waits for the user to
  // change the disc more than once.
  virtual bool Unattended() const { return false; }
  // False when the status dialog has no buttons to press at the end of a
  // run (Done, Make Another Copy): the run then ends with its one disc.
  virtual bool StatusHasButtons() const { return true; }
  // The status dialog, made on first use.
  virtual StatusDialog& Status() = 0;
  virtual bool HasStatusDialog() const = 0;
  // Destroys the status dialog (window first, then the object).
  virtual void DestroyStatus() = 0;

  // The message dialog (MessageDlg) run modally, or with useMessageBox the
  // system's message box. *checkBoxClicked (when given) receives whether the
  // "don't remind me" control was clicked. Answers kIDOK, kIDCANCEL, kIDYES
  // or kIDNO.
  virtual int DoMessage(int type, const std::string& text, bool isError, bool showCheckBox,
                        bool useMessageBox, bool* checkBoxClicked) = 0;

  // A note that needs no answer: by default the message dialog with its OK
  // button, as information.
  virtual void Note(const std::string& text) { DoMessage(kMessageOK, text, false, false, false, nullptr); }

  // The cause of the last call that failed, kept until Finish: "" once a run
  // has ended well or by the user's cancel. A back end whose status display
  // stays where the user reads it after the run (the terminal) ends it with
  // a line that says the run failed and why; the others have said what
  // they say in their dialogs.
  virtual void SetFailure(const std::string& cause) { (void)cause; }
  // The object is done with the port (before the status dialog goes).
  virtual void Finish() {}

  // Handles every event waiting for the user interface, then returns.
  virtual void PumpMessages() = 0;
  // Waits for d while the user interface's events are handled.
  virtual void WaitFor(std::chrono::milliseconds d) = 0;
  // The same, but ends as soon as done is set (at once when it is already).
  virtual void WaitFor(std::chrono::milliseconds longest, Completion& done) = 0;
  // Waits until done is set, handling the user interface's events; onWake
  // runs after every wake.
  virtual void WaitWithMessagePump(Completion& done, const std::function<void()>& onWake) = 0;
};

// The clock of the flow's fixed waits and of its elapsed-time readings. Tests
// install one that advances at once.
class FlowClock {
 public:
  virtual ~FlowClock() = default;
  // Milliseconds of a monotonic count (wraps at 32 bits like a tick count).
  virtual std::uint32_t TickCount() = 0;
  // Waits d, keeping the user interface alive.
  virtual void Wait(std::chrono::milliseconds d, UiPort& ui) = 0;
  // Waits for work that sets done when it ends, keeping the user interface
  // alive: until done is set, at most longest. A clock that cannot be woken
  // waits longest unless the work has already ended.
  virtual void WaitFor(std::chrono::milliseconds longest, Completion& done, UiPort& ui) {
    if (done.IsSet()) {
      ui.PumpMessages();
    } else {
      Wait(longest, ui);
    }
  }

  static std::shared_ptr<FlowClock> Real();
};

// A flow clock that moves only when the flow waits: each wait advances it by
// the wait's length and pumps the user interface once.
class ManualFlowClock : public FlowClock {
 public:
  std::uint32_t TickCount() override { return static_cast<std::uint32_t>(now_); }
  void Wait(std::chrono::milliseconds d, UiPort& ui) override {
    if (duringWait) duringWait();
    now_ += static_cast<std::uint64_t>(d.count());
    waited_ += static_cast<std::uint64_t>(d.count());
    ui.PumpMessages();
  }
  // Every wait runs duringWait first (a test ends the engine's work there, as
  // if it ended during the wait). A wait for work then passes no time when the
  // work has ended, else all of longest.
  void WaitFor(std::chrono::milliseconds longest, Completion& done, UiPort& ui) override {
    if (duringWait) duringWait();
    if (!done.IsSet()) {
      now_ += static_cast<std::uint64_t>(longest.count());
      waited_ += static_cast<std::uint64_t>(longest.count());
    }
    ui.PumpMessages();
  }
  void Advance(std::chrono::milliseconds d) { now_ += static_cast<std::uint64_t>(d.count()); }
  std::uint64_t Waited() const { return waited_; }
  std::function<void()> duringWait;

 private:
  std::uint64_t now_ = 1000000;
  std::uint64_t waited_ = 0;
};

}  // namespace vexa::core
