// Settings by value identifier: the table, the text forms of numbers, the
// persistence key and the language word.
#include <cerrno>
#include <cstdlib>

#include "platform/registry/Registry.h"
#include "uicommon/common/Settings.h"
#include "uicommon/tests/UiTestSupport.h"

using namespace vexa::ui;
using vexa::reg::Hive;

namespace {

class SettingsTest : public vexa::ui::testing::UiTest {
 protected:
  void TearDown() override {
    SetPersistenceKey("Kvi_No_Persist_Key");
    UiTest::TearDown();
  }
  static std::string Stored(const char* section, const char* name) {
    return vexa::reg::GetString(Hive::CurrentUser,
                                std::string("Software\\Tervane\\Lumacast\\Kvi_No_Persist_Key\\") + section,
                                name)
        .value_or("<none>");
  }
};

TEST_F(SettingsTest, TableRowsOfTheIdentifiersTheFamilyReads) {
  const struct {
    int id;
    const char* section;
    const char* name;
  } rows[] = {
      {0, "General", "SplashScreen"},   {5, "General", "Scan Count"},
      {7, "General", "MaxNumImages"},   {79, "Properties", "ToolTips"},
      {88, "Font", "CaptionEditFace"},  {91, "Font", "EditFilenameFace"},
      {98, "Font", "GeneralFace"},      {99, "Font", "CaptionEditHeight"},
      {109, "Font", "GeneralHeight"},   {115, "Caption", "Debug"},
      {119, "CameraDownload", "Copies"}, {121, "Debug", "NoArtwork"},
      {127, "Debug", "Force256Colors"}, {166, "Camera", "Sound"},
      {207, "Camera", "Detect"},        {208, "Printing", "IndexWidth"},
      {209, "Printing", "Resolution"},  {285, "Quillon", "ImageNumber"},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(r.id);
    EXPECT_STREQ(SettingSection(r.id), r.section);
    EXPECT_STREQ(SettingName(r.id), r.name);
  }
  EXPECT_EQ(SettingSection(286), nullptr);
  EXPECT_EQ(SettingSection(-1), nullptr);
  EXPECT_EQ(PersistenceKey(), "Software\\Tervane\\Lumacast\\Kvi_No_Persist_Key");
}

TEST_F(SettingsTest, NumbersAsStoredText) {
  // Nothing stored: the default.
  EXPECT_EQ(GetIntValue(General_MaxNumImages, 100), 100);
  EXPECT_EQ(GetStrValue(Font_EditFilenameFace, "Arial"), "Arial");

  PutIntValue(General_MaxNumImages, 255);
  EXPECT_EQ(Stored("General", "MaxNumImages"), "255");
  EXPECT_EQ(GetIntValue(General_MaxNumImages, 100), 255);

  const struct {
    const char* text;
    int asInt;
  } texts[] = {{"abc", 0}, {"-13", -13}, {"42px", 42}, {"  7", 7}};
  for (const auto& t : texts) {
    SCOPED_TRACE(t.text);
    PutStrValue(Properties_ToolTips, t.text);
    EXPECT_EQ(GetIntValue(Properties_ToolTips, 99), t.asInt);
  }
  // A stored empty string reads as the default.
  PutStrValue(Properties_ToolTips, "");
  EXPECT_EQ(GetIntValue(Properties_ToolTips, 99), 99);
  EXPECT_EQ(GetStrValue(Properties_ToolTips, "dflt"), "dflt");

  // Floats keep six significant digits.
  PutFloatValue(Margins_InchesLeft, 0.1f);
  EXPECT_EQ(Stored("Margins", "InchesLeft"), "0.1");
  PutFloatValue(Margins_InchesLeft, 12345678.0f);
  EXPECT_EQ(Stored("Margins", "InchesLeft"), "1.23457e+07");
  EXPECT_FLOAT_EQ(GetFloatValue(Margins_InchesLeft, 0), 12345700.0f);

  // Numbered names, 0 included.
  PutNumberedStrValue(Properties_TempDir, 0, "/zero");
  PutNumberedStrValue(Properties_TempDir, 2, "/two");
  EXPECT_EQ(Stored("Properties", "TempDir0"), "/zero");
  EXPECT_EQ(GetNumberedStrValue(Properties_TempDir, 2, ""), "/two");
  EXPECT_EQ(GetNumberedStrValue(Properties_TempDir, 3, "none"), "none");
}

TEST_F(SettingsTest, RectanglesAndUnknownIdentifiers) {
  PutRectValue(Window_ScanRect, QRect(5, 5, 10, 10));
  EXPECT_EQ(GetRectValue(Window_ScanRect, QRect(1, 2, 3, 4)), QRect(0, 0, 42, 42));
  // An identifier outside the table reads as the default and writes nothing.
  EXPECT_EQ(GetIntValue(static_cast<ValueId>(286), 17), 17);
  EXPECT_EQ(GetStrValue(static_cast<ValueId>(-5), "d"), "d");
  PutIntValue(static_cast<ValueId>(1000), 3);
  EXPECT_FALSE(vexa::reg::KeyExists(Hive::CurrentUser, "Software\\Tervane\\Lumacast\\Kvi_No_Persist_Key"));
}

TEST_F(SettingsTest, PersistenceKeyMovesReadsAndWrites) {
  EXPECT_TRUE(SetPersistenceKey("x"));
  PutIntValue(General_Units, 3);
  EXPECT_EQ(vexa::reg::GetString(Hive::CurrentUser, "Software\\Tervane\\Lumacast\\x\\General", "Units"), "3");
  EXPECT_EQ(GetIntValue(General_Units, 0), 3);
  SetPersistenceKey("Kvi_No_Persist_Key");
  EXPECT_EQ(GetIntValue(General_Units, 0), 0);
  // Without a name: the program's own name, and false.
  EXPECT_FALSE(SetPersistenceKey(nullptr));
  EXPECT_EQ(PersistenceKey(), std::string("Software\\Tervane\\Lumacast\\") + program_invocation_short_name);
}

TEST_F(SettingsTest, LanguageWordFromTheAbbreviation) {
  const struct {
    const char* abbreviation;
    const char* word;
  } cases[] = {{"FRA", "french"},   {"esp", "spanish"}, {"ITA", "italian"}, {"DEU", "german"},
               {"JPN", "japanese"}, {"jPx", "japanese"}, {"KOR", "korean"}, {"NLD", "english"},
               {"PTB", "english"},  {"JP", "english"},  {"", "english"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.abbreviation);
    EXPECT_EQ(LanguageFromAbbreviation(c.abbreviation), c.word);
  }
  const struct {
    const char* locale;
    const char* word;
  } locales[] = {{"ja_JP.UTF-8", "japanese"}, {"ko_KR", "korean"}, {"fr_CA.UTF-8", "french"},
                 {"nl_NL", "english"},        {"C", "english"},    {"de", "german"}};
  const char* saved = std::getenv("LC_ALL");
  const std::string keep = saved ? saved : "";
  for (const auto& l : locales) {
    SCOPED_TRACE(l.locale);
    ::setenv("LC_ALL", l.locale, 1);
    EXPECT_EQ(KviGetLanguage(), l.word);
  }
  if (saved) ::setenv("LC_ALL", keep.c_str(), 1);
  else ::unsetenv("LC_ALL");
}

}  // namespace
