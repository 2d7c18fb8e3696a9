// cdrsim run as a program: a folder is set up, takes a pressed disc and
// faults, and shows its disc and trace.
#include <gtest/gtest.h>
#include <unistd.h>

#include <string>

#include "platform/base/Path.h"
#include "platform/scsi/SimConfig.h"
#include "platform/scsi/SimDrive.h"
#include "tests/support/Checkers.h"

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

}  // namespace
