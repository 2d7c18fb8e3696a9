// The orchestrator's utilities: registry values, the language library and
// its fallbacks, log lines and the pending error text, the reminder flag,
// message formatting and the progress step of the message-pump wait.
#include <thread>

#include "core/CoreFiles.h"
#include "core/CoreUtil.h"
#include "core/testsupport/ScriptedUi.h"
#include "core/StringTable.h"
#include "core/tests/CoreTestSupport.h"
#include "idl/ProductKey.h"
#include "platform/base/Path.h"
#include "platform/registry/Registry.h"

namespace vexa::core::test {
namespace {

using namespace vexa::com;

class UtilTest : public CoreTest {
 protected:
  void SetUp() override {
    CoreTest::SetUp();
    log_ = std::make_shared<LogStore>();
    util_.SetLogger(MakeFakeLogger(log_));
  }
  std::shared_ptr<LogStore> log_;
  CVexaCoreUtil util_;
};

TEST_F(UtilTest, RegistryNumbersAndTextsReportMissingValues) {
  DWORD n = 77;
  EXPECT_FALSE(CVexaCoreUtil::getRegistryEntry(HKEY_LOCAL_MACHINE, kProductKey, "NO_SUCH_VALUE", &n));
  EXPECT_EQ(n, 0u);
  n = 77;
  EXPECT_FALSE(CVexaCoreUtil::getRegistryEntry(HKEY_LOCAL_MACHINE, "SOFTWARE\\No\\Such\\Key", "X", &n));
  EXPECT_EQ(n, 0u);
  std::string s = "kept";
  EXPECT_FALSE(CVexaCoreUtil::getRegistryEntry(HKEY_LOCAL_MACHINE, kProductKey, "NO_SUCH_VALUE", &s));
  EXPECT_EQ(s, "kept");

  SetProductDword("CORE_TEST_NUMBER", 123456789);
  SetProductString("CORE_TEST_TEXT", "a text");
  EXPECT_TRUE(CVexaCoreUtil::getRegistryEntry(HKEY_LOCAL_MACHINE, kProductKey, "CORE_TEST_NUMBER", &n));
  EXPECT_EQ(n, 123456789u);
  EXPECT_TRUE(CVexaCoreUtil::getRegistryEntry(HKEY_LOCAL_MACHINE, kProductKey, "CORE_TEST_TEXT", &s));
  EXPECT_EQ(s, "a text");
  // A value of the other kind is a failure of either reader.
  EXPECT_FALSE(CVexaCoreUtil::getRegistryEntry(HKEY_LOCAL_MACHINE, kProductKey, "CORE_TEST_TEXT", &n));
  EXPECT_EQ(n, 0u);
  s = "kept";
  EXPECT_FALSE(CVexaCoreUtil::getRegistryEntry(HKEY_LOCAL_MACHINE, kProductKey, "CORE_TEST_NUMBER", &s));
  EXPECT_EQ(s, "kept");
  // A text longer than the 260-byte buffer is not read.
  SetProductString("CORE_TEST_LONG", std::string(300, 'x'));
  EXPECT_FALSE(CVexaCoreUtil::getRegistryEntry(HKEY_LOCAL_MACHINE, kProductKey, "CORE_TEST_LONG", &s));

  // The shipped defaults are read through the same calls.
  EXPECT_TRUE(CVexaCoreUtil::getRegistryEntry(HKEY_LOCAL_MACHINE, kProductKey, "MIN_TEMP_SPACE", &n));
  EXPECT_EQ(n, 200000000u);
  EXPECT_TRUE(CVexaCoreUtil::getRegistryEntry(HKEY_LOCAL_MACHINE, kProductKey, "CORE_INCLUDE_PATH", &s));
  EXPECT_NE(s.find("core/include/"), std::string::npos) << s;

  EXPECT_TRUE(CVexaCoreUtil::setRegistryEntry(HKEY_CURRENT_USER, "Software\\Vexa Test\\New Key", "Name", "value"));
  EXPECT_EQ(reg::GetString(reg::Hive::CurrentUser, "Software\\Vexa Test\\New Key", "Name"), "value");
}

TEST_F(UtilTest, ReminderFlagReadsTrueIgnoringCaseAndWritesTrueOrFalse) {
  struct Case {
    const char* stored;
    bool flag;
  };
  for (const Case& c : {Case{"TRUE", true}, Case{"true", true}, Case{"True", true}, Case{"FALSE", false},
                        Case{"yes", false}, Case{"", false}}) {
    ASSERT_TRUE(CVexaCoreUtil::setRegistryEntry(HKEY_CURRENT_USER, kProductKey, "CD-R_VS_CD-RW_NAG", c.stored));
    bool flag = !c.flag;
    EXPECT_TRUE(CVexaCoreUtil::GetCDRvsCDRW_NagFlag(&flag)) << c.stored;
    EXPECT_EQ(flag, c.flag) << c.stored;
  }
  ASSERT_EQ(reg::DeleteValue(reg::Hive::CurrentUser, kProductKey, "CD-R_VS_CD-RW_NAG"), reg::Status::Ok);
  bool flag = true;
  EXPECT_FALSE(CVexaCoreUtil::GetCDRvsCDRW_NagFlag(&flag));
  EXPECT_TRUE(flag);
  flag = false;
  EXPECT_FALSE(CVexaCoreUtil::GetCDRvsCDRW_NagFlag(&flag));
  EXPECT_FALSE(flag);

  EXPECT_TRUE(CVexaCoreUtil::SetCDRvsCDRW_NagFlag(false));
  EXPECT_EQ(reg::GetString(reg::Hive::CurrentUser, kProductKey, "CD-R_VS_CD-RW_NAG"), "FALSE");
  EXPECT_TRUE(CVexaCoreUtil::SetCDRvsCDRW_NagFlag(true));
  EXPECT_EQ(reg::GetString(reg::Hive::CurrentUser, kProductKey, "CD-R_VS_CD-RW_NAG"), "TRUE");
}

TEST_F(UtilTest, StringsComeFromTheLanguageLibraryOrTheirFallbackWithTheMissLogged) {
  util_.SetStrings(StringTable::Parse("# comment\n"
                                      "56=Done!\n"
                                      "4482=Line one.\\r\\nLine two\\\\ end\n"
                                      "151/1090=Step one\n"
                                      "not a line\n"
                                      "12x=ignored\n",
                                      dir_));
  EXPECT_EQ(util_.LoadString(56, "fallback"), "Done!");
  EXPECT_EQ(util_.LoadString(4482, "fallback"), "Line one.\r\nLine two\\ end");
  EXPECT_TRUE(log_->lines.empty());
  EXPECT_EQ(util_.LoadString(9999, "Built in text"), "Built in text");
  ASSERT_EQ(log_->lines.size(), 1u);
  EXPECT_EQ(log_->lines[0].component, "vexacore");
  EXPECT_EQ(log_->lines[0].type, "ERROR");
  EXPECT_EQ(log_->lines[0].text, "CVexaCoreUtil::LoadString - Cannot load resource with id # 9999 and message Built in text");
  EXPECT_EQ(util_.TemplateText(151, 1090, "x"), "Step one");
  EXPECT_EQ(util_.TemplateText(151, 1031, "fallback"), "fallback");

  // Without a library every text is its fallback.
  CVexaCoreUtil bare;
  EXPECT_EQ(bare.LoadString(56, "Orlune disc creation process complete!"), "Orlune disc creation process complete!");
}

TEST_F(UtilTest, ShippedLanguageLibraryLoadsByAbbreviation) {
  EXPECT_EQ(LanguageLibraryName("ENU"), "vexacoreENU");
  EXPECT_EQ(LanguageLibraryName(""), "");
  EXPECT_EQ(LanguageLibraryName("../x"), "");
  EXPECT_EQ(LanguageLibraryName(std::string(91, 'A')), std::string("vexacore") + std::string(91, 'A'));
  EXPECT_EQ(LanguageLibraryName(std::string(92, 'A')), "");

  auto table = LoadLanguageLibrary("ENU");
  ASSERT_TRUE(table);
  EXPECT_EQ(table->String(56), "Orlune disc creation process complete!");
  EXPECT_EQ(table->String(65), "Are you sure you want to cancel?");
  EXPECT_EQ(table->String(4482),
            "The CD-RW disc is not blank.\r\n\r\nClick Yes to erase the disc and continue.\r\n-or-\r\nInsert a new "
            "blank disc and click No.");
  EXPECT_FALSE(table->BitmapPath(153).empty());
  EXPECT_FALSE(table->IconPath(102).empty());
  EXPECT_TRUE(table->BitmapPath(9).empty());
  EXPECT_FALSE(LoadLanguageLibrary("XYZ"));
}

TEST_F(UtilTest, LogErrorFlushesThePendingTextFirstAndAnEmptyTextIsNoSuccess) {
  util_.AppendPendingError("first problem", false);
  util_.AppendPendingError("second problem", false);
  EXPECT_FALSE(util_.LogError("", false));
  ASSERT_EQ(log_->lines.size(), 1u);
  EXPECT_EQ(log_->lines[0].type, "ERROR");
  EXPECT_EQ(log_->lines[0].text, "first problem\r\nsecond problem\r\n");
  EXPECT_EQ(util_.GetPendingErrors(), "");

  // withComError without error information writes only the text.
  log_->lines.clear();
  EXPECT_TRUE(util_.LogError("the text", true));
  ASSERT_EQ(log_->lines.size(), 1u);
  EXPECT_EQ(log_->lines[0].text, "the text");

  // With error information its description goes first.
  log_->lines.clear();
  SetError(u"callee says no", u"Callee", IID_IUnknown, E_FAIL);
  EXPECT_TRUE(util_.LogError("caller line", true));
  ASSERT_EQ(log_->lines.size(), 2u);
  EXPECT_EQ(log_->lines[0].text, "callee says no");
  EXPECT_EQ(log_->lines[1].text, "caller line");

  // A logger that fails makes the call fail; a missing logger writes nothing.
  log_->fail = true;
  EXPECT_FALSE(util_.LogError("lost", false));
  EXPECT_FALSE(util_.LogInfo("lost"));
  log_->fail = false;
  EXPECT_FALSE(util_.LogInfo(""));
  EXPECT_TRUE(util_.LogInfo("progress"));
  EXPECT_EQ(log_->lines.back().type, "INFO");
  CVexaCoreUtil noLogger;
  EXPECT_FALSE(noLogger.LogInfo("nowhere"));
  EXPECT_FALSE(noLogger.LogError("nowhere", false));
}

TEST_F(UtilTest, ComErrorTextIsTakenOnceAndAnEmptyDescriptionEmptiesTheOutput) {
  std::string text = "unchanged";
  CVexaCoreUtil::GetComErrorText(&text);
  EXPECT_EQ(text, "unchanged");
  SetError(u"", u"Callee", IID_IUnknown, E_FAIL);
  CVexaCoreUtil::GetComErrorText(&text);
  EXPECT_EQ(text, "");
  SetError(u"described", u"Callee", IID_IUnknown, E_FAIL);
  CVexaCoreUtil::GetComErrorText(&text);
  EXPECT_EQ(text, "described");
  text = "again";
  CVexaCoreUtil::GetComErrorText(&text);
  EXPECT_EQ(text, "again");
}

TEST_F(UtilTest, ReportErrorGathersOrLogsByTheLogAllFlag) {
  EXPECT_FALSE(util_.ReportError("gathered", false));
  SetError(u"callee text", u"Callee", IID_IUnknown, E_FAIL);
  EXPECT_FALSE(util_.ReportFailure("with callee", true));
  EXPECT_EQ(util_.GetPendingErrors(), "gathered\r\ncallee text\r\nwith callee\r\n");
  EXPECT_TRUE(log_->lines.empty());
  // An empty text with log-all off leaves the pending text alone...
  EXPECT_FALSE(util_.ReportError("", false));
  EXPECT_EQ(util_.GetPendingErrors(), "gathered\r\ncallee text\r\nwith callee\r\n");
  // ...with log-all on it empties it.
  util_.SetLogAll(true);
  EXPECT_FALSE(util_.ReportError("", false));
  EXPECT_EQ(util_.GetPendingErrors(), "");
  EXPECT_TRUE(log_->lines.empty());
  EXPECT_FALSE(util_.ReportError("logged at once", false));
  ASSERT_EQ(log_->lines.size(), 1u);
  EXPECT_EQ(log_->lines[0].text, "logged at once");
  EXPECT_EQ(util_.GetPendingErrors(), "");
}

TEST_F(UtilTest, PendingTextKeepsItsFirstAndLastLinesWhenItOverflows) {
  for (int i = 0; i < 1000; ++i) util_.AppendPendingError("line " + std::to_string(i), false);
  const std::string text = util_.GetPendingErrors();
  EXPECT_EQ(text.rfind("line 0\r\nline 1\r\n", 0), 0u);
  EXPECT_NE(text.find("line 99\r\n... 800 more lines ...\r\nline 900\r\n"), std::string::npos);
  EXPECT_EQ(text.substr(text.size() - 10), "line 999\r\n");
  EXPECT_EQ(text.find("line 500\r\n"), std::string::npos);
  // A single huge line is cut.
  util_.ClearPendingErrors();
  util_.AppendPendingError(std::string(100000, 'x'), false);
  EXPECT_EQ(util_.GetPendingErrors().size(), PendingErrors::kMaxLineBytes + 2);
  EXPECT_EQ(util_.TakePendingErrors().size(), PendingErrors::kMaxLineBytes + 2);
  EXPECT_EQ(util_.GetPendingErrors(), "");
  // A name in a line cannot break it or forge another: each line stays one.
  util_.AppendPendingError("Invalid still path: /photos/line\nforged \xE9t\xE9.jpg.", false);
  EXPECT_EQ(util_.TakePendingErrors(), "Invalid still path: /photos/line\\nforged \\xE9t\\xE9.jpg.\r\n");
  // A line made mostly of escapes still keeps to the longest line.
  util_.AppendPendingError(std::string(100000, '\n'), false);
  EXPECT_EQ(util_.GetPendingErrors().size(), PendingErrors::kMaxLineBytes + 2);
}

TEST(DiscBlocksTest, BlocksOfTheDiscStayWithoutMarkersAndTheOthersGoWhole) {
  struct Case {
    const char* text;
    DiscFacts facts;
    const char* expected;
  };
  const Case cases[] = {
      {"a[TITLE]b[/TITLE]c[NOTITLE]d[/NOTITLE]e", {true, false}, "abce"},
      {"a[TITLE]b[/TITLE]c[NOTITLE]d[/NOTITLE]e", {false, false}, "acde"},
      {"[MUSIC]x[/MUSIC][NOMUSIC]y[/NOMUSIC][MUSIC]z[/MUSIC]", {false, true}, "xz"},
      {"[MUSIC]x[/MUSIC][NOMUSIC]y[/NOMUSIC][MUSIC]z[/MUSIC]", {false, false}, "y"},
      // Blocks of both kinds inside one another.
      {"[TITLE]t[MUSIC]m[/MUSIC][/TITLE]", {true, false}, "t"},
      {"[TITLE]t[MUSIC]m[/MUSIC][/TITLE]", {false, true}, ""},
      // A marker without its end, an end without its start, and text that
      // only looks like a marker.
      {"a[MUSIC]b", {false, false}, "ab"},
      {"a[/TITLE]b", {true, true}, "ab"},
      {"[TITLES] [music] [NO MUSIC]", {false, false}, "[TITLES] [music] [NO MUSIC]"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(KeepDiscBlocks(c.text, c.facts), c.expected) << c.text;
  }
  EXPECT_TRUE(HasDiscBlocks("x [NOMUSIC]"));
  EXPECT_FALSE(HasDiscBlocks("x [/MUSIC] [TITLES]"));
}

// The shipped README.TXT and HOMEPAGE.HTM tell of the title picture and the
// music exactly on the discs that have them, and keep no marker.
TEST(DiscBlocksTest, TheShippedPagesTellOnlyWhatTheDiscHolds) {
  for (const char* name : {"README.TXT", "HOMEPAGE.HTM"}) {
    std::string shipped;
    ASSERT_TRUE(base::ReadFile(base::JoinPath(base::ShareDir(), std::string("core/include/") + name), &shipped));
    EXPECT_TRUE(HasDiscBlocks(shipped)) << name;
    for (bool title : {false, true}) {
      for (bool music : {false, true}) {
        const std::string page = KeepDiscBlocks(shipped, DiscFacts{title, music});
        EXPECT_EQ(page.find("[/"), std::string::npos) << name << "\n" << page;
        EXPECT_EQ(page.find("title picture") != std::string::npos, title) << name << "\n" << page;
        EXPECT_EQ(page.find("music") != std::string::npos, music) << name << "\n" << page;
        EXPECT_EQ(page.find("screen size"), std::string::npos) << name << "\n" << page;
      }
    }
  }
}

TEST(FormatMessageTest, PlaceholdersTakeTheirArgumentsWithTheirConversions) {
  struct Case {
    std::string pattern;
    std::string expected;
  };
  const Case cases[] = {
      {"Time Remaining: %1!s!:%2!s!", "Time Remaining: 3:07"},
      {"Write speed %3!1d!x - Time Remaining: %1!s!:%2!s!", "Write speed 8x - Time Remaining: 3:07"},
      {"You are below %3!d! MB on %1!s!", "You are below 8 MB on 3"},
      {"%1 and %2", "3 and 07"},
      {"100%% of %1!s!", "100% of 3"},
      {"missing %4!s! stays", "missing %4!s! stays"},
      {"bad %1!q! conversion", "bad 3 conversion"},
      {"trailing %", "trailing %"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(FormatMessageText(c.pattern, {"3", "07", 8}), c.expected) << c.pattern;
  }
  EXPECT_EQ(FormatMessageText("%1!5d!|%2!-4s!|", {42, "ab"}), "   42|ab  |");
}

// The time remaining has two-digit seconds, and until there is an estimate
// the line says so instead of showing empty or zero minutes and seconds.
TEST(FormatMessageTest, TheTimeRemainingReadsMinutesAndSecondsOrThatThereIsNoEstimateYet) {
  const std::string t63 = "Time Remaining: %1!s!:%2!s!";
  const std::string t4560 = "Write speed %1!1d!x - Time Remaining: %2!s!:%3!s!";
  struct Case {
    long remaining;
    std::string expected63, expected4560;
  };
  const Case cases[] = {
      {kNoEstimate, "Time Remaining: estimating", "Write speed 8x - Time Remaining: estimating"},
      {0, "Time Remaining: 0:00", "Write speed 8x - Time Remaining: 0:00"},
      {5, "Time Remaining: 0:05", "Write speed 8x - Time Remaining: 0:05"},
      {65, "Time Remaining: 1:05", "Write speed 8x - Time Remaining: 1:05"},
      {3600, "Time Remaining: 60:00", "Write speed 8x - Time Remaining: 60:00"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(TimeRemainingText(t63, {}, c.remaining), c.expected63) << c.remaining;
    EXPECT_EQ(TimeRemainingText(t4560, {8}, c.remaining), c.expected4560) << c.remaining;
  }
  // A language library's own order and words stay; only the two numbers go.
  EXPECT_EQ(TimeRemainingText("Noch %1!s! Min. %2!s! s", {}, 125), "Noch 2 Min. 05 s");
  EXPECT_EQ(TimeRemainingText("Noch %1!s! Min. %2!s! s", {}, kNoEstimate), "Noch estimating s");
  EXPECT_EQ(TimeRemainingText("no numbers", {}, kNoEstimate), "no numbers");
}

TEST_F(UtilTest, WaitWithMessagePumpMovesTheProgressByItsStepModulo101) {
  ScriptedUi ui;
  util_.SetUi(&ui);
  StatusDialog& status = ui.Status();
  status.SetProgress(90);
  Completion done;
  done.Set();
  EXPECT_TRUE(util_.WaitWithMessagePump(&status, 30, done));
  EXPECT_EQ(status.Progress(), 19);

  // A worker that finishes later wakes the wait.
  Completion later;
  status.SetProgress(0);
  std::thread worker([&] { later.Set(); });
  {
    const testsupport::Watchdog dog("the wait to end when the worker set its completion");
    EXPECT_TRUE(util_.WaitWithMessagePump(&status, 1, later));
  }
  worker.join();
  EXPECT_GE(status.Progress(), 1);
}

}  // namespace
}  // namespace vexa::core::test
