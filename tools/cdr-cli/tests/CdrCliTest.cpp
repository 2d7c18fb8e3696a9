// cdr-cli run as a program on a simulated recorder.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <map>
#include <string>

#include "platform/base/Path.h"
#include "tests/support/Checkers.h"
#include "tests/support/FileTree.h"

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

// A 44.1 kHz 16-bit stereo WAV file of n sample frames.
std::string Wav(std::uint32_t frames) {
  std::string w = "RIFF";
  auto put32 = [&](std::uint32_t v) {
    for (int i = 0; i < 4; ++i) w.push_back(static_cast<char>(v >> (8 * i)));
  };
  auto put16 = [&](unsigned v) {
    w.push_back(static_cast<char>(v));
    w.push_back(static_cast<char>(v >> 8));
  };
  put32(36 + frames * 4);
  w += "WAVEfmt ";
  put32(16);
  put16(1);
  put16(2);
  put32(44100);
  put32(176400);
  put16(4);
  put16(16);
  w += "data";
  put32(frames * 4);
  for (std::uint32_t i = 0; i < frames * 4; ++i) w.push_back(static_cast<char>(i * 7));
  return w;
}

// The log never replaces what the user has: a file the command reads (by
// any name), a simulated recorder's file, a file that is no log of this
// tool, a link or a folder is refused with status 2 before a drive is
// opened, and nothing in the folder changes, the drive's trace included.
TEST(CdrCli, ALogIsNeverWrittenOverAnythingButAnEarlierLog) {
  const std::string dir = vexa::base::MakeTempDir(vexa::base::TempDirectory(), "cdrcli-log");
  const std::string sim = dir + "/drive";
  setenv("VEXA_REGISTRY_DIR", (dir + "/registry").c_str(), 1);
  int status = 0;
  std::string out = RunTool("cdrsim create " + sim + " --media cdr", &status);
  ASSERT_EQ(status, 0) << out;
  ASSERT_TRUE(vexa::base::WriteFileAtomic(dir + "/a.wav", Wav(44100)));
  ASSERT_TRUE(vexa::base::WriteFileAtomic(dir + "/data.bin", std::string(2048 * 3, 'd')));
  ASSERT_TRUE(vexa::base::WriteFileAtomic(dir + "/notes.txt", "my notes, not a log\n"));
  ASSERT_EQ(link((dir + "/a.wav").c_str(), (dir + "/other-name.wav").c_str()), 0);
  ASSERT_EQ(symlink((dir + "/notes.txt").c_str(), (dir + "/link.log").c_str()), 0);
  vexa::base::MakeDirs(dir + "/logs");
  const std::string cli = "cdr-cli --sim " + sim + " ";
  struct Case {
    std::string command;
    std::string message;
  } cases[] = {
      {cli + "--log " + dir + "/a.wav audio --sao " + dir + "/a.wav",
       "the log '" + dir + "/a.wav' is the input '" + dir + "/a.wav'; give another log file"},
      {cli + "--log " + dir + "/other-name.wav audio --raw --title T " + dir + "/a.wav=One/Me",
       "the log '" + dir + "/other-name.wav' is the input '" + dir + "/a.wav'; give another log file"},
      {cli + "--log " + dir + "/data.bin write --xa " + dir + "/data.bin",
       "the log '" + dir + "/data.bin' is the input '" + dir + "/data.bin'; give another log file"},
      {cli + "--log " + dir + "/data.bin packet-write --at 16 " + dir + "/data.bin",
       "the log '" + dir + "/data.bin' is the input '" + dir + "/data.bin'; give another log file"},
      {cli + "--log " + sim + "/drive.conf disc",
       "the log '" + sim + "/drive.conf' is in the simulated recorder's folder '" + sim +
           "', whose files are the drive's; give another log file"},
      {"cdr-cli --log " + sim + "/new.log toc",
       "the log '" + sim + "/new.log' is in the simulated recorder's folder '" + sim +
           "', whose files are the drive's; give another log file"},
      {cli + "--log " + dir + "/notes.txt drives",
       "'" + dir + "/notes.txt' is not a log of cdr-cli (its first line does not read \"cdr-cli drive-command log\"); "
       "it is left as it is: give a new file or an earlier log"},
      {cli + "--log " + dir + "/link.log drives", "'" + dir + "/link.log' is a symbolic link; no log is written through it"},
      {cli + "--log " + dir + "/logs disc", "'" + dir + "/logs' is a folder, not a log file"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.command);
    const auto before = vexa::testsupport::FileTree(dir);
    // Without --sim the recorder comes from the setting.
    const std::string env = c.command.rfind("cdr-cli --sim", 0) == 0 ? "" : "VEXA_SCSI_TRANSPORT=sim:" + sim + " ";
    out = vexa::testsupport::ShellOutput(env + std::string(VEXA_BUILD_DIR) + "/bin/" + c.command + " 2>&1", &status);
    EXPECT_EQ(status, 2) << out;
    EXPECT_EQ(out, "cdr-cli: " + c.message + "\n");
    EXPECT_TRUE(vexa::testsupport::FileTree(dir) == before) << "a file changed";
  }

  // A log of this tool begins with its line, and is begun anew the next
  // time; so is an empty file.
  const std::string log = dir + "/logs/coms.txt";
  for (int round = 0; round < 2; ++round) {
    out = RunTool(cli + "--log " + log + " disc", &status);
    EXPECT_EQ(status, 0) << out;
    std::string text;
    ASSERT_TRUE(vexa::base::ReadFile(log, &text));
    EXPECT_EQ(text.substr(8, 27), "  cdr-cli drive-command log") << text;
    EXPECT_EQ(text.find("drive-command log", 40), std::string::npos) << "the old log was kept\n" << text;
  }
  ASSERT_TRUE(vexa::base::WriteFileAtomic(dir + "/empty.txt", ""));
  out = RunTool(cli + "--log " + dir + "/empty.txt disc", &status);
  EXPECT_EQ(status, 0) << out;
  std::string text;
  ASSERT_TRUE(vexa::base::ReadFile(dir + "/empty.txt", &text));
  EXPECT_EQ(text.substr(10, 25), "cdr-cli drive-command log") << text;

  // --help says how a log is recognised, and touches nothing.
  const auto before = vexa::testsupport::FileTree(dir);
  out = vexa::testsupport::ShellOutput(std::string(VEXA_BUILD_DIR) + "/bin/" + cli + "--help 2>/dev/null", &status);
  EXPECT_EQ(status, 0) << out;
  EXPECT_NE(out.find("\"cdr-cli drive-command log\""), std::string::npos) << out;
  EXPECT_TRUE(vexa::testsupport::FileTree(dir) == before);
  unsetenv("VEXA_REGISTRY_DIR");
  vexa::base::RemoveAll(dir);
}

}  // namespace
