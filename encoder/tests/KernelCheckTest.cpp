// Every fast kernel against the reference, on random and worst-case input.
// The seed is printed so a failure can be replayed with VIDLATHE_TEST_SEED.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <random>
#include <vector>

#include "encoder/common/Kernels.h"
#include "encoder/common/Tables.h"

namespace vidlathe {
namespace {

unsigned Seed() {
  static const unsigned seed = [] {
    const char* env = std::getenv("VIDLATHE_TEST_SEED");
    const unsigned s = env ? static_cast<unsigned>(std::strtoul(env, nullptr, 0)) : std::random_device{}();
    std::printf("kernel check seed: %u (replay with VIDLATHE_TEST_SEED)\n", s);
    return s;
  }();
  return seed;
}

class KernelCheck : public ::testing::Test {
 protected:
  void SetUp() override {
    InitKernels(&ref_, 0);
    InitKernels(&fast_, kCpuAll);
    rng_.seed(Seed());
  }
  int Rand(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng_); }
  Kernels ref_{}, fast_{};
  std::mt19937 rng_;
};

TEST_F(KernelCheck, ForwardDctMatchesReference) {
  for (int round = 0; round < 4000; ++round) {
    int16_t a[64], b[64];
    // Pixel differences span -255..255; the worst cases are extreme blocks.
    const int kind = round % 4;
    for (int i = 0; i < 64; ++i)
      a[i] = static_cast<int16_t>(kind == 0   ? Rand(-255, 255)
                                  : kind == 1 ? ((i + i / 8) % 2 ? 255 : -255)
                                  : kind == 2 ? Rand(-128, 127)
                                              : Rand(0, 1) * 255 - 128);
    std::memcpy(b, a, sizeof a);
    ref_.fdct(a);
    fast_.fdct(b);
    ASSERT_EQ(0, std::memcmp(a, b, sizeof a)) << "round " << round;
  }
}

TEST_F(KernelCheck, QuantisersMatchReference) {
  for (int round = 0; round < 3000; ++round) {
    int16_t in[64], r1[64], r2[64];
    const int range = round % 3 == 0 ? 2047 : round % 3 == 1 ? 300 : 32767;
    for (int i = 0; i < 64; ++i) in[i] = static_cast<int16_t>(Rand(-range, range));
    const int mquant = 2 * Rand(1, 31);
    const uint8_t* matrix = round % 2 ? kDefaultIntraMatrix : kFlatMatrix;
    uint8_t randomMatrix[64];
    for (auto& m : randomMatrix) m = static_cast<uint8_t>(Rand(1, 255));
    if (round % 5 == 0) matrix = randomMatrix;
    ref_.quant_intra(in, r1, matrix, mquant);
    fast_.quant_intra(in, r2, matrix, mquant);
    ASSERT_EQ(0, std::memcmp(r1, r2, sizeof r1)) << "intra, round " << round;
    const int c1 = ref_.quant_nonintra(in, r1, matrix, mquant);
    const int c2 = fast_.quant_nonintra(in, r2, matrix, mquant);
    ASSERT_EQ(c1, c2);
    ASSERT_EQ(0, std::memcmp(r1, r2, sizeof r1)) << "non-intra, round " << round;
  }
}

TEST_F(KernelCheck, ColourConversionMatchesReference) {
  // Odd lengths and an unaligned start exercise the tail handling.
  for (int n : {1, 7, 8, 9, 31, 352, 705}) {
    std::vector<uint8_t> px(4 * n + 1);
    for (auto& p : px) p = static_cast<uint8_t>(Rand(0, 255));
    px[1] = px[2] = px[3] = 255;  // a white and a black pixel among them
    if (n > 1) px[5] = px[6] = px[7] = 0;
    std::vector<uint8_t> y1(n), u1(n), v1(n), y2(n), u2(n), v2(n);
    ref_.bgrx_to_yuv(px.data() + 1, n, y1.data(), u1.data(), v1.data());
    fast_.bgrx_to_yuv(px.data() + 1, n, y2.data(), u2.data(), v2.data());
    EXPECT_EQ(y1, y2) << n;
    EXPECT_EQ(u1, u2) << n;
    EXPECT_EQ(v1, v2) << n;
  }
}

TEST_F(KernelCheck, DecimationMatchesReference) {
  for (auto [w, h] : {std::pair{704, 480}, {352, 240}, {16, 12}, {2, 2}, {24, 14}}) {
    std::vector<uint8_t> src(static_cast<size_t>(w * h));
    for (auto& p : src) p = static_cast<uint8_t>(Rand(0, 1) ? Rand(0, 255) : Rand(0, 1) * 255);
    std::vector<uint8_t> h1(w / 2 * h), h2(w / 2 * h), v1(w / 2 * (h / 2)), v2(w / 2 * (h / 2));
    ref_.decimate_h(src.data(), h1.data(), w, h);
    fast_.decimate_h(src.data(), h2.data(), w, h);
    EXPECT_EQ(h1, h2) << w << "x" << h;
    ref_.decimate_v(h1.data(), v1.data(), w, h);
    fast_.decimate_v(h1.data(), v2.data(), w, h);
    EXPECT_EQ(v1, v2) << w << "x" << h;
  }
}

// Known values of the transform and the quantisers.
TEST(KernelValues, FlatBlocksAndRounding) {
  Kernels k{};
  InitKernels(&k, 0);
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

TEST(KernelValues, StudioRangeColours) {
  Kernels k{};
  InitKernels(&k, 0);
  const uint8_t px[8] = {255, 255, 255, 0, 0, 0, 0, 0};  // white, black
  uint8_t y[2], u[2], v[2];
  k.bgrx_to_yuv(px, 2, y, u, v);
  EXPECT_EQ(235, y[0]);
  EXPECT_EQ(16, y[1]);
  EXPECT_EQ(128, u[0]);
  EXPECT_EQ(128, v[0]);
  EXPECT_EQ(128, u[1]);
  EXPECT_EQ(128, v[1]);
}

}  // namespace
}  // namespace vidlathe
