// A TrueType font file read for embedding: its character map, glyph
// advances and metrics, and a subset of it that holds only the glyphs a
// document shows (renumbered in the order the document first used them),
// for a CID font whose codes are those glyph numbers.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace vexa::pdf {

class TrueTypeFont {
 public:
  // The font in a .ttf file (a single font, TrueType outlines); null when
  // the file cannot be read or is not such a font.
  static std::shared_ptr<const TrueTypeFont> Load(const std::string& path);

  // The glyph of a character, 0 (the missing glyph) when the font has none.
  std::uint16_t Glyph(char32_t c) const;
  // A glyph's advance in thousandths of the em.
  int Advance(std::uint16_t glyph) const;
  std::uint16_t GlyphCount() const { return glyphCount_; }
  // The font file's bytes (for the shaper).
  std::string_view Bytes() const { return data_; }

  // Metrics in thousandths of the em.
  int ascent = 0, descent = 0, capHeight = 0;
  int bbox[4] = {0, 0, 0, 0};
  double italicAngle = 0;
  bool fixedPitch = false;
  // The PostScript name ("DejaVuSans").
  std::string postScriptName;

  // A font file of the glyphs in `glyphs` (old numbers, the new number of
  // each being its position; glyph 0 first). Glyphs that composite glyphs
  // are made of are appended to `glyphs`. Empty when the font is damaged.
  std::string Subset(std::vector<std::uint16_t>* glyphs) const;

 private:
  TrueTypeFont() = default;
  bool Parse();
  bool Table(const char tag[4], std::uint32_t* offset, std::uint32_t* length) const;
  // The glyf bytes of a glyph (empty for a glyph without outline).
  std::string GlyphData(std::uint16_t glyph) const;

  std::string data_;
  std::map<std::string, std::pair<std::uint32_t, std::uint32_t>> tables_;
  std::uint16_t glyphCount_ = 0;
  std::uint16_t unitsPerEm_ = 1000;
  std::uint16_t horizontalMetrics_ = 0;
  bool longLoca_ = false;
  std::map<char32_t, std::uint16_t> cmap_;
};

}  // namespace vexa::pdf
