// The motion kernels: every fast version against the reference on random
// and extreme input, kernel by kernel; and known values of the integer
// inverse transform and of the prediction add. The seed is printed so a
// failure can be replayed with VIDLATHE_TEST_SEED.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <random>
#include <vector>

#include "encoder/common/Idct.h"
#include "encoder/common/MotionKernels.h"

namespace vidlathe {
namespace {

unsigned Seed() {
  static const unsigned seed = [] {
    const char* env = std::getenv("VIDLATHE_TEST_SEED");
    const unsigned s = env ? static_cast<unsigned>(std::strtoul(env, nullptr, 0)) : std::random_device{}();
    std::printf("motion kernel check seed: %u (replay with VIDLATHE_TEST_SEED)\n", s);
    return s;
  }();
  return seed;
}

class MotionKernelCheck : public ::testing::Test {
 protected:
  void SetUp() override {
    InitMotionKernels(&ref_, 0);
    InitMotionKernels(&fast_, kCpuAll);
    rng_.seed(Seed());
  }
  int Rand(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng_); }
  // A plane whose samples are random, or only 0 and 255 (every difference
  // above 127, as at a scene cut), or nearly flat.
  std::vector<uint8_t> Plane(size_t n, int kind) {
    std::vector<uint8_t> p(n);
    for (auto& v : p)
      v = static_cast<uint8_t>(kind == 0 ? Rand(0, 255) : kind == 1 ? Rand(0, 1) * 255 : 120 + Rand(0, 3));
    return p;
  }
  MotionKernels ref_{}, fast_{};
  std::mt19937 rng_;
};

TEST_F(MotionKernelCheck, BlockSumsMatchReference) {
  for (int round = 0; round < 3000; ++round) {
    const int stride = 16 + 16 * Rand(1, 3) + Rand(0, 7);
    const int h = 16;
    // One row and one column beyond the block for the half-pel samples.
    const auto ref = Plane(static_cast<size_t>(stride) * (h + 1) + 17, round % 3);
    const auto past = Plane(ref.size(), (round + 1) % 3);
    const auto cur = Plane(ref.size(), (round + 2) % 3);
    const int hx = Rand(0, 1), hy = Rand(0, 1), hxb = Rand(0, 1), hyb = Rand(0, 1);
    const int limit = round % 4 == 0 ? 65536 : Rand(0, 40000);
    ASSERT_EQ(ref_.sad(ref.data(), cur.data(), stride, hx, hy, h, limit),
              fast_.sad(ref.data(), cur.data(), stride, hx, hy, h, limit))
        << "sad round " << round << " hx " << hx << " hy " << hy << " limit " << limit;
    ASSERT_EQ(ref_.ssd(ref.data(), cur.data(), stride, hx, hy, h),
              fast_.ssd(ref.data(), cur.data(), stride, hx, hy, h))
        << "ssd round " << round;
    ASSERT_EQ(ref_.bidir_ssd(past.data(), ref.data(), cur.data(), stride, hx, hy, hxb, hyb, h),
              fast_.bidir_ssd(past.data(), ref.data(), cur.data(), stride, hx, hy, hxb, hyb, h))
        << "bidir round " << round;
    ASSERT_EQ(ref_.variance16(cur.data(), stride), fast_.variance16(cur.data(), stride)) << round;
    ASSERT_EQ(ref_.sad_row16(ref.data(), cur.data()), fast_.sad_row16(ref.data(), cur.data())) << round;
  }
}

// The wide transform against the transform kernels' reference.
TEST_F(MotionKernelCheck, ForwardTransformMatchesReference) {
  Kernels transform{};
  InitKernels(&transform, 0);
  for (int round = 0; round < 4000; ++round) {
    int16_t a[64], b[64];
    const int kind = round % 4;
    for (int i = 0; i < 64; ++i)
      a[i] = static_cast<int16_t>(kind == 0 ? Rand(-255, 255) : kind == 1 ? Rand(0, 1) * 510 - 255 : Rand(-3, 3));
    if (kind == 3)  // some rows of zeros, the rest small
      for (int y = 0; y < 8; ++y)
        if (Rand(0, 1)) std::memset(a + 8 * y, 0, 16);
    std::memcpy(b, a, sizeof a);
    transform.fdct(a);
    fast_.fdct(b);
    ASSERT_EQ(0, std::memcmp(a, b, sizeof a)) << "round " << round;
  }
}

TEST_F(MotionKernelCheck, NonIntraQuantiserMatchesReference) {
  Kernels transform{};
  InitKernels(&transform, 0);
  for (int round = 0; round < 3000; ++round) {
    int16_t in[64], r1[64], r2[64];
    const int range = round % 3 == 0 ? 2047 : round % 3 == 1 ? 40 : 32767;
    for (int i = 0; i < 64; ++i) in[i] = static_cast<int16_t>(Rand(-range, range));
    if (round % 7 == 0) in[Rand(0, 63)] = -32768;
    uint8_t matrix[64];
    for (auto& m : matrix) m = static_cast<uint8_t>(round % 2 ? 16 : Rand(1, 255));
    const int mquant = 2 * Rand(1, 31);
    const int c1 = transform.quant_nonintra(in, r1, matrix, mquant);
    const int c2 = fast_.quant_nonintra(in, r2, matrix, mquant);
    ASSERT_EQ(c1, c2) << round;
    ASSERT_EQ(0, std::memcmp(r1, r2, sizeof r1)) << "round " << round;
  }
}

TEST_F(MotionKernelCheck, PredictionDifferenceAndAddMatchReference) {
  for (int round = 0; round < 3000; ++round) {
    const int w = round % 2 ? 16 : 8;
    const int stride = 24 + Rand(0, 40);
    const auto ref = Plane(static_cast<size_t>(stride) * (w + 1) + w + 1, round % 3);
    const auto start = Plane(static_cast<size_t>(stride) * w, (round + 1) % 3);
    const int hx = Rand(0, 1), hy = Rand(0, 1), average = Rand(0, 1);
    auto d1 = start, d2 = start;
    ref_.predict(ref.data(), stride, d1.data(), stride, w, w, hx, hy, average);
    fast_.predict(ref.data(), stride, d2.data(), stride, w, w, hx, hy, average);
    ASSERT_EQ(d1, d2) << "predict round " << round << " w " << w;

    int16_t e1[64], e2[64];
    ref_.diff8x8(start.data(), stride, ref.data(), stride, e1);
    fast_.diff8x8(start.data(), stride, ref.data(), stride, e2);
    ASSERT_EQ(0, std::memcmp(e1, e2, sizeof e1)) << "diff round " << round;

    // Differences from the transform (-256..255) and anything else a
    // 16-bit value can hold.
    int16_t diff[64];
    for (auto& v : diff) v = static_cast<int16_t>(round % 3 ? Rand(-256, 255) : Rand(-32768, 32767));
    auto a1 = start, a2 = start;
    ref_.add_prediction(ref.data(), a1.data(), stride, diff);
    fast_.add_prediction(ref.data(), a2.data(), stride, diff);
    ASSERT_EQ(a1, a2) << "add round " << round;
  }
}

// The integer inverse transform with its columns side by side against the
// plain one, on dense blocks, on sparse ones (the plain one's shortcuts) and
// on the extremes of the coefficient range.
TEST_F(MotionKernelCheck, IntegerIdctMatchesReference) {
  const IntegerIdct plain(0), fast(kCpuAll);
  for (int round = 0; round < 20000; ++round) {
    int16_t a[64] = {}, b[64];
    const int kind = round % 4;
    if (kind == 0) {
      for (auto& v : a) v = static_cast<int16_t>(Rand(-2048, 2047));
    } else if (kind == 1) {
      for (int n = Rand(1, 4); n > 0; --n) a[Rand(0, 63)] = static_cast<int16_t>(Rand(-300, 300));
    } else if (kind == 2) {
      a[0] = static_cast<int16_t>(Rand(-2048, 2047));
      for (int r = 0; r < 8; ++r) a[8 * r] = static_cast<int16_t>(Rand(-2048, 2047));
    } else {
      for (auto& v : a) v = static_cast<int16_t>(Rand(0, 1) ? 2047 : -2048);
    }
    std::memcpy(b, a, sizeof a);
    plain.Transform(a);
    fast.Transform(b);
    ASSERT_EQ(0, std::memcmp(a, b, sizeof a)) << "round " << round;
  }
}

TEST(MotionKernelValues, EarlyStopAndInterpolation) {
  MotionKernels k{};
  InitMotionKernels(&k, 0);
  std::vector<uint8_t> ref(32 * 17 + 17, 10), cur(32 * 17, 0);
  // Every row costs 160: the sum stops after the row that reaches the limit.
  EXPECT_EQ(160 * 16, k.sad(ref.data(), cur.data(), 32, 0, 0, 16, 65536));
  EXPECT_EQ(320, k.sad(ref.data(), cur.data(), 32, 0, 0, 16, 300));
  EXPECT_EQ(160 * 16, k.sad(ref.data(), cur.data(), 32, 1, 1, 16, 300));  // no early stop
  // Rounding up of the averages: 10 and 11 give 11, four of 10,10,11,11 give 11.
  for (int x = 1; x < 32 * 17 + 17; x += 2) ref[x] = 11;
  uint8_t pred[16 * 16];
  k.predict(ref.data(), 32, pred, 16, 16, 16, 1, 0, 0);
  EXPECT_EQ(11, pred[0]);
  k.predict(ref.data(), 32, pred, 16, 16, 16, 1, 1, 0);
  EXPECT_EQ(11, pred[0]);
  std::vector<uint8_t> flat(32 * 16, 77);
  EXPECT_EQ(0, k.variance16(flat.data(), 32));
}

TEST(IntegerIdctValues, DcBlocksAndClipping) {
  IntegerIdct idct;
  struct Case {
    int dc, expected;
  };
  for (const Case& c : {Case{0, 0}, Case{8, 1}, Case{100, 13}, Case{-100, -12}, Case{2047, 255},
                        Case{-2048, -256}, Case{1, 0}, Case{-1, 0}}) {
    int16_t block[64] = {};
    block[0] = static_cast<int16_t>(c.dc);
    idct.Transform(block);
    for (int i = 0; i < 64; ++i) ASSERT_EQ(c.expected, block[i]) << "DC " << c.dc << " entry " << i;
  }
}

// The fixed-point transform stays within one unit of the exact inverse DCT
// for coefficients of the size quantised blocks have.
TEST(IntegerIdctValues, CloseToExactTransform) {
  std::mt19937 rng(Seed());
  IntegerIdct idct;
  int worst = 0;
  for (int round = 0; round < 2000; ++round) {
    int16_t block[64] = {};
    double coef[64] = {};
    const int nonzero = 1 + static_cast<int>(rng() % 10);
    for (int n = 0; n < nonzero; ++n) {
      const int i = static_cast<int>(rng() % 64);
      block[i] = static_cast<int16_t>(static_cast<int>(rng() % 401) - 200);
      coef[i] = block[i];
    }
    idct.Transform(block);
    for (int y = 0; y < 8; ++y)
      for (int x = 0; x < 8; ++x) {
        double s = 0;
        for (int v = 0; v < 8; ++v)
          for (int u = 0; u < 8; ++u)
            s += (u ? 1 : std::sqrt(0.5)) * (v ? 1 : std::sqrt(0.5)) / 4 * coef[v * 8 + u] *
                 std::cos((2 * x + 1) * u * M_PI / 16) * std::cos((2 * y + 1) * v * M_PI / 16);
        const double clipped = std::min(255.0, std::max(-256.0, s));
        worst = std::max(worst, static_cast<int>(std::ceil(std::abs(block[y * 8 + x] - clipped) - 1e-9)));
      }
  }
  EXPECT_LE(worst, 1);
}

TEST(AddPredictionValues, ClampsToBytes) {
  MotionKernels ref{}, fast{};
  InitMotionKernels(&ref, 0);
  InitMotionKernels(&fast, kCpuAll);
  struct Case {
    int pred, diff, expected;
  };
  for (const Case& c : {Case{250, 10, 255}, Case{5, -10, 0}, Case{128, -256, 0}, Case{100, 27, 127}}) {
    for (const MotionKernels* k : {&ref, &fast}) {
      uint8_t pred[8 * 8], dst[8 * 8];
      int16_t diff[64];
      std::memset(pred, c.pred, sizeof pred);
      for (auto& d : diff) d = static_cast<int16_t>(c.diff);
      k->add_prediction(pred, dst, 8, diff);
      for (uint8_t v : dst) ASSERT_EQ(c.expected, v) << c.pred << " + " << c.diff;
    }
  }
}

}  // namespace
}  // namespace vidlathe
