// A write of a file that is kept up to date while the program runs, made
// soon after each change instead of at every change or only at the end.
#pragma once

#include <functional>
#include <memory>

class QObject;

namespace vexa::wiz {

// Runs a write soon after a change: once the thread's event loop turns, so
// that the changes of one user action make one write; at once where there
// is no event loop. Nothing runs after the object is gone.
class CoalescedWrite {
 public:
  explicit CoalescedWrite(std::function<void()> write);
  ~CoalescedWrite();
  CoalescedWrite(const CoalescedWrite&) = delete;
  CoalescedWrite& operator=(const CoalescedWrite&) = delete;
  void Request();
  // Drops a write asked for and not yet run.
  void Cancel();

 private:
  std::function<void()> m_write;
  std::unique_ptr<QObject> m_context;
  bool m_queued = false;
};

}  // namespace vexa::wiz
