// pdf-demo under a decimal-comma locale: the file passes qpdf, and every
// text the tool reports stands where pdftotext finds it.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <sstream>

#include <unistd.h>

#include "platform/base/Path.h"
#include "tests/support/FileTree.h"
#include "printing/testsupport/PdfCheck.h"

using namespace vexa::pdftest;

namespace {

TEST(PdfDemoTool, WritesAValidPageWithItsTextWhereItSaysUnderADecimalComma) {
  VEXA_NEED_CHECKERS("qpdf", "pdftotext", "pdfinfo", "pdfimages", "pdffonts");
  if (!ProvideLocale("de_DE.UTF-8")) {
    if (CheckersRequired()) FAIL() << "no de_DE.UTF-8 locale and no localedef to make one";
    GTEST_SKIP() << "no de_DE.UTF-8 locale";
  }
  ScratchDir dir;
  for (const bool a4 : {false, true}) {
    for (const bool compress : {true, false}) {
      const std::string out = dir / (std::string(a4 ? "a4" : "letter") + (compress ? "" : "-plain") + ".pdf");
      std::string report;
      const std::string env = std::string("LC_ALL=de_DE.UTF-8 LOCPATH=") + Quote(std::getenv("LOCPATH") ? std::getenv("LOCPATH") : "");
      ASSERT_EQ(Shell(env + " " + std::string(VEXA_BUILD_DIR) + "/bin/pdf-demo " + Quote(out) + (a4 ? " --a4" : "") +
                          (compress ? "" : " --no-compress") + " --title 'Demo (1) «Ωmega»' 2>/dev/null",
                      &report),
                0)
          << report;
      EXPECT_TRUE(QpdfClean(out));
      auto info = PdfInfo(out);
      EXPECT_EQ(info["Pages"], "1");
      EXPECT_EQ(info["MediaBox"], a4 ? "0.00     0.00   595.00   842.00" : "0.00     0.00   612.00   792.00");
      EXPECT_EQ(info["PDF version"], compress ? "1.2" : "1.1");
      EXPECT_EQ(info["Title"], "Demo (1) «Ωmega»");
      const std::string pdf = Slurp(out);
      if (!compress) {
        EXPECT_EQ(pdf.find("0,5"), std::string::npos) << "no decimal comma in the page";
      }
      const auto images = Images(out);
      ASSERT_EQ(images.size(), 1u);
      EXPECT_EQ(images[0].width, 400);
      std::string fonts;
      Shell("pdffonts " + Quote(out), &fonts);
      EXPECT_NE(fonts.find("Helvetica-Bold                       Type 1            WinAnsi          no  no  no"),
                std::string::npos)
          << fonts;

      // Each reported text: its words start at x0 and end at x1.
      const double height = a4 ? 842 : 792;
      const auto words = Words(out, 1);
      std::istringstream lines(report);
      std::string line;
      int checked = 0;
      while (std::getline(lines, line)) {
        std::istringstream f(line);
        std::string text, x0s, ys, x1s;
        std::getline(f, text, '\t');
        std::getline(f, x0s, '\t');
        std::getline(f, ys, '\t');
        std::getline(f, x1s, '\t');
        const double x0 = std::strtod(x0s.c_str(), nullptr), x1 = std::strtod(x1s.c_str(), nullptr);
        const std::string first = text.substr(0, text.find(' '));
        const std::string last = text.substr(text.rfind(' ') + 1);
        const Word* a = nullptr;
        const Word* b = nullptr;
        for (const Word& w : words) {
          if (!a && w.text == first && std::abs(w.xMin - x0) < 0.05) a = &w;
          if (w.text == last && std::abs(w.xMax - x1) < 0.05) b = &w;
        }
        EXPECT_TRUE(a) << "no word '" << first << "' at x " << x0 << " (" << (a4 ? "A4" : "Letter") << ")";
        EXPECT_TRUE(b) << "no word '" << last << "' ending at x " << x1;
        if (a) {
          EXPECT_LT(a->yMax, height - std::strtod(ys.c_str(), nullptr) + 6) << text;
        }
        ++checked;
      }
      EXPECT_EQ(checked, 5);
    }
  }
}

// The page written over the picture it shows is refused; the picture stays.
TEST(PdfDemoTool, RefusesToWriteOverItsPicture) {
  ScratchDir dir;
  const std::string jpeg = dir / "picture.jpg";
  ASSERT_TRUE(vexa::base::WriteFileAtomic(jpeg, std::string("\xFF\xD8 not decoded before the check")));
  ASSERT_EQ(::symlink(jpeg.c_str(), (dir / "page.pdf").c_str()), 0);
  for (const std::string& out : {jpeg, dir / "page.pdf"}) {
    std::string said;
    EXPECT_EQ(Shell(std::string(VEXA_BUILD_DIR) + "/bin/pdf-demo " + Quote(out) + " --jpeg " + Quote(jpeg), &said), 2)
        << said;
    EXPECT_NE(said.find("is the picture"), std::string::npos) << said;
  }
  std::string after;
  ASSERT_TRUE(vexa::base::ReadFile(jpeg, &after));
  EXPECT_EQ(after, std::string("\xFF\xD8 not decoded before the check"));
}

// Command lines that write no page: --help answers with the usage (status
// 0), a bad command line is refused with status 2, and a picture that cannot
// be read or drawn fails with status 1. None of them writes a file (not even
// one named after an option) or changes the page there was.
TEST(PdfDemoTool, CommandLinesThatWriteNothing) {
  ScratchDir dir;
  ASSERT_TRUE(vexa::base::WriteFileAtomic(dir / "old.pdf", "AN EARLIER PAGE"));
  ASSERT_TRUE(vexa::base::WriteFileAtomic(dir / "fake.jpg", "not a JPEG picture"));
  ASSERT_TRUE(vexa::base::MakeDirs(dir / "photos"));
  struct Case {
    std::string args;
    int status;
    std::string said;  // the start of what it says
  } cases[] = {
      {"--help", 0, "usage: pdf-demo OUT.pdf [--a4] [--no-compress] [--jpeg FILE] [--title TEXT]\n\nWrites OUT.pdf"},
      {"-h", 0, "usage: pdf-demo OUT.pdf"},
      {"old.pdf --help", 0, "usage: pdf-demo OUT.pdf"},
      {"", 2, "pdf-demo: no OUT.pdf given\nusage: pdf-demo OUT.pdf"},
      {"--bogus old.pdf", 2, "pdf-demo: unknown option --bogus\nusage: pdf-demo OUT.pdf"},
      {"old.pdf --a4 --jpeg", 2, "pdf-demo: --jpeg needs a value\nusage: pdf-demo OUT.pdf"},
      {"old.pdf other.pdf", 2, "pdf-demo: one OUT.pdf only: other.pdf\nusage: pdf-demo OUT.pdf"},
      {"old.pdf --jpeg missing.jpg", 1,
       "pdf-demo: cannot use the picture: cannot open 'missing.jpg': No such file or directory\n"},
      {"old.pdf --jpeg photos", 1, "pdf-demo: cannot use the picture: 'photos' is a folder, not a file\n"},
      {"old.pdf --jpeg fake.jpg", 1, "pdf-demo: cannot draw the picture fake.jpg: "},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args);
    const auto before = vexa::testsupport::FileTree(dir.path());
    std::string said;
    EXPECT_EQ(Shell("cd " + Quote(dir.path()) + " && " + std::string(VEXA_BUILD_DIR) + "/bin/pdf-demo " + c.args, &said),
              c.status)
        << said;
    EXPECT_EQ(said.rfind(c.said, 0), 0u) << said;
    EXPECT_TRUE(vexa::testsupport::FileTree(dir.path()) == before) << "a file changed";
  }
}

}  // namespace
