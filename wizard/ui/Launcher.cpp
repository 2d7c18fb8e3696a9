#include "wizard/ui/Launcher.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <QEventLoop>
#include <QSocketNotifier>
#include <QStandardPaths>
#include <QTimer>
#include <QUrl>
#include <chrono>
#include <functional>
#include <memory>
#include <vector>

extern char** environ;

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

// A started helper: its process id and a descriptor that becomes readable
// when it ends (-1 when the system offers none; it is then looked at now
// and then).
struct Helper {
  pid_t pid = -1;
  int exitFd = -1;
};

bool Spawn(const std::string& path, const std::vector<std::string>& arguments, Helper* helper) {
  // posix_spawn: the child only runs the C library's own start-up before
  // the program replaces it, so nothing of this process runs in it.
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  for (int fd : {0, 1, 2}) posix_spawn_file_actions_addopen(&actions, fd, "/dev/null", fd == 0 ? O_RDONLY : O_WRONLY, 0);
  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(path.c_str()));
  for (const std::string& a : arguments) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  pid_t pid = -1;
  const int rc = ::posix_spawn(&pid, path.c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) return false;
  helper->pid = pid;
  helper->exitFd = static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
  return true;
}

// The helper's exit status once it has ended (the process is reaped), or
// false while it runs.
bool Ended(const Helper& helper, int* status) {
  int raw = 0;
  const pid_t got = ::waitpid(helper.pid, &raw, WNOHANG);
  if (got == 0) return false;
  *status = got == helper.pid && WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  return true;
}

// Calls done once the helper has ended, whatever else happens meanwhile.
void WhenEnded(const Helper& helper, QObject* context, std::function<void(int)> done) {
  if (helper.exitFd >= 0) {
    auto* notifier = new QSocketNotifier(helper.exitFd, QSocketNotifier::Read, context);
    QObject::connect(notifier, &QSocketNotifier::activated, notifier, [helper, notifier, done] {
      int status = -1;
      if (!Ended(helper, &status)) return;
      notifier->setEnabled(false);
      ::close(helper.exitFd);
      notifier->deleteLater();
      done(status);
    });
    return;
  }
  auto* timer = new QTimer(context);
  QObject::connect(timer, &QTimer::timeout, timer, [helper, timer, done] {
    int status = -1;
    if (!Ended(helper, &status)) return;
    timer->stop();
    timer->deleteLater();
    done(status);
  });
  timer->start(100);
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
  std::vector<std::string> args;
  for (const QString& a : arguments) args.push_back(a.toStdString());
  Helper helper;
  if (!Spawn(path.toStdString(), args, &helper)) return false;

  // What the wait and the watcher share; the watcher may outlive the wait
  // (a helper that stays), so neither holds on to the other's frame.
  struct Wait {
    QEventLoop* loop = nullptr;
    bool ended = false;
    int status = -1;
  };
  auto wait = std::make_shared<Wait>();
  QEventLoop loop;
  wait->loop = &loop;
  ++Running();
  WhenEnded(helper, QCoreApplication::instance(), [wait](int code) {
    --Running();
    wait->ended = true;
    wait->status = code;
    if (wait->loop) wait->loop->quit();
  });
  QTimer patience;
  patience.setSingleShot(true);
  QObject::connect(&patience, &QTimer::timeout, &loop, &QEventLoop::quit);
  patience.start(Patience());
  QApplication::setOverrideCursor(Qt::BusyCursor);
  if (!wait->ended) loop.exec(QEventLoop::ExcludeUserInputEvents);
  QApplication::restoreOverrideCursor();
  wait->loop = nullptr;
  return !wait->ended || wait->status == 0;
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
