// The window of each photo in a gallery: an art button whose face is the
// thumbnail cell and which draws the photo's thumbnail on top; the
// selection thumbnail adds selection by click, corner buttons (rotate,
// adjust, remove), an in-place caption editor, dragging and copying; and
// the transparent windows that draw the drag outline and the rubber band.
#pragma once

#include <QLineEdit>
#include <QPoint>
#include <QRect>
#include <QWidget>
#include <array>
#include <memory>
#include <string>
#include <vector>

#include "gallery/GalleryCallback.h"
#include "gallery/GalleryExport.h"
#include "gallery/ThumbnailHost.h"
#include "uicommon/art/ArtButton.h"
#include "uicommon/common/Broadcast.h"
#include "uicommon/art/Views.h"

namespace vexa::gallery {

class CEditFilename;

class CThumbnailWindow : public ui::CArtButton, public ui::CListener {
  Q_OBJECT
 public:
  CThumbnailWindow(QWidget* gallery, int photoId, int descriptorId, int extra);
  ~CThumbnailWindow() override;
  void Receive(std::string channel, ui::CParameter* param) override;

  virtual void SetThumbnail(ui::CDDB& thumbnail);
  ui::CDDB* Thumbnail() const { return m_thumbnail.get(); }
  int PhotoId() const { return m_photoId; }
  void OnDraw(QPainter* dc) override;

 protected:
  // The caption is made before the painter begins: no window is made while
  // this one is being painted.
  void paintEvent(QPaintEvent* event) override;
  // Told whether the pointer is over this window.
  virtual void CaptureChanged(bool held) { (void)held; }
  virtual void PrepareCaption() {}
  virtual void DrawMissing(QPainter* dc);
  int m_photoId;
  int m_extra;
  std::unique_ptr<ui::CDDB> m_thumbnail;
  QWidget* m_gallery;
};

class CSelectThumbnail : public CThumbnailWindow {
  Q_OBJECT
 public:
  CSelectThumbnail(CThumbnailHost* gallery, int photoId);
  ~CSelectThumbnail() override;
  void Receive(std::string channel, ui::CParameter* param) override;
  void OnDraw(QPainter* dc) override;

  // Flips the photo's selection; the pushed state follows.
  void SelectToggle();
  // The tooltip tells why the photo has no picture ("": the usual tip).
  void ShowProblem(const std::string& why);
  // The tooltip text at a point of the window.
  std::string TooltipAt(QPoint point) const { return m_tooltip.TextAt(point); }
  // Makes the pushed state mirror the photo list.
  void SyncPushed();
  CEditFilename* CaptionEdit() const { return m_edit.get(); }
  // The corner buttons shown now (ids 1-4 for a selected photo, 5-8 otherwise).
  std::vector<int> CornerButtonIds() const;
  // Copies (or cuts) the selected photos, or this photo alone.
  void Copy(bool allSelected, bool cut);
  CDropSource& DropSource() { return m_dropSource; }
  // The image area of the cell, where a press selects.
  static QRect ImageArea() { return QRect(12, 12, 92, 92); }
  static constexpr int kDragDistance = 20;

 protected:
  bool event(QEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void enterEvent(QEnterEvent* event) override;
  void leaveEvent(QEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;
  void CaptureChanged(bool held) override;
  // Makes the corner buttons for the pointer over this window, or removes
  // them.
  void ApplyCorners(bool held);
  void PrepareCaption() override;
  void DrawMissing(QPainter* dc) override;
  virtual void OnCommand(int command);
  void RunCommandLater(int command);

  CThumbnailHost* m_host;
  bool m_tracking = false;
  bool m_pendingPress = false;
  bool m_shift = false, m_ctrl = false;
  QPoint m_pressPoint;  // screen coordinates
  std::array<std::unique_ptr<ui::CArtButton>, 8> m_corners;
  bool m_changingCorners = false;  // CaptureChanged is at work
  bool m_wantCorners = false;      // the latest wish it was given
  ui::CTooltip m_tooltip;
  std::unique_ptr<CEditFilename> m_edit;
  CDropSource m_dropSource{"SelectThumbnail"};
};

// A selection thumbnail that never shows corner buttons; a double click
// goes to the host.
class CDirThumbnail : public CSelectThumbnail {
  Q_OBJECT
 public:
  using CSelectThumbnail::CSelectThumbnail;

 protected:
  void CaptureChanged(bool) override {}
};

// The caption under a thumbnail, shown (0), shown highlighted (1), editing
// with the whole text selected (2) and editing (3).
class CEditFilename : public QLineEdit, public ui::CListener {
  Q_OBJECT
 public:
  CEditFilename(QWidget* parent, int photoId, bool readOnly);
  ~CEditFilename() override;
  void Receive(std::string channel, ui::CParameter* param) override;
  bool IsEditing() const { return m_mode == 2 || m_mode == 3; }
  // The text as it is shown when not edited: whole, or cut with an ellipsis
  // to the caption's width.
  QString ShownText() const;
  int Mode() const { return m_mode; }
  void SetMode(int mode);
  // The caption as it may stand: no leading blanks or dots, none of
  // \/:*?"<>|, at most 255 characters.
  static std::string CleanCaption(const std::string& text);
  int Beeps() const { return m_beeps; }

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void focusInEvent(QFocusEvent* event) override;
  void focusOutEvent(QFocusEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  bool event(QEvent* event) override;
  // A shown caption too long for its place ends in an ellipsis; while it is
  // edited, the whole text scrolls as usual.
  void paintEvent(QPaintEvent* event) override;

 private:
  void OnEdited(const QString& text);
  int m_photoId;
  int m_mode = 0;
  bool m_closing = false;
  bool m_tab = false;
  bool m_cleaning = false;
  int m_beeps = 0;

 public:
  bool m_changed = false;  // the photo is not saved
};

// Transparent windows over the gallery that draw outlines.
class CRubberBandWnd : public QWidget {
  Q_OBJECT
 public:
  CRubberBandWnd(QWidget* parent, const QRect& area);
  void SetRect(const QRect& rect);
  QRect Rect() const { return m_rect; }
  void Erase();

 protected:
  void paintEvent(QPaintEvent*) override;

 private:
  QRect m_rect, m_drawn;
};

class CDragWnd : public QWidget {
  Q_OBJECT
 public:
  CDragWnd(QWidget* parent, const QRect& area, std::vector<QRect> rects);
  void SetOffset(QPoint offset);
  void Erase();

 protected:
  void paintEvent(QPaintEvent*) override;

 private:
  std::vector<QRect> m_rects, m_drawn;
  QPoint m_offset, m_lastOffset;
};

}  // namespace vexa::gallery
