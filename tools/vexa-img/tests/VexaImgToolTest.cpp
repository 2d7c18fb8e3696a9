#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <unistd.h>
#include <sys/wait.h>

#include "platform/base/Path.h"

namespace {

const char* kConvert = "/usr/bin/convert";
const char* kIdentify = "/usr/bin/identify";

int Shell(const std::string& command, std::string* output = nullptr) {
  FILE* p = ::popen((command + " 2>&1").c_str(), "r");
  if (!p) return -1;
  std::string out;
  char buf[4096];
  std::size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
  int rc = ::pclose(p);
  if (output) *output = out;
  return WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
}

class VexaImgToolTest : public ::testing::Test {
 protected:
  void SetUp() override {
    bool have = ::access(kConvert, X_OK) == 0 && ::access(kIdentify, X_OK) == 0;
    if (!have) {
      const char* req = std::getenv("VEXA_REQUIRE_CHECKERS");
      if (req && std::string(req) == "1") FAIL() << "ImageMagick is missing";
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

}  // namespace
