// vexaprt-make: the three PDFs for 1, 12, 13 and 500 photos on Letter and
// A4, checked with qpdf and poppler; titles with brackets and non-Latin
// letters; and an album beyond MAX_IMAGES refused with its message.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <functional>
#include <map>
#include <set>

#include "platform/base/Path.h"
#include "platform/imaging/Codec.h"
#include "printing/testsupport/PdfCheck.h"

using namespace vexa::pdftest;

namespace {

std::string Tool() { return std::string(VEXA_BUILD_DIR) + "/bin/vexaprt-make"; }

void MakePhotos(const std::string& folder, int n) {
  vexa::base::MakeDirs(folder);
  for (int i = 0; i < n; ++i) {
    const int w = i % 2 ? 48 : 64, h = i % 2 ? 64 : 48;
    vexa::imaging::Bitmap b;
    ASSERT_TRUE(b.Create(w, h, 24).ok());
    for (int y = 0; y < h; ++y) {
      for (int x = 0; x < 3 * w; ++x) b.row(y)[x] = static_cast<std::uint8_t>(x * 3 + y * 5 + i * 11);
    }
    std::string bytes;
    ASSERT_TRUE(vexa::imaging::EncodeJpeg(b, {}, &bytes).ok());
    char name[32];
    std::snprintf(name, sizeof name, "/p%04d.jpg", i + 1);
    ASSERT_TRUE(vexa::base::WriteFileAtomic(folder + name, bytes));
  }
}

// Distinct image objects on each page.
std::map<int, std::set<int>> ObjectsByPage(const std::string& pdf) {
  std::map<int, std::set<int>> m;
  for (const ImageRow& r : Images(pdf)) m[r.page].insert(r.object);
  return m;
}

TEST(VexaprtMakeTool, ThreePdfsForEveryAlbumSizeOnBothPapers) {
  VEXA_NEED_CHECKERS("qpdf", "pdfinfo", "pdfimages", "pdftotext");
  ScratchDir dir;
  const std::string registry = dir / "registry";
  for (int n : {1, 12, 13, 500}) {
    const std::string photos = dir / ("photos" + std::to_string(n));
    MakePhotos(photos, n);
    for (const bool a4 : {false, true}) {
      if (n == 500 && a4) continue;  // one paper is enough at this size; the others cover A4
      const std::string out = dir / ("out" + std::to_string(n) + (a4 ? "a4" : "letter"));
      std::string log;
      ASSERT_EQ(Shell("VEXA_REGISTRY_DIR=" + Quote(registry) + " " + Tool() + " " + Quote(out) + (a4 ? " --a4" : "") +
                          " --title1 'Summer (2002)' --title2 'Été à Zürich' --title3 'Λίμνη' " + Quote(photos),
                      &log),
                0)
          << log;
      const std::string box = a4 ? "0.00     0.00   595.00   842.00" : "0.00     0.00   612.00   792.00";
      const int sheetPages = (n + 23) / 24;
      const std::pair<const char*, int> files[] = {{"CONTACT.PDF", sheetPages}, {"INSERT.PDF", 4}, {"PRINTS.PDF", n}};
      for (const auto& [name, pages] : files) {
        const std::string pdf = out + "/" + name;
        EXPECT_TRUE(QpdfClean(pdf));
        auto info = PdfInfo(pdf);
        EXPECT_EQ(info["Pages"], std::to_string(pages)) << name << " for " << n;
        EXPECT_EQ(info["MediaBox"], box) << name;
        if (n == 500) continue;  // the last page's box is enough at this size
        EXPECT_EQ(PdfInfo(pdf, pages)["MediaBox"], box) << name;
      }
      // Every photo once in the print album (one a page) and once in the
      // contact sheet (besides the banner and logo on each page).
      auto album = ObjectsByPage(out + "/PRINTS.PDF");
      std::set<int> objects;
      for (auto& [page, ids] : album) {
        EXPECT_EQ(ids.size(), 1u);
        objects.insert(ids.begin(), ids.end());
      }
      EXPECT_EQ(objects.size(), static_cast<std::size_t>(n));
      std::set<int> thumbs;
      int furniture = 0;
      for (const ImageRow& r : Images(out + "/CONTACT.PDF")) {
        if (r.width == 1500 || r.width == 180) ++furniture;
        else thumbs.insert(r.object);
      }
      EXPECT_EQ(thumbs.size(), static_cast<std::size_t>(n));
      EXPECT_EQ(furniture, 2 * sheetPages);
      // Captions and titles.
      const auto words = Words(out + "/CONTACT.PDF", 1);
      std::set<std::string> texts;
      for (const Word& w : words) texts.insert(w.text);
      EXPECT_TRUE(texts.count("IM_A0001"));
      EXPECT_TRUE(texts.count("(2002)"));
      EXPECT_TRUE(texts.count("Zürich"));
      EXPECT_TRUE(texts.count("Λίμνη")) << "letters WinAnsi lacks come from the embedded Unicode font";
      if (n == 13) {
        EXPECT_TRUE(texts.count("13"));
      }
    }
  }
}

// An output folder that takes no files, or cannot be made, is named with
// the system's reason before any PDF is made.
TEST(VexaprtMakeTool, AnOutputFolderThatTakesNoFilesSaysWhy) {
  const std::string dir = vexa::base::MakeTempDir(vexa::base::TempDirectory(), "vexaprt-ro-");
  const std::string readOnly = dir + "/ro";
  MakePhotos(dir + "/photos", 1);
  ASSERT_TRUE(vexa::base::MakeDirs(readOnly));
  const std::string prefix = vexa::testsupport::ReadOnlyFolderPrefix(readOnly);
  if (prefix.empty()) {
    vexa::base::RemoveAll(dir);
    GTEST_SKIP() << "no mount namespace for a read-only folder here";
  }
  const struct {
    std::string out;
    std::string said;
  } cases[] = {
      {readOnly, "vexaprt-make: cannot write in " + readOnly + ": Read-only file system"},
      {readOnly + "/prints", "vexaprt-make: cannot make " + readOnly + "/prints: Read-only file system"},
  };
  for (const auto& c : cases) {
    std::string output;
    EXPECT_EQ(vexa::testsupport::Shell(prefix + Tool() + " '" + c.out + "' '" + dir + "/photos'", &output), 1)
        << output;
    EXPECT_NE(output.find(c.said), std::string::npos) << output;
  }
  vexa::base::RemoveAll(dir);
}

TEST(VexaprtMakeTool, AnAlbumBeyondTheImageLimitIsRefused) {
  ScratchDir dir;
  MakePhotos(dir / "photos", 3);
  ASSERT_TRUE(vexa::base::MakeDirs(dir / "registry"));
  ASSERT_EQ(Shell("VEXA_REGISTRY_DIR=" + Quote(dir / "registry") + " " + std::string(VEXA_BUILD_DIR) +
                  "/bin/vexa-reg add 'HKLM\\SOFTWARE\\Tervane\\Kv Orlune Disc\\CurrentVersion' /v MAX_IMAGES /t "
                  "REG_DWORD /d 2 /f"),
            0);
  std::string log;
  EXPECT_EQ(Shell("VEXA_REGISTRY_DIR=" + Quote(dir / "registry") + " " + Tool() + " " + Quote(dir / "out") + " " +
                      Quote(dir / "photos"),
                  &log),
            1);
  // The product's reason reaches the user before the front's message.
  EXPECT_NE(log.find("vexaprt-make: MakeContactSheet: CPrintContactSheet::GeneratePDF - Too many images: 3 (the limit "
                     "is 2)\nCCoVexaPrt::MakeContactSheet - Failed to create contact sheet"),
            std::string::npos)
      << log;
  EXPECT_FALSE(vexa::base::FileExists(dir / "out/CONTACT.PDF"));
}

// The print copies go to a private folder under --tmp, removed at the end:
// files already there with the copies' names, and the photos themselves when
// --tmp is their folder, are left as they were. A PDF that would replace a
// photo is refused, and so is an OUT_DIR that is or holds the photos.
TEST(VexaprtMakeTool, LeavesWhatItWasGivenAsItWas) {
  ScratchDir dir;
  const std::string photos = dir / "photos";
  MakePhotos(photos, 3);
  for (int n = 0; n <= 3; ++n) {
    for (const char* kind : {"normal", "thumb"}) {
      const std::string name = "p0001-" + std::to_string(n) + "-" + kind + ".jpg";
      ASSERT_TRUE(vexa::base::WriteFileAtomic(photos + "/" + name, "the user's " + name));
    }
  }
  auto snapshot = [&] {
    std::string all;
    for (const auto& e : std::filesystem::directory_iterator(photos)) {
      std::string data;
      vexa::base::ReadFile(e.path().string(), &data);
      all += e.path().filename().string() + "=" + std::to_string(std::hash<std::string>{}(data)) + "\n";
    }
    return all;
  };
  const std::string before = snapshot();
  const std::string env = "VEXA_REGISTRY_DIR=" + Quote(dir / "registry") + " ";
  std::string log;
  ASSERT_EQ(Shell(env + Tool() + " " + Quote(dir / "out") + " --tmp " + Quote(photos) + " " + Quote(photos + "/p0001.jpg") +
                      " " + Quote(photos + "/p0002.jpg"),
                  &log),
            0)
      << log;
  EXPECT_TRUE(vexa::base::FileExists(dir / "out/PRINTS.PDF"));
  EXPECT_EQ(snapshot(), before);

  // A photo where a PDF goes.
  ASSERT_TRUE(std::filesystem::copy_file(photos + "/p0003.jpg", photos + "/PRINTS.PDF"));
  const std::string withPdf = snapshot();
  EXPECT_EQ(Shell(env + Tool() + " " + Quote(photos) + " " + Quote(photos + "/p0001.jpg") + " " +
                      Quote(dir / "photos/../photos/PRINTS.PDF"),
                  &log),
            2)
      << log;
  EXPECT_NE(log.find("would be written over the photo"), std::string::npos) << log;
  EXPECT_EQ(snapshot(), withPdf);

  // The photos' folder as OUT_DIR, given as the photos or holding them: the
  // user's own CONTACT.PDF there is not replaced.
  ASSERT_TRUE(vexa::base::WriteFileAtomic(photos + "/CONTACT.PDF", "the user's contact sheet"));
  const std::string withContact = snapshot();
  for (const std::string& given : {Quote(photos), Quote(photos + "/p0002.jpg")}) {
    EXPECT_EQ(Shell(env + Tool() + " " + Quote(photos) + " " + given, &log), 2) << log;
    EXPECT_NE(log.find("the output folder " + photos + " is or holds"), std::string::npos) << log;
    EXPECT_EQ(snapshot(), withContact);
  }
}

}  // namespace
