// Art views: child windows that show one rectangle cut from an art sheet,
// placed by a static table of view descriptors; plain user views; and the
// tooltip wrapper used by the skinned buttons and thumbnails.
#pragma once

#include <QRect>
#include <QWidget>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "uicommon/art/Bitmaps.h"
#include "uicommon/common/Broadcast.h"
#include "uicommon/art/ArtExport.h"

class QMenu;

namespace vexa::ui {

class CViewDescriptor {
 public:
  CViewDescriptor() = default;
  CViewDescriptor(int x, int y, int w, int h, int offsetX, int offsetY, std::string artwork)
      : m_x(x), m_y(y), m_w(w), m_h(h), m_offsetX(offsetX), m_offsetY(offsetY),
        m_artwork(std::move(artwork)) {}
  QRect ArtRect() const { return QRect(m_x, m_y, m_w, m_h); }

  int m_x = 0, m_y = 0, m_w = 0, m_h = 0;
  int m_offsetX = 0, m_offsetY = 0;
  std::string m_artwork;
};

using EViewId = int;  // 0 to 84

class CArtView;

class CViewFactory {
 public:
  CViewFactory();
  CViewFactory(const CViewFactory& other);
  CViewFactory& operator=(const CViewFactory& other);
  virtual ~CViewFactory();

  void DefineView(int id, const CViewDescriptor& descriptor);
  // A copy of the stored descriptor; an empty one for an id without.
  CViewDescriptor Descriptor(int id) const;
  bool Defined(int id) const { return m_views.count(id) != 0; }
  // A new art view owned by the caller; null for an id without descriptor.
  CArtView* NewView(QWidget* parent, int id) const;

 private:
  std::map<int, std::unique_ptr<CViewDescriptor>> m_views;
};

// The 85 views of the thumbnail family.
class CViewTable : public CViewFactory {
 public:
  CViewTable();
};

// A copy of the static table's descriptor of the id.
VEXATHUMART_API CViewDescriptor ViewDescriptor(int id);

// An art view and a user view start hidden: the owner shows them once
// stored and placed (see CArtButton).
class VEXATHUMART_API CArtView : public QWidget {
  Q_OBJECT
 public:
  static constexpr int kControlId = 110;
  CArtView(QWidget* parent, const CViewDescriptor& descriptor);
  ~CArtView() override;

  // Sizes any window so that its client area is w x h, one pixel at a time;
  // a window that cannot take the size stops the sizing.
  static void Configure(QWidget* window, const CViewDescriptor& descriptor, bool visibleWhileSizing);

  virtual void BuildMenu(QMenu* menu);
  virtual void OnMenu(unsigned command);
  virtual void OnDraw(QPainter* dc);
  CDDB* Artwork() const { return m_artwork.get(); }

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;

 private:
  std::unique_ptr<CDDB> m_artwork;
};

class VEXATHUMART_API CUserView : public QWidget {
  Q_OBJECT
 public:
  CUserView(QWidget* parent, QRect rect, EViewId id);
  ~CUserView() override;
  // Turns the artwork a quarter turn clockwise.
  void rotate90();
  virtual void OnDraw(QPainter* dc);
  int ControlId() const { return m_id; }
  CDDB* Artwork() const { return m_artwork.get(); }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  std::unique_ptr<CDDB> m_artwork;
  int m_id;
};

// Tooltips for one owner window: a tool for the whole window and tools for
// rectangles of it (the first rectangle tool that holds the pointer wins).
// Follows the "Properties" / "ToolTips" setting on "PropertiesChanged".
class VEXATHUMART_API CTooltip : public QObject, public CListener {
  Q_OBJECT
 public:
  CTooltip();
  ~CTooltip() override;
  void Receive(std::string channel, CParameter* param) override;

  bool Init(QWidget* owner, int active);
  void Activate(int active);
  void AddTool(std::string text);
  void AddTool(std::string text, const QRect& rect, int id);
  void ChangeTool(std::string text);
  void ChangeTool(std::string text, int id);
  std::string GetTool() const;
  std::string GetTool(int id) const;
  // Qt delivers the owner's events to the tooltip itself: nothing to relay.
  void RelayEvent(QEvent* event);

  bool IsActive() const { return m_active; }
  QWidget* Owner() const { return m_owner; }
  // The text shown for a point of the owner ("" when none).
  std::string TextAt(QPoint point) const;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  struct Tool {
    int id;
    QRect rect;
    std::string text;
  };
  QWidget* m_owner = nullptr;
  bool m_active = false;
  bool m_hasWindowTool = false;
  std::string m_windowTool;
  std::vector<Tool> m_tools;
};

// The palette messages of a frame: a changed shared palette repaints the
// frame and everything beneath it; a frame asked for its palette repaints
// and answers how many colours the shared palette has (0: none, or not in
// 256-colour mode).
void OnPaletteChangedHandler(QWidget* changer, QWidget* frame);
int OnQueryNewPaletteHandler(QWidget* frame);

}  // namespace vexa::ui
