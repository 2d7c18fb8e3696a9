// The log line format: time stamps numbered within a second, and the
// formatting of one message into stamped lines.
#pragma once

#include <string>
#include <string_view>

#include "platform/base/Time.h"

namespace vexa::logging {

// Makes the 18-character stamps "YYYYMMDDTHHMMSS.NN". NN numbers the lines
// stamped within one second, wrapping from 99 to 00; a new second starts
// again at 00. The server keeps one stamper for all its objects.
class TimeStamper {
 public:
  std::string Next(const base::CalendarTime& t);

 private:
  std::string last_;
  int counter_ = 0;
};

// The type and component field: " %-6.6s %-9.9s", or " %s " with the type
// alone when the component is empty. Cutting and padding count characters,
// never splitting a UTF-8 sequence.
std::string LogFieldText(std::string_view type, std::string_view component);

// Appends the lines of one message to *out. A CR, an LF or CR LF is one line
// break, LF CR two. Each line that has text gets a stamp, the field, ":"
// (first character of the message) or a blank, a blank, and its text; empty
// lines are a bare CR LF, and the message always ends with CR LF. Within a
// line, control characters (a tab excepted) and bytes that are not UTF-8 are
// written escaped (base::EscapeForDisplay), so the file stays UTF-8 text and
// a message can never forge a line: its line breaks are the only ones.
std::string EscapeLineText(std::string_view line);
void FormatLogLines(TimeStamper& stamper, const base::CalendarTime& t, std::string_view type,
                    std::string_view component, std::string_view text, std::string* out);

}  // namespace vexa::logging
