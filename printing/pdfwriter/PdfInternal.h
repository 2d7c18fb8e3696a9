// The document context and the pieces the writer's files share (not a
// public header: callers use PdfWriter.h).
#pragma once

#include <cstdint>
#include <cstdio>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/base/File.h"
#include "printing/pdfwriter/FontCatalogue.h"
#include "printing/pdfwriter/MemoryStream.h"
#include "printing/pdfwriter/PdfWriter.h"

namespace vexa::pdf {

inline constexpr const char* kSource = "KvPDF";
inline constexpr double kDegToRad = 0.017453292522222223;

enum class PageState { kNotStarted, kStarted, kFinished };

struct PlotDomain {
  double x = 0, y = 0, width = 0, height = 0;
  double xmin = 0, xmax = 1, ymin = 0, ymax = 1;
  bool xLog = false, yLog = false;
  PdfAxisTicks xTicks, yTicks;
  std::string meshDash = "[2 3] 0";
  double meshLineWidth = 0.15;
};

struct PageRecord {
  PageState state = PageState::kNotStarted;
  int rotation = 0;
  std::string mediaBox;
  std::string cropBox;
  MemoryStream content;
  std::string compressed;  // the deflated content, once the page is finished
  bool isCompressed = false;
  int pageObject = 0;
  int contentObject = 0;
  std::vector<int> fonts;        // indexes into the font table, each once
  std::vector<int> images;       // indexes into the image table, each once
  std::vector<int> annotations;  // indexes into the annotation table
  double duration = 0;
  std::string transition;
  PlotDomain* domain = nullptr;  // the page's default domain
};

struct FontDescriptor {
  int ascent = 0, capHeight = 0, descent = 0;
  long flags = 0;
  int bbox[4] = {0, 0, 0, 0};
  std::string fontName;
  double italicAngle = 0;
  int stemV = 0, stemH = 0, xHeight = 0;
  // CID fonts only.
  int missingWidth = 0, leading = 0, maxWidth = 0, avgWidth = 0;
  std::string style;
  int fontFile = -1;  // index of the external font record holding the file
  int object = 0;
};

// An external Type 1 font: metrics from its PFM, program from its PFB.
struct ExternalFont {
  std::string name;      // the name it was asked for
  std::string baseFont;  // the PostScript name from the PFM
  int firstChar = 32, lastChar = 255;
  std::vector<int> widths;  // lastChar - firstChar + 1 entries
  FontDescriptor descriptor;
  std::string pfb;  // the three segments, carriage returns of the ASCII ones made line feeds
  long length1 = 0, length2 = 0, length3 = 0;
  int fileObject = 0;
  bool descriptorWritten = false;
};

class TrueTypeFont;

// A Unicode TrueType font embedded as a subset CID font (Identity-H): the
// document's codes are glyph numbers of the subset, given out in the order
// the document first shows each glyph. A glyph that stands for different
// characters in different places (a shared form of two letters, the
// missing glyph) is copied into the subset once for each, so that every
// code reads back as the characters it showed.
struct EmbeddedFont {
  std::string path;
  std::shared_ptr<const TrueTypeFont> font;
  std::vector<std::uint16_t> glyphs;  // the font's glyph by subset number (0 first)
  std::map<std::pair<std::uint16_t, std::u32string>, std::uint16_t> cidOf;  // (glyph, characters) -> subset number
  std::vector<std::u32string> text;  // the characters each subset number shows
  int fontEntry = -1;                            // its entry in the font table
  int descriptorObject = 0, fileObject = 0, toUnicodeObject = 0;
};

struct FontEntry {
  int object = 0;
  std::string resourceName;
  std::string baseFont;
  std::string requestedName;
  bool hasEncoding = false;
  std::string encoding;
  int catalogueIndex = 0;  // 0 to 47 built-in, 48 and above external
  int encodingIndex = 3;
  int kind = 0;  // 0 base font, 1 built-in with descriptor, 2 external Type 1, 3 CID, 4 embedded TrueType
  int embedded = -1;  // kind 4: its index in the context's embedded fonts
  int firstChar = 32, lastChar = 255;
  FontDescriptor descriptor;  // kinds 1 and 3
  int descriptorObject = 0;
  int cidObject = 0;  // kind 3: the descendant font
  int defaultWidth = 1000;
  std::string ordering, cidWidths;
};

struct ImageEntry {
  int object = 0;
  std::string resourceName;
  int kind = 0;
  std::string path;
  int key = 0;
  int width = 0, height = 0;
  int bitsPerComponent = 8;
  int components = 3;
  int frameMarker = 0xC0;
  bool invert = false;
  bool imageMask = false;
  std::string data;  // the file's bytes, read once at placement
};

struct OutlineEntry {
  int object = 0;
  int page = 0;
  std::string destination;
  std::string title;
  int parent = -1, prev = -1, next = -1, first = -1, last = -1;
  bool open = false;
  int children = 0;
};

struct AnnotationEntry {
  int object = 0;
  PdfAnnotation a;
};

struct PdfContext {
  // limits
  int pageLimit = 100, fontLimit = 100, imageLimit = 100, annotationLimit = 100, objectLimit = 5000;
  // identity
  int id = -1;
  int major = 1, minor = 1;
  // life cycle
  bool opened = true;
  bool started = false;
  bool written = false;
  bool fatal = false;
  // output
  bool memoryOutput = true;
  std::string outputPath;
  MemoryStream document;  // in-memory output
  std::FILE* file = nullptr;                 // where the document goes: the output's stream, or stdout
  std::unique_ptr<base::OutputFile> output;  // file output, put in place of the target once complete
  bool writeFailed = false;
  long byteCount = 0;
  // pages
  std::vector<PageRecord> pages;  // index 0 unused
  int currentPage = 0;
  int highestPage = 0;
  std::vector<int> pageTree;
  // tables
  std::vector<FontEntry> fonts;
  std::vector<ExternalFont> externalFonts;
  std::vector<EmbeddedFont> embedded;
  std::vector<ImageEntry> images;
  std::vector<AnnotationEntry> annotations;
  std::vector<OutlineEntry> outline;
  int outlineFirst = -1, outlineLast = -1, outlineCount = 0;
  bool usesGray = false, usesColor = false, usesIndexed = false;
  std::vector<long> offsets;  // by object number
  // info texts
  std::string creator = "A KvPDF program";
  std::string title = "No Title";
  std::string subject = "None";
  std::string keywords = "KvPDF";
  std::string author;
  // viewer options
  int pageMode = 0, pageLayout = 0;
  bool pageModeSet = false, pageLayoutSet = false;
  PdfViewerOptions viewer;
  // compression
  bool compress = false;
  std::string filterName = "/FlateDecode";
  std::string compressCommand = "\\Bin\\zlibcomp";  // kept for its text; nothing runs it
  // font setup
  std::string fontMapFile = "fontmap.lst";
  std::string pfmFolder = "\\usr\\local\\font\\pfm";
  std::string pfbFolder = "\\usr\\local\\font\\pfb";
  // text state
  double fontSize = 12;
  double charSpacing = 0, wordSpacing = 0, horizScaling = 100;
  int currentFont = -1;
  double tm[6] = {1, 0, 0, 1, 0, 0};
  bool inTextBlock = false;
  bool saveAroundText = false;
  bool savedThisBlock = false;
  bool hexText = false;
  // drawing state
  double curX = 0, curY = 0;
  PlotDomain* domain = nullptr;
  std::vector<std::unique_ptr<PlotDomain>> domains;
  // errors
  PdfErrorHandler handler = nullptr;
  std::string lastError;
  // formatting
  std::string line;  // the one buffer every formatted line is built in
};

// Reports an error through the context's handler (a negative level fails
// the document).
void Report(PdfContext* ctx, int level, const char* source, const std::string& message);
// Reports through the module-wide message handler.
void Message(const char* source, int level, const std::string& message);
// printf-style formatting for messages (integers and texts only).
std::string Printf(const char* format, ...) __attribute__((format(printf, 1, 2)));

// The current page's content stream, or null when no page is current (or
// the current one is finished).
MemoryStream* Content(PdfContext* ctx);
// Appends the context's line buffer to the current page.
void EmitLine(PdfContext* ctx);

// Escapes a literal string's bytes: a backslash before "(", ")" and "\",
// a carriage return as "\r".
std::string EscapePageText(std::string_view bytes);
// A text string for the document's own dictionaries (info, outline,
// annotations): printable ASCII stays, "(", ")" and "\" are escaped and any
// other byte is written as an octal escape; text beyond ASCII is written as
// UTF-16BE with its byte-order mark.
std::string EscapeTextString(std::string_view utf8);

// Text handling shared with the graphics files.
void ShowEncodedText(PdfContext* ctx, std::string_view text);
// Font objects at document write: numbering and writing.
int NumberFontObjects(PdfContext* ctx, int next);
void WriteFontObjects(PdfContext* ctx);
int NumberImageObjects(PdfContext* ctx, int next);
void WriteImageObjects(PdfContext* ctx);
int NumberOutlineAndAnnotations(PdfContext* ctx, int next);
void WriteAnnotationObjects(PdfContext* ctx);
void WriteOutlineObjects(PdfContext* ctx);

// Output writers: both add to the byte count.
void OutText(PdfContext* ctx, std::string_view text);
void OutBytes(PdfContext* ctx, std::string_view bytes);
// Starts object `number`: records its offset and writes "%d 0 obj\n".
void BeginObject(PdfContext* ctx, int number);

// The default plot domain of a page of w x h points.
PlotDomain* NewDomain(PdfContext* ctx, double x, double y, double width, double height, double xmin, double xmax,
                      double ymin, double ymax, bool xLog, bool yLog);

// Font files.
struct PfmResult;
int ReadPFM(const std::string& path, ExternalFont* font);
int ReadPFB(const std::string& path, ExternalFont* font);
// Looks `name` up in the font map; 0 found, 1 no map file, 2 syntax error,
// 3 not listed.
int FindInFontMap(const std::string& mapFile, std::string_view name, std::string* pfm, std::string* pfb);

}  // namespace vexa::pdf
