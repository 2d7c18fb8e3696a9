// The document context: page life cycle and limits, object numbering,
// cross-reference offsets, compression, info texts, errors that fail the
// document without ending the process, and numbers in a decimal-comma locale.
#include <gtest/gtest.h>
#include <unistd.h>
#include <zlib.h>

#include <clocale>

#include "platform/base/Path.h"
#include "printing/pdfwriter/MemoryStream.h"
#include "printing/pdfwriter/PdfWriter.h"
#include "printing/testsupport/PdfCheck.h"

using namespace vexa::pdf;
using namespace vexa::pdftest;

namespace {

constexpr const char* kLetter = "0 0 612 792";

std::string OnePage(bool compress) {
  PdfContextPtr doc = cpdf_open(1);
  cpdf_useCompression(doc.get(), compress);
  EXPECT_EQ(cpdf_startDocument(doc.get()), 0);
  EXPECT_EQ(cpdf_startPage(doc.get(), 1, 0, kLetter, kLetter), 0);
  cpdf_setGray(doc.get(), 0.5);
  cpdf_rectangle(doc.get(), 72, 72, 144, 72);
  cpdf_fillPath(doc.get());
  EXPECT_EQ(cpdf_writeAll(doc.get()), 0);
  return std::string(cpdf_getBufferForPDF(doc.get()));
}

// The object numbers in the order the file holds them, and every offset of
// the cross-reference table checked against the "N 0 obj" line it names.
void CheckXref(const std::string& pdf, int* size) {
  const std::size_t sx = pdf.rfind("startxref\n");
  ASSERT_NE(sx, std::string::npos);
  const long xref = std::stol(pdf.substr(sx + 10));
  ASSERT_EQ(pdf.compare(static_cast<std::size_t>(xref), 5, "xref\n"), 0);
  ASSERT_EQ(pdf.compare(static_cast<std::size_t>(xref), 7, "xref\n0 "), 0);
  const int n = std::stoi(pdf.substr(static_cast<std::size_t>(xref) + 7));
  *size = n;
  std::size_t at = pdf.find('\n', static_cast<std::size_t>(xref) + 7) + 1 + 20;  // past the free entry
  for (int k = 1; k < n; ++k, at += 20) {
    const long off = std::stol(pdf.substr(at, 10));
    const std::string head = std::to_string(k) + " 0 obj\n";
    EXPECT_EQ(pdf.compare(static_cast<std::size_t>(off), head.size(), head), 0) << "object " << k;
  }
}

TEST(PdfDocument, OnePageWithoutFontsOrImagesHasSevenObjects) {
  const std::string pdf = OnePage(false);
  EXPECT_EQ(pdf.rfind("%PDF-1.1\n", 0), 0u);
  int size = 0;
  CheckXref(pdf, &size);
  EXPECT_EQ(size, 8);
  EXPECT_NE(pdf.find("4 0 obj\n[/PDF /Text]\nendobj\n"), std::string::npos);
  EXPECT_NE(pdf.find("5 0 obj\n<<\n/Type /Page\n/Parent 3 0 R\n/Resources <<\n/ProcSet 4 0 R >>\n"
                     "/MediaBox [0 0 612 792]\n/CropBox [0 0 612 792]\n/Rotate 0\n/Contents 6 0 R\n>>\n"),
            std::string::npos);
  EXPECT_NE(pdf.find("6 0 obj\n<</Length "), std::string::npos);
  EXPECT_NE(pdf.find("0.5000 g\n0.5000 G\n72.000 72.000 144.000 72.000 re\nf\n"), std::string::npos);
  EXPECT_NE(pdf.find("trailer\n<<\n/Size 8\n/Root 1 0 R\n/Info 7 0 R\n>>\n"), std::string::npos);
  EXPECT_EQ(pdf.substr(pdf.size() - 6), "%%EOF\n");
}

TEST(PdfDocument, CompressedContentInflatesToTheSameOperators) {
  const std::string plain = OnePage(false);
  const std::string packed = OnePage(true);
  EXPECT_EQ(packed.rfind("%PDF-1.2\n", 0), 0u);
  const std::size_t head = packed.find("6 0 obj\n<<\n/Length ");
  ASSERT_NE(head, std::string::npos);
  const std::size_t length = std::stoul(packed.substr(head + 19));
  const std::string rest = "\n/Filter [/FlateDecode]\n>>\nstream\n";
  const std::size_t tail = packed.find(rest, head);
  ASSERT_NE(tail, std::string::npos);
  const std::size_t start = tail + rest.size();
  const std::string deflated = packed.substr(start, length);
  EXPECT_EQ(packed.compare(start + deflated.size(), 11, "\nendstream\n"), 0);
  std::string inflated(4096, '\0');
  uLongf len = inflated.size();
  ASSERT_EQ(uncompress(reinterpret_cast<Bytef*>(inflated.data()), &len,
                       reinterpret_cast<const Bytef*>(deflated.data()), deflated.size()),
            Z_OK);
  inflated.resize(len);
  EXPECT_NE(plain.find(inflated), std::string::npos) << inflated;
  int size = 0;
  CheckXref(packed, &size);
}

TEST(PdfDocument, PageNumbersRunFromOneToTheLimit) {
  PdfLimits limits;
  limits.pages = 3;
  PdfContextPtr doc = cpdf_open(0, &limits);
  PdfContext* ctx = doc.get();
  ASSERT_EQ(cpdf_startDocument(ctx), 0);
  EXPECT_EQ(cpdf_startPage(ctx, 0, 0, kLetter, kLetter), -1);
  EXPECT_EQ(cpdf_lastError(ctx), "KvPDF: Page number must be 1 or greater");
  EXPECT_EQ(cpdf_startPage(ctx, 3, 0, kLetter, kLetter), 0) << "the limit itself is a page";
  EXPECT_EQ(cpdf_startPage(ctx, 4, 0, kLetter, kLetter), -1);
  EXPECT_EQ(cpdf_lastError(ctx), "KvPDF: Too many pages: 4. Increase limit by cpdf_open()");
  EXPECT_EQ(cpdf_switchPage(ctx, 2), -1);
  EXPECT_EQ(cpdf_lastError(ctx), "KvPDF: Cannot switch to page 2 because it has not been initialized");
  EXPECT_EQ(cpdf_startPage(ctx, 1, 1, kLetter, kLetter), 0);
  EXPECT_EQ(cpdf_startPage(ctx, 1, 0, kLetter, kLetter), 0) << "a started page becomes current again";
  EXPECT_EQ(cpdf_lastError(ctx), "KvPDF: Page 1 is already initialized");
  EXPECT_EQ(cpdf_switchPage(ctx, 3), 0);
  EXPECT_EQ(cpdf_closePage(ctx, 3), 0);
  EXPECT_EQ(cpdf_switchPage(ctx, 3), -2);
  EXPECT_EQ(cpdf_lastError(ctx), "KvPDF: Cannot switch to page 3 because it has already been finalized");
  EXPECT_EQ(cpdf_writeAll(ctx), 0);
  EXPECT_FALSE(cpdf_failed(ctx));
  const std::string pdf(cpdf_getBufferForPDF(ctx));
  EXPECT_NE(pdf.find("/Count 2\n/Kids [ 5 0 R 7 0 R ]"), std::string::npos);
  EXPECT_NE(pdf.find("/Rotate 270"), std::string::npos);
}

TEST(PdfDocument, ErrorsFailTheDocumentWithoutEndingTheProcess) {
  PdfContextPtr doc = cpdf_open(0);
  ASSERT_EQ(cpdf_startDocument(doc.get()), 0);
  EXPECT_EQ(cpdf_startDocument(doc.get()), -1);
  EXPECT_EQ(cpdf_lastError(doc.get()), "KvPDF: cpdf_open() has not been called.");
  EXPECT_TRUE(cpdf_failed(doc.get()));
  EXPECT_EQ(cpdf_startPage(doc.get(), 1, 0, kLetter, kLetter), -1);
  EXPECT_EQ(cpdf_writeAll(doc.get()), -1);
}

TEST(PdfDocument, ADocumentWithoutPagesIsNotWritten) {
  ScratchDir dir;
  const std::string out = dir / "empty.pdf";
  PdfContextPtr doc = cpdf_open(0);
  cpdf_setOutputPath(doc.get(), out);
  ASSERT_EQ(cpdf_startDocument(doc.get()), 0);
  EXPECT_EQ(cpdf_writeAll(doc.get()), -1);
  EXPECT_EQ(cpdf_lastError(doc.get()), "KvPDF: The document has no pages");
  EXPECT_FALSE(vexa::base::FileExists(out));
}

TEST(PdfDocument, AMissingOutputFolderFailsAtTheStartAndKeepsNothing) {
  PdfContextPtr doc = cpdf_open(0);
  cpdf_setOutputPath(doc.get(), "/nonexistent-folder/x.pdf");
  EXPECT_EQ(cpdf_startDocument(doc.get()), -1);
  EXPECT_EQ(cpdf_lastError(doc.get()), "KvPDF: Cannot open /nonexistent-folder/x.pdf for PDF output");
  EXPECT_EQ(cpdf_writeAll(doc.get()), -1);
}

// An output path that names a symbolic link is refused when the document is
// written: the link and the file it points to stay as they were.
TEST(PdfDocument, ALinkGivenAsTheOutputIsLeftAlone) {
  ScratchDir dir;
  const std::string photo = dir / "photo.jpg", link = dir / "album.pdf";
  ASSERT_TRUE(vexa::base::WriteFileAtomic(photo, "PHOTO"));
  ASSERT_EQ(symlink(photo.c_str(), link.c_str()), 0);
  PdfContextPtr doc = cpdf_open(0);
  cpdf_setOutputPath(doc.get(), link);
  ASSERT_EQ(cpdf_startDocument(doc.get()), 0);
  cpdf_startPage(doc.get(), 1, 0, kLetter, kLetter);
  EXPECT_EQ(cpdf_writeAll(doc.get()), -1);
  EXPECT_EQ(cpdf_lastError(doc.get()), "KvPDF: Cannot open " + link + " for PDF output: '" + link +
                                           "' is a symbolic link; it is not replaced (name the file it points to)");
  std::string kept;
  ASSERT_TRUE(vexa::base::ReadFile(link, &kept));
  EXPECT_EQ(kept, "PHOTO");
}

TEST(PdfDocument, InfoTextsWithBracketsAndNonLatinLettersStayReadable) {
  VEXA_NEED_CHECKERS("qpdf", "pdfinfo");
  ScratchDir dir;
  const std::string out = dir / "info.pdf";
  PdfContextPtr doc = cpdf_open(0);
  cpdf_setOutputPath(doc.get(), out);
  cpdf_setTitle(doc.get(), "Summer (2002) \\ Été ((");
  cpdf_setSubject(doc.get(), "Ελλάδα");
  cpdf_setKeywords(doc.get(), std::string(200, 'k'));
  cpdf_startDocument(doc.get());
  cpdf_startPage(doc.get(), 1, 0, kLetter, kLetter);
  ASSERT_EQ(cpdf_writeAll(doc.get()), 0);
  EXPECT_TRUE(QpdfClean(out));
  auto info = PdfInfo(out);
  EXPECT_EQ(info["Title"], "Summer (2002) \\ Été ((");
  EXPECT_EQ(info["Subject"], "Ελλάδα");
  EXPECT_EQ(info["Keywords"], std::string(126, 'k'));
  EXPECT_EQ(info["Page size"], "612 x 792 pts (letter)");
}

TEST(PdfDocument, NumbersIgnoreADecimalCommaLocale) {
  if (!ProvideLocale("de_DE.UTF-8")) {
    if (CheckersRequired()) FAIL() << "no de_DE.UTF-8 locale and no localedef to make one";
    GTEST_SKIP() << "no de_DE.UTF-8 locale";
  }
  ASSERT_NE(std::setlocale(LC_ALL, "de_DE.UTF-8"), nullptr);
  ASSERT_STREQ(std::localeconv()->decimal_point, ",");
  PdfContextPtr doc = cpdf_open(0);
  cpdf_startDocument(doc.get());
  cpdf_startPage(doc.get(), 1, 0, kLetter, kLetter);
  cpdf_setRgbColor(doc.get(), 0.25, 0.5, 0.75);
  cpdf_setLineWidth(doc.get(), 1.5);
  cpdf_beginTextBlock(doc.get());
  cpdf_selectFont(doc.get(), "Helvetica", "WinAnsiEncoding", 10.5);
  cpdf_placeText(doc.get(), 72.25, 700.5, 0, "x");
  cpdf_endTextBlock(doc.get());
  cpdf_setPageDuration(doc.get(), 2.5);
  cpdf_writeAll(doc.get());
  const std::string pdf(cpdf_getBufferForPDF(doc.get()));
  std::setlocale(LC_ALL, "C");
  EXPECT_NE(pdf.find("0.2500 0.5000 0.7500 rg\n"), std::string::npos);
  EXPECT_NE(pdf.find("1.5000 w\n"), std::string::npos);
  EXPECT_NE(pdf.find("/Fcpdf0 10.500 Tf\n"), std::string::npos);
  EXPECT_NE(pdf.find("1.0000 0.0000 -0.0000 1.0000 72.2500 700.5000 Tm\n"), std::string::npos);
  EXPECT_NE(pdf.find("/Dur 2.500\n"), std::string::npos);
}

TEST(PdfDocument, CatalogCarriesViewerOptionsAndTheOutline) {
  PdfContextPtr doc = cpdf_open(0);
  PdfContext* ctx = doc.get();
  cpdf_setPageMode(ctx, 7);  // 7 mod 4: full screen
  cpdf_setPageLayout(ctx, 1);
  PdfViewerOptions v;
  v.hideToolbar = true;
  v.centerWindow = true;
  v.nonFullScreenPageMode = 9;  // out of range: UseNone
  cpdf_setViewerPreferences(ctx, v);
  cpdf_startDocument(ctx);
  cpdf_startPage(ctx, 1, 2, kLetter, kLetter);
  const int top = cpdf_addBookmark(ctx, -1, 1, "/Fit", "Top (1)", false);
  cpdf_addBookmark(ctx, top, 1, "/XYZ 0 792 0", "Child", true);
  cpdf_addBookmark(ctx, -1, 0, "/S /URI /URI (http://example.invalid)", "Action", true);
  PdfAnnotation link;
  link.kind = kPdfAnnotUri;
  link.x0 = 10.4, link.y0 = 10.6, link.x1 = 100, link.y1 = 20;
  link.text = "http://example.invalid/a(b)";
  cpdf_addAnnotation(ctx, link);
  ASSERT_EQ(cpdf_writeAll(ctx), 0);
  const std::string pdf(cpdf_getBufferForPDF(ctx));
  EXPECT_NE(pdf.find("/PageMode /FullScreen\n/PageLayout /OneColumn\n/ViewerPreferences <<\n/HideToolbar true\n"
                     "/CenterWindow true\n/NonFullScreenPageMode /UseNone\n>>\n"),
            std::string::npos);
  EXPECT_NE(pdf.find("/Type /Outlines\n/Count 2\n/First 8 0 R\n/Last 10 0 R\n"), std::string::npos);
  EXPECT_NE(pdf.find("/Title (Top \\(1\\))\n/Next 10 0 R\n/First 9 0 R\n/Last 9 0 R\n/Count -1\n"),
            std::string::npos);
  EXPECT_NE(pdf.find("/A <<\n/S /URI /URI (http://example.invalid)\n>>\n/Title (Action)"), std::string::npos);
  EXPECT_NE(pdf.find("/Rect [10 11 100 20]\n/A << /S /URI\n/URI (http://example.invalid/a\\(b\\))\n>>\n"
                     "/Border [0 0 1]\n/C [0.0000 0.0000 1.0000]\n/F 0\n"),
            std::string::npos);
  EXPECT_NE(pdf.find("/Rotate 90"), std::string::npos);
  int size = 0;
  CheckXref(pdf, &size);
  EXPECT_EQ(size, 12);  // 4 + page, content + annotation + 3 entries + info
}

TEST(PdfMemoryStream, GrowsByDoublingThenInSteps) {
  MemoryStream s;
  EXPECT_EQ(s.capacity(), 256u);
  const std::string block(300, 'x');
  s.Append(block);
  EXPECT_EQ(s.capacity(), 512u);
  EXPECT_EQ(s.data()[s.size()], 0);
  while (s.size() < 600000) s.Append(block);
  EXPECT_EQ(s.capacity(), 524288u + 524288u);
  EXPECT_EQ(s.data()[s.size()], 0);
  EXPECT_TRUE(s.Valid());
  s.Clear();
  EXPECT_EQ(s.size(), 0u);
}

}  // namespace
