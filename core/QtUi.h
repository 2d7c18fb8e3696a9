// The Qt 6 Widgets back end of the orchestrator's user interface: the
// modeless status dialog CvexaStatusDlg (template 151), the modal message
// dialog MessageDlg (template 160) and DoMessage. The application object is
// the client's when it has one; otherwise one is made on the first window and
// kept for the life of the process. Nothing here runs before a window is
// needed, so a process that never shows one never connects to a display.
#pragma once

#include <QDialog>
#include <QPixmap>
#include <memory>
#include <string>

#include "core/Controls.h"
#include "core/HeadlessUi.h"
#include "core/UiPort.h"

class QApplication;
class QCheckBox;
class QLabel;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;

namespace vexa::core {

class CVexaCoreUtil;

// True when a window system can be reached without trying it: a platform
// named in QT_QPA_PLATFORM, or DISPLAY, or WAYLAND_DISPLAY, that Qt can open.
bool DisplayAvailable();
// The application object, made when there is none. Null when no display is
// available or the client's application object cannot show widgets.
QApplication* EnsureApplication();

class CvexaStatusDlg : public QDialog, public StatusDialog {
  Q_OBJECT

 public:
  static constexpr int kTemplate = 151;

  // util supplies the template's texts, icon 102 and bitmap 153.
  explicit CvexaStatusDlg(CVexaCoreUtil& util, QWidget* parent = nullptr);

  void ShowStep(int step, bool show) override;
  void ShowStep1(bool show) { ShowStep(1, show); }
  void ShowStep2(bool show) { ShowStep(2, show); }
  void ShowStep3(bool show) { ShowStep(3, show); }
  void ShowStep4(bool show) { ShowStep(4, show); }
  void ShowStep5(bool show) { ShowStep(5, show); }
  void ShowStep6(bool show) { ShowStep(6, show); }
  void SetStatusText(const std::string& text) override;
  std::string StatusText() const override;
  int Progress() const override;
  void SetProgress(int position) override;
  void Show() override;
  void Hide() override;
  bool IsShown() const override;
  void EnableWindow(bool enable) override;
  void EnableButton(int id, bool enable) override;
  void BringToTop() override;
  void SetWaitCursor(bool on) override;

  CColorLabel* Marker(int step) const;
  CColorLabel* Label(int step) const;
  CBitmapCtrl* Banner() const { return banner_; }

  // Reads a font's description again with the weight, italic and underline
  // given (bold 700, otherwise 400).
  static QFont SetFontStyle(const QFont& font, bool bold, bool italic, bool underline);

 protected:
  void reject() override;
  void accept() override;
  void closeEvent(QCloseEvent* event) override;

 private:
  void OnInitDialog();

  CVexaCoreUtil& util_;
  CColorLabel* markers_[6] = {};
  CColorLabel* labels_[6] = {};
  CColorLabel* timeLabel_ = nullptr;
  QProgressBar* progress_ = nullptr;
  CBitmapCtrl* banner_ = nullptr;
  QLabel* bannerText_ = nullptr;
  QPushButton* ok_ = nullptr;
  QPushButton* cancel_ = nullptr;
  QPushButton* extra_ = nullptr;
  bool waitCursor_ = false;
};

class MessageDlg : public QDialog {
  Q_OBJECT

 public:
  static constexpr int kTemplate = 160;

  explicit MessageDlg(CVexaCoreUtil& util, QWidget* parent = nullptr);

  bool isError = true;
  bool showCheckBox = false;
  int type = kMessageOKCancel;
  // The second button (No, Cancel) is the default instead of the first.
  bool secondDefault = false;
  std::string firstButtonText;
  std::string secondButtonText;
  std::string messageText;
  bool checkBoxClicked = false;

  // Lays the dialog out from the fields above; exec() calls it too.
  void OnInitDialog();
  int exec() override;

 protected:
  // Cancel and Esc: IDCANCEL, or IDNO for Yes/No.
  void reject() override;

 private:
  CVexaCoreUtil& util_;
  QPixmap largeIcon_;
  QPixmap smallIcon_;
  QLabel* icon_ = nullptr;
  QPlainTextEdit* message_ = nullptr;
  QPushButton* single_ = nullptr;
  QPushButton* ok_ = nullptr;
  QPushButton* cancel_ = nullptr;
  QCheckBox* checkBox_ = nullptr;
};

// Shows a message and answers the button pressed (kIDOK, kIDCANCEL, kIDYES,
// kIDNO). useMessageBox: the system's message box instead of MessageDlg.
int DoMessage(CVexaCoreUtil& util, int type, const std::string& text, bool isError, bool showCheckBox,
              bool useMessageBox, bool* checkBoxClicked);

// The port an orchestrator uses: with windows wanted, the Qt dialogs when a
// display is at hand and the terminal (standard error and input) when none
// is; without windows the headless port (whose status texts go to the log
// as information lines).
std::unique_ptr<UiPort> MakeDefaultUi(CVexaCoreUtil& util, bool windows);

class QtUi : public UiPort {
 public:
  explicit QtUi(CVexaCoreUtil& util);
  ~QtUi() override;

  bool IsInteractive() const override { return true; }
  StatusDialog& Status() override;
  bool HasStatusDialog() const override { return status_ != nullptr; }
  void DestroyStatus() override;
  int DoMessage(int type, const std::string& text, bool isError, bool showCheckBox, bool useMessageBox,
                bool* checkBoxClicked) override;
  void PumpMessages() override;
  void WaitFor(std::chrono::milliseconds d) override;
  void WaitFor(std::chrono::milliseconds longest, Completion& done) override;
  void WaitWithMessagePump(Completion& done, const std::function<void()>& onWake) override;

  CvexaStatusDlg* StatusWindow() const { return status_.get(); }

 private:
  CVexaCoreUtil& util_;
  std::unique_ptr<CvexaStatusDlg> status_;
  // Stands in when no application object can show widgets.
  std::unique_ptr<HeadlessStatusDialog> fallback_;
};

}  // namespace vexa::core
