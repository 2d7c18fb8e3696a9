// Unicode text laid out for the PDF: the characters split into runs by
// bidi level (fribidi) and script, each run given the first font of a
// fontconfig fallback list that covers it, and shaped by HarfBuzz into
// glyphs (joined Arabic forms, ligatures, marks placed), the runs in the
// order they are drawn from left to right.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace vexa::pdf {

class TrueTypeFont;

// One glyph: its advance and the offsets it is drawn at, in thousandths of
// the em; the characters it stands for (one glyph of a cluster carries the
// cluster's characters, the others none), in reading order, or for a glyph
// of a right-to-left run in the order they are drawn, as text extraction
// expects (it reverses right-to-left letters one by one).
struct ShapedGlyph {
  std::uint16_t glyph = 0;
  double advance = 0, xOffset = 0, yOffset = 0;
  std::u32string text;
};

struct ShapedRun {
  std::string path;  // the font file
  std::shared_ptr<const TrueTypeFont> font;
  bool rightToLeft = false;
  std::vector<ShapedGlyph> glyphs;  // left to right as drawn
};

// The style of the Unicode faces that stand in for a standard font.
struct UnicodeStyle {
  bool serif = false;
  bool bold = false;
};

// Lays the text out as one line; false when no usable font can be had.
// Characters no font covers are shown as the first font's missing glyph
// and still carry their text.
bool ShapeText(std::string_view utf8, UnicodeStyle style, std::vector<ShapedRun>* runs);

}  // namespace vexa::pdf
