#include "uicommon/tests/FilePickerProbe.h"

#include <fcntl.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QApplication>
#include <QDeadlineTimer>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QMessageBox>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>

namespace vexa::ui::testing {

namespace {

// How long the dialog may take to list the folder on a busy machine.
constexpr int kListingMs = 30000;

bool WaitUntil(const std::function<bool()>& done, int ms) {
  QDeadlineTimer deadline(ms);
  while (!done()) {
    if (deadline.hasExpired()) return false;
    QTest::qWait(10);
  }
  return true;
}

// Says Yes to a question box the dialog may ask.
void AnswerYes() {
  for (QWidget* w : QApplication::topLevelWidgets()) {
    auto* box = qobject_cast<QMessageBox*>(w);
    if (!box || !box->isVisible()) continue;
    if (QAbstractButton* yes = box->button(QMessageBox::Yes)) yes->click();
    else box->accept();
  }
}

}  // namespace

FifoTrap::FifoTrap(std::string path, std::chrono::seconds bound) : m_path(std::move(path)) {
  ::mkfifo(m_path.c_str(), 0600);
  m_watchdog = std::thread([this, bound] {
    const auto end = std::chrono::steady_clock::now() + bound;
    while (!m_stop && std::chrono::steady_clock::now() < end) std::this_thread::sleep_for(std::chrono::milliseconds(20));
    // From then on every reader is let go as it comes: opening the writing
    // end lets one blocked in open() go, closing it ends a read that waits.
    while (!m_stop) {
      if (const int fd = ::open(m_path.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC); fd >= 0) {
        m_released = true;
        ::close(fd);
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
  });
}

FifoTrap::~FifoTrap() {
  m_stop = true;
  if (m_watchdog.joinable()) m_watchdog.join();
}

std::string FifoTrap::Fault() {
  if (m_released) return "a reader waited on the FIFO " + m_path + " and had to be let go";
  // A writer can open the FIFO only while a reader has it open.
  if (const int fd = ::open(m_path.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC); fd >= 0) {
    ::close(fd);
    return "the FIFO " + m_path + " is held open by a reader";
  }
  return "";
}

OpenWatch::OpenWatch(const std::string& folder) {
  m_fd = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  if (m_fd >= 0) ::inotify_add_watch(m_fd, folder.c_str(), IN_OPEN);
}

OpenWatch::~OpenWatch() {
  if (m_fd >= 0) ::close(m_fd);
}

std::vector<std::string> OpenWatch::Opened() {
  if (m_fd < 0) return {"(the folder could not be watched)"};
  alignas(inotify_event) char buffer[4096];
  for (ssize_t n; (n = ::read(m_fd, buffer, sizeof buffer)) > 0;) {
    for (char* p = buffer; p < buffer + n;) {
      const auto* e = reinterpret_cast<const inotify_event*>(p);
      if (e->len > 0 && !(e->mask & IN_ISDIR)) m_opened.emplace_back(e->name);
      p += sizeof(inotify_event) + e->len;
    }
  }
  return m_opened;
}

namespace {
// The entries of the probe's folder, made before it watches the folder.
std::string Furnish(std::string folder) {
  std::ofstream(folder + "/keep.mp3") << "ID3";
  std::ofstream(folder + "/notes") << "plain words, no known signature";
  std::filesystem::create_directory(folder + "/sub");
  return folder;
}
}  // namespace

FilePickerProbe::FilePickerProbe(std::string folder)
    : m_folder(Furnish(std::move(folder))),
      m_fifo(m_folder + "/pipe.mp3", std::chrono::seconds(60)),
      m_before(Listing()),
      m_opens(m_folder) {}

FilePickerProbe::~FilePickerProbe() = default;

std::vector<std::string> FilePickerProbe::Listing() const {
  std::vector<std::string> names;
  std::error_code ec;
  for (const auto& e : std::filesystem::directory_iterator(m_folder, ec)) names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

void FilePickerProbe::Exercise(QFileDialog* dialog) {
  if (!dialog) {
    m_faults.push_back("no file dialog to exercise");
    return;
  }
  auto* model = dialog->findChild<QFileSystemModel*>();
  if (!model) {
    m_faults.push_back("the dialog has no file system model (not the widget dialog)");
    return;
  }
  const QString folder = QString::fromStdString(m_folder);
  bool loaded = false;
  QObject::connect(model, &QFileSystemModel::directoryLoaded, dialog,
                   [&loaded, folder](const QString& path) { loaded = loaded || path == folder; });
  dialog->setDirectory(folder);
  const QString keep = folder + "/keep.mp3";
  // Listed: every entry of the folder has been looked at by the dialog.
  if (!WaitUntil([&] { return loaded && model->index(keep).isValid(); }, kListingMs)) {
    m_faults.push_back("the dialog did not list " + m_folder + " within " + std::to_string(kListingMs) + " ms");
    return;
  }
  dialog->activateWindow();
  (void)QTest::qWaitForWindowActive(dialog);
  auto* list = dialog->findChild<QAbstractItemView*>("listView");
  if (!list) {
    m_faults.push_back("the dialog has no file list");
    return;
  }
  auto select = [&] {
    dialog->selectFile(keep);
    list->setFocus();
    list->setCurrentIndex(model->index(keep));
  };
  // Delete, and Yes to "Are you sure...?".
  select();
  QTimer::singleShot(0, dialog, [] { AnswerYes(); });
  QTest::keyClick(list, Qt::Key_Delete);
  QTest::qWait(50);
  AnswerYes();
  QTest::qWait(50);
  // Rename in place.
  select();
  QTest::keyClick(list, Qt::Key_F2);
  // Only an editor in the list is typed into (Return elsewhere would accept
  // the dialog).
  if (QWidget* editor = QApplication::focusWidget(); editor && editor != list && list->isAncestorOf(editor)) {
    QTest::keyClicks(editor, "renamed.mp3");
    QTest::keyClick(editor, Qt::Key_Return);
  }
  QTest::qWait(50);
  // A new folder.
  if (auto* button = dialog->findChild<QAbstractButton*>("newFolderButton"); button && button->isEnabled()) {
    button->click();
    QTest::qWait(50);
    if (QWidget* editor = QApplication::focusWidget(); editor && editor != list && list->isAncestorOf(editor))
      QTest::keyClick(editor, Qt::Key_Escape);
  }
  QTest::qWait(50);
}

std::vector<std::string> FilePickerProbe::Faults() {
  std::vector<std::string> faults = m_faults;
  const std::vector<std::string> now = Listing();
  if (now != m_before) {
    std::string was, is;
    for (const auto& n : m_before) was += " " + n;
    for (const auto& n : now) is += " " + n;
    faults.push_back("the folder changed: it held" + was + ", now" + is);
  }
  for (const auto& name : m_opens.Opened()) faults.push_back("the dialog opened " + name + " of the folder it listed");
  if (std::string fifo = m_fifo.Fault(); !fifo.empty()) faults.push_back(fifo);
  return faults;
}

}  // namespace vexa::ui::testing
