#include "uicommon/art/ArtButton.h"

#include <QApplication>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPainter>

#include "uicommon/common/Command.h"
#include "uicommon/common/Settings.h"
#include "uicommon/common/Strings.h"
#include "uicommon/art/Views.h"

namespace vexa::ui {

// ---- Faces and the art manager -------------------------------------------------------

CFourBitmaps::~CFourBitmaps() = default;

bool CButtonFaceLess::operator()(const CButtonDescriptor& a, const CButtonDescriptor& b) const {
  if (a.m_width != b.m_width) return a.m_width < b.m_width;
  if (a.m_height != b.m_height) return a.m_height < b.m_height;
  if (a.m_artX != b.m_artX) return a.m_artX < b.m_artX;
  return a.m_artY < b.m_artY;
}

namespace {
struct Sheets {
  std::unique_ptr<CDDB> up, down, upHigh, downHigh;
};
// Built when the library is loaded, destroyed when it is unloaded: the
// button table, then the art manager, then the sheets it frees.
struct Globals {
  Sheets sheets;
  CArtMgr artMgr;
  CButtonTable buttonTable;
};
Globals& TheGlobals();
Sheets& TheSheets();
}  // namespace

CArtMgr::CArtMgr() = default;
CArtMgr::~CArtMgr() {
  m_faces.clear();
  FreeArtwork();
}

void CArtMgr::FreeArtwork() {
  Sheets& s = TheSheets();
  s.up.reset();
  s.down.reset();
  s.upHigh.reset();
  s.downHigh.reset();
}

void CArtMgr::InitArtwork() {
  Sheets& s = TheSheets();
  if (GetIntValue(Debug_NoArtwork, 0) != 0 || s.up) return;
  const QRect whole;
  if (!s.up) s.up.reset(GetArtwork("Up", whole));
  if (!s.down) s.down.reset(GetArtwork("Down", whole));
  if (!s.upHigh) s.upHigh.reset(GetArtwork("UpHigh", whole));
  if (!s.downHigh) s.downHigh.reset(GetArtwork("DownHigh", whole));
}

CDDB* CArtMgr::GetArtUp() {
  if (!TheSheets().up) InitArtwork();
  return TheSheets().up.get();
}
CDDB* CArtMgr::GetArtDown() {
  if (!TheSheets().down) InitArtwork();
  return TheSheets().down.get();
}
CDDB* CArtMgr::GetArtUpHigh() {
  if (!TheSheets().upHigh) InitArtwork();
  return TheSheets().upHigh.get();
}
CDDB* CArtMgr::GetArtDownHigh() {
  if (!TheSheets().downHigh) InitArtwork();
  return TheSheets().downHigh.get();
}

bool CArtMgr::SetButtonBitmaps(const CButtonDescriptor& d, CDDB*& up, CDDB*& upHigh, CDDB*& down,
                               CDDB*& downHigh) {
  InitArtwork();
  auto found = m_faces.find(d);
  if (found == m_faces.end()) {
    auto faces = std::make_unique<CFourBitmaps>();
    const QRect r = d.FaceRect();
    auto cut = [&r](CDDB* sheet) -> std::unique_ptr<CDDB> {
      if (!sheet) return nullptr;
      auto face = std::make_unique<CDDB>(*sheet, r, true);
      return face->HasBitmap() ? std::move(face) : nullptr;
    };
    faces->m_up = cut(GetArtUp());
    faces->m_upHigh = cut(GetArtUpHigh());
    faces->m_down = cut(GetArtDown());
    faces->m_downHigh = cut(GetArtDownHigh());
    if (!faces->m_up || !faces->m_upHigh || !faces->m_down || !faces->m_downHigh) {
      if (qApp)
        QMessageBox::critical(nullptr, QString(),
                              QStringLiteral("INTERNAL ERROR: ArtMgr: Cannot create bitmap resources. \n"
                                             "                Please shutdown other applications."));
      return false;
    }
    found = m_faces.emplace(d, std::move(faces)).first;
  }
  up = found->second->m_up.get();
  upHigh = found->second->m_upHigh.get();
  down = found->second->m_down.get();
  downHigh = found->second->m_downHigh.get();
  return true;
}

namespace {
Globals& TheGlobals() {
  static Globals globals;
  return globals;
}
Sheets& TheSheets() { return TheGlobals().sheets; }
}  // namespace

CArtMgr& TheArtMgr() { return TheGlobals().artMgr; }

// ---- Button table -----------------------------------------------------------------------

CButtonFactory::CButtonFactory() = default;
CButtonFactory::~CButtonFactory() = default;
CButtonFactory::CButtonFactory(const CButtonFactory& other) { *this = other; }

CButtonFactory& CButtonFactory::operator=(const CButtonFactory& other) {
  if (this == &other) return *this;
  m_buttons.clear();
  for (const auto& [id, d] : other.m_buttons) m_buttons[id] = std::make_unique<CButtonDescriptor>(*d);
  m_iter = other.m_iter;
  return *this;
}

void CButtonFactory::DefineButton(int id, const CButtonDescriptor& d) {
  m_buttons[id] = std::make_unique<CButtonDescriptor>(d);
}

CArtButton* CButtonFactory::NewButton(QWidget* parent, int id) const {
  auto found = m_buttons.find(id);
  if (found == m_buttons.end()) return nullptr;
  return new CArtButton(parent, id, *found->second);
}

CButtonDescriptor CButtonFactory::Descriptor(int id) const {
  auto found = m_buttons.find(id);
  return found == m_buttons.end() ? CButtonDescriptor() : *found->second;
}

void CButtonFactory::DeleteButton(int id) { m_buttons.erase(id); }

void CButtonFactory::SetIter() { m_iter = -1; }

bool CButtonFactory::NextDescriptor(CButtonDescriptor& d, int& id) {
  auto next = m_buttons.upper_bound(m_iter);
  if (next == m_buttons.end()) return false;
  d = *next->second;
  id = m_iter = next->first;
  return true;
}

CButtonTable::CButtonTable() {
  // id, art x, art y, width, height, window x, window y, tooltip, help source, help.
  struct Row {
    int id, ax, ay, w, h, wx, wy, tip;
  };
  static const Row kRows[] = {
      {0, 233, 57, 116, 142, 0, 0, 0},      // the thumbnail cell
      {1, 118, 58, 22, 22, 1, 1, 6274},     // selected photo: adjust
      {2, 210, 150, 22, 22, 93, 93, 6004},  // rotate clockwise
      {3, 118, 150, 22, 22, 1, 93, 6003},   // rotate counterclockwise
      {4, 210, 58, 22, 22, 93, 1, 6235},    // remove
      {5, 2, 58, 22, 22, 1, 1, 6274},       // unselected photo: adjust
      {6, 94, 150, 22, 22, 93, 93, 6233},   // rotate clockwise
      {7, 2, 150, 22, 22, 1, 93, 6234},     // rotate counterclockwise
      {8, 94, 58, 22, 22, 93, 1, 6235},     // remove
      {53, 249, 1, 138, 128, 0, 0, 0},      // cell sizes of the other size modes
      {54, 249, 1, 138, 128, 0, 0, 0},
      {55, 527, 1, 110, 110, 0, 0, 0},
      {56, 388, 1, 138, 128, 0, 0, 0},
  };
  for (const Row& r : kRows) {
    CButtonDescriptor d;
    d.m_artX = r.ax;
    d.m_artY = r.ay;
    d.m_width = r.w;
    d.m_height = r.h;
    d.m_windowX = r.wx;
    d.m_windowY = r.wy;
    d.m_tooltipId = r.tip;
    DefineButton(r.id, d);
  }
}

CArtButton* NewArtButton(QWidget* parent, int id) {
  return TheGlobals().buttonTable.NewButton(parent, id);
}

CButtonDescriptor ButtonDescriptor(int id) { return TheGlobals().buttonTable.Descriptor(id); }

// ---- Behaviour ---------------------------------------------------------------------------

void CArtButtonState::Press() {
  inside = true;
  pushedAtPress = pushed;
  if (toggleMode) pushed = !pushed;
  else pushed = true;
  tracking = true;
}

void CArtButtonState::Move(bool over) {
  if (!tracking) return;
  if (over) {
    inside = true;
    // A push button dragged back on presses in again.
    if (!toggleMode && pushed == pushedAtPress) pushed = !pushed;
  } else {
    inside = false;
    highlight = false;
    // A push button dragged off lets go.
    if (!toggleMode && pushed != pushedAtPress) pushed = !pushed;
  }
}

bool CArtButtonState::Release(bool over) {
  if (!tracking) return false;
  bool notify = false;
  if (over) {
    if (!toggleMode) pushed = false;
    notify = true;
  } else {
    // A press that ends outside is undone.
    pushed = pushedAtPress;
  }
  inside = false;
  tracking = false;
  return notify;
}

void CArtButtonState::Hover(bool over) {
  if (tracking) return;
  highlight = over;
}

// ---- The button window ---------------------------------------------------------------------

CArtButton::CArtButton(QWidget* parent) : QWidget(parent) {}

CArtButton::CArtButton(QWidget* parent, int id, const CButtonDescriptor& d) : QWidget(parent) {
  Construct(id, d);
}

void CArtButton::Construct(int id, const CButtonDescriptor& d) {
  m_id = id;
  m_state = CArtButtonState();
  m_windowRect = QRect(d.m_windowX, d.m_windowY, d.m_width, d.m_height);
  setGeometry(m_windowRect);
  setProperty("controlId", ControlId());
  setAttribute(Qt::WA_OpaquePaintEvent);
  setMouseTracking(true);
  m_faceRect = QRect(0, 0, d.m_width, d.m_height);
  if (GetIntValue(Debug_NoArtwork, 0) != 0) {
    m_ownFaces = std::make_unique<CFourBitmaps>();
    m_ownFaces->m_up.reset(GetArtwork("Up", d.FaceRect()));
    m_ownFaces->m_down.reset(GetArtwork("Down", d.FaceRect()));
    m_ownFaces->m_upHigh.reset(GetArtwork("UpHigh", d.FaceRect()));
    m_ownFaces->m_downHigh.reset(GetArtwork("DownHigh", d.FaceRect()));
    m_up = m_ownFaces->m_up.get();
    m_down = m_ownFaces->m_down.get();
    m_upHigh = m_ownFaces->m_upHigh.get();
    m_downHigh = m_ownFaces->m_downHigh.get();
  } else {
    TheArtMgr().SetButtonBitmaps(d, m_up, m_upHigh, m_down, m_downHigh);
  }
  m_helpId = d.m_helpId;
  m_helpSourceId = d.m_helpSourceId;
  if (d.m_tooltipId != 0) {
    m_tooltip = std::make_unique<CTooltip>();
    m_tooltip->Init(this, GetIntValue(Properties_ToolTips, 1));
    m_tooltipText = vexa::ui::LoadResString(d.m_tooltipId);
    m_tooltip->AddTool(m_tooltipText);
  }
}

CArtButton::~CArtButton() = default;

CDDB* CArtButton::Bitmap() { return m_state.pushed ? m_down : m_up; }

void CArtButton::Background(CDDB* background) { m_background.reset(background); }

void CArtButton::Highlight(bool on) {
  m_state.highlight = on;
  repaint();
}

void CArtButton::SetArt(CArtButton& other) {
  m_up = other.m_up;
  m_down = other.m_down;
  m_upHigh = other.m_upHigh;
  m_downHigh = other.m_downHigh;
}

void CArtButton::Move(QRect rect) {
  m_windowRect = rect;
  setGeometry(rect);
  update();
}

void CArtButton::Toggle() {
  m_state.Toggle();
  update();
}

void CArtButton::SetState(bool pushed) {
  if (pushed != m_state.pushed) Toggle();
}

void CArtButton::ChangeTooltip(std::string text) {
  m_tooltipText = text;
  if (m_tooltip) m_tooltip->ChangeTool(std::move(text));
}

bool CArtButton::ButtonHit(QPoint clientPoint) const {
  const QWidget* top = window();
  const QPoint inTop = mapTo(top, clientPoint);
  return top->childAt(inTop) == this || (top == this && rect().contains(clientPoint));
}

void CArtButton::NotifyTarget() { PostCommand(parentWidget(), ControlId()); }

void CArtButton::OnDraw(QPainter* dc) {
  CDDB* face = nullptr;
  if (m_state.pushed) face = m_state.highlight ? m_downHigh : m_down;
  else face = m_state.highlight ? m_upHigh : m_up;
  if (!face) return;
  face->Draw(dc, QRect(0, 0, m_windowRect.width(), m_windowRect.height()), m_faceRect, SRCCOPY);
}

void CArtButton::paintEvent(QPaintEvent*) {
  QPainter p(this);
  OnDraw(&p);
}

void CArtButton::BringParentFrameForward() {
  if (QWidget* top = window()) {
    if (top->isVisible()) {
      top->raise();
      top->activateWindow();
    }
  }
}

void CArtButton::mousePressEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton) {
    BringParentFrameForward();
    m_state.Press();
    repaint();
    return;
  }
  if (event->button() == Qt::MiddleButton) BringParentFrameForward();
  QWidget::mousePressEvent(event);
}

void CArtButton::mouseDoubleClickEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton) {
    mousePressEvent(event);
    return;
  }
  QWidget::mouseDoubleClickEvent(event);
}

void CArtButton::mouseMoveEvent(QMouseEvent* event) {
  const bool over = rect().contains(event->position().toPoint());
  if (m_state.tracking) {
    const bool before = m_state.pushed;
    const bool lit = m_state.highlight;
    m_state.Move(over);
    if (before != m_state.pushed || lit != m_state.highlight) repaint();
  } else if (over != m_state.highlight) {
    m_state.Hover(over);
    update();
  }
  QWidget::mouseMoveEvent(event);
}

void CArtButton::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton || !m_state.tracking) {
    QWidget::mouseReleaseEvent(event);
    return;
  }
  const bool over = rect().contains(event->position().toPoint());
  const bool notify = m_state.Release(over);
  update();
  if (notify) NotifyTarget();
}

void CArtButton::enterEvent(QEnterEvent* event) {
  m_state.Hover(true);
  update();
  QWidget::enterEvent(event);
}

void CArtButton::leaveEvent(QEvent* event) {
  m_state.Hover(false);
  update();
  QWidget::leaveEvent(event);
}

}  // namespace vexa::ui
