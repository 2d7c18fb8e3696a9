// What the decoded pictures go through before they are coded again: a
// frame-rate conversion that repeats or drops pictures, and a bilinear
// scaler to the target size.
#pragma once

#include <cstdint>
#include <vector>

namespace vidlathe {

// Whole frames per second of a picture rate code: 1, 2 -> 24; 3 -> 25;
// 4, 5 -> 30; 6 -> 50; 7, 8 -> 60; -1 for any other code.
int WholeFramesPerSecond(int rateCode);

// Spreads source pictures over the target rate with a rational accumulator:
// after n source pictures, floor(n x target / source) target pictures have
// been given out, so every rate pair keeps its exact ratio.
class FrameRateConverter {
 public:
  // Rates in whole frames per second; a rate of 0 or below, or equal rates,
  // pass every picture once.
  FrameRateConverter(int sourceFps, int targetFps);
  // Rates as picture rate codes, at their exact values (29.97 is
  // 30000/1001), so that a long input keeps in step with its audio; a code
  // outside 1..8 passes every picture once.
  static FrameRateConverter FromRateCodes(int sourceCode, int targetCode);
  // How many times the next source picture is to be output (0, 1, 2, ...).
  int Next();

 private:
  int64_t source_, target_;
  int64_t n_ = 0;
};

// One plane, w x h samples, row after row.
struct Plane {
  int width = 0, height = 0;
  std::vector<uint8_t> samples;
};

// Source positions in hundredths of a sample for each of dst target
// samples: step = (src x 100 - 100) / (dst - 1), starting at 0; a position
// at or beyond src x 100 is replaced by the one before it.
std::vector<int> ScalePositions(int src, int dst);

// Bilinear scaling through the position tables; each blend is truncated.
Plane ScalePlane(const Plane& src, int width, int height);

}  // namespace vidlathe
