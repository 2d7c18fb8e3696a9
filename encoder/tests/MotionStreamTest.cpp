// Motion streams from stills through the exported entry points, read back by
// the stream checker (syntax and buffer model) and by independent decoders.
#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstring>
#include <map>
#include <sstream>

#include "encoder/common/EncoderRecords.h"
#include "encoder/coder/MotionEncoder.h"
#include "encoder/coder/EncoderThread.h"
#include "encoder/common/ColourConvert.h"
#include "encoder/common/Modes.h"
#include "encoder/Vidlathe.h"
#include "encoder/tests/StreamChecker.h"
#include "encoder/tests/TestSupport.h"

namespace vidlathe::testing {
namespace {

struct Still {
  int seed;
  int displayMs;
};
std::vector<Still> gStills;
size_t gNext = 0;
int gWidth = 352, gHeight = 240;

// Full-frame synthetic photos, bottom-up rows.
int StillSource(void* pixels, BITMAPINFOHEADER* h) {
  if (gNext >= gStills.size()) return 0;
  const Still& s = gStills[gNext++];
  const auto px = SyntheticPicture(gWidth, gHeight, s.seed);
  h->biWidth = gWidth;
  h->biHeight = gHeight;
  auto* out = static_cast<uint8_t*>(pixels);
  for (int r = 0; r < gHeight; ++r)
    std::memcpy(out + static_cast<size_t>(r) * gWidth * 4, &px[static_cast<size_t>(gHeight - 1 - r) * gWidth * 4],
                static_cast<size_t>(gWidth) * 4);
  return s.displayMs;
}

void SetStills(const Mode& m, std::vector<Still> list) {
  gWidth = m.width;
  gHeight = m.height;
  gStills = std::move(list);
  gNext = 0;
}

// The pictures a list of stills becomes, piece by piece.
std::vector<int> ExpectedPieces(const std::vector<Still>& stills, double fps) {
  std::vector<int> all;
  for (const Still& s : stills)
    for (int n : PiecePictureCounts(static_cast<uint32_t>(s.displayMs), fps)) all.push_back(n);
  return all;
}

std::string TypesOfPieces(const std::vector<int>& pieces) {
  std::string t;
  for (int n : pieces) {
    t.push_back('I');
    t.append(static_cast<size_t>(n - 1), 'P');
  }
  return t;
}

// Picture types in display order as ffprobe reports them.
std::string FrameTypes(const std::string& file) {
  const std::string out = Shell("ffprobe -v error -select_streams v -show_entries frame=pict_type -of csv=p=0 '" + file + "'");
  std::string t;
  for (char c : out)
    if (c == 'I' || c == 'P' || c == 'B') t += c;
  return t;
}

struct ProbePacket {
  char kind;  // 'v' or 'a'
  int64_t pts, dts;
};

// The packets with time stamps, from ffprobe -show_packets (ticks of 90 kHz).
std::vector<ProbePacket> Packets(const std::string& file) {
  const std::string out = Shell("ffprobe -v error -show_entries packet=codec_type,pts,dts -of csv=p=0 '" + file + "'");
  std::vector<ProbePacket> r;
  std::istringstream in(out);
  std::string line;
  while (std::getline(in, line)) {
    std::istringstream f(line);
    std::string type, pts, dts;
    std::getline(f, type, ',');
    std::getline(f, pts, ',');
    std::getline(f, dts, ',');
    if (pts == "N/A" || pts.empty()) continue;
    r.push_back({type == "video" ? 'v' : 'a', std::stoll(pts), dts == "N/A" || dts.empty() ? std::stoll(pts) : std::stoll(dts)});
  }
  return r;
}

// Every decoded picture's luminance.
std::vector<std::vector<uint8_t>> DecodeAll(const std::string& file, int w, int h) {
  const std::string raw = Shell("ffmpeg -v error -i '" + file + "' -map 0:v:0 -f rawvideo -pix_fmt yuv420p -");
  const size_t frame = static_cast<size_t>(w) * h * 3 / 2;
  std::vector<std::vector<uint8_t>> r;
  for (size_t o = 0; o + frame <= raw.size(); o += frame)
    r.emplace_back(raw.begin() + static_cast<std::ptrdiff_t>(o), raw.begin() + static_cast<std::ptrdiff_t>(o + static_cast<size_t>(w) * h));
  return r;
}

std::vector<uint8_t> SourceLuma(const Mode& m, int seed) {
  const auto px = SyntheticPicture(m.width, m.height, seed);
  BitmapSource src;
  src.header = BITMAPINFOHEADER{40, m.width, -m.height, 1, 32, 0, 0, 0, 0, 0, 0};
  src.pixels = px.data();
  src.pixelBytes = px.size();
  StillPlanes planes;
  EXPECT_TRUE(MakeStillPlanes(src, kStill, m.width, m.height, &planes));
  return planes.y;
}

std::string MakeMp2(const TempDir& dir, const std::string& name, double seconds, int rate = 44100) {
  const std::string mp2 = dir.File(name);
  int rc = -1;
  Shell("ffmpeg -v error -y -f lavfi -i 'sine=frequency=440:duration=" + std::to_string(seconds) +
            ":sample_rate=" + std::to_string(rate) + "' -ac 2 -c:a mp2 -b:a 224k '" + mp2 + "' 2>&1",
        &rc);
  EXPECT_EQ(0, rc);
  return mp2;
}

class MotionStreams : public ::testing::Test {
 protected:
  void SetUp() override {
    VIDLATHE_NEED_TOOL("ffprobe");
    VIDLATHE_NEED_TOOL("ffmpeg");
  }
  TempDir dir_;
};

TEST(MotionPieces, DisplayTimesBecomePiecesOfWholePictures) {
  struct Case {
    uint32_t ms;
    double fps;
    std::vector<int> pieces;
  };
  const Case cases[] = {
      {2600, 30000.0 / 1001, {30, 30, 18}},
      {1400, 30000.0 / 1001, {42}},
      {1500, 25, {25, 13}},
      {3000, 24, {24, 24, 24}},
      {10, 30000.0 / 1001, {1}},     // below one picture: still one
      {1016, 30000.0 / 1001, {30}},  // 1000 + a remainder that rounds to nothing
      {0, 25, {}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.pieces, PiecePictureCounts(c.ms, c.fps)) << c.ms << " ms at " << c.fps;
  }
}

// Every mode: the size, rate and picture structure of the mode, decodable,
// within the buffer model.
TEST_F(MotionStreams, EveryModeIsAValidMotionStream) {
  for (int mode = 5; mode <= 12; ++mode) {
    SCOPED_TRACE("mode " + std::to_string(mode));
    const Mode& m = *FindMode(ModeSet::kMotion, mode);
    const std::vector<Still> stills = {{1, 1600}, {2, 400}};
    SetStills(m, stills);
    std::string name = std::to_string(mode);
    name.insert(name.begin(), 'm');
    name.append(".mpg");
    const std::string out = dir_.File(name);
    ASSERT_EQ(1, MultipleVidlathe2(2, StillSource, out.c_str(), mode));
    const CheckedStream s = CheckSystemStreamFile(out);
    EXPECT_TRUE(s.ok()) << s.Report();
    EXPECT_EQ(1u, s.pictures.count(0xE0));
    int rc = -1;
    const std::string err = Shell("ffmpeg -v error -xerror -i '" + out + "' -f null - 2>&1", &rc);
    EXPECT_EQ(0, rc) << err;
    const std::string info = Shell("ffprobe -v error -select_streams v -show_entries stream=codec_name,width,height,r_frame_rate -of csv=p=0 '" + out + "'");
    const char* rate = m.rateCode == 4 ? "30000/1001" : m.rateCode == 3 ? "25/1" : "24/1";
    EXPECT_EQ("mpeg1video," + std::to_string(m.width) + "," + std::to_string(m.height) + "," + rate + "\n", info);
    const double fps = FrameRateOfCode(m.rateCode);
    EXPECT_EQ(TypesOfPieces(ExpectedPieces(stills, fps)), FrameTypes(out));
    if (HaveTool("mpeg2dec") || CheckersRequired()) {
      // Every picture, also those that start near the end of a packet.
      const std::string dec = Shell("mpeg2dec -o null '" + out + "' 2>&1", &rc);
      EXPECT_EQ(0, rc) << dec;
      const size_t pictures = TypesOfPieces(ExpectedPieces(stills, fps)).size();
      EXPECT_NE(std::string::npos, dec.find(std::to_string(pictures) + " frames decoded")) << dec;
    }
    if (HaveTool("vcdxminfo") || CheckersRequired()) {
      const std::string xm = Shell("vcdxminfo -i '" + out + "' 2>&1", &rc);
      EXPECT_EQ(0, rc) << xm;
      EXPECT_EQ(std::string::npos, xm.find("WARN")) << xm;
      EXPECT_NE(std::string::npos, xm.find("motion video stream")) << xm;
    }
  }
}

// 2600 ms at 29.97 pictures/s: groups of 30, 30 and 18 pictures; with the
// copy pictures of mode 5 every picture of a group decodes to its I picture.
TEST_F(MotionStreams, CopyPicturesRepeatTheirIPicture) {
  const Mode& m = *FindMode(ModeSet::kMotion, 5);
  SetStills(m, {{3, 2600}, {4, 700}});
  const std::string out = dir_.File("copy.mpg");
  ASSERT_EQ(1, MultipleVidlathe2(2, StillSource, out.c_str(), 5));
  EXPECT_EQ(TypesOfPieces({30, 30, 18, 21}), FrameTypes(out));
  const std::string md5 = Shell("ffmpeg -v error -i '" + out + "' -map 0:v -f framemd5 - | grep -v '^#' | awk -F, '{print $6}'");
  std::vector<std::string> sums;
  std::istringstream in(md5);
  for (std::string l; std::getline(in, l);) sums.push_back(l);
  ASSERT_EQ(99u, sums.size());
  int group = 0;
  for (int n : {30, 30, 18, 21}) {
    for (int i = 1; i < n; ++i) EXPECT_EQ(sums[group], sums[group + i]) << "picture " << group + i;
    group += n;
  }
  EXPECT_NE(sums[78], sums[77]);  // the next still
}

// Every picture coded again (mode 7): the P pictures refine the I picture,
// so quality along a P chain stays at least that of its I picture.
TEST_F(MotionStreams, QualityStaysBoundedAlongPChains) {
  const Mode& m = *FindMode(ModeSet::kMotion, 7);
  SetStills(m, {{5, 2000}, {6, 1000}});
  const std::string out = dir_.File("p.mpg");
  ASSERT_EQ(1, MultipleVidlathe2(2, StillSource, out.c_str(), 7));
  const auto frames = DecodeAll(out, m.width, m.height);
  ASSERT_EQ(90u, frames.size());
  const auto first = SourceLuma(m, 5), second = SourceLuma(m, 6);
  double firstI = 0;
  for (size_t i = 0; i < frames.size(); ++i) {
    const double p = Psnr(frames[i], i < 60 ? first : second);
    if (i == 0) firstI = p;
    EXPECT_GT(p, 30.0) << "picture " << i;
    if (i > 0 && i < 60) {
      EXPECT_GT(p, firstI - 0.5) << "picture " << i;
    }
  }
  EXPECT_GT(Psnr(frames[59], first), firstI);
}

// Time stamps with audio: decoding times rise, no picture is shown before
// it is decoded, pictures are one frame apart and audio frames one Layer II
// frame apart; the buffer model holds; both streams last as long as the
// stills are shown.
TEST_F(MotionStreams, TimeStampsFollowTheFramesAndTheBufferModel) {
  const std::string mp2 = MakeMp2(dir_, "a.mp2", 1.5);
  for (int mode : {5, 8}) {
    SCOPED_TRACE("mode " + std::to_string(mode));
    const Mode& m = *FindMode(ModeSet::kMotion, mode);
    SetStills(m, {{7, 2600}, {8, 1500}});
    const std::string out = dir_.File("ts" + std::to_string(mode) + ".mpg");
    ASSERT_EQ(1, MulVidlathe_MP2(2, StillSource, out.c_str(), mode, mp2.c_str(), 1));
    const CheckedStream s = CheckSystemStreamFile(out);
    EXPECT_TRUE(s.ok()) << s.Report();
    const double fps = FrameRateOfCode(m.rateCode);
    const double frame = 90000.0 / fps, audioFrame = 1152 * 90000.0 / 44100;
    int64_t lastVideoDts = -1, lastVideoPts = -1, lastAudioPts = -1;
    int video = 0, audio = 0;
    for (const ProbePacket& p : Packets(out)) {
      EXPECT_LE(p.dts, p.pts);
      if (p.kind == 'v') {
        EXPECT_GT(p.dts, lastVideoDts);
        if (lastVideoPts >= 0) {
          const double steps = (p.pts - lastVideoPts) / frame;
          EXPECT_NEAR(steps, std::round(steps), 0.01) << p.pts;
          EXPECT_GE(std::round(steps), 1);
        }
        lastVideoDts = p.dts;
        lastVideoPts = p.pts;
        ++video;
      } else {
        if (lastAudioPts >= 0) {
          const double steps = (p.pts - lastAudioPts) / audioFrame;
          EXPECT_NEAR(steps, std::round(steps), 0.01) << p.pts;
        }
        lastAudioPts = p.pts;
        ++audio;
      }
    }
    EXPECT_GT(video, 0);
    EXPECT_GT(audio, 0);
    // Sound and pictures start together.
    ASSERT_FALSE(s.audioFramePts.empty());
    EXPECT_EQ(s.pictures.at(0xE0).front().pts, s.audioFramePts.front());
    // Video and audio each last the 4.1 s the stills are shown.
    int rc = -1;
    const std::string dur = Shell("ffprobe -v error -show_entries stream=codec_type,duration -of csv=p=0 '" + out + "'", &rc);
    std::istringstream in(dur);
    for (std::string l; std::getline(in, l);) {
      const double d = std::stod(l.substr(l.find(',') + 1));
      EXPECT_NEAR(4.1, d, 0.1) << l;
    }
    const std::string err = Shell("ffmpeg -v error -xerror -i '" + out + "' -map 0 -f null - 2>&1", &rc);
    EXPECT_EQ(0, rc) << err;
  }
}

// Over a longer sequence the video keeps to the Video CD rate, and the time
// stamps never have to give way (no picture shown later than its frame).
TEST_F(MotionStreams, BitRateKeepsToTheVideoCdRate) {
  const std::string mp2 = MakeMp2(dir_, "long.mp2", 2.0);
  for (int mode : {5, 7}) {
    SCOPED_TRACE("mode " + std::to_string(mode));
    const Mode& m = *FindMode(ModeSet::kMotion, mode);
    std::vector<Still> stills;
    for (int i = 0; i < 6; ++i) stills.push_back({10 + i, 2500});
    SetStills(m, stills);
    const std::string out = dir_.File("long" + std::to_string(mode) + ".mpg");
    ASSERT_EQ(1, MulVidlathe_MP2(6, StillSource, out.c_str(), mode, mp2.c_str(), 1));
    const CheckedStream s = CheckSystemStreamFile(out);
    EXPECT_TRUE(s.ok()) << s.Report();
    size_t bytes = 0;
    for (const auto& p : s.pictures.at(0xE0)) bytes += p.data.size();
    const double rate = bytes * 8 / 15.0;
    // Copy pictures are padded to their targets; pictures coded again from
    // an unchanging still may need less than the rate.
    if (m.kind == kMotionCopyPictures) {
      EXPECT_NEAR(1150000, rate, 0.03 * 1150000);
    } else {
      EXPECT_LT(rate, 1.03 * 1150000);
      EXPECT_GT(rate, 0.6 * 1150000);
    }
    if (HaveTool("mpeg2dec") || CheckersRequired()) {
      int rc = -1;
      const std::string dec = Shell("mpeg2dec -o null '" + out + "' 2>&1", &rc);
      EXPECT_NE(std::string::npos, dec.find("450 frames decoded")) << dec;
    }
    // The last picture is shown at its frame: no stamp had to move later.
    const auto& pics = s.pictures.at(0xE0);
    const double frame = 90000.0 * 1001 / 30000;
    EXPECT_NEAR(pics.front().pts + 449 * frame, static_cast<double>(pics.back().pts), 1.0);
  }
}

TEST(MotionStreamCalls, BadArgumentsAreRefused) {
  TempDir dir;
  const Mode& m = *FindMode(ModeSet::kMotion, 5);
  SetStills(m, {{1, 500}});
  const std::string out = dir.File("x.mpg");
  for (int mode : {0, 4, 13}) EXPECT_EQ(0, MultipleVidlathe2(1, StillSource, out.c_str(), mode)) << mode;
  EXPECT_EQ(0, MultipleVidlathe2(1, nullptr, out.c_str(), 5));
  EXPECT_EQ(0, MultipleVidlathe2(1, StillSource, nullptr, 5));
  EXPECT_FALSE(vexa::base::FileExists(out));
  // A source that ends before the count: no output.
  SetStills(m, {{1, 500}});
  EXPECT_EQ(0, MultipleVidlathe2(3, StillSource, out.c_str(), 5));
  EXPECT_FALSE(vexa::base::FileExists(out));
  // No stills at all: a valid stream without pictures.
  EXPECT_EQ(1, MultipleVidlathe2(0, StillSource, out.c_str(), 5));
  const CheckedStream s = CheckSystemStreamFile(out);
  EXPECT_TRUE(s.ok()) << s.Report();
  EXPECT_EQ(0u, s.pictures.count(0xE0));
}

// One encoding call at a time, still or motion: a picture source that calls
// back into the library is refused, and its own call goes on.
int gInnerResult = -1;
std::string gInnerPath;
int ReentrantSource(void* pixels, BITMAPINFOHEADER* h) {
  gInnerResult = Multi_I_Enc_Still(1, StillSource, gInnerPath.c_str(), 8, 5);
  return StillSource(pixels, h);
}

TEST(MotionStreamCalls, CallsFromInsideACallAreRefused) {
  TempDir dir;
  const Mode& m = *FindMode(ModeSet::kMotion, 5);
  SetStills(m, {{1, 300}, {2, 300}});
  gInnerPath = dir.File("inner.mpg");
  const std::string out = dir.File("outer.mpg");
  EXPECT_EQ(1, MultipleVidlathe2(1, ReentrantSource, out.c_str(), 5));
  EXPECT_EQ(0, gInnerResult);
  EXPECT_FALSE(vexa::base::FileExists(gInnerPath));
  EXPECT_TRUE(vexa::base::FileExists(out));
}

// A write error part way (the file size limit here) ends the call with 0,
// stops the encoder rather than leaving it waiting, and leaves no file.
TEST(MotionStreamCalls, WriteErrorFailsAndRemovesTheOutput) {
  TempDir dir;
  const std::string out = dir.File("big.mpg");
  const Mode& m = *FindMode(ModeSet::kMotion, 7);
  SetStills(m, {{1, 3000}, {2, 3000}});
  const pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit lim{100 * 1024, 100 * 1024};
    setrlimit(RLIMIT_FSIZE, &lim);
    _exit(MultipleVidlathe2(2, StillSource, out.c_str(), 7) == 0 ? 0 : 1);
  }
  const vexa::testsupport::ChildEnd end = vexa::testsupport::WaitChild(pid, "the encoding child with its file size limit");
  ASSERT_TRUE(end.ended) << end.failure;
  ASSERT_TRUE(WIFEXITED(end.status));
  EXPECT_EQ(0, WEXITSTATUS(end.status));
  EXPECT_FALSE(vexa::base::FileExists(out));
  EXPECT_EQ("", Shell("ls -A '" + dir.path() + "'"));
}

TEST_F(MotionStreams, AudioOtherThan44kIsRefused) {
  const std::string mp2 = MakeMp2(dir_, "a48.mp2", 0.5, 48000);
  const Mode& m = *FindMode(ModeSet::kMotion, 5);
  SetStills(m, {{1, 500}});
  const std::string out = dir_.File("r.mpg");
  EXPECT_EQ(0, MulVidlathe_MP2(1, StillSource, out.c_str(), 5, mp2.c_str(), 0));
  EXPECT_EQ(0, MulVidlathe_MP2(1, StillSource, out.c_str(), 5, dir_.File("none.mp2").c_str(), 0));
  EXPECT_FALSE(vexa::base::FileExists(out));
}

// A still shown for 10 ms between two others still gets its picture, and
// its time stamps keep their order.
TEST_F(MotionStreams, VeryShortDisplayTimeStillGetsOnePicture) {
  const Mode& m = *FindMode(ModeSet::kMotion, 7);
  SetStills(m, {{1, 600}, {2, 10}, {3, 600}});
  const std::string out = dir_.File("short.mpg");
  ASSERT_EQ(1, MultipleVidlathe2(3, StillSource, out.c_str(), 7));
  EXPECT_EQ(TypesOfPieces({18, 1, 18}), FrameTypes(out));
  const CheckedStream s = CheckSystemStreamFile(out);
  EXPECT_TRUE(s.ok()) << s.Report();
  int64_t last = -1;
  for (const auto& p : s.pictures.at(0xE0)) {
    EXPECT_GT(p.pts, last);
    last = p.pts;
  }
}

}  // namespace
}  // namespace vidlathe::testing
