#include <cstring>
#include <memory>

#include "plugins/discpakb/WavAudioStream.h"
#include "plugins/discpakb/tests/AudioFixtures.h"

namespace vexa::discpakb::testing {
namespace {

class WavTest : public AudioTest {
 protected:
  void SetUp() override {
    AudioTest::SetUp();
    if (HasFatalFailure()) return;
    VEXA_REQUIRE_TOOL("ffmpeg");
  }
};

void Put16(std::string& s, int v) {
  s.push_back(static_cast<char>(v & 0xFF));
  s.push_back(static_cast<char>((v >> 8) & 0xFF));
}
void Put32(std::string& s, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) s.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
}

// A WAV file built by hand: the fmt chunk given whole, then `between`
// (other chunks), then the data chunk.
std::string Wave(const std::string& fmt, const std::string& between, const std::string& data) {
  std::string body = "WAVE";
  body += "fmt ";
  Put32(body, static_cast<std::uint32_t>(fmt.size()));
  body += fmt;
  body += between;
  body += "data";
  Put32(body, static_cast<std::uint32_t>(data.size()));
  body += data;
  std::string file = "RIFF";
  Put32(file, static_cast<std::uint32_t>(body.size()));
  return file + body;
}

std::string PcmFmt(int tag, int channels, int rate, int bits, std::string extra = "") {
  std::string f;
  Put16(f, tag);
  Put16(f, channels);
  Put32(f, static_cast<std::uint32_t>(rate));
  Put32(f, static_cast<std::uint32_t>(rate * channels * bits / 8));
  Put16(f, channels * bits / 8);
  Put16(f, bits);
  return f + extra;
}

std::string AsBytes(const std::vector<std::int16_t>& v) {
  return std::string(reinterpret_cast<const char*>(v.data()), v.size() * 2);
}

TEST_F(WavTest, PlainStereoIsDeliveredByteForByte) {
  const std::string wav = Make("a.wav", StereoTone(2.5) + " -c:a pcm_s16le");
  WavAudioStream s(wav);
  ASSERT_EQ(s.Open(), 1);
  std::vector<int> reads;
  const std::vector<std::int16_t> ours = ReadAll(&s, 8192, &reads);
  const std::vector<std::int16_t> theirs = FfmpegDecode(wav);
  ASSERT_EQ(ours.size(), 110250u * 2);
  EXPECT_EQ(ours, theirs);
  // 8192 bytes until the last block, then the rest, then 0.
  ASSERT_GE(reads.size(), 3u);
  for (std::size_t i = 0; i + 2 < reads.size(); ++i) ASSERT_EQ(reads[i], 8192) << i;
  EXPECT_EQ(reads[reads.size() - 2], 441000 % 8192);
  EXPECT_EQ(reads.back(), 0);
  EXPECT_EQ(s.Read(nullptr, 8192), 0);

  std::uint32_t bytes = 0;
  EXPECT_EQ(s.GetSize(&bytes), 2);
  EXPECT_EQ(bytes, 441000u);
  EXPECT_EQ(s.GetDurationMs(), 2500u);
  AudioFormatRecord* f = s.GetFormat();
  ASSERT_NE(f, nullptr);
  EXPECT_EQ(f->bitRate, 1411200);
  EXPECT_EQ(f->peakBitRate, 1411200);
  EXPECT_EQ(f->sampleRate, 44100);
  EXPECT_EQ(f->channels, 2);
  EXPECT_EQ(f->bitsPerSample, 16);
  EXPECT_EQ(f->formatCode, 1);

  // Open again starts from the beginning.
  ASSERT_EQ(s.Open(), 1);
  EXPECT_EQ(ReadAll(&s, 65536), theirs);
}

TEST_F(WavTest, LowRatesAreRepeatedExactly) {
  // 11025 Hz: every frame four times; 22050 Hz: twice; mono samples go to
  // both sides. (11025 Hz mono thus gives 8 times the bytes.)
  struct Row {
    const char* args;
    int channels, repeat;
  };
  const Row rows[] = {{"-ar 11025 -ac 1", 1, 4}, {"-ar 22050 -ac 2", 2, 2}, {"-ar 22050 -ac 1", 1, 2}};
  for (const Row& r : rows) {
    const std::string wav = Make("low.wav", StereoTone(1.3) + " -c:a pcm_s16le " + r.args);
    const std::vector<std::int16_t> src = FfmpegDecode(wav, 0, r.channels);
    const std::size_t sourceFrames = src.size() / static_cast<std::size_t>(r.channels);
    WavAudioStream s(wav);
    ASSERT_EQ(s.Open(), 1);
    const std::vector<std::int16_t> ours = ReadAll(&s, 32768);
    ASSERT_EQ(ours.size(), sourceFrames * 2 * static_cast<std::size_t>(r.repeat)) << r.args;
    bool same = true;
    for (std::size_t f = 0; f < sourceFrames && same; ++f) {
      for (int k = 0; k < r.repeat; ++k) {
        const std::size_t o = 2 * (f * static_cast<std::size_t>(r.repeat) + static_cast<std::size_t>(k));
        const std::int16_t left = src[f * static_cast<std::size_t>(r.channels)];
        const std::int16_t right = src[f * static_cast<std::size_t>(r.channels) + (r.channels - 1)];
        same = same && ours[o] == left && ours[o + 1] == right;
      }
    }
    EXPECT_TRUE(same) << r.args;
  }
}

TEST_F(WavTest, EveryRateSizeAndChannelCountBecomesTheDiscAudio) {
  // 8 to 96 kHz, 8/16/24/32-bit integers, 32- and 64-bit floating point, mono
  // to six channels, plain and extensible heads, and the compressed codings
  // the decoder knows: each is delivered as 44.1 kHz stereo that matches
  // ffmpeg's own decode of the file at 44.1 kHz.
  struct Row {
    const char* name;
    std::string args;
    int rate, channels, bits;
    double tolerance;  // rms in LSB beyond 1 % of the signal
  };
  const std::string six =
      "-f lavfi -i \"aevalsrc=0.3*sin(300*2*PI*t)|0.3*sin(500*2*PI*t)|0.3*sin(700*2*PI*t)|"
      "0.3*sin(60*2*PI*t)|0.3*sin(900*2*PI*t)|0.3*sin(1100*2*PI*t):s=48000:d=1.5\"";
  const Row rows[] = {
      {"48k-24.wav", StereoTone(1.5) + " -c:a pcm_s24le -ar 48000", 48000, 2, 24, 4.0},
      {"48k-16.wav", StereoTone(1.5) + " -c:a pcm_s16le -ar 48000", 48000, 2, 16, 4.0},
      {"96k-32.wav", StereoTone(1.5) + " -c:a pcm_s32le -ar 96000", 96000, 2, 32, 4.0},
      {"8k-8-mono.wav", MonoTone(1.5) + " -c:a pcm_u8 -ar 8000", 8000, 1, 8, 300.0},
      {"44k-8.wav", StereoTone(1.5) + " -c:a pcm_u8", 44100, 2, 8, 300.0},
      {"32k-float.wav", StereoTone(1.5) + " -c:a pcm_f32le -ar 32000", 32000, 2, 32, 4.0},
      {"44k-double.wav", StereoTone(1.5) + " -c:a pcm_f64le", 44100, 2, 64, 4.0},
      {"16k-24-mono.wav", MonoTone(1.5) + " -c:a pcm_s24le -ar 16000", 16000, 1, 24, 4.0},
      {"48k-24-ext-6ch.wav", six + " -c:a pcm_s24le -rf64 never -write_bext 0", 48000, 6, 24, 4.0},
      {"ulaw.wav", StereoTone(1.5) + " -c:a pcm_mulaw", 44100, 2, 8, 300.0},
      {"ima.wav", StereoTone(1.5) + " -c:a adpcm_ima_wav", 44100, 2, 4, 300.0},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    const std::string wav = Make(r.name, r.args);
    WavAudioStream s(wav);
    ASSERT_EQ(s.Open(), 1) << s.GetError();
    EXPECT_STREQ(s.GetError(), "");
    const std::vector<std::int16_t> ours = ReadAll(&s);
    const std::vector<std::int16_t> theirs = FfmpegDecode(wav, 44100, r.channels > 2 ? 2 : r.channels, true);
    const double seconds = static_cast<double>(ours.size() / 2) / 44100.0;
    EXPECT_NEAR(seconds, 1.5, 0.03);  // an ADPCM file ends on a whole block
    EXPECT_NEAR(static_cast<double>(ours.size()), static_cast<double>(theirs.size()), 2.0 * 2048);
    if (r.channels <= 2) {
      // The down-mix of more channels is our own (the test of mixing
      // compares it); for one and two the sound is ffmpeg's.
      const Match m = BestMatch(ours, theirs, 600);
      EXPECT_LT(m.rms, 0.01 * Rms(theirs) + r.tolerance) << "shift " << m.shift;
    }
    EXPECT_GT(Rms(ours), 1000.0);
    AudioFormatRecord* f = s.GetFormat();
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(f->sampleRate, r.rate);
    EXPECT_EQ(f->channels, r.channels);
    EXPECT_EQ(f->bitsPerSample, r.bits);
    EXPECT_NEAR(static_cast<double>(s.GetDurationMs()), 1500.0, 30.0);
  }
}

TEST_F(WavTest, RefusedAtOpenWithTheReason) {
  struct Row {
    const char* name;
    std::string args;
    const char* why;
  };
  const Row rows[] = {
      {"4k.wav", StereoTone(0.5) + " -c:a pcm_s16le -ar 4000", "its sample rate is 4000 Hz; 8000 to 96000 Hz can be read"},
      {"192k.wav", StereoTone(0.5) + " -c:a pcm_s16le -ar 192000",
       "its sample rate is 192000 Hz; 8000 to 96000 Hz can be read"},
  };
  for (const Row& r : rows) {
    WavAudioStream s(Make(r.name, r.args));
    EXPECT_EQ(s.Open(), 0) << r.name;
    EXPECT_STREQ(s.GetError(), r.why) << r.name;
    std::uint32_t frames[4];
    EXPECT_EQ(s.Read(frames, 16), 0) << r.name;
  }
  const std::string data(4000, '\1');
  struct Crafted {
    const char* name;
    std::string bytes;
    const char* why;  // null: the decoder's refusal
  };
  const Crafted crafted[] = {
      {"fmt-not-at-12.wav",
       std::string("RIFF\x40\0\0\0WAVEJUNK\4\0\0\0abcd", 24) + Wave(PcmFmt(1, 2, 44100, 16), "", data).substr(12),
       "its format chunk does not follow the RIFF head"},
      {"no-data.wav", Wave(PcmFmt(1, 2, 44100, 16), "", "").substr(0, 36), "it has no sound data (no data chunk)"},
      {"empty-data.wav", Wave(PcmFmt(1, 2, 44100, 16), "", ""), "its sound data is empty"},
      {"no-channels.wav", Wave(PcmFmt(1, 0, 44100, 16), "", data), "it has 0 channels; 1 to 32 can be read"},
      {"bad-block.wav", [&] {
         std::string w = Wave(PcmFmt(1, 2, 44100, 16), "", data);
         w[32] = 3;  // block align 3 for two 16-bit channels
         return w;
       }(), "its block size does not match its channels and bits"},
      {"12bit.wav", Wave(PcmFmt(1, 2, 44100, 12), "", data),
       "its samples are 12-bit integers; 8, 16, 24 or 32 bits can be read"},
      {"16bit-float.wav", Wave(PcmFmt(3, 2, 44100, 16), "", data),
       "its samples are 16-bit floating point; 32 or 64 bits can be read"},
      {"short-ext.wav", Wave(PcmFmt(0xFFFE, 2, 44100, 16, std::string(4, '\0')), "", data),
       "its extensible fmt chunk is cut short"},
      {"unknown-coding.wav", Wave(PcmFmt(0x1234, 2, 44100, 16), "", data), nullptr},
      {"short.wav", "RIFF\4\0\0\0WAVE", "it is shorter than a WAV file's head"},
      {"garbage.wav", std::string(5000, '\x5A'), "it is not a RIFF file"},
      {"empty.wav", "", "it is shorter than a WAV file's head"},
  };
  for (const Crafted& c : crafted) {
    WriteBytes(Path(c.name), c.bytes);
    WavAudioStream s(Path(c.name));
    EXPECT_EQ(s.Open(), 0) << c.name;
    if (c.why) {
      EXPECT_STREQ(s.GetError(), c.why) << c.name;
    } else {
      // The decoder's own words follow ours.
      EXPECT_EQ(std::string(s.GetError()).rfind("its sound coding (format 0x1234) cannot be decoded: ", 0), 0u)
          << s.GetError();
    }
  }
}

TEST_F(WavTest, ChunksBeforeDataAreWalkedWithTheirPadByte) {
  std::vector<std::int16_t> samples(2 * 3000);
  for (std::size_t i = 0; i < samples.size(); ++i) samples[i] = static_cast<std::int16_t>(i * 37 - 20000);
  const std::string data = AsBytes(samples);
  // LIST of odd size 5 with its pad byte, then an odd INFO-like chunk: the
  // data chunk lies after both.
  std::string between = "LIST";
  Put32(between, 5);
  between += std::string("INFOa") + '\0';
  between += "note";
  Put32(between, 3);
  between += std::string("abc") + '\0';
  for (bool padded : {true, false}) {
    std::string chunks = between;
    if (!padded) {
      // A writer that left the pad bytes out is still followed.
      chunks = "LIST";
      Put32(chunks, 5);
      chunks += "INFOa";
      chunks += "note";
      Put32(chunks, 3);
      chunks += "abc";
    }
    const std::string path = Path(padded ? "list.wav" : "list-nopad.wav");
    WriteBytes(path, Wave(PcmFmt(1, 2, 44100, 16), chunks, data));
    WavAudioStream s(path);
    ASSERT_EQ(s.Open(), 1) << padded;
    EXPECT_EQ(ReadAll(&s), samples) << padded;
    if (padded && HaveTool("ffprobe")) {
      // ffmpeg agrees on where the data lies.
      EXPECT_EQ(FfmpegDecode(path), samples);
    }
  }
}

TEST_F(WavTest, ExtensibleGoesThroughTheDecoderAndFactIsNotNeeded) {
  // A 16-bit WAVE_FORMAT_EXTENSIBLE file at 22050 Hz, with no fact chunk.
  const std::vector<std::int16_t> src = FfmpegDecode(Make("src.wav", StereoTone(1.0) + " -c:a pcm_s16le -ar 22050"));
  ASSERT_FALSE(src.empty());
  std::string extra;
  Put16(extra, 22);      // cbSize
  Put16(extra, 16);      // valid bits
  Put32(extra, 3);       // front left, front right
  Put32(extra, 1);       // sub-format: PCM
  extra += std::string("\x00\x00\x10\x00\x80\x00\x00\xAA\x00\x38\x9B\x71", 12);
  const std::string path = Path("ext.wav");
  WriteBytes(path, Wave(PcmFmt(0xFFFE, 2, 22050, 16, extra), "", AsBytes(src)));
  // ffmpeg reads the file we made as the same samples.
  ASSERT_EQ(FfmpegDecode(path), src);

  WavAudioStream s(path);
  ASSERT_EQ(s.Open(), 1);
  EXPECT_FALSE(s.isPCM());
  const std::vector<std::int16_t> ours = ReadAll(&s);
  ASSERT_EQ(ours.size(), src.size() * 2);
  for (std::size_t f = 0; f < src.size() / 2; ++f) {
    ASSERT_EQ(ours[4 * f], src[2 * f]) << f;
    ASSERT_EQ(ours[4 * f + 2], src[2 * f]) << f;
    ASSERT_EQ(ours[4 * f + 1], src[2 * f + 1]) << f;
    ASSERT_EQ(ours[4 * f + 3], src[2 * f + 1]) << f;
  }
  AudioFormatRecord* f = s.GetFormat();
  ASSERT_NE(f, nullptr);
  EXPECT_EQ(f->formatCode, 0xFFFE);
  EXPECT_EQ(f->sampleRate, 22050);
  EXPECT_EQ(s.GetDurationMs(), 1000u);
}

// MPEG layer 3 inside a RIFF WAVE (format 0x0055), at a constant bit rate
// and at a variable one, whose head states no byte rate at all: both are
// sound of the length ffprobe finds, the samples ffmpeg decodes, and a
// format with a bit rate.
TEST_F(WavTest, Mp3InsideAWaveFileIsSoundOfItsLength) {
  struct Case {
    const char* name;
    const char* coding;
  } cases[] = {
      {"cbr.wav", " -c:a libmp3lame -b:a 128k"},
      {"vbr.wav", " -c:a libmp3lame -q:a 4"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string wav = Make(c.name, StereoTone(3.0) + c.coding + " -f wav");
    ASSERT_EQ(ReadBytes(wav).substr(20, 2), std::string("\x55\x00", 2));
    WavAudioStream s(wav);
    ASSERT_EQ(s.Open(), 1) << s.GetError();
    EXPECT_FALSE(s.isPCM());
    const double probe = (FfprobeDuration(wav) - FfprobeStart(wav)) * 1000.0;
    EXPECT_NEAR(s.GetDurationMs(), probe, 1152 * 1000.0 / 44100);
    std::uint32_t bytes = 0;
    EXPECT_EQ(s.GetSize(&bytes), 3);
    EXPECT_GT(bytes, 0u);
    AudioFormatRecord* f = s.GetFormat();
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(f->formatCode, 0x55);
    EXPECT_GT(f->bitRate, 16000);
    const std::vector<std::int16_t> ours = ReadAll(&s);
    const std::vector<std::int16_t> theirs = FfmpegDecode(wav);
    EXPECT_NEAR(static_cast<double>(ours.size()), static_cast<double>(theirs.size()), 2.0 * 2 * 1152);
    const Match m = BestMatch(ours, theirs, 1200);
    EXPECT_LT(m.rms, 4.0) << "shift " << m.shift;
    EXPECT_GT(Rms(ours), 2000.0);
  }
}

TEST_F(WavTest, MoreThanTwoChannelsAreMixedDown) {
  const std::string wav =
      Make("51.wav", "-f lavfi -i \"aevalsrc=0.3*sin(300*2*PI*t)|0.3*sin(500*2*PI*t)|0.3*sin(700*2*PI*t)|"
                     "0.3*sin(60*2*PI*t)|0.3*sin(900*2*PI*t)|0.3*sin(1100*2*PI*t):s=44100:d=1\" -c:a pcm_s16le");
  WavAudioStream s(wav);
  ASSERT_EQ(s.Open(), 1);
  const std::vector<std::int16_t> ours = ReadAll(&s);
  const std::vector<std::int16_t> theirs = FfmpegDecode(wav, 0, 2);
  ASSERT_EQ(ours.size(), 88200u);
  ASSERT_EQ(theirs.size(), ours.size());
  const Match m = BestMatch(ours, theirs, 0);
  EXPECT_LT(m.rms, 2.0);
  EXPECT_GT(Rms(ours), 2000.0);
  EXPECT_EQ(s.GetFormat()->channels, 6);
}

TEST_F(WavTest, SizeAndDuration) {
  // 882000 data bytes at 176400 bytes a second: 5 seconds.
  const std::string wav = Make("five.wav", StereoTone(5.0) + " -c:a pcm_s16le");
  WavAudioStream s(wav);
  ASSERT_EQ(s.Open(), 1);
  std::uint32_t bytes = 0;
  EXPECT_EQ(s.GetSize(&bytes), 5);
  EXPECT_EQ(bytes, 882000u);
  EXPECT_EQ(s.GetDurationMs(), 5000u);
}

// A head that states more sound than the file holds: a file cut short, and
// one written into a pipe (ffmpeg leaves the sizes at 0xFFFFFFFF). The
// sound is what the file holds, and its length says so, so that the disc's
// encoder takes the whole of it.
TEST_F(WavTest, AHeadThatSaysTooMuchEndsWhereTheFileEnds) {
  const std::string cut = Make("t.wav", StereoTone(2.0) + " -c:a pcm_s16le");
  std::string bytes = ReadBytes(cut);
  bytes.resize(bytes.size() / 2 + 1);  // a cut inside a frame
  WriteBytes(cut, bytes);
  const std::string piped = Path("piped.wav");
  ASSERT_EQ(Shell("ffmpeg -nostdin -loglevel error " + StereoTone(3.0) + " -c:a pcm_s16le -f wav pipe: > '" + piped +
                  "'"),
            0);
  ASSERT_EQ(ReadBytes(piped).substr(4, 4), std::string(4, '\xFF'));  // the streaming head
  struct Row {
    std::string path;
    double seconds;
  } rows[] = {{cut, 1.0}, {piped, 3.0}};
  for (const Row& r : rows) {
    SCOPED_TRACE(r.path);
    WavAudioStream s(r.path);
    ASSERT_EQ(s.Open(), 1);
    const std::vector<std::int16_t> ours = ReadAll(&s);
    EXPECT_EQ(ours.size() % 2, 0u);
    const double frames = static_cast<double>(ours.size() / 2);
    EXPECT_NEAR(frames / 44100.0, r.seconds, 0.01);
    // The stated length is what was delivered, to the millisecond.
    EXPECT_NEAR(static_cast<double>(s.GetDurationMs()), frames / 44.1, 1.0);
    std::uint32_t size = 0;
    s.GetSize(&size);
    EXPECT_NEAR(static_cast<double>(size), frames * 4, 4.0);
  }
}

}  // namespace
}  // namespace vexa::discpakb::testing
