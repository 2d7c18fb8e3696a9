// Device-independent bitmaps to the 4:2:0 planes the picture coder codes.
// The picture is placed, not scaled: a smaller one is centred on black, a
// larger one is cut to its centre. A still pair's 352-wide companion is
// derived from its 704-wide picture.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "encoder/Vidlathe.h"

namespace vidlathe {

struct BitmapSource {
  const uint8_t* pixels = nullptr;
  size_t pixelBytes = 0;  // bytes the caller's buffer is known to hold
  BITMAPINFOHEADER header{};  // biHeight may be negative (rows top-down)
  const uint8_t* palette = nullptr;  // 4-byte entries blue, green, red, unused
  int paletteEntries = 0;
};

// Bytes per row of a bitmap of this width and depth (0 when unsupported).
size_t BitmapStride(int width, int bitCount);

// Checks the bitmap and converts it onto a W x H picture: planes[0] W x H
// luminance, planes[1] and [2] (W/2) x (H/2) chrominance, rows top to bottom,
// ITU-R BT.601 studio range (black borders are Y = 16). false, with nothing
// written, when the bitmap is unsupported or its buffer too small.
bool ConvertBitmap(const BitmapSource& src, int W, int H, uint8_t* const planes[3]);

// The largest width or height accepted.
constexpr int kMaxBitmapSide = 16384;

// The planes of one still: the 352-wide picture (y, u, v), and for a pair
// also the 704-wide one (y2, u2, v2).
struct StillPlanes {
  std::vector<uint8_t> y, u, v;
  std::vector<uint8_t> y2, u2, v2;
};

// Converts a bitmap into the planes of a picture of job kind `kind` (a
// still, or a pair whose largest picture is width x height). false when
// the bitmap is refused.
bool MakeStillPlanes(const BitmapSource& src, uint32_t kind, int width, int height, StillPlanes* out);

// A pair's companion from its W x H picture in y2, u2, v2: the luminance
// through the half-band filters, the chrominance as every second sample of
// every second row.
void MakeCompanion(StillPlanes* s, int W, int H);

}  // namespace vidlathe
