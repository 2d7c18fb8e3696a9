// Track-at-once recordings sent through the CDR4COMS object to the
// simulated recorder: the image it leaves is read by cd-info and iso-info,
// its user data is what was sent, and every sector holds to ECMA-130.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <regex>

#include "disclib/recorder/CDR4COMS.h"
#include "disclib/recorder/ComsInternal.h"
#include "disclib/recorder/tests/RecorderTestUtil.h"
#include "tests/recorder/Ecma130.h"

namespace {

using namespace rectest;

class SimBurn : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = vexa::base::MakeTempDir(vexa::base::TempDirectory(), "simburn");
    ASSERT_FALSE(dir_.empty());
    setenv("VEXA_SCSI_TRANSPORT", ("sim:" + dir_).c_str(), 1);
    coms_ = CDR4COMS_Get();
    unsetenv("VEXA_SCSI_TRANSPORT");
    ASSERT_EQ(COMS_GetNumDevices(), 1);
  }
  void TearDown() override {
    discpak::ComsInstallTransport(nullptr);
    vexa::base::RemoveAll(dir_);
  }
  bool Send(std::initializer_list<int> cdb, int direction = 0, void* data = nullptr, DWORD length = 0) {
    ComsCommandRecord c = {};
    c.cdbLength = static_cast<BYTE>(cdb.size());
    int i = 0;
    for (int b : cdb) c.cdb[i++] = static_cast<BYTE>(b);
    ComsSenseRecord sense;
    if (direction == 0) return coms_->COMS_Cmd(0, &c, &sense, nullptr);
    if (direction > 0) return coms_->COMS_CmdWrite(0, &c, &sense, nullptr, data, &length);
    return coms_->COMS_CmdRead(0, &c, &sense, nullptr, data, &length);
  }
  bool WriteParameters(int trackMode, int blockType, int format) {
    BYTE list[60] = {};
    BYTE* p = list + 8;
    p[0] = 0x05;
    p[1] = 0x32;
    p[2] = 0x01;  // track-at-once
    p[3] = static_cast<BYTE>(trackMode);
    p[4] = static_cast<BYTE>(blockType);
    p[8] = static_cast<BYTE>(format);
    p[15] = 150;
    return Send({0x55, 0x10, 0, 0, 0, 0, 0, 0, 60, 0}, 1, list, sizeof list);
  }
  std::int32_t NextWritable() {
    BYTE info[36] = {};
    if (!Send({0x52, 1, 0, 0, 0, 0xFF, 0, 0, 36, 0}, -1, info, sizeof info)) return -1;
    return static_cast<std::int32_t>(GetBE32(info + 12));
  }
  static DWORD GetBE32(const BYTE* p) { return (p[0] << 24) | (p[1] << 16) | (p[2] << 8) | p[3]; }
  bool WriteBlocks(std::int32_t lba, const std::vector<BYTE>& data, int blockSize) {
    const int per = 65536 / blockSize;
    const int total = static_cast<int>(data.size() / blockSize);
    for (int done = 0; done < total; done += per) {
      const int n = std::min(per, total - done);
      const std::uint32_t a = static_cast<std::uint32_t>(lba + done);
      if (!Send({0x2A, 0, int(a >> 24), int((a >> 16) & 0xFF), int((a >> 8) & 0xFF), int(a & 0xFF), 0, n >> 8,
                 n & 0xFF, 0},
                1, const_cast<BYTE*>(data.data()) + static_cast<std::size_t>(done) * blockSize,
                static_cast<DWORD>(n * blockSize))) {
        return false;
      }
    }
    return true;
  }
  bool Flush() { return Send({0x35, 0, 0, 0, 0, 0, 0, 0, 0, 0}); }
  bool CloseSession() { return Send({0x5B, 0, 2, 0, 0, 0, 0, 0, 0, 0}); }
  std::string Image(const std::string& ext) { return vexa::base::JoinPath(dir_, "disc-0001" + ext); }

  std::string dir_;
  CDR4COMS* coms_ = nullptr;
};

std::vector<BYTE> ReadBytes(const std::string& path) {
  std::string s;
  vexa::base::ReadFile(path, &s);
  return std::vector<BYTE>(s.begin(), s.end());
}

TEST_F(SimBurn, AMode1AndAMode2TrackAreReadBackByCdInfo) {
  RECORDER_NEED_TOOL("cd-info");
  RECORDER_NEED_TOOL("genisoimage");
  RECORDER_NEED_TOOL("iso-info");
  // Track 1: an ISO 9660 file system of two files, as mode 1 user data.
  const std::string tree = vexa::base::JoinPath(dir_, "tree");
  vexa::base::MakeDirs(tree + "/PICS");
  vexa::base::WriteFileAtomic(tree + "/README.TXT", "the simulated recorder\n");
  vexa::base::WriteFileAtomic(tree + "/PICS/ONE.DAT", std::string(70000, 'p'));
  const std::string iso = vexa::base::JoinPath(dir_, "fs.iso");
  int status = 0;
  Shell("genisoimage -quiet -V SIMDISC -o " + iso + " " + tree + " 2>&1", &status);
  ASSERT_EQ(status, 0);
  const std::vector<BYTE> isoBytes = ReadBytes(iso);
  ASSERT_EQ(isoBytes.size() % 2048, 0u);
  const std::int32_t isoSectors = static_cast<std::int32_t>(isoBytes.size() / 2048);

  ASSERT_TRUE(WriteParameters(4, 8, 0x20));
  ASSERT_EQ(NextWritable(), 0);
  ASSERT_TRUE(WriteBlocks(0, isoBytes, 2048));
  ASSERT_TRUE(Flush());

  // Track 2: mode 2 units of subheader and data, form 1 and form 2 mixed.
  ASSERT_TRUE(WriteParameters(4, 13, 0x20));
  const std::int32_t start2 = NextWritable();
  EXPECT_EQ(start2, isoSectors + 152);
  const int units = 300;
  std::vector<BYTE> mode2(static_cast<std::size_t>(units) * 2332);
  for (int i = 0; i < units; ++i) {
    BYTE* u = mode2.data() + static_cast<std::size_t>(i) * 2332;
    const BYTE submode = i % 3 ? 0x62 : 0x08;  // form 2 video / form 1 data
    const BYTE sub[4] = {1, 1, submode, static_cast<BYTE>(i % 3 ? 0x0F : 0)};
    std::memcpy(u, sub, 4);
    std::memcpy(u + 4, sub, 4);
    for (int k = 8; k < 2332; ++k) u[k] = static_cast<BYTE>(k * 13 + i);
  }
  ASSERT_TRUE(WriteBlocks(start2, mode2, 2332));
  ASSERT_TRUE(Flush());
  ASSERT_TRUE(CloseSession());

  const std::string out = Shell("cd-info --no-device-info --no-header --cue-file " + Image(".cue") + " 2>&1");
  char line1[64], line2[64], leadout[64];
  auto msf = [](std::int32_t a) {
    a += 150;
    char b[16];
    std::snprintf(b, sizeof b, "%02d:%02d:%02d", a / 4500, a / 75 % 60, a % 75);
    return std::string(b);
  };
  std::snprintf(line1, sizeof line1, "  1: 00:02:00  000000 data");
  std::snprintf(line2, sizeof line2, "  2: %s  %06d XA", msf(start2).c_str(), start2);
  std::snprintf(leadout, sizeof leadout, "170: %s  %06d leadout", msf(start2 + units + 2).c_str(), start2 + units + 2);
  EXPECT_NE(out.find(line1), std::string::npos) << out;
  EXPECT_NE(out.find(line2), std::string::npos) << out;
  EXPECT_NE(out.find(leadout), std::string::npos) << out;
  EXPECT_NE(out.find("ISO 9660"), std::string::npos) << out;

  // The user data in the image is what was sent, and every sector of the
  // image holds to ECMA-130.
  const std::vector<BYTE> bin = ReadBytes(Image(".bin"));
  ASSERT_EQ(bin.size(), static_cast<std::size_t>(start2 + units + 2) * 2352);
  std::vector<BYTE> track1;
  for (std::int32_t a = 0; a < start2 + units + 2; ++a) {
    const BYTE* s = bin.data() + static_cast<std::size_t>(a) * 2352;
    ASSERT_EQ(ecma130::SectorProblem(s, a), "") << "sector " << a;
    if (a < isoSectors) track1.insert(track1.end(), s + 16, s + 16 + 2048);
    if (a >= start2 && a < start2 + units) {
      const BYTE* u = mode2.data() + static_cast<std::size_t>(a - start2) * 2332;
      ASSERT_EQ(std::memcmp(s + 16, u, (u[2] & 0x20) ? 2332 : 2056), 0) << "sector " << a;
    }
  }
  EXPECT_EQ(track1, isoBytes);
  const std::string copy = vexa::base::JoinPath(dir_, "track1.iso");
  vexa::base::WriteFileAtomic(copy, std::string(track1.begin(), track1.end()));
  const std::string listing = Shell("iso-info --no-header -l -i " + copy + " 2>&1");
  EXPECT_NE(listing.find("readme.txt"), std::string::npos) << listing;
  EXPECT_NE(listing.find("one.dat"), std::string::npos) << listing;

  // What was read back through READ CD is the same.
  std::vector<BYTE> readBack(2048);
  ASSERT_TRUE(Send({0xBE, 2 << 2, 0, 0, 0, 16, 0, 0, 1, 0x10, 0, 0}, -1, readBack.data(), 2048));
  EXPECT_EQ(std::memcmp(readBack.data(), isoBytes.data() + 16 * 2048, 2048), 0);
}

}  // namespace
