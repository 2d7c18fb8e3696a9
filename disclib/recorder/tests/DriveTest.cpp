// Drive creation, probing, the drive database, speeds, sense texts, status,
// blanking and the disc queries, against simulated recorders.
#include <cdio/cdtext.h>

#include <cstring>

#include "disclib/recorder/CdText.h"
#include "disclib/recorder/CdrDrive.h"
#include "disclib/recorder/DriveDB.h"
#include "disclib/recorder/tests/SimRecorderFixture.h"
#include "platform/base/Text.h"
#include "platform/registry/Registry.h"
#include "platform/scsi/SimDrive.h"

namespace {

using namespace rectest;
using namespace discpak;

class DriveTest : public RecorderSim {};

int Count(const std::vector<std::string>& lines, const std::string& text) {
  return static_cast<int>(std::count(lines.begin(), lines.end(), text));
}

TEST_F(DriveTest, CreationPicksTheClassForEachDrive) {
  struct Case {
    const char* conf;
    const char* kind;  // mmc, dvd-rw, dvd+rw, plextor, none
    DWORD must, mustNot;
    std::vector<std::string> lines;
  } cases[] = {
      {"profile = cdrw-writer\n", "mmc",
       CDRF_CDR | CDRF_CDRW | CDRF_WRITETAO | CDRF_WRITESAO | CDRF_WRITECDTEXT | CDRF_WRITERAW | CDRF_BURNPROOF |
           CDRF_MMC3 | CDRF_CDTEXT | CDRF_READCDDA | CDRF_METHOD2 | CDRF_RAWSUBCODE | CDRF_READC2,
       CDRF_DVDR | CDRF_STONEFORD,
       {"Device 0 not an DVD-RW device.", "Device 0 not an DVD+RW device.", "Device 0 is an MMC device.",
        "MmcClass: Created device on id 0", "MMC3: Feature(000) Profile list", "MMC3: Profile (a) CD-RW",
        "MMC3 CDSAO: Enabled SAO/CDTEXT write", "MMC3 CDSAO: Enabled RAW/RAW3/CDTEXT write",
        "MMC3: number of write speeds 8", "MMC3: write speed 9173(52) CLV", "MmcClass: Drive is MMC3",
        "MmcClass: Testing for Stone Ford support", "MmcClass: Failed to get FFDE configuration page",
        "MmcClass: MMCF_WRITERAW3", "MmcClass: CDRF_MMC3"}},
      {"profile = mmc2-writer\n", "mmc",
       CDRF_CDR | CDRF_WRITESAO | CDRF_WRITECDTEXT | CDRF_WRITERAW | CDRF_BURNPROOF, CDRF_MMC3,
       {"MmcClass: Get configuration failed", "MmcClass: Testing for SAO write mode",
        "MmcClass: Enabled SAO write mode by TEST", "MmcClass: Enabled CD-Text writing by TEST",
        "MmcClass: Testing for RAW write mode 3", "MmcClass: Enabled RAW write mode 3 by TEST",
        "MmcClass: Testing for burnproof", "MmcClass: Enabled burnproof write mode by TEST",
        "MMC3: buffer underrun protection 0"}},
      {"profile = dvd-writer\nmedia = dvdr\n", "dvd-rw", CDRF_DVDR | CDRF_DVDRW | CDRF_CDR, 0,
       {"Device 0 is an DVD-RW device.", "DvdRwClass: Created with CDRF_DVDR, CDRF_DVDRW"}},
      {"profile = dvdplus-writer\nmedia = dvdprw\n", "dvd+rw", CDRF_DvdPrw, 0,
       {"Device 0 not an DVD-RW device.", "Device 0 is an DVD+RW device.", "Dvd+RwClass: Created with CDRF_DvdPrw"}},
      {"profile = reader\n", "mmc", CDRF_READCDDA, CDRF_CDR | CDRF_WRITETAO, {"Device 0 is an MMC device."}},
      {"profile = old-reader\nmedia = none\n", "plextor",
       CDRF_READCDDA | CDRF_CDDAACCURATE | CDRF_SUBCODE | CDRF_READC2 | CDRF_METHOD2 | CDRF_ISRC | CDRF_UPC |
           CDRF_RAWSUBCODE | CDRF_CDTEXT,
       CDRF_CDR, {"Device 0 not an MMC device.", "Created PlextorClass device on id 0"}},
      {"profile = old-reader\nproduct = CD-ROM XYZ-1\nmedia = none\n", "none", 0, 0, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.conf);
    Use(c.conf);
    auto drive = Create(0);
    const std::string kind = !drive ? "none"
                             : dynamic_cast<DvdRwClass*>(drive.get())  ? "dvd-rw"
                             : dynamic_cast<DvdPrwClass*>(drive.get()) ? "dvd+rw"
                             : dynamic_cast<PlextorClass*>(drive.get()) ? "plextor"
                                                                        : "mmc";
    EXPECT_EQ(kind, c.kind);
    if (!drive) continue;
    const DWORD caps = drive->GetDriveCaps();
    EXPECT_EQ(caps & c.must, c.must) << std::hex << caps;
    EXPECT_EQ(caps & c.mustNot, 0u) << std::hex << caps;
    EXPECT_EQ(drive->GetDriveNum(), 0);
    EXPECT_EQ(drive->GetDrivePath(), 'D');
    EXPECT_EQ(drive->GetLastError(nullptr), nullptr);  // probing leaves nothing latched
    drive.reset();
    const auto lines = LogTexts();
    for (const auto& l : c.lines) EXPECT_EQ(Count(lines, l), 1) << l;
    if (std::string(c.kind) == "mmc") {
      EXPECT_EQ(Count(lines, "MmcClass: CDRF_METHOD2"), 2);
    }
  }
}

TEST_F(DriveTest, VendorStringsBringTheirQuirks) {
  struct Case {
    const char* vendor;
    const char* product;
    DWORD quirks, caps;
    const char* line;
  } cases[] = {
      {"TEAC", "CD-532E-B", MMCF_BCD2368, 0, "MmcClass: will force BCD conversion on q-subcode"},
      {"SONY", "CRX100E", MMCF_BCD2368, 0, "MmcClass: will force BCD conversion on q-subcode"},
      {"LG", "CD-RW CED-8080B", MMCF_BCD2368 | MMCF_LGERASE, 0, "MmcClass: forcing LG erase handling on"},
      {"PLEXTOR", "CD-R   PX-W1210A", MMCF_WRITERAW3, CDRF_BURNPROOF | CDRF_READC2 | CDRF_RAWSUBCODE, nullptr},
      {"PLEXTOR", "CD-R   PX-W124TS", MMCF_SIMPLECUE, CDRF_WRITERSCODE | CDRF_WRITECSCODE, nullptr},
      {"VEXASIM", "Scribe+ 4700", MMCF_KV4700CUE, 0, "MmcClass: Enabled Kv 4700 CUE sheet support"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.product);
    Use(std::string("vendor = ") + c.vendor + "\nproduct = " + c.product + "\n");
    auto drive = Create(0);
    ASSERT_TRUE(drive);
    auto* mmc = dynamic_cast<MmcClass*>(drive.get());
    ASSERT_TRUE(mmc);
    EXPECT_EQ(mmc->GetQuirks() & c.quirks, c.quirks);
    EXPECT_EQ(mmc->GetDriveCaps() & c.caps, c.caps);
    drive.reset();
    if (c.line) {
      EXPECT_EQ(Count(LogTexts(), c.line), 1);
    }
  }
}

TEST_F(DriveTest, DeviceNumbersAreTakenModulo256) {
  const std::string second = dir_ + "/second";
  vexa::base::MakeDirs(second);
  vexa::base::WriteFileAtomic(second + "/drive.conf", "profile = reader\n");
  vexa::base::WriteFileAtomic(drive_ + "/drive.conf", "profile = cdrw-writer\n");
  Open(drive_ + ";" + second);
  auto a = Create(256);
  auto b = Create(257);
  ASSERT_TRUE(a);
  ASSERT_TRUE(b);
  EXPECT_EQ(a->GetDriveNum(), 0);
  EXPECT_EQ(b->GetDriveNum(), 1);
  EXPECT_TRUE(b->GetDriveCaps() & CDRF_READCDDA);
  EXPECT_FALSE(b->GetDriveCaps() & CDRF_CDR);
  EXPECT_FALSE(Create(2));
  EXPECT_FALSE(Create(-1 & 0x1FF));
}

// A 912-byte record as the registry holds it.
std::vector<BYTE> Record(DWORD cdrf, DWORD mmcf) {
  std::vector<BYTE> r(912, 0);
  auto put = [&](std::size_t at, DWORD v) {
    for (int i = 0; i < 4; ++i) r[at + i] = static_cast<BYTE>(v >> (8 * i));
  };
  put(28, 2);
  put(32, 1), put(36, 8), put(40, 3), std::memcpy(&r[44], "8x read", 7);
  put(60, 1), put(64, 24), put(68, 3), std::memcpy(&r[72], "twenty-four read", 16);  // no terminator
  put(256, 1);
  put(260, 0), put(264, 16), put(268, 0), std::memcpy(&r[272], "16x", 3);
  put(484, 12);  // more than the 8 a list can hold
  put(712, 2);
  put(716, CDR4DB_KEY_CDRFLAGS), put(720, cdrf);
  put(724, CDR4DB_KEY_MMCFLAGS), put(728, mmcf);
  std::memcpy(&r[784], "ABCDEFGH", 8);
  return r;
}

TEST_F(DriveTest, TheDatabaseDescribesDrivesThatCannotDescribeThemselves) {
  const std::string model = "OLDCO   CD-ROM OLDONE   ";  // the first 24 identification characters
  ASSERT_EQ(model.size(), 24u);
  using namespace vexa::reg;
  ASSERT_EQ(SetValue(Hive::LocalMachine, kDriveDBKey, model, Value::Binary(Record(CDRF_READCDDA | CDRF_ISRC, MMCF_WRITERAW))),
            Status::Ok);
  // Names one character longer or shorter do not match.
  ASSERT_EQ(SetValue(Hive::LocalMachine, kDriveDBKey, model.substr(0, 23), Value::Binary(Record(1, 0))), Status::Ok);
  Use("profile = old-reader\nvendor = OLDCO\nproduct = CD-ROM OLDONE\nrevision = 2.01\nmedia = none\n");
  auto drive = Create(0);
  ASSERT_TRUE(drive);
  ASSERT_TRUE(dynamic_cast<MmcClass*>(drive.get()));
  EXPECT_EQ(drive->GetDriveCaps(), DWORD(CDRF_READCDDA | CDRF_ISRC | CDRF_WRITERAW));
  I_CDR4DriveDB* db = drive->GetDriveDB();
  ASSERT_TRUE(db);
  EXPECT_EQ(db->IsLoaded(), 1);
  EXPECT_EQ(db->CountA(), 2);
  EXPECT_EQ(db->CountB(), 1);
  EXPECT_EQ(db->CountC(), 8);
  char name[8];
  DWORD w1 = 0, speed = 0, w3 = 0;
  EXPECT_EQ(db->GetA(1, sizeof name, name, &w1, &speed, &w3), 1);
  EXPECT_STREQ(name, "twenty-");
  EXPECT_EQ(speed, 24u);
  EXPECT_EQ(db->GetA(0, sizeof name, name, nullptr, nullptr, nullptr), 1);
  EXPECT_STREQ(name, "8x read");
  EXPECT_EQ(db->GetA(2, sizeof name, name, &w1, &speed, &w3), 0);
  EXPECT_EQ(db->GetB(0, 0, nullptr, nullptr, &speed, nullptr), 1);
  EXPECT_EQ(speed, 16u);
  EXPECT_EQ(db->Slot8(), 1);
  EXPECT_EQ(db->Slot11(), 0);
  char text[4] = "xyz";
  db->Slot9(1, 2, text);
  EXPECT_STREQ(text, "");
  EXPECT_EQ(db->CodeCount(), 2);
  EXPECT_EQ(db->HasKey(CDR4DB_KEY_MMCFLAGS), 1);
  EXPECT_EQ(db->HasKey(7), 0);
  EXPECT_EQ(db->GetValue(7), 0u);
  // Speeds come from the entry's lists.
  EXPECT_EQ(drive->SpeedQuery(4096 + 16), 16);
  EXPECT_EQ(drive->SpeedQuery(4096 + 24), 1024);
  EXPECT_EQ(drive->ReadSpeedQuery(4096 + 24), 24);
  drive.reset();
  const auto lines = LogTexts();
  EXPECT_EQ(Count(lines, "IN REGISTRY: OLDCO   CD-ROM OLDONE   2.01"), 1);
  EXPECT_EQ(Count(lines, "MmcClass: Device failed read of mode page 2a."), 1);
  EXPECT_EQ(Count(lines, "MmcClass: Testing for SAO write mode"), 0);

  Cdr4DriveDBRegistry none("NOBODY  NOTHING         1.00");
  EXPECT_EQ(none.IsLoaded(), 0);
  EXPECT_EQ(none.CountA(), -1);
  EXPECT_EQ(none.CodeCount(), -1);
  EXPECT_EQ(none.GetValue(CDR4DB_KEY_CDRFLAGS), 0u);
}

TEST_F(DriveTest, WriteSpeedsAreReadSetAndAskedFor) {
  Use("profile = cdrw-writer\n");
  auto drive = Create(0);
  ASSERT_TRUE(drive);
  EXPECT_EQ(drive->SpeedQuery(2048), 52);
  EXPECT_EQ(drive->SpeedQuery(4096 + 48), 48);
  EXPECT_EQ(drive->SpeedQuery(4096 + 50), 1024);
  EXPECT_EQ(drive->SpeedQuery(2048), 52);  // asking changes nothing
  EXPECT_EQ(drive->SpeedQuery(16), 16);
  EXPECT_EQ(drive->SpeedQuery(2049), 16);  // 17x is not there: the next lower
  EXPECT_EQ(drive->SpeedQuery(2050), 10);
  EXPECT_EQ(drive->SpeedQuery(128), 52);   // the highest speed
  EXPECT_EQ(drive->ReadSpeedQuery(2048), 52);
  EXPECT_EQ(drive->ReadSpeedQuery(8), 8);

  // 24 descriptors are too many to believe: the speed is tried instead.
  std::string speeds = "writespeeds = ";
  for (int x = 48; x > 0; x -= 2) speeds += std::to_string(x) + (x > 2 ? "," : "\n");
  Use(speeds);
  drive = Create(0);
  ASSERT_TRUE(drive);
  EXPECT_FALSE(drive->GetDriveCaps() & CDRF_MMC3);
  EXPECT_EQ(drive->SpeedQuery(4096 + 40), 40);
  EXPECT_EQ(drive->SpeedQuery(4096 + 41), 1024);
  EXPECT_EQ(drive->SpeedQuery(2048), 48);
  drive.reset();
  EXPECT_EQ(Count(LogTexts(), "MMC3: disabled speed check because of overflow!"), 1);

  Use("profile = old-reader\nmedia = none\n");
  drive = Create(0);
  ASSERT_TRUE(drive);
  EXPECT_EQ(drive->ReadSpeedQuery(2048), 40);
  EXPECT_EQ(drive->ReadSpeedQuery(8), 8);
  EXPECT_EQ(drive->ReadSpeedQuery(4096 + 12), 12);
  EXPECT_EQ(drive->ReadSpeedQuery(2048), 8);
}

// The error latch seen from inside a drive.
class LatchingDrive : public MmcClass {
 public:
  using MmcClass::MmcClass;
  using MmcClass::SetError;
};

ComsSenseRecord Sense(BYTE byte2, BYTE asc, BYTE ascq) {
  ComsSenseRecord s = {};
  s.status = 2;
  s.sense[0] = 0x70;
  s.sense[2] = byte2;
  s.sense[12] = asc;
  s.sense[13] = ascq;
  return s;
}

TEST_F(DriveTest, TheFirstErrorIsKeptWithItsSenseText) {
  Use("profile = reader\n");
  struct Case {
    BYTE byte2, asc, ascq;
    const char* text;
  } cases[] = {
      {0x05, 0x24, 0x00, "Write failed: INVALID FIELD IN CDB"},
      {0x65, 0x24, 0x00, "Write failed: INVALID FIELD IN CDB"},  // EOM and ILI bits set
      {0x07, 0x24, 0x00, "Write failed: UNKNOWN ERROR (072400)"},
      {0x02, 0x04, 0x08, "Write failed: LOGICAL UNIT NOT READY, LONG WRITE IN PROGRESS"},
      {0x04, 0x34, 0x00, "Write failed: ENCLOSURE FAILURE"},
      {0x03, 0x04, 0x00, "Write failed: UNKNOWN ERROR (030400)"},
      {0x03, 0x0C, 0x00, "Write failed: WRITE ERROR"},
  };
  for (const Case& c : cases) {
    LatchingDrive drive(0, nullptr);
    const ComsSenseRecord s = Sense(c.byte2, c.asc, c.ascq);
    drive.SetError("Write failed", &s);
    const ComsSenseRecord other = Sense(0x03, 0x11, 0x00);
    drive.SetError("Later failure", &other);
    ComsSenseRecord got;
    ASSERT_TRUE(drive.GetLastError(&got));
    EXPECT_STREQ(drive.GetLastError(nullptr), c.text);
    EXPECT_EQ(got.sense[12], c.asc);
  }
  LatchingDrive drive(0, nullptr);
  drive.SetError("No sense at all", nullptr);
  ComsSenseRecord got;
  std::memset(&got, 0x77, sizeof got);
  EXPECT_STREQ(drive.GetLastError(&got), "No sense at all");
  EXPECT_EQ(got.status, 0u);
  const auto lines = LogTexts();
  EXPECT_GE(Count(lines, "SetError: Later failure"), 7);  // logged though not kept
}

TEST_F(DriveTest, StatusIdleAndBlanking) {
  Use("media = cdrw\nfault = attention\n");
  auto drive = Create(0);
  ASSERT_TRUE(drive);
  EXPECT_EQ(drive->GetDriveStatus(), 0);
  ASSERT_EQ(drive->BlankDisc(0), 0);  // minimal, returns at once
  EXPECT_EQ(drive->IsIdle(), 0);
  int polls = 0;
  while (!drive->IsIdle() && polls < 20) ++polls;
  EXPECT_EQ(drive->IsIdle(), 1);
  EXPECT_EQ(drive->GetDriveStatus(), 0);

  // A recorder that cannot blank the disc in it says so.
  Use("media = cdr\n");
  drive = Create(0);
  ASSERT_TRUE(drive);
  EXPECT_EQ(drive->BlankDisc(1), 1);
  EXPECT_STREQ(drive->GetLastError(nullptr), "Blank failed: CANNOT FORMAT MEDIUM – INCOMPATIBLE MEDIUM");

  Use("profile = reader\n");
  drive = Create(0);
  ASSERT_TRUE(drive);
  EXPECT_EQ(drive->BlankDisc(1), 6);

  Use("fault = nomedium\n");
  drive = Create(0);
  ASSERT_TRUE(drive);
  EXPECT_EQ(drive->GetDriveStatus(), 5);
  EXPECT_EQ(drive->IsIdle(), 0);
  EXPECT_EQ(drive->Eject(0), 0);
  EXPECT_EQ(drive->LockDrive(), 0);
  EXPECT_EQ(drive->UnlockDrive(), 0);
  EXPECT_EQ(drive->SetBlocking(1), 0);
  EXPECT_EQ(drive->SetBlocking(2), 6);
}

// A drive answers the first command after a disc change or a reset with a
// UNIT ATTENTION and does not carry it out; the command is sent again and
// does its work. A drive that keeps answering so is not asked for ever.
TEST_F(DriveTest, AUnitAttentionIsAnsweredBySendingTheCommandAgain) {
  struct Case {
    const char* name;
    const char* conf;
    bool changeDisc;  // a CD-RW put in from outside, as "cdrsim load" does
    bool read;        // the disc information is read
    int sent;         // READ DISC INFORMATION commands the drive saw
  } cases[] = {
      {"disc changed from outside", "media = cdr\n", true, true, 2},
      {"power on, reset", "fault = check op=51 sense=06/29/00\n", false, true, 2},
      {"reset, then a new disc", "fault = check op=51 sense=06/29/00\nfault = check op=51 sense=06/28/00\n",
       false, true, 3},
      {"always", "fault = check op=51 sense=06/28/00 count=-1\n", false, false, 1 + kUnitAttentionReissues},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Use(c.conf);
    auto drive = Create(0);
    ASSERT_TRUE(drive);
    // The drive's write parameters page is set up before the first disc
    // query of its life; that is done here, so the change meets READ DISC
    // INFORMATION itself.
    BYTE track[36];
    ASSERT_EQ(drive->ReadTrackInfo(255, track), 0);
    if (c.changeDisc) {
      std::string error;
      ASSERT_TRUE(vexa::scsi::sim::SimDrive::ChangeMedia(drive_, "cdrw", &error)) << error;
    }
    const std::size_t before = Trace().size();
    BYTE info[32];
    EXPECT_EQ(drive->ReadDiscInfo(info), c.read ? 0 : 1);
    const std::string trace = Trace().substr(before);
    int sent = 0;
    for (std::string_view line : vexa::base::DataLines(trace)) {
      if (line.size() > 9 && line.substr(6, 4) == " 51 ") ++sent;
    }
    EXPECT_EQ(sent, c.sent) << trace;
    if (c.read) {
      EXPECT_EQ(info[2] & 3, 0);  // blank
    }
    if (c.changeDisc) {
      EXPECT_NE(info[2] & 0x10, 0) << "the CD-RW put in is read";
    }
    // The drive is still there and ready for the next command.
    EXPECT_EQ(drive->GetDriveStatus(), 0);
  }
}

// A pressed audio CD with CD-TEXT: the packs come back through the drive
// and libcdio's parser reads the titles from them.
TEST_F(DriveTest, CdTextIsReadBackAndParsedByLibcdio) {
  const std::vector<std::string> titles = {"A Disc Title Longer Than Twelve", "First Song", "Second"};
  const std::vector<std::string> performers = {"The Band", "Singer One", ""};
  const std::vector<BYTE> record = BuildCdTextRecord(titles, performers, 1, 2);
  ASSERT_FALSE(record.empty());
  WORD length;
  std::memcpy(&length, record.data(), 2);
  vexa::base::WriteFileAtomic(dir_ + "/cd.cdt", std::string(record.begin() + 4, record.begin() + 2 + length));
  vexa::base::WriteFileAtomic(dir_ + "/cd.bin", std::string(2352 * 400, '\0'));
  vexa::base::WriteFileAtomic(dir_ + "/cd.cue",
                              "FILE \"cd.bin\" BINARY\n  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n"
                              "  TRACK 02 AUDIO\n    INDEX 01 00:02:00\n");
  Use("profile = reader\nmedia = rom:" + dir_ + "/cd.cue\n");
  // The pressed disc keeps its CD-TEXT packs beside its .bin (cd.cdt).
  auto drive = Create(0);
  ASSERT_TRUE(drive);
  std::vector<BYTE> text(8196, 0xEE);
  DWORD want = 8196;
  ASSERT_EQ(drive->QueryDisc(CDRQ_CDTEXT, &want, text.data()), 0);
  EXPECT_EQ(want, 8196u);
  WORD got;
  std::memcpy(&got, text.data(), 2);
  ASSERT_EQ(got, length);
  EXPECT_EQ(std::memcmp(text.data() + 4, record.data() + 4, length - 2), 0);
  cdtext_t* cdtext = cdtext_init();
  ASSERT_EQ(cdtext_data_init(cdtext, text.data() + 4, got - 2), 0);
  EXPECT_STREQ(cdtext_get_const(cdtext, CDTEXT_FIELD_TITLE, 0), "A Disc Title Longer Than Twelve");
  EXPECT_STREQ(cdtext_get_const(cdtext, CDTEXT_FIELD_TITLE, 1), "First Song");
  EXPECT_STREQ(cdtext_get_const(cdtext, CDTEXT_FIELD_TITLE, 2), "Second");
  EXPECT_STREQ(cdtext_get_const(cdtext, CDTEXT_FIELD_PERFORMER, 0), "The Band");
  EXPECT_STREQ(cdtext_get_const(cdtext, CDTEXT_FIELD_PERFORMER, 1), "Singer One");
  cdtext_destroy(cdtext);
  // Other queries, and one that is not known.
  DWORD n = 8;
  BYTE toc[8];
  EXPECT_EQ(drive->QueryDisc(CDRQ_TOC, &n, toc), 0);
  EXPECT_EQ(n, 8u);
  EXPECT_EQ(drive->QueryDisc(9, &n, toc), 6);
  n = 32;
  BYTE atip[32];
  EXPECT_EQ(drive->QueryDisc(CDRQ_ATIP, &n, atip), 1);  // a pressed disc has none
  EXPECT_EQ(n, 0u);
}

TEST_F(DriveTest, ACdTextLengthBeyondTheRecordIsCut) {
  auto fake = std::make_unique<FakeTransport>(1);
  fake->answer = [](const vexa::scsi::Command& c) {
    vexa::scsi::Result r;
    if (c.length) std::memset(c.data, 0x11, c.length);
    if (c.cdb[0] == 0x43) {
      c.data[0] = 9000 >> 8;  // more than the 8194 a record holds
      c.data[1] = 9000 & 0xFF;
    }
    r.transferred = c.length;
    return r;
  };
  FakeTransport* t = fake.get();
  discpak::ComsInstallTransport(std::move(fake));
  LatchingDrive drive(0, nullptr);
  std::vector<BYTE> text(8196, 0);
  ASSERT_EQ(drive.ReadCDText(text.data()), 0);
  WORD length;
  std::memcpy(&length, text.data(), 2);
  EXPECT_EQ(length, 8194u);
  EXPECT_EQ(text[8195], 0x11);
  // The second read asked for exactly the record.
  ASSERT_GE(t->calls.size(), 2u);
  const auto& last = t->calls.back().cdb;
  EXPECT_EQ((last[7] << 8) | last[8], 8196);
}

}  // namespace
