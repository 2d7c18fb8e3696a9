#include "logging/LogFormat_p.h"

#include <gtest/gtest.h>

namespace vexa::logging {
namespace {

base::CalendarTime At(int hour, int minute, int second) {
  base::CalendarTime t;
  t.year = 2002;
  t.month = 11;
  t.day = 5;
  t.hour = hour;
  t.minute = minute;
  t.second = second;
  return t;
}

TEST(TimeStamperTest, NumbersLinesWithinASecondAndWraps) {
  TimeStamper s;
  EXPECT_EQ(s.Next(At(14, 22, 33)), "20021105T142233.00");
  EXPECT_EQ(s.Next(At(14, 22, 33)), "20021105T142233.01");
  EXPECT_EQ(s.Next(At(14, 22, 33)), "20021105T142233.02");
  // A new second starts again at .00.
  EXPECT_EQ(s.Next(At(14, 22, 34)), "20021105T142234.00");
  for (int i = 1; i < 100; ++i) s.Next(At(14, 22, 34));
  // The 101st line within one second wraps to .00.
  EXPECT_EQ(s.Next(At(14, 22, 34)), "20021105T142234.00");
  EXPECT_EQ(s.Next(At(14, 22, 34)), "20021105T142234.01");
}

struct FormatCase {
  const char* name;
  const char* type;
  const char* component;
  std::string text;
  std::string expected;
};

constexpr char kStamp0[] = "20021105T142233.00";
constexpr char kStamp1[] = "20021105T142233.01";
constexpr char kStamp2[] = "20021105T142233.02";

class FormatLogLinesTest : public ::testing::TestWithParam<FormatCase> {};

TEST_P(FormatLogLinesTest, Formats) {
  const FormatCase& c = GetParam();
  TimeStamper stamper;
  std::string out;
  FormatLogLines(stamper, At(14, 22, 33), c.type, c.component, c.text, &out);
  EXPECT_EQ(out, c.expected);
}

const std::string kInfoVexa = " INFO   vexa     ";

INSTANTIATE_TEST_SUITE_P(
    Lines, FormatLogLinesTest,
    ::testing::Values(
        FormatCase{"OneLine", "INFO", "vexa", "hello",
                   kStamp0 + kInfoVexa + ": hello\r\n"},
        FormatCase{"TwoLines", "INFO", "vexa", "one\r\ntwo",
                   kStamp0 + kInfoVexa + ": one\r\n" + kStamp1 + kInfoVexa + "  two\r\n"},
        // First line, CR LF, CR LF, last line: three output lines.
        FormatCase{"EmptyLineInside", "INFO", "vexa", "first\r\n\r\nlast",
                   kStamp0 + kInfoVexa + ": first\r\n\r\n" + kStamp1 + kInfoVexa + "  last\r\n"},
        FormatCase{"CrAloneAndLfAlone", "INFO", "vexa", "a\rb\nc",
                   kStamp0 + kInfoVexa + ": a\r\n" + kStamp1 + kInfoVexa + "  b\r\n" + kStamp2 +
                       kInfoVexa + "  c\r\n"},
        FormatCase{"LfCrIsTwoBreaks", "INFO", "vexa", "a\n\rb",
                   kStamp0 + kInfoVexa + ": a\r\n\r\n" + kStamp1 + kInfoVexa + "  b\r\n"},
        FormatCase{"TrailingBreakAddsBareLine", "INFO", "vexa", "a\r\n",
                   kStamp0 + kInfoVexa + ": a\r\n\r\n"},
        FormatCase{"EmptyText", "INFO", "vexa", "", "\r\n"},
        FormatCase{"LeadingBreakHasNoColon", "INFO", "vexa", "\nx",
                   "\r\n" + (kStamp0 + kInfoVexa) + "  x\r\n"},
        FormatCase{"LongTypeAndComponentAreCut", "INFORMATION", "vexacore-extra", "x",
                   kStamp0 + std::string(" INFORM vexacore-: x\r\n")},
        FormatCase{"EmptyComponentShowsTypeAlone", "*", "", "x",
                   kStamp0 + std::string(" * : x\r\n")},
        // Line breaks are the message's own; nothing else in it can start or
        // break a line, and bytes that are not UTF-8 are written as \xNN.
        FormatCase{"ControlCharactersAndStrayBytesAreEscaped", "INFO", "vexa",
                   std::string("a\tb\x1B[2J\x0B\x0C\x85\xE9t\xE9 \xC2\x85\xE2\x80\xA8\0z", 21),
                   kStamp0 + kInfoVexa + ": a\tb\\x1B[2J\\x0B\\x0C\\x85\\xE9t\\xE9 \\u0085\\u2028\\x00z\r\n"},
        FormatCase{"CutCountsCharactersNotBytes", "\xC3\x84rger12", "k\xC3\xB6rper",
                   "x",
                   kStamp0 + std::string(" \xC3\x84rger1 k\xC3\xB6rper   : x\r\n")}),
    [](const ::testing::TestParamInfo<FormatCase>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace vexa::logging
