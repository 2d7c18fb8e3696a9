// pdf-demo: writes a one-page PDF with every kind of element the PDF writer
// draws (placed, centred, right-aligned and rotated text in several fonts,
// lines, dashes, rectangles, circles, curves, colours, a JPEG picture, a
// plot domain with its mesh, a bookmark and annotations), for tests and for
// checks by hand. It prints where it put each text, one line each:
//   text <TAB> x0 <TAB> baseline y <TAB> x1      (points, PDF coordinates)
//
//   pdf-demo OUT.pdf [--a4] [--no-compress] [--jpeg FILE] [--title TEXT]
//
// --help prints the usage and writes nothing. An unknown option, or a
// picture that cannot be read or drawn, is refused and no PDF is written
// (status 2 for a bad command line, 1 for a failure).
#include <charconv>
#include <clocale>
#include <cstdio>
#include <cstring>
#include <string>

#include "platform/base/File.h"
#include "platform/base/Overlap.h"
#include "platform/base/Path.h"
#include "platform/imaging/Codec.h"
#include "printing/pdfwriter/PdfWriter.h"

using namespace vexa::pdf;

namespace {

constexpr char kUsage[] = "usage: pdf-demo OUT.pdf [--a4] [--no-compress] [--jpeg FILE] [--title TEXT]\n";

constexpr char kHelp[] =
    "\n"
    "Writes OUT.pdf, a one-page PDF with every kind of element the PDF writer\n"
    "draws, and prints where it put each text: text, x0, baseline y and x1 in\n"
    "points, separated by tabs.\n"
    "\n"
    "  --a4           an A4 page (default: Letter)\n"
    "  --no-compress  page contents left uncompressed\n"
    "  --jpeg FILE    the picture to show (default: a generated gradient)\n"
    "  --title TEXT   the document's title\n"
    "  -h, --help     this text; nothing is written\n"
    "\n"
    "exit status: 0 done, 1 failed (nothing written), 2 bad command line\n";

int Usage(const std::string& why = std::string()) {
  if (!why.empty()) std::fprintf(stderr, "pdf-demo: %s\n", why.c_str());
  std::fputs(kUsage, stderr);
  return 2;
}

// A 400 x 300 colour gradient with a white frame, as a JPEG file.
bool MakeJpeg(const std::string& path) {
  vexa::imaging::Bitmap b;
  if (!b.Create(400, 300, 24)) return false;
  for (int y = 0; y < 300; ++y) {
    std::uint8_t* row = b.row(y);
    for (int x = 0; x < 400; ++x) {
      const bool frame = x < 8 || y < 8 || x >= 392 || y >= 292;
      row[3 * x + 0] = frame ? 255 : static_cast<std::uint8_t>(255 * y / 299);
      row[3 * x + 1] = frame ? 255 : 128;
      row[3 * x + 2] = frame ? 255 : static_cast<std::uint8_t>(255 * x / 399);
    }
  }
  vexa::imaging::JpegOptions options;
  options.quality = 85;
  std::string bytes;
  if (!vexa::imaging::EncodeJpeg(b, options, &bytes)) return false;
  return vexa::base::WriteFileAtomic(path, bytes);
}

// A number with two decimals and a decimal point, whatever the locale.
std::string Number(double v) {
  char buf[64];
  auto r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed, 2);
  return std::string(buf, r.ptr);
}

void Report(PdfContext* ctx, const std::string& text, double x0, double y, int alignment) {
  const double w = cpdf_textWidth(ctx, text);
  const double left = x0 - (alignment % 3) * w / 2;
  std::printf("%s\t%s\t%s\t%s\n", text.c_str(), Number(left).c_str(), Number(y).c_str(), Number(left + w).c_str());
}

}  // namespace

int main(int argc, char** argv) {
  // Take the user's locale, so a decimal comma there shows that the PDF's
  // numbers do not depend on it.
  std::setlocale(LC_ALL, "");
  std::string out, jpeg, title = "KvPDF demo (all elements)";
  bool a4 = false, compress = true, jpegGiven = false;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "-h" || a == "--help") {
      std::printf("%s%s", kUsage, kHelp);
      return 0;
    }
    if (a == "--a4") {
      a4 = true;
    } else if (a == "--no-compress") {
      compress = false;
    } else if (a == "--jpeg" || a == "--title") {
      if (i + 1 >= argc) return Usage(a + " needs a value");
      (a == "--jpeg" ? jpeg : title) = argv[++i];
      jpegGiven = jpegGiven || a == "--jpeg";
    } else if (a.size() > 1 && a[0] == '-') {
      return Usage("unknown option " + a);
    } else if (out.empty()) {
      out = a;
    } else {
      return Usage("one OUT.pdf only: " + a);
    }
  }
  if (out.empty()) return Usage("no OUT.pdf given");
  if (jpegGiven && jpeg.empty()) return Usage("--jpeg needs a file");
  if (!jpeg.empty() && vexa::base::OutputOverlapsInput(out, jpeg)) {
    std::fprintf(stderr, "pdf-demo: the output %s is the picture %s; give another output\n", out.c_str(),
                 jpeg.c_str());
    return 2;
  }
  // A picture given must be there to draw: the page is never written
  // without it.
  if (!jpeg.empty()) {
    vexa::base::InputFile picture;
    if (!picture.OpenRegular(jpeg)) {
      std::fprintf(stderr, "pdf-demo: cannot use the picture: %s\n", picture.Error().c_str());
      return 1;
    }
  }
  std::string madeJpeg;
  if (jpeg.empty()) {
    madeJpeg = vexa::base::MakeTempFile(vexa::base::TempDirectory(), "pdf-demo-", ".jpg");
    if (madeJpeg.empty() || !MakeJpeg(madeJpeg)) {
      std::fprintf(stderr, "pdf-demo: cannot make the demo picture\n");
      return 1;
    }
    jpeg = madeJpeg;
  }
  const double W = a4 ? 595 : 612, H = a4 ? 842 : 792;
  const char* box = a4 ? "0 0 595 842" : "0 0 612 792";

  PdfContextPtr doc = cpdf_open(0);
  PdfContext* ctx = doc.get();
  cpdf_setOutputPath(ctx, out);
  cpdf_useCompression(ctx, compress);
  cpdf_setTitle(ctx, title);
  cpdf_setCreator(ctx, "pdf-demo");
  cpdf_startDocument(ctx);
  cpdf_startPage(ctx, 1, 0, box, box);
  cpdf_switchPage(ctx, 1);

  // Frame of the page at half an inch, and a filled, coloured box.
  cpdf_setLineWidth(ctx, 1);
  cpdf_setRgbStroke(ctx, 0, 0, 0);
  cpdf_rectangleInDomain(ctx, 0.5, 0.5, W / 72 - 1, H / 72 - 1);
  cpdf_strokePath(ctx);
  cpdf_setRgbFill(ctx, 0.9, 0.3, 0.2);
  cpdf_rectangle(ctx, 72, H - 200, 144, 72);
  cpdf_fillPath(ctx);
  // Dashed line, grey, a circle, a curve.
  cpdf_saveState(ctx);
  cpdf_setDash(ctx, "[6 3] 0");
  cpdf_setGrayStroke(ctx, 0.5);
  cpdf_moveTo(ctx, 72, H - 220);
  cpdf_lineTo(ctx, W - 72, H - 220);
  cpdf_strokePath(ctx);
  cpdf_restoreState(ctx);
  cpdf_setRgbColor(ctx, 0.1, 0.4, 0.8);
  cpdf_drawCircle(ctx, 400, H - 160, 40);
  cpdf_strokePath(ctx);
  cpdf_moveTo(ctx, 300, H - 260);
  cpdf_curveTo(ctx, 350, H - 230, 450, H - 290, 500, H - 260);
  cpdf_strokePath(ctx);

  // The picture: 216 points wide, height from its proportions.
  // A page without its picture is not written.
  if (cpdf_drawImage(ctx, jpeg, kPdfImageJpeg, 72, 200, 0, 216, 0, 0, 0, kPdfImageSaveState) != 0) {
    std::fprintf(stderr, "pdf-demo: cannot draw the picture %s: %s\n", jpeg.c_str(), cpdf_lastError(ctx).c_str());
    cpdf_release(doc);
    if (!madeJpeg.empty()) vexa::base::RemoveAll(madeJpeg);
    return 1;
  }

  // A small plot domain with its mesh.
  PlotDomain* plot = cpdf_createPlotDomain(ctx, 330, 200, 200, 120, 0, 37, -4, 13);
  PlotDomain* page = cpdf_setPlotDomain(ctx, plot);
  cpdf_setGray(ctx, 0);
  cpdf_drawMesh(ctx);
  cpdf_moveToInDomain(ctx, 0, 0);
  cpdf_lineToInDomain(ctx, 37, 13);
  cpdf_strokePath(ctx);
  cpdf_setPlotDomain(ctx, page);

  // Texts.
  cpdf_setGray(ctx, 0);
  cpdf_beginTextBlock(ctx);
  cpdf_selectFont(ctx, "Helvetica-Bold", "WinAnsiEncoding", 20);
  cpdf_placeTextAligned(ctx, W / 2, H - 80, 0, 4, "KvPDF demo page");
  Report(ctx, "KvPDF demo page", W / 2, H - 80 - cpdf_textHeight(ctx) / 2, 1);
  cpdf_selectFont(ctx, "Times-Roman", "WinAnsiEncoding", 12);
  const std::string left = "Placed (left) text: 12.5% \\ done";
  cpdf_placeText(ctx, 72, H - 300, 0, left);
  Report(ctx, left, 72, H - 300, 0);
  cpdf_selectFont(ctx, "Helvetica", "WinAnsiEncoding", 12);
  const std::string right = "Right-aligned text";
  cpdf_placeTextAligned(ctx, W - 72, H - 320, 0, 2, right);
  Report(ctx, right, W - 72, H - 320, 2);
  const std::string latin = "Fête à Zürich, ½ €";
  cpdf_placeText(ctx, 72, H - 340, 0, latin);
  Report(ctx, latin, 72, H - 340, 0);
  cpdf_selectFont(ctx, "Courier", "WinAnsiEncoding", 10);
  cpdf_placeTextAlignedInDomain(ctx, W / 144, 1.0, 0, 1, "Centred in inches");
  Report(ctx, "Centred in inches", W / 2, 72, 1);
  cpdf_selectFont(ctx, "Helvetica-Oblique", "WinAnsiEncoding", 9);
  cpdf_placeText(ctx, W - 40, 100, 90, "Rotated 90 degrees");
  cpdf_selectFont(ctx, "Palatino-Roman", "WinAnsiEncoding", 11);
  cpdf_placeText(ctx, 72, H - 360, 0, "A built-in font with widths and a descriptor");
  cpdf_selectFont(ctx, "Symbol", nullptr, 12);
  cpdf_placeText(ctx, 72, H - 380, 0, "abgd");
  cpdf_endTextBlock(ctx);

  cpdf_addBookmark(ctx, -1, 1, "/Fit", "Demo page (one)", true);
  PdfAnnotation note;
  note.kind = kPdfAnnotText;
  note.x0 = 72, note.y0 = 100, note.x1 = 92, note.y1 = 120;
  note.title = "Note (demo)";
  note.contents = "An annotation with brackets ( and ) and a backslash \\";
  cpdf_addAnnotation(ctx, note);

  const int rc = cpdf_writeAll(ctx);
  if (rc != 0) std::fprintf(stderr, "pdf-demo: %s\n", cpdf_lastError(ctx).c_str());
  cpdf_release(doc);
  if (!madeJpeg.empty()) vexa::base::RemoveAll(madeJpeg);
  return rc == 0 ? 0 : 1;
}
