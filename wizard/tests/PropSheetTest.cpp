// The sheet: its first page, help at the page's anchor, the About box, and
// the timed update prompt offered once the sheet is up.
#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QTest>
#include <QLabel>
#include <QLayout>
#include <QStyle>
#include <QTimer>
#include <sys/stat.h>

#include <chrono>
#include <filesystem>

#include "platform/base/Path.h"
#include "platform/registry/Registry.h"
#include "wizard/common/Language.h"
#include "wizard/common/WizUtil.h"
#include "wizard/dialogs/MessageBox.h"
#include "wizard/pages/PropSheet.h"
#include "wizard/session/SettingsFile.h"
#include "wizard/session/WizXML.h"
#include "wizard/tests/WizUnitTest.h"
#include "wizard/ui/Launcher.h"
#include "wizard/update/UpdateCheck.h"
#include "tests/support/UiWaits.h"

using namespace vexa::wiz;
using vexa::wiz::testing::WizUnitTest;
using vexa::ui::testing::ReadAll;
using vexa::ui::testing::WriteAll;

namespace {

class PropSheetTest : public WizUnitTest {
 protected:
  void SetUp() override {
    WizUnitTest::SetUp();
    ASSERT_EQ(CoCreateInstance(CLSID_VexaLogger, nullptr, CLSCTX_ALL, IID_IVexaLogger, Wiz().logger.PutVoid()),
              S_OK);
    Wiz().language = std::make_unique<CvexaLanguage>();
    ASSERT_TRUE(Wiz().language->Load("ENU"));
    Wiz().sessionAlbum = std::make_unique<CVexaWizXML>(Wiz());
    ASSERT_TRUE(Wiz().sessionAlbum->Init(m_temp.Path("lastAlbum.xml"), true));
    Wiz().settings = std::make_unique<CvexaSettingsAccess>();
    ASSERT_TRUE(Wiz().settings->Open(m_temp.Path("orlunedisc.ini")));
    SetLauncher([this](const std::string& verb, const std::string& target) {
      m_launched.push_back(verb + " " + target);
      return true;
    });
  }
  void TearDown() override {
    SetLauncher({});
    WizUnitTest::TearDown();
  }
  std::vector<std::string> m_launched;
};

TEST_F(PropSheetTest, HelpOpensThePagesAnchor) {
  // APP_PATH without its separator still finds the help page.
  std::string share = vexa::base::ShareDir();
  while (!share.empty() && share.back() == '/') share.pop_back();
  SetProductString("APP_PATH", share);
  CvexaPropSheet sheet(Wiz(), "Caption", nullptr, kPageMusic, QPixmap(), QPixmap());
  ASSERT_TRUE(sheet.GetHelpPath());
  EXPECT_EQ(sheet.HelpPath(), share + "/help/odhelp.html");
  sheet.show();
  EXPECT_EQ(sheet.currentId(), kPageMusic);
  QTest::mouseClick(sheet.button(QWizard::HelpButton), Qt::LeftButton);
  ASSERT_EQ(m_launched.size(), 1u);
  EXPECT_EQ(m_launched[0], "help " + share + "/help/odhelp.html#music");
  EXPECT_EQ(sheet.GetDiscCapacity(), 650000000);

  // An unknown start screen opens the first page.
  CvexaPropSheet other(Wiz(), "Caption", nullptr, 9, QPixmap(), QPixmap());
  other.show();
  EXPECT_EQ(other.currentId(), kPageWelcome);
}

TEST_F(PropSheetTest, TheAboutButtonOpensTheAboutBox) {
  SetProductString("DownloadVersion", "2.5.0.1");
  CvexaPropSheet sheet(Wiz(), "Caption", nullptr, kPageWelcome, QPixmap(), QPixmap());
  sheet.show();
  std::string version;
  QTimer::singleShot(0, [&] {
    QWidget* about = QApplication::activeModalWidget();
    ASSERT_TRUE(about);
    EXPECT_EQ(about->objectName().toStdString(), "dialog102");
    if (auto* label = about->findChild<QLabel*>("ctl_1045")) version = label->text().toStdString();
    // Titled by its template, never by the program's name, and with the
    // platform's margins around it.
    EXPECT_EQ(about->windowTitle().toStdString(), "About Kv Orlune Disc Creator");
    ASSERT_TRUE(about->layout());
    const QMargins margins = about->layout()->contentsMargins();
    const int expected = about->style()->pixelMetric(QStyle::PM_LayoutLeftMargin, nullptr, about);
    EXPECT_GT(expected, 0);
    EXPECT_EQ(margins.left(), expected);
    static_cast<QDialog*>(about)->accept();
  });
  vexa::testsupport::Guarded("the About box to be looked at and closed",
                             [&] { QTest::mouseClick(sheet.button(QWizard::CustomButton1), Qt::LeftButton); });
  EXPECT_EQ(version, "Version 2.5.0.1");
  EXPECT_EQ(sheet.button(QWizard::CustomButton1)->text().toStdString(), "&About");
}

TEST_F(PropSheetTest, TheTimedPromptComesWhenItIsDue) {
  auto setLast = [](const char* date) {
    vexa::reg::SetValue(vexa::reg::Hive::CurrentUser, kWizProductKey, "DateLastCheckedForUpdate",
                        vexa::reg::Value::String(date));
  };
  setLast("03/01/2030");
  std::tm tm{};
  tm.tm_year = 130;
  tm.tm_mon = 2;
  tm.tm_mday = 30;
  tm.tm_hour = 12;
  tm.tm_isdst = -1;
  vexa::base::ManualClock clock(std::chrono::system_clock::from_time_t(std::mktime(&tm)));
  Wiz().clock = &clock;
  SetProductString("MaxDaysBetweenUpdateChecks", "30");

  int prompts = 0;
  QTimer watcher;
  QObject::connect(&watcher, &QTimer::timeout, [&] {
    if (auto* d = qobject_cast<QDialog*>(QApplication::activeModalWidget()); d && d->objectName() == "dialog116") {
      ++prompts;
      d->reject();
    }
  });
  watcher.start(10);
  const vexa::testsupport::UiWatchdog dog("the timed prompts to be answered");
  // 29 days: not yet.
  EXPECT_EQ(CheckForUpdatePrompt(Wiz(), nullptr), UpdateOutcome::Nothing);
  EXPECT_EQ(prompts, 0);
  // 30 days: the prompt, marked as a timed check.
  clock.Advance(std::chrono::hours(24));
  EXPECT_EQ(CheckForUpdatePrompt(Wiz(), nullptr), UpdateOutcome::Nothing);
  EXPECT_EQ(prompts, 1);
  EXPECT_EQ(Wiz().GetUpdateCheckMode(), "Check=T");
  EXPECT_TRUE(Fake().Logged("INFO|vexawiz|CVexaWizUtil: Time to check for a new version, prompting user"));
  // The prompt wrote today's date: not due again.
  EXPECT_EQ(vexa::reg::GetString(vexa::reg::Hive::CurrentUser, kWizProductKey, "DateLastCheckedForUpdate").value_or(""),
            "03/31/2030");

  // The very first start (no date at all) is not greeted with "It has been
  // a while": the count starts today.
  vexa::reg::DeleteValue(vexa::reg::Hive::CurrentUser, kWizProductKey, "DateLastCheckedForUpdate");
  EXPECT_EQ(CheckForUpdatePrompt(Wiz(), nullptr), UpdateOutcome::Nothing);
  EXPECT_EQ(prompts, 1);
  EXPECT_EQ(vexa::reg::GetString(vexa::reg::Hive::CurrentUser, kWizProductKey, "DateLastCheckedForUpdate").value_or(""),
            "03/31/2030");
  clock.Advance(std::chrono::hours(24 * 29));
  EXPECT_EQ(CheckForUpdatePrompt(Wiz(), nullptr), UpdateOutcome::Nothing);
  EXPECT_EQ(prompts, 1);
  clock.Advance(std::chrono::hours(24));
  EXPECT_EQ(CheckForUpdatePrompt(Wiz(), nullptr), UpdateOutcome::Nothing);
  EXPECT_EQ(prompts, 2);
  // A stored date that cannot be read still prompts at once.
  setLast("13/01/2002");
  EXPECT_EQ(CheckForUpdatePrompt(Wiz(), nullptr), UpdateOutcome::Nothing);
  EXPECT_EQ(prompts, 3);
}

// The timed update prompt runs while the sheet is first shown (the first
// page lets waiting events run); when it hands a package to the desktop's
// opener it closes the wizard there, and the sheet's run ends at once
// rather than waiting on.
TEST_F(PropSheetTest, AClosingWhileTheSheetIsFirstShownEndsTheRun) {
  CvexaPropSheet sheet(Wiz(), "Caption", nullptr, kPageWelcome, QPixmap(), QPixmap());
  bool closed = false, stuck = false;
  QTimer::singleShot(0, &sheet, [&] {
    sheet.CloseWithoutAsking();
    closed = true;
  });
  // Only a run that waits on after its end meets this: it then ends the
  // run itself, so a fault fails the test instead of hanging it.
  QTimer watchdog;
  int ticks = 0;
  QObject::connect(&watchdog, &QTimer::timeout, &sheet, [&] {
    if (closed && ++ticks == 300) {
      stuck = true;
      sheet.done(QDialog::Rejected);
    }
  });
  watchdog.start(100);
  EXPECT_EQ(sheet.RunModal(), QDialog::Rejected);
  EXPECT_TRUE(closed);
  EXPECT_FALSE(stuck) << "the sheet's run went on after the wizard was closed";
  EXPECT_FALSE(sheet.isVisible());
}

// Help through the desktop's real opener (a stand-in on the PATH): its
// answer is waited for, and a failed open is told to the user.
class HelpOpenerTest : public PropSheetTest {
 protected:
  void SetUp() override {
    PropSheetTest::SetUp();
    SetLauncher({});
    m_bin = m_temp.Path("bin");
    vexa::base::MakeDirs(m_bin);
    m_path = std::getenv("PATH") ? std::getenv("PATH") : "";
    ::setenv("PATH", (m_bin + ":" + m_path).c_str(), 1);
    SetMessageBoxHook([this](int, const std::string&, const std::string& text) {
      m_messages.push_back(text);
      return IDOK;
    });
  }
  void TearDown() override {
    SetMessageBoxHook({});
    SetLaunchPatience(std::chrono::milliseconds(5000));
    ::setenv("PATH", m_path.c_str(), 1);
    PropSheetTest::TearDown();
  }
  // An opener that writes what it was given and ends with the status.
  void Opener(const std::string& body) {
    const std::string path = m_bin + "/xdg-open";
    WriteAll(path, "#!/bin/sh\necho \"$@\" >> " + m_temp.Path("opened.txt") + "\n" + body + "\n");
    ::chmod(path.c_str(), 0755);
  }
  std::string m_bin, m_path;
  std::vector<std::string> m_messages;
};

TEST_F(HelpOpenerTest, AFailedOpenIsTold) {
  SetProductString("APP_PATH", vexa::base::ShareDir());
  CvexaPropSheet sheet(Wiz(), "Caption", nullptr, kPageTitles, QPixmap(), QPixmap());
  sheet.show();
  // An opener that ends is waited for as long as it takes (a busy machine
  // may start it slowly); one that stays is given a short patience.
  const std::chrono::milliseconds ends = vexa::testsupport::kWaitBound, stays(300);
  const struct {
    std::string opener;
    bool told;
    std::chrono::milliseconds patience;
  } cases[] = {
      {"exit 3", true, ends},   // no program for web pages
      {"exit 4", true, ends},   // the program failed
      {"exit 0", false, ends},  // opened
      {"read line < " + m_temp.Path("fifo") + "; exit 0", false, stays},  // a program that stays: counted as opened
  };
  ASSERT_EQ(::mkfifo(m_temp.Path("fifo").c_str(), 0600), 0);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.opener);
    SetLaunchPatience(c.patience);
    Opener(c.opener);
    m_messages.clear();
    QTest::mouseClick(sheet.button(QWizard::HelpButton), Qt::LeftButton);
    ASSERT_EQ(m_messages.size(), c.told ? 1u : 0u);
    if (c.told) {
      EXPECT_NE(m_messages[0].find("The help could not be opened"), std::string::npos) << m_messages[0];
      EXPECT_NE(m_messages[0].find(sheet.HelpPath()), std::string::npos) << m_messages[0];
    }
  }
  EXPECT_NE(ReadAll(m_temp.Path("opened.txt")).find("help/odhelp.html#titles"), std::string::npos);
  // The opener left running ends when its program does.
  EXPECT_EQ(HelpersStillRunning(), 1);
  WriteAll(m_temp.Path("fifo"), "go\n");
  ASSERT_TRUE(QTest::qWaitFor([&] { return HelpersStillRunning() == 0; }, vexa::testsupport::kWaitBoundMs))
      << vexa::testsupport::InVain("the help opener to end with its program");
  // No opener at all.
  std::filesystem::remove(m_bin + "/xdg-open");
  ::setenv("PATH", m_bin.c_str(), 1);
  m_messages.clear();
  QTest::mouseClick(sheet.button(QWizard::HelpButton), Qt::LeftButton);
  EXPECT_EQ(m_messages.size(), 1u);
}

}  // namespace
