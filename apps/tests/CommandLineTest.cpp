// The command line of vexa, read into CVexaCommandLineInfo: one table of
// argument vectors and what they set.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "apps/vexa/VexaCommandLineInfo.h"
#include "apps/vexa/VexaUtil.h"

namespace vexa::app {
namespace {

using Info = CVexaCommandLineInfo;

struct Row {
  const char* name;
  std::vector<std::string> args;
  std::function<void(const Info&)> check;
  bool bad = false;                   // bad parameter seen
  std::vector<std::string> lines = {};  // texts handed to the log routine
};

const std::vector<Row>& Rows() {
  static const std::vector<Row> rows = {
      {"nothing", {}, [](const Info& i) {
         EXPECT_FALSE(i.statusMode || i.silentMode || i.help || i.defaultTitle || i.marwick);
         EXPECT_EQ(i.tvSystem, Info::kTVNotGiven);
         EXPECT_EQ(i.paperSize, Info::kPaperNotGiven);
         EXPECT_EQ(i.stillDelay, -1);
         EXPECT_EQ(i.burnSpeed, -1);
         EXPECT_EQ(i.startScreen, -1);
         EXPECT_TRUE(i.noMusicGiven);
         EXPECT_FALSE(i.emptyMusic);
       }},
      {"status then silent", {"/r:status", "/r:silent"},
       [](const Info& i) { EXPECT_TRUE(i.silentMode); EXPECT_FALSE(i.statusMode); }},
      {"silent then status, any case, dash form", {"-R:SILENT", "/r:Status"},
       [](const Info& i) { EXPECT_TRUE(i.statusMode); EXPECT_FALSE(i.silentMode); }},
      {"delay zero", {"/p:0"}, [](const Info& i) { EXPECT_EQ(i.stillDelay, -1); }, true,
       {"CVexaCommandLineInfo::ParseParam - Invalid delay = 0."}},
      {"delay negative", {"/p:-3"}, [](const Info& i) { EXPECT_EQ(i.stillDelay, -1); }, true,
       {"CVexaCommandLineInfo::ParseParam - Invalid delay = -3."}},
      {"delay not a number is refused and said as given", {"/p:abc"},
       [](const Info& i) { EXPECT_EQ(i.stillDelay, -1); }, true,
       {"CVexaCommandLineInfo::ParseParam - Invalid delay = abc."}},
      {"delay refused after a good one resets it", {"/p:7", "/p:0"},
       [](const Info& i) { EXPECT_EQ(i.stillDelay, -1); }, true,
       {"CVexaCommandLineInfo::ParseParam - Invalid delay = 0."}},
      {"delay 1 passes on", {"/p:1"}, [](const Info& i) { EXPECT_EQ(i.stillDelay, 1); }},
      {"delay leading digits", {"/p:12s"}, [](const Info& i) { EXPECT_EQ(i.stillDelay, 12); }},
      {"delay beyond 32 bits is held to the range", {"/p:99999999999"},
       [](const Info& i) { EXPECT_EQ(i.stillDelay, 2147483647); }},
      {"delay far below the range", {"/p:-99999999999"}, [](const Info& i) { EXPECT_EQ(i.stillDelay, -1); },
       true, {"CVexaCommandLineInfo::ParseParam - Invalid delay = -99999999999."}},
      {"start screen 6", {"/s:6"}, [](const Info& i) { EXPECT_EQ(i.startScreen, -1); }, true,
       {"CVexaCommandLineInfo::ParseParam - Invalid start screen = 6."}},
      {"start screen -1", {"/s:-1"}, [](const Info& i) { EXPECT_EQ(i.startScreen, -1); }, true,
       {"CVexaCommandLineInfo::ParseParam - Invalid start screen = -1."}},
      {"start screen abc is the welcome page", {"/s:abc"},
       [](const Info& i) { EXPECT_EQ(i.startScreen, 0); }},
      {"start screen 5", {"/s:5"}, [](const Info& i) { EXPECT_EQ(i.startScreen, 5); }},
      {"burn speed 0", {"/b:0"}, [](const Info& i) { EXPECT_EQ(i.burnSpeed, -1); }, true,
       {"CVexaCommandLineInfo::ParseParam - Invalid burn speed = 0."}},
      {"burn speed abc is said as given", {"/b:abc"}, [](const Info& i) { EXPECT_EQ(i.burnSpeed, -1); }, true,
       {"CVexaCommandLineInfo::ParseParam - Invalid burn speed = abc."}},
      {"burn speed 8", {"/B:8"}, [](const Info& i) { EXPECT_EQ(i.burnSpeed, 8); }},
      {"pal and a4 in lower case", {"/f:pal", "/l:a4"}, [](const Info& i) {
         EXPECT_EQ(i.tvSystem, Info::kTVPAL);
         EXPECT_EQ(i.paperSize, Info::kPaperA4);
       }},
      {"ntsc and letter", {"/F:NTSC", "/L:letter"}, [](const Info& i) {
         EXPECT_EQ(i.tvSystem, Info::kTVNTSC);
         EXPECT_EQ(i.paperSize, Info::kPaperLetter);
       }},
      {"secam and legal are not marked", {"/f:SECAM", "/l:Legal"}, [](const Info& i) {
         EXPECT_EQ(i.tvSystem, Info::kTVNotGiven);
         EXPECT_EQ(i.paperSize, Info::kPaperNotGiven);
       }},
      {"title lines keep their case and may be empty", {"/t1:", "/T2:Second Line", "/t3:x:y"},
       [](const Info& i) {
         EXPECT_EQ(i.title1, "");
         EXPECT_EQ(i.title2, "Second Line");
         EXPECT_EQ(i.title3, "x:y");
       }},
      {"a title switch without a colon is passed over", {"/t1x", "/t2"},
       [](const Info& i) { EXPECT_EQ(i.title1, ""); EXPECT_EQ(i.title2, ""); }, true},
      {"default title", {"/t1:A", "/td"},
       [](const Info& i) { EXPECT_TRUE(i.defaultTitle); EXPECT_EQ(i.title1, "A"); }},
      {"empty music", {"/m:"}, [](const Info& i) { EXPECT_TRUE(i.emptyMusic); EXPECT_TRUE(i.noMusicGiven); }},
      {"music file", {"/m:/music/a b.mp3"}, [](const Info& i) {
         EXPECT_EQ(i.musicFile, "/music/a b.mp3");
         EXPECT_FALSE(i.noMusicGiven);
         EXPECT_FALSE(i.emptyMusic);
       }},
      {"empty music and a file", {"/m:x.mp3", "/m:"},
       [](const Info& i) { EXPECT_TRUE(i.emptyMusic); EXPECT_FALSE(i.noMusicGiven); }},
      {"directories in order", {"/d:/a", "/D:/b"}, [](const Info& i) {
         EXPECT_EQ(i.imageDirectories, (std::vector<std::string>{"/a", "/b"}));
       }},
      {"a directory holding ; stays whole", {"/d:/photos/summer;winter;"}, [](const Info& i) {
         EXPECT_EQ(i.imageDirectories, (std::vector<std::string>{"/photos/summer;winter;"}));
       }},
      {"image list, the last wins", {"/i:/one.lst", "/i:/two.lst"},
       [](const Info& i) { EXPECT_EQ(i.imageListFile, "/two.lst"); }},
      {"empty values are bad", {"/p:", "/b:", "/s:", "/d:", "/i:"},
       [](const Info& i) {
         EXPECT_TRUE(i.imageDirectories.empty());
         EXPECT_EQ(i.stillDelay, -1);
       },
       true},
      {"marwick without an album", {"/q"}, [](const Info& i) { EXPECT_TRUE(i.marwick); EXPECT_EQ(i.albumFile, ""); }},
      {"two plain arguments", {"first.xml", "second.xml"},
       [](const Info& i) { EXPECT_EQ(i.albumFile, "second.xml"); }},
      {"help among others", {"/h", "/r:silent", "/x"}, [](const Info& i) { EXPECT_TRUE(i.help); }, true},
      {"unknown switches", {"/x", "/r:foo", "-zz", "/r", "/"},
       [](const Info& i) {
         EXPECT_FALSE(i.statusMode || i.silentMode);
         EXPECT_EQ(i.refused, (std::vector<std::string>{"/x", "/r:foo", "-zz", "/r", "/"}));
       },
       true},
      {"refused values are kept as given, good switches are not", {"/p:0", "/r:silent", "--foo", "/b:4", "/s:9"},
       [](const Info& i) { EXPECT_EQ(i.refused, (std::vector<std::string>{"/p:0", "--foo", "/s:9"})); }, true,
       {"CVexaCommandLineInfo::ParseParam - Invalid delay = 0.",
        "CVexaCommandLineInfo::ParseParam - Invalid start screen = 9."}},
      {"an absolute path is the album", {"/r:silent", "/home/user/My Album.xml"},
       [](const Info& i) { EXPECT_EQ(i.albumFile, "/home/user/My Album.xml"); }},
      {"an absolute path under a folder named like a switch", {"/d/a.xml"},
       [](const Info& i) { EXPECT_EQ(i.albumFile, "/d/a.xml"); }},
      {"a path that looks like a switch is one", {"/t1/album.xml"},
       [](const Info& i) { EXPECT_EQ(i.albumFile, ""); EXPECT_EQ(i.title1, ""); }},
      {"-- ends the switches", {"/r:silent", "--", "/t1/album.xml", "/h"},
       [](const Info& i) {
         EXPECT_EQ(i.albumFile, "/h");
         EXPECT_FALSE(i.help);
         EXPECT_TRUE(i.silentMode);
       }},
      {"a dash path is not a path", {"-x/y"}, [](const Info& i) { EXPECT_EQ(i.albumFile, ""); }, true},
      {"a single-component absolute name is a bad switch", {"/album.xml"},
       [](const Info& i) { EXPECT_EQ(i.albumFile, ""); }, true},
  };
  return rows;
}

TEST(CommandLineTest, Table) {
  for (const Row& row : Rows()) {
    SCOPED_TRACE(row.name);
    CVexaUtil::TakeUndeliveredLines();
    Info info;
    ParseCommandLine(row.args, &info);
    row.check(info);
    EXPECT_EQ(info.badParameter, row.bad);
    EXPECT_EQ(CVexaUtil::TakeUndeliveredLines(), row.lines);
  }
}

// The ways people ask a program for its usage are all /h, none a bad switch.
TEST(CommandLineTest, EveryUsualWayToAskForHelpIsHelp) {
  for (const char* arg : {"/h", "-H", "/?", "-?", "/help", "-help", "--help", "--HELP", "/Help"}) {
    SCOPED_TRACE(arg);
    CVexaUtil::TakeUndeliveredLines();
    Info info;
    ParseCommandLine({"/r:status", arg, "/d:/photos"}, &info);
    EXPECT_TRUE(info.help);
    EXPECT_FALSE(info.badParameter);
    EXPECT_TRUE(info.refused.empty());
    EXPECT_TRUE(CVexaUtil::TakeUndeliveredLines().empty());
  }
}

TEST(CommandLineTest, LeadingInteger) {
  EXPECT_EQ(LeadingInteger(""), 0);
  EXPECT_EQ(LeadingInteger("  +42x"), 42);
  EXPECT_EQ(LeadingInteger("-"), 0);
  EXPECT_EQ(LeadingInteger("x12"), 0);
  EXPECT_EQ(LeadingInteger("2147483648"), 2147483647);
  EXPECT_EQ(LeadingInteger("-2147483648"), -2147483647 - 1);
  EXPECT_EQ(LeadingInteger("000000000000000000000000007"), 7);
}

}  // namespace
}  // namespace vexa::app
