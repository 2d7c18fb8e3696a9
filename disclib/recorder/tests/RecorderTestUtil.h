// Shared pieces of the recorder layer's tests: a temporary folder, the debug
// log read back, a transport that scripts its answers, and a clock the tests
// move by hand.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "disclib/recorder/CDR4COMS.h"
#include "disclib/recorder/ComsInternal.h"
#include "disclib/recorder/ComsLog.h"
#include "platform/base/Path.h"
#include "platform/base/Time.h"
#include "tests/support/Checkers.h"

namespace rectest {

using ::vexa::testsupport::CheckersRequired;

inline bool HaveTool(const std::string& tool) { return ::vexa::testsupport::HaveProgram(tool); }

#define RECORDER_NEED_TOOL(tool)                                           \
  do {                                                                     \
    if (!::rectest::HaveTool(tool)) {                                      \
      if (::rectest::CheckersRequired()) FAIL() << tool << " missing";     \
      GTEST_SKIP() << tool << " missing";                                  \
    }                                                                      \
  } while (0)

inline std::string Shell(const std::string& cmd, int* status = nullptr) {
  return ::vexa::testsupport::ShellOutput(cmd, status);
}

// A monotonic clock the test moves; safe to read from the flusher thread.
class TestClock : public vexa::base::Clock {
 public:
  std::chrono::system_clock::time_point Now() const override {
    return std::chrono::system_clock::time_point(std::chrono::nanoseconds(ns_.load()));
  }
  std::chrono::steady_clock::time_point Monotonic() const override {
    return std::chrono::steady_clock::time_point(std::chrono::nanoseconds(ns_.load()));
  }
  void Advance(std::chrono::nanoseconds d) { ns_ += d.count(); }

 private:
  std::atomic<long long> ns_{1'000'000'000};
};

// A transport whose answers a test scripts.
class FakeTransport : public vexa::scsi::Transport {
 public:
  struct Call {
    std::vector<std::uint8_t> cdb;
    vexa::scsi::Direction direction;
    std::uint32_t length;
    std::uint32_t timeoutMs;
    std::vector<std::uint8_t> data;  // what was sent
  };
  explicit FakeTransport(int devices = 1) {
    for (int i = 0; i < devices; ++i) {
      vexa::scsi::DeviceInfo d;
      d.path = "/dev/sg" + std::to_string(i);
      d.busText = i % 2 ? "SCSI" : "IDE//USB";
      d.host = i;
      d.target = 2 * i;
      infos.push_back(d);
    }
  }
  std::string Kind() const override { return "fake"; }
  int DeviceCount() const override { return static_cast<int>(infos.size()); }
  const vexa::scsi::DeviceInfo* Device(int n) const override {
    return n >= 0 && n < DeviceCount() ? &infos[n] : nullptr;
  }
  vexa::scsi::Result Execute(int, const vexa::scsi::Command& c) override {
    Call call{std::vector<std::uint8_t>(c.cdb, c.cdb + c.cdbLength), c.direction, c.length, c.timeoutMs, {}};
    if (c.direction == vexa::scsi::Direction::Out && c.data) call.data.assign(c.data, c.data + c.length);
    vexa::scsi::Result r;
    if (answer) {
      r = answer(c);
    } else {
      r.transferred = c.length;
    }
    std::lock_guard lock(mutex);
    calls.push_back(call);
    return r;
  }
  bool SetExclusive(int, bool e) override {
    exclusive.push_back(e);
    return true;
  }
  bool SetDeviceMode(int, bool f) override { return mode = f, true; }
  bool CheckDeviceMode(int) override { return mode; }

  std::vector<vexa::scsi::DeviceInfo> infos;
  std::function<vexa::scsi::Result(const vexa::scsi::Command&)> answer;
  std::mutex mutex;
  std::vector<Call> calls;
  std::vector<bool> exclusive;
  bool mode = false;
};

// Runs the body with the debug log written to a file and returns its lines
// (the 80-byte records without their line feed, the plain lines as they are).
class LoggedTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = vexa::base::MakeTempDir(vexa::base::TempDirectory(), "rectest");
    ASSERT_FALSE(dir_.empty());
    logPath_ = vexa::base::JoinPath(dir_, "comslog.txt");
    COMS_StartLog(logPath_.c_str(), 0);
  }
  void TearDown() override {
    COMS_StopLog();
    discpak::ComsInstallTransport(nullptr);
    vexa::base::RemoveAll(dir_);
  }
  // Stops the log and returns its texts since the last call (time columns
  // removed).
  std::vector<std::string> LogTexts() {
    COMS_StopLog();
    std::string text;
    vexa::base::ReadFile(logPath_, &text);
    std::vector<std::string> lines;
    std::size_t at = 0;
    while (at < text.size()) {
      auto nl = text.find('\n', at);
      if (nl == std::string::npos) nl = text.size();
      std::string line = text.substr(at, nl - at);
      if (line.size() == 79) {
        line = line.substr(10);
        while (!line.empty() && line.back() == ' ') line.pop_back();
      }
      lines.push_back(line);
      at = nl + 1;
    }
    COMS_StartLog(logPath_.c_str(), 0);  // the next call sees only what comes after
    return lines;
  }
  bool LogHas(const std::string& text) {
    for (const auto& l : LogTexts()) {
      if (l == text) return true;
    }
    return false;
  }
  std::string dir_;
  std::string logPath_;
};

}  // namespace rectest
