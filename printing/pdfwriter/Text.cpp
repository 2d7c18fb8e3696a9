// Text blocks, font selection (built-in catalogue, external Type 1 fonts,
// Times-Roman substitution), placed and aligned text, string widths and the
// font objects written at the end.
#include <algorithm>
#include <cmath>
#include <zlib.h>

#include "platform/base/Path.h"
#include "printing/pdfwriter/NumberFormat.h"
#include "printing/pdfwriter/PdfInternal.h"
#include "printing/pdfwriter/Shaping.h"
#include "printing/pdfwriter/TrueTypeFont.h"

namespace vexa::pdf {
namespace {

void AppendMatrix(std::string& s, const double m[6]) {
  for (int i = 0; i < 6; ++i) {
    AppendFixed(s, m[i], 4);
    s += ' ';
  }
}

const FontEntry* CurrentFont(const PdfContext* ctx) {
  if (ctx->currentFont < 0 || ctx->currentFont >= static_cast<int>(ctx->fonts.size())) return nullptr;
  return &ctx->fonts[ctx->currentFont];
}

bool UsesBuiltinCodes(const FontEntry& f) {
  return f.catalogueIndex == kSymbolIndex || f.catalogueIndex == kZapfDingbatsIndex;
}

// ---- Text beyond the standard fonts' encodings ---------------------------------------
//
// A text with a character the current font's encoding lacks is laid out
// by the shaper (bidi order, joined and combined forms) in Unicode TrueType
// fonts that fontconfig offers for the style of the standard font (DejaVu
// first, then whatever covers the script, e.g. a Hangul or Han face), each
// embedded as a subset CID font whose codes are glyph numbers and whose
// ToUnicode map gives each code the characters it stands for. Texts the
// encoding holds keep the standard font, as before.

bool Contains(const std::string& s, const char* part) { return s.find(part) != std::string::npos; }

// The style of the Unicode faces that stand in for a standard font.
UnicodeStyle StyleOf(const FontEntry& f) {
  const std::string& n = f.baseFont;
  UnicodeStyle style;
  style.serif = Contains(n, "Times") || Contains(n, "Roman") || Contains(n, "Serif") || Contains(n, "Palatino") ||
                Contains(n, "Bookman") || Contains(n, "Schlbk") || Contains(n, "Chancery");
  style.bold = Contains(n, "Bold") || Contains(n, "Demi");
  return style;
}

// The embedded font of a file, made on first use (with its font entry);
// -1 when the file is not a usable font or the font table is full.
int EmbeddedFontFor(PdfContext* ctx, const std::string& path) {
  for (std::size_t i = 0; i < ctx->embedded.size(); ++i) {
    if (ctx->embedded[i].path == path) return ctx->embedded[i].font ? static_cast<int>(i) : -1;
  }
  EmbeddedFont e;
  e.path = path;
  e.font = TrueTypeFont::Load(path);
  if (e.font && static_cast<int>(ctx->fonts.size()) < ctx->fontLimit) {
    FontEntry f;
    f.resourceName = Printf("Fcpdf%d", static_cast<int>(ctx->fonts.size()));
    f.baseFont = e.font->postScriptName;
    f.requestedName = path;
    f.kind = 4;
    f.embedded = static_cast<int>(ctx->embedded.size());
    e.fontEntry = static_cast<int>(ctx->fonts.size());
    e.glyphs = {0};
    e.cidOf[{0, {}}] = 0;
    e.text = {{}};
    ctx->fonts.push_back(std::move(f));
    cpdf_raiseVersion(ctx, 1, 3);
  } else {
    e.font.reset();
  }
  ctx->embedded.push_back(std::move(e));
  return ctx->embedded.back().font ? static_cast<int>(ctx->embedded.size()) - 1 : -1;
}

// A glyph as the page shows it: its code, the width the font dictionary
// gives it, and where the shaper put it (thousandths of the em).
struct PlacedGlyph {
  std::uint16_t cid = 0;
  int width = 0;
  double advance = 0, xOffset = 0, yOffset = 0;
};

// A stretch of text in one embedded font, its glyphs left to right.
struct GlyphRun {
  int embedded = -1;
  std::vector<PlacedGlyph> glyphs;
};

// Whether a text needs an embedded font under the current font.
bool NeedsUnicode(const PdfContext* ctx, const FontEntry* f, std::string_view text) {
  if (ctx->hexText || !f || f->kind == 3 || f->kind == 4) return false;
  bool complete = true;
  EncodeText(text, f->encodingIndex, UsesBuiltinCodes(*f), &complete);
  return !complete;
}

// The subset number of a glyph showing `text`, given out on first use.
std::uint16_t CidFor(EmbeddedFont& ef, std::uint16_t glyph, const std::u32string& text) {
  const auto it = ef.cidOf.find({glyph, text});
  if (it != ef.cidOf.end()) return it->second;
  if (ef.glyphs.size() >= 0xFFFF) return 0;  // a subset holds at most 65535 glyphs
  const auto cid = static_cast<std::uint16_t>(ef.glyphs.size());
  ef.cidOf.emplace(std::make_pair(glyph, text), cid);
  ef.glyphs.push_back(glyph);
  ef.text.push_back(text);
  return cid;
}

// The text shaped into runs of embedded fonts; false when no Unicode font
// can be had.
bool UnicodeRuns(PdfContext* ctx, const FontEntry& f, std::string_view text, std::vector<GlyphRun>* runs) {
  std::vector<ShapedRun> shaped;
  if (!ShapeText(text, StyleOf(f), &shaped)) return false;
  runs->clear();
  for (const ShapedRun& s : shaped) {
    const int e = EmbeddedFontFor(ctx, s.path);
    if (e < 0) return false;
    EmbeddedFont& ef = ctx->embedded[static_cast<std::size_t>(e)];
    if (runs->empty() || runs->back().embedded != e) runs->push_back({e, {}});
    for (const ShapedGlyph& g : s.glyphs) {
      PlacedGlyph p;
      p.cid = CidFor(ef, g.glyph, g.text);
      p.width = ef.font->Advance(g.glyph);
      p.advance = g.advance;
      p.xOffset = g.xOffset;
      p.yOffset = g.yOffset;
      runs->back().glyphs.push_back(p);
    }
  }
  return true;
}

double RunsWidth(const PdfContext* ctx, const std::vector<GlyphRun>& runs) {
  double sum = 0;
  for (const GlyphRun& r : runs) {
    for (const PlacedGlyph& g : r.glyphs) sum += ctx->charSpacing + g.advance * ctx->fontSize / 1000.0;
  }
  // Word spacing applies to one-byte codes only, so not to these.
  return (sum - ctx->charSpacing) * ctx->horizScaling * 0.01;
}

void UsePageFont(PdfContext* ctx, int entry) {
  if (ctx->currentPage <= 0 || ctx->currentPage >= static_cast<int>(ctx->pages.size())) return;
  PageRecord& page = ctx->pages[static_cast<std::size_t>(ctx->currentPage)];
  if (page.state != PageState::kStarted) return;
  if (std::find(page.fonts.begin(), page.fonts.end(), entry) == page.fonts.end()) page.fonts.push_back(entry);
}

// Shows the runs, each in its font at the current size, then selects the
// current font again for whatever follows. Glyphs go in TJ arrays whose
// numbers move each glyph from where its width puts it to where the shaper
// placed it; a glyph raised or lowered (a mark) is shown with a text rise.
void ShowRuns(PdfContext* ctx, const std::vector<GlyphRun>& runs) {
  static const char kHex[] = "0123456789ABCDEF";
  for (const GlyphRun& r : runs) {
    const int entry = ctx->embedded[static_cast<std::size_t>(r.embedded)].fontEntry;
    UsePageFont(ctx, entry);
    ctx->line = "/" + ctx->fonts[static_cast<std::size_t>(entry)].resourceName + " ";
    AppendFixed(ctx->line, ctx->fontSize, 3);
    ctx->line += " Tf\n";
    std::string array;  // the open TJ array's content
    double move = 0;    // the adjustment owed before the next glyph (TJ units)
    double rise = 0;    // the current text rise (points)
    auto flushMove = [&] {
      if (std::fabs(move) >= 0.005) {
        AppendFixed(array, move, 2);
        array += ' ';
      }
      move = 0;
    };
    auto closeArray = [&] {
      if (!array.empty() && array.back() == ' ') array.pop_back();
      if (!array.empty()) ctx->line += "[" + array + "] TJ\n";
      array.clear();
    };
    for (const PlacedGlyph& g : r.glyphs) {
      const double wantRise = g.yOffset * ctx->fontSize / 1000.0;
      if (std::fabs(wantRise - rise) >= 0.0005) {
        closeArray();
        AppendFixed(ctx->line, wantRise, 3);
        ctx->line += " Ts\n";
        rise = wantRise;
      }
      move -= g.xOffset;
      flushMove();
      array += '<';
      array += kHex[g.cid >> 12];
      array += kHex[(g.cid >> 8) & 15];
      array += kHex[(g.cid >> 4) & 15];
      array += kHex[g.cid & 15];
      array += "> ";
      move += g.width + g.xOffset - g.advance;
    }
    flushMove();
    closeArray();
    if (rise != 0) ctx->line += "0 Ts\n";
    EmitLine(ctx);
  }
  if (const FontEntry* f = CurrentFont(ctx)) {
    ctx->line = "/" + f->resourceName + " ";
    AppendFixed(ctx->line, ctx->fontSize, 3);
    ctx->line += " Tf\n";
    EmitLine(ctx);
  }
}

// The bytes a text is shown with: hex pairs in hex mode; otherwise UTF-8
// converted to the current font's encoding (CID fonts take the bytes as given).
std::string TextBytes(const PdfContext* ctx, std::string_view text) {
  if (ctx->hexText) {
    std::string out;
    int hi = -1;
    for (char c : text) {
      int v = -1;
      if (c >= '0' && c <= '9') v = c - '0';
      else if (c >= 'a' && c <= 'f') v = c - 'a' + 10;
      else if (c >= 'A' && c <= 'F') v = c - 'A' + 10;
      if (v < 0) continue;
      if (hi < 0) {
        hi = v;
      } else {
        out += static_cast<char>(hi * 16 + v);
        hi = -1;
      }
    }
    return out;
  }
  const FontEntry* f = CurrentFont(ctx);
  if (!f) return EncodeText(text, 0, false);
  if (f->kind == 3) return std::string(text);
  return EncodeText(text, f->encodingIndex, UsesBuiltinCodes(*f));
}

double BytesWidth(const PdfContext* ctx, std::string_view bytes) {
  const FontEntry* f = CurrentFont(ctx);
  if (!f) return 0;
  const double size = ctx->fontSize;
  double sum = 0;
  if (f->kind == 3) {
    for (std::size_t i = 0; i < bytes.size(); ++i) {
      const auto c = static_cast<unsigned char>(bytes[i]);
      if (c < 128) {
        sum += ctx->charSpacing + size / 2;
        if (c == 32) sum += ctx->wordSpacing;
      } else {
        sum += ctx->charSpacing + size;
        ++i;  // the pair's second byte
      }
    }
  } else {
    for (unsigned char c : bytes) {
      int w = 0;
      if (f->kind == 2) {
        const ExternalFont& ef = ctx->externalFonts[f->catalogueIndex - kBuiltinFontCount];
        if (c >= ef.firstChar && c <= ef.lastChar && c - ef.firstChar < static_cast<int>(ef.widths.size())) {
          w = ef.widths[c - ef.firstChar];
        }
      } else {
        w = BuiltinWidth(f->catalogueIndex, f->encodingIndex, c);
      }
      sum += ctx->charSpacing + w * size / 1000.0;
      if (c == 32) sum += ctx->wordSpacing;
    }
  }
  return (sum - ctx->charSpacing) * ctx->horizScaling * 0.01;
}

void ShowBytes(PdfContext* ctx, std::string_view bytes) {
  ctx->line = "(";
  ctx->line += EscapePageText(bytes);
  ctx->line += ") Tj\n";
  EmitLine(ctx);
}

void SetMatrix(PdfContext* ctx, double a, double b, double c, double d, double e, double f) {
  const double m[6] = {a, b, c, d, e, f};
  for (int i = 0; i < 6; ++i) ctx->tm[i] = m[i];
  ctx->line.clear();
  AppendMatrix(ctx->line, m);
  ctx->line += "Tm\n";
  EmitLine(ctx);
}

void PlaceAligned(PdfContext* ctx, double x, double y, double angle, int alignment, std::string_view text) {
  const double w = cpdf_textWidth(ctx, text);
  const double h = cpdf_textHeight(ctx);
  const int a = alignment < 0 ? 0 : alignment;
  const double o = (a % 3) * w / 2;
  const double r = ((a / 3) % 3) * h / 2;
  const double rad = angle * kDegToRad;
  const double c = std::cos(rad), s = std::sin(rad);
  SetMatrix(ctx, c, s, -s, c, x - (o * c - r * s), y - (r * c + o * s));
  cpdf_showText(ctx, text);
}

// Loads an external font by name: the PFM in the current folder, then in
// the PFM folder, then through the font map. 0 on success.
int LoadExternalFont(PdfContext* ctx, std::string_view name, ExternalFont* font) {
  const std::string n(name);
  std::string pfm = n + ".pfm", pfb = n + ".pfb";
  int rc = ReadPFM(pfm, font);
  if (rc != 0) {
    pfm = ctx->pfmFolder + "\\" + n + ".pfm";
    pfb = ctx->pfbFolder + "\\" + n + ".pfb";
    rc = ReadPFM(pfm, font);
  }
  if (rc != 0) {
    std::string mapPfm, mapPfb;
    const int found = FindInFontMap(ctx->fontMapFile, name, &mapPfm, &mapPfb);
    if (found == 1) {
      Report(ctx, 1, kSource,
             Printf("_cpdf_loadExternalFont() Fontmap file not found: %s", ctx->fontMapFile.c_str()));
      return 1;
    }
    if (found == 2) {
      Report(ctx, 1, kSource,
             Printf("_cpdf_loadExternalFont() Syntax error in fontmap file: %s", ctx->fontMapFile.c_str()));
      return 1;
    }
    if (found != 0) {
      Report(ctx, 1, kSource, Printf("_cpdf_loadExternalFont() Font not found: %s", n.c_str()));
      return 1;
    }
    pfm = mapPfm;
    pfb = mapPfb;
    if (ReadPFM(pfm, font) != 0) {
      Report(ctx, 1, kSource,
             Printf("_cpdf_loadExternalFont() Fontmap file %s or PFM file %s for %s is invalid.",
                    ctx->fontMapFile.c_str(), pfm.c_str(), n.c_str()));
      return 1;
    }
  }
  if (ReadPFB(pfb, font) != 0) return 1;
  font->name = n;
  return 0;
}

void FillDescriptor(FontDescriptor* d, const BuiltinFont& b) {
  d->ascent = b.ascent;
  d->capHeight = b.capHeight;
  d->descent = b.descent;
  d->flags = b.flags;
  for (int i = 0; i < 4; ++i) d->bbox[i] = b.bbox[i];
  d->fontName = b.name;
  d->italicAngle = b.italicAngle;
  d->stemV = b.stemV;
  d->stemH = b.stemH;
  d->xHeight = b.xHeight;
  d->missingWidth = b.missingWidth;
  d->leading = b.leading;
  d->maxWidth = b.maxWidth;
  d->avgWidth = b.avgWidth;
  d->style = b.style;
}

void WriteLine(PdfContext* ctx, const std::string& s) {
  OutText(ctx, s);
  OutText(ctx, "\n");
}

void WriteDescriptor(PdfContext* ctx, int object, const FontDescriptor& d, bool cid, int fontFileObject) {
  BeginObject(ctx, object);
  WriteLine(ctx, "<<");
  WriteLine(ctx, "/Type /FontDescriptor");
  WriteLine(ctx, Printf("/Ascent %d", d.ascent));
  WriteLine(ctx, Printf("/CapHeight %d", d.capHeight));
  WriteLine(ctx, Printf("/Descent %d", d.descent));
  WriteLine(ctx, Printf("/Flags %ld", d.flags));
  WriteLine(ctx, Printf("/FontBBox [%d %d %d %d]", d.bbox[0], d.bbox[1], d.bbox[2], d.bbox[3]));
  WriteLine(ctx, "/FontName /" + d.fontName);
  std::string angle = "/ItalicAngle ";
  AppendGeneral(angle, d.italicAngle);
  WriteLine(ctx, angle);
  WriteLine(ctx, Printf("/StemV %d", d.stemV));
  WriteLine(ctx, Printf("/XHeight %d", d.xHeight));
  if (cid) {
    WriteLine(ctx, Printf("/StemH %d", d.stemH));
    WriteLine(ctx, Printf("/MissingWidth %d", d.missingWidth));
    WriteLine(ctx, Printf("/Leading %d", d.leading));
    WriteLine(ctx, Printf("/MaxWidth %d", d.maxWidth));
    WriteLine(ctx, Printf("/AvgWidth %d", d.avgWidth));
    WriteLine(ctx, "/Style << " + d.style + " >>");
  }
  if (fontFileObject > 0) WriteLine(ctx, Printf("/FontFile %d 0 R", fontFileObject));
  OutText(ctx, ">>\nendobj\n");
}

}  // namespace

void cpdf_beginTextBlock(PdfContext* ctx) {
  ctx->line = "\n";
  if (ctx->saveAroundText) ctx->line += "q\n";
  ctx->line += "BT\n";
  EmitLine(ctx);
  ctx->savedThisBlock = ctx->saveAroundText;
  ctx->inTextBlock = true;
  for (int i = 0; i < 6; ++i) ctx->tm[i] = (i == 0 || i == 3) ? 1 : 0;
}

void cpdf_endTextBlock(PdfContext* ctx) {
  ctx->line = "ET\n";
  if (ctx->savedThisBlock) ctx->line += "Q\n";
  EmitLine(ctx);
  ctx->inTextBlock = false;
  ctx->saveAroundText = false;
  ctx->savedThisBlock = false;
}

void cpdf_setTextBlockSaveState(PdfContext* ctx, bool on) { ctx->saveAroundText = on; }
void cpdf_setHexTextMode(PdfContext* ctx, bool on) { ctx->hexText = on; }

int cpdf_selectFont(PdfContext* ctx, std::string_view name, const char* encoding, double size) {
  if (!ctx || ctx->fatal) return -1;
  std::string requested(name);
  int index = FindBuiltinFont(name);
  if (index < 0) {
    for (std::size_t i = 0; i < ctx->externalFonts.size(); ++i) {
      if (ctx->externalFonts[i].name == requested) index = kBuiltinFontCount + static_cast<int>(i);
    }
  }
  ExternalFont loaded;
  bool isNew = false;
  if (index < 0) {
    if (LoadExternalFont(ctx, name, &loaded) == 0) {
      isNew = true;
      index = kBuiltinFontCount + static_cast<int>(ctx->externalFonts.size());
    } else {
      Report(ctx, 1, kSource, Printf("Font not found: %s >> substituting Times-Roman.", requested.c_str()));
      index = kTimesRomanIndex;
      requested = "Times-Roman";
    }
  }
  int entry = -1;
  for (std::size_t i = 0; i < ctx->fonts.size(); ++i) {
    const FontEntry& f = ctx->fonts[i];
    const bool sameEncoding = encoding ? (f.hasEncoding && f.encoding == encoding) : !f.hasEncoding;
    if (f.requestedName == requested && sameEncoding) entry = static_cast<int>(i);
  }
  if (entry < 0) {
    if (static_cast<int>(ctx->fonts.size()) >= ctx->fontLimit) {
      Report(ctx, 1, kSource,
             Printf("Too many fonts in this PDF: %d. Increase limit by cpdf_open()",
                    static_cast<int>(ctx->fonts.size()) + 1));
      return -1;
    }
    if (isNew) ctx->externalFonts.push_back(std::move(loaded));
    FontEntry f;
    f.resourceName = Printf("Fcpdf%d", static_cast<int>(ctx->fonts.size()));
    f.requestedName = requested;
    f.catalogueIndex = index;
    f.hasEncoding = encoding != nullptr;
    if (encoding) f.encoding = encoding;
    f.encodingIndex = EncodingIndex(encoding);
    if (index < 14) f.kind = 0;
    else if (index < 41) f.kind = 1;
    else if (index < kBuiltinFontCount) f.kind = 3;
    else f.kind = 2;
    if (f.kind == 2) {
      const ExternalFont& ef = ctx->externalFonts[index - kBuiltinFontCount];
      f.baseFont = ef.baseFont;
      f.firstChar = ef.firstChar;
      f.lastChar = ef.lastChar;
    } else {
      const BuiltinFont& b = BuiltinFontAt(index);
      f.baseFont = b.name;
      f.firstChar = 32;
      f.lastChar = 255;
      if (f.kind != 0) FillDescriptor(&f.descriptor, b);
      if (f.kind == 3) {
        f.ordering = b.ordering;
        f.cidWidths = "[1 [500] 2 95 500]";
        cpdf_raiseVersion(ctx, 1, 2);
      }
    }
    ctx->fonts.push_back(std::move(f));
    entry = static_cast<int>(ctx->fonts.size()) - 1;
  }
  ctx->currentFont = entry;
  ctx->fontSize = size;
  if (ctx->currentPage > 0 && ctx->currentPage < static_cast<int>(ctx->pages.size())) {
    auto& used = ctx->pages[ctx->currentPage].fonts;
    bool have = false;
    for (int u : used) have = have || u == entry;
    if (!have && ctx->pages[ctx->currentPage].state == PageState::kStarted) used.push_back(entry);
  }
  ctx->line = "/" + ctx->fonts[entry].resourceName + " ";
  AppendFixed(ctx->line, size, 3);
  ctx->line += " Tf\n";
  EmitLine(ctx);
  return 0;
}

void cpdf_setCharacterSpacing(PdfContext* ctx, double spacing) {
  ctx->charSpacing = spacing;
  ctx->line.clear();
  AppendFixed(ctx->line, spacing, 4);
  ctx->line += " Tc\n";
  EmitLine(ctx);
}

void cpdf_setWordSpacing(PdfContext* ctx, double spacing) {
  ctx->wordSpacing = spacing;
  ctx->line.clear();
  AppendFixed(ctx->line, spacing, 4);
  ctx->line += " Tw\n";
  EmitLine(ctx);
}

void cpdf_setHorizontalScaling(PdfContext* ctx, double percent) {
  ctx->horizScaling = percent;
  ctx->line.clear();
  AppendFixed(ctx->line, percent, 4);
  ctx->line += " Tz\n";
  EmitLine(ctx);
}

void cpdf_writeTextMatrix(PdfContext* ctx, double a, double b, double c, double d, double e, double f) {
  SetMatrix(ctx, a, b, c, d, e, f);
}

void cpdf_showText(PdfContext* ctx, std::string_view text) {
  if (const FontEntry* f = CurrentFont(ctx); NeedsUnicode(ctx, f, text)) {
    std::vector<GlyphRun> runs;
    if (UnicodeRuns(ctx, *f, text, &runs)) return ShowRuns(ctx, runs);
  }
  ShowBytes(ctx, TextBytes(ctx, text));
}

void ShowEncodedText(PdfContext* ctx, std::string_view text) { cpdf_showText(ctx, text); }

void cpdf_placeText(PdfContext* ctx, double x, double y, double angle, std::string_view text) {
  const double rad = angle * kDegToRad;
  const double c = std::cos(rad), s = std::sin(rad);
  SetMatrix(ctx, c, s, -s, c, x, y);
  cpdf_showText(ctx, text);
}

void cpdf_placeTextAligned(PdfContext* ctx, double x, double y, double angle, int alignment, std::string_view text) {
  PlaceAligned(ctx, x, y, angle, alignment, text);
}

void cpdf_placeTextInDomain(PdfContext* ctx, double x, double y, double angle, std::string_view text) {
  cpdf_placeText(ctx, cpdf_mapX(ctx, x), cpdf_mapY(ctx, y), angle, text);
}

void cpdf_placeTextAlignedInDomain(PdfContext* ctx, double x, double y, double angle, int alignment,
                                   std::string_view text) {
  PlaceAligned(ctx, cpdf_mapX(ctx, x), cpdf_mapY(ctx, y), angle, alignment, text);
}

double cpdf_textWidth(PdfContext* ctx, std::string_view text) {
  if (const FontEntry* f = CurrentFont(ctx); NeedsUnicode(ctx, f, text)) {
    std::vector<GlyphRun> runs;
    if (UnicodeRuns(ctx, *f, text, &runs)) return RunsWidth(ctx, runs);
  }
  return BytesWidth(ctx, TextBytes(ctx, text));
}

double cpdf_textHeight(PdfContext* ctx) {
  const FontEntry* f = CurrentFont(ctx);
  if (!f) return 0;
  int cap = 0;
  if (f->kind == 2) cap = ctx->externalFonts[f->catalogueIndex - kBuiltinFontCount].descriptor.capHeight;
  else cap = BuiltinFontAt(f->catalogueIndex).capHeight;
  return cap * 0.001 * ctx->fontSize;
}

void cpdf_setFontMapFile(PdfContext* ctx, std::string_view path) { ctx->fontMapFile = std::string(path.substr(0, 1023)); }

void cpdf_setFontDirectories(PdfContext* ctx, std::string_view pfmFolder, std::string_view pfbFolder) {
  ctx->pfmFolder = std::string(pfmFolder.substr(0, 1020));
  ctx->pfbFolder = std::string(pfbFolder.substr(0, 1020));
}

// ---- font objects ------------------------------------------------------------------

int NumberFontObjects(PdfContext* ctx, int next) {
  for (ExternalFont& ef : ctx->externalFonts) ef.descriptorWritten = false;
  std::vector<bool> described(ctx->externalFonts.size(), false);
  for (FontEntry& f : ctx->fonts) {
    f.object = next++;
    f.descriptorObject = 0;
    f.cidObject = 0;
    if (f.kind == 1) {
      f.descriptorObject = next++;
    } else if (f.kind == 3) {
      f.cidObject = next++;
      f.descriptorObject = next++;
    } else if (f.kind == 4) {
      EmbeddedFont& e = ctx->embedded[static_cast<std::size_t>(f.embedded)];
      f.cidObject = next++;
      f.descriptorObject = e.descriptorObject = next++;
      e.fileObject = next++;
      e.toUnicodeObject = next++;
    } else if (f.kind == 2) {
      // One descriptor and font file per external font, the first time it is met.
      const std::size_t e = static_cast<std::size_t>(f.catalogueIndex - kBuiltinFontCount);
      ExternalFont& ef = ctx->externalFonts[e];
      if (!described[e]) {
        described[e] = true;
        ef.descriptor.object = next++;
        ef.fileObject = next++;
      }
      f.descriptorObject = ef.descriptor.object;
    }
  }
  return next;
}

namespace {

// A stream object's dictionary entries and bytes, deflated when the
// document compresses.
void WriteStream(PdfContext* ctx, int object, const std::string& extra, const std::string& bytes) {
  std::string body = bytes;
  bool deflated = false;
  if (ctx->compress) {
    uLongf size = compressBound(static_cast<uLong>(bytes.size()));
    std::string out(size, '\0');
    if (compress2(reinterpret_cast<Bytef*>(out.data()), &size, reinterpret_cast<const Bytef*>(bytes.data()),
                  static_cast<uLong>(bytes.size()), Z_DEFAULT_COMPRESSION) == Z_OK) {
      out.resize(size);
      body = std::move(out);
      deflated = true;
    }
  }
  BeginObject(ctx, object);
  OutText(ctx, "<<\n");
  WriteLine(ctx, Printf("/Length %ld", static_cast<long>(body.size())));
  if (deflated) WriteLine(ctx, "/Filter /FlateDecode");
  OutText(ctx, extra);
  OutText(ctx, ">>\nstream\n");
  OutBytes(ctx, body);
  OutText(ctx, "\nendstream\nendobj\n");
}

// Six capital letters that tell this subset from others of the font.
std::string SubsetTag(const std::vector<std::uint16_t>& glyphs, const std::string& name) {
  std::uint32_t h = 2166136261u;
  auto mix = [&h](unsigned v) { h = (h ^ v) * 16777619u; };
  for (std::uint16_t g : glyphs) mix(g);
  for (char c : name) mix(static_cast<unsigned char>(c));
  std::string tag;
  for (int i = 0; i < 6; ++i, h /= 26) tag += static_cast<char>('A' + h % 26);
  return tag;
}

// The CMap from codes to the characters they show, for text extraction.
std::string ToUnicodeCMap(const EmbeddedFont& e) {
  auto hex16 = [](unsigned v) { return Printf("%04X", v); };
  std::string m =
      "/CIDInit /ProcSet findresource begin\n12 dict begin\nbegincmap\n"
      "/CIDSystemInfo << /Registry (Adobe) /Ordering (UCS) /Supplement 0 >> def\n"
      "/CMapName /Adobe-Identity-UCS def\n/CMapType 2 def\n"
      "1 begincodespacerange\n<0000> <FFFF>\nendcodespacerange\n";
  std::vector<std::string> pairs;
  for (std::size_t cid = 1; cid < e.text.size(); ++cid) {
    // The further glyphs of a cluster stand for no characters of their own.
    if (e.text[cid].empty()) continue;
    std::string u;
    for (const char32_t c : e.text[cid]) {
      if (c >= 0x10000) {
        const char32_t v = c - 0x10000;
        u += hex16(0xD800 + (v >> 10)) + hex16(0xDC00 + (v & 0x3FF));
      } else {
        u += hex16(c);
      }
    }
    pairs.push_back("<" + hex16(static_cast<unsigned>(cid)) + "> <" + u + ">\n");
  }
  for (std::size_t i = 0; i < pairs.size(); i += 100) {
    const std::size_t n = std::min<std::size_t>(100, pairs.size() - i);
    m += Printf("%d beginbfchar\n", static_cast<int>(n));
    for (std::size_t k = 0; k < n; ++k) m += pairs[i + k];
    m += "endbfchar\n";
  }
  m += "endcmap\nCMapName currentdict /CMap defineresource pop\nend\nend\n";
  return m;
}

void WriteEmbeddedFont(PdfContext* ctx, const FontEntry& f) {
  EmbeddedFont& e = ctx->embedded[static_cast<std::size_t>(f.embedded)];
  const std::size_t shown = e.glyphs.size();  // the composites' parts come after these
  std::vector<std::uint16_t> glyphs = e.glyphs;
  const std::string file = e.font->Subset(&glyphs);
  const TrueTypeFont& t = *e.font;
  const std::string name = SubsetTag(glyphs, t.postScriptName) + "+" + t.postScriptName;

  BeginObject(ctx, f.object);
  OutText(ctx, "<<\n");
  WriteLine(ctx, "/Type /Font");
  WriteLine(ctx, "/Subtype /Type0");
  WriteLine(ctx, "/Name /" + f.resourceName);
  WriteLine(ctx, "/BaseFont /" + name);
  WriteLine(ctx, "/Encoding /Identity-H");
  WriteLine(ctx, Printf("/DescendantFonts [ %d 0 R ]", f.cidObject));
  WriteLine(ctx, Printf("/ToUnicode %d 0 R", e.toUnicodeObject));
  OutText(ctx, ">>\nendobj\n");

  BeginObject(ctx, f.cidObject);
  OutText(ctx, "<<\n");
  WriteLine(ctx, "/Type /Font");
  WriteLine(ctx, "/Subtype /CIDFontType2");
  WriteLine(ctx, "/BaseFont /" + name);
  WriteLine(ctx, "/CIDSystemInfo << /Registry (Adobe) /Ordering (Identity) /Supplement 0 >>");
  WriteLine(ctx, Printf("/FontDescriptor %d 0 R", e.descriptorObject));
  std::string w = "/W [0 [";
  for (std::size_t cid = 0; cid < shown; ++cid) {
    AppendInt(w, t.Advance(e.glyphs[cid]));
    w += (cid + 1) % 16 == 0 ? '\n' : ' ';
  }
  w += "]]";
  WriteLine(ctx, w);
  WriteLine(ctx, "/CIDToGIDMap /Identity");
  OutText(ctx, ">>\nendobj\n");

  BeginObject(ctx, e.descriptorObject);
  OutText(ctx, "<<\n");
  WriteLine(ctx, "/Type /FontDescriptor");
  WriteLine(ctx, "/FontName /" + name);
  WriteLine(ctx, Printf("/Flags %d", t.fixedPitch ? 5 : 4));  // symbolic (codes are glyph numbers)
  WriteLine(ctx, Printf("/FontBBox [%d %d %d %d]", t.bbox[0], t.bbox[1], t.bbox[2], t.bbox[3]));
  std::string angle = "/ItalicAngle ";
  AppendGeneral(angle, t.italicAngle);
  WriteLine(ctx, angle);
  WriteLine(ctx, Printf("/Ascent %d", t.ascent));
  WriteLine(ctx, Printf("/Descent %d", t.descent));
  WriteLine(ctx, Printf("/CapHeight %d", t.capHeight));
  WriteLine(ctx, "/StemV 80");
  WriteLine(ctx, Printf("/FontFile2 %d 0 R", e.fileObject));
  OutText(ctx, ">>\nendobj\n");

  WriteStream(ctx, e.fileObject, Printf("/Length1 %ld\n", static_cast<long>(file.size())), file);
  WriteStream(ctx, e.toUnicodeObject, "", ToUnicodeCMap(e));
}

}  // namespace

void WriteFontObjects(PdfContext* ctx) {
  for (const FontEntry& f : ctx->fonts) {
    if (f.kind == 4) {
      WriteEmbeddedFont(ctx, f);
      continue;
    }
    const bool symbolic = f.catalogueIndex == kSymbolIndex || f.catalogueIndex == kZapfDingbatsIndex;
    BeginObject(ctx, f.object);
    OutText(ctx, "<<\n");
    WriteLine(ctx, "/Type /Font");
    WriteLine(ctx, f.kind == 3 ? "/Subtype /Type0" : "/Subtype /Type1");
    WriteLine(ctx, "/Name /" + f.resourceName);
    WriteLine(ctx, "/BaseFont /" + f.baseFont);
    if (f.hasEncoding && !symbolic) WriteLine(ctx, "/Encoding /" + f.encoding);
    if (f.kind == 1 || f.kind == 2) {
      WriteLine(ctx, Printf("/FirstChar %d", f.firstChar));
      WriteLine(ctx, Printf("/LastChar %d", f.lastChar));
      std::string w = "/Widths [";
      int n = 0;
      for (int c = f.firstChar; c <= f.lastChar; ++c) {
        int width = 0;
        if (f.kind == 2) {
          const ExternalFont& ef = ctx->externalFonts[f.catalogueIndex - kBuiltinFontCount];
          const int i = c - ef.firstChar;
          if (i >= 0 && i < static_cast<int>(ef.widths.size())) width = ef.widths[i];
        } else {
          width = BuiltinWidth(f.catalogueIndex, f.encodingIndex, c);
        }
        AppendInt(w, width);
        w += ' ';
        if (++n % 16 == 0) w += '\n';
      }
      w += "]";
      WriteLine(ctx, w);
      WriteLine(ctx, Printf("/FontDescriptor %d 0 R", f.descriptorObject));
    }
    if (f.kind == 3) WriteLine(ctx, Printf("/DescendantFonts [ %d 0 R ]", f.cidObject));
    OutText(ctx, ">>\nendobj\n");

    if (f.kind == 1) {
      WriteDescriptor(ctx, f.descriptorObject, f.descriptor, false, 0);
    } else if (f.kind == 3) {
      BeginObject(ctx, f.cidObject);
      OutText(ctx, "<<\n");
      WriteLine(ctx, "/Type /Font");
      WriteLine(ctx, "/Subtype /CIDFontType2");
      WriteLine(ctx, "/BaseFont /" + f.baseFont);
      WriteLine(ctx, Printf("/FontDescriptor %d 0 R", f.descriptorObject));
      WriteLine(ctx, "/CIDSystemInfo << " + f.ordering + " >>");
      WriteLine(ctx, Printf("/DW %d", f.defaultWidth));
      WriteLine(ctx, "/W " + f.cidWidths);
      OutText(ctx, ">>\nendobj\n");
      WriteDescriptor(ctx, f.descriptorObject, f.descriptor, true, 0);
    } else if (f.kind == 2) {
      ExternalFont& ef = ctx->externalFonts[f.catalogueIndex - kBuiltinFontCount];
      if (!ef.descriptorWritten) {
        ef.descriptorWritten = true;
        WriteDescriptor(ctx, ef.descriptor.object, ef.descriptor, false, ef.fileObject);
        BeginObject(ctx, ef.fileObject);
        OutText(ctx, "<<\n");
        WriteLine(ctx, Printf("/Length %ld", ef.length1 + ef.length2 + ef.length3));
        WriteLine(ctx, Printf("/Length1 %ld", ef.length1));
        WriteLine(ctx, Printf("/Length2 %ld", ef.length2));
        WriteLine(ctx, Printf("/Length3 %ld", ef.length3));
        OutText(ctx, ">>\nstream\n");
        OutBytes(ctx, ef.pfb);
        OutText(ctx, "\nendstream\nendobj\n");
      }
    }
  }
}

}  // namespace vexa::pdf
