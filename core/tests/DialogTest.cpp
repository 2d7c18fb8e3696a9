// The status and message dialogs on Qt's offscreen platform, driven by real
// clicks and keys (QTest), and the picture and text controls they are made
// of.
#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <functional>
#include <optional>

#include "core/Controls.h"
#include "core/HeadlessUi.h"
#include "core/QtUi.h"
#include "core/StringTable.h"
#include "core/tests/CoreTestSupport.h"
#include "core/tests/StatusSequence.h"
#include "tests/support/UiWaits.h"

namespace vexa::core::test {
namespace {

using namespace vexa::com;

class DialogTest : public CoreTest {
 protected:
  void SetUp() override {
    CoreTest::SetUp();
    ASSERT_TRUE(EnsureApplication()) << "the tests run on the offscreen platform";
    windows_.emplace("the test's windows to be answered and its waits to end");
    log_ = std::make_shared<LogStore>();
    util_.SetLogger(MakeFakeLogger(log_));
    util_.SetStrings(LoadLanguageLibrary("ENU"));
  }
  template <typename W = QWidget>
  static W* Child(QWidget* parent, int id) {
    return parent->findChild<W*>(QString::number(id));
  }
  // Runs action on the modal window once it is up.
  static void WhenModal(std::function<void(QWidget*)> action) {
    auto* timer = new QTimer(qApp);
    timer->setInterval(2);
    QObject::connect(timer, &QTimer::timeout, timer, [timer, action] {
      QWidget* w = QApplication::activeModalWidget();
      if (!w) return;
      timer->stop();
      timer->deleteLater();
      action(w);
    });
    timer->start();
  }

  std::shared_ptr<LogStore> log_;
  CVexaCoreUtil util_;
  std::optional<testsupport::UiWatchdog> windows_;  // the bound of the test's modal windows and waits
};

TEST_F(DialogTest, StepsMarkTheCurrentRowAndFinishedLabelsStayBlue) {
  CvexaStatusDlg dlg(util_);
  dlg.Show();
  const QColor blue(0, 0, 0xFF);
  // Step 1 is current when the dialog opens.
  EXPECT_TRUE(Child(&dlg, 1073)->isVisible());
  EXPECT_EQ(dlg.Label(1)->TextColor(), blue);
  for (int step = 2; step <= 6; ++step) EXPECT_FALSE(dlg.Marker(step)->isVisible()) << step;
  EXPECT_EQ(dlg.Label(3)->text(), "Creating the photo show");

  EXPECT_FALSE(dlg.Label(2)->isEnabled());
  dlg.ShowStep2(true);
  EXPECT_TRUE(dlg.Label(2)->isEnabled());
  EXPECT_EQ(dlg.Label(2)->TextColor(), blue);
  dlg.ShowStep1(false);
  dlg.ShowStep2(false);
  dlg.ShowStep3(true);
  EXPECT_TRUE(Child(&dlg, 1079)->isVisible());
  EXPECT_EQ(Child<CColorLabel>(&dlg, 1029)->TextColor(), blue);
  dlg.ShowStep3(false);
  EXPECT_FALSE(Child(&dlg, 1079)->isVisible());
  EXPECT_EQ(Child<CColorLabel>(&dlg, 1029)->TextColor(), blue);
  EXPECT_EQ(Child<CColorLabel>(&dlg, 1090)->TextColor(), blue);
  EXPECT_NE(Child<CColorLabel>(&dlg, 1030)->TextColor(), blue);

  dlg.SetStatusText("Time Remaining: 1:05");
  EXPECT_EQ(Child<QLabel>(&dlg, 1032)->text(), "Time Remaining: 1:05");
  EXPECT_EQ(dlg.StatusText(), "Time Remaining: 1:05");
  dlg.SetProgress(150);
  EXPECT_EQ(Child<QProgressBar>(&dlg, 1076)->value(), 100);
  EXPECT_EQ(dlg.Progress(), 100);
}

TEST_F(DialogTest, EscAndCancelOnlyRequestOkEndsAndTheExtraButtonAsksForACopy) {
  CvexaStatusDlg dlg(util_);
  dlg.Show();
  QTest::keyClick(&dlg, Qt::Key_Escape);
  EXPECT_TRUE(dlg.cancelRequested);
  EXPECT_FALSE(dlg.okPressed);
  EXPECT_FALSE(dlg.extraButtonPressed);
  EXPECT_TRUE(dlg.isVisible());

  dlg.cancelRequested = false;
  QTest::mouseClick(Child<QPushButton>(&dlg, 2), Qt::LeftButton);
  EXPECT_TRUE(dlg.cancelRequested);
  EXPECT_TRUE(dlg.isVisible());
  dlg.cancelRequested = false;
  dlg.close();
  EXPECT_TRUE(dlg.cancelRequested);
  EXPECT_TRUE(dlg.isVisible());

  // OK and the extra button start disabled; a click on them does nothing.
  QTest::mouseClick(Child<QPushButton>(&dlg, 1), Qt::LeftButton);
  QTest::mouseClick(Child<QPushButton>(&dlg, 3), Qt::LeftButton);
  EXPECT_FALSE(dlg.okPressed);
  EXPECT_FALSE(dlg.extraButtonPressed);
  dlg.EnableButton(kButtonExtra, true);
  dlg.EnableButton(kButtonOK, true);
  dlg.EnableButton(kButtonCancel, false);
  QTest::mouseClick(Child<QPushButton>(&dlg, 3), Qt::LeftButton);
  EXPECT_TRUE(dlg.extraButtonPressed);
  EXPECT_TRUE(dlg.isVisible());
  QTest::mouseClick(Child<QPushButton>(&dlg, 1), Qt::LeftButton);
  EXPECT_TRUE(dlg.okPressed);
  EXPECT_FALSE(dlg.isVisible());
}

TEST_F(DialogTest, TheBannerShowsBitmap153WithItsTextAndNotifiesItsParent) {
  CvexaStatusDlg dlg(util_);
  dlg.Show();
  CBitmapCtrl* banner = dlg.Banner();
  ASSERT_EQ(banner, Child<CBitmapCtrl>(&dlg, 1074));
  EXPECT_FALSE(banner->Bitmap().isNull());
  EXPECT_EQ(banner->Text(), "Kv Orlune Disc Creator");
  EXPECT_EQ(banner->Text(), Child<QLabel>(&dlg, 1111)->text());

  QSignalSpy spy(banner, &CBitmapCtrl::parentNotified);
  banner->grab();
  banner->grab();
  ASSERT_EQ(spy.count(), 2);
  EXPECT_EQ(spy.at(0).at(0).toInt(), 0x48E);

  // A missing picture keeps the one shown before.
  const qint64 before = banner->Bitmap().cacheKey();
  EXPECT_FALSE(banner->LoadBitmap(util_.Strings(), 999));
  EXPECT_EQ(banner->Bitmap().cacheKey(), before);
  EXPECT_FALSE(banner->LoadBitmap(util_.Strings(), std::string("../bitmap153.png")));
  EXPECT_EQ(banner->Bitmap().cacheKey(), before);
  EXPECT_TRUE(banner->LoadBitmap(util_.Strings(), std::string("bitmap153.png")));

  // Without a picture only the text is drawn, and the parent hears nothing.
  CBitmapCtrl plain;
  plain.resize(120, 40);
  plain.SetText("Text only");
  QSignalSpy quiet(&plain, &CBitmapCtrl::parentNotified);
  const QImage image = plain.grab().toImage();
  EXPECT_EQ(quiet.count(), 0);
  int dark = 0;
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x) dark += qGray(image.pixel(x, y)) < 100;
  EXPECT_GT(dark, 10);
}

TEST_F(DialogTest, ColourLabelsPaintTheirColours) {
  CColorLabel label;
  label.resize(60, 20);
  label.setText("X");
  label.backgroundSet = true;
  label.backgroundColor = QColor(0, 200, 0);
  label.SetTextColor(QColor(200, 0, 0));
  const QImage image = label.grab().toImage();
  EXPECT_EQ(image.pixelColor(1, 1), QColor(0, 200, 0));
  bool red = false;
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x) red = red || qRed(image.pixel(x, y)) > 150;
  EXPECT_TRUE(red);
}

TEST_F(DialogTest, PathSplitterGivesNameAndExtension) {
  EXPECT_EQ(CPathSplitter("/photos/2002/beach day.JPG").NameAndExtension(), "beach day.JPG");
  EXPECT_EQ(CPathSplitter("/pics/a.b.c").NameAndExtension(), "a.b.c");
  // A backslash is a character of a Linux file name, not a separator.
  EXPECT_EQ(CPathSplitter("/pics/back\\slash.jpg").NameAndExtension(), "back\\slash.jpg");
  EXPECT_EQ(CPathSplitter("noext").NameAndExtension(), "noext");
  EXPECT_EQ(CPathSplitter("/dir/").NameAndExtension(), "");
  EXPECT_EQ(CPathSplitter(std::string(300, 'n') + ".jpg").NameAndExtension(), std::string(255, 'n') + ".jpg");
}

TEST_F(DialogTest, MessagesAnswerTheButtonPressed) {
  struct Case {
    int type;
    int control;  // 0: the Esc key
    int expected;
    const char* first;
    const char* second;
  };
  const Case cases[] = {
      {kMessageOK, 161, kIDOK, "OK", ""},          {kMessageOKCancel, 1, kIDOK, "OK", "Cancel"},
      {kMessageOKCancel, 2, kIDCANCEL, "OK", "Cancel"}, {kMessageOKCancel, 0, kIDCANCEL, "OK", "Cancel"},
      {2, 1, kIDOK, "OK", "Cancel"},                 {2, 2, kIDCANCEL, "OK", "Cancel"},
      {kMessageYesNo, 1, kIDYES, "Yes", "No"},       {kMessageYesNo, 2, kIDNO, "Yes", "No"},
      {kMessageYesNo, 0, kIDNO, "Yes", "No"},
  };
  for (const Case& c : cases) {
    QString first, second, caption;
    bool singleShown = false, pairShown = false;
    WhenModal([&](QWidget* w) {
      caption = w->windowTitle();
      singleShown = Child(w, 161)->isVisible();
      pairShown = Child(w, 1)->isVisible() && Child(w, 2)->isVisible();
      first = singleShown ? Child<QPushButton>(w, 161)->text() : Child<QPushButton>(w, 1)->text();
      second = pairShown ? Child<QPushButton>(w, 2)->text() : QString();
      if (c.control == 0) {
        QTest::keyClick(w, Qt::Key_Escape);
      } else {
        QTest::mouseClick(Child<QPushButton>(w, c.control), Qt::LeftButton);
      }
    });
    const int result = DoMessage(util_, c.type, "A question?", c.type == kMessageOK, false, false, nullptr);
    EXPECT_EQ(result, c.expected) << c.type << " " << c.control;
    EXPECT_EQ(singleShown, c.type == kMessageOK);
    EXPECT_EQ(pairShown, c.type != kMessageOK);
    if (c.type == kMessageYesNo) {
      EXPECT_EQ(first, "Yes");
      EXPECT_EQ(second, "No");
    } else {
      EXPECT_EQ(first.toStdString(), c.first);
      EXPECT_EQ(second.toStdString(), c.second);
    }
    EXPECT_EQ(caption.toStdString(), c.type == kMessageOK ? "Kv Orlune Disc Creator Software - Error"
                                                          : "Kv Orlune Disc Creator Software - Message");
  }
}

// Enter answers the default button: the first, or the second where the type
// marks it (a question whose Yes cannot be undone), in the message dialog
// and in the system's message box alike.
TEST_F(DialogTest, EnterAnswersTheDefaultButton) {
  struct Case {
    int type;
    bool systemBox;
    int expected;
  };
  const Case cases[] = {
      {kMessageYesNo, false, kIDYES},
      {kMessageYesNo | kMessageSecondDefault, false, kIDNO},
      {kMessageOKCancel | kMessageSecondDefault, false, kIDCANCEL},
      {kMessageYesNo, true, kIDYES},
      {kMessageYesNo | kMessageSecondDefault, true, kIDNO},
      {kMessageOK | kMessageSecondDefault, false, kIDOK},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.type << (c.systemBox ? " system box" : ""));
    bool yesShown = false;
    WhenModal([&](QWidget* w) {
      if (auto* box = qobject_cast<QMessageBox*>(w)) {
        yesShown = box->button(QMessageBox::Yes) != nullptr;
      } else {
        auto* first = Child<QPushButton>(w, MessageButtons(c.type) == kMessageOK ? 161 : 1);
        yesShown = first->isVisible();
      }
      // The key goes where a user's would: to the widget with the focus (a
      // focused button takes Enter for itself).
      QWidget* focus = w->focusWidget();
      QTest::keyClick(focus ? focus : w, Qt::Key_Return);
    });
    EXPECT_EQ(DoMessage(util_, c.type, "Are you sure you want to cancel?", false, false, c.systemBox, nullptr),
              c.expected);
    EXPECT_TRUE(yesShown);
  }
}

TEST_F(DialogTest, TheReminderControlRecordsAClickThatASecondClickDoesNotUndo) {
  bool boxShown = false;
  WhenModal([&](QWidget* w) {
    auto* box = Child<QCheckBox>(w, 1112);
    boxShown = box->isVisible();
    QTest::mouseClick(box, Qt::LeftButton);
    QTest::mouseClick(box, Qt::LeftButton);
    QTest::mouseClick(Child<QPushButton>(w, 161), Qt::LeftButton);
  });
  bool clicked = false;
  EXPECT_EQ(DoMessage(util_, kMessageOK, "You have inserted CD-R media.", false, true, false, &clicked), kIDOK);
  EXPECT_TRUE(boxShown);
  EXPECT_TRUE(clicked);

  WhenModal([&](QWidget* w) {
    boxShown = Child(w, 1112)->isVisible();
    QTest::keyClick(w, Qt::Key_Return);
  });
  clicked = true;
  EXPECT_EQ(DoMessage(util_, kMessageOK, "No reminder control here.", false, false, false, &clicked), kIDOK);
  EXPECT_FALSE(boxShown);
  EXPECT_FALSE(clicked);
}

TEST_F(DialogTest, AShortMessageReadsAsPlainTextALongOneScrolls) {
  MessageDlg shortDlg(util_);
  shortDlg.messageText = "Erase Completed";
  shortDlg.firstButtonText = "OK";
  shortDlg.OnInitDialog();
  auto* text = Child<QPlainTextEdit>(&shortDlg, 2001);
  EXPECT_EQ(text->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
  EXPECT_EQ(text->frameShape(), QFrame::NoFrame);
  EXPECT_EQ(text->toPlainText(), "Erase Completed");

  MessageDlg longDlg(util_);
  std::string many;
  for (int i = 0; i < 40; ++i) many += "Line " + std::to_string(i) + " of a long list of images\r\n";
  longDlg.messageText = many;
  longDlg.firstButtonText = "OK";
  longDlg.secondButtonText = "Cancel";
  longDlg.OnInitDialog();
  auto* longText = Child<QPlainTextEdit>(&longDlg, 2001);
  EXPECT_EQ(longText->verticalScrollBarPolicy(), Qt::ScrollBarAsNeeded);
  EXPECT_NE(longText->frameShape(), QFrame::NoFrame);
}

TEST_F(DialogTest, TheSystemMessageBoxAnswersLikeTheDialog) {
  struct Case {
    int type;
    QMessageBox::StandardButton press;
    int expected;
  };
  for (const Case& c : {Case{kMessageYesNo, QMessageBox::Yes, kIDYES}, Case{kMessageYesNo, QMessageBox::No, kIDNO},
                        Case{kMessageOKCancel, QMessageBox::Cancel, kIDCANCEL}, Case{kMessageOK, QMessageBox::Ok, kIDOK}}) {
    QString caption;
    WhenModal([&](QWidget* w) {
      auto* box = qobject_cast<QMessageBox*>(w);
      ASSERT_TRUE(box);
      caption = box->windowTitle();
      QTest::mouseClick(box->button(c.press), Qt::LeftButton);
    });
    EXPECT_EQ(DoMessage(util_, c.type, "The disc in the CD Writer is read only.", true, false, true, nullptr), c.expected);
    EXPECT_EQ(caption, "Kv Orlune Disc Creator Software - Error");
  }
}

TEST_F(DialogTest, TheSixStepsRunWithProgressAndACancelRequestOnTheOffscreenPlatform) {
  QtUi ui(util_);
  EXPECT_FALSE(ui.HasStatusDialog());
  std::vector<std::string> shown;
  std::vector<int> current;
  const int stopped = RunStatusSequence(ui, util_, [&](int step) {
    CvexaStatusDlg* dlg = ui.StatusWindow();
    ASSERT_TRUE(dlg);
    shown.push_back(dlg->StatusText());
    EXPECT_EQ(dlg->Progress(), 100);
    for (int s = 1; s <= 6; ++s) {
      if (dlg->Marker(s)->isVisible()) current.push_back(s);
    }
    // The user clicks Cancel during the burn.
    if (step == 6) QTest::mouseClick(Child<QPushButton>(dlg, 2), Qt::LeftButton);
  });
  EXPECT_EQ(stopped, 6);
  EXPECT_EQ(shown, StatusSequenceTexts(util_));
  EXPECT_EQ(current, (std::vector<int>{1, 2, 3, 4, 5, 6}));
  ASSERT_TRUE(ui.StatusWindow());
  EXPECT_TRUE(ui.StatusWindow()->cancelRequested);
  EXPECT_TRUE(ui.StatusWindow()->isVisible());
  // The run itself logs nothing of its status texts.
  for (const auto& l : log_->lines) EXPECT_NE(l.type, "INFO") << l.text;
  ui.DestroyStatus();
  EXPECT_FALSE(ui.HasStatusDialog());
}

TEST_F(DialogTest, TheWaitPumpsEventsWhileAWorkerRuns) {
  QtUi ui(util_);
  Completion done;
  int wakes = 0;
  QTimer::singleShot(10, [&] { done.Set(); });
  ui.WaitWithMessagePump(done, [&] { ++wakes; });
  EXPECT_TRUE(done.IsSet());
  EXPECT_GE(wakes, 1);

  Completion fromThread;
  std::thread worker([&] { fromThread.Set(); });
  ui.WaitWithMessagePump(fromThread, {});
  worker.join();
  EXPECT_TRUE(fromThread.IsSet());

  bool fired = false;
  QTimer::singleShot(0, [&] { fired = true; });
  ui.WaitFor(std::chrono::milliseconds(20));
  EXPECT_TRUE(fired);
}

TEST_F(DialogTest, AWaitForWorkEndsWithTheWorkAndKeepsPumping) {
  // Both back ends: the work's end, set on another thread, ends a wait that
  // would otherwise last ten minutes. Under Qt the worker is started by a
  // timer event, so it only runs once the wait handles the window's events.
  QtUi qt(util_);
  HeadlessUi headless;
  for (UiPort* ui : {static_cast<UiPort*>(&qt), static_cast<UiPort*>(&headless)}) {
    Completion end;
    std::thread worker;
    auto startWorker = [&] { worker = std::thread([&] { end.Set(); }); };
    if (ui == &qt) {
      QTimer::singleShot(0, startWorker);
    } else {
      startWorker();
    }
    ui->WaitFor(std::chrono::minutes(10), end);
    worker.join();
    EXPECT_TRUE(end.IsSet());
    // Work that has already ended is not waited for.
    ui->WaitFor(std::chrono::minutes(10), end);
  }
  // A wait whose work goes on lasts its longest time.
  Completion never;
  qt.WaitFor(std::chrono::milliseconds(5), never);
  headless.WaitFor(std::chrono::milliseconds(5), never);
  EXPECT_FALSE(never.IsSet());
}

}  // namespace
}  // namespace vexa::core::test

#include "core/tests/CoreFixture.h"

namespace vexa::core::test {
namespace {

// The whole run with the real dialogs: a user who clicks OK once the disc is
// done.
class QtRunTest : public CoreFixture {};

TEST_F(QtRunTest, TheRunShowsTheRealDialogAndEndsOnARealClick) {
  ASSERT_TRUE(EnsureApplication());
  defaultUi_ = true;
  ASSERT_EQ(MakeAndInit(VEXACoreShowStatusAll), S_OK) << ErrorText();
  AddPhotos(2);
  auto* qt = dynamic_cast<QtUi*>(Object(core_.Get())->Ui());
  ASSERT_TRUE(qt);
  std::vector<QString> seen;
  QTimer clicker;
  clicker.setInterval(0);
  QObject::connect(&clicker, &QTimer::timeout, [&] {
    CvexaStatusDlg* dlg = qt->StatusWindow();
    if (!dlg || !dlg->isVisible()) return;
    const QString text = dlg->findChild<QLabel*>("1032")->text();
    if (seen.empty() || seen.back() != text) seen.push_back(text);
    auto* ok = dlg->findChild<QPushButton*>("1");
    if (ok->isEnabled()) QTest::mouseClick(ok, Qt::LeftButton);
  });
  clicker.start();
  {
    const testsupport::UiWatchdog dog("the run to end on the click on OK");
    EXPECT_EQ(core_->CreateVCD(VARIANT_FALSE, VARIANT_FALSE, VARIANT_TRUE), S_OK) << ErrorText();
  }
  clicker.stop();
  EXPECT_EQ(engine_->burns, 1);
  EXPECT_FALSE(qt->StatusWindow()->isVisible());
  EXPECT_TRUE(qt->StatusWindow()->okPressed == false);
  EXPECT_NE(std::find(seen.begin(), seen.end(), "Orlune disc creation process complete!"), seen.end());
  EXPECT_NE(std::find(seen.begin(), seen.end(), "Time Remaining: 0:30"), seen.end());
}

}  // namespace
}  // namespace vexa::core::test
