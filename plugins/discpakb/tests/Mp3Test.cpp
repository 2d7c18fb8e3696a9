#include <cmath>
#include <thread>

#include "plugins/discpakb/Mp3AudioStream.h"
#include "plugins/discpakb/tests/AudioFixtures.h"

namespace vexa::discpakb::testing {
namespace {

class Mp3Test : public AudioTest {
 protected:
  void SetUp() override {
    AudioTest::SetUp();
    if (HasFatalFailure()) return;
    VEXA_REQUIRE_TOOL("ffmpeg");
    VEXA_REQUIRE_TOOL("ffprobe");
  }
};

std::vector<std::int16_t> Repeat(const std::vector<std::int16_t>& stereo, int times) {
  std::vector<std::int16_t> out;
  for (std::size_t f = 0; f + 1 < stereo.size(); f += 2) {
    for (int k = 0; k < times; ++k) out.insert(out.end(), {stereo[f], stereo[f + 1]});
  }
  return out;
}

// One MPEG frame of audio at the file's rate, in milliseconds.
double FrameMs(int rate) { return 1152.0 * 1000.0 / rate; }

TEST_F(Mp3Test, DecodesLikeFfmpegWithTheFileDuration) {
  // CBR and VBR at 44.1 kHz, and rates that need real resampling (48 kHz,
  // 32 kHz, 24 kHz) or exact repetition (22050 and 11025 Hz).
  struct Row {
    const char* name;
    const char* args;
    int rate;
    bool vbr;
  };
  const Row rows[] = {
      {"cbr.mp3", "-c:a libmp3lame -b:a 192k", 44100, false},
      {"vbr.mp3", "-c:a libmp3lame -q:a 2", 44100, true},
      {"48k.mp3", "-c:a libmp3lame -b:a 160k -ar 48000", 48000, false},
      {"32k.mp3", "-c:a libmp3lame -b:a 128k -ar 32000", 32000, false},
      {"24k-mono.mp3", "-c:a libmp3lame -b:a 64k -ar 24000 -ac 1", 24000, false},
      {"22k-mono.mp3", "-c:a libmp3lame -b:a 64k -ar 22050 -ac 1", 22050, false},
      {"11k.mp3", "-c:a libmp3lame -b:a 32k -ar 11025", 11025, false},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    const std::string mp3 = Make(r.name, StereoTone(4.0) + " " + r.args);
    Mp3AudioStream s(mp3);
    ASSERT_EQ(s.Open(), 1);
    const std::vector<std::int16_t> ours = ReadAll(&s);
    const bool mono = std::string(r.name).find("mono") != std::string::npos;
    // At 22050 and 11025 Hz the reader repeats frames exactly, so ffmpeg's
    // decode at the file's own rate is repeated the same way.
    const int repeat = r.rate == 22050 ? 2 : r.rate == 11025 ? 4 : 1;
    std::vector<std::int16_t> theirs = FfmpegDecode(mp3, repeat > 1 ? 0 : 44100, mono ? 1 : 2, true);
    if (repeat > 1) theirs = Repeat(theirs, repeat);
    // Durations: ffprobe's counts the encoder's delay that the decoders skip
    // (its start time); without it, it agrees with the object's and with the
    // delivered stream within one frame, and ffmpeg decodes as many frames.
    const double probe = (FfprobeDuration(mp3) - FfprobeStart(mp3)) * 1000.0;
    const double delivered = static_cast<double>(ours.size() / 2) * 1000.0 / 44100.0;
    EXPECT_NEAR(s.GetDurationMs(), probe, FrameMs(r.rate));
    EXPECT_NEAR(delivered, probe, FrameMs(r.rate));
    EXPECT_NEAR(static_cast<double>(ours.size()), static_cast<double>(theirs.size()), 2.0 * 1152 * 44100 / r.rate);
    // Samples: the same decode, up to the resamplers' and decoders' rounding.
    const Match m = BestMatch(ours, theirs, 1200);
    const double tolerance = r.rate == 44100 || r.rate == 22050 || r.rate == 11025 ? 4.0 : 0.01 * Rms(theirs) + 4.0;
    EXPECT_LT(m.rms, tolerance) << "shift " << m.shift;
    EXPECT_GT(m.overlap, ours.size() / 2 - 2400);

    AudioFormatRecord* f = s.GetFormat();
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(f->sampleRate, r.rate);
    EXPECT_EQ(f->channels, mono ? 1 : 2);
    EXPECT_EQ(f->bitsPerSample, 16);
    EXPECT_EQ(f->formatCode, 5000);
    if (r.vbr) {
      EXPECT_GT(f->peakBitRate, f->bitRate);
    } else {
      EXPECT_EQ(f->peakBitRate, f->bitRate);
    }
    std::uint32_t bytes = 0;
    EXPECT_EQ(s.GetSize(&bytes), static_cast<std::int32_t>(s.GetDurationMs() / 1000));
    EXPECT_EQ(bytes, ReadBytes(mp3).size());
  }
}

TEST_F(Mp3Test, CbrBitRateAndExactRepetition) {
  const std::string mp3 = Make("mono22.mp3", MonoTone(2.0) + " -c:a libmp3lame -b:a 64k -ar 22050 -ac 1");
  Mp3AudioStream s(mp3);
  ASSERT_EQ(s.Open(), 1);
  const std::vector<std::int16_t> ours = ReadAll(&s);
  // Every decoded sample in four consecutive 16-bit slots.
  ASSERT_EQ(ours.size() % 4, 0u);
  bool repeated = true;
  for (std::size_t i = 0; i + 3 < ours.size() && repeated; i += 4) {
    repeated = ours[i] == ours[i + 1] && ours[i] == ours[i + 2] && ours[i] == ours[i + 3];
  }
  EXPECT_TRUE(repeated);
  // ... and those samples are ffmpeg's decode at the file's own rate.
  EXPECT_LT(BestMatch(ours, Repeat(FfmpegDecode(mp3, 0, 1, true), 2), 2400).rms, 4.0);
  ASSERT_NE(s.GetFormat(), nullptr);
  EXPECT_EQ(s.GetFormat()->bitRate, 64000);
}

TEST_F(Mp3Test, BrokenFilesFailOrEndWithoutCrashing) {
  const std::string good = Make("good.mp3", StereoTone(3.0) + " -c:a libmp3lame -b:a 128k");
  const std::string bytes = ReadBytes(good);
  std::string damaged = bytes;
  for (std::size_t i = damaged.size() / 3; i < damaged.size() / 3 + 2000; ++i) damaged[i] = static_cast<char>(i * 7);
  struct Row {
    const char* name;
    std::string bytes;
    bool opens;
  };
  const Row rows[] = {
      {"garbage.mp3", std::string(20000, '\x33'), false},
      {"empty.mp3", "", false},
      {"truncated.mp3", bytes.substr(0, bytes.size() / 2), true},
      {"damaged.mp3", damaged, true},
      {"header-only.mp3", bytes.substr(0, 3), false},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    WriteBytes(Path(r.name), r.bytes);
    Mp3AudioStream s(Path(r.name));
    ASSERT_EQ(s.Open(), r.opens ? 1 : 0);
    const std::vector<std::int16_t> ours = ReadAll(&s);
    EXPECT_LE(ours.size() / 2, 3u * 44100u + 2000u);
    if (!r.opens) {
      EXPECT_TRUE(ours.empty());
      // A file the analysis rejects has no duration, and is not analysed again.
      EXPECT_EQ(s.GetDurationMs(), 0u);
      EXPECT_EQ(s.GetFormat(), nullptr);
    }
  }
  // The truncated file says less than the whole: the duration is measured.
  Mp3AudioStream t(Path("truncated.mp3"));
  ASSERT_EQ(t.Open(), 1);
  EXPECT_NEAR(t.GetDurationMs(), 1500.0, 100.0);
}

TEST_F(Mp3Test, TwoReadersOnTwoThreads) {
  const std::string a = Make("a.mp3", StereoTone(3.0) + " -c:a libmp3lame -q:a 3");
  const std::string b = Make("b.mp3", MonoTone(2.0) + " -c:a libmp3lame -b:a 96k -ar 48000");
  auto decode = [](const std::string& path, std::vector<std::int16_t>* out, std::uint32_t* ms) {
    Mp3AudioStream s(path);
    if (s.Open() != 1) return;
    *ms = s.GetDurationMs();
    *out = ReadAll(&s);
  };
  std::vector<std::int16_t> alone[2], together[2];
  std::uint32_t msAlone[2] = {}, msTogether[2] = {};
  decode(a, &alone[0], &msAlone[0]);
  decode(b, &alone[1], &msAlone[1]);
  {
    std::jthread t1(decode, a, &together[0], &msTogether[0]);
    std::jthread t2(decode, b, &together[1], &msTogether[1]);
  }
  for (int i = 0; i < 2; ++i) {
    EXPECT_FALSE(alone[i].empty());
    EXPECT_EQ(alone[i], together[i]);
    EXPECT_EQ(msAlone[i], msTogether[i]);
  }
}

}  // namespace
}  // namespace vexa::discpakb::testing
