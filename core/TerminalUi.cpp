#include "core/TerminalUi.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <cctype>
#include <thread>

#include "core/CoreUtil.h"

namespace vexa::core {

namespace {

constexpr int kStatusTemplate = 151;
constexpr int kMessageTemplate = 160;
constexpr int kBarWidth = 20;

// The step names when the language library has none (as the window shows).
const char* const kStepNames[6] = {"Checking the disc in the CD writer", "Erasing the rewritable disc",
                                   "Creating the photo show",            "Arranging the disc contents",
                                   "Checking the disc image",            "Writing the disc"};

void WriteAll(int fd, const std::string& text) {
  const char* p = text.data();
  std::size_t left = text.size();
  while (left > 0) {
    const ssize_t n = ::write(fd, p, left);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;  // nobody reads any more: the run goes on without its display
    p += n;
    left -= static_cast<std::size_t>(n);
  }
}

// The text with CR LF line ends as a terminal wants it, and without the
// controls that would move the cursor.
std::string ForTerminal(const std::string& text, bool oneLine) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
    if (c == '\n' || c == '\r' || c == '\t') {
      out += oneLine ? ' ' : static_cast<char>(c == '\r' ? '\n' : c);
    } else if (c < 0x20 || c == 0x7F) {
      out += ' ';
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

// The first `columns` characters of UTF-8 text (never cut inside one).
std::string FirstCharacters(const std::string& text, int columns) {
  int count = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if ((static_cast<unsigned char>(text[i]) & 0xC0) == 0x80) continue;
    if (count++ == columns) return text.substr(0, i);
  }
  return text;
}

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

std::string Trim(const std::string& s) {
  const auto b = s.find_first_not_of(" \t\r\n");
  if (b == std::string::npos) return {};
  return s.substr(b, s.find_last_not_of(" \t\r\n") - b + 1);
}

std::string FirstLine(const std::string& text) {
  const std::string flat = ForTerminal(text, false);
  return flat.substr(0, flat.find('\n'));
}

}  // namespace

TerminalStreams TerminalStreams::Standard() {
  TerminalStreams s;
  s.out = STDERR_FILENO;
  s.in = STDIN_FILENO;
  s.outIsTerminal = ::isatty(STDERR_FILENO) == 1;
  s.inIsTerminal = ::isatty(STDIN_FILENO) == 1;
  return s;
}

// ---- the status dialog -------------------------------------------------------------------

TerminalStatusDialog::TerminalStatusDialog(CVexaCoreUtil& util, TerminalStreams streams)
    : util_(util), streams_(streams) {}

void TerminalStatusDialog::Write(const std::string& text) const { WriteAll(streams_.out, text); }

int TerminalStatusDialog::Columns() const {
  winsize size{};
  if (::ioctl(streams_.out, TIOCGWINSZ, &size) == 0 && size.ws_col >= 20) return size.ws_col;
  return 80;
}

void TerminalStatusDialog::ShowStep(int step, bool show) {
  if (step < 1 || step > 6) return;
  const bool was = markers_[step - 1];
  markers_[step - 1] = show;
  if (!show || was) return;
  // A step that starts gets a line of its own above the progress line.
  Interrupt();
  const std::string name =
      util_.TemplateText(kStatusTemplate, kStepLabels[step - 1], kStepNames[step - 1]);
  Write(Format("Step %d of 6: %s\n", step, ForTerminal(name, true).c_str()));
  if (streams_.outIsTerminal) Draw();
}

void TerminalStatusDialog::SetStatusText(const std::string& text) {
  if (text == text_) return;
  text_ = text;
  if (!text.empty()) util_.LogInfo(text);
  Draw();
}

void TerminalStatusDialog::SetProgress(int position) {
  const int p = position < 0 ? 0 : position > 100 ? 100 : position;
  if (p == progress_) return;
  progress_ = p;
  Draw();
}

void TerminalStatusDialog::Show() { shown_ = true; }

void TerminalStatusDialog::Hide() {
  // The last state stays on the screen; what follows starts on a new line.
  if (lineOpen_) Write("\n");
  lineOpen_ = false;
  drawn_.clear();
  drawnTenth_ = -1;
  shown_ = false;
}

void TerminalStatusDialog::Interrupt() {
  if (!lineOpen_) return;
  Write("\r\x1b[K");
  lineOpen_ = false;
  drawn_.clear();
}

std::string TerminalStatusDialog::Line() const {
  const int filled = progress_ * kBarWidth / 100;
  std::string line = "[" + std::string(static_cast<std::size_t>(filled), '#') +
                     std::string(static_cast<std::size_t>(kBarWidth - filled), '.') + "] " +
                     Format("%3d%%", progress_);
  const std::string text = ForTerminal(text_, true);
  if (!text.empty()) line += "  " + text;
  return line;
}

void TerminalStatusDialog::Draw() {
  if (!shown_) return;
  const std::string line = Line();
  if (streams_.outIsTerminal) {
    // One line, redrawn in place; cut so that it never wraps (a wrapped line
    // could not be drawn over).
    const std::string cut = FirstCharacters(line, Columns() - 1);
    if (lineOpen_ && cut == drawn_) return;
    Write("\r" + cut + "\x1b[K");
    drawn_ = cut;
    lineOpen_ = true;
    return;
  }
  // A pipe or a file: a new line when the message changes or the bar moves
  // on by a tenth.
  const int tenth = progress_ / 10;
  const std::string text = ForTerminal(text_, true);
  if (text == drawn_ && tenth == drawnTenth_) return;
  Write(line + "\n");
  drawn_ = text;
  drawnTenth_ = tenth;
}

// ---- the port -------------------------------------------------------------------------------

TerminalUi::TerminalUi(CVexaCoreUtil& util, TerminalStreams streams) : util_(util), streams_(streams) {}

void TerminalUi::Write(const std::string& text) const { WriteAll(streams_.out, text); }

StatusDialog& TerminalUi::Status() {
  if (!status_) status_ = std::make_unique<TerminalStatusDialog>(util_, streams_);
  return *status_;
}

void TerminalUi::DestroyStatus() {
  if (status_) status_->Hide();
  status_.reset();
}

bool TerminalUi::ReadLine(std::string* line) const {
  line->clear();
  char c = 0;
  while (true) {
    const ssize_t n = ::read(streams_.in, &c, 1);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    if (c == '\n') return true;
    *line += c;
  }
}

int TerminalUi::DoMessage(int typeAndDefault, const std::string& text, bool isError, bool showCheckBox, bool,
                          bool* checkBoxClicked) {
  const int type = MessageButtons(typeAndDefault);
  const bool secondDefault = SecondIsDefault(typeAndDefault);
  if (checkBoxClicked) *checkBoxClicked = false;
  if (status_) status_->Interrupt();

  // The buttons as the message dialog has them: the first is the default
  // unless the type marks the second so, the second (if any) is what closing
  // the dialog answers.
  auto text_of = [&](int id, const char* fallback) {
    std::string t = Trim(ForTerminal(util_.LoadString(id, fallback), true));
    return t.empty() ? std::string(fallback) : t;
  };
  std::string first = text_of(4493, "OK"), second;
  int firstResult = kIDOK, secondResult = kIDOK;
  if (type == kMessageYesNo) {
    first = text_of(4494, "Yes");
    second = text_of(4495, "No");
    firstResult = kIDYES;
    secondResult = kIDNO;
  } else if (type != kMessageOK) {
    second = text_of(4519, "Cancel");
    secondResult = kIDCANCEL;
  }
  const std::string reminder = util_.TemplateText(kMessageTemplate, 1112, "Do not show this reminder again");
  const std::string caption = isError ? util_.LoadString(4510, "Kv Orlune Disc Creator Software - Error")
                                      : util_.LoadString(4509, "Kv Orlune Disc Creator Software - Message");
  Write("\n" + ForTerminal(caption, true) + "\n" + ForTerminal(text, false) + "\n");

  std::string prompt;
  if (second.empty()) {
    prompt = "Press Enter for " + first;
    if (showCheckBox) prompt += ", or type d and Enter for " + first + " and \"" + reminder + "\"";
    prompt += ": ";
  } else {
    prompt = first + " or " + second + "? [" + Lower(first.substr(0, 1)) + "/" + Lower(second.substr(0, 1)) +
             ", Enter: " + (secondDefault ? second : first) + "] ";
  }

  const std::string& defaultText = secondDefault ? second : first;
  const int defaultResult = secondDefault ? secondResult : firstResult;
  int result = defaultResult;
  if (!streams_.inIsTerminal) {
    // Nobody can answer: the dialog's default button does, and says so.
    Write(prompt + defaultText + " (standard input is not a terminal: the default answer)\n");
    util_.LogInfo("TerminalUi::DoMessage - No keyboard (standard input is not a terminal): answered \"" + defaultText +
                  "\" to: " + FirstLine(text));
  } else {
    while (true) {
      Write(prompt);
      std::string answer;
      if (!ReadLine(&answer)) {
        // The end of input closes the dialog, as Esc does.
        Write("\n");
        result = second.empty() ? firstResult : secondResult;
        break;
      }
      const std::string a = Lower(Trim(answer));
      if (a.empty()) {
        result = defaultResult;
        break;
      }
      if (a == Lower(first) || (a.size() == 1 && a[0] == Lower(first)[0])) {
        result = firstResult;
        break;
      }
      if (showCheckBox && second.empty() && a == "d") {
        result = firstResult;
        if (checkBoxClicked) *checkBoxClicked = true;
        break;
      }
      if (!second.empty() && (a == Lower(second) || (a.size() == 1 && a[0] == Lower(second)[0]))) {
        result = secondResult;
        break;
      }
    }
  }
  Write("\n");
  if (status_) status_->Redraw();
  return result;
}

void TerminalUi::Note(const std::string& text) {
  if (status_) status_->Interrupt();
  Write(ForTerminal(text, false) + "\n");
  if (status_) status_->Redraw();
}

void TerminalUi::Finish() {
  if (failure_.empty()) return;
  // The last state of the status stays; the verdict follows on its own line.
  if (status_) status_->Hide();
  Write("The run failed: " + ForTerminal(failure_, true) + "\n");
  failure_.clear();
}

void TerminalUi::WaitFor(std::chrono::milliseconds d) {
  // The terminal needs no events handled while the flow waits.
  if (d.count() > 0) std::this_thread::sleep_for(d);
}

void TerminalUi::WaitFor(std::chrono::milliseconds longest, Completion& done) {
  if (longest.count() > 0) done.WaitFor(longest);
}

void TerminalUi::WaitWithMessagePump(Completion& done, const std::function<void()>& onWake) {
  done.Wait();
  if (onWake) onWake();
}

}  // namespace vexa::core
