// The page engine: rendering (tags, escaping, blocks, the title and date
// lines), writing (the result codes) and the path rules of the generators.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <ctime>
#include <string>
#include <vector>

#include "pcpages/TemplatePage.h"
#include "pcpages/tests/PageTestSupport.h"
#include "platform/base/Path.h"

namespace vexa::pcpages {
namespace {

using test::ReadText;
using test::ScratchDir;
using test::WriteText;

struct Tag {
  std::string name, value;
  TagKind kind = TagKind::kValue;
};

struct RenderCase {
  const char* what;
  std::string text;
  std::string title;
  std::vector<Tag> tags;
  std::vector<std::string> drop;
  std::string expected;
};

RepTagList MakeTags(const std::vector<Tag>& tags) {
  RepTagList list;
  for (const Tag& t : tags) {
    if (t.kind == TagKind::kText) list.AddText(t.name, t.value);
    else list.Add(t.name, t.value, t.kind == TagKind::kRaw);
  }
  return list;
}

TEST(TemplatePageTest, RendersTagsBlocksAndEscapes) {
  const TagKind raw = TagKind::kRaw, text = TagKind::kText;
  const std::vector<RenderCase> cases = {
      {"a tag is filled everywhere", "<p>[A]</p><i>[A]</i>", "", {{"A", "x"}}, {}, "<p>x</p><i>x</i>"},
      {"a value is escaped for an attribute", "<img alt=\"[A]\">", "", {{"A", "a&b<c>\"d\"'e'"}}, {},
       "<img alt=\"a&amp;b&lt;c&gt;&quot;d&quot;&#39;e&#39;\">"},
      {"a raw tag goes in as it is", "[A]", "", {{"A", "<tr><td>&amp;</td></tr>", raw}}, {},
       "<tr><td>&amp;</td></tr>"},
      {"a caller's [TAG] is never filled by a later tag", "[A]", "", {{"A", "[B]"}, {"B", "x"}}, {}, "&#91;B]"},
      {"a system text's tags are filled by later tags", "[N]", "",
       {{"N", "Image [NUM] of [NUMPICS]", text}, {"NUM", "3"}, {"NUMPICS", "7"}}, {}, "Image 3 of 7"},
      {"a system text is escaped too", "<a title=\"[N]\">", "", {{"N", "Fish & \"Chips\"", text}}, {},
       "<a title=\"Fish &amp; &quot;Chips&quot;\">"},
      {"the first of two equal names wins", "[A][A]", "", {{"A", "1"}, {"A", "2"}}, {}, "11"},
      {"a tag nothing fills stays", "[X] [A]", "", {{"A", "a"}}, {}, "[X] a"},
      {"a block whose markers are empty tags stays", "1[L]2[/L]3", "", {{"L", ""}, {"/L", ""}}, {}, "123"},
      {"a dropped block goes, every one, and a stray start marker too", "a[L]b[/L]c[L]d[/L]e[L]", "", {},
       {"L"}, "ace"},
      {"an end marker before its start keeps both texts", "[/L]x[L]y", "", {}, {"L"}, "[/L]xy"},
      {"dropping a block the text lacks changes nothing", "abc", "", {}, {"Q"}, "abc"},
      {"the title block stays with a title", "<title>[HTMLTITLELINE][HTMLTITLE][/HTMLTITLELINE]</title>",
       "Tom & Jerry's <Trip>", {}, {}, "<title>Tom &amp; Jerry&#39;s &lt;Trip&gt;</title>"},
      {"without a title the block goes with its line break",
       "<head>\n[HTMLTITLELINE]<title>[HTMLTITLE]</title>\n[/HTMLTITLELINE]</head>", "", {}, {}, "<head>\n</head>"},
      {"a title's [TAG] shows as typed", "[HTMLTITLE] [NUMPICS]", "[NUMPICS]", {{"NUMPICS", "4"}}, {},
       "&#91;NUMPICS] 4"},
      {"the date line always stays", "[DATELINE]on[/DATELINE]", "", {}, {}, "on"},
      {"a value inside a script string is escaped for the script, then for the attribute",
       "f('[A:JS]', '[A]')", "", {{"A", "it's \"x\" \\ <y>"}}, {},
       "f('it\\&#39;s \\&quot;x\\&quot; \\\\ \\x3Cy&gt;', 'it&#39;s &quot;x&quot; \\ &lt;y&gt;')"},
      {"line breaks cannot end a script string", "'[A:JS]'", "", {{"A", "a\nb\r\xE2\x80\xA8"}}, {},
       "'a\\nb\\r\\u2028'"},
      {"non-Latin text passes unchanged", "[A]", "", {{"A", "Лето в Киото 京都"}}, {}, "Лето в Киото 京都"},
  };
  for (const RenderCase& c : cases) {
    TemplatePage page(c.text);
    page.SetPageTitle(c.title);
    EXPECT_EQ(page.Render(MakeTags(c.tags), c.drop), c.expected) << c.what;
  }
}

TEST(TemplatePageTest, DateIsTheLongDateOfTheDay) {
  ::setenv("TZ", "UTC", 1);
  ::tzset();
  ::setenv("LC_ALL", "C", 1);
  base::ManualClock clock(std::chrono::system_clock::from_time_t(1772539200));  // 2026-03-03 12:00 UTC
  TemplatePage page("<p>[DATE]</p>");
  page.SetClock(&clock);
  EXPECT_EQ(page.Render({}), "<p>Tuesday, March 3, 2026</p>");
  ::unsetenv("LC_ALL");
}

TEST(TemplatePageTest, TagListRefusesEmptyNames) {
  RepTagList tags;
  EXPECT_FALSE(tags.Add("", "x"));
  EXPECT_FALSE(tags.AddText("", "x"));
  EXPECT_TRUE(tags.AddNumber("N", -12));
  EXPECT_EQ(tags.Count(), 1u);
  EXPECT_EQ(tags.begin()->value, "-12");
  try {
    RepTag bad("", "x", TagKind::kValue);
    FAIL() << "a tag without a name was made";
  } catch (const RepTagException& e) {
    EXPECT_STREQ(e.what(), "Invalid tag");
  }
  // Messages are kept in 512 bytes, cut without splitting a character.
  HtmlPageException longOne(std::string(600, 'x'));
  EXPECT_EQ(std::string(longOne.what()).size(), 511u);
  HtmlPageException cyrillic(std::string(600, 'a') + "Ж");
  EXPECT_EQ(std::string(cyrillic.what()), std::string(511, 'a'));
}

class TemplateWriteTest : public ::testing::Test {
 protected:
  int Write(const std::string& path, bool overwrite = true) { return page_.Write(path, tags_, {}, overwrite); }
  TemplatePage page_{"<p>[A]</p>"};
  RepTagList tags_ = [] {
    RepTagList t;
    t.Add("A", "new");
    return t;
  }();
  ScratchDir dir_;
};

TEST_F(TemplateWriteTest, ResultCodes) {
  WriteText(dir_ / "old.htm", "old");
  WriteText(dir_ / "ro.htm", "kept");
  ::chmod((dir_ / "ro.htm").c_str(), 0444);
  ::mkdir((dir_ / "folder.htm").c_str(), 0755);
  ::mkdir((dir_ / "locked").c_str(), 0555);
  WriteText(dir_ / "file", "a file");
  const std::string longName(300, 'n');
  struct Case {
    std::string path;
    bool overwrite;
    int expected;
  } cases[] = {
      {"", true, kEmptyPath},
      {dir_ / "old.htm", false, kFileExists},
      {dir_ / "folder.htm", true, kPathIsFolder},
      {dir_ / "ro.htm", true, kFileReadOnly},
      {dir_ / "locked/page.htm", true, kFolderReadOnly},
      {dir_ / "locked/new/page.htm", true, kFolderReadOnly},
      {dir_ / "file/page.htm", true, kFileOnTheWay},
      {dir_ / (longName + "/page.htm"), true, kCannotMakeFolder},
      {dir_ / (longName + ".htm"), true, kCannotWrite},
      {dir_ / "old.htm", true, kWritten},
      {dir_ / "new/deep/page.htm", true, kWritten},
  };
  for (const Case& c : cases) EXPECT_EQ(Write(c.path, c.overwrite), c.expected) << c.path;
  EXPECT_EQ(ReadText(dir_ / "ro.htm"), "kept");
  EXPECT_EQ(ReadText(dir_ / "old.htm"), "<p>new</p>");
  EXPECT_EQ(ReadText(dir_ / "new/deep/page.htm"), "<p>new</p>");
  EXPECT_FALSE(base::DirExists(dir_ / "locked/new"));
  // Nothing but the pages themselves is left behind.
  EXPECT_EQ(test::FilesBelow(dir_.path()),
            (std::vector<std::string>{"file", "new/deep/page.htm", "old.htm", "ro.htm"}));
}

TEST_F(TemplateWriteTest, SeparatorsAreNormalisedAndAbsolutePathsStayAbsolute) {
  ScratchDir elsewhere;
  char here[4096];
  ASSERT_NE(::getcwd(here, sizeof here), nullptr);
  ASSERT_EQ(::chdir(elsewhere.path().c_str()), 0);
  const int absolute = Write(dir_.path() + "\\sub\\\\x.htm");
  const int relative = Write("rel\\\\y.htm");
  ASSERT_EQ(::chdir(here), 0);
  EXPECT_EQ(absolute, kWritten);
  EXPECT_EQ(ReadText(dir_ / "sub/x.htm"), "<p>new</p>");
  EXPECT_EQ(relative, kWritten);
  // Only the relative page went below the working folder.
  EXPECT_EQ(test::FilesBelow(elsewhere.path()), (std::vector<std::string>{"rel/y.htm"}));
}

TEST(PathRulesTest, LinksPrefixesAndNames) {
  struct {
    std::string folder, prefix;
  } prefixes[] = {
      {"VIEW/BROWSE/HTML/", "../../../"}, {"VIEW", "../"}, {"VIEW/SHOW/HTML", "../../../"},
      {"/VIEW\\SHOW", "../../"},          {"VIEW//SHOW/", "../../"}, {"", ""},
  };
  for (const auto& p : prefixes) EXPECT_EQ(RelativePrefix(p.folder), p.prefix) << p.folder;

  EXPECT_EQ(NormaliseLink("a\\b//c\\\\d"), "a/b/c/d");
  EXPECT_EQ(NormaliseLink("\\\\x"), "/x");
  EXPECT_EQ(FileNameOf("LOWRES/640X640\\IM_A0001.JPG"), "IM_A0001.JPG");
  EXPECT_EQ(FileNameOf("a\\b/c.jpg"), "c.jpg");
  EXPECT_EQ(FileNameOf("plain.jpg"), "plain.jpg");

  EXPECT_EQ(UrlPath("../LOWRES\\a b#1?.jpg"), "../LOWRES/a%20b%231%3F.jpg");
  EXPECT_EQ(UrlPath("100%\"x\".jpg"), "100%25%22x%22.jpg");
  EXPECT_EQ(UrlPath("Tom&Jerry's.jpg"), "Tom&Jerry's.jpg");
  EXPECT_EQ(UrlPath("Лето.jpg"), "Лето.jpg");
}

}  // namespace
}  // namespace vexa::pcpages
