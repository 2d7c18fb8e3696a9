// Geometry and pixel operations on bitmaps: rotation, copying a rectangle,
// filling and combining one picture onto another.
#pragma once

#include "platform/imaging/ImagingExport.h"

#include <cstdint>
#include <optional>

#include "platform/imaging/Bitmap.h"

namespace vexa::imaging {

// Rotates by `hundredths` of a degree, positive clockwise. Multiples of 90
// degrees move pixels exactly; other angles interpolate bilinearly. With
// `enlarge` the canvas grows to hold the whole picture; without it the canvas
// keeps the source size and the rotated picture is centred and cut. Area the
// picture does not cover is black. 8-bit pictures come out as 24 bits.
VEXA_IMAGING_API Status Rotate(const Bitmap& src, int hundredths, bool enlarge, Bitmap* dst);

// Camera orientations, as the EXIF and TIFF Orientation tag gives them:
// where the stored picture's first row and first column lie in the upright
// picture. 1: top, left (upright as stored); 2: top, right (mirrored
// left to right); 3: bottom, right (upside down); 4: bottom, left (mirrored
// top to bottom); 5: left, top (mirrored along the diagonal); 6: right, top
// (stored a quarter turn anticlockwise: shown upright after a quarter turn
// clockwise); 7: right, bottom (mirrored along the other diagonal); 8: left,
// bottom (stored a quarter turn clockwise). Any other value is read as 1.
inline constexpr int kOrientationUpright = 1;
inline bool IsOrientation(int orientation) { return orientation >= 1 && orientation <= 8; }
// Whether the upright picture's width is the stored picture's height (5 to 8).
inline bool OrientationSwapsSides(int orientation) { return orientation >= 5 && orientation <= 8; }

// The upright picture of one stored in `orientation`: every pixel moved
// exactly, the depth, palette and format kept. 1 (or a value that is no
// orientation) gives a copy.
VEXA_IMAGING_API Status Orient(const Bitmap& src, int orientation, Bitmap* dst);

// The rectangle at (x, y) of width x height, which must lie inside the source.
VEXA_IMAGING_API Status CopyRect(const Bitmap& src, int x, int y, int width, int height, Bitmap* dst);

// Paints every pixel with one colour (24 and 32 bits; alpha becomes opaque).
VEXA_IMAGING_API Status Fill(Bitmap* bitmap, std::uint8_t red, std::uint8_t green, std::uint8_t blue);

// Copies `src` onto `dst` with its top-left corner at (x, y); the parts
// outside `dst` (negative offsets included) are cut. `dst` is 24 or 32 bits;
// `src` any depth.
VEXA_IMAGING_API Status Combine(Bitmap* dst, int x, int y, const Bitmap& src);

// Each pixel becomes the average of the size x size pixels around it (for
// an even size the extra row and column lie below and to the right); at the
// edges the nearest pixels stand in for those outside. Every channel is
// averaged; 8-bit pictures come out as 24 bits. size lies in 1 to 131071.
VEXA_IMAGING_API Status Average(const Bitmap& src, int size, Bitmap* dst);

// Fitting a w x h picture into a boxW x boxH box, keeping its proportions:
// the scale is the smaller of boxW / w and boxH / h (never above 1 unless
// `upsample`), computed in integers so the result never exceeds the box and
// is at least 1 x 1. (x, y) centres it in the box (integer halves).
struct BoxFit {
  int width = 0;
  int height = 0;
  int x = 0;
  int y = 0;
};
VEXA_IMAGING_API BoxFit FitIntoBox(int w, int h, int boxW, int boxH, bool upsample);

// Resizes into a box: with a matte colour (0x00BBGGRR) the result is the box,
// filled with it, with the picture centred; without one it is the fitted size.
VEXA_IMAGING_API Status ResizeIntoBox(const Bitmap& src, int boxW, int boxH, bool upsample, std::optional<std::uint32_t> matte,
                     Bitmap* dst);

// Colours as the system passes them: 0x00BBGGRR (red in the low byte).
inline std::uint8_t RedOf(std::uint32_t colorref) { return static_cast<std::uint8_t>(colorref); }
inline std::uint8_t GreenOf(std::uint32_t colorref) { return static_cast<std::uint8_t>(colorref >> 8); }
inline std::uint8_t BlueOf(std::uint32_t colorref) { return static_cast<std::uint8_t>(colorref >> 16); }

}  // namespace vexa::imaging
