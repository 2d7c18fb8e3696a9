// The three page generators on their own: which pages they write, how the
// pages link each other and the pictures, and the language texts.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "pcpages/HtmlAlbum.h"
#include "pcpages/HtmlMenuPage.h"
#include "pcpages/HtmlSlideShow.h"
#include "pcpages/LanguageTexts.h"
#include "pcpages/tests/PageTestSupport.h"
#include "platform/base/Path.h"

namespace vexa::pcpages {
namespace {

using test::AttributeValues;
using test::FilesBelow;
using test::ReadText;
using test::ScratchDir;
using test::Squeeze;
using test::VisibleText;

const LanguageTexts kDefaults;

std::string Still(int i) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "LOWRES/640X640/IM_A%04d.JPG", i);
  return buf;
}

std::string Thumb(int i) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "LOWRES/160X160/IM_A%04d.JPG", i);
  return buf;
}

bool Contains(const std::vector<std::string>& v, const std::string& s) {
  return std::find(v.begin(), v.end(), s) != v.end();
}

class AlbumPagesTest : public ::testing::Test {
 protected:
  int Make(int n) {
    for (int i = 1; i <= n; ++i) EXPECT_EQ(album_.Add(Still(i), Thumb(i), 454, 340, 115, 87), 0);
    return album_.Make(dir_.path(), "VIEW/BROWSE", true, kDefaults);
  }
  std::string Page(const std::string& name) { return ReadText(dir_ / ("VIEW/BROWSE/HTML/" + name)); }
  // The set links of a thumbs page: "< 1 - 6" and "13 - 13 >" as shown.
  std::vector<std::string> SetLinks(const std::string& name) {
    std::vector<std::string> out;
    for (const auto& [href, text] : test::Anchors(Page(name))) {
      if (href.rfind("TH_", 0) == 0) out.push_back(href + " " + text);
    }
    return out;
  }
  int Entries(const std::string& name) {
    return static_cast<int>(AttributeValues(Page(name), "target").size()) -
           static_cast<int>(SetLinks(name).size());
  }

  HtmlAlbum album_;
  ScratchDir dir_;
};

TEST_F(AlbumPagesTest, OneStill) {
  ASSERT_EQ(Make(1), kMade);
  EXPECT_EQ(FilesBelow(dir_.path()), (std::vector<std::string>{"VIEW/BROWSE/BROWSE.HTM", "VIEW/BROWSE/HTML/0000.HTM",
                                                                 "VIEW/BROWSE/HTML/TH_0000.HTM"}));
  const std::string view = Page("0000.HTM");
  const auto hrefs = AttributeValues(view, "href");
  EXPECT_TRUE(Contains(hrefs, "./0000.HTM"));  // previous and next both lead to itself
  EXPECT_EQ(std::count(hrefs.begin(), hrefs.end(), "./0000.HTM"), 2);
  EXPECT_TRUE(SetLinks("TH_0000.HTM").empty());
  EXPECT_EQ(Entries("TH_0000.HTM"), 1);
  const std::string frame = ReadText(dir_ / "VIEW/BROWSE/BROWSE.HTM");
  EXPECT_EQ(AttributeValues(frame, "src"), (std::vector<std::string>{"HTML/TH_0000.HTM", "HTML/0000.HTM"}));
}

TEST_F(AlbumPagesTest, PageBreaksAtSixSevenAndThirteen) {
  struct Case {
    int n;
    std::vector<std::vector<std::string>> setLinks;  // per thumbs page, top row then bottom row
    std::vector<int> entries;
  } cases[] = {
      {6, {{}}, {6}},
      {7, {{"TH_0001.HTM 7 - 7 >", "TH_0001.HTM 7 - 7 >"}, {"TH_0000.HTM < 1 - 6", "TH_0000.HTM < 1 - 6"}}, {6, 1}},
      {13,
       {{"TH_0001.HTM 7 - 12 >", "TH_0001.HTM 7 - 12 >"},
        {"TH_0000.HTM < 1 - 6", "TH_0002.HTM 13 - 13 >", "TH_0000.HTM < 1 - 6", "TH_0002.HTM 13 - 13 >"},
        {"TH_0001.HTM < 7 - 12", "TH_0001.HTM < 7 - 12"}},
       {6, 6, 1}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.n);
    album_ = HtmlAlbum();
    base::RemoveAll(dir_ / "VIEW");
    ASSERT_EQ(Make(c.n), kMade);
    const auto pages = FilesBelow(dir_ / "VIEW/BROWSE/HTML", {".htm"});
    EXPECT_EQ(static_cast<int>(pages.size()), c.n + static_cast<int>(c.setLinks.size()));
    for (std::size_t k = 0; k < c.setLinks.size(); ++k) {
      char name[32];
      std::snprintf(name, sizeof name, "TH_%04zu.HTM", k);
      EXPECT_EQ(SetLinks(name), c.setLinks[k]) << name;
      EXPECT_EQ(Entries(name), c.entries[k]) << name;
    }
    // The last still leads back to the first, the first to the last.
    char last[32];
    std::snprintf(last, sizeof last, "./%04d.HTM", c.n - 1);
    EXPECT_TRUE(Contains(AttributeValues(Page("0000.HTM"), "href"), last));
    std::snprintf(last, sizeof last, "%04d.HTM", c.n - 1);
    EXPECT_TRUE(Contains(AttributeValues(Page(last), "href"), "./0000.HTM"));
  }
}

TEST_F(AlbumPagesTest, ViewPageShowsTheStillAndItsPlace) {
  album_.SetTitleLine(0, "Summer");
  album_.SetTitleLine(1, "at the lake");
  album_.SetTitleLine(5, "ignored");
  ASSERT_EQ(album_.Add("LOWRES\\640X640\\Tom & Jerry.jpg", "", 440, 330, 115, 86), 0);
  ASSERT_EQ(Make(2), kMade);
  const std::string view = Page("0000.HTM");
  // The way back from VIEW/BROWSE/HTML to the album root, and the "&" as
  // a character reference in every link.
  EXPECT_NE(view.find("src=\"../../../LOWRES/640X640/Tom%20&amp;%20Jerry.jpg\""), std::string::npos) << view;
  EXPECT_NE(view.find("width=\"440\" height=\"330\""), std::string::npos);
  const std::string text = Squeeze(VisibleText(view));
  EXPECT_NE(text.find("Summer at the lake"), std::string::npos) << text;
  EXPECT_NE(text.find(" Tom & Jerry.jpg Image 1 of 3"), std::string::npos) << text;
  EXPECT_EQ(view.find("PICTURES"), std::string::npos) << view;
  EXPECT_NE(view.find("<title>Summer</title>"), std::string::npos);
  // Without a thumbnail the still stands in for it.
  EXPECT_NE(Page("TH_0000.HTM").find("src=\"../../../LOWRES/640X640/Tom%20&amp;%20Jerry.jpg\""), std::string::npos);
}

TEST_F(AlbumPagesTest, EmptyAlbumOrNoFolderFailsAndWritesNothing) {
  EXPECT_EQ(album_.Make(dir_.path(), "VIEW/BROWSE", true, kDefaults), kNothingToMake);
  EXPECT_NE(album_.Add("", "t.jpg", 1, 1, 1, 1), 0);
  EXPECT_EQ(album_.Count(), 0);
  ASSERT_EQ(album_.Add("a.jpg", "", 1, 1, 1, 1), 0);
  EXPECT_EQ(album_.Make("", "VIEW/BROWSE", true, kDefaults), kNoWorkFolder);
  EXPECT_TRUE(FilesBelow(dir_.path()).empty());
}

TEST(SlideShowPagesTest, SlidesRefreshPauseAndResume) {
  ScratchDir dir;
  HtmlSlideShow show;
  for (int i = 1; i <= 3; ++i) ASSERT_EQ(show.Add(Still(i), 6, 440, 330), 0);
  ASSERT_EQ(show.Make(dir.path(), "VIEW/SHOW", true, kDefaults), kMade);
  auto page = [&](const std::string& name) { return ReadText(dir / ("VIEW/SHOW/HTML/" + name)); };
  EXPECT_NE(page("SL_0000.HTM").find("content=\"6;URL=SL_0001.HTM\""), std::string::npos);
  EXPECT_NE(page("SL_0002.HTM").find("content=\"6;URL=SL_0000.HTM\""), std::string::npos);
  EXPECT_EQ(AttributeValues(page("SL_0000.HTM"), "href"),
            (std::vector<std::string>{"../STYLE/STYLE.CSS", "SL_0002.HTM", "../../ALBUM.HTM", "SSL_0000.HTM",
                                      "SL_0001.HTM"}));
  EXPECT_EQ(page("SSL_0001.HTM").find("refresh"), std::string::npos);
  EXPECT_EQ(AttributeValues(page("SSL_0001.HTM"), "href"),
            (std::vector<std::string>{"../STYLE/STYLE.CSS", "SSL_0000.HTM", "../../ALBUM.HTM", "SL_0001.HTM",
                                      "SSL_0002.HTM"}));
  EXPECT_NE(Squeeze(VisibleText(page("SSL_0001.HTM"))).find("Resume"), std::string::npos);
  EXPECT_NE(page("SL_0001.HTM").find("src=\"../../../LOWRES/640X640/IM_A0002.JPG\""), std::string::npos);
  const std::string frame = ReadText(dir / "VIEW/SHOW/SHOW.HTM");
  EXPECT_EQ(AttributeValues(frame, "src"), (std::vector<std::string>{"HTML/MUSIC.HTM", "HTML/SL_0000.HTM"}));
}

TEST(SlideShowPagesTest, DisplayTimesAndTheMusicPage) {
  ScratchDir dir;
  HtmlSlideShow show;
  ASSERT_EQ(show.Add("a.jpg", 0, 1, 1), 0);
  ASSERT_EQ(show.Add("b.jpg", -1, 1, 1), 0);
  ASSERT_EQ(show.Add("c.jpg", -7, 1, 1), 0);
  ASSERT_EQ(show.Add("first.jpg", 9, 1, 1, 0), 0);  // in front of the others
  EXPECT_NE(show.Add("", 3, 1, 1), 0);
  EXPECT_EQ(show.Count(), 4);
  ASSERT_EQ(show.Make(dir.path(), "VIEW/SHOW", true, kDefaults), kMade);
  auto page = [&](const std::string& name) { return ReadText(dir / ("VIEW/SHOW/HTML/" + name)); };
  EXPECT_NE(page("SL_0000.HTM").find("content=\"9;URL=SL_0001.HTM\""), std::string::npos);
  EXPECT_NE(page("SL_0001.HTM").find("content=\"0;URL=SL_0002.HTM\""), std::string::npos);
  EXPECT_NE(page("SL_0002.HTM").find("content=\"4;URL=SL_0003.HTM\""), std::string::npos);
  EXPECT_NE(page("SL_0003.HTM").find("content=\"0;URL=SL_0000.HTM\""), std::string::npos);
  // Without music the music page has no player, and so no link at all.
  EXPECT_EQ(page("MUSIC.HTM").find("<audio"), std::string::npos);
  EXPECT_EQ(AttributeValues(page("MUSIC.HTM"), "src"), (std::vector<std::string>{"../JS/UTILITY.JS"}));

  show.SetMusicFile("CONTENT\\BG_A0001.MP3");
  ASSERT_EQ(show.Make(dir.path(), "VIEW/SHOW", true, kDefaults), kMade);
  EXPECT_EQ(AttributeValues(page("MUSIC.HTM"), "src"),
            (std::vector<std::string>{"../JS/UTILITY.JS", "../../../CONTENT/BG_A0001.MP3"}));
}

TEST(SlideShowPagesTest, NoSlidesFailsAndWritesNothing) {
  ScratchDir dir;
  HtmlSlideShow show;
  show.SetMusicFile("m.mp3");
  EXPECT_EQ(show.Make(dir.path(), "VIEW/SHOW", true, kDefaults), kNothingToMake);
  EXPECT_TRUE(FilesBelow(dir.path()).empty());
}

TEST(MenuPageTest, PictureVersionAndLinks) {
  ScratchDir dir;
  HtmlMenuPage menu;
  menu.SetPicture("LOWRES\\640X640\\IM_A0001.JPG", 397, 298);
  menu.SetDownloadVersion("2.5.1");
  menu.SetTotal(13);
  ASSERT_EQ(menu.Make(dir.path(), "VIEW", true, kDefaults), kMade);
  const std::string page = ReadText(dir / "VIEW/ALBUM.HTM");
  EXPECT_NE(page.find("<img src=\"../LOWRES/640X640/IM_A0001.JPG\" width=\"397\" height=\"298\""),
            std::string::npos);
  const std::string text = Squeeze(VisibleText(page));
  EXPECT_NE(text.find("Version: 2.5.1"), std::string::npos) << text;
  EXPECT_NE(text.find("Total images: 13"), std::string::npos);
  EXPECT_NE(text.find("Created: "), std::string::npos);
  EXPECT_EQ(page.find("[DATE]"), std::string::npos);
  const auto hrefs = AttributeValues(page, "href");
  for (const char* link : {"./HTML/TROUBLE.HTM#dvds", "./SHOW/SHOW.HTM", "./BROWSE/BROWSE.HTM",
                           "../PRINT/PDF/CONTACT.PDF", "../PRINT/PDF/PRINTS.PDF", "../PRINT/PDF/INSERT.PDF",
                           "./HTML/HELP.HTM", "./STYLE/STYLE.CSS"}) {
    EXPECT_TRUE(Contains(hrefs, link)) << link;
  }
}

TEST(MenuPageTest, WithoutAStillTheFrameStaysEmpty) {
  ScratchDir dir;
  HtmlMenuPage menu;
  menu.SetPicture("", 0, -4);
  ASSERT_EQ(menu.Make(dir.path(), "VIEW", true, kDefaults), kMade);
  const std::string page = ReadText(dir / "VIEW/ALBUM.HTM");
  EXPECT_EQ(page.find("FIRSTSLIDE"), std::string::npos);
  EXPECT_NE(Squeeze(VisibleText(page)).find("Version: 0.0.000"), std::string::npos);
  EXPECT_EQ(HtmlMenuPage().Make("", "VIEW", true, kDefaults), kNoWorkFolder);
}

TEST(LanguageTextsTest, LibraryTextsAndFallbacks) {
  const LanguageTexts t = LanguageTexts::Parse(
      "\xEF\xBB\xBF# comment\n4 = Zurück\r\n5=\n6=Weiter=>\nx=7\n8=<b>mit</b>\n9=" + std::string(3000, 'v') +
      "\n10=bad \xFF byte\n");
  EXPECT_EQ(t.Text(IDS_VEXAPC_PREV), "Zurück");
  EXPECT_EQ(t.Text(IDS_VEXAPC_HOME), "Home");  // an empty text keeps the default
  EXPECT_EQ(t.Text(IDS_VEXAPC_NEXT), "Weiter=>");
  EXPECT_EQ(t.Text(IDS_VEXAPC_BRAG), "<b>mit</b>");
  EXPECT_EQ(t.Text(IDS_VEXAPC_VERSION).size(), 2047u);
  EXPECT_EQ(t.Text(IDS_VEXAPC_TOTAL), "bad \xEF\xBF\xBD byte");
  EXPECT_EQ(t.Text(IDS_VEXAPC_NUMS), "Image [NUM] of [NUMPICS]");
  EXPECT_EQ(t.Text(99, "fallback"), "fallback");

  // The installed English library has every text the pages use.
  const LanguageTexts* english = LanguageTexts::Load("vexapcENU");
  ASSERT_NE(english, nullptr);
  EXPECT_EQ(english, LanguageTexts::Load("vexapcENU"));
  for (int id = IDS_VEXAPC_NOFRAME; id <= IDS_VEXAPC_RESUME; ++id) {
    EXPECT_EQ(english->Text(id, "<missing>"), TextInfo(static_cast<TextId>(id)).fallback) << id;
  }
  std::string why;
  EXPECT_EQ(LanguageTexts::Load("vexapcXYZ", &why), nullptr);
  EXPECT_NE(why.find("vexapcXYZ.txt"), std::string::npos) << why;
  EXPECT_EQ(LanguageTexts::Load("../vexapcENU"), nullptr);
}

}  // namespace
}  // namespace vexa::pcpages
