#include "uicommon/common/WaitCursor.h"

#include <QAction>
#include <QGuiApplication>
#include <QMenuBar>
#include <QMouseEvent>
#include <cstring>

namespace vexa::ui {

CWaitWnd::CWaitWnd(QWidget* parent) : QWidget(parent) {
  setAttribute(Qt::WA_NoSystemBackground);
  setAttribute(Qt::WA_TranslucentBackground);
}

void CWaitWnd::mousePressEvent(QMouseEvent* event) {
  event->accept();
  if (QWidget* top = window()) {
    top->raise();
    top->activateWindow();
  }
}

namespace {
Qt::CursorShape ShapeOf(const char* name) {
  if (!name) return Qt::WaitCursor;
  if (std::strcmp(name, "arrow") == 0) return Qt::ArrowCursor;
  if (std::strcmp(name, "appstarting") == 0) return Qt::BusyCursor;
  if (std::strcmp(name, "cross") == 0) return Qt::CrossCursor;
  return Qt::WaitCursor;
}

QMenuBar* MenuOf(QWidget* owner) {
  if (!owner) return nullptr;
  if (auto* bar = owner->findChild<QMenuBar*>()) return bar;
  return owner->window() ? owner->window()->findChild<QMenuBar*>() : nullptr;
}
}  // namespace

CWaitCursorWnd::CWaitCursorWnd(const char* cursorName, QWidget* owner)
    : m_owner(owner), m_cursor(ShapeOf(cursorName)) {}

CWaitCursorWnd::~CWaitCursorWnd() {
  m_wait.reset();
  if (m_overridden) QGuiApplication::restoreOverrideCursor();
}

void CWaitCursorWnd::Apply() {
  if (m_wait) m_wait->setCursor(m_cursor);
  if (m_overridden) QGuiApplication::changeOverrideCursor(m_cursor);
}

void CWaitCursorWnd::Activate(QWidget* window, bool on) {
  if (m_owner && window != m_owner) return;
  if (on) {
    if (m_count++ > 0) return;
    m_owner = window;
    if (!m_owner) return;
    // The overlay covers the owner's whole area, above its children.
    m_wait = std::make_unique<CWaitWnd>(m_owner);
    m_wait->setGeometry(m_owner->rect());
    m_wait->setCursor(m_cursor);
    m_wait->raise();
    m_wait->show();
    QGuiApplication::setOverrideCursor(m_cursor);
    m_overridden = true;
  } else {
    if (m_count == 0) return;
    if (--m_count == 0) {
      m_wait.reset();
      if (m_overridden) QGuiApplication::restoreOverrideCursor();
      m_overridden = false;
    }
  }
}

void CWaitCursorWnd::CursorReset() {
  m_cursor = QCursor(Qt::WaitCursor);
  Apply();
}

void CWaitCursorWnd::CursorSet(unsigned resourceId) {
  if (resourceId > Qt::LastCursor) return;
  m_cursor = QCursor(static_cast<Qt::CursorShape>(resourceId));
  Apply();
}

void CWaitCursorWnd::MenuDisable() {
  if (m_count != 1) return;
  m_menuStates.clear();
  QMenuBar* bar = MenuOf(m_owner);
  if (!bar) return;
  for (QAction* action : bar->actions()) {
    m_menuStates.push_back(action->isEnabled());
    action->setEnabled(false);
  }
}

void CWaitCursorWnd::MenuEnable() {
  if (m_count != 0 || m_menuStates.empty()) return;
  QMenuBar* bar = MenuOf(m_owner);
  if (!bar) return;
  const auto actions = bar->actions();
  for (qsizetype i = 0; i < actions.size() && i < qsizetype(m_menuStates.size()); ++i)
    actions[i]->setEnabled(m_menuStates[static_cast<std::size_t>(i)]);
}

void CWaitCursorWnd::Position(const QRect& rect) {
  // Negative coordinates become 0.
  const QRect r(QPoint(std::max(0, rect.left()), std::max(0, rect.top())),
                QPoint(std::max(0, rect.right()), std::max(0, rect.bottom())));
  if (rect.isEmpty() || r.isEmpty() || !m_wait) return;
  m_wait->setGeometry(r);
  m_wait->show();
}

}  // namespace vexa::ui
