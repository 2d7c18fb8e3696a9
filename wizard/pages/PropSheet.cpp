#include "wizard/pages/PropSheet.h"

#include <QAbstractButton>
#include <QEventLoop>
#include <QApplication>
#include <QFontDatabase>
#include <QIcon>
#include <QLabel>
#include <QPainter>
#include <QScreen>
#include <QVBoxLayout>
#include <filesystem>

#include "platform/base/Path.h"
#include "wizard/common/Language.h"
#include "wizard/common/WizUtil.h"
#include "wizard/dialogs/AboutDlg.h"
#include "wizard/dialogs/MessageBox.h"
#include "wizard/pages/Pages.h"
#include "wizard/session/DiscEstimate.h"
#include "wizard/session/SettingsFile.h"
#include "wizard/session/WizXML.h"
#include "wizard/ui/Launcher.h"
#include "wizard/ui/UiHelpers.h"

namespace vexa::wiz {

// ---- The sheet ------------------------------------------------------------------------------

namespace {

// The side picture of the welcome and finish pages runs the page's whole
// height: below the art, its last row is carried on down.
QPixmap TallWatermark(const QPixmap& art) {
  constexpr int kHeight = 480;
  if (art.isNull() || art.height() >= kHeight) return art;
  QImage image(art.width(), kHeight, QImage::Format_ARGB32_Premultiplied);
  QPainter painter(&image);
  painter.drawPixmap(0, 0, art);
  painter.drawPixmap(QRect(0, art.height(), art.width(), kHeight - art.height()), art,
                     QRect(0, art.height() - 1, art.width(), 1));
  painter.end();
  return QPixmap::fromImage(image);
}

}  // namespace

CvexaPropSheet::CvexaPropSheet(WizServices& wiz, const QString& caption, QWidget* parent, int firstPage,
                               const QPixmap& watermark, const QPixmap& header)
    : QWizard(parent), m_wiz(wiz) {
  setObjectName("CvexaPropSheet");
  setWindowTitle(caption);
  setWizardStyle(QWizard::ModernStyle);
  // The header picture is the small logo at the right of each page's
  // heading; as a banner it would be stretched across the whole heading.
  if (!header.isNull()) setPixmap(QWizard::LogoPixmap, header.scaledToHeight(48, Qt::SmoothTransformation));
  Init(firstPage);
  // The side picture belongs to the pages without a heading (welcome and
  // finish); the others show the heading with its logo.
  if (!watermark.isNull()) {
    const QPixmap side = TallWatermark(watermark);
    for (int id : pageIds())
      if (page(id)->subTitle().isEmpty()) page(id)->setPixmap(QWizard::WatermarkPixmap, side);
  }
  m_wiz.sheet = this;
  m_wiz.sheetView = this;
}

CvexaPropSheet::~CvexaPropSheet() {
  if (m_wiz.sheet == this) m_wiz.sheet = nullptr;
  if (m_wiz.sheetView == this) m_wiz.sheetView = nullptr;
}

void CvexaPropSheet::Init(int firstPage) {
  AddWizardPages(m_wiz, this);
  // The start screen names a page; any other value opens the first one.
  setStartId(firstPage >= kPageWelcome && firstPage <= kPageFinish ? firstPage : kPageWelcome);
  setOption(QWizard::HaveHelpButton, true);
  setOption(QWizard::HaveCustomButton1, true);
  setOption(QWizard::NoBackButtonOnStartPage, false);
  setButtonText(QWizard::CustomButton1, QString::fromStdString(m_wiz.LoadString(2, "&About")));
  button(QWizard::CustomButton1)->setObjectName("ctl_2000");
  button(QWizard::HelpButton)->setObjectName("ctl_9");
  button(QWizard::CancelButton)->setObjectName("ctl_2");
  setButtonLayout({QWizard::CustomButton1, QWizard::Stretch, QWizard::HelpButton, QWizard::BackButton,
                   QWizard::NextButton, QWizard::FinishButton, QWizard::CancelButton});
  connect(this, &QWizard::customButtonClicked, this, [this](int which) {
    if (which == QWizard::CustomButton1) ShowAbout();
  });
  connect(this, &QWizard::helpRequested, this, [this] { WinHelp(); });
  connect(this, &QWizard::currentIdChanged, this, &CvexaPropSheet::OnPageChanged);

  if (m_wiz.language) {
    const QIcon icon = m_wiz.language->Icon(128);
    if (!icon.isNull()) setWindowIcon(icon);
  }
  if (!GetHelpPath()) m_wiz.LogError("CvexaPropSheet::Init - Cannot Find the help file", false);
  m_capacity = kDefaultDiscCapacity;

  const std::string size = m_wiz.LoadString(156, "90");
  const int tenths = std::atoi(size.c_str());
  QFont font = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
  if (tenths > 0) font.setPointSizeF(tenths / 10.0);
  setFont(font);
  m_wiz.LogInfo("CvexaPropSheet::Init() - Font chosen is default gui font: " + font.family().toStdString());
  // Every page asks for the room of the largest, so moving between pages
  // never changes the sheet's size.
  QSize largest(0, 0);
  for (int id : pageIds()) largest = largest.expandedTo(page(id)->minimumSizeHint());
  for (int id : pageIds()) page(id)->setMinimumSize(largest);
  resize(640, 480);
}

void CvexaPropSheet::showEvent(QShowEvent* event) {
  QWizard::showEvent(event);
  if (m_sized) return;
  m_sized = true;
  RestoreSize();
}

void CvexaPropSheet::RestoreSize() {
  QSize wanted(640, 480);
  if (m_wiz.settings) {
    int w = 0, h = 0;
    char tail = 0;
    const std::string stored = m_wiz.settings->ReadString("wizard", "windowSize");
    if (std::sscanf(stored.c_str(), "%d,%d%c", &w, &h, &tail) == 2 && w > 0 && h > 0) wanted = QSize(w, h);
  }
  wanted = wanted.expandedTo(minimumSizeHint()).expandedTo(minimumSize());
  // A size remembered from a larger screen is cut to this one, and the sheet
  // moved so that its frame and button row stay on it.
  if (const QScreen* screen = this->screen() ? this->screen() : QApplication::primaryScreen()) {
    setGeometry(FitOnScreen(QRect(geometry().topLeft(), wanted), FrameAllowance(this), screen->availableGeometry()));
    return;
  }
  resize(wanted);
}

void CvexaPropSheet::SaveSize() {
  if (!m_wiz.settings || !m_sized || isMaximized() || isFullScreen()) return;
  m_wiz.settings->WriteString("wizard", "windowSize", Format("%d,%d", width(), height()));
}

void CvexaPropSheet::done(int result) {
  SaveSize();
  QWizard::done(result);
}

std::int64_t CvexaPropSheet::GetDiscSpaceUsed(CVexaWizXML* album) { return vexa::wiz::GetDiscSpaceUsed(m_wiz, album); }

int CvexaPropSheet::GetPercentDiscSpaceUsed(CVexaWizXML* album) {
  return vexa::wiz::GetPercentDiscSpaceUsed(m_wiz, album, m_capacity);
}

bool CvexaPropSheet::GetHelpPath() {
  std::string file;
  if (!CVexaWizUtil::ReadRegistryString(vexa::reg::Hive::LocalMachine, kWizProductKey, "HelpFile", &file) ||
      file.empty()) {
    m_wiz.LogError("CvexaPropSheet::GetHelpPath - Cannot find the name of the help file from the registry.",
                   false);
    file = "odhelp.hlp";
  }
  file = base::ToNativePath(file);
  std::string appPath;
  if (CVexaWizUtil::ReadRegistryString(vexa::reg::Hive::LocalMachine, kWizProductKey, "APP_PATH", &appPath)) {
    m_helpPath = base::JoinPath(base::ToNativePath(appPath), file);
    if (base::FileExists(m_helpPath)) return true;
  }
  m_wiz.LogError("CvexaPropSheet::GetHelpPath - Cannot find the help file from the registry path.", false);
  std::error_code ec;
  m_helpPath = base::JoinPath(std::filesystem::current_path(ec).string(), file);
  if (base::FileExists(m_helpPath)) return true;
  m_helpPath = file;
  m_wiz.LogError(
      "CvexaPropSheet::GetHelpPath - Cannot find the help file from the current directory. Using filename only",
      false);
  return false;
}

void CvexaPropSheet::WinHelp() {
  std::string anchor = "top";
  if (auto* page = qobject_cast<CvexaWizPage*>(currentPage())) anchor = page->HelpAnchor();
  if (Launch("help", m_helpPath + "#" + anchor)) return;
  m_wiz.LogError("CvexaPropSheet::WinHelp - The desktop could not open the help page " + m_helpPath, false);
  CvexaMessageBox box(m_wiz);
  box.Show(MB_OK, HelpNotOpenedText(m_wiz, m_helpPath), true, false, true);
}

std::string HelpNotOpenedText(const WizServices& wiz, const std::string& helpPath) {
  std::string text = wiz.LoadString(
      4600,
      "The help could not be opened. You may not have a web browser installed.\r\n\r\nThe help is the page %s; "
      "open it in any web browser.");
  const std::size_t at = text.find("%s");
  if (at != std::string::npos) text.replace(at, 2, helpPath);
  return text;
}

void CvexaPropSheet::ShowAbout() {
  emit aboutRequested();
  CvexaAboutDlg about(m_wiz, this);
  about.exec();
  // A package handed to the desktop's opener ends the wizard as Cancel does.
  if (about.CloseWizard()) CloseWithoutAsking();
}

void CvexaPropSheet::CloseWithoutAsking() {
  m_askBeforeClosing = false;
  reject();
  m_askBeforeClosing = true;
}

bool CvexaPropSheet::ConfirmClose() {
  LONG count = 0;
  if (!m_askBeforeClosing || !m_wiz.sessionAlbum || !m_wiz.sessionAlbum->GetImageCount(&count) || count < 1)
    return true;
  // Pictures are chosen: closing asks first, as removing them all does.
  CvexaMessageBox box(m_wiz);
  const std::string text = m_wiz.LoadString(
      4510,
      "Are you sure you want to close the wizard without making a disc?\r\n\r\nThe pictures you chose stay in "
      "your album for the next time.");
  return box.Show(MB_YESNO, text, false, false, true) == IDYES;
}

void CvexaPropSheet::OnPageChanged(int id) {
  if (m_shownPage) m_shownPage->OnLeave();
  m_shownPage = qobject_cast<CvexaWizPage*>(page(id));
  // The About button belongs to the welcome page.
  button(QWizard::CustomButton1)->setVisible(id == kPageWelcome);
  if (m_shownPage) m_shownPage->OnSetActive();
}

void CvexaPropSheet::reject() {
  if (!ConfirmClose()) return;
  if (auto* shown = qobject_cast<CvexaWizPage*>(currentPage())) shown->OnCancel();
  QWizard::reject();
}

int CvexaPropSheet::RunModal() {
  // A modal run of its own rather than exec(): the Finish page hides the
  // window while the disc is made, and hiding a dialog ends exec()'s loop,
  // which would end the wizard even when the burn fails. Only the end of
  // the wizard (finished) ends this one.
  // The end may also come while the sheet is being shown: the first page
  // brings the sheet to the top and lets waiting events run, among them the
  // timed update prompt, which closes the wizard once a package is handed
  // to the desktop's opener. That end is kept, not waited for again.
  setWindowModality(Qt::ApplicationModal);
  setResult(QDialog::Rejected);
  QEventLoop loop;
  bool ended = false;
  connect(this, &QDialog::finished, &loop, [&] {
    ended = true;
    loop.quit();
  });
  show();
  if (ended) hide();
  else loop.exec(QEventLoop::DialogExec);
  return result();
}

}  // namespace vexa::wiz
