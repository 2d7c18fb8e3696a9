#include <algorithm>
#include <array>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "disclib/vcd/ISOFormat.h"
#include "disclib/vcd/Sectors.h"
#include "disclib/vcd/tests/EncodeFixtures.h"
#include "disclib/vcd/tests/SectorCheck.h"

namespace vexa::vcd::testing {
namespace {

class ISOFormatTest : public ScratchTest {
 protected:
  std::string File(const std::string& name, std::size_t size, char fill = 'x') {
    const std::string path = Path(name);
    std::ofstream(path, std::ios::binary) << std::string(size, fill);
    return path;
  }
  // The whole data track, read 16 units at a time.
  std::vector<Unit> Stream(VCDClassISOFormat& iso, int* finish) {
    std::vector<Unit> units;
    EXPECT_EQ(iso.StartImage(), 1);
    std::vector<std::uint8_t> buf(16 * kVCDUnitBytes);
    for (;;) {
      const int n = iso.ReadSectors(16, buf.data());
      if (n <= 0) break;
      for (int i = 0; i < n; ++i) {
        Unit u;
        std::memcpy(u.data(), buf.data() + static_cast<std::size_t>(i) * kVCDUnitBytes, kVCDUnitBytes);
        units.push_back(u);
      }
    }
    *finish = iso.FinishImage();
    return units;
  }
  static const std::uint8_t* Data(const Unit& u) { return u.data() + 8; }
};

std::uint16_t Be16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] << 8 | p[1]); }

TEST(ImagePlanTest, TracksAreLaidOutAsTheBurnWorkerWritesThem) {
  struct Row {
    std::uint64_t size;
    std::uint32_t data, total;
  };
  // One piece for every 2324 bytes begun; at least 300 sectors in all.
  const Row rows[] = {{0, 0, 300},       {1, 1, 300},          {2324, 1, 300},
                      {2325, 2, 300},    {2324 * 252, 252, 300}, {2324 * 252 + 1, 253, 301},
                      {10000000, 4303, 4351}};
  for (const Row& r : rows) {
    const VCDMpegTrackSectors t = VCDMpegTrack(r.size);
    EXPECT_EQ(t.front, 32u) << r.size;
    EXPECT_EQ(t.data, r.data) << r.size;
    EXPECT_EQ(t.total, r.total) << r.size;
    EXPECT_EQ(t.front + t.data + t.rear, t.total);
    EXPECT_GE(t.rear, 16u);
  }
  const VCDImagePlan plan = PlanVCDImage({5000, 0, 2048}, {348601, 10}, {10000000, 1});
  EXPECT_EQ(plan.fileStart, (std::vector<std::uint32_t>{1300, 1303, 1303}));
  EXPECT_EQ(plan.segmentsStart, 1350u);  // 1304 rounded up to 75
  ASSERT_EQ(plan.segment.size(), 2u);
  EXPECT_EQ(plan.segment[0].itemSectors, (std::vector<std::uint32_t>{150, 1}));
  EXPECT_EQ(plan.segment[1].start, 1650u);
  EXPECT_EQ(plan.track1Sectors, 1800u);
  EXPECT_EQ(plan.track[0].start, 1952u);
  EXPECT_EQ(plan.track[1].start, 1952u + 4351 + 152);
}

TEST_F(ISOFormatTest, AddingAndItsLimits) {
  VCDClassISOFormat iso;
  const std::string f = File("f.txt", 10);
  EXPECT_EQ(iso.SetFileSystemType(3), 0);
  EXPECT_EQ(iso.SetFileSystemType(1), 1);
  EXPECT_EQ(iso.SetFileSystemType(-1), 0);
  EXPECT_EQ(iso.fileSystemType(), 1);
  EXPECT_EQ(iso.AddFile(nullptr, "\\A.TXT", nullptr, nullptr), 0);
  EXPECT_EQ(iso.AddFile(f.c_str(), nullptr, nullptr, nullptr), 0);
  EXPECT_EQ(iso.AddFile(Path("none").c_str(), "\\A.TXT", nullptr, nullptr), 0);
  EXPECT_EQ(iso.AddFileW(u"none", u"\\A.TXT", nullptr, nullptr), 0);
  EXPECT_EQ(iso.AddHardLink(Path("other").c_str(), "\\B.TXT", nullptr), 0);
  EXPECT_EQ(iso.AddFile(f.c_str(), "\\A.TXT", nullptr, nullptr), 1);
  EXPECT_EQ(iso.AddHardLink(f.c_str(), "\\Long name.txt", nullptr), 1);
  EXPECT_EQ(iso.AddDualFile(f.c_str(), Path("none").c_str(), "\\D.TXT", nullptr), 0);
  for (int i = 0; i < 98; ++i) ASSERT_EQ(iso.AddVCDTrack(f.c_str(), 1), 1);
  EXPECT_EQ(iso.AddVCDTrack(f.c_str(), 1), 0);  // the 99th
  EXPECT_EQ(iso.LinkVCDTrack(1, "x"), 0);
  EXPECT_EQ(iso.LinkVCDTrack(100, "x"), 0);
  EXPECT_EQ(iso.LinkVCDTrack(2, "\\Music.mpg"), 1);
  EXPECT_EQ(iso.LinkVCDSegment(0, "x"), 0);
  EXPECT_EQ(iso.LinkVCDSegment(1981, "x"), 0);
  EXPECT_EQ(iso.AddVCDSegment(File("empty.mpg", 0).c_str(), 0), 0);
  // Segments take play items 1..1980: 348600 bytes a play item.
  const std::string big = File("big.mpg", 348600 * 10);
  EXPECT_EQ(iso.AddVCDSegment(big.c_str(), 4), 1);
  EXPECT_EQ(iso.AddVCDSegment(f.c_str(), 4), 11);
  for (int i = 12; i <= 1980; ++i) ASSERT_EQ(iso.AddVCDSegment(f.c_str(), 4), i);
  EXPECT_EQ(iso.AddVCDSegment(f.c_str(), 4), 0);  // item 1981
  EXPECT_EQ(iso.SetLOTPSDFiles(nullptr, nullptr, 77), 77);
}

TEST_F(ISOFormatTest, NoSegmentsIsVersionOne) {
  VCDClassISOFormat iso;
  const std::string a = File("a.txt", 5000, 'a');
  ASSERT_EQ(iso.AddFile(a.c_str(), "\\ORLDISC\\A.TXT", nullptr, nullptr), 1);
  const std::string mpeg = File("t.mpg", 2324 * 3);
  ASSERT_EQ(iso.AddVCDTrack(mpeg.c_str(), 0), 1);
  const std::int32_t estimate = iso.GetISOTrackSectors();
  EXPECT_EQ(estimate, 1303);
  EXPECT_EQ(iso.GetTotalSectors(), 1303);
  int finish = 0;
  const std::vector<Unit> units = Stream(iso, &finish);
  ASSERT_EQ(finish, 1) << iso.GetError();
  ASSERT_EQ(static_cast<std::int32_t>(units.size()), estimate);  // the estimate is what is written
  const std::uint8_t* info = Data(units[150]);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(info), 8), "VIDEO_CD");
  EXPECT_EQ(info[8], 1);
  EXPECT_EQ(info[9], 1);
  EXPECT_EQ(info[51], 0);                 // offset multiplier
  EXPECT_EQ(info[30] & 1, 1);             // the track was added with flag 0: PAL
  EXPECT_EQ(Be16(info + 54), 0);          // no play items
  const std::uint8_t* entries = Data(units[151]);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(entries), 8), "ENTRYVCD");
  EXPECT_EQ(Be16(entries + 10), 1);
  // Track 2 in BCD, at its first MPEG sector: 1303 + 152 + 32, plus 150,
  // is 1637 = 00:21:62.
  EXPECT_EQ(entries[12], 0x02);
  EXPECT_EQ(entries[13], 0x00);
  EXPECT_EQ(entries[14], 0x21);
  EXPECT_EQ(entries[15], 0x62);
  // The file's data from 1300, zero-filled after its end.
  EXPECT_EQ(Data(units[1300])[0], 'a');
  EXPECT_EQ(Data(units[1302])[5000 - 4096 - 1], 'a');
  EXPECT_EQ(Data(units[1302])[5000 - 4096], 0);
  // The volume holds track 1 only, in both byte orders.
  const std::uint8_t* pvd = Data(units[16]);
  ASSERT_EQ(pvd[0], 1);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(pvd + 8), 17), "CD-RTOS CD-BRIDGE");
  EXPECT_EQ(pvd[80] | pvd[81] << 8, 1303);
  EXPECT_EQ(pvd[86] << 8 | pvd[87], 1303);
}

TEST_F(ISOFormatTest, SegmentsListsAndSubheaders) {
  VCDClassISOFormat iso;
  // A segment of 348601 bytes: two play items, the second marked as a
  // continuation, 300 sectors. Its pieces start like MPEG packs of video.
  std::string seg(348601, '\0');
  for (std::size_t at = 0; at + 16 <= seg.size(); at += 2324) seg[at + 15] = static_cast<char>(0xE0);
  const std::string segPath = Path("s.mpg");
  std::ofstream(segPath, std::ios::binary) << seg;
  ASSERT_EQ(iso.AddVCDSegment(segPath.c_str(), 0x04), 1);
  ASSERT_EQ(iso.AddVCDSegment(File("t.mpg", 100).c_str(), 0x04), 3);
  const std::string lot = File("LOT.VCD", 65536, '\xFF'), psd = File("PSD.VCD", 64, '\x10');
  iso.SetLOTPSDFiles(lot.c_str(), psd.c_str(), 9);
  const std::string f = File("f.txt", 3000);
  ASSERT_EQ(iso.AddFile(f.c_str(), "/A/F.TXT", nullptr, nullptr), 1);
  int finish = 0;
  const std::vector<Unit> units = Stream(iso, &finish);
  ASSERT_EQ(finish, 1) << iso.GetError();
  // Files 1300-1301, segments from 1350: 300 + 150 sectors.
  ASSERT_EQ(units.size(), 1800u);
  EXPECT_EQ(static_cast<std::int32_t>(units.size()), iso.GetISOTrackSectors());
  const std::uint8_t* info = Data(units[150]);
  EXPECT_EQ(info[8], 2);
  EXPECT_EQ(info[9], 0);
  EXPECT_EQ(info[51], 8);
  EXPECT_EQ(Be16(info + 52), 9);
  EXPECT_EQ(info[44] << 24 | info[45] << 16 | info[46] << 8 | info[47], 64);
  // The first segment at 1350 + 150 = 00:20:00.
  EXPECT_EQ(info[48], 0x00);
  EXPECT_EQ(info[49], 0x20);
  EXPECT_EQ(info[50], 0);
  EXPECT_EQ(Be16(info + 54), 3);
  EXPECT_EQ(info[56], 0x04);
  EXPECT_EQ(info[57], 0x24);  // continuation
  EXPECT_EQ(info[58], 0x04);
  // LOT at 152, PSD at 184.
  EXPECT_EQ(Data(units[152])[0], 0xFF);
  EXPECT_EQ(Data(units[184])[0], 0x10);
  EXPECT_EQ(Data(units[184])[64], 0);

  // Subheaders: Form 1 data up to the segments, the volume descriptor set
  // terminator (17: no Joliet tree) ending a record and a file, the last
  // sector of each Video CD file (INFO, ENTRIES, LOT, PSD) ending that file;
  // the segment's pieces Form 2 video of channel 1, its last piece
  // end-of-file; padding Form 2 too.
  for (std::size_t s = 0; s < 1350; ++s) {
    const std::uint8_t submode = s == 17 ? 0x89 : (s == 150 || s == 151 || s == 183 || s == 184) ? 0x88 : 0x08;
    ASSERT_EQ(units[s][2], submode) << s;
    ASSERT_EQ(units[s][0], 1) << s;
    ASSERT_EQ(std::memcmp(units[s].data(), units[s].data() + 4, 4), 0) << s;
  }
  EXPECT_EQ(Data(units[17])[0], 255);  // the terminator
  const std::size_t pieces = (348601 + 2323) / 2324;  // 151
  for (std::size_t i = 0; i < pieces; ++i) {
    const Unit& u = units[1350 + i];
    // The last piece holds one byte: no stream identifier, channel 0.
    const bool last = i + 1 == pieces;
    ASSERT_EQ(u[1], last ? 0 : 1) << i;
    ASSERT_EQ(u[3], last ? 0x1F : 0x0F) << i;
    ASSERT_EQ(u[2], i + 1 == pieces ? 0xE2 : 0x62) << i;
  }
  for (std::size_t s = 1350 + pieces; s < 1650; ++s) {
    ASSERT_EQ(units[s][2], 0x60) << s;  // Form 2, real-time: like the sectors it pads
    ASSERT_EQ(units[s][1], 0) << s;
  }
  EXPECT_EQ(std::memcmp(Data(units[1350 + 149]), seg.data() + 149 * 2324, 2324), 0);
  EXPECT_EQ(Data(units[1350 + 150])[0], static_cast<std::uint8_t>(seg[150 * 2324]));
  EXPECT_EQ(Data(units[1350 + 150])[1], 0);

  // Form 1 units leave the EDC and the parity to the recorder, which makes
  // them for every 2332-byte block it writes (the burned image's sectors are
  // checked in the vcd-mkimage tests): the stream computes none of them.
  for (std::size_t s : {0u, 16u, 150u, 152u, 300u, 1300u, 1349u}) {
    const std::uint8_t* codes = units[s].data() + 8 + 2048;
    EXPECT_TRUE(std::all_of(codes, units[s].data() + units[s].size(), [](std::uint8_t b) { return b == 0; })) << s;
  }
}

TEST_F(ISOFormatTest, TheVolumeRecordReachesBothDescriptors) {
  // As the engine fills it: spaces, two dates, identifiers; the expiration
  // and effective dates and the system identifier left blank.
  std::array<std::uint8_t, 752> record;
  record.fill(' ');
  const std::uint16_t date[8] = {2024, 5, 3, 17, 9, 30, 15, 0};
  std::memcpy(record.data(), date, 16);
  std::memcpy(record.data() + 16, date, 16);
  std::memcpy(record.data() + 96, "KV_ORL_DISC", 11);
  std::memcpy(record.data() + 384, "Tervane Co./VEXA", 16);
  VCDClassISOFormat iso;
  ASSERT_EQ(iso.SetFileSystemType(1), 1);
  iso.SetVolumeInfo(record.data());
  int finish = 0;
  const std::vector<Unit> units = Stream(iso, &finish);
  ASSERT_EQ(finish, 1) << iso.GetError();
  for (std::size_t s : {16u, 17u}) {
    const std::uint8_t* d = Data(units[s]);
    ASSERT_EQ(std::string(reinterpret_cast<const char*>(d + 1), 5), "CD001") << s;
    EXPECT_EQ(d[0], s == 16 ? 1 : 2);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(d + 813), 12), "202405170930") << s;
    // Not specified: sixteen '0' digits and a zero offset.
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(d + 847), 16), "0000000000000000") << s;
    EXPECT_EQ(d[863], 0) << s;
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(d + 864), 16), "0000000000000000") << s;
    EXPECT_EQ(d[880], 0) << s;
    EXPECT_EQ(d[80] | d[81] << 8, 1300) << s;
  }
  const std::uint8_t* pvd = Data(units[16]);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(pvd + 8), 32), "CD-RTOS CD-BRIDGE               ");
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(pvd + 40), 11), "KV_ORL_DISC");
}

TEST_F(ISOFormatTest, InconsistentImagesAreRefused) {
  struct Row {
    const char* what;
    std::size_t lot, psd;  // 0: not given
    const char* message;
  };
  const Row rows[] = {
      {"big LOT", 65537, 64, "LOT.VCD is larger than 65536 bytes"},
      {"big PSD", 65536, 116 * 2048 + 1, "PSD.VCD must hold"},
      {"PSD alone", 0, 64, "PSD.VCD without LOT.VCD"},
  };
  for (const Row& r : rows) {
    VCDClassISOFormat iso;
    const std::string lot = r.lot ? File("LOT.VCD", r.lot) : "", psd = r.psd ? File("PSD.VCD", r.psd) : "";
    iso.SetLOTPSDFiles(r.lot ? lot.c_str() : nullptr, r.psd ? psd.c_str() : nullptr, 5);
    int finish = -1;
    const std::vector<Unit> units = Stream(iso, &finish);
    EXPECT_EQ(finish, 0) << r.what;
    EXPECT_TRUE(units.empty()) << r.what;
    EXPECT_NE(std::string(iso.GetError()).find(r.message), std::string::npos) << iso.GetError();
  }
}

TEST_F(ISOFormatTest, AFileDeletedBeforeTheImageFailsIt) {
  VCDClassISOFormat iso;
  const std::string gone = File("gone.txt", 10);
  ASSERT_EQ(iso.AddFile(gone.c_str(), "\\GONE.TXT", nullptr, nullptr), 1);
  std::remove(gone.c_str());
  int finish = -1;
  Stream(iso, &finish);
  EXPECT_EQ(finish, 0);
  EXPECT_NE(std::string(iso.GetError()).find(gone), std::string::npos) << iso.GetError();
}

TEST_F(ISOFormatTest, AReaderThatStopsEarlyStillEndsThePass) {
  VCDClassISOFormat iso;
  const std::string f = File("big.bin", 4 << 20);
  ASSERT_EQ(iso.AddFile(f.c_str(), "\\BIG.BIN", nullptr, nullptr), 1);
  ASSERT_EQ(iso.StartImage(), 1);
  std::vector<std::uint8_t> buf(16 * kVCDUnitBytes);
  EXPECT_EQ(iso.ReadSectors(16, buf.data()), 16);
  // The layout thread is blocked on a full queue: finishing stops and joins it.
  EXPECT_EQ(iso.FinishImage(), 0);
  EXPECT_EQ(iso.FinishImage(), 0);
  // A new pass works.
  int finish = 0;
  const std::vector<Unit> units = Stream(iso, &finish);
  EXPECT_EQ(finish, 1);
  EXPECT_EQ(static_cast<std::int32_t>(units.size()), iso.GetISOTrackSectors());
}

TEST_F(ISOFormatTest, TooManyEntriesForTheStructures) {
  VCDClassISOFormat iso;
  ASSERT_EQ(iso.SetFileSystemType(1), 1);
  const std::string f = File("f.txt", 1);
  // 12000 entries with long names overflow the 999 structure sectors.
  for (int i = 0; i < 12000; ++i) {
    char name[128];
    std::snprintf(name, sizeof name, "\\D%03d\\a rather long file name for the joliet tree %05d.txt", i % 100, i);
    ASSERT_EQ(iso.AddFile(f.c_str(), name, nullptr, nullptr), 1);
  }
  EXPECT_EQ(iso.AddFile(f.c_str(), "\\ONE.TXT", nullptr, nullptr), 0);  // the 12001st
  int finish = -1;
  Stream(iso, &finish);
  EXPECT_EQ(finish, 0);
  EXPECT_NE(std::string(iso.GetError()).find("too many ISO sectors"), std::string::npos) << iso.GetError();
}

}  // namespace
}  // namespace vexa::vcd::testing
