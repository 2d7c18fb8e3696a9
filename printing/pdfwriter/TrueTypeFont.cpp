#include "printing/pdfwriter/TrueTypeFont.h"

#include <algorithm>
#include <cstring>
#include <mutex>

#include "platform/base/Path.h"
#include "platform/base/Text.h"

namespace vexa::pdf {
namespace {

std::uint16_t U16(const std::string& d, std::size_t at) {
  if (at + 2 > d.size()) return 0;
  return static_cast<std::uint16_t>(static_cast<unsigned char>(d[at]) << 8 | static_cast<unsigned char>(d[at + 1]));
}
std::int16_t S16(const std::string& d, std::size_t at) { return static_cast<std::int16_t>(U16(d, at)); }
std::uint32_t U32(const std::string& d, std::size_t at) {
  return static_cast<std::uint32_t>(U16(d, at)) << 16 | U16(d, at + 2);
}

void Put16(std::string& out, std::uint16_t v) {
  out += static_cast<char>(v >> 8);
  out += static_cast<char>(v & 0xFF);
}
void Put32(std::string& out, std::uint32_t v) {
  Put16(out, static_cast<std::uint16_t>(v >> 16));
  Put16(out, static_cast<std::uint16_t>(v & 0xFFFF));
}
void Set16(std::string& s, std::size_t at, std::uint16_t v) {
  s[at] = static_cast<char>(v >> 8);
  s[at + 1] = static_cast<char>(v & 0xFF);
}
void Set32(std::string& s, std::size_t at, std::uint32_t v) {
  Set16(s, at, static_cast<std::uint16_t>(v >> 16));
  Set16(s, at + 2, static_cast<std::uint16_t>(v & 0xFFFF));
}

std::uint32_t Checksum(const std::string& table) {
  std::uint32_t sum = 0;
  for (std::size_t i = 0; i < table.size(); i += 4) {
    std::uint32_t word = 0;
    for (std::size_t k = 0; k < 4; ++k) {
      word = word << 8 | (i + k < table.size() ? static_cast<unsigned char>(table[i + k]) : 0u);
    }
    sum += word;
  }
  return sum;
}

// Composite glyph flags.
constexpr std::uint16_t kArgsAreWords = 0x0001;
constexpr std::uint16_t kHaveScale = 0x0008;
constexpr std::uint16_t kMoreComponents = 0x0020;
constexpr std::uint16_t kHaveXYScale = 0x0040;
constexpr std::uint16_t kHaveTwoByTwo = 0x0080;

// Walks the components of a composite glyph: fn(offset of the glyph index
// within the glyph's bytes).
template <typename Fn>
void ForEachComponent(const std::string& glyph, Fn fn) {
  if (glyph.size() < 10 || S16(glyph, 0) >= 0) return;
  std::size_t at = 10;
  for (;;) {
    if (at + 4 > glyph.size()) return;
    const std::uint16_t flags = U16(glyph, at);
    fn(at + 2);
    at += 4 + ((flags & kArgsAreWords) ? 4 : 2);
    if (flags & kHaveScale) at += 2;
    else if (flags & kHaveXYScale) at += 4;
    else if (flags & kHaveTwoByTwo) at += 8;
    if (!(flags & kMoreComponents)) return;
  }
}

}  // namespace

std::shared_ptr<const TrueTypeFont> TrueTypeFont::Load(const std::string& path) {
  // Fonts are read once per process: a document may show many texts.
  static std::mutex mutex;
  static std::map<std::string, std::shared_ptr<const TrueTypeFont>> loaded;
  std::lock_guard lock(mutex);
  if (const auto it = loaded.find(path); it != loaded.end()) return it->second;
  std::shared_ptr<TrueTypeFont> font(new TrueTypeFont());
  if (!base::ReadFile(path, &font->data_) || !font->Parse()) font.reset();
  loaded[path] = font;
  return font;
}

bool TrueTypeFont::Table(const char tag[4], std::uint32_t* offset, std::uint32_t* length) const {
  const auto it = tables_.find(std::string(tag, 4));
  if (it == tables_.end()) return false;
  *offset = it->second.first;
  *length = it->second.second;
  return true;
}

bool TrueTypeFont::Parse() {
  const std::string& d = data_;
  if (d.size() < 12 || U32(d, 0) != 0x00010000) return false;  // TrueType outlines only
  const std::uint16_t count = U16(d, 4);
  for (std::uint16_t i = 0; i < count; ++i) {
    const std::size_t at = 12 + 16u * i;
    if (at + 16 > d.size()) return false;
    const std::uint32_t offset = U32(d, at + 8), length = U32(d, at + 12);
    if (offset > d.size() || length > d.size() - offset) return false;
    tables_[d.substr(at, 4)] = {offset, length};
  }
  std::uint32_t head, headLen, hhea, hheaLen, maxp, maxpLen, o, n;
  if (!Table("head", &head, &headLen) || headLen < 54 || !Table("hhea", &hhea, &hheaLen) || hheaLen < 36 ||
      !Table("maxp", &maxp, &maxpLen) || maxpLen < 6 || !Table("hmtx", &o, &n) || !Table("loca", &o, &n) ||
      !Table("glyf", &o, &n) || !Table("cmap", &o, &n)) {
    return false;
  }
  unitsPerEm_ = U16(d, head + 18);
  if (unitsPerEm_ == 0) return false;
  longLoca_ = S16(d, head + 50) == 1;
  glyphCount_ = U16(d, maxp + 4);
  horizontalMetrics_ = U16(d, hhea + 34);
  if (horizontalMetrics_ == 0 || horizontalMetrics_ > glyphCount_) return false;
  auto em = [this](int v) { return static_cast<int>(static_cast<long>(v) * 1000 / unitsPerEm_); };
  bbox[0] = em(S16(d, head + 36));
  bbox[1] = em(S16(d, head + 38));
  bbox[2] = em(S16(d, head + 40));
  bbox[3] = em(S16(d, head + 42));
  ascent = em(S16(d, hhea + 4));
  descent = em(S16(d, hhea + 6));
  capHeight = ascent * 7 / 10;
  if (Table("OS/2", &o, &n) && n >= 90 && U16(d, o) >= 2) capHeight = em(S16(d, o + 88));
  if (Table("post", &o, &n) && n >= 16) {
    italicAngle = static_cast<double>(static_cast<std::int32_t>(U32(d, o + 4))) / 65536.0;
    fixedPitch = U32(d, o + 12) != 0;
  }

  // The character map: a Unicode subtable of format 12 (all planes) or 4.
  Table("cmap", &o, &n);
  const std::uint32_t cmap = o;
  std::uint32_t best = 0;
  int bestFormat = 0;
  for (std::uint16_t i = 0, subtables = U16(d, cmap + 2); i < subtables; ++i) {
    const std::size_t rec = cmap + 4 + 8u * i;
    const std::uint16_t platform = U16(d, rec), encoding = U16(d, rec + 2);
    const std::uint32_t at = cmap + U32(d, rec + 4);
    if (at + 4 > d.size()) continue;
    const bool unicode = platform == 0 || (platform == 3 && (encoding == 1 || encoding == 10));
    const int format = U16(d, at);
    if (unicode && (format == 12 || (format == 4 && bestFormat != 12))) {
      best = at;
      bestFormat = format;
    }
  }
  if (bestFormat == 12) {
    const std::uint32_t groups = U32(d, best + 12);
    for (std::uint32_t g = 0; g < groups && best + 16 + 12u * (g + 1) <= d.size(); ++g) {
      const std::size_t at = best + 16 + 12u * g;
      const std::uint32_t first = U32(d, at), last = U32(d, at + 4), glyph = U32(d, at + 8);
      for (std::uint32_t c = first; c <= last && c <= 0x10FFFF && glyph + (c - first) < glyphCount_; ++c) {
        cmap_[c] = static_cast<std::uint16_t>(glyph + (c - first));
      }
    }
  } else if (bestFormat == 4) {
    const std::uint16_t segments = U16(d, best + 6) / 2;
    const std::size_t ends = best + 14, starts = ends + 2u * segments + 2, deltas = starts + 2u * segments,
                      ranges = deltas + 2u * segments;
    for (std::uint16_t s = 0; s < segments; ++s) {
      const std::uint16_t end = U16(d, ends + 2u * s), start = U16(d, starts + 2u * s);
      const std::uint16_t delta = U16(d, deltas + 2u * s), range = U16(d, ranges + 2u * s);
      for (std::uint32_t c = start; c <= end && c != 0xFFFF; ++c) {
        std::uint16_t glyph;
        if (range == 0) {
          glyph = static_cast<std::uint16_t>(c + delta);
        } else {
          const std::size_t at = ranges + 2u * s + range + 2u * (c - start);
          glyph = U16(d, at);
          if (glyph != 0) glyph = static_cast<std::uint16_t>(glyph + delta);
        }
        if (glyph != 0 && glyph < glyphCount_) cmap_[c] = glyph;
      }
    }
  } else {
    return false;
  }

  // The PostScript name (name 6), else the family of the file.
  if (Table("name", &o, &n) && n >= 6) {
    const std::uint16_t records = U16(d, o + 2);
    const std::uint32_t strings = o + U16(d, o + 4);
    for (std::uint16_t i = 0; i < records && postScriptName.empty(); ++i) {
      const std::size_t rec = o + 6 + 12u * i;
      if (U16(d, rec + 6) != 6) continue;
      const std::uint16_t platform = U16(d, rec), length = U16(d, rec + 8), offset = U16(d, rec + 10);
      if (strings + offset + length > d.size()) continue;
      std::string name;
      for (std::uint16_t k = 0; k < length; k += platform == 1 ? 1 : 2) {
        const char c = platform == 1 ? d[strings + offset + k] : d[strings + offset + k + 1];
        // A PostScript name: printable ASCII without the PDF delimiters.
        if (c > 32 && c < 127 && !std::strchr("[](){}<>/%#", c)) name += c;
      }
      postScriptName = name;
    }
  }
  if (postScriptName.empty()) postScriptName = "UnicodeFont";
  return true;
}

std::uint16_t TrueTypeFont::Glyph(char32_t c) const {
  const auto it = cmap_.find(c);
  return it == cmap_.end() ? 0 : it->second;
}

int TrueTypeFont::Advance(std::uint16_t glyph) const {
  std::uint32_t hmtx, length;
  Table("hmtx", &hmtx, &length);
  const std::uint16_t i = glyph < horizontalMetrics_ ? glyph : static_cast<std::uint16_t>(horizontalMetrics_ - 1);
  return static_cast<int>(static_cast<long>(U16(data_, hmtx + 4u * i)) * 1000 / unitsPerEm_);
}

std::string TrueTypeFont::GlyphData(std::uint16_t glyph) const {
  if (glyph >= glyphCount_) return {};
  std::uint32_t loca, locaLen, glyf, glyfLen;
  Table("loca", &loca, &locaLen);
  Table("glyf", &glyf, &glyfLen);
  std::uint32_t from, to;
  if (longLoca_) {
    from = U32(data_, loca + 4u * glyph);
    to = U32(data_, loca + 4u * glyph + 4);
  } else {
    from = 2u * U16(data_, loca + 2u * glyph);
    to = 2u * U16(data_, loca + 2u * glyph + 2);
  }
  if (to <= from || to > glyfLen) return {};
  return data_.substr(glyf + from, to - from);
}

std::string TrueTypeFont::Subset(std::vector<std::uint16_t>* glyphs) const {
  if (glyphs->empty() || glyphs->front() != 0) glyphs->insert(glyphs->begin(), 0);
  // The glyphs composites are made of come along, after the others.
  std::map<std::uint16_t, std::uint16_t> newOf;
  for (std::size_t i = 0; i < glyphs->size(); ++i) newOf.emplace((*glyphs)[i], static_cast<std::uint16_t>(i));
  std::vector<std::string> outlines;
  for (std::size_t i = 0; i < glyphs->size(); ++i) {
    std::string g = GlyphData((*glyphs)[i]);
    ForEachComponent(g, [&](std::size_t at) {
      const std::uint16_t part = U16(g, at);
      auto [it, added] = newOf.emplace(part, static_cast<std::uint16_t>(glyphs->size()));
      if (added) glyphs->push_back(part);
      Set16(g, at, it->second);
    });
    outlines.push_back(std::move(g));
  }
  if (glyphs->size() > 0xFFFF) return {};
  const auto n = static_cast<std::uint16_t>(glyphs->size());

  std::map<std::string, std::string> tables;
  std::uint32_t o, len;
  auto copy = [&](const char* tag) {
    if (Table(tag, &o, &len)) tables[std::string(tag, 4)] = data_.substr(o, len);
  };
  copy("head");
  copy("hhea");
  copy("maxp");
  copy("cvt ");
  copy("fpgm");
  copy("prep");
  std::string& head = tables["head"];
  Set32(head, 8, 0);     // the file's checksum adjustment, set below
  Set16(head, 50, 1);    // long offsets in loca
  Set16(tables["hhea"], 34, n);
  Set16(tables["maxp"], 4, n);
  std::string hmtx, loca, glyf;
  Table("hmtx", &o, &len);
  for (std::uint16_t g : *glyphs) {
    const std::uint16_t i = g < horizontalMetrics_ ? g : static_cast<std::uint16_t>(horizontalMetrics_ - 1);
    Put16(hmtx, U16(data_, o + 4u * i));
    Put16(hmtx, g < horizontalMetrics_ ? U16(data_, o + 4u * g + 2)
                                       : U16(data_, o + 4u * horizontalMetrics_ + 2u * (g - horizontalMetrics_)));
  }
  for (const std::string& g : outlines) {
    Put32(loca, static_cast<std::uint32_t>(glyf.size()));
    glyf += g;
    while (glyf.size() % 4) glyf += '\0';
  }
  Put32(loca, static_cast<std::uint32_t>(glyf.size()));
  tables["hmtx"] = hmtx;
  tables["loca"] = loca;
  tables["glyf"] = glyf;

  // The file: the table directory (tags in order), then the tables, each
  // on a four-byte boundary.
  const auto count = static_cast<std::uint16_t>(tables.size());
  std::uint16_t power = 1, log2 = 0;
  while (power * 2 <= count) {
    power = static_cast<std::uint16_t>(power * 2);
    ++log2;
  }
  std::string out;
  Put32(out, 0x00010000);
  Put16(out, count);
  Put16(out, static_cast<std::uint16_t>(power * 16));
  Put16(out, log2);
  Put16(out, static_cast<std::uint16_t>(count * 16 - power * 16));
  std::uint32_t offset = 12 + 16u * count;
  std::string body;
  std::size_t headAt = 0;
  for (const auto& [tag, table] : tables) {
    out += tag;
    Put32(out, Checksum(table));
    Put32(out, offset + static_cast<std::uint32_t>(body.size()));
    Put32(out, static_cast<std::uint32_t>(table.size()));
    if (tag == "head") headAt = offset + body.size();
    body += table;
    while (body.size() % 4) body += '\0';
  }
  out += body;
  Set32(out, headAt + 8, 0xB1B0AFBAu - Checksum(out));
  return out;
}

}  // namespace vexa::pdf
