// pdf-pages: one page per JPEG file, each picture fitted into the page with
// half-inch margins, through the PDF writer with compressed contents; for
// timing the writer against copying the same bytes (run-vs-copy.sh).
//
//   pdf-pages OUT.pdf JPEG...
#include <cstdio>
#include <string>

#include "printing/pdfwriter/PdfWriter.h"

using namespace vexa::pdf;

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: pdf-pages OUT.pdf JPEG...\n");
    return 2;
  }
  const int n = argc - 2;
  PdfLimits limits;
  limits.pages = n;
  limits.images = n;
  limits.objects = 10000;
  PdfContextPtr doc = cpdf_open(0, &limits);
  PdfContext* ctx = doc.get();
  cpdf_setOutputPath(ctx, argv[1]);
  cpdf_useCompression(ctx, true);
  cpdf_startDocument(ctx);
  for (int i = 0; i < n; ++i) {
    cpdf_startPage(ctx, i + 1, 0, "0 0 612 792", "0 0 612 792");
    cpdf_switchPage(ctx, i + 1);
    if (cpdf_drawImage(ctx, argv[i + 2], kPdfImageJpeg, 36, 36, 0, 540, 0, 0, 0, kPdfImageSaveState) != 0) {
      std::fprintf(stderr, "pdf-pages: %s\n", cpdf_lastError(ctx).c_str());
      return 1;
    }
    cpdf_beginTextBlock(ctx);
    cpdf_selectFont(ctx, "Helvetica", "WinAnsiEncoding", 10);
    cpdf_placeTextAligned(ctx, 306, 20, 0, 1, "Page " + std::to_string(i + 1));
    cpdf_endTextBlock(ctx);
  }
  if (cpdf_writeAll(ctx) != 0) {
    std::fprintf(stderr, "pdf-pages: %s\n", cpdf_lastError(ctx).c_str());
    return 1;
  }
  return 0;
}
