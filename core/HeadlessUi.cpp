#include "core/HeadlessUi.h"

#include <thread>

namespace vexa::core {

namespace {

class RealFlowClock : public FlowClock {
 public:
  std::uint32_t TickCount() override {
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now().time_since_epoch());
    return static_cast<std::uint32_t>(ms.count());
  }
  void Wait(std::chrono::milliseconds d, UiPort& ui) override { ui.WaitFor(d); }
  void WaitFor(std::chrono::milliseconds longest, Completion& done, UiPort& ui) override { ui.WaitFor(longest, done); }
};

}  // namespace

std::shared_ptr<FlowClock> FlowClock::Real() { return std::make_shared<RealFlowClock>(); }

void HeadlessStatusDialog::ShowStep(int step, bool show) {
  if (step >= 1 && step <= 6) markers_[step - 1] = show;
}

void HeadlessStatusDialog::SetStatusText(const std::string& text) {
  if (text == text_) return;
  text_ = text;
  if (log_ && !text.empty()) log_(text);
}

void HeadlessStatusDialog::SetProgress(int position) { progress_ = position < 0 ? 0 : position > 100 ? 100 : position; }

StatusDialog& HeadlessUi::Status() {
  if (!status_) status_ = std::make_unique<HeadlessStatusDialog>(log_);
  return *status_;
}

int HeadlessUi::DoMessage(int type, const std::string& text, bool, bool, bool, bool* checkBoxClicked) {
  if (checkBoxClicked) *checkBoxClicked = false;
  if (log_ && !text.empty()) log_(text);
  switch (MessageButtons(type)) {
    case kMessageOK: return kIDOK;
    case kMessageYesNo: return kIDNO;
    default: return kIDCANCEL;
  }
}

void HeadlessUi::WaitFor(std::chrono::milliseconds d) {
  // Nothing to keep alive: the flow's fixed wait is a plain wait.
  if (d.count() > 0) std::this_thread::sleep_for(d);
}

void HeadlessUi::WaitFor(std::chrono::milliseconds longest, Completion& done) {
  if (longest.count() > 0) done.WaitFor(longest);
}

void HeadlessUi::WaitWithMessagePump(Completion& done, const std::function<void()>& onWake) {
  done.Wait();
  if (onWake) onWake();
}

}  // namespace vexa::core
