// vexa's message box on Qt's offscreen platform: the failure box carries the
// caption, the text with plain line breaks, the error icon and one OK
// button, and ShowMessage returns once the user has pressed OK.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <cstdlib>
#include <string>

#include "apps/vexa/Resources.h"
#include "apps/vexa/VexaUi.h"
#include "tests/support/UiWaits.h"

namespace vexa::app {
namespace {

struct Seen {
  bool shown = false;
  QString title, text;
  QMessageBox::Icon icon = QMessageBox::NoIcon;
  int buttons = 0;
  bool okIsThere = false;
};

// Looks at the modal box once it is up and presses its OK button.
void PressOkWhenShown(Seen* seen) {
  QTimer::singleShot(0, [seen] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (!box) {
      PressOkWhenShown(seen);  // not up yet
      return;
    }
    seen->shown = true;
    seen->title = box->windowTitle();
    seen->text = box->text();
    seen->icon = box->icon();
    seen->buttons = static_cast<int>(box->buttons().size());
    QAbstractButton* ok = box->button(QMessageBox::Ok);
    seen->okIsThere = ok != nullptr;
    if (ok) {
      QTest::mouseClick(ok, Qt::LeftButton);
    } else {
      box->reject();
    }
  });
}

TEST(MessageBoxTest, TheFailureBoxShowsItsTextsAndEndsOnOk) {
  ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
  int argc = 1;
  char name[] = "vexa";
  char* argv[] = {name, nullptr};
  QApplication app(argc, argv);

  const std::unique_ptr<VexaUi> ui = MakeQtUi();
  Seen seen;
  PressOkWhenShown(&seen);
  {
    const testsupport::UiWatchdog dog("the failure box to show and close on OK");
    ui->ShowMessage(kErrorCaptionFallback, kFailureTextFallback, true);
  }
  ASSERT_TRUE(seen.shown);
  EXPECT_EQ(seen.title.toStdString(), "Kv Orlune Disc Creator Software - Error");
  EXPECT_TRUE(seen.text.startsWith(
      "The orlune disc creator software detected a problem and cannot continue.\n\n"
      "Try the following in the order given:\n   - Reboot your computer.\n"));
  EXPECT_FALSE(seen.text.contains('\r'));
  EXPECT_EQ(seen.icon, QMessageBox::Critical);
  EXPECT_EQ(seen.buttons, 1);
  EXPECT_TRUE(seen.okIsThere);
}

}  // namespace
}  // namespace vexa::app
