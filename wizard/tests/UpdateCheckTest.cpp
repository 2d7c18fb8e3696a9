// The update check against a loopback HTTP server started by the test:
// the request it sends, the replies "newer" and "not newer", a missing
// page, a short body, a name that tries to leave its folder, and a slow
// body cancelled from the progress window.
#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QLabel>
#include <QProcess>
#include <QRadioButton>
#include <QTest>
#include <QTimer>
#include <functional>
#include <map>

#include "platform/base/Path.h"
#include "platform/registry/Registry.h"
#include "wizard/common/Language.h"
#include "wizard/common/WizUtil.h"
#include "wizard/dialogs/MessageBox.h"
#include "wizard/tests/WizUnitTest.h"
#include "wizard/ui/Launcher.h"
#include "wizard/update/UpdateCheck.h"

using namespace vexa::wiz;
using vexa::ui::testing::ReadAll;
using vexa::wiz::testing::WizUnitTest;

namespace {

class UpdateCheckTest : public WizUnitTest {
 protected:
  void SetUp() override {
    WizUnitTest::SetUp();
    ASSERT_EQ(CoCreateInstance(CLSID_VexaLogger, nullptr, CLSCTX_ALL, IID_IVexaLogger, Wiz().logger.PutVoid()),
              S_OK);
    Wiz().language = std::make_unique<CvexaLanguage>();
    ASSERT_TRUE(Wiz().language->Load("ENU"));
    m_state = m_temp.Path("server");
    vexa::base::MakeDirs(m_state);
    SetMessageBoxHook([this](int, const std::string& caption, const std::string& text) {
      m_boxes.push_back(caption + "|" + text);
      return IDOK;
    });
    SetLauncher([this](const std::string& verb, const std::string& target) {
      m_launched.push_back(verb + " " + target);
      return true;
    });
    SetSaveFileHook([this](const std::string& suggested) {
      m_suggested = suggested;
      return m_saveAs;
    });
  }
  void TearDown() override {
    vexa::base::WriteFileAtomic(m_state + "/release", "");
    if (m_server.state() != QProcess::NotRunning) {
      m_server.kill();
      m_server.waitForFinished(5000);
    }
    SetMessageBoxHook({});
    SetLauncher({});
    SetSaveFileHook({});
    WizUnitTest::TearDown();
  }

  bool StartServer(const std::string& mode) {
    vexa::base::WriteFileAtomic(m_state + "/mode", mode);
    if (m_server.state() == QProcess::NotRunning) {
      m_server.start("python3", {QString(VEXA_TEST_SOURCE_DIR) + "/data/update_server.py",
                                 QString::fromStdString(m_state)});
      if (!m_server.waitForReadyRead(10000)) return false;
      m_port = m_server.readLine().trimmed().toStdString();
      const std::string base = "http://127.0.0.1:" + m_port;
      vexa::reg::SetValue(vexa::reg::Hive::LocalMachine, kServerUrlsKey, "KVODVERSIONCGI",
                          vexa::reg::Value::String(base + "/version?"));
      vexa::reg::SetValue(vexa::reg::Hive::LocalMachine, kServerUrlsKey, "KVODDOWNLOADPATH",
                          vexa::reg::Value::String(base + "/download?"));
    }
    return !m_port.empty();
  }

  // Scripted answers for the dialogs by template id, each used once.
  void OnDialog(int id, std::function<void(QDialog*)> action) { m_actions[id] = std::move(action); }
  UpdateOutcome Run() {
    QTimer driver;
    QObject::connect(&driver, &QTimer::timeout, [this] {
      auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
      if (!dialog) return;
      const int id = dialog->objectName().mid(6).toInt();
      auto it = m_actions.find(id);
      if (it == m_actions.end()) return;
      auto action = std::move(it->second);
      m_actions.erase(it);
      action(dialog);
    });
    driver.start(20);
    Wiz().SetUpdateCheckMode(kCheckManual);
    return RunUpdatePrompt(Wiz(), nullptr);
  }
  static void Click(QDialog* d, int id) {
    auto* b = d->findChild<QAbstractButton*>(QString("ctl_%1").arg(id));
    ASSERT_TRUE(b) << id;
    QTest::mouseClick(b, Qt::LeftButton);
  }
  std::string Requests() { return ReadAll(m_state + "/requests.txt"); }

  QProcess m_server;
  std::string m_state, m_port, m_suggested, m_saveAs;
  std::map<int, std::function<void(QDialog*)>> m_actions;
  std::vector<std::string> m_boxes, m_launched;
};

TEST(UpdateReplyTest, RepliesAndNames) {
  EXPECT_TRUE(ReplyNamesNewer("VexaVersionResult=1 FullPackage=abc FullPackageSize=1000"));
  EXPECT_FALSE(ReplyNamesNewer("VexaVersionResult=0 FullPackage=abc FullPackageSize=1000"));
  EXPECT_TRUE(ReplyNamesNewer("VexaVersionResult=1"));  // 19 bytes are enough
  EXPECT_FALSE(ReplyNamesNewer("VexaVersionResult="));  // 18 are not
  EXPECT_FALSE(ReplyNamesNewer("Other=1 FullPackage=abc"));
  VersionReply v;
  ASSERT_TRUE(ParseVersionReply(
      "VexaVersionResult=2 FullPackage=abc FullPackageSize=5000000000 UpdatePackage=u UpdatePackageSize=3", &v));
  EXPECT_EQ(v.versionResult, 2);
  EXPECT_EQ(v.fullPackage, "abc");
  EXPECT_EQ(v.fullPackageSize, 5000000000ll);  // past 32 bits

  struct Case {
    const char* header;
    const char* name;
  } cases[] = {{"attachment; filename=setup.exe", "setup.exe"},
               {"attachment; filename=\"setup.deb\"", "setup.deb"},
               {"attachment; filename=../../x", "x"},
               {"attachment; filename=\"..\\\\..\\\\evil.sh\"", "evil.sh"},
               {"attachment; filename=/etc/passwd", "passwd"},
               {"attachment; filename=..", ""},
               {"attachment; filename=.bashrc", ""},
               {"attachment; filename=\"a\x01" "b\"", "ab"},
               {"", ""}};
  for (const Case& c : cases) EXPECT_EQ(SafeDownloadName(c.header), c.name) << c.header;
}

TEST_F(UpdateCheckTest, TheQueryCarriesTheTriggerVersionAndTagEncoded) {
  ASSERT_TRUE(StartServer("notnewer"));
  vexa::reg::DeleteValue(vexa::reg::Hive::LocalMachine, kWizProductKey, "UserAgent");
  SetProductString("DownloadVersion", "1.0 beta&x");
  SetProductString("APP_PACKAGE_TAG", "linux/x86 64");
  OnDialog(116, [](QDialog* d) { Click(d, 1159); });
  EXPECT_EQ(Run(), UpdateOutcome::Nothing);
  const std::string requests = Requests();
  EXPECT_NE(requests.find("GET /version?Check=M&DownloadVersion=1.0%20beta%26x&PackageTag=linux%2Fx86%2064 HTTP/1.0"),
            std::string::npos)
      << requests;
  EXPECT_NE(requests.find("User-Agent: VEXA_1.0 beta&x"), std::string::npos) << requests;
  EXPECT_NE(requests.find("Pragma: no-cache"), std::string::npos);
  ASSERT_EQ(m_boxes.size(), 1u);
  EXPECT_EQ(m_boxes[0], "Kv Orlune Disc Creator|No newer Kv Orlune Disc software is available.");
  // Opening the prompt counted as a check.
  EXPECT_NE(CVexaWizUtil::GetDateLastChecked(), 0);
}

TEST_F(UpdateCheckTest, LaterOnlyLogs) {
  QString intro;
  OnDialog(116, [&](QDialog* d) {
    if (auto* label = d->findChild<QLabel*>("ctl_1086")) intro = label->text();
    Click(d, 2);
  });
  EXPECT_EQ(Run(), UpdateOutcome::Nothing);
  // Opened from the About box, the prompt does not claim a long wait.
  EXPECT_FALSE(intro.isEmpty());
  EXPECT_FALSE(intro.contains("been a while")) << intro.toStdString();
  EXPECT_TRUE(Fake().Logged("INFO|vexawiz|User decided to update later"));
  EXPECT_NE(CVexaWizUtil::GetDateLastChecked(), 0);
}

TEST_F(UpdateCheckTest, AMissingPageIsAnError) {
  ASSERT_TRUE(StartServer("missing"));
  OnDialog(116, [](QDialog* d) { Click(d, 1159); });
  EXPECT_EQ(Run(), UpdateOutcome::Nothing);
  ASSERT_EQ(m_boxes.size(), 1u);
  EXPECT_EQ(m_boxes[0],
            "Version Check Error|ERROR: Unable to retrieve Kv Orlune Disc\nversion information - Try again later.");
}

TEST_F(UpdateCheckTest, ANewerReleaseIsSavedWhereTheUserChooses) {
  ASSERT_TRUE(StartServer("newer"));
  m_saveAs = m_temp.Path("chosen/setup.deb");
  vexa::base::MakeDirs(m_temp.Path("chosen"));
  OnDialog(116, [](QDialog* d) { Click(d, 1159); });
  OnDialog(118, [](QDialog* d) { Click(d, 1); });
  EXPECT_EQ(Run(), UpdateOutcome::Nothing);
  EXPECT_EQ(m_suggested, vexa::base::JoinPath(vexa::base::TempDirectory(), "setup.deb"));
  EXPECT_EQ(ReadAll(m_saveAs), std::string(1000, 'p'));
  EXPECT_NE(Requests().find("GET /download?Check=M&packageUuid=abc"), std::string::npos) << Requests();
  ASSERT_EQ(m_boxes.size(), 1u);
  EXPECT_EQ(m_boxes[0], "REMINDER|Please remember where you saved the file:\n" + m_saveAs);
  // Nothing is left in the temporary folder.
  EXPECT_FALSE(vexa::base::FileExists(m_suggested));
}

TEST_F(UpdateCheckTest, DownloadAndOpenHandsACompletePackageToTheDesktop) {
  ASSERT_TRUE(StartServer("newer"));
  OnDialog(116, [](QDialog* d) { Click(d, 1159); });
  OnDialog(118, [](QDialog* d) {
    d->findChild<QRadioButton*>("ctl_1162")->setChecked(true);
    Click(d, 1);
  });
  EXPECT_EQ(Run(), UpdateOutcome::CloseWizard);
  const std::string target = vexa::base::JoinPath(vexa::base::TempDirectory(), "setup.deb");
  ASSERT_EQ(m_launched.size(), 1u);
  EXPECT_EQ(m_launched[0], "open " + target);
  EXPECT_EQ(ReadAll(target).size(), 1000u);
  EXPECT_EQ(vexa::reg::GetString(vexa::reg::Hive::CurrentUser, kWizProductKey, "DownloadFile").value_or(""), target);
}

TEST_F(UpdateCheckTest, AShortPackageIsNeverOpened) {
  ASSERT_TRUE(StartServer("short"));
  OnDialog(116, [](QDialog* d) { Click(d, 1159); });
  OnDialog(118, [](QDialog* d) {
    d->findChild<QRadioButton*>("ctl_1162")->setChecked(true);
    Click(d, 1);
  });
  EXPECT_EQ(Run(), UpdateOutcome::Nothing);
  EXPECT_TRUE(m_launched.empty());
  ASSERT_EQ(m_boxes.size(), 1u);
  EXPECT_EQ(m_boxes[0], "Error|Unable to execute the download file.");
  EXPECT_FALSE(vexa::base::FileExists(vexa::base::JoinPath(vexa::base::TempDirectory(), "setup.deb")));
}

TEST_F(UpdateCheckTest, ANameThatLeavesItsFolderStaysInIt) {
  ASSERT_TRUE(StartServer("traversal"));
  m_saveAs = "";
  OnDialog(116, [](QDialog* d) { Click(d, 1159); });
  OnDialog(118, [](QDialog* d) { Click(d, 1); });
  EXPECT_EQ(Run(), UpdateOutcome::Nothing);
  // The suggestion is a plain name in the temporary folder; Cancel in the
  // save dialog downloads nothing.
  EXPECT_EQ(m_suggested, vexa::base::JoinPath(vexa::base::TempDirectory(), "x"));
  EXPECT_TRUE(m_boxes.empty());
}

TEST_F(UpdateCheckTest, ASlowDownloadIsCancelledFromTheProgressWindow) {
  ASSERT_TRUE(StartServer("slow"));
  m_saveAs = m_temp.Path("slow.deb");
  OnDialog(116, [](QDialog* d) { Click(d, 1159); });
  OnDialog(118, [](QDialog* d) { Click(d, 1); });
  // The progress window is modeless: it is found among the top-level widgets.
  QTimer cancel;
  QObject::connect(&cancel, &QTimer::timeout, [&] {
    for (QWidget* w : QApplication::topLevelWidgets()) {
      if (w->objectName() == "dialog119" && w->isVisible()) {
        auto* bar = w->findChild<QWidget*>("ctl_1165");
        if (bar && bar->property("value").toInt() > 0) {
          Click(static_cast<QDialog*>(w), 2);
          cancel.stop();
        }
      }
    }
  });
  cancel.start(20);
  EXPECT_EQ(Run(), UpdateOutcome::Nothing);
  EXPECT_FALSE(vexa::base::FileExists(m_saveAs));
  EXPECT_TRUE(m_boxes.empty());
}

}  // namespace
