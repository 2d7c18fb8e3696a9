// Text conversions. The system's "ANSI" text is UTF-8 here; text crossing
// component interfaces is UTF-16 (char16_t). Conversions never split a
// character.
//
// A file name is a string of bytes that need not be UTF-8. So that such a
// name survives the trip through UTF-16 and back, Utf8ToUtf16 turns each byte
// that is not part of a valid UTF-8 sequence into the lone surrogate
// U+DC80..U+DCFF (0xDC00 + the byte), and Utf16ToUtf8 turns exactly those
// back into the byte. Other lone surrogates become U+FFFD. Text meant for
// people (logs, messages) goes through EscapeForDisplay.
#pragma once

#include "platform/base/Export.h"

#include <cstdarg>
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace vexa::base {

VEXA_BASE_API std::u16string Utf8ToUtf16(std::string_view utf8);
VEXA_BASE_API std::string Utf16ToUtf8(std::u16string_view utf16);

// Valid UTF-8 that shows text on one line: a byte that is not valid UTF-8 is
// written \xNN, a line feed, carriage return and tab \n, \r and \t, other
// control characters \xNN, C1 controls and U+2028/U+2029 \uNNNN. Everything
// else, a backslash too, is kept as it is.
VEXA_BASE_API std::string EscapeForDisplay(std::string_view text);
// One byte as EscapeForDisplay shows it: the four characters \xNN.
VEXA_BASE_API std::string ByteEscape(unsigned char byte);

// The first character of a text that an XML 1.0 document cannot hold in
// any form, not even as a character reference: a control character other
// than tab, line feed and carriage return, U+FFFE or U+FFFF. Told as
// "U+001B at character 4" (characters counted from 1); "" when there is
// none. A byte that is not UTF-8 is no such character: the album files
// write it as the text \xNN.
VEXA_BASE_API std::string CharacterXmlCannotHold(std::string_view utf8);

// Cuts to at most maxBytes bytes without splitting a UTF-8 sequence.
VEXA_BASE_API std::string Utf8CutBytes(std::string_view utf8, std::size_t maxBytes);
// Cuts to at most maxChars characters (code points).
VEXA_BASE_API std::string Utf8CutChars(std::string_view utf8, std::size_t maxChars);
// Number of code points.
VEXA_BASE_API std::size_t Utf8Length(std::string_view utf8);

// ASCII case folding; other characters compare as they are.
VEXA_BASE_API std::string ToLowerAscii(std::string_view s);
VEXA_BASE_API std::string ToUpperAscii(std::string_view s);
VEXA_BASE_API bool EqualsNoCase(std::string_view a, std::string_view b);
VEXA_BASE_API bool LessNoCase(std::string_view a, std::string_view b);

// The lines of a text file that carry data: a leading UTF-8 byte-order mark
// dropped, without their line ends ("\n" or "\r\n"), empty lines and lines
// that start with '#' left out. The views point into text.
VEXA_BASE_API std::vector<std::string_view> DataLines(std::string_view text);

// The paths of a picture-list file, in its order. The list's own form is
// UTF-16 little-endian with each path ended by a zero character; a UTF-8
// list is read too, each path ended by a zero byte or, in a list without
// any, by a line end ("\n" or "\r\n"; empty lines are skipped). A leading
// byte-order mark names the encoding; without one, the list is UTF-16 when
// two characters in a row have a zero high byte there (as a '/' or the '.'
// of an extension has), else UTF-8. Text after the last zero is no path;
// a last line without its line end is one. units is each path's length in
// UTF-16 code units, which a path list limits.
struct PathListEntry {
  std::string path;  // UTF-8
  std::size_t units = 0;
};
VEXA_BASE_API std::vector<PathListEntry> PathListEntries(std::string_view bytes);

// Reads the escapes of a text-table value: \r, \n, \t and \\ become the
// character; any other backslash, a last one too, is kept as it is.
VEXA_BASE_API std::string Unescape(std::string_view text);

// printf into a string: the whole result, however long; empty when the
// format cannot be used.
VEXA_BASE_API std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));
VEXA_BASE_API std::string FormatV(const char* format, std::va_list args) __attribute__((format(printf, 1, 0)));

}  // namespace vexa::base
