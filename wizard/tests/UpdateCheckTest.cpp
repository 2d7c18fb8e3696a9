// The update check against a loopback HTTPS server started by the test
// (its certificate made by the test and trusted through the test-only
// authority variable): the request it sends, the replies "newer" and "not
// newer", a missing page, a short body, a name that tries to leave its
// folder, a slow body cancelled from the progress window; and what is never
// done: asking over plain http, following a redirect to http, or saving a
// package to open anywhere but a new private folder under a name of our own.
#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QFileDialog>
#include <QLabel>
#include <QProcess>
#include <QRadioButton>
#include <QTest>
#include <QTimer>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <map>

#include "platform/base/Path.h"
#include "platform/registry/Registry.h"
#include "wizard/common/Language.h"
#include "wizard/common/WizUtil.h"
#include "wizard/dialogs/MessageBox.h"
#include "uicommon/tests/FilePickerProbe.h"
#include "wizard/tests/WizUnitTest.h"
#include "wizard/ui/Launcher.h"
#include "wizard/update/HttpTransfer.h"
#include "wizard/update/UpdateCheck.h"
#include "tests/support/UiWaits.h"

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
    unsetenv(kTestCaFileVariable);
    WizUnitTest::TearDown();
  }

  // A certificate for 127.0.0.1, its own authority, made for this test.
  bool MakeCertificate() {
    m_cert = m_state + "/cert.pem";
    const std::string key = m_state + "/key.pem";
    QProcess openssl;
    openssl.start("openssl", {"req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1",
                              "-nodes", "-days", "2", "-subj", "/CN=127.0.0.1", "-addext",
                              "subjectAltName=IP:127.0.0.1", "-keyout", QString::fromStdString(key), "-out",
                              QString::fromStdString(m_cert)});
    if (!openssl.waitForFinished(vexa::testsupport::kWaitBoundMs)) {
      ADD_FAILURE() << vexa::testsupport::InVain("openssl to make the test's certificate");
      return false;
    }
    return openssl.exitCode() == 0 && vexa::base::FileExists(m_cert);
  }

  // The server answers over TLS unless plain is asked for; the registry
  // names it with the scheme it speaks.
  bool StartServer(const std::string& mode, bool tls = true) {
    vexa::base::WriteFileAtomic(m_state + "/mode", mode);
    if (m_server.state() == QProcess::NotRunning) {
      QStringList args{QString(VEXA_TEST_SOURCE_DIR) + "/data/update_server.py", QString::fromStdString(m_state)};
      if (tls) {
        if (!MakeCertificate()) return false;
        args << QString::fromStdString(m_cert) << QString::fromStdString(m_state + "/key.pem");
        setenv(kTestCaFileVariable, m_cert.c_str(), 1);
      }
      m_server.start("python3", args);
      if (!m_server.waitForReadyRead(vexa::testsupport::kWaitBoundMs)) {
        ADD_FAILURE() << vexa::testsupport::InVain("the update server to tell its port");
        return false;
      }
      m_port = m_server.readLine().trimmed().toStdString();
      const std::string base = (tls ? "https://127.0.0.1:" : "http://127.0.0.1:") + m_port;
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
      if (auto* files = qobject_cast<QFileDialog*>(dialog)) {
        if (!m_fileDialogAction) return;
        auto action = std::move(m_fileDialogAction);
        m_fileDialogAction = {};
        action(files);
        return;
      }
      const int id = dialog->objectName().mid(6).toInt();
      auto it = m_actions.find(id);
      if (it == m_actions.end()) return;
      auto action = std::move(it->second);
      m_actions.erase(it);
      action(dialog);
    });
    driver.start(20);
    Wiz().SetUpdateCheckMode(kCheckManual);
    const vexa::testsupport::UiWatchdog dog("the update prompt's windows to be answered");
    return RunUpdatePrompt(Wiz(), nullptr);
  }
  static void Click(QDialog* d, int id) {
    auto* b = d->findChild<QAbstractButton*>(QString("ctl_%1").arg(id));
    ASSERT_TRUE(b) << id;
    QTest::mouseClick(b, Qt::LeftButton);
  }
  std::string Requests() { return ReadAll(m_state + "/requests.txt"); }
  // The download folders left in the temporary folder.
  static std::vector<std::string> UpdateFolders() {
    std::vector<std::string> found;
    for (const auto& e : std::filesystem::directory_iterator(vexa::base::TempDirectory())) {
      if (e.path().filename().string().rfind("kvod-update-", 0) == 0) found.push_back(e.path().string());
    }
    return found;
  }
  UpdateOutcome RunDownloadAndOpen() {
    OnDialog(116, [](QDialog* d) { Click(d, 1159); });
    OnDialog(118, [](QDialog* d) {
      d->findChild<QRadioButton*>("ctl_1162")->setChecked(true);
      Click(d, 1);
    });
    return Run();
  }

  QProcess m_server;
  std::string m_state, m_port, m_suggested, m_saveAs, m_cert;
  std::map<int, std::function<void(QDialog*)>> m_actions;
  std::function<void(QFileDialog*)> m_fileDialogAction;  // the save dialog's, used once
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
  // The server's name is only the suggestion, in the user's download folder.
  EXPECT_EQ(vexa::base::BaseName(m_suggested), "setup.deb");
  EXPECT_NE(vexa::base::DirName(m_suggested), vexa::base::TempDirectory());
  EXPECT_EQ(ReadAll(m_saveAs), std::string(1000, 'p'));
  EXPECT_NE(Requests().find("GET /download?Check=M&packageUuid=abc"), std::string::npos) << Requests();
  ASSERT_EQ(m_boxes.size(), 1u);
  EXPECT_EQ(m_boxes[0], "REMINDER|Please remember where you saved the file:\n" + m_saveAs);
  // Nothing is left in the temporary folder.
  EXPECT_TRUE(UpdateFolders().empty());
}

// The save dialog only names the file: Delete, rename and new folder change
// nothing in the folder it shows, and it opens none of the files it lists.
TEST_F(UpdateCheckTest, TheSaveDialogChangesNothingAndOpensNothing) {
  ASSERT_TRUE(StartServer("newer"));
  SetSaveFileHook({});
  const std::string folder = m_temp.Path("downloads");
  vexa::base::MakeDirs(folder);
  vexa::ui::testing::FilePickerProbe probe(folder);
  bool seen = false;
  m_fileDialogAction = [&](QFileDialog* dialog) {
    seen = true;
    probe.Exercise(dialog);
    dialog->reject();
  };
  OnDialog(116, [](QDialog* d) { Click(d, 1159); });
  OnDialog(118, [](QDialog* d) { Click(d, 1); });
  EXPECT_EQ(Run(), UpdateOutcome::Nothing);
  EXPECT_TRUE(seen) << "no save dialog was shown";
  for (const std::string& fault : probe.Faults()) ADD_FAILURE() << fault;
  EXPECT_TRUE(UpdateFolders().empty());
}

// The package to open lands in a new folder of the user's alone, under our
// name: a link another user planted under the server's name in the
// temporary folder is never written through.
TEST_F(UpdateCheckTest, DownloadAndOpenHandsACompletePackageToTheDesktop) {
  ASSERT_TRUE(StartServer("newer"));
  const std::string planted = vexa::base::JoinPath(vexa::base::TempDirectory(), "setup.deb");
  ASSERT_TRUE(vexa::base::WriteFileAtomic(m_temp.Path("victim"), "VICTIM"));
  ASSERT_EQ(symlink(m_temp.Path("victim").c_str(), planted.c_str()), 0);
  EXPECT_EQ(RunDownloadAndOpen(), UpdateOutcome::CloseWizard);
  const std::vector<std::string> folders = UpdateFolders();
  ASSERT_EQ(folders.size(), 1u);
  const std::string target = folders[0] + "/kvod-update-package";
  ASSERT_EQ(m_launched.size(), 1u);
  EXPECT_EQ(m_launched[0], "open " + target);
  EXPECT_EQ(ReadAll(target), std::string(1000, 'p'));
  struct stat st {};
  ASSERT_EQ(lstat(folders[0].c_str(), &st), 0);
  EXPECT_TRUE(S_ISDIR(st.st_mode));
  EXPECT_EQ(st.st_mode & 07777, 0700u);
  EXPECT_EQ(st.st_uid, geteuid());
  EXPECT_EQ(vexa::reg::GetString(vexa::reg::Hive::CurrentUser, kWizProductKey, "DownloadFile").value_or(""), target);
  EXPECT_EQ(ReadAll(m_temp.Path("victim")), "VICTIM");
  EXPECT_TRUE(Fake().Logged("INFO|vexawiz|The server names the package setup.deb"));
  unlink(planted.c_str());
  vexa::base::RemoveAll(folders[0]);
}

TEST_F(UpdateCheckTest, AShortPackageIsNeverOpened) {
  ASSERT_TRUE(StartServer("short"));
  EXPECT_EQ(RunDownloadAndOpen(), UpdateOutcome::Nothing);
  EXPECT_TRUE(m_launched.empty());
  ASSERT_EQ(m_boxes.size(), 1u);
  EXPECT_EQ(m_boxes[0], "Error|Unable to execute the download file.");
  EXPECT_TRUE(UpdateFolders().empty());
}

TEST_F(UpdateCheckTest, ANameThatLeavesItsFolderStaysInIt) {
  ASSERT_TRUE(StartServer("traversal"));
  m_saveAs = "";
  OnDialog(116, [](QDialog* d) { Click(d, 1159); });
  OnDialog(118, [](QDialog* d) { Click(d, 1); });
  EXPECT_EQ(Run(), UpdateOutcome::Nothing);
  // The suggestion is a plain name; Cancel in the save dialog downloads
  // nothing.
  EXPECT_EQ(vexa::base::BaseName(m_suggested), "x");
  EXPECT_EQ(vexa::base::DirName(m_suggested).find(".."), std::string::npos) << m_suggested;
  EXPECT_TRUE(m_boxes.empty());
}

// Plain http is never spoken: an http address in the registry is refused
// before anything is sent, and a redirect from https to http ends the
// download with nothing kept or opened.
TEST_F(UpdateCheckTest, NothingIsFetchedOverPlainHttp) {
  ASSERT_TRUE(StartServer("newer", false));
  OnDialog(116, [](QDialog* d) { Click(d, 1159); });
  EXPECT_EQ(Run(), UpdateOutcome::Nothing);
  EXPECT_EQ(Requests(), "");
  ASSERT_EQ(m_boxes.size(), 1u);
  EXPECT_EQ(m_boxes[0], "Version Check Error|ERROR: Unable to parse Kv Orlune Disc version information.\nTry "
                        "reinstalling Kv Orlune Disc.");
  const std::string refused = "CvexaUpdate - The update server's address is not https and is not used: http://127.0.0.1:" +
                              m_port + "/version?Check=M";
  EXPECT_TRUE(std::any_of(Fake().log.begin(), Fake().log.end(),
                          [&](const std::string& line) { return line.find(refused) != std::string::npos; }));
}

TEST_F(UpdateCheckTest, ARedirectToHttpIsNotFollowed) {
  ASSERT_TRUE(StartServer("redirect"));
  EXPECT_EQ(RunDownloadAndOpen(), UpdateOutcome::Nothing);
  EXPECT_TRUE(m_launched.empty());
  ASSERT_EQ(m_boxes.size(), 1u);
  EXPECT_EQ(m_boxes[0], "Error|An internet error occurred, try again later.");
  // The version query and the one download request, both over TLS; the
  // redirect's http address was never asked.
  const std::string requests = Requests();
  std::size_t downloads = 0;
  for (std::size_t at = 0; (at = requests.find("GET /download", at)) != std::string::npos; ++at) ++downloads;
  EXPECT_EQ(downloads, 1u) << requests;
  EXPECT_TRUE(UpdateFolders().empty());
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
