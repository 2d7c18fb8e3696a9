#include "wizard/Launcher.h"

#include <QApplication>
#include <QEventLoop>
#include <QProcess>
#include <QStandardPaths>
#include <QTimer>
#include <QUrl>
#include <chrono>

namespace vexa::wiz {

namespace {
Launcher& Current() {
  static Launcher launcher;
  return launcher;
}

int& Running() {
  static int running = 0;
  return running;
}

std::chrono::milliseconds& Patience() {
  static std::chrono::milliseconds patience{5000};
  return patience;
}

QUrl ToUrl(const std::string& target) {
  const QString t = QString::fromStdString(target);
  if (t.startsWith('/')) {
    // A help page carries its anchor after '#'.
    const int hash = t.indexOf('#');
    QUrl url = QUrl::fromLocalFile(hash < 0 ? t : t.left(hash));
    if (hash >= 0) url.setFragment(t.mid(hash + 1));
    return url;
  }
  return QUrl(t);
}

// Runs the desktop's helper and waits for its answer: an exit status of 0
// is success, anything else (no such helper, no program for the file, the
// program failed) is failure. A helper that is still running when patience
// runs out has started a program that stays open (some helpers wait for the
// player they start): that counts as success and the helper is left to run.
// The windows keep painting meanwhile; what the user does waits.
bool RunHelper(const QString& program, const QStringList& arguments) {
  const QString path = QStandardPaths::findExecutable(program);
  if (path.isEmpty()) return false;
  auto* process = new QProcess;
  process->setProgram(path);
  process->setArguments(arguments);
  process->setStandardInputFile(QProcess::nullDevice());
  process->setStandardOutputFile(QProcess::nullDevice());
  process->setStandardErrorFile(QProcess::nullDevice());
  QEventLoop loop;
  enum class End { Running, Exited, Failed } end = End::Running;
  int status = -1;
  QObject::connect(process, &QProcess::finished, &loop, [&](int code, QProcess::ExitStatus how) {
    end = End::Exited;
    status = how == QProcess::NormalExit ? code : -1;
    loop.quit();
  });
  QObject::connect(process, &QProcess::errorOccurred, &loop, [&](QProcess::ProcessError error) {
    if (error != QProcess::FailedToStart) return;
    end = End::Failed;
    loop.quit();
  });
  QTimer patience;
  patience.setSingleShot(true);
  QObject::connect(&patience, &QTimer::timeout, &loop, &QEventLoop::quit);
  process->start();
  patience.start(Patience());
  if (end == End::Running) {
    QApplication::setOverrideCursor(Qt::BusyCursor);
    loop.exec(QEventLoop::ExcludeUserInputEvents);
    QApplication::restoreOverrideCursor();
  }
  QObject::disconnect(process, nullptr, &loop, nullptr);
  if (end == End::Running) {
    // Left running; it removes itself when it ends.
    ++Running();
    QObject::connect(process, &QProcess::finished, process, [process] {
      --Running();
      process->deleteLater();
    });
    return true;
  }
  process->deleteLater();
  return end == End::Exited && status == 0;
}
}  // namespace

void SetLauncher(Launcher launcher) { Current() = std::move(launcher); }

void SetLaunchPatience(std::chrono::milliseconds patience) { Patience() = patience; }

int HelpersStillRunning() { return Running(); }

bool Launch(const std::string& verb, const std::string& target) {
  if (Current()) return Current()(verb, target);
  if (target.empty()) return false;
  if (verb == "properties") {
    // The file manager's properties window, when one offers it on the bus.
    const QString uri = QUrl::fromLocalFile(QString::fromStdString(target)).toString();
    return RunHelper("gdbus", {"call", "--session", "--dest", "org.freedesktop.FileManager1", "--object-path",
                               "/org/freedesktop/FileManager1", "--method",
                               "org.freedesktop.FileManager1.ShowItemProperties", "['" + uri + "']", ""});
  }
  // "open", "play" and "help" all go to the desktop's opener, which knows
  // the program for each kind of file and for web pages.
  return RunHelper("xdg-open", {ToUrl(target).toString(QUrl::FullyEncoded)});
}

}  // namespace vexa::wiz
