#include "core/QtUi.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QEventLoop>
#include <QFontMetrics>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>
#include <cstdlib>
#include <thread>

#include "core/CoreUtil.h"
#include "core/TerminalUi.h"
#include "platform/display/Display.h"

namespace vexa::core {

namespace {

QString Q(const std::string& s) { return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size())); }

QString ControlName(int id) { return QString::number(id); }

QPixmap ResourceIcon(const CVexaCoreUtil& util, int id, int size) {
  const StringTable* strings = util.Strings();
  const std::string path = strings ? strings->IconPath(id) : std::string();
  QPixmap pixmap;
  if (path.empty() || !pixmap.load(Q(path))) return {};
  return pixmap.scaled(size, size, Qt::KeepAspectRatio, Qt::SmoothTransformation);
}

bool EnvSet(const char* name) {
  const char* v = std::getenv(name);
  return v && *v;
}

}  // namespace

bool DisplayAvailable() {
  if (qobject_cast<QApplication*>(QCoreApplication::instance())) return true;
  if (!EnvSet("QT_QPA_PLATFORM") && !EnvSet("DISPLAY") && !EnvSet("WAYLAND_DISPLAY")) return false;
  // Qt ends the process when the platform it is given cannot be opened (one
  // that is not installed, a display that does not answer): the terminal
  // serves then.
  return display::QtPlatformUsable();
}

QApplication* EnsureApplication() {
  if (QCoreApplication* existing = QCoreApplication::instance()) return qobject_cast<QApplication*>(existing);
  if (!DisplayAvailable()) return nullptr;
  // Made for a client without one and kept for the life of the process:
  // every window of every orchestrator object lives on it, and Qt cannot
  // take an application object apart once the process has begun to exit, so
  // it is never destroyed.
  static int argc = 1;
  static char name[] = "vexacore";
  static char* argv[] = {name, nullptr};
  static QApplication* const app = new QApplication(argc, argv);
  return app;
}

// ---- CvexaStatusDlg ---------------------------------------------------------------------

CvexaStatusDlg::CvexaStatusDlg(CVexaCoreUtil& util, QWidget* parent) : QDialog(parent), util_(util) {
  setObjectName(ControlName(kTemplate));
  setModal(false);
  setWindowTitle(Q(util_.TemplateText(kTemplate, 0, "Kv Orlune Disc Creator Software")));

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 10);

  banner_ = new CBitmapCtrl(this);
  banner_->setObjectName(ControlName(kBanner));
  banner_->setFixedHeight(72);
  layout->addWidget(banner_);
  bannerText_ = new QLabel(banner_);
  bannerText_->setObjectName(ControlName(kBannerText));
  bannerText_->setText(Q(util_.TemplateText(kTemplate, kBannerText, "Kv Orlune Disc Creator")));
  bannerText_->setGeometry(112, 0, 316, 72);
  bannerText_->hide();

  static const char* const kStepNames[6] = {
      "Checking the disc in the CD writer", "Erasing the rewritable disc", "Creating the photo show",
      "Arranging the disc contents",        "Checking the disc image",     "Writing the disc"};
  auto* steps = new QGridLayout();
  steps->setContentsMargins(24, 8, 24, 4);
  steps->setHorizontalSpacing(8);
  for (int i = 0; i < 6; ++i) {
    markers_[i] = new CColorLabel(this);
    markers_[i]->setObjectName(ControlName(kStepMarkers[i]));
    markers_[i]->setText(Q(util_.TemplateText(kTemplate, kStepMarkers[i], "\u25B6")));
    markers_[i]->SetTextColor(QColor(0xC0, 0x50, 0x00));
    markers_[i]->setFixedWidth(20);
    markers_[i]->setAlignment(Qt::AlignCenter);
    markers_[i]->hide();
    labels_[i] = new CColorLabel(this);
    labels_[i]->setObjectName(ControlName(kStepLabels[i]));
    labels_[i]->setText(Q(util_.TemplateText(kTemplate, kStepLabels[i], kStepNames[i])));
    labels_[i]->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    labels_[i]->setMinimumHeight(22);
    steps->addWidget(markers_[i], i, 0);
    steps->addWidget(labels_[i], i, 1);
  }
  labels_[1]->setEnabled(false);
  labels_[1]->SetTextColor(QColor(0x80, 0x80, 0x80));
  layout->addLayout(steps);

  timeLabel_ = new CColorLabel(this);
  timeLabel_->setObjectName(ControlName(kStatusText));
  timeLabel_->setWordWrap(true);
  timeLabel_->setMinimumHeight(36);
  timeLabel_->setContentsMargins(24, 0, 24, 0);
  layout->addWidget(timeLabel_);

  progress_ = new QProgressBar(this);
  progress_->setObjectName(ControlName(kProgressBar));
  progress_->setRange(0, 100);
  progress_->setValue(0);
  progress_->setTextVisible(false);
  auto* bar = new QHBoxLayout();
  bar->setContentsMargins(24, 0, 24, 8);
  bar->addWidget(progress_);
  layout->addLayout(bar);

  auto* buttons = new QHBoxLayout();
  buttons->setContentsMargins(24, 0, 24, 0);
  extra_ = new QPushButton(Q(util_.TemplateText(kTemplate, kButtonExtra, "Make Another Copy")), this);
  extra_->setObjectName(ControlName(kButtonExtra));
  ok_ = new QPushButton(Q(util_.TemplateText(kTemplate, kButtonOK, "Done")), this);
  ok_->setObjectName(ControlName(kButtonOK));
  cancel_ = new QPushButton(Q(util_.TemplateText(kTemplate, kButtonCancel, "Cancel")), this);
  cancel_->setObjectName(ControlName(kButtonCancel));
  for (QPushButton* b : {extra_, ok_, cancel_}) b->setAutoDefault(false);
  extra_->setEnabled(false);
  ok_->setEnabled(false);
  buttons->addWidget(extra_);
  buttons->addStretch(1);
  buttons->addWidget(ok_);
  buttons->addWidget(cancel_);
  layout->addLayout(buttons);

  connect(ok_, &QPushButton::clicked, this, [this] { accept(); });
  connect(cancel_, &QPushButton::clicked, this, [this] { reject(); });
  connect(extra_, &QPushButton::clicked, this, [this] { extraButtonPressed = true; });

  setFixedWidth(440);
  OnInitDialog();
}

void CvexaStatusDlg::OnInitDialog() {
  const QPixmap large = ResourceIcon(util_, 102, 32);
  if (!large.isNull()) {
    QIcon icon(large);
    icon.addPixmap(ResourceIcon(util_, 102, 16));
    setWindowIcon(icon);
  }
  timeLabel_->setText(QString());
  ShowStep1(true);

  const std::string sizeText = util_.LoadString(156, "90");
  const std::string face = util_.LoadString(154, "MS Sans Serif");
  const double tenths = std::atof(sizeText.c_str());
  QFont font(Q(face));
  font.setPointSizeF(tenths > 0 ? tenths / 10.0 : 9.0);
  font = SetFontStyle(font, true, false, false);

  banner_->SetTextRect(bannerText_->geometry());
  banner_->SetTextFont(font);
  banner_->SetTextColor(QColor(0xFF, 0xFF, 0xFF));
  banner_->SetTextAlignment(Qt::AlignVCenter);
  banner_->LoadBitmap(util_.Strings(), 153);
  banner_->SetText(bannerText_->text());
}

QFont CvexaStatusDlg::SetFontStyle(const QFont& font, bool bold, bool italic, bool underline) {
  QFont out(font);
  out.setWeight(bold ? QFont::Bold : QFont::Normal);
  out.setItalic(italic);
  out.setUnderline(underline);
  return out;
}

CColorLabel* CvexaStatusDlg::Marker(int step) const { return step >= 1 && step <= 6 ? markers_[step - 1] : nullptr; }
CColorLabel* CvexaStatusDlg::Label(int step) const { return step >= 1 && step <= 6 ? labels_[step - 1] : nullptr; }

void CvexaStatusDlg::ShowStep(int step, bool show) {
  if (step < 1 || step > 6) return;
  CColorLabel* marker = markers_[step - 1];
  marker->setVisible(show);
  marker->repaint();
  if (!show) return;
  if (step == 2) labels_[1]->setEnabled(true);
  labels_[step - 1]->SetTextColor(QColor(0, 0, 0xFF));
}

void CvexaStatusDlg::SetStatusText(const std::string& text) {
  timeLabel_->setText(Q(text));
  timeLabel_->repaint();
}

std::string CvexaStatusDlg::StatusText() const { return timeLabel_->text().toStdString(); }

int CvexaStatusDlg::Progress() const { return progress_->value(); }

void CvexaStatusDlg::SetProgress(int position) { progress_->setValue(position < 0 ? 0 : position > 100 ? 100 : position); }

void CvexaStatusDlg::Show() { show(); }

void CvexaStatusDlg::Hide() { hide(); }

bool CvexaStatusDlg::IsShown() const { return isVisible(); }

void CvexaStatusDlg::EnableWindow(bool enable) { setEnabled(enable); }

void CvexaStatusDlg::EnableButton(int id, bool enable) {
  switch (id) {
    case kButtonOK: ok_->setEnabled(enable); break;
    case kButtonCancel: cancel_->setEnabled(enable); break;
    case kButtonExtra: extra_->setEnabled(enable); break;
    default: break;
  }
}

void CvexaStatusDlg::BringToTop() {
  raise();
  activateWindow();
}

void CvexaStatusDlg::SetWaitCursor(bool on) {
  if (on == waitCursor_) return;
  waitCursor_ = on;
  if (on) {
    QApplication::setOverrideCursor(Qt::WaitCursor);
  } else {
    QApplication::restoreOverrideCursor();
  }
}

void CvexaStatusDlg::reject() {
  // Cancel and Esc only ask; the run confirms with the user and decides.
  cancelRequested = true;
}

void CvexaStatusDlg::accept() {
  okPressed = true;
  QDialog::accept();
}

void CvexaStatusDlg::closeEvent(QCloseEvent* event) {
  cancelRequested = true;
  event->ignore();
}

// ---- MessageDlg ------------------------------------------------------------------------------

MessageDlg::MessageDlg(CVexaCoreUtil& util, QWidget* parent) : QDialog(parent), util_(util) {
  setObjectName(ControlName(kTemplate));
  setModal(true);
  largeIcon_ = ResourceIcon(util_, 102, 32);
  smallIcon_ = ResourceIcon(util_, 102, 16);

  auto* layout = new QVBoxLayout(this);
  auto* row = new QHBoxLayout();
  icon_ = new QLabel(this);
  icon_->setObjectName(ControlName(1113));
  icon_->setFixedSize(32, 32);
  row->addWidget(icon_, 0, Qt::AlignTop);
  message_ = new QPlainTextEdit(this);
  message_->setObjectName(ControlName(2001));
  message_->setReadOnly(true);
  message_->setFixedSize(380, 150);
  message_->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  message_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  row->addWidget(message_);
  layout->addLayout(row);

  checkBox_ = new QCheckBox(Q(util_.TemplateText(kTemplate, 1112, "Do not show this reminder again")), this);
  checkBox_->setObjectName(ControlName(1112));
  checkBox_->hide();
  layout->addWidget(checkBox_);

  auto* buttons = new QHBoxLayout();
  buttons->addStretch(1);
  single_ = new QPushButton(this);
  single_->setObjectName(ControlName(161));
  ok_ = new QPushButton(this);
  ok_->setObjectName(ControlName(kButtonOK));
  cancel_ = new QPushButton(this);
  cancel_->setObjectName(ControlName(kButtonCancel));
  for (QPushButton* b : {single_, ok_, cancel_}) {
    b->setMinimumWidth(88);
    buttons->addWidget(b);
  }
  buttons->addStretch(1);
  layout->addLayout(buttons);

  connect(single_, &QPushButton::clicked, this, [this] { done(kIDOK); });
  connect(ok_, &QPushButton::clicked, this, [this] { done(type == kMessageYesNo ? kIDYES : kIDOK); });
  connect(cancel_, &QPushButton::clicked, this, [this] { reject(); });
  // Once clicked the wish stands: a second click does not take it back.
  connect(checkBox_, &QCheckBox::clicked, this, [this] {
    checkBoxClicked = true;
    checkBox_->setChecked(true);
  });
}

void MessageDlg::OnInitDialog() {
  if (!largeIcon_.isNull()) {
    QIcon icon(largeIcon_);
    icon.addPixmap(smallIcon_);
    setWindowIcon(icon);
    icon_->setPixmap(largeIcon_);
  }
  message_->setPlainText(Q(messageText));
  setWindowTitle(Q(isError ? util_.LoadString(4510, "Kv Orlune Disc Creator Software - Error")
                           : util_.LoadString(4509, "Kv Orlune Disc Creator Software - Message")));
  if (!secondButtonText.empty()) {
    single_->hide();
    ok_->setText(Q(firstButtonText));
    cancel_->setText(Q(secondButtonText));
    ok_->show();
    cancel_->show();
    // The default takes the focus too: a focused button would take Enter.
    ok_->setDefault(!secondDefault);
    cancel_->setDefault(secondDefault);
    (secondDefault ? cancel_ : ok_)->setFocus();
  } else {
    single_->setText(Q(firstButtonText));
    single_->show();
    ok_->hide();
    cancel_->hide();
    single_->setDefault(true);
  }
  // Two pixels each side; a message that fits reads as plain text, without
  // scroll bar or edge.
  message_->document()->setDocumentMargin(2);
  const QFontMetrics metrics(message_->font());
  const int width = message_->width() - 2 * message_->frameWidth() - 4;
  const int height = message_->height() - 2 * message_->frameWidth() - 4;
  const QRect needed = metrics.boundingRect(QRect(0, 0, width, 100000), Qt::TextWordWrap, Q(messageText));
  if (needed.height() <= height) {
    message_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    message_->setFrameShape(QFrame::NoFrame);
    message_->viewport()->setAutoFillBackground(false);
  } else {
    message_->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    message_->setFrameShape(QFrame::StyledPanel);
  }
  if (showCheckBox) {
    checkBoxClicked = false;
    checkBox_->setChecked(false);
    checkBox_->show();
  } else {
    checkBox_->hide();
  }
}

void MessageDlg::reject() { done(type == kMessageYesNo ? kIDNO : kIDCANCEL); }

int MessageDlg::exec() {
  OnInitDialog();
  return QDialog::exec();
}

// ---- DoMessage -----------------------------------------------------------------------------

int DoMessage(CVexaCoreUtil& util, int typeAndDefault, const std::string& text, bool isError, bool showCheckBox,
              bool useMessageBox, bool* checkBoxClicked) {
  if (checkBoxClicked) *checkBoxClicked = false;
  const int type = MessageButtons(typeAndDefault);
  const bool secondDefault = SecondIsDefault(typeAndDefault);
  if (useMessageBox) {
    QMessageBox box;
    box.setWindowTitle(Q(isError ? util.LoadString(4510, "Kv Orlune Disc Creator Software - Error")
                                 : util.LoadString(4509, "Kv Orlune Disc Creator Software - Message")));
    box.setText(Q(text));
    const QPixmap icon = ResourceIcon(util, 102, 32);
    if (!icon.isNull()) {
      box.setIconPixmap(icon);
      box.setWindowIcon(QIcon(icon));
    }
    if (type == kMessageOK) {
      box.setStandardButtons(QMessageBox::Ok);
    } else if (type == kMessageYesNo) {
      box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
      box.setEscapeButton(QMessageBox::No);
      box.setDefaultButton(secondDefault ? QMessageBox::No : QMessageBox::Yes);
    } else {
      box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
      box.setEscapeButton(QMessageBox::Cancel);
      box.setDefaultButton(secondDefault ? QMessageBox::Cancel : QMessageBox::Ok);
    }
    switch (box.exec()) {
      case QMessageBox::Ok: return kIDOK;
      case QMessageBox::Yes: return kIDYES;
      case QMessageBox::No: return kIDNO;
      default: return type == kMessageOK ? kIDOK : kIDCANCEL;
    }
  }
  MessageDlg dialog(util);
  dialog.type = type;
  dialog.secondDefault = secondDefault;
  dialog.messageText = text;
  dialog.isError = isError;
  dialog.showCheckBox = showCheckBox;
  switch (type) {
    case kMessageOK:
      dialog.firstButtonText = util.LoadString(4493, "OK");
      break;
    case kMessageYesNo:
      dialog.firstButtonText = util.LoadString(4494, "Yes");
      dialog.secondButtonText = util.LoadString(4495, "No");
      break;
    default:
      dialog.firstButtonText = util.LoadString(4493, "OK");
      dialog.secondButtonText = util.LoadString(4519, "Cancel");
      break;
  }
  const int result = dialog.exec();
  if (checkBoxClicked) *checkBoxClicked = dialog.checkBoxClicked;
  return result;
}

std::unique_ptr<UiPort> MakeDefaultUi(CVexaCoreUtil& util, bool windows) {
  if (windows && DisplayAvailable()) return std::make_unique<QtUi>(util);
  if (windows) return std::make_unique<TerminalUi>(util);
  return std::make_unique<HeadlessUi>([&util](const std::string& text) { util.LogInfo(text); });
}

// ---- QtUi ------------------------------------------------------------------------------------

QtUi::QtUi(CVexaCoreUtil& util) : util_(util) {}

QtUi::~QtUi() { DestroyStatus(); }

StatusDialog& QtUi::Status() {
  if (status_) return *status_;
  if (fallback_) return *fallback_;
  if (EnsureApplication()) {
    status_ = std::make_unique<CvexaStatusDlg>(util_);
    return *status_;
  }
  fallback_ = std::make_unique<HeadlessStatusDialog>([this](const std::string& text) { util_.LogInfo(text); });
  return *fallback_;
}

void QtUi::DestroyStatus() {
  if (status_) {
    status_->SetWaitCursor(false);
    status_->hide();
  }
  status_.reset();
  fallback_.reset();
}

int QtUi::DoMessage(int type, const std::string& text, bool isError, bool showCheckBox, bool useMessageBox,
                    bool* checkBoxClicked) {
  if (!EnsureApplication()) {
    HeadlessUi headless;
    return headless.DoMessage(type, text, isError, showCheckBox, useMessageBox, checkBoxClicked);
  }
  return core::DoMessage(util_, type, text, isError, showCheckBox, useMessageBox, checkBoxClicked);
}

void QtUi::PumpMessages() {
  if (QCoreApplication::instance()) QCoreApplication::processEvents(QEventLoop::AllEvents);
}

void QtUi::WaitFor(std::chrono::milliseconds d) {
  if (!QCoreApplication::instance()) {
    if (d.count() > 0) std::this_thread::sleep_for(d);
    return;
  }
  QEventLoop loop;
  QTimer::singleShot(d, &loop, &QEventLoop::quit);
  loop.exec();
}

void QtUi::WaitFor(std::chrono::milliseconds longest, Completion& done) {
  if (!QCoreApplication::instance()) {
    if (longest.count() > 0) done.WaitFor(longest);
    return;
  }
  // The events of the window system are handled until the work's Set posts
  // its wake-up here or the timer ends the wait.
  QObject waker;
  bool expired = false;
  done.SetWaker([&waker] { QCoreApplication::postEvent(&waker, new QEvent(QEvent::User)); });
  QTimer timer;
  timer.setSingleShot(true);
  QObject::connect(&timer, &QTimer::timeout, [&expired] { expired = true; });
  timer.start(longest);
  while (!done.IsSet() && !expired) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
  done.SetWaker(nullptr);
  QCoreApplication::removePostedEvents(&waker);
}

void QtUi::WaitWithMessagePump(Completion& done, const std::function<void()>& onWake) {
  if (!QCoreApplication::instance()) {
    done.Wait();
    if (onWake) onWake();
    return;
  }
  // The worker's Set posts an event here, which wakes the wait below.
  QObject waker;
  done.SetWaker([&waker] { QCoreApplication::postEvent(&waker, new QEvent(QEvent::User)); });
  while (!done.IsSet()) {
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    if (onWake) onWake();
  }
  done.SetWaker(nullptr);
  QCoreApplication::removePostedEvents(&waker);
}

}  // namespace vexa::core
