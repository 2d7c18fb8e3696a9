// The settings file: what a read finds, and what a rewrite writes, checked
// byte for byte against expected files with cmp.
#include <gtest/gtest.h>

#include "platform/base/Path.h"
#include "wizard/session/SettingsFile.h"
#include "wizard/tests/PlainTestSupport.h"

using namespace vexa::wiz;
using vexa::wiz::testing::Quote;
using vexa::wiz::testing::ReadAll;
using vexa::wiz::testing::RunCommand;

namespace {

class SettingsFileTest : public vexa::wiz::testing::PlainTest {
 protected:
  std::string Fixture(const std::string& name) {
    const std::string copy = m_temp.Path(name);
    std::string bytes;
    EXPECT_TRUE(vexa::base::ReadFile(std::string(VEXA_TEST_SOURCE_DIR) + "/data/" + name, &bytes));
    EXPECT_TRUE(vexa::base::WriteFileAtomic(copy, bytes));
    return copy;
  }
  // cmp's verdict on two files (skipped when cmp is missing).
  void ExpectSameBytes(const std::string& path, const std::string& expectedFixture) {
    VEXA_WIZ_REQUIRE_TOOL("/usr/bin/cmp");
    std::string out;
    EXPECT_EQ(RunCommand("/usr/bin/cmp " + Quote(path) + " " +
                             Quote(std::string(VEXA_TEST_SOURCE_DIR) + "/data/" + expectedFixture),
                         &out),
              0)
        << out;
  }
};

TEST_F(SettingsFileTest, ReadsSectionsKeysAndWholeValues) {
  CvexaSettingsFile f(4);
  ASSERT_TRUE(f.Open(Fixture("mixed.ini"), false, false, true, false));
  // Of duplicate keys the last wins; of duplicate sections the first.
  EXPECT_EQ(f.GetValue("settings", "selectedBurnSpeed", "d"), "16");
  EXPECT_EQ(f.GetValue("SETTINGS", "SELECTEDBURNSPEED", "d"), "16");
  EXPECT_EQ(f.GetValue("settings", "other", "d"), "d");
  // A value keeps everything after its ';': paths may hold one.
  EXPECT_EQ(f.GetValue("settings", "path", "d"), "/home/a;b/c.mp3 ;comment");
  // The unnamed leading section, and a key read from a line without '='.
  EXPECT_EQ(f.GetValue("", "leading", "d"), "1");
  EXPECT_EQ(f.GetValue("", "noequals", "d"), "");
  // A header without entries leaves no section.
  EXPECT_EQ(f.GetValue("empty", "", "none"), "none");
  EXPECT_EQ(f.GetValue("setupAudio", "optionSelected", ""), "preInstalled");
  EXPECT_EQ(f.GetValue("missing", "x", "fallback"), "fallback");
}

TEST_F(SettingsFileTest, AnUnchangedFileStaysByteIdentical) {
  const std::string path = Fixture("mixed.ini");
  {
    CvexaSettingsFile f(4);
    ASSERT_TRUE(f.Open(path, true, true, true, false));
    f.SetValue("settings", "selectedBurnSpeed", "16");  // the same value
    EXPECT_FALSE(f.Changed());
  }
  ExpectSameBytes(path, "mixed.ini");
}

TEST_F(SettingsFileTest, ARewriteKeepsEveryLineInItsWrittenForm) {
  const std::string path = Fixture("mixed.ini");
  {
    CvexaSettingsAccess access;
    ASSERT_TRUE(access.Open(path));
    access.WriteNumber("SETTINGS", "SelectedBurnSpeed", 12);
    long n = 0;
    EXPECT_TRUE(access.ReadNumber("settings", "selectedBurnSpeed", &n));
    EXPECT_EQ(n, 12);
    EXPECT_FALSE(access.ReadNumber("settings", "nothing", &n));
  }
  ExpectSameBytes(path, "mixed-speed12.ini");
}

TEST_F(SettingsFileTest, AChangeOfLetterCaseIsSaved) {
  const std::string path = Fixture("case-before.ini");
  {
    CvexaSettingsAccess access;
    ASSERT_TRUE(access.Open(path));
    access.WriteString("setupaudio", "CUSTOMAUDIOFILEPATH", "/music/song.mp3");
    // A change, so written (at once here, where no event loop runs).
    EXPECT_NE(ReadAll(path).find("/music/song.mp3"), std::string::npos);
    access.WriteString("addContent", "lastDirSelected", "/photos");
  }
  ExpectSameBytes(path, "case-after.ini");
}

TEST_F(SettingsFileTest, AMissingFileIsCreatedEmptyAtOnce) {
  const std::string path = m_temp.Path("new.ini");
  CvexaSettingsFile f(4);
  EXPECT_FALSE(f.Open(path, true, false, true, false));
  EXPECT_FALSE(vexa::base::FileExists(path));
  ASSERT_TRUE(f.Open(path, true, true, true, false));
  EXPECT_TRUE(vexa::base::FileExists(path));
  EXPECT_EQ(ReadAll(path), "");
  f.SetValue("settings", "selectedBurnSpeed", "4");
  f.Close();
  EXPECT_EQ(ReadAll(path), "[settings]\r\nselectedBurnSpeed=4\r\n");
}

TEST_F(SettingsFileTest, NumberedCopiesCountOnFromTheHighest) {
  const std::string path = m_temp.Path("orlunedisc.ini");
  vexa::base::WriteFileAtomic(path, "a=1\r\n");
  vexa::base::WriteFileAtomic(path + ".004", "old");
  CvexaSettingsFile f(4);
  ASSERT_TRUE(f.Open(path, true, true, true, true));
  f.SetValue("", "a", "2");
  EXPECT_EQ(f.Write(true), path + ".005");
  EXPECT_EQ(ReadAll(path + ".005"), "a=1\r\n");
  EXPECT_EQ(ReadAll(path), "a=2\r\n");
  // Nothing changed since: nothing written.
  EXPECT_EQ(f.Write(true), "");
}

}  // namespace
