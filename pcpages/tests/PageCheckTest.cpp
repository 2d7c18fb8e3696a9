// The written page sets checked by independent tools: tidy and xmllint
// accept every page, every link of every page (and of the support files)
// resolves inside the album folder, and a headless browser shows titles and
// odd file names as typed, without script errors.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "idl/VEXAPC.h"
#include "pcpages/tests/PageTestSupport.h"
#include "platform/base/Path.h"

namespace vexa::pcpages {
namespace {

using com::Bstr;
using com::ComPtr;
using test::AttributeValues;
using test::FilesBelow;
using test::ReadText;
using test::ScratchDir;
using test::VisibleText;

namespace fs = std::filesystem;

Bstr B(const std::string& s) { return Bstr::FromUtf8(s); }

std::string Err() { return com::TakeError().Utf8Description(); }

std::string StillName(int i) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "IM_A%04d.JPG", i);
  return buf;
}

class PageCheckTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ::setenv("VEXA_REGISTRY_DIR", (dir_ / "registry").c_str(), 1);
    ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
    root_ = dir_ / "ORLDISC/ALBUM_A";
  }
  void TearDown() override {
    CoUninitialize();
    ::unsetenv("VEXA_REGISTRY_DIR");
  }

  // Writes an album as the disc engine does: the pictures and the music in
  // the album folder, then the three page sets through the server. Each
  // still is given its name from names when there is one there, else its
  // file name.
  void Build(const std::vector<std::string>& stills, const std::vector<std::string>& titles, bool music,
             const std::vector<std::string>& names = {}) {
    const std::string data = std::string(VEXA_TEST_SOURCE_DIR) + "/data/";
    ComPtr<IIVEXAPC> pc;
    ASSERT_EQ(CoCreateInstance(CLSID_IVEXAPC, nullptr, CLSCTX_ALL, IID_IIVEXAPC, pc.PutVoid()), S_OK) << Err();
    ASSERT_EQ(pc->put_WorkDirectory(B(root_).Get()), S_OK);
    ASSERT_EQ(pc->put_StillDelay(2000), S_OK);
    for (std::size_t i = 0; i < titles.size(); ++i) {
      if (!titles[i].empty()) {
        ASSERT_EQ(pc->SetTitleLine(static_cast<LONG>(i + 1), B(titles[i]).Get()), S_OK);
      }
    }
    if (music) {
      test::WriteSilentWav(root_ + "/CONTENT/BG_A0001.WAV");
      ASSERT_EQ(pc->AddAudioTrack(B("CONTENT/BG_A0001.WAV").Get()), S_OK);
    }
    for (std::size_t i = 0; i < stills.size(); ++i) {
      const std::string& name = stills[i];
      const std::string& given = i < names.size() ? names[i] : name;
      fs::create_directories(root_ + "/LOWRES/640X640");
      fs::create_directories(root_ + "/LOWRES/160X160");
      fs::copy_file(data + "still.jpg", root_ + "/LOWRES/640X640/" + name, fs::copy_options::overwrite_existing);
      fs::copy_file(data + "thumb.jpg", root_ + "/LOWRES/160X160/" + name, fs::copy_options::overwrite_existing);
      ASSERT_EQ(pc->AddStill(B("LOWRES/640X640/" + name).Get(), B(given).Get(), 0.0, 1600, 1200,
                             B("LOWRES/160X160/" + name).Get(), 0.0, 160, 120),
                S_OK);
    }
    ASSERT_EQ(pc->MakeAlbum(B("VIEW/BROWSE").Get()), S_OK) << Err();
    ASSERT_EQ(pc->MakeSlideShow(B("VIEW/SHOW").Get()), S_OK) << Err();
    ASSERT_EQ(pc->MakeMenu(B("VIEW").Get()), S_OK) << Err();
    test::WritePdfPlaceholders(root_);
  }

  ScratchDir dir_;
  std::string root_;
};

TEST_F(PageCheckTest, PageSetsAreValidAndEveryLinkResolves) {
  VEXA_NEED_CHECKER("tidy");
  VEXA_NEED_CHECKER("xmllint");
  for (int n : {1, 6, 7, 13}) {
    SCOPED_TRACE(n);
    base::RemoveAll(dir_ / "ORLDISC");
    std::vector<std::string> stills;
    for (int i = 1; i <= n; ++i) stills.push_back(StillName(i));
    Build(stills, {"Our trip", "", "2026"}, n % 2 == 1);
    const auto pages = FilesBelow(root_, {".htm"});
    // The pages of the three sets (two per slide, one per still, the thumbs
    // pages, three frame and menu pages, the music page) and the two help
    // pages of the support tree.
    EXPECT_EQ(static_cast<int>(pages.size()), 2 * n + n + (n + 5) / 6 + 4 + 2);
    for (const std::string& rel : pages) {
      const std::string page = root_ + "/" + rel;
      EXPECT_EQ(test::TidyReport(page), "") << rel;
      const std::string html = ReadText(page);
      const bool frameSet = rel == "VIEW/BROWSE/BROWSE.HTM" || rel == "VIEW/SHOW/SHOW.HTM";
      EXPECT_EQ(html.rfind(frameSet ? "<!DOCTYPE HTML PUBLIC \"-//W3C//DTD HTML 4.01 Frameset//EN\"" : "<!DOCTYPE html>",
                           0),
                0u)
          << rel;
      EXPECT_NE(html.find("charset=utf-8"), std::string::npos) << rel;
      // xmllint's HTML parser predates the audio element.
      if (rel != "VIEW/SHOW/HTML/MUSIC.HTM") {
        EXPECT_EQ(test::XmllintReport(page), "") << rel;
      }
    }
    EXPECT_EQ(test::BrokenLinks(root_), std::vector<std::string>{});
  }
}

TEST_F(PageCheckTest, TitlesAndNamesShowAsTyped) {
  VEXA_NEED_CHECKER("tidy");
  const std::vector<std::string> titles = {"Tom & Jerry's \"Big\" <Trip>", "Лето в Киото — 京都 2026",
                                           "[NUMPICS] & [DATE] </td>"};
  const std::string odd = "it's \"odd\" <&> #1.jpg";
  Build({odd, StillName(2)}, titles, true);

  const std::string view = ReadText(root_ + "/VIEW/BROWSE/HTML/0000.HTM");
  const std::string text = VisibleText(view);
  for (const std::string& t : titles) EXPECT_NE(text.find(t), std::string::npos) << t << "\n" << text;
  // The picture's name as it reads, no folder of another system before it.
  EXPECT_NE(text.find(odd), std::string::npos) << text;
  EXPECT_EQ(view.find("PICTURES"), std::string::npos) << view;
  EXPECT_NE(view.find("<title>Tom &amp; Jerry&#39;s &quot;Big&quot; &lt;Trip&gt;</title>"), std::string::npos);
  const std::string slide = ReadText(root_ + "/VIEW/SHOW/HTML/SL_0000.HTM");
  for (const std::string& t : titles) EXPECT_NE(VisibleText(slide).find(t), std::string::npos) << t;
  EXPECT_NE(VisibleText(ReadText(root_ + "/VIEW/SHOW/HTML/SL_0001.HTM")).find("Image 2 of 2"), std::string::npos);
  for (const std::string& rel : FilesBelow(root_, {".htm"})) {
    EXPECT_EQ(test::TidyReport(root_ + "/" + rel), "") << rel;
  }
  EXPECT_EQ(test::BrokenLinks(root_), std::vector<std::string>{});

  // In the browser the view page's script gets the odd name intact: it
  // finds the picture by it and fits it to the window (the 640 x 480 file
  // shown as 454 x 340 grows to its own size).
  VEXA_NEED_CHECKER("chromium-headless-shell");
  const test::BrowserRun run = test::RunBrowser(root_ + "/VIEW/BROWSE/HTML/0000.HTM", 1000);
  EXPECT_TRUE(run.errors.empty()) << ::testing::PrintToString(run.errors);
  std::string picture;
  for (const std::string& img : test::StartTags(run.dom, "img")) {
    if (test::Attribute(img, "id") == "mainimage") picture = img;
  }
  ASSERT_FALSE(picture.empty()) << run.dom;
  EXPECT_EQ(test::Attribute(picture, "width"), "640") << picture;
  EXPECT_NE(VisibleText(run.dom).find(titles[1]), std::string::npos);
  // Watched until the thumbnail page has loaded (within two minutes), not
  // for a fixed time a busy machine may not be done in.
  const test::PageWatch watch = test::WatchPage(root_ + "/VIEW/BROWSE/BROWSE.HTM", "TH_0000.HTM", 120);
  EXPECT_TRUE(watch.errors.empty()) << watch.report;
  EXPECT_TRUE(watch.reached) << "the thumbnail page did not load within 120 s: " << watch.report;
  EXPECT_TRUE(watch.Navigated("TH_0000.HTM")) << watch.report;
}

// The disc engine names each photo by its title or the user's file name;
// the pages call it so in their text and in the picture's alternative text,
// never by the disc's own file name. A photo given no name is called by its
// file.
TEST_F(PageCheckTest, PhotosAreCalledByTheNameTheyAreGiven) {
  VEXA_NEED_CHECKER("tidy");
  const std::vector<std::string> names = {"Sunset at the pier", "DSC 0042 (copy).jpg", ""};
  Build({StillName(1), StillName(2), StillName(3)}, {"Our trip"}, false, names);
  std::string thumbs;
  for (const std::string& rel : FilesBelow(root_ + "/VIEW/BROWSE/HTML", {".htm"})) {
    if (rel.rfind("TH_", 0) == 0) thumbs += ReadText(root_ + "/VIEW/BROWSE/HTML/" + rel);
  }
  ASSERT_FALSE(thumbs.empty());
  for (int i = 0; i < 3; ++i) {
    const std::string expected = names[i].empty() ? StillName(i + 1) : names[i];
    char number[16];
    std::snprintf(number, sizeof number, "%04d", i);
    for (const std::string& rel : {std::string("VIEW/SHOW/HTML/SL_") + number + ".HTM",
                                   std::string("VIEW/SHOW/HTML/SSL_") + number + ".HTM",
                                   std::string("VIEW/BROWSE/HTML/") + number + ".HTM"}) {
      SCOPED_TRACE(rel);
      const std::string html = ReadText(root_ + "/" + rel);
      const std::string text = VisibleText(html);
      EXPECT_NE(text.find(expected), std::string::npos) << text;
      if (!names[i].empty()) {
        EXPECT_EQ(text.find("IM_A"), std::string::npos) << text;
      }
      int pictures = 0;
      for (const std::string& img : test::StartTags(html, "img")) {
        if (test::Attribute(img, "src").find(StillName(i + 1)) == std::string::npos) continue;
        ++pictures;
        EXPECT_EQ(test::Attribute(img, "alt"), expected) << img;
      }
      EXPECT_EQ(pictures, 1) << html;
      EXPECT_EQ(test::TidyReport(root_ + "/" + rel), "");
    }
    int thumbnails = 0;
    for (const std::string& img : test::StartTags(thumbs, "img")) {
      if (test::Attribute(img, "src").find("160X160/" + StillName(i + 1)) == std::string::npos) continue;
      ++thumbnails;
      EXPECT_EQ(test::Attribute(img, "alt"), expected) << img;
    }
    EXPECT_EQ(thumbnails, 1) << thumbs;
  }
}

}  // namespace
}  // namespace vexa::pcpages
