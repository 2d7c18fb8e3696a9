#include "apps/vexa/VexaUi.h"

#include <cstdio>

namespace vexa::app {

std::string ToUnixLineBreaks(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
    out += text[i];
  }
  return out;
}

void TerminalUi::ShowMessage(const std::string& caption, const std::string& text, bool) {
  std::fprintf(stderr, "%s\n%s\n", caption.c_str(), ToUnixLineBreaks(text).c_str());
  std::fflush(stderr);
}

}  // namespace vexa::app
