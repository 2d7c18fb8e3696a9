#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "platform/imaging/Codec.h"
#include "platform/imaging/Resample.h"
#include "platform/imaging/tests/TestSupport.h"

namespace vexa::imaging {
namespace {

using testing::kConvert;
using testing::Quote;

TEST(ResampleTest, TapsAreNormalisedAndInBounds) {
  const int sizes[][2] = {{1, 1}, {1, 7}, {2, 9}, {5, 5}, {640, 160}, {6000, 160}, {80, 128}, {333, 97}, {7, 1}};
  for (auto [from, to] : sizes) {
    FilterTaps t = ComputeLanczosTaps(from, to);
    ASSERT_EQ(t.start.size(), static_cast<std::size_t>(to));
    ASSERT_LE(t.maxTaps, from);
    for (int i = 0; i < to; ++i) {
      ASSERT_GE(t.start[i], 0);
      ASSERT_LE(t.start[i] + t.maxTaps, from);
      int sum = 0;
      for (int k = 0; k < t.maxTaps; ++k) sum += t.weights[static_cast<std::size_t>(i) * t.maxTaps + k];
      ASSERT_EQ(sum, 1 << kFilterBits) << from << "->" << to << " at " << i;
    }
  }
}

// Each level of kernels (SSE2, AVX2) against the plain reference, exact
// equality. A level the processor (or VEXA_CPU_MASK) does not offer skips.
class ResampleKernelTest : public ::testing::TestWithParam<unsigned> {
 protected:
  void SetUp() override {
    if ((base::CpuMask() & GetParam()) == 0) {
      GTEST_SKIP() << "the processor or " << base::kCpuMaskVariable << " offers no " << base::CpuFlagNames(GetParam());
    }
    InitResampleKernels(0, &ref_);
    InitResampleKernels(GetParam(), &fast_);
    if (fast_.horizontal == ref_.horizontal && fast_.vertical == ref_.vertical) {
      GTEST_SKIP() << "no " << base::CpuFlagNames(GetParam()) << " kernels in this build";
    }
  }

  // One row through both horizontal kernels. The row is a buffer of its
  // own, ending exactly where the row does (a read past it is a fault the
  // address sanitizer reports), or followed by noise (bytes past the taps
  // must count for nothing).
  void CompareRow(const std::vector<std::uint8_t>& row, int srcW, int dstW, int channels, bool noiseAfter,
                  std::mt19937& rng) {
    SCOPED_TRACE(::testing::Message() << srcW << " -> " << dstW << ", " << channels << " channels"
                                      << (noiseAfter ? ", noise after the row" : ""));
    const FilterTaps taps = ComputeLanczosTaps(srcW, dstW);
    // One byte before the row, so it starts unaligned.
    std::vector<std::uint8_t> buffer(1 + row.size() + (noiseAfter ? 64 : 0));
    std::memcpy(buffer.data() + 1, row.data(), row.size());
    for (std::size_t i = 1 + row.size(); i < buffer.size(); ++i) buffer[i] = static_cast<std::uint8_t>(rng());
    std::vector<std::uint8_t> a(static_cast<std::size_t>(dstW) * channels), b(a.size());
    ref_.horizontal(buffer.data() + 1, a.data(), dstW, channels, taps);
    fast_.horizontal(buffer.data() + 1, b.data(), dstW, channels, taps);
    for (std::size_t i = 0; i < a.size(); ++i) {
      ASSERT_EQ(a[i], b[i]) << "output pixel " << i / channels << " channel " << i % channels;
    }
  }

  // Every output row of `rows` source rows resized to `outRows`, over
  // `bytes` bytes, through both vertical kernels. Each source row is its
  // own buffer, `bytes` long after an offset of 3 (unaligned).
  void CompareColumns(int rows, int outRows, int bytes, bool extreme, std::mt19937& rng) {
    SCOPED_TRACE(::testing::Message() << "vertical " << rows << " -> " << outRows << " rows, " << bytes << " bytes");
    std::vector<std::vector<std::uint8_t>> storage(static_cast<std::size_t>(rows));
    std::vector<const std::uint8_t*> ptrs;
    for (auto& r : storage) {
      r.resize(static_cast<std::size_t>(bytes) + 3);
      for (auto& v : r) v = extreme ? (rng() % 2 ? 255 : 0) : static_cast<std::uint8_t>(rng());
      ptrs.push_back(r.data() + 3);
    }
    const FilterTaps vt = ComputeLanczosTaps(rows, outRows);
    for (std::size_t y = 0; y < vt.start.size(); ++y) {
      std::vector<std::uint8_t> va(static_cast<std::size_t>(bytes)), vb(va.size());
      const std::int16_t* w = vt.weights.data() + y * vt.maxTaps;
      ref_.vertical(ptrs.data() + vt.start[y], w, vt.maxTaps, va.data(), bytes);
      fast_.vertical(ptrs.data() + vt.start[y], w, vt.maxTaps, vb.data(), bytes);
      ASSERT_EQ(va, vb) << "output row " << y;
    }
  }

  ResampleKernels ref_, fast_;
};

std::vector<std::uint8_t> RandomBytes(std::size_t n, bool extreme, std::mt19937& rng) {
  std::vector<std::uint8_t> v(n);
  for (auto& b : v) b = extreme ? (rng() % 2 ? 255 : 0) : static_cast<std::uint8_t>(rng());
  return v;
}

// Reductions (the camera photo's 3.19 times among them) and enlargements,
// sides of one to a few pixels, odd widths; the last output pixel always
// reads the row's last source pixel.
TEST_P(ResampleKernelTest, HorizontalTableEqualsTheReference) {
  const int sizes[][2] = {{3264, 1024}, {1000, 313}, {640, 160}, {101, 25}, {97, 31}, {13, 4},  {9, 2},
                          {301, 1},     {4, 1},      {1, 1},     {1, 7},    {2, 9},   {3, 5},  {4, 4},
                          {5, 16},      {6, 6},      {7, 3},     {17, 17},  {33, 100}, {100, 333}, {255, 256}};
  std::mt19937 rng(1234);
  for (auto [srcW, dstW] : sizes) {
    for (int channels : {3, 4}) {
      for (bool extreme : {false, true}) {
        const auto row = RandomBytes(static_cast<std::size_t>(srcW) * channels, extreme, rng);
        for (bool noiseAfter : {false, true}) {
          CompareRow(row, srcW, dstW, channels, noiseAfter, rng);
          if (HasFatalFailure()) return;
        }
      }
    }
  }
}

TEST_P(ResampleKernelTest, VerticalTableEqualsTheReference) {
  // Byte counts around the 8, 16 and 32-byte steps; a camera row (1024 x 3).
  const int byteCounts[] = {1, 3, 7, 8, 9, 15, 16, 17, 31, 32, 33, 47, 63, 64, 65, 100, 3072, 3077};
  const int rowCounts[][2] = {{1, 1}, {1, 4}, {2, 5}, {7, 3}, {20, 7}, {40, 13}, {13, 40}, {61, 19}};
  std::mt19937 rng(4321);
  for (int bytes : byteCounts) {
    for (auto [rows, outRows] : rowCounts) {
      for (bool extreme : {false, true}) {
        CompareColumns(rows, outRows, bytes, extreme, rng);
        if (HasFatalFailure()) return;
      }
    }
  }
}

// Random sizes and bytes besides the table; the seed is printed for replay.
TEST_P(ResampleKernelTest, RandomRowsEqualTheReference) {
  const unsigned seed = std::random_device{}();
  std::printf("resample checker seed %u\n", seed);
  std::mt19937 rng(seed);
  for (int round = 0; round < 60; ++round) {
    SCOPED_TRACE(::testing::Message() << "seed " << seed << " round " << round);
    const int srcW = 1 + static_cast<int>(rng() % 300), dstW = 1 + static_cast<int>(rng() % 300);
    const int channels = rng() % 2 ? 3 : 4;
    const bool extreme = round % 3 == 0;
    CompareRow(RandomBytes(static_cast<std::size_t>(srcW) * channels, extreme, rng), srcW, dstW, channels,
               round % 2 == 0, rng);
    if (HasFatalFailure()) return;
    const int rows = 1 + static_cast<int>(rng() % 40), bytes = 1 + static_cast<int>(rng() % 200);
    CompareColumns(rows, 1 + static_cast<int>(rng() % 60), bytes, extreme, rng);
    if (HasFatalFailure()) return;
  }
}

// The whole resize (block averaging, both passes) gives the same bytes with
// this level as with the reference: a reduction like the camera photo's
// (3.19 times, no block averaging), one past four times (block averaging
// first), enlargements, and random sizes.
TEST_P(ResampleKernelTest, WholeResizeEqualsTheReference) {
  const unsigned seed = std::random_device{}();
  std::printf("resize level seed %u\n", seed);
  std::mt19937 rng(seed);
  struct Case {
    int sw, sh, dw, dh, bpp;
  };
  std::vector<Case> cases = {{1632, 1224, 512, 384, 24}, {1632, 1224, 512, 384, 32}, {1203, 797, 97, 61, 24},
                             {33, 21, 350, 211, 24},     {7, 5, 64, 3, 32},          {333, 199, 97, 211, 32}};
  for (int round = 0; round < 6; ++round) {
    cases.push_back({50 + static_cast<int>(rng() % 900), 50 + static_cast<int>(rng() % 600),
                     1 + static_cast<int>(rng() % 400), 1 + static_cast<int>(rng() % 400), round % 2 ? 24 : 32});
  }
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << "seed " << seed << ": " << c.sw << "x" << c.sh << " -> " << c.dw << "x"
                                      << c.dh << " at " << c.bpp << " bits");
    Bitmap src;
    ASSERT_TRUE(src.Create(c.sw, c.sh, c.bpp).ok());
    for (std::size_t i = 0; i < src.size(); ++i) src.data()[i] = static_cast<std::uint8_t>(rng());
    Bitmap ref, fast;
    ASSERT_TRUE(Resize(src, c.dw, c.dh, &ref, {.threads = 1, .cpuMask = 0}).ok());
    ASSERT_TRUE(Resize(src, c.dw, c.dh, &fast, {.threads = 1, .cpuMask = static_cast<int>(GetParam())}).ok());
    ASSERT_EQ(ref.size(), fast.size());
    ASSERT_EQ(std::memcmp(ref.data(), fast.data(), ref.size()), 0);
  }
}

INSTANTIATE_TEST_SUITE_P(Levels, ResampleKernelTest, ::testing::Values(base::kCpuSse2, base::kCpuAvx2),
                         [](const ::testing::TestParamInfo<unsigned>& info) { return base::CpuFlagNames(info.param); });

TEST(ResampleTest, FlatColourStaysFlat) {
  for (int bpp : {24, 32}) {
    Bitmap b;
    ASSERT_TRUE(b.Create(37, 23, bpp).ok());
    for (int y = 0; y < b.height(); ++y) {
      for (int x = 0; x < b.width(); ++x) std::memcpy(b.row(y) + x * (bpp / 8), "\x11\x80\xEE\xFF", bpp / 8);
    }
    for (auto [w, h] : {std::pair{5, 3}, {37, 23}, {100, 71}, {1, 1}}) {
      Bitmap out;
      ASSERT_TRUE(Resize(b, w, h, &out).ok());
      ASSERT_EQ(out.bitsPerPixel(), bpp);
      for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
          ASSERT_EQ(std::memcmp(out.row(y) + x * (bpp / 8), "\x11\x80\xEE\xFF", bpp / 8), 0) << w << "x" << h;
        }
      }
    }
  }
}

TEST(ResampleTest, MatchesImageMagickLanczos) {
  VEXA_REQUIRE_TOOL(kConvert);
  testing::TempDir tmp;
  struct Row {
    int sw, sh, dw, dh;
  };
  const Row rows[] = {{640, 480, 160, 120}, {1600, 1200, 352, 264}, {100, 80, 160, 128}, {333, 199, 97, 211}};
  for (const Row& r : rows) {
    SCOPED_TRACE(::testing::Message() << r.sw << "x" << r.sh << " -> " << r.dw << "x" << r.dh);
    Bitmap src = testing::MakeTestPicture(r.sw, r.sh);
    std::string in = tmp.Path("in.ppm"), ours = tmp.Path("ours.ppm"), ref = tmp.Path("ref.ppm");
    ASSERT_TRUE(testing::WritePpm(src, in));
    Bitmap out;
    ASSERT_TRUE(Resize(src, r.dw, r.dh, &out).ok());
    ASSERT_EQ(out.width(), r.dw);
    ASSERT_EQ(out.height(), r.dh);
    ASSERT_TRUE(testing::WritePpm(out, ours));
    ASSERT_EQ(testing::RunCommand(std::string(kConvert) + " " + Quote(in) + " -filter Lanczos -resize " +
                                  std::to_string(r.dw) + "x" + std::to_string(r.dh) + "! " + Quote(ref)),
              0);
    double rmse = testing::RmseOf(ours, ref);
    EXPECT_GE(rmse, 0);
    EXPECT_LE(rmse, 0.005);
  }
}

TEST(ResampleTest, EightBitAndBadSizes) {
  Bitmap pal = testing::MakeTestPicture(16, 16, 8);
  Bitmap out;
  ASSERT_TRUE(Resize(pal, 8, 8, &out).ok());
  EXPECT_EQ(out.bitsPerPixel(), 24);
  EXPECT_EQ(Resize(pal, 0, 8, &out).code(), ErrorCode::kInvalidParameter);
  EXPECT_EQ(Resize(Bitmap(), 8, 8, &out).code(), ErrorCode::kEmptyBitmap);
}

}  // namespace
}  // namespace vexa::imaging
