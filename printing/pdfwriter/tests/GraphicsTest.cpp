// Graphics and images: the operators' exact lines, circles, plot domains and
// their ticks, JPEG placement (sizes, reuse, refusal of frames viewers cannot
// show, the bytes embedded) and the geometry of a drawn box on paper.
#include <gtest/gtest.h>

#include "platform/base/Path.h"
#include "platform/imaging/Codec.h"
#include "printing/pdfwriter/PdfWriter.h"
#include "printing/testsupport/PdfCheck.h"

using namespace vexa::pdf;
using namespace vexa::pdftest;

namespace {

constexpr const char* kLetter = "0 0 612 792";

struct Doc {
  PdfContextPtr doc = cpdf_open(0);
  PdfContext* ctx = doc.get();
  explicit Doc(const std::string& path = "") {
    if (!path.empty()) cpdf_setOutputPath(ctx, path);
    cpdf_startDocument(ctx);
    cpdf_startPage(ctx, 1, 0, kLetter, kLetter);
  }
  std::string Write() {
    EXPECT_EQ(cpdf_writeAll(ctx), 0) << cpdf_lastError(ctx);
    return std::string(cpdf_getBufferForPDF(ctx));
  }
};

// A w x h colour JPEG through the imaging layer.
std::string MakeJpeg(const std::string& path, int w, int h) {
  vexa::imaging::Bitmap b;
  EXPECT_TRUE(b.Create(w, h, 24).ok());
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < 3 * w; ++x) b.row(y)[x] = static_cast<std::uint8_t>((x * 7 + y * 3) & 0xFF);
  }
  std::string bytes;
  EXPECT_TRUE(vexa::imaging::EncodeJpeg(b, {}, &bytes).ok());
  EXPECT_TRUE(vexa::base::WriteFileAtomic(path, bytes));
  return path;
}

// The same picture with one byte of its frame header changed.
std::string Patched(const std::string& from, const std::string& to, int frameByteOffset, unsigned char value) {
  std::string d = Slurp(from);
  const std::size_t sof = d.find("\xFF\xC0");
  EXPECT_NE(sof, std::string::npos);
  d[sof + static_cast<std::size_t>(frameByteOffset)] = static_cast<char>(value);
  EXPECT_TRUE(vexa::base::WriteFileAtomic(to, d));
  return to;
}

TEST(PdfGraphics, OperatorsWriteTheirLines) {
  Doc d;
  cpdf_setGrayFill(d.ctx, 0.25);
  cpdf_setGrayStroke(d.ctx, 1);
  cpdf_setRgbFill(d.ctx, 1, 0, 0.5);
  cpdf_setRgbStroke(d.ctx, 0, 1, 0);
  cpdf_moveTo(d.ctx, 1, 2);
  cpdf_lineTo(d.ctx, 3.14159, -4);
  cpdf_curveTo(d.ctx, 1, 2, 3, 4, 5, 6);
  cpdf_closePath(d.ctx);
  cpdf_strokePath(d.ctx);
  cpdf_saveState(d.ctx);
  cpdf_setDash(d.ctx, "[2 3] 0");
  cpdf_setDash(d.ctx, "[] 0");
  cpdf_setLineWidth(d.ctx, 0.15);
  cpdf_translateOrigin(d.ctx, 10, 20);
  cpdf_rotateAxes(d.ctx, 90);
  cpdf_rectangle(d.ctx, 0, 0, 72, 36);
  cpdf_fillPath(d.ctx);
  cpdf_restoreState(d.ctx);
  const std::string pdf = d.Write();
  EXPECT_NE(pdf.find("stream\n0.2500 g\n1.0000 G\n1.0000 0.0000 0.5000 rg\n0.0000 1.0000 0.0000 RG\n1.000 2.000 m\n"
                     "3.142 -4.000 l\n1.000 2.000 3.000 4.000 5.000 6.000 c\nh\nS\n\nq\n[2 3] 0 d\n[] 0 d\n0.1500 w\n"
                     "1.0000 0.0000 0.0000 1.0000 10.0000 20.0000 cm\n-0.0000 1.0000 -1.0000 -0.0000 0.0000 0.0000 cm\n"
                     "0.000 0.000 72.000 36.000 re\nf\nQ\n\nendstream"),
            std::string::npos);
}

TEST(PdfGraphics, CirclesAreFourQuarterArcs) {
  Doc d;
  cpdf_drawCircle(d.ctx, 100, 200, 10);
  const std::string pdf = d.Write();
  EXPECT_NE(pdf.find("110.000 200.000 m\n110.000 205.520 105.520 210.000 100.000 210.000 c\n"
                     "94.480 210.000 90.000 205.520 90.000 200.000 c\n"
                     "90.000 194.480 94.480 190.000 100.000 190.000 c\n"
                     "105.520 190.000 110.000 194.480 110.000 200.000 c\nh\n"),
            std::string::npos);
}

TEST(PdfGraphics, PlotDomainsMapUnitsOntoThePage) {
  Doc d;
  // The page's own domain: inches from the origin.
  EXPECT_DOUBLE_EQ(cpdf_mapX(d.ctx, 1.5), 108);
  EXPECT_DOUBLE_EQ(cpdf_mapY(d.ctx, 11), 792);
  PlotDomain* lin = cpdf_createPlotDomain(d.ctx, 100, 100, 200, 100, -10, 10, 0, 50);
  PlotDomain* log = cpdf_createPlotDomain(d.ctx, 0, 0, 300, 300, 1, 1000, 1, 10, true, false);
  PlotDomain* page = cpdf_setPlotDomain(d.ctx, lin);
  EXPECT_DOUBLE_EQ(cpdf_mapX(d.ctx, 0), 200);
  EXPECT_DOUBLE_EQ(cpdf_mapY(d.ctx, 25), 150);
  cpdf_setPlotDomain(d.ctx, log);
  EXPECT_DOUBLE_EQ(cpdf_mapX(d.ctx, 100), 200);
  EXPECT_DOUBLE_EQ(cpdf_mapX(d.ctx, -1), 0);
  cpdf_setPlotDomain(d.ctx, page);
  cpdf_rectangleInDomain(d.ctx, 1, 1, 2, 0.5);
  cpdf_drawCircleInDomain(d.ctx, 1, 1, 0.5);
  // Without a domain, coordinates map to 0 and the error is reported.
  cpdf_setPlotDomain(d.ctx, nullptr);
  cpdf_moveToInDomain(d.ctx, 5, 5);
  EXPECT_EQ(cpdf_lastError(d.ctx), "KvPDF: Plot domain has not been set. See cpdf_setPlotDomain()");
  const std::string pdf = d.Write();
  EXPECT_NE(pdf.find("72.000 72.000 144.000 36.000 re\n108.000 72.000 m\n"), std::string::npos);
  EXPECT_NE(pdf.find("0.000 0.000 m\n"), std::string::npos);
}

TEST(PdfGraphics, TickSpacingFollowsTheStepTable) {
  Doc d;
  struct Row {
    double min, max;
    PdfAxisTicks want;
  } rows[] = {
      {0, 37, {0, 40, 5, 10}},          // 37 -> row 40: minor 5, major 10
      {0, 100, {0, 100, 10, 50}},       // 10.0 x 10^1 -> row 10 at P = 10
      {3, 7.3, {2, 8, 1, 2}},           // 73 -> row 80, P = 0.1; down from 8 past 3
      {-4, 13, {-5, 15, 1, 5}},         // straddling zero
      {-120, -30, {-120, 0, 10, 40}},   // below zero: mirrored, the end steps up from minus the top
      {0.002, 0.0047, {0.002, 0.005, 0.0005, 0.001}},
  };
  for (const Row& r : rows) {
    const PdfAxisTicks t = cpdf_domainTicks(cpdf_createPlotDomain(d.ctx, 0, 0, 1, 1, r.min, r.max, 0, 1), false);
    EXPECT_NEAR(t.start, r.want.start, 1e-9) << r.min << ".." << r.max;
    EXPECT_NEAR(t.end, r.want.end, 1e-9) << r.min << ".." << r.max;
    EXPECT_NEAR(t.minor, r.want.minor, 1e-12) << r.min << ".." << r.max;
    EXPECT_NEAR(t.major, r.want.major, 1e-12) << r.min << ".." << r.max;
  }
}

TEST(PdfImages, OneObjectPerPictureWithItsOwnSizeAndColour) {
  VEXA_NEED_CHECKERS("qpdf", "pdfimages", "cjpeg");
  ScratchDir dir;
  const std::string colour = MakeJpeg(dir / "c.jpg", 400, 300);
  const std::string grey = dir / "g.jpg";
  ASSERT_EQ(Shell("printf 'P5\\n64 128\\n255\\n' > " + Quote(dir / "g.pgm") + " && head -c 8192 /dev/urandom >> " +
                  Quote(dir / "g.pgm") + " && cjpeg -grayscale -outfile " + Quote(grey) + " " + Quote(dir / "g.pgm")),
            0);
  const std::string out = dir / "images.pdf";
  PdfContextPtr doc = cpdf_open(0);
  PdfContext* ctx = doc.get();
  cpdf_setOutputPath(ctx, out);
  cpdf_useCompression(ctx, true);
  cpdf_startDocument(ctx);
  cpdf_startPage(ctx, 1, 0, kLetter, kLetter);
  cpdf_startPage(ctx, 2, 0, kLetter, kLetter);
  cpdf_switchPage(ctx, 1);
  EXPECT_EQ(cpdf_drawImage(ctx, colour, kPdfImageJpeg, 72, 72, 0, 0, 144, 0, 0, kPdfImageSaveState), 0);
  EXPECT_EQ(cpdf_drawImage(ctx, grey, kPdfImageJpeg, 300, 72, 90, 0, 0, 0.5, 0, 0), 0);
  cpdf_switchPage(ctx, 2);
  EXPECT_EQ(cpdf_drawImage(ctx, colour, kPdfImageJpeg, 72, 400, 0, 100, 0, 0, 0, kPdfImageSaveState), 0);
  ASSERT_EQ(cpdf_writeAll(ctx), 0);
  EXPECT_TRUE(QpdfClean(out));
  const auto rows = Images(out);
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(rows[0].width, 400);
  EXPECT_EQ(rows[0].height, 300);
  EXPECT_EQ(rows[0].color, "rgb");
  EXPECT_EQ(rows[0].enc, "jpeg");
  EXPECT_EQ(rows[1].color, "gray");
  EXPECT_EQ(rows[1].width, 64);
  EXPECT_EQ(rows[2].page, 2);
  EXPECT_EQ(rows[2].object, rows[0].object) << "the same picture is one object used by both pages";
  // The file's bytes are embedded exactly, under their own length.
  const std::string pdf = Slurp(out);
  const std::string jpeg = Slurp(colour);
  EXPECT_NE(pdf.find("/Length " + std::to_string(jpeg.size()) + "\n>>\nstream\n" + jpeg + "\nendstream\n"),
            std::string::npos);
  EXPECT_NE(pdf.find("[/PDF /Text /ImageB /ImageC ]"), std::string::npos);
  EXPECT_EQ(pdf.rfind("%PDF-1.2", 0), 0u);
}

TEST(PdfImages, SizesComeFromTheGivenSideOrTheScales) {
  ScratchDir dir;
  const std::string jpeg = MakeJpeg(dir / "p.jpg", 400, 300);
  Doc d;
  cpdf_drawImage(d.ctx, jpeg, kPdfImageJpeg, 10, 20, 0, 0, 144, 0, 0, kPdfImageSaveState);
  cpdf_drawImage(d.ctx, jpeg, kPdfImageJpeg, 10, 20, 0, 0, 0, 0, 0.5, 0);
  cpdf_drawImage(d.ctx, jpeg, kPdfImageJpeg, 10, 20, 0, 0, 0, 0, 0, 0);
  cpdf_drawImage(d.ctx, jpeg, kPdfImageJpeg, 10, 20, 0, 100, 50, 0, 0, 0);
  const std::string pdf = d.Write();
  EXPECT_NE(pdf.find("\nq\n1.0000 0.0000 0.0000 1.0000 10.0000 20.0000 cm\n"
                     "192.0000 0.0000 0.0000 144.0000 0.0000 0.0000 cm\n/IMcpdf0 Do\nQ\n"),
            std::string::npos);
  EXPECT_NE(pdf.find("200.0000 0.0000 0.0000 150.0000 0.0000 0.0000 cm\n/IMcpdf0 Do\n"), std::string::npos);
  EXPECT_NE(pdf.find("400.0000 0.0000 0.0000 300.0000 0.0000 0.0000 cm\n/IMcpdf0 Do\n"), std::string::npos);
  EXPECT_NE(pdf.find("100.0000 0.0000 0.0000 50.0000 0.0000 0.0000 cm\n/IMcpdf0 Do\n"), std::string::npos);
  EXPECT_EQ(pdf.find("IMcpdf1"), std::string::npos);
}

TEST(PdfImages, OnlyFramesViewersDecodeAreEmbedded) {
  ScratchDir dir;
  const std::string base = MakeJpeg(dir / "b.jpg", 40, 30);
  ASSERT_TRUE(vexa::base::WriteFileAtomic(dir / "text.jpg", "this is not a picture\n"));
  struct Row {
    std::string path;
    int rc;
    std::string error;
  } rows[] = {
      {dir / "missing.jpg", -1, "KvPDF: Can't open image file: " + (dir / "missing.jpg")},
      {dir / "text.jpg", -2, "KvPDF: Not a JPEG file?: " + (dir / "text.jpg")},
      {Patched(base, dir / "lossless.jpg", 1, 0xC3), -3,
       "KvPDF: JPEG file cannot be embedded (lossless coding): " + (dir / "lossless.jpg")},
      {Patched(base, dir / "arith.jpg", 1, 0xC9), -3,
       "KvPDF: JPEG file cannot be embedded (arithmetic coding): " + (dir / "arith.jpg")},
      {Patched(base, dir / "twelve.jpg", 4, 12), -3,
       "KvPDF: JPEG file cannot be embedded (a sample precision other than 8 bits): " + (dir / "twelve.jpg")},
  };
  Doc d;
  for (const Row& r : rows) {
    EXPECT_EQ(cpdf_drawImage(d.ctx, r.path, kPdfImageJpeg, 0, 0, 0, 10, 10, 0, 0, 1), r.rc) << r.path;
    EXPECT_EQ(cpdf_lastError(d.ctx), r.error);
  }
  EXPECT_EQ(cpdf_drawImage(d.ctx, base, kPdfImageTiff, 0, 0, 0, 10, 10, 0, 0, 1), -4);
  EXPECT_EQ(cpdf_lastError(d.ctx), "KvPDF: LIBTIFF library support is not compiled in.");
  EXPECT_EQ(cpdf_drawImage(d.ctx, base, kPdfImagePdf, 0, 0, 0, 10, 10, 0, 0, 1), -4);
  EXPECT_EQ(cpdf_lastError(d.ctx), "KvPDF: PDFIMG support is not compiled in.");
  EXPECT_EQ(cpdf_drawImage(d.ctx, base, kPdfImageRaw, 0, 0, 0, 10, 10, 0, 0, 1), -4);
  const std::string pdf = d.Write();
  EXPECT_EQ(pdf.find("/XObject"), std::string::npos) << "nothing refused is in the document";
  EXPECT_EQ(pdf.rfind("%PDF-1.1", 0), 0u);
}

TEST(PdfImages, ProgressivePicturesRaiseTheVersionAndTheTableHasALimit) {
  VEXA_NEED_CHECKERS("cjpeg", "qpdf");
  ScratchDir dir;
  ASSERT_EQ(Shell("printf 'P6\\n8 8\\n255\\n' > " + Quote(dir / "p.ppm") + " && head -c 192 /dev/zero >> " +
                  Quote(dir / "p.ppm") + " && cjpeg -progressive -outfile " + Quote(dir / "prog.jpg") + " " +
                  Quote(dir / "p.ppm")),
            0);
  const std::string other = MakeJpeg(dir / "o.jpg", 8, 8);
  PdfLimits limits;
  limits.images = 1;
  PdfContextPtr doc = cpdf_open(0, &limits);
  cpdf_setOutputPath(doc.get(), dir / "prog.pdf");
  cpdf_startDocument(doc.get());
  cpdf_startPage(doc.get(), 1, 0, kLetter, kLetter);
  EXPECT_EQ(cpdf_drawImage(doc.get(), dir / "prog.jpg", kPdfImageJpeg, 0, 0, 0, 72, 72, 0, 0, 1), 0);
  EXPECT_EQ(cpdf_drawImage(doc.get(), other, kPdfImageJpeg, 0, 0, 0, 72, 72, 0, 0, 1), 1);
  EXPECT_EQ(cpdf_lastError(doc.get()), "KvPDF: Too many images in this PDF: 2. Increase limits by cpdf_open()");
  ASSERT_EQ(cpdf_writeAll(doc.get()), 0);
  EXPECT_TRUE(QpdfClean(dir / "prog.pdf"));
  EXPECT_EQ(Slurp(dir / "prog.pdf").rfind("%PDF-1.3\n", 0), 0u);
}

TEST(PdfGraphics, ABoxIsItsSizeOnPaper) {
  VEXA_NEED_CHECKERS("pdftoppm");
  ScratchDir dir;
  const std::string out = dir / "box.pdf";
  Doc d(out);
  cpdf_setGray(d.ctx, 0);
  cpdf_rectangleInDomain(d.ctx, 1, 1, 3, 2);  // inches
  cpdf_fillPath(d.ctx);
  d.Write();
  Raster r;
  ASSERT_TRUE(Render(out, 1, 72, &r));
  ASSERT_EQ(r.width, 612);
  ASSERT_EQ(r.height, 792);
  int x0 = r.width, x1 = -1, y0 = r.height, y1 = -1;
  for (int y = 0; y < r.height; ++y) {
    for (int x = 0; x < r.width; ++x) {
      if (r.at(x, y) < 128) {
        x0 = std::min(x0, x), x1 = std::max(x1, x), y0 = std::min(y0, y), y1 = std::max(y1, y);
      }
    }
  }
  EXPECT_EQ(x0, 72);
  EXPECT_EQ(x1, 72 + 216 - 1);
  EXPECT_EQ(y1, 792 - 72 - 1);
  EXPECT_EQ(y0, 792 - 72 - 144);
}

}  // namespace
