// The document context, the page life cycle, the object numbering and the
// structural objects, cross-reference table and trailer.
#include <zlib.h>

#include <cstdarg>
#include <cstdio>
#include <ctime>
#include <new>

#include "platform/base/Path.h"
#include "platform/base/Text.h"
#include "printing/pdfwriter/NumberFormat.h"
#include "printing/pdfwriter/PdfInternal.h"

namespace vexa::pdf {
namespace {

PdfMessageHandler g_messageHandler = nullptr;

// Any fixed line of bytes outside ASCII marks the file as binary.
constexpr char kBinaryLine[] = "%\xC2\xA5\xB1\xEB\xC4\xFE\xE7\xD5\xB5\xA5\xC3\xE2\xCF\xD3\xE9\xEB\xF1\xCB\xA0\xBA\xBF\xD7";
static_assert(sizeof(kBinaryLine) - 1 == 23, "the binary header line is 23 bytes");

void DefaultHandler(PdfContext* ctx, int level, const char* source, const std::string& message) {
  ctx->lastError = std::string(source) + ": " + message;
  (void)level;
}

// A text cut to a number of characters, never inside a UTF-8 sequence.
std::string Cut(std::string_view text, std::size_t chars) { return base::Utf8CutChars(text, chars); }

bool Usable(PdfContext* ctx) { return ctx && !ctx->fatal; }

PageRecord* Page(PdfContext* ctx, int page) {
  if (page < 1 || page >= static_cast<int>(ctx->pages.size())) return nullptr;
  return &ctx->pages[page];
}

// Deflates the page's content, once.
bool CompressPage(PdfContext* ctx, PageRecord& p) {
  if (!ctx->compress || p.isCompressed) return true;
  const std::string_view in = p.content.View();
  uLongf outLen = compressBound(static_cast<uLong>(in.size()));
  std::string out(outLen, '\0');
  z_stream zs{};
  int rc = deflateInit(&zs, Z_DEFAULT_COMPRESSION);
  if (rc == Z_OK) {
    zs.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(in.data()));
    zs.avail_in = static_cast<uInt>(in.size());
    zs.next_out = reinterpret_cast<Bytef*>(out.data());
    zs.avail_out = static_cast<uInt>(out.size());
    rc = deflate(&zs, Z_FINISH);
    outLen = zs.total_out;
    deflateEnd(&zs);
    if (rc == Z_STREAM_END) rc = Z_OK;
    else if (rc == Z_OK) rc = Z_BUF_ERROR;
  }
  if (rc != Z_OK) {
    Report(ctx, -1, "ZLIB compress", Printf("code=%d", rc));
    return false;
  }
  out.resize(outLen);
  p.compressed = std::move(out);
  p.isCompressed = true;
  p.content.Free();
  return true;
}

void FinishPage(PdfContext* ctx, PageRecord& p) {
  if (p.state != PageState::kStarted) return;
  CompressPage(ctx, p);
  p.state = PageState::kFinished;
}

void Line(PdfContext* ctx, std::string_view text) {
  OutText(ctx, text);
  OutText(ctx, "\n");
}

std::string LocalTimeStamp() {
  std::time_t now = std::time(nullptr);
  std::tm tm{};
  localtime_r(&now, &tm);
  char buf[32];
  std::snprintf(buf, sizeof buf, "%04d%02d%02d%02d%02d%02d", tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday,
                tm.tm_hour, tm.tm_min, tm.tm_sec);
  return buf;
}

const char* PageModeName(int mode) {
  static const char* const kNames[4] = {"UseNone", "UseOutlines", "UseThumbs", "FullScreen"};
  return kNames[((mode % 4) + 4) % 4];
}

const char* PageLayoutName(int layout) {
  static const char* const kNames[4] = {"SinglePage", "OneColumn", "TwoColumnLeft", "TwoColumnRight"};
  return kNames[((layout % 4) + 4) % 4];
}

void WriteCatalog(PdfContext* ctx) {
  BeginObject(ctx, 1);
  Line(ctx, "<<");
  Line(ctx, "/Type /Catalog");
  Line(ctx, Printf("/Pages %d 0 R", 3));
  Line(ctx, Printf("/Outlines %d 0 R", 2));
  if (ctx->pageModeSet) Line(ctx, Printf("/PageMode /%s", PageModeName(ctx->pageMode)));
  if (ctx->pageLayoutSet) Line(ctx, Printf("/PageLayout /%s", PageLayoutName(ctx->pageLayout)));
  const PdfViewerOptions& v = ctx->viewer;
  const bool fullScreen = ctx->pageModeSet && ((ctx->pageMode % 4) + 4) % 4 == 3;
  if (fullScreen || v.hideToolbar || v.hideMenubar || v.hideWindowUI || v.fitWindow || v.centerWindow) {
    Line(ctx, "/ViewerPreferences <<");
    if (v.hideToolbar) Line(ctx, "/HideToolbar true");
    if (v.hideMenubar) Line(ctx, "/HideMenubar true");
    if (v.hideWindowUI) Line(ctx, "/HideWindowUI true");
    if (v.fitWindow) Line(ctx, "/FitWindow true");
    if (v.centerWindow) Line(ctx, "/CenterWindow true");
    if (fullScreen) {
      const int m = v.nonFullScreenPageMode >= 0 && v.nonFullScreenPageMode <= 2 ? v.nonFullScreenPageMode : 0;
      Line(ctx, Printf("/NonFullScreenPageMode /%s", PageModeName(m)));
    }
    Line(ctx, ">>");
  }
  Line(ctx, ">>");
  OutText(ctx, "endobj\n");
}

void WriteOutlineRoot(PdfContext* ctx) {
  BeginObject(ctx, 2);
  Line(ctx, "<<");
  Line(ctx, "/Type /Outlines");
  Line(ctx, Printf("/Count %d", ctx->outlineCount));
  if (ctx->outlineFirst >= 0) {
    Line(ctx, Printf("/First %d 0 R", ctx->outline[ctx->outlineFirst].object));
    Line(ctx, Printf("/Last %d 0 R", ctx->outline[ctx->outlineLast].object));
  }
  Line(ctx, ">>");
  OutText(ctx, "endobj\n");
}

void WritePageTree(PdfContext* ctx) {
  BeginObject(ctx, 3);
  Line(ctx, "<<");
  Line(ctx, "/Type /Pages");
  Line(ctx, Printf("/Count %d", static_cast<int>(ctx->pageTree.size())));
  std::string kids = "/Kids [ ";
  for (int obj : ctx->pageTree) {
    AppendInt(kids, obj);
    kids += " 0 R ";
  }
  OutText(ctx, kids);
  Line(ctx, "]");
  Line(ctx, ">>");
  OutText(ctx, "endobj\n");
}

void WriteProcSet(PdfContext* ctx) {
  BeginObject(ctx, 4);
  if (ctx->images.empty()) {
    Line(ctx, "[/PDF /Text]");
  } else {
    std::string s = "[/PDF /Text ";
    if (ctx->usesGray) s += "/ImageB ";
    if (ctx->usesColor) s += "/ImageC ";
    if (ctx->usesIndexed) s += "/ImageI ";
    s += "]";
    Line(ctx, s);
  }
  OutText(ctx, "endobj\n");
}

void WritePage(PdfContext* ctx, const PageRecord& p) {
  BeginObject(ctx, p.pageObject);
  Line(ctx, "<<");
  Line(ctx, "/Type /Page");
  Line(ctx, Printf("/Parent %d 0 R", 3));
  Line(ctx, "/Resources <<");
  if (!p.fonts.empty()) {
    Line(ctx, "/Font <<");
    for (int f : p.fonts) Line(ctx, Printf("/%s %d 0 R", ctx->fonts[f].resourceName.c_str(), ctx->fonts[f].object));
    Line(ctx, ">>");
  }
  if (!p.images.empty()) {
    Line(ctx, "/XObject <<");
    for (int i : p.images) {
      Line(ctx, Printf("/%s %d 0 R", ctx->images[i].resourceName.c_str(), ctx->images[i].object));
    }
    Line(ctx, ">>");
  }
  Line(ctx, Printf("/ProcSet %d 0 R >>", 4));
  Line(ctx, "/MediaBox [" + p.mediaBox + "]");
  Line(ctx, "/CropBox [" + p.cropBox + "]");
  Line(ctx, Printf("/Rotate %d", p.rotation));
  Line(ctx, Printf("/Contents %d 0 R", p.contentObject));
  if (!p.annotations.empty()) {
    std::string s = "/Annots [ ";
    for (int a : p.annotations) {
      AppendInt(s, ctx->annotations[a].object);
      s += " 0 R ";
    }
    s += "]";
    Line(ctx, s);
  }
  if (p.duration > 0) {
    std::string s = "/Dur ";
    AppendFixed(s, p.duration, 3);
    Line(ctx, s);
  }
  if (!p.transition.empty()) Line(ctx, "/Trans << " + p.transition + " >>");
  Line(ctx, ">>");
  OutText(ctx, "endobj\n");
}

void WriteContent(PdfContext* ctx, const PageRecord& p) {
  BeginObject(ctx, p.contentObject);
  if (p.isCompressed) {
    OutText(ctx, Printf("<<\n/Length %ld\n/Filter [%s]\n>>\nstream\n", static_cast<long>(p.compressed.size()),
                        ctx->filterName.c_str()));
    OutBytes(ctx, p.compressed);
  } else {
    OutText(ctx, Printf("<</Length %d>>\nstream\n", static_cast<int>(p.content.size())));
    OutBytes(ctx, p.content.View());
  }
  OutText(ctx, "\nendstream\n");
  OutText(ctx, "endobj\n");
}

void WriteInfo(PdfContext* ctx, int number) {
  BeginObject(ctx, number);
  Line(ctx, "<<");
  Line(ctx, "/Creator (" + EscapeTextString(ctx->creator) + ")");
  Line(ctx, "/CreationDate (D:" + LocalTimeStamp() + ")");
  Line(ctx, Printf("/Producer ([%s %s] %s)", "KvPDF Library", "1.0", "Windows 9x/NT"));
  Line(ctx, "/Author (" + EscapeTextString("User: " + ctx->author) + ")");
  Line(ctx, "/Title (" + EscapeTextString(ctx->title) + ")");
  Line(ctx, "/Subject (" + EscapeTextString(ctx->subject) + ")");
  Line(ctx, "/Keywords (" + EscapeTextString(ctx->keywords) + ")");
  Line(ctx, ">>");
  OutText(ctx, "endobj\n");
}

// File output goes through the shared output helper: to a temporary file
// beside the target, renamed over it once the whole document is written, so
// a failed write never leaves half a document or destroys an earlier one; a
// device or pipe is written directly, and a link, a folder or a file the
// user may not write is refused. "-" is the standard output.
bool OpenOutput(PdfContext* ctx) {
  if (ctx->memoryOutput) {
    ctx->document.Clear();
    return true;
  }
  if (ctx->outputPath == "-") {
    ctx->file = stdout;
    return true;
  }
  ctx->output = std::make_unique<base::OutputFile>();
  if (!ctx->output->Open(base::ToNativePath(ctx->outputPath))) {
    // The output rules' reason (a link, another user's file) goes with it.
    const std::string why = ctx->output->Error();
    ctx->output.reset();
    Report(ctx, 2, kSource, Printf("Cannot open %s for PDF output: %s", ctx->outputPath.c_str(), why.c_str()));
    return false;
  }
  ctx->file = ctx->output->Stream();
  return true;
}

bool CloseOutput(PdfContext* ctx, bool keep) {
  if (ctx->memoryOutput) return keep;
  bool ok = keep && !ctx->writeFailed;
  if (ctx->file == stdout && std::fflush(stdout) != 0) ok = false;
  ctx->file = nullptr;
  if (ctx->output) {
    if (ok) {
      ok = ctx->output->Commit();
    } else {
      ctx->output->Discard();
    }
    ctx->output.reset();
  }
  if (keep && !ok) Report(ctx, 2, kSource, Printf("Cannot write PDF output to %s", ctx->outputPath.c_str()));
  return ok;
}

}  // namespace

// ---- shared helpers ------------------------------------------------------------

void Report(PdfContext* ctx, int level, const char* source, const std::string& message) {
  if (!ctx) return;
  (ctx->handler ? ctx->handler : DefaultHandler)(ctx, level, source, message);
  if (level < 0) ctx->fatal = true;
}

void Message(const char* source, int level, const std::string& message) {
  if (g_messageHandler) g_messageHandler(source, level, message);
}

std::string Printf(const char* format, ...) {
  va_list args;
  va_start(args, format);
  std::string out = vexa::base::FormatV(format, args);
  va_end(args);
  return out;
}

MemoryStream* Content(PdfContext* ctx) {
  if (!Usable(ctx)) return nullptr;
  PageRecord* p = Page(ctx, ctx->currentPage);
  if (!p || p->state != PageState::kStarted) return nullptr;
  if (!p->content.Valid()) {
    Report(ctx, 3, kSource,
           Printf("Corrupted memory stream: 0x%lx (%lu)", static_cast<unsigned long>(ctx->currentPage),
                  static_cast<unsigned long>(p->content.size())));
    return nullptr;
  }
  return &p->content;
}

void EmitLine(PdfContext* ctx) {
  if (MemoryStream* s = Content(ctx)) s->Append(ctx->line);
}

std::string EscapePageText(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size() + 8);
  for (char c : bytes) {
    if (c == '(' || c == ')' || c == '\\') {
      out += '\\';
      out += c;
    } else if (c == '\r') {
      out += "\\r";
    } else {
      out += c;
    }
  }
  return out;
}

std::string EscapeTextString(std::string_view utf8) {
  bool ascii = true;
  for (unsigned char c : utf8) ascii = ascii && c < 0x80;
  std::string bytes;
  if (ascii) {
    bytes.assign(utf8);
  } else {
    const std::u16string u16 = base::Utf8ToUtf16(utf8);
    bytes = "\xFE\xFF";
    for (char16_t ch : u16) {
      bytes += static_cast<char>(ch >> 8);
      bytes += static_cast<char>(ch & 0xFF);
    }
  }
  std::string out;
  out.reserve(bytes.size() + 8);
  for (unsigned char c : bytes) {
    if (c == '(' || c == ')' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c < 0x20 || c >= 0x7F) {
      char buf[8];
      std::snprintf(buf, sizeof buf, "\\%03o", c);
      out += buf;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

void OutText(PdfContext* ctx, std::string_view text) { OutBytes(ctx, text); }

void OutBytes(PdfContext* ctx, std::string_view bytes) {
  if (ctx->file) {
    if (!bytes.empty() && std::fwrite(bytes.data(), 1, bytes.size(), ctx->file) != bytes.size()) {
      ctx->writeFailed = true;
    }
  } else {
    ctx->document.Append(bytes);
  }
  ctx->byteCount += static_cast<long>(bytes.size());
}

void BeginObject(PdfContext* ctx, int number) {
  if (static_cast<int>(ctx->offsets.size()) <= number) ctx->offsets.resize(number + 1, 0);
  ctx->offsets[number] = ctx->byteCount;
  OutText(ctx, Printf("%d 0 obj\n", number));
}

// ---- the interface ---------------------------------------------------------------

void PdfContextDeleter::operator()(PdfContext* ctx) const { delete ctx; }

PdfContextPtr cpdf_open(int contextId, const PdfLimits* limits) {
  PdfContextPtr ctx(new (std::nothrow) PdfContext);
  if (!ctx) {
    Message("KvPDF malloc", -2, "Memory allocation failure");
    return ctx;
  }
  ctx->id = contextId;
  if (limits) {
    if (limits->pages > 0) ctx->pageLimit = limits->pages;
    if (limits->fonts > 0) ctx->fontLimit = limits->fonts;
    if (limits->images > 0) ctx->imageLimit = limits->images;
    if (limits->annotations > 0) ctx->annotationLimit = limits->annotations;
    if (limits->objects > 0) ctx->objectLimit = limits->objects;
  }
  ctx->pages.resize(static_cast<std::size_t>(ctx->pageLimit) + 1);
  ctx->offsets.reserve(static_cast<std::size_t>(ctx->objectLimit));
  return ctx;
}

void cpdf_release(PdfContextPtr& ctx) { ctx.reset(); }

PdfErrorHandler cpdf_setErrorHandler(PdfContext* ctx, PdfErrorHandler handler) {
  PdfErrorHandler old = ctx->handler ? ctx->handler : &DefaultHandler;
  ctx->handler = handler;
  return old;
}

PdfMessageHandler cpdf_setGlobalMessageHandler(PdfMessageHandler handler) {
  PdfMessageHandler old = g_messageHandler;
  g_messageHandler = handler;
  return old;
}

const std::string& cpdf_lastError(const PdfContext* ctx) { return ctx->lastError; }
bool cpdf_failed(const PdfContext* ctx) { return ctx->fatal; }

void cpdf_setOutputPath(PdfContext* ctx, std::string_view path) {
  ctx->outputPath = Cut(path, 1022);
  ctx->memoryOutput = false;
}

void cpdf_raiseVersion(PdfContext* ctx, int major, int minor) {
  if (major > ctx->major || (major == ctx->major && minor > ctx->minor)) {
    ctx->major = major;
    ctx->minor = minor;
  }
}

void cpdf_useCompression(PdfContext* ctx, bool on) {
  ctx->compress = on;
  if (on && ctx->filterName.find("FlateDecode") != std::string::npos) cpdf_raiseVersion(ctx, 1, 2);
}

void cpdf_setCreator(PdfContext* ctx, std::string_view text) { ctx->creator = Cut(text, 62); }
void cpdf_setTitle(PdfContext* ctx, std::string_view text) { ctx->title = Cut(text, 62); }
void cpdf_setSubject(PdfContext* ctx, std::string_view text) { ctx->subject = Cut(text, 62); }
void cpdf_setKeywords(PdfContext* ctx, std::string_view text) { ctx->keywords = Cut(text, 126); }

void cpdf_setPageMode(PdfContext* ctx, int mode) {
  ctx->pageMode = mode;
  ctx->pageModeSet = true;
}
void cpdf_setPageLayout(PdfContext* ctx, int layout) {
  ctx->pageLayout = layout;
  ctx->pageLayoutSet = true;
}
void cpdf_setViewerPreferences(PdfContext* ctx, const PdfViewerOptions& options) { ctx->viewer = options; }

int cpdf_startDocument(PdfContext* ctx) {
  if (!Usable(ctx)) return -1;
  ctx->author = "Windows NT/95/98 User";
  if (!ctx->opened || ctx->started) {
    Report(ctx, -1, kSource, "cpdf_open() has not been called.");
    return -1;
  }
  ctx->started = true;
  for (PageRecord& p : ctx->pages) p.state = PageState::kNotStarted;
  ctx->document.Clear();
  if (!ctx->memoryOutput && ctx->outputPath.empty()) ctx->outputPath = Printf("_cpdf%d-%d.pdf", 123, ctx->id);
  // The file itself is written whole at the end (see Deliver); here only
  // check that its folder takes files, so a wrong path fails early.
  if (!ctx->memoryOutput && ctx->outputPath != "-") {
    const std::string dir = base::DirName(base::ToNativePath(ctx->outputPath));
    if (!dir.empty() && !base::DirExists(dir)) {
      Report(ctx, 2, kSource, Printf("Cannot open %s for PDF output", ctx->outputPath.c_str()));
      ctx->fatal = true;
      return -1;
    }
  }
  return 0;
}

int cpdf_startPage(PdfContext* ctx, int page, int rotationCode, std::string_view mediaBox, std::string_view cropBox) {
  if (!Usable(ctx)) return -1;
  if (page < 1) {
    Report(ctx, 1, kSource, "Page number must be 1 or greater");
    return -1;
  }
  if (page > ctx->pageLimit) {
    Report(ctx, 1, kSource, Printf("Too many pages: %d. Increase limit by cpdf_open()", page));
    return -1;
  }
  PageRecord& p = ctx->pages[page];
  if (p.state != PageState::kNotStarted) {
    Report(ctx, 1, kSource, Printf("Page %d is already initialized", page));
    if (p.state == PageState::kStarted) {
      ctx->currentPage = page;
      ctx->domain = p.domain;
    }
    return 0;
  }
  p.state = PageState::kStarted;
  ctx->currentPage = page;
  if (page > ctx->highestPage) ctx->highestPage = page;
  p.rotation = rotationCode == 2 ? 90 : rotationCode == 1 ? 270 : 0;
  p.mediaBox = std::string(mediaBox.substr(0, 62));
  p.cropBox = std::string(cropBox.substr(0, 62));
  double box[4] = {0, 0, 612, 792};
  {
    const std::string text(p.mediaBox);
    std::sscanf(text.c_str(), "%lf %lf %lf %lf", &box[0], &box[1], &box[2], &box[3]);
  }
  const double w = box[2] - box[0], h = box[3] - box[1];
  p.domain = NewDomain(ctx, box[0], box[1], w, h, 0, w / 72.0, 0, h / 72.0, false, false);
  ctx->domain = p.domain;
  for (int i = 0; i < 6; ++i) ctx->tm[i] = (i == 0 || i == 3) ? 1 : 0;
  p.content.Clear();
  return 0;
}

int cpdf_switchPage(PdfContext* ctx, int page) {
  if (!Usable(ctx)) return -1;
  if (page == ctx->currentPage && Page(ctx, page) && ctx->pages[page].state == PageState::kStarted) return 0;
  PageRecord* p = Page(ctx, page);
  if (!p || p->state == PageState::kNotStarted) {
    Report(ctx, 2, kSource, Printf("Cannot switch to page %d because it has not been initialized", page));
    return -1;
  }
  if (p->state == PageState::kFinished) {
    Report(ctx, 2, kSource, Printf("Cannot switch to page %d because it has already been finalized", page));
    return -2;
  }
  ctx->currentPage = page;
  ctx->domain = p->domain;
  return 0;
}

int cpdf_closePage(PdfContext* ctx, int page) {
  if (!Usable(ctx)) return -1;
  PageRecord* p = Page(ctx, page);
  if (!p || p->state != PageState::kStarted) return -1;
  FinishPage(ctx, *p);
  return ctx->fatal ? -1 : 0;
}

void cpdf_setPageDuration(PdfContext* ctx, double seconds) {
  if (PageRecord* p = Page(ctx, ctx->currentPage)) p->duration = seconds;
}

void cpdf_setPageTransition(PdfContext* ctx, std::string_view transition) {
  if (PageRecord* p = Page(ctx, ctx->currentPage)) p->transition = std::string(transition);
}

int cpdf_writeAll(PdfContext* ctx) {
  if (!ctx) return -1;
  if (ctx->written) return 0;
  if (ctx->fatal) return -1;
  if (!ctx->started) {
    Report(ctx, 2, kSource, "cpdf_startDocument() has not been called.");
    return -1;
  }
  // A PDF without pages is refused by viewers: fail instead of writing one.
  bool anyPage = false;
  for (const PageRecord& p : ctx->pages) anyPage = anyPage || p.state != PageState::kNotStarted;
  if (!anyPage) {
    Report(ctx, 2, kSource, "The document has no pages");
    return -1;
  }
  // Number the objects.
  int next = 5;
  ctx->pageTree.clear();
  for (std::size_t n = 1; n < ctx->pages.size(); ++n) {
    PageRecord& p = ctx->pages[n];
    if (p.state == PageState::kNotStarted) continue;
    p.pageObject = next++;
    p.contentObject = next++;
    ctx->pageTree.push_back(p.pageObject);
    FinishPage(ctx, p);
    if (ctx->fatal) return -1;
  }
  next = NumberFontObjects(ctx, next);
  next = NumberImageObjects(ctx, next);
  next = NumberOutlineAndAnnotations(ctx, next);
  const int infoObject = next++;
  const int count = next;
  ctx->offsets.assign(static_cast<std::size_t>(count) + 1, 0);

  // Write them in that order.
  if (!OpenOutput(ctx)) {
    ctx->fatal = true;
    return -1;
  }
  ctx->writeFailed = false;
  ctx->byteCount = 0;
  OutText(ctx, Printf("%%PDF-%d.%d\n", ctx->major, ctx->minor));
  OutBytes(ctx, std::string_view(kBinaryLine, sizeof kBinaryLine - 1));
  OutText(ctx, "\n");
  WriteCatalog(ctx);
  WriteOutlineRoot(ctx);
  WritePageTree(ctx);
  WriteProcSet(ctx);
  for (std::size_t n = 1; n < ctx->pages.size(); ++n) {
    const PageRecord& p = ctx->pages[n];
    if (p.state == PageState::kNotStarted) continue;
    WritePage(ctx, p);
    WriteContent(ctx, p);
  }
  WriteFontObjects(ctx);
  WriteImageObjects(ctx);
  WriteAnnotationObjects(ctx);
  WriteOutlineObjects(ctx);
  WriteInfo(ctx, infoObject);

  const long xref = ctx->byteCount;
  OutText(ctx, "xref\n");
  OutText(ctx, Printf("0 %d\n", count));
  OutText(ctx, "0000000000 65535 f \n");
  std::string row;
  for (int k = 1; k < count; ++k) {
    row.clear();
    AppendPadded(row, ctx->offsets[k], 10);
    row += " 00000 n \n";
    OutText(ctx, row);
  }
  OutText(ctx, "trailer\n");
  OutText(ctx, "<<\n");
  OutText(ctx, Printf("/Size %d\n", count));
  OutText(ctx, Printf("/Root %d 0 R\n", 1));
  OutText(ctx, Printf("/Info %d 0 R\n", infoObject));
  OutText(ctx, ">>\n");
  OutText(ctx, "startxref\n");
  OutText(ctx, Printf("%ld\n", xref));
  OutText(ctx, "%%EOF\n");
  // Image bytes are in the document now; drop the copies.
  for (ImageEntry& img : ctx->images) std::string().swap(img.data);

  if (!CloseOutput(ctx, true)) {
    ctx->fatal = true;
    return -1;
  }
  ctx->written = true;
  return 0;
}

std::string_view cpdf_getBufferForPDF(const PdfContext* ctx) {
  return ctx->memoryOutput ? ctx->document.View() : std::string_view();
}

}  // namespace vexa::pdf
