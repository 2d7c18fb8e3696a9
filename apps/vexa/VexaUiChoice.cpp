// The choice between the window system's message box and the terminal.
#include "apps/vexa/VexaUi.h"
#include "platform/display/Display.h"

namespace vexa::app {

namespace {

// Decides at the first message: the window system when it can be reached
// then, the terminal otherwise.
class ChoosingUi : public VexaUi {
 public:
  void ShowMessage(const std::string& caption, const std::string& text, bool isError) override {
    if (!chosen_) chosen_ = display::DisplayReachable() ? MakeQtUi() : std::make_unique<TerminalUi>();
    chosen_->ShowMessage(caption, text, isError);
  }

 private:
  std::unique_ptr<VexaUi> chosen_;
};

}  // namespace

std::unique_ptr<VexaUi> MakeUi() { return std::make_unique<ChoosingUi>(); }

}  // namespace vexa::app
