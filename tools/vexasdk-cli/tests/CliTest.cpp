// vexasdk-cli by hand on the simulated recorder: the writer and its
// capabilities, erasing a CD-RW, ripping a track of an audio CD, the disc
// names of a path, and a photo disc made end to end.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>

#include "engine/tests/EngineFixture.h"

namespace vexa::engine::test {
namespace {

class CliTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = base::MakeTempDir(base::TempDirectory(), "vexa-sdkcli-");
    ASSERT_FALSE(dir_.empty());
    drive_ = dir_ + "/drive";
    base::MakeDirs(drive_);
    env_ = "VEXA_REGISTRY_DIR='" + dir_ + "/registry' XDG_DATA_HOME='" + dir_ + "/data' VEXA_SCSI_TRANSPORT='sim:" +
           drive_ + "' ";
    tool_ = std::string(VEXA_BUILD_DIR) + "/bin/vexasdk-cli";
  }
  void TearDown() override {
    if (!HasFailure()) base::RemoveAll(dir_);
  }
  int Run(const std::string& args, std::string* out) { return Shell(env_ + "'" + tool_ + "' " + args, out); }
  void Media(const std::string& conf) { base::WriteFileAtomic(drive_ + "/drive.conf", conf); }

  std::string dir_, drive_, env_, tool_;
};

TEST_F(CliTest, ListsTheSimulatedWriterWithItsCapabilities) {
  Media("profile = cdrw-writer\nmedia = cdr\n");
  std::string out;
  ASSERT_EQ(Run("drives", &out), 0) << out;
  EXPECT_NE(out.find("drive 0: VEXASIM CD-RW SIM 52X"), std::string::npos) << out;
  EXPECT_NE(out.find("path: " + drive_), std::string::npos) << out;
  EXPECT_NE(out.find("capabilities: CD-DA CD-R CD-RW TAO"), std::string::npos) << out;
  EXPECT_NE(out.find("(highest 52x)"), std::string::npos) << out;
  EXPECT_NE(out.find("disc: CD-R, blank"), std::string::npos) << out;
  EXPECT_EQ(Run("bogus", &out), 2);
}

TEST_F(CliTest, BlanksARewritable) {
  Media("profile = cdrw-writer\nmedia = cdrw\n");
  std::string out;
  ASSERT_EQ(Run("erase --full", &out), 0) << out;
  EXPECT_NE(out.find("done: the disc is blank"), std::string::npos) << out;
  Media("profile = cdrw-writer\nmedia = cdr\n");
  base::RemoveAll(drive_ + "/disc.state");
  EXPECT_EQ(Run("erase", &out), 1);
  EXPECT_NE(out.find("not rewritable"), std::string::npos) << out;
}

TEST_F(CliTest, RipsATrackToAWavEqualToItsSource) {
  // One 5-second track of generated PCM.
  std::string pcm(375 * 2352, '\0');
  for (std::size_t i = 0; i < pcm.size() / 2; ++i) {
    const auto v = static_cast<std::int16_t>(7000 * std::sin(static_cast<double>(i) * 0.031));
    std::memcpy(&pcm[i * 2], &v, 2);
  }
  base::WriteFileAtomic(dir_ + "/cd.bin", pcm);
  base::WriteFileAtomic(dir_ + "/cd.cue", "FILE \"cd.bin\" BINARY\n  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n");
  Media("profile = cdrw-writer\nmedia = rom:" + dir_ + "/cd.cue\n");
  std::string out;
  const std::string wav = dir_ + "/track.wav";
  ASSERT_EQ(Run("rip '" + drive_ + "/Track01.cda' '" + wav + "'", &out), 0) << out;
  EXPECT_NE(out.find("5.0 s"), std::string::npos) << out;
  std::string data;
  ASSERT_TRUE(base::ReadFile(wav, &data));
  ASSERT_EQ(data.size(), pcm.size() + 44);
  EXPECT_EQ(data.substr(44), pcm);
  EXPECT_EQ(Run("rip '" + drive_ + "/Track02.cda' '" + dir_ + "/none.wav'", &out), 1);
  EXPECT_FALSE(base::FileExists(dir_ + "/none.wav"));
}

TEST_F(CliTest, ShowsTheDiscNamesOfAPath) {
  std::string out;
  ASSERT_EQ(Run("names 'C:\\My Photos\\holiday.jpg'", &out), 0) << out;
  EXPECT_NE(out.find("ISO 9660: /ORIGINAL/YYMMDD_A/C_DRIVE/MY_PHO_0/HOLIDAY.JPG"), std::string::npos) << out;
  EXPECT_NE(out.find("Joliet:   /ORIGINAL/YYMMDD_A/C_Drive/My Photos/holiday.jpg"), std::string::npos) << out;
}

TEST_F(CliTest, MakesAPhotoDisc) {
  VEXA_REQUIRE_TOOL("convert");
  VEXA_REQUIRE_TOOL("sox");
  VEXA_REQUIRE_TOOL("vcd-info");
  Media("profile = cdrw-writer\nmedia = cdr\n");
  std::string photos;
  for (int i = 0; i < 3; ++i) {
    const std::string p = dir_ + "/p" + std::to_string(i) + ".jpg";
    ASSERT_EQ(Shell("convert -size 800x600 plasma:fractal -seed " + std::to_string(i) + " '" + p + "'"), 0);
    photos += " '" + p + "'";
  }
  ASSERT_EQ(Shell("sox -n -r 44100 -c 2 -b 16 '" + dir_ + "/m.wav' synth 8 sine 440"), 0);
  base::MakeDirs(dir_ + "/temp");
  std::string out;
  ASSERT_EQ(Run("make-disc --temp '" + dir_ + "/temp' --tv PAL --paper A4 --delay 3 -m '" + dir_ + "/m.wav' -1 Title" +
                    photos,
                &out),
            0)
      << out;
  EXPECT_NE(out.find("the disc is finished"), std::string::npos) << out;
  std::string cue;
  for (const auto& e : std::filesystem::directory_iterator(drive_)) {
    if (e.path().extension() == ".cue") cue = e.path().string();
  }
  ASSERT_FALSE(cue.empty());
  ASSERT_EQ(Shell("vcd-info --no-banner --cue-file '" + cue + "'", &out), 0) << out;
  // The title still and three photos, one thumbnail page, the home page.
  EXPECT_NE(out.find("number of segments: 6"), std::string::npos) << out;
  EXPECT_EQ(Run("make-disc", &out), 2);
}

// The span of one kind of stream ("a" or "v") in an MPEG file: from its first
// packet's time to the end of its last, by ffprobe.
double StreamSeconds(const std::string& mpeg, const char* kind) {
  std::string out;
  Shell(std::string("ffprobe -v error -select_streams ") + kind +
            " -show_entries packet=pts_time,duration_time -of csv=p=0 '" + mpeg + "'",
        &out);
  double first = -1, last = 0;
  std::size_t at = 0;
  while (at < out.size()) {
    const std::size_t end = std::min(out.find('\n', at), out.size());
    const std::string line = out.substr(at, end - at);
    at = end + 1;
    const std::size_t comma = line.find(',');
    if (comma == std::string::npos || line.compare(0, 3, "N/A") == 0) continue;
    const double pts = std::atof(line.c_str()), duration = std::atof(line.c_str() + comma + 1);
    if (first < 0) first = pts;
    last = std::max(last, pts + duration);
  }
  return first < 0 ? 0 : last - first;
}

// Music whose head states more than the file holds, as the audio reader takes
// it: a WAV written into a pipe (its sizes left at 0xFFFFFFFF) and a WMA file
// cut short. The disc is made with the music the file holds, played round
// for as long as the show lasts.
TEST_F(CliTest, MusicThatEndsBeforeItsHeadSaysStillMakesTheDisc) {
  for (const char* tool : {"convert", "ffmpeg", "ffprobe", "vcdxrip"}) VEXA_REQUIRE_TOOL(tool);
  std::string photos;
  for (int i = 0; i < 3; ++i) {
    const std::string p = dir_ + "/p" + std::to_string(i) + ".jpg";
    ASSERT_EQ(Shell("convert -size 320x240 plasma:fractal -seed " + std::to_string(i) + " '" + p + "'"), 0);
    photos += " '" + p + "'";
  }
  const std::string wav = dir_ + "/piped.wav", wma = dir_ + "/cut.wma";
  ASSERT_EQ(Shell("ffmpeg -nostdin -loglevel error -f lavfi -i sine=d=3 -f wav pipe: > '" + wav + "'"), 0);
  ASSERT_EQ(Shell("ffmpeg -nostdin -loglevel error -f lavfi -i sine=d=6 -c:a wmav2 '" + dir_ + "/whole.wma'"), 0);
  std::string bytes;
  ASSERT_TRUE(base::ReadFile(dir_ + "/whole.wma", &bytes));
  ASSERT_TRUE(base::WriteFileAtomic(wma, bytes.substr(0, bytes.size() / 2)));
  for (const std::string& music : {wav, wma}) {
    SCOPED_TRACE(music);
    base::RemoveAll(drive_);
    base::MakeDirs(drive_);
    Media("profile = cdrw-writer\nmedia = cdr\n");
    const std::string temp = dir_ + "/temp", rip = dir_ + "/rip";
    base::RemoveAll(rip);
    base::MakeDirs(temp);
    base::MakeDirs(rip);
    std::string out;
    ASSERT_EQ(Run("make-disc --temp '" + temp + "' --tv PAL --delay 3 -m '" + music + "' -1 Title" + photos, &out), 0)
        << out;
    std::string cue;
    for (const auto& e : std::filesystem::directory_iterator(drive_)) {
      if (e.path().extension() == ".cue") cue = e.path().string();
    }
    ASSERT_FALSE(cue.empty());
    ASSERT_EQ(Shell("cd '" + rip + "' && vcdxrip --cue-file='" + cue + "'", &out), 0) << out;
    const std::string track = rip + "/avseq01.mpg";
    ASSERT_TRUE(base::FileExists(track)) << out;
    const double show = StreamSeconds(track, "v"), audio = StreamSeconds(track, "a");
    EXPECT_GT(show, 8.0);  // longer than the music, which is played round
    EXPECT_NEAR(audio, show, 0.5);
    // The music, not silence, all the way through.
    std::string silence;
    Shell("ffmpeg -nostdin -v info -i '" + track + "' -map 0:a -af silencedetect=n=-50dB:d=0.5 -f null -", &silence);
    EXPECT_EQ(silence.find("silence_start"), std::string::npos) << silence;
  }
}

}  // namespace
}  // namespace vexa::engine::test
