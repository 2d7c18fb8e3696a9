#include "uicommon/art/Views.h"

#include <QApplication>
#include <QHelpEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QToolTip>
#include <QTransform>

#include "uicommon/common/Settings.h"

namespace vexa::ui {

// ---- View table ---------------------------------------------------------------

CViewFactory::CViewFactory() = default;
CViewFactory::~CViewFactory() = default;

CViewFactory::CViewFactory(const CViewFactory& other) { *this = other; }

CViewFactory& CViewFactory::operator=(const CViewFactory& other) {
  if (this == &other) return *this;
  m_views.clear();
  for (const auto& [id, d] : other.m_views) m_views[id] = std::make_unique<CViewDescriptor>(*d);
  return *this;
}

void CViewFactory::DefineView(int id, const CViewDescriptor& descriptor) {
  m_views[id] = std::make_unique<CViewDescriptor>(descriptor);
}

CViewDescriptor CViewFactory::Descriptor(int id) const {
  auto found = m_views.find(id);
  return found == m_views.end() ? CViewDescriptor() : *found->second;
}

CArtView* CViewFactory::NewView(QWidget* parent, int id) const {
  auto found = m_views.find(id);
  if (found == m_views.end()) return nullptr;
  return new CArtView(parent, *found->second);
}

CViewTable::CViewTable() {
#include "uicommon/art/ViewTable.inc"
}

namespace {
// Built when the library is loaded, destroyed when it is unloaded.
const CViewTable g_viewTable;
}  // namespace

CViewDescriptor ViewDescriptor(int id) { return g_viewTable.Descriptor(id); }

// ---- Art view -------------------------------------------------------------------

CArtView::CArtView(QWidget* parent, const CViewDescriptor& d)
    : QWidget(parent), m_artwork(GetArtwork(d.m_artwork, d.ArtRect())) {
  setGeometry(d.m_offsetX, d.m_offsetY, d.m_w, d.m_h);
  setProperty("controlId", kControlId);
  setAttribute(Qt::WA_OpaquePaintEvent);
}

CArtView::~CArtView() = default;

void CArtView::BuildMenu(QMenu*) {}
void CArtView::OnMenu(unsigned) {}

void CArtView::OnDraw(QPainter* dc) {
  if (m_artwork) m_artwork->DrawTiles(dc, width(), height(), SRCCOPY);
}

void CArtView::paintEvent(QPaintEvent*) {
  QPainter p(this);
  OnDraw(&p);
}

void CArtView::mousePressEvent(QMouseEvent* event) {
  if (event->button() == Qt::RightButton) {
    QMenu menu;
    BuildMenu(&menu);
    if (!menu.isEmpty()) {
      if (QAction* chosen = menu.exec(event->globalPosition().toPoint()))
        OnMenu(chosen->data().toUInt());
    }
  }
  QWidget::mousePressEvent(event);
}

void CArtView::Configure(QWidget* window, const CViewDescriptor& d, bool visibleWhileSizing) {
  if (!window) return;
  const bool wasVisible = window->isVisible();
  if (!visibleWhileSizing) window->hide();
  // One pixel at a time towards the wanted client size, repainting at each
  // step. A step that leaves the size as it was (a minimum or maximum size)
  // ends the sizing, and no axis takes more steps than its distance.
  auto step = [window](int want, bool vertical) {
    auto current = [window, vertical] { return vertical ? window->height() : window->width(); };
    const int dir = current() < want ? 1 : -1;
    const int limit = std::abs(current() - want);
    for (int i = 0; i < limit && current() != want; ++i) {
      const int before = current();
      if (vertical) window->resize(window->width(), before + dir);
      else window->resize(before + dir, window->height());
      if (current() == before) break;
      if (window->isVisible()) window->repaint();
    }
  };
  step(d.m_h, true);
  step(d.m_w, false);
  if (!visibleWhileSizing && wasVisible) window->show();
}

// ---- User view --------------------------------------------------------------------

CUserView::CUserView(QWidget* parent, QRect rect, EViewId id) : QWidget(parent), m_id(id) {
  const CViewDescriptor d = ViewDescriptor(id);
  m_artwork.reset(GetArtwork(d.m_artwork, d.ArtRect()));
  setGeometry(rect);
  setProperty("controlId", id);
  // The view paints all of itself; no background is erased first.
  setAttribute(Qt::WA_OpaquePaintEvent);
}

CUserView::~CUserView() = default;

void CUserView::OnDraw(QPainter* dc) {
  if (m_artwork) m_artwork->DrawTiles(dc, width(), height(), SRCCOPY);
}

void CUserView::paintEvent(QPaintEvent*) {
  QPainter p(this);
  OnDraw(&p);
}

void CUserView::rotate90() {
  if (!m_artwork) return;
  const QImage turned = m_artwork->ToImage().transformed(QTransform().rotate(90));
  if (turned.isNull()) return;
  auto artwork = std::make_unique<CDDB>(turned.width(), turned.height(), true);
  if (!artwork->FromImage(turned)) return;
  m_artwork = std::move(artwork);
  update();
}

// ---- Tooltip ------------------------------------------------------------------------

CTooltip::CTooltip() { AddListener("PropertiesChanged", this); }

CTooltip::~CTooltip() {
  RemoveListener("PropertiesChanged", this);
  if (m_owner) m_owner->removeEventFilter(this);
}

void CTooltip::Receive(std::string channel, CParameter*) {
  if (channel == "PropertiesChanged") Activate(GetIntValue(Properties_ToolTips, 1));
}

bool CTooltip::Init(QWidget* owner, int active) {
  if (!owner) return false;
  if (m_owner) m_owner->removeEventFilter(this);
  m_owner = owner;
  m_owner->installEventFilter(this);
  // The tooltip window goes with its owner.
  connect(owner, &QObject::destroyed, this, [this] { m_owner = nullptr; });
  Activate(active);
  return true;
}

void CTooltip::Activate(int active) {
  if (!m_owner) return;
  m_active = active != 0;
  if (!m_active && QToolTip::isVisible()) QToolTip::hideText();
}

void CTooltip::AddTool(std::string text) {
  if (!m_owner || text.empty()) return;
  m_hasWindowTool = true;
  m_windowTool = std::move(text);
}

void CTooltip::AddTool(std::string text, const QRect& rect, int id) {
  if (!m_owner || text.empty()) return;
  m_tools.push_back({id, rect, std::move(text)});
}

void CTooltip::ChangeTool(std::string text) {
  if (!m_owner || text.empty()) return;
  m_hasWindowTool = false;
  AddTool(std::move(text));
}

void CTooltip::ChangeTool(std::string text, int id) {
  if (!m_owner || text.empty()) return;
  for (Tool& t : m_tools)
    if (t.id == id) t.text = text;
}

std::string CTooltip::GetTool() const {
  return m_owner && m_hasWindowTool ? m_windowTool : std::string();
}

std::string CTooltip::GetTool(int id) const {
  if (!m_owner) return std::string();
  for (const Tool& t : m_tools)
    if (t.id == id) return t.text;
  return std::string();
}

void CTooltip::RelayEvent(QEvent*) {}

std::string CTooltip::TextAt(QPoint point) const {
  if (!m_owner || !m_active) return std::string();
  for (const Tool& t : m_tools)
    if (t.rect.contains(point)) return t.text;
  return m_hasWindowTool ? m_windowTool : std::string();
}

bool CTooltip::eventFilter(QObject* watched, QEvent* event) {
  if (watched == m_owner && event->type() == QEvent::ToolTip) {
    auto* help = static_cast<QHelpEvent*>(event);
    const std::string text = TextAt(help->pos());
    if (text.empty()) {
      QToolTip::hideText();
    } else {
      QToolTip::showText(help->globalPos(), QString::fromStdString(text), m_owner);
    }
    return true;
  }
  return QObject::eventFilter(watched, event);
}

void OnPaletteChangedHandler(QWidget* changer, QWidget* frame) {
  if (!frame || changer == frame || !CDDB::Palette()) return;
  // Everything beneath repaints with the shared colours.
  frame->update();
  for (QWidget* child : frame->findChildren<QWidget*>()) child->update();
}

int OnQueryNewPaletteHandler(QWidget* frame) {
  if (!frame || !Use256ColorMode() || !CDDB::Palette()) return 0;
  frame->update();
  return CDDB::Palette()->GetEntryCount();
}

}  // namespace vexa::ui
