// The bounded waits of the tests: each ends at its bound, ends what it
// waited on, and says what it waited for.
#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QEventLoop>

#include <chrono>
#include <fstream>
#include <string>

#include "tests/support/Checkers.h"
#include "tests/support/UiWaits.h"
#include "tests/support/Waits.h"

namespace vexa::testsupport {
namespace {

using namespace std::chrono_literals;

// True while pid is a process that has not ended (a zombie has ended).
bool Running(pid_t pid) {
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
  const std::size_t close = text.rfind(')');
  return close != std::string::npos && close + 2 < text.size() && text[close + 2] != 'Z';
}

std::string Scratch() {
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  return runtime ? runtime : "/tmp";
}

TEST(ShellTest, ACommandEndsWithItsOutputAndStatus) {
  const ShellRun run = RunShell("echo out; echo err >&2; exit 3", 60s, true);
  EXPECT_FALSE(run.timedOut);
  EXPECT_EQ(run.status, 3);
  EXPECT_EQ(run.out, "out\nerr\n");
  std::string out;
  EXPECT_EQ(Shell("printf 'a b'; exit 4", &out), 4);
  EXPECT_EQ(out, "a b");
  int status = -2;
  EXPECT_EQ(ShellOutput("echo seen; echo unseen >&2", &status), "seen\n");
  EXPECT_EQ(status, 0);
}

// A command that hangs, with a child of its own that holds its output: both
// end at the bound, and the failure names the command.
TEST(ShellTest, AHangingCommandAndItsChildrenEndAtTheBound) {
  const std::string pidFile = Scratch() + "/shell-child.pid";
  const std::string command = "sleep 1000 & echo $! > '" + pidFile + "'; sleep 1000";
  const ShellRun run = RunShell(command, 500ms);
  EXPECT_TRUE(run.timedOut);
  EXPECT_EQ(run.status, -1);
  EXPECT_EQ(run.failure, "the shell command `" + command + "` did not end within 500 ms; its process group was killed");
  std::ifstream in(pidFile);
  pid_t child = 0;
  ASSERT_TRUE(in >> child);
  EXPECT_TRUE(WaitUntil([&] { return !Running(child); }, 60s)) << "the command's child " << child << " still runs";

  int status = 0;
  EXPECT_NONFATAL_FAILURE(ShellOutput("sleep 1000", &status, 300ms),
                          "the shell command `sleep 1000` did not end within 300 ms");
  EXPECT_EQ(status, -1);
  EXPECT_NONFATAL_FAILURE(EXPECT_EQ(Shell("sleep 1000", nullptr, 300ms), -1), "did not end within 300 ms");
}

TEST(WaitChildTest, AChildThatEndsIsReapedWithItsStatus) {
  const pid_t pid = ::fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) ::_exit(3);
  const ChildEnd end = WaitChild(pid, "the child");
  EXPECT_TRUE(end.ended);
  EXPECT_TRUE(end.Exited(3));
  EXPECT_EQ(end.Code(), 3);
  EXPECT_EQ(end.failure, "");
}

TEST(WaitChildTest, AChildThatDoesNotEndIsKilledAtTheBound) {
  const pid_t pid = ::fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    ::setpgid(0, 0);
    for (;;) ::pause();
  }
  const ChildEnd end = WaitChild(pid, "the pausing child", 300ms);
  EXPECT_FALSE(end.ended);
  EXPECT_TRUE(end.reaped);
  EXPECT_EQ(end.Code(), 128 + SIGKILL);
  EXPECT_EQ(end.failure, "the pausing child did not end within 300 ms; it was killed");
}

TEST(ReadTest, ALineAnEndAndTheBound) {
  int fds[2];
  ASSERT_EQ(::pipe(fds), 0);
  ASSERT_EQ(::write(fds[1], "ready\nmore", 10), 10);
  std::string line;
  EXPECT_EQ(ReadLineUntil(fds[0], &line, Deadline(60s)), ReadEnd::kLine);
  EXPECT_EQ(line, "ready");
  EXPECT_EQ(ReadLineUntil(fds[0], &line, Deadline(200ms)), ReadEnd::kTimedOut);
  EXPECT_EQ(line, "more");
  ::close(fds[1]);
  std::string rest;
  EXPECT_EQ(ReadToEndUntil(fds[0], &rest, Deadline(60s)), ReadEnd::kEnd);
  EXPECT_EQ(rest, "");
  ::close(fds[0]);
}

TEST(WatchdogTest, AWaitPastItsBoundStopsTheProgramNamingIt) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_DEATH(
      {
        const Watchdog dog("the latch to open", 100ms);
        std::this_thread::sleep_for(60s);
      },
      "the latch to open did not happen within 100 ms; the test program stops here");
  // A guard that ends in time says nothing.
  { const Watchdog dog("the quick wait", 60s); }
}

QApplication& App() {
  static int argc = 1;
  static char name[] = "test_support_tests";
  static char* argv[] = {name, nullptr};
  static QApplication app(argc, argv);
  return app;
}

// A modal dialog that nobody answers, and an event loop nobody ends: the
// watchdog fails the test naming the wait, and both end.
TEST(UiWatchdogTest, AnUnansweredDialogAndALoopEndAtTheBound) {
  App();
  QDialog dialog;
  int result = -1;
  EXPECT_NONFATAL_FAILURE(
      {
        const UiWatchdog dog("the dialog to be answered", 300ms);
        result = dialog.exec();
      },
      "the dialog to be answered did not happen within 300 ms");
  EXPECT_EQ(result, QDialog::Rejected);
  EXPECT_FALSE(dialog.isVisible());

  QEventLoop loop;
  int code = 0;
  EXPECT_NONFATAL_FAILURE(
      {
        const UiWatchdog dog("the loop to end", 300ms, &loop);
        code = loop.exec();
      },
      "the loop to end did not happen within 300 ms");
  EXPECT_EQ(code, 1);

  // Ended in time: no failure.
  QDialog quick;
  QTimer::singleShot(0, &quick, &QDialog::accept);
  Guarded("the quick dialog to be accepted", [&] { EXPECT_EQ(quick.exec(), QDialog::Accepted); }, 60s);
}

}  // namespace
}  // namespace vexa::testsupport
