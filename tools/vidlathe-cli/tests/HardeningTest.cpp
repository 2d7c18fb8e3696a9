// vidlathe-cli against hostile inputs and arguments, one table per class:
// stream inputs that are not what they claim to be, calls that must say why
// they failed, and numbers out of range. Every row checks the exit status,
// the message, and that nothing already on disk changed and nothing was
// left behind.
#include <gtest/gtest.h>
#include <dirent.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "encoder/tests/TestSupport.h"
#include "tests/support/OtherUser.h"

namespace vidlathe::testing {
namespace {

std::string Cli() { return std::string(VEXA_BUILD_DIR) + "/bin/vidlathe-cli"; }

struct Outcome {
  int status = -1;
  std::string message;  // standard error without the progress lines
};

// Runs the tool; asNobody runs it as the unprivileged user (through
// setpriv, as root, from a build tree that user can reach).
Outcome Tool(const std::string& args, bool asNobody = false) {
  Outcome o;
  const bool other = asNobody && geteuid() == 0;
  const std::string tool = other ? vexa::testsupport::AsUser(vexa::testsupport::kNobodyId) +
                                       vexa::testsupport::OtherUserProgram("vidlathe-cli")
                                 : Cli();
  const std::string err = Shell(tool + " " + args + " 2>&1 >/dev/null", &o.status);
  // The progress percentages are written on one line with carriage returns.
  for (char c : err)
    if (c == '\r') o.message.clear();
    else o.message.push_back(c);
  while (!o.message.empty() && (o.message.back() == '\n' || o.message.back() == ' ')) o.message.pop_back();
  if (const size_t at = o.message.rfind('\n'); at != std::string::npos) o.message.erase(0, at + 1);
  return o;
}

std::string Bytes(size_t n, unsigned seed) {
  std::mt19937 rng(seed);
  std::string s(n, '\0');
  for (char& c : s) c = static_cast<char>(rng() % 251);  // no start code can form: 01 needs two zeros first
  for (size_t i = 2; i < n; ++i)
    if (s[i - 2] == 0 && s[i - 1] == 0) s[i] = 7;
  return s;
}

std::set<std::string> Names(const std::string& dir) {
  std::set<std::string> out;
  if (DIR* d = opendir(dir.c_str())) {
    while (dirent* e = readdir(d)) out.insert(e->d_name);
    closedir(d);
  }
  out.erase(".");
  out.erase("..");
  return out;
}

class VidlatheCliHardening : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    if (!HaveTool("ffmpeg")) return;
    inputs_ = new TempDir;
    const std::string ntsc = inputs_->File("ntsc.mpg");
    Shell("ffmpeg -nostdin -v error -y -f lavfi -i testsrc2=size=352x240:rate=30000/1001 -f lavfi -i "
          "sine=sample_rate=44100 -t 1 -target ntsc-vcd '" + ntsc + "'");
    Shell("ffmpeg -nostdin -v error -y -f lavfi -i testsrc2=size=320x240:rate=25 -t 0.5 -c:v mpeg1video "
          "-f mpeg1video '" + inputs_->File("video.m1v") + "'");
    Shell("ffmpeg -nostdin -v error -y -f lavfi -i testsrc2=size=352x240 -frames:v 1 '" +
          inputs_->File("photo.png") + "'");
    Shell(Cli() + " still 5 '" + inputs_->File("still.mpg") + "' '" + inputs_->File("photo.png") + "' 2>/dev/null");
    Shell("ffmpeg -nostdin -v error -y -f lavfi -i sine=duration=1:sample_rate=48000 -c:a mp2 '" +
          inputs_->File("a48.mp2") + "'");
    const std::string whole = ReadFile(ntsc);
    // Cut inside its first packets, and inside one of its last packs.
    vexa::base::WriteFileAtomic(inputs_->File("cut-early.mpg"), whole.substr(0, 5000));
    vexa::base::WriteFileAtomic(inputs_->File("cut-late.mpg"), whole.substr(0, whole.size() - 1500));
    vexa::base::WriteFileAtomic(inputs_->File("random.mpg"), Bytes(65536, 1));
    // A pack header, then bytes that hold no start code.
    const std::string pack("\x00\x00\x01\xBA\x21\x00\x01\x00\x01\x80\x1B\x91", 12);
    vexa::base::WriteFileAtomic(inputs_->File("pack-then-garbage.mpg"), pack + Bytes(20000, 2));
    vexa::base::WriteFileAtomic(inputs_->File("empty.mpg"), "");
    mkdir(inputs_->File("folder.mpg").c_str(), 0755);
  }
  static void TearDownTestSuite() {
    delete inputs_;
    inputs_ = nullptr;
  }
  void SetUp() override { VIDLATHE_NEED_TOOL("ffmpeg"); }

  static std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  static std::string In(const std::string& name) { return inputs_->File(name); }

  // Runs args with OUT replaced by an output path that already holds a file:
  // a failing call must leave it as it was and leave nothing beside it.
  Outcome ToolAgainstExistingOutput(std::string args) {
    const std::string out = outputs_.File("out.mpg");
    EXPECT_TRUE(vexa::base::WriteFileAtomic(out, "what was there before"));
    args.replace(args.find("OUT"), 3, "'" + out + "'");
    const Outcome o = Tool(args);
    EXPECT_EQ("what was there before", ReadFile(out)) << args;
    EXPECT_EQ(std::set<std::string>{"out.mpg"}, Names(outputs_.path())) << args;
    return o;
  }

  static TempDir* inputs_;
  TempDir outputs_;
};
TempDir* VidlatheCliHardening::inputs_ = nullptr;

// Joining, copying or splitting streams and reading their properties: every
// input must be what it claims to be, or the command fails, names the file
// and says what is wrong with it.
TEST_F(VidlatheCliHardening, StreamInputsThatAreNotWhatTheyClaim) {
  struct Row {
    std::string input;
    std::string reason;
  };
  const Row rows[] = {
      {In("missing.mpg"), "cannot open: No such file or directory"},
      {In("random.mpg"), "is not an MPEG-1 system, video or audio stream"},
      {In("empty.mpg"), "is not an MPEG-1 system, video or audio stream"},
      {In("pack-then-garbage.mpg"), "has a pack header, but no video or MPEG audio stream follows"},
      {In("cut-early.mpg"), "is cut short: it ends inside a pack or packet"},
      {In("folder.mpg"), "is a folder, not a file"},
  };
  const std::string good = In("ntsc.mpg");
  for (const Row& row : rows) {
    SCOPED_TRACE(row.input);
    const std::string expected = row.input + ": " + row.reason;
    const struct {
      std::string command, args;
    } commands[] = {
        {"props", "props '" + row.input + "'"},
        {"concat-motion", "concat-motion 1 OUT '" + row.input + "'"},
        // A bad input among good ones fails the whole call.
        {"concat-motion", "concat-motion 1 OUT '" + good + "' '" + row.input + "' '" + good + "'"},
        {"concat-stills", "concat-stills 1 OUT '" + In("still.mpg") + "' '" + row.input + "'"},
        {"component", "component 1 OUT '" + good + "' '" + row.input + "'"},
        {"component", "component 1 OUT '" + row.input + "+'"},
    };
    for (const auto& c : commands) {
      const Outcome o = c.command == "props" ? Tool(c.args) : ToolAgainstExistingOutput(c.args);
      EXPECT_EQ(1, o.status) << c.args;
      EXPECT_EQ("vidlathe-cli: " + c.command + " failed: " + expected, o.message) << c.args;
    }
  }
}

// Streams that are real but not what a command takes, and damage that only
// the copy finds.
TEST_F(VidlatheCliHardening, StreamsOfTheWrongFormOrDamagedLate) {
  const struct {
    std::string args, message;
  } rows[] = {
      {"concat-motion 1 OUT '" + In("video.m1v") + "'",
       In("video.m1v") + ": is not an MPEG-1 system stream (it has no pack header)"},
      {"component 1 OUT '" + In("video.m1v") + "'",
       In("video.m1v") + ": is not an MPEG-1 system stream (it has no pack header)"},
      {"concat-motion 1 OUT '" + In("cut-late.mpg") + "'",
       In("cut-late.mpg") + ": is damaged: a pack or packet is malformed or cut short"},
      // Nothing of the mode's kind in the list: no empty stream is written.
      {"concat-motion 1 OUT '" + In("still.mpg") + "'",
       "none of the 1 inputs is a motion video stream, which mode 1 joins"},
      {"concat-stills 4 OUT '" + In("still.mpg") + "'",
       "none of the 1 inputs is a still pair stream, which mode 4 joins"},
      {"component 1 OUT '" + In("video.m1v") + "+" + In("a48.mp2") + "'",
       In("a48.mp2") + ": not MPEG-1 Layer II audio at 44.1 kHz"},
      {"component 1 OUT '" + In("video.m1v") + "+" + In("missing.mp2") + "'",
       In("missing.mp2") + ": cannot open: No such file or directory"},
      {"concat-motion 4 OUT '" + In("ntsc.mpg") + "'", "mode 4 is not one of 1..3"},
  };
  for (const auto& row : rows) {
    const Outcome o = ToolAgainstExistingOutput(row.args);
    EXPECT_EQ(1, o.status) << row.args;
    const std::string command = row.args.substr(0, row.args.find(' '));
    EXPECT_EQ("vidlathe-cli: " + command + " failed: " + row.message, o.message) << row.args;
  }
  // The same inputs that are whole are joined.
  const std::string out = outputs_.File("joined.mpg");
  EXPECT_EQ(0, Tool("concat-motion 1 '" + out + "' '" + In("ntsc.mpg") + "' '" + In("still.mpg") + "'").status);
  EXPECT_EQ(0, Tool("props '" + In("cut-late.mpg") + "'").status);  // the probe reads the start alone
}

// Encoding calls say why they failed, after the system's own text.
TEST_F(VidlatheCliHardening, EncodingFailuresSayWhy) {
  const std::string photo = In("photo.png");
  const struct {
    std::string args, message;
  } rows[] = {
      {"still 13 OUT '" + photo + "'", "vidlathe-cli: still encoding failed: mode 13 is not one of 5..12"},
      {"motion 4 OUT --ms 1000 '" + photo + "'", "vidlathe-cli: motion encoding failed: mode 4 is not one of 5..12"},
      {"v2 5 OUT '" + photo + "'", "vidlathe-cli: Vidlathe2 failed: mode 5 is not one of 1..4"},
      {"still 5 OUT --audio '" + In("a48.mp2") + "' '" + photo + "'",
       "vidlathe-cli: still encoding failed: " + In("a48.mp2") + ": not MPEG-1 Layer II audio at 44.1 kHz"},
      {"still 5 OUT --audio '" + In("missing.mp2") + "' '" + photo + "'",
       "vidlathe-cli: still encoding failed: " + In("missing.mp2") + ": cannot open: No such file or directory"},
      {"v2 1 OUT '" + photo + "'",
       "vidlathe-cli: Vidlathe2 failed: " + photo + ": is not a bitmap the encoder can read: "},
      {"v2 1 OUT '" + In("folder.mpg") + "'", "vidlathe-cli: Vidlathe2 failed: " + In("folder.mpg") + ": is a folder, not a file"},
  };
  for (const auto& row : rows) {
    const Outcome o = ToolAgainstExistingOutput(row.args);
    EXPECT_EQ(1, o.status) << row.args;
    EXPECT_EQ(0u, o.message.find(row.message)) << row.args << "\n" << o.message;
  }
}

constexpr uid_t kNobody = 65534;
constexpr uid_t kOtherUser = 12345;
bool IsRoot() { return geteuid() == 0; }

// Everything under a folder: names, kinds, modes, owners, sizes, contents.
std::string Snapshot(const std::string& dir) {
  std::vector<std::string> rows;
  for (const auto& e : std::filesystem::recursive_directory_iterator(dir)) {
    struct stat st {};
    lstat(e.path().c_str(), &st);
    std::ostringstream row;
    row << e.path().string() << " mode=" << std::oct << st.st_mode << std::dec << " uid=" << st.st_uid
        << " size=" << st.st_size;
    if (S_ISREG(st.st_mode)) {
      std::ifstream in(e.path(), std::ios::binary);
      row << " data=" << std::hash<std::string>{}(std::string(std::istreambuf_iterator<char>(in), {}));
    }
    rows.push_back(row.str());
  }
  std::sort(rows.begin(), rows.end());
  std::string all;
  for (const auto& r : rows) all += r + "\n";
  return all;
}

// Outputs that are not a file the user may write: refused with the reason,
// and nothing on disk changes (the encoder's output goes through the
// system's one output helper).
TEST_F(VidlatheCliHardening, OutputsThatAreRefused) {
  const std::string dir = outputs_.path();
  chmod(dir.c_str(), 0755);
  auto out = [&](const std::string& name) { return dir + "/" + name; };
  ASSERT_TRUE(vexa::base::WriteFileAtomic(out("photo.jpg"), "PHOTO"));
  ASSERT_EQ(0, symlink("photo.jpg", out("link.mpg").c_str()));
  ASSERT_EQ(0, mkdir(out("folder.mpg").c_str(), 0755));
  const std::string photo = In("photo.png");
  struct Case {
    std::string name;
    std::function<bool()> setUp;  // false: the case cannot run here
    bool asNobody;
    std::string target, reason;
  } const cases[] = {
      {"symbolic link", [] { return true; }, false, out("link.mpg"),
       "'" + out("link.mpg") + "' is a symbolic link; it is not replaced (name the file it points to)"},
      {"folder", [] { return true; }, false, out("folder.mpg"), "'" + out("folder.mpg") + "' is a folder"},
      {"missing folder", [] { return true; }, false, out("none/x.mpg"),
       "cannot create a file in '" + out("none") + "' for '" + out("none/x.mpg") + "': No such file or directory"},
      {"read-only file",
       [&] {
         if (!IsRoot()) return false;
         vexa::base::WriteFileAtomic(out("readonly.mpg"), "KEEP");
         chmod(out("readonly.mpg").c_str(), 0444);
         return chown(out("readonly.mpg").c_str(), kNobody, kNobody) == 0 && chown(dir.c_str(), kNobody, kNobody) == 0;
       },
       true, out("readonly.mpg"), "'" + out("readonly.mpg") + "' may not be written: Permission denied"},
      // Another user's photo in a folder the user may write: a rename would
      // replace it and make it the user's.
      {"another user's file",
       [&] {
         if (!IsRoot()) return false;
         vexa::base::WriteFileAtomic(out("theirs.jpg"), "THEIRS");
         chmod(out("theirs.jpg").c_str(), 0644);
         return chown(out("theirs.jpg").c_str(), kOtherUser, kOtherUser) == 0 &&
                chown(dir.c_str(), kNobody, kNobody) == 0;
       },
       true, out("theirs.jpg"), "'" + out("theirs.jpg") + "' may not be written: Permission denied"},
      // A device node given as the output (root only: made with mknod).
      {"full device", [&] { return IsRoot() && mknod(out("full").c_str(), S_IFCHR | 0666, makedev(1, 7)) == 0; },
       false, out("full"), out("full") + ": cannot write the stream: No space left on device"},
  };
  // The unprivileged user must reach the tool and the picture.
  chmod(inputs_->path().c_str(), 0755);
  chmod(photo.c_str(), 0644);
  std::string noOtherUser;
  if (IsRoot() && vexa::testsupport::OtherUserBuildDir(&noOtherUser).empty())
    std::printf("the cases as another user are skipped: %s\n", noOtherUser.c_str());
  else if (IsRoot() && !vexa::testsupport::UserReaches(vexa::testsupport::kNobodyId, photo))
    noOtherUser = "user 65534 cannot reach " + photo;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    if (c.asNobody && !noOtherUser.empty()) {
      std::printf("skipped: %s (%s)\n", c.name.c_str(), noOtherUser.c_str());
      continue;
    }
    if (!c.setUp()) {
      std::printf("skipped: %s (needs root)\n", c.name.c_str());
      continue;
    }
    const std::string before = Snapshot(dir);
    const Outcome o = Tool("still 5 '" + c.target + "' '" + photo + "'", c.asNobody);
    EXPECT_EQ(1, o.status);
    EXPECT_EQ("vidlathe-cli: still encoding failed: " + c.reason, o.message);
    EXPECT_EQ(before, Snapshot(dir));
  }
}

// A device is written as it is and stays a device (the pipe case lies in
// CliTest).
TEST_F(VidlatheCliHardening, DevicesAreWrittenDirectly) {
  if (!IsRoot()) GTEST_SKIP() << "device nodes need root";
  const std::string null = outputs_.File("null");
  ASSERT_EQ(0, mknod(null.c_str(), S_IFCHR | 0666, makedev(1, 3)));
  EXPECT_EQ(0, Tool("still 5 '" + null + "' '" + In("photo.png") + "'").status);
  struct stat st {};
  ASSERT_EQ(0, lstat(null.c_str(), &st));
  EXPECT_TRUE(S_ISCHR(st.st_mode));
}

// An output that is one of the inputs, by any name, is refused before the
// encoder starts, and the input stays as it was.
TEST_F(VidlatheCliHardening, AnOutputThatIsAnInputIsRefused) {
  const std::string photo = In("photo.png");
  ASSERT_EQ(0, symlink(photo.c_str(), outputs_.File("photo-link.mpg").c_str()));
  std::string before;
  ASSERT_TRUE(vexa::base::ReadFile(photo, &before));
  const std::string mp2 = outputs_.File("a.mp2");
  ASSERT_TRUE(vexa::base::WriteFileAtomic(mp2, "MP2"));
  for (const std::string& args :
       {"still 5 '" + photo + "' '" + photo + "'", "v1 1 '" + outputs_.File("photo-link.mpg") + "' '" + photo + "'",
        "still 5 '" + mp2 + "' --audio '" + mp2 + "' '" + photo + "'"}) {
    SCOPED_TRACE(args);
    const Outcome o = Tool(args);
    EXPECT_EQ(2, o.status);
    EXPECT_NE(o.message.find("is the input"), std::string::npos) << o.message;
    std::string after;
    ASSERT_TRUE(vexa::base::ReadFile(photo, &after));
    EXPECT_TRUE(after == before);
  }
  std::string audio;
  ASSERT_TRUE(vexa::base::ReadFile(mp2, &audio));
  EXPECT_EQ(audio, "MP2");
}

// Numbers the tool refuses instead of letting the library clamp them.
TEST_F(VidlatheCliHardening, QuantiserOutOfRange) {
  const std::string photo = In("photo.png");
  for (const char* q : {"0", "-4", "1", "63", "1000", "abc", ""}) {
    const Outcome o = ToolAgainstExistingOutput(std::string("still 5 OUT --quant '") + q + "' '" + photo + "'");
    EXPECT_EQ(2, o.status) << q;
    std::string expected = std::string("vidlathe-cli: --quant takes a quantiser from 2 to 62, not ") + q;
    if (expected.back() == ' ') expected.pop_back();
    EXPECT_EQ(expected, o.message);
  }
  TempDir elsewhere;
  for (const char* q : {"2", "62"}) {
    const std::string out = elsewhere.File(std::string("q") + q + ".mpg");
    EXPECT_EQ(0, Tool(std::string("v1 1 '") + out + "' '" + photo + "' --quant " + q).status) << q;
  }
  const Outcome o = ToolAgainstExistingOutput("still 5 OUT --ms 0 '" + photo + "'");
  EXPECT_EQ(2, o.status);
  EXPECT_EQ("vidlathe-cli: --ms takes a display time from 1 to 1000000 ms, not 0", o.message);
}

}  // namespace
}  // namespace vidlathe::testing
