// Every tool that writes a file, run where another user got there first:
// a symbolic link at the output path (to a file the link's maker wants
// overwritten), another user's FIFO (which would hand them the output), and
// another user's world-writable file (which must be replaced, never written
// in place: a hard link to it keeps the old contents). Each is refused with
// its reason or replaced by a file no other user may change.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <functional>
#include <string>
#include <vector>

#include "platform/base/Path.h"
#include "tests/support/Checkers.h"
#include "tests/support/OtherUser.h"

namespace {

using vexa::testsupport::Shell;

constexpr uid_t kOtherUser = 12345;
constexpr uid_t kNobody = 65534;

const std::string kBin = std::string(VEXA_BUILD_DIR) + "/bin/";
const std::string kSamples = std::string(VEXA_TEST_SOURCE_DIR) + "/../../data/samples";

std::string Quote(const std::string& s) {
  std::string q = "'";
  for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

std::string Read(const std::string& path) {
  std::string s;
  vexa::base::ReadFile(path, &s);
  return s;
}

struct stat Lstat(const std::string& path) {
  struct stat st {};
  lstat(path.c_str(), &st);
  return st;
}

// A tool and how it is told to write: Command(folder, output) is the
// command line; the output is the file at path Output(folder) (a folder
// tool writes a fixed name into the folder it is given).
struct Tool {
  std::string name;
  std::function<std::string(const std::string& in, const std::string& folder)> command;
  std::string file;  // the output's name inside folder
  bool saysWhy;      // refuses with the output rules' reason (else it goes on without that output)
  bool asNobody;     // can run as another user (needs no registry of its own)
};

class ToolOutputs : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = vexa::base::MakeTempDir(vexa::base::TempDirectory(), "vexa-outputs-");
    ASSERT_FALSE(dir_.empty());
    chmod(dir_.c_str(), 0755);
    in_ = dir_ + "/in";
    vexa::base::MakeDirs(in_);
    chmod(in_.c_str(), 0755);
    Shell("cp " + Quote(kSamples + "/photos/boats.jpg") + " " + Quote(kSamples + "/music/theme.mp3") + " " +
          Quote(in_));
    vexa::base::WriteFileAtomic(in_ + "/lists.txt", "max 1\n");
    vexa::base::MakeDirs(in_ + "/tree");
    vexa::base::WriteFileAtomic(in_ + "/tree/a.txt", "a file\n");
    for (const char* f : {"/boats.jpg", "/theme.mp3", "/lists.txt", "/tree/a.txt"}) chmod((in_ + f).c_str(), 0644);
    chmod((in_ + "/tree").c_str(), 0755);
  }
  void TearDown() override { vexa::base::RemoveAll(dir_); }

  // A fresh folder for one case, writable by everyone (not sticky): a
  // rename there replaces whoever's file is in it.
  std::string Folder(const std::string& name) {
    const std::string f = dir_ + "/" + name;
    vexa::base::MakeDirs(f);
    chmod(f.c_str(), 0777);
    return f;
  }

  // The tools, run from the build tree's bin/ folder binDir.
  static std::vector<Tool> Tools(const std::string& binDir = kBin) {
    auto bin = [binDir](const char* t) { return Quote(binDir + t); };
    return {
        {"aras-cat", [=](auto& in, auto& f) { return bin("aras-cat") + " -q " + Quote(in + "/theme.mp3") + " " + Quote(f + "/out.wav"); },
         "out.wav", true, true},
        {"vcd-encode audio", [=](auto& in, auto& f) { return bin("vcd-encode") + " audio " + Quote(f + "/out.mp2") + " " + Quote(in + "/theme.mp3"); },
         "out.mp2", true, true},
        {"vcd-encode video", [=](auto& in, auto& f) { return bin("vcd-encode") + " video -f 3 " + Quote(f + "/out.mpg") + " " + Quote(in + "/boats.jpg"); },
         "out.mpg", true, true},
        {"vcd-lists LOT", [=](auto& in, auto& f) { return bin("vcd-lists") + " " + Quote(in + "/lists.txt") + " " + Quote(f + "/LOT.VCD") + " " + Quote(f + "/PSD.VCD"); },
         "LOT.VCD", true, true},
        {"vcd-lists PSD", [=](auto& in, auto& f) { return bin("vcd-lists") + " " + Quote(in + "/lists.txt") + " " + Quote(f + "/LOT.VCD") + " " + Quote(f + "/PSD.VCD"); },
         "PSD.VCD", true, true},
        {"vidlathe-cli", [=](auto& in, auto& f) { return bin("vidlathe-cli") + " still 5 " + Quote(f + "/out.mpg") + " " + Quote(in + "/boats.jpg"); },
         "out.mpg", true, true},
        {"isofs-mkimage", [=](auto& in, auto& f) { return bin("isofs-mkimage") + " " + Quote(in + "/tree") + " " + Quote(f + "/out.iso"); },
         "out.iso", true, true},
        {"pdf-demo", [=](auto&, auto& f) { return bin("pdf-demo") + " " + Quote(f + "/out.pdf"); }, "out.pdf", true, true},
        {"vexaprt-make", [=](auto& in, auto& f) { return bin("vexaprt-make") + " " + Quote(f) + " " + Quote(in + "/boats.jpg"); },
         "CONTACT.PDF", true, false},
        {"vexa-img", [=](auto& in, auto& f) { return bin("vexa-img") + " any2jpg " + Quote(in + "/boats.jpg") + " " + Quote(f + "/out.jpg"); },
         "out.jpg", true, false},
        {"vexa-album", [=](auto&, auto& f) { return bin("vexa-album") + " new " + Quote(f + "/out.xml"); }, "out.xml", true, false},
        {"uicommon-demo", [=](auto&, auto& f) { return "env QT_QPA_PLATFORM=offscreen " + bin("uicommon-demo") + " --screenshot " + Quote(f + "/shot.png"); },
         "shot.png", true, false},
        {"cdr-cli --log", [=](auto&, auto& f) { return bin("cdr-cli") + " --sim " + Quote(f + "/nodrive") + " --log " + Quote(f + "/coms.txt") + " drives"; },
         "coms.txt", true, true},
    };
  }

  std::string dir_, in_;
};

// A link at the output path: the file it points to is never written, the
// link stays, and the refusal names the reason.
TEST_F(ToolOutputs, APlantedLinkIsNeverWrittenThrough) {
  int n = 0;
  for (const Tool& t : Tools()) {
    SCOPED_TRACE(t.name);
    const std::string folder = Folder("link" + std::to_string(++n));
    const std::string victim = dir_ + "/victim" + std::to_string(n);
    ASSERT_TRUE(vexa::base::WriteFileAtomic(victim, "VICTIM"));
    const std::string out = folder + "/" + t.file;
    ASSERT_EQ(symlink(victim.c_str(), out.c_str()), 0);
    std::string log;
    const int rc = Shell("timeout 120 " + t.command(in_, folder), &log);
    EXPECT_EQ(Read(victim), "VICTIM") << log;
    EXPECT_TRUE(S_ISLNK(Lstat(out).st_mode));
    if (t.saysWhy) {
      EXPECT_NE(rc, 0) << log;
      EXPECT_NE(log.find("'" + out + "' is a symbolic link"), std::string::npos) << log;
    }
  }
}

// Another user's FIFO at the output path would give them what is written:
// it is not opened (so nothing waits for a reader) and stays as it was.
TEST_F(ToolOutputs, AnotherUsersFifoIsNotWritten) {
  if (geteuid() != 0) GTEST_SKIP() << "a FIFO of another user needs root to set up";
  int n = 0;
  for (const Tool& t : Tools()) {
    SCOPED_TRACE(t.name);
    const std::string folder = Folder("fifo" + std::to_string(++n));
    const std::string out = folder + "/" + t.file;
    ASSERT_EQ(mkfifo(out.c_str(), 0666), 0);
    ASSERT_EQ(chown(out.c_str(), kOtherUser, kOtherUser), 0);
    std::string log;
    const int rc = Shell("timeout 120 " + t.command(in_, folder), &log);
    EXPECT_NE(rc, 124) << "the tool waited on the FIFO\n" << log;
    EXPECT_TRUE(S_ISFIFO(Lstat(out).st_mode));
    if (t.saysWhy) {
      EXPECT_NE(rc, 0) << log;
      EXPECT_NE(log.find("'" + out + "' is a FIFO of another user"), std::string::npos) << log;
    }
  }
}

// Another user's file that everyone may write, in a folder everyone may
// write: root's output replaces it (a hard link to the old file keeps its
// contents) and is root's own, with no group or world write bits; another
// unprivileged user's output likewise replaces it rather than writing into
// it.
TEST_F(ToolOutputs, AnotherUsersFileIsReplacedNeverWrittenInPlace) {
  if (geteuid() != 0) GTEST_SKIP() << "another user's file needs root to set up";
  std::string noOtherUser;
  const std::string otherBuild = vexa::testsupport::OtherUserBuildDir(&noOtherUser);
  if (otherBuild.empty()) std::printf("the runs as another user are skipped: %s\n", noOtherUser.c_str());
  int n = 0;
  for (const bool asNobody : {false, true}) {
    if (asNobody && otherBuild.empty()) continue;
    for (const Tool& t : asNobody ? Tools(otherBuild + "/bin/") : Tools()) {
      if (asNobody && !t.asNobody) continue;
      SCOPED_TRACE(t.name + (asNobody ? " as nobody" : " as root"));
      const std::string folder = Folder("theirs" + std::to_string(++n));
      const std::string out = folder + "/" + t.file, kept = dir_ + "/kept" + std::to_string(n);
      ASSERT_TRUE(vexa::base::WriteFileAtomic(out, "THEIRS"));
      ASSERT_EQ(chown(out.c_str(), kOtherUser, kOtherUser), 0);
      ASSERT_EQ(chmod(out.c_str(), 0666), 0);
      ASSERT_EQ(link(out.c_str(), kept.c_str()), 0);
      const std::string as =
          asNobody ? "env TMPDIR=" + Quote(folder) + " " + vexa::testsupport::AsUser(kNobody) : std::string();
      std::string log;
      const int rc = Shell("timeout 120 " + as + t.command(in_, folder), &log);
      // The tool ran (as that user, too): not refused by the loader or the shell.
      EXPECT_TRUE(rc != 124 && rc != 126 && rc != 127 && log.find("error while loading") == std::string::npos)
          << rc << "\n" << log;
      EXPECT_EQ(Read(kept), "THEIRS") << "written in place\n" << log;
      const struct stat st = Lstat(out);
      if (Read(out) != "THEIRS") {
        EXPECT_NE(st.st_uid, kOtherUser) << log;
        EXPECT_EQ(st.st_mode & 022, 0u) << std::oct << st.st_mode << "\n" << log;
        EXPECT_EQ(st.st_uid, asNobody ? kNobody : 0u) << log;
      }
    }
  }
}

}  // namespace
