#include "plugins/discpakb/WmaAudioStream.h"
#include "plugins/discpakb/tests/AudioFixtures.h"

namespace vexa::discpakb::testing {
namespace {

class WmaTest : public AudioTest {
 protected:
  void SetUp() override {
    AudioTest::SetUp();
    if (HasFatalFailure()) return;
    VEXA_REQUIRE_TOOL("ffmpeg");
    VEXA_REQUIRE_TOOL("ffprobe");
  }
};

TEST_F(WmaTest, DecodesLikeFfmpegAtEveryRate) {
  struct Row {
    const char* name;
    const char* args;
    int rate;
  };
  const Row rows[] = {
      {"44k.wma", "-c:a wmav2 -b:a 128k", 44100},
      {"22k-mono.wma", "-c:a wmav2 -b:a 48k -ar 22050 -ac 1", 22050},
      {"32k.wma", "-c:a wmav2 -b:a 64k -ar 32000", 32000},
      {"48k.wma", "-c:a wmav1 -b:a 128k -ar 48000", 48000},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    const std::string wma = Make(r.name, StereoTone(3.0) + " " + r.args);
    WmaAudioStream s(wma);
    ASSERT_EQ(s.Open(), 1);
    const std::vector<std::int16_t> ours = ReadAll(&s);
    const bool mono = std::string(r.name).find("mono") != std::string::npos;
    const std::vector<std::int16_t> theirs = FfmpegDecode(wma, 44100, mono ? 1 : 2, true);
    // The file's duration is ffprobe's; the delivered stream is as long as
    // ffmpeg's decode (which ends short of the stated duration).
    const double frameMs = 2048.0 * 1000.0 / r.rate;
    EXPECT_NEAR(s.GetDurationMs(), FfprobeDuration(wma) * 1000.0, frameMs);
    EXPECT_NEAR(static_cast<double>(ours.size()), static_cast<double>(theirs.size()), 2.0 * 2048 * 44100 / r.rate);
    const Match m = BestMatch(ours, theirs, 600);
    // At 44.1 kHz the decode is the same; resampled, the two resamplers differ
    // a little.
    EXPECT_LT(m.rms, r.rate == 44100 ? 1.0 : 0.01 * Rms(theirs) + 4.0) << "shift " << m.shift;
    if (r.rate == 44100) {
      EXPECT_EQ(m.shift, 0);
    }
    AudioFormatRecord* f = s.GetFormat();
    ASSERT_NE(f, nullptr);
    EXPECT_GT(f->bitRate, 0);
    EXPECT_EQ(f->channels, 2);
    EXPECT_EQ(f->sampleRate, 0);
    EXPECT_EQ(f->bitsPerSample, 0);
    EXPECT_EQ(f->formatCode, 0);
  }
}

TEST_F(WmaTest, SizeIsWholeSecondsOfOutputPcm) {
  const std::string wma = Make("long.wma", StereoTone(95.9) + " -c:a wmav2 -b:a 32k");
  WmaAudioStream s(wma);
  ASSERT_EQ(s.Open(), 1);
  std::uint32_t bytes = 0;
  EXPECT_EQ(s.GetSize(&bytes), 95);
  EXPECT_EQ(bytes, 16758000u);
}

TEST_F(WmaTest, BrokenFilesFailOrEnd) {
  const std::string good = Make("good.wma", StereoTone(3.0) + " -c:a wmav2 -b:a 64k");
  const std::string bytes = ReadBytes(good);
  std::string damaged = bytes;
  for (std::size_t i = damaged.size() / 2; i < damaged.size() / 2 + 3000; ++i) damaged[i] = static_cast<char>(i * 13);
  const std::string mp3 = Make("really.mp3", StereoTone(1.0) + " -c:a libmp3lame");
  struct Row {
    const char* name;
    std::string bytes;
    int opens;  // 1, 0, or -1 for either
  };
  const Row rows[] = {
      {"garbage.wma", std::string(30000, '\x44'), 0},
      {"empty.wma", "", 0},
      {"mp3-named.wma", ReadBytes(mp3), 0},
      {"truncated.wma", bytes.substr(0, bytes.size() / 2), 1},
      {"head-only.wma", bytes.substr(0, 600), -1},
      {"damaged.wma", damaged, 1},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    WriteBytes(Path(r.name), r.bytes);
    WmaAudioStream s(Path(r.name));
    const int opened = s.Open();
    if (r.opens >= 0) {
      EXPECT_EQ(opened, r.opens);
    }
    const std::vector<std::int16_t> ours = ReadAll(&s);
    EXPECT_LE(ours.size() / 2, 3u * 44100u + 4096u);
    if (!opened) {
      EXPECT_TRUE(ours.empty());
    }
    s.Close();
    s.Close();
  }
}

}  // namespace
}  // namespace vexa::discpakb::testing
