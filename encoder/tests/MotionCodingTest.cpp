// The parts of motion coding below the entry points: motion estimation's
// decisions, the rate controller's vbv_delay, the coded-video ring's picture
// index under a writer far ahead of its reader, and the I/P/B coding order
// of decoded video, read back by an independent decoder.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <sstream>
#include <thread>

#include "encoder/common/CodedStreamBuffer.h"
#include "encoder/coder/EncoderThread.h"
#include "encoder/coder/MotionEncoder.h"
#include "encoder/coder/MotionEstimation.h"
#include "encoder/mux/Multiplexer.h"
#include "encoder/coder/ReencodeCoder.h"
#include "encoder/tests/StreamChecker.h"
#include "encoder/tests/TestSupport.h"
#include "tests/support/Waits.h"

namespace vidlathe::testing {
namespace {

SequenceParameters Sequence(int w, int h, uint32_t kind = kMotionFromStills) {
  EncodeJob job;
  job.kind = kind;
  job.width = static_cast<uint32_t>(w);
  job.height = static_cast<uint32_t>(h);
  job.aspectCode = 12;
  job.rateCode = 4;
  GopParameters gop;
  SequenceParameters seq;
  SetUpMotionJob(&job, &gop, &seq);
  return seq;
}

PictureParameters Picture(int type) {
  PictureParameters p;
  p.picture_coding_type = type;
  return p;
}

// A flat picture: every candidate costs the same, so the search keeps the
// macroblock's own position and the refinement its first candidate, half a
// pel up and to the left where the picture allows.
TEST(MotionEstimation, FlatPictureVectorsFollowTheSearchOrder) {
  const SequenceParameters seq = Sequence(64, 48);
  std::vector<uint8_t> flat(64 * 48 + 64, 90);
  MotionEstimator me;
  me.SetSequence(&seq);
  std::vector<MacroblockInfo> mbs(12);
  me.SetPicture(Picture(3));
  me.EstimateMotion(flat.data(), flat.data(), flat.data(), flat.data(), flat.data(), 7, 7, 3, 3, mbs);
  struct Case {
    int mb, h, v;
  };
  for (const Case& c : {Case{0, 0, 0}, Case{1, -1, 0}, Case{4, 0, -1}, Case{5, -1, -1}, Case{11, -1, -1}}) {
    EXPECT_EQ(MB_FORWARD, mbs[c.mb].mb_type) << c.mb;  // ties prefer forward
    EXPECT_EQ(c.h, mbs[c.mb].mv[0][0][0]) << c.mb;
    EXPECT_EQ(c.v, mbs[c.mb].mv[0][0][1]) << c.mb;
    EXPECT_EQ(c.h, mbs[c.mb].mv[0][1][0]) << c.mb;  // the backward vector too
    EXPECT_EQ(c.v, mbs[c.mb].mv[0][1][1]) << c.mb;
  }
  // A P picture falls back to the zero vector without motion compensation.
  me.SetPicture(Picture(2));
  me.EstimateMotion(flat.data(), nullptr, flat.data(), nullptr, flat.data(), 11, 11, 0, 0, mbs);
  for (const auto& mb : mbs) {
    EXPECT_EQ(0, mb.mb_type);
    EXPECT_EQ(0, mb.mv[0][0][0]);
    EXPECT_EQ(0, mb.variance);
  }
}

// A textured picture moved by a known amount is found, at the edges only
// within the picture; a fixed budget searches nothing.
TEST(MotionEstimation, FindsShiftsWithinThePicture) {
  const int W = 96, H = 64;
  const SequenceParameters seq = Sequence(W, H);
  auto texture = [](int x, int y) { return static_cast<uint8_t>(128 + 60 * std::sin(x * 0.9) * std::cos(y * 0.7) + 30 * std::sin((x + 2 * y) * 0.31)); };
  std::vector<uint8_t> ref(W * H + 64), cur(W * H + 64);
  const int dx = 3, dy = -2;  // the current picture shows the reference moved
  for (int y = 0; y < H; ++y)
    for (int x = 0; x < W; ++x) {
      ref[y * W + x] = texture(x, y);
      cur[y * W + x] = texture(x + dx, y + dy);
    }
  MotionEstimator me;
  me.SetSequence(&seq);
  me.SetPicture(Picture(2));
  std::vector<MacroblockInfo> mbs(6 * 4);
  me.EstimateMotion(ref.data(), nullptr, ref.data(), nullptr, cur.data(), 11, 11, 0, 0, mbs);
  // An inner macroblock: the vector (3, -2) in full pels, cost zero.
  const MacroblockInfo& inner = mbs[1 * 6 + 2];
  EXPECT_EQ(MB_FORWARD, inner.mb_type);
  EXPECT_EQ(2 * dx, inner.mv[0][0][0]);
  EXPECT_EQ(2 * dy, inner.mv[0][0][1]);
  EXPECT_EQ(0, inner.variance);
  // Every vector keeps the block, and its half-pel neighbour, inside.
  for (int k = 0; k < 24; ++k) {
    const int x = (k % 6) * 16, y = (k / 6) * 16;
    const int X = 2 * x + mbs[k].mv[0][0][0], Y = 2 * y + mbs[k].mv[0][0][1];
    EXPECT_GE(X, 0);
    EXPECT_GE(Y, 0);
    EXPECT_LE(X, 2 * (W - 16));
    EXPECT_LE(Y, 2 * (H - 16));
  }
  // The window near the right edge ends at W - 16.
  const SearchResult r = me.FullSearch(ref.data(), ref.data(), cur.data() + 80, 80, 0, 11, 11, W, H);
  EXPECT_LE(r.x, 2 * 80);
  const SequenceParameters fixed = Sequence(W, H, kMotionCopyPictures);
  me.SetSequence(&fixed);
  me.EstimateMotion(ref.data(), nullptr, ref.data(), nullptr, cur.data(), 11, 11, 0, 0, mbs);
  for (const auto& mb : mbs) {
    EXPECT_EQ(0, mb.mb_type);
    EXPECT_EQ(0, mb.mv[0][0][0]);
    EXPECT_EQ(0, mb.mv[0][0][1]);
  }
}

// A picture of one macroblock leaves the search a single position, so its
// squared error against the reference is set exactly: intra needs an error
// of at least 9 per sample (2304) and above the macroblock's own variance.
TEST(MotionEstimation, IntraOnlyFromTheErrorFloorAndAboveTheVariance) {
  const SequenceParameters seq = Sequence(16, 16);
  MotionEstimator me;
  me.SetSequence(&seq);
  me.SetPicture(Picture(2));
  struct Case {
    const char* name;
    bool textured;       // the current block varies strongly
    int threes, five, one;  // samples differing from the reference by 3, 5, 1
    int mbType, variance;   // variance -1: the block's own variance
  };
  const Case cases[] = {
      {"error 2304 over a flat block", false, 256, 0, 0, MB_INTRA, 0},
      {"error 2303 over a flat block", false, 253, 1, 1, 0, 2303},
      {"error 2304 below a textured block's variance", true, 256, 0, 0, 0, 2304},
  };
  for (const Case& c : cases) {
    std::vector<uint8_t> cur(16 * 16 + 64, 100), ref(16 * 16 + 64, 100);
    for (int i = 0; i < 256; ++i) {
      if (c.textured) cur[i] = static_cast<uint8_t>(i % 2 ? 40 : 200);
      const int d = i < c.threes ? 3 : i == c.threes && c.five ? 5 : i == c.threes + c.five && c.one ? 1 : 0;
      ref[i] = static_cast<uint8_t>(cur[i] - d);
    }
    std::vector<MacroblockInfo> mbs(1);
    me.EstimateMotion(ref.data(), nullptr, ref.data(), nullptr, cur.data(), 11, 11, 0, 0, mbs);
    EXPECT_EQ(c.mbType, mbs[0].mb_type) << c.name;
    EXPECT_EQ(c.variance, mbs[0].variance) << c.name;
  }
}

// A P picture of an unchanged, flat picture: its prediction is perfect, so
// every macroblock inside a row is skipped and those at the row ends are
// coded as forward prediction with the zero vector and no coefficients.
TEST(MotionPictureCoding, PerfectPredictionSkipsInsideRows) {
  CodedStreamBuffer bits;
  EncodeJob job;
  job.kind = kMotionFromStills;
  job.width = 96;
  job.height = 32;
  job.aspectCode = 12;
  job.rateCode = 4;
  job.codedStream = &bits;
  GopParameters gop;
  SequenceParameters seq;
  SetUpMotionJob(&job, &gop, &seq);
  gop.N = 2;
  gop.M = 1;
  MotionPictureEncoder pe;
  ASSERT_TRUE(pe.Setup(&job));
  pe.rateController()->Reset();
  pe.rateController()->InitSequence();
  std::vector<uint8_t> y(96 * 32, 96), u(48 * 16, 128), v(48 * 16, 128);
  const uint8_t* planes[3] = {y.data(), u.data(), v.data()};
  pe.WriteSequenceHeader();
  pe.BeginPicture(0, 1);
  ASSERT_TRUE(pe.EncodePicture(planes));
  for (const auto& mb : pe.macroblocks()) EXPECT_TRUE(mb.mb_type & MB_INTRA);
  pe.BeginPicture(1, 2);
  ASSERT_TRUE(pe.EncodePicture(planes));
  const auto& mbs = pe.macroblocks();
  for (int k = 0; k < 12; ++k) {
    const bool end = k % 6 == 0 || k % 6 == 5;
    EXPECT_EQ(end ? 0 : 1, mbs[k].skipped) << k;
    EXPECT_EQ(0, mbs[k].cbp) << k;
    if (end) {
      EXPECT_EQ(MB_FORWARD, mbs[k].mb_type) << k;
    }
    EXPECT_EQ(0, mbs[k].mv[0][0][0]);
    EXPECT_EQ(0, mbs[k].mv[0][0][1]);
  }
  // The reconstruction of the flat picture is the picture itself.
  EXPECT_EQ(0, std::memcmp(pe.reconstruction(0), y.data(), y.size()));
}

// The first picture of a motion stream waits for a buffer 7/8 full:
// 286,720 bits at 1,150,000 bit/s, less the bits already written.
TEST(MotionRateControl, FirstVbvDelayAndStartQuantiser) {
  CodedStreamBuffer bits;
  const SequenceParameters seq = Sequence(352, 240);
  MotionRateController rc(&bits, &seq);
  rc.Reset();
  rc.InitSequence();
  rc.InitGroup(29, 0);
  std::vector<MacroblockInfo> mbs(22 * 15);
  std::vector<uint8_t> luma(352 * 240, 100);
  const PictureParameters pic = Picture(1);
  rc.InitPicture(pic, luma.data(), mbs);
  EXPECT_EQ(20, rc.StartQuantiser());
  EXPECT_EQ(static_cast<int>(286720.0 * 90000 / 1150000 - 64.0 * 90000 / 1150000), rc.VbvDelay(64));
  // The next anchor follows one frame later.
  const int second = rc.VbvDelay(64);
  EXPECT_NEAR(22439 + 3003, second, 10);
}

// Copy-picture video of stills: the I picture of each later piece of a
// still is the first piece's macroblocks written again. The stream is the
// one that coding every I picture afresh gives, byte for byte, whatever the
// display times (pieces of 1000 ms, a short remainder, a still of one
// piece, stills alike and different) and the picture size.
TEST(CopyPictureVideo, RepeatedIPicturesAreTheBitsCodingThemAgainGives) {
  struct Still {
    int seed;
    uint32_t ms;
  };
  const Still stills[] = {{3, 3200}, {4, 700}, {4, 2400}, {5, 1000}, {6, 40}, {3, 5000}};
  auto code = [&](int w, int h, bool everyIntra) {
    const vexa::testsupport::Watchdog dog("the encoder and the reader of a coded stream to end");
    CodedStreamBuffer coded;
    EncodeJob job;
    job.SetUp(kMotionCopyPictures, w, h, 12, 3, 2, &coded);
    job.codeEveryIntraPicture = everyIntra;
    PictureQueue queue(kPictureQueueSize);
    std::thread encoder([&] { RunEncoderThread(&job, &queue); });
    std::vector<uint8_t> stream;
    std::thread reader([&] {
      uint8_t chunk[CodedStreamBuffer::kChunk];
      uint32_t first, second;
      while (const size_t n = coded.ReadChunk(chunk, &first, &second)) stream.insert(stream.end(), chunk, chunk + n);
    });
    for (const Still& s : stills) {
      auto planes = std::make_unique<StillPlanes>();
      const auto px = SyntheticPicture(w, h, s.seed);
      BitmapSource src;
      src.header = BITMAPINFOHEADER{40, w, -h, 1, 32, 0, 0, 0, 0, 0, 0};
      src.pixels = px.data();
      src.pixelBytes = px.size();
      EXPECT_TRUE(MakeStillPlanes(src, kMotionCopyPictures, w, h, planes.get()));
      queue.Push(QueuedPicture{std::move(planes), s.ms});
    }
    queue.Push(QueuedPicture{});
    encoder.join();
    reader.join();
    EXPECT_EQ(1u, job.success.load());
    return stream;
  };
  for (const auto& [w, h] : {std::pair{352, 288}, std::pair{176, 112}}) {
    const std::vector<uint8_t> repeated = code(w, h, false), afresh = code(w, h, true);
    ASSERT_GT(afresh.size(), 100000u) << w << "x" << h;
    EXPECT_TRUE(repeated == afresh) << w << "x" << h << ": " << repeated.size() << " against " << afresh.size() << " bytes";
  }
}

// A writer far ahead of its reader: every picture's numbers still reach the
// reader, in order, however many pictures the ring holds.
TEST(CodedVideoRing, PictureIndexKeepsUpWithAFarAheadWriter) {
  const vexa::testsupport::Watchdog dog("the reader to take every picture of the far-ahead writer");
  CodedStreamBuffer ring;
  constexpr int kPictures = 2500, kBytes = 3000;  // 195 pictures fill the ring
  std::thread writer([&] {
    for (int p = 0; p < kPictures; ++p) {
      ring.MarkMotionPicture(static_cast<uint32_t>(p), static_cast<uint32_t>(p));
      for (int b = 0; b < kBytes; ++b) ring.PutBits(static_cast<uint32_t>(p & 0xFF), 8);
    }
    ring.MarkStillPicture(0, 0, 2);
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(50));  // let it run ahead
  std::vector<uint32_t> seen;
  uint8_t chunk[CodedStreamBuffer::kChunk];
  uint32_t first, second;
  size_t total = 0, n;
  while ((n = ring.ReadChunk(chunk, &first, &second)) > 0) {
    if (first != 0) {
      EXPECT_EQ(first, second);
      seen.push_back(first);
    }
    total += n;
  }
  writer.join();
  EXPECT_EQ(static_cast<size_t>(kPictures) * kBytes, total);
  ASSERT_EQ(static_cast<size_t>(kPictures - 1), seen.size());
  for (int p = 1; p < kPictures; ++p) EXPECT_EQ(static_cast<uint32_t>(p), seen[p - 1]);
}

// Decoded video coded again: groups of 13 in the order I0 P3 B1 B2 ..., read
// back in display order as IBBPBBPBBPBBP; pictures after the last anchor are
// kept as P pictures; the stream decodes close to its source within the
// buffer model.
TEST(ReencodeCoding, IpbOrderDecodesCloseToTheSource) {
  VIDLATHE_NEED_TOOL("ffprobe");
  VIDLATHE_NEED_TOOL("ffmpeg");
  TempDir dir;
  const int W = 176, H = 128, kFrames = 31;
  // A textured scene panning right and down, with a disc moving the other way.
  auto frame = [&](int n) {
    auto p = std::make_unique<StillPlanes>();
    p->y.resize(W * H);
    p->u.resize(W * H / 4);
    p->v.resize(W * H / 4);
    for (int y = 0; y < H; ++y)
      for (int x = 0; x < W; ++x) {
        const double sx = x + 1.5 * n, sy = y + 0.5 * n;
        double v = 120 + 50 * std::sin(sx * 0.21) * std::cos(sy * 0.17) + 25 * std::sin((sx + sy) * 0.05);
        const double cx = 120 - 2 * n, cy = 60;
        if ((x - cx) * (x - cx) + (y - cy) * (y - cy) < 200) v = 230;
        p->y[y * W + x] = static_cast<uint8_t>(std::clamp(v, 16.0, 235.0));
      }
    for (int i = 0; i < W * H / 4; ++i) {
      p->u[i] = static_cast<uint8_t>(128 + 20 * std::sin(i * 0.01 + n * 0.1));
      p->v[i] = static_cast<uint8_t>(128 - 20 * std::cos(i * 0.013));
    }
    return p;
  };
  std::vector<std::vector<uint8_t>> sources;
  for (int n = 0; n < kFrames; ++n) sources.push_back(frame(n)->y);

  const std::string out = dir.File("reencode.mpg");
  std::FILE* f = std::fopen(out.c_str(), "wb");
  ASSERT_NE(nullptr, f);
  CodedStreamBuffer coded;
  EncodeJob job;
  job.kind = kMotionReencode;
  job.width = W;
  job.height = H;
  job.aspectCode = 12;
  job.rateCode = 4;
  job.codedStream = &coded;
  GopParameters gop;
  SequenceParameters seq;
  SetUpMotionJob(&job, &gop, &seq);
  EXPECT_EQ(13, gop.N);
  EXPECT_EQ(3, gop.M);
  MultiplexJob mux;
  mux.output = f;
  mux.encodeJob = &job;
  const vexa::testsupport::Watchdog dog("the multiplexer to end with the coded sequence");
  std::thread muxer([&] { RunMultiplexer(&mux); });
  MotionPictureEncoder pe;
  ASSERT_TRUE(pe.Setup(&job));
  int next = 0;
  const int coded_pictures = CodeReencodeSequence(
      pe, gop, [&]() -> std::unique_ptr<StillPlanes> { return next < kFrames ? frame(next++) : nullptr; },
      [] { return false; });
  coded.MarkStillPicture(0, 0, 2);
  muxer.join();
  std::fclose(f);
  EXPECT_EQ(kFrames, coded_pictures);
  ASSERT_EQ(1u, mux.result.load());

  const CheckedStream s = CheckSystemStreamFile(out);
  EXPECT_TRUE(s.ok()) << s.Report();
  std::string types;
  for (char c : Shell("ffprobe -v error -select_streams v -show_entries frame=pict_type -of csv=p=0 '" + out + "'"))
    if (c == 'I' || c == 'P' || c == 'B') types += c;
  EXPECT_EQ("IBBPBBPBBPBBPIBBPBBPBBPBBPIBBPP", types);
  int rc = -1;
  const std::string err = Shell("ffmpeg -v error -xerror -i '" + out + "' -f null - 2>&1", &rc);
  EXPECT_EQ(0, rc) << err;
  const std::string raw = Shell("ffmpeg -v error -i '" + out + "' -f rawvideo -pix_fmt yuv420p -");
  ASSERT_EQ(static_cast<size_t>(kFrames) * W * H * 3 / 2, raw.size());
  for (int n = 0; n < kFrames; ++n) {
    const std::vector<uint8_t> y(raw.begin() + static_cast<std::ptrdiff_t>(n) * W * H * 3 / 2,
                                 raw.begin() + static_cast<std::ptrdiff_t>(n) * W * H * 3 / 2 + W * H);
    EXPECT_GT(Psnr(y, sources[n]), 30.0) << "picture " << n << " (" << types[n] << ")";
  }
  // Display times: one frame apart, every picture shown after it is decoded.
  for (size_t i = 1; i < s.pictures.at(0xE0).size(); ++i) {
    const auto& a = s.pictures.at(0xE0)[i - 1];
    const auto& b = s.pictures.at(0xE0)[i];
    EXPECT_LE(b.dts, b.pts);
    EXPECT_GT(b.dts, a.dts);
  }
}

}  // namespace
}  // namespace vidlathe::testing
