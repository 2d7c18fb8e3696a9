// Where captions go on a television frame, measured by a stand-in font whose
// every character is 8 pixels wide and whose lines are 18 pixels high: a
// 352 x 240 frame's title-safe area is x 35..317 (35 characters) and
// y 24..216.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "disclib/vcd/CaptionLayout.h"
#include "platform/base/Text.h"

namespace vexa::vcd::testing {
namespace {

constexpr std::int32_t kCharWidth = 8, kLineHeight = 18;

bool Measure(std::string_view text, std::int32_t* w, std::int32_t* h) {
  *w = kCharWidth * static_cast<std::int32_t>(base::Utf8Length(text));
  *h = kLineHeight;
  return true;
}

struct Line {
  std::string text;
  std::int32_t x, y;
  bool operator==(const Line&) const = default;
};
std::ostream& operator<<(std::ostream& os, const Line& l) {
  return os << '"' << l.text << "\" at " << l.x << ',' << l.y;
}

std::vector<Line> LayOut(std::string_view caption, std::int32_t x, std::int32_t y, std::int32_t w = 352,
                         std::int32_t h = 240) {
  std::vector<Line> out;
  for (const VCDCaptionLine& l : VCDLayOutCaption(caption, x, y, w, h, Measure)) out.push_back({l.text, l.x, l.y});
  return out;
}

TEST(CaptionLayoutTest, TheTitleSafeAreaIsTheMiddleEightyPercent) {
  struct Case {
    std::int32_t width, height;
    VCDFrameArea safe;
  };
  for (const Case& c : {Case{352, 240, {35, 24, 317, 216}}, Case{352, 288, {35, 28, 317, 260}},
                        Case{704, 480, {70, 48, 634, 432}}, Case{704, 576, {70, 57, 634, 519}}}) {
    const VCDFrameArea a = VCDTitleSafeArea(c.width, c.height);
    EXPECT_EQ(a.left, c.safe.left) << c.width;
    EXPECT_EQ(a.top, c.safe.top) << c.height;
    EXPECT_EQ(a.right, c.safe.right) << c.width;
    EXPECT_EQ(a.bottom, c.safe.bottom) << c.height;
  }
}

TEST(CaptionLayoutTest, ACaptionIsMovedBrokenOrShortenedIntoTheSafeArea) {
  const std::string thirty = "Thirty characters of a captio";  // 29 + the "n" below
  struct Case {
    const char* name;
    std::string caption;
    std::int32_t x, y;
    std::vector<Line> lines;
  };
  const Case cases[] = {
      {"where it was asked for", "Hello world, a caption", 35, 192, {{"Hello world, a caption", 35, 192}}},
      // At 90 % of the frame a 22-character caption would run off the right
      // edge: it ends at the safe area's edge instead.
      {"moved in from the right and the bottom", "Hello world, a caption", 316, 216,
       {{"Hello world, a caption", 317 - 22 * 8, 216 - 18}}},
      {"moved in from the top left", "Лес у озера", 0, 0, {{"Лес у озера", 35, 24}}},
      {"thirty characters on one line", thirty + "n", 35, 192, {{thirty + "n", 35, 192}}},
      {"spaces between words are one space", "  two   words ", 35, 192, {{"two words", 35, 192}}},
      // 40 characters: broken at the last space that leaves the line within
      // 35 characters; the block rises so that both lines stay inside.
      {"broken at a word", "The quick brown fox jumps over the dog!!", 35, 192,
       {{"The quick brown fox jumps over the", 35, 180}, {"dog!!", 35, 198}}},
      // More than two lines hold: the second gives up words for the ellipsis.
      {"shortened at a word", "one two three four five six seven eight nine ten eleven twelve thirteen fourteen", 35,
       192, {{"one two three four five six seven", 35, 180}, {"eight nine ten eleven twelve…", 35, 198}}},
      // One word longer than a line can only be cut between characters.
      {"a word longer than the line", std::string(50, 'W'), 35, 192, {{std::string(34, 'W') + "…", 35, 192}}},
      {"a long word after a short one", "Hi " + std::string(50, 'W'), 35, 192,
       {{"Hi", 35, 180}, {std::string(34, 'W') + "…", 35, 198}}},
      {"nothing to show", " \t ", 35, 192, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::vector<Line> lines = LayOut(c.caption, c.x, c.y);
    EXPECT_EQ(lines, c.lines);
    for (const Line& l : lines) {
      EXPECT_GE(l.x, 35);
      EXPECT_LE(l.x + kCharWidth * static_cast<std::int32_t>(base::Utf8Length(l.text)), 317) << l;
      EXPECT_GE(l.y, 24);
      EXPECT_LE(l.y + kLineHeight, 216) << l;
    }
  }
}

TEST(CaptionLayoutTest, ALineOnlyTheSafeAreaHoldsAndNothingUnmeasured) {
  // A frame whose safe area is 20 pixels high holds one line of 18.
  EXPECT_EQ(LayOut("one two three four five six seven eight nine ten", 0, 0, 352, 25),
            (std::vector<Line>{{"one two three four five six seven…", 35, 2}}));
  const auto failing = [](std::string_view, std::int32_t*, std::int32_t*) { return false; };
  EXPECT_TRUE(VCDLayOutCaption("Hello", 35, 192, 352, 240, failing).empty());
  EXPECT_TRUE(VCDLayOutCaption("Hello", 35, 192, 352, 240, nullptr).empty());
}

}  // namespace
}  // namespace vexa::vcd::testing
