// The simulated recorder driven command by command: identification per
// profile, the write parameters it accepts, track-at-once recording with the
// gaps a drive leaves, faults, media and the image files.
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "platform/scsi/SimSector.h"
#include "platform/scsi/tests/SimTestUtil.h"
#include "tests/recorder/Ecma130.h"

namespace {

using namespace simtest;

TEST_F(SimFixture, ProfilesIdentifyThemselves) {
  struct Case {
    const char* conf;
    const char* inquiry;
    bool page2a, getConfig;
  } cases[] = {
      {"profile = cdrw-writer\n", "VEXASIM CD-RW SIM 52X   1.00", true, true},
      {"profile = mmc2-writer\n", "VEXASIM CD-RW SIM MMC2  1.00", true, false},
      {"profile = old-reader\nmedia = none\n", "PLEXTOR CD-ROM PX-40TS  1.04", false, false},
      {"profile = cdrw-writer\nvendor = LG\nproduct = CD-RW CED-8080B\n", "LG      CD-RW CED-8080B 1.00", true, true},
  };
  for (const Case& c : cases) {
    Configure(c.conf);
    vexa::base::RemoveAll(vexa::base::JoinPath(dir_, "disc.state"));
    Open();
    auto inq = In({0x12, 0, 0, 0, 64, 0}, 64);
    ASSERT_GE(inq.size(), 36u);
    EXPECT_EQ(inq[0], 5);
    EXPECT_EQ(std::string(inq.begin() + 8, inq.begin() + 36), c.inquiry);
    Result r;
    auto page = In({0x5A, 0, 0x2A, 0, 0, 0, 0, 0, 32, 0}, 32, &r);
    EXPECT_EQ(r.Ok(), c.page2a) << c.conf;
    if (c.page2a) {
      EXPECT_EQ(page[8], 0xAA);  // page code with its PS bit
    }
    In({0x46, 0, 0, 0, 0, 0, 0, 2, 0, 0}, 512, &r);
    EXPECT_EQ(r.Ok(), c.getConfig) << c.conf;
  }
}

TEST_F(SimFixture, WriteParametersAreCheckedAsADriveChecksThem) {
  Open();
  EXPECT_TRUE(WriteParameters(1, 4, 8, 0).Ok());     // TAO mode 1
  EXPECT_TRUE(WriteParameters(1, 4, 13, 0x20).Ok());  // TAO mode 2 mixed, XA
  EXPECT_TRUE(WriteParameters(1, 0, 0, 0).Ok());     // TAO audio
  EXPECT_TRUE(WriteParameters(3, 0, 3, 0).Ok());     // raw P-W
  EXPECT_EQ(SenseText(WriteParameters(1, 4, 13, 0)), "5/26/00");  // form blocks need XA
  EXPECT_EQ(SenseText(WriteParameters(1, 0, 8, 0)), "5/26/00");   // data block, audio track mode
  EXPECT_EQ(SenseText(WriteParameters(3, 0, 8, 0)), "5/26/00");   // raw needs a raw block type
  EXPECT_EQ(SenseText(WriteParameters(1, 4, 8, 0x30)), "5/26/00");  // session format
  // The mode data length of the header is reserved and must be zero.
  std::vector<std::uint8_t> list(60, 0);
  list[1] = 58;
  list[8] = 0x05;
  list[9] = 0x32;
  list[10] = 1;
  list[11] = 4;
  list[12] = 8;
  EXPECT_EQ(SenseText(Cmd({0x55, 0x10, 0, 0, 0, 0, 0, 0, 60, 0}, Direction::Out, &list)), "5/26/00");
}

TEST_F(SimFixture, TrackAtOnceLeavesRunOutAndPregapAndBuildsEverySector) {
  Open();
  ASSERT_TRUE(WriteParameters(1, 4, 8, 0x20, 0).Ok());
  EXPECT_EQ(TrackInfo(255), std::make_pair(0, 0));
  std::vector<std::uint8_t> mode1(2048 * 100);
  for (std::size_t i = 0; i < mode1.size(); ++i) mode1[i] = static_cast<std::uint8_t>(i * 7 + 3);
  ASSERT_TRUE(Write(0, 100, mode1).Ok());
  EXPECT_EQ(TrackInfo(1), std::make_pair(0, 100));  // the track being written
  ASSERT_TRUE(Cmd({0x35, 0, 0, 0, 0, 0, 0, 0, 0, 0}).Ok());
  // Two run-out blocks and a 150-sector pre-gap.
  EXPECT_EQ(TrackInfo(255), std::make_pair(252, 252));

  ASSERT_TRUE(WriteParameters(1, 4, 13, 0x20, 0).Ok());
  std::vector<std::uint8_t> units(2332 * 40, 0);
  for (int i = 0; i < 40; ++i) {
    std::uint8_t* u = units.data() + i * 2332;
    const std::uint8_t sub[4] = {1, 1, static_cast<std::uint8_t>(i % 2 ? 0x62 : 0x08), 0};
    std::copy(sub, sub + 4, u);
    std::copy(sub, sub + 4, u + 4);
    for (int k = 8; k < 2332; ++k) u[k] = static_cast<std::uint8_t>(k + i);
  }
  EXPECT_EQ(SenseText(Write(253, 40, units)), "5/21/02");  // not the next writable address
  std::vector<std::uint8_t> shortData(2332 * 39);
  EXPECT_EQ(SenseText(Write(252, 40, shortData)), "5/24/00");  // length does not match
  ASSERT_TRUE(Write(252, 40, units).Ok());
  ASSERT_TRUE(Cmd({0x35, 0, 0, 0, 0, 0, 0, 0, 0, 0}).Ok());
  ASSERT_TRUE(Cmd({0x5B, 0, 2, 0, 0, 0, 0, 0, 0, 0}).Ok());

  const SimDisc& disc = drive_->Disc();
  ASSERT_EQ(disc.tracks.size(), 2u);
  EXPECT_EQ(disc.status, DiscStatus::Complete);
  EXPECT_EQ(disc.tracks[1].pregap, 102);
  EXPECT_EQ(disc.tracks[1].start, 252);
  EXPECT_EQ(disc.tracks[1].end, 294);

  std::string bin = ReadFileText(disc.image + ".bin");
  ASSERT_EQ(bin.size(), 294u * 2352);
  for (std::int32_t a = 0; a < 294; ++a) {
    const auto* s = reinterpret_cast<const std::uint8_t*>(bin.data()) + a * 2352;
    EXPECT_EQ(ecma130::SectorProblem(s, a), "") << "sector " << a;
    if (a < 100) {
      EXPECT_EQ(std::memcmp(s + 16, mode1.data() + a * 2048, 2048), 0);
    } else if (a >= 252 && a < 292) {
      const std::uint8_t* u = units.data() + (a - 252) * 2332;
      const bool form2 = (u[2] & 0x20) != 0;
      EXPECT_EQ(std::memcmp(s + 16, u, form2 ? 2332 : 2056), 0) << a;
    }
  }
  const std::string cue = ReadFileText(disc.image + ".cue");
  // FILE is the first line and the first TRACK the second: some players'
  // cue readers look at the first line alone for the image and refuse a
  // sheet whose second line is anything else (a REM line too). The note
  // of who wrote it comes after the last INDEX.
  EXPECT_EQ(cue.rfind("FILE \"" + disc.image + ".bin\" BINARY\n  TRACK 01 MODE1/2352\n", 0), 0u) << cue;
  EXPECT_EQ(cue.substr(cue.rfind("    INDEX ")).find("\nREM written by the simulated recorder\n"),
            std::string("    INDEX 01 00:03:27").size())
      << cue;
  EXPECT_NE(cue.find("TRACK 01 MODE1/2352\n    INDEX 01 00:00:00"), std::string::npos) << cue;
  EXPECT_NE(cue.find("TRACK 02 MODE2/2352\n    INDEX 00 00:01:27\n    INDEX 01 00:03:27"), std::string::npos)
      << cue;
  // A finished disc takes no more writes.
  Result r;
  In({0x52, 1, 0, 0, 0, 0xFF, 0, 0, 36, 0}, 36, &r);
  EXPECT_EQ(SenseText(r), "5/24/00");
}

TEST_F(SimFixture, EmptySectorsCostNoDisk) {
  Open();
  ASSERT_TRUE(WriteParameters(1, 0, 0, 0).Ok());
  std::vector<std::uint8_t> silence(2352 * 1000, 0);
  for (int i = 0; i < 50; ++i) ASSERT_TRUE(Write(i * 1000, 1000, silence).Ok());
  ASSERT_TRUE(Cmd({0x35, 0, 0, 0, 0, 0, 0, 0, 0, 0}).Ok());
  struct stat st;
  ASSERT_EQ(::stat(vexa::base::JoinPath(dir_, drive_->Disc().image + ".bin").c_str(), &st), 0);
  EXPECT_EQ(st.st_size, 50002LL * 2352);
  EXPECT_LT(st.st_blocks * 512LL, 1 << 20);
}

// The recorder's folder holds what was burned (titles, pictures, the
// commands' trace): the folders made for it and every file the drive writes
// there are the user's alone.
TEST_F(SimFixture, TheRecordersFolderAndFilesAreTheUsersAlone) {
  struct Umask {
    mode_t saved = ::umask(022);
    ~Umask() { ::umask(saved); }
  } umask;
  const std::string made = vexa::base::JoinPath(dir_, "made");
  const std::string folder = vexa::base::JoinPath(made, "recorder");
  std::string error;
  SimConfig config;
  ASSERT_TRUE(SaveConfig(folder, config, &error)) << error;
  ASSERT_TRUE(SimDrive::LoadMedia(folder, config.media, &error)) << error;
  drive_ = SimDrive::Open(folder, &error);
  ASSERT_TRUE(drive_) << error;
  ASSERT_TRUE(WriteParameters(1, 4, 8, 0x20, 0).Ok());
  std::vector<std::uint8_t> data(2048 * 20, 0x5A);
  ASSERT_TRUE(Write(0, 20, data).Ok());
  ASSERT_TRUE(Cmd({0x35, 0, 0, 0, 0, 0, 0, 0, 0, 0}).Ok());
  ASSERT_TRUE(Cmd({0x5B, 0, 2, 0, 0, 0, 0, 0, 0, 0}).Ok());
  drive_.reset();

  auto mode = [](const std::string& path) {
    struct stat st {};
    EXPECT_EQ(::lstat(path.c_str(), &st), 0) << path;
    char text[8];
    std::snprintf(text, sizeof text, "%04o", static_cast<unsigned>(st.st_mode & 07777));
    return std::string(text);
  };
  EXPECT_EQ(mode(made), "0700");
  EXPECT_EQ(mode(folder), "0700");
  std::vector<std::string> names;
  for (const auto& e : std::filesystem::directory_iterator(folder)) {
    const std::string name = e.path().filename().string();
    names.push_back(name);
    EXPECT_EQ(mode(e.path().string()), "0600") << name;
  }
  std::sort(names.begin(), names.end());
  // What a burn leaves: the image, its cue sheet, the disc's state, the
  // trace, the drive's configuration and its locks.
  for (const char* ext : {".bin", ".cue"}) {
    EXPECT_NE(std::find(names.begin(), names.end(), std::string("disc-0001") + ext), names.end()) << ext;
  }
  for (const char* name : {"disc.state", "drive.conf", "drive.lock", "trace.txt", "tray.lock"}) {
    EXPECT_NE(std::find(names.begin(), names.end(), name), names.end()) << name;
  }
}

TEST_F(SimFixture, FaultsShowAsADriveWouldShowThem) {
  Configure(
      "fault = busy op=35 count=2\n"
      "fault = check op=2a lba=5 sense=03/0c/00\n"
      "fault = attention\n"
      "fault = hang op=5b count=1\n"
      "fault = page5 wt=2\n");
  Open();
  EXPECT_EQ(SenseText(Cmd({0, 0, 0, 0, 0, 0})), "6/28/00");  // one unit attention
  EXPECT_EQ(SenseText(Cmd({0, 0, 0, 0, 0, 0})), "GOOD");
  EXPECT_EQ(SenseText(WriteParameters(2, 4, 8, 0)), "5/26/00");
  ASSERT_TRUE(WriteParameters(1, 4, 8, 0).Ok());
  std::vector<std::uint8_t> data(2048 * 4);
  EXPECT_TRUE(Write(0, 4, data).Ok());
  EXPECT_EQ(SenseText(Write(4, 4, data)), "3/0c/00");  // covers sector 5
  EXPECT_TRUE(Write(4, 4, data).Ok());                  // the fault fired once
  EXPECT_EQ(SenseText(Cmd({0x35, 0, 0, 0, 0, 0, 0, 0, 0, 0})), "2/04/08");
  EXPECT_EQ(SenseText(Cmd({0x35, 0, 0, 0, 0, 0, 0, 0, 0, 0})), "2/04/08");
  EXPECT_EQ(SenseText(Cmd({0x35, 0, 0, 0, 0, 0, 0, 0, 0, 0})), "GOOD");
  EXPECT_EQ(SenseText(Cmd({0x5B, 0, 2, 0, 0, 0, 0, 0, 0, 0})), "TIMEOUT");
  const std::string trace = ReadFileText("trace.txt");
  EXPECT_NE(trace.find("2a 00 00 00 00 04 00 00 04 00 len=8192 -> CHECK 3/0c/00"), std::string::npos);

  Configure("fault = nomedium\nfault = nogetconfig\n");
  Open();
  EXPECT_EQ(SenseText(Cmd({0, 0, 0, 0, 0, 0})), "2/3a/01");
  EXPECT_EQ(SenseText(Cmd({0x46, 0, 0, 0, 0, 0, 0, 2, 0, 0})), "5/20/00");
}

TEST_F(SimFixture, MalformedConfigurationIsRefusedWithItsLine) {
  Configure("profile = cdrw-writer\nfault = busy op=zz\n");
  std::string error;
  EXPECT_FALSE(SimDrive::Open(dir_, &error));
  EXPECT_NE(error.find("drive.conf:2"), std::string::npos) << error;
  Configure("media = floppy\n");
  EXPECT_FALSE(SimDrive::Open(dir_, &error));
  Configure("profile = reader\nmedia = dvdr\n");
  EXPECT_FALSE(SimDrive::Open(dir_, &error));
  EXPECT_FALSE(SimDrive::Open(dir_ + "/missing", &error));
}

TEST_F(SimFixture, AutoBlankGivesEveryRunANewImage) {
  Configure("autoblank = yes\n");
  std::vector<std::string> images;
  for (int run = 0; run < 2; ++run) {
    Open();
    EXPECT_EQ(drive_->Disc().status, DiscStatus::Blank);
    ASSERT_TRUE(WriteParameters(1, 4, 8, 0).Ok());
    std::vector<std::uint8_t> data(2048 * 10, static_cast<std::uint8_t>(run + 1));
    ASSERT_TRUE(Write(0, 10, data).Ok());
    ASSERT_TRUE(Cmd({0x35, 0, 0, 0, 0, 0, 0, 0, 0, 0}).Ok());
    ASSERT_TRUE(Cmd({0x5B, 0, 2, 0, 0, 0, 0, 0, 0, 0}).Ok());
    images.push_back(drive_->Disc().image);
  }
  EXPECT_EQ(images[0], "disc-0001");
  EXPECT_EQ(images[1], "disc-0002");
  EXPECT_TRUE(vexa::base::FileExists(vexa::base::JoinPath(dir_, "disc-0001.cue")));
  EXPECT_TRUE(vexa::base::FileExists(vexa::base::JoinPath(dir_, "disc-0002.cue")));
  // Ejecting and loading the tray also brings a fresh disc.
  ASSERT_TRUE(Cmd({0x1B, 0, 0, 0, 0x02, 0}).Ok());
  EXPECT_EQ(SenseText(Cmd({0, 0, 0, 0, 0, 0})), "2/3a/02");
  ASSERT_TRUE(Cmd({0x1B, 0, 0, 0, 0x03, 0}).Ok());
  EXPECT_EQ(drive_->Disc().status, DiscStatus::Blank);
}

TEST_F(SimFixture, APressedAudioDiscReadsBackItsSamples) {
  std::string bin(2352 * 600, '\0');
  for (std::size_t i = 0; i < bin.size(); ++i) bin[i] = static_cast<char>(i * 31 / 7);
  ASSERT_TRUE(vexa::base::WriteFileAtomic(vexa::base::JoinPath(dir_, "cd.bin"), bin));
  ASSERT_TRUE(vexa::base::WriteFileAtomic(vexa::base::JoinPath(dir_, "cd.cue"),
                                         "TITLE \"Album\"\nFILE \"cd.bin\" BINARY\n"
                                         "  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n"
                                         "  TRACK 02 AUDIO\n    INDEX 00 00:03:00\n    INDEX 01 00:04:00\n"));
  Configure("profile = reader\nmedia = rom:cd.cue\n");
  Open();
  auto toc = In({0x43, 0, 0, 0, 0, 0, 0, 0x03, 0x24, 0}, 804);
  ASSERT_EQ(toc.size(), 4u + 3 * 8);
  EXPECT_EQ(toc[2], 1);
  EXPECT_EQ(toc[3], 2);
  EXPECT_EQ(toc[4 + 8 + 7], 75 * 4 - 256);  // track 2 at 300
  EXPECT_EQ(toc[4 + 16 + 2], 0xAA);
  EXPECT_EQ(toc[4 + 16 + 6], 600 >> 8);
  auto sectors = In({0xBE, 1 << 2, 0, 0, 0x01, 0x2C, 0, 0, 2, 0xF8, 0, 0}, 2 * 2352);
  ASSERT_EQ(sectors.size(), 2u * 2352);
  EXPECT_EQ(std::memcmp(sectors.data(), bin.data() + 300 * 2352, sectors.size()), 0);
  Result r;
  In({0xBE, 2 << 2, 0, 0, 0, 0, 0, 0, 1, 0x10, 0, 0}, 2048, &r);  // audio read as mode 1
  EXPECT_EQ(SenseText(r), "5/64/00");
  std::vector<std::uint8_t> data(2352);
  EXPECT_EQ(SenseText(Write(0, 1, data)), "5/20/00");  // a reader does not write
}

TEST_F(SimFixture, SpeedsAreClampedToWhatTheDriveHas) {
  Open();
  auto page = [&] { return In({0x5A, 0, 0x2A, 0, 0, 0, 0, 1, 0, 0}, 256); };
  auto p = page();
  ASSERT_GE(p.size(), 8u + 32 + 8 * 4);
  EXPECT_EQ(p[8 + 30] * 256 + p[8 + 31], 8);  // eight write speed descriptors
  const int x52 = (p[8 + 18] << 8) | p[8 + 19];
  EXPECT_EQ(x52, 9173);
  // 128x asks for the highest speed; 11x gets the next lower, 10x.
  ASSERT_TRUE(Cmd({0xBB, 0, 0xFF, 0xFF, 22579 >> 8, 22579 & 0xFF, 0, 0, 0, 0, 0, 0}).Ok());
  p = page();
  EXPECT_EQ((p[8 + 20] << 8) | p[8 + 21], 9173);
  ASSERT_TRUE(Cmd({0xBB, 0, 0xFF, 0xFF, 1940 >> 8, 1940 & 0xFF, 0, 0, 0, 0, 0, 0}).Ok());
  p = page();
  EXPECT_EQ((p[8 + 28] << 8) | p[8 + 29], 1764);
}

TEST_F(SimFixture, BlankingARewritableDiscReportsProgressThenABlankDisc) {
  Configure("media = cdrw\n");
  Open();
  ASSERT_TRUE(WriteParameters(1, 4, 8, 0).Ok());
  std::vector<std::uint8_t> data(2048 * 10);
  ASSERT_TRUE(Write(0, 10, data).Ok());
  ASSERT_TRUE(Cmd({0x35, 0, 0, 0, 0, 0, 0, 0, 0, 0}).Ok());
  ASSERT_TRUE(Cmd({0xA1, 0x11, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}).Ok());
  int notReady = 0;
  for (int i = 0; i < 10 && SenseText(Cmd({0, 0, 0, 0, 0, 0})) == "2/04/07"; ++i) ++notReady;
  EXPECT_GT(notReady, 0);
  EXPECT_EQ(SenseText(Cmd({0, 0, 0, 0, 0, 0})), "GOOD");
  auto info = In({0x51, 0, 0, 0, 0, 0, 0, 0, 34, 0}, 34);
  ASSERT_GE(info.size(), 3u);
  EXPECT_EQ(info[2] & 0x13, 0x10);  // erasable, blank
  Configure("media = cdr\n");
  vexa::base::RemoveAll(vexa::base::JoinPath(dir_, "disc.state"));
  Open();
  EXPECT_EQ(SenseText(Cmd({0xA1, 0x11, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0})), "2/30/06");
}

TEST(SimSector, ScramblerStartsAsEcma130Gives) {
  std::uint8_t s[2352] = {};
  Scramble(s);
  const std::uint8_t expected[] = {0x01, 0x80, 0x00, 0x60, 0x00, 0x28, 0x00, 0x1E, 0x80, 0x08};
  EXPECT_EQ(std::memcmp(s + 12, expected, sizeof expected), 0);
  const auto table = ecma130::ScramblerBytes();
  EXPECT_EQ(std::memcmp(s + 12, table.data(), table.size()), 0);
}

TEST(SimSector, CdTextPacksComeBackFromTheirSymbols) {
  // Two packs (title of the disc and of track 1), CRCs made by the checker's rule.
  std::vector<std::uint8_t> packs(36, 0);
  const char* texts[2] = {"Disc", "Song"};
  for (int i = 0; i < 2; ++i) {
    std::uint8_t* p = packs.data() + 18 * i;
    p[0] = 0x80;
    p[1] = static_cast<std::uint8_t>(i);
    p[2] = static_cast<std::uint8_t>(i);
    std::memcpy(p + 4, texts[i], 4);
    const std::uint16_t crc = QCrc(p, 16);
    p[16] = static_cast<std::uint8_t>(crc >> 8);
    p[17] = static_cast<std::uint8_t>(crc);
    EXPECT_TRUE(ecma130::QCrcOk(p, 16));
  }
  std::vector<std::uint8_t> symbols;
  for (int rep = 0; rep < 5; ++rep) {
    for (std::size_t i = 0; i + 3 <= packs.size(); i += 3) {
      const unsigned v = (packs[i] << 16) | (packs[i + 1] << 8) | packs[i + 2];
      for (int k = 3; k >= 0; --k) symbols.push_back(static_cast<std::uint8_t>((v >> (6 * k)) & 0x3F));
    }
  }
  int bad = 0;
  EXPECT_EQ(PacksFromSymbols(symbols, &bad), packs);
  EXPECT_EQ(bad, 0);
  const auto titles = CdTextField(packs, 0x80, 1);
  EXPECT_EQ(titles[0], "Disc");
  EXPECT_EQ(titles[1], "Song");
}

}  // namespace

namespace {

using namespace simtest;

TEST_F(SimFixture, FormatUnitMakesAFixedPacketTrackOnCdRw) {
  Configure("media = cdrw\ncapacity = 1000\n");
  Open();
  std::vector<std::uint8_t> list = {0, 0x02, 0, 8, 0, 0, 0x03, 0xE8, 0x10 << 2, 0, 0, 32};
  ASSERT_TRUE(Cmd({0x04, 0x11, 0, 0, 0, 0}, Direction::Out, &list).Ok());
  auto info = In({0x52, 1, 0, 0, 0, 1, 0, 0, 36, 0}, 36);
  ASSERT_GE(info.size(), 28u);
  EXPECT_EQ(info[6] & 0x30, 0x30);  // packet, fixed
  EXPECT_EQ(info[23], 32);
  ASSERT_TRUE(WriteParameters(0, 5, 8, 0, 0, 32).Ok());
  std::vector<std::uint8_t> data(32 * 2048, 0x42);
  EXPECT_EQ(SenseText(Write(16, 32, data)), "5/21/02");  // off the packet grid
  EXPECT_TRUE(Write(64, 32, data).Ok());
  auto back = In({0x28, 0, 0, 0, 0, 70, 0, 0, 1, 0}, 2048);
  ASSERT_EQ(back.size(), 2048u);
  EXPECT_EQ(back[0], 0x42);
  // A DVD+RW takes its format type and background format.
  Configure("profile = dvdplus-writer\nmedia = dvdprw\n");
  vexa::base::RemoveAll(vexa::base::JoinPath(dir_, "disc.state"));
  Open();
  std::vector<std::uint8_t> plus = {0, 0, 0, 8, 0x00, 0x23, 0x05, 0x40, 0x98, 0, 0, 1};
  ASSERT_TRUE(Cmd({0x04, 0x11, 0, 0, 0, 0}, Direction::Out, &plus).Ok());
  EXPECT_EQ(SenseText(Cmd({0x04, 0x11, 0, 0, 0, 0}, Direction::Out, &list)), "5/26/00");  // a CD-RW format
}

}  // namespace
