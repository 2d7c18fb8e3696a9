// The display probe: a display counts only when its server accepts a
// connection, and a Qt platform that needs no server is usable as it is.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/display/Display.h"
#include "platform/base/Path.h"
#include "tests/support/Checkers.h"

namespace vexa::display {
namespace {

constexpr const char* kNames[] = {"DISPLAY", "WAYLAND_DISPLAY", "XDG_RUNTIME_DIR", "QT_QPA_PLATFORM"};

class DisplayProbeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* name : kNames) {
      if (const char* v = std::getenv(name)) saved_.emplace_back(name, v);
      ::unsetenv(name);
    }
    dir_ = base::MakeTempDir("", "vexa-display-");
  }
  void TearDown() override {
    for (const char* name : kNames) ::unsetenv(name);
    for (const auto& [k, v] : saved_) ::setenv(k.c_str(), v.c_str(), 1);
    base::RemoveAll(dir_);
  }

  // A Unix socket at path, listening when listen is true.
  static int Socket(const std::string& path, bool listen) {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::strncpy(addr.sun_path, path.c_str(), sizeof addr.sun_path - 1);
    EXPECT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    if (listen) {
      EXPECT_EQ(::listen(fd, 1), 0);
    }
    return fd;
  }

  std::vector<std::pair<std::string, std::string>> saved_;
  std::string dir_;
};

TEST_F(DisplayProbeTest, NothingNamedIsNoDisplay) { EXPECT_FALSE(DisplayReachable()); }

TEST_F(DisplayProbeTest, AnXServerThatIsNotThereIsNoDisplay) {
  ::setenv("DISPLAY", ":4093", 1);
  EXPECT_FALSE(DisplayReachable());
}

// Qt's platform: one without a display server is usable as it is; xcb and
// wayland only when their server answers.
TEST_F(DisplayProbeTest, QtPlatformsWithoutAServerAreUsable) {
  EXPECT_FALSE(QtPlatformUsable());
  ::setenv("DISPLAY", ":4093", 1);
  EXPECT_FALSE(QtPlatformUsable());
  for (const char* platform : {"offscreen", "minimal", "vnc:size=800x600"}) {
    ::setenv("QT_QPA_PLATFORM", platform, 1);
    EXPECT_TRUE(QtPlatformUsable()) << platform;
  }
  for (const char* platform : {"xcb", "wayland", "wayland;xcb"}) {
    ::setenv("QT_QPA_PLATFORM", platform, 1);
    EXPECT_FALSE(QtPlatformUsable()) << platform;
  }
}

// A platform that is not installed would end the process in Qt: it is not
// usable, and the reason names it and the platforms that are installed. A
// list falls back to its next platform, as Qt does.
TEST_F(DisplayProbeTest, APlatformThatIsNotInstalledIsNamedWithTheInstalledOnes) {
  for (const char* platform : {"bogus", "bogus:size=1x1", "bogus;nothing"}) {
    ::setenv("QT_QPA_PLATFORM", platform, 1);
    EXPECT_FALSE(QtPlatformUsable()) << platform;
    const std::string why = QtPlatformProblem();
    EXPECT_NE(why.find(std::string("QT_QPA_PLATFORM=\"") + platform + "\" names no Qt platform that is installed"),
              std::string::npos)
        << why;
    EXPECT_NE(why.find("offscreen"), std::string::npos) << why;
  }
  for (const char* platform : {"bogus;offscreen", "OFFSCREEN"}) {
    ::setenv("QT_QPA_PLATFORM", platform, 1);
    EXPECT_TRUE(QtPlatformUsable()) << platform;
    EXPECT_EQ(QtPlatformProblem(), "") << platform;
  }
}

TEST_F(DisplayProbeTest, AWaylandSocketCountsWhenItListens) {
  const int listening = Socket(dir_ + "/wayland-7", true);
  const int deaf = Socket(dir_ + "/wayland-8", false);
  ::setenv("WAYLAND_DISPLAY", (dir_ + "/wayland-7").c_str(), 1);
  EXPECT_TRUE(DisplayReachable());
  ::setenv("WAYLAND_DISPLAY", "wayland-7", 1);
  EXPECT_FALSE(DisplayReachable());  // a relative name needs XDG_RUNTIME_DIR
  ::setenv("XDG_RUNTIME_DIR", dir_.c_str(), 1);
  EXPECT_TRUE(DisplayReachable());
  ::setenv("WAYLAND_DISPLAY", "wayland-8", 1);
  EXPECT_FALSE(DisplayReachable());
  ::setenv("WAYLAND_DISPLAY", "wayland-9", 1);
  EXPECT_FALSE(DisplayReachable());
  ::close(listening);
  ::close(deaf);
}

// A running X server (Xvfb, which tells on a descriptor when it is ready).
TEST_F(DisplayProbeTest, ARunningXServerIsADisplay) {
  if (::access("/usr/bin/Xvfb", X_OK) != 0) {
    if (vexa::testsupport::CheckersRequired()) FAIL() << "Xvfb missing (xvfb)";
    GTEST_SKIP() << "Xvfb missing";
  }
  int ready[2];
  ASSERT_EQ(::pipe(ready), 0);
  const pid_t pid = ::fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    ::close(ready[0]);
    const std::string fd = std::to_string(ready[1]);
    ::execl("/usr/bin/Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-nolisten", "tcp", "-screen", "0",
            "320x240x24", static_cast<char*>(nullptr));
    ::_exit(127);
  }
  ::close(ready[1]);
  std::string number;
  const vexa::testsupport::Deadline deadline;
  const vexa::testsupport::ReadEnd told = vexa::testsupport::ReadLineUntil(ready[0], &number, deadline);
  ::close(ready[0]);
  if (told == vexa::testsupport::ReadEnd::kLine && !number.empty()) {
    ::setenv("DISPLAY", (":" + number).c_str(), 1);
    EXPECT_TRUE(DisplayReachable());
  } else {
    ADD_FAILURE() << (told == vexa::testsupport::ReadEnd::kTimedOut
                          ? vexa::testsupport::InVain("Xvfb to tell its display number")
                          : std::string("Xvfb did not start"));
  }
  ::kill(pid, SIGTERM);
  const vexa::testsupport::ChildEnd end = vexa::testsupport::WaitChild(pid, "Xvfb after SIGTERM");
  EXPECT_TRUE(end.ended) << end.failure;
}

}  // namespace
}  // namespace vexa::display
