// The command a child window sends its parent: a posted event that carries
// the command number (a button's id + 300). A parent handles it in its
// event() override.
#pragma once

#include <QEvent>

#include "uicommon/common/CommonExport.h"

class QObject;

namespace vexa::ui {

class VEXATHUMCOMMON_API CCommandEvent : public QEvent {
 public:
  explicit CCommandEvent(int command, long lParam = 0);
  ~CCommandEvent() override;
  int Command() const { return m_command; }
  long LParam() const { return m_lParam; }
  static QEvent::Type EventType();

 private:
  int m_command;
  long m_lParam;
};

// Posts the command to the target; it arrives when the target's thread
// next processes events.
VEXATHUMCOMMON_API void PostCommand(QObject* target, int command, long lParam = 0);

}  // namespace vexa::ui
