// The Linux back end against a fake sysfs tree and an injected SG_IO.
#include "platform/scsi/SgTransport.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <scsi/sg.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>

#include "platform/base/Path.h"

namespace fs = std::filesystem;
using namespace vexa::scsi;

namespace {

class FakeSystem : public SgSystem {
 public:
  int Open(const char* path, int flags) override {
    opens.push_back({path, flags});
    if (failOpen) {
      errno = EBUSY;
      return -1;
    }
    return 100 + static_cast<int>(opens.size());
  }
  int Close(int) override { return 0; }
  int Ioctl(int fd, unsigned long request, void* arg) override {
    EXPECT_EQ(request, static_cast<unsigned long>(SG_IO));
    lastFd = fd;
    auto* h = static_cast<sg_io_hdr_t*>(arg);
    last = *h;
    std::memcpy(lastCdb, h->cmdp, h->cmd_len);
    return reply ? reply(h) : 0;
  }
  std::vector<std::pair<std::string, int>> opens;
  bool failOpen = false;
  std::function<int(sg_io_hdr_t*)> reply;
  sg_io_hdr_t last{};
  unsigned char lastCdb[16] = {};
  int lastFd = -1;
};

class SgTest : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = vexa::base::MakeTempDir(vexa::base::TempDirectory(), "sgtest");
    ASSERT_FALSE(root_.empty());
  }
  void TearDown() override { vexa::base::RemoveAll(root_); }

  // A device of the given class entry at host:channel:target:lun.
  void AddDevice(const std::string& classDir, const std::string& name, const std::string& hctl,
                 const std::string& type) {
    const fs::path dev = fs::path(root_) / "devices" / ("host" + hctl.substr(0, 1)) / hctl;
    fs::create_directories(dev);
    std::ofstream(dev / "type") << type << "\n";
    const fs::path entry = fs::path(root_) / "class" / classDir / name;
    fs::create_directories(entry);
    fs::create_symlink(dev, entry / "device");
  }
  void AddHost(int host, const std::string& procName) {
    const fs::path h = fs::path(root_) / "class" / "scsi_host" / ("host" + std::to_string(host));
    fs::create_directories(h);
    std::ofstream(h / "proc_name") << procName << "\n";
  }
  std::unique_ptr<Transport> Open() {
    SgOptions o;
    o.sysfsRoot = root_;
    o.devRoot = "/devroot";
    o.system = &system_;
    return OpenSgTransport(o);
  }

  std::string root_;
  FakeSystem system_;
};

TEST_F(SgTest, FindsCdDevicesOrderedByAddressWithTheirBus) {
  AddHost(0, "ahci");
  AddHost(1, "sym53c8xx");
  AddHost(2, "usb-storage");
  AddDevice("scsi_generic", "sg0", "1:0:0:0", "5");
  AddDevice("scsi_generic", "sg1", "0:0:1:0", "5");
  AddDevice("scsi_generic", "sg2", "0:0:0:0", "0");  // a disk: not ours
  AddDevice("scsi_generic", "sg3", "2:0:0:0", "4");
  auto t = Open();
  ASSERT_EQ(t->DeviceCount(), 3);
  EXPECT_EQ(t->Device(0)->path, "/devroot/sg1");
  EXPECT_EQ(t->Device(0)->busText, "IDE//USB");
  EXPECT_EQ(t->Device(0)->target, 1);
  EXPECT_EQ(t->Device(1)->path, "/devroot/sg0");
  EXPECT_EQ(t->Device(1)->busText, "SCSI");
  EXPECT_EQ(t->Device(2)->path, "/devroot/sg3");
  EXPECT_EQ(t->Device(2)->type, 4);
  EXPECT_EQ(t->Device(2)->busText, "IDE//USB");
  EXPECT_EQ(t->Device(3), nullptr);
}

TEST_F(SgTest, FallsBackToSrNodesAndStopsAt64) {
  AddHost(0, "ata_piix");
  for (int i = 0; i < 70; ++i) AddDevice("block", "sr" + std::to_string(i), "0:0:" + std::to_string(i) + ":0", "5");
  AddDevice("block", "sda", "0:0:99:0", "0");
  auto t = Open();
  ASSERT_EQ(t->DeviceCount(), 64);
  EXPECT_EQ(t->Device(0)->path, "/devroot/sr0");
  EXPECT_EQ(t->Device(63)->target, 63);
}

TEST_F(SgTest, NoDevicesIsAnEmptyTransport) {
  auto t = Open();
  EXPECT_EQ(t->DeviceCount(), 0);
  Command c;
  const unsigned char tur[6] = {};
  c.cdb = tur;
  c.cdbLength = 6;
  EXPECT_FALSE(t->Execute(0, c).Ok());
}

class SgCommandTest : public SgTest {
 protected:
  void SetUp() override {
    SgTest::SetUp();
    AddHost(0, "ahci");
    AddDevice("scsi_generic", "sg0", "0:0:0:0", "5");
    transport_ = Open();
    ASSERT_EQ(transport_->DeviceCount(), 1);
  }
  Result Read(std::uint32_t length, std::uint8_t* buffer) {
    static const unsigned char cdb[10] = {0x43, 0, 0, 0, 0, 0, 0, 0x03, 0x24, 0};
    Command c;
    c.cdb = cdb;
    c.cdbLength = 10;
    c.direction = Direction::In;
    c.data = buffer;
    c.length = length;
    c.timeoutMs = 1234;
    return transport_->Execute(0, c);
  }
  std::unique_ptr<Transport> transport_;
};

TEST_F(SgCommandTest, PassesTheCommandAndHonoursTheResidue) {
  system_.reply = [](sg_io_hdr_t* h) {
    std::memset(h->dxferp, 0x11, h->dxfer_len);
    h->resid = 100;
    return 0;
  };
  std::uint8_t buffer[804];
  std::memset(buffer, 0xAA, sizeof buffer);
  const Result r = Read(sizeof buffer, buffer);
  EXPECT_TRUE(r.Ok());
  EXPECT_EQ(r.transferred, 704u);
  EXPECT_EQ(system_.last.dxfer_direction, SG_DXFER_FROM_DEV);
  EXPECT_EQ(system_.last.cmd_len, 10);
  EXPECT_EQ(system_.lastCdb[0], 0x43);
  EXPECT_EQ(system_.last.timeout, 1234u);
  EXPECT_EQ(system_.last.interface_id, 'S');
  // What the device did not send is zero, never stale bytes.
  EXPECT_EQ(buffer[703], 0x11);
  EXPECT_EQ(buffer[704], 0);
  EXPECT_EQ(buffer[803], 0);
  ASSERT_FALSE(system_.opens.empty());
  EXPECT_EQ(system_.opens[0].first, "/devroot/sg0");
  EXPECT_TRUE(system_.opens[0].second & O_RDWR);
  // Held for the whole run: no other program opens the writer meanwhile.
  EXPECT_TRUE(system_.opens[0].second & O_EXCL);
}

TEST_F(SgCommandTest, ANodeAnotherProgramHoldsIsBusy) {
  system_.failOpen = true;
  std::uint8_t buffer[16];
  const Result r = Read(sizeof buffer, buffer);
  EXPECT_FALSE(r.Ok());
  EXPECT_EQ(r.sysError, EBUSY);
  EXPECT_EQ(transport_->Problem(0), "the writer /devroot/sg0 is busy: another program is using it");
  system_.failOpen = false;
  EXPECT_TRUE(Read(sizeof buffer, buffer).Ok());
  EXPECT_EQ(transport_->Problem(0), "");
}

TEST_F(SgCommandTest, AResidueBeyondTheLengthIsAFailure) {
  for (int resid : {-1, 805, 1 << 30}) {
    system_.reply = [resid](sg_io_hdr_t* h) {
      h->resid = resid;
      return 0;
    };
    std::uint8_t buffer[804];
    const Result r = Read(sizeof buffer, buffer);
    EXPECT_FALSE(r.Ok()) << resid;
    EXPECT_EQ(r.transferred, 0u) << resid;
    EXPECT_EQ(r.sysError, EIO) << resid;
  }
}

TEST_F(SgCommandTest, DescriptorSenseBecomesFixedSense) {
  system_.reply = [](sg_io_hdr_t* h) {
    const unsigned char sense[] = {0x72, 0x03, 0x11, 0x05, 0, 0, 0, 24,
                                   // information descriptor: VALID, value 0x1234
                                   0x00, 0x0A, 0x80, 0, 0, 0, 0, 0, 0, 0, 0x12, 0x34,
                                   // sense-key specific
                                   0x02, 0x06, 0, 0, 0x80, 0x40, 0x00, 0};
    std::memcpy(h->sbp, sense, sizeof sense);
    h->sb_len_wr = sizeof sense;
    h->status = 2;
    h->masked_status = 1;
    h->driver_status = 0x08;
    return 0;
  };
  std::uint8_t buffer[16];
  const Result r = Read(sizeof buffer, buffer);
  EXPECT_FALSE(r.Ok());
  ASSERT_TRUE(r.senseValid);
  EXPECT_EQ(r.sense[0] & 0x7F, 0x70);
  EXPECT_EQ(r.SenseKey(), 3);
  EXPECT_EQ(r.Asc(), 0x11);
  EXPECT_EQ(r.Ascq(), 0x05);
  EXPECT_EQ(r.sense[0] & 0x80, 0x80);
  EXPECT_EQ(r.sense[5], 0x12);
  EXPECT_EQ(r.sense[6], 0x34);
  EXPECT_EQ(r.sense[15], 0x80);
  EXPECT_EQ(r.sense[16], 0x40);
  EXPECT_EQ(r.driverStatus, 0);  // the sense flag alone is no driver error
}

TEST_F(SgCommandTest, SenseLengthIsNeverTrustedBeyondTheBuffer) {
  system_.reply = [](sg_io_hdr_t* h) {
    std::memset(h->sbp, 0, h->mx_sb_len);
    h->sbp[0] = 0x72;
    h->sbp[1] = 0x05;
    h->sbp[2] = 0x24;
    h->sbp[7] = 250;  // descriptors said to run far past the data
    h->sbp[8] = 0x00;
    h->sbp[9] = 200;
    h->sb_len_wr = 200;  // more than the buffer holds
    h->status = 2;
    return 0;
  };
  std::uint8_t buffer[16];
  const Result r = Read(sizeof buffer, buffer);
  ASSERT_TRUE(r.senseValid);
  EXPECT_EQ(r.SenseKey(), 5);
  EXPECT_EQ(r.Asc(), 0x24);
}

TEST_F(SgCommandTest, HostErrorsTimeoutsAndErrnoCarryNoSense) {
  struct Case {
    int host, driver, ret, err;
    bool timedOut;
  } cases[] = {
      {0x01, 0, 0, 0, false},  // no connect
      {0x03, 0, 0, 0, true},   // the command's time ran out
      {0, 0x06, 0, 0, true},   // driver timeout
      {0, 0, -1, EIO, false},  // the ioctl itself failed
  };
  for (const Case& c : cases) {
    system_.reply = [c](sg_io_hdr_t* h) {
      h->host_status = static_cast<unsigned short>(c.host);
      h->driver_status = static_cast<unsigned short>(c.driver);
      if (c.ret < 0) errno = c.err;
      return c.ret;
    };
    std::uint8_t buffer[16];
    const Result r = Read(sizeof buffer, buffer);
    EXPECT_FALSE(r.Ok());
    EXPECT_FALSE(r.senseValid);
    EXPECT_EQ(r.timedOut, c.timedOut) << c.host << " " << c.driver;
    if (c.ret < 0) {
      EXPECT_EQ(r.sysError, EIO);
    }
  }
}

// Blocking requests, on or off, leave the node held: the writer is the
// run's until the transport ends.
TEST_F(SgCommandTest, BlockingRequestsKeepTheNodeHeld) {
  system_.failOpen = true;
  EXPECT_FALSE(transport_->SetExclusive(0, true));  // another program has it
  system_.failOpen = false;
  ASSERT_TRUE(transport_->SetExclusive(0, true));
  ASSERT_FALSE(system_.opens.empty());
  EXPECT_TRUE(system_.opens.back().second & O_EXCL);
  const std::size_t opens = system_.opens.size();
  EXPECT_TRUE(transport_->SetExclusive(0, false));
  EXPECT_TRUE(transport_->SetExclusive(0, true));
  EXPECT_EQ(system_.opens.size(), opens);  // never reopened shared
}

TEST(SgBusText, AtaAndUsbDriversAreIdeUsb) {
  EXPECT_EQ(BusTextForDriver("ahci"), "IDE//USB");
  EXPECT_EQ(BusTextForDriver("ata_piix"), "IDE//USB");
  EXPECT_EQ(BusTextForDriver("usb-storage"), "IDE//USB");
  EXPECT_EQ(BusTextForDriver("uas"), "IDE//USB");
  EXPECT_EQ(BusTextForDriver("mpt3sas"), "SCSI");
  EXPECT_EQ(BusTextForDriver(""), "SCSI");
}

}  // namespace
