#include "core/Controls.h"

#include <QEvent>
#include <QPainter>

#include "core/StringTable.h"
#include "platform/base/Path.h"
#include "platform/base/Text.h"

namespace vexa::core {

std::string CPathSplitter::NameAndExtension() const {
  const std::string base = base::BaseName(path_);
  const std::size_t dot = base.rfind('.');
  std::string name = dot == std::string::npos ? base : base.substr(0, dot);
  std::string ext = dot == std::string::npos ? std::string() : base.substr(dot);
  return base::Utf8CutChars(name, 255) + base::Utf8CutChars(ext, 255);
}

// ---- CBitmapCtrl -------------------------------------------------------------------

CBitmapCtrl::CBitmapCtrl(QWidget* parent) : QWidget(parent) {}

void CBitmapCtrl::SetBitmap(const QPixmap& bitmap) {
  bitmap_ = bitmap;
  update();
}

bool CBitmapCtrl::LoadBitmap(const StringTable* library, int id) {
  library_ = library;
  resourceName_.clear();
  resourceId_ = id;
  const std::string path = library ? library->BitmapPath(id) : std::string();
  QPixmap loaded;
  if (path.empty() || !loaded.load(QString::fromStdString(path))) return false;
  SetBitmap(loaded);
  return true;
}

bool CBitmapCtrl::LoadBitmap(const StringTable* library, const std::string& name) {
  library_ = library;
  resourceId_ = -1;
  resourceName_ = name;
  if (!library || name.empty() || name.find('/') != std::string::npos || name.find("..") != std::string::npos) {
    return false;
  }
  const std::string path = base::JoinPath(library->Folder(), name);
  QPixmap loaded;
  if (!base::FileExists(path) || !loaded.load(QString::fromStdString(path))) return false;
  SetBitmap(loaded);
  return true;
}

void CBitmapCtrl::Reload() {
  if (resourceId_ > 0) {
    LoadBitmap(library_, resourceId_);
  } else if (!resourceName_.empty()) {
    LoadBitmap(library_, resourceName_);
  }
}

void CBitmapCtrl::SetText(const QString& text) {
  text_ = text;
  update();
}

void CBitmapCtrl::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  if (!bitmap_.isNull()) {
    // The whole picture but its last row and column, stretched over the
    // control.
    painter.setRenderHint(QPainter::SmoothPixmapTransform, true);
    painter.drawPixmap(rect(), bitmap_,
                       QRect(0, 0, std::max(1, bitmap_.width() - 1), std::max(1, bitmap_.height() - 1)));
    emit parentNotified(kParentNotification);
  }
  if (text_.isEmpty()) return;
  const QRect area = textRect_.isEmpty() ? rect() : textRect_;
  if (font_) painter.setFont(*font_);
  painter.setPen(textColor_);
  painter.setBackgroundMode(Qt::TransparentMode);
  Qt::Alignment align = alignment_ & (Qt::AlignHCenter | Qt::AlignRight | Qt::AlignVCenter);
  if (!(align & (Qt::AlignHCenter | Qt::AlignRight))) align |= Qt::AlignLeft;
  if (!(align & Qt::AlignVCenter)) align |= Qt::AlignTop;
  painter.drawText(area, static_cast<int>(align) | Qt::TextWordWrap | Qt::TextDontClip, text_);
}

void CBitmapCtrl::changeEvent(QEvent* event) {
  QWidget::changeEvent(event);
  if (event->type() == QEvent::PaletteChange || event->type() == QEvent::StyleChange) Reload();
}

// ---- CColorLabel ----------------------------------------------------------------------

CColorLabel::CColorLabel(QWidget* parent) : QLabel(parent) {}

void CColorLabel::SetTextColor(const QColor& color) {
  textColor_ = color;
  repaint();
}

void CColorLabel::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  if (backgroundSet) painter.fillRect(rect(), backgroundColor);
  if (labelFont) painter.setFont(*labelFont);
  painter.setPen(textColor_);
  painter.setBackgroundMode(Qt::TransparentMode);
  const QRect area = contentsRect().adjusted(margin(), margin(), -margin(), -margin());
  painter.drawText(area, static_cast<int>(alignment()) | (wordWrap() ? Qt::TextWordWrap : 0), text());
}

}  // namespace vexa::core
