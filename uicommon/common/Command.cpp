#include "uicommon/common/Command.h"

#include <QCoreApplication>

namespace vexa::ui {

QEvent::Type CCommandEvent::EventType() {
  static const QEvent::Type type = static_cast<QEvent::Type>(QEvent::registerEventType());
  return type;
}

CCommandEvent::CCommandEvent(int command, long lParam)
    : QEvent(EventType()), m_command(command), m_lParam(lParam) {}

CCommandEvent::~CCommandEvent() = default;

void PostCommand(QObject* target, int command, long lParam) {
  if (target) QCoreApplication::postEvent(target, new CCommandEvent(command, lParam));
}

}  // namespace vexa::ui
