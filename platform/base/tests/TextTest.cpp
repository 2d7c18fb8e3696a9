#include "platform/base/Text.h"

#include <gtest/gtest.h>

using namespace vexa::base;

TEST(Text, RoundTripsAcrossPlanes) {
  // ASCII, Latin-1, CJK, and a character outside the basic plane (surrogates).
  const std::string s = "a\xC3\xA9\xE6\x97\xA5\xF0\x9F\x98\x80";
  const std::u16string w = Utf8ToUtf16(s);
  ASSERT_EQ(w, (std::u16string{u'a', 0x00E9, 0x65E5, 0xD83D, 0xDE00}));
  EXPECT_EQ(Utf16ToUtf8(w), s);
}

TEST(Text, InvalidInputBecomesReplacementCharacter) {
  struct Case {
    std::string in;
    std::u16string out;
  } cases[] = {
      {"\xFF", u"\uFFFD"},                 // never valid
      {"\xC3", u"\uFFFD"},                 // truncated
      {"\xC0\xAF", u"\uFFFD\uFFFD"},       // overlong '/'
      {"\xED\xA0\x80", u"\uFFFD\uFFFD\uFFFD"},  // encoded surrogate
      {"a\x80" "b", u"a\uFFFDb"},          // stray continuation
  };
  for (const Case& c : cases) EXPECT_EQ(Utf8ToUtf16(c.in), c.out) << c.in;
  // Lone surrogates on the UTF-16 side.
  EXPECT_EQ(Utf16ToUtf8(std::u16string{0xD800, u'x'}), "\xEF\xBF\xBDx");
  EXPECT_EQ(Utf16ToUtf8(std::u16string{0xDC00}), "\xEF\xBF\xBD");
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
