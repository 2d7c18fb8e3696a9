#include "encoder/reader/PictureConversion.h"

#include <algorithm>

namespace vidlathe {

int WholeFramesPerSecond(int rateCode) {
  switch (rateCode) {
    case 1: case 2: return 24;
    case 3: return 25;
    case 4: case 5: return 30;
    case 6: return 50;
    case 7: case 8: return 60;
    default: return -1;
  }
}

FrameRateConverter::FrameRateConverter(int sourceFps, int targetFps)
    : source_(sourceFps), target_(targetFps) {
  if (source_ <= 0 || target_ <= 0 || source_ == target_) source_ = target_ = 1;
}

FrameRateConverter FrameRateConverter::FromRateCodes(int sourceCode, int targetCode) {
  // Pictures per 1001 seconds, a whole number for every code.
  static const int kPer1001s[9] = {0, 24000, 24024, 25025, 30000, 30030, 50050, 60000, 60060};
  const bool known = sourceCode >= 1 && sourceCode <= 8 && targetCode >= 1 && targetCode <= 8;
  return known ? FrameRateConverter(kPer1001s[sourceCode], kPer1001s[targetCode])
               : FrameRateConverter(1, 1);
}

int FrameRateConverter::Next() {
  const int64_t before = n_ * target_ / source_;
  ++n_;
  return static_cast<int>(n_ * target_ / source_ - before);
}

std::vector<int> ScalePositions(int src, int dst) {
  std::vector<int> pos(static_cast<size_t>(std::max(dst, 0)), 0);
  if (dst <= 1 || src <= 0) return pos;
  const int step = (src * 100 - 100) / (dst - 1);
  for (int k = 1; k < dst; ++k) pos[k] = pos[k - 1] + step;
  if (pos[dst - 1] >= src * 100) pos[dst - 1] = pos[dst - 2];
  return pos;
}

Plane ScalePlane(const Plane& src, int width, int height) {
  Plane out;
  out.width = width;
  out.height = height;
  out.samples.assign(static_cast<size_t>(width) * height, 0);
  if (src.width <= 0 || src.height <= 0 || width <= 0 || height <= 0) return out;
  const std::vector<int> cols = ScalePositions(src.width, width);
  const std::vector<int> rows = ScalePositions(src.height, height);
  auto at = [&](int x, int y) -> int {
    x = std::min(x, src.width - 1);
    y = std::min(y, src.height - 1);
    return src.samples[static_cast<size_t>(y) * src.width + x];
  };
  for (int r = 0; r < height; ++r) {
    const int i = rows[r] / 100, fy = rows[r] % 100;
    for (int c = 0; c < width; ++c) {
      const int j = cols[c] / 100, fx = cols[c] % 100;
      const int top = (at(j, i) * (100 - fx) + at(j + 1, i) * fx) / 100;
      const int bottom = (at(j, i + 1) * (100 - fx) + at(j + 1, i + 1) * fx) / 100;
      out.samples[static_cast<size_t>(r) * width + c] =
          static_cast<uint8_t>((top * (100 - fy) + bottom * fy) / 100);
    }
  }
  return out;
}

}  // namespace vidlathe
