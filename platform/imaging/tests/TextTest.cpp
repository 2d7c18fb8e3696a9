#include <gtest/gtest.h>

#include <climits>
#include <vector>
#include <unistd.h>

#include "platform/imaging/Text.h"
#include "platform/imaging/Transform.h"
#include "platform/imaging/tests/TestSupport.h"

namespace vexa::imaging {
namespace {

struct Box {
  int left = INT_MAX, top = INT_MAX, right = -1, bottom = -1;
  bool empty() const { return right < 0; }
};

// Pixels that differ from (r, g, b).
Box InkBox(const Bitmap& b, std::uint8_t r, std::uint8_t g, std::uint8_t bl) {
  Box box;
  for (int y = 0; y < b.height(); ++y) {
    for (int x = 0; x < b.width(); ++x) {
      std::uint8_t pr, pg, pb;
      b.GetRgb(x, y, &pr, &pg, &pb);
      if (pr != r || pg != g || pb != bl) {
        box.left = std::min(box.left, x);
        box.right = std::max(box.right, x);
        box.top = std::min(box.top, y);
        box.bottom = std::max(box.bottom, y);
      }
    }
  }
  return box;
}

TextStyle Style(const char* family, int pixelHeight, std::uint32_t color = 0xFFFFFF) {
  TextStyle s;
  s.family = family;
  s.pixelHeight = pixelHeight;
  s.color = color;
  return s;
}

bool LiberationInstalled() {
  return testing::HaveTool("/usr/share/fonts/truetype/liberation2/LiberationSans-Regular.ttf") ||
         ::access("/usr/share/fonts/truetype/liberation2/LiberationSans-Regular.ttf", R_OK) == 0;
}

TEST(TextTest, SystemTypefacesResolveToLiberation) {
  if (!LiberationInstalled()) {
    if (testing::CheckersRequired()) FAIL() << "fonts-liberation2 is not installed";
    GTEST_SKIP() << "fonts-liberation2 is not installed";
  }
  EXPECT_EQ(ResolveFontFamily("Arial"), "Liberation Sans");
  EXPECT_EQ(ResolveFontFamily("Times New Roman"), "Liberation Serif");
  EXPECT_EQ(ResolveFontFamily("Courier New"), "Liberation Mono");
}

TEST(TextTest, PointSizesAtNinetySixDpi) {
  const int rows[][2] = {{22, 29}, {18, 24}, {88, 117}, {72, 96}, {10, 13}, {0, 0}};
  for (auto [points, pixels] : rows) EXPECT_EQ(PointsToPixels(points), pixels) << points;
}

TEST(TextTest, CentredTextIsCentredAndStartsBelowItsTop) {
  for (int bpp : {24, 32}) {
    Bitmap b;
    ASSERT_TRUE(b.Create(352, 240, bpp).ok());
    TextStyle style = Style("Times New Roman", PointsToPixels(22));
    TextExtent drawn, measured;
    ASSERT_TRUE(DrawText(&b, 176, 56, "A Summer by the Sea", style, TextAlign::kCentreTop, &drawn).ok());
    ASSERT_TRUE(MeasureText("A Summer by the Sea", style, &measured).ok());
    EXPECT_EQ(drawn.width, measured.width);
    EXPECT_EQ(drawn.height, measured.height);
    Box ink = InkBox(b, 0, 0, 0);
    ASSERT_FALSE(ink.empty());
    EXPECT_NEAR((ink.left + ink.right) / 2.0, 176, 2.0);
    EXPECT_GE(ink.top, 56);
    EXPECT_LE(ink.bottom, 56 + drawn.height);
    EXPECT_LE(ink.right - ink.left + 1, drawn.width + 2);
    std::uint8_t r, g, bl;  // white text
    bool sawWhite = false;
    for (int x = ink.left; x <= ink.right && !sawWhite; ++x) {
      for (int y = ink.top; y <= ink.bottom && !sawWhite; ++y) {
        b.GetRgb(x, y, &r, &g, &bl);
        sawWhite = r == 255 && g == 255 && bl == 255;
      }
    }
    EXPECT_TRUE(sawWhite);
  }
}

TEST(TextTest, BackgroundBoxOnlyWhenAsked) {
  TextStyle style = Style("Arial", 20, 0x00FF00);
  Bitmap plain;
  ASSERT_TRUE(plain.Create(200, 60, 24).ok());
  ASSERT_TRUE(DrawText(&plain, 10, 10, "Menu", style).ok());
  Box ink = InkBox(plain, 0, 0, 0);
  ASSERT_FALSE(ink.empty());
  EXPECT_GE(ink.left, 10);
  EXPECT_GE(ink.top, 10);

  style.background = 0x0000FF;  // red box
  Bitmap boxed;
  ASSERT_TRUE(boxed.Create(200, 60, 24).ok());
  TextExtent e;
  ASSERT_TRUE(DrawText(&boxed, 10, 10, "Menu", style, TextAlign::kLeftTop, &e).ok());
  std::uint8_t r, g, b;
  boxed.GetRgb(10, 10, &r, &g, &b);  // the box's corner holds no glyph
  EXPECT_EQ(r, 255);
  EXPECT_EQ(g, 0);
  boxed.GetRgb(10 + e.width + 2, 10, &r, &g, &b);
  EXPECT_EQ(r + g + b, 0);
}

TEST(TextTest, NonLatinTextIsDrawnNotReplaced) {
  TextStyle style = Style("Arial", 30);
  TextExtent greek, marks;
  ASSERT_TRUE(MeasureText("Ωμέγα Мир", style, &greek).ok());
  ASSERT_TRUE(MeasureText("????? ???", style, &marks).ok());
  EXPECT_NE(greek.width, marks.width);
  Bitmap b;
  ASSERT_TRUE(b.Create(300, 50, 24).ok());
  ASSERT_TRUE(DrawText(&b, 0, 0, "Ωμέγα Мир", style).ok());
  EXPECT_FALSE(InkBox(b, 0, 0, 0).empty());
}

// The glyphs of a line: the ink boxes of the stretches of columns that
// hold ink, split at blank columns.
std::vector<Box> GlyphBoxes(const Bitmap& b) {
  std::vector<Box> boxes;
  Box current;
  for (int x = 0; x < b.width(); ++x) {
    bool any = false;
    for (int y = 0; y < b.height(); ++y) {
      std::uint8_t r, g, bl;
      b.GetRgb(x, y, &r, &g, &bl);
      if (r + g + bl == 0) continue;
      any = true;
      current.left = std::min(current.left, x);
      current.right = std::max(current.right, x);
      current.top = std::min(current.top, y);
      current.bottom = std::max(current.bottom, y);
    }
    if (!any && !current.empty()) {
      boxes.push_back(current);
      current = Box();
    }
  }
  if (!current.empty()) boxes.push_back(current);
  return boxes;
}

// Whether a glyph is drawn as a frame: all four sides of its ink box lit
// along nearly their whole length, as the missing-glyph box is.
bool IsFrame(const Bitmap& b, const Box& box) {
  auto lit = [&](int x, int y) {
    std::uint8_t r, g, bl;
    b.GetRgb(x, y, &r, &g, &bl);
    return r + g + bl > 3 * 96;
  };
  auto share = [&](bool column, int at) {
    const int from = column ? box.top : box.left, to = column ? box.bottom : box.right;
    int n = 0;
    for (int i = from; i <= to; ++i) n += column ? lit(at, i) : lit(i, at);
    return static_cast<double>(n) / (to - from + 1);
  };
  return share(false, box.top) > 0.8 && share(false, box.bottom) > 0.8 && share(true, box.left) > 0.8 &&
         share(true, box.right) > 0.8;
}

// Hangul on the title card is drawn with a face that has it (fontconfig
// finds one by coverage), not as missing-glyph boxes: a character no
// face has is drawn as a frame, each Hangul syllable is not.
TEST(TextTest, HangulIsDrawnWithItsGlyphsNotMissingGlyphBoxes) {
  const TextStyle style = Style("Times New Roman", PointsToPixels(44));
  auto draw = [&](const char* text, Bitmap* b) {
    ASSERT_TRUE(b->Create(600, 120, 24).ok());
    ASSERT_TRUE(DrawText(b, 10, 10, text, style).ok());
  };
  Bitmap missing;
  draw("\U0010FFFD", &missing);
  const std::vector<Box> frame = GlyphBoxes(missing);
  ASSERT_EQ(frame.size(), 1u);
  EXPECT_TRUE(IsFrame(missing, frame[0])) << "the missing-glyph box is not recognised";

  Bitmap hangul;
  draw("여름 바다", &hangul);
  const std::vector<Box> glyphs = GlyphBoxes(hangul);
  EXPECT_GE(glyphs.size(), 4u);
  for (const Box& g : glyphs) {
    EXPECT_FALSE(IsFrame(hangul, g)) << "a box at x " << g.left << " to " << g.right;
  }
}

TEST(TextTest, OddInputs) {
  Bitmap b;
  ASSERT_TRUE(b.Create(40, 20, 24).ok());
  TextStyle style = Style("No Such Typeface At All", 12);
  EXPECT_TRUE(DrawText(&b, -30, -5, std::string("bad \xC3\x28 utf8 \xFF", 14), style).ok());
  EXPECT_TRUE(DrawText(&b, 5000, 5000, "far outside", style).ok());
  EXPECT_TRUE(DrawText(&b, 0, 0, "", style).ok());
  Bitmap pal = testing::MakeTestPicture(8, 8, 8);
  EXPECT_EQ(DrawText(&pal, 0, 0, "x", style).code(), ErrorCode::kUnsupportedDepth);
  Bitmap none;
  EXPECT_EQ(DrawText(&none, 0, 0, "x", style).code(), ErrorCode::kEmptyBitmap);
}

}  // namespace
}  // namespace vexa::imaging
