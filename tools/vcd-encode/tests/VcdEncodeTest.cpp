// vcd-encode end to end: three music files of different kinds become one
// Layer II file of their summed duration; two photos become a motion stream
// multiplexed with it. Checked by ffprobe.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <map>
#include <string>

#include "platform/base/Path.h"
#include "tests/support/Checkers.h"
#include "tests/support/FileTree.h"

namespace {

using vexa::testsupport::Shell;

using vexa::testsupport::HaveProgram;

TEST(VcdEncodeTest, MusicAndPictures) {
  if (!HaveProgram("ffmpeg") || !HaveProgram("ffprobe")) {
    if (vexa::testsupport::CheckersRequired()) FAIL() << "ffmpeg missing";
    GTEST_SKIP() << "ffmpeg missing";
  }
  const std::string dir = vexa::base::MakeTempDir(vexa::base::TempDirectory(), "vexa-vcdencode-");
  ::setenv("VEXA_REGISTRY_DIR", dir.c_str(), 1);
  const std::string tool = std::string(VEXA_BUILD_DIR) + "/bin/vcd-encode";
  const std::string tone = "-f lavfi -i \"aevalsrc=0.4*sin(330*2*PI*t)|0.4*sin(440*2*PI*t):s=44100:d=";
  ASSERT_EQ(Shell("ffmpeg -nostdin -loglevel error -y " + tone + "3\" -ar 48000 -c:a libmp3lame " + dir + "/a.mp3"), 0);
  ASSERT_EQ(Shell("ffmpeg -nostdin -loglevel error -y " + tone + "2\" -c:a wmav2 " + dir + "/b.wma"), 0);
  ASSERT_EQ(Shell("ffmpeg -nostdin -loglevel error -y " + tone + "2\" -ar 11025 -ac 1 " + dir + "/c.wav"), 0);
  std::string out;
  ASSERT_EQ(Shell("'" + tool + "' audio " + dir + "/DISCPAK.MP2 " + dir + "/a.mp3 " + dir + "/b.wma " + dir + "/c.wav",
                  &out),
            0)
      << out;
  std::string probe;
  ASSERT_EQ(Shell("ffprobe -v error -show_entries stream=codec_name,sample_rate,channels,bit_rate:format=duration "
                  "-of default=nw=1 " + dir + "/DISCPAK.MP2", &probe), 0);
  EXPECT_NE(probe.find("codec_name=mp2"), std::string::npos) << probe;
  EXPECT_NE(probe.find("sample_rate=44100"), std::string::npos) << probe;
  EXPECT_NE(probe.find("channels=2"), std::string::npos) << probe;
  EXPECT_NE(probe.find("bit_rate=224000"), std::string::npos) << probe;
  EXPECT_NEAR(std::atof(probe.c_str() + probe.find("duration=") + 9), 7.0, 0.1) << probe;

  ASSERT_EQ(Shell("ffmpeg -nostdin -loglevel error -y -f lavfi -i testsrc2=size=640x480 -frames:v 1 " + dir + "/p1.jpg"), 0);
  ASSERT_EQ(Shell("ffmpeg -nostdin -loglevel error -y -f lavfi -i mandelbrot=size=640x480 -frames:v 1 " + dir + "/p2.jpg"), 0);
  ASSERT_EQ(Shell("'" + tool + "' video -f 0 -t 3500 -c 1000 -a " + dir + "/DISCPAK.MP2 " + dir + "/DISCPAK.DAT " + dir +
                  "/p1.jpg::Hello " + dir + "/p2.jpg", &out),
            0)
      << out;
  ASSERT_EQ(Shell("ffprobe -v error -show_entries stream=codec_name -of default=nw=1 " + dir + "/DISCPAK.DAT", &probe), 0);
  EXPECT_NE(probe.find("codec_name=mpeg1video"), std::string::npos) << probe;
  EXPECT_NE(probe.find("codec_name=mp2"), std::string::npos) << probe;

  // A failure exits with 1, the file named; a bad command line with 2.
  EXPECT_EQ(Shell("'" + tool + "' audio " + dir + "/x.mp2 " + dir + "/none.mp3", &out), 1);
  EXPECT_NE(out.find("none.mp3"), std::string::npos) << out;
  EXPECT_EQ(Shell("'" + tool + "' bogus", &out), 2);

  // An output that is one of the inputs is refused, and the input kept.
  std::string music, picture;
  ASSERT_TRUE(vexa::base::ReadFile(dir + "/a.mp3", &music));
  ASSERT_TRUE(vexa::base::ReadFile(dir + "/p1.jpg", &picture));
  for (const std::string& args : {"audio " + dir + "/a.mp3 " + dir + "/c.wav " + dir + "/a.mp3",
                                  "video " + dir + "/p1.jpg " + dir + "/p2.jpg " + dir + "/p1.jpg::Caption",
                                  "video -a " + dir + "/a.mp3 " + dir + "/a.mp3 " + dir + "/p2.jpg"}) {
    EXPECT_EQ(Shell("'" + tool + "' " + args, &out), 2) << args;
    EXPECT_NE(out.find("is the input"), std::string::npos) << out;
  }
  std::string after;
  ASSERT_TRUE(vexa::base::ReadFile(dir + "/a.mp3", &after));
  EXPECT_TRUE(after == music);
  ASSERT_TRUE(vexa::base::ReadFile(dir + "/p1.jpg", &after));
  EXPECT_TRUE(after == picture);
  vexa::base::RemoveAll(dir);
}

// Options it does not know and values out of their range are refused with
// status 2 before anything is encoded (no format is guessed): the output is
// not made, an earlier one keeps its bytes, and so do the inputs.
TEST(VcdEncodeTest, BadOptionsAreRefusedWithStatus2) {
  const std::string dir = vexa::base::MakeTempDir(vexa::base::TempDirectory(), "vexa-vcdencode-");
  const std::string registry = vexa::base::MakeTempDir(vexa::base::TempDirectory(), "vexa-vcdencode-registry-");
  ::setenv("VEXA_REGISTRY_DIR", registry.c_str(), 1);
  const std::string tool = std::string(VEXA_BUILD_DIR) + "/bin/vcd-encode";
  std::string photo;
  ASSERT_TRUE(vexa::base::ReadFile(std::string(VEXA_TEST_SOURCE_DIR) + "/../../data/samples/photos/boats.jpg", &photo));
  ASSERT_TRUE(vexa::base::WriteFileAtomic(dir + "/p.jpg", photo));
  ASSERT_TRUE(vexa::base::WriteFileAtomic(dir + "/old.mpg", "AN EARLIER STREAM"));
  const std::string tail = " " + dir + "/old.mpg " + dir + "/p.jpg";
  struct Case {
    std::string options;
    std::string said;  // the first line it says
  } cases[] = {
      {"-f XYZ", "vcd-encode: -f: 'XYZ' is not one of the numbers it takes"},
      {"-f 6", "vcd-encode: -f: '6' is not one of the numbers it takes"},
      {"-f -1", "vcd-encode: -f: '-1' is not one of the numbers it takes"},
      {"-f 3x", "vcd-encode: -f: '3x' is not one of the numbers it takes"},
      {"-f ''", "vcd-encode: -f: '' is not one of the numbers it takes"},
      {"-t 0", "vcd-encode: -t: '0' is not one of the numbers it takes"},
      {"-c ten", "vcd-encode: -c: 'ten' is not one of the numbers it takes"},
      {"-q 1", "vcd-encode: -q: '1' is not one of the numbers it takes"},
      {"-q 99999999999999999999", "vcd-encode: -q: '99999999999999999999' is not one of the numbers it takes"},
      {"-x 1", "vcd-encode: unknown option -x"},
      {"-format 3", "vcd-encode: unknown option -format"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.options);
    const auto before = vexa::testsupport::FileTree(dir);
    std::string out;
    EXPECT_EQ(Shell("'" + tool + "' video " + c.options + tail, &out), 2) << out;
    EXPECT_EQ(out.substr(0, out.find('\n')), c.said) << out;
    EXPECT_TRUE(vexa::testsupport::FileTree(dir) == before) << "a file changed";
  }
  ::unsetenv("VEXA_REGISTRY_DIR");
  vexa::base::RemoveAll(dir);
  vexa::base::RemoveAll(registry);
}

}  // namespace
