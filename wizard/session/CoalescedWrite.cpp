#include "wizard/session/CoalescedWrite.h"

#include <QCoreApplication>
#include <QObject>
#include <QTimer>

namespace vexa::wiz {

CoalescedWrite::CoalescedWrite(std::function<void()> write) : m_write(std::move(write)) {}

CoalescedWrite::~CoalescedWrite() = default;

void CoalescedWrite::Request() {
  if (!QCoreApplication::instance()) {
    m_write();
    return;
  }
  if (m_queued) return;
  m_queued = true;
  // The context object ends the wait with this object.
  if (!m_context) m_context = std::make_unique<QObject>();
  QTimer::singleShot(0, m_context.get(), [this] {
    m_queued = false;
    m_write();
  });
}

void CoalescedWrite::Cancel() {
  m_context.reset();
  m_queued = false;
}

}  // namespace vexa::wiz
