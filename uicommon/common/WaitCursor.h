// A wait-cursor overlay that covers a window while it is busy (the
// application's cursor shows busy and clicks on the window only bring it to
// the front), and can disable the window's menu bar meanwhile. Activations
// nest: each Activate(on) needs its Activate(off).
#pragma once

#include <QCursor>
#include <QRect>
#include <QWidget>
#include <memory>
#include <vector>

#include "uicommon/common/CommonExport.h"

namespace vexa::ui {

class VEXATHUMCOMMON_API CWaitWnd : public QWidget {
  Q_OBJECT
 public:
  explicit CWaitWnd(QWidget* parent);

 protected:
  void mousePressEvent(QMouseEvent* event) override;
};

class VEXATHUMCOMMON_API CWaitCursorWnd {
 public:
  // `cursorName`: "wait" (default), "arrow", "appstarting" or "cross".
  CWaitCursorWnd(const char* cursorName, QWidget* owner);
  virtual ~CWaitCursorWnd();

  void Activate(QWidget* window, bool on);
  void CursorReset();
  // A cursor by number: the number of a Qt cursor shape.
  void CursorSet(unsigned resourceId);
  void MenuDisable();
  void MenuEnable();
  void Position(const QRect& rect);
  QWidget* GetParent() const { return m_owner; }
  CWaitWnd* WaitWnd() const { return m_wait.get(); }
  int Nesting() const { return m_count; }

 private:
  void Apply();
  QWidget* m_owner = nullptr;
  int m_count = 0;
  std::unique_ptr<CWaitWnd> m_wait;
  QCursor m_cursor;
  bool m_overridden = false;
  std::vector<bool> m_menuStates;
};

}  // namespace vexa::ui
