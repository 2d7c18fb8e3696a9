// cdr-cli run as a program on a simulated recorder.
#include <gtest/gtest.h>

#include <string>

#include "platform/base/Path.h"
#include "tests/support/Checkers.h"

namespace {

std::string RunTool(const std::string& args, int* status) {
  return vexa::testsupport::ShellOutput(std::string(VEXA_BUILD_DIR) + "/bin/" + args + " 2>&1", status);
}

TEST(CdrCli, ListsWritesReadsAndBlanksADisc) {
  const std::string dir = vexa::base::MakeTempDir(vexa::base::TempDirectory(), "cdrcli");
  const std::string sim = dir + "/drive";
  setenv("VEXA_REGISTRY_DIR", (dir + "/registry").c_str(), 1);
  int status = 0;
  std::string out = RunTool("cdrsim create " + sim + " --media cdrw", &status);
  ASSERT_EQ(status, 0) << out;
  const std::string cli = "cdr-cli --sim " + sim + " ";

  out = RunTool(cli + "drives", &status);
  EXPECT_EQ(status, 0) << out;
  EXPECT_NE(out.find("0: VEXASIM CD-RW SIM 52X   1.00"), std::string::npos) << out;
  EXPECT_NE(out.find("CDR CDRW WRITETAO WRITESAO"), std::string::npos) << out;
  EXPECT_NE(out.find("write speed 52"), std::string::npos) << out;

  vexa::base::WriteFileAtomic(dir + "/data.bin", std::string(2048 * 40 + 100, 'x'));
  out = RunTool(cli + "--log " + dir + "/comslog.txt write --xa " + dir + "/data.bin", &status);
  EXPECT_EQ(status, 0) << out;
  EXPECT_NE(out.find("wrote 41 sectors"), std::string::npos) << out;
  std::string log;
  vexa::base::ReadFile(dir + "/comslog.txt", &log);
  EXPECT_NE(log.find("DoTAOWrite: Finished"), std::string::npos);

  out = RunTool(cli + "toc", &status);
  EXPECT_EQ(status, 0) << out;
  EXPECT_NE(out.find("track 01: data at 0"), std::string::npos) << out;
  EXPECT_NE(out.find("lead-out at 43"), std::string::npos) << out;
  out = RunTool(cli + "disc", &status);
  EXPECT_NE(out.find("disc: complete, erasable, 1 session(s)"), std::string::npos) << out;

  out = RunTool(cli + "write " + dir + "/data.bin", &status);
  EXPECT_EQ(status, 1);
  EXPECT_NE(out.find("cdr-cli: cannot start the track: Invalid track number."), std::string::npos) << out;

  out = RunTool(cli + "blank", &status);
  EXPECT_EQ(status, 0) << out;
  out = RunTool(cli + "disc", &status);
  EXPECT_NE(out.find("disc: blank, erasable"), std::string::npos) << out;
  out = RunTool(cli + "-d 3 disc", &status);
  EXPECT_EQ(status, 1);

  // Fixed packets on a small rewritable disc.
  const std::string small = dir + "/small";
  RunTool("cdrsim create " + small + " --media cdrw --capacity 1100", &status);
  ASSERT_EQ(status, 0);
  const std::string fp = "cdr-cli --sim " + small + " ";
  out = RunTool(fp + "packet-write " + dir + "/data.bin", &status);
  EXPECT_EQ(status, 1) << out;
  out = RunTool(fp + "format-fp --packet 0", &status);
  EXPECT_EQ(status, 1) << out;
  out = RunTool(fp + "format-fp --packet 16", &status);
  EXPECT_EQ(status, 0) << out;
  out = RunTool(fp + "packet-write --at 32 " + dir + "/data.bin", &status);
  EXPECT_EQ(status, 0) << out;
  EXPECT_NE(out.find("wrote 48 blocks at 32 in packets of 16"), std::string::npos) << out;
  out = RunTool(fp + "packet-write --at 8 " + dir + "/data.bin", &status);
  EXPECT_EQ(status, 1) << out;
  unsetenv("VEXA_REGISTRY_DIR");
  vexa::base::RemoveAll(dir);
}

}  // namespace
