// Small controls of the orchestrator's dialogs: the bitmap control (a
// picture stretched over the whole control with its own text drawn on it),
// the colour label (a label with settable text and background colours), and
// the path splitter (the name-and-extension part of a file path).
#pragma once

#include <QColor>
#include <QFont>
#include <QLabel>
#include <QPixmap>
#include <QRect>
#include <QWidget>
#include <optional>
#include <string>

namespace vexa::core {

class StringTable;

// The name and extension of a path, without its folders (each part at most
// 255 characters). Both separators are accepted.
class CPathSplitter {
 public:
  explicit CPathSplitter(std::string path) : path_(std::move(path)) {}
  std::string NameAndExtension() const;

 private:
  std::string path_;
};

class CBitmapCtrl : public QWidget {
  Q_OBJECT

 public:
  // The message the control sends its parent after drawing its picture.
  static constexpr int kParentNotification = 0x48E;

  explicit CBitmapCtrl(QWidget* parent = nullptr);

  // Replaces the picture held before.
  void SetBitmap(const QPixmap& bitmap);
  const QPixmap& Bitmap() const { return bitmap_; }
  // From the language library's pictures ("bitmap<id>.png"). A failed load
  // keeps the picture held before and answers false.
  bool LoadBitmap(const StringTable* library, int id);
  bool LoadBitmap(const StringTable* library, const std::string& name);
  void Reload();

  void SetTextRect(const QRect& rect) { textRect_ = rect; }
  void SetTextFont(const QFont& font) { font_ = font; }
  void SetTextColor(const QColor& color) { textColor_ = color; }
  // Qt::AlignHCenter (centre style), Qt::AlignRight (right style) and
  // Qt::AlignVCenter (centre-image style) choose how the text sits.
  void SetTextAlignment(Qt::Alignment alignment) { alignment_ = alignment; }
  void SetText(const QString& text);
  QString Text() const { return text_; }

 signals:
  // Sent to the parent after every repaint of the picture.
  void parentNotified(int message);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void changeEvent(QEvent* event) override;

 private:
  QPixmap bitmap_;
  const StringTable* library_ = nullptr;
  int resourceId_ = -1;
  std::string resourceName_;
  QRect textRect_;
  std::optional<QFont> font_;
  QColor textColor_ = Qt::black;
  Qt::Alignment alignment_ = Qt::AlignLeft | Qt::AlignTop;
  QString text_;
};

class CColorLabel : public QLabel {
  Q_OBJECT

 public:
  explicit CColorLabel(QWidget* parent = nullptr);

  // Stores the colour and redraws at once.
  void SetTextColor(const QColor& color);
  QColor TextColor() const { return textColor_; }

  // Set by the owner as plain fields.
  bool backgroundSet = false;
  QColor backgroundColor = Qt::black;
  std::optional<QFont> labelFont;

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QColor textColor_ = Qt::black;
};

}  // namespace vexa::core
