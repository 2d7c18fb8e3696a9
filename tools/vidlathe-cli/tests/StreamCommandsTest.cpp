// vidlathe-cli's commands over existing MPEG-1 files, against ffprobe.
#include <gtest/gtest.h>

#include <sstream>

#include "encoder/tests/StreamTestSupport.h"

namespace {

using namespace streamtest;

std::string Cli() { return std::string(VEXA_BUILD_DIR) + "/bin/vidlathe-cli"; }

std::string Field(const std::string& text, const std::string& key) {
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line))
    if (line.rfind(key + " ", 0) == 0) return line.substr(key.size() + 1);
  return "";
}

TEST(StreamCommands, PropsPrintsWhatFfprobeReports) {
  REQUIRE_TOOL("ffmpeg");
  REQUIRE_TOOL("ffprobe");
  const std::string pal = MakeInput("cli-pal.mpg",
                                    "-f lavfi -i testsrc2=size=352x288:rate=25 -f lavfi -i "
                                    "sine=sample_rate=44100",
                                    "-t 1 -target pal-vcd");
  ASSERT_FALSE(pal.empty());
  int st = 0;
  const std::string out = Shell(Cli() + " props '" + pal + "'", &st);
  EXPECT_EQ(st, 0);
  const std::string want = Shell("ffprobe -v error -select_streams v -show_entries "
                                 "stream=width,height,r_frame_rate,bit_rate -of csv=p=0 '" + pal + "'");
  // width,height,rate,bit rate
  std::string w, h, rate, bits;
  std::istringstream in(want);
  std::getline(in, w, ',');
  std::getline(in, h, ',');
  std::getline(in, rate, ',');
  std::getline(in, bits);
  EXPECT_EQ(Field(out, "size"), w + "x" + h);
  EXPECT_EQ(Field(out, "picture rate code"), "3 (25/s)");
  EXPECT_EQ(rate, "25/1");
  EXPECT_EQ(Field(out, "bit rate"), std::to_string(std::stoi(bits) / 400) + " (" + bits + " bit/s)");
}

TEST(StreamCommands, ConcatMotionJoinsTwoInputs) {
  REQUIRE_TOOL("ffmpeg");
  const std::string src = "-f lavfi -i testsrc2=size=352x240:rate=30000/1001 -f lavfi -i sine=sample_rate=44100";
  const std::string x = MakeInput("cli-x.mpg", src, "-t 1 -target ntsc-vcd");
  const std::string y = MakeInput("cli-y.mpg", src, "-t 0.5 -target ntsc-vcd");
  ASSERT_FALSE(x.empty() || y.empty());
  const std::string out = ScratchPath("cli-joined.mpg");
  int st = 0;
  Shell(Cli() + " concat-motion 1 '" + out + "' '" + x + "' '" + y + "' 2>/dev/null", &st);
  ASSERT_EQ(st, 0);
  EXPECT_EQ(Shell("ffmpeg -nostdin -v error -xerror -i '" + out + "' -f null - 2>&1", &st), "");
  EXPECT_EQ(st, 0);
  auto frames = [](const std::string& p) {
    return std::stoi("0" + Shell("ffprobe -v error -count_frames -select_streams v -show_entries "
                                 "stream=nb_read_frames -of csv=p=0 '" + p + "'"));
  };
  EXPECT_EQ(frames(out), frames(x) + frames(y));
  // Misuse is refused with the usage text.
  Shell(Cli() + " concat-motion 2>/dev/null", &st);
  EXPECT_NE(st, 0);
  Shell(Cli() + " concat-motion 9 '" + out + "' '" + x + "' 2>/dev/null", &st);
  EXPECT_NE(st, 0);
}

}  // namespace
