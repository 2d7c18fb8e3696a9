#include <cmath>

#include "plugins/discpakb/Conversions.h"
#include "plugins/discpakb/tests/AudioFixtures.h"

namespace vexa::discpakb::testing {
namespace {

TEST(ConversionTest, DownmixWeightsNeverClip) {
  for (int channels = 3; channels <= 12; ++channels) {
    double left = 0, right = 0;
    for (const MixWeights& w : DownmixMatrix(channels)) {
      left += w.left;
      right += w.right;
    }
    EXPECT_LE(left, 1.0 + 1e-9) << channels;
    EXPECT_LE(right, 1.0 + 1e-9) << channels;
    EXPECT_GT(left, 0.5) << channels;
    EXPECT_GT(right, 0.5) << channels;
  }
  // Full scale on every channel stays in range.
  std::vector<std::int16_t> in(6 * 10, -32768), out;
  ToStereo(in.data(), 10, 6, &out);
  ASSERT_EQ(out.size(), 20u);
  for (std::int16_t v : out) EXPECT_GE(v, -32768);
}

TEST(ConversionTest, ResampledLengthFollowsTheRateAcrossBlocks) {
  // Blocks of odd sizes through one converter come out as one stream of the
  // right length: nothing lost at block edges or at the end.
  for (int rate : {8000, 16000, 32000, 48000, 96000}) {
    BlockConverter c(RateMode::kRepeatOrResample);
    std::vector<std::int16_t> out;
    std::size_t total = 0;
    for (std::size_t block : {1u, 577u, 1152u, 3u, 4096u, 1000u}) {
      std::vector<std::int16_t> in(block * 2);
      for (std::size_t i = 0; i < block; ++i) {
        const double t = static_cast<double>(total + i) / rate;
        in[2 * i] = in[2 * i + 1] = static_cast<std::int16_t>(10000 * std::sin(2 * M_PI * 440 * t));
      }
      total += block;
      ASSERT_TRUE(c.Convert(in.data(), block, 2, rate, &out)) << rate;
    }
    c.Finish(&out);
    const double expected = static_cast<double>(total) * 44100.0 / rate;
    EXPECT_NEAR(static_cast<double>(out.size() / 2), expected, 2.0) << rate;
  }
  // 44100 Hz passes unchanged; 0 Hz cannot be converted.
  BlockConverter c(RateMode::kResample);
  std::vector<std::int16_t> in = {1, 2, 3, 4}, out;
  ASSERT_TRUE(c.Convert(in.data(), 2, 2, 44100, &out));
  EXPECT_EQ(out, in);
  EXPECT_FALSE(c.Convert(in.data(), 2, 2, 0, &out));
  EXPECT_EQ(RepetitionFactor(22050, RateMode::kResample), 0);
  EXPECT_EQ(RepetitionFactor(22050, RateMode::kRepeatOrResample), 2);
  EXPECT_EQ(RepetitionFactor(11025, RateMode::kRepeatOrResample), 4);
}

}  // namespace
}  // namespace vexa::discpakb::testing
