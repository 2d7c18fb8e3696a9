#include "platform/base/Text.h"
#include "platform/base/ValidUtf8.h"

#include <gtest/gtest.h>

#include <fstream>

#include "tests/support/Checkers.h"

using namespace vexa::base;

TEST(Text, RoundTripsAcrossPlanes) {
  // ASCII, Latin-1, CJK, and a character outside the basic plane (surrogates).
  const std::string s = "a\xC3\xA9\xE6\x97\xA5\xF0\x9F\x98\x80";
  const std::u16string w = Utf8ToUtf16(s);
  ASSERT_EQ(w, (std::u16string{u'a', 0x00E9, 0x65E5, 0xD83D, 0xDE00}));
  EXPECT_EQ(Utf16ToUtf8(w), s);
}

TEST(Text, BytesThatAreNotUtf8SurviveTheRoundTrip) {
  // Each byte outside a valid sequence becomes U+DC00 + byte and comes back
  // as that byte: a file name read from the file system reaches it again.
  struct Case {
    std::string in;
    std::u16string out;
  } cases[] = {
      {"\xFF", u"\xDCFF"},                              // never valid
      {"\xC3", u"\xDCC3"},                              // truncated
      {"\xC0\xAF", u"\xDCC0\xDCAF"},                   // overlong '/'
      {"\xED\xA0\x80", u"\xDCED\xDCA0\xDC80"},         // encoded surrogate
      {"a\x80" "b", u"a\xDC80" "b"},                     // stray continuation
      {"\xE9t\xE9.jpg", u"\xDCE9t\xDCE9.jpg"},          // a Latin-1 file name
      {"\xC3\xA9\xE9", u"\u00E9\xDCE9"},                // valid then not
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Utf8ToUtf16(c.in), c.out) << c.in;
    EXPECT_EQ(Utf16ToUtf8(Utf8ToUtf16(c.in)), c.in) << c.in;
  }
  // Every single byte and every pair of bytes survives.
  for (int a = 0; a < 256; ++a) {
    for (int b = 0; b < 256; ++b) {
      const std::string s{static_cast<char>(a), static_cast<char>(b)};
      ASSERT_EQ(Utf16ToUtf8(Utf8ToUtf16(s)), s) << a << " " << b;
    }
  }
  // The escaped units come back as bytes; other lone surrogates cannot be
  // written as UTF-8 and become U+FFFD.
  EXPECT_EQ(Utf16ToUtf8(std::u16string{0xDCE9, u'x'}), "\xE9x");
  EXPECT_EQ(Utf16ToUtf8(std::u16string{0xD800, u'x'}), "\xEF\xBF\xBDx");
  EXPECT_EQ(Utf16ToUtf8(std::u16string{0xDC00}), "\xEF\xBF\xBD");
  EXPECT_EQ(Utf16ToUtf8(std::u16string{0xDC7F}), "\xEF\xBF\xBD");
}

// Text read as text (not a name) is made valid instead: U+FFFD per stray byte.
TEST(Text, ToValidUtf8ReplacesStrayBytes) {
  EXPECT_EQ(ToValidUtf8("a\xE9" "b\xC3\xA9\xED\xA0\x80"), "a\xEF\xBF\xBD" "b\xC3\xA9\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD");
  EXPECT_EQ(ToValidUtf8("plain \xE6\x97\xA5"), "plain \xE6\x97\xA5");
}

TEST(Text, EscapeForDisplayKeepsTextOnOneLineAndValid) {
  struct Case {
    std::string in;
    std::string out;
  } cases[] = {
      {"photo.jpg", "photo.jpg"},
      {"back\\slash.jpg", "back\\slash.jpg"},
      {"\xC3\xA9t\xC3\xA9.jpg", "\xC3\xA9t\xC3\xA9.jpg"},  // valid UTF-8 stays
      {"\xE9t\xE9.jpg", "\\xE9t\\xE9.jpg"},
      {"a\nb\rc\td", "a\\nb\\rc\\td"},
      {std::string("nul\0x", 5), "nul\\x00x"},
      {"esc\x1B[2J\x7F", "esc\\x1B[2J\\x7F"},
      {"c1\xC2\x85" "end", "c1\\u0085end"},
      {"ls\xE2\x80\xA8" "end", "ls\\u2028end"},
  };
  for (const Case& c : cases) EXPECT_EQ(EscapeForDisplay(c.in), c.out) << c.in;
}

// Which characters no XML 1.0 document can hold, as xmllint judges a
// document that holds each text, its characters written as references.
TEST(Text, CharactersXmlCannotHoldAreFoundAndNamed) {
  struct Case {
    std::string in;
    std::string bad;
  } cases[] = {
      {"/photos/beach.png", ""},
      {"tab\tline\nreturn\r.jpg", ""},
      {"\xC3\xA9t\xC3\xA9 \xE6\x97\xA5\xF0\x9F\x98\x80.jpg", ""},
      {"del\x7F c1\xC2\x85.jpg", ""},
      {"esc\x1B.jpg", "U+001B at character 4"},
      {"bel\x07.jpg", "U+0007 at character 4"},
      {"\x01one.jpg", "U+0001 at character 1"},
      {"\xE6\x97\xA5\x1F", "U+001F at character 2"},
      {"ff\x0C vt\x0B", "U+000C at character 3"},
      {"nonchar\xEF\xBF\xBE", "U+FFFE at character 8"},
      {"nonchar\xEF\xBF\xBF", "U+FFFF at character 8"},
      // Bytes that are not UTF-8 are shown as \xNN, not held as they are.
      {"\xE9t\xE9\xFF\xFE.jpg", ""},
  };
  for (const Case& c : cases) EXPECT_EQ(CharacterXmlCannotHold(c.in), c.bad) << EscapeForDisplay(c.in);

  if (!vexa::testsupport::HaveProgram("xmllint")) {
    if (vexa::testsupport::CheckersRequired()) FAIL() << "xmllint missing";
    GTEST_SKIP() << "xmllint missing";
  }
  for (const Case& c : cases) {
    // Each character as a reference (one beyond the first plane as one
    // reference, not two halves); a byte that is not UTF-8 as the text
    // \xNN, as the album files show it.
    std::string text;
    const std::u16string w = Utf8ToUtf16(c.in);
    for (std::size_t i = 0; i < w.size(); ++i) {
      char32_t cp = w[i];
      if (cp >= 0xDC80 && cp <= 0xDCFF) {
        text += ByteEscape(static_cast<unsigned char>(cp & 0xFF));
        continue;
      }
      if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < w.size()) cp = 0x10000 + ((cp - 0xD800) << 10) + (w[++i] - 0xDC00);
      text += "&#" + std::to_string(static_cast<unsigned long>(cp)) + ";";
    }
    const std::string file = std::string(::testing::TempDir()) + "/held.xml";
    std::ofstream(file) << "<?xml version=\"1.0\"?><a>" << text << "</a>\n";
    const int status = vexa::testsupport::Shell("xmllint --noout '" + file + "'");
    EXPECT_EQ(status == 0, c.bad.empty()) << EscapeForDisplay(c.in) << ": xmllint ended " << status;
  }
}

TEST(Text, CutsNeverSplitACharacter) {
  const std::string s = "ab\xC3\xA9\xE6\x97\xA5";  // a b é 日 : 7 bytes, 4 chars
  EXPECT_EQ(Utf8CutBytes(s, 3), "ab");
  EXPECT_EQ(Utf8CutBytes(s, 4), "ab\xC3\xA9");
  EXPECT_EQ(Utf8CutBytes(s, 6), "ab\xC3\xA9");
  EXPECT_EQ(Utf8CutBytes(s, 7), s);
  EXPECT_EQ(Utf8CutChars(s, 3), "ab\xC3\xA9");
  EXPECT_EQ(Utf8CutChars(s, 10), s);
  EXPECT_EQ(Utf8Length(s), 4u);
}

TEST(Text, CaseInsensitiveComparison) {
  EXPECT_TRUE(EqualsNoCase("Log Size", "LOG size"));
  EXPECT_FALSE(EqualsNoCase("Log Size", "Log Sizes"));
  EXPECT_TRUE(LessNoCase("abc", "ABD"));
  EXPECT_FALSE(LessNoCase("ABD", "abc"));
}

TEST(Text, FormatGivesTheWholeResult) {
  EXPECT_EQ(Format("%s=%d", "n", 42), "n=42");
  EXPECT_EQ(Format("%s", ""), "");
  const std::string longText(100000, 'x');
  EXPECT_EQ(Format("[%s]", longText.c_str()), "[" + longText + "]");
}

TEST(Text, DataLinesLeaveOutLineEndsBlankLinesAndComments) {
  using Lines = std::vector<std::string_view>;
  EXPECT_EQ(DataLines(""), Lines{});
  EXPECT_EQ(DataLines("a\tb\r\n\r\n# note\nc\n"), (Lines{"a\tb", "c"}));
  EXPECT_EQ(DataLines("last without end"), Lines{"last without end"});
  EXPECT_EQ(DataLines(" # kept: not at the start\n\n\n"), Lines{" # kept: not at the start"});
  EXPECT_EQ(DataLines("\xEF\xBB\xBF# note after the byte-order mark\r\nd\n"), Lines{"d"});
}

// Picture lists in the list's own UTF-16 and in UTF-8, with and without a
// byte-order mark: the same paths come out, non-Latin ones included.
TEST(Text, PathListsAreReadInUtf16AndUtf8) {
  const std::string a = "/home/me/a.jpg", b = "/home/me/사진 b.png";
  auto utf16 = [](const std::string& s) {
    std::string out;
    for (char16_t u : Utf8ToUtf16(s)) {
      out += static_cast<char>(u & 0xFF);
      out += static_cast<char>(u >> 8);
    }
    return out;
  };
  const std::string zero16(2, '\0');
  const struct {
    const char* name;
    std::string bytes;
  } cases[] = {
      {"UTF-16", utf16(a) + zero16 + utf16(b) + zero16},
      {"UTF-16 with its mark", "\xFF\xFE" + utf16(a) + zero16 + utf16(b) + zero16},
      {"UTF-8, zero-ended", a + '\0' + b + '\0'},
      {"UTF-8 with its mark, zero-ended", "\xEF\xBB\xBF" + a + '\0' + b + '\0'},
      {"UTF-8, one a line", a + "\n" + b + "\n"},
      {"UTF-8 with its mark, CR LF lines, a blank one", "\xEF\xBB\xBF" + a + "\r\n\r\n" + b},
      // Odd path lengths put the zeros of a UTF-8 list at odd offsets.
      {"UTF-8, zeros at odd offsets", a + "x" + '\0' + b + '\0'},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::vector<PathListEntry> got = PathListEntries(c.bytes);
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[0].path, std::string(c.name).find("odd") != std::string::npos ? a + "x" : a);
    EXPECT_EQ(got[1].path, b);
    EXPECT_EQ(got[1].units, Utf8ToUtf16(b).size());
  }
  // Text after the last zero is no path, in either encoding.
  EXPECT_EQ(PathListEntries(utf16(a) + zero16 + utf16(b)).size(), 1u);
  EXPECT_EQ(PathListEntries(a + '\0' + b).size(), 1u);
  // An empty entry stays one (the caller reports it); a long path is whole.
  const std::string longPath = "/" + std::string(3000, 'p') + ".jpg";
  const std::vector<PathListEntry> got = PathListEntries(utf16(longPath) + zero16 + zero16);
  ASSERT_EQ(got.size(), 2u);
  EXPECT_EQ(got[0].path, longPath);
  EXPECT_EQ(got[0].units, 3005u);
  EXPECT_EQ(got[1].path, "");
}
