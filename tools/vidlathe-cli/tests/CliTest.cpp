// vidlathe-cli end to end: it loads the library by name and writes streams
// the stream checker accepts.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "encoder/tests/StreamChecker.h"
#include "encoder/tests/TestSupport.h"

namespace vidlathe::testing {
namespace {

std::string Cli() { return std::string(VEXA_BUILD_DIR) + "/bin/vidlathe-cli"; }

class VidlatheCli : public ::testing::Test {
 protected:
  void SetUp() override { VIDLATHE_NEED_TOOL("ffmpeg"); }
  // A test picture in the format its name's extension says.
  std::string MakePicture(const std::string& name, const std::string& size) {
    const std::string path = dir_.File(name);
    int rc = -1;
    const std::string pixfmt = name.ends_with(".bmp") ? " -pix_fmt bgr24" : name.ends_with(".jpg") ? " -pix_fmt yuvj420p" : "";
    Shell("ffmpeg -v error -y -f lavfi -i testsrc2=size=" + size + " -frames:v 1" + pixfmt + " '" + path + "' 2>&1", &rc);
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
  const std::string a = MakePicture("a.jpg", "2400x1600"), b = MakePicture("b.png", "300x500"),
                    c = MakePicture("c.bmp", "500x300");
  const std::string mp2 = dir_.File("a.mp2");
  Shell("ffmpeg -v error -y -f lavfi -i sine=duration=1:sample_rate=44100 -ac 2 -c:a mp2 -b:a 224k '" + mp2 + "'");
  struct Case {
    std::string args;
    size_t e1, e2;
  };
  const Case cases[] = {
      {"still 7 OUT --ms 1000 " + a + " " + b, 2, 2},
      {"still 5 OUT --quant 4 --audio " + mp2 + " --loop --ms 1500 " + a, 1, 0},
      {"still 8 OUT " + c, 1, 1},
      {"v1 3 OUT " + b, 1, 0},
      {"v1 2 OUT " + a, 1, 1},
      {"v2 4 OUT " + c + " --quant 30", 1, 1},
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

// A device named as the output is written as it is; the stream is never
// renamed over it (as root that would replace the device with a file).
TEST_F(VidlatheCli, DeviceOutputIsWrittenNotReplaced) {
  const std::string a = MakePicture("a.bmp", "352x240");
  // A fifo stands in for a device, so the test never touches the system's own.
  const std::string fifo = dir_.File("device");
  ASSERT_EQ(0, mkfifo(fifo.c_str(), 0600));
  int rc = -1;
  // The reader gives up after a while, so a tool that never opens the fifo
  // cannot hang the test (nor can the tool, within Shell's own bound).
  const std::string bytes = Shell("(timeout 240 cat '" + fifo + "' | wc -c) & " + Cli() + " still 5 '" + fifo +
                                      "' " + a + " 2>/dev/null; echo rc=$?; wait",
                                  &rc);
  EXPECT_NE(bytes.find("rc=0"), std::string::npos) << bytes;
  struct stat st {};
  ASSERT_EQ(0, lstat(fifo.c_str(), &st));
  EXPECT_TRUE(S_ISFIFO(st.st_mode));
  EXPECT_EQ(std::string::npos, bytes.find("\n0\n")) << "nothing was written: " << bytes;
}

// Motion video from three photos with looped audio: each shown for 3 s at
// 29.97 pictures/s (three groups of 30), MPEG-1 video with Layer II audio,
// every picture decodable.
TEST_F(VidlatheCli, MotionWritesAValidMotionStream) {
  VIDLATHE_NEED_TOOL("ffprobe");
  const std::string a = MakePicture("a.jpg", "1600x1200"), b = MakePicture("b.jpg", "352x240"),
                    c = MakePicture("c.jpg", "800x1200");
  const std::string mp2 = dir_.File("m.mp2");
  Shell("ffmpeg -v error -y -f lavfi -i sine=duration=0.7:sample_rate=44100 -ac 2 -c:a mp2 -b:a 224k '" + mp2 + "'");
  const std::string out = dir_.File("motion.mpg");
  ASSERT_EQ(0, Tool("motion 5 " + out + " --ms 3000 --audio " + mp2 + " --loop " + a + " " + b + " " + c));
  const CheckedStream s = CheckSystemStreamFile(out);
  EXPECT_TRUE(s.ok()) << s.Report();
  EXPECT_EQ(1u, s.pictures.count(0xE0));
  EXPECT_FALSE(s.audio.empty());
  EXPECT_EQ("mp2\nmpeg1video,352,240,30000/1001,270\n",
            Shell("ffprobe -v error -count_frames -show_entries stream=codec_name,width,height,r_frame_rate,nb_read_frames "
                  "-of csv=p=0 '" + out + "' | sed 's/,*$//; s/^mp2,.*/mp2/'"));
  int rc = -1;
  const std::string err = Shell("ffmpeg -v error -xerror -i '" + out + "' -map 0 -f null - 2>&1", &rc);
  EXPECT_EQ(0, rc) << err;
  EXPECT_EQ(1, Tool("motion 13 " + out + " --ms 1000 " + a));
}

// Two photos as one Video CD still pair each: two 704x480 and two 352x240
// pictures that the Video CD reader takes without a warning.
TEST_F(VidlatheCli, TwoPhotosMakeAStillPairStream) {
  VIDLATHE_NEED_TOOL("ffprobe");
  VIDLATHE_NEED_TOOL("vcdxminfo");
  const std::string a = MakePicture("a.jpg", "3000x2000"), b = MakePicture("b.jpg", "1200x1800");
  const std::string out = dir_.File("s.mpg");
  ASSERT_EQ(0, Tool("still 7 " + out + " " + a + " " + b));
  EXPECT_EQ("352,240,2\n704,480,2\n",
            Shell("ffprobe -v error -count_frames -show_entries stream=width,height,nb_read_frames -of csv=p=0 '" +
                  out + "'"));
  EXPECT_EQ("mpeg\n", Shell("ffprobe -v error -show_entries format=format_name -of csv=p=0 '" + out + "'"));
  int rc = -1;
  const std::string info = Shell("vcdxminfo -i '" + out + "' 2>&1", &rc);
  EXPECT_EQ(0, rc);
  EXPECT_EQ(std::string::npos, info.find("WARN")) << info;
  EXPECT_NE(std::string::npos, info.find("secondary still picture stream")) << info;
}

TEST_F(VidlatheCli, BadInputFails) {
  const std::string a = MakePicture("a.bmp", "64x48"), out = dir_.File("x.mpg");
  const std::string notPicture = dir_.File("n.jpg");
  vexa::base::WriteFileAtomic(notPicture, "not a picture");
  EXPECT_EQ(1, Tool("still 5 " + out + " " + notPicture));
  EXPECT_EQ(1, Tool("v1 1 " + out + " " + notPicture));
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
