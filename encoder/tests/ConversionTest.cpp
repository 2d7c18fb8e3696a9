// Frame-rate conversion and the scaler's position tables.
#include <gtest/gtest.h>

#include "encoder/reader/PictureConversion.h"

namespace {

using namespace vidlathe;

TEST(FrameRateConverter, KeepsTheExactRatioForEveryRatePair) {
  struct Case {
    int source, target;
  } const cases[] = {{25, 30}, {30, 25}, {60, 25}, {60, 24}, {50, 24}, {50, 30},
                     {24, 30}, {30, 24}, {25, 25}, {24, 60}};
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.source) + " -> " + std::to_string(c.target));
    FrameRateConverter frc(c.source, c.target);
    int out = 0, maxRun = 0;
    for (int i = 0; i < 10 * c.source; ++i) {
      const int n = frc.Next();
      out += n;
      maxRun = std::max(maxRun, n);
      // After every source picture the output is within one picture of the ideal.
      const double ideal = static_cast<double>(i + 1) * c.target / c.source;
      ASSERT_LE(std::abs(out - ideal), 1.0) << i;
    }
    EXPECT_EQ(out, 10 * c.target);  // ten seconds in, ten seconds out
    EXPECT_LE(maxRun, (c.target + c.source - 1) / c.source);
  }
}

TEST(FrameRateConverter, RateCodesUseTheirExactRates) {
  struct Case {
    int source, target;
    int64_t in, out;  // pictures in and out over 1001 seconds
  } const cases[] = {{3, 4, 25025, 30000}, {4, 3, 30000, 25025}, {1, 4, 24000, 30000},
                     {3, 1, 25025, 24000}, {7, 3, 60000, 25025}, {4, 4, 30000, 30000}};
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.source) + " -> " + std::to_string(c.target));
    FrameRateConverter frc = FrameRateConverter::FromRateCodes(c.source, c.target);
    int64_t out = 0;
    for (int64_t i = 0; i < c.in; ++i) out += frc.Next();
    EXPECT_EQ(out, c.out);
  }
  FrameRateConverter unknown = FrameRateConverter::FromRateCodes(0, 4);
  EXPECT_EQ(unknown.Next(), 1);
}

TEST(FrameRateConverter, UnknownRatesPassEveryPicture) {
  FrameRateConverter frc(-1, 30);
  for (int i = 0; i < 10; ++i) EXPECT_EQ(frc.Next(), 1);
}

TEST(ScalePositions, RowsOfAPalPictureOnAnNtscOne) {
  const std::vector<int> rows = ScalePositions(288, 240);
  ASSERT_EQ(rows.size(), 240u);
  EXPECT_EQ(rows[0], 0);
  EXPECT_EQ(rows[1] - rows[0], 120);  // (28800 - 100) / 239
  EXPECT_EQ(rows[239], 28680);        // row 286, fraction 80
  // A target larger than the source stays inside it.
  const std::vector<int> up = ScalePositions(240, 288);
  EXPECT_LT(up.back(), 240 * 100);
  EXPECT_TRUE(ScalePositions(10, 1).size() == 1 && ScalePositions(10, 1)[0] == 0);
}

TEST(ScalePlane, FlatAndRampPlanes) {
  Plane flat{352, 288, std::vector<uint8_t>(352 * 288, 77)};
  const Plane a = ScalePlane(flat, 352, 240);
  for (uint8_t s : a.samples) ASSERT_EQ(s, 77);
  // A horizontal ramp stays a non-decreasing ramp with its end points.
  Plane ramp{256, 4, {}};
  for (int r = 0; r < 4; ++r)
    for (int c = 0; c < 256; ++c) ramp.samples.push_back(static_cast<uint8_t>(c));
  const Plane b = ScalePlane(ramp, 100, 3);
  for (int r = 0; r < 3; ++r) {
    EXPECT_EQ(b.samples[r * 100], 0);
    for (int c = 1; c < 100; ++c) ASSERT_LE(b.samples[r * 100 + c - 1], b.samples[r * 100 + c]);
    EXPECT_GE(b.samples[r * 100 + 99], 250);
  }
}

}  // namespace
