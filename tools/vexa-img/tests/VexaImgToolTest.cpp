#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <unistd.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>

#include "platform/base/Path.h"
#include "tests/support/Checkers.h"
#include "tests/support/OtherUser.h"

namespace {

const char* kConvert = "/usr/bin/convert";
const char* kIdentify = "/usr/bin/identify";

using vexa::testsupport::Shell;

class VexaImgToolTest : public ::testing::Test {
 protected:
  void SetUp() override {
    bool have = ::access(kConvert, X_OK) == 0 && ::access(kIdentify, X_OK) == 0;
    if (!have) {
      if (vexa::testsupport::CheckersRequired()) FAIL() << "ImageMagick is missing";
      GTEST_SKIP() << "ImageMagick is missing";
    }
    dir_ = vexa::base::MakeTempDir(vexa::base::TempDirectory(), "vexa-img-tool-");
    tool_ = std::string(VEXA_BUILD_DIR) + "/bin/vexa-img";
  }
  void TearDown() override {
    if (!dir_.empty()) vexa::base::RemoveAll(dir_);
  }
  std::string Path(const std::string& name) { return dir_ + "/" + name; }
  std::string Make(const std::string& name, const std::string& size) {
    std::string p = Path(name);
    EXPECT_EQ(Shell(std::string(kConvert) + " -size " + size + " -seed 7 plasma:fractal -depth 8 " + p), 0);
    return p;
  }
  std::string Identify(const std::string& p) {
    std::string out;
    Shell(std::string(kIdentify) + " -format '%m %wx%h' " + p, &out);
    return out;
  }
  std::string tool_, dir_;
};

TEST_F(VexaImgToolTest, CommandsWriteJpegsOfTheExpectedSizes) {
  std::string big = Make("big.png", "1600x1200");
  std::string photo = Make("photo.jpg", "640x480");
  struct Row {
    std::string command;  // the output file follows the source
    std::string src, dst, rest, expect;
  };
  std::string wide = Make("wide.bmp", "704x480");
  const Row rows[] = {
      {"any2jpg", big, "a.jpg", "", "JPEG 1600x1200"},
      {"resize", big, "r1.jpg", "352 240", "JPEG 352x240"},
      {"resize", big, "r2.jpg", "352 240 --box", "JPEG 320x240"},
      {"resize", big, "r3.jpg", "352 240 --box --matte 0,0,0", "JPEG 352x240"},
      {"resize", photo, "r4.jpg", "704 576 --box", "JPEG 640x480"},
      {"resize", photo, "r5.jpg", "704 576 --box --upsample", "JPEG 704x528"},
      {"rotate", photo, "t.jpg", "90", "JPEG 480x640"},
      {"rotate", big, "t2.jpg", "360", "JPEG 1600x1200"},
      {"crop", wide, "c.jpg", "0 105 703 355", "JPEG 703x250"},
  };
  for (const Row& r : rows) {
    std::string out, args = r.command + " " + r.src + " " + Path(r.dst) + " " + r.rest;
    ASSERT_EQ(Shell(tool_ + " " + args, &out), 0) << args << "\n" << out;
    EXPECT_EQ(Identify(Path(r.dst)), r.expect) << args;
  }
}

TEST_F(VexaImgToolTest, DerivativesAndTitle) {
  std::string photo = Make("photo.jpg", "5000x3000");
  std::string out;
  ASSERT_EQ(Shell(tool_ + " derivatives " + photo + " 0 " + Path("album.jpg") + " " + Path("thumb.jpg") +
                  " 160 160 " + Path("web.jpg") + " 640 640",
                  &out),
            0)
      << out;
  EXPECT_EQ(out, "album 5000x3000\nthumb 160x96\nweb 640x384\n");
  EXPECT_EQ(Identify(Path("album.jpg")), "JPEG 5000x3000");
  EXPECT_EQ(Identify(Path("thumb.jpg")), "JPEG 160x96");
  EXPECT_EQ(Identify(Path("web.jpg")), "JPEG 640x384");
  ASSERT_EQ(Shell(tool_ + " title " + Path("title.jpg") + " 'Our Holiday' 'Summer 2026' ''", &out), 0) << out;
  EXPECT_EQ(Identify(Path("title.jpg")), "JPEG 1408x960");
  ASSERT_EQ(Shell(tool_ + " title " + Path("pal.jpg") + " One '' '' --pal", &out), 0) << out;
  EXPECT_EQ(Identify(Path("pal.jpg")), "JPEG 1408x1120");
}

TEST_F(VexaImgToolTest, InfoAndErrors) {
  std::string photo = Make("p.tif", "64x48");
  std::string out;
  ASSERT_EQ(Shell(tool_ + " info " + photo, &out), 0);
  EXPECT_EQ(out, "p.tif type 3 64x48\n");
  EXPECT_EQ(Shell(tool_ + " info " + Path("missing.jpg"), &out), 1);
  EXPECT_EQ(out, "vexa-img: IVEXAImgUtil::GetImageInfo - Can not get find data for srcFile\n");
  EXPECT_EQ(Shell(tool_ + " crop " + photo + " " + Path("x.jpg") + " 0 0 65 10", &out), 1);
  EXPECT_EQ(out, "vexa-img: IVEXAImgUtil::CropStill - bmDest.CopyRect failed - -3 - Invalid parameter passed\n");
  EXPECT_FALSE(vexa::base::FileExists(Path("x.jpg")));
  EXPECT_EQ(Shell(tool_ + " resize " + photo + " " + Path("x.jpg") + " 0 10", &out), 1);
  EXPECT_EQ(out, "vexa-img: IVEXAImgUtil::ResizeStill - destX must specify a valid final x-coordinate size\n");
  EXPECT_EQ(Shell(tool_ + " frobnicate", &out), 2);
}

// Failures through the tool: the exit status, the message that says why,
// and the output never written.
TEST_F(VexaImgToolTest, FailuresSayWhyAndWriteNothing) {
  const std::string photo = Make("p.png", "64x48");
  const std::string folder = Path("album.d");
  ASSERT_TRUE(vexa::base::MakeDirs(folder));
  const std::string fifo = Path("pipe.jpg");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  const std::string registry = Path("registry");
  ASSERT_TRUE(vexa::base::MakeDirs(registry));
  ASSERT_TRUE(vexa::base::WriteFileAtomic(registry + "/HKLM.reg", "REGEDIT4\n[HKEY_LOCAL_MACHINE\\Software\n"));
  const std::string out = Path("out.jpg");
  struct Row {
    std::string command;
    std::string message;
  } rows[] = {
      {"info " + folder, "IVEXAImgUtil::GetImageInfo - ltFile.GetInfo() failed - Error reading from file - -5 - " +
                             folder + " - Error reading from file: a folder, not a picture file"},
      {"any2jpg " + Path("none.png") + " " + out,
       "IVEXAImgUtil::any2any - bmBase.Load failed - -4 - File not found: " + Path("none.png")},
      {"any2jpg " + fifo + " " + out,
       "IVEXAImgUtil::any2any - bmBase.Load failed - -5 - Error reading from file: " + fifo + ": not a regular file"},
      {"any2jpg " + folder + " " + out,
       "IVEXAImgUtil::any2any - bmBase.Load failed - -5 - Error reading from file: " + folder +
           ": a folder, not a picture file"},
      {"resize " + photo + " " + out + " 100000 100000 --box",
       "IVEXAImgUtil::ResizeStill - bmDest.Create failed - -11 - Image dimensions are too large"},
      // A user's registry file that cannot be parsed: its line, not "class
      // not registered".
      {"env VEXA_REGISTRY_DIR=" + registry + " " + tool_ + " any2jpg " + photo + " " + out,
       "the registry cannot be read: " + registry + "/HKLM.reg line 2: key line without ']'"},
  };
  for (const Row& r : rows) {
    std::string said;
    const std::string command = r.command.rfind("env ", 0) == 0 ? r.command : tool_ + " " + r.command;
    EXPECT_EQ(Shell(command, &said), 1) << r.command;
    EXPECT_EQ(said, "vexa-img: " + r.message + "\n") << r.command;
    EXPECT_FALSE(vexa::base::FileExists(out)) << r.command;
  }
}

// Outputs that must not be replaced by a regular file, through the tool: a
// link, a folder, a device (written as it is), another user's file; and a
// derivative that names its source. Each says why, and what was on disk
// stays as it was.
TEST_F(VexaImgToolTest, OutputsAreReplacedOnlyWhenTheyMayBe) {
  const std::string photo = Make("p.png", "64x48");
  const std::string target = Path("target.jpg");
  ASSERT_TRUE(vexa::base::WriteFileAtomic(target, "kept"));
  const std::string link = Path("link.jpg");
  ASSERT_EQ(::symlink(target.c_str(), link.c_str()), 0);
  const std::string folder = Path("folder.jpg");
  ASSERT_TRUE(vexa::base::MakeDirs(folder));
  const std::string save = "IVEXAImgUtil::any2any - bmBase.Save failed - -6 - Error writing to file: ";
  struct Row {
    std::string command, message;
  } rows[] = {
      {"any2jpg " + photo + " " + link,
       save + "'" + link + "' is a symbolic link; it is not replaced (name the file it points to)"},
      {"any2jpg " + photo + " " + folder, save + "'" + folder + "' is a folder"},
      {"any2jpg " + photo + " /dev/full", save + "cannot write '/dev/full': No space left on device"},
      {"derivatives " + photo + " 0 " + Path("a.jpg") + " " + photo + " 160 160 " + Path("w.jpg") + " 640 640",
       "CVEXAImgUtil::CreateStillDerivatives - thumbResStill names origStill, which it would overwrite"},
  };
  for (const Row& r : rows) {
    std::string said;
    EXPECT_EQ(Shell(tool_ + " " + r.command, &said), 1) << r.command;
    EXPECT_EQ(said, "vexa-img: " + r.message + "\n") << r.command;
  }
  std::string kept;
  vexa::base::ReadFile(target, &kept);
  EXPECT_EQ(kept, "kept");
  struct stat st {};
  ASSERT_EQ(::lstat(link.c_str(), &st), 0);
  EXPECT_TRUE(S_ISLNK(st.st_mode));
  EXPECT_FALSE(vexa::base::FileExists(Path("a.jpg")) || vexa::base::FileExists(Path("w.jpg")));

  // A device node named as the output is written as it is, and stays one.
  const std::string device = Path("null-device");
  if (::mknod(device.c_str(), S_IFCHR | 0666, makedev(1, 3)) == 0) {
    std::string said;
    EXPECT_EQ(Shell(tool_ + " any2jpg " + photo + " " + device, &said), 0) << said;
    ASSERT_EQ(::stat(device.c_str(), &st), 0);
    EXPECT_TRUE(S_ISCHR(st.st_mode));
  }
  // Another user's file in a folder everybody may write: the user may not
  // replace it, and it keeps its content and its owner.
  std::string noOtherUser;
  if (::geteuid() != 0) {
    std::printf("skipped: another user's file (needs root)\n");
  } else if (vexa::testsupport::OtherUserBuildDir(&noOtherUser).empty()) {
    std::printf("skipped: another user's file (%s)\n", noOtherUser.c_str());
  } else {
    ASSERT_EQ(::chmod(dir_.c_str(), 0777), 0);
    ASSERT_EQ(::chmod(photo.c_str(), 0644), 0);
    ASSERT_EQ(::chmod(target.c_str(), 0644), 0);
    std::string said;
    // The other user has a world of their own: no registry layer, data or
    // runtime folder of this process (which they could not read anyway).
    EXPECT_EQ(Shell(vexa::testsupport::AsUser(vexa::testsupport::kNobodyId) +
                        "env -u VEXA_REGISTRY_DIR -u XDG_CONFIG_HOME -u XDG_DATA_HOME -u XDG_CACHE_HOME "
                        "-u XDG_STATE_HOME -u XDG_RUNTIME_DIR HOME=/nonexistent " +
                        vexa::testsupport::OtherUserProgram("vexa-img") + " any2jpg " + photo + " " + target,
                    &said),
              1);
    EXPECT_EQ(said, "vexa-img: " + save + "'" + target + "' may not be written: Permission denied\n");
    vexa::base::ReadFile(target, &kept);
    EXPECT_EQ(kept, "kept");
    ASSERT_EQ(::stat(target.c_str(), &st), 0);
    EXPECT_EQ(st.st_uid, 0u);
  }
}

// A title line too long for the still is cut, and the tool says so.
TEST_F(VexaImgToolTest, TitleLineTooWideIsReported) {
  std::string said;
  const std::string long_line = "A title line far too long for the width of any Video CD still picture";
  ASSERT_EQ(Shell(tool_ + " title " + Path("t.jpg") + " 'Short' '" + long_line + "' ''", &said), 0);
  // Standard output (the file) and the warning on standard error, in either order.
  const std::string warning = "vexa-img: warning: title line 2 is wider than the still and is cut at its edges\n";
  EXPECT_TRUE(said == Path("t.jpg") + "\n" + warning || said == warning + Path("t.jpg") + "\n") << said;
  EXPECT_EQ(Identify(Path("t.jpg")), "JPEG 1408x960");
  ASSERT_EQ(Shell(tool_ + " title " + Path("u.jpg") + " 'Short' 'Fits' ''", &said), 0);
  EXPECT_EQ(said, Path("u.jpg") + "\n");
}

}  // namespace
