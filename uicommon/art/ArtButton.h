// Skinned buttons drawn from art: four faces (released, pressed, and a
// highlighted variant of each while the pointer is over the button), cut
// from the art sheets and shared by every button whose face lies at the
// same place; the button table that describes them by a small integer; and
// the button window, which tracks the mouse itself and tells its parent by
// a posted command (its id + 300).
#pragma once

#include <QRect>
#include <QWidget>
#include <map>
#include <memory>
#include <string>

#include "uicommon/art/Bitmaps.h"
#include "uicommon/art/ArtExport.h"

namespace vexa::ui {

class CTooltip;

struct CButtonDescriptor {
  int m_artX = 0, m_artY = 0;        // top-left of the face on each sheet
  int m_width = 0, m_height = 0;     // of the face and of the window
  int m_windowX = 0, m_windowY = 0;  // position in the parent
  int m_tooltipId = 0;               // 0: no tooltip
  int m_helpSourceId = 0;
  int m_helpId = 0;
  QRect FaceRect() const { return QRect(m_artX, m_artY, m_width, m_height); }
};

class CFourBitmaps {
 public:
  CFourBitmaps() = default;
  virtual ~CFourBitmaps();
  CFourBitmaps(const CFourBitmaps&) = delete;
  CFourBitmaps& operator=(const CFourBitmaps&) = delete;
  std::unique_ptr<CDDB> m_up, m_upHigh, m_down, m_downHigh;
};

// Faces ordered by width, height, art x, art y: two buttons whose faces lie
// at the same place on the sheets share one entry.
struct CButtonFaceLess {
  bool operator()(const CButtonDescriptor& a, const CButtonDescriptor& b) const;
};

class CArtMgr {
 public:
  CArtMgr();
  virtual ~CArtMgr();
  CArtMgr(const CArtMgr&) = delete;
  CArtMgr& operator=(const CArtMgr&) = delete;

  // The four faces of the descriptor, cut once and kept; false when a face
  // cannot be cut.
  bool SetButtonBitmaps(const CButtonDescriptor& d, CDDB*& up, CDDB*& upHigh, CDDB*& down,
                        CDDB*& downHigh);
  int CachedFaces() const { return static_cast<int>(m_faces.size()); }

  static CDDB* GetArtUp();
  static CDDB* GetArtDown();
  static CDDB* GetArtUpHigh();
  static CDDB* GetArtDownHigh();
  // Frees the four sheets (the library does so when it is unloaded).
  static void FreeArtwork();

 private:
  static void InitArtwork();
  std::map<CButtonDescriptor, std::unique_ptr<CFourBitmaps>, CButtonFaceLess> m_faces;
};

// The process's art manager.
CArtMgr& TheArtMgr();

class CArtButton;

class CButtonFactory {
 public:
  CButtonFactory();
  CButtonFactory(const CButtonFactory& other);
  CButtonFactory& operator=(const CButtonFactory& other);
  virtual ~CButtonFactory();

  void DefineButton(int id, const CButtonDescriptor& d);
  // Null for an id the table does not define.
  CArtButton* NewButton(QWidget* parent, int id) const;
  CButtonDescriptor Descriptor(int id) const;
  bool Defined(int id) const { return m_buttons.count(id) != 0; }
  void DeleteButton(int id);
  void SetIter();
  bool NextDescriptor(CButtonDescriptor& d, int& id);

 private:
  std::map<int, std::unique_ptr<CButtonDescriptor>> m_buttons;
  int m_iter = -1;  // the last id handed out
};

class CButtonTable : public CButtonFactory {
 public:
  CButtonTable();
};

// A new, hidden button of the table (null for an id it does not define).
VEXATHUMART_API CArtButton* NewArtButton(QWidget* parent, int id);
VEXATHUMART_API CButtonDescriptor ButtonDescriptor(int id);

// The button's behaviour without a window: what a press, a drag and a
// release do to its pushed and highlighted states, and when the parent is
// told.
struct CArtButtonState {
  bool pushed = false;
  bool toggleMode = true;
  bool pushedAtPress = false;
  bool inside = false;
  bool tracking = false;
  bool highlight = false;

  void Toggle() { pushed = !pushed; }
  void Press();
  // The pointer moved during a press; `over` says whether it is over the button.
  void Move(bool over);
  // The button was released; true when the parent is to be told.
  bool Release(bool over);
  // The pointer entered or left the button while no press is tracked.
  void Hover(bool over);
};

// A button starts hidden, as do the views (Views.h): its owner shows it once
// it has stored and placed it. Showing a window under the pointer makes Qt
// send enter and leave events at once, and they may reach the owner while
// it is still making the button.
class VEXATHUMART_API CArtButton : public QWidget {
  Q_OBJECT
 public:
  static constexpr int kCommandOffset = 300;
  CArtButton(QWidget* parent, int id, const CButtonDescriptor& d);
  ~CArtButton() override;

  virtual CDDB* Bitmap();
  virtual void Background(CDDB* background);
  virtual void Highlight(bool on);
  virtual bool GetHighlight() const { return m_state.highlight; }
  virtual void SetUp(CDDB* face) { m_up = face; }
  virtual void SetDown(CDDB* face) { m_down = face; }
  virtual void SetUpHigh(CDDB* face) { m_upHigh = face; }
  virtual void SetDownHigh(CDDB* face) { m_downHigh = face; }
  virtual void SetArt(CArtButton& other);
  virtual CDDB* GetUp() const { return m_up; }
  virtual CDDB* GetDown() const { return m_down; }
  virtual CDDB* GetUpHigh() const { return m_upHigh; }
  virtual CDDB* GetDownHigh() const { return m_downHigh; }
  virtual bool IsPushed() const { return m_state.pushed; }
  virtual void HelpId(int id) { m_helpId = id; }
  virtual void HelpSourceId(int id) { m_helpSourceId = id; }
  virtual void Move(QRect rect);
  virtual void Toggle();
  virtual void ToggleMode(bool on) { m_state.toggleMode = on; }
  virtual bool ToggleMode() const { return m_state.toggleMode; }
  virtual void SetState(bool pushed);
  virtual void Tooltip(std::string text) { m_tooltipText = std::move(text); }
  virtual std::string Tooltip() const { return m_tooltipText; }
  virtual void ChangeTooltip(std::string text);
  virtual QRect WindowRect() const { return m_windowRect; }
  virtual bool ButtonHit(QPoint clientPoint) const;
  virtual void NotifyTarget();
  virtual void OnDraw(QPainter* dc);

  int GetHelpId() const { return m_helpId; }
  int ButtonId() const { return m_id; }
  int ControlId() const { return m_id + kCommandOffset; }
  CTooltip* TooltipObject() const { return m_tooltip.get(); }
  const CArtButtonState& State() const { return m_state; }

 protected:
  CArtButton(QWidget* parent);  // an empty button for derived windows
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void enterEvent(QEnterEvent* event) override;
  void leaveEvent(QEvent* event) override;
  void Construct(int id, const CButtonDescriptor& d);

  CArtButtonState m_state;

 private:
  void BringParentFrameForward();
  int m_helpId = 0;
  int m_helpSourceId = 0;
  QRect m_windowRect;
  CDDB* m_up = nullptr;
  CDDB* m_down = nullptr;
  CDDB* m_upHigh = nullptr;
  CDDB* m_downHigh = nullptr;
  std::unique_ptr<CDDB> m_background;
  std::unique_ptr<CTooltip> m_tooltip;
  std::string m_tooltipText;
  int m_id = 0;
  QRect m_faceRect;
  // Faces made for this button alone (the plain faces of NoArtwork).
  std::unique_ptr<CFourBitmaps> m_ownFaces;
};

}  // namespace vexa::ui
