// cdrsim run as a program: a folder is set up, takes a pressed disc and
// faults, and shows its disc and trace.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <map>
#include <string>

#include "platform/base/Path.h"
#include "platform/scsi/SimConfig.h"
#include "platform/scsi/SimDrive.h"
#include "tests/support/Checkers.h"
#include "tests/support/FileTree.h"

namespace {

std::string RunTool(const std::string& args, int* status) {
  return vexa::testsupport::ShellOutput(std::string(VEXA_BUILD_DIR) + "/bin/cdrsim " + args + " 2>&1", status);
}

TEST(Cdrsim, SetsUpAFolderAndShowsWhatIsInIt) {
  const std::string dir = vexa::base::MakeTempDir(vexa::base::TempDirectory(), "cdrsim");
  const std::string folder = dir + "/drive";
  int status = 0;
  std::string out = RunTool("profiles", &status);
  EXPECT_EQ(status, 0);
  EXPECT_NE(out.find("old-reader"), std::string::npos);

  out = RunTool("create " + folder + " --profile mmc2-writer --media cdrw --autoblank", &status);
  EXPECT_EQ(status, 0) << out;
  vexa::scsi::sim::SimConfig c;
  std::string error;
  ASSERT_TRUE(vexa::scsi::sim::LoadConfig(folder, &c, &error)) << error;
  EXPECT_EQ(c.profile, "mmc2-writer");
  EXPECT_EQ(c.media, "cdrw");
  EXPECT_TRUE(c.autoBlank);
  out = RunTool("disc " + folder, &status);
  EXPECT_EQ(status, 0);
  EXPECT_NE(out.find("media cdrw, blank"), std::string::npos) << out;

  out = RunTool("fault " + folder + " add 'busy op=35 count=3'", &status);
  EXPECT_EQ(status, 0) << out;
  EXPECT_NE(out.find("fault = busy op=35 count=3"), std::string::npos) << out;
  out = RunTool("fault " + folder + " add 'melt op=35'", &status);
  EXPECT_EQ(status, 1);
  EXPECT_NE(out.find("unknown fault kind"), std::string::npos) << out;

  // A pressed audio CD from a .bin/.cue, for ripping.
  vexa::base::WriteFileAtomic(dir + "/a.bin", std::string(2352 * 400, '\x01'));
  vexa::base::WriteFileAtomic(dir + "/a.cue",
                              "FILE \"a.bin\" BINARY\n  TRACK 01 AUDIO\n    TITLE \"One\"\n    INDEX 01 00:00:00\n"
                              "  TRACK 02 AUDIO\n    INDEX 01 00:03:00\n");
  out = RunTool("load " + folder + " rom:" + dir + "/a.cue", &status);
  EXPECT_EQ(status, 0) << out;
  EXPECT_NE(out.find("track 01: audio, pregap 0, start 0, length 225, \"One\""), std::string::npos) << out;
  EXPECT_NE(out.find("track 02: audio, pregap 225, start 225, length 175"), std::string::npos) << out;
  out = RunTool("load " + folder + " rom:" + dir + "/missing.cue", &status);
  EXPECT_EQ(status, 1);

  {
    auto drive = vexa::scsi::sim::SimDrive::Open(folder, &error);
    ASSERT_TRUE(drive) << error;
    const unsigned char tur[6] = {};
    vexa::scsi::Command cmd;
    cmd.cdb = tur;
    cmd.cdbLength = 6;
    drive->Execute(cmd);
    // A program that locks the tray keeps it shut.
    const unsigned char prevent[6] = {0x1E, 0, 0, 0, 1, 0};
    cmd.cdb = prevent;
    ASSERT_TRUE(drive->Execute(cmd).Ok());
    out = RunTool("load " + folder + " cdr", &status);
    EXPECT_EQ(status, 1);
    EXPECT_NE(out.find("is locked: process " + std::to_string(getpid()) + " prevents medium removal"),
              std::string::npos)
        << out;
    // Unlocked, the disc changes under the program, which is told on its
    // next command, once.
    const unsigned char allow[6] = {0x1E, 0, 0, 0, 0, 0};
    cmd.cdb = allow;
    ASSERT_TRUE(drive->Execute(cmd).Ok());
    out = RunTool("load " + folder + " cdr", &status);
    EXPECT_EQ(status, 0) << out;
    EXPECT_NE(out.find("media cdr, blank"), std::string::npos) << out;
    cmd.cdb = tur;
    const auto told = drive->Execute(cmd);
    EXPECT_EQ(told.SenseKey(), 6);
    EXPECT_EQ(told.Asc(), 0x28);
    EXPECT_TRUE(drive->Execute(cmd).Ok());
    EXPECT_EQ(drive->Disc().kind, vexa::scsi::sim::MediaKind::CdR);
  }
  out = RunTool("trace " + folder + " 2", &status);
  EXPECT_EQ(status, 0);
  EXPECT_NE(out.find("00 00 00 00 00 00 len=0 -> GOOD"), std::string::npos) << out;
  vexa::base::RemoveAll(dir);
}

// A media name the tray does not know is refused, and the drive keeps its
// disc and its settings (a drive.conf naming unknown media would no longer
// open).
TEST(Cdrsim, RefusesUnknownMedia) {
  const std::string dir = vexa::base::MakeTempDir(vexa::base::TempDirectory(), "cdrsim");
  const std::string drive = dir + "/drive";
  int status = 0;
  std::string out = RunTool("create " + drive + " --media cdrw", &status);
  ASSERT_EQ(status, 0) << out;
  const std::string known = " (none, cdr, cdrw, dvdr, dvdrw, dvdprw or rom:FILE.cue)\n";
  struct Case {
    std::string args;
    std::string said;
  } cases[] = {
      {"load " + drive + " zzz", "cdrsim: unknown media 'zzz'" + known},
      {"load " + drive + " CDR", "cdrsim: unknown media 'CDR'" + known},
      {"load " + drive + " rom:", "cdrsim: unknown media 'rom:'" + known},
      {"load " + drive + " ''", "cdrsim: unknown media ''" + known},
      {"create " + drive + " --media zzz", "cdrsim: unknown media 'zzz'" + known},
      {"create " + dir + "/new --media dvd", "cdrsim: unknown media 'dvd'" + known},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args);
    const auto before = vexa::testsupport::FileTree(dir);
    out = RunTool(c.args, &status);
    EXPECT_EQ(status, 1) << out;
    EXPECT_EQ(out, c.said);
    EXPECT_TRUE(vexa::testsupport::FileTree(dir) == before) << "a file changed";
  }
  out = RunTool("disc " + drive, &status);
  EXPECT_EQ(status, 0) << out;
  EXPECT_NE(out.find("media cdrw, blank"), std::string::npos) << out;
  vexa::base::RemoveAll(dir);
}

// A folder that holds something and is no recorder (neither drive.conf nor
// disc.state in it) is never made into one: create, load and fault refuse
// it, naming what it holds, and every file in it keeps its bytes. An empty
// folder or a recorder's own is taken.
TEST(Cdrsim, NeverTurnsAFolderOfPhotosIntoADrive) {
  const std::string dir = vexa::base::MakeTempDir(vexa::base::TempDirectory(), "cdrsim");
  const std::string photos = dir + "/photos";
  ASSERT_TRUE(vexa::base::MakeDirs(photos + "/2023"));
  ASSERT_TRUE(vexa::base::WriteFileAtomic(photos + "/holiday.jpg", std::string("\xFF\xD8 a photo", 10)));
  ASSERT_TRUE(vexa::base::WriteFileAtomic(photos + "/2023/beach.jpg", std::string("\xFF\xD8 another", 10)));
  const std::string holds = "cdrsim: " + photos + " is no simulated recorder: it holds 2023, holiday.jpg and neither "
                            "drive.conf nor disc.state; nothing was changed";
  struct Case {
    std::string args;
    std::string said;
  } cases[] = {
      {"create " + photos, holds + " (create takes a new or empty folder, or a recorder's)\n"},
      {"create " + photos + " --media cdr --autoblank", holds + " (create takes a new or empty folder, or a recorder's)\n"},
      {"load " + photos + " cdr", holds + "\n"},
      {"fault " + photos + " add 'busy op=35 count=3'", holds + "\n"},
      {"fault " + photos + " clear", holds + "\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args);
    const auto before = vexa::testsupport::FileTree(dir);
    int status = 0;
    const std::string out = RunTool(c.args, &status);
    EXPECT_EQ(status, 1) << out;
    EXPECT_EQ(out, c.said);
    EXPECT_TRUE(vexa::testsupport::FileTree(dir) == before) << "a file changed";
  }
  // An empty folder becomes a recorder, and a recorder is made anew.
  ASSERT_TRUE(vexa::base::MakeDirs(dir + "/empty"));
  for (int round = 0; round < 2; ++round) {
    int status = 0;
    const std::string out = RunTool("create " + dir + "/empty --media cdrw", &status);
    EXPECT_EQ(status, 0) << out;
  }
  vexa::base::RemoveAll(dir);
}

}  // namespace
