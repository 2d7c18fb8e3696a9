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

// Every kernel the processor allows against the reference, on random and
// extreme bytes, odd sizes and unaligned rows. Exact equality.
TEST(ResampleTest, FastKernelsEqualTheReference) {
  const unsigned seed = std::random_device{}();
  std::printf("resample checker seed %u\n", seed);
  std::mt19937 rng(seed);
  ResampleKernels ref, fast;
  InitResampleKernels(0, &ref);
  InitResampleKernels(base::CpuMask(), &fast);
  if (fast.horizontal == ref.horizontal && fast.vertical == ref.vertical) {
    GTEST_SKIP() << "no faster kernels on this processor";
  }
  for (int round = 0; round < 60; ++round) {
    SCOPED_TRACE(::testing::Message() << "seed " << seed << " round " << round);
    int srcW = 1 + static_cast<int>(rng() % 300), dstW = 1 + static_cast<int>(rng() % 300);
    int channels = rng() % 2 ? 3 : 4;
    bool extreme = round % 3 == 0;
    FilterTaps taps = ComputeLanczosTaps(srcW, dstW);
    std::vector<std::uint8_t> src(static_cast<std::size_t>(srcW) * channels + 1);
    for (auto& b : src) b = extreme ? (rng() % 2 ? 255 : 0) : static_cast<std::uint8_t>(rng());
    const std::uint8_t* in = src.data() + 1;  // unaligned
    std::vector<std::uint8_t> a(static_cast<std::size_t>(dstW) * channels), b(a.size());
    ref.horizontal(in, a.data(), dstW, channels, taps);
    fast.horizontal(in, b.data(), dstW, channels, taps);
    ASSERT_EQ(a, b) << srcW << "->" << dstW << " channels " << channels;

    int rows = 1 + static_cast<int>(rng() % 40), bytes = 1 + static_cast<int>(rng() % 200);
    std::vector<std::vector<std::uint8_t>> storage(static_cast<std::size_t>(rows));
    std::vector<const std::uint8_t*> ptrs;
    for (auto& r : storage) {
      r.resize(static_cast<std::size_t>(bytes) + 3);
      for (auto& v : r) v = extreme ? (rng() % 2 ? 255 : 0) : static_cast<std::uint8_t>(rng());
      ptrs.push_back(r.data() + 3);
    }
    FilterTaps vt = ComputeLanczosTaps(rows, 1 + static_cast<int>(rng() % 60));
    for (std::size_t y = 0; y < vt.start.size(); ++y) {
      std::vector<std::uint8_t> va(static_cast<std::size_t>(bytes)), vb(va.size());
      const std::int16_t* w = vt.weights.data() + y * vt.maxTaps;
      ref.vertical(ptrs.data() + vt.start[y], w, vt.maxTaps, va.data(), bytes);
      fast.vertical(ptrs.data() + vt.start[y], w, vt.maxTaps, vb.data(), bytes);
      ASSERT_EQ(va, vb) << "vertical " << rows << " rows, " << bytes << " bytes, output " << y;
    }
  }
}

// The whole resize (block averaging, both passes) is the same bytes with
// the reference kernels and with the fast ones.
TEST(ResampleTest, WholeResizeIsTheSameWithEveryMask) {
  const unsigned seed = std::random_device{}();
  std::printf("resize mask seed %u\n", seed);
  std::mt19937 rng(seed);
  for (int round = 0; round < 6; ++round) {
    int bpp = round % 2 ? 24 : 32;
    Bitmap src;
    ASSERT_TRUE(src.Create(50 + static_cast<int>(rng() % 900), 50 + static_cast<int>(rng() % 600), bpp).ok());
    for (std::size_t i = 0; i < src.size(); ++i) src.data()[i] = static_cast<std::uint8_t>(rng());
    int w = 1 + static_cast<int>(rng() % 400), h = 1 + static_cast<int>(rng() % 400);
    Bitmap ref, fast;
    ASSERT_TRUE(Resize(src, w, h, &ref, {.threads = 1, .cpuMask = 0}).ok());
    ASSERT_TRUE(Resize(src, w, h, &fast, {.threads = 1, .cpuMask = static_cast<int>(base::CpuMask())}).ok());
    ASSERT_EQ(ref.size(), fast.size());
    ASSERT_EQ(std::memcmp(ref.data(), fast.data(), ref.size()), 0)
        << "seed " << seed << ": " << src.width() << "x" << src.height() << " -> " << w << "x" << h;
  }
}

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
