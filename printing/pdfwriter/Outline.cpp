// The bookmark outline and the annotations, written at the end of the
// document (annotations first, then the outline depth first).
#include "printing/pdfwriter/NumberFormat.h"
#include "printing/pdfwriter/PdfInternal.h"

namespace vexa::pdf {
namespace {

void W(PdfContext* ctx, const std::string& s) {
  OutText(ctx, s);
  OutText(ctx, "\n");
}

int PageObject(const PdfContext* ctx, int page) {
  if (page < 1 || page >= static_cast<int>(ctx->pages.size())) return 0;
  return ctx->pages[page].pageObject;
}

// Depth first: an entry, its children, then its next sibling.
void NumberEntry(PdfContext* ctx, int i, int* next) {
  for (; i >= 0; i = ctx->outline[i].next) {
    ctx->outline[i].object = (*next)++;
    NumberEntry(ctx, ctx->outline[i].first, next);
  }
}

void WriteEntry(PdfContext* ctx, int i) {
  for (; i >= 0; i = ctx->outline[i].next) {
    const OutlineEntry& e = ctx->outline[i];
    BeginObject(ctx, e.object);
    W(ctx, "<<");
    W(ctx, Printf("/Parent %d 0 R", e.parent >= 0 ? ctx->outline[e.parent].object : 2));
    const int target = PageObject(ctx, e.page);
    if (e.page > 0 && target > 0) W(ctx, Printf("/Dest [%d 0 R %s]", target, e.destination.c_str()));
    else W(ctx, "/A <<\n" + e.destination + "\n>>");
    W(ctx, "/Title (" + EscapeTextString(e.title) + ")");
    if (e.next >= 0) W(ctx, Printf("/Next %d 0 R", ctx->outline[e.next].object));
    if (e.prev >= 0) W(ctx, Printf("/Prev %d 0 R", ctx->outline[e.prev].object));
    if (e.first >= 0) W(ctx, Printf("/First %d 0 R", ctx->outline[e.first].object));
    if (e.last >= 0) W(ctx, Printf("/Last %d 0 R", ctx->outline[e.last].object));
    if (e.children > 0) W(ctx, e.open ? Printf("/Count %d", e.children) : Printf("/Count -%d", e.children));
    W(ctx, ">>");
    OutText(ctx, "endobj\n");
    WriteEntry(ctx, e.first);
  }
}

}  // namespace

int cpdf_addBookmark(PdfContext* ctx, int parent, int page, std::string_view destination, std::string_view title,
                     bool open) {
  if (!ctx || ctx->fatal) return -1;
  if (parent >= static_cast<int>(ctx->outline.size())) return -1;
  OutlineEntry e;
  e.page = page;
  e.destination = std::string(destination);
  e.title = std::string(title);
  e.parent = parent < 0 ? -1 : parent;
  e.open = open;
  const int index = static_cast<int>(ctx->outline.size());
  if (e.parent < 0) {
    e.prev = ctx->outlineLast;
    if (ctx->outlineLast >= 0) ctx->outline[ctx->outlineLast].next = index;
    else ctx->outlineFirst = index;
    ctx->outlineLast = index;
    ++ctx->outlineCount;
    ctx->outline.push_back(std::move(e));
  } else {
    OutlineEntry& p = ctx->outline[e.parent];
    e.prev = p.last;
    if (p.last >= 0) ctx->outline[p.last].next = index;
    else p.first = index;
    p.last = index;
    ++p.children;
    ctx->outline.push_back(std::move(e));
  }
  return index;
}

int cpdf_addAnnotation(PdfContext* ctx, const PdfAnnotation& annotation) {
  if (!ctx || ctx->fatal) return -1;
  if (static_cast<int>(ctx->annotations.size()) >= ctx->annotationLimit) {
    Report(ctx, 1, kSource,
           Printf("Too many annotations in this PDF: %d. Increase limit by cpdf_open()",
                  static_cast<int>(ctx->annotations.size()) + 1));
    return -1;
  }
  if (ctx->currentPage < 1 || ctx->currentPage >= static_cast<int>(ctx->pages.size()) ||
      ctx->pages[ctx->currentPage].state != PageState::kStarted) {
    Report(ctx, 1, kSource, "An annotation needs a current page");
    return -1;
  }
  ctx->annotations.push_back(AnnotationEntry{0, annotation});
  ctx->pages[ctx->currentPage].annotations.push_back(static_cast<int>(ctx->annotations.size()) - 1);
  return 0;
}

int NumberOutlineAndAnnotations(PdfContext* ctx, int next) {
  for (AnnotationEntry& a : ctx->annotations) a.object = next++;
  NumberEntry(ctx, ctx->outlineFirst, &next);
  return next;
}

void WriteAnnotationObjects(PdfContext* ctx) {
  for (const AnnotationEntry& entry : ctx->annotations) {
    const PdfAnnotation& a = entry.a;
    BeginObject(ctx, entry.object);
    W(ctx, "<<");
    W(ctx, "/Type /Annot");
    std::string rect = "/Rect [";
    AppendFixed(rect, a.x0, 0);
    rect += ' ';
    AppendFixed(rect, a.y0, 0);
    rect += ' ';
    AppendFixed(rect, a.x1, 0);
    rect += ' ';
    AppendFixed(rect, a.y1, 0);
    rect += ']';
    switch (a.kind) {
      case kPdfAnnotText:
        W(ctx, "/Subtype /Text");
        W(ctx, rect);
        W(ctx, "/T (" + EscapeTextString(a.title) + ")");
        W(ctx, "/Contents (" + EscapeTextString(a.contents) + ")");
        break;
      case kPdfAnnotUri:
        W(ctx, "/Subtype /Link");
        W(ctx, rect);
        W(ctx, "/A << /S /URI\n/URI (" + EscapeTextString(a.text) + ")\n>>");
        break;
      case kPdfAnnotPage:
        W(ctx, "/Subtype /Link");
        W(ctx, rect);
        // A link to a page that was never started has no destination.
        if (PageObject(ctx, a.targetPage) > 0) {
          W(ctx, Printf("/Dest [%d 0 R %s]", PageObject(ctx, a.targetPage), a.text.c_str()));
        }
        break;
      default:
        W(ctx, "/Subtype /Link");
        W(ctx, rect);
        W(ctx, "/A <<\n" + a.text + "\n>>");
        break;
    }
    if (!a.borderStyle.empty()) W(ctx, "/BS <<\n" + a.borderStyle + "\n>>");
    else if (!a.border.empty()) W(ctx, "/Border " + a.border);
    else W(ctx, "/Border [0 0 1]");
    std::string c = "/C [";
    AppendFixed(c, a.r, 4);
    c += ' ';
    AppendFixed(c, a.g, 4);
    c += ' ';
    AppendFixed(c, a.b, 4);
    c += ']';
    W(ctx, c);
    W(ctx, Printf("/F %d", a.flags));
    W(ctx, ">>");
    OutText(ctx, "endobj\n");
  }
}

void WriteOutlineObjects(PdfContext* ctx) { WriteEntry(ctx, ctx->outlineFirst); }

}  // namespace vexa::pdf
