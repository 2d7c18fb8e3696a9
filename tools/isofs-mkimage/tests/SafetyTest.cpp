// isofs-mkimage as a careless or hostile user drives it: outputs that must
// not be replaced, inputs that change while they are read, names that hold
// separators or what a reader refuses, and volume identifiers out of bounds.
// Every refusal says why, exits non-zero and leaves what is on disk as it was.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "platform/base/Path.h"
#include "tests/support/OtherUser.h"
#include "tools/isofs-mkimage/tests/ToolTest.h"

namespace {

using namespace mkimage_test;
namespace fs = std::filesystem;

constexpr uid_t kNobody = 65534;
constexpr uid_t kOtherUser = 12345;

bool IsRoot() { return geteuid() == 0; }

// The command run as the unprivileged user (as root: through setpriv, with
// the tool from a build tree that user can reach).
std::string AsNobody(const std::string& cmd) {
  if (!IsRoot()) return cmd;
  std::string own = cmd;
  if (own.rfind(kTool, 0) == 0) own.replace(0, kTool.size(), vexa::testsupport::OtherUserProgram("isofs-mkimage"));
  return vexa::testsupport::AsUser(kNobody) + own;
}

// Why the cases as the unprivileged user cannot run here ("" when they can).
std::string NoOtherUser() {
  std::string why;
  if (IsRoot() && vexa::testsupport::OtherUserBuildDir(&why).empty()) return why;
  return "";
}

// Everything under a folder: names, kinds, modes, owners, sizes and contents.
std::string Snapshot(const std::string& dir) {
  std::vector<std::string> rows;
  for (const auto& e : fs::recursive_directory_iterator(dir)) {
    struct stat st {};
    lstat(e.path().c_str(), &st);
    std::ostringstream row;
    row << e.path().string() << " mode=" << std::oct << st.st_mode << std::dec << " uid=" << st.st_uid
        << " gid=" << st.st_gid << " size=" << st.st_size;
    if (S_ISREG(st.st_mode)) {
      std::string data;
      vexa::base::ReadFile(e.path().string(), &data);
      row << " data=" << std::hash<std::string>{}(data);
    }
    rows.push_back(row.str());
  }
  std::sort(rows.begin(), rows.end());
  std::string all;
  for (const auto& r : rows) all += r + "\n";
  return all;
}

class Safety : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = vexa::base::MakeTempDir(vexa::base::TempDirectory(), "isofs-safety-");
    ASSERT_FALSE(dir_.empty());
    chmod(dir_.c_str(), 0755);
    src_ = dir_ + "/src";
    out_ = dir_ + "/out";
    vexa::base::MakeDirs(src_);
    vexa::base::MakeDirs(out_);
    chmod(src_.c_str(), 0755);
    chmod(out_.c_str(), 0755);
    WriteFile(src_ + "/a.txt", "a file\n");
    WriteFile(src_ + "/sub/b.txt", "another\n");
    chmod((src_ + "/sub").c_str(), 0755);
  }
  void TearDown() override { vexa::base::RemoveAll(dir_); }

  std::string Out(const std::string& name) const { return out_ + "/" + name; }
  std::string Make(const std::string& options, const std::string& image) const {
    return kTool + " " + options + " " + Quote(src_) + " " + Quote(image);
  }

  std::string dir_, src_, out_;
};

// Outputs that are not a file the user may write: refused before any work,
// with the reason, and nothing on disk changes.
TEST_F(Safety, OutputsThatAreRefused) {
  WriteFile(Out("photo.jpg"), "PHOTO");
  symlink("photo.jpg", Out("link.iso").c_str());
  vexa::base::MakeDirs(Out("folder.iso"));
  struct Case {
    std::string name;
    std::function<bool()> setUp;  // false: the case cannot run here
    bool asNobody;
    std::string target;
    std::string message;
  } cases[] = {
      {"symbolic link", [] { return true; }, false, Out("link.iso"),
       "isofs-mkimage: '" + Out("link.iso") + "' is a symbolic link; it is not replaced (name the file it points to)"},
      {"folder", [] { return true; }, false, Out("folder.iso"), "isofs-mkimage: '" + Out("folder.iso") + "' is a folder"},
      {"missing folder", [] { return true; }, false, Out("none/x.iso"),
       "isofs-mkimage: cannot create a file in '" + Out("none") + "' for '" + Out("none/x.iso") +
           "': No such file or directory"},
      {"read-only file",
       [&] {
         WriteFile(Out("readonly.iso"), "KEEP");
         chmod(Out("readonly.iso").c_str(), 0444);
         return IsRoot() ? chown(Out("readonly.iso").c_str(), kNobody, kNobody) == 0 &&
                               chown(out_.c_str(), kNobody, kNobody) == 0
                         : true;
       },
       true, Out("readonly.iso"), "isofs-mkimage: '" + Out("readonly.iso") + "' may not be written: Permission denied"},
      // Another user's photo in a folder the user may write: a rename would
      // replace it and make it the user's.
      {"another user's file",
       [&] {
         if (!IsRoot()) return false;
         WriteFile(Out("theirs.jpg"), "THEIRS");
         chmod(Out("theirs.jpg").c_str(), 0644);
         return chown(Out("theirs.jpg").c_str(), kOtherUser, kOtherUser) == 0 &&
                chown(out_.c_str(), kNobody, kNobody) == 0;
       },
       true, Out("theirs.jpg"), "isofs-mkimage: '" + Out("theirs.jpg") + "' may not be written: Permission denied"},
      // A device node given as the output (root only: made with mknod).
      {"full device",
       [&] { return IsRoot() && mknod(Out("full").c_str(), S_IFCHR | 0666, makedev(1, 7)) == 0; }, false,
       Out("full"), "isofs-mkimage: cannot write '" + Out("full") + "': No space left on device"},
  };
  const std::string noOtherUser = NoOtherUser();
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
    const std::string before = Snapshot(dir_);
    const std::string cmd = Make("--joliet", c.target);
    const Result r = Shell(c.asNobody ? AsNobody(cmd) : cmd);
    EXPECT_EQ(r.code, 1) << r.out;
    EXPECT_EQ(r.out, c.message + "\n");
    EXPECT_EQ(Snapshot(dir_), before);
  }
}

// A device or a pipe is written as it is: the image goes through it, and it
// stays what it was.
TEST_F(Safety, DevicesAndPipesAreWrittenDirectly) {
  REQUIRE_CHECKER(Have("isoinfo"), "isoinfo (genisoimage)");
  ASSERT_EQ(mkfifo(Out("pipe").c_str(), 0644), 0);
  const Result r = Shell("(" + Make("--joliet", Out("pipe")) + " & cat " + Quote(Out("pipe")) + " > " +
                         Quote(Out("copy.iso")) + "; wait $!)");
  EXPECT_EQ(r.code, 0) << r.out;
  EXPECT_EQ(fs::status(Out("pipe")).type(), fs::file_type::fifo);
  const Result l = Shell("isoinfo -J -l -i " + Quote(Out("copy.iso")));
  EXPECT_EQ(l.code, 0) << l.out;
  EXPECT_NE(l.out.find("a.txt;1"), std::string::npos) << l.out;
  if (!IsRoot()) GTEST_SKIP() << "device nodes need root";
  ASSERT_EQ(mknod(Out("null").c_str(), S_IFCHR | 0666, makedev(1, 3)), 0);
  const Result n = Shell(Make("", Out("null")));
  EXPECT_EQ(n.code, 0) << n.out;
  EXPECT_EQ(fs::status(Out("null")).type(), fs::file_type::character);
}

// A new image gets what the umask allows (not 0600); an image written into
// the folder it images leaves itself out.
TEST_F(Safety, NewImagesFollowTheUmaskAndLeaveThemselvesOut) {
  REQUIRE_CHECKER(Have("isoinfo"), "isoinfo (genisoimage)");
  const std::string image = src_ + "/disc.iso";
  const Result r = Shell("umask 027; " + Make("--joliet", image));
  EXPECT_EQ(r.code, 0) << r.out;
  EXPECT_EQ(r.out, "");
  const Result l = Shell("isoinfo -J -l -i " + Quote(image));
  EXPECT_EQ(l.out.find("disc.iso"), std::string::npos) << l.out;
  EXPECT_NE(l.out.find("a.txt;1"), std::string::npos) << l.out;
  struct stat st {};
  ASSERT_EQ(stat(image.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0640u);
  EXPECT_EQ(std::distance(fs::directory_iterator(src_), fs::directory_iterator()), 3);  // a.txt, sub, disc.iso
}

// Every regular file under a folder with its bytes.
std::map<std::string, std::string> Contents(const std::string& dir) {
  std::map<std::string, std::string> files;
  for (const auto& e : fs::recursive_directory_iterator(dir)) {
    if (!e.is_symlink() && e.is_regular_file()) vexa::base::ReadFile(e.path().string(), &files[e.path().string()]);
  }
  return files;
}

// An output that is one of the files imaged, by whatever name (the file in
// the tree, another spelling of its path, a hard link outside the tree, an
// image made there before), is refused before anything is written: every
// file keeps its bytes and nothing is added or removed. A symbolic link to
// one is refused as every link is.
TEST_F(Safety, AnOutputThatIsAFileOfTheTreeIsRefused) {
  static const char kPhoto[] = "\xFF\xD8 a photo \x00\x01";
  WriteFile(src_ + "/holiday.jpg", std::string(kPhoto, sizeof kPhoto - 1));
  WriteFile(src_ + "/disc.iso", "AN IMAGE MADE HERE BEFORE");
  ASSERT_EQ(link((src_ + "/sub/b.txt").c_str(), Out("hardlink.iso").c_str()), 0);
  ASSERT_EQ(symlink((src_ + "/holiday.jpg").c_str(), Out("symlink.iso").c_str()), 0);
  const std::string refused = "isofs-mkimage: the output '";
  struct Case {
    std::string target;
    int code;
    std::string message;
  } cases[] = {
      {src_ + "/holiday.jpg", 2,
       refused + src_ + "/holiday.jpg' is '" + src_ + "/holiday.jpg', a file of the folder it images; give another output"},
      {src_ + "/sub/b.txt", 2,
       refused + src_ + "/sub/b.txt' is '" + src_ + "/sub/b.txt', a file of the folder it images; give another output"},
      {src_ + "/sub/../holiday.jpg", 2,
       refused + src_ + "/sub/../holiday.jpg' is '" + src_ + "/holiday.jpg', a file of the folder it images; give another output"},
      {src_ + "/disc.iso", 2,
       refused + src_ + "/disc.iso' is '" + src_ + "/disc.iso', a file of the folder it images; give another output"},
      {Out("hardlink.iso"), 2,
       refused + Out("hardlink.iso") + "' is '" + src_ + "/sub/b.txt', a file of the folder it images; give another output"},
      {Out("symlink.iso"), 1,
       "isofs-mkimage: '" + Out("symlink.iso") + "' is a symbolic link; it is not replaced (name the file it points to)"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.target);
    const auto files = Contents(dir_);
    const std::string before = Snapshot(dir_);
    const Result r = Shell(Make("--joliet", c.target));
    EXPECT_EQ(r.code, c.code) << r.out;
    EXPECT_EQ(r.out, c.message + "\n");
    EXPECT_TRUE(Contents(dir_) == files) << "a file changed";
    EXPECT_EQ(Snapshot(dir_), before);
  }
}

// Inputs that cannot be read: the reason names the file, and an image that
// was there stays as it was.
TEST_F(Safety, InputsThatCannotBeRead) {
  WriteFile(Out("old.iso"), "OLD IMAGE");
  // The unprivileged user may write the image, not read what root keeps.
  if (IsRoot()) {
    ASSERT_EQ(chown(out_.c_str(), kNobody, kNobody), 0);
    ASSERT_EQ(chown(Out("old.iso").c_str(), kNobody, kNobody), 0);
  }
  struct Case {
    std::string name;
    std::function<bool()> setUp;
    bool asNobody;
    int code;
    std::string message;
  } cases[] = {
      {"missing folder", [&] { return true; }, false, 2,
       "isofs-mkimage: not a folder: " + src_ + "/none\n"},
      {"unreadable file",
       [&] {
         WriteFile(src_ + "/secret.txt", "secret");
         return chmod((src_ + "/secret.txt").c_str(), 0600) == 0 && IsRoot();
       },
       true, 1, "isofs-mkimage: cannot open '" + src_ + "/secret.txt': Permission denied\n"},
      {"unreadable folder",
       [&] {
         std::remove((src_ + "/secret.txt").c_str());
         vexa::base::MakeDirs(src_ + "/private");
         return chmod((src_ + "/private").c_str(), 0700) == 0 && IsRoot();
       },
       true, 1, "isofs-mkimage: cannot read the folder '" + src_ + "/private': Permission denied\n"},
  };
  const std::string noOtherUser = NoOtherUser();
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
    const std::string before = Snapshot(dir_);
    const std::string source = c.name == "missing folder" ? src_ + "/none" : src_;
    const std::string cmd = kTool + " " + Quote(source) + " " + Quote(Out("old.iso"));
    const Result r = Shell(c.asNobody ? AsNobody(cmd) : cmd);
    EXPECT_EQ(r.code, c.code) << r.out;
    EXPECT_EQ(r.out, c.code == 2 ? c.message + "usage: isofs-mkimage [--joliet] [--xa] [--long-names] [--volume ID] DIR OUT.iso\n"
                                 : c.message);
    EXPECT_EQ(Snapshot(dir_), before);
  }
}

// The sector where the data of the root's file named id starts, read from
// the image's primary descriptor and root directory; 0 when not found.
std::uint32_t FileSector(const std::string& image, const std::string& id) {
  std::string data;
  vexa::base::ReadFile(image, &data);
  auto le32 = [&](std::size_t at) {
    return static_cast<std::uint32_t>(static_cast<unsigned char>(data[at]) |
                                      static_cast<unsigned char>(data[at + 1]) << 8 |
                                      static_cast<unsigned char>(data[at + 2]) << 16 |
                                      static_cast<unsigned char>(data[at + 3]) << 24);
  };
  if (data.size() < 17 * 2048) return 0;
  const std::size_t root = std::size_t{le32(16 * 2048 + 156 + 2)} * 2048;
  for (std::size_t pos = root; pos < root + 2048 && pos < data.size() && data[pos] != 0;
       pos += static_cast<unsigned char>(data[pos])) {
    if (data.compare(pos + 33, static_cast<unsigned char>(data[pos + 32]), id) == 0) return le32(pos + 2);
  }
  return 0;
}

// Source files that change between the look at the folder and the copy of
// their data: the image is written into a pipe, so the test knows the tool
// is inside the first file's data (those bytes arrive) and changes the files
// then.
TEST_F(Safety, InputsThatChangeWhileRead) {
  struct Case {
    std::string name;
    std::function<void(const std::string& big, const std::string& small)> change;
    std::string message;  // the start of the tool's one line
  } cases[] = {
      {"shrinks", [](const std::string& big, const std::string&) { ASSERT_EQ(truncate(big.c_str(), 0), 0); },
       "isofs-mkimage: '" + src_ + "/a.big' changed while it was read: it ended after "},
      {"grows",
       [](const std::string& big, const std::string&) {
         std::ofstream(big, std::ios::app | std::ios::binary) << "more";
       },
       "isofs-mkimage: '" + src_ + "/a.big' changed while it was read: it holds more than the 8388608 bytes read"},
      {"removed", [](const std::string&, const std::string& small) { std::remove(small.c_str()); },
       "isofs-mkimage: cannot open '" + src_ + "/b.small': No such file or directory"},
      {"resized before its turn",
       [](const std::string&, const std::string& small) {
         std::ofstream(small, std::ios::app | std::ios::binary) << "more";
       },
       "isofs-mkimage: '" + src_ + "/b.small' changed since the folder was read: it had 5 bytes, now 9"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string big = src_ + "/a.big", small = src_ + "/b.small", pipe = Out("pipe");
    WriteFile(big, std::string(8 << 20, 'b'));
    WriteFile(small, "small");
    std::remove(pipe.c_str());
    // Where the first file's data starts in this tree's image.
    ASSERT_EQ(Shell(Make("", Out("plain.iso"))).code, 0);
    const std::size_t dataStart = std::size_t{FileSector(Out("plain.iso"), "A.BIG;1")} * 2048;
    ASSERT_GT(dataStart, 0u);
    ASSERT_EQ(mkfifo(pipe.c_str(), 0644), 0);
    vexa::testsupport::BackgroundShell tool(Make("", pipe), true);
    ASSERT_TRUE(tool.Started());
    // Opened without waiting for the tool; each read waits, within the
    // bound, for what the tool writes (the end only once it came and went).
    const int fd = open(pipe.c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(fd, 0);
    const vexa::testsupport::Deadline deadline;
    const auto readSome = [&](char* into, std::size_t most) -> ssize_t {
      if (vexa::testsupport::PollUntil(fd, POLLIN, deadline) <= 0) return -1;
      return read(fd, into, most);
    };
    char buf[65536];
    for (std::size_t got = 0; got <= dataStart;) {
      const ssize_t n = readSome(buf, std::min(sizeof buf, dataStart + 1 - got));
      if (n <= 0) close(fd);
      ASSERT_GT(n, 0) << (deadline.Passed() ? vexa::testsupport::InVain("the image's first file data in the pipe")
                                            : "the tool ended its image early: " + tool.Finish().out);
      got += static_cast<std::size_t>(n);
    }
    c.change(big, small);
    while (readSome(buf, sizeof buf) > 0) {
    }
    close(fd);
    const vexa::testsupport::ShellRun run = tool.Finish();
    const std::string& said = run.out;
    ASSERT_FALSE(run.timedOut) << run.failure;
    EXPECT_EQ(run.status, 1) << said;
    EXPECT_EQ(said.rfind(c.message, 0), 0u) << said;
    EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 1) << said;
  }
}

// Names that hold the characters disc paths split at, a ';', letters that
// differ only in case, characters UCS-2 cannot hold and long names: every
// file stays one entry, no identifier is "." or "..", and the readers that
// trip over such names read the image.
TEST_F(Safety, NamesFromDiskAreCleanedNotSplit) {
  REQUIRE_CHECKER(Have("isoinfo"), "isoinfo (genisoimage)");
  REQUIRE_CHECKER(Have("xorriso"), "xorriso");
  REQUIRE_CHECKER(HavePycdlib(), "python3-pycdlib");
  const std::string longStem(100, 'n');
  for (const std::string& name : {std::string("..\\..\\x"), std::string("..\\y\\z.txt"), std::string("a;1.txt"),
                                  std::string("Photo.jpg"), std::string("photo.JPG"),
                                  std::string("smile \xF0\x9F\x98\x80.txt"), longStem + ".jpeg"}) {
    WriteFile(src_ + "/" + name, name);
  }
  WriteFile(src_ + "/..\\up/inner.txt", "inner");
  const std::string image = Out("names.iso");
  const Result r = Shell(Make("--joliet", image));
  ASSERT_EQ(r.code, 0) << r.out;
  const Result j = Shell("isoinfo -J -l -i " + Quote(image));
  ASSERT_EQ(j.code, 0) << j.out;
  for (const std::string& want :
       {std::string(" .._.._x;1"), std::string(" .._y_z.txt;1"), std::string(" a_1.txt;1"), std::string(" Photo.jpg;1"),
        std::string(" photo~1.JPG;1"), std::string(" smile _.txt;1"), " " + std::string(59, 'n') + ".jpeg;1",
        std::string("Directory listing of /.._up/"), std::string(" inner.txt;1")}) {
    EXPECT_NE(j.out.find(want), std::string::npos) << want << "\n" << j.out;
  }
  // Only the records of the folders themselves are named "." and "..".
  std::istringstream lines(j.out);
  int dots = 0, listings = 0;
  for (std::string line; std::getline(lines, line);) {
    if (line.rfind("Directory listing of ", 0) == 0) ++listings;
    if (line.size() > 3 && (line.substr(line.size() - 3) == " . " || line.substr(line.size() - 4) == " .. ")) ++dots;
  }
  EXPECT_EQ(dots, 2 * listings) << j.out;
  const Result l = Shell("isoinfo -l -i " + Quote(image));
  EXPECT_NE(l.out.find("A_1.TXT;1"), std::string::npos) << l.out;
  // xorriso and pycdlib walk both trees to their end.
  const Result x = Shell("xorriso -abort_on NEVER -return_with WARNING 32 -indev " + Quote(image) +
                         " -find / -exec lsdl 2>&1");
  EXPECT_EQ(x.code, 0) << x.out;
  const Result py = Shell(Python() + " -c " +
                          Quote("import pycdlib,sys\n"
                                "iso=pycdlib.PyCdlib(); iso.open(sys.argv[1])\n"
                                "n=sum(len(f) for _,_,f in iso.walk(joliet_path='/'))\n"
                                "m=sum(len(f) for _,_,f in iso.walk(iso_path='/'))\n"
                                "print(n, m)") +
                          " " + Quote(image));
  EXPECT_EQ(py.code, 0) << py.out;
  EXPECT_EQ(py.out, "10 10\n");  // a.txt, sub/b.txt and the eight above
}

// The volume identifier holds 32 d-characters; what it cannot hold is
// refused before anything is written, and the 16 characters the Joliet
// descriptor keeps are said.
TEST_F(Safety, VolumeIdentifiers) {
  REQUIRE_CHECKER(Have("isoinfo"), "isoinfo (genisoimage)");
  const std::string forty(40, 'V');
  struct Case {
    std::string options;
    int code;
    std::string message;
    std::string recorded;  // "Volume id: " as isoinfo reads it
  } cases[] = {
      {"--volume PHOTOS_2024", 0, "", "PHOTOS_2024"},
      {"--joliet --volume ABCDEFGHIJKLMNOPQRST", 0,
       "isofs-mkimage: note: the Joliet volume identifier holds 16 characters; it records 'ABCDEFGHIJKLMNOP'\n",
       "ABCDEFGHIJKLMNOPQRST"},
      {"--volume " + forty, 2, "isofs-mkimage: --volume: '" + forty + "' has 40 characters; a volume identifier holds at most 32\n", ""},
      {"--volume 'My Photos'", 2,
       "isofs-mkimage: --volume: 'My Photos' holds characters a volume identifier may not hold (only A-Z, 0-9 and _)\n",
       ""},
      {"--volume ''", 2, "isofs-mkimage: --volume: the volume identifier is empty\n", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.options);
    const std::string image = Out("vol.iso");
    std::remove(image.c_str());
    const Result r = Shell(Make(c.options, image));
    EXPECT_EQ(r.code, c.code) << r.out;
    if (c.code == 0) {
      EXPECT_EQ(r.out, c.message);
      const Result d = Shell("isoinfo -d -i " + Quote(image));
      EXPECT_NE(d.out.find("Volume id: " + c.recorded), std::string::npos) << d.out;
    } else {
      EXPECT_EQ(r.out.rfind(c.message, 0), 0u) << r.out;
      EXPECT_FALSE(fs::exists(image));
    }
  }
}

}  // namespace
