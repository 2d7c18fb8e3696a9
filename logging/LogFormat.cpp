#include "logging/LogFormat_p.h"

#include <cstdio>

#include "platform/base/Text.h"

namespace vexa::logging {

std::string TimeStamper::Next(const base::CalendarTime& t) {
  char second[32];
  std::snprintf(second, sizeof second, "%04d%02d%02dT%02d%02d%02d", t.year, t.month, t.day,
                t.hour, t.minute, t.second);
  if (last_.compare(0, 15, second) != 0) counter_ = 0;
  char stamp[40];
  std::snprintf(stamp, sizeof stamp, "%s.%02d", second, counter_);
  counter_ = (counter_ + 1) % 100;
  last_ = stamp;
  return last_;
}

namespace {
std::string CutAndPad(std::string_view text, std::size_t chars) {
  std::string s = base::Utf8CutChars(text, chars);
  const std::size_t n = base::Utf8Length(s);
  if (n < chars) s.append(chars - n, ' ');
  return s;
}
}  // namespace

std::string LogFieldText(std::string_view type, std::string_view component) {
  std::string field(1, ' ');
  if (component.empty()) {
    field.append(type);
    field.push_back(' ');
    return field;
  }
  field.append(CutAndPad(type, 6));
  field.push_back(' ');
  field.append(CutAndPad(component, 9));
  return field;
}

std::string EscapeLineText(std::string_view line) {
  std::string out;
  std::size_t from = 0;
  while (true) {
    const std::size_t tab = line.find('\t', from);
    out += base::EscapeForDisplay(line.substr(from, tab == std::string_view::npos ? tab : tab - from));
    if (tab == std::string_view::npos) return out;
    out += '\t';
    from = tab + 1;
  }
}

void FormatLogLines(TimeStamper& stamper, const base::CalendarTime& t, std::string_view type,
                    std::string_view component, std::string_view text, std::string* out) {
  const std::string field = LogFieldText(type, component);
  std::size_t i = 0;
  while (true) {
    std::size_t end = i;
    while (end < text.size() && text[end] != '\r' && text[end] != '\n') ++end;
    if (end > i) {
      out->append(stamper.Next(t));
      out->append(field);
      out->push_back(i == 0 ? ':' : ' ');
      out->push_back(' ');
      out->append(EscapeLineText(text.substr(i, end - i)));
    }
    out->append("\r\n");
    if (end == text.size()) return;
    i = end + 1;
    if (text[end] == '\r' && i < text.size() && text[i] == '\n') ++i;
    if (i == text.size()) {
      // A text that ends with a line break gets one bare CR LF more.
      out->append("\r\n");
      return;
    }
  }
}

}  // namespace vexa::logging
