// The disc engine's burn, as it drives the "CDR4BASE" object, on the
// simulated recorder: the image track, a file track with its subheader, the
// padding track to sector 50,000 and the closed XA session; then a Video CD
// made by vcdimager burnt the same way and read back by vcd-info.
#include <gtest/gtest.h>

#include <cstring>

#include "disclib/recorder/CDR4BASE.h"
#include "disclib/recorder/CDR4COMS.h"
#include "disclib/recorder/ComsInternal.h"
#include "disclib/recorder/tests/RecorderTestUtil.h"
#include "tests/recorder/Ecma130.h"

namespace {

using namespace rectest;

const BYTE kSubheader[8] = {1, 1, 0x62, 0x0F, 1, 1, 0x62, 0x0F};

class EngineBurn : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = vexa::base::MakeTempDir(vexa::base::TempDirectory(), "engineburn");
    ASSERT_FALSE(dir_.empty());
    setenv("VEXA_REGISTRY_DIR", (dir_ + "/registry").c_str(), 1);
    setenv("VEXA_SCSI_TRANSPORT", ("sim:" + dir_).c_str(), 1);
    base_ = CDR4BASE_Get();
    coms_ = CDR4COMS_Get();
    ASSERT_EQ(base_->version1, 107u);
    ASSERT_EQ(coms_->version1, 104u);
    coms_->COMS_StartLog((dir_ + "/comslog.txt").c_str(), 0);
  }
  void TearDown() override {
    if (drive_) base_->CDR4_DeleteDrive(drive_);
    coms_->COMS_StopLog();
    discpak::ComsInstallTransport(nullptr);
    unsetenv("VEXA_SCSI_TRANSPORT");
    unsetenv("VEXA_REGISTRY_DIR");
    vexa::base::RemoveAll(dir_);
  }
  DWORD NextWritable() {
    BYTE info[36];
    if (base_->CDR4_ReadTrackInfo(drive_, 255, info) != 0) return 0xFFFFFFFF;
    DWORD nwa;
    std::memcpy(&nwa, info + 12, 4);
    return nwa;
  }
  // One track-at-once track of 2332-byte units, 16 at a time as the engine
  // copies them.
  bool Track(const std::vector<BYTE>& units, const BYTE* subheader) {
    if (base_->CDR4_StartTAO(drive_, 255, 5, 4, nullptr, subheader) != 0) return false;
    const std::size_t count = units.size() / 2332;
    bool ok = true;
    for (std::size_t at = 0; at < count && ok; at += 16) {
      const LONG n = static_cast<LONG>(std::min<std::size_t>(16, count - at));
      ok = base_->CDR4_WriteTAO(drive_, 2332, n, units.data() + at * 2332) == 0;
    }
    return base_->CDR4_FinishTAO(drive_) == 0 && ok;
  }
  std::string CdInfo() {
    return Shell("cd-info --no-device-info --no-header --cue-file " + dir_ + "/disc-0001.cue 2>&1");
  }
  static std::string Line(int track, std::int32_t lsn, const char* type) {
    const std::int32_t a = lsn + 150;
    char b[64];
    std::snprintf(b, sizeof b, "%3d: %02d:%02d:%02d  %06d %s", track, a / 4500, a / 75 % 60, a % 75, lsn, type);
    return b;
  }

  std::string dir_;
  CDR4BASE* base_ = nullptr;
  CDR4COMS* coms_ = nullptr;
  I_CDRClass* drive_ = nullptr;
};

TEST_F(EngineBurn, ImageFileAndPaddingTracksMakeAFinishedDisc) {
  RECORDER_NEED_TOOL("cd-info");
  drive_ = base_->CDR4_CreateDrive(0);
  ASSERT_NE(drive_, nullptr);
  ASSERT_TRUE(base_->CDR4_GetDriveCaps(drive_) & CDRF_WRITETAO);
  EXPECT_EQ(base_->CDR4_SetBlocking(drive_, 1), 0);
  EXPECT_EQ(base_->CDR4_SpeedQuery(drive_, 128), 52);

  // The image track: mode 2 units as the image stream gives them.
  std::vector<BYTE> image(2332 * 700);
  for (std::size_t i = 0; i < 700; ++i) {
    BYTE* u = image.data() + i * 2332;
    const BYTE sub[4] = {0, 0, static_cast<BYTE>(i < 300 ? 0x08 : 0x20), 0};
    std::memcpy(u, sub, 4);
    std::memcpy(u + 4, sub, 4);
    for (int k = 8; k < 2332; ++k) u[k] = static_cast<BYTE>(k ^ i);
  }
  ASSERT_EQ(NextWritable(), 0u);
  ASSERT_TRUE(Track(image, nullptr)) << base_->CDR4_GetLastError(drive_, nullptr);

  // A file track: 32 empty units, the file, 16 empty units, 300 at least.
  const DWORD fileStart = NextWritable();
  EXPECT_EQ(fileStart, 700u + 152);
  std::vector<BYTE> file(2332 * 300, 0);
  for (std::size_t i = 0; i < 300; ++i) {
    BYTE* u = file.data() + i * 2332;
    std::memcpy(u, kSubheader, 8);
    if (i >= 32 && i < 120) std::memset(u + 8, static_cast<int>(i), 2324);
  }
  ASSERT_TRUE(Track(file, kSubheader));

  // The padding track up to sector 50,000.
  const DWORD padStart = NextWritable();
  EXPECT_EQ(padStart, fileStart + 300 + 152);
  std::vector<BYTE> pad(2332 * (50000 - padStart), 0);
  for (std::size_t i = 0; i < pad.size() / 2332; ++i) std::memcpy(pad.data() + i * 2332, kSubheader, 8);
  ASSERT_TRUE(Track(pad, kSubheader));
  EXPECT_EQ(base_->CDR4_CloseSession(drive_, 32, 1), 1);
  EXPECT_EQ(base_->CDR4_GetLastError(drive_, nullptr), nullptr);
  BYTE disc[32];
  ASSERT_EQ(base_->CDR4_IsDiscBlank(drive_, disc), 0);
  EXPECT_EQ(disc[2] & 3, 2);
  EXPECT_EQ(disc[8], 0x20);

  const std::string out = CdInfo();
  EXPECT_NE(out.find(Line(1, 0, "XA")), std::string::npos) << out;
  EXPECT_NE(out.find(Line(2, static_cast<std::int32_t>(fileStart), "XA")), std::string::npos) << out;
  EXPECT_NE(out.find(Line(3, static_cast<std::int32_t>(padStart), "XA")), std::string::npos) << out;
  EXPECT_NE(out.find(Line(170, 50002, "leadout")), std::string::npos) << out;

  // What was queued comes back through READ CD, and the sectors around the
  // track boundaries hold to ECMA-130.
  std::vector<BYTE> back(2352 * 16);
  for (LONG at : std::vector<LONG>{0, 290, 684, static_cast<LONG>(fileStart + 30), 49984}) {
    ASSERT_EQ(base_->CDR4_ReadCD(drive_, at, 16, back.data(), 0, 2352), 0) << at;
    for (LONG i = 0; i < 16; ++i) {
      const BYTE* s = back.data() + i * 2352;
      const LONG a = at + i;
      EXPECT_EQ(ecma130::SectorProblem(s, a), "") << a;
      const std::vector<BYTE>* src = a < 700 ? &image : (a >= static_cast<LONG>(fileStart) && a < static_cast<LONG>(fileStart) + 300) ? &file : nullptr;
      if (src) {
        const BYTE* u = src->data() + (a < 700 ? a : a - fileStart) * 2332;
        EXPECT_EQ(std::memcmp(s + 16, u, (u[2] & 0x20) ? 2332 : 2056), 0) << a;
      }
    }
  }
}

// A Video CD laid out by vcdimager, burnt track-at-once: track 1 without its
// two last (empty) sectors, since a drive leaves 2 run-out and 150 pre-gap
// sectors between tracks where vcdimager has 150.
TEST_F(EngineBurn, AVideoCdBurntTrackAtOnceIsAVideoCd) {
  RECORDER_NEED_TOOL("ffmpeg");
  RECORDER_NEED_TOOL("vcdimager");
  RECORDER_NEED_TOOL("vcd-info");
  int status = 0;
  Shell("cd " + dir_ + " && ffmpeg -loglevel error -y -f lavfi -i testsrc=size=352x240:rate=29.97 -f lavfi "
        "-i sine=frequency=440:sample_rate=44100 -t 3 -target ntsc-vcd v.mpg 2>&1 && "
        "vcdimager --type=vcd2 --cue-file=src.cue --bin-file=src.bin v.mpg >/dev/null 2>&1",
        &status);
  ASSERT_EQ(status, 0);
  std::string bin;
  ASSERT_TRUE(vexa::base::ReadFile(dir_ + "/src.bin", &bin));
  const std::string cue = [&] {
    std::string c;
    vexa::base::ReadFile(dir_ + "/src.cue", &c);
    return c;
  }();
  ASSERT_NE(cue.find("INDEX 01 00:06:00"), std::string::npos) << cue;  // track 2 at 450
  const std::size_t sectors = bin.size() / 2352;
  auto units = [&](std::size_t from, std::size_t to) {
    std::vector<BYTE> u;
    for (std::size_t a = from; a < to; ++a) {
      const BYTE* s = reinterpret_cast<const BYTE*>(bin.data()) + a * 2352;
      u.insert(u.end(), s + 16, s + 16 + 2332);
    }
    return u;
  };
  drive_ = base_->CDR4_CreateDrive(0);
  ASSERT_NE(drive_, nullptr);
  ASSERT_TRUE(Track(units(0, 298), nullptr));
  ASSERT_EQ(NextWritable(), 450u);
  ASSERT_TRUE(Track(units(450, sectors), nullptr));
  ASSERT_EQ(base_->CDR4_CloseSession(drive_, 32, 1), 1);
  const std::string info = Shell("vcd-info --no-header --cue-file " + dir_ + "/disc-0001.cue 2>&1");
  EXPECT_NE(info.find("VCD 2.0 detected"), std::string::npos) << info;
  EXPECT_NE(info.find("AVSEQ01.DAT"), std::string::npos) << info;
  EXPECT_EQ(info.find("error"), std::string::npos) << info;
  // The MPEG track's data is vcdimager's, sector for sector.
  std::string ours;
  ASSERT_TRUE(vexa::base::ReadFile(dir_ + "/disc-0001.bin", &ours));
  for (std::size_t a = 450; a < sectors; ++a) {
    ASSERT_EQ(std::memcmp(ours.data() + a * 2352 + 16, bin.data() + a * 2352 + 16, 2332), 0) << a;
  }
}

}  // namespace
