// KvPDF: the small PDF writer of kvprint. A print product opens a document
// context, names the output, switches compression on, starts the document,
// starts and draws its pages (text in Type 1 fonts, paths, JPEG images) and
// writes the whole file at the end: header, catalog, outline root, page tree,
// procedure set, pages and their content streams, fonts, images,
// annotations, outline entries, information, cross-reference and trailer.
//
// Text crosses this interface as UTF-8. Numbers in content streams are
// written in the C locale whatever the process's locale says.
//
// Errors go to the context's error handler with a level and a source
// ("KvPDF", "ZLIB compress"): levels 1 and 2 make the operation return a
// failure code and the document goes on; a negative level is fatal: the
// document is failed and every later operation, and cpdf_writeAll, fail. The
// default handler keeps the messages for cpdf_lastError and never ends the
// process.
#pragma once

#include <memory>
#include <string>
#include <string_view>

namespace vexa::pdf {

struct PdfContext;
struct PlotDomain;

// Limits given at creation; 0 or below takes the default (pages 100, fonts
// 100, images 100, annotations 100, objects 5000).
struct PdfLimits {
  int pages = 0;
  int fonts = 0;
  int images = 0;
  int annotations = 0;
  int objects = 0;
};

struct PdfContextDeleter {
  void operator()(PdfContext* ctx) const;
};
using PdfContextPtr = std::unique_ptr<PdfContext, PdfContextDeleter>;

// Called with (context, level, source, message). Replacing it returns the
// previous handler; a null handler restores the default.
using PdfErrorHandler = void (*)(PdfContext* ctx, int level, const char* source, const std::string& message);
// The module-wide message handler of the font and JPEG readers and of
// allocation failures: (source, level, message). None by default: such
// messages are dropped unless one is installed (the operation's own error
// still reaches the context).
using PdfMessageHandler = void (*)(const char* source, int level, const std::string& message);

// ---- document and pages -----------------------------------------------------

PdfContextPtr cpdf_open(int contextId = -1, const PdfLimits* limits = nullptr);
void cpdf_release(PdfContextPtr& ctx);

PdfErrorHandler cpdf_setErrorHandler(PdfContext* ctx, PdfErrorHandler handler);
PdfMessageHandler cpdf_setGlobalMessageHandler(PdfMessageHandler handler);
// The last message the default handler kept ("source: message"), "" if none.
const std::string& cpdf_lastError(const PdfContext* ctx);
// True once a fatal error happened.
bool cpdf_failed(const PdfContext* ctx);

// The output file; without one the document is built in memory. An empty
// path takes the name "_cpdf123-<id>.pdf"; "-" is the standard output.
void cpdf_setOutputPath(PdfContext* ctx, std::string_view path);
void cpdf_useCompression(PdfContext* ctx, bool on);
// The version becomes at least major.minor.
void cpdf_raiseVersion(PdfContext* ctx, int major, int minor);
// Info texts (Creator, Title, Subject: up to 62 characters; Keywords: 126).
void cpdf_setCreator(PdfContext* ctx, std::string_view text);
void cpdf_setTitle(PdfContext* ctx, std::string_view text);
void cpdf_setSubject(PdfContext* ctx, std::string_view text);
void cpdf_setKeywords(PdfContext* ctx, std::string_view text);

// Viewer options of the catalog. Page mode (taken modulo 4): 0 UseNone,
// 1 UseOutlines, 2 UseThumbs, 3 FullScreen; layout (modulo 4): 0
// SinglePage, 1 OneColumn, 2 TwoColumnLeft, 3 TwoColumnRight.
struct PdfViewerOptions {
  bool hideToolbar = false;
  bool hideMenubar = false;
  bool hideWindowUI = false;
  bool fitWindow = false;
  bool centerWindow = false;
  int nonFullScreenPageMode = 0;  // 0 to 2, for full-screen mode
};
void cpdf_setPageMode(PdfContext* ctx, int mode);
void cpdf_setPageLayout(PdfContext* ctx, int layout);
void cpdf_setViewerPreferences(PdfContext* ctx, const PdfViewerOptions& options);

// 0 on success, -1 on failure.
int cpdf_startDocument(PdfContext* ctx);
// Page numbers run from 1 to the page limit. Rotation code 2 gives 90
// degrees, 1 gives 270, any other 0. Boxes are "x0 y0 x1 y1" texts.
// 0 on success (also for a page already started, which becomes current),
// -1 or -2 on failure.
int cpdf_startPage(PdfContext* ctx, int page, int rotationCode, std::string_view mediaBox,
                   std::string_view cropBox);
int cpdf_switchPage(PdfContext* ctx, int page);
int cpdf_closePage(PdfContext* ctx, int page);
// Display duration (seconds, above 0 to write it) and transition dictionary
// text of the current page.
void cpdf_setPageDuration(PdfContext* ctx, double seconds);
void cpdf_setPageTransition(PdfContext* ctx, std::string_view transition);
// Writes the document and closes the output; 0 on success, -1 on failure
// (nothing is left at the output path then). Does nothing the second time.
int cpdf_writeAll(PdfContext* ctx);
// The document built in memory (empty with file output).
std::string_view cpdf_getBufferForPDF(const PdfContext* ctx);

// ---- text and fonts -----------------------------------------------------------

void cpdf_beginTextBlock(PdfContext* ctx);
void cpdf_endTextBlock(PdfContext* ctx);
// Saves the graphics state around the next text block.
void cpdf_setTextBlockSaveState(PdfContext* ctx, bool on);
// In hex mode the texts of cpdf_showText and the placing operations are
// hex digit pairs giving the bytes to show.
void cpdf_setHexTextMode(PdfContext* ctx, bool on);
// Selects the current font. `encoding` null means none. Returns 0, or -1
// when the font table is full (the current font is kept).
int cpdf_selectFont(PdfContext* ctx, std::string_view name, const char* encoding, double size);
void cpdf_setCharacterSpacing(PdfContext* ctx, double spacing);
void cpdf_setWordSpacing(PdfContext* ctx, double spacing);
void cpdf_setHorizontalScaling(PdfContext* ctx, double percent);
void cpdf_writeTextMatrix(PdfContext* ctx, double a, double b, double c, double d, double e, double f);
void cpdf_showText(PdfContext* ctx, std::string_view text);
void cpdf_placeText(PdfContext* ctx, double x, double y, double angle, std::string_view text);
// Alignment 0 to 8: modulo 3 picks left, centre, right; divided by 3
// bottom (baseline), middle, top.
void cpdf_placeTextAligned(PdfContext* ctx, double x, double y, double angle, int alignment,
                           std::string_view text);
void cpdf_placeTextInDomain(PdfContext* ctx, double x, double y, double angle, std::string_view text);
void cpdf_placeTextAlignedInDomain(PdfContext* ctx, double x, double y, double angle, int alignment,
                                   std::string_view text);
// Width in points at the current font, size and spacing.
double cpdf_textWidth(PdfContext* ctx, std::string_view text);
// Height used for vertical alignment: the cap height at the current size.
double cpdf_textHeight(PdfContext* ctx);
void cpdf_setFontMapFile(PdfContext* ctx, std::string_view path);
void cpdf_setFontDirectories(PdfContext* ctx, std::string_view pfmFolder, std::string_view pfbFolder);

// ---- graphics -------------------------------------------------------------------

void cpdf_setGrayFill(PdfContext* ctx, double gray);
void cpdf_setGrayStroke(PdfContext* ctx, double gray);
void cpdf_setGray(PdfContext* ctx, double gray);
void cpdf_setRgbFill(PdfContext* ctx, double r, double g, double b);
void cpdf_setRgbStroke(PdfContext* ctx, double r, double g, double b);
void cpdf_setRgbColor(PdfContext* ctx, double r, double g, double b);
void cpdf_moveTo(PdfContext* ctx, double x, double y);
void cpdf_lineTo(PdfContext* ctx, double x, double y);
void cpdf_curveTo(PdfContext* ctx, double x1, double y1, double x2, double y2, double x3, double y3);
void cpdf_rectangle(PdfContext* ctx, double x, double y, double w, double h);
void cpdf_closePath(PdfContext* ctx);
void cpdf_strokePath(PdfContext* ctx);
void cpdf_fillPath(PdfContext* ctx);
void cpdf_saveState(PdfContext* ctx);
void cpdf_restoreState(PdfContext* ctx);
// A dash text such as "[2 3] 0"; the solid line is "[] 0".
void cpdf_setDash(PdfContext* ctx, std::string_view dash);
void cpdf_concatMatrix(PdfContext* ctx, double a, double b, double c, double d, double e, double f);
void cpdf_translateOrigin(PdfContext* ctx, double x, double y);
void cpdf_rotateAxes(PdfContext* ctx, double degrees);
void cpdf_setLineWidth(PdfContext* ctx, double width);
void cpdf_drawCircle(PdfContext* ctx, double x, double y, double r);

// Plot domains map user units onto the page. Every started page has a
// default domain over its media box with 72 points per unit (inches from
// the page origin). Domains belong to the context.
PlotDomain* cpdf_createPlotDomain(PdfContext* ctx, double x, double y, double width, double height, double xmin,
                                  double xmax, double ymin, double ymax, bool xLog = false, bool yLog = false);
// Makes a domain current; returns the previous one.
PlotDomain* cpdf_setPlotDomain(PdfContext* ctx, PlotDomain* domain);
// Automatic tick spacing of a domain axis (computed at creation).
struct PdfAxisTicks {
  double start = 0;
  double end = 0;
  double minor = 0;
  double major = 0;
};
PdfAxisTicks cpdf_domainTicks(const PlotDomain* domain, bool yAxis);
// The mesh of the current domain at its major ticks (dash "[2 3] 0", width
// 0.15), in its own graphics state.
void cpdf_drawMesh(PdfContext* ctx);
double cpdf_mapX(PdfContext* ctx, double x);
double cpdf_mapY(PdfContext* ctx, double y);
void cpdf_moveToInDomain(PdfContext* ctx, double x, double y);
void cpdf_lineToInDomain(PdfContext* ctx, double x, double y);
void cpdf_rectangleInDomain(PdfContext* ctx, double x, double y, double w, double h);
void cpdf_drawCircleInDomain(PdfContext* ctx, double x, double y, double r);

// ---- images ----------------------------------------------------------------------

enum PdfImageKind { kPdfImageJpeg = 0, kPdfImageTiff = 3, kPdfImageRaw = 4, kPdfImagePdf = 5, kPdfImageMemory = 6 };
enum PdfImageFlags { kPdfImageSaveState = 1, kPdfImageMask = 2, kPdfImageInvert = 4 };
// Places an image (only JPEG files have a reader). A width or height of 0
// is derived from the other or from the scales. 0 on success; 1 when the
// image table is full, -1 when the file cannot be read, -2 when it is not a
// JPEG file, -3 when it is a JPEG that cannot be embedded (arithmetic
// coding, lossless or hierarchical frames, precision other than 8 bits, two
// components), -4 for a kind without a reader.
int cpdf_drawImage(PdfContext* ctx, std::string_view path, int kind, double x, double y, double angle,
                   double width, double height, double xScale, double yScale, int flags);

// ---- outline and annotations ------------------------------------------------------

// Adds an outline entry under `parent` (-1 for the top level). With a target
// page above 0 the entry goes to that page with `destination` (such as
// "/Fit" or "/XYZ 0 792 0"); without one `destination` is an action
// dictionary's body. Returns the entry's index, or -1.
int cpdf_addBookmark(PdfContext* ctx, int parent, int page, std::string_view destination, std::string_view title,
                     bool open);

enum PdfAnnotationKind { kPdfAnnotText = 0, kPdfAnnotUri = 1, kPdfAnnotPage = 2, kPdfAnnotAction = 3 };
struct PdfAnnotation {
  int kind = kPdfAnnotText;
  double x0 = 0, y0 = 0, x1 = 0, y1 = 0;  // rectangle in points
  int targetPage = 0;                     // page links
  int flags = 0;
  double r = 0, g = 0, b = 1;
  std::string border;       // e.g. "[0 0 1]"
  std::string borderStyle;  // the body of a /BS dictionary
  std::string text;         // destination, URI or action body, by kind
  std::string title;        // text notes
  std::string contents;     // text notes
};
// Adds an annotation to the current page; 0, or -1 when the table is full.
int cpdf_addAnnotation(PdfContext* ctx, const PdfAnnotation& annotation);

}  // namespace vexa::pdf
