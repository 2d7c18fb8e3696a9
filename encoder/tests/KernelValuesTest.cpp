// Known values of the kernels, on the table of every mask step: the
// transforms and quantisers on flat and DC blocks, the studio-range colours,
// the early stop of the block sum, the rounding of half-pel averages and
// the clamps of reconstruction.
#include <cmath>
#include <cstring>
#include <vector>

#include "encoder/common/Idct.h"
#include "encoder/common/Tables.h"
#include "encoder/tests/KernelTable.h"

namespace vidlathe::testing {
namespace {

using vexa::base::CpuFlagNames;

TEST_F(KernelTable, FlatBlocksAndRounding) {
  for (const MaskTable& t : steps()) {
    SCOPED_TRACE(CpuFlagNames(t.mask));
    const Kernels& k = t.kernels;
    int16_t block[64], levels[64];
    for (auto& v : block) v = 200 - 128;
    k.fdct(block);
    EXPECT_EQ(576, block[0]);
    for (int i = 1; i < 64; ++i) ASSERT_EQ(0, block[i]) << i;
    k.quant_intra(block, levels, kDefaultIntraMatrix, 8);
    EXPECT_EQ(72, levels[0]);
    int16_t dc[64] = {-4};
    k.quant_intra(dc, levels, kDefaultIntraMatrix, 8);
    EXPECT_EQ(-1, levels[0]);
    dc[0] = 3;
    k.quant_intra(dc, levels, kDefaultIntraMatrix, 8);
    EXPECT_EQ(0, levels[0]);
    int16_t big[64] = {0, 30000};
    k.quant_intra(big, levels, kDefaultIntraMatrix, 2);
    EXPECT_EQ(255, levels[1]);
    big[1] = -30000;
    k.quant_intra(big, levels, kDefaultIntraMatrix, 2);
    EXPECT_EQ(-255, levels[1]);
  }
}

TEST_F(KernelTable, StudioRangeColours) {
  for (const MaskTable& t : steps()) {
    SCOPED_TRACE(CpuFlagNames(t.mask));
    const uint8_t px[8] = {255, 255, 255, 0, 0, 0, 0, 0};  // white, black
    uint8_t y[2], u[2], v[2];
    t.kernels.bgrx_to_yuv(px, 2, y, u, v);
    EXPECT_EQ(235, y[0]);
    EXPECT_EQ(16, y[1]);
    EXPECT_EQ(128, u[0]);
    EXPECT_EQ(128, v[0]);
    EXPECT_EQ(128, u[1]);
    EXPECT_EQ(128, v[1]);
  }
}

TEST_F(KernelTable, EarlyStopAndInterpolation) {
  for (const MaskTable& t : steps()) {
    SCOPED_TRACE(CpuFlagNames(t.mask));
    const Kernels& k = t.kernels;
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
}

TEST_F(KernelTable, AddPredictionClampsToBytes) {
  struct Case {
    int pred, diff, expected;
  };
  for (const MaskTable& t : steps()) {
    SCOPED_TRACE(CpuFlagNames(t.mask));
    for (const Case& c : {Case{250, 10, 255}, Case{5, -10, 0}, Case{128, -256, 0}, Case{100, 27, 127}}) {
      uint8_t pred[8 * 8], dst[8 * 8];
      int16_t diff[64];
      std::memset(pred, c.pred, sizeof pred);
      for (auto& d : diff) d = static_cast<int16_t>(c.diff);
      t.kernels.add_prediction(pred, dst, 8, diff);
      for (uint8_t v : dst) ASSERT_EQ(c.expected, v) << c.pred << " + " << c.diff;
    }
  }
}

// DC blocks on both inverse transforms: the integer one clips to
// -256..255, the fast one does not.
TEST_F(KernelTable, InverseTransformsOfDcBlocks) {
  struct Case {
    int dc, integer, fast;
  } const cases[] = {{0, 0, 0},       {8, 1, 1},   {100, 13, 13}, {-100, -12, -12},
                     {2047, 255, 256}, {1, 0, 0}, {-1, 0, 0}};
  for (const MaskTable& t : steps()) {
    SCOPED_TRACE(CpuFlagNames(t.mask));
    const IntegerIdct integer(t.mask);
    for (const Case& c : cases) {
      int16_t a[64] = {}, b[64] = {};
      a[0] = b[0] = static_cast<int16_t>(c.dc);
      integer.Transform(a);
      t.kernels.idct_fast(b);
      for (int i = 0; i < 64; ++i) {
        ASSERT_EQ(c.integer, a[i]) << "DC " << c.dc << " entry " << i;
        ASSERT_EQ(c.fast, b[i]) << "DC " << c.dc << " entry " << i;
      }
    }
    int16_t low[64] = {-2048};
    integer.Transform(low);
    EXPECT_EQ(-256, low[0]);
  }
}

// The fixed-point transform stays within one unit of the exact inverse DCT
// for coefficients of the size quantised blocks have.
TEST_F(KernelTable, IntegerIdctIsCloseToTheExactTransform) {
  Rng rng(KernelSeed());
  int worst = 0;
  for (int round = 0; round < 2000; ++round) {
    int16_t block[64] = {};
    double coef[64] = {};
    for (int n = rng(1, 10); n > 0; --n) {
      const int i = rng(0, 63);
      block[i] = static_cast<int16_t>(rng(-200, 200));
      coef[i] = block[i];
    }
    reference().idct(block);
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

// The two inverse transforms are not the same: individual samples differ,
// as a rule by one unit.
TEST_F(KernelTable, FastTransformStaysNearTheIntegerOne) {
  Rng rng(KernelSeed());
  int differ = 0;
  for (int n = 0; n < 2000; ++n) {
    int16_t a[64] = {}, b[64];
    for (int k = 0; k < 1 + n % 12; ++k) a[rng(0, 63)] = static_cast<int16_t>(rng(-512, 511));
    std::memcpy(b, a, sizeof a);
    reference().idct(a);
    reference().idct_fast(b);
    for (int i = 0; i < 64; ++i) {
      const int fast = std::clamp<int>(b[i], -256, 255);
      ASSERT_LE(std::abs(a[i] - fast), 2) << n << " " << i;
      differ += a[i] != fast;
    }
  }
  EXPECT_GT(differ, 0);
}

}  // namespace
}  // namespace vidlathe::testing
