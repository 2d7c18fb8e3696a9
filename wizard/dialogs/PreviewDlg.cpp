#include "wizard/dialogs/PreviewDlg.h"

#include <QApplication>
#include <QKeyEvent>
#include <QPainter>
#include <QScreen>
#include <QTimer>
#include <QWindow>
#include <QTransform>
#include <QVBoxLayout>

#include "platform/imaging/Codec.h"
#include "wizard/common/Language.h"
#include "wizard/ui/Forms.h"
#include "wizard/common/WizUtil.h"

namespace vexa::wiz {

CLead::CLead(QWidget* parent) : QWidget(parent) {
  setObjectName("ctl_1003");
  setAccessibleName("Picture preview");
  setAutoFillBackground(true);
  setFocusPolicy(Qt::StrongFocus);
  QPalette p = palette();
  p.setColor(QPalette::Window, Qt::black);
  setPalette(p);
}

namespace {

// The picture as the imaging layer decodes it for the disc: upright when
// the camera stored it turned, so the preview shows what the disc will.
QImage DecodePicture(const std::string& path) {
  vexa::imaging::Bitmap b;
  if (!vexa::imaging::Load(path, &b).ok() || b.empty()) return QImage();
  const auto* bits = b.data();
  const auto stride = static_cast<qsizetype>(b.stride());
  switch (b.bitsPerPixel()) {
    case 24: return QImage(bits, b.width(), b.height(), stride, QImage::Format_BGR888).copy();
    case 32: return QImage(bits, b.width(), b.height(), stride, QImage::Format_ARGB32).copy();
    case 8: {
      QImage image(bits, b.width(), b.height(), stride, QImage::Format_Indexed8);
      QList<QRgb> colours;
      for (const vexa::imaging::PaletteEntry& e : b.palette()) colours.push_back(qRgb(e.red, e.green, e.blue));
      colours.resize(256, qRgb(0, 0, 0));
      image.setColorTable(colours);
      return image.convertToFormat(QImage::Format_RGB32);
    }
    default: return QImage();
  }
}

}  // namespace

bool CLead::Load(const std::string& path) {
  m_image = DecodePicture(path);
  m_shown = m_image;
  update();
  return !m_image.isNull();
}

void CLead::Rotate(long hundredths) {
  if (m_image.isNull()) return;
  QTransform t;
  t.rotate(static_cast<double>(hundredths) / 100.0);
  m_shown = m_image.transformed(t, Qt::SmoothTransformation);
  update();
}

void CLead::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.fillRect(rect(), Qt::black);
  if (m_shown.isNull()) return;
  const QSize fitted = m_shown.size().scaled(size(), Qt::KeepAspectRatio);
  const QRect target(QPoint((width() - fitted.width()) / 2, (height() - fitted.height()) / 2), fitted);
  painter.setRenderHint(QPainter::SmoothPixmapTransform);
  painter.drawImage(target, m_shown);
}

CvexaPreviewDlg::CvexaPreviewDlg(WizServices& wiz, QWidget* parent) : QDialog(parent), m_wiz(wiz) {
  setObjectName("dialog130");
  setWindowFlag(Qt::FramelessWindowHint, true);
  // Without a frame the title shows only in window lists, where it names
  // the product rather than the program.
  setWindowTitle(QText(m_wiz, 1, "Kv Orlune Disc Creator Software"));
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  m_view = new CLead(this);
  m_view->installEventFilter(this);
  layout->addWidget(m_view);
  if (m_wiz.language) {
    const QIcon icon = m_wiz.language->Icon(128);
    if (!icon.isNull()) setWindowIcon(icon);
  }
}

int CvexaPreviewDlg::exec() {
  // The preview covers the screen its owner is on.
  QScreen* screen = parentWidget() ? parentWidget()->screen() : QApplication::primaryScreen();
  if (screen) setGeometry(screen->geometry());
  QApplication::setOverrideCursor(Qt::WaitCursor);
  m_view->hide();
  m_view->Load(m_filePath);
  m_view->Rotate(m_rotation * 100);
  m_view->show();
  QApplication::restoreOverrideCursor();
  // Shown by exec() itself, so the window is modal from its first moment
  // (a window shown before exec() is never made modal).
  setWindowState(windowState() | Qt::WindowFullScreen);
  return QDialog::exec();
}

void CvexaPreviewDlg::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  // Above its owner and holding the keys, so Escape closes the preview and
  // nothing behind it; asked for once the window is up.
  m_view->setFocus();
  QTimer::singleShot(0, this, [this] {
    raise();
    // Asked of the window itself: a window that belongs to the active one
    // counts as active already, and activateWindow() would do nothing.
    if (QWindow* window = windowHandle()) window->requestActivate();
    m_view->setFocus();
  });
}

void CvexaPreviewDlg::mousePressEvent(QMouseEvent*) { reject(); }
void CvexaPreviewDlg::keyPressEvent(QKeyEvent*) { reject(); }

bool CvexaPreviewDlg::eventFilter(QObject* watched, QEvent* event) {
  if (watched == m_view && (event->type() == QEvent::MouseButtonPress || event->type() == QEvent::KeyPress)) {
    reject();
    return true;
  }
  return QDialog::eventFilter(watched, event);
}

}  // namespace vexa::wiz
