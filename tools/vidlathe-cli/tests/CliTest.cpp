// vidlathe-cli end to end: it loads the library by name and writes streams
// the stream checker accepts.
#include <gtest/gtest.h>

#include "encoder/tests/StreamChecker.h"
#include "encoder/tests/TestSupport.h"

namespace vidlathe::testing {
namespace {

std::string Cli() { return std::string(VEXA_BUILD_DIR) + "/bin/vidlathe-cli"; }

class VidlatheCli : public ::testing::Test {
 protected:
  void SetUp() override { VIDLATHE_NEED_TOOL("ffmpeg"); }
  std::string MakeBmp(const std::string& name, const std::string& size) {
    const std::string path = dir_.File(name);
    int rc = -1;
    Shell("ffmpeg -v error -y -f lavfi -i testsrc2=size=" + size + " -frames:v 1 -pix_fmt bgr24 '" + path + "' 2>&1", &rc);
    EXPECT_EQ(0, rc);
    return path;
  }
  int Tool(const std::string& args) {
    int rc = -1;
    Shell(Cli() + " " + args + " 2>/dev/null", &rc);
    return rc;
  }
  TempDir dir_;
};

TEST_F(VidlatheCli, CommandsWriteValidStreams) {
  const std::string a = MakeBmp("a.bmp", "900x700"), b = MakeBmp("b.bmp", "300x500");
  const std::string mp2 = dir_.File("a.mp2");
  Shell("ffmpeg -v error -y -f lavfi -i sine=duration=1:sample_rate=44100 -ac 2 -c:a mp2 -b:a 224k '" + mp2 + "'");
  struct Case {
    std::string args;
    size_t e1, e2;
  };
  const Case cases[] = {
      {"still 7 OUT --ms 1000 " + a + " " + b, 2, 2},
      {"still 5 OUT --quant 4 --audio " + mp2 + " --loop --ms 1500 " + a, 1, 0},
      {"v1 3 OUT " + b, 1, 0},
      {"v2 4 OUT " + a + " --quant 30", 1, 1},
  };
  for (const Case& c : cases) {
    std::string args = c.args;
    const std::string out = dir_.File("out.mpg");
    args.replace(args.find("OUT"), 3, out);
    ASSERT_EQ(0, Tool(args)) << args;
    const CheckedStream s = CheckSystemStreamFile(out);
    EXPECT_TRUE(s.ok()) << args << "\n" << s.Report();
    EXPECT_EQ(c.e1, s.pictures.count(0xE1) ? s.pictures.at(0xE1).size() : 0u) << args;
    EXPECT_EQ(c.e2, s.pictures.count(0xE2) ? s.pictures.at(0xE2).size() : 0u) << args;
  }
  EXPECT_EQ(0, Tool("mp2-props " + mp2));
}

// Motion video from two stills with looped audio: each still for its
// display time at 29.97 pictures/s, every picture decodable.
TEST_F(VidlatheCli, MotionWritesAValidMotionStream) {
  const std::string a = MakeBmp("a.bmp", "400x300"), b = MakeBmp("b.bmp", "352x240");
  const std::string mp2 = dir_.File("m.mp2");
  Shell("ffmpeg -v error -y -f lavfi -i sine=duration=0.7:sample_rate=44100 -ac 2 -c:a mp2 -b:a 224k '" + mp2 + "'");
  const std::string out = dir_.File("motion.mpg");
  ASSERT_EQ(0, Tool("motion 5 " + out + " --ms 1000 --audio " + mp2 + " --loop " + a + " " + b));
  const CheckedStream s = CheckSystemStreamFile(out);
  EXPECT_TRUE(s.ok()) << s.Report();
  EXPECT_EQ(1u, s.pictures.count(0xE0));
  EXPECT_FALSE(s.audio.empty());
  int rc = -1;
  const std::string frames = Shell("ffprobe -v error -select_streams v -count_frames -show_entries stream=nb_read_frames,width,height -of csv=p=0 '" + out + "'", &rc);
  EXPECT_EQ("352,240,60\n", frames);
  EXPECT_EQ(1, Tool("motion 13 " + out + " --ms 1000 " + a));
}

TEST_F(VidlatheCli, BadInputFails) {
  const std::string a = MakeBmp("a.bmp", "64x48"), out = dir_.File("x.mpg");
  EXPECT_EQ(1, Tool("still 13 " + out + " " + a));
  EXPECT_EQ(1, Tool("v2 1 " + out + " " + dir_.File("missing.bmp")));
  EXPECT_EQ(1, Tool("still 5 " + out + " " + dir_.File("missing.bmp")));
  EXPECT_EQ(2, Tool("still five " + out + " " + a));
  EXPECT_EQ(2, Tool("v1 1 " + out));
  EXPECT_EQ(1, Tool("mp2-props " + a));
  EXPECT_FALSE(vexa::base::FileExists(out));
}

}  // namespace
}  // namespace vidlathe::testing
