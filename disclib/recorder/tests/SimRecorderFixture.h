// The recorder layer over one or more simulated recorders in a temporary
// folder, with its own registry store and the debug log read back.
#pragma once

#include <cstdlib>
#include <memory>
#include <string>

#include "disclib/recorder/CDR4BASE.h"
#include "disclib/recorder/CdrCommands.h"
#include "disclib/recorder/tests/RecorderTestUtil.h"
#include "platform/scsi/Transport.h"

namespace rectest {

class RecorderSim : public LoggedTest {
 protected:
  void SetUp() override {
    LoggedTest::SetUp();
    setenv("VEXA_REGISTRY_DIR", (dir_ + "/registry").c_str(), 1);
    drive_ = dir_ + "/drive";
    vexa::base::MakeDirs(drive_);
    discpak::SetDeviceWaitLimitMs(10 * 60 * 1000);
    // The waits on a busy drive run on the test's clock, which each pause
    // moves on by its length: a wait limit stands for a number of questions
    // to the drive, whatever the load on the machine.
    discpak::SetDeviceWaitClock(&waitClock_, [this](std::chrono::milliseconds d) { waitClock_.Advance(d); });
  }
  void TearDown() override {
    discpak::SetDeviceWaitClock(nullptr, nullptr);
    discpak::SetDeviceWaitLimitMs(10 * 60 * 1000);
    unsetenv("VEXA_REGISTRY_DIR");
    LoggedTest::TearDown();
  }
  // A drive with this drive.conf and a fresh disc of its media.
  void Use(const std::string& conf, const std::string& folder = "") {
    const std::string f = folder.empty() ? drive_ : folder;
    vexa::base::MakeDirs(f);
    vexa::base::WriteFileAtomic(f + "/drive.conf", conf);
    vexa::base::RemoveAll(f + "/disc.state");
    Open(f);
  }
  void Open(const std::string& folders) {
    // The drives of the old transport go first: a recorder is held by one
    // user at a time.
    discpak::ComsInstallTransport(nullptr);
    std::string error;
    auto t = vexa::scsi::OpenTransport("sim:" + folders, &error);
    ASSERT_TRUE(t) << error;
    discpak::ComsInstallTransport(std::move(t));
  }
  std::unique_ptr<I_CDRClass> Create(LONG device = 0) { return std::unique_ptr<I_CDRClass>(CDR4_CreateDrive(device)); }
  std::string Trace() {
    std::string t;
    vexa::base::ReadFile(drive_ + "/trace.txt", &t);
    return t;
  }
  std::string drive_;
  TestClock waitClock_;
};

}  // namespace rectest
