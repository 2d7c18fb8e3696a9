// Text on bitmaps: pango lays the UTF-8 text out with fonts found through
// fontconfig, cairo draws it antialiased onto the bitmap. The layer renders
// at 96 dots per inch; "Arial" and "Times New Roman" resolve to the
// Liberation faces through the configuration in share/vexa/fonts/.
#pragma once

#include "platform/imaging/ImagingExport.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/imaging/Bitmap.h"

namespace vexa::imaging {

inline constexpr int kScreenDpi = 96;

// Character height in pixels for a point size: points x dpi / 72, rounded.
VEXA_IMAGING_API int PointsToPixels(int points, int dpi = kScreenDpi);

struct TextStyle {
  std::string family;                       // empty: the default sans face
  int pixelHeight = 16;                     // character (em) height
  int weight = 400;                         // 400 normal, 700 bold
  bool italic = false;
  std::uint32_t color = 0xFFFFFF;           // 0x00BBGGRR
  std::optional<std::uint32_t> background;  // paints the text's box first
};

enum class TextAlign {
  kLeftTop,    // (x, y) is the top-left corner of the text
  kCentreTop,  // x is the horizontal centre, y the top
};

struct TextExtent {
  int width = 0;
  int height = 0;
};

// The size the text takes (its logical box).
VEXA_IMAGING_API Status MeasureText(std::string_view utf8, const TextStyle& style, TextExtent* extent);

// Draws the whole text on a 24- or 32-bit bitmap (cut at its edges) and
// reports its size. Invalid UTF-8 is drawn with replacement characters.
VEXA_IMAGING_API Status DrawText(Bitmap* bitmap, int x, int y, std::string_view utf8, const TextStyle& style,
                TextAlign align = TextAlign::kLeftTop, TextExtent* extent = nullptr);

// The family fontconfig picks for a requested family (for checks and tools).
VEXA_IMAGING_API std::string ResolveFontFamily(std::string_view family);

}  // namespace vexa::imaging
