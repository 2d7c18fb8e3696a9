// The print products and the print front, checked on paper: page counts and
// sizes, each photo's picture, texts where the layout puts them, boxes at
// their inch sizes, and the failures the products now report.
#include <unistd.h>

#include <map>
#include <set>

#include "printing/tests/PrintFixture.h"

namespace vexa::printtest {
namespace {

using namespace vexa::pdftest;

// The page contents of a PDF with its streams uncompressed (qpdf --qdf).
std::string Uncompressed(const std::string& pdf) {
  ScratchDir d;
  Shell("qpdf --qdf --object-streams=disable " + Quote(pdf) + " " + Quote(d / "u.pdf"));
  return Slurp(d / "u.pdf");
}

ComPtr<IImageCollection> Collection(const std::vector<std::string>& files) {
  ComPtr<IImageCollection> c = Make<IImageCollection>(CLSID_ImageCollection);
  for (const std::string& f : files) EXPECT_EQ(c->AddPathname(B(f).Get()), S_OK);
  return c;
}

const Word* Find(const std::vector<Word>& words, const std::string& text) {
  for (const Word& w : words) {
    if (w.text == text) return &w;
  }
  return nullptr;
}

std::string Box(long layout) { return layout ? "0.00     0.00   595.00   842.00" : "0.00     0.00   612.00   792.00"; }

// Image objects by page, from pdfimages -list.
std::map<int, std::set<int>> ObjectsByPage(const std::string& pdf) {
  std::map<int, std::set<int>> m;
  for (const ImageRow& r : Images(pdf)) m[r.page].insert(r.object);
  return m;
}

class ProductsTest : public PrintTest {};

TEST_F(ProductsTest, PrintAlbumPutsEachPhotoInItsBoxesOnBothPapers) {
  VEXA_NEED_CHECKERS("qpdf", "pdfinfo", "pdfimages", "pdftotext", "pdftoppm");
  const auto files = Photos("album", 3, 4);  // landscape, portrait, square
  for (long layout : {0L, 1L}) {
    ComPtr<IPrintAlbum> album = Make<IPrintAlbum>(CLSID_PrintAlbum);
    album->SetImageCollection(Collection(files).Get());
    ComPtr<IPrintAlbumConfiguration> config;
    album->get_Configuration(config.Put());
    config->put_PageLayout(layout);
    const std::string out = Path("album" + std::to_string(layout) + ".pdf");
    ASSERT_EQ(album->GeneratePDF(B(out).Get()), S_OK) << LastError();
    EXPECT_TRUE(QpdfClean(out));
    auto info = PdfInfo(out);
    EXPECT_EQ(info["Pages"], "3");
    EXPECT_EQ(info["MediaBox"], Box(layout));
    // Each photo is one picture, used on its own page only.
    auto pages = ObjectsByPage(out);
    ASSERT_EQ(pages.size(), 3u);
    std::set<int> all;
    for (auto& [page, objects] : pages) {
      EXPECT_EQ(objects.size(), 1u) << "page " << page;
      all.insert(objects.begin(), objects.end());
    }
    EXPECT_EQ(all.size(), 3u);
    // The instruction lines.
    const auto words = Words(out, 1);
    const Word* the = Find(words, "The");
    ASSERT_TRUE(the);
    if (layout == 0) {
      EXPECT_NEAR(the->xMin, 7.7 * 72 - 10 * 0.729, 3) << "rotated a quarter, at x 7.7 inches";
      EXPECT_TRUE(Find(words, "inches"));
    } else {
      EXPECT_NEAR(the->xMin, 36, 0.05);
      EXPECT_TRUE(Find(words, "cm."));
    }
    // Box 0 on paper: outlined, with the photo fitted and centred in it.
    for (int page : {1, 2}) {
      Raster r;
      ASSERT_TRUE(Render(out, page, 72, &r));
      if (layout == 0) {
        // 7 x 5 inches at (0.5, 5.5): x 36 to 540, rows 36 to 396; the
        // 4:3 photo (turned on the portrait page) fills 480 x 360 of it.
        EXPECT_LT(r.at(36, 216), 230) << "outline";
        EXPECT_LT(r.at(540, 216), 230) << "outline";
        EXPECT_LT(r.at(300, 36), 230) << "outline";
        EXPECT_LT(r.at(300, 396), 230) << "outline";
        EXPECT_GT(r.at(44, 216), 240) << "page " << page;
        EXPECT_GT(r.at(532, 216), 240) << "page " << page;
        EXPECT_LT(r.at(300, 216), 250) << "page " << page;
        int left = -1, right = -1;
        for (int x = 38; x < 539; ++x) {
          if (r.at(x, 216) < 245) {
            if (left < 0) left = x;
            right = x;
          }
        }
        EXPECT_NEAR(left, 48, 1) << "page " << page;
        EXPECT_NEAR(right, 527, 1) << "page " << page;
      } else {
        EXPECT_EQ(r.width, 595);
        EXPECT_EQ(r.height, 842);
      }
    }
  }
}

TEST_F(ProductsTest, ContactSheetGridCaptionsAndFurniture) {
  VEXA_NEED_CHECKERS("qpdf", "pdfinfo", "pdfimages", "pdftotext", "pdftoppm");
  const auto files = Photos("sheet", 25);
  std::vector<std::string> thirteen(files.begin(), files.begin() + 13);
  std::map<long, double> titleTop;
  for (long layout : {0L, 1L}) {
    ComPtr<IPrintContactSheet> sheet = Make<IPrintContactSheet>(CLSID_PrintContactSheet);
    sheet->SetImageCollection(Collection(thirteen).Get());
    ComPtr<IPrintContactSheetConfiguration> config;
    sheet->get_Configuration(config.Put());
    config->put_PageLayout(layout);
    ASSERT_EQ(sheet->SetTitleLines(B("Summer (2002)").Get(), B("Été à Zürich").Get(), B("Lake").Get()), S_OK);
    const std::string out = Path("sheet" + std::to_string(layout) + ".pdf");
    ASSERT_EQ(sheet->GeneratePDF(B(out).Get(), B("IM_A").Get(), 4), S_OK) << LastError();
    EXPECT_TRUE(QpdfClean(out));
    auto info = PdfInfo(out);
    EXPECT_EQ(info["Pages"], "1");
    EXPECT_EQ(info["MediaBox"], Box(layout));
    const double H = layout ? 842 : 792;
    const auto words = Words(out, 1);
    // Captions under the cells: IM_A0001 at the left margin, IM_A0006 in
    // the second row and column.
    const Word* first = Find(words, "IM_A0001");
    const Word* sixth = Find(words, "IM_A0006");
    ASSERT_TRUE(first && sixth && Find(words, "IM_A0013"));
    EXPECT_NEAR(first->xMin, 36, 0.05);
    const double availW = (layout ? 8.27 : 8.5) - 1, cellW = availW / 4.3;
    EXPECT_NEAR(sixth->xMin, (0.5 + cellW + (availW - 4 * cellW) / 3) * 72, 0.1);
    if (layout == 0) {
      EXPECT_NEAR(first->yMax, H - 592.89, 3);
      EXPECT_NEAR(sixth->yMax, H - 482.23, 3);
    }
    // The page range, and the title lines at the same distance from the top.
    const Word* one = Find(words, "1");
    const Word* last = Find(words, "13");
    ASSERT_TRUE(one && last);
    EXPECT_NEAR(one->xMin, 4.25 * 72, 0.05);
    const Word* summer = Find(words, "Summer");
    ASSERT_TRUE(summer && Find(words, "(2002)") && Find(words, "Été") && Find(words, "Zürich") && Find(words, "Lake"));
    EXPECT_NEAR(summer->xMin, 0.6 * 72, 0.05);
    titleTop[layout] = summer->yMax;
    // Each photo once, plus the banner and the logo.
    const auto images = Images(out);
    std::set<int> photos;
    int banner = 0, logo = 0;
    for (const ImageRow& r : images) {
      if (r.width == 1500) ++banner;
      else if (r.width == 180) ++logo;
      else photos.insert(r.object);
    }
    EXPECT_EQ(photos.size(), 13u);
    EXPECT_EQ(images.size(), 15u);
    EXPECT_EQ(banner, 1);
    EXPECT_EQ(logo, 1);
    if (layout == 0) {
      // The first thumbnail (4:3) on its cell's lower-left corner, as tall
      // as the cell: 87.5 x 116.7 points from (36, 603.7).
      Raster r;
      ASSERT_TRUE(Render(out, 1, 72, &r));
      EXPECT_LT(r.at(40, 792 - 610), 240);
      EXPECT_LT(r.at(150, 792 - 610), 240);
      EXPECT_GT(r.at(156, 792 - 610), 240);
      EXPECT_GT(r.at(40, 792 - 695), 240);
    }
  }
  EXPECT_NEAR(titleTop[1] - titleTop[0], 0, 1) << "A4 lifts the titles by 0.69 inch";

  // 25 photos: two pages, the second reading 25 - 25.
  ComPtr<IPrintContactSheet> sheet = Make<IPrintContactSheet>(CLSID_PrintContactSheet);
  sheet->SetImageCollection(Collection(files).Get());
  const std::string out = Path("sheet25.pdf");
  ASSERT_EQ(sheet->GeneratePDF(B(out).Get(), B("p").Get(), 2), S_OK) << LastError();
  auto pages = WordsByPage(out);
  ASSERT_EQ(pages.size(), 2u);
  EXPECT_TRUE(Find(pages[0], "24"));
  EXPECT_TRUE(Find(pages[0], "p24"));
  EXPECT_TRUE(Find(pages[1], "25"));
  EXPECT_TRUE(Find(pages[1], "p25"));
  EXPECT_FALSE(Find(pages[1], "p01"));
}

TEST_F(ProductsTest, EmptyOrImpossibleDocumentsFailWithTheirMessage) {
  const std::string out = Path("nothing.pdf");
  ComPtr<IPrintAlbum> album = Make<IPrintAlbum>(CLSID_PrintAlbum);
  EXPECT_EQ(album->GeneratePDF(B(out).Get()), E_FAIL);
  EXPECT_EQ(LastError(), "CPrintAlbum::GeneratePDF - No images to print");
  ComPtr<IPrintContactSheet> sheet = Make<IPrintContactSheet>(CLSID_PrintContactSheet);
  EXPECT_EQ(sheet->GeneratePDF(B(out).Get(), B("IM_A").Get(), 4), E_FAIL);
  EXPECT_EQ(LastError(), "CPrintContactSheet::GeneratePDF - No images to print");
  EXPECT_FALSE(base::FileExists(out));

  sheet->AddImagePathname(B(MakePhoto(Path("one.jpg"), 40, 30)).Get());
  ComPtr<IPrintContactSheetConfiguration> config;
  sheet->get_Configuration(config.Put());
  config->put_ImagesPerRow(0);
  EXPECT_EQ(sheet->GeneratePDF(B(out).Get(), B("IM_A").Get(), 4), E_FAIL);
  EXPECT_EQ(LastError(),
            "CPrintContactSheet::GeneratePDF - The grid has no cells: ImagesPerRow and ImagesPerColumn must be 1 or more");
  config->put_ImagesPerRow(4);
  EXPECT_EQ(sheet->GeneratePDF(B(Path("no-folder/x.pdf")).Get(), B("IM_A").Get(), 4), E_FAIL);
  EXPECT_EQ(LastError(), "CPrintContactSheet::GeneratePDF - Cannot write the PDF: KvPDF: Cannot open " +
                             Path("no-folder/x.pdf") + " for PDF output");

  ComPtr<IPrintJCInsert> insert = Make<IPrintJCInsert>(CLSID_PrintJCInsert);
  ComPtr<IPrintJewelCaseConfiguration> jc;
  insert->get_Configuration(jc.Put());
  jc->put_CutLineDashPattern(9);
  EXPECT_EQ(insert->GeneratePDF(B(out).Get()), E_FAIL);
  EXPECT_EQ(LastError(), "CPrintJCInsert::GeneratePDF - CutLineDashPattern 9 is not in the range 0 to 8");
  // An insert without photos still has its four pages.
  jc->put_CutLineDashPattern(8);
  ASSERT_EQ(insert->GeneratePDF(B(out).Get()), S_OK) << LastError();
  if (HaveCheckers({"pdfinfo"})) {
    EXPECT_EQ(PdfInfo(out)["Pages"], "4");
  }
}

TEST_F(ProductsTest, JewelCaseInsertAndLabels) {
  VEXA_NEED_CHECKERS("qpdf", "pdfinfo", "pdfimages", "pdftotext");
  const auto files = Photos("jc", 3, 4);
  for (long layout : {0L, 1L}) {
    ComPtr<IPrintJCInsert> insert = Make<IPrintJCInsert>(CLSID_PrintJCInsert);
    insert->SetImageCollection(Collection(files).Get());
    ComPtr<IPrintJewelCaseConfiguration> jc;
    insert->get_Configuration(jc.Put());
    jc->put_PageLayout(layout);
    jc->put_FrontCoverPictureImageIndex(7);  // past the end: the last photo
    jc->put_CutLineDashPattern(8);
    insert->SetTitleLines(B("Summer").Get(), B("2002").Get(), B("Lake").Get());
    const std::string out = Path("insert" + std::to_string(layout) + ".pdf");
    ASSERT_EQ(insert->GeneratePDF(B(out).Get()), S_OK) << LastError();
    EXPECT_TRUE(QpdfClean(out));
    auto info = PdfInfo(out);
    EXPECT_EQ(info["Pages"], "4");
    EXPECT_EQ(info["MediaBox"], Box(layout));
    const std::string content = Uncompressed(out);
    EXPECT_NE(content.find("(Summer    2002    Lake) Tj"), std::string::npos) << "the spine";
    EXPECT_NE(content.find("[ ] 0 d"), std::string::npos) << "solid cut lines";
    const auto words = Words(out, 1);
    EXPECT_TRUE(Find(words, "Total") && Find(words, "3"));
    EXPECT_TRUE(Find(words, "Created:"));
    // Page 1: the three thumbnails, the four artwork pictures and the last
    // photo's normalized copy (the square one, 1024 x 1024) on the front.
    int square = 0, perPage[5] = {};
    for (const ImageRow& r : Images(out)) {
      ++perPage[r.page];
      if (r.page == 1 && r.width == 1024 && r.height == 1024) ++square;
    }
    EXPECT_EQ(square, 1);
    EXPECT_EQ(perPage[1], 3 + 4 + 1);
    const int cells = layout ? 32 * 16 : 30 * 16;
    EXPECT_EQ(perPage[2], cells / 2);
    EXPECT_EQ(perPage[3], cells / 2);
    EXPECT_EQ(perPage[4], cells);
    // Every label page carries the icon's words and the title boxes.
    for (int page = 2; page <= 4; ++page) {
      const auto label = Words(out, page);
      EXPECT_TRUE(Find(label, "CD") && Find(label, "Label")) << "page " << page;
      int lakes = 0;
      for (const Word& w : label) lakes += w.text == "Lake";
      const int upper = layout ? 4 : 3, lower = 3;
      EXPECT_EQ(lakes, page == 2 ? upper : page == 3 ? lower : upper + lower) << "page " << page;
    }
  }
  // A long first line leaves the spine with line 1 alone.
  ComPtr<IPrintJCInsert> insert = Make<IPrintJCInsert>(CLSID_PrintJCInsert);
  insert->SetImageCollection(Collection(files).Get());
  const std::string longLine(38, 'x');
  insert->SetTitleLines(B(longLine).Get(), B("2002").Get(), B("Lake").Get());
  const std::string out = Path("insert-long.pdf");
  ASSERT_EQ(insert->GeneratePDF(B(out).Get()), S_OK);
  const std::string content = Uncompressed(out);
  EXPECT_NE(content.find("(" + longLine + ") Tj"), std::string::npos);
  EXPECT_EQ(content.find(longLine + "    2002"), std::string::npos);
}

TEST_F(ProductsTest, PrintFrontFeedsTheProductsAndReportsTheirFailures) {
  ComPtr<ICoVexaPrt> prt = Make<ICoVexaPrt>(CLSID_CoVexaPrt);
  ComPtr<ISupportErrorInfo> none;
  EXPECT_EQ(prt->QueryInterface(IID_ISupportErrorInfo, reinterpret_cast<void**>(none.Put())), E_NOINTERFACE);
  EXPECT_EQ(prt->SetPaperSize(2), E_FAIL);
  EXPECT_EQ(LastError(), "CCoVexaPrt::SetPaperSize - Problem setting paper size");
  EXPECT_EQ(prt->SetTemporaryDirectory(B(Path("none")).Get()), E_FAIL);
  EXPECT_EQ(LastError(), "CCoVexaPrt::SetTemporaryDirectory - Failed to set working directory");
  ASSERT_EQ(prt->SetTemporaryDirectory(B(work_).Get()), S_OK);
  Bstr empty(u"");
  EXPECT_EQ(prt->AddStill(B(Path("missing.jpg")).Get(), empty.Get(), 0, 0, empty.Get(), 0), E_FAIL);
  EXPECT_EQ(LastError(), "CCoVexaPrt::AddStill - Failed to add image");
  EXPECT_EQ(prt->MakePrintAlbum(B(Path("PRINTS.PDF")).Get()), E_FAIL);
  // The product's own reason comes first, the front's message after it.
  EXPECT_EQ(LastError(), "CPrintAlbum::GeneratePDF - No images to print\n"
                         "CCoVexaPrt::MakePrintAlbum - Failed to create print album");
  EXPECT_EQ(prt->MakeContactSheet(B(Path("CONTACT.PDF")).Get(), B("IM_A").Get(), 4), E_FAIL);
  EXPECT_EQ(LastError(), "CPrintContactSheet::GeneratePDF - No images to print\n"
                         "CCoVexaPrt::MakeContactSheet - Failed to create contact sheet");

  const auto files = Photos("front", 2);
  for (const std::string& f : files) {
    EXPECT_EQ(prt->AddStill(B(f).Get(), B("t").Get(), 1.5, 2, B("x").Get(), 3.5), S_OK);
  }
  ASSERT_EQ(prt->SetPaperSize(1), S_OK);
  ASSERT_EQ(prt->SetTitleLines(B("One").Get(), B("Two").Get(), B("Three").Get()), S_OK);
  ASSERT_EQ(prt->MakeContactSheet(B(Path("CONTACT.PDF")).Get(), B("IM_A").Get(), 4), S_OK) << LastError();
  ASSERT_EQ(prt->MakeCdInsert(B(Path("INSERT.PDF")).Get()), S_OK) << LastError();
  ASSERT_EQ(prt->MakePrintAlbum(B(Path("PRINTS.PDF")).Get()), S_OK) << LastError();
  EXPECT_EQ(prt->Clean(), S_OK);
  if (!HaveCheckers({"pdfinfo", "pdftotext"})) return;
  for (const char* name : {"CONTACT.PDF", "INSERT.PDF", "PRINTS.PDF"}) {
    EXPECT_EQ(PdfInfo(Path(name))["MediaBox"], Box(1)) << name;
  }
  EXPECT_TRUE(Find(Words(Path("CONTACT.PDF"), 1), "IM_A0002"));
  EXPECT_TRUE(Find(Words(Path("CONTACT.PDF"), 1), "Three"));
  EXPECT_FALSE(Find(Words(Path("PRINTS.PDF"), 1), "Three")) << "the print album takes no title lines";
}

TEST_F(ProductsTest, SelfTestRunsWhatItNames) {
  // The self test's folders, relative to the current folder.
  base::MakeDirs(Path("x/y/z/tmpfiles"));
  base::MakeDirs(Path("x/y/z/outputfiles"));
  base::MakeDirs(Path("imageSets/TestSequence-StillPhotoOnly"));
  MakePhoto(Path("imageSets/TestSequence-StillPhotoOnly/a.jpg"), 60, 40, 1);
  MakePhoto(Path("imageSets/TestSequence-StillPhotoOnly/b.jpg"), 40, 60, 2);
  char old[4096];
  ASSERT_TRUE(::getcwd(old, sizeof old));
  ASSERT_EQ(::chdir(Path("x/y/z").c_str()), 0);
  ComPtr<ICoVexaPrt> prt = Make<ICoVexaPrt>(CLSID_CoVexaPrt);
  VARIANT_BOOL result = 7;
  EXPECT_EQ(prt->SelfTest(B("log5.txt").Get(), 5, &result), E_FAIL);
  EXPECT_EQ(LastError(), "VexaPrt::SelfTest - Unrecognized test.");
  EXPECT_EQ(result, 7);
  EXPECT_EQ(prt->SelfTest(B("log0.txt").Get(), 0, &result), S_OK);
  EXPECT_EQ(result, VARIANT_TRUE) << Slurp("log0.txt");
  const std::string log = Slurp("log0.txt");
  EXPECT_EQ(log.rfind("VexaPrt Error Log File \n\nRunning VexaPrt::SelfTest \n"
                      "Test >>>>>>>>>>>>>>>>>>>> Test Error Handling \n"
                      "Test >>>>>>>>>>>>>>>>>>>> Set Working Directory \n"
                      "Test >>>>>>>>>>>>>>>>>>>> Test Paper Size \n"
                      "Test >>>>>>>>>>>>>>>>>>>> Create Contact Sheet \n"
                      "Test >>>>>>>>>>>>>>>>>>>> Create Print Album \n"
                      "Test >>>>>>>>>>>>>>>>>>>> Create Jewel Case \n"
                      "VexaPrt::SelfTest - No Errors Found",
                      0),
            0u)
      << log;
  EXPECT_EQ(Slurp("log0.txt").size(), log.size());
  EXPECT_FALSE(base::FileExists("outputfiles/PrintAlbum.pdf")) << "each PDF is deleted after the check";
  // Without the test photos, tests 3 and 4 fail: they make what they name.
  base::RemoveAll(Path("imageSets"));
  for (LONG test : {2, 3, 4}) {
    result = VARIANT_TRUE;
    EXPECT_EQ(prt->SelfTest(B("log.txt").Get(), test, &result), S_OK);
    EXPECT_EQ(result, VARIANT_FALSE) << "test " << test;
  }
  EXPECT_NE(Slurp("log.txt").find("CCoVexaPrt::test_create_jewel_case - imageCol->AddDirectory failed  "
                                  "CImageCollection::AddDirectory - Directory not found"),
            std::string::npos)
      << Slurp("log.txt");
  ASSERT_EQ(::chdir(old), 0);
}

}  // namespace
}  // namespace vexa::printtest
