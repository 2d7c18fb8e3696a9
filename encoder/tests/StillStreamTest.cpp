// Still streams through the exported entry points, read back by our own
// stream checker (syntax and buffer model) and by independent decoders.
#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstring>
#include <thread>

#include "encoder/common/ColourConvert.h"
#include "encoder/common/ColourConvert.h"
#include "encoder/common/Modes.h"
#include "encoder/Vidlathe.h"
#include "encoder/tests/StreamChecker.h"
#include "encoder/tests/TestSupport.h"

namespace vidlathe::testing {
namespace {

// The picture source reads this list (a PictureSource has no context).
struct SourcePicture {
  int w, h;
  std::vector<uint8_t> bgrx;  // top-down rows
  bool topDown;
  int displayMs;
};
std::vector<SourcePicture> gPictures;
size_t gNext = 0;

// Writes the next picture into the library's buffer, bottom-up unless the
// picture asks for top-down rows.
int ListSource(void* pixels, BITMAPINFOHEADER* h) {
  if (gNext >= gPictures.size()) return 0;
  const SourcePicture& sp = gPictures[gNext++];
  h->biWidth = sp.w;
  h->biHeight = sp.topDown ? -sp.h : sp.h;
  auto* out = static_cast<uint8_t*>(pixels);
  for (int r = 0; r < sp.h; ++r)
    std::memcpy(out + static_cast<size_t>(r) * sp.w * 4,
                &sp.bgrx[static_cast<size_t>(sp.topDown ? r : sp.h - 1 - r) * sp.w * 4],
                static_cast<size_t>(sp.w) * 4);
  return sp.displayMs;
}

void SetPictures(std::vector<SourcePicture> list) {
  gPictures = std::move(list);
  gNext = 0;
}

struct ModeCase {
  int mode;
  int width, height;  // largest picture
  bool pair;
};

const ModeCase kMultiModes[] = {
    {5, 352, 240, false}, {6, 352, 288, false}, {7, 704, 480, true},  {8, 704, 576, true},
    {9, 704, 480, true},  {10, 704, 576, true}, {11, 352, 240, false}, {12, 352, 288, false}};

// Two different pictures per stream, smaller than the frame so the borders
// show, one of them top-down.
void TwoPictures(const ModeCase& m) {
  const int w = m.width - 40, h = m.height - 30;
  SetPictures({{w, h, SyntheticPicture(w, h, 1), false, 1000},
               {w, h, SyntheticPicture(w, h, 2), true, 600}});
}

std::string SequenceSize(const CheckedPicture& p) {
  if (p.data.size() < 8) return "?";
  const int hs = (p.data[4] << 4) | (p.data[5] >> 4);
  const int vs = ((p.data[5] & 15) << 8) | p.data[6];
  return std::to_string(hs) + "x" + std::to_string(vs);
}

TEST(StillStreams, EveryMultiStillModeIsAValidStillStream) {
  TempDir dir;
  for (const ModeCase& m : kMultiModes) {
    SCOPED_TRACE("mode " + std::to_string(m.mode));
    TwoPictures(m);
    const std::string out = dir.File("m" + std::to_string(m.mode) + ".mpg");
    ASSERT_EQ(1, Multi_I_Enc_Still(2, ListSource, out.c_str(), 8, m.mode));
    const CheckedStream s = CheckSystemStreamFile(out);
    EXPECT_TRUE(s.ok()) << s.Report();
    // 1000 + 600 ms at 75 packs a second, and the end code's pack at most.
    EXPECT_GE(s.packs, 120u);
    EXPECT_LE(s.packs, 122u);
    ASSERT_EQ(2u, s.pictures.at(0xE1).size());
    const std::string low = std::to_string(m.pair ? m.width / 2 : m.width) + "x" +
                            std::to_string(m.pair ? m.height / 2 : m.height);
    EXPECT_EQ(low, SequenceSize(s.pictures.at(0xE1)[0]));
    if (m.pair) {
      ASSERT_EQ(2u, s.pictures.at(0xE2).size());
      EXPECT_EQ(std::to_string(m.width) + "x" + std::to_string(m.height),
                SequenceSize(s.pictures.at(0xE2)[1]));
    } else {
      EXPECT_EQ(0u, s.pictures.count(0xE2));
    }
    EXPECT_TRUE(s.audio.empty());
  }
}

size_t Find(const std::vector<uint8_t>& d, std::initializer_list<uint8_t> code, size_t from = 0) {
  const std::vector<uint8_t> c(code);
  auto it = std::search(d.begin() + static_cast<std::ptrdiff_t>(from), d.end(), c.begin(), c.end());
  return it == d.end() ? std::string::npos : static_cast<size_t>(it - d.begin());
}

// Every still is one sequence of one intra picture: sequence header (its
// buffer size field giving the picture's own size), group header with time
// code 0, picture header with temporal reference 0 and no delay, slices,
// end code. A 352-wide still's first slice starts at quantiser scale 10; a
// 704-wide one starts at the caller's quantiser.
TEST(StillStreams, EachStillIsOneSequenceOfOneIntraPicture) {
  TempDir dir;
  for (int mode : {5, 7}) {
    SCOPED_TRACE("mode " + std::to_string(mode));
    const Mode& sm = *FindMode(ModeSet::kMultiStill, mode);
    SetPictures({{sm.width, sm.height, SyntheticPicture(sm.width, sm.height, 8), false, 1000}});
    const std::string out = dir.File("s.mpg");
    ASSERT_EQ(1, Multi_I_Enc_Still(1, ListSource, out.c_str(), 30, mode));
    const CheckedStream s = CheckSystemStreamFile(out);
    ASSERT_TRUE(s.ok()) << s.Report();
    for (int id : {0xE1, 0xE2}) {
      if (!s.pictures.count(id)) continue;
      const std::vector<uint8_t>& d = s.pictures.at(id).at(0).data;
      ASSERT_EQ(0u, Find(d, {0, 0, 1, 0xB3}));
      EXPECT_EQ(0x3FFFFu, ((d[8] << 10) | (d[9] << 2) | (d[10] >> 6)) & 0x3FFFF) << "variable bit rate";
      const unsigned vbv = ((d[10] & 0x1F) << 5) | (d[11] >> 3);
      EXPECT_EQ((d.size() + 2047) / 2048, vbv);
      EXPECT_EQ(0u, (d[11] >> 2) & 1) << "constrained parameters";
      const size_t gop = Find(d, {0, 0, 1, 0xB8});
      ASSERT_EQ(12u, gop) << "no user data or matrices in between";
      EXPECT_EQ((std::vector<uint8_t>{0x00, 0x08, 0x00, 0x00}), std::vector<uint8_t>(d.begin() + 16, d.begin() + 20));
      const size_t pic = Find(d, {0, 0, 1, 0x00});
      ASSERT_EQ(20u, pic);
      EXPECT_EQ(0x00, d[24]);         // temporal reference 0...
      EXPECT_EQ(0x0F, d[25]);         // ...type 1, then the delay 0xFFFF
      EXPECT_EQ(0xFF, d[26]);
      EXPECT_EQ(0xF8, d[27] & 0xF8);
      const size_t slice = Find(d, {0, 0, 1, 0x01});
      ASSERT_NE(std::string::npos, slice);
      EXPECT_EQ(id == 0xE2 ? 15 : 10, d[slice + 4] >> 3);
      EXPECT_EQ((std::vector<uint8_t>{0, 0, 1, 0xB7}), std::vector<uint8_t>(d.end() - 4, d.end()));
    }
  }
}

TEST(StillStreams, VidlatheModesAreValidStillStreams) {
  TempDir dir;
  const ModeCase modes[] = {{1, 352, 240, false}, {2, 704, 480, true}, {3, 352, 288, false}, {4, 704, 576, true}};
  for (const ModeCase& m : modes) {
    SCOPED_TRACE("mode " + std::to_string(m.mode));
    // A 24-bit bottom-up bitmap larger than the frame: cut to its centre.
    const int w = m.width + 21, h = m.height + 13;
    const auto px = SyntheticPicture(w, h, 3);
    const size_t stride = (3 * w + 3) / 4 * 4;
    std::vector<uint8_t> bits(stride * h);
    for (int r = 0; r < h; ++r)
      for (int c = 0; c < w; ++c)
        std::memcpy(&bits[(h - 1 - r) * stride + 3 * c], &px[(static_cast<size_t>(r) * w + c) * 4], 3);
    BITMAPINFOHEADER bh{40, w, h, 1, 24, 0, 0, 0, 0, 0, 0};
    const std::string out = dir.File("v" + std::to_string(m.mode) + ".mpg");
    ASSERT_EQ(1, Vidlathe1(bits.data(), &bh, out.c_str(), 8, m.mode));
    const CheckedStream s = CheckSystemStreamFile(out);
    EXPECT_TRUE(s.ok()) << s.Report();
    EXPECT_EQ(1u, s.pictures.at(0xE1).size());
    EXPECT_EQ(m.pair ? 1u : 0u, s.pictures.count(0xE2));
  }
}

// The independent tools: ffprobe and ffmpeg, mpeg2dec, vcdxminfo.
class StillStreamsCheckers : public ::testing::Test {
 protected:
  void SetUp() override {
    VIDLATHE_NEED_TOOL("ffprobe");
    VIDLATHE_NEED_TOOL("ffmpeg");
    VIDLATHE_NEED_TOOL("mpeg2dec");
    VIDLATHE_NEED_TOOL("vcdxminfo");
  }
  TempDir dir_;
};

// What the independent tools must say of a still stream of one mode.
void ExpectCheckersAccept(const std::string& out, const ModeCase& m, int pictures) {
  const std::string probe = Shell("ffprobe -v error -show_entries stream=codec_name,width,height,id "
                                  "-show_entries format=format_name -of csv=p=0 '" + out + "'");
  EXPECT_NE(std::string::npos, probe.find("mpeg1video,352," + std::to_string(m.pair ? m.height / 2 : m.height)))
      << probe;
  if (m.pair) {
    EXPECT_NE(std::string::npos, probe.find("mpeg1video,704," + std::to_string(m.height))) << probe;
  }
  EXPECT_NE(std::string::npos, probe.find("mpeg")) << probe;
  int rc = -1;
  const std::string err = Shell("ffmpeg -v error -xerror -i '" + out + "' -map 0 -f null - 2>&1", &rc);
  EXPECT_EQ(0, rc) << err;
  EXPECT_EQ("", err);
  for (const char* track : {"-s0xe1", "-s0xe2"}) {
    if (!m.pair && std::string(track) == "-s0xe2") continue;
    const std::string m2 = Shell(std::string("mpeg2dec ") + track + " -o null '" + out + "' 2>&1", &rc);
    EXPECT_EQ(0, rc) << m2;
    EXPECT_NE(std::string::npos, m2.find(std::to_string(pictures) + " frames decoded")) << m2;
  }
  const std::string info = Shell("vcdxminfo -i '" + out + "' 2>&1", &rc);
  EXPECT_EQ(0, rc) << info;
  EXPECT_EQ(std::string::npos, info.find("WARN")) << info;
  EXPECT_EQ(std::string::npos, info.find("ERROR")) << info;
  EXPECT_NE(std::string::npos, info.find("<!-- still picture stream -->")) << info;
  if (m.pair) {
    EXPECT_NE(std::string::npos, info.find("secondary still picture stream")) << info;
  }
}

TEST_F(StillStreamsCheckers, EveryModeDecodesAndIsClassifiedAsAStill) {
  for (const ModeCase& m : kMultiModes) {
    SCOPED_TRACE("mode " + std::to_string(m.mode));
    TwoPictures(m);
    const std::string out = dir_.File("c" + std::to_string(m.mode) + ".mpg");
    ASSERT_EQ(1, Multi_I_Enc_Still(2, ListSource, out.c_str(), 8, m.mode));
    ExpectCheckersAccept(out, m, 2);
  }
  const ModeCase single[] = {{1, 352, 240, false}, {2, 704, 480, true}, {3, 352, 288, false}, {4, 704, 576, true}};
  for (const ModeCase& m : single) {
    SCOPED_TRACE("Vidlathe1 mode " + std::to_string(m.mode));
    const auto px = SyntheticPicture(m.width, m.height, 9);
    BITMAPINFOHEADER h{40, m.width, -m.height, 1, 32, 0, 0, 0, 0, 0, 0};
    const std::string out = dir_.File("v" + std::to_string(m.mode) + ".mpg");
    ASSERT_EQ(1, Vidlathe1(const_cast<uint8_t*>(px.data()), &h, out.c_str(), 8, m.mode));
    ExpectCheckersAccept(out, m, 1);
  }
}

// Decoded luminance against our own converted planes, and two independent
// decoders against each other.
TEST_F(StillStreamsCheckers, DecodedPicturesMatchTheSource) {
  for (int mode : {5, 8}) {
    SCOPED_TRACE("mode " + std::to_string(mode));
    const Mode& sm = *FindMode(ModeSet::kMultiStill, mode);
    const int w = sm.width, h = sm.height;
    SetPictures({{w, h, SyntheticPicture(w, h, 4), false, 500}});
    const std::string out = dir_.File("p" + std::to_string(mode) + ".mpg");
    ASSERT_EQ(1, Multi_I_Enc_Still(1, ListSource, out.c_str(), 4, mode));
    // The source planes as the encoder saw them.
    BitmapSource src;
    std::vector<uint8_t> bottomUp(static_cast<size_t>(w) * h * 4);
    for (int r = 0; r < h; ++r)
      std::memcpy(&bottomUp[static_cast<size_t>(h - 1 - r) * w * 4], &gPictures[0].bgrx[static_cast<size_t>(r) * w * 4], w * 4);
    src.pixels = bottomUp.data();
    src.pixelBytes = bottomUp.size();
    src.header = {40, w, h, 1, 32, 0, 0, 0, 0, 0, 0};
    StillPlanes planes;
    ASSERT_TRUE(MakeStillPlanes(src, sm.kind, sm.width, sm.height, &planes));
    const auto low = DecodeLuma(out, 0, 0);
    EXPECT_GT(Psnr(low, planes.y), 34.0);
    if (sm.kind == 0x110) {
      EXPECT_GT(Psnr(DecodeLuma(out, 1, 0), planes.y2), 34.0);
    }
    // mpeg2dec writes the picture of stream E1 as PGM.
    Shell("cd '" + dir_.path() + "' && mpeg2dec -s0xe1 -o pgm '" + out + "' >/dev/null 2>&1");
    const auto pgmFile = ReadAll(dir_.path() + "/0.pgm");
    ASSERT_GT(pgmFile.size(), low.size());
    // The luminance is the first width x height bytes after the three
    // header lines.
    size_t at = 0;
    for (int lines = 0; lines < 3 && at < pgmFile.size(); ++at)
      if (pgmFile[at] == '\n') ++lines;
    ASSERT_GE(pgmFile.size(), at + low.size());
    const std::vector<uint8_t> viaMpeg2dec(pgmFile.begin() + static_cast<std::ptrdiff_t>(at),
                                           pgmFile.begin() + static_cast<std::ptrdiff_t>(at + low.size()));
    EXPECT_GT(Psnr(low, viaMpeg2dec), 45.0);
  }
}

// Studio range: black is 16 inside the picture and in its borders, white 235.
TEST_F(StillStreamsCheckers, BlackAndWhiteUseStudioRange) {
  std::vector<uint8_t> white(200 * 100 * 4, 255), black(200 * 100 * 4, 0);
  SetPictures({{200, 100, white, false, 100}, {200, 100, black, false, 100}});
  const std::string out = dir_.File("bw.mpg");
  ASSERT_EQ(1, Multi_I_Enc_Still(2, ListSource, out.c_str(), 4, 5));
  const auto w = DecodeLuma(out, 0, 0), b = DecodeLuma(out, 0, 1);
  ASSERT_EQ(352u * 240, w.size());
  ASSERT_EQ(352u * 240, b.size());
  auto at = [](const std::vector<uint8_t>& y, int x, int r) { return int(y[static_cast<size_t>(r) * 352 + x]); };
  EXPECT_NEAR(235, at(w, 176, 120), 2);  // inside the white picture
  EXPECT_NEAR(16, at(w, 10, 10), 2);     // border
  EXPECT_NEAR(16, at(b, 176, 120), 2);
  EXPECT_NEAR(16, at(b, 350, 238), 2);
}

// A top-down bitmap gives the same stream as the bottom-up one, also when
// the borders are odd, and its rows land the right way up.
TEST_F(StillStreamsCheckers, TopDownEqualsBottomUpWithOddBorders) {
  const int w = 320, h = 237;  // 16 columns each side, 1 row above and 2 below
  std::vector<uint8_t> px(static_cast<size_t>(w) * h * 4, 0);
  for (int c = 0; c < w * 4 * 10; ++c) px[c] = 255;  // top ten rows white
  std::vector<uint8_t> bottomUp(px.size());
  for (int r = 0; r < h; ++r)
    std::memcpy(&bottomUp[static_cast<size_t>(h - 1 - r) * w * 4], &px[static_cast<size_t>(r) * w * 4], w * 4);
  BITMAPINFOHEADER up{40, w, h, 1, 32, 0, 0, 0, 0, 0, 0};
  BITMAPINFOHEADER down{40, w, -h, 1, 32, 0, 0, 0, 0, 0, 0};
  const std::string a = dir_.File("up.mpg"), b = dir_.File("down.mpg");
  ASSERT_EQ(1, Vidlathe1(bottomUp.data(), &up, a.c_str(), 8, 1));
  ASSERT_EQ(1, Vidlathe1(px.data(), &down, b.c_str(), 8, 1));
  EXPECT_EQ(-h, down.biHeight);  // the caller's header is left as it was
  EXPECT_EQ(ReadAll(a), ReadAll(b));
  const auto y = DecodeLuma(a, 0, 0);
  ASSERT_EQ(352u * 240, y.size());
  EXPECT_NEAR(16, y[0 * 352 + 176], 3);    // the one border row above
  EXPECT_NEAR(235, y[5 * 352 + 176], 3);   // the white top of the picture
  EXPECT_NEAR(16, y[200 * 352 + 176], 3);
}

// Layer II audio at 44.1 kHz goes in whole and in order, with its last frame.
TEST_F(StillStreamsCheckers, AudioIsMultiplexedWithEveryFrameInOrder) {
  const std::string mp2 = dir_.File("a.mp2");
  int rc = -1;
  Shell("ffmpeg -v error -y -f lavfi -i 'sine=frequency=440:duration=1.3:sample_rate=44100' -ac 2 "
      "-c:a mp2 -b:a 224k '" + mp2 + "' 2>&1", &rc);
  ASSERT_EQ(0, rc);
  const auto source = ReadAll(mp2);
  for (int mode : {5, 7}) {
    SCOPED_TRACE("mode " + std::to_string(mode));
    const Mode& sm = *FindMode(ModeSet::kMultiStill, mode);
    SetPictures({{sm.width, sm.height, SyntheticPicture(sm.width, sm.height, 5), false, 2000}});
    const std::string out = dir_.File("a" + std::to_string(mode) + ".mpg");
    ASSERT_EQ(1, Multi_I_Enc_Still_MP2(1, ListSource, out.c_str(), 8, mode, mp2.c_str(), 0));
    const CheckedStream s = CheckSystemStreamFile(out);
    EXPECT_TRUE(s.ok()) << s.Report();
    EXPECT_EQ(source, s.audio);  // every frame, the last one too, in order
    EXPECT_EQ(source.size() / 731, s.audioFramePts.size() + 0 * s.packs);
    const std::string err = Shell("ffmpeg -v error -xerror -i '" + out + "' -map 0 -f null - 2>&1", &rc);
    EXPECT_EQ(0, rc) << err;
    const std::string info = Shell("vcdxminfo -i '" + out + "' 2>&1", &rc);
    EXPECT_EQ(std::string::npos, info.find("WARN")) << info;
    EXPECT_NE(std::string::npos, info.find("<sampling-frequency>44100")) << info;
  }
  // Looping repeats the audio for as long as the stills are shown.
  SetPictures({{352, 240, SyntheticPicture(352, 240, 6), false, 3000}});
  const std::string looped = dir_.File("loop.mpg");
  ASSERT_EQ(1, Multi_I_Enc_Still_MP2(1, ListSource, looped.c_str(), 8, 5, mp2.c_str(), 1));
  const CheckedStream s = CheckSystemStreamFile(looped);
  EXPECT_TRUE(s.ok()) << s.Report();
  EXPECT_GT(s.audio.size(), 2 * source.size());
}

TEST_F(StillStreamsCheckers, AudioOtherThan44kIsRefused) {
  const std::string mp2 = dir_.File("a48.mp2");
  int rc = -1;
  Shell("ffmpeg -v error -y -f lavfi -i 'sine=frequency=440:duration=0.5:sample_rate=48000' -ac 2 "
      "-c:a mp2 -b:a 224k '" + mp2 + "' 2>&1", &rc);
  ASSERT_EQ(0, rc);
  SetPictures({{352, 240, SyntheticPicture(352, 240, 1), false, 1000}});
  const std::string out = dir_.File("refused.mpg");
  EXPECT_EQ(0, Multi_I_Enc_Still_MP2(1, ListSource, out.c_str(), 8, 5, mp2.c_str(), 0));
  EXPECT_FALSE(vexa::base::FileExists(out));
  EXPECT_EQ(0, Multi_I_Enc_Still_MP2(1, ListSource, out.c_str(), 8, 5, dir_.File("none.mp2").c_str(), 0));
}

TEST_F(StillStreamsCheckers, Mp2PropertiesAgreeWithFfprobe) {
  struct Case {
    int rate, kbps;
    bool is44k;
  };
  for (const Case& c : {Case{44100, 224, true}, Case{44100, 192, true}, Case{48000, 224, false},
                        Case{32000, 128, false}}) {
    SCOPED_TRACE(std::to_string(c.rate) + " Hz " + std::to_string(c.kbps) + " kbit/s");
    const std::string mp2 = dir_.File("p.mp2");
    int rc = -1;
    Shell("ffmpeg -v error -y -f lavfi -i 'sine=frequency=300:duration=0.3:sample_rate=" + std::to_string(c.rate) +
        "' -ac 2 -c:a mp2 -b:a " + std::to_string(c.kbps) + "k '" + mp2 + "' 2>&1", &rc);
    ASSERT_EQ(0, rc);
    const std::string probe = Shell("ffprobe -v error -show_entries stream=codec_name,sample_rate,bit_rate "
                                  "-of csv=p=0 '" + mp2 + "'");
    EXPECT_EQ("mp2," + std::to_string(c.rate) + "," + std::to_string(c.kbps * 1000) + "\n", probe);
    StreamProperties props;
    Get_MP2_Prop(mp2.c_str(), &props);
    EXPECT_EQ(1, props.audioValid);
    EXPECT_EQ(1, props.audioId);
    EXPECT_EQ(2, props.audioLayerCode);
    EXPECT_EQ(c.rate == 44100 ? 0 : c.rate == 48000 ? 1 : 2, props.audioSamplingIndex);
    EXPECT_EQ(c.is44k, props.audioLayer2At44k != 0);
    EXPECT_EQ(c.is44k && c.kbps == 224, props.audio224k != 0);
    EXPECT_EQ(0, props.videoPresent);
  }
}

// The first sync word of an audio file is its first frame header; it counts
// only when the next header starts exactly one frame length later. Frames
// here are bare Layer II headers (224 kbit/s, 731 bytes) with empty bodies.
TEST(StillStreams, Mp2PropertiesConfirmTheFirstHeaderOnly) {
  auto frames = [](int n, uint8_t rateAndSampling, size_t length) {
    std::vector<uint8_t> d;
    for (int i = 0; i < n; ++i) {
      const uint8_t header[4] = {0xFF, 0xFD, rateAndSampling, 0x04};
      d.insert(d.end(), header, header + 4);
      d.resize(d.size() + length - 4, 0);
    }
    return d;
  };
  const std::vector<uint8_t> good = frames(6, 0xB0, 731);
  // Leading garbage that looks like a header, with no second one behind it.
  std::vector<uint8_t> garbageSync(7 + good.size(), 0);
  garbageSync[0] = 0xFF;
  garbageSync[1] = 0xFD;
  garbageSync[2] = 0xB0;
  garbageSync[3] = 0x04;
  std::copy(good.begin(), good.end(), garbageSync.begin() + 7);
  std::vector<uint8_t> secondLost = good;
  secondLost[731] = 0;  // the second header is gone; the third and later are fine
  std::vector<uint8_t> shifted = good;
  shifted.insert(shifted.begin(), {0x00, 0x10});  // no sync word in the garbage
  std::vector<uint8_t> freeFormat = frames(6, 0x00, 731);
  std::vector<uint8_t> reservedRate = frames(6, 0xBC, 731);
  const std::vector<uint8_t> at48k = frames(6, 0xB4, 672);
  struct Case {
    const char* name;
    const std::vector<uint8_t>* data;
    int valid, is44k;
  };
  TempDir dir;
  for (const Case& c : {Case{"frames", &good, 1, 1}, Case{"leading garbage", &shifted, 1, 1},
                        Case{"sync in leading garbage", &garbageSync, 0, 0},
                        Case{"second header missing", &secondLost, 0, 0},
                        Case{"free format", &freeFormat, 0, 0},
                        Case{"reserved sampling rate", &reservedRate, 0, 0},
                        Case{"48 kHz", &at48k, 1, 0}}) {
    SCOPED_TRACE(c.name);
    const std::string path = dir.File("a.mp2");
    std::FILE* f = std::fopen(path.c_str(), "wb");
    ASSERT_NE(nullptr, f);
    ASSERT_EQ(c.data->size(), std::fwrite(c.data->data(), 1, c.data->size(), f));
    std::fclose(f);
    StreamProperties props;
    Get_MP2_Prop(path.c_str(), &props);
    EXPECT_EQ(c.valid, props.audioValid);
    EXPECT_EQ(c.is44k, props.audioLayer2At44k);
    EXPECT_EQ(c.is44k, props.audio224k);
    if (!c.valid) {
      const StreamProperties zero{};
      EXPECT_EQ(0, std::memcmp(&props, &zero, sizeof props));
    }
  }
}

TEST(StillStreams, QuantiserIsClampedTo2To62) {
  TempDir dir;
  const auto px = SyntheticPicture(704, 480, 7);
  BITMAPINFOHEADER h{40, 704, -480, 1, 32, 0, 0, 0, 0, 0, 0};
  auto encode = [&](int q) {
    const std::string out = dir.File("q" + std::to_string(q) + ".mpg");
    EXPECT_EQ(1, Vidlathe1(const_cast<uint8_t*>(px.data()), &h, out.c_str(), q, 2));
    return ReadAll(out);
  };
  const auto q1 = encode(1), q2 = encode(2), q62 = encode(62), q100 = encode(100);
  EXPECT_EQ(q1, q2);
  EXPECT_EQ(q62, q100);
  EXPECT_NE(q2, q62);
}

TEST(StillStreams, ModesOutsideTheRangeAreRefused) {
  TempDir dir;
  const std::string out = dir.File("x.mpg");
  SetPictures({{352, 240, SyntheticPicture(352, 240, 1), false, 1000}});
  for (int mode : {-1, 0, 1, 4, 13, 100}) {
    EXPECT_EQ(0, Multi_I_Enc_Still(1, ListSource, out.c_str(), 8, mode)) << mode;
    EXPECT_EQ(0, Multi_I_Enc_Still_MP2(1, ListSource, out.c_str(), 8, mode, nullptr, 0)) << mode;
  }
  std::vector<uint8_t> px(352 * 240 * 4);
  BITMAPINFOHEADER h{40, 352, 240, 1, 32, 0, 0, 0, 0, 0, 0};
  for (int mode : {0, 5, -3})
    EXPECT_EQ(0, Vidlathe1(px.data(), &h, out.c_str(), 8, mode)) << mode;
  EXPECT_FALSE(vexa::base::FileExists(out));
}

// A source that stops early fails the call and leaves no output.
TEST(StillStreams, SourceEndingEarlyFailsWithoutOutput) {
  TempDir dir;
  const std::string out = dir.File("short.mpg");
  SetPictures({{352, 240, SyntheticPicture(352, 240, 1), false, 1000}});
  EXPECT_EQ(0, Multi_I_Enc_Still(3, ListSource, out.c_str(), 8, 5));
  EXPECT_FALSE(vexa::base::FileExists(out));
}

TEST(StillStreams, NoPicturesGivesAnEmptyValidStream) {
  TempDir dir;
  const std::string out = dir.File("empty.mpg");
  SetPictures({});
  ASSERT_EQ(1, Multi_I_Enc_Still(0, ListSource, out.c_str(), 8, 5));
  const CheckedStream s = CheckSystemStreamFile(out);
  EXPECT_TRUE(s.ok()) << s.Report();
}

// A picture of pure noise codes far above the decoder's buffer at every
// quantiser; it is coded coarser until it fits, and the buffer model holds.
TEST(StillStreams, OversizedStillIsShrunkToFitTheBuffer) {
  TempDir dir;
  for (int mode : {5, 7}) {
    const Mode& sm = *FindMode(ModeSet::kMultiStill, mode);
    std::vector<uint8_t> noise(static_cast<size_t>(sm.width) * sm.height * 4);
    uint32_t x = 12345;
    for (auto& b : noise) b = static_cast<uint8_t>((x = x * 1103515245 + 12345) >> 24);
    SetPictures({{sm.width, sm.height, noise, false, 500}, {sm.width, sm.height, noise, false, 500}});
    const std::string out = dir.File("noise.mpg");
    ASSERT_EQ(1, Multi_I_Enc_Still(2, ListSource, out.c_str(), 2, mode));
    const CheckedStream s = CheckSystemStreamFile(out);
    EXPECT_TRUE(s.ok()) << s.Report();
    for (const auto& p : s.pictures.at(0xE1)) EXPECT_LE(p.data.size(), 46u * 1024);
    if (sm.kind == 0x110) {
      for (const auto& p : s.pictures.at(0xE2)) EXPECT_LE(p.data.size(), 219u * 1024);
    }
  }
}

// Stills shown for less time than their data takes to arrive, among audio
// at the highest Layer II rate: each picture is decoded only once it has
// arrived, in order, and neither buffer overflows.
TEST_F(StillStreamsCheckers, ShortDisplayTimesNeverDecodeBeforeArrival) {
  const std::string mp2 = dir_.File("fast.mp2");
  int rc = -1;
  Shell("ffmpeg -v error -y -f lavfi -i 'sine=frequency=440:duration=1:sample_rate=44100' -ac 2 "
        "-c:a mp2 -b:a 384k '" + mp2 + "' 2>&1", &rc);
  ASSERT_EQ(0, rc);
  std::vector<uint8_t> noise(704u * 576 * 4);
  uint32_t x = 99;
  for (auto& b : noise) b = static_cast<uint8_t>((x = x * 1103515245 + 12345) >> 24);
  SetPictures({{704, 576, noise, false, 100}, {704, 576, SyntheticPicture(704, 576, 1), false, 100},
               {704, 576, noise, false, 100}, {704, 576, SyntheticPicture(704, 576, 2), false, 2000}});
  const std::string out = dir_.File("short.mpg");
  ASSERT_EQ(1, Multi_I_Enc_Still_MP2(4, ListSource, out.c_str(), 2, 8, mp2.c_str(), 1));
  const CheckedStream s = CheckSystemStreamFile(out);
  EXPECT_TRUE(s.ok()) << s.Report();
  ASSERT_EQ(4u, s.pictures.at(0xE2).size());
  EXPECT_FALSE(s.audioFramePts.empty());
  const std::string err = Shell("ffmpeg -v error -xerror -i '" + out + "' -map 0 -f null - 2>&1", &rc);
  EXPECT_EQ(0, rc) << err;
}

// A failed write makes the call return 0 and leaves nothing behind. The
// encoding runs in a child process whose file size limit is 100 KB.
TEST(StillStreams, WriteErrorFailsAndRemovesTheOutput) {
  TempDir dir;
  const std::string out = dir.File("big.mpg");
  SetPictures({{352, 240, SyntheticPicture(352, 240, 1), false, 4000}});
  const pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit lim{100 * 1024, 100 * 1024};
    setrlimit(RLIMIT_FSIZE, &lim);
    _exit(Multi_I_Enc_Still(1, ListSource, out.c_str(), 8, 5) == 0 ? 0 : 1);
  }
  const vexa::testsupport::ChildEnd end = vexa::testsupport::WaitChild(pid, "the encoding child with its file size limit");
  ASSERT_TRUE(end.ended) << end.failure;
  ASSERT_TRUE(WIFEXITED(end.status));
  EXPECT_EQ(0, WEXITSTATUS(end.status));
  EXPECT_FALSE(vexa::base::FileExists(out));
  EXPECT_EQ("", Shell("ls -A '" + dir.path() + "'"));
}

// Calls from two threads run one after the other and both succeed; a call
// from inside a picture source is refused instead of waiting for itself.
std::string gInnerOutput;

int ReentrantSource(void* pixels, BITMAPINFOHEADER* h) {
  std::memset(pixels, 128, static_cast<size_t>(h->biWidth) * h->biHeight * 4);
  BITMAPINFOHEADER inner{40, 16, 16, 1, 32, 0, 0, 0, 0, 0, 0};
  std::vector<uint8_t> px(16 * 16 * 4);
  return Vidlathe1(px.data(), &inner, gInnerOutput.c_str(), 8, 1) == 0 ? 800 : 0;
}

TEST(StillStreams, CallsRunOneAtATime) {
  TempDir dir;
  const std::string a = dir.File("t1.mpg"), b = dir.File("t2.mpg");
  std::vector<uint8_t> px(352 * 240 * 4, 90);
  BITMAPINFOHEADER h1{40, 352, 240, 1, 32, 0, 0, 0, 0, 0, 0}, h2 = h1;
  int r1 = -1, r2 = -1;
  {
    std::jthread t1([&] { r1 = Vidlathe1(px.data(), &h1, a.c_str(), 8, 1); });
    std::jthread t2([&] { r2 = Vidlathe1(px.data(), &h2, b.c_str(), 8, 1); });
  }
  EXPECT_EQ(1, r1);
  EXPECT_EQ(1, r2);
  EXPECT_EQ(ReadAll(a), ReadAll(b));
  const std::string c = dir.File("re.mpg");
  gInnerOutput = dir.File("inner.mpg");
  EXPECT_EQ(1, Multi_I_Enc_Still(1, ReentrantSource, c.c_str(), 8, 5));
  EXPECT_FALSE(vexa::base::FileExists(gInnerOutput));
}

// Calls from several threads at once each make the bytes the same call
// makes alone: every call owns its state.
TEST(StillStreams, CallsFromSeveralThreadsMakeWhatEachMakesAlone) {
  TempDir dir;
  constexpr int kThreads = 4;
  std::vector<std::vector<uint8_t>> pictures;
  for (int i = 0; i < kThreads; ++i) pictures.push_back(SyntheticPicture(704, 480, 11 + i));
  auto encode = [&](int i, const std::string& out) {
    BITMAPINFOHEADER h{40, 704, -480, 1, 32, 0, 0, 0, 0, 0, 0};
    return Vidlathe1(pictures[static_cast<size_t>(i)].data(), &h, out.c_str(), 8, 2);
  };
  std::vector<std::vector<uint8_t>> alone;
  for (int i = 0; i < kThreads; ++i) {
    const std::string out = dir.File("alone" + std::to_string(i) + ".mpg");
    ASSERT_EQ(1, encode(i, out));
    alone.push_back(ReadAll(out));
  }
  constexpr int kRounds = 3;
  std::vector<int> results(kThreads * kRounds, -1);
  {
    std::vector<std::jthread> threads;
    for (int i = 0; i < kThreads; ++i) {
      threads.emplace_back([&, i] {
        for (int r = 0; r < kRounds; ++r) {
          results[static_cast<size_t>(i * kRounds + r)] =
              encode(i, dir.File("side" + std::to_string(i) + "-" + std::to_string(r) + ".mpg"));
        }
      });
    }
  }
  for (int i = 0; i < kThreads; ++i) {
    for (int r = 0; r < kRounds; ++r) {
      EXPECT_EQ(1, results[static_cast<size_t>(i * kRounds + r)]) << i << " " << r;
      EXPECT_TRUE(ReadAll(dir.File("side" + std::to_string(i) + "-" + std::to_string(r) + ".mpg")) ==
                  alone[static_cast<size_t>(i)])
          << i << " " << r;
    }
  }
}

}  // namespace
}  // namespace vidlathe::testing
