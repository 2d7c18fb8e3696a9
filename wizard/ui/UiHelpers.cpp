#include "wizard/ui/UiHelpers.h"

#include <fnmatch.h>
#include <sys/stat.h>

#include <QMouseEvent>
#include <QPainter>
#include <QStyle>
#include <QTextOption>
#include <algorithm>
#include <filesystem>

#include "platform/base/Path.h"
#include "platform/base/Text.h"
#include "wizard/common/Language.h"
#include "wizard/common/WizUtil.h"

namespace vexa::wiz {

// ---- CvexaLabel ------------------------------------------------------------------------

CvexaLabel::CvexaLabel(QWidget* parent) : QLabel(parent) { setWordWrap(true); }

void CvexaLabel::Restyle() {
  QPalette p = palette();
  p.setColor(QPalette::WindowText, m_text);
  if (m_hasBackground) p.setColor(QPalette::Window, m_background);
  setPalette(p);
  setAutoFillBackground(m_hasBackground);
  update();
}

void CvexaLabel::SetBackgroundColor(QColor color) {
  m_hasBackground = true;
  m_background = color;
  Restyle();
}

void CvexaLabel::SetTextColor(QColor color) {
  m_text = color;
  Restyle();
}

bool CvexaLabel::SetFont(const QString& face, int tenthsOfPoint, bool bold, bool italic, bool underline) {
  if (tenthsOfPoint <= 0) return false;
  QFont f(face);
  f.setPointSizeF(tenthsOfPoint / 10.0);
  f.setWeight(bold ? QFont::Bold : QFont::Normal);
  f.setItalic(italic);
  f.setUnderline(underline);
  setFont(f);
  return true;
}

void CvexaLabel::PaintOnParent(QPainter* painter) {
  if (!painter) return;
  QRect r = geometry();
  if (frameShape() != QFrame::NoFrame) r.adjust(2, 2, -2, -2);
  painter->save();
  painter->setFont(font());
  painter->fillRect(r, m_hasBackground ? m_background : painter->background().color());
  painter->setPen(m_text);
  const QString elided = fontMetrics().elidedText(text(), Qt::ElideRight, r.width() * std::max(1, r.height() / std::max(1, fontMetrics().height())));
  painter->drawText(r, Qt::TextWordWrap | Qt::AlignLeft | Qt::AlignTop, elided);
  painter->restore();
}

// ---- CvexaBitmapStatic ----------------------------------------------------------------------

CvexaBitmapStatic::CvexaBitmapStatic(QWidget* parent) : QWidget(parent) {}

void CvexaBitmapStatic::SetBitmap(const QPixmap& bitmap) {
  m_bitmap = bitmap;
  update();
}

bool CvexaBitmapStatic::LoadBitmap(const WizServices& wiz, int id) {
  m_wiz = &wiz;
  m_resourceId = id;
  m_resourceName.clear();
  if (!wiz.language) return false;
  QPixmap p = wiz.language->Bitmap(id);
  if (p.isNull()) return false;  // the old bitmap stays
  SetBitmap(p);
  return true;
}

bool CvexaBitmapStatic::LoadBitmap(const QString& path) {
  m_resourceName = path;
  m_resourceId = -1;
  QPixmap p(path);
  if (p.isNull()) return false;
  SetBitmap(p);
  return true;
}

void CvexaBitmapStatic::Reload() {
  if (m_resourceId > 0 && m_wiz) LoadBitmap(*m_wiz, m_resourceId);
  else if (!m_resourceName.isEmpty()) LoadBitmap(m_resourceName);
}

void CvexaBitmapStatic::SetAspectRatio(QSize ratio) {
  m_ratio = ratio;
  updateGeometry();
  update();
}

QRect CvexaBitmapStatic::BitmapRect() const {
  if (m_ratio.isEmpty()) return rect();
  const QSize fitted = m_ratio.scaled(size(), Qt::KeepAspectRatio);
  return QRect(QPoint((width() - fitted.width()) / 2, (height() - fitted.height()) / 2), fitted);
}

int CvexaBitmapStatic::heightForWidth(int width) const {
  return m_ratio.isEmpty() ? -1 : width * m_ratio.height() / m_ratio.width();
}

void CvexaBitmapStatic::paintEvent(QPaintEvent*) {
  {
    QPainter painter(this);
    if (!m_bitmap.isNull()) {
      painter.setRenderHint(QPainter::SmoothPixmapTransform, true);
      painter.drawPixmap(BitmapRect(), m_bitmap);
    }
    const QString text = windowTitle();
    if (!text.isEmpty()) {
      painter.setPen(m_textColor);
      painter.setFont(m_font);
      painter.drawText(m_textRect.isEmpty() ? rect() : m_textRect,
                       Qt::AlignHCenter | Qt::AlignVCenter | Qt::TextWordWrap, text);
    }
  }
  // Told once the painter is gone: the labels over the bitmap repaint in
  // their own handlers, never inside this paint.
  if (!m_bitmap.isNull()) emit bitmapPainted();
}

// ---- CResizer ---------------------------------------------------------------------------------

void CResizer::Init(QWidget* window, QRect rect) {
  m_window = window;
  if (rect.isEmpty() && window) rect = window->rect();
  m_baseWidth = rect.width();
  m_baseHeight = rect.height();
  m_keepMinimum = false;
  m_active = true;
}

bool CResizer::AddItem(QWidget* child, int moveX, int moveY, int sizeX, int sizeY) {
  if (!child || !m_window) return false;
  QRect r = child->geometry();
  if (child->parentWidget() != m_window && child->parentWidget())
    r.moveTopLeft(child->parentWidget()->mapTo(m_window, r.topLeft()));
  m_items.push_back({r, moveX * 100, moveY * 100, sizeX * 100, sizeY * 100, child});
  return true;
}

void CResizer::AddResizer(std::unique_ptr<CResizer> nested) {
  if (nested) m_nested.push_back(std::move(nested));
}

QRect CResizer::Moved(QRect ref, int moveX, int moveY, int sizeX, int sizeY, int dx, int dy) {
  const int left = ref.left() + moveX * dx / 10000;
  const int top = ref.top() + moveY * dy / 10000;
  const int width = ref.width() + sizeX * dx / 10000;
  const int height = ref.height() + sizeY * dy / 10000;
  return QRect(left, top, width, height);
}

void CResizer::Resize(int width, int height, bool topLevel) {
  if (!m_active) return;
  if (m_keepMinimum && topLevel) {
    width = std::max(width, m_minWidth);
    height = std::max(height, m_minHeight);
  }
  const int dx = width - m_baseWidth;
  const int dy = height - m_baseHeight;
  for (const Item& item : m_items) {
    if (!item.child) {
      if (m_wiz) m_wiz->LogError("CResizer::Resize - Get next item failed.", false);
      return;
    }
    QRect r = Moved(item.reference, item.moveX, item.moveY, item.sizeX, item.sizeY, dx, dy);
    QWidget* owner = item.child->parentWidget();
    if (owner && owner != m_window) r.moveTopLeft(m_window->mapTo(owner, r.topLeft()));
    item.child->setGeometry(r);
    item.child->update();
  }
  for (const auto& nested : m_nested) {
    if (!nested || !nested->m_window) {
      if (m_wiz) m_wiz->LogError("CResizer::Resize - Get next sizer failed.", false);
      return;
    }
    nested->Resize(nested->m_window->width(), nested->m_window->height(), false);
  }
}

// ---- CSplitterBar ----------------------------------------------------------------------------

CSplitterBar::CSplitterBar(QWidget* parent, bool horizontal) : QWidget(parent), m_horizontal(horizontal) {
  setCursor(horizontal ? Qt::SplitVCursor : Qt::SplitHCursor);
  raise();
}

void CSplitterBar::SetPanes(QWidget* first, QWidget* second) {
  m_first = first;
  m_second = second;
  if (!first || !second) return;
  const int half = std::max(1, style()->pixelMetric(QStyle::PM_SplitterWidth) / 2);
  const QRect f = first->geometry();
  if (m_horizontal) {
    setGeometry(f.left(), f.bottom() + 1 - half, f.width(), 2 * half);
    m_minPos = f.top();
    m_maxPos = second->geometry().bottom() + 1 - height();
  } else {
    setGeometry(f.right() + 1 - half, f.top(), 2 * half, f.height());
    m_minPos = f.left();
    m_maxPos = second->geometry().right() + 1 - width();
  }
  LayOutPanes();
}

void CSplitterBar::LayOutPanes() {
  if (!m_first || !m_second) return;
  QRect f = m_first->geometry(), s = m_second->geometry();
  if (m_horizontal) {
    f.setBottom(geometry().top() - 1);
    s.setTop(geometry().bottom() + 1);
  } else {
    f.setRight(geometry().left() - 1);
    s.setLeft(geometry().right() + 1);
  }
  m_first->setGeometry(f);
  m_second->setGeometry(s);
}

void CSplitterBar::MoveTo(int pos) {
  pos = std::clamp(pos, m_minPos, std::max(m_minPos, m_maxPos));
  if (m_horizontal) move(x(), pos);
  else move(pos, y());
  LayOutPanes();
  update();
  emit moved();
}

void CSplitterBar::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return;
  m_dragging = true;
  grabMouse();
}

void CSplitterBar::mouseMoveEvent(QMouseEvent* event) {
  if (!m_dragging || !parentWidget()) return;
  const QPoint p = mapToParent(event->position().toPoint());
  const int pos = std::clamp(m_horizontal ? p.y() : p.x(), m_minPos, std::max(m_minPos, m_maxPos));
  if (m_horizontal) move(x(), pos);
  else move(pos, y());
}

void CSplitterBar::mouseReleaseEvent(QMouseEvent* event) {
  if (!m_dragging) return;
  releaseMouse();
  m_dragging = false;
  const QPoint p = mapToParent(event->position().toPoint());
  MoveTo(m_horizontal ? p.y() : p.x());
}

void CSplitterBar::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  const QPalette& pal = palette();
  const QRect r = rect().adjusted(0, 0, -1, -1);
  painter.setPen(pal.color(QPalette::Light));
  painter.drawLine(r.topLeft(), r.topRight());
  painter.drawLine(r.topLeft(), r.bottomLeft());
  painter.setPen(pal.color(QPalette::Dark));
  painter.drawLine(r.bottomLeft(), r.bottomRight());
  painter.drawLine(r.topRight(), r.bottomRight());
}

// ---- Placing a window on the screen ----------------------------------------------------------------

QMargins FrameAllowance(const QWidget* window) {
  const QRect frame = window->frameGeometry();
  const QRect client = window->geometry();
  const QMargins actual(client.left() - frame.left(), client.top() - frame.top(), frame.right() - client.right(),
                        frame.bottom() - client.bottom());
  if (actual != QMargins()) return actual;
  return QMargins(8, 40, 8, 8);
}

QRect FitOnScreen(const QRect& wanted, const QMargins& frame, const QRect& available) {
  const QRect room = available.marginsRemoved(frame);
  if (room.isEmpty()) return wanted;
  QRect r(wanted.topLeft(), wanted.size().boundedTo(room.size()));
  // Right and bottom first, so a window too far down or right comes back,
  // then left and top, which win when both are out.
  if (r.right() > room.right()) r.moveRight(room.right());
  if (r.bottom() > room.bottom()) r.moveBottom(room.bottom());
  if (r.left() < room.left()) r.moveLeft(room.left());
  if (r.top() < room.top()) r.moveTop(room.top());
  return r;
}

}  // namespace vexa::wiz
