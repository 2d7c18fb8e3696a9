// The wizard as its caller reaches it: created by class id through the
// component core, with the fake logger, orchestrator and locale utility
// registered in the test's registry, and its sheet driven with QTest.
#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QTest>
#include <QTimer>
#include <functional>
#include <QWizard>
#include <chrono>
#include <ctime>
#include <fstream>

#include "idl/vexawiz.h"
#include "platform/base/Path.h"
#include "platform/base/Text.h"
#include "platform/registry/Registry.h"
#include "wizard/tests/WizTestSupport.h"
#include "tests/support/UiWaits.h"

using vexa::com::Bstr;
using vexa::com::ComPtr;
using vexa::ui::testing::ReadAll;
using vexa::wiz::testing::WizTest;

namespace {

constexpr char kKey[] = "SOFTWARE\\Tervane\\Kv Orlune Disc\\CurrentVersion";

class WizardObjectTest : public WizTest {
 protected:
  void SetUp() override {
    WizTest::SetUp();
    // Checked today: no update prompt.
    std::time_t now = std::time(nullptr);
    std::tm tm{};
    localtime_r(&now, &tm);
    char date[16];
    std::strftime(date, sizeof date, "%m/%d/%Y", &tm);
    vexa::reg::SetValue(vexa::reg::Hive::CurrentUser, kKey, "DateLastCheckedForUpdate", vexa::reg::Value::String(date));
  }
  void TearDown() override {
    m_wizard.Reset();
    WizTest::TearDown();
  }
  IVEXAWizard1* Make() {
    EXPECT_EQ(CoCreateInstance(CLSID_VEXAWizard1, nullptr, CLSCTX_ALL, IID_IVEXAWizard1, m_wizard.PutVoid()), S_OK);
    return m_wizard.Get();
  }
  VEXAWizErrorCode Code() {
    VEXAWizErrorCode c = VEXAWizSuccess;
    EXPECT_EQ(m_wizard->GetErrorCode(&c), S_OK);
    return c;
  }
  std::string LastError() { return vexa::com::TakeError().Utf8Description(); }
  std::string Ini() { return ReadAll(ConfigDir() + "/orlunedisc.ini"); }
  static Bstr B(const std::string& s) { return Bstr::FromUtf8(s); }

  // Answers each message box that comes up with `answer` and keeps its text.
  void AnswerBoxes(QMessageBox::StandardButton answer) {
    m_boxTimer = std::make_unique<QTimer>();
    QObject::connect(m_boxTimer.get(), &QTimer::timeout, [this, answer] {
      if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
        m_boxes.push_back(box->text().toStdString());
        // Closing the wizard with pictures chosen asks first; a test that
        // closes it means it.
        QAbstractButton* yes = box->button(QMessageBox::Yes);
        if (yes && box->text().contains("close the wizard")) yes->click();
        else if (QAbstractButton* b = box->button(answer)) b->click();
        else box->reject();
      }
    });
    m_boxTimer->start(20);
  }

  // Runs `act` once, as soon as the wizard's sheet is up and modal.
  void WhenSheetIsUp(std::function<void(QWizard*)> act) {
    m_sheetTimer = std::make_unique<QTimer>();
    QObject::connect(m_sheetTimer.get(), &QTimer::timeout, [this, act] {
      auto* sheet = qobject_cast<QWizard*>(QApplication::activeModalWidget());
      if (!sheet || !sheet->isVisible()) return;
      m_sheetTimer->stop();
      act(sheet);
    });
    m_sheetTimer->start(20);
  }

  // The wizard's run, driven by the test's timers, under a watchdog that
  // names what the run waited for.
  static HRESULT CreateVcd(IVEXAWizard1* w, const char* what) {
    const vexa::testsupport::UiWatchdog dog(what);
    return w->CreateVCD();
  }

  ComPtr<IVEXAWizard1> m_wizard;
  std::unique_ptr<QTimer> m_sheetTimer;
  std::unique_ptr<QTimer> m_boxTimer;
  std::vector<std::string> m_boxes;
};

TEST_F(WizardObjectTest, CreationMakesItsHelpersAndFirstRunMusic) {
  ASSERT_TRUE(Make());
  EXPECT_EQ(Fake().localeLanguage.size(), 3u);
  EXPECT_EQ(Code(), VEXAWizSuccess);
  m_wizard.Reset();
  EXPECT_NE(Ini().find("[setupAudio]\r\noptionSelected=preInstalled\r\n"), std::string::npos) << Ini();
}

TEST_F(WizardObjectTest, CreationFailsWithoutALanguageBundle) {
  vexa::reg::SetValue(vexa::reg::Hive::LocalMachine, kKey, "APP_LANG_ABBRV", vexa::reg::Value::String("XYZ"));
  EXPECT_EQ(CoCreateInstance(CLSID_VEXAWizard1, nullptr, CLSCTX_ALL, IID_IVEXAWizard1, m_wizard.PutVoid()), E_FAIL);
  EXPECT_EQ(LastError(), "CVEXAWizard1::FinalConstruct - Cannot load a resource dll.");
  EXPECT_TRUE(Fake().Logged("ERROR|vexawiz|CVEXAWizard1::FinalConstruct - Cannot load a resource dll."));
}

TEST_F(WizardObjectTest, SettersCheckTheirValues) {
  IVEXAWizard1* w = Make();
  struct Case {
    LONG delay;
    HRESULT hr;
    VEXAWizErrorCode code;
  } delays[] = {{2, S_OK, VEXAWizSuccess}, {10, S_OK, VEXAWizSuccess}, {1, E_FAIL, VEXAWizStillDelayTooSmall},
                {11, E_FAIL, VEXAWizStillDelayTooLarge}};
  for (const Case& c : delays) {
    EXPECT_EQ(w->SetStillDelay(c.delay), c.hr) << c.delay;
    EXPECT_EQ(Code(), c.code) << c.delay;
  }
  w->SetStillDelay(1);
  EXPECT_EQ(LastError(), "CVEXAWizard1::SetStillDelay - Delay set below minimum of 2. Delay = 1.");

  EXPECT_EQ(w->SetBurnSpeed(0), E_FAIL);
  EXPECT_EQ(Code(), VEXAWizInvalidBurnSpeed);
  EXPECT_EQ(w->SetBurnSpeed(1), S_OK);

  Bstr empty(u""), two(u"Two");
  EXPECT_EQ(w->SetTitleLines(empty.Get(), nullptr, empty.Get()), E_FAIL);
  EXPECT_EQ(Code(), VEXAWizNoTitleLines);
  EXPECT_EQ(LastError(), "CVEXAWizard1::SetTitleLines - All blank title lines.");
  EXPECT_EQ(w->SetTitleLines(empty.Get(), two.Get(), empty.Get()), S_OK);

  Bstr shortDir(u"ab"), dir = B(m_temp.Path("work"));
  EXPECT_EQ(w->Init(shortDir.Get(), VARIANT_TRUE), S_OK);
  EXPECT_EQ(w->SetDefaultTitle(), S_OK);
  EXPECT_EQ(w->SetStartScreen(static_cast<VEXAWizStartScreen>(9)), S_OK);
  EXPECT_EQ(w->SetFileSystemSupport(VEXAWizFSISO9660), S_OK);
  m_wizard.Reset();
  EXPECT_NE(Ini().find("[settings]\r\nselectedBurnSpeed=1\r\n"), std::string::npos) << Ini();
}

TEST_F(WizardObjectTest, PicturesAreCheckedByExtensionAndExistence) {
  IVEXAWizard1* w = Make();
  const std::string upper = Photo("x.JPG");
  const std::string other = FileOfSize("x.xyz", 10);
  Bstr empty(u"");
  EXPECT_EQ(w->AddStill(B(upper).Get(), empty.Get(), 0.0, VEXAWizResizePicture, 0, VARIANT_FALSE), S_OK);
  EXPECT_EQ(w->AddStill(B(other).Get(), empty.Get(), 0.0, VEXAWizResizePicture, 0, VARIANT_FALSE), E_FAIL);
  EXPECT_EQ(Code(), VEXAWizBadImageFile);
  EXPECT_EQ(LastError(), "CVEXAWizard1::AddStill() - Bad Image file " + other + ".");
  EXPECT_TRUE(Fake().Logged("CVEXAWizard1::CheckImageFile - Bad extension = *.xyz for file " + other + "."));
  EXPECT_EQ(w->AddStill(empty.Get(), empty.Get(), 0.0, VEXAWizResizePicture, 0, VARIANT_FALSE), E_FAIL);
  EXPECT_EQ(LastError(), "CVEXAWizard1::AddStill() - Empty still parameter.");
}

TEST_F(WizardObjectTest, ImageListFiles) {
  IVEXAWizard1* w = Make();
  const std::string a = Photo("a.jpg"), b = Photo("b.jpg");
  auto units = [](const std::string& s) {
    std::string out;
    for (char16_t c : vexa::base::Utf8ToUtf16(s)) {
      out += static_cast<char>(c & 0xFF);
      out += static_cast<char>(c >> 8);
    }
    return out;
  };
  const std::string zero("\0\0", 2);
  // a, a terminator, then b without one: only a.
  const std::string list = m_temp.Path("list.txt");
  vexa::base::WriteFileAtomic(list, "\xFF\xFE" + units(a) + zero + zero + units(b));
  EXPECT_EQ(w->AddImageListFile(B(list).Get()), S_OK);
  EXPECT_TRUE(Fake().Logged("CVEXAWizard1::AddImageListFile - Empty file path found."));

  const std::string tiny = m_temp.Path("tiny.txt");
  vexa::base::WriteFileAtomic(tiny, "x");
  EXPECT_EQ(w->AddImageListFile(B(tiny).Get()), E_FAIL);
  EXPECT_EQ(Code(), VEXAWizInvalidInputFile);
  EXPECT_EQ(w->AddImageListFile(B(m_temp.Path("none.txt")).Get()), E_FAIL);
  EXPECT_EQ(LastError(), "CVEXAWizard1::AddImageListFile - Invalid image file passed: " + m_temp.Path("none.txt"));

  // Two directories add to each other; the list's a is kept too.
  Photo("d1/c.jpg");
  Photo("d2/d.png");
  vexa::base::MakeDirs(m_temp.Path("d2/sub"));
  EXPECT_EQ(w->AddImageDirectory(B(m_temp.Path("d1")).Get()), S_OK);
  EXPECT_EQ(w->AddImageDirectory(B(m_temp.Path("d2")).Get()), S_OK);
  EXPECT_EQ(w->AddImageDirectory(B(m_temp.Path("nowhere")).Get()), E_FAIL);
  EXPECT_EQ(Code(), VEXAWizInvalidInputFile);
  EXPECT_EQ(w->AddAlbumFile(B(m_temp.Path("whatever.xml")).Get(), static_cast<VEXAWizAlbumFormat>(5)), S_OK);

  // The session written at the end of CreateVCD holds a, c and d in order.
  Fake().drivePresent = true;
  AnswerBoxes(QMessageBox::Ok);
  // Closed as soon as it is up (a single shot could come before the sheet).
  QTimer closer;
  QObject::connect(&closer, &QTimer::timeout, [&closer] {
    auto* sheet = qobject_cast<QWizard*>(QApplication::activeModalWidget());
    if (!sheet || !sheet->isVisible()) return;
    closer.stop();
    sheet->reject();
  });
  closer.start(20);
  EXPECT_EQ(CreateVcd(w, "the sheet to be closed as soon as it is up"), S_OK);
  const std::string session = ReadAll(ConfigDir() + "/lastAlbum.xml");
  const auto pa = session.find(a), pc = session.find("d1/c.jpg"), pd = session.find("d2/d.png");
  ASSERT_NE(pa, std::string::npos) << session;
  ASSERT_NE(pc, std::string::npos);
  ASSERT_NE(pd, std::string::npos);
  EXPECT_LT(pa, pc);
  EXPECT_LT(pc, pd);
  EXPECT_EQ(session.find(b), std::string::npos);
}

TEST_F(WizardObjectTest, MusicChoicesAreRecorded) {
  IVEXAWizard1* w = Make();
  Bstr empty(u"");
  EXPECT_EQ(w->AddAudioTrack(empty.Get(), 0.0), S_OK);
  m_wizard.Reset();
  EXPECT_NE(Ini().find("optionSelected=noAudio"), std::string::npos) << Ini();
  w = Make();
  const std::string track = FileOfSize("Track01.cda", 44);
  EXPECT_EQ(w->AddAudioTrack(B(track).Get(), 0.0), S_OK);
  m_wizard.Reset();
  EXPECT_NE(Ini().find("optionSelected=fromAudioCD"), std::string::npos) << Ini();

  // A file of another kind: the user is asked; Cancel fails the call.
  w = Make();
  AnswerBoxes(QMessageBox::Cancel);
  EXPECT_EQ(w->AddAudioTrack(B(FileOfSize("notes.txt", 4)).Get(), 0.0), E_FAIL);
  EXPECT_EQ(Code(), VEXAWizFailure);
  ASSERT_EQ(m_boxes.size(), 1u);
  EXPECT_NE(m_boxes[0].find("could not process your audio file"), std::string::npos);
}

TEST_F(WizardObjectTest, FinishHandsTheAlbumToTheOrchestrator) {
  IVEXAWizard1* w = Make();
  const std::string a = Photo("a.jpg");
  Bstr title(u"Day one"), empty(u"");
  ASSERT_EQ(w->AddStill(B(a).Get(), title.Get(), 0.0, VEXAWizCropPicture, 90, VARIANT_FALSE), S_OK);
  ASSERT_EQ(w->SetBurnSpeed(8), S_OK);
  ASSERT_EQ(w->SetTVSystem(VEXAWizTVSECAM), S_OK);
  ASSERT_EQ(w->SetFileSystemSupport(VEXAWizFSJOLIET), S_OK);
  ASSERT_EQ(w->SetStartScreen(VEXAWizSetupSettings), S_OK);

  std::string caption;
  bool drove = false;
  WhenSheetIsUp([&](QWizard* sheet) {
    caption = sheet->windowTitle().toStdString();
    EXPECT_EQ(sheet->currentId(), 4);
    QTest::mouseClick(sheet->button(QWizard::NextButton), Qt::LeftButton);
    EXPECT_EQ(sheet->currentId(), 5);
    EXPECT_EQ(sheet->button(QWizard::FinishButton)->text().toStdString(), "Make Disc");
    drove = true;
    QTest::mouseClick(sheet->button(QWizard::FinishButton), Qt::LeftButton);
  });
  EXPECT_EQ(CreateVcd(w, "the sheet to make the disc and close"), S_OK);
  EXPECT_TRUE(drove);
  EXPECT_EQ(caption, "Kv Orlune Disc Creator Software");
  ASSERT_EQ(Fake().Calls("CreateVCD").size(), 1u);
  ASSERT_EQ(Fake().Calls("AddStill").size(), 1u);
  EXPECT_EQ(Fake().Calls("AddStill")[0].args, (std::vector<std::string>{a, a, "Day one", "0", "1", "90", "0"}));
  EXPECT_EQ(Fake().Calls("SetTVSystem")[0].args[0], "2");
  EXPECT_EQ(Fake().Calls("SetFileSystemSupport")[0].args[0], "64");
  EXPECT_EQ(Fake().Calls("SetBurnSpeed")[0].args[0], "8");
  EXPECT_EQ(Code(), VEXAWizSuccess);

  // A cancellation inside the orchestrator shows only in the error code.
  Fake().calls.clear();
  Fake().createVcdResult = E_FAIL;
  Fake().createVcdErrorCode = VEXACoreCancelled;
  AnswerBoxes(QMessageBox::Ok);
  WhenSheetIsUp([&](QWizard* sheet) {
    QTest::mouseClick(sheet->button(QWizard::NextButton), Qt::LeftButton);
    QTest::mouseClick(sheet->button(QWizard::FinishButton), Qt::LeftButton);
    // A failed burn leaves the sheet open on the last page.
    QTimer::singleShot(50, sheet, [sheet] { sheet->reject(); });
  });
  EXPECT_EQ(CreateVcd(w, "the cancelled burn to come back and the sheet to be closed"), S_OK);
  EXPECT_EQ(Code(), VEXAWizCancelled);
  // With the picture chosen, closing asked first.
  ASSERT_FALSE(m_boxes.empty());
  EXPECT_NE(m_boxes.back().find("close the wizard"), std::string::npos) << m_boxes.back();
}

}  // namespace
