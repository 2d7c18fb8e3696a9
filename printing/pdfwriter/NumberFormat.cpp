#include "printing/pdfwriter/NumberFormat.h"

#include <charconv>
#include <cmath>

namespace vexa::pdf {

void AppendFixed(std::string& out, double value, int precision) {
  if (!std::isfinite(value)) value = 0;
  char buf[64];
  auto r = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed, precision);
  if (r.ec != std::errc()) {
    out += '0';
    return;
  }
  out.append(buf, r.ptr);
}

void AppendGeneral(std::string& out, double value) {
  if (!std::isfinite(value)) value = 0;
  char buf[64];
  auto r = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::general, 6);
  out.append(buf, r.ptr);
}

void AppendInt(std::string& out, long long value) {
  char buf[32];
  auto r = std::to_chars(buf, buf + sizeof buf, value);
  out.append(buf, r.ptr);
}

void AppendPadded(std::string& out, long long value, int width) {
  char buf[32];
  auto r = std::to_chars(buf, buf + sizeof buf, value);
  const int n = static_cast<int>(r.ptr - buf);
  for (int i = n; i < width; ++i) out += '0';
  out.append(buf, r.ptr);
}

}  // namespace vexa::pdf
