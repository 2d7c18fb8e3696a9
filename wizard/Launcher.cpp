#include "wizard/Launcher.h"

#include <QDesktopServices>
#include <QProcess>
#include <QUrl>

namespace vexa::wiz {

namespace {
Launcher& Current() {
  static Launcher launcher;
  return launcher;
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
}  // namespace

void SetLauncher(Launcher launcher) { Current() = std::move(launcher); }

bool Launch(const std::string& verb, const std::string& target) {
  if (Current()) return Current()(verb, target);
  if (target.empty()) return false;
  if (verb == "properties") {
    // The file manager's properties window, when one offers it on the bus.
    const QString uri = QUrl::fromLocalFile(QString::fromStdString(target)).toString();
    return QProcess::startDetached("gdbus", {"call", "--session", "--dest", "org.freedesktop.FileManager1",
                                             "--object-path", "/org/freedesktop/FileManager1", "--method",
                                             "org.freedesktop.FileManager1.ShowItemProperties",
                                             "['" + uri + "']", ""});
  }
  return QDesktopServices::openUrl(ToUrl(target));
}

}  // namespace vexa::wiz
