// Shows the status dialog in the middle of a run (the disc checked, the
// photo show being made, a minute to go) in a real window and saves a
// screenshot of it: vexacore-status-demo <screenshot.png>
#include <QApplication>
#include <QGuiApplication>
#include <QScreen>
#include <QTimer>
#include <QWindow>
#include <cstdio>

#include "core/CoreUtil.h"
#include "core/QtUi.h"
#include "core/StringTable.h"

using namespace vexa::core;

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: vexacore-status-demo <screenshot.png>\n");
    return 2;
  }
  QApplication app(argc, argv);
  CVexaCoreUtil util;
  util.SetStrings(LoadLanguageLibrary("ENU"));
  CvexaStatusDlg dlg(util);
  dlg.ShowStep1(false);
  dlg.ShowStep3(true);
  dlg.SetStatusText(FormatMessageText(util.LoadString(63, "Time Remaining: %1!s!:%2!s!"), {"1", "05"}));
  dlg.SetProgress(40);
  dlg.move(20, 20);
  dlg.Show();
  const QString path = QString::fromLocal8Bit(argv[1]);
  int rc = 1;
  QTimer::singleShot(800, &app, [&] {
    QScreen* screen = dlg.windowHandle() ? dlg.windowHandle()->screen() : QGuiApplication::primaryScreen();
    const QPixmap shot = screen->grabWindow(dlg.winId());
    rc = !shot.isNull() && shot.save(path, "PNG") ? 0 : 1;
    // exit, not quit: the status window refuses to be closed.
    app.exit(0);
  });
  app.exec();
  if (rc != 0) std::fprintf(stderr, "cannot save %s\n", argv[1]);
  return rc;
}
