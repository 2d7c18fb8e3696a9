// Small pieces the pages and dialogs share: the heading label, the bitmap
// static, the resizer that moves a dialog's children by percentages and the
// splitter bar (the split path and the exact-extension file finder are in
// common/FilePaths.h).
#pragma once

#include <QColor>
#include <QFont>
#include <QLabel>
#include <QMargins>
#include <QPixmap>
#include <QRect>
#include <QWidget>
#include <memory>
#include <string>
#include <vector>

#include "wizard/common/FilePaths.h"

class QPainter;

namespace vexa::wiz {

class WizServices;

// A text control with its own font, text colour and background colour.
class CvexaLabel : public QLabel {
  Q_OBJECT
 public:
  explicit CvexaLabel(QWidget* parent = nullptr);
  void SetBackgroundColor(QColor color);
  void SetTextColor(QColor color);
  // Face, size in tenths of a point, weights; false when no font was made.
  bool SetFont(const QString& face, int tenthsOfPoint, bool bold, bool italic, bool underline);
  // Paints the text into the parent's surface at the label's place (word
  // breaks, an ellipsis for what does not fit).
  void PaintOnParent(QPainter* painter);
  bool HasBackground() const { return m_hasBackground; }
  QColor BackgroundColor() const { return m_background; }
  QColor TextColor() const { return m_text; }

 private:
  void Restyle();
  bool m_hasBackground = false;
  QColor m_background;
  QColor m_text = Qt::black;
};

// A static that stretches a bitmap over its whole area and draws its text
// over it.
class CvexaBitmapStatic : public QWidget {
  Q_OBJECT
 public:
  explicit CvexaBitmapStatic(QWidget* parent = nullptr);
  void SetBitmap(const QPixmap& bitmap);
  // From the language bundle by number.
  bool LoadBitmap(const WizServices& wiz, int id);
  bool LoadBitmap(const QString& path);
  void Reload();
  void SetFont(const QFont& font) { m_font = font; update(); }
  void SetTextColor(QColor color) { m_textColor = color; update(); }
  void SetTextRect(QRect rect) { m_textRect = rect; update(); }
  const QPixmap& Bitmap() const { return m_bitmap; }
  // Keeps the bitmap's shape: it is drawn as large as the control allows at
  // this width-to-height ratio, centred (an empty ratio stretches it over
  // the whole control).
  void SetAspectRatio(QSize ratio);
  // Where the bitmap is drawn now.
  QRect BitmapRect() const;
  bool hasHeightForWidth() const override { return !m_ratio.isEmpty(); }
  int heightForWidth(int width) const override;

 signals:
  // After the bitmap is painted, so labels over it draw again.
  void bitmapPainted();

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QPixmap m_bitmap;
  const WizServices* m_wiz = nullptr;
  int m_resourceId = -1;
  QString m_resourceName;
  QColor m_textColor = Qt::black;
  QFont m_font;
  QRect m_textRect;
  QSize m_ratio;
};

// Moves and sizes the children of a window when it is resized, by
// per-child percentages of the change.
class CResizer {
 public:
  void Init(QWidget* window, QRect rect = QRect());
  // Where a missing item or nested resizer is logged (nowhere until set).
  void SetLog(const WizServices* wiz) { m_wiz = wiz; }
  bool AddItem(QWidget* child, int moveX, int moveY, int sizeX, int sizeY);
  void AddResizer(std::unique_ptr<CResizer> nested);
  void Resize(int width, int height, bool topLevel);
  void SetMinimum(int width, int height) {
    m_keepMinimum = true;
    m_minWidth = width;
    m_minHeight = height;
  }
  // The new rectangle of a reference rectangle for a change of dx, dy.
  static QRect Moved(QRect reference, int moveX, int moveY, int sizeX, int sizeY, int dx, int dy);

 private:
  struct Item {
    QRect reference;
    int moveX, moveY, sizeX, sizeY;
    QWidget* child;
  };
  bool m_active = false;
  bool m_keepMinimum = false;
  int m_minWidth = 0, m_minHeight = 0;
  std::vector<std::unique_ptr<CResizer>> m_nested;
  int m_baseWidth = 0, m_baseHeight = 0;
  std::vector<Item> m_items;
  QWidget* m_window = nullptr;
  const WizServices* m_wiz = nullptr;
};

// A draggable bar between two panes that resizes both.
class CSplitterBar : public QWidget {
  Q_OBJECT
 public:
  CSplitterBar(QWidget* parent, bool horizontal);
  void SetPanes(QWidget* first, QWidget* second);
  bool Horizontal() const { return m_horizontal; }
  // Moves the bar to pos along its axis (held between the limits) and lays
  // out the panes, as a drag that ends there does.
  void MoveTo(int pos);

 signals:
  void moved();

 protected:
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void paintEvent(QPaintEvent* event) override;

 private:
  void LayOutPanes();
  bool m_horizontal;
  bool m_dragging = false;
  QWidget* m_first = nullptr;
  QWidget* m_second = nullptr;
  int m_minPos = 0, m_maxPos = 0;
};

// The window frame around a top-level window's client area: the frame the
// window system has given it, or before it has one a title bar's and
// borders' worth, so that a window placed before it is shown still fits.
QMargins FrameAllowance(const QWidget* window);

// Where a top-level window whose client area would be wanted goes on a
// screen whose available area (without panels) is available: no larger than
// that area less the frame, and moved just enough that the frame lies wholly
// inside it, so its edges and its button row can be reached.
QRect FitOnScreen(const QRect& wanted, const QMargins& frame, const QRect& available);

}  // namespace vexa::wiz
