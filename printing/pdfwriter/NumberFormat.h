// Numbers for PDF text, always in the C locale (a decimal point, no
// grouping), whatever LC_NUMERIC says.
#pragma once

#include <string>

namespace vexa::pdf {

// As "%.<precision>f"; a value that is not finite is written as 0.
void AppendFixed(std::string& out, double value, int precision);
// As "%g".
void AppendGeneral(std::string& out, double value);
void AppendInt(std::string& out, long long value);
// As "%010ld".
void AppendPadded(std::string& out, long long value, int width);

}  // namespace vexa::pdf
