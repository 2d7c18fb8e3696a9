// The wizard's shared routines: pattern lists, the cache folder rule and its
// privacy, the
// update-check dates and the string table with its fallbacks.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <ctime>

#include "platform/base/Path.h"
#include "platform/registry/Registry.h"
#include "wizard/common/Language.h"
#include "wizard/common/WizUtil.h"
#include "wizard/tests/PlainTestSupport.h"

using namespace vexa::wiz;
using vexa::wiz::testing::PlainTest;

namespace {

class UtilTest : public PlainTest {
 protected:
  void SetUp() override {
    PlainTest::SetUp();
    Fake();
    ASSERT_EQ(CoCreateInstance(CLSID_VexaLogger, nullptr, CLSCTX_ALL, IID_IVexaLogger, Wiz().logger.PutVoid()),
              S_OK);
  }
};

TEST_F(UtilTest, FilterListsKeepEmptyEntriesAndFallBackToTheBuiltInLists) {
  StringArray a;
  ASSERT_TRUE(Wiz().GetFilteredExtensionList("*.jpg;;*.png", ";", &a));
  EXPECT_EQ(a, (StringArray{"*.jpg", "", "*.png"}));

  // The installation's list names every kind of music the disc takes.
  StringArray audio;
  ASSERT_TRUE(Wiz().GetFilteredAudioExtensions(&audio));
  EXPECT_EQ(audio, (StringArray{"*.mp3", "*.wav", "*.wma"}));
  // Without it, the built-in list.
  SetProductString("SUPPORTED_AUDIO_FILE_FILTER", "");
  audio.clear();
  ASSERT_TRUE(Wiz().GetFilteredAudioExtensions(&audio));
  EXPECT_EQ(audio, (StringArray{"*.wav", "*.mp3"}));
  EXPECT_TRUE(Fake().Logged(
      "CVexaWizUtil::GetFilteredAudioExtensions - GetFilteredExtensionList call failed on registry filter string."));
  EXPECT_TRUE(Fake().Logged("CVexaWizUtil::GetFilteredExtensionList - Empty filter."));

  SetProductString("SUPPORTED_FILE_FILTER", "*.jpg;*.png");
  StringArray images;
  ASSERT_TRUE(Wiz().GetFilteredImageExtensions(&images));
  EXPECT_EQ(images, (StringArray{"*.jpg", "*.png"}));

  StringArray none;
  EXPECT_FALSE(Wiz().GetFilteredExtensionList("*.jpg", "", &none));
  EXPECT_TRUE(Fake().Logged("CVexaWizUtil::GetFilteredExtensionList - Empty delimiter."));
}

TEST_F(UtilTest, CacheFolderDropsALastComponentWithoutSeparator) {
  EXPECT_EQ(CVexaWizUtil::CacheDirectoryFor("/opt/X/"), "/opt/X/vexacache");
  EXPECT_EQ(CVexaWizUtil::CacheDirectoryFor("/opt/X"), "/opt/vexacache");
  EXPECT_EQ(CVexaWizUtil::CacheDirectoryFor("C:\\Program Files\\X\\"), "C:\\Program Files\\X\\vexacache");
  EXPECT_EQ(CVexaWizUtil::CacheDirectoryFor("C:\\Program Files\\X"), "C:\\Program Files\\vexacache");

  std::string path;
  ASSERT_TRUE(CVexaWizUtil::CreateCacheDirectory(&path));
  EXPECT_EQ(path, CacheDir() + "/vexacache");
  EXPECT_TRUE(vexa::base::DirExists(path));
  EXPECT_TRUE(CVexaWizUtil::CreateCacheDirectory(&path));  // already there

  // A file in its place makes it fail.
  vexa::base::RemoveAll(path);
  vexa::base::WriteFileAtomic(path, "x");
  EXPECT_FALSE(CVexaWizUtil::CreateCacheDirectory(&path));
}

// The thumbnails show the user's photos: the cache is a folder of the
// user's alone. Without a home it is the user's own private folder in the
// temporary folder; a link or another user's folder planted under that name
// is never taken (no cache then), and what it points to stays as it was.
TEST_F(UtilTest, TheCacheFolderIsPrivateEvenWithoutAHome) {
  auto stat = [](const std::string& p) {
    struct stat st {};
    lstat(p.c_str(), &st);
    return st;
  };
  std::string path;
  ASSERT_TRUE(CVexaWizUtil::CreateCacheDirectory(&path));
  EXPECT_EQ(stat(path).st_mode & 07777, 0700u);

  // Both come back whatever happens below.
  struct Restore {
    std::string home = std::getenv("HOME") ? std::getenv("HOME") : "";
    std::string xdg = std::getenv("XDG_CACHE_HOME") ? std::getenv("XDG_CACHE_HOME") : "";
    ~Restore() {
      if (!home.empty()) setenv("HOME", home.c_str(), 1);
      if (!xdg.empty()) setenv("XDG_CACHE_HOME", xdg.c_str(), 1);
    }
  } restore;
  unsetenv("HOME");
  unsetenv("XDG_CACHE_HOME");
  const std::string fallback =
      vexa::base::JoinPath(vexa::base::TempDirectory(), "vexacache-" + std::to_string(geteuid()));
  vexa::base::RemoveAll(fallback);
  ASSERT_TRUE(CVexaWizUtil::CreateCacheDirectory(&path));
  EXPECT_EQ(path, fallback);
  EXPECT_TRUE(S_ISDIR(stat(path).st_mode));
  EXPECT_EQ(stat(path).st_mode & 07777, 0700u);
  EXPECT_EQ(stat(path).st_uid, geteuid());
  vexa::base::RemoveAll(fallback);

  // Planted: a link to a folder everyone may write.
  const std::string elsewhere = m_temp.Path("elsewhere");
  vexa::base::MakeDirs(elsewhere);
  chmod(elsewhere.c_str(), 0777);
  ASSERT_EQ(symlink(elsewhere.c_str(), fallback.c_str()), 0);
  EXPECT_FALSE(CVexaWizUtil::CreateCacheDirectory(&path));
  EXPECT_TRUE(S_ISLNK(stat(fallback).st_mode));
  EXPECT_EQ(stat(elsewhere).st_mode & 07777, 0777u);
  unlink(fallback.c_str());
  if (geteuid() == 0) {
    // Planted: another user's folder.
    vexa::base::MakeDirs(fallback);
    chmod(fallback.c_str(), 0777);
    ASSERT_EQ(chown(fallback.c_str(), 12345, 12345), 0);
    EXPECT_FALSE(CVexaWizUtil::CreateCacheDirectory(&path));
    EXPECT_EQ(stat(fallback).st_uid, 12345u);
    vexa::base::RemoveAll(fallback);
  }
}

// The folder of the session album and the settings file, which name the
// user's photos and titles, is made the user's alone (with the folders it
// needs above it); one the user already has keeps its mode.
TEST_F(UtilTest, TheSessionFolderIsPrivate) {
  struct Restore {
    std::string xdg = std::getenv("XDG_CONFIG_HOME") ? std::getenv("XDG_CONFIG_HOME") : "";
    ~Restore() {
      if (!xdg.empty()) setenv("XDG_CONFIG_HOME", xdg.c_str(), 1);
      else unsetenv("XDG_CONFIG_HOME");
    }
  } restore;
  const std::string config = m_temp.Path("fresh/config");
  setenv("XDG_CONFIG_HOME", config.c_str(), 1);
  const std::string folder = SessionFolder();
  ASSERT_EQ(folder, vexa::base::JoinPath(config, "vexa"));
  for (const std::string& made : {folder, config}) {
    struct stat st {};
    ASSERT_EQ(lstat(made.c_str(), &st), 0) << made;
    EXPECT_EQ(st.st_mode & 07777, 0700u) << made;
  }
  chmod(folder.c_str(), 0750);
  EXPECT_EQ(SessionFolder(), folder);
  struct stat st {};
  ASSERT_EQ(lstat(folder.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0750u);
}

TEST_F(UtilTest, DaysBetweenUpdateChecks) {
  struct Case {
    const char* value;
    bool dword;
    DWORD number;
    int expected;
  } cases[] = {{nullptr, false, 0, 30}, {"0", false, 0, 0}, {"abc", false, 0, 30}, {"-5", false, 0, 30},
               {"12", false, 0, 12}, {nullptr, true, 7, 7}};
  for (const Case& c : cases) {
    vexa::reg::DeleteValue(vexa::reg::Hive::LocalMachine, kWizProductKey, "MaxDaysBetweenUpdateChecks");
    if (c.value) SetProductString("MaxDaysBetweenUpdateChecks", c.value);
    if (c.dword) SetProductDword("MaxDaysBetweenUpdateChecks", c.number);
    // The shipped default is 30; a missing value reads as the default too.
    EXPECT_EQ(CVexaWizUtil::GetMaxDaysBetweenUpdateChecks(), c.expected) << (c.value ? c.value : "dword");
  }
}

TEST_F(UtilTest, LastCheckDates) {
  auto set = [](const char* text) {
    vexa::reg::SetValue(vexa::reg::Hive::CurrentUser, kWizProductKey, "DateLastCheckedForUpdate",
                        vexa::reg::Value::String(text));
  };
  EXPECT_EQ(CVexaWizUtil::GetDateLastChecked(), 0);
  for (const char* bad : {"13/01/2002", "01/01/1969", "00/10/2002", "01/32/2002", "1/2", "a/b/c", "01/02/2003/4"}) {
    set(bad);
    EXPECT_EQ(CVexaWizUtil::GetDateLastChecked(), 0) << bad;
  }
  set("03/15/2002");
  std::time_t t = CVexaWizUtil::GetDateLastChecked();
  std::tm tm{};
  localtime_r(&t, &tm);
  EXPECT_EQ(tm.tm_year + 1900, 2002);
  EXPECT_EQ(tm.tm_mon + 1, 3);
  EXPECT_EQ(tm.tm_mday, 15);
  EXPECT_EQ(tm.tm_hour, 0);
  // Dates after 2038 are dates too.
  set("01/19/2040");
  t = CVexaWizUtil::GetDateLastChecked();
  localtime_r(&t, &tm);
  EXPECT_EQ(tm.tm_year + 1900, 2040);

  // Saving writes today's date in month/day/year form.
  vexa::base::ManualClock clock(std::chrono::system_clock::from_time_t(t + 12 * 3600));
  Wiz().clock = &clock;
  Wiz().SaveDateLastChecked();
  Wiz().clock = &vexa::base::Clock::Real();
  EXPECT_EQ(vexa::reg::GetString(vexa::reg::Hive::CurrentUser, kWizProductKey, "DateLastCheckedForUpdate").value_or(""),
            "01/19/2040");
}

TEST_F(UtilTest, StringsComeFromTheBundleWithFallbacks) {
  EXPECT_EQ(Wiz().LoadString(4478, "fallback"), "fallback");  // no bundle loaded yet
  EXPECT_TRUE(Fake().Logged("CVexaWizUtil::LoadString - Cannot load resource with id # 4478 and message fallback"));
  Wiz().language = std::make_unique<CvexaLanguage>();
  ASSERT_TRUE(Wiz().language->Load("ENU"));
  EXPECT_EQ(Wiz().LoadString(4478, "fallback"), "Kv Orlune Disc");
  EXPECT_EQ(Wiz().LoadString(57301, ""), "Please remember where you saved the file:\n");
  EXPECT_EQ(Wiz().LoadString(999999, "built in"), "built in");
  EXPECT_FALSE(CvexaLanguage().Load("../x"));
  EXPECT_FALSE(CvexaLanguage().Load("XYZ"));

  std::map<int, std::string> table;
  EXPECT_TRUE(CvexaLanguage::ParseStrings("# c\n1\ta\\r\\nb\\\\\n\n2\t\n", &table));
  EXPECT_EQ(table[1], "a\r\nb\\");
  EXPECT_EQ(table[2], "");
  EXPECT_FALSE(CvexaLanguage::ParseStrings("x\tbad\n", &table));
}

TEST_F(UtilTest, AStringsFileSavedWithAByteOrderMarkLoads) {
  const std::string folder = m_temp.Path("vexawizBOM");
  ASSERT_TRUE(vexa::base::MakeDirs(folder));
  ASSERT_TRUE(vexa::base::WriteFileAtomic(folder + "/strings.txt", "\xEF\xBB\xBF" "4478\tFirst line\r\n"));
  CvexaLanguage language;
  ASSERT_TRUE(language.LoadFolder(folder));
  std::string text;
  EXPECT_TRUE(language.String(4478, &text));
  EXPECT_EQ(text, "First line");
}

TEST_F(UtilTest, LogErrorWritesTheCalleesErrorFirst) {
  vexa::com::SetError(u"callee text", u"X", IID_IVexaLogger, E_FAIL);
  EXPECT_TRUE(Wiz().LogError("mine", true));
  ASSERT_EQ(Fake().log.size(), 2u);
  EXPECT_EQ(Fake().log[0], "ERROR|vexawiz|callee text");
  EXPECT_EQ(Fake().log[1], "ERROR|vexawiz|mine");
  EXPECT_TRUE(Wiz().LogInfo("note"));
  EXPECT_EQ(Fake().log.back(), "INFO|vexawiz|note");
  EXPECT_FALSE(Wiz().LogInfo(""));
  Wiz().logger.Reset();
  EXPECT_FALSE(Wiz().LogError("nobody listens", false));
}

TEST_F(UtilTest, UpdateCheckModeDefaultsToZ) {
  EXPECT_EQ(Wiz().GetUpdateCheckMode(), "Check=Z");
  Wiz().SetUpdateCheckMode("");
  EXPECT_EQ(Wiz().GetUpdateCheckMode(), "Check=Z");
  Wiz().SetUpdateCheckMode(kCheckManual);
  EXPECT_EQ(Wiz().GetUpdateCheckMode(), "Check=M");
}

}  // namespace
