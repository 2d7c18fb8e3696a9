// Where a slide-show caption goes on a television frame. A television cuts
// off the edges of the picture by varying amounts; text is only sure to be
// seen inside the title-safe area, the middle 80 % of the frame's width and
// height. A caption is kept whole inside it: moved in from the edges, broken
// at spaces onto at most two lines, and what still does not fit shortened at
// a word with an ellipsis.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace vexa::vcd {

struct VCDFrameArea {
  std::int32_t left = 0, top = 0, right = 0, bottom = 0;  // right and bottom exclusive
};

// The title-safe area of a width x height frame: a tenth of each side left out.
VCDFrameArea VCDTitleSafeArea(std::int32_t width, std::int32_t height);

// The size a text takes when drawn in the caption's font; false when it
// cannot be measured.
using VCDCaptionMeasure = std::function<bool(std::string_view text, std::int32_t* width, std::int32_t* height)>;

struct VCDCaptionLine {
  std::string text;
  std::int32_t x = 0, y = 0;  // top-left corner
};

inline constexpr int kVCDCaptionMaxLines = 2;
// Ends a caption shortened to fit.
inline constexpr char kVCDCaptionEllipsis[] = "\u2026";

// The lines of a caption asked for at (x, y), the top-left corner, on a
// width x height frame, each with its place: the block of lines starts
// there unless that would take it out of the title-safe area, in which case
// it is moved in just far enough. Empty for an empty caption or one that
// cannot be measured.
std::vector<VCDCaptionLine> VCDLayOutCaption(std::string_view caption, std::int32_t x, std::int32_t y,
                                             std::int32_t width, std::int32_t height,
                                             const VCDCaptionMeasure& measure);

}  // namespace vexa::vcd
