// Wait cursor, folder pickers and monitor messaging.
#include <QApplication>
#include <QMainWindow>
#include <QMenuBar>
#include <QTest>
#include <filesystem>
#include <functional>
#include <memory>

#include "uicommon/common/FolderDialogs.h"
#include "uicommon/common/MonitorIPC.h"
#include "uicommon/common/WaitCursor.h"
#include "uicommon/tests/FilePickerProbe.h"
#include "uicommon/tests/UiTestSupport.h"

using namespace vexa::ui;

using namespace vexa::ui::testing;

namespace {

class MiscUiTest : public UiTest {};

TEST_F(MiscUiTest, WaitCursorNestsAndRestoresTheMenu) {
  QMainWindow window;
  QMenu* file = window.menuBar()->addMenu("File");
  QMenu* edit = window.menuBar()->addMenu("Edit");
  QMenu* help = window.menuBar()->addMenu("Help");
  edit->menuAction()->setEnabled(false);
  window.resize(300, 200);
  CWaitCursorWnd wait("wait", &window);
  wait.Activate(&window, true);
  ASSERT_NE(wait.WaitWnd(), nullptr);
  EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
  EXPECT_EQ(wait.WaitWnd()->geometry(), window.rect());
  wait.MenuDisable();
  for (QMenu* m : {file, edit, help}) EXPECT_FALSE(m->menuAction()->isEnabled());
  wait.Activate(&window, true);  // nested
  QWidget other;
  wait.Activate(&other, false);  // another window: ignored
  wait.Activate(&window, false);
  EXPECT_NE(wait.WaitWnd(), nullptr);
  wait.Position(QRect(-5, -5, 50, 40));
  EXPECT_EQ(wait.WaitWnd()->geometry(), QRect(0, 0, 45, 35));
  wait.Activate(&window, false);
  EXPECT_EQ(wait.WaitWnd(), nullptr);
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);
  wait.MenuEnable();
  EXPECT_TRUE(file->menuAction()->isEnabled());
  EXPECT_FALSE(edit->menuAction()->isEnabled());  // was disabled before
  EXPECT_TRUE(help->menuAction()->isEnabled());
}

TEST_F(MiscUiTest, FolderPickers) {
  EXPECT_EQ(CDirBrowseDlg::ComposeFolder("/home/me", "Pictures"), "/home/me/Pictures");
  EXPECT_EQ(CDirBrowseDlg::ComposeFolder("/", "mnt"), "/mnt");
  EXPECT_EQ(CDirBrowseDlg::ComposeFolder("/home/me", ""), "/home/me");
  CDirBrowseDlg browse("", nullptr, 1, nullptr, nullptr, 0, nullptr);
  browse.setDirectory(QString::fromStdString(m_temp.dir()));
  browse.OnSelectfolder();
  EXPECT_EQ(browse.folderWasSelected(), 1);
  EXPECT_EQ(browse.getFolderPath(), m_temp.dir());
  EXPECT_EQ(browse.result(), QDialog::Rejected);

  std::string start = m_temp.dir();
  CDirDlg old(nullptr, start, nullptr, 0);
  EXPECT_EQ(old.ChosenFolder(), m_temp.dir() + "/");
  EXPECT_EQ(old.selectedFiles().value(0).toStdString(), m_temp.dir() + "/junk_$.0-~");
}

// A picker only picks: Delete, rename and new folder change nothing in the
// folder it shows, and it opens none of the files it lists (a file such as
// /proc/kmsg or a FIFO would stop it for good).
TEST_F(MiscUiTest, FolderPickersChangeNothingAndOpenNothing) {
  const std::function<std::unique_ptr<QFileDialog>(std::string)> pickers[] = {
      [](std::string) { return std::make_unique<CDirBrowseDlg>("", nullptr, 1, nullptr, nullptr, 0, nullptr); },
      [](std::string) { return std::make_unique<CDirBrowseDlg>("", nullptr, 0, nullptr, nullptr, 0, nullptr); },
      [](std::string start) { return std::make_unique<CDirDlg>(nullptr, start, nullptr, 0); },
  };
  int n = 0;
  for (const auto& make : pickers) {
    const std::string folder = m_temp.Path("picker" + std::to_string(++n));
    std::filesystem::create_directories(folder);
    FilePickerProbe probe(folder);
    std::unique_ptr<QFileDialog> dialog = make(m_temp.dir());
    dialog->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(dialog.get())) << n;
    probe.Exercise(dialog.get());
    dialog.reset();
    for (const std::string& fault : probe.Faults()) ADD_FAILURE() << "picker " << n << ": " << fault;
  }
}

// A side that records what reaches its handlers.
class Recorder : public CMonitorIPCWindow {
 public:
  long OnFoundCamera(std::uintptr_t w, std::intptr_t l) override {
    got.push_back({WM_USER + 12, int(w), int(l)});
    return 0;
  }
  long OnSuspendScannerPoll(std::uintptr_t w, std::intptr_t l) override {
    got.push_back({WM_USER + 21, int(w), int(l)});
    return 0;
  }
  void OnTimer(unsigned id) override { got.push_back({WM_TIMER, int(id), 0}); }
  struct Msg {
    unsigned msg;
    int w, l;
  };
  std::vector<Msg> got;
};

TEST_F(MiscUiTest, MonitorMessagingBetweenTheTwoSides) {
  ::setenv("XDG_RUNTIME_DIR", m_temp.dir().c_str(), 1);
  CMonitorIPCWindow app;
  ASSERT_TRUE(app.InitializeIPC(false, nullptr));
  // The monitor is not there yet: nothing is posted.
  EXPECT_FALSE(app.OtherWindowAvailable());
  EXPECT_EQ(app.PostMsgToOtherWindow(WM_USER + 12, 1, 2), 0);
  EXPECT_EQ(PostMsgToMon(WM_USER + 12, 1, 2), 0);

  Recorder monitor;
  ASSERT_TRUE(monitor.InitializeIPC(true, nullptr));
  EXPECT_TRUE(app.OtherWindowAvailable());
  EXPECT_EQ(app.PostMsgToOtherWindow(WM_USER + 12, 7, -3), 1);
  EXPECT_EQ(PostMsgToMon(WM_USER + 21, 8, 9), 1);
  EXPECT_EQ(PostMsgToMon(WM_TIMER, 4, 0), 1);
  EXPECT_EQ(PostMsgToMon(WM_USER + 99, 0, 0), 1);  // no handler: dropped
  ASSERT_TRUE(QTest::qWaitFor([&] { return monitor.got.size() == 3; }, kWaitBoundMs))
      << InVain("the monitor's three messages") << "; it got " << monitor.got.size();
  EXPECT_EQ(monitor.got[0].msg, WM_USER + 12);
  EXPECT_EQ(monitor.got[0].w, 7);
  EXPECT_EQ(monitor.got[0].l, -3);
  EXPECT_EQ(monitor.got[1].msg, WM_USER + 21);
  EXPECT_EQ(monitor.got[2].msg, WM_TIMER);
  EXPECT_EQ(PostMsgToApp(WM_USER + 12, 0, 0), 1);
  ::unsetenv("XDG_RUNTIME_DIR");
}

}  // namespace
