// Get_Mpeg_Stream_Prop against ffprobe on inputs ffmpeg makes at test time,
// in plain and Video CD track (RIFF/CDXA) form.
#include <gtest/gtest.h>

#include <cstring>
#include <sstream>

#include "encoder/VidlatheStreams.h"
#include "encoder/tests/StreamTestSupport.h"

namespace {

using namespace streamtest;

const char* kVideoSource = "-f lavfi -i testsrc=size=352x288:rate=25 ";
const char* kAudioSource = "-f lavfi -i sine=frequency=440:sample_rate=44100 ";

struct Probe {
  int width = 0, height = 0, rateCode = 0, bitRate400 = 0;
  int sampleRate = 0, audioBitRate = 0;
  bool hasVideo = false, hasAudio = false;
};

int RateCodeOf(const std::string& r) {
  static const char* kRates[] = {"", "24000/1001", "24/1", "25/1", "30000/1001",
                                 "30/1", "50/1", "60000/1001", "60/1"};
  for (int i = 1; i <= 8; ++i)
    if (r == kRates[i]) return i;
  return 0;
}

Probe FfprobeOf(const std::string& path) {
  Probe p;
  const std::string out = Shell("ffprobe -v error -show_entries "
                              "stream=codec_type,width,height,r_frame_rate,bit_rate,sample_rate "
                              "-of flat '" + path + "'");
  std::istringstream in(out);
  std::string line;
  std::string type[4];
  auto value = [](const std::string& l) {
    std::string v = l.substr(l.find('=') + 1);
    if (!v.empty() && v.front() == '"') v = v.substr(1, v.size() - 2);
    return v;
  };
  while (std::getline(in, line)) {
    const size_t a = line.find("streams.stream.");
    if (a == std::string::npos) continue;
    const int idx = std::atoi(line.c_str() + a + 15);
    if (idx < 0 || idx > 3) continue;
    const std::string key = line.substr(line.find('.', a + 15) + 1, line.find('=') - line.find('.', a + 15) - 1);
    const std::string v = value(line);
    if (key == "codec_type") type[idx] = v;
  }
  std::istringstream in2(out);
  while (std::getline(in2, line)) {
    const size_t a = line.find("streams.stream.");
    if (a == std::string::npos) continue;
    const int idx = std::atoi(line.c_str() + a + 15);
    if (idx < 0 || idx > 3) continue;
    const std::string key = line.substr(line.find('.', a + 15) + 1, line.find('=') - line.find('.', a + 15) - 1);
    const std::string v = value(line);
    if (type[idx] == "video") {
      p.hasVideo = true;
      if (key == "width") p.width = std::atoi(v.c_str());
      if (key == "height") p.height = std::atoi(v.c_str());
      if (key == "r_frame_rate") p.rateCode = RateCodeOf(v);
      if (key == "bit_rate") p.bitRate400 = std::atoi(v.c_str()) / 400;
    } else if (type[idx] == "audio") {
      p.hasAudio = true;
      if (key == "sample_rate") p.sampleRate = std::atoi(v.c_str());
      if (key == "bit_rate") p.audioBitRate = std::atoi(v.c_str());
    }
  }
  return p;
}

struct Case {
  const char* name;
  std::string sources, args;
  bool system;
  bool cdxa;
};

TEST(StreamProperties, AgreesWithFfprobeInPlainAndTrackForm) {
  REQUIRE_TOOL("ffmpeg");
  REQUIRE_TOOL("ffprobe");
  const Case cases[] = {
      {"ntsc.mpg", std::string("-f lavfi -i testsrc=size=352x240:rate=30000/1001 ") + kAudioSource,
       "-t 2 -target ntsc-vcd", true, false},
      {"pal.mpg", std::string(kVideoSource) + kAudioSource, "-t 2 -target pal-vcd", true, false},
      {"film.m1v", "-f lavfi -i testsrc=size=320x240:rate=24000/1001",
       "-t 1 -c:v mpeg1video -b:v 900k -f mpeg1video", false, false},
      {"pal.mpg", "", "", true, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.name) + (c.cdxa ? " (CDXA)" : ""));
    std::string path = MakeInput(c.name, c.sources, c.args);
    ASSERT_FALSE(path.empty());
    const Probe want = FfprobeOf(path);
    ASSERT_TRUE(want.hasVideo);
    if (c.cdxa) {
      const std::string wrapped = ScratchPath(std::string("track-") + c.name);
      WrapCdxa(path, wrapped);
      path = wrapped;
    }
    StreamProperties p;
    std::memset(&p, 0x5A, sizeof p);  // every field must be written
    Get_Mpeg_Stream_Prop(path.c_str(), &p);
    EXPECT_EQ(p.systemStream != 0, c.system);
    EXPECT_EQ(p.videoPresent, 1);
    EXPECT_EQ(p.videoKind, 1);
    EXPECT_EQ(p.horizontalSize, want.width);
    EXPECT_EQ(p.verticalSize, want.height);
    EXPECT_EQ(p.pictureRateCode, want.rateCode);
    EXPECT_EQ(p.bitRate, want.bitRate400);
    EXPECT_EQ(int64_t{p.fileSize}, static_cast<int64_t>(ReadAll(path).size()));
    if (want.hasAudio) {
      EXPECT_EQ(p.audioValid, 1);
      EXPECT_EQ(p.audioLayer2At44k, want.sampleRate == 44100 ? 1 : 0);
      EXPECT_EQ(p.audio224k, want.audioBitRate == 224000 ? 1 : 0);
      EXPECT_EQ(p.audioLayerCode, 2);
    } else {
      EXPECT_EQ(p.audioValid, 0);
    }
  }
}

TEST(StreamProperties, TrackFormDiffersFromPlainOnlyInFileSize) {
  REQUIRE_TOOL("ffmpeg");
  const std::string plain = MakeInput("ntsc.mpg",
                                      std::string("-f lavfi -i testsrc=size=352x240:rate=30000/1001 ") +
                                          kAudioSource,
                                      "-t 2 -target ntsc-vcd");
  ASSERT_FALSE(plain.empty());
  const std::string track = ScratchPath("track-ntsc.dat");
  WrapCdxa(plain, track);
  StreamProperties a, b;
  Get_Mpeg_Stream_Prop(plain.c_str(), &a);
  Get_Mpeg_Stream_Prop(track.c_str(), &b);
  EXPECT_NE(int64_t{a.fileSize}, int64_t{b.fileSize});
  b.fileSize = a.fileSize;
  EXPECT_EQ(std::memcmp(&a, &b, sizeof a), 0);
}

TEST(StreamProperties, AudioOnlyAndMissingFiles) {
  REQUIRE_TOOL("ffmpeg");
  const std::string mp2 = MakeInput("tone.mp2", kAudioSource, "-t 1 -c:a mp2 -b:a 224k");
  ASSERT_FALSE(mp2.empty());
  StreamProperties p;
  Get_Mpeg_Stream_Prop(mp2.c_str(), &p);
  EXPECT_EQ(p.systemStream, 0);
  EXPECT_EQ(p.videoPresent, 0);
  EXPECT_EQ(p.videoKind, 0);
  EXPECT_EQ(p.audioValid, 1);
  EXPECT_EQ(p.audioLayer2At44k, 1);
  EXPECT_EQ(p.audio224k, 1);
  EXPECT_EQ(p.audioBitRateIndex, 11);

  std::memset(&p, 0x5A, sizeof p);
  Get_Mpeg_Stream_Prop(ScratchPath("no-such-file.mpg").c_str(), &p);
  const StreamProperties zero{};
  EXPECT_EQ(std::memcmp(&p, &zero, sizeof p), 0);
}

TEST(StreamProperties, StillStreamsReportTheirKind) {
  // 352-wide stills use stream E1, pairs add E2.
  struct StillCase {
    int mode, kind, width;
  } const cases[] = {{5, 2, 352}, {7, 3, 704}};
  for (const StillCase& c : cases) {
    SCOPED_TRACE(c.mode);
    const std::string out = ScratchPath("still-" + std::to_string(c.mode) + ".mpg");
    auto source = [](void* pixels, BITMAPINFOHEADER* h) -> int {
      std::memset(pixels, 0x80, static_cast<size_t>(h->biWidth) * h->biHeight * 4);
      return 1000;
    };
    ASSERT_EQ(Multi_I_Enc_Still(1, source, out.c_str(), 8, c.mode), 1);
    StreamProperties p;
    Get_Mpeg_Stream_Prop(out.c_str(), &p);
    EXPECT_EQ(p.systemStream, 1);
    EXPECT_EQ(p.videoPresent, 1);
    EXPECT_EQ(p.videoKind, c.kind);
    // The first video packet of a pair belongs to whichever stream is sent
    // first; either picture's sequence header gives a valid size.
    EXPECT_TRUE(p.horizontalSize == 352 || p.horizontalSize == c.width);
  }
}

}  // namespace
