#include "printing/pdfwriter/Shaping.h"

#include <fontconfig/fontconfig.h>
#include <fribidi.h>
#include <hb.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <mutex>

#include "printing/pdfwriter/FontCatalogue.h"
#include "printing/pdfwriter/TrueTypeFont.h"

namespace vexa::pdf {
namespace {

// ---- font choice ---------------------------------------------------------------------
//
// The faces are those fontconfig sorts for the style (DejaVu first, then
// the generic family's fallbacks), kept when the file is a single TrueType
// font the writer can subset. Which of them shows a run of text is decided
// by their character sets, not by file names.

struct Candidate {
  std::string path;
  const FcCharSet* charset = nullptr;  // owned by the kept font set
};

FcConfig* FontConfig() {
  static FcConfig* config = FcInitLoadConfigAndFonts();
  return config;
}

const std::vector<Candidate>& Candidates(UnicodeStyle style) {
  // Kept for the life of the process, never destroyed: the candidates'
  // character sets live in the font sets.
  struct Sorted {
    std::map<int, std::vector<Candidate>> lists;
    std::vector<FcFontSet*> sets;
  };
  static std::mutex mutex;
  static Sorted* const sorted = new Sorted;
  std::lock_guard lock(mutex);
  const int key = (style.serif ? 2 : 0) + (style.bold ? 1 : 0);
  if (const auto it = sorted->lists.find(key); it != sorted->lists.end()) return it->second;
  std::vector<Candidate>& list = sorted->lists[key];
  FcConfig* config = FontConfig();
  if (!config) return list;
  FcPattern* pattern = FcPatternCreate();
  auto family = [&](const char* name) {
    FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(name));
  };
  family(style.serif ? "DejaVu Serif" : "DejaVu Sans");
  family(style.serif ? "serif" : "sans-serif");
  FcPatternAddInteger(pattern, FC_WEIGHT, style.bold ? FC_WEIGHT_BOLD : FC_WEIGHT_REGULAR);
  FcPatternAddInteger(pattern, FC_SLANT, FC_SLANT_ROMAN);
  FcPatternAddBool(pattern, FC_SCALABLE, FcTrue);
  FcConfigSubstitute(config, pattern, FcMatchPattern);
  FcDefaultSubstitute(pattern);
  FcResult result = FcResultNoMatch;
  FcFontSet* set = FcFontSort(config, pattern, FcFalse, nullptr, &result);
  FcPatternDestroy(pattern);
  if (!set) return list;
  sorted->sets.push_back(set);
  for (int i = 0; i < set->nfont; ++i) {
    FcPattern* font = set->fonts[i];
    FcChar8* file = nullptr;
    FcChar8* format = nullptr;
    FcCharSet* charset = nullptr;
    int index = 0;
    if (FcPatternGetString(font, FC_FILE, 0, &file) != FcResultMatch ||
        FcPatternGetCharSet(font, FC_CHARSET, 0, &charset) != FcResultMatch) {
      continue;
    }
    FcPatternGetInteger(font, FC_INDEX, 0, &index);
    // TrueType outlines in a file of one font: what the subsetter reads.
    if (index != 0 || FcPatternGetString(font, FC_FONTFORMAT, 0, &format) != FcResultMatch ||
        std::strcmp(reinterpret_cast<const char*>(format), "TrueType") != 0) {
      continue;
    }
    const std::string path = reinterpret_cast<const char*>(file);
    if (std::none_of(list.begin(), list.end(), [&](const Candidate& c) { return c.path == path; })) {
      list.push_back({path, charset});
    }
  }
  return list;
}

bool Covers(const Candidate& c, char32_t ch) { return FcCharSetHasChar(c.charset, ch) == FcTrue; }

// The candidate's font, when the file reads as one.
std::shared_ptr<const TrueTypeFont> Usable(const Candidate& c) { return TrueTypeFont::Load(c.path); }

// ---- shaping -------------------------------------------------------------------------

// HarfBuzz faces over the fonts' bytes, one per font for the process (the
// fonts themselves are never released).
hb_face_t* FaceOf(const TrueTypeFont* font) {
  static std::mutex mutex;
  static auto* const faces = new std::map<const TrueTypeFont*, hb_face_t*>;  // never destroyed
  std::lock_guard lock(mutex);
  hb_face_t*& face = (*faces)[font];
  if (!face) {
    const std::string_view bytes = font->Bytes();
    hb_blob_t* blob = hb_blob_create(bytes.data(), static_cast<unsigned>(bytes.size()), HB_MEMORY_MODE_READONLY,
                                     nullptr, nullptr);
    face = hb_face_create(blob, 0);
    hb_blob_destroy(blob);
    hb_face_make_immutable(face);
  }
  return face;
}

// A stretch of the text (logical positions [start, end)) at one bidi
// level, in one script and one font.
struct Item {
  std::size_t start = 0, end = 0;
  int level = 0;
  hb_script_t script = HB_SCRIPT_COMMON;
  int font = -1;  // index into the candidates; -1 when none covers the stretch
};

bool Neutral(hb_script_t s) { return s == HB_SCRIPT_COMMON || s == HB_SCRIPT_INHERITED || s == HB_SCRIPT_UNKNOWN; }

// Each character's script, spaces, digits and marks taking the script of
// the letters before them (or, at the start, after them).
std::vector<hb_script_t> Scripts(const std::u32string& text) {
  hb_unicode_funcs_t* ufuncs = hb_unicode_funcs_get_default();
  std::vector<hb_script_t> out(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) out[i] = hb_unicode_script(ufuncs, text[i]);
  hb_script_t last = HB_SCRIPT_COMMON;
  for (std::size_t i = 0; i < out.size(); ++i) {
    if (Neutral(out[i])) out[i] = last;
    else last = out[i];
  }
  for (std::size_t i = out.size(); i-- > 0;) {
    if (Neutral(out[i])) out[i] = last;
    else last = out[i];
  }
  return out;
}

// The embedding levels of the text as one paragraph whose direction its
// first strong letter sets; all 0 when fribidi fails.
std::vector<int> Levels(const std::u32string& text) {
  const auto n = static_cast<FriBidiStrIndex>(text.size());
  std::vector<FriBidiChar> chars(text.begin(), text.end());
  std::vector<FriBidiCharType> types(text.size());
  std::vector<FriBidiBracketType> brackets(text.size());
  std::vector<FriBidiLevel> levels(text.size());
  fribidi_get_bidi_types(chars.data(), n, types.data());
  fribidi_get_bracket_types(chars.data(), n, types.data(), brackets.data());
  FriBidiParType direction = FRIBIDI_PAR_ON;
  std::vector<int> out(text.size(), 0);
  if (fribidi_get_par_embedding_levels_ex(types.data(), brackets.data(), n, &direction, levels.data()) != 0) {
    for (std::size_t i = 0; i < text.size(); ++i) out[i] = levels[i];
  }
  return out;
}

// Splits an item among the fonts: the first candidate that covers all of
// it (characters no candidate has are left out of the count), else each
// character the first candidate that has it, neighbours keeping a font
// that has them so that runs stay long.
void ChooseFonts(const Item& item, const std::u32string& text, const std::vector<hb_script_t>& original,
                 const std::vector<Candidate>& fonts, std::vector<Item>* out) {
  auto anyCovers = [&](char32_t c) {
    return std::any_of(fonts.begin(), fonts.end(), [&](const Candidate& f) { return Covers(f, c); });
  };
  std::vector<bool> coverable(item.end - item.start);
  for (std::size_t i = item.start; i < item.end; ++i) coverable[i - item.start] = anyCovers(text[i]);
  for (std::size_t f = 0; f < fonts.size(); ++f) {
    bool all = true;
    for (std::size_t i = item.start; i < item.end && all; ++i) {
      all = !coverable[i - item.start] || Covers(fonts[f], text[i]);
    }
    if (all && Usable(fonts[f])) {
      Item whole = item;
      whole.font = static_cast<int>(f);
      out->push_back(whole);
      return;
    }
  }
  const std::size_t first = out->size();  // the parts of this item start here
  for (std::size_t i = item.start; i < item.end; ++i) {
    const char32_t c = text[i];
    const bool continues = out->size() > first;
    int chosen = -1;
    const bool neutral = Neutral(original[i]) || !coverable[i - item.start];
    if (neutral && continues &&
        (!coverable[i - item.start] || Covers(fonts[static_cast<std::size_t>(out->back().font)], c))) {
      chosen = out->back().font;
    }
    for (std::size_t f = 0; f < fonts.size() && chosen < 0; ++f) {
      if (Covers(fonts[f], c) && Usable(fonts[f])) chosen = static_cast<int>(f);
    }
    if (chosen < 0) {
      for (std::size_t f = 0; f < fonts.size() && chosen < 0; ++f) {
        if (Usable(fonts[f])) chosen = static_cast<int>(f);
      }
    }
    if (continues && out->back().font == chosen) {
      out->back().end = i + 1;
    } else {
      Item part = item;
      part.start = i;
      part.end = i + 1;
      part.font = chosen;
      out->push_back(part);
    }
  }
}

// The items in the order they are drawn (rule L2 of the bidi algorithm:
// from the highest level down to the lowest odd one, each sequence at that
// level or above is reversed).
std::vector<std::size_t> VisualOrder(const std::vector<Item>& items) {
  std::vector<std::size_t> order(items.size());
  for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
  int highest = 0, lowestOdd = 1000;
  for (const Item& it : items) {
    highest = std::max(highest, it.level);
    if (it.level % 2) lowestOdd = std::min(lowestOdd, it.level);
  }
  for (int level = highest; level >= lowestOdd; --level) {
    for (std::size_t i = 0; i < order.size();) {
      if (items[order[i]].level < level) {
        ++i;
        continue;
      }
      std::size_t j = i;
      while (j < order.size() && items[order[j]].level >= level) ++j;
      std::reverse(order.begin() + static_cast<long>(i), order.begin() + static_cast<long>(j));
      i = j;
    }
  }
  return order;
}

ShapedRun Shape(const Item& item, const std::u32string& text, const Candidate& candidate) {
  ShapedRun run;
  run.path = candidate.path;
  run.font = Usable(candidate);
  run.rightToLeft = item.level % 2 != 0;
  hb_face_t* face = FaceOf(run.font.get());
  hb_font_t* font = hb_font_create(face);
  const unsigned upem = std::max(1u, hb_face_get_upem(face));
  hb_font_set_scale(font, static_cast<int>(upem), static_cast<int>(upem));
  hb_buffer_t* buffer = hb_buffer_create();
  // The whole line is the context, so letters join across a change of font.
  hb_buffer_add_utf32(buffer, reinterpret_cast<const std::uint32_t*>(text.data()), static_cast<int>(text.size()),
                      static_cast<unsigned>(item.start), static_cast<int>(item.end - item.start));
  hb_buffer_set_direction(buffer, run.rightToLeft ? HB_DIRECTION_RTL : HB_DIRECTION_LTR);
  hb_buffer_set_script(buffer, item.script);
  hb_buffer_guess_segment_properties(buffer);
  // Marks keep clusters of their own, so that most glyphs stand for one character.
  hb_buffer_set_cluster_level(buffer, HB_BUFFER_CLUSTER_LEVEL_MONOTONE_CHARACTERS);
  hb_shape(font, buffer, nullptr, 0);
  unsigned count = 0;
  const hb_glyph_info_t* info = hb_buffer_get_glyph_infos(buffer, &count);
  const hb_glyph_position_t* pos = hb_buffer_get_glyph_positions(buffer, &count);
  const double k = 1000.0 / upem;
  run.glyphs.resize(count);
  for (unsigned i = 0; i < count; ++i) {
    ShapedGlyph& g = run.glyphs[i];
    g.glyph = static_cast<std::uint16_t>(info[i].codepoint);
    g.advance = pos[i].x_advance * k;
    g.xOffset = pos[i].x_offset * k;
    g.yOffset = pos[i].y_offset * k;
  }
  // Each cluster's characters go to one of its glyphs: those from its
  // first character up to the next cluster's.
  std::vector<std::uint32_t> starts;
  for (unsigned i = 0; i < count; ++i) starts.push_back(info[i].cluster);
  std::sort(starts.begin(), starts.end());
  starts.erase(std::unique(starts.begin(), starts.end()), starts.end());
  std::vector<bool> given(starts.size(), false);
  for (unsigned n = 0; n < count; ++n) {
    // In reading order: right to left for a right-to-left run.
    const unsigned i = run.rightToLeft ? count - 1 - n : n;
    const auto at = std::lower_bound(starts.begin(), starts.end(), info[i].cluster) - starts.begin();
    if (given[static_cast<std::size_t>(at)]) continue;
    given[static_cast<std::size_t>(at)] = true;
    const std::size_t end = static_cast<std::size_t>(at) + 1 < starts.size() ? starts[static_cast<std::size_t>(at) + 1]
                                                                            : item.end;
    std::u32string& chars = run.glyphs[i].text;
    chars = text.substr(info[i].cluster, end - info[i].cluster);
    // Text extraction reads a line as drawn and turns right-to-left letters
    // back into reading order one character at a time, so a glyph of a
    // right-to-left run lists its characters as drawn too.
    if (run.rightToLeft) std::reverse(chars.begin(), chars.end());
  }
  hb_buffer_destroy(buffer);
  hb_font_destroy(font);
  return run;
}

}  // namespace

bool ShapeText(std::string_view utf8, UnicodeStyle style, std::vector<ShapedRun>* runs) {
  runs->clear();
  const std::vector<Candidate>& fonts = Candidates(style);
  if (std::none_of(fonts.begin(), fonts.end(), [](const Candidate& c) { return Usable(c) != nullptr; })) return false;
  std::u32string text;
  for (std::size_t i = 0; i < utf8.size();) text += NextUtf8CodePoint(utf8, &i);
  if (text.empty()) return true;
  const std::vector<int> levels = Levels(text);
  const std::vector<hb_script_t> scripts = Scripts(text);
  hb_unicode_funcs_t* ufuncs = hb_unicode_funcs_get_default();
  std::vector<hb_script_t> original(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) original[i] = hb_unicode_script(ufuncs, text[i]);

  std::vector<Item> items;
  for (std::size_t i = 0; i < text.size();) {
    Item item;
    item.start = i;
    item.level = levels[i];
    item.script = scripts[i];
    while (i < text.size() && levels[i] == item.level && scripts[i] == item.script) ++i;
    item.end = i;
    ChooseFonts(item, text, original, fonts, &items);
  }
  for (std::size_t i : VisualOrder(items)) runs->push_back(Shape(items[i], text, fonts[static_cast<std::size_t>(items[i].font)]));
  return true;
}

}  // namespace vexa::pdf
