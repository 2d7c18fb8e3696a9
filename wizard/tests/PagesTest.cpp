// The six pages and the add-images dialog with QTest on the offscreen
// platform, against the scripted orchestrator, the real album model, the
// real still-image utilities and the real thumbnail control: navigation and
// enabling, and what lands in the session album and the settings file.
#include <QAbstractButton>
#include <QAccessible>
#include <unistd.h>
#include <QApplication>
#include <QFileDialog>
#include <QScreen>
#include <QScrollBar>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QAbstractScrollArea>
#include <algorithm>
#include <iostream>
#include <map>
#include <optional>
#include <QToolBar>
#include <QScreen>
#include <QScrollBar>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QAction>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QRadioButton>
#include <QTest>
#include <set>
#include <QTimer>
#include <QToolButton>
#include <QWindow>

#include "platform/base/Path.h"
#include "platform/imaging/BitmapHandle.h"
#include "platform/registry/Registry.h"
#include "tests/support/UiWaits.h"
#include "wizard/common/Language.h"
#include "wizard/common/WizUtil.h"
#include "wizard/dialogs/AboutDlg.h"
#include "wizard/dialogs/AddImagesDlg.h"
#include "wizard/dialogs/FolderView.h"
#include "wizard/dialogs/MessageBox.h"
#include "wizard/dialogs/PreviewDlg.h"
#include "wizard/pages/PageCommon.h"
#include "wizard/pages/PropSheet.h"
#include "wizard/session/ODVisual.h"
#include "wizard/session/SettingsFile.h"
#include "wizard/session/WizXML.h"
#include "uicommon/tests/FilePickerProbe.h"
#include "wizard/tests/WizUnitTest.h"
#include "wizard/ui/Accelerators.h"
#include "wizard/ui/Launcher.h"
#include "wizard/ui/Meter.h"
#include "wizard/ui/ThumbHost.h"
#include "wizard/ui/UiHelpers.h"

using namespace vexa::wiz;
using vexa::testsupport::kWaitBoundMs;
using vexa::wiz::testing::WizUnitTest;

namespace {

class PagesTest : public WizUnitTest {
 protected:
  void SetUp() override {
    WizUnitTest::SetUp();
    WizServices& m = Wiz();
    ASSERT_EQ(CoCreateInstance(CLSID_VexaLogger, nullptr, CLSCTX_ALL, IID_IVexaLogger, m.logger.PutVoid()), S_OK);
    ASSERT_EQ(CoCreateInstance(CLSID_VEXALocUtil, nullptr, CLSCTX_ALL, IID_IVEXALocUtil, m.locUtil.PutVoid()), S_OK);
    ASSERT_EQ(CoCreateInstance(CLSID_VEXAImgUtil, nullptr, CLSCTX_ALL, IID_IVEXAImgUtil, m.imgUtil.PutVoid()), S_OK);
    m.language = std::make_unique<CvexaLanguage>();
    ASSERT_TRUE(m.language->Load("ENU"));
    m.sessionAlbum = std::make_unique<CVexaWizXML>(Wiz());
    ASSERT_TRUE(m.sessionAlbum->Init(m_temp.Path("lastAlbum.xml"), true));
    m.settings = std::make_unique<CvexaSettingsAccess>();
    ASSERT_TRUE(m.settings->Open(m_temp.Path("orlunedisc.ini")));
    SetProductDword("DEFAULT_BURNSPEED", 4);
    m.burner = std::make_unique<CVexaODVisual>(Wiz());
    ASSERT_TRUE(m.burner->Init());
    SetMessageBoxHook([this](int type, const std::string&, const std::string& text) {
      m_boxes.push_back(text);
      return type == MB_YESNO ? m_yesNo : IDOK;
    });
    SetLauncher([this](const std::string& verb, const std::string& target) {
      m_launched.push_back(verb + " " + target);
      return m_launchWorks;
    });
    vexa::base::MakeDirs(CacheDir() + "/vexacache");
  }
  void TearDown() override {
    m_sheet.reset();
    SetMessageBoxHook({});
    SetLauncher({});
    WizUnitTest::TearDown();
  }

  // With art: the watermark and header pictures of the language bundle, as
  // the wizard object builds the sheet.
  CvexaPropSheet* Sheet(int start, bool art = false) {
    const QPixmap watermark = art ? Wiz().language->Bitmap(192) : QPixmap();
    const QPixmap header = art ? Wiz().language->Bitmap(193) : QPixmap();
    m_sheet = std::make_unique<CvexaPropSheet>(Wiz(), "Wizard", nullptr, start, watermark, header);
    m_sheet->SetCacheDirectory(CacheDir() + "/vexacache");
    m_sheet->show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(m_sheet.get()));
    QApplication::processEvents();
    return m_sheet.get();
  }
  template <typename T>
  T* Find(int id) {
    return m_sheet->currentPage()->findChild<T*>(QString("ctl_%1").arg(id));
  }
  CvexaDiscUsageDlg* PageMeter() { return m_sheet->currentPage()->findChild<CvexaDiscUsageDlg*>(); }
  StillList Stills() {
    StillList list;
    EXPECT_TRUE(Wiz().sessionAlbum->GetAllStills(&list));
    return list;
  }
  std::string Setting(const char* section, const char* key) { return Wiz().settings->ReadString(section, key); }

  std::unique_ptr<CvexaPropSheet> m_sheet;
  std::vector<std::string> m_boxes, m_launched;
  int m_yesNo = IDYES;
  bool m_launchWorks = true;
};

// ---- Meter -------------------------------------------------------------------------------------------------------

TEST_F(PagesTest, TheMeterClampsAndWarnsOncePerCrossing) {
  CvexaDiscUsageDlg meter(Wiz());
  struct Case {
    int percent;
    bool warn;
    bool fits;
    int shown;
    std::size_t boxes;
  } cases[] = {{100, true, true, 100, 0}, {101, true, false, 101, 1}, {1500, false, false, 999, 1}, {-4, true, true, 0, 1}};
  for (const Case& c : cases) {
    EXPECT_EQ(meter.Update(c.percent, c.warn), c.fits) << c.percent;
    EXPECT_EQ(meter.GetPercent(), c.shown);
    EXPECT_EQ(meter.findChild<QLabel*>("ctl_1101")->text().toStdString(), std::to_string(c.shown) + "% full");
    EXPECT_EQ(meter.findChild<QProgressBar*>("ctl_1167")->isHidden(), !c.fits);
    EXPECT_EQ(m_boxes.size(), c.boxes);
  }
  // The warning names the capacity the estimate uses.
  EXPECT_NE(m_boxes[0].find("using a 650 MB disc"), std::string::npos) << m_boxes[0];

  // The shared flag: warn on the crossing, not while it stays too large.
  Wiz().overCapacityWarn = true;
  m_boxes.clear();
  for (int p : {50, 120, 130, 90, 110}) Wiz().overCapacityWarn = meter.Update(p, Wiz().overCapacityWarn);
  EXPECT_EQ(m_boxes.size(), 2u);

  CvexaAlbumPaneDlg pane(Wiz());
  pane.SetImageCount(7);
  EXPECT_EQ(pane.Heading()->text().toStdString(), "Images: 7");
}

// ---- Welcome and navigation ----------------------------------------------------------------------------------------

TEST_F(PagesTest, TheAboutButtonShowsOnlyOnTheWelcomePage) {
  CvexaPropSheet* sheet = Sheet(kPageWelcome);
  EXPECT_TRUE(sheet->button(QWizard::CustomButton1)->isVisible());
  EXPECT_FALSE(sheet->button(QWizard::BackButton)->isEnabled());
  sheet->next();
  EXPECT_EQ(sheet->currentId(), kPageSelectPictures);
  EXPECT_FALSE(sheet->button(QWizard::CustomButton1)->isVisible());
  sheet->back();
  EXPECT_TRUE(sheet->button(QWizard::CustomButton1)->isVisible());
}

// The sheet has one size on every page, and the size the user gave it
// comes back on the next run.
TEST_F(PagesTest, OneSheetSizeOnEveryPageRememberedBetweenRuns) {
  ASSERT_TRUE(Wiz().sessionAlbum->AddStill(Photo("size/a.jpg", 320, 240), 0, 0.0, "", 0, VARIANT_FALSE));
  CvexaPropSheet* sheet = Sheet(kPageWelcome);
  const QSize first = sheet->size();
  for (int id = kPageSelectPictures; id <= kPageFinish; ++id) {
    sheet->next();
    QApplication::processEvents();
    ASSERT_EQ(sheet->currentId(), id);
    EXPECT_EQ(sheet->size(), first) << "page " << id;
  }
  // Back page by page; a Back that moves nowhere ends the walk.
  for (int left = kPageFinish - kPageWelcome; sheet->currentId() != kPageWelcome && left > 0; --left) {
    sheet->back();
    QApplication::processEvents();
    EXPECT_EQ(sheet->size(), first) << "page " << sheet->currentId();
  }
  ASSERT_EQ(sheet->currentId(), kPageWelcome);
  // Made larger by the user, then closed: the next sheet opens so.
  const QSize larger = first + QSize(140, 90);
  sheet->resize(larger);
  QApplication::processEvents();
  sheet->reject();
  EXPECT_EQ(Setting("wizard", "windowSize"), Format("%d,%d", larger.width(), larger.height()));
  CvexaPropSheet* again = Sheet(kPageMusic);
  EXPECT_EQ(again->size(), larger);
  // A size beyond the screen is cut to it; one below what the pages need is
  // raised to that.
  Wiz().settings->WriteString("wizard", "windowSize", "90000,70000");
  again = Sheet(kPageWelcome);
  const QRect available = again->screen()->availableGeometry();
  EXPECT_LE(again->width(), available.width());
  // The whole sheet is on the screen, its button row too.
  EXPECT_TRUE(available.contains(again->frameGeometry()));
  for (auto which : {QWizard::NextButton, QWizard::CancelButton}) {
    const QAbstractButton* b = again->button(which);
    EXPECT_TRUE(available.contains(QRect(b->mapToGlobal(QPoint(0, 0)), b->size()))) << which;
  }
  Wiz().settings->WriteString("wizard", "windowSize", "10,10");
  again = Sheet(kPageWelcome);
  EXPECT_GE(again->width(), again->minimumSizeHint().width());
  EXPECT_GE(again->height(), again->minimumSizeHint().height());
}

// ---- Select pictures ------------------------------------------------------------------------------------------------

TEST_F(PagesTest, SelectPictures) {
  const std::string a = Photo("p/a.jpg"), b = Photo("p/b.jpg");
  ASSERT_TRUE(Wiz().sessionAlbum->AddStill(a, 0, 40000.0, "Alpha", VEXAWizCropPicture, VARIANT_FALSE));
  ASSERT_TRUE(Wiz().sessionAlbum->AddStill(b, 90, 0.0, "", VEXAWizResizePicture, VARIANT_FALSE));
  CvexaPropSheet* sheet = Sheet(kPageSelectPictures);
  auto* thumbs = Find<CVEXAThum>(1113);
  ASSERT_TRUE(thumbs && thumbs->IsCreated());
  EXPECT_EQ(thumbs->GetThumbCount(), 2);
  EXPECT_TRUE(sheet->button(QWizard::NextButton)->isEnabled());
  // The album pane shows captions from the start, and turns, zooms and removes.
  EXPECT_TRUE(thumbs->GetShowCaptions());
  EXPECT_TRUE(Find<QToolButton>(112)->isChecked());

  // Undo right after opening changes nothing.
  Find<QToolButton>(113)->click();
  EXPECT_EQ(thumbs->GetThumbCount(), 2);

  // Turning the selection reaches the album; titles and sizing stay.
  ASSERT_TRUE(QTest::qWaitFor([&] { return thumbs->SelectAll(); }, kWaitBoundMs));
  const vexa::com::Variant selection = thumbs->GetSelection();
  ASSERT_TRUE(thumbs->RotateThumbs(selection, 90));
  StillList list = Stills();
  ASSERT_EQ(list.size(), 2u);
  EXPECT_EQ(list[0]->Rotation(), 90);
  EXPECT_EQ(list[1]->Rotation(), 180);
  EXPECT_EQ(list[0]->Title(), "Alpha");
  EXPECT_EQ(list[0]->Sizing(), VEXAWizCropPicture);
  EXPECT_DOUBLE_EQ(list[0]->CreationTime(), 40000.0);

  // Remove all: No keeps everything, Yes empties and disables Next, Undo restores.
  m_yesNo = IDNO;
  QMenu* remove = Find<QToolButton>(111)->menu();
  remove->findChild<QAction*>("cmd_32798")->trigger();
  EXPECT_EQ(thumbs->GetThumbCount(), 2);
  m_yesNo = IDYES;
  remove->findChild<QAction*>("cmd_32798")->trigger();
  EXPECT_EQ(thumbs->GetThumbCount(), 0);
  EXPECT_TRUE(Stills().empty());
  EXPECT_FALSE(sheet->button(QWizard::NextButton)->isEnabled());
  Find<QToolButton>(113)->click();
  EXPECT_EQ(thumbs->GetThumbCount(), 2);
  EXPECT_TRUE(sheet->button(QWizard::NextButton)->isEnabled());
  list = Stills();
  ASSERT_EQ(list.size(), 2u);
  EXPECT_EQ(list[0]->Title(), "Alpha");  // records survive the round trip

  // Sorting after flipping the direction uses the reverse order.
  QMenu* sort = Find<QToolButton>(110)->menu();
  sort->findChild<QAction*>("cmd_32813")->trigger();
  sort->findChild<QAction*>("cmd_32793")->trigger();
  list = Stills();
  EXPECT_EQ(vexa::base::BaseName(list[0]->Path()), "b.jpg");

  // Leaving with Next saves the album and empties the control.
  sheet->next();
  EXPECT_EQ(thumbs->GetThumbCount(), 0);
  EXPECT_EQ(Stills().size(), 2u);
}

// ---- Titles ---------------------------------------------------------------------------------------------------------

TEST_F(PagesTest, TitlesPreviewIsTheTitleStillAndLongLinesAreRefused) {
  CvexaPropSheet* sheet = Sheet(kPageTitles);
  QLineEdit* line1 = Find<QLineEdit>(1022);
  ASSERT_TRUE(line1);
  QTest::keyClicks(line1, "Summer 2002");
  EXPECT_EQ(Setting("setupTitles", "title1"), "Summer 2002");
  std::string l1, l2, l3;
  ASSERT_TRUE(Wiz().sessionAlbum->GetTitleLines(&l1, &l2, &l3));
  EXPECT_EQ(l1, "Summer 2002");

  // The preview is the title still the imaging layer draws for the same lines.
  auto* preview = Find<CvexaBitmapStatic>(1119);
  ASSERT_FALSE(preview->Bitmap().isNull());
  VARIANT_BOOL c1 = 0, c2 = 0, c3 = 0;
  HBITMAP handle = nullptr;
  ASSERT_EQ(Wiz().imgUtil->Create3LineTitleStillInMemory(
                vexa::com::Bstr(u"Summer 2002").Get(), vexa::com::Bstr(u"").Get(), vexa::com::Bstr(u"").Get(),
                vexa::com::Bstr(u"Liberation Sans").Get(), 0, 22, 18, VARIANT_TRUE, &c1, &c2, &c3, &handle),
            S_OK);
  const vexa::imaging::Bitmap* expected = vexa::imaging::BitmapFromHandle(handle);
  ASSERT_TRUE(expected);
  const QImage shown = preview->Bitmap().toImage();
  ASSERT_EQ(shown.width(), expected->width());
  ASSERT_EQ(shown.height(), expected->height());
  int differing = 0;
  for (int y = 0; y < expected->height(); y += 3)
    for (int x = 0; x < expected->width(); x += 3) {
      std::uint8_t r, g, b;
      expected->GetRgb(x, y, &r, &g, &b);
      differing += shown.pixel(x, y) != qRgb(r, g, b);
    }
  EXPECT_EQ(differing, 0);
  DeleteObject(handle);

  // A line too long for the picture gets its last fitting text back, and
  // the user is told so and sees the line marked on the preview.
  auto* warning = sheet->currentPage()->findChild<QLabel*>("titleWarning");
  ASSERT_TRUE(warning);
  EXPECT_TRUE(warning->isHidden());
  auto redPixels = [&] {
    const QImage img = preview->Bitmap().toImage();
    int red = 0;
    for (int y = 0; y < img.height(); ++y)
      for (int x = 0; x < img.width(); ++x) {
        const QColor c = img.pixelColor(x, y);
        red += c.red() > 100 && c.green() < 60 && c.blue() < 60;
      }
    return red;
  };
  EXPECT_EQ(redPixels(), 0);
  const std::string longLine(200, 'W');
  line1->setText(QString::fromStdString(longLine));
  EXPECT_EQ(line1->text().toStdString(), "Summer 2002");
  EXPECT_FALSE(warning->isHidden());
  EXPECT_NE(warning->text().toStdString().find("Title line 1 is too long"), std::string::npos)
      << warning->text().toStdString();
  EXPECT_GT(redPixels(), 100);
  // Typed letter by letter, the line stops where it stops fitting, and says so.
  QLineEdit* line2 = Find<QLineEdit>(1023);
  QTest::keyClicks(line2, "A very long second line of the title that goes on");
  EXPECT_LT(line2->text().size(), 49);
  EXPECT_NE(warning->text().toStdString().find("Title line 2"), std::string::npos) << warning->text().toStdString();
  // The disc is not made with a cut line: Next waits until each cut line
  // was changed, and the warning stays while any line is cut, whichever line
  // is edited.
  QAbstractButton* next = sheet->button(QWizard::NextButton);
  EXPECT_FALSE(next->isEnabled());
  QTest::keyClick(line2, Qt::Key_Backspace);
  EXPECT_FALSE(warning->isHidden());
  EXPECT_NE(warning->text().toStdString().find("Title line 1"), std::string::npos) << warning->text().toStdString();
  EXPECT_GT(redPixels(), 100);
  EXPECT_FALSE(next->isEnabled());
  QTest::keyClick(Find<QLineEdit>(1024), Qt::Key_A);
  EXPECT_FALSE(warning->isHidden());
  // A change of the cut line itself takes the mark and the words away.
  QTest::keyClick(line1, Qt::Key_Backspace);
  EXPECT_TRUE(warning->isHidden());
  EXPECT_EQ(redPixels(), 0);
  EXPECT_TRUE(next->isEnabled());

  // The preview grows with the page, as a 4:3 picture.
  const QRect small = preview->BitmapRect();
  sheet->resize(1400, 900);
  QApplication::processEvents();
  const QRect large = preview->BitmapRect();
  EXPECT_GT(large.width(), small.width() + 200);
  EXPECT_NEAR(large.width() * 3.0 / 4.0, large.height(), 2.0);
  EXPECT_GT(large.width(), 2 * line1->width() / 3);
}

// A letter refused because the line is full refuses every letter typed after
// it there, however narrow: the line stays the beginning of what was typed,
// never a misspelling of it, and it stays cut until the user changes it.
TEST_F(PagesTest, ATitleLineStaysTheBeginningOfWhatWasTyped) {
  CvexaPropSheet* sheet = Sheet(kPageTitles);
  QAbstractButton* next = sheet->button(QWizard::NextButton);
  // Wide letters until one is refused, then narrow ones that would fit in
  // what is left; the leading letters move where the wide ones end.
  const struct {
    int id;
    std::string typed;
  } cases[] = {
      {1022, std::string(60, 'W') + std::string(30, '.')},
      {1022, "i" + std::string(60, 'W') + std::string(30, '.')},
      {1023, std::string(60, 'W') + std::string(30, '.')},
      {1023, "i" + std::string(60, 'W') + std::string(30, '.')},
      {1024, "Our wonderful summer holiday at the seaside with the whole family, and the dog"},
  };
  auto album = [&](int id) {
    std::string l[3];
    EXPECT_TRUE(Wiz().sessionAlbum->GetTitleLines(&l[0], &l[1], &l[2]));
    return l[id - 1022];
  };
  for (const auto& c : cases) {
    QLineEdit* line = Find<QLineEdit>(c.id);
    ASSERT_TRUE(line);
    line->selectAll();
    QTest::keyClick(line, Qt::Key_Delete);
    ASSERT_TRUE(line->text().isEmpty());
    QTest::keyClicks(line, QString::fromStdString(c.typed));
    const std::string kept = line->text().toStdString();
    EXPECT_LT(kept.size(), c.typed.size()) << c.typed;
    EXPECT_EQ(c.typed.compare(0, kept.size(), kept), 0) << "typed \"" << c.typed << "\", kept \"" << kept << "\"";
    EXPECT_EQ(album(c.id), kept);
    EXPECT_FALSE(next->isEnabled()) << c.typed;
    // More letters where it was cut change nothing, and it stays cut.
    QTest::keyClicks(line, ".i");
    EXPECT_EQ(line->text().toStdString(), kept);
    EXPECT_EQ(album(c.id), kept);
    EXPECT_FALSE(next->isEnabled()) << c.typed;
  }
  // Taking letters away is the user's change: the lines are no longer cut.
  for (int id : {1022, 1023, 1024}) {
    QLineEdit* line = Find<QLineEdit>(id);
    const std::string before = line->text().toStdString();
    QTest::keyClick(line, Qt::Key_Backspace);
    EXPECT_EQ(line->text().toStdString(), before.substr(0, before.size() - 1));
  }
  EXPECT_TRUE(next->isEnabled());
}

// ---- Music ----------------------------------------------------------------------------------------------------------

TEST_F(PagesTest, MusicChoicesLandInTheAlbumWhenMade) {
  const std::string audio = m_temp.Path("audio/");
  FileOfSize("audio/Beach.mp3", 1000);
  FileOfSize("audio/Forest.wav", 1000);
  SetProductString("APP_PATH_AUDIO", audio);
  Wiz().settings->WriteString("setupAudio", "preInstalledAudioFileTitle", "fore");
  CvexaPropSheet* sheet = Sheet(kPageMusic);
  auto* list = Find<QComboBox>(1031);
  ASSERT_EQ(list->count(), 2);
  EXPECT_EQ(list->currentText().toStdString(), "Forest");
  std::string path;
  DATE date = 0;
  bool present = false;
  ASSERT_TRUE(Wiz().sessionAlbum->GetFirstAudioTrack(&path, &date, &present));
  EXPECT_EQ(vexa::base::BaseName(path), "Forest.wav");

  list->setCurrentIndex(0);
  ASSERT_TRUE(Wiz().sessionAlbum->GetFirstAudioTrack(&path, &date, &present));
  EXPECT_EQ(vexa::base::BaseName(path), "Beach.mp3");
  EXPECT_EQ(Setting("setupAudio", "preInstalledAudioFileTitle"), "Beach");
  EXPECT_EQ(Setting("setupAudio", "optionSelected"), "preInstalled");

  // Painting changes nothing.
  Wiz().sessionAlbum->AddAudioTrack("/elsewhere.mp3", -1);
  sheet->repaint();
  QApplication::processEvents();
  ASSERT_TRUE(Wiz().sessionAlbum->GetFirstAudioTrack(&path, &date, &present));
  EXPECT_EQ(path, "/elsewhere.mp3");

  Find<QRadioButton>(1087)->click();
  ASSERT_TRUE(Wiz().sessionAlbum->GetFirstAudioTrack(&path, &date, &present));
  EXPECT_EQ(path, "");
  EXPECT_EQ(Setting("setupAudio", "optionSelected"), "noAudio");
  EXPECT_FALSE(Find<QAbstractButton>(1088)->isEnabled());

  // My own file with nothing chosen: Play and Next are off.
  Find<QRadioButton>(1030)->click();
  EXPECT_FALSE(Find<QAbstractButton>(1088)->isEnabled());
  EXPECT_FALSE(sheet->button(QWizard::NextButton)->isEnabled());

  // Play hands the file to the desktop.
  Find<QRadioButton>(1029)->click();
  Find<QAbstractButton>(1088)->click();
  ASSERT_EQ(m_launched.size(), 1u);
  EXPECT_EQ(m_launched[0], "play " + audio + "Beach.mp3");
  EXPECT_TRUE(m_boxes.empty());
  // A desktop without a player: "play", then "open", then the user is told.
  m_launchWorks = false;
  Find<QAbstractButton>(1088)->click();
  ASSERT_EQ(m_launched.size(), 3u);
  EXPECT_EQ(m_launched[2], "open " + audio + "Beach.mp3");
  ASSERT_EQ(m_boxes.size(), 1u);
  EXPECT_NE(m_boxes[0].find("cannot play the music file"), std::string::npos) << m_boxes[0];
}

// The music file dialog offers every kind of music the disc takes, WMA too,
// under the product's caption.
TEST_F(PagesTest, TheMusicFileDialogShowsWma) {
  Sheet(kPageMusic);
  QStringList filters;
  QString title;
  QTimer::singleShot(0, [&] {
    auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
    ASSERT_TRUE(dialog);
    filters = dialog->nameFilters();
    title = dialog->windowTitle();
    dialog->reject();
  });
  Find<QAbstractButton>(1033)->click();
  ASSERT_EQ(filters.size(), 1);
  EXPECT_TRUE(filters[0].contains("*.wma")) << filters[0].toStdString();
  EXPECT_TRUE(filters[0].contains("*.mp3")) << filters[0].toStdString();
  EXPECT_TRUE(filters[0].contains("*.wav")) << filters[0].toStdString();
  EXPECT_EQ(title.toStdString(), "Kv Orlune Disc Creator Software");
}

// Browse only picks a file: Delete, rename and new folder change nothing in
// the folder it shows, and it opens none of the files it lists (in /proc,
// reading kmsg to learn its type never ends).
TEST_F(PagesTest, TheMusicFileDialogChangesNothingAndOpensNothing) {
  Sheet(kPageMusic);
  const std::string folder = m_temp.Path("music");
  vexa::base::MakeDirs(folder);
  vexa::ui::testing::FilePickerProbe probe(folder);
  bool seen = false;
  QTimer::singleShot(0, [&] {
    auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
    seen = dialog != nullptr;
    probe.Exercise(dialog);
    if (dialog) dialog->reject();
  });
  Find<QAbstractButton>(1033)->click();
  EXPECT_TRUE(seen) << "Browse showed no file dialog";
  for (const std::string& fault : probe.Faults()) ADD_FAILURE() << fault;
}

TEST_F(PagesTest, AnAudioCDTrackIsPickedFromTheDrivesTracks) {
  Fake().trackSize = 1000;
  Fake().drivePath = m_temp.dir();  // a drive path that exists
  const std::string track = m_temp.dir() + "/Track01.cda";
  ASSERT_TRUE(Wiz().sessionAlbum->AddAudioTrack(track, 0));
  Sheet(kPageMusic);
  EXPECT_TRUE(Find<QRadioButton>(1125)->isChecked());
  EXPECT_EQ(Find<QLineEdit>(1035)->text().toStdString(), track);
  EXPECT_TRUE(AudioSourceExists(track));
  EXPECT_FALSE(AudioSourceExists("/no/such/drive/Track01.cda"));
}

// ---- Settings -------------------------------------------------------------------------------------------------------

TEST_F(PagesTest, SettingsDelaysTVSystemsAndSpeeds) {
  struct Case {
    LONG delay;
    const char* shown;
  } delays[] = {{7, "7"}, {15, "5"}, {1, "5"}, {10, "10"}, {2, "2"}};
  for (const Case& c : delays) {
    ASSERT_TRUE(Wiz().sessionAlbum->SetStillDelay(c.delay));
    Sheet(kPageSettings);
    EXPECT_EQ(Find<QComboBox>(1053)->currentText().toStdString(), c.shown) << c.delay;
  }
  // The album's TV system wins over the locale's; SECAM shows PAL, FILM NTSC.
  Fake().tvSystem = 2;
  for (auto [album, pal] : {std::pair{VEXAXMLTVNTSC, false}, std::pair{VEXAXMLTVSECAM, true},
                            std::pair{VEXAXMLTVFILM, false}, std::pair{VEXAXMLTVPAL, true}}) {
    Wiz().sessionAlbum->Album()->put_tvSystem(album);
    Sheet(kPageSettings);
    EXPECT_EQ(Find<QRadioButton>(1059)->isChecked(), pal) << album;
    EXPECT_EQ(IsNTSC(Wiz()), !pal) << album;
  }

  // Speeds as the writer reports them; a stored 12 maps to 8.
  Wiz().settings->WriteNumber("settings", "selectedBurnSpeed", 12);
  CvexaPropSheet* sheet = Sheet(kPageSettings);
  auto* speeds = Find<QComboBox>(1057);
  ASSERT_EQ(speeds->count(), 3);
  EXPECT_EQ(speeds->itemText(0).toStdString(), "4x");
  EXPECT_EQ(speeds->currentText().toStdString(), "8x");
  EXPECT_EQ(Find<QLabel>(1135)->text().toStdString(), "(/dev/sr0:) VEXA SIM WRITER 1.0");
  // Leaving the page stores delay, TV system and speed.
  Find<QComboBox>(1053)->setCurrentIndex(1);
  Find<QRadioButton>(1058)->click();
  speeds->setCurrentIndex(2);
  sheet->next();
  LONG delay = 0, tv = -1;
  Wiz().sessionAlbum->GetStillDelay(&delay);
  Wiz().sessionAlbum->GetTVSystem(&tv);
  EXPECT_EQ(delay, 3);
  EXPECT_EQ(tv, VEXAWizTVNTSC);
  EXPECT_EQ(Setting("settings", "selectedBurnSpeed"), "16");

  // A writer that reports no speeds shows the default alone.
  Fake().speeds.clear();
  Sheet(kPageSettings);
  ASSERT_EQ(Find<QComboBox>(1057)->count(), 1);
  EXPECT_EQ(Find<QComboBox>(1057)->itemText(0).toStdString(), "4x");
}

// ---- Finish ---------------------------------------------------------------------------------------------------------

TEST_F(PagesTest, TheSummaryAndMakeDisc) {
  // An empty album: a summary, and Make Disc off.
  CvexaPropSheet* sheet = Sheet(kPageFinish);
  EXPECT_FALSE(sheet->button(QWizard::FinishButton)->isEnabled());
  EXPECT_EQ(sheet->button(QWizard::FinishButton)->text().toStdString(), "Make Disc");

  const std::string a = Photo("a.jpg");
  ASSERT_TRUE(Wiz().sessionAlbum->AddStill(a, 0, 0.0, "", 0, VARIANT_FALSE));
  ASSERT_TRUE(Wiz().sessionAlbum->SetTitleLines("Holiday", "", "2002"));
  ASSERT_TRUE(Wiz().sessionAlbum->AddAudioTrack("/music/Song.mp3", -1));
  Wiz().sessionAlbum->Album()->put_tvSystem(VEXAXMLTVFILM);
  Wiz().sessionAlbum->SetStillDelay(-1);
  sheet = Sheet(kPageFinish);
  EXPECT_TRUE(sheet->button(QWizard::FinishButton)->isEnabled());
  EXPECT_EQ(Find<QPlainTextEdit>(1067)->toPlainText().toStdString(),
            "Number of Images: 1\n\nTitle1: Holiday\nTitle2: none\nTitle3: 2002\n\nMusic: Song.mp3\n\n"
            "Display Time: 5\nRecording Speed: 4x\nVideo CD Format: NTSC\nCD Writer: (/dev/sr0:) VEXA SIM WRITER 1.0"
            "\n\n\n");
  // The chosen speed is written back.
  EXPECT_EQ(Setting("settings", "selectedBurnSpeed"), "4");

  // Above 100 % the disc is refused with the warning.
  sheet->SetDiscCapacity(1000000);
  m_boxes.clear();
  sheet = m_sheet.get();
  PageMeter()->Update(150, false);
  sheet->button(QWizard::FinishButton)->click();
  EXPECT_EQ(sheet->currentId(), kPageFinish);
  ASSERT_EQ(m_boxes.size(), 1u);
  EXPECT_NE(m_boxes[0].find("using a 1 MB disc"), std::string::npos);
  EXPECT_TRUE(Fake().Calls("CreateVCD").empty());

  // Within it, the disc is made; a failed burn comes back on this page with
  // a new driver on the same writer.
  sheet->SetDiscCapacity(650000000);
  PageMeter()->Update(10, false);
  Fake().createVcdResult = E_FAIL;
  Fake().createVcdErrorCode = VEXACoreBurnFailure;
  sheet->button(QWizard::FinishButton)->click();
  EXPECT_EQ(Fake().Calls("CreateVCD").size(), 1u);
  EXPECT_TRUE(sheet->isVisible());
  EXPECT_EQ(sheet->currentId(), kPageFinish);
  EXPECT_TRUE(Fake().Logged("CvexaPropPageFinish::OnWizardFinish - Visual CreateVCD call failed."));
  EXPECT_EQ(Fake().coreObjects, 1);
  Fake().createVcdResult = S_OK;
  sheet->button(QWizard::FinishButton)->click();
  EXPECT_EQ(Fake().Calls("CreateVCD").size(), 2u);
  EXPECT_EQ(sheet->result(), QDialog::Accepted);
}

// Above 100 % the disc engine's own estimate decides: a disc it finds room
// for is made; one it does not, or when it cannot tell, is refused, the
// message saying what it found.
TEST_F(PagesTest, AboveTheMeterTheEnginesEstimateDecides) {
  const std::string a = Photo("over/a.jpg"), b = Photo("over/b.jpg");
  for (const std::string& p : {a, b}) ASSERT_TRUE(Wiz().sessionAlbum->AddStill(p, 0, 0.0, "", 0, VARIANT_FALSE));
  ASSERT_TRUE(Wiz().sessionAlbum->SetTitleLines("Holiday", "", ""));
  ASSERT_TRUE(Wiz().sessionAlbum->SetStillDelay(2));
  // One picture a disc by the meter's count: 300 % with the title picture.
  SetProductDword("MAX_IMAGES", 1);
  const struct {
    const char* name;
    HRESULT answer;
    LONGLONG sectors;
    bool made;
    const char* said;  // in the message; "" for a message without the engine's figures
  } cases[] = {
      {"room", S_OK, 275024, true, ""},
      {"no room", S_OK, 359850, false, "estimates the disc image at 359850 sectors; the largest disc it writes holds 359849"},
      {"cannot tell", E_FAIL, 0, false, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Fake().Reset();
    Fake().estimateResult = c.answer;
    Fake().estimateSectors = c.sectors;
    Wiz().burner = std::make_unique<CVexaODVisual>(Wiz());
    ASSERT_TRUE(Wiz().burner->Init());
    m_boxes.clear();
    CvexaPropSheet* sheet = Sheet(kPageFinish);
    EXPECT_EQ(PageMeter()->GetPercent(), 300);
    m_boxes.clear();
    sheet->button(QWizard::FinishButton)->click();
    // The engine was asked about the album as it stands.
    const auto asked = Fake().Calls("EstimateImage");
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_EQ(asked[0].args, (std::vector<std::string>{"2", a, b, "-1", "2", ""}));
    EXPECT_EQ(Fake().Calls("CreateVCD").size(), c.made ? 1u : 0u);
    if (c.made) {
      EXPECT_TRUE(m_boxes.empty());
      EXPECT_EQ(sheet->result(), QDialog::Accepted);
      continue;
    }
    EXPECT_EQ(sheet->currentId(), kPageFinish);
    ASSERT_EQ(m_boxes.size(), 1u);
    EXPECT_NE(m_boxes[0].find("exceeds the available space"), std::string::npos) << m_boxes[0];
    if (*c.said) EXPECT_NE(m_boxes[0].find(c.said), std::string::npos) << m_boxes[0];
    else EXPECT_EQ(m_boxes[0].find("disc engine"), std::string::npos) << m_boxes[0];
  }
}

TEST_F(PagesTest, NoWriterSendsTheUserToTheSettingsPage) {
  ASSERT_TRUE(Wiz().sessionAlbum->AddStill(Photo("a.jpg"), 0, 0.0, "", 0, VARIANT_FALSE));
  Fake().initResult = E_FAIL;
  Fake().initErrorCode = VEXACoreNoCDWriter;
  Fake().drivePresent = false;
  Wiz().burner = std::make_unique<CVexaODVisual>(Wiz());
  ASSERT_TRUE(Wiz().burner->Init());
  CvexaPropSheet* sheet = Sheet(kPageFinish);
  sheet->button(QWizard::FinishButton)->click();
  EXPECT_EQ(sheet->currentId(), kPageSettings);
  EXPECT_TRUE(Fake().Calls("CreateVCD").empty());
}

// ---- Add images -----------------------------------------------------------------------------------------------------

TEST_F(PagesTest, AddImagesBuildsTheAlbum) {
  const std::string kept = Photo("album/kept.jpg");
  ASSERT_TRUE(Wiz().sessionAlbum->AddStill(kept, 0, 100.0, "Kept", VEXAWizCropPicture, VARIANT_TRUE));
  Photo("folder/x.jpg");
  Photo("folder/y.png");
  FileOfSize("folder/notes.txt", 10);
  CvexaPropSheet* sheet = Sheet(kPageWelcome);
  (void)sheet;
  const auto paths = [](CVEXAThum* c) {
    std::string s;
    for (const auto& p : ReadPathList(c->GetAllFilePaths())) s += vexa::base::BaseName(p) + ";";
    return s;
  };

  {
    CvexaAddImagesDlg dialog(Wiz());
    ASSERT_TRUE(dialog.Ready());
    dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
    EXPECT_EQ(paths(dialog.Album()), "kept.jpg;");
    ASSERT_TRUE(dialog.FolderTree()->SelectFolder(m_temp.Path("folder")));
    EXPECT_EQ(paths(dialog.FolderPictures()), "x.jpg;y.png;");
    ASSERT_TRUE(QTest::qWaitFor([&] { return dialog.FolderPictures()->SelectAll(); }, kWaitBoundMs));
    dialog.AddPictures(false, 0);
    EXPECT_EQ(paths(dialog.Album()), "x.jpg;y.png;kept.jpg;");
    dialog.AddPictures(true, 2);
    EXPECT_EQ(paths(dialog.Album()), "x.jpg;y.png;kept.jpg;x.jpg;y.png;");
    // Nothing selected in the album: "after the selected picture" is the start.
    dialog.AddPictures(false, 1);
    EXPECT_EQ(dialog.Album()->GetThumbCount(), 7);
    dialog.Undo().Undo();
    EXPECT_EQ(paths(dialog.Album()), "x.jpg;y.png;kept.jpg;x.jpg;y.png;");
    // Cancel leaves the session album as it was.
    dialog.reject();
  }
  StillList list = Stills();
  ASSERT_EQ(list.size(), 1u);

  {
    CvexaAddImagesDlg dialog(Wiz());
    dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
    ASSERT_TRUE(dialog.FolderTree()->SelectFolder(m_temp.Path("folder")));
    ASSERT_TRUE(QTest::qWaitFor([&] { return dialog.FolderPictures()->SelectAll(); }, kWaitBoundMs));
    dialog.AddPictures(false, 2);
    dialog.findChild<QAbstractButton*>("ctl_1091")->click();  // Apply
    list = Stills();
    ASSERT_EQ(list.size(), 3u);
    EXPECT_EQ(list[0]->Title(), "Kept");  // the kept picture keeps its record
    EXPECT_EQ(list[0]->Sizing(), VEXAWizCropPicture);
    EXPECT_EQ(list[0]->IsTitleStill(), VARIANT_TRUE);
    EXPECT_EQ(Setting("addContent", "lastDirSelected"), m_temp.Path("folder"));
    EXPECT_NE(Setting("addContent", "windowPosition"), "");
    dialog.accept();
  }
}

TEST_F(PagesTest, AFailedAddImagesStartOffersNoWayToWipeTheAlbum) {
  ASSERT_TRUE(Wiz().sessionAlbum->AddStill(Photo("a.jpg"), 0, 0.0, "", 0, VARIANT_FALSE));
  Sheet(kPageWelcome);
  auto saved = std::move(Wiz().sessionAlbum);  // the album cannot be read
  CvexaAddImagesDlg dialog(Wiz());
  EXPECT_FALSE(dialog.Ready());
  EXPECT_FALSE(dialog.findChild<QAbstractButton*>("ctl_1")->isEnabled());
  EXPECT_FALSE(dialog.findChild<QAbstractButton*>("ctl_1091")->isEnabled());
  ASSERT_EQ(m_boxes.size(), 1u);
  Wiz().sessionAlbum = std::move(saved);
  dialog.accept();
  EXPECT_EQ(Stills().size(), 1u);
}

TEST_F(PagesTest, AWindowPlaceIsRestoredOnTheScreen) {
  Sheet(kPageWelcome);
  // Top, left, bottom, right.
  Wiz().settings->WriteString("addContent", "windowPosition", "100,50,500,720");
  {
    CvexaAddImagesDlg dialog(Wiz());
    EXPECT_EQ(dialog.geometry(), QRect(QPoint(50, 100), QPoint(719, 499)));
  }
  // Larger than the screen, or partly off it: cut and moved onto it (the
  // remembered size kept as far as it fits), with the frame and the button
  // row (OK, Cancel, Apply) inside the area the panels leave.
  const QRect screenArea = QApplication::primaryScreen()->availableGeometry();
  const QSize room = screenArea.marginsRemoved(QMargins(8, 40, 8, 8)).size();
  const QSize inside = room - QSize(40, 40);
  const struct {
    std::string place;
    QSize size;
  } places[] = {
      {"100,50,50000,70000", room},
      {"-300,-200,900,1600", room},
      {Format("%d,%d,%d,%d", screenArea.bottom() - 20, screenArea.right() - 30, screenArea.bottom() - 20 + inside.height(),
              screenArea.right() - 30 + inside.width()),
       inside},
  };
  for (const auto& p : places) {
    SCOPED_TRACE(p.place);
    Wiz().settings->WriteString("addContent", "windowPosition", p.place);
    CvexaAddImagesDlg dialog(Wiz());
    dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
    const QRect available = dialog.screen()->availableGeometry();
    EXPECT_EQ(dialog.size(), p.size);
    EXPECT_TRUE(available.contains(dialog.frameGeometry()));
    for (const char* id : {"ctl_1", "ctl_2", "ctl_1091"}) {
      const auto* b = dialog.findChild<QAbstractButton*>(id);
      ASSERT_TRUE(b) << id;
      EXPECT_TRUE(available.contains(QRect(b->mapToGlobal(QPoint(0, 0)), b->size()))) << id;
    }
    dialog.reject();
  }
}

// ---- Preview ------------------------------------------------------------------------------------------------------

TEST_F(PagesTest, ThePreviewTurnsThePicture) {
  const std::string p = Photo("wide.jpg", 80, 40);
  CvexaPreviewDlg preview(Wiz());
  preview.SetFile(p);
  preview.SetRotation(90);
  QTimer::singleShot(0, [&] { QTest::mouseClick(preview.View(), Qt::LeftButton); });
  const vexa::testsupport::UiWatchdog dog("the preview to close on a click");
  EXPECT_EQ(preview.exec(), QDialog::Rejected);
  EXPECT_EQ(preview.View()->Shown().size(), QSize(40, 80));
}

// A photo the camera stored on its side (EXIF Orientation 6) is previewed
// upright, with the user's turn on top, as the disc and the gallery show it.
TEST_F(PagesTest, ThePreviewShowsPhotosTheCameraStoredTurnedUpright) {
  VEXA_UI_REQUIRE_TOOL("/usr/bin/exiftool");
  // Stored 80 x 40, the left half red: upright 40 x 80, red above blue.
  const std::string p = m_temp.Path("side.jpg");
  QImage stored(80, 40, QImage::Format_RGB32);
  stored.fill(Qt::blue);
  for (int y = 0; y < 40; ++y)
    for (int x = 0; x < 40; ++x) stored.setPixel(x, y, qRgb(255, 0, 0));
  ASSERT_TRUE(stored.save(QString::fromStdString(p), "JPG", 90));
  ASSERT_EQ(vexa::ui::testing::RunCommand("/usr/bin/exiftool -q -overwrite_original -Orientation#=6 " +
                                          vexa::ui::testing::Quote(p)),
            0);
  const struct {
    long rotation;
    QSize size;
    QPoint red, blue;
  } cases[] = {{0, QSize(40, 80), QPoint(20, 10), QPoint(20, 70)},
               {90, QSize(80, 40), QPoint(70, 20), QPoint(10, 20)}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.rotation);
    CvexaPreviewDlg preview(Wiz());
    preview.SetFile(p);
    preview.SetRotation(c.rotation);
    QTimer::singleShot(0, [&] { QTest::mouseClick(preview.View(), Qt::LeftButton); });
    const vexa::testsupport::UiWatchdog dog("the preview to close on a click");
    EXPECT_EQ(preview.exec(), QDialog::Rejected);
    const QImage& shown = preview.View()->Shown();
    ASSERT_EQ(shown.size(), c.size);
    EXPECT_GT(shown.pixelColor(c.red).red(), 200);
    EXPECT_LT(shown.pixelColor(c.red).blue(), 60);
    EXPECT_GT(shown.pixelColor(c.blue).blue(), 200);
    EXPECT_LT(shown.pixelColor(c.blue).red(), 60);
  }
}

// ---- Accessibility --------------------------------------------------------------------------------------------------

TEST_F(PagesTest, EveryControlHasAnAccessibleName) {
  Sheet(kPageWelcome);
  std::vector<QWidget*> roots;
  for (int id : m_sheet->pageIds()) roots.push_back(m_sheet->page(id));
  CvexaAddImagesDlg dialog(Wiz());
  roots.push_back(&dialog);
  for (QWidget* root : roots) {
    for (QWidget* w : root->findChildren<QWidget*>()) {
      const bool control = qobject_cast<QAbstractButton*>(w) || qobject_cast<QLineEdit*>(w) ||
                           qobject_cast<QComboBox*>(w) || qobject_cast<QPlainTextEdit*>(w) ||
                           qobject_cast<QProgressBar*>(w) || qobject_cast<QAbstractItemView*>(w);
      if (!control || w->objectName().startsWith("qt_")) continue;
      // Buttons inside Qt's own composite widgets are named by their owner.
      if (w->parentWidget() && (qobject_cast<QComboBox*>(w->parentWidget()) || w->objectName().isEmpty())) continue;
      QAccessibleInterface* a = QAccessible::queryAccessibleInterface(w);
      ASSERT_TRUE(a);
      EXPECT_FALSE(a->text(QAccessible::Name).trimmed().isEmpty())
          << root->objectName().toStdString() << " " << w->objectName().toStdString() << " "
          << w->metaObject()->className();
    }
  }
}

// Every control of a page or of the add-images dialog has an id of its own
// (the album half's frame and the folder toolbar once shared one).
TEST_F(PagesTest, EveryControlHasItsOwnId) {
  Sheet(kPageWelcome);
  std::vector<QWidget*> roots;
  for (int id : m_sheet->pageIds()) roots.push_back(m_sheet->page(id));
  CvexaAddImagesDlg dialog(Wiz());
  roots.push_back(&dialog);
  for (QWidget* root : roots) {
    std::set<QString> seen;
    for (QWidget* w : root->findChildren<QWidget*>()) {
      const QString name = w->objectName();
      if (!name.startsWith("ctl_")) continue;
      // The album pane and the meter are child dialogs with ids of their own.
      bool inChildDialog = false;
      for (QWidget* p = w->parentWidget(); p && p != root; p = p->parentWidget())
        inChildDialog = inChildDialog || qobject_cast<CvexaAlbumPaneDlg*>(p) || qobject_cast<CvexaDiscUsageDlg*>(p);
      if (inChildDialog) continue;
      EXPECT_TRUE(seen.insert(name).second) << root->objectName().toStdString() << " " << name.toStdString();
    }
  }
  // The folder toolbar keeps 1097; the album half's frame is not a control.
  EXPECT_TRUE(dialog.findChild<QWidget*>("toolbar1097"));
  EXPECT_FALSE(dialog.findChild<QWidget*>("ctl_1097"));
}

}  // namespace

// ---- Screenshots ----------------------------------------------------------------------------------------------------

namespace {

QAbstractScrollArea* GalleryOf(CVEXAThum* c);
QAbstractScrollArea* WaitForGallery(CVEXAThum* c);
// Shows the add-images dialog as the active window and selects `folder` in
// its folder tree.
::testing::AssertionResult ShowOnFolder(CvexaAddImagesDlg& dialog, const std::string& folder);
// Delivers what is pending (layout, show and paint requests), so a grab shows
// the window as it now stands.
void Settle();
std::vector<QWidget*> ThumbnailsOf(QAbstractScrollArea* gallery);

// Every page, the add-images dialog and the About box in a real window
// under Xvfb; the pictures are kept in build/artifacts/vexawiz/.
TEST_F(PagesTest, ScreenshotsOfEveryPage) {
  const std::string folder = std::string(VEXA_BUILD_DIR) + "/artifacts/vexawiz";
  const char* names[] = {"welcome", "pictures", "titles", "music", "settings", "finish", "add-images", "about",
                         "titles-large"};
  if (!std::getenv("VEXAWIZ_SHOTS_INNER")) {
    VEXA_UI_REQUIRE_TOOL("/usr/bin/xvfb-run");
    vexa::base::MakeDirs(folder);
    for (const char* n : names) std::remove((folder + "/" + n + ".png").c_str());
    char self[4096] = {};
    const ssize_t len = ::readlink("/proc/self/exe", self, sizeof self - 1);
    ASSERT_GT(len, 0);
    std::string out;
    const int rc = vexa::ui::testing::RunCommand(
        "VEXAWIZ_SHOTS_INNER=1 QT_QPA_PLATFORM=xcb ASAN_OPTIONS=detect_leaks=0 TSAN_OPTIONS=report_bugs=0 timeout 300 /usr/bin/xvfb-run -a -s "
        "'-screen 0 1024x768x24' " +
            vexa::ui::testing::Quote(self) + " --gtest_filter=PagesTest.ScreenshotsOfEveryPage",
        &out);
    ASSERT_EQ(rc, 0) << out;
    for (const char* n : names) {
      const QImage shot(QString::fromStdString(folder + "/" + n + ".png"));
      EXPECT_FALSE(shot.isNull()) << n;
      EXPECT_GT(shot.width(), 300) << n;
    }
    return;
  }
  ASSERT_TRUE(Wiz().sessionAlbum->AddStill(Photo("shots/a.jpg", 320, 240), 0, 0.0, "", 0, VARIANT_FALSE));
  ASSERT_TRUE(Wiz().sessionAlbum->AddStill(Photo("shots/b.jpg", 240, 320), 90, 0.0, "", 0, VARIANT_FALSE));
  ASSERT_TRUE(Wiz().sessionAlbum->SetTitleLines("Our Summer", "2002", ""));
  vexa::base::MakeDirs(folder);
  CvexaPropSheet* sheet = Sheet(kPageWelcome, true);
  sheet->resize(720, 520);
  std::map<std::string, int> meterWidths;
  for (int id = kPageWelcome; id <= kPageFinish; ++id) {
    if (id > kPageWelcome) sheet->next();
    Settle();
    // The disc-usage meter has one width on every headed page (the finish
    // page gives the side picture its room).
    for (auto* meter : sheet->currentPage()->findChildren<CvexaDiscUsageDlg*>())
      if (meter->isVisible() && id != kPageFinish) meterWidths[names[id]] = meter->width();
    if (id == kPageSelectPictures) {
      // The thumbnails are drawn by a worker: the page is taken once both
      // show their photo (blue) rather than the blank card.
      QAbstractScrollArea* gallery = WaitForGallery(Find<CVEXAThum>(1113));
      ASSERT_TRUE(gallery);
      const auto drawn = [&] {
        const std::vector<QWidget*> cells = ThumbnailsOf(gallery);
        if (cells.size() != 2) return false;
        for (QWidget* cell : cells) {
          const QImage image = cell->grab().toImage();
          const QColor centre = image.pixelColor(image.width() / 2, image.height() / 2 - image.height() / 8);
          if (centre.blue() - centre.red() < 60) return false;
        }
        return true;
      };
      EXPECT_TRUE(QTest::qWaitFor(drawn, kWaitBoundMs));
      // The pictures are shown with the keyboard focus, outlined.
      sheet->activateWindow();
      EXPECT_TRUE(QTest::qWaitForWindowActive(sheet));
      gallery->setFocus();
      EXPECT_TRUE(QTest::qWaitFor([&] { return gallery->hasFocus(); }, kWaitBoundMs));
      Settle();
    }
    EXPECT_TRUE(sheet->grab().save(QString::fromStdString(folder + "/" + names[id] + ".png"))) << names[id];
  }
  EXPECT_EQ(meterWidths.size(), 4u);
  for (const auto& [page, width] : meterWidths)
    EXPECT_EQ(width, meterWidths["pictures"]) << page << " (pictures: " << meterWidths["pictures"] << ")";
  {
    CvexaAddImagesDlg dialog(Wiz());
    dialog.resize(900, 600);
    dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
    dialog.FolderTree()->SelectFolder(m_temp.Path("shots"));
    // The folder's two photos are shown in the folder pane.
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
          QAbstractScrollArea* g = GalleryOf(dialog.FolderPictures());
          return g && ThumbnailsOf(g).size() == 2;
        },
        kWaitBoundMs));
    Settle();
    EXPECT_TRUE(dialog.grab().save(QString::fromStdString(folder + "/add-images.png")));
  }
  // The titles page on a large sheet, with a line that did not fit.
  sheet->resize(1280, 900);
  for (int left = kPageFinish; sheet->currentId() != kPageTitles && left > 0; --left) sheet->back();
  ASSERT_EQ(sheet->currentId(), kPageTitles);
  Settle();
  if (auto* line = Find<QLineEdit>(1022)) line->setText(QString(60, 'W'));
  Settle();
  EXPECT_TRUE(sheet->grab().save(QString::fromStdString(folder + "/titles-large.png")));
  sheet->resize(720, 520);
  sheet->back();
  for (int left = kPageFinish; sheet->currentId() != kPageWelcome && left > 0; --left) sheet->back();
  ASSERT_EQ(sheet->currentId(), kPageWelcome);
  // The About box runs its own event loop: it is taken and closed from there
  // once it is the window in front (the sheet itself is modal too, so the
  // front modal window alone does not say the box is up).
  bool aboutShot = false;
  QTimer poll;
  poll.setInterval(50);
  QObject::connect(&poll, &QTimer::timeout, [&] {
    auto* about = qobject_cast<CvexaAboutDlg*>(QApplication::activeModalWidget());
    if (!about || !about->isVisible()) return;
    poll.stop();
    if (QTest::qWaitForWindowExposed(about))
      aboutShot = about->grab().save(QString::fromStdString(folder + "/about.png"));
    about->accept();
  });
  poll.start();
  vexa::testsupport::Guarded("the About box to be taken and closed",
                             [&] { sheet->button(QWizard::CustomButton1)->click(); });
  poll.stop();
  EXPECT_TRUE(aboutShot);
}

}  // namespace

namespace {

// A call the control refuses is a logged failure value, never an exception.
TEST_F(PagesTest, AFailedControlCallIsALoggedFailureValue) {
  CVEXAThum before(Wiz());
  EXPECT_FALSE(before.Clear());  // not created yet
  EXPECT_EQ(before.GetThumbCount(), 0);
  CVEXAThum thumbs(Wiz());
  ASSERT_TRUE(thumbs.Create());
  EXPECT_FALSE(thumbs.Sort(9999, true));
  EXPECT_TRUE(Fake().Logged("CVEXAThum::Invoke - DISPID 9999 failed with DISP_E_MEMBERNOTFOUND."));
  // A list with an element-type bit is refused by the control; the wrapper's
  // own lists are plain VT_ARRAY and are taken.
  vexa::com::Variant typed = MakePathList({Photo("t.jpg")});
  typed.vt = VT_ARRAY | VT_BSTR;
  EXPECT_FALSE(thumbs.AddMultipleFiles(typed, MakeLongList({0}), -1));
  EXPECT_TRUE(thumbs.AddMultipleFiles(MakePathList({Photo("t.jpg")}), MakeLongList({0}), -1));
  EXPECT_EQ(thumbs.GetThumbCount(), 1);
}

}  // namespace

// ---- Keys, crash, the way back, the preview, the folders --------------------------------------------------------

namespace {

using vexa::wiz::testing::InXvfb;
using vexa::wiz::testing::RunUnderXvfb;
using vexa::wiz::testing::ShotFolder;

// The gallery (the scrolled view) inside a thumbnail control, once made.
QAbstractScrollArea* GalleryOf(CVEXAThum* c) {
  QWidget* window = c ? c->ControlWindow() : nullptr;
  return window ? window->findChild<QAbstractScrollArea*>() : nullptr;
}

::testing::AssertionResult ShowOnFolder(CvexaAddImagesDlg& dialog, const std::string& folder) {
  dialog.show();
  if (!QTest::qWaitForWindowExposed(&dialog)) return ::testing::AssertionFailure() << "the dialog was not shown";
  dialog.activateWindow();
  if (!QTest::qWaitForWindowActive(&dialog)) return ::testing::AssertionFailure() << "the dialog did not become active";
  if (!dialog.FolderTree()->SelectFolder(folder)) return ::testing::AssertionFailure() << "no folder " << folder;
  return ::testing::AssertionSuccess();
}

void Settle() {
  for (int i = 0; i < 3; ++i) {
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents();
  }
}

QAbstractScrollArea* WaitForGallery(CVEXAThum* c) {
  QAbstractScrollArea* g = nullptr;
  (void)QTest::qWaitFor([&] { return (g = GalleryOf(c)) != nullptr; }, kWaitBoundMs);
  return g;
}

// The thumbnail windows of a gallery, in display order (top to bottom, left to right).
std::vector<QWidget*> ThumbnailsOf(QAbstractScrollArea* gallery) {
  std::vector<QWidget*> out;
  for (QWidget* w : gallery->findChildren<QWidget*>())
    if (w->inherits("vexa::gallery::CSelectThumbnail") && w->isVisible()) out.push_back(w);
  std::sort(out.begin(), out.end(), [](QWidget* a, QWidget* b) {
    return a->y() != b->y() ? a->y() < b->y() : a->x() < b->x();
  });
  return out;
}

// The access letter of a text ('&' before it, "&&" being a plain '&').
QChar Mnemonic(const QString& text) {
  for (qsizetype i = 0; i + 1 < text.size(); ++i) {
    if (text[i] != '&') continue;
    if (text[i + 1] == '&') {
      ++i;
      continue;
    }
    return text[i + 1].toLower();
  }
  return QChar();
}

// Texts that share an access letter, as "letter: text | text" lines.
std::string Clashes(const QStringList& texts) {
  std::map<QChar, QStringList> by;
  for (const QString& t : texts)
    if (QChar m = Mnemonic(t); !m.isNull()) by[m] << t;
  std::string out;
  for (const auto& [letter, list] : by)
    if (list.size() > 1) out += QString(letter).toStdString() + ": " + list.join(" | ").toStdString() + "\n";
  return out;
}

// The texts of the buttons a person can reach in a window now.
QStringList ButtonTexts(QWidget* window) {
  QStringList texts;
  for (QAbstractButton* b : window->findChildren<QAbstractButton*>())
    if (b->isVisible()) texts << b->text();
  return texts;
}

std::string MenuClashes(QMenu* menu) {
  QStringList texts;
  std::string out;
  for (QAction* a : menu->actions()) {
    if (a->isSeparator()) continue;
    texts << a->text();
    if (a->menu()) out += MenuClashes(a->menu());
  }
  return Clashes(texts) + out;
}

// Clicks the right button on a thumbnail and chooses the entry with that text
// (before its key) from the menu that opens; the menu's name is kept.
void ChooseFromRightButtonMenu(QWidget* thumbnail, const QString& entry, QString* menuName) {
  QTimer::singleShot(0, [entry, menuName] {
    QMenu* menu = nullptr;
    if (!QTest::qWaitFor([&] { return (menu = qobject_cast<QMenu*>(QApplication::activePopupWidget())); }, kWaitBoundMs))
      return;
    *menuName = menu->objectName();
    for (QAction* a : menu->actions())
      if (a->text().section('\t', 0, 0) == entry) menu->setActiveAction(a);
    QTest::keyClick(menu, Qt::Key_Return);
  });
  vexa::testsupport::Guarded("the right-button menu to be answered",
                             [&] { QTest::mouseClick(thumbnail, Qt::RightButton, {}, QPoint(40, 40)); });
  QApplication::processEvents();
}

}  // namespace

// At twice the scale, on a real display, the add-images dialog opens with
// the album's pictures: the control no longer makes its gallery (and tells
// its host) while its window is being painted.
TEST_F(PagesTest, AddImagesOpensWithPicturesAtScaleTwo) {
  if (!InXvfb()) {
    VEXA_UI_REQUIRE_TOOL("/usr/bin/xvfb-run");
    std::string out;
    const int rc = RunUnderXvfb("PagesTest.AddImagesOpensWithPicturesAtScaleTwo", "QT_SCALE_FACTOR=2", true, &out,
                                "2560x1800x24");
    ASSERT_EQ(rc, 0) << out;
    EXPECT_EQ(out.find("active painter"), std::string::npos) << out;
    EXPECT_EQ(out.find("being painted"), std::string::npos) << out;
    return;
  }
  for (int i = 0; i < 6; ++i)
    ASSERT_TRUE(Wiz().sessionAlbum->AddStill(Photo("scale2/p" + std::to_string(i) + ".jpg", 320, 240), 0, 0.0, "",
                                                0, VARIANT_FALSE));
  CvexaPropSheet* sheet = Sheet(kPageSelectPictures);
  // A disc the pictures fill to about 40 percent: the meter moves far enough
  // to repaint itself as soon as the album's pictures arrive.
  sheet->SetDiscCapacity(sheet->GetDiscSpaceUsed() * 5 / 2);
  bool shown = false;
  QTimer::singleShot(0, [&] {
    CvexaAddImagesDlg* dialog = nullptr;
    if (!QTest::qWaitFor([&] { return (dialog = qobject_cast<CvexaAddImagesDlg*>(QApplication::activeModalWidget())); },
                         kWaitBoundMs))
      return;
    QAbstractScrollArea* gallery = WaitForGallery(dialog->Album());
    shown = gallery && QTest::qWaitFor([&] { return ThumbnailsOf(gallery).size() == 6; }, kWaitBoundMs);
    dialog->grab().save(QString::fromStdString(ShotFolder() + "/add-images-scale2.png"));
    dialog->reject();
  });
  vexa::testsupport::Guarded("the add-images dialog to be looked at and closed",
                             [&] { Find<QAbstractButton>(1092)->click(); });
  EXPECT_TRUE(shown);
  EXPECT_EQ(Find<CVEXAThum>(1113)->GetThumbCount(), 6);
  (void)sheet;
}

// Del, Ctrl+A, Ctrl+Z and the menu keys on the pictures page; Undo is off
// when there is nothing to undo; the thumbnail's own Delete is the page's
// removal (count, meter, album and undo follow).
TEST_F(PagesTest, ThePicturesPageAnswersItsKeys) {
  for (const char* n : {"keys/a.jpg", "keys/b.jpg", "keys/c.jpg"})
    ASSERT_TRUE(Wiz().sessionAlbum->AddStill(Photo(n), 0, 0.0, "", 0, VARIANT_FALSE));
  CvexaPropSheet* sheet = Sheet(kPageSelectPictures);
  auto* thumbs = Find<CVEXAThum>(1113);
  QAbstractScrollArea* gallery = WaitForGallery(thumbs);
  ASSERT_TRUE(gallery);
  sheet->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(sheet));
  gallery->setFocus();
  auto* pane = sheet->currentPage()->findChild<CvexaAlbumPaneDlg*>();
  QToolButton* undo = Find<QToolButton>(113);
  EXPECT_FALSE(undo->isEnabled());

  QTest::keyClick(gallery, Qt::Key_A, Qt::ControlModifier);
  EXPECT_EQ(thumbs->GetSelectionCount(), 3);
  QTest::keyClick(gallery, Qt::Key_Delete);
  EXPECT_EQ(thumbs->GetThumbCount(), 0);
  EXPECT_EQ(pane->ImageCount(), 0);
  EXPECT_TRUE(Stills().empty());
  EXPECT_FALSE(sheet->button(QWizard::NextButton)->isEnabled());
  EXPECT_TRUE(undo->isEnabled());
  QTest::keyClick(gallery, Qt::Key_Z, Qt::ControlModifier);
  EXPECT_EQ(thumbs->GetThumbCount(), 3);
  EXPECT_EQ(Stills().size(), 3u);
  EXPECT_TRUE(sheet->button(QWizard::NextButton)->isEnabled());
  EXPECT_FALSE(undo->isEnabled()) << "its one step is spent";
  QTest::keyClick(gallery, Qt::Key_Z, Qt::ControlModifier);
  EXPECT_EQ(thumbs->GetThumbCount(), 3);

  // The right button on a picture brings the page's one menu, as between
  // pictures: Remove takes the selected picture away as the toolbar does.
  gallery = WaitForGallery(thumbs);
  std::vector<QWidget*> cells;
  ASSERT_TRUE(QTest::qWaitFor([&] { return (cells = ThumbnailsOf(gallery)).size() == 3; }, kWaitBoundMs));
  QTest::mouseClick(cells[1], Qt::LeftButton, {}, QPoint(58, 58));
  ASSERT_EQ(thumbs->GetSelectionCount(), 1);
  QString menuName;
  ChooseFromRightButtonMenu(cells[1], "&Remove", &menuName);
  EXPECT_EQ(menuName.toStdString(), "menu199");
  ASSERT_TRUE(QTest::qWaitFor([&] { return thumbs->GetThumbCount() == 2; }, kWaitBoundMs));
  EXPECT_EQ(pane->ImageCount(), 2);
  ASSERT_EQ(Stills().size(), 2u);
  EXPECT_EQ(vexa::base::BaseName(Stills()[1]->Path()), "c.jpg");
  EXPECT_TRUE(undo->isEnabled());
  gallery = WaitForGallery(thumbs);
  gallery->setFocus();
  QTest::keyClick(gallery, Qt::Key_Z, Qt::ControlModifier);
  EXPECT_EQ(thumbs->GetThumbCount(), 3);

  // A menu key opens its toolbar button's menu.
  QString opened;
  QTimer::singleShot(0, [&] {
    if (auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget())) {
      opened = menu->objectName();
      menu->close();
    }
  });
  vexa::testsupport::Guarded("the menu of Alt+M to be closed",
                             [&] { QTest::keyClick(gallery, Qt::Key_M, Qt::AltModifier); });
  EXPECT_EQ(opened.toStdString(), "menu_115");
}

// A FIFO named like a picture (mkfifo x.jpg) in the folder shown: the folder
// is listed, sorted by picture date and the FIFO previewed without the FIFO
// ever being opened, so nothing waits on it; it shows as a picture that
// cannot be read.
TEST_F(PagesTest, AddImagesNeverOpensAFifoNamedLikeAPicture) {
  Photo("fifo/real.jpg");
  vexa::ui::testing::FifoTrap trap(m_temp.Path("fifo/x.jpg"));
  vexa::ui::testing::OpenWatch opens(m_temp.Path("fifo"));
  Sheet(kPageWelcome);
  {
    CvexaAddImagesDlg dialog(Wiz());
    ASSERT_TRUE(ShowOnFolder(dialog, m_temp.Path("fifo")));
    CVEXAThum* folder = dialog.FolderPictures();
    std::vector<std::string> names;
    for (const auto& p : ReadPathList(folder->GetAllFilePaths())) names.push_back(vexa::base::BaseName(p));
    EXPECT_EQ(names, (std::vector<std::string>{"real.jpg", "x.jpg"}));
    // Sorted by picture date: the dates the workers have not read yet are
    // read now.
    ASSERT_TRUE(dialog.Commands().Run(32782));
    EXPECT_EQ(folder->GetThumbCount(), 2);
    // Its preview shows nothing and says nothing waits.
    QAbstractScrollArea* gallery = WaitForGallery(folder);
    ASSERT_TRUE(gallery);
    std::vector<QWidget*> cells;
    ASSERT_TRUE(QTest::qWaitFor([&] { return (cells = ThumbnailsOf(gallery)).size() == 2; }, 10000))
        << "the folder's two entries were not shown";
    const std::vector<std::string> order = ReadPathList(folder->GetAllFilePaths());
    const std::size_t fifo = vexa::base::BaseName(order[0]) == "x.jpg" ? 0 : 1;
    bool previewed = false;
    QTimer::singleShot(0, [&] {
      if (auto* preview = qobject_cast<CvexaPreviewDlg*>(QApplication::activeModalWidget())) {
        previewed = true;
        preview->reject();
      }
    });
    QTest::mouseDClick(cells[fifo], Qt::LeftButton, {}, QPoint(58, 58));
    EXPECT_TRUE(previewed) << "a double click on the FIFO's picture showed no preview";
    dialog.reject();
  }
  EXPECT_EQ(trap.Fault(), "");
  for (const std::string& name : opens.Opened()) EXPECT_NE(name, "x.jpg") << "the FIFO was opened";
}

// Ctrl+A, Insert, Del, Ctrl+Z and Backspace in the add-images dialog.
TEST_F(PagesTest, TheAddImagesDialogAnswersItsKeys) {
  for (const char* n : {"album/a.jpg", "album/b.jpg"})
    ASSERT_TRUE(Wiz().sessionAlbum->AddStill(Photo(n), 0, 0.0, "", 0, VARIANT_FALSE));
  for (const char* n : {"folder/x.jpg", "folder/y.jpg", "folder/z.jpg"}) Photo(n);
  Sheet(kPageWelcome);
  CvexaAddImagesDlg dialog(Wiz());
  ASSERT_TRUE(ShowOnFolder(dialog, m_temp.Path("folder")));
  QAbstractScrollArea* folder = WaitForGallery(dialog.FolderPictures());
  QAbstractScrollArea* album = WaitForGallery(dialog.Album());
  ASSERT_TRUE(folder && album);
  auto* undo = dialog.findChild<QToolButton*>("ctl_99");
  EXPECT_FALSE(undo->isEnabled());

  folder->setFocus();
  QTest::keyClick(folder, Qt::Key_A, Qt::ControlModifier);
  EXPECT_EQ(dialog.FolderPictures()->GetSelectionCount(), 3);
  EXPECT_EQ(dialog.Album()->GetSelectionCount(), 0);
  QTest::keyClick(folder, Qt::Key_Insert);  // add the selected pictures at the end
  EXPECT_EQ(dialog.Album()->GetThumbCount(), 5);
  EXPECT_TRUE(undo->isEnabled());

  album = WaitForGallery(dialog.Album());
  album->setFocus();
  QTest::keyClick(album, Qt::Key_A, Qt::ControlModifier);
  EXPECT_EQ(dialog.Album()->GetSelectionCount(), 5);
  QTest::keyClick(album, Qt::Key_Delete);
  EXPECT_EQ(dialog.Album()->GetThumbCount(), 0);
  EXPECT_EQ(dialog.findChild<CvexaAlbumPaneDlg*>("albumPane")->ImageCount(), 0);
  album = WaitForGallery(dialog.Album());
  QTest::keyClick(album, Qt::Key_Z, Qt::ControlModifier);
  EXPECT_EQ(dialog.Album()->GetThumbCount(), 5);
  EXPECT_FALSE(undo->isEnabled());
  EXPECT_EQ(Stills().size(), 2u);  // nothing is written before Apply or OK

  // Backspace: one folder up.
  QTest::keyClick(album, Qt::Key_Backspace);
  EXPECT_EQ(dialog.FolderTree()->SelectedFolder(), m_temp.dir());
  QTest::keyClick(album, Qt::Key_Escape);
  EXPECT_FALSE(dialog.isVisible());
  EXPECT_EQ(dialog.result(), QDialog::Rejected);
}

// Every command of the page and the dialog is there, and every key of the
// table sends a command one of them has.
TEST_F(PagesTest, EveryCommandOfThePageAndTheDialogIsThere) {
  Sheet(kPageWelcome);
  const CvexaCommands* page = static_cast<CvexaWizPage*>(m_sheet->page(kPageSelectPictures))->Commands();
  ASSERT_TRUE(page);
  const int pageIds[] = {32827, 32830, 32828, 32802, 32818, 32803, 32819, 32813, 32793, 32850, 32795,
                         32796, 32851, 32797, 32798, 32810, 32799, 32811, 32817, 32814, 112,   32820,
                         32836, 113,   32821, 32826, 32841, 32854, 32842, 32855, 32838, 32843, 32809};
  for (int id : pageIds) EXPECT_TRUE(page->Has(id)) << "page " << id;
  CvexaAddImagesDlg dialog(Wiz());
  const int dialogIds[] = {89,    32833, 32834, 90,    32835, 91,    32836, 32820, 99,    32821, 32826, 32772,
                           32844, 32773, 32845, 32774, 32846, 32775, 32849, 32776, 32847, 32778, 32848, 32779,
                           32781, 32782, 32784, 32853, 32852, 32808, 32788, 32790, 32791, 32792, 32850, 32851,
                           32812, 32800, 32818, 32801, 32819, 32785, 32806, 32787, 32807, 32817, 32804, 32825,
                           32805, 32837, 32843, 32839, 32854, 32840, 32855, 32814, 32815, 32816, 32824, 32823,
                           32822, 32827, 32828, 32829, 32830, 32831, 32832, 1091,  9};
  for (int id : dialogIds) EXPECT_TRUE(dialog.Commands().Has(id)) << "dialog " << id;
  const std::vector<CvexaAccelerator> table = Wiz().language->Accelerators(197);
  EXPECT_GE(table.size(), 30u);
  for (const CvexaAccelerator& a : table)
    EXPECT_TRUE(page->Has(a.command) || dialog.Commands().Has(a.command)) << a.command;
  for (auto [key, command] : {std::pair{QKeyCombination(Qt::Key_Delete), 32817},
                              std::pair{QKeyCombination(Qt::ControlModifier, Qt::Key_A), 32814},
                              std::pair{QKeyCombination(Qt::ControlModifier, Qt::Key_Z), 32826}}) {
    bool found = false;
    for (const CvexaAccelerator& a : table) found = found || (a.key == key && a.command == command);
    EXPECT_TRUE(found) << command;
  }
}

// No two things a person can reach at once share an access letter: on every
// page with the wizard's buttons, in every menu, and in the add-images dialog.
TEST_F(PagesTest, NoAccessLetterIsUsedTwice) {
  ASSERT_TRUE(Wiz().sessionAlbum->AddStill(Photo("m/a.jpg"), 0, 0.0, "", 0, VARIANT_FALSE));
  CvexaPropSheet* sheet = Sheet(kPageWelcome);
  for (int id = kPageWelcome; id <= kPageFinish; ++id) {
    if (id > kPageWelcome) sheet->next();
    ASSERT_EQ(sheet->currentId(), id);
    EXPECT_EQ(Clashes(ButtonTexts(sheet)), "") << "page " << id;
    for (QMenu* menu : sheet->currentPage()->findChildren<QMenu*>()) EXPECT_EQ(MenuClashes(menu), "") << id;
    if (id != kPageSelectPictures) continue;
    // The right-button menu of the pictures is made when asked for.
    QString pictureMenu;
    QTimer::singleShot(0, [&] {
      if (auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget())) {
        pictureMenu = QString::fromStdString(MenuClashes(menu)) + menu->objectName();
        menu->close();
      }
    });
    vexa::testsupport::Guarded("the pictures' right-button menu to be closed",
                               [&] { emit Find<CVEXAThum>(1113)->mouseUp(2, 0, 10, 10); });
    EXPECT_EQ(pictureMenu.toStdString(), "menu199");
  }
  CvexaAddImagesDlg dialog(Wiz());
  dialog.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
  EXPECT_EQ(Clashes(ButtonTexts(&dialog)), "");
  for (QMenu* menu : dialog.findChildren<QMenu*>()) EXPECT_EQ(MenuClashes(menu), "") << menu->objectName().toStdString();
  // The right-button menus of the album are made when asked for.
  QString albumMenu;
  QTimer::singleShot(0, [&] {
    if (auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget())) {
      albumMenu = QString::fromStdString(MenuClashes(menu)) + menu->objectName();
      menu->close();
    }
  });
  vexa::testsupport::Guarded("the album's right-button menu to be closed",
                             [&] { emit dialog.Album()->mouseUp(2, 0, 10, 10); });
  EXPECT_EQ(albumMenu.toStdString(), "menu198");
}

// The toolbar buttons show icons, a brighter one under the pointer.
TEST_F(PagesTest, ToolbarButtonsHaveTheirIcons) {
  Sheet(kPageSelectPictures);
  CvexaAddImagesDlg dialog(Wiz());
  std::vector<QToolButton*> buttons;
  for (int id : {115, 110, 111, 112, 113}) buttons.push_back(Find<QToolButton>(id));
  for (int id : {89, 90, 94, 93, 92, 114, 97, 98, 91, 99}) buttons.push_back(dialog.findChild<QToolButton*>(QString("ctl_%1").arg(id)));
  for (QToolButton* b : buttons) {
    ASSERT_TRUE(b);
    const QImage normal = b->icon().pixmap(16, QIcon::Normal).toImage();
    const QImage hot = b->icon().pixmap(16, QIcon::Active).toImage();
    EXPECT_FALSE(normal.isNull()) << b->objectName().toStdString();
    EXPECT_NE(normal, hot) << b->objectName().toStdString();
    EXPECT_EQ(b->toolButtonStyle(), Qt::ToolButtonTextBesideIcon);
  }
}

// The preview belongs to the window it was opened from: it is modal and on
// top, and Escape closes it and nothing else.
TEST_F(PagesTest, ThePreviewBelongsToItsWindowAndEscapeClosesOnlyIt) {
  ASSERT_TRUE(Wiz().sessionAlbum->AddStill(Photo("pv/a.jpg"), 0, 0.0, "", 0, VARIANT_FALSE));
  CvexaPropSheet* sheet = Sheet(kPageSelectPictures);
  QAbstractScrollArea* gallery = WaitForGallery(Find<CVEXAThum>(1113));
  ASSERT_TRUE(gallery);
  sheet->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(sheet));
  gallery->setFocus();
  QTest::keyClick(gallery, Qt::Key_A, Qt::ControlModifier);
  QWidget* owner = nullptr;
  bool modal = false, active = false;
  QTimer::singleShot(0, [&] {
    CvexaPreviewDlg* preview = nullptr;
    if (!QTest::qWaitFor([&] { return (preview = qobject_cast<CvexaPreviewDlg*>(QApplication::activeModalWidget())); },
                         kWaitBoundMs))
      return;
    owner = preview->parentWidget();
    modal = preview->isModal();
    active = QTest::qWaitFor([&] { return QApplication::activeWindow() == preview; }, kWaitBoundMs);
    QWidget* focus = QApplication::focusWidget();
    QTest::keyClick(focus ? focus : preview, Qt::Key_Escape);
  });
  vexa::testsupport::Guarded("the preview to close on Escape",
                             [&] { QTest::keyClick(gallery, Qt::Key_P, Qt::ControlModifier); });  // preview
  EXPECT_EQ(owner, sheet);
  EXPECT_TRUE(modal);
  EXPECT_TRUE(active);
  EXPECT_FALSE(qobject_cast<CvexaPreviewDlg*>(QApplication::activeModalWidget()));
  EXPECT_TRUE(sheet->isVisible());
  EXPECT_TRUE(m_boxes.empty());
}

// Cancel, Escape or the close box with pictures chosen asks first; without
// pictures the wizard closes at once.
TEST_F(PagesTest, CancellingTheWizardWithPicturesAsksFirst) {
  CvexaPropSheet* sheet = Sheet(kPageTitles);
  sheet->reject();
  EXPECT_TRUE(m_boxes.empty());
  EXPECT_FALSE(sheet->isVisible());

  ASSERT_TRUE(Wiz().sessionAlbum->AddStill(Photo("c/a.jpg"), 0, 0.0, "", 0, VARIANT_FALSE));
  sheet = Sheet(kPageTitles);
  m_yesNo = IDNO;
  QTest::keyClick(sheet, Qt::Key_Escape);
  ASSERT_EQ(m_boxes.size(), 1u);
  EXPECT_NE(m_boxes[0].find("close the wizard without making a disc"), std::string::npos) << m_boxes[0];
  EXPECT_TRUE(sheet->isVisible());
  sheet->close();
  EXPECT_EQ(m_boxes.size(), 2u);
  EXPECT_TRUE(sheet->isVisible());
  m_yesNo = IDYES;
  sheet->button(QWizard::CancelButton)->click();
  EXPECT_EQ(m_boxes.size(), 3u);
  EXPECT_FALSE(sheet->isVisible());
  EXPECT_EQ(Stills().size(), 1u);
}

// The wizard runs as vexa runs it (RunModal): a failed burn, a cancelled one
// and a missing writer leave it running, on the Finish page with a new
// driver (or the settings page), until the disc is made or the user closes it.
TEST_F(PagesTest, AFailedOrCancelledBurnComesBackOnTheFinishPage) {
  ASSERT_TRUE(Wiz().sessionAlbum->AddStill(Photo("b/a.jpg"), 0, 0.0, "", 0, VARIANT_FALSE));
  // Checked for updates lately: no timed prompt.
  vexa::reg::SetValue(vexa::reg::Hive::CurrentUser, kWizProductKey, "DateLastCheckedForUpdate",
                      vexa::reg::Value::String("03/01/2030"));
  struct Case {
    const char* name;
    HRESULT first;
    LONG code;
    bool writer;
  } cases[] = {{"failed", E_FAIL, VEXACoreBurnFailure, true},
               {"cancelled", E_FAIL, VEXACoreCancelled, true},
               {"no writer", S_OK, VEXACoreSuccess, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Fake().Reset();
    Fake().createVcdResult = c.first;
    Fake().createVcdErrorCode = c.code;
    if (!c.writer) {
      Fake().initResult = E_FAIL;
      Fake().initErrorCode = VEXACoreNoCDWriter;
      Fake().drivePresent = false;
    }
    Wiz().burner = std::make_unique<CVexaODVisual>(Wiz());
    ASSERT_TRUE(Wiz().burner->Init());
    m_sheet = std::make_unique<CvexaPropSheet>(Wiz(), "Wizard", nullptr, kPageFinish, QPixmap(), QPixmap());
    m_sheet->SetCacheDirectory(CacheDir() + "/vexacache");
    CvexaPropSheet* sheet = m_sheet.get();
    int step = 0;
    int cameBackOn = -1;
    std::string seen;  // what happened, for the message of a wait that ends unmet
    QObject::connect(sheet, &QWizard::currentIdChanged, [&](int id) { seen += " page " + std::to_string(id) + ";"; });
    QObject::connect(sheet->button(QWizard::FinishButton), &QAbstractButton::clicked,
                     [&] { seen += " Make Disc clicked;"; });
    QTimer driver;
    QObject::connect(&driver, &QTimer::timeout, [&] {
      // The window takes input once it is up and modal and no longer shows
      // the wait cursor of its way back (a press before that is let go).
      if (!sheet->isVisible() || QApplication::activeModalWidget() != sheet || QApplication::overrideCursor()) return;
      if (step == 0) {
        step = 1;
        seen += " step 1;";
        QTimer::singleShot(0, sheet->button(QWizard::FinishButton), &QAbstractButton::click);
      } else if (step == 1) {
        // Back, with the wizard still running: where is the user?
        step = 2;
        seen += " step 2;";
        cameBackOn = sheet->currentId();
        Fake().createVcdResult = S_OK;
        Fake().drivePresent = true;
        while (sheet->currentId() != kPageFinish) sheet->next();
        QTimer::singleShot(0, sheet->button(QWizard::FinishButton), &QAbstractButton::click);
      } else if (sheet->currentId() == kPageFinish) {
        // The wizard may come back while the first Make Disc is still on its
        // way out (the settings page lets events run as it is shown): that
        // press is let go, so Make Disc is pressed again until it ends.
        QTimer::singleShot(0, sheet->button(QWizard::FinishButton), &QAbstractButton::click);
      }
    });
    driver.start(20);
    // Bounded: a wizard that never takes input again ends the test with
    // what the driver was waiting for.
    bool gaveUp = false;
    QTimer watchdog;
    watchdog.setSingleShot(true);
    QObject::connect(&watchdog, &QTimer::timeout, [&] {
      gaveUp = true;
      ADD_FAILURE() << "after 240 s the driver (step " << step << ") still waits for the wizard to take input: "
                    << "visible " << sheet->isVisible() << ", the active modal window is "
                    << (QApplication::activeModalWidget() == sheet ? "the wizard" : "another window")
                    << ", wait cursor " << (QApplication::overrideCursor() != nullptr) << ", page "
                    << sheet->currentId() << ", Make Disc enabled " << sheet->button(QWizard::FinishButton)->isEnabled()
                    << "; seen:" << seen;
      std::string calls;
      for (const std::string& m : Fake().Methods()) calls += " " + m;
      std::string log;
      for (const std::string& l : Fake().log) log += "\n  " + l;
      ADD_FAILURE() << "calls:" << calls << "\nlog:" << log;
      sheet->done(QDialog::Rejected);
    });
    watchdog.start(240000);
    const int result = sheet->RunModal();
    driver.stop();
    watchdog.stop();
    if (gaveUp) return;
    EXPECT_EQ(cameBackOn, c.writer ? kPageFinish : kPageSettings);
    EXPECT_EQ(result, QDialog::Accepted);
    EXPECT_EQ(Fake().Calls("CreateVCD").size(), c.writer ? 2u : 1u);
    if (c.writer) {
      EXPECT_TRUE(Fake().Logged("CvexaPropPageFinish::OnWizardFinish - Visual CreateVCD call failed."));
    }
  }
}

namespace {

// Sets environment variables for a test and puts the old values back.
class EnvironmentGuard {
 public:
  void Set(const char* name, const std::string& value) {
    Remember(name);
    ::setenv(name, value.c_str(), 1);
  }
  void Unset(const char* name) {
    Remember(name);
    ::unsetenv(name);
  }
  ~EnvironmentGuard() {
    for (const auto& [name, value] : m_old) {
      if (value) ::setenv(name.c_str(), value->c_str(), 1);
      else ::unsetenv(name.c_str());
    }
  }

 private:
  void Remember(const char* name) {
    if (m_old.count(name)) return;
    const char* v = std::getenv(name);
    m_old[name] = v ? std::optional<std::string>(v) : std::nullopt;
  }
  std::map<std::string, std::optional<std::string>> m_old;
};

std::vector<std::string> Names(QAbstractItemModel* model, const QModelIndex& parent) {
  if (model->canFetchMore(parent)) model->fetchMore(parent);
  std::vector<std::string> names;
  for (int row = 0; row < model->rowCount(parent); ++row)
    names.push_back(model->index(row, 0, parent).data().toString().toStdString());
  return names;
}

}  // namespace

// Picking photos starts in the user's pictures folder (XDG_PICTURES_DIR,
// else the home folder); Pictures and Home head the tree, and the system's
// own folders are not listed.
TEST_F(PagesTest, PickingPhotosStartsInThePicturesFolder) {
  const std::string home = m_temp.Path("home");
  vexa::base::MakeDirs(home + "/Fotos/Trip");
  vexa::base::MakeDirs(home + "/Documents");
  EnvironmentGuard env;
  env.Set("HOME", home);
  env.Set("XDG_PICTURES_DIR", home + "/Fotos");
  Sheet(kPageWelcome);
  {
    CvexaAddImagesDlg dialog(Wiz());
    CFolderView* tree = dialog.FolderTree();
    EXPECT_EQ(tree->TopFolders(), (std::vector<std::string>{home + "/Fotos", home, "/"}));
    EXPECT_EQ(Names(tree->model(), QModelIndex()), (std::vector<std::string>{"Fotos", "Home", "Computer"}));
    EXPECT_EQ(tree->SelectedFolder(), home + "/Fotos");
    EXPECT_EQ(Names(tree->model(), tree->currentIndex()), std::vector<std::string>{"Trip"});
    // Up from the top of Pictures is the home folder.
    tree->Up();
    EXPECT_EQ(tree->SelectedFolder(), home);
    const std::vector<std::string> top = Names(tree->model(), tree->model()->index(2, 0, QModelIndex()));
    for (const char* hidden : {"proc", "sys", "dev"})
      EXPECT_EQ(std::count(top.begin(), top.end(), hidden), 0) << hidden;
    EXPECT_EQ(std::count(top.begin(), top.end(), "tmp"), 1);
  }
  // Without a pictures folder: home. The user's folder settings name one too.
  env.Unset("XDG_PICTURES_DIR");
  {
    CvexaAddImagesDlg dialog(Wiz());
    EXPECT_EQ(dialog.FolderTree()->TopFolders(), (std::vector<std::string>{home, "/"}));
    EXPECT_EQ(dialog.FolderTree()->SelectedFolder(), home);
  }
  vexa::base::MakeDirs(m_temp.Path("config"));
  ASSERT_TRUE(vexa::ui::testing::WriteAll(m_temp.Path("config/user-dirs.dirs"), "XDG_PICTURES_DIR=\"$HOME/Fotos\"\n"));
  {
    CvexaAddImagesDlg dialog(Wiz());
    EXPECT_EQ(dialog.FolderTree()->SelectedFolder(), home + "/Fotos");
    dialog.FolderTree()->SelectFolder(home + "/Documents");
    dialog.Apply();
  }
  // The folder of the last visit comes first.
  {
    CvexaAddImagesDlg dialog(Wiz());
    EXPECT_EQ(dialog.FolderTree()->SelectedFolder(), home + "/Documents");
  }
}

// On a real display: the add-images dialog first opens wide enough for both
// halves' toolbars, the album half as wide as its toolbar, and keeps that
// width when the dialog grows.
TEST_F(PagesTest, AddImagesFirstOpensWithBothToolbarsWhole) {
  if (!InXvfb()) {
    VEXA_UI_REQUIRE_TOOL("/usr/bin/xvfb-run");
    std::string out;
    const int rc = RunUnderXvfb("PagesTest.AddImagesFirstOpensWithBothToolbarsWhole", "", false, &out, "1280x900x24");
    ASSERT_EQ(rc, 0) << out;
    return;
  }
  for (int i = 0; i < 9; ++i)
    ASSERT_TRUE(Wiz().sessionAlbum->AddStill(Photo("first/p" + std::to_string(i) + ".jpg", 320, 240), 0, 0.0, "",
                                                0, VARIANT_FALSE));
  Sheet(kPageWelcome);
  CvexaAddImagesDlg dialog(Wiz());
  dialog.FolderTree()->SelectFolder(m_temp.Path("first"));
  dialog.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
  QAbstractScrollArea* album = WaitForGallery(dialog.Album());
  ASSERT_TRUE(album);
  ASSERT_TRUE(QTest::qWaitFor([&] { return ThumbnailsOf(album).size() == 9; }, kWaitBoundMs));
  for (const char* name : {"toolbar1097", "toolbar1098", "toolbar1100"}) {
    auto* bar = dialog.findChild<QToolBar*>(name);
    ASSERT_TRUE(bar) << name;
    for (QToolButton* b : bar->findChildren<QToolButton*>()) {
      if (b->objectName() == "qt_toolbar_ext_button") EXPECT_FALSE(b->isVisible()) << name << " overflows";
      else EXPECT_TRUE(b->isVisible()) << b->objectName().toStdString();
    }
  }
  auto* left = dialog.findChild<QWidget*>("ctl_1094");
  auto* right = dialog.findChild<QWidget*>("ctl_1093");
  EXPECT_GE(right->width(), dialog.findChild<QToolBar*>("toolbar1100")->sizeHint().width());
  EXPECT_GE(dialog.height(), 560);
  dialog.grab().save(QString::fromStdString(ShotFolder() + "/add-images-first.png"));
  const int albumWidth = right->width(), leftWidth = left->width();
  dialog.resize(dialog.width() - 120, dialog.height());
  ASSERT_TRUE(QTest::qWaitFor([&] { return left->width() != leftWidth; }, kWaitBoundMs));
  EXPECT_EQ(right->width(), albumWidth);
  EXPECT_EQ(left->width(), leftWidth - 120);
}

// With a window manager on a real display: the preview covers the wizard
// (its picture fills the screen's middle, black around it), and Escape
// brings the wizard back, still running.
TEST_F(PagesTest, ThePreviewIsAboveTheWizard) {
  if (!InXvfb()) {
    VEXA_UI_REQUIRE_TOOL("/usr/bin/xvfb-run");
    VEXA_UI_REQUIRE_TOOL("/usr/bin/openbox");
    std::string out;
    const int rc = RunUnderXvfb("PagesTest.ThePreviewIsAboveTheWizard", "", true, &out, "1024x768x24");
    ASSERT_EQ(rc, 0) << out;
    return;
  }
  ASSERT_TRUE(Wiz().sessionAlbum->AddStill(Photo("stack/a.jpg", 300, 300), 0, 0.0, "", 0, VARIANT_FALSE));
  CvexaPropSheet* sheet = Sheet(kPageSelectPictures);
  ASSERT_TRUE(QTest::qWaitForWindowActive(sheet));
  QAbstractScrollArea* gallery = WaitForGallery(Find<CVEXAThum>(1113));
  ASSERT_TRUE(gallery);
  gallery->setFocus();
  QTest::keyClick(gallery, Qt::Key_A, Qt::ControlModifier);
  QImage during;
  bool topmost = false;
  QString title;
  QTimer::singleShot(0, [&] {
    CvexaPreviewDlg* preview = nullptr;
    if (!QTest::qWaitFor([&] { return (preview = qobject_cast<CvexaPreviewDlg*>(QApplication::activeModalWidget())); },
                         kWaitBoundMs))
      return;
    title = preview->windowTitle();
    topmost = QTest::qWaitFor([&] { return QApplication::activeWindow() == preview; }, kWaitBoundMs);
    // The screen as a person sees it, once the preview has been drawn.
    (void)QTest::qWaitFor([&] {
      during = QGuiApplication::primaryScreen()->grabWindow(0).toImage();
      const QColor middle = during.pixelColor(during.width() / 2, during.height() / 2);
      return middle.blue() > 150 && middle.red() < 90;
    }, kWaitBoundMs);
    during.save(QString::fromStdString(ShotFolder() + "/preview-over-wizard.png"));
    QTest::keyClick(QApplication::focusWidget() ? QApplication::focusWidget() : preview, Qt::Key_Escape);
  });
  vexa::testsupport::Guarded("the preview to close on Escape",
                             [&] { QTest::keyClick(gallery, Qt::Key_P, Qt::ControlModifier); });
  EXPECT_TRUE(topmost);
  // Window lists name it by the product, not by the program.
  EXPECT_EQ(title.toStdString(), "Kv Orlune Disc Creator Software");
  ASSERT_FALSE(during.isNull());
  // The picture (blue) in the middle, black at the sides, nothing of the wizard.
  const QColor middle = during.pixelColor(during.width() / 2, during.height() / 2);
  EXPECT_GT(middle.blue(), 150);
  EXPECT_LT(middle.red(), 90);
  EXPECT_EQ(during.pixelColor(4, during.height() / 2), QColor(Qt::black));
  EXPECT_TRUE(sheet->isVisible());
  EXPECT_TRUE(m_boxes.empty());
}

// The thumbnail view's scroll bar and what it shows agree: at the first row
// the handle is at the top; moving it to the end shows the last row and
// moving it back the first.
TEST_F(PagesTest, TheThumbnailScrollBarFollowsTheView) {
  if (!InXvfb()) {
    VEXA_UI_REQUIRE_TOOL("/usr/bin/xvfb-run");
    std::string out;
    const int rc = RunUnderXvfb("PagesTest.TheThumbnailScrollBarFollowsTheView", "", false, &out, "1280x900x24");
    ASSERT_EQ(rc, 0) << out;
    return;
  }
  for (int i = 0; i < 24; ++i)
    ASSERT_TRUE(Wiz().sessionAlbum->AddStill(Photo("scroll/p" + std::to_string(i) + ".jpg", 160, 120), 0, 0.0, "",
                                                0, VARIANT_FALSE));
  CvexaPropSheet* sheet = Sheet(kPageSelectPictures);
  QAbstractScrollArea* gallery = WaitForGallery(Find<CVEXAThum>(1113));
  ASSERT_TRUE(gallery);
  std::vector<QWidget*> cells;
  ASSERT_TRUE(QTest::qWaitFor([&] { return (cells = ThumbnailsOf(gallery)).size() == 24; }, kWaitBoundMs));
  QScrollBar* bar = gallery->verticalScrollBar();
  QWidget* viewport = gallery->viewport();
  auto shown = [&](QWidget* cell) {
    return viewport->rect().intersects(QRect(cell->mapTo(viewport, QPoint(0, 0)), cell->size()));
  };
  // The bar comes once the pictures are laid out.
  ASSERT_TRUE(QTest::qWaitFor([&] { return bar->isVisible() && bar->maximum() > 0; }, kWaitBoundMs));
  EXPECT_EQ(bar->value(), bar->minimum());
  EXPECT_TRUE(shown(cells.front()));
  EXPECT_FALSE(shown(cells.back()));
  sheet->grab().save(QString::fromStdString(ShotFolder() + "/pictures-scroll.png"));
  bar->setValue(bar->maximum());
  EXPECT_TRUE(shown(cells.back()));
  EXPECT_FALSE(shown(cells.front()));
  bar->setValue(bar->minimum());
  EXPECT_TRUE(shown(cells.front()));
}

namespace {

// The texts of a menu's entries, separators left out.
QStringList EntryTexts(QMenu* menu) {
  QStringList texts;
  for (QAction* a : menu->actions())
    if (!a->isSeparator()) texts << a->text();
  return texts;
}

// Runs once the next popup menu is open: records its name and entries, then
// closes it (or leaves it to `with`, which may choose an entry).
void OnNextMenu(QString* name, QStringList* entries, std::function<void(QMenu*)> with = {}, int timeout = kWaitBoundMs) {
  QTimer::singleShot(0, [=] {
    QMenu* menu = nullptr;
    if (!QTest::qWaitFor([&] { return (menu = qobject_cast<QMenu*>(QApplication::activePopupWidget())); }, timeout))
      return;
    *name = menu->objectName().isEmpty() ? QString("(unnamed menu)") : menu->objectName();
    *entries = EntryTexts(menu);
    if (with) with(menu);
    else menu->close();
  });
}

}  // namespace

// On an 800 by 600 screen at twice the scale: the folder toolbar cannot show
// all its buttons. Its overflow button opens a menu of the hidden ones, whose
// entries work (Add All adds the folder's pictures to the empty album, and
// that first addition can be undone), and the keys of the hidden buttons
// still open their menus, which show each item's key.
TEST_F(PagesTest, HiddenToolbarButtonsAreInTheOverflowMenuAndAnswerTheirKeys) {
  if (!InXvfb()) {
    VEXA_UI_REQUIRE_TOOL("/usr/bin/xvfb-run");
    std::string out;
    const int rc = RunUnderXvfb("PagesTest.HiddenToolbarButtonsAreInTheOverflowMenuAndAnswerTheirKeys",
                                "QT_SCALE_FACTOR=2", false, &out, "1600x1200x24");
    ASSERT_EQ(rc, 0) << out;
    return;
  }
  for (const char* n : {"narrow/x.jpg", "narrow/y.jpg", "narrow/z.jpg"}) Photo(n, 320, 240);
  Sheet(kPageWelcome);
  CvexaAddImagesDlg dialog(Wiz());
  ASSERT_TRUE(ShowOnFolder(dialog, m_temp.Path("narrow")));
  QAbstractScrollArea* folder = WaitForGallery(dialog.FolderPictures());
  ASSERT_TRUE(folder);
  ASSERT_TRUE(QTest::qWaitFor([&] { return ThumbnailsOf(folder).size() == 3; }, kWaitBoundMs));
  EXPECT_EQ(dialog.Album()->GetThumbCount(), 0);

  auto* bar = dialog.findChild<QToolBar*>("toolbar1098");
  ASSERT_TRUE(bar);
  auto* overflow = bar->findChild<QToolButton*>("qt_toolbar_ext_button");
  ASSERT_TRUE(overflow);
  ASSERT_TRUE(QTest::qWaitFor([&] { return overflow->isVisible(); }, kWaitBoundMs)) << "the bar fits: nothing to test";
  QStringList hidden;
  for (QToolButton* b : bar->findChildren<QToolButton*>())
    if (b != overflow && !b->isVisible()) hidden << b->text();
  ASSERT_TRUE(hidden.contains(Ctl<QToolButton>(&dialog, 93)->text())) << hidden.join(',').toStdString();

  QTest::mouseClick(overflow, Qt::LeftButton);
  auto* menu = bar->findChild<QMenu*>("toolbarOverflow");
  ASSERT_TRUE(menu);
  ASSERT_TRUE(QTest::qWaitFor([&] { return menu->isVisible(); }, kWaitBoundMs));
  const QStringList entries = EntryTexts(menu);
  for (const QString& text : hidden) EXPECT_TRUE(entries.contains(text)) << text.toStdString();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(menu));
  QApplication::processEvents();
  QScreen* screen = dialog.screen();
  screen->grabWindow(0).save(QString::fromStdString(ShotFolder() + "/add-images-overflow-menu.png"));
  QMenu* addAll = nullptr;
  for (QAction* a : menu->actions())
    if (a->menu() && a->text() == Ctl<QToolButton>(&dialog, 93)->text()) addAll = a->menu();
  ASSERT_TRUE(addAll);
  QAction* atEnd = addAll->findChild<QAction*>("cmd_32778");
  if (!atEnd)
    for (QAction* a : addAll->actions())
      if (a->objectName() == "cmd_32778") atEnd = a;
  ASSERT_TRUE(atEnd);
  atEnd->trigger();
  menu->close();
  EXPECT_EQ(dialog.Album()->GetThumbCount(), 3);
  // The first pictures of an empty album are undone like any later change.
  auto* undo = dialog.findChild<QToolButton*>("ctl_99");
  EXPECT_TRUE(undo->isEnabled());
  dialog.Undo().Undo();
  EXPECT_EQ(dialog.Album()->GetThumbCount(), 0);
  EXPECT_FALSE(undo->isEnabled());

  // The access keys of hidden buttons open their menus; the items show their keys.
  const struct {
    int key;
    const char* menu;
    const char* item;
  } keys[] = {{Qt::Key_D, "menu_93", "\tCtrl+Shift+Home"}, {Qt::Key_L, "menu_92", "\tAlt+Home"}};
  folder->setFocus();
  for (const auto& k : keys) {
    QString name;
    QStringList items;
    OnNextMenu(&name, &items);
    vexa::testsupport::Guarded(std::string("the menu ") + k.menu + " to be closed",
                               [&] { QTest::keyClick(folder, static_cast<Qt::Key>(k.key), Qt::AltModifier); });
    EXPECT_TRUE(QTest::qWaitFor([&] { return !name.isEmpty(); }, kWaitBoundMs)) << k.menu;
    EXPECT_EQ(name.toStdString(), k.menu);
    EXPECT_TRUE(items.size() == 3 && items[0].endsWith(k.item)) << items.join('|').toStdString();
  }
}

// The album of the add-images dialog has one right-button menu, on a picture
// as between pictures, and it shows the keys of its items.
TEST_F(PagesTest, TheAlbumHasOneRightButtonMenuShowingItsKeys) {
  for (const char* n : {"one/a.jpg", "one/b.jpg"})
    ASSERT_TRUE(Wiz().sessionAlbum->AddStill(Photo(n), 0, 0.0, "", 0, VARIANT_FALSE));
  Sheet(kPageWelcome);
  CvexaAddImagesDlg dialog(Wiz());
  dialog.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
  QAbstractScrollArea* album = WaitForGallery(dialog.Album());
  ASSERT_TRUE(album);
  std::vector<QWidget*> cells;
  ASSERT_TRUE(QTest::qWaitFor([&] { return (cells = ThumbnailsOf(album)).size() == 2; }, kWaitBoundMs));

  // The platform's menu event on a picture opens no menu of its own (a menu
  // that did open would be closed after a second).
  QString name;
  QStringList entries;
  OnNextMenu(&name, &entries, {}, 1000);
  const QPoint at(40, 40);
  QContextMenuEvent event(QContextMenuEvent::Mouse, at, cells[0]->mapToGlobal(at));
  vexa::testsupport::Guarded("the platform's menu event to be handled",
                             [&] { QApplication::sendEvent(cells[0], &event); });
  QApplication::processEvents();
  EXPECT_EQ(name.toStdString(), "");

  // The right button on a picture and on the empty area: the same menu.
  OnNextMenu(&name, &entries);
  vexa::testsupport::Guarded("the picture's right-button menu to be closed",
                             [&] { QTest::mouseClick(cells[0], Qt::RightButton, {}, at); });
  ASSERT_TRUE(QTest::qWaitFor([&] { return !name.isEmpty(); }, kWaitBoundMs));
  const QString onPicture = name;
  const QStringList pictureEntries = entries;
  name.clear();
  OnNextMenu(&name, &entries);
  vexa::testsupport::Guarded("the album's right-button menu to be closed", [&] {
    emit dialog.Album()->mouseUp(2, 0, album->viewport()->width() - 4, album->viewport()->height() - 4);
  });
  ASSERT_TRUE(QTest::qWaitFor([&] { return !name.isEmpty(); }, kWaitBoundMs));
  EXPECT_EQ(onPicture.toStdString(), "menu198");
  EXPECT_EQ(name, onPicture);
  EXPECT_EQ(entries, pictureEntries);
  for (const char* shown : {"Rotate Rig&ht\tCtrl+R", "&Remove\tDel", "Select A&ll\tCtrl+A", "&Undo\tCtrl+Z"})
    EXPECT_TRUE(entries.contains(shown)) << shown << " in " << entries.join('|').toStdString();
}

// Tab on the pictures page goes from Add Images along the toolbar to the
// pictures and on to the sheet's buttons; the pictures show that they have
// the focus.
TEST_F(PagesTest, ThePicturesPageTabOrder) {
  for (const char* n : {"tab/a.jpg", "tab/b.jpg"})
    ASSERT_TRUE(Wiz().sessionAlbum->AddStill(Photo(n), 0, 0.0, "", 0, VARIANT_FALSE));
  CvexaPropSheet* sheet = Sheet(kPageSelectPictures);
  QAbstractScrollArea* gallery = WaitForGallery(Find<CVEXAThum>(1113));
  ASSERT_TRUE(gallery);
  sheet->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(sheet));
  Find<QWidget>(1092)->setFocus();
  std::vector<std::string> stops;
  for (int i = 0; i < 9; ++i) {
    QWidget* f = QApplication::focusWidget();
    ASSERT_TRUE(f);
    stops.push_back(f == gallery ? "pictures" : f->objectName().toStdString());
    if (f == gallery) {
      auto* outline = gallery->findChild<QWidget*>("focusOutline");
      ASSERT_TRUE(outline);
      EXPECT_TRUE(outline->isVisible());
    }
    QTest::keyClick(f, Qt::Key_Tab);
  }
  const std::vector<std::string> expected = {"ctl_1092", "ctl_115", "ctl_110", "ctl_111", "ctl_112", "pictures"};
  ASSERT_GE(stops.size(), expected.size());
  EXPECT_EQ(std::vector<std::string>(stops.begin(), stops.begin() + 6), expected);
  EXPECT_FALSE(gallery->findChild<QWidget*>("focusOutline")->isVisible()) << "it goes with the focus";
}

// One picture of the album chosen, moved, turned and removed with the keys
// alone: the arrows, Home and End choose it and select it alone, Space turns
// its selection over, and the menu key and Shift+F10 open the page's menu at
// it.
TEST_F(PagesTest, TheAlbumIsUsedFromTheKeyboard) {
  const char* names[] = {"board/a.jpg", "board/b.jpg", "board/c.jpg", "board/d.jpg", "board/e.jpg"};
  for (const char* n : names) ASSERT_TRUE(Wiz().sessionAlbum->AddStill(Photo(n), 0, 0.0, "", 0, VARIANT_FALSE));
  CvexaPropSheet* sheet = Sheet(kPageSelectPictures);
  auto* thumbs = Find<CVEXAThum>(1113);
  QAbstractScrollArea* gallery = WaitForGallery(thumbs);
  ASSERT_TRUE(gallery);
  std::vector<QWidget*> cells;
  ASSERT_TRUE(QTest::qWaitFor([&] { return (cells = ThumbnailsOf(gallery)).size() == 5; }, 10000))
      << "the album did not show its five pictures";
  sheet->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(sheet));
  gallery->setFocus();
  // The name of the one selected picture, "" when the selection is not one.
  auto selected = [&] {
    return thumbs->GetSelectionCount() == 1 ? vexa::base::BaseName(thumbs->GetThumbFilePath(thumbs->GetFirstSelected()))
                                            : std::string();
  };
  int row = 0;
  while (row < 5 && cells[static_cast<std::size_t>(row)]->y() == cells[0]->y()) ++row;
  const std::string below = row < 5 ? std::string(1, static_cast<char>('a' + row)) + ".jpg" : "a.jpg";
  const struct {
    Qt::Key key;
    std::string chosen;
  } moves[] = {{Qt::Key_Right, "a.jpg"}, {Qt::Key_Right, "b.jpg"}, {Qt::Key_End, "e.jpg"}, {Qt::Key_Left, "d.jpg"},
               {Qt::Key_Home, "a.jpg"},  {Qt::Key_Left, "a.jpg"},  {Qt::Key_Down, below},   {Qt::Key_Home, "a.jpg"},
               {Qt::Key_Right, "b.jpg"}};
  for (const auto& m : moves) {
    QTest::keyClick(gallery, m.key);
    EXPECT_EQ(selected(), m.chosen) << "after key " << m.key;
  }
  // Space takes the current picture out of the selection and puts it back.
  QTest::keyClick(gallery, Qt::Key_Space);
  EXPECT_EQ(thumbs->GetSelectionCount(), 0);
  QTest::keyClick(gallery, Qt::Key_Space);
  EXPECT_EQ(selected(), "b.jpg");

  // Moved one place on and turned, by the page's keys.
  QTest::keyClick(gallery, Qt::Key_Right, Qt::ControlModifier);
  EXPECT_EQ(vexa::base::BaseName(Stills()[2]->Path()), "b.jpg");
  gallery = WaitForGallery(thumbs);
  gallery->setFocus();
  QTest::keyClick(gallery, Qt::Key_R, Qt::ControlModifier);
  EXPECT_EQ(Stills()[2]->Rotation(), 90);

  // The menu key: the page's menu, at the picture; Remove takes it away.
  gallery = WaitForGallery(thumbs);
  gallery->setFocus();
  EXPECT_EQ(selected(), "b.jpg");
  const std::vector<QWidget*> now = ThumbnailsOf(gallery);
  ASSERT_EQ(now.size(), 5u);
  const QRect cell(now[2]->mapToGlobal(QPoint(0, 0)), now[2]->size());
  QString name;
  QPoint shownAt;
  QTimer::singleShot(0, [&] {
    QMenu* menu = nullptr;
    if (!QTest::qWaitFor([&] { return (menu = qobject_cast<QMenu*>(QApplication::activePopupWidget())); }, 5000))
      return;
    name = menu->objectName();
    shownAt = menu->pos();
    for (QAction* a : menu->actions())
      if (a->text().section('\t', 0, 0) == "&Remove") menu->setActiveAction(a);
    QTest::keyClick(menu, Qt::Key_Return);
  });
  QTest::keyClick(gallery, Qt::Key_Menu);
  EXPECT_EQ(name.toStdString(), "menu199") << "the menu key opened no menu";
  EXPECT_TRUE(cell.contains(shownAt)) << "the menu opened at " << shownAt.x() << "," << shownAt.y();
  ASSERT_TRUE(QTest::qWaitFor([&] { return thumbs->GetThumbCount() == 4; }, 5000)) << "Remove took nothing away";
  ASSERT_EQ(Stills().size(), 4u);
  for (const auto& still : Stills()) EXPECT_NE(vexa::base::BaseName(still->Path()), "b.jpg");

  // Shift+F10 opens it too.
  gallery = WaitForGallery(thumbs);
  gallery->setFocus();
  QTest::keyClick(gallery, Qt::Key_Home);
  name.clear();
  QStringList entries;
  OnNextMenu(&name, &entries);
  QTest::keyClick(gallery, Qt::Key_F10, Qt::ShiftModifier);
  EXPECT_EQ(name.toStdString(), "menu199") << "Shift+F10 opened no menu";
}
