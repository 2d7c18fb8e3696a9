#include <climits>

#include "imaging/TitleLayout_p.h"
#include "imaging/tests/ImgUtilFixture.h"

namespace vexa::imgutil::testing {
namespace {

using vexa::com::Bstr;
namespace img = vexa::imaging;

TEST(TitleLayoutTest, WorkedLayoutForTwentyTwoAndEighteenPoints) {
  struct Row {
    bool lines[3];
    int S, a, b;
    int y[3];
  };
  const Row rows[] = {
      {{true, true, true}, 37, 7, 9, {56, 99, 137}},  {{true, true, false}, 58, 18, 20, {67, 131, 0}},
      {{true, false, true}, 58, 18, 20, {67, 0, 131}}, {{true, false, false}, 121, 49, 51, {98, 0, 0}},
      {{false, true, true}, 58, 18, 20, {0, 69, 131}}, {{false, true, false}, 121, 49, 51, {0, 100, 0}},
      {{false, false, true}, 121, 49, 51, {0, 0, 100}},
  };
  for (const Row& r : rows) {
    TitleLayout l = ComputeTitleLayout(r.lines, 22, 18);
    EXPECT_EQ(l.S, r.S);
    EXPECT_EQ(l.a, r.a);
    EXPECT_EQ(l.b, r.b);
    for (int i = 0; i < 3; ++i) {
      if (r.lines[i]) {
        EXPECT_EQ(l.y[i], r.y[i]) << "line " << i + 1 << " of " << l.present;
      }
    }
  }
  const bool none[3] = {false, false, false};
  EXPECT_EQ(ComputeTitleLayout(none, 22, 18).present, 0);
  // A primary size of 0 has no ratio to shift the third line by.
  const bool all[3] = {true, true, true};
  EXPECT_EQ(ComputeTitleLayout(all, 0, 18).y[2], 9 + 2 * 37 + 57);
}

// Rows of a picture that hold anything but black.
std::pair<int, int> InkRows(const img::Bitmap& b, int fromY, int toY) {
  int first = INT_MAX, last = -1;
  for (int y = std::max(0, fromY); y < std::min(toY, b.height()); ++y) {
    for (int x = 0; x < b.width(); ++x) {
      std::uint8_t r, g, bl;
      b.GetRgb(x, y, &r, &g, &bl);
      if (r + g + bl > 0) {
        first = std::min(first, y);
        last = y;
        break;
      }
    }
  }
  return {first, last};
}

TEST_F(ImgUtilTest, TitleInMemoryPlacesEachLine) {
  VARIANT_BOOL c1 = 5, c2 = 5, c3 = 5;
  HBITMAP h = nullptr;
  ASSERT_EQ(util->Create3LineTitleStillInMemory(B("Holiday").Get(), B("Summer 2026").Get(), B("Lake Garda").Get(),
                                                 B("Times New Roman").Get(), 0, 22, 18, VARIANT_TRUE, &c1, &c2, &c3,
                                                 &h),
            S_OK)
      << Err();
  EXPECT_TRUE(c1 == VARIANT_FALSE && c2 == VARIANT_FALSE && c3 == VARIANT_FALSE);
  const img::Bitmap* b = img::BitmapFromHandle(h);
  ASSERT_NE(b, nullptr);
  ASSERT_EQ(b->width(), 352);
  ASSERT_EQ(b->height(), 240);
  // Each line's ink starts below its top and ends within its band.
  const int tops[3] = {56, 99, 137}, heights[3] = {29, 24, 24};
  for (int i = 0; i < 3; ++i) {
    auto [first, last] = InkRows(*b, tops[i], tops[i] + heights[i] + 6);
    EXPECT_GE(first, tops[i]) << "line " << i + 1;
    EXPECT_LE(first, tops[i] + heights[i] / 2) << "line " << i + 1;
  }
  auto [above, unused] = InkRows(*b, 0, 56);
  EXPECT_EQ(above, INT_MAX);
  EXPECT_EQ(DeleteObject(h), 1);
}

TEST_F(ImgUtilTest, TitleEdgeCases) {
  VARIANT_BOOL c1, c2, c3;
  HBITMAP h = nullptr;
  // No lines: plain black, nothing clipped; PAL height 280.
  ASSERT_EQ(util->Create3LineTitleStillInMemory(B("").Get(), B("").Get(), B("").Get(), B("Arial").Get(), -5, 22, 18,
                                                 VARIANT_FALSE, &c1, &c2, &c3, &h),
            S_OK);
  const img::Bitmap* b = img::BitmapFromHandle(h);
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(b->height(), 280);
  EXPECT_EQ(InkRows(*b, 0, 280).second, -1);
  EXPECT_TRUE(c1 == VARIANT_FALSE && c2 == VARIANT_FALSE && c3 == VARIANT_FALSE);
  DeleteObject(h);
  // Only line 3, in the secondary size at b + 49; a long line 1 is clipped but drawn.
  ASSERT_EQ(util->Create3LineTitleStillInMemory(B("").Get(), B("").Get(), B("Third").Get(), B("Arial").Get(), 0, 22,
                                                 18, VARIANT_TRUE, &c1, &c2, &c3, &h),
            S_OK);
  EXPECT_GE(InkRows(*img::BitmapFromHandle(h), 0, 240).first, 100);
  DeleteObject(h);
  ASSERT_EQ(util->Create3LineTitleStillInMemory(B("A title far too long to fit the safe area").Get(), B("").Get(),
                                                 B("").Get(), B("Arial").Get(), 0, 22, 18, VARIANT_TRUE, &c1, &c2, &c3,
                                                 &h),
            S_OK);
  EXPECT_EQ(c1, VARIANT_TRUE);
  EXPECT_EQ(c2, VARIANT_FALSE);
  EXPECT_GE(InkRows(*img::BitmapFromHandle(h), 0, 240).first, 98);
  DeleteObject(h);
  EXPECT_EQ(util->Create3LineTitleStillInMemory(B("x").Get(), B("").Get(), B("").Get(), B("Arial").Get(), 0, 22, 18,
                                                 VARIANT_TRUE, &c1, &c2, &c3, nullptr),
            E_FAIL);
  EXPECT_EQ(Err(), "IVEXAImgUtil::Create3LineTitleStillInMemory - hBitmap is NULL");
  // Point sizes no still can show are refused, never drawn or overflowed.
  const std::pair<LONG, LONG> sizes[] = {{-2147483647 - 1, 18}, {22, 2147483647}, {100000, 18}, {22, -1001}};
  for (auto [p, q] : sizes) {
    EXPECT_EQ(util->Create3LineTitleStillInMemory(B("One").Get(), B("Two").Get(), B("Three").Get(), B("Arial").Get(), 0,
                                                   p, q, VARIANT_TRUE, &c1, &c2, &c3, &h),
              E_FAIL)
        << p << " " << q;
    EXPECT_EQ(Err(), "IVEXAImgUtil::Create3LineTitleStillInMemory - Create3LineTitleStillHelper call error");
    EXPECT_EQ(util->Create3LineTitleStill(B("One").Get(), B("Two").Get(), B("Three").Get(), B(Path("t.jpg")).Get(),
                                          B("Arial").Get(), 0, p, q, VARIANT_TRUE),
              E_FAIL);
    EXPECT_EQ(Err(), "IVEXAImgUtil::Create3LineTitleStillInMemory - Create3LineTitleStillHelper call error");
  }
  ASSERT_EQ(util->Create3LineTitleStillInMemory(B("One").Get(), B("Two").Get(), B("Three").Get(), B("Arial").Get(), 0,
                                                 0, 1000, VARIANT_TRUE, &c1, &c2, &c3, &h),
            S_OK);
  DeleteObject(h);
}

TEST_F(ImgUtilTest, TitleFilesAndSavedHandles) {
  VEXA_REQUIRE_IMAGEMAGICK();
  struct Row {
    VARIANT_BOOL ntsc;
    const char* size;
  };
  for (Row r : {Row{VARIANT_TRUE, "JPEG 1408x960"}, Row{VARIANT_FALSE, "JPEG 1408x1120"}}) {
    ASSERT_EQ(util->Create3LineTitleStill(B("Ωμέγα Мир").Get(), B("Two").Get(), B("Three").Get(),
                                          B(Path("title.jpg")).Get(), B("Times New Roman").Get(), 0, 22, 18, r.ntsc),
              S_OK)
        << Err();
    EXPECT_EQ(Identify(Path("title.jpg")), r.size);
  }
  // Line 1 at four times its place: its ink begins at or just below y 224.
  img::Bitmap big;
  ASSERT_TRUE(img::Load(Path("title.jpg"), &big).ok());
  auto [first, last] = InkRows(big, 200, 300);
  EXPECT_GE(first, 220);  // JPEG ringing may reach a few rows above
  EXPECT_LE(first, 260);

  VARIANT_BOOL c1, c2, c3;
  HBITMAP h = nullptr;
  ASSERT_EQ(util->Create3LineTitleStillInMemory(B("Saved").Get(), B("").Get(), B("").Get(), B("Arial").Get(), 0, 22,
                                                 18, VARIANT_TRUE, &c1, &c2, &c3, &h),
            S_OK);
  ASSERT_EQ(util->SaveHBitmap(B(Path("saved.jpg")).Get(), &h, VARIANT_TRUE), S_OK) << Err();
  EXPECT_EQ(Identify(Path("saved.jpg")), "JPEG 352x240");
  ASSERT_EQ(util->SaveHBitmap(B(Path("pal.jpg")).Get(), &h, VARIANT_FALSE), S_OK);
  EXPECT_EQ(Identify(Path("pal.jpg")), "JPEG 352x280");
  DeleteObject(h);
  // A handle that is no longer (or never was) a bitmap is refused.
  EXPECT_EQ(util->SaveHBitmap(B(Path("x.jpg")).Get(), &h, VARIANT_TRUE), E_FAIL);
  EXPECT_EQ(Err(), "IVEXAImgUtil::CreateTitleStill - bmBase.ConvertFromDDB failed - -3 - Invalid parameter passed");
  EXPECT_EQ(util->Create3LineTitleStill(B("x").Get(), B("").Get(), B("").Get(), B("").Get(), B("Arial").Get(), 0, 22,
                                        18, VARIANT_TRUE),
            E_FAIL);
  EXPECT_EQ(Err(), "IVEXAImgUtil::CreateTitleStill - bmBase.Save failed - -3 - Invalid parameter passed");
}

}  // namespace
}  // namespace vexa::imgutil::testing
