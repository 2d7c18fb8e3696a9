// Text and fonts: selection and substitution, escaping, encodings, widths
// against the AFM metrics they were generated from, aligned text where
// pdftotext finds it, external Type 1 fonts through a font map, and CID fonts.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>

#include "platform/base/Path.h"
#include "printing/pdfwriter/FontCatalogue.h"
#include "printing/pdfwriter/PdfWriter.h"
#include "printing/testsupport/PdfCheck.h"

using namespace vexa::pdf;
using namespace vexa::pdftest;

namespace {

constexpr const char* kLetter = "0 0 612 792";
constexpr const char* kUrw = "/usr/share/fonts/type1/urw-base35";

struct Doc {
  PdfContextPtr doc = cpdf_open(0);
  PdfContext* ctx = doc.get();
  Doc() {
    cpdf_startDocument(ctx);
    cpdf_startPage(ctx, 1, 0, kLetter, kLetter);
  }
  std::string Write() {
    EXPECT_EQ(cpdf_writeAll(ctx), 0) << cpdf_lastError(ctx);
    return std::string(cpdf_getBufferForPDF(ctx));
  }
};

std::string Afm(const std::string& font) { return std::string(kUrw) + "/" + font + ".afm"; }

// Glyph name -> width, and code -> glyph name, from an AFM file.
struct AfmMetrics {
  std::map<std::string, int> widths;
  std::map<int, std::string> names;
};
AfmMetrics ReadAfm(const std::string& path) {
  AfmMetrics m;
  std::ifstream in(path);
  std::string line;
  while (std::getline(in, line)) {
    // "C <code> ; WX <width> ; N <name> ; ..."
    std::istringstream f(line);
    std::string c, semi1, wx, semi2, n, name;
    int code = 0, width = 0;
    if (f >> c >> code >> semi1 >> wx >> width >> semi2 >> n >> name && c == "C" && wx == "WX" && n == "N") {
      m.widths[name] = width;
      if (code >= 0) m.names[code] = name;
    }
  }
  return m;
}

TEST(PdfFonts, SameNameAndEncodingShareOneEntry) {
  Doc d;
  cpdf_beginTextBlock(d.ctx);
  EXPECT_EQ(cpdf_selectFont(d.ctx, "Times-Roman", "WinAnsiEncoding", 12), 0);
  EXPECT_EQ(cpdf_selectFont(d.ctx, "Times-Roman", "WinAnsiEncoding", 14), 0);
  EXPECT_EQ(cpdf_selectFont(d.ctx, "Times-Roman", "MacRomanEncoding", 12), 0);
  EXPECT_EQ(cpdf_selectFont(d.ctx, "Times-Roman", nullptr, 12), 0);
  cpdf_endTextBlock(d.ctx);
  const std::string pdf = d.Write();
  EXPECT_NE(pdf.find("/Fcpdf0 12.000 Tf\n/Fcpdf0 14.000 Tf\n/Fcpdf1 12.000 Tf\n/Fcpdf2 12.000 Tf\n"),
            std::string::npos);
  EXPECT_EQ(pdf.find("/Fcpdf3"), std::string::npos);
  EXPECT_NE(pdf.find("/Name /Fcpdf1\n/BaseFont /Times-Roman\n/Encoding /MacRomanEncoding\n>>"), std::string::npos);
  EXPECT_NE(pdf.find("/Name /Fcpdf2\n/BaseFont /Times-Roman\n>>"), std::string::npos) << "no encoding: none written";
}

TEST(PdfFonts, AnUnknownFontBecomesTimesRoman) {
  ScratchDir dir;
  Doc d;
  cpdf_setFontMapFile(d.ctx, dir / "no-such-fontmap.lst");
  cpdf_beginTextBlock(d.ctx);
  EXPECT_EQ(cpdf_selectFont(d.ctx, "NoSuchFont-Bold", "WinAnsiEncoding", 12), 0);
  EXPECT_EQ(cpdf_lastError(d.ctx), "KvPDF: Font not found: NoSuchFont-Bold >> substituting Times-Roman.");
  EXPECT_EQ(cpdf_selectFont(d.ctx, "Times-Roman", "WinAnsiEncoding", 12), 0);
  cpdf_endTextBlock(d.ctx);
  const std::string pdf = d.Write();
  EXPECT_NE(pdf.find("/BaseFont /Times-Roman"), std::string::npos);
  EXPECT_EQ(pdf.find("/Fcpdf1"), std::string::npos) << "the substitute is the same entry as Times-Roman";
}

TEST(PdfFonts, TheFontTableHasALimit) {
  PdfLimits limits;
  limits.fonts = 1;
  PdfContextPtr doc = cpdf_open(0, &limits);
  cpdf_startDocument(doc.get());
  cpdf_startPage(doc.get(), 1, 0, kLetter, kLetter);
  EXPECT_EQ(cpdf_selectFont(doc.get(), "Helvetica", nullptr, 10), 0);
  EXPECT_EQ(cpdf_selectFont(doc.get(), "Courier", nullptr, 10), -1);
  EXPECT_EQ(cpdf_lastError(doc.get()), "KvPDF: Too many fonts in this PDF: 2. Increase limit by cpdf_open()");
}

TEST(PdfText, StringsAreEscapedAndEncoded) {
  Doc d;
  cpdf_beginTextBlock(d.ctx);
  cpdf_selectFont(d.ctx, "Helvetica", "WinAnsiEncoding", 10);
  cpdf_showText(d.ctx, "a(b)c\\d\re");
  cpdf_showText(d.ctx, "Zürich € Ωmega 日");
  cpdf_setHexTextMode(d.ctx, true);
  cpdf_showText(d.ctx, "48 65 6c 6C 6f-28 7");
  cpdf_setHexTextMode(d.ctx, false);
  cpdf_selectFont(d.ctx, "Helvetica", "StandardEncoding", 10);
  cpdf_showText(d.ctx, "it’s");
  cpdf_endTextBlock(d.ctx);
  const std::string pdf = d.Write();
  EXPECT_NE(pdf.find("(a\\(b\\)c\\\\d\\re) Tj\n"), std::string::npos);
  // Letters WinAnsi lacks: the line goes to embedded Unicode fonts as glyph
  // codes, and Helvetica is selected again after it; nothing becomes "?".
  EXPECT_EQ(pdf.find("?mega"), std::string::npos);
  const std::size_t hex = pdf.find(" Tf\n[<");
  ASSERT_NE(hex, std::string::npos);
  EXPECT_NE(pdf.find("] TJ\n/Fcpdf0 10.000 Tf\n", hex), std::string::npos);
  EXPECT_NE(pdf.find("(Hello\\() Tj\n"), std::string::npos);
  EXPECT_NE(pdf.find("(it's) Tj\n"), std::string::npos) << "the right quote is code 39 in StandardEncoding";
}

TEST(PdfText, WidthsFollowTheFontAndTheSpacing) {
  Doc d;
  cpdf_selectFont(d.ctx, "Helvetica", "WinAnsiEncoding", 10);
  EXPECT_NEAR(cpdf_textWidth(d.ctx, "a b"), 13.9, 1e-9);  // 556 + 278 + 556
  EXPECT_NEAR(cpdf_textHeight(d.ctx), 7.29, 1e-9);
  cpdf_setCharacterSpacing(d.ctx, 1);
  cpdf_setWordSpacing(d.ctx, 2);
  cpdf_setHorizontalScaling(d.ctx, 50);
  EXPECT_NEAR(cpdf_textWidth(d.ctx, "a b"), (13.9 + 3 + 2 - 1) * 0.5, 1e-9);
  cpdf_setCharacterSpacing(d.ctx, 0);
  cpdf_setWordSpacing(d.ctx, 0);
  cpdf_setHorizontalScaling(d.ctx, 100);
  cpdf_selectFont(d.ctx, "Courier", nullptr, 20);
  EXPECT_NEAR(cpdf_textWidth(d.ctx, "x's"), 36, 1e-9);
  cpdf_selectFont(d.ctx, "HeiseiMin-W3-90ms-RKSJ-H", "90ms-RKSJ-H", 10);
  EXPECT_NEAR(cpdf_textWidth(d.ctx, "ab\x82\xa0"), 5 + 5 + 10, 1e-9);
}

TEST(PdfFonts, BuiltInWidthsAreTheAfmWidths) {
  VEXA_NEED_FILE(Afm("NimbusSans-Regular"));
  const std::pair<const char*, const char*> fonts[] = {
      {"Helvetica", "NimbusSans-Regular"},       {"Helvetica-BoldOblique", "NimbusSans-BoldItalic"},
      {"Times-Roman", "NimbusRoman-Regular"},    {"Times-Italic", "NimbusRoman-Italic"},
      {"Courier-Bold", "NimbusMonoPS-Bold"},     {"Palatino-Roman", "P052-Roman"},
      {"Bookman-Light", "URWBookman-Light"},     {"AvantGarde-Demi", "URWGothic-Demi"},
      {"NewCenturySchlbk-Italic", "C059-Italic"}, {"Helvetica-Narrow", "NimbusSansNarrow-Regular"},
      {"ZapfChancery-MediumItalic", "Z003-MediumItalic"}};
  // WinAnsi codes and the glyphs they name, beyond ASCII.
  const std::pair<int, const char*> high[] = {{0x80, "Euro"},     {0x91, "quoteleft"}, {0x99, "trademark"},
                                              {0xC4, "Adieresis"}, {0xE9, "eacute"},   {0xFF, "ydieresis"}};
  for (const auto& [name, file] : fonts) {
    const AfmMetrics m = ReadAfm(Afm(file));
    ASSERT_FALSE(m.widths.empty()) << file;
    const int index = FindBuiltinFont(name);
    ASSERT_GE(index, 0) << name;
    for (int code = 33; code < 127; ++code) {
      if (code == 39 || code == 96) continue;  // quotesingle and grave in WinAnsi, quotes in the AFM's codes
      ASSERT_TRUE(m.names.count(code)) << file << " " << code;
      EXPECT_EQ(BuiltinWidth(index, 0, code), m.widths.at(m.names.at(code))) << name << " code " << code;
    }
    for (const auto& [code, glyph] : high) EXPECT_EQ(BuiltinWidth(index, 0, code), m.widths.at(glyph)) << name << " " << glyph;
    EXPECT_EQ(BuiltinWidth(index, 3, 39), m.widths.at("quoteright")) << name << " StandardEncoding";
    EXPECT_EQ(BuiltinWidth(index, 1, 0x8A), m.widths.at("adieresis")) << name << " MacRomanEncoding";
  }
  const AfmMetrics symbol = ReadAfm(Afm("StandardSymbolsPS"));
  EXPECT_EQ(BuiltinWidth(kSymbolIndex, 0, 'a'), symbol.widths.at("alpha"));
}

TEST(PdfFonts, WidthsArraysBreakAfterSixteenNumbers) {
  Doc d;
  cpdf_selectFont(d.ctx, "Palatino-Bold", "WinAnsiEncoding", 10);
  const std::string pdf = d.Write();
  const std::size_t at = pdf.find("/Widths [");
  ASSERT_NE(at, std::string::npos);
  const std::string array = pdf.substr(at + 9, pdf.find(']', at) - at - 9);
  std::istringstream lines(array);
  std::string line;
  int count = 0, total = 0;
  while (std::getline(lines, line)) {
    std::istringstream nums(line);
    int n = 0, v;
    while (nums >> v) ++n;
    if (n) {
      EXPECT_EQ(n, 16);
    }
    total += n;
    ++count;
  }
  EXPECT_EQ(total, 224);
  EXPECT_NE(pdf.find("/FirstChar 32\n/LastChar 255\n"), std::string::npos);
  EXPECT_NE(pdf.find("/Type /FontDescriptor\n/Ascent "), std::string::npos);
  EXPECT_NE(pdf.find("/FontName /Palatino-Bold\n/ItalicAngle 0\n"), std::string::npos);
}

TEST(PdfText, AlignedTextSitsWhereTheWidthsPutIt) {
  VEXA_NEED_CHECKERS("pdftotext", "qpdf");
  ScratchDir dir;
  const std::string out = dir / "aligned.pdf";
  PdfContextPtr doc = cpdf_open(0);
  PdfContext* ctx = doc.get();
  cpdf_setOutputPath(ctx, out);
  cpdf_startDocument(ctx);
  cpdf_startPage(ctx, 1, 0, kLetter, kLetter);
  cpdf_beginTextBlock(ctx);
  cpdf_selectFont(ctx, "Helvetica", "WinAnsiEncoding", 20);
  const double w = cpdf_textWidth(ctx, "Centre");
  const double h = cpdf_textHeight(ctx);
  cpdf_placeTextAligned(ctx, 306, 396, 0, 4, "Centre");
  cpdf_placeTextAligned(ctx, 540, 600, 0, 2, "Right");
  const double wr = cpdf_textWidth(ctx, "Right");
  cpdf_placeTextAlignedInDomain(ctx, 1, 2, 0, 0, "Inches");
  cpdf_placeTextAligned(ctx, 300, 200, 0, 8, "TopRight");
  const double wt = cpdf_textWidth(ctx, "TopRight");
  cpdf_endTextBlock(ctx);
  ASSERT_EQ(cpdf_writeAll(ctx), 0);
  EXPECT_TRUE(QpdfClean(out));
  std::map<std::string, Word> words;
  for (const Word& word : Words(out, 1)) words[word.text] = word;
  ASSERT_EQ(words.size(), 4u);
  EXPECT_NEAR(words["Centre"].xMin, 306 - w / 2, 0.01);
  EXPECT_NEAR(words["Centre"].xMax, 306 + w / 2, 0.01);
  EXPECT_NEAR(words["Right"].xMax, 540, 0.01);
  EXPECT_NEAR(words["Right"].xMin, 540 - wr, 0.01);
  EXPECT_NEAR(words["Inches"].xMin, 72, 0.01);
  EXPECT_NEAR(words["TopRight"].xMax, 300, 0.01);
  EXPECT_NEAR(words["TopRight"].xMin, 300 - wt, 0.01);
  // The baselines follow from the text matrices: the centred text sits h/2
  // below its point, the top-aligned one h below.
  EXPECT_NEAR(words["Inches"].yMax - words["Centre"].yMax, (792 - 144) - (792 - (396 - h / 2)), 0.05);
  EXPECT_NEAR(words["TopRight"].yMax - words["Centre"].yMax, (792 - (200 - h)) - (792 - (396 - h / 2)), 0.05);
}

// A PFM for the ASCII glyphs of an AFM, laid out as the published header.
std::string MakePfm(const AfmMetrics& m, const std::string& psName, int capHeight, int xHeight, bool truncated) {
  std::string d(147 + 52, '\0');
  auto put16 = [&](std::size_t at, int v) {
    d[at] = static_cast<char>(v & 0xFF);
    d[at + 1] = static_cast<char>((v >> 8) & 0xFF);
  };
  auto put32 = [&](std::size_t at, std::uint32_t v) {
    put16(at, static_cast<int>(v & 0xFFFF));
    put16(at + 2, static_cast<int>(v >> 16));
  };
  const std::size_t etm = 147, driver = etm + 52;
  d += psName;
  d += '\0';
  const std::size_t extent = d.size();
  int maxWidth = 0;
  for (int c = 32; c <= 126; ++c) {
    const int w = m.names.count(c) ? m.widths.at(m.names.at(c)) : 0;
    maxWidth = std::max(maxWidth, w);
    d += static_cast<char>(w & 0xFF);
    d += static_cast<char>(w >> 8);
  }
  put16(0, 0x100);
  put32(2, static_cast<std::uint32_t>(d.size()));
  put16(74, 729);          // dfAscent
  d[90] = 0x21;            // variable pitch, swiss
  put16(91, 500);          // dfAvgWidth
  put16(93, maxWidth);     // dfMaxWidth
  d[95] = 32;              // dfFirstChar
  d[96] = 126;             // dfLastChar
  put16(117, 30);          // dfSizeFields
  put32(119, etm);         // dfExtMetricsOffset
  put32(123, static_cast<std::uint32_t>(extent));
  put32(139, static_cast<std::uint32_t>(driver));
  put16(etm, 52);
  put16(etm + 14, capHeight);
  put16(etm + 16, xHeight);
  put16(etm + 20, 218);
  if (truncated) d.resize(extent + 20);  // the widths run past the end
  return d;
}

// The PFB segments of a font program stored as one binary eexec file.
std::string MakePfb(const std::string& t1) {
  const std::size_t eexec = t1.find("currentfile eexec");
  std::size_t bin = eexec + 17;
  while (bin < t1.size() && (t1[bin] == '\r' || t1[bin] == '\n')) ++bin;
  std::size_t zeros = t1.find(std::string(64, '0'), bin);
  while (zeros > bin && (t1[zeros - 1] == '\r' || t1[zeros - 1] == '\n')) --zeros;
  const std::string parts[3] = {t1.substr(0, bin), t1.substr(bin, zeros - bin), t1.substr(zeros)};
  std::string out;
  for (int i = 0; i < 3; ++i) {
    out += '\x80';
    out += static_cast<char>(i == 1 ? 2 : 1);
    const auto n = static_cast<std::uint32_t>(parts[i].size());
    for (int k = 0; k < 4; ++k) out += static_cast<char>((n >> (8 * k)) & 0xFF);
    out += parts[i];
  }
  out += "\x80\x03";
  return out;
}

TEST(PdfFonts, AnExternalType1FontIsEmbeddedThroughTheFontMap) {
  VEXA_NEED_CHECKERS("pdffonts", "qpdf", "pdftotext");
  VEXA_NEED_FILE(std::string(kUrw) + "/NimbusSans-Regular.t1");
  const std::string t1 = Slurp(std::string(kUrw) + "/NimbusSans-Regular.t1");
  const AfmMetrics m = ReadAfm(Afm("NimbusSans-Regular"));
  ScratchDir dir;
  vexa::base::MakeDirs(dir / "pfm");
  vexa::base::MakeDirs(dir / "pfb");
  ASSERT_TRUE(vexa::base::WriteFileAtomic(dir / "pfm/nsr.pfm", MakePfm(m, "NimbusSans-Regular", 729, 524, false)));
  ASSERT_TRUE(vexa::base::WriteFileAtomic(dir / "pfb/nsr.pfb", MakePfb(t1)));
  ASSERT_TRUE(vexa::base::WriteFileAtomic(dir / "bad.pfm", MakePfm(m, "Broken", 729, 524, true)));
  ASSERT_TRUE(vexa::base::WriteFileAtomic(
      dir / "fontmap.lst", "# fonts of this test\n$Font_Directories (" + dir.path() + "/pfm) (" + dir.path() +
                               "/pfb)\n$Abs_Path_Prefix (/)\nOurSans (nsr.pfm) (nsr.pfb)\nBroken (" + dir.path() +
                               "/bad.pfm) (" + dir.path() + "/pfb/nsr.pfb)\n"));
  const std::string out = dir / "external.pdf";
  PdfContextPtr doc = cpdf_open(0);
  PdfContext* ctx = doc.get();
  cpdf_setOutputPath(ctx, out);
  cpdf_setFontMapFile(ctx, dir / "fontmap.lst");
  cpdf_startDocument(ctx);
  cpdf_startPage(ctx, 1, 0, kLetter, kLetter);
  cpdf_beginTextBlock(ctx);
  ASSERT_EQ(cpdf_selectFont(ctx, "oursans", "WinAnsiEncoding", 24), 0);
  EXPECT_EQ(cpdf_lastError(ctx), "") << "found through the map, its name compared without case";
  EXPECT_NEAR(cpdf_textWidth(ctx, "Type"), (611 + 500 + 556 + 556) * 24 / 1000.0, 1e-9);
  EXPECT_NEAR(cpdf_textHeight(ctx), 729 * 24 / 1000.0, 1e-9);
  cpdf_placeText(ctx, 72, 600, 0, "Embedded Type");
  ASSERT_EQ(cpdf_selectFont(ctx, "Broken", "WinAnsiEncoding", 12), 0);
  EXPECT_NE(cpdf_lastError(ctx).find("substituting Times-Roman"), std::string::npos);
  cpdf_endTextBlock(ctx);
  ASSERT_EQ(cpdf_writeAll(ctx), 0) << cpdf_lastError(ctx);
  EXPECT_TRUE(QpdfClean(out));
  std::string fonts;
  Shell("pdffonts " + Quote(out), &fonts);
  EXPECT_NE(fonts.find("NimbusSans-Regular                   Type 1            WinAnsi          yes no  no"),
            std::string::npos)
      << fonts;
  std::vector<std::string> texts;
  for (const Word& w : Words(out)) texts.push_back(w.text);
  EXPECT_EQ(texts, (std::vector<std::string>{"Embedded", "Type"}));
  const std::string pdf = Slurp(out);
  EXPECT_NE(pdf.find("/FirstChar 32\n/LastChar 126\n"), std::string::npos);
  EXPECT_NE(pdf.find("/Flags 6\n/FontBBox [-100 -223 "), std::string::npos);
}

TEST(PdfFonts, CidFontsAreType0WithADescendant) {
  VEXA_NEED_CHECKERS("qpdf");
  ScratchDir dir;
  const std::string out = dir / "cid.pdf";
  PdfContextPtr doc = cpdf_open(0);
  cpdf_setOutputPath(doc.get(), out);
  cpdf_startDocument(doc.get());
  cpdf_startPage(doc.get(), 1, 0, kLetter, kLetter);
  cpdf_beginTextBlock(doc.get());
  cpdf_selectFont(doc.get(), "STSong-Light", "UniGB-UCS2-H", 12);
  cpdf_endTextBlock(doc.get());
  ASSERT_EQ(cpdf_writeAll(doc.get()), 0);
  EXPECT_TRUE(QpdfClean(out));
  const std::string pdf = Slurp(out);
  EXPECT_EQ(pdf.rfind("%PDF-1.2", 0), 0u);
  EXPECT_NE(pdf.find("/Subtype /Type0\n/Name /Fcpdf0\n/BaseFont /STSong-Light\n/Encoding /UniGB-UCS2-H\n"
                     "/DescendantFonts [ 8 0 R ]\n"),
            std::string::npos);
  EXPECT_NE(pdf.find("/Subtype /CIDFontType2\n/BaseFont /STSong-Light\n/FontDescriptor 9 0 R\n"
                     "/CIDSystemInfo << /Registry (Adobe) /Ordering (GB1) /Supplement 2 >>\n/DW 1000\n"),
            std::string::npos);
  EXPECT_NE(pdf.find("/StemH 58\n/MissingWidth 500\n"), std::string::npos);
}

}  // namespace

namespace {

constexpr const char* kDejaVuSans = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";
constexpr const char* kDroid = "/usr/share/fonts/truetype/droid/DroidSansFallbackFull.ttf";

// Text beyond Windows Latin-1 is shown in embedded Unicode TrueType fonts
// (subsets, CID fonts with a ToUnicode map) and reads back as it was given;
// text the standard font's encoding holds keeps that font.
TEST(PdfText, TextBeyondLatin1ComesBackFromTheEmbeddedUnicodeFonts) {
  VEXA_NEED_CHECKERS("pdffonts", "qpdf", "pdftotext");
  VEXA_NEED_FILE(kDejaVuSans);
  VEXA_NEED_FILE(kDroid);
  ScratchDir dir;
  const std::string out = dir / "unicode.pdf";
  PdfContextPtr doc = cpdf_open(0);
  PdfContext* ctx = doc.get();
  cpdf_setOutputPath(ctx, out);
  cpdf_useCompression(ctx, true);
  cpdf_startDocument(ctx);
  cpdf_startPage(ctx, 1, 0, kLetter, kLetter);
  cpdf_beginTextBlock(ctx);
  struct Line {
    const char* font;
    std::string text;
  };
  const Line lines[] = {
      {"Helvetica", "Καλοκαίρι στην Κρήτη"},     // Greek
      {"Times-Roman", "夏天的海边 2026"},          // Chinese with digits
      {"Helvetica-Bold", "Лето в Москве"},       // Cyrillic
      {"Helvetica", "Zürich (Ελλάς) 北京"},       // Latin-1, Greek and Chinese in one line
      {"Times-Roman", "Plain café text"},         // Windows Latin-1 only
  };
  double y = 700;
  for (const Line& l : lines) {
    ASSERT_EQ(cpdf_selectFont(ctx, l.font, "WinAnsiEncoding", 20), 0);
    cpdf_placeTextAligned(ctx, 72, y, 0, 0, l.text);
    y -= 60;
  }
  // Widths follow the embedded fonts' own advances.
  cpdf_selectFont(ctx, "Helvetica", "WinAnsiEncoding", 10);
  EXPECT_GT(cpdf_textWidth(ctx, "北京北京"), cpdf_textWidth(ctx, "北京"));
  EXPECT_NEAR(cpdf_textWidth(ctx, "北京"), 20.0, 2.0);  // two full-width ideographs at 10 points
  cpdf_endTextBlock(ctx);
  ASSERT_EQ(cpdf_writeAll(ctx), 0) << cpdf_lastError(ctx);
  EXPECT_TRUE(QpdfClean(out));

  std::string text;
  ASSERT_EQ(Shell("pdftotext -enc UTF-8 " + Quote(out) + " -", &text), 0) << text;
  for (const Line& l : lines) EXPECT_NE(text.find(l.text), std::string::npos) << l.text << "\n" << text;

  std::string fonts;
  ASSERT_EQ(Shell("pdffonts " + Quote(out), &fonts), 0) << fonts;
  // Subsets of DejaVu (sans, serif, bold) and the Droid fallback, each an
  // embedded CID TrueType font with its ToUnicode map; the plain Latin-1
  // line keeps the standard Times-Roman, not embedded.
  for (const char* name : {"+DejaVuSans ", "+DejaVuSerif ", "+DejaVuSans-Bold ", "+DroidSansFallback"}) {
    const std::size_t at = fonts.find(name);
    ASSERT_NE(at, std::string::npos) << name << "\n" << fonts;
    const std::string row = fonts.substr(at, fonts.find('\n', at) - at);
    EXPECT_NE(row.find("CID TrueType      Identity-H       yes yes yes"), std::string::npos) << row;
  }
  EXPECT_NE(fonts.find("Times-Roman                          Type 1            WinAnsi          no  no  no"),
            std::string::npos)
      << fonts;
  // A subset: far smaller than the fonts it was taken from.
  EXPECT_LT(Slurp(out).size(), 200000u);
}

TEST(PdfText, Latin1TextEmbedsNoFont) {
  Doc d;
  cpdf_selectFont(d.ctx, "Helvetica", "WinAnsiEncoding", 12);
  cpdf_placeText(d.ctx, 72, 72, 0, "Ærøskøbing, façade, naïve — “quoted” 10 €");
  const std::string pdf = d.Write();
  EXPECT_EQ(pdf.find("FontFile2"), std::string::npos);
  EXPECT_EQ(pdf.find("/Type0"), std::string::npos);
}

// ---- shaped text: Hangul, Arabic and lines of both directions ----------------------

// A one-page document with one line of text placed at (x, 400) with an
// alignment; its width as the writer measured it.
struct OneLine {
  std::string path;
  double width = 0;
};
OneLine WriteOneLine(const ScratchDir& dir, const std::string& name, const char* font, double size, double x,
                     int alignment, const std::string& text) {
  OneLine line;
  line.path = dir / name;
  PdfContextPtr doc = cpdf_open(0);
  PdfContext* ctx = doc.get();
  cpdf_setOutputPath(ctx, line.path);
  cpdf_useCompression(ctx, true);
  cpdf_startDocument(ctx);
  cpdf_startPage(ctx, 1, 0, kLetter, kLetter);
  cpdf_beginTextBlock(ctx);
  EXPECT_EQ(cpdf_selectFont(ctx, font, "WinAnsiEncoding", size), 0);
  line.width = cpdf_textWidth(ctx, text);
  cpdf_placeTextAligned(ctx, x, 400, 0, alignment, text);
  cpdf_endTextBlock(ctx);
  EXPECT_EQ(cpdf_writeAll(ctx), 0) << cpdf_lastError(ctx);
  return line;
}

// pdftotext's text without the direction marks it puts around right-to-left
// stretches, and without surrounding white space.
std::string ExtractedText(const std::string& pdf) {
  std::string text;
  Shell("pdftotext -enc UTF-8 " + Quote(pdf) + " -", &text);
  const char* const marks[] = {"\u200E", "\u200F", "\u202A", "\u202B", "\u202C", "\u202D", "\u202E",
                               "\u2066", "\u2067", "\u2068", "\u2069", "\f"};
  for (const char* m : marks) {
    for (std::size_t at; (at = text.find(m)) != std::string::npos;) text.erase(at, std::strlen(m));
  }
  const std::size_t a = text.find_first_not_of(" \n");
  const std::size_t b = text.find_last_not_of(" \n");
  return a == std::string::npos ? std::string() : text.substr(a, b - a + 1);
}

// The PostScript names of the fonts pdffonts lists as embedded CID TrueType
// subsets with Identity-H codes and a ToUnicode map (the subset tag taken off).
std::vector<std::string> EmbeddedCidFonts(const std::string& pdf, std::string* listing) {
  Shell("pdffonts " + Quote(pdf), listing);
  std::vector<std::string> names;
  std::istringstream in(*listing);
  std::string row;
  while (std::getline(in, row)) {
    if (row.find("CID TrueType      Identity-H       yes yes yes") == std::string::npos) continue;
    const std::string name = row.substr(0, row.find(' '));
    const std::size_t plus = name.find('+');
    names.push_back(plus == std::string::npos ? name : name.substr(plus + 1));
  }
  return names;
}

// The PostScript names of the installed faces that fontconfig says have a character.
std::string FacesWith(char32_t c) {
  std::string out;
  char pattern[64];
  std::snprintf(pattern, sizeof pattern, ":charset=%x", static_cast<unsigned>(c));
  Shell("fc-list " + Quote(pattern) + " postscriptname", &out);
  return out;
}

// Korean and Arabic titles, each alone on its page as a title is: drawn in
// embedded subsets of faces that have every one of their characters (by
// fontconfig's own account), and read back by pdftotext in reading order
// (joined Arabic letters, the lam-alef ligature and a vowel mark included);
// the right edge of the drawn text is where the measured width puts it.
TEST(PdfText, KoreanAndArabicTitlesComeBackInReadingOrder) {
  VEXA_NEED_CHECKERS("pdffonts", "qpdf", "pdftotext", "fc-list");
  const std::pair<const char*, std::string> titles[] = {
      {"Helvetica", "여름 바다 2026"},
      {"Times-Bold", "제주도의 푸른 밤"},
      {"Helvetica", "صيف في البحر"},
      {"Times-Roman", "سلام عليكم 2026"},
      {"Helvetica-Bold", "بَيْت جميل"},
  };
  ScratchDir dir;
  int n = 0;
  for (const auto& [font, title] : titles) {
    SCOPED_TRACE(title);
    const OneLine line = WriteOneLine(dir, "title" + std::to_string(n++) + ".pdf", font, 24, 540, 2, title);
    EXPECT_TRUE(QpdfClean(line.path));
    EXPECT_EQ(ExtractedText(line.path), title);

    std::string listing;
    const std::vector<std::string> fonts = EmbeddedCidFonts(line.path, &listing);
    ASSERT_FALSE(fonts.empty()) << listing;
    for (std::size_t i = 0; i < title.size();) {
      const char32_t c = NextUtf8CodePoint(title, &i);
      if (c < 0x80) continue;
      const std::string faces = FacesWith(c);
      EXPECT_TRUE(std::any_of(fonts.begin(), fonts.end(),
                              [&](const std::string& f) { return faces.find(f) != std::string::npos; }))
          << "U+" << std::hex << static_cast<unsigned>(c) << " is in none of\n" << listing;
    }

    double left = 1e9, right = -1e9;
    for (const Word& w : Words(line.path, 1)) {
      left = std::min(left, w.xMin);
      right = std::max(right, w.xMax);
    }
    EXPECT_NEAR(right, 540, 0.05);
    EXPECT_NEAR(left, 540 - line.width, 0.05);
  }
}

// The letters of an Arabic word are joined: rendered, the word's ink has
// no blank column from one end to the other, where the same letters kept
// apart by zero-width non-joiners (their isolated forms) do.
TEST(PdfText, ArabicLettersAreJoined) {
  VEXA_NEED_CHECKERS("pdftoppm");
  ScratchDir dir;
  auto blankColumns = [&](const std::string& text) {
    const OneLine line = WriteOneLine(dir, "word.pdf", "Helvetica", 72, 100, 0, text);
    Raster r;
    EXPECT_TRUE(Render(line.path, 1, 72, &r));
    std::vector<bool> ink(static_cast<std::size_t>(r.width), false);
    for (int y = 0; y < r.height; ++y) {
      for (int x = 0; x < r.width; ++x) {
        if (r.at(x, y) < 128) ink[static_cast<std::size_t>(x)] = true;
      }
    }
    const auto first = std::find(ink.begin(), ink.end(), true);
    const auto last = std::find(ink.rbegin(), ink.rend(), true).base();
    EXPECT_LT(first, last) << "no ink for " << text;
    return first < last ? std::count(first, last, false) : -1;
  };
  EXPECT_EQ(blankColumns("بيت"), 0);
  EXPECT_GT(blankColumns("ب\u200Cي\u200Cت"), 0);
}

// A line of both directions is drawn in the bidi algorithm's order: in a
// left-to-right line, the number after Arabic words stays on their left;
// in a right-to-left line, the Latin words stand left of the Arabic one and
// keep their own order.
TEST(PdfText, MixedDirectionLinesFollowTheBidiOrder) {
  VEXA_NEED_CHECKERS("pdftotext");
  ScratchDir dir;
  auto find = [](const std::vector<Word>& words, const std::string& part) {
    for (const Word& w : words) {
      if (w.text.find(part) != std::string::npos) return w;
    }
    ADD_FAILURE() << "no word with " << part;
    return Word{};
  };
  {
    const OneLine line = WriteOneLine(dir, "ltr.pdf", "Helvetica", 20, 72, 0, "Summer صيف 2026 in Crete");
    const std::vector<Word> words = Words(line.path, 1);
    const Word summer = find(words, "Summer"), arabic = find(words, "ص"), year = find(words, "2026"),
               in = find(words, "in");
    EXPECT_LT(summer.xMax, year.xMin);
    EXPECT_LT(year.xMax, arabic.xMin);
    EXPECT_LT(arabic.xMax, in.xMin);
  }
  {
    const OneLine line = WriteOneLine(dir, "rtl.pdf", "Helvetica", 20, 72, 0, "مرحبا hello world");
    const std::vector<Word> words = Words(line.path, 1);
    const Word arabic = find(words, "م"), hello = find(words, "hello"), world = find(words, "world");
    EXPECT_LT(hello.xMax, world.xMin);
    EXPECT_LT(world.xMax, arabic.xMin);
  }
}

}  // namespace
