// Text utilities for both character types of the manager, so template code
// is written once for 8-bit (UTF-8) and 16-bit (UTF-16) names. The callers
// pass the capacity of their buffers.
#pragma once

#include <algorithm>
#include <cstddef>
#include <ostream>
#include <string>

#include "platform/base/Text.h"
#include "platform/base/WinTypes.h"

namespace isofs {

template <class C>
struct TextUtil;

template <>
struct TextUtil<char> {
  static std::size_t length(const char* s) { return std::char_traits<char>::length(s); }
  static void make_empty(char* s) { s[0] = 0; }
  // Up to n characters; the rest of the n filled with zeros (no terminator
  // when the source has n characters or more).
  static void copy_at_most(char* dst, const char* src, std::size_t n) {
    std::size_t i = 0;
    for (; i < n && src[i]; ++i) dst[i] = src[i];
    for (; i < n; ++i) dst[i] = 0;
  }
  // Wide to narrow, into a buffer of the given bytes, terminated; never cuts
  // inside a character. Returns the bytes written.
  static std::size_t convert(char* dst, std::size_t bytes, const char16_t* src) {
    if (bytes == 0) return 0;
    const std::string s = vexa::base::Utf8CutBytes(vexa::base::Utf16ToUtf8(src), bytes - 1);
    std::copy(s.begin(), s.end(), dst);
    dst[s.size()] = 0;
    return s.size();
  }
  static const char* type_name() { return "char"; }
};

template <>
struct TextUtil<char16_t> {
  static std::size_t length(const char16_t* s) { return std::char_traits<char16_t>::length(s); }
  static void make_empty(char16_t* s) { s[0] = 0; }
  static void copy_at_most(char16_t* dst, const char16_t* src, std::size_t n) {
    std::size_t i = 0;
    for (; i < n && src[i]; ++i) dst[i] = src[i];
    for (; i < n; ++i) dst[i] = 0;
  }
  // Narrow to wide, into a buffer of the given characters, terminated.
  // Returns the characters written.
  static std::size_t convert(char16_t* dst, std::size_t chars, const char* src) {
    if (chars == 0) return 0;
    std::u16string w = vexa::base::Utf8ToUtf16(src);
    std::size_t n = std::min(w.size(), chars - 1);
    if (n > 0 && n < w.size() && w[n - 1] >= 0xD800 && w[n - 1] <= 0xDBFF) --n;
    std::copy(w.begin(), w.begin() + static_cast<std::ptrdiff_t>(n), dst);
    dst[n] = 0;
    return n;
  }
  static const char* type_name() { return "Wchar"; }
};

// UCS-2 big-endian copy of a wide text into n bytes: at most n / 2
// characters and never more than the text has; no terminator.
inline std::size_t CopyBigEndian(BYTE* dst, std::size_t n, const char16_t* src) {
  const std::size_t chars = std::min(n / 2, TextUtil<char16_t>::length(src));
  for (std::size_t i = 0; i < chars; ++i) {
    dst[2 * i] = static_cast<BYTE>(src[i] >> 8);
    dst[2 * i + 1] = static_cast<BYTE>(src[i]);
  }
  return chars;
}

// The library's own small text value. A wide text is narrowed by keeping the
// low byte of each unit (no code-page conversion), as the trace and error
// texts expect.
class cstring {
 public:
  cstring() = default;
  cstring(const char* s) : text_(s ? s : "") {}  // NOLINT: implicit like a string
  cstring(const std::string& s) : text_(s) {}    // NOLINT
  explicit cstring(int v) : text_(std::to_string(v)) {}
  explicit cstring(unsigned v) : text_(std::to_string(v)) {}
  explicit cstring(const char16_t* s) {
    for (; s && *s; ++s) text_ += static_cast<char>(*s & 0xFF);
  }

  cstring operator+(const cstring& o) const { return cstring(text_ + o.text_); }
  cstring operator+(const char* o) const { return cstring(text_ + (o ? o : "")); }
  cstring operator+(int v) const { return *this + cstring(v); }
  cstring operator+(unsigned v) const { return *this + cstring(v); }
  cstring operator+(const char16_t* w) const { return *this + cstring(w); }
  char operator[](std::size_t i) const { return text_[i]; }
  std::size_t length() const { return text_.size(); }
  const char* c_str() const { return text_.c_str(); }
  const std::string& str() const { return text_; }

 private:
  std::string text_;
};

inline std::ostream& operator<<(std::ostream& out, const cstring& s) { return out << s.str(); }

}  // namespace isofs
