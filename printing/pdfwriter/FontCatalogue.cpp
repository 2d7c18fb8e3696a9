#include "printing/pdfwriter/FontCatalogue.h"

#include <cstring>

namespace vexa::pdf {
namespace {

#include "printing/pdfwriter/FontMetrics.inc"

const char* const kEncodingNames[4] = {"WinAnsiEncoding", "MacRomanEncoding", "MacExpertEncoding",
                                       "StandardEncoding"};

// Decodes one UTF-8 character; invalid bytes come out as U+FFFD, one byte each.
char32_t NextCodePoint(std::string_view s, std::size_t* i) {
  const auto b0 = static_cast<unsigned char>(s[*i]);
  auto cont = [&](std::size_t k) -> int {
    if (*i + k >= s.size()) return -1;
    const auto b = static_cast<unsigned char>(s[*i + k]);
    return (b & 0xC0) == 0x80 ? (b & 0x3F) : -1;
  };
  if (b0 < 0x80) {
    *i += 1;
    return b0;
  }
  int n = 0;
  char32_t cp = 0;
  if ((b0 & 0xE0) == 0xC0) n = 1, cp = b0 & 0x1F;
  else if ((b0 & 0xF0) == 0xE0) n = 2, cp = b0 & 0x0F;
  else if ((b0 & 0xF8) == 0xF0) n = 3, cp = b0 & 0x07;
  else {
    *i += 1;
    return 0xFFFD;
  }
  for (int k = 1; k <= n; ++k) {
    const int c = cont(k);
    if (c < 0) {
      *i += 1;
      return 0xFFFD;
    }
    cp = (cp << 6) | static_cast<char32_t>(c);
  }
  *i += n + 1;
  return cp;
}

}  // namespace

char32_t NextUtf8CodePoint(std::string_view s, std::size_t* i) { return NextCodePoint(s, i); }

const BuiltinFont& BuiltinFontAt(int index) { return kBuiltinFontTable[index]; }

int FindBuiltinFont(std::string_view name) {
  for (int i = 0; i < kBuiltinFontCount; ++i) {
    const std::string_view n = kBuiltinFontTable[i].name;
    if (kBuiltinFontTable[i].kind == 3 ? name.substr(0, n.size()) == n : name == n) return i;
  }
  return -1;
}

const char* EncodingName(int index) { return index >= 0 && index < 4 ? kEncodingNames[index] : ""; }

int EncodingIndex(const char* name) {
  if (!name) return 3;
  for (int i = 0; i < 4; ++i) {
    if (std::strcmp(name, kEncodingNames[i]) == 0) return i;
  }
  return 0;
}

int RemapToWinAnsi(int encodingIndex, int code) {
  if (encodingIndex <= 0 || encodingIndex > 3 || code < 0 || code > 255) return code;
  return kRemapTable[encodingIndex][code];
}

int BuiltinWidth(int catalogueIndex, int encodingIndex, int code) {
  if (catalogueIndex < 0 || catalogueIndex >= kBuiltinFontCount) return 0;
  const BuiltinFont& f = kBuiltinFontTable[catalogueIndex];
  if (!f.widths) return 0;
  int c = code;
  if (catalogueIndex != kSymbolIndex && catalogueIndex != kZapfDingbatsIndex) c = RemapToWinAnsi(encodingIndex, code);
  if (c < 32 || c > 255) return 0;
  return f.widths[c - 32];
}

std::string EncodeText(std::string_view utf8, int encodingIndex, bool builtinCodes, bool* complete) {
  if (complete) *complete = true;
  std::string out;
  out.reserve(utf8.size());
  const int e = encodingIndex >= 0 && encodingIndex < 4 ? encodingIndex : 0;
  for (std::size_t i = 0; i < utf8.size();) {
    const char32_t cp = NextCodePoint(utf8, &i);
    if (cp < 0x80 && (cp >= 0x20 || cp == '\r' || cp == '\n' || cp == '\t')) {
      // ASCII is the same in every encoding except at the two quote positions
      // of StandardEncoding, which the table search below handles.
      if (e != 3 || (cp != '\'' && cp != '`') || builtinCodes) {
        out += static_cast<char>(cp);
        continue;
      }
    }
    if (builtinCodes) {
      if (cp >= 256 && complete) *complete = false;
      out += cp < 256 ? static_cast<char>(cp) : '?';
      continue;
    }
    int found = -1;
    for (int c = 32; c < 256 && found < 0; ++c) {
      if (kUnicodeTable[e][c] == cp) found = c;
    }
    if (found < 0 && complete) *complete = false;
    out += found >= 0 ? static_cast<char>(found) : '?';
  }
  return out;
}

}  // namespace vexa::pdf
