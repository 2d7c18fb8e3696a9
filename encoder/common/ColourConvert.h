// Device-independent bitmaps to the 4:2:0 planes the picture coder codes.
// The picture is placed, not scaled: a smaller one is centred on black, a
// larger one is cut to its centre.
#pragma once

#include <cstddef>
#include <cstdint>

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

}  // namespace vidlathe
