// vexa's one road to the user: a message with a caption and one OK button.
// With a display it is a message box; without one (or in a terminal
// session without a window system) the text goes to standard error. A
// display connection is only ever opened when DISPLAY or WAYLAND_DISPLAY
// names one.
#pragma once

#include <memory>
#include <string>

namespace vexa::app {

class VexaUi {
 public:
  virtual ~VexaUi() = default;
  // Shows text under caption and returns once the user has seen it.
  virtual void ShowMessage(const std::string& caption, const std::string& text, bool isError) = 0;
};

// The message box of the window system when one can be reached now, the
// terminal otherwise. Nothing is connected until a message is shown.
std::unique_ptr<VexaUi> MakeUi();

// The window system's message box (Qt Widgets); it makes the application
// object for its first box when the program has none.
std::unique_ptr<VexaUi> MakeQtUi();

// Writes the caption and the text to standard error.
class TerminalUi : public VexaUi {
 public:
  void ShowMessage(const std::string& caption, const std::string& text, bool isError) override;
};

// The system's texts use CR LF line breaks; a terminal or a widget wants LF.
std::string ToUnixLineBreaks(const std::string& text);

}  // namespace vexa::app
