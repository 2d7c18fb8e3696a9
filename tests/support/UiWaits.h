// Bounds for the tests that drive windows: a call that shows a modal window
// (a dialog's exec, a wizard run by timers, a message box) or an event loop
// of the test's own ends within a bound even when the window it waits on
// never closes. For the tests of the widget libraries (Qt Widgets).
#pragma once

#include <QApplication>
#include <QDialog>
#include <QEventLoop>
#include <QPointer>
#include <QTimer>
#include <QWidget>

#include <chrono>
#include <string>
#include <utility>

#include "tests/support/Waits.h"

namespace vexa::testsupport {

// While alive, guards a wait for a window state. When bound passes, the
// test fails with a message naming what was waited for, and from then on
// every popup and modal window is closed as it comes up (a dialog ends
// rejected), and loop, when given, exits; so the call that showed them
// returns and the test goes on to its end. A wait that no closing ends
// (the thread held outside the event loop) stops the test program 30 s
// later, with the same message (Watchdog).
class UiWatchdog {
 public:
  explicit UiWatchdog(std::string what, std::chrono::milliseconds bound = kWaitBound, QEventLoop* loop = nullptr)
      : what_(std::move(what)), bound_(bound), loop_(loop), backstop_(what_, bound + std::chrono::seconds(30)) {
    timer_.setSingleShot(true);
    QObject::connect(&timer_, &QTimer::timeout, [this] { Fire(); });
    timer_.start(bound_);
  }
  UiWatchdog(const UiWatchdog&) = delete;
  UiWatchdog& operator=(const UiWatchdog&) = delete;

  // True once the bound has passed.
  bool Fired() const { return fired_; }

  // Closes the popups and modal windows that are up: a dialog ends
  // rejected (past any question its Cancel would ask), another window is
  // closed, and hidden when it refuses.
  static void CloseWindows() {
    for (int turn = 0; turn < 50; ++turn) {
      QWidget* w = QApplication::activePopupWidget();
      if (!w) w = QApplication::activeModalWidget();
      if (!w) return;
      if (auto* dialog = qobject_cast<QDialog*>(w)) {
        dialog->done(QDialog::Rejected);
      } else if (!w->close()) {
        w->hide();
      }
    }
  }

 private:
  void Fire() {
    if (!fired_) {
      fired_ = true;
      ADD_FAILURE() << what_ << " did not happen within " << BoundText(bound_)
                    << "; the windows still up were closed";
    }
    CloseWindows();
    if (loop_) loop_->exit(1);
    // Windows that come up after these close on the next turns.
    timer_.start(std::chrono::milliseconds(50));
  }

  std::string what_;
  std::chrono::milliseconds bound_;
  QPointer<QEventLoop> loop_;
  bool fired_ = false;
  QTimer timer_;
  Watchdog backstop_;
};

// Does act (a click or a key that opens a modal window or a menu, which
// the test's own timers answer and close) under a UiWatchdog for what.
template <typename Act>
void Guarded(const std::string& what, Act&& act, std::chrono::milliseconds bound = kWaitBound) {
  const UiWatchdog dog(what, bound);
  act();
}

}  // namespace vexa::testsupport
