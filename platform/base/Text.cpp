#include "platform/base/Text.h"

#include "platform/base/ValidUtf8.h"

#include <algorithm>
#include <cstdio>

namespace vexa::base {
namespace {

// Decodes one code point at s[i]; advances i. Returns U+FFFD for an invalid
// or truncated sequence (consuming one byte), so decoding always progresses.
char32_t DecodeUtf8(std::string_view s, std::size_t& i) {
  const auto b0 = static_cast<unsigned char>(s[i]);
  if (b0 < 0x80) {
    ++i;
    return b0;
  }
  int len = 0;
  char32_t cp = 0;
  if ((b0 & 0xE0) == 0xC0) {
    len = 2;
    cp = b0 & 0x1F;
  } else if ((b0 & 0xF0) == 0xE0) {
    len = 3;
    cp = b0 & 0x0F;
  } else if ((b0 & 0xF8) == 0xF0) {
    len = 4;
    cp = b0 & 0x07;
  } else {
    ++i;
    return 0xFFFD;
  }
  if (i + len > s.size()) {
    ++i;
    return 0xFFFD;
  }
  for (int k = 1; k < len; ++k) {
    const auto b = static_cast<unsigned char>(s[i + k]);
    if ((b & 0xC0) != 0x80) {
      ++i;
      return 0xFFFD;
    }
    cp = (cp << 6) | (b & 0x3F);
  }
  // Overlong forms, surrogates and values beyond Unicode are invalid.
  static constexpr char32_t kMin[5] = {0, 0, 0x80, 0x800, 0x10000};
  if (cp < kMin[len] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
    ++i;
    return 0xFFFD;
  }
  i += len;
  return cp;
}

void AppendUtf8(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

constexpr char32_t kEscapedByteBase = 0xDC00;

bool IsEscapedByte(char16_t c) { return c >= 0xDC80 && c <= 0xDCFF; }

// Length of the complete UTF-8 sequence starting at s[i] (1 for invalid).
std::size_t SequenceLength(std::string_view s, std::size_t i) {
  std::size_t j = i;
  DecodeUtf8(s, j);
  return j - i;
}

}  // namespace

std::u16string Utf8ToUtf16(std::string_view utf8) {
  std::u16string out;
  out.reserve(utf8.size());
  std::size_t i = 0;
  while (i < utf8.size()) {
    const std::size_t at = i;
    char32_t cp = DecodeUtf8(utf8, i);
    if (cp == 0xFFFD && i == at + 1) {
      // A byte that starts no valid sequence (always 0x80 or above) is kept
      // as the lone surrogate U+DC80..U+DCFF, which Utf16ToUtf8 turns back
      // into that byte.
      out += static_cast<char16_t>(kEscapedByteBase + static_cast<unsigned char>(utf8[at]));
      continue;
    }
    if (cp >= 0x10000) {
      cp -= 0x10000;
      out += static_cast<char16_t>(0xD800 + (cp >> 10));
      out += static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
    } else {
      out += static_cast<char16_t>(cp);
    }
  }
  return out;
}

std::string Utf16ToUtf8(std::u16string_view utf16) {
  std::string out;
  out.reserve(utf16.size());
  for (std::size_t i = 0; i < utf16.size(); ++i) {
    char32_t c = utf16[i];
    if (c >= 0xD800 && c <= 0xDBFF) {
      if (i + 1 < utf16.size() && utf16[i + 1] >= 0xDC00 && utf16[i + 1] <= 0xDFFF) {
        c = 0x10000 + ((c - 0xD800) << 10) + (utf16[i + 1] - 0xDC00);
        ++i;
      } else {
        c = 0xFFFD;
      }
    } else if (IsEscapedByte(static_cast<char16_t>(c))) {
      out += static_cast<char>(c - kEscapedByteBase);
      continue;
    } else if (c >= 0xDC00 && c <= 0xDFFF) {
      c = 0xFFFD;
    }
    AppendUtf8(out, c);
  }
  return out;
}

std::string ToValidUtf8(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  std::size_t i = 0;
  while (i < text.size()) {
    const std::size_t at = i;
    const char32_t cp = DecodeUtf8(text, i);
    if (cp == 0xFFFD && i == at + 1) {
      AppendUtf8(out, 0xFFFD);
    } else {
      out.append(text.substr(at, i - at));
    }
  }
  return out;
}

std::string ByteEscape(unsigned char byte) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  return {'\\', 'x', kHex[byte >> 4], kHex[byte & 0xF]};
}

std::string EscapeForDisplay(std::string_view text) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(text.size());
  std::size_t i = 0;
  while (i < text.size()) {
    const std::size_t at = i;
    const char32_t cp = DecodeUtf8(text, i);
    if (cp == 0xFFFD && i == at + 1) {
      out += ByteEscape(static_cast<unsigned char>(text[at]));
    } else if (cp == '\n') {
      out += "\\n";
    } else if (cp == '\r') {
      out += "\\r";
    } else if (cp == '\t') {
      out += "\\t";
    } else if (cp < 0x20 || cp == 0x7F) {
      out += ByteEscape(static_cast<unsigned char>(cp));
    } else if ((cp >= 0x80 && cp <= 0x9F) || cp == 0x2028 || cp == 0x2029) {
      // C1 controls and the Unicode line and paragraph separators.
      out += "\\u";
      for (int shift = 12; shift >= 0; shift -= 4) out += kHex[(cp >> shift) & 0xF];
    } else {
      out.append(text.substr(at, i - at));
    }
  }
  return out;
}

std::string CharacterXmlCannotHold(std::string_view utf8) {
  std::size_t i = 0;
  for (std::size_t position = 1; i < utf8.size(); ++position) {
    const std::size_t at = i;
    const char32_t cp = DecodeUtf8(utf8, i);
    const bool notUtf8 = cp == 0xFFFD && i == at + 1;
    const bool control = cp < 0x20 && cp != '\t' && cp != '\n' && cp != '\r';
    if (!notUtf8 && (control || cp == 0xFFFE || cp == 0xFFFF)) {
      char text[48];
      std::snprintf(text, sizeof text, "U+%04X at character %zu", static_cast<unsigned>(cp), position);
      return text;
    }
  }
  return "";
}

std::string Utf8CutBytes(std::string_view utf8, std::size_t maxBytes) {
  std::size_t i = 0;
  while (i < utf8.size()) {
    const std::size_t n = SequenceLength(utf8, i);
    if (i + n > maxBytes) break;
    i += n;
  }
  return std::string(utf8.substr(0, i));
}

std::string Utf8CutChars(std::string_view utf8, std::size_t maxChars) {
  std::size_t i = 0;
  for (std::size_t chars = 0; i < utf8.size() && chars < maxChars; ++chars) {
    i += SequenceLength(utf8, i);
  }
  return std::string(utf8.substr(0, i));
}

std::size_t Utf8Length(std::string_view utf8) {
  std::size_t n = 0;
  for (std::size_t i = 0; i < utf8.size(); ++n) i += SequenceLength(utf8, i);
  return n;
}

namespace {
char LowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }
char UpperAscii(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }
}  // namespace

std::string ToLowerAscii(std::string_view s) {
  std::string out(s);
  std::transform(out.begin(), out.end(), out.begin(), LowerAscii);
  return out;
}

std::string ToUpperAscii(std::string_view s) {
  std::string out(s);
  std::transform(out.begin(), out.end(), out.begin(), UpperAscii);
  return out;
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (LowerAscii(a[i]) != LowerAscii(b[i])) return false;
  }
  return true;
}

bool LessNoCase(std::string_view a, std::string_view b) {
  return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(),
                                      [](char x, char y) {
                                        return static_cast<unsigned char>(LowerAscii(x)) <
                                               static_cast<unsigned char>(LowerAscii(y));
                                      });
}

std::string FormatV(const char* format, std::va_list args) {
  std::va_list copy;
  va_copy(copy, args);
  const int n = std::vsnprintf(nullptr, 0, format, copy);
  va_end(copy);
  std::string out;
  if (n > 0) {
    out.resize(static_cast<std::size_t>(n));
    std::vsnprintf(out.data(), out.size() + 1, format, args);
  }
  return out;
}

std::string Format(const char* format, ...) {
  std::va_list args;
  va_start(args, format);
  std::string out = FormatV(format, args);
  va_end(args);
  return out;
}

std::vector<std::string_view> DataLines(std::string_view text) {
  std::vector<std::string_view> lines;
  std::size_t pos = text.substr(0, 3) == "\xEF\xBB\xBF" ? 3 : 0;
  while (pos < text.size()) {
    std::size_t end = text.find('\n', pos);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(pos, end - pos);
    pos = end + 1;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (!line.empty() && line.front() != '#') lines.push_back(line);
  }
  return lines;
}

namespace {

bool LooksLikeUtf16(std::string_view b) {
  auto at = [&](std::size_t i) { return static_cast<unsigned char>(b[i]); };
  for (std::size_t i = 0; i + 3 < b.size(); i += 2) {
    if (at(i) != 0 && at(i + 1) == 0 && at(i + 2) != 0 && at(i + 3) == 0) return true;
  }
  return false;
}

}  // namespace

std::vector<PathListEntry> PathListEntries(std::string_view bytes) {
  std::vector<PathListEntry> entries;
  auto add = [&](std::u16string_view units) {
    entries.push_back({Utf16ToUtf8(units), units.size()});
  };
  const bool utf8Mark = bytes.substr(0, 3) == "\xEF\xBB\xBF";
  const bool utf16Mark = bytes.substr(0, 2) == "\xFF\xFE";
  if (utf16Mark || (!utf8Mark && LooksLikeUtf16(bytes))) {
    std::u16string entry;
    for (std::size_t i = utf16Mark ? 2 : 0; i + 1 < bytes.size(); i += 2) {
      const char16_t unit = static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                                  static_cast<unsigned char>(bytes[i + 1]) << 8);
      if (unit != 0) {
        entry += unit;
        continue;
      }
      add(entry);
      entry.clear();
    }
    return entries;
  }
  std::string_view text = utf8Mark ? bytes.substr(3) : bytes;
  const bool byLines = text.find('\0') == std::string_view::npos;
  while (!text.empty()) {
    std::size_t end = text.find(byLines ? '\n' : '\0');
    // Text after the last zero ends no path; a last line does.
    if (end == std::string_view::npos && !byLines) break;
    if (end == std::string_view::npos) end = text.size();
    std::string_view path = text.substr(0, end);
    text.remove_prefix(std::min(text.size(), end + 1));
    if (byLines) {
      if (!path.empty() && path.back() == '\r') path.remove_suffix(1);
      if (path.empty()) continue;
    }
    add(Utf8ToUtf16(path));
  }
  return entries;
}

std::string Unescape(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\\' || i + 1 == text.size()) {
      out += text[i];
      continue;
    }
    switch (text[++i]) {
      case 'r': out += '\r'; break;
      case 'n': out += '\n'; break;
      case 't': out += '\t'; break;
      case '\\': out += '\\'; break;
      default: out += '\\'; out += text[i]; break;
    }
  }
  return out;
}

}  // namespace vexa::base
