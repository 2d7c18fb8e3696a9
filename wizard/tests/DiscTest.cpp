// The whole interactive road: the wizard through the component core, its
// pages driven with QTest, the real orchestrator, disc engine and disc
// library burning to the simulated recorder; the disc image is checked with
// vcd-info and isoinfo.
#include <unistd.h>

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>
#include <QWizard>
#include <filesystem>
#include <functional>
#include <memory>

#include "idl/vexalog.h"
#include "idl/vexawiz.h"
#include "platform/base/Path.h"
#include "platform/registry/Registry.h"
#include "tests/support/UiWaits.h"
#include "uicommon/tests/UiTestSupport.h"

using vexa::com::Bstr;
using vexa::com::ComPtr;
using namespace vexa::ui::testing;

namespace {

constexpr char kKey[] = "SOFTWARE\\Tervane\\Kv Orlune Disc\\CurrentVersion";

// The recorder transport is opened once per process, so a test that needs
// drives of its own runs in a process of its own: the test starts its
// program again for itself alone with --own-process, and a process started
// so runs the test's body instead of starting another.
bool InOwnProcess() {
  const std::string args = ReadAll("/proc/self/cmdline");
  std::size_t at = 0;
  while (at < args.size()) {
    const std::size_t end = args.find('\0', at);
    const std::string arg = args.substr(at, end == std::string::npos ? std::string::npos : end - at);
    if (arg == "--own-process") return true;
    if (end == std::string::npos) break;
    at = end + 1;
  }
  return false;
}

void RunInOwnProcess() {
  const std::string test = ::testing::UnitTest::GetInstance()->current_test_info()->name();
  char self[4096] = {};
  const ssize_t len = ::readlink("/proc/self/exe", self, sizeof self - 1);
  ASSERT_GT(len, 0);
  std::string out;
  // Bounded by RunCommand, which ends the process with its children; its
  // own waits have smaller bounds (kOwnProcessBound), so they say first
  // what they waited for.
  const int rc = RunCommand("env -u VEXA_SCSI_TRANSPORT " + Quote(self) + " --gtest_filter=DiscTest." + test +
                                " --own-process",
                            &out);
  EXPECT_EQ(rc, 0) << out;
  EXPECT_NE(out.find("[  PASSED  ] 1 test"), std::string::npos) << out;
}

// The bound of a whole run of the wizard driven by the test's timers; in a
// process of its own (RunInOwnProcess) it stays below the bound of the run
// of that process.
constexpr std::chrono::seconds kOwnProcessBound{240};

// Runs the wizard's CreateVCD under a watchdog: windows that the test's
// driver does not close fail the test, naming the run, when the bound has
// passed, and are closed.
HRESULT CreateVcdWithin(IVEXAWizard1* wizard, const char* what, std::chrono::milliseconds bound = kOwnProcessBound) {
  const vexa::testsupport::UiWatchdog dog(what, bound);
  return wizard->CreateVCD();
}

// The text of the orchestrator's message window ("" for another window).
std::string MessageText(QWidget* window) {
  const auto* text = window ? window->findChild<QPlainTextEdit*>("2001") : nullptr;
  return text ? text->toPlainText().toStdString() : std::string();
}

// Clicks a shown, enabled button of a window by its control id, once the
// caller's handler has returned; false when there is none.
bool Press(QWidget* window, const char* id) {
  auto* button = window ? window->findChild<QPushButton*>(id) : nullptr;
  if (!button || !button->isVisible() || !button->isEnabled()) return false;
  QTimer::singleShot(0, button, &QPushButton::click);
  return true;
}

// Clicks the window's "Done" button when it is shown and enabled.
bool PressDone(QWidget* window) {
  for (QPushButton* b : window->findChildren<QPushButton*>()) {
    if (b->isVisible() && b->isEnabled() && b->text().remove('&') == "Done") {
      QTimer::singleShot(0, b, &QPushButton::click);
      return true;
    }
  }
  return false;
}

// The orchestrator's status window while it is shown.
QWidget* StatusWindow() {
  for (QWidget* top : QApplication::topLevelWidgets())
    if (top->isVisible() && top->objectName() == "151" && top->findChild<QProgressBar*>("1076")) return top;
  return nullptr;
}

// The writer line of the Finish page's summary.
std::string WriterLine(QWizard* sheet) {
  const auto* summary = sheet->currentPage()->findChild<QPlainTextEdit*>("ctl_1067");
  if (!summary) return {};
  for (const QString& line : summary->toPlainText().split('\n'))
    if (line.startsWith("CD Writer")) return line.trimmed().toStdString();
  return {};
}

// The image files of the disc in the simulated recorder's tray, as cdrsim
// describes it ("" when it has none).
std::string ImageOf(const std::string& drive) {
  std::string out;
  RunCommand(std::string(VEXA_BUILD_DIR) + "/bin/cdrsim disc " + Quote(drive), &out);
  const std::size_t at = out.find("image ");
  if (at == std::string::npos) return {};
  const std::size_t end = out.find(" (", at);
  return out.substr(at + 6, end - at - 6);
}

// A disc image checked with programs of its own: cd-info reads its table of
// contents and finds a Video CD, isoinfo the file tree of its first track,
// which must hold the photo.
void ExpectDiscHolds(const std::string& image, const std::string& photo, const std::string& scratch) {
  std::string out;
  ASSERT_EQ(RunCommand("/usr/bin/cd-info --no-header --no-device-info --cue-file " + Quote(image + ".cue"), &out), 0)
      << out;
  EXPECT_NE(out.find("XA sectors   Video CD"), std::string::npos) << out;
  const std::string raw = ReadAll(image + ".bin");
  std::string cooked;
  for (std::size_t at = 0; at + 2352 <= raw.size(); at += 2352) cooked.append(raw, at + 24, 2048);
  const std::string iso = scratch + "/track1.iso";
  WriteAll(iso, cooked);
  ASSERT_EQ(RunCommand("/usr/bin/isoinfo -J -f -i " + Quote(iso), &out), 0) << out;
  EXPECT_NE(out.find(photo), std::string::npos) << out;
}

// Sees the sheet shown.
class ShowWatch : public QObject {
 public:
  explicit ShowWatch(std::function<void()> shown) : shown_(std::move(shown)) {}
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Show) shown_();
    return QObject::eventFilter(watched, event);
  }

 private:
  std::function<void()> shown_;
};

class DiscTest : public UiTest {
 protected:
  void SetUp() override {
    UiTest::SetUp();
    for (const char* name : {"config", "cache", "data", "drive", "photos"}) vexa::base::MakeDirs(m_temp.Path(name));
    ::setenv("XDG_CONFIG_HOME", m_temp.Path("config").c_str(), 1);
    ::setenv("XDG_CACHE_HOME", m_temp.Path("cache").c_str(), 1);
    ::setenv("XDG_DATA_HOME", m_temp.Path("data").c_str(), 1);
    ::setenv("TMPDIR", m_temp.dir().c_str(), 1);
    ::setenv("VEXA_SCSI_TRANSPORT", ("sim:" + m_temp.Path("drive")).c_str(), 1);
    WriteAll(m_temp.Path("drive/drive.conf"), "profile = cdrw-writer\nmedia = cdr\n");
    // The test's own logger, so parallel tests never share a log server.
    const std::string logger = "Software\\Classes\\CLSID\\" + vexa::com::GuidToString(CLSID_VexaLogger) +
                               "\\InprocServer32";
    vexa::reg::SetValue(vexa::reg::Hive::CurrentUser, logger, "", vexa::reg::Value::String("vexawiz_fakes"));
    // Checked today: no update prompt.
    std::time_t now = std::time(nullptr);
    std::tm tm{};
    localtime_r(&now, &tm);
    char date[16];
    std::strftime(date, sizeof date, "%m/%d/%Y", &tm);
    vexa::reg::SetValue(vexa::reg::Hive::CurrentUser, kKey, "DateLastCheckedForUpdate", vexa::reg::Value::String(date));
    ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
  }
  void TearDown() override {
    CoUninitialize();
    for (const char* v : {"XDG_CONFIG_HOME", "XDG_CACHE_HOME", "XDG_DATA_HOME", "TMPDIR", "VEXA_SCSI_TRANSPORT"})
      ::unsetenv(v);
    UiTest::TearDown();
  }
};

TEST_F(DiscTest, AFolderOfPhotosWithMusicAndTitlesBecomesADisc) {
  VEXA_UI_REQUIRE_TOOL("/usr/bin/convert");
  VEXA_UI_REQUIRE_TOOL("/usr/bin/vcd-info");
  VEXA_UI_REQUIRE_TOOL("/usr/bin/isoinfo");
  for (int i = 0; i < 3; ++i)
    ASSERT_EQ(RunCommand("/usr/bin/convert -size 640x480 -seed " + std::to_string(i) + " plasma:fractal " +
                         Quote(m_temp.Path("photos/photo" + std::to_string(i) + ".jpg"))),
              0);

  ComPtr<IVEXAWizard1> wizard;
  ASSERT_EQ(CoCreateInstance(CLSID_VEXAWizard1, nullptr, CLSCTX_ALL, IID_IVEXAWizard1, wizard.PutVoid()), S_OK);
  Bstr empty(u"");
  ASSERT_EQ(wizard->Init(empty.Get(), VARIANT_TRUE), S_OK);
  ASSERT_EQ(wizard->AddImageDirectory(Bstr::FromUtf8(m_temp.Path("photos")).Get()), S_OK);
  ASSERT_EQ(wizard->SetStartScreen(VEXAWizSetTitles), S_OK);

  // The user types the titles, picks the music, looks at each page and makes
  // the disc; the orchestrator's questions are answered as they come.
  std::vector<std::string> questions;
  bool drove = false, finished = false, pickedMusic = false;
  QTimer driver;
  QObject::connect(&driver, &QTimer::timeout, [&] {
    QWidget* modal = QApplication::activeModalWidget();
    if (auto* box = qobject_cast<QMessageBox*>(modal)) {
      questions.push_back(box->text().toStdString());
      // "Another copy?" and the like: No; anything else: its default.
      if (QAbstractButton* no = box->button(QMessageBox::No)) QTimer::singleShot(0, no, &QAbstractButton::click);
      else if (box->defaultButton()) QTimer::singleShot(0, box->defaultButton(), &QAbstractButton::click);
      else QTimer::singleShot(0, box, &QDialog::accept);
      return;
    }
    auto* sheet = qobject_cast<QWizard*>(modal);
    if (!sheet && modal) {
      // The orchestrator's own message window: No to a question, else its
      // one button or its default.
      QPushButton* chosen = nullptr;
      for (QPushButton* b : modal->findChildren<QPushButton*>()) {
        if (!b->isVisible() || !b->isEnabled()) continue;
        const QString text = b->text().remove('&');
        if (text == "No") chosen = b;
        if (!chosen && b->isDefault()) chosen = b;
      }
      if (!chosen) {
        for (QPushButton* b : modal->findChildren<QPushButton*>())
          if (b->isVisible() && b->isEnabled()) {
            chosen = b;
            break;
          }
      }
      questions.push_back(modal->windowTitle().toStdString());
      if (chosen) QTimer::singleShot(0, chosen, &QPushButton::click);
      return;
    }
    // The orchestrator's status window (not modal) says the disc is made:
    // Done, and no other copy.
    for (QWidget* top : QApplication::topLevelWidgets()) {
      if (!top->isVisible() || top == sheet) continue;
      if (PressDone(top)) {
        finished = true;
        return;
      }
    }
    if (!sheet || drove) return;
    drove = true;
    auto* line1 = sheet->currentPage()->findChild<QWidget*>("ctl_1022");
    auto* line2 = sheet->currentPage()->findChild<QWidget*>("ctl_1023");
    if (line1) QTest::keyClicks(line1, "Our Holiday");
    if (line2) QTest::keyClicks(line2, "2002");
    // The music that comes with the software: Sunrise.
    for (int left = 5; sheet->currentId() != 3 && left > 0; --left) sheet->next();
    auto* preInstalled = sheet->currentPage()->findChild<QRadioButton*>("ctl_1029");
    auto* list = sheet->currentPage()->findChild<QComboBox*>("ctl_1031");
    if (preInstalled && list) {
      QTest::mouseClick(preInstalled, Qt::LeftButton);
      list->setCurrentIndex(list->findText("Sunrise"));
      pickedMusic = list->currentText() == "Sunrise";
    }
    for (int left = 5; sheet->currentId() != 5 && left > 0; --left) sheet->next();
    // Pressed once this handler has returned, so the driver keeps running
    // while the disc is made.
    QTimer::singleShot(0, sheet->button(QWizard::FinishButton), &QAbstractButton::click);
  });
  driver.start(50);
  ASSERT_EQ(CreateVcdWithin(wizard.Get(), "the wizard to make the disc and close"), S_OK);
  driver.stop();
  ASSERT_TRUE(drove);
  EXPECT_TRUE(finished);
  EXPECT_TRUE(pickedMusic);
  VEXAWizErrorCode code = VEXAWizFailure;
  wizard->GetErrorCode(&code);
  EXPECT_EQ(code, VEXAWizSuccess);
  wizard.Reset();

  std::string cue, bin;
  for (const auto& e : std::filesystem::recursive_directory_iterator(m_temp.Path("drive"))) {
    if (e.path().extension() == ".cue") cue = e.path().string();
    if (e.path().extension() == ".bin") bin = e.path().string();
  }
  ASSERT_FALSE(cue.empty()) << "no disc image was written";
  std::string out;
  ASSERT_EQ(RunCommand("/usr/bin/vcd-info --no-banner --cue-file " + Quote(cue), &out), 0) << out;
  // The title still, three photos, a thumbnail page and the home page.
  EXPECT_NE(out.find("number of segments: 6"), std::string::npos) << out;
  // The file tree is track 1 of the raw image: the 2048 bytes of user data
  // of each 2352-byte sector, after its 24-byte header.
  ASSERT_FALSE(bin.empty());
  const std::string raw = ReadAll(bin);
  std::string cooked;
  for (std::size_t at = 0; at + 2352 <= raw.size(); at += 2352) cooked.append(raw, at + 24, 2048);
  const std::string iso = m_temp.Path("track1.iso");
  WriteAll(iso, cooked);
  ASSERT_EQ(RunCommand("/usr/bin/isoinfo -J -f -i " + Quote(iso), &out), 0) << out;
  EXPECT_NE(out.find("photo0.jpg"), std::string::npos) << out;
  EXPECT_NE(out.find("Sunrise"), std::string::npos) << out;
  EXPECT_NE(out.find("CONTENT/BG_A0001.MP3"), std::string::npos) << out;
  // The album on the disc carries the titles the user typed.
  ASSERT_EQ(RunCommand("/usr/bin/isoinfo -J -x '/ORLDISC/ALBUM_A/ALBUM.XML;1' -i " + Quote(iso), &out), 0) << out;
  EXPECT_NE(out.find("<titleSlide><line1>Our Holiday</line1><line2>2002</line2><line3/></titleSlide>"),
            std::string::npos)
      << out;
}

// No writer, on the real orchestrator and the simulated recorder (a drive
// that only reads): Make Disc tells the user and brings the settings page,
// with "None" as the writer, and the wizard keeps running; closing it then
// asks first, since pictures are chosen.
TEST_F(DiscTest, NoWriterBringsTheSettingsPage) {
  VEXA_UI_REQUIRE_TOOL("/usr/bin/convert");
  if (!InOwnProcess()) return RunInOwnProcess();
  WriteAll(m_temp.Path("drive/drive.conf"), "profile = reader\nmedia = none\n");
  ASSERT_EQ(RunCommand("/usr/bin/convert -size 320x240 -seed 7 plasma:fractal " + Quote(m_temp.Path("photos/a.jpg"))), 0);

  ComPtr<IVEXAWizard1> wizard;
  ASSERT_EQ(CoCreateInstance(CLSID_VEXAWizard1, nullptr, CLSCTX_ALL, IID_IVEXAWizard1, wizard.PutVoid()), S_OK);
  Bstr empty(u"");
  ASSERT_EQ(wizard->Init(empty.Get(), VARIANT_TRUE), S_OK);
  ASSERT_EQ(wizard->AddImageDirectory(Bstr::FromUtf8(m_temp.Path("photos")).Get()), S_OK);
  ASSERT_EQ(wizard->SetStartScreen(VEXAWizSummary), S_OK);

  int step = 0;
  std::vector<std::string> told;
  std::string writer;
  QTimer driver;
  QObject::connect(&driver, &QTimer::timeout, [&] {
    QWidget* modal = QApplication::activeModalWidget();
    if (auto* box = qobject_cast<QMessageBox*>(modal)) {
      // The wizard's question on closing: Yes; anything else: its default.
      told.push_back(box->text().toStdString());
      QAbstractButton* yes = box->button(QMessageBox::Yes);
      if (yes && box->text().contains("close the wizard")) QTimer::singleShot(0, yes, &QAbstractButton::click);
      else if (box->defaultButton()) QTimer::singleShot(0, box->defaultButton(), &QAbstractButton::click);
      else QTimer::singleShot(0, box, &QDialog::accept);
      return;
    }
    auto* sheet = qobject_cast<QWizard*>(modal);
    if (!sheet && modal) {
      // The orchestrator's message: its one button.
      if (const auto* text = modal->findChild<QPlainTextEdit*>()) told.push_back(text->toPlainText().toStdString());
      for (QPushButton* b : modal->findChildren<QPushButton*>()) {
        if (b->isVisible() && b->isEnabled()) {
          QTimer::singleShot(0, b, &QPushButton::click);
          break;
        }
      }
      return;
    }
    if (!sheet || !sheet->isVisible() || QApplication::overrideCursor()) return;
    if (step == 0 && sheet->currentId() == 5) {
      step = 1;
      QTimer::singleShot(0, sheet->button(QWizard::FinishButton), &QAbstractButton::click);
    } else if (step == 1 && sheet->currentId() == 4) {
      step = 2;
      if (auto* label = sheet->currentPage()->findChild<QLabel*>("ctl_1135")) writer = label->text().toStdString();
      QTimer::singleShot(0, sheet->button(QWizard::CancelButton), &QAbstractButton::click);
    }
  });
  driver.start(50);
  ASSERT_EQ(CreateVcdWithin(wizard.Get(), "the wizard to tell of no writer and close"), S_OK);
  driver.stop();
  EXPECT_EQ(step, 2);
  EXPECT_EQ(writer, "None");
  bool noWriterTold = false, closingAsked = false;
  for (const std::string& t : told) {
    noWriterTold = noWriterTold || t.find("CD writer") != std::string::npos;
    closingAsked = closingAsked || t.find("close the wizard") != std::string::npos;
  }
  EXPECT_TRUE(noWriterTold);
  EXPECT_TRUE(closingAsked);
  for (const auto& e : std::filesystem::recursive_directory_iterator(m_temp.Path("drive")))
    EXPECT_NE(e.path().extension(), ".cue");
}

// A written CD-R in the writer, on the real orchestrator and the simulated
// recorder: Make Disc → the orchestrator says the disc is closed → Cancel
// brings the wizard back on the Finish page with a burn driver for the same
// writer; Make Disc pressed again while the window comes back starts nothing.
// A blank CD-R is then put in from outside (cdrsim, as a person changes the
// disc) and Make Disc makes the disc.
TEST_F(DiscTest, AWrittenCdRThenABlankOneMakesTheDisc) {
  VEXA_UI_REQUIRE_TOOL("/usr/bin/convert");
  VEXA_UI_REQUIRE_TOOL("/usr/bin/cd-info");
  VEXA_UI_REQUIRE_TOOL("/usr/bin/isoinfo");
  if (!InOwnProcess()) return RunInOwnProcess();
  const std::string drive = m_temp.Path("drive");
  const std::string bin = std::string(VEXA_BUILD_DIR) + "/bin/";
  // A CD-R written by another program: one data track, closed.
  WriteAll(m_temp.Path("old.dat"), std::string(300 * 2048, 'x'));
  std::string out;
  ASSERT_EQ(RunCommand(bin + "cdr-cli --sim " + Quote(drive) + " write " + Quote(m_temp.Path("old.dat")), &out), 0)
      << out;
  const std::string oldImage = ImageOf(drive);
  ASSERT_FALSE(oldImage.empty());
  ASSERT_EQ(RunCommand("/usr/bin/convert -size 320x240 -seed 3 plasma:fractal " + Quote(m_temp.Path("photos/a.jpg"))), 0);

  ComPtr<IVEXAWizard1> wizard;
  ASSERT_EQ(CoCreateInstance(CLSID_VEXAWizard1, nullptr, CLSCTX_ALL, IID_IVEXAWizard1, wizard.PutVoid()), S_OK);
  Bstr empty(u"");
  ASSERT_EQ(wizard->Init(empty.Get(), VARIANT_TRUE), S_OK);
  ASSERT_EQ(wizard->AddImageDirectory(Bstr::FromUtf8(m_temp.Path("photos")).Get()), S_OK);
  ASSERT_EQ(wizard->SetStartScreen(VEXAWizSetupSettings), S_OK);

  int phase = 0, closedAsked = 0, pressedWhileBack = 0;
  bool made = false;
  std::string writerBefore, writerOnSettings, writerAfter, loaded;
  std::vector<std::string> told;
  std::unique_ptr<ShowWatch> watch;
  QTimer driver;
  QObject::connect(&driver, &QTimer::timeout, [&] {
    QWidget* modal = QApplication::activeModalWidget();
    auto* sheet = qobject_cast<QWizard*>(modal);
    if (modal && !sheet) {
      const std::string text = MessageText(modal);
      told.push_back(text);
      // The closed disc: Cancel; the CD-R reminder: OK; another copy: No.
      if (text.find("The disc in the CD writer is closed") != std::string::npos) ++closedAsked;
      if (!Press(modal, "2")) Press(modal, "161");
      return;
    }
    if (phase == 3) {
      // The status window says the disc is made: Done.
      if (QWidget* status = StatusWindow(); status && PressDone(status)) made = true;
      return;
    }
    if (!sheet || !sheet->isVisible() || QApplication::overrideCursor()) return;
    if (phase == 0 && sheet->currentId() == 4) {
      // From the settings page to the Finish page, and Make Disc.
      sheet->next();
      if (sheet->currentId() != 5) return;
      phase = 1;
      writerBefore = WriterLine(sheet);
      // Make Disc pressed again the moment the window is back.
      watch = std::make_unique<ShowWatch>([&, sheet] {
        if (phase != 1) return;
        QTimer::singleShot(0, sheet, [&, sheet] {
          ++pressedWhileBack;
          sheet->button(QWizard::FinishButton)->click();
        });
      });
      sheet->installEventFilter(watch.get());
      QTimer::singleShot(0, sheet->button(QWizard::FinishButton), &QAbstractButton::click);
    } else if (phase == 1 && closedAsked > 0 && sheet->currentId() == 5) {
      phase = 2;
      sheet->removeEventFilter(watch.get());
      // The writer the new burn driver has, on the settings page, and on
      // the Finish page again.
      sheet->back();
      if (auto* label = sheet->currentPage()->findChild<QLabel*>("ctl_1135")) writerOnSettings = label->text().toStdString();
      sheet->next();
      writerAfter = WriterLine(sheet);
      RunCommand(bin + "cdrsim load " + Quote(drive) + " cdr", &loaded);
      phase = 3;
      QTimer::singleShot(0, sheet->button(QWizard::FinishButton), &QAbstractButton::click);
    }
  });
  driver.start(50);
  ASSERT_EQ(CreateVcdWithin(wizard.Get(), "the wizard to make the disc on the blank CD-R and close"), S_OK);
  driver.stop();
  EXPECT_EQ(phase, 3);
  EXPECT_TRUE(made);
  EXPECT_EQ(closedAsked, 1) << "Make Disc pressed while the window came back burned again";
  EXPECT_GE(pressedWhileBack, 1);
  EXPECT_NE(writerBefore.find("CD-RW SIM 52X"), std::string::npos) << writerBefore;
  EXPECT_EQ(writerAfter, writerBefore);
  EXPECT_NE(writerOnSettings.find("CD-RW SIM 52X"), std::string::npos) << writerOnSettings;
  EXPECT_NE(loaded.find("media cdr, blank"), std::string::npos) << loaded;
  VEXAWizErrorCode code = VEXAWizFailure;
  wizard->GetErrorCode(&code);
  EXPECT_EQ(code, VEXAWizSuccess);
  wizard.Reset();

  const std::string image = ImageOf(drive);
  ASSERT_FALSE(image.empty());
  EXPECT_NE(image, oldImage);
  ExpectDiscHolds(image, "a.jpg", m_temp.dir());
}

// Cancel pressed while the disc is being written (the simulated recorder
// made slow, the press waits for the writing step's progress): the wizard
// is back on the Finish page; with a blank CD-R put in, Make Disc makes the
// disc.
TEST_F(DiscTest, ACancelDuringTheWriteComesBackAndTheNextBurnMakesTheDisc) {
  VEXA_UI_REQUIRE_TOOL("/usr/bin/convert");
  VEXA_UI_REQUIRE_TOOL("/usr/bin/cd-info");
  VEXA_UI_REQUIRE_TOOL("/usr/bin/isoinfo");
  if (!InOwnProcess()) return RunInOwnProcess();
  const std::string drive = m_temp.Path("drive");
  const std::string bin = std::string(VEXA_BUILD_DIR) + "/bin/";
  // Every WRITE takes a while, so the write lasts long enough to cancel.
  WriteAll(m_temp.Path("drive/drive.conf"), "profile = cdrw-writer\nmedia = cdr\nfault = slow op=2a ms=15\n");
  ASSERT_EQ(RunCommand("/usr/bin/convert -size 320x240 -seed 5 plasma:fractal " + Quote(m_temp.Path("photos/b.jpg"))), 0);

  ComPtr<IVEXAWizard1> wizard;
  ASSERT_EQ(CoCreateInstance(CLSID_VEXAWizard1, nullptr, CLSCTX_ALL, IID_IVEXAWizard1, wizard.PutVoid()), S_OK);
  Bstr empty(u"");
  ASSERT_EQ(wizard->Init(empty.Get(), VARIANT_TRUE), S_OK);
  ASSERT_EQ(wizard->AddImageDirectory(Bstr::FromUtf8(m_temp.Path("photos")).Get()), S_OK);
  ASSERT_EQ(wizard->SetStartScreen(VEXAWizSetupSettings), S_OK);

  int phase = 0;
  bool cancelAsked = false, made = false;
  int progressAtCancel = -1;
  std::string writerBefore, writerAfter, afterCancel, loaded;
  QTimer driver;
  QObject::connect(&driver, &QTimer::timeout, [&] {
    QWidget* modal = QApplication::activeModalWidget();
    auto* sheet = qobject_cast<QWizard*>(modal);
    if (modal && !sheet) {
      const std::string text = MessageText(modal);
      // "Are you sure you want to cancel?": Yes; the CD-R reminder: OK;
      // another copy: No.
      if (text.find("sure you want to cancel") != std::string::npos) {
        cancelAsked = true;
        Press(modal, "1");
      } else if (!Press(modal, "2")) {
        Press(modal, "161");
      }
      return;
    }
    QWidget* status = StatusWindow();
    if (phase == 1 && status) {
      // Cancel once the writing step is under way.
      const auto* writing = status->findChild<QWidget*>("1082");
      const auto* bar = status->findChild<QProgressBar*>("1076");
      if (writing && writing->isVisible() && bar && bar->value() > 4 && Press(status, "2")) {
        progressAtCancel = bar->value();
        phase = 2;
      }
      return;
    }
    if (phase == 4 && status) {
      if (PressDone(status)) made = true;
      return;
    }
    if (!sheet || !sheet->isVisible() || QApplication::overrideCursor()) return;
    if (phase == 0 && sheet->currentId() == 4) {
      sheet->next();
      if (sheet->currentId() != 5) return;
      phase = 1;
      writerBefore = WriterLine(sheet);
      QTimer::singleShot(0, sheet->button(QWizard::FinishButton), &QAbstractButton::click);
    } else if (phase == 2 && sheet->currentId() == 5) {
      phase = 4;
      RunCommand(bin + "cdrsim disc " + Quote(drive), &afterCancel);
      sheet->back();
      sheet->next();
      writerAfter = WriterLine(sheet);
      RunCommand(bin + "cdrsim load " + Quote(drive) + " cdr", &loaded);
      QTimer::singleShot(0, sheet->button(QWizard::FinishButton), &QAbstractButton::click);
    }
  });
  driver.start(50);
  ASSERT_EQ(CreateVcdWithin(wizard.Get(), "the wizard to make the disc after the cancel and close"), S_OK);
  driver.stop();
  EXPECT_EQ(phase, 4);
  EXPECT_TRUE(cancelAsked);
  EXPECT_GT(progressAtCancel, 4);
  EXPECT_TRUE(made);
  // The cancelled write left the CD-R written in part, never complete.
  EXPECT_NE(afterCancel.find("media cdr, incomplete"), std::string::npos) << afterCancel;
  EXPECT_EQ(writerAfter, writerBefore);
  EXPECT_NE(loaded.find("media cdr, blank"), std::string::npos) << loaded;
  VEXAWizErrorCode code = VEXAWizFailure;
  wizard->GetErrorCode(&code);
  EXPECT_EQ(code, VEXAWizSuccess);
  wizard.Reset();

  const std::string image = ImageOf(drive);
  ASSERT_FALSE(image.empty());
  ExpectDiscHolds(image, "b.jpg", m_temp.dir());
}

// A disc too small for the photo disc: the orchestrator says so in its own
// words (nothing was written) and the wizard comes back on the Finish page
// without a message of its own on top; closing it then asks first.
TEST_F(DiscTest, ADiscTooSmallIsToldOnceAndTheFinishPageComesBack) {
  VEXA_UI_REQUIRE_TOOL("/usr/bin/convert");
  if (!InOwnProcess()) return RunInOwnProcess();
  WriteAll(m_temp.Path("drive/drive.conf"), "profile = cdrw-writer\nmedia = cdr\ncapacity = 1000\n");
  ASSERT_EQ(RunCommand("/usr/bin/convert -size 320x240 -seed 9 plasma:fractal " + Quote(m_temp.Path("photos/c.jpg"))), 0);

  ComPtr<IVEXAWizard1> wizard;
  ASSERT_EQ(CoCreateInstance(CLSID_VEXAWizard1, nullptr, CLSCTX_ALL, IID_IVEXAWizard1, wizard.PutVoid()), S_OK);
  Bstr empty(u"");
  ASSERT_EQ(wizard->Init(empty.Get(), VARIANT_TRUE), S_OK);
  ASSERT_EQ(wizard->AddImageDirectory(Bstr::FromUtf8(m_temp.Path("photos")).Get()), S_OK);
  ASSERT_EQ(wizard->SetStartScreen(VEXAWizSummary), S_OK);

  int phase = 0;
  std::vector<std::string> told;
  QTimer driver;
  QObject::connect(&driver, &QTimer::timeout, [&] {
    QWidget* modal = QApplication::activeModalWidget();
    if (auto* box = qobject_cast<QMessageBox*>(modal)) {
      // The wizard's own messages: Yes to closing, else the default.
      told.push_back(box->text().toStdString());
      QAbstractButton* yes = box->button(QMessageBox::Yes);
      if (yes && box->text().contains("close the wizard")) QTimer::singleShot(0, yes, &QAbstractButton::click);
      else if (box->defaultButton()) QTimer::singleShot(0, box->defaultButton(), &QAbstractButton::click);
      else QTimer::singleShot(0, box, &QDialog::accept);
      return;
    }
    auto* sheet = qobject_cast<QWizard*>(modal);
    if (modal && !sheet) {
      // The orchestrator's messages, and the wizard's failure message (the
      // same window): their one button, or Cancel.
      told.push_back(MessageText(modal));
      if (!Press(modal, "161") && !Press(modal, "2")) Press(modal, "1");
      return;
    }
    if (!sheet || !sheet->isVisible() || QApplication::overrideCursor() || sheet->currentId() != 5) return;
    if (phase == 0) {
      phase = 1;
      QTimer::singleShot(0, sheet->button(QWizard::FinishButton), &QAbstractButton::click);
    } else if (phase == 1) {
      phase = 2;
      QTimer::singleShot(0, sheet->button(QWizard::CancelButton), &QAbstractButton::click);
    }
  });
  driver.start(50);
  ASSERT_EQ(CreateVcdWithin(wizard.Get(), "the wizard to tell the disc is too small and close"), S_OK);
  driver.stop();
  EXPECT_EQ(phase, 2);
  int tooSmall = 0, generic = 0;
  bool closingAsked = false;
  for (const std::string& t : told) {
    tooSmall += t.find("too small for this photo disc; nothing was written") != std::string::npos;
    generic += t.find("detected a problem and cannot continue") != std::string::npos;
    closingAsked = closingAsked || t.find("close the wizard") != std::string::npos;
  }
  EXPECT_EQ(tooSmall, 1);
  EXPECT_EQ(generic, 0);
  EXPECT_TRUE(closingAsked);
  // Nothing was written: the CD-R is still blank.
  std::string out;
  RunCommand(std::string(VEXA_BUILD_DIR) + "/bin/cdrsim disc " + Quote(m_temp.Path("drive")), &out);
  EXPECT_NE(out.find("media cdr, blank"), std::string::npos) << out;
}

}  // namespace
