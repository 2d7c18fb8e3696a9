// The built-in font catalogue of the PDF writer: 48 fonts (the 14 base
// fonts, 27 more with descriptors, 7 CID fonts), their widths and descriptor
// values, and the tables between the four PDF encodings.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace vexa::pdf {

struct BuiltinFont {
  const char* name;
  int kind;  // 0 base font, 1 with descriptor, 3 CID
  int capHeight, ascent, descent;
  long flags;
  int bbox[4];
  double italicAngle;
  int stemV, stemH, xHeight;
  const short* widths;  // codes 32 to 255 (WinAnsi, or the font's own for Symbol and ZapfDingbats); null for CID
  int missingWidth, leading, maxWidth, avgWidth;
  const char* style;     // CID: the /Style body
  const char* ordering;  // CID: the /CIDSystemInfo body
};

inline constexpr int kBuiltinFontCount = 48;
inline constexpr int kSymbolIndex = 12;
inline constexpr int kZapfDingbatsIndex = 13;
inline constexpr int kTimesRomanIndex = 4;

const BuiltinFont& BuiltinFontAt(int index);
// Catalogue index of a name: exact names, the CID fonts by prefix; -1 when absent.
int FindBuiltinFont(std::string_view name);

// Encodings: 0 WinAnsiEncoding, 1 MacRomanEncoding, 2 MacExpertEncoding,
// 3 StandardEncoding.
const char* EncodingName(int index);
// 3 for none, 0 for a name not in the list.
int EncodingIndex(const char* name);
// The WinAnsi code of the glyph at `code` in encoding `encodingIndex` (0 when it has none).
int RemapToWinAnsi(int encodingIndex, int code);
// The width (1/1000 em) of a byte in a built-in font under an encoding.
int BuiltinWidth(int catalogueIndex, int encodingIndex, int code);
// UTF-8 text as bytes of an encoding; characters the encoding lacks become
// "?" (and *complete, when given, is set false). Symbol and ZapfDingbats take
// code points below 256 as their codes.
std::string EncodeText(std::string_view utf8, int encodingIndex, bool builtinCodes, bool* complete = nullptr);
// One character of UTF-8 text at *i (advancing it); invalid bytes come out
// as U+FFFD, one byte each.
char32_t NextUtf8CodePoint(std::string_view s, std::size_t* i);

}  // namespace vexa::pdf
