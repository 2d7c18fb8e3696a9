// The transport object: its stubs before opening, the checks and log lines
// of the command functions, the sense record, timeouts, the device lock.
#include <cerrno>
#include <cstring>
#include <regex>
#include <thread>

#include "disclib/recorder/tests/RecorderTestUtil.h"

namespace {

using namespace rectest;
using vexa::scsi::Direction;
using vexa::scsi::Result;

class ComsTest : public LoggedTest {
 protected:
  FakeTransport* Install(int devices = 1) {
    auto t = std::make_unique<FakeTransport>(devices);
    FakeTransport* raw = t.get();
    discpak::ComsInstallTransport(std::move(t));
    return raw;
  }
  static ComsCommandRecord Record(std::initializer_list<int> cdb, DWORD tag = 0) {
    ComsCommandRecord c = {};
    c.cdbLength = static_cast<BYTE>(cdb.size());
    c.tag = tag;
    int i = 0;
    for (int b : cdb) c.cdb[i++] = static_cast<BYTE>(b);
    return c;
  }
};

TEST_F(ComsTest, EveryEntryIsAStubBeforeABackEndIsOpen) {
  const ComsTransportTable* t = COMS_GetTransportTable();
  EXPECT_EQ(t->COMS_GetNumDevices(), 0);
  EXPECT_EQ(t->COMS_GetDeviceType(0), 255);
  EXPECT_EQ(t->COMS_GetDeviceInfo(0), nullptr);
  EXPECT_EQ(t->COMS_GetDriveLetter(0), 0);
  EXPECT_EQ(t->COMS_Nop(), 0);
  EXPECT_EQ(t->COMS_BlockDevice(0, 1), 0);
  EXPECT_EQ(t->COMS_SetDeviceMode(0, 1), 0);
  EXPECT_EQ(t->COMS_CheckDeviceMode(0), 0);
  ComsCommandRecord c = Record({0, 0, 0, 0, 0, 0});
  EXPECT_EQ(t->COMS_Cmd(0, &c, nullptr, nullptr), 0);
  BYTE buf[8];
  DWORD len = 8;
  EXPECT_EQ(t->COMS_CmdRead(0, &c, nullptr, nullptr, buf, &len), 0);
  t->COMS_Close();

  // A back end that cannot open leaves the stubs in place and answers 1.
  setenv("VEXA_SCSI_TRANSPORT", ("sim:" + dir_ + "/missing").c_str(), 1);
  CDR4COMS* object = CDR4COMS_Get();
  EXPECT_EQ(object->COMS_Open(), 1);
  unsetenv("VEXA_SCSI_TRANSPORT");
  EXPECT_EQ(object->version1, 104u);
  EXPECT_EQ(object->version2, 104u);
  EXPECT_EQ(object->COMS_GetDeviceType(0), 255);
  EXPECT_EQ(object->COMS_GetDriveLetter(0), 0);
  EXPECT_EQ(object->COMS_GetDeviceInfo(0), nullptr);
  const auto lines = LogTexts();
  EXPECT_NE(std::find(lines.begin(), lines.end(), "COMS_Open: entered"), lines.end());
  EXPECT_NE(std::find(lines.begin(), lines.end(), "COMS_Open: failed"), lines.end());
}

TEST_F(ComsTest, TheObjectKeepsTheBackEndChosenWhenItWasFetched) {
  setenv("VEXA_SCSI_TRANSPORT", ("sim:" + dir_).c_str(), 1);
  CDR4COMS* object = CDR4COMS_Get();
  unsetenv("VEXA_SCSI_TRANSPORT");
  EXPECT_EQ(COMS_GetNumDevices(), 1);
  EXPECT_EQ(object->COMS_GetDeviceType(0), 5);
  EXPECT_EQ(object->COMS_GetDeviceType(1), 255);
  EXPECT_EQ(object->COMS_GetDriveLetter(0), 'D');
  EXPECT_EQ(object->COMS_GetDriveLetter(1), -1);
  EXPECT_EQ(std::string(COMS_GetDevicePath(0)), dir_);
  char inquiry[29];
  ASSERT_EQ(object->COMS_LogInquiry(0, inquiry), 1);
  EXPECT_STREQ(inquiry, "VEXASIM CD-RW SIM 52X   1.00");
  EXPECT_TRUE(LogHas("INQ device 00 <VEXASIM CD-RW SIM 52X   1.00>"));
  EXPECT_EQ(object->COMS_Cmd, COMS_GetTransportTable()->COMS_Cmd);
  EXPECT_NE(object->COMS_Cmd, nullptr);
}

TEST_F(ComsTest, DriveLettersFollowDeviceNumbers) {
  Install(30);
  EXPECT_EQ(COMS_GetDriveLetter(0), 'D');
  EXPECT_EQ(COMS_GetDriveLetter(22), 'D' + 22);
  EXPECT_EQ(COMS_GetDriveLetter(23), 0);
  EXPECT_EQ(COMS_GetDriveLetter(29), 0);
  EXPECT_EQ(COMS_GetDriveLetter(30), -1);
  EXPECT_EQ(COMS_GetDriveLetter(-1), -1);
}

TEST_F(ComsTest, BadCallsFailBeforeAnythingIsSentAndSayWhy) {
  FakeTransport* t = Install(1);
  int event = 0;
  ComsCommandRecord inq = Record({0x12, 0, 0, 0, 0x40, 0});
  BYTE buf[64];
  DWORD len = 3;
  EXPECT_EQ(COMS_Cmd(0, &inq, nullptr, &event), 0);
  EXPECT_EQ(COMS_Cmd(1, &inq, nullptr, nullptr), 0);
  ComsCommandRecord read = Record({0x28, 0, 0, 0, 0, 0, 0, 0, 1, 0});
  EXPECT_EQ(COMS_CmdRead(0, &read, nullptr, nullptr, buf, &len), 0);
  ComsCommandRecord bad = Record({0x12, 0, 0, 0, 0x40});
  EXPECT_EQ(COMS_Cmd(0, &bad, nullptr, nullptr), 0);
  EXPECT_TRUE(t->calls.empty());
  const auto lines = LogTexts();
  auto has = [&](const std::string& s) { return std::find(lines.begin(), lines.end(), s) != lines.end(); };
  EXPECT_TRUE(has("COMS_Cmd 12 event not supported"));
  EXPECT_TRUE(has("COMS_Cmd 12 invalid device 1"));
  EXPECT_TRUE(has("COMS_Cmd 28 bad buffer size device 0 size 0003"));
}

TEST_F(ComsTest, CommandsAreLoggedWithTheirBytesTimingsAndSense) {
  FakeTransport* t = Install(1);
  t->answer = [](const vexa::scsi::Command& c) {
    Result r;
    if (c.cdb[0] == 0x00) {
      r.status = 2;
      r.senseValid = true;
      vexa::scsi::MakeSense(r.sense, 2, 0x3A, 0x01);
    } else if (c.cdb[0] == 0x35) {
      r.hostStatus = 7;  // the adapter's own error, the device still there
    } else if (c.cdb[0] == 0x1E) {
      r.hostStatus = 1;  // the adapter lost the device (unplugged)
    } else if (c.cdb[0] == 0x1B) {
      r.sysError = ENODEV;  // its node has gone
    } else if (c.cdb[0] == 0x5B) {
      r.timedOut = true;  // no answer within the command's time
    } else {
      r.transferred = c.length;
    }
    return r;
  };
  ComsCommandRecord inq = Record({0x12, 0, 0, 0, 0x40, 0}, 0x1234);
  BYTE buf[64];
  DWORD len = 64;
  ComsSenseRecord sense;
  std::memset(&sense, 0x55, sizeof sense);
  EXPECT_EQ(COMS_CmdRead(0, &inq, &sense, nullptr, buf, &len), 1);
  EXPECT_EQ(sense.status, 0u);
  EXPECT_EQ(len, 64u);
  ComsCommandRecord tur = Record({0, 0, 0, 0, 0, 0});
  EXPECT_EQ(COMS_Cmd(0, &tur, &sense, nullptr), 0);
  EXPECT_EQ(sense.status, 2u);
  EXPECT_EQ(sense.sense[2], 2);
  EXPECT_EQ(sense.sense[12], 0x3A);
  EXPECT_EQ(sense.sense[13], 0x01);
  ComsCommandRecord sync = Record({0x35, 0, 0, 0, 0, 0, 0, 0, 0, 0});
  EXPECT_EQ(COMS_Cmd(0, &sync, &sense, nullptr), 0);
  EXPECT_EQ(sense.status, kComsStatusNoAnswer);
  EXPECT_EQ(sense.sense[2], 0);
  // A device that is no longer there is told apart from one that failed.
  for (int op : {0x1E, 0x1B}) {
    ComsCommandRecord lost = Record({op, 0, 0, 0, 0, 0});
    EXPECT_EQ(COMS_Cmd(0, &lost, &sense, nullptr), 0);
    EXPECT_EQ(sense.status, kComsStatusGone) << op;
    EXPECT_EQ(sense.sense[2], 0);
  }
  // A timeout is told apart from a lost device: neither has sense data.
  ComsCommandRecord close = Record({0x5B, 0, 2, 0, 0, 0, 0, 0, 0, 0});
  EXPECT_EQ(COMS_Cmd(0, &close, &sense, nullptr), 0);
  EXPECT_EQ(sense.status, kComsStatusTimedOut);
  EXPECT_EQ(sense.sense[12], 0);
  ComsCommandRecord rd = Record({0xBE, 0, 0, 0, 0, 0x10, 0, 0, 1, 0xF8, 0, 0});
  DWORD two = 2352;
  std::vector<BYTE> big(2352);
  EXPECT_EQ(COMS_CmdRead(0, &rd, nullptr, nullptr, big.data(), &two), 1);

  const auto lines = LogTexts();
  auto find = [&](const std::string& re) {
    for (const auto& l : lines) {
      if (std::regex_match(l, std::regex(re))) return true;
    }
    return false;
  };
  EXPECT_TRUE(find(R"(00 IN  06\[12\\00\\00\\00\\40\\00\]                   T1234 B0040 START)"));
  EXPECT_TRUE(find(R"(00 12 SUCCESS [0-9]+\.[0-9]ms elapsed)"));
  EXPECT_TRUE(find(R"(00  -  06\[00\\00\\00\\00\\00\\00\]                   T0000 B0000 START)"));
  EXPECT_TRUE(find(R"(00 00 FAILED [0-9]+\.[0-9]ms elap 7000<02>000000000a00000000<3a01> 02 00)"));
  EXPECT_TRUE(find(R"(00  -  10\[35\\00\\00\\00\\00\\00\\00\\00\\00\\00\]       T0000 B0000 START)"));
  EXPECT_TRUE(find(R"(00 35 FAILED [0-9]+\.[0-9]ms elapsed NO SENSE AVAILABLE)"));
  EXPECT_TRUE(find(R"(00 5b FAILED [0-9]+\.[0-9]ms elapsed TIMEOUT)"));
  EXPECT_TRUE(find(R"(00 1e FAILED [0-9]+\.[0-9]ms elapsed DEVICE GONE)"));
  EXPECT_TRUE(find(R"(00 1b FAILED [0-9]+\.[0-9]ms elapsed DEVICE GONE)"));
  EXPECT_TRUE(find(R"(00 IN  12\[be\\00\\00\\00\\00\\10\\00\\00\\01\\f8\\00\\00\] T0000 B0930 START)"));
}

TEST_F(ComsTest, EachCommandGetsItsTimeout) {
  FakeTransport* t = Install(1);
  for (int op : {0x35, 0x5B, 0xA1, 0x04, 0x2A, 0x00, 0x43}) {
    ComsCommandRecord c = Record({op, 0, 0, 0, 0, 0, 0, 0, 0, 0});
    COMS_Cmd(0, &c, nullptr, nullptr);
  }
  ASSERT_EQ(t->calls.size(), 7u);
  for (int i = 0; i < 4; ++i) EXPECT_EQ(t->calls[i].timeoutMs, 600000u) << i;
  for (int i = 4; i < 7; ++i) EXPECT_EQ(t->calls[i].timeoutMs, 30000u) << i;
}

TEST_F(ComsTest, LengthsFromTheDeviceAreChecked) {
  FakeTransport* t = Install(1);
  t->answer = [](const vexa::scsi::Command& c) {
    Result r;
    if (c.cdb[0] == 0x12) {
      // A device that sends only part of its identification.
      std::memset(c.data, 0, c.length);
      std::memcpy(c.data + 8, "SHORTVEN", 8);
      r.transferred = 16;
    } else {
      r.transferred = c.length + 100;  // more than was asked for
    }
    return r;
  };
  char inquiry[29];
  std::memset(inquiry, 'x', sizeof inquiry);
  ASSERT_EQ(COMS_LogInquiry(0, inquiry), 1);
  EXPECT_STREQ(inquiry, "SHORTVEN");
  ComsCommandRecord c = Record({0x43, 0, 0, 0, 0, 0, 0, 0, 4, 0});
  BYTE buf[4];
  DWORD len = 4;
  EXPECT_EQ(COMS_CmdRead(0, &c, nullptr, nullptr, buf, &len), 1);
  EXPECT_EQ(len, 0u);
}

TEST_F(ComsTest, DeviceInformationAndBlocking) {
  FakeTransport* t = Install(2);
  t->answer = [](const vexa::scsi::Command& c) {
    Result r;
    if (c.cdb[0] == 0x5A) {
      std::memset(c.data, 0, c.length);
      c.data[8] = 0xAA;  // page 0x2A with its PS bit
    }
    r.transferred = c.length;
    return r;
  };
  ComsDeviceInfo* info = COMS_GetDeviceInfo(1);
  ASSERT_NE(info, nullptr);
  EXPECT_EQ(info->hostAdapter, 1u);
  EXPECT_EQ(info->targetId, 2u);
  EXPECT_EQ(info->isScsi, 0u);  // the page was found where an ATAPI device puts it
  EXPECT_STREQ(info->text, "SCSI");
  EXPECT_EQ(COMS_GetDeviceInfo(2), nullptr);
  EXPECT_TRUE(LogHas("COMS_CheckATAPI: 01 result 1"));

  EXPECT_EQ(COMS_BlockDevice(0, 2), 0);
  EXPECT_TRUE(t->exclusive.empty());
  EXPECT_EQ(COMS_BlockDevice(0, 1), 1);
  EXPECT_EQ(COMS_BlockDevice(0, 0), 1);
  EXPECT_EQ(t->exclusive, (std::vector<bool>{true, false}));
  EXPECT_EQ(COMS_SetDeviceMode(0, 1), 1);
  EXPECT_EQ(COMS_CheckDeviceMode(0), 1);
}

// Two threads sending to one device never have two commands in the
// transport at once.
TEST_F(ComsTest, OneCommandAtATimePerDevice) {
  FakeTransport* t = Install(2);
  std::atomic<int> inside[2] = {0, 0};
  std::atomic<bool> overlap{false};
  t->answer = [&](const vexa::scsi::Command& c) {
    const int device = c.cdb[1];
    if (inside[device].fetch_add(1) != 0) overlap = true;
    for (int i = 0; i < 50; ++i) std::this_thread::yield();
    inside[device].fetch_sub(1);
    Result r;
    r.transferred = c.length;
    return r;
  };
  auto worker = [&](int device) {
    for (int i = 0; i < 300; ++i) {
      ComsCommandRecord c = Record({0x00, device, 0, 0, 0, 0});
      COMS_Cmd(device, &c, nullptr, nullptr);
    }
  };
  {
    std::jthread a(worker, 0), b(worker, 0), c(worker, 1), d(worker, 1);
  }
  EXPECT_FALSE(overlap.load());
  EXPECT_EQ(t->calls.size(), 1200u);
}

}  // namespace
