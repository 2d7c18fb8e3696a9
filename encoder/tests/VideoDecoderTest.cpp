// The MPEG-1 video decoder against ffmpeg's own decoding of streams ffmpeg
// makes: I, P and B pictures, half-sample motion, skipped macroblocks,
// loaded matrices and a size that is not a whole number of macroblocks.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <algorithm>
#include <cmath>
#include <functional>

#include "encoder/common/CodedStreamBuffer.h"
#include "encoder/common/EncoderRecords.h"
#include "encoder/common/Idct.h"
#include "encoder/common/Tables.h"
#include "encoder/syntax/Headers.h"
#include "encoder/syntax/MacroblockWriter.h"
#include "encoder/reader/UnchangedCopy.h"
#include "encoder/VidlatheStreams.h"
#include "encoder/reader/VideoDecoder.h"
#include "encoder/tests/StreamTestSupport.h"

namespace {

using namespace streamtest;
using vidlathe::DecodedPicture;
using vidlathe::VideoDecoder;

std::vector<DecodedPicture> DecodeFile(const std::string& path, bool fast, int* damaged = nullptr) {
  std::FILE* f = std::fopen(path.c_str(), "rb");
  std::vector<DecodedPicture> out;
  if (!f) return out;
  VideoDecoder dec([f](uint8_t* d, size_t n) { return std::fread(d, 1, n, f); }, fast);
  dec.Run([&](DecodedPicture& p) {
    out.push_back(std::move(p));
    return true;
  });
  std::fclose(f);
  if (damaged) *damaged = dec.damaged();
  return out;
}

struct Diff {
  int maxAbsIntra = 0;  // over intra pictures
  int maxAbs = 0;       // over all pictures
  double shareOverOne = 0;  // of samples that differ by more than 1
};

// Compares our pictures with ffmpeg's raw yuv420p frames.
Diff Compare(const std::vector<DecodedPicture>& pics, const std::vector<uint8_t>& raw, int w, int h,
             int* frames) {
  const size_t cw = (w + 1) / 2, ch = (h + 1) / 2;
  const size_t frameSize = static_cast<size_t>(w) * h + 2 * cw * ch;
  *frames = static_cast<int>(raw.size() / frameSize);
  Diff d;
  size_t differ = 0, total = 0;
  for (size_t k = 0; k < pics.size() && k < static_cast<size_t>(*frames); ++k) {
    const uint8_t* r = raw.data() + k * frameSize;
    auto cmp = [&](const std::vector<uint8_t>& ours, const uint8_t* theirs) {
      for (size_t i = 0; i < ours.size(); ++i) {
        const int a = std::abs(ours[i] - theirs[i]);
        d.maxAbs = std::max(d.maxAbs, a);
        if (pics[k].codingType == 1) d.maxAbsIntra = std::max(d.maxAbsIntra, a);
        differ += a > 1;
        ++total;
      }
    };
    cmp(pics[k].y, r);
    cmp(pics[k].u, r + static_cast<size_t>(w) * h);
    cmp(pics[k].v, r + static_cast<size_t>(w) * h + cw * ch);
  }
  d.shareOverOne = total ? static_cast<double>(differ) / total : 0;
  return d;
}

struct Case {
  const char* name;
  int w, h;
  std::string args;
};

TEST(VideoDecoder, MatchesFfmpegWithinOne) {
  REQUIRE_TOOL("ffmpeg");
  const Case cases[] = {
      {"ipbb.m1v", 352, 240, "-g 12 -bf 2 -q:v 4"},
      {"matrices.m1v", 176, 144,
       "-g 6 -bf 2 -q:v 3 -intra_matrix 8,16,19,22,26,27,29,34,16,16,22,24,27,29,34,37,19,22,26,"
       "27,29,34,34,38,22,22,26,27,29,34,37,40,22,26,27,29,32,35,40,48,26,27,29,32,35,40,48,58,"
       "26,27,29,34,38,46,56,69,27,29,35,38,46,56,69,90 -inter_matrix 16,17,18,19,20,21,22,23,17,"
       "18,19,20,21,22,23,24,18,19,20,21,22,23,24,25,19,20,21,22,23,24,26,27,20,21,22,23,25,26,"
       "27,28,21,22,23,24,26,27,28,30,22,23,24,26,27,28,30,31,23,24,25,27,28,30,31,33"},
      {"odd-size.m1v", 200, 120, "-g 9 -bf 1 -q:v 6"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string src = "-f lavfi -i testsrc2=size=" + std::to_string(c.w) + "x" +
                            std::to_string(c.h) + ":rate=25";
    const std::string m1v = MakeInput(c.name, src, "-t 1.2 -c:v mpeg1video -f mpeg1video " + c.args);
    ASSERT_FALSE(m1v.empty());
    const std::string yuv = m1v + ".yuv";
    int st = 0;
    Shell("ffmpeg -nostdin -v error -y -i '" + m1v + "' -fps_mode passthrough -f rawvideo -pix_fmt yuv420p '" + yuv + "'", &st);
    ASSERT_EQ(st, 0);
    const std::vector<uint8_t> raw = ReadAll(yuv);
    for (bool fast : {false, true}) {
      SCOPED_TRACE(fast ? "fast transform" : "reference transform");
      int damaged = -1;
      const auto pics = DecodeFile(m1v, fast, &damaged);
      EXPECT_EQ(damaged, 0);
      int frames = 0;
      const Diff d = Compare(pics, raw, c.w, c.h, &frames);
      // Every picture comes out, the last anchor included.
      EXPECT_EQ(static_cast<int>(pics.size()), frames);
      ASSERT_FALSE(pics.empty());
      EXPECT_EQ(pics[0].width, c.w);
      EXPECT_EQ(pics[0].height, c.h);
      // Two conforming inverse transforms may differ by one unit per sample;
      // along a chain of predictions that difference can add up in a rare
      // sample, so predicted pictures get a small allowance.
      // The 16-bit transform rounds more coarsely and drifts further.
      EXPECT_LE(d.maxAbsIntra, 1);
      EXPECT_LE(d.maxAbs, fast ? 6 : 3);
      EXPECT_LT(d.shareOverOne, fast ? 0.005 : 0.001);
    }
  }
}

// A level of -128 has only the 16-bit escape form (10000000 10000000); the
// decoder once refused it and dropped the slice. A one-macroblock intra
// picture written by our own writers, with that level in its first block.
TEST(VideoDecoder, LevelMinus128InItsLongEscapeFormDecodes) {
  using namespace vidlathe;
  CodedStreamBuffer bits;
  SequenceParameters seq;
  seq.horizontal_size = seq.vertical_size = 16;
  seq.aspect_ratio_code = 1;
  seq.frame_rate_code = 3;
  seq.frame_rate = 25;
  PutSequenceHeader(&bits, seq, kDefaultIntraMatrix, kFlatMatrix);
  PutGopHeader(&bits, seq, 0, 1);
  PutPictureHeader(&bits, PictureHeader{});
  PutSliceHeader(&bits, 0, 2);
  MacroblockWriter w(&bits);
  w.PutAddressIncrement(1);
  w.PutMacroblockType(1, MB_INTRA);
  int16_t levels[6][64] = {};
  levels[0][kZigzag[1]] = -128;
  for (int b = 0; b < 6; ++b) w.PutIntraBlock(levels[b], b < 4 ? 0 : b - 3);
  PutSequenceEnd(&bits);
  bits.MarkStillPicture(0, 0, 2);
  std::vector<uint8_t> es, chunk(CodedStreamBuffer::kChunk);
  uint32_t first, second;
  for (size_t n; (n = bits.ReadChunk(chunk.data(), &first, &second)) > 0;) es.insert(es.end(), chunk.begin(), chunk.begin() + n);

  size_t at = 0;
  VideoDecoder dec([&](uint8_t* d, size_t cap) {
    const size_t k = std::min(cap, es.size() - at);
    std::memcpy(d, es.data() + at, k);
    at += k;
    return k;
  }, false);
  std::vector<DecodedPicture> pictures;
  dec.Run([&](DecodedPicture& p) {
    pictures.push_back(std::move(p));
    return true;
  });
  EXPECT_EQ(dec.damaged(), 0);
  ASSERT_EQ(pictures.size(), 1u);
  // DC 1024 (grey) and -256 dequantised to the odd -255 at position 1.
  int16_t block[64] = {1024, -255};
  IntegerIdct().Transform(block);
  for (int r = 0; r < 8; ++r)
    for (int c = 0; c < 8; ++c)
      EXPECT_EQ(pictures[0].y[static_cast<size_t>(r) * 16 + c], std::clamp<int>(block[r * 8 + c], 0, 255)) << r << "," << c;
}

// Blocks of extreme coefficients (a hostile stream, or mismatch control at
// the ends of the range, can make them) go through the decoder's integer
// path and the encoder's reconstruction alike: the two once disagreed, one
// wrapping a row result to 16 bits, the other saturating it.
TEST(DecoderIdct, ExtremeBlocksDecodeAsTheEncoderReconstructsThem) {
  struct Row {
    const char* name;
    std::function<int(int r, int c)> coefficient;
    bool oneRow;  // only row 0 is not zero: the result can be checked exactly
  };
  const Row rows[] = {
      {"extreme first row", [](int r, int c) { return r ? 0 : (c % 2 ? 2047 : -2048); }, true},
      {"first row at the upper limit", [](int r, int) { return r ? 0 : 2047; }, true},
      {"first row with DC 1024", [](int r, int c) { return r ? 0 : c == 0 ? 1024 : (c % 2 ? 2047 : -2048); }, true},
      {"extreme first column", [](int r, int c) { return c ? 0 : (r % 2 ? -2048 : 2047); }, false},
      {"every coefficient at a limit", [](int r, int c) { return (r + c) % 2 ? 2047 : -2048; }, false},
      {"DC alone", [](int r, int c) { return r == 0 && c == 0 ? 2047 : 0; }, true},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    int16_t block[64];
    for (int i = 0; i < 64; ++i) block[i] = static_cast<int16_t>(row.coefficient(i / 8, i % 8));
    int16_t decoded[64], reconstructed[64];
    std::memcpy(decoded, block, sizeof block);
    std::memcpy(reconstructed, block, sizeof block);
    vidlathe::DecoderInverseTransform(decoded, false);
    vidlathe::IntegerIdct().Transform(reconstructed);
    EXPECT_EQ(0, std::memcmp(decoded, reconstructed, sizeof decoded));
    if (!row.oneRow) continue;
    // The exact transform, clipped as the integer one clips.
    for (int y = 0; y < 8; ++y)
      for (int x = 0; x < 8; ++x) {
        double s = 0;
        for (int u = 0; u < 8; ++u)
          s += (u ? 1 : std::sqrt(0.5)) * std::sqrt(0.5) / 4 * block[u] * std::cos((2 * x + 1) * u * M_PI / 16);
        const double exact = std::clamp(s, -256.0, 255.0);
        EXPECT_LE(std::abs(decoded[y * 8 + x] - exact), 1.0) << y << "," << x;
      }
  }
}

TEST(VideoDecoder, DamagedStreamsNeverReadOutsideTheirData) {
  // Bytes changed at random and cuts anywhere, on the committed seeds (an
  // elementary stream with I, P and B pictures, and a system stream with
  // loaded matrices): the decoder, the probe and the copy must neither crash
  // nor hand out pictures of the wrong size.
  const std::string dir = std::string(VEXA_TEST_SOURCE_DIR) + "/fuzz/corpus/";
  std::srand(5);
  for (const char* seed : {"seed-ipb.m1v", "seed-system.mpg"}) {
    const std::vector<uint8_t> original = ReadAll(dir + seed);
    ASSERT_FALSE(original.empty()) << seed;
    for (int n = 0; n < 60; ++n) {
      std::vector<uint8_t> d = original;
      for (int k = 0; k < 1 + n % 8; ++k) d[std::rand() % d.size()] ^= static_cast<uint8_t>(1 + std::rand() % 255);
      if (n % 3 == 0) d.resize(std::rand() % d.size());
      const std::string path = ScratchPath("damaged.bin");
      WriteAll(path, d);
      size_t at = 0;
      VideoDecoder dec([&](uint8_t* dst, size_t cap) {
        const size_t k = std::min(cap, d.size() - at);
        std::memcpy(dst, d.data() + at, k);
        at += k;
        return k;
      }, n % 2 == 0);
      dec.Run([](DecodedPicture& p) {
        EXPECT_EQ(p.y.size(), static_cast<size_t>(p.width) * p.height);
        EXPECT_EQ(p.u.size(), static_cast<size_t>((p.width + 1) / 2) * ((p.height + 1) / 2));
        return true;
      });
      StreamProperties props;
      Get_Mpeg_Stream_Prop(path.c_str(), &props);
      std::FILE* out = std::fopen("/dev/null", "wb");
      ASSERT_NE(out, nullptr);
      vidlathe::CarriedClocks clocks;
      vidlathe::CopyUnchanged(path, out, &clocks, {});
      std::fclose(out);
    }
  }
}

}  // namespace
