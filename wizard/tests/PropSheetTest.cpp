// The sheet: its first page, help at the page's anchor, the About box, and
// the timed update prompt offered once the sheet is up.
#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QTest>
#include <QLabel>
#include <QTimer>
#include <chrono>

#include "platform/base/Path.h"
#include "platform/registry/Registry.h"
#include "wizard/Language.h"
#include "wizard/Launcher.h"
#include "wizard/PropSheet.h"
#include "wizard/SettingsFile.h"
#include "wizard/UpdateCheck.h"
#include "wizard/WizXML.h"
#include "wizard/WizUtil.h"
#include "wizard/tests/WizTestSupport.h"

using namespace vexa::wiz;
using vexa::wiz::testing::WizTest;

namespace {

class PropSheetTest : public WizTest {
 protected:
  void SetUp() override {
    WizTest::SetUp();
    ASSERT_EQ(CoCreateInstance(CLSID_VexaLogger, nullptr, CLSCTX_ALL, IID_IVexaLogger, Module().logger.PutVoid()),
              S_OK);
    Module().language = std::make_unique<CvexaLanguage>();
    ASSERT_TRUE(Module().language->Load("ENU"));
    Module().sessionAlbum = std::make_unique<CVexaWizXML>();
    ASSERT_TRUE(Module().sessionAlbum->Init(m_temp.Path("lastAlbum.xml"), true));
    Module().settings = std::make_unique<CvexaSettingsAccess>();
    ASSERT_TRUE(Module().settings->Open(m_temp.Path("orlunedisc.ini")));
    SetLauncher([this](const std::string& verb, const std::string& target) {
      m_launched.push_back(verb + " " + target);
      return true;
    });
  }
  void TearDown() override {
    SetLauncher({});
    WizTest::TearDown();
  }
  std::vector<std::string> m_launched;
};

TEST_F(PropSheetTest, HelpOpensThePagesAnchor) {
  // APP_PATH without its separator still finds the help page.
  std::string share = vexa::base::ShareDir();
  while (!share.empty() && share.back() == '/') share.pop_back();
  SetProductString("APP_PATH", share);
  CvexaPropSheet sheet("Caption", nullptr, kPageMusic, QPixmap(), QPixmap());
  ASSERT_TRUE(sheet.GetHelpPath());
  EXPECT_EQ(sheet.HelpPath(), share + "/help/odhelp.html");
  sheet.show();
  EXPECT_EQ(sheet.currentId(), kPageMusic);
  QTest::mouseClick(sheet.button(QWizard::HelpButton), Qt::LeftButton);
  ASSERT_EQ(m_launched.size(), 1u);
  EXPECT_EQ(m_launched[0], "help " + share + "/help/odhelp.html#music");
  EXPECT_EQ(sheet.GetDiscCapacity(), 650000000);

  // An unknown start screen opens the first page.
  CvexaPropSheet other("Caption", nullptr, 9, QPixmap(), QPixmap());
  other.show();
  EXPECT_EQ(other.currentId(), kPageWelcome);
}

TEST_F(PropSheetTest, TheAboutButtonOpensTheAboutBox) {
  SetProductString("DownloadVersion", "2.5.0.1");
  CvexaPropSheet sheet("Caption", nullptr, kPageWelcome, QPixmap(), QPixmap());
  sheet.show();
  std::string version;
  QTimer::singleShot(0, [&] {
    QWidget* about = QApplication::activeModalWidget();
    ASSERT_TRUE(about);
    EXPECT_EQ(about->objectName().toStdString(), "dialog102");
    if (auto* label = about->findChild<QLabel*>("ctl_1045")) version = label->text().toStdString();
    static_cast<QDialog*>(about)->accept();
  });
  QTest::mouseClick(sheet.button(QWizard::CustomButton1), Qt::LeftButton);
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
  Module().clock = &clock;
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
  // 29 days: not yet.
  EXPECT_EQ(CheckForUpdatePrompt(nullptr), UpdateOutcome::Nothing);
  EXPECT_EQ(prompts, 0);
  // 30 days: the prompt, marked as a timed check.
  clock.Advance(std::chrono::hours(24));
  EXPECT_EQ(CheckForUpdatePrompt(nullptr), UpdateOutcome::Nothing);
  EXPECT_EQ(prompts, 1);
  EXPECT_EQ(CVexaWizUtil::GetUpdateCheckMode(), "Check=T");
  EXPECT_TRUE(Fake().Logged("INFO|vexawiz|CVexaWizUtil: Time to check for a new version, prompting user"));
  // The prompt wrote today's date: not due again.
  EXPECT_EQ(vexa::reg::GetString(vexa::reg::Hive::CurrentUser, kWizProductKey, "DateLastCheckedForUpdate").value_or(""),
            "03/31/2030");
}

}  // namespace
