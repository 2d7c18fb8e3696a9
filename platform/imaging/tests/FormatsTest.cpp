#include <gtest/gtest.h>

#include <set>

#include "platform/imaging/Formats.h"

namespace vexa::imaging {
namespace {

TEST(FormatsTest, FamiliesOverTheWholeRange) {
  struct Row {
    FormatFamily family;
    std::set<int> members;
  };
  const Row rows[] = {
      {FormatFamily::kBmp, {6, 9, 84}},
      {FormatFamily::kJpg, {10, 21, 23, 98, 101, 127, 128}},
      {FormatFamily::kTif, {3, 4, 11, 17, 22, 24, 25, 27, 28, 29, 85, 86, 87, 88, 93, 94, 95, 96, 97, 138, 139,
                            140, 141}},
      {FormatFamily::kCmp, {5, 65}},
      {FormatFamily::kGif, {2, 14}},
      {FormatFamily::kPng, {75}},
      {FormatFamily::kPct, {56}},
      {FormatFamily::kPcd, {57}},
  };
  for (const Row& r : rows) {
    for (int code = -2; code <= 248; ++code) {
      EXPECT_EQ(IsInFamily(code, r.family), r.members.count(code) == 1) << "code " << code;
    }
  }
  EXPECT_TRUE(IsValidFormat(0));
  EXPECT_TRUE(IsValidFormat(246));
  EXPECT_FALSE(IsValidFormat(247));
  EXPECT_FALSE(IsValidFormat(-1));
}

TEST(FormatsTest, CodesTheReadersReportBelongToTheirFamilies) {
  EXPECT_TRUE(IsInFamily(kFormatJpeg, FormatFamily::kJpg));
  EXPECT_TRUE(IsInFamily(kFormatBmp, FormatFamily::kBmp));
  EXPECT_TRUE(IsInFamily(kFormatBmpOs2, FormatFamily::kBmp));
  EXPECT_TRUE(IsInFamily(kFormatTiff, FormatFamily::kTif));
  EXPECT_TRUE(IsInFamily(kFormatGif, FormatFamily::kGif));
  EXPECT_TRUE(IsInFamily(kFormatPng, FormatFamily::kPng));
  EXPECT_TRUE(IsInFamily(kFormatPict, FormatFamily::kPct));
  EXPECT_TRUE(IsInFamily(kFormatPcd, FormatFamily::kPcd));
  EXPECT_EQ(kFormatJpeg, 101);
}

TEST(FormatsTest, QualityFactor) {
  EXPECT_EQ(JpegQualityFromFactor(10), kJpegQualityForDefaultFactor);
  EXPECT_EQ(JpegQualityFromFactor(-1), kJpegQualityForDefaultFactor);
  EXPECT_EQ(JpegQualityFromFactor(256), kJpegQualityForDefaultFactor);
  EXPECT_EQ(JpegQualityFromFactor(0), 100);
  EXPECT_EQ(JpegQualityFromFactor(255), 1);
}

}  // namespace
}  // namespace vexa::imaging

#include "platform/imaging/BitmapHandle.h"

namespace vexa::imaging {
namespace {

TEST(BitmapHandleTest, LiveHandlesOnly) {
  Bitmap b;
  ASSERT_TRUE(b.Create(3, 2, 24).ok());
  HBITMAP h = CreateBitmapHandle(std::move(b));
  ASSERT_NE(h, nullptr);
  const Bitmap* got = BitmapFromHandle(h);
  ASSERT_NE(got, nullptr);
  EXPECT_EQ(got->width(), 3);
  int local = 0;
  EXPECT_EQ(BitmapFromHandle(reinterpret_cast<HBITMAP>(&local)), nullptr);
  EXPECT_EQ(BitmapFromHandle(nullptr), nullptr);
  EXPECT_EQ(DeleteObject(h), 1);
  EXPECT_EQ(BitmapFromHandle(h), nullptr);
  EXPECT_EQ(DeleteObject(h), 0);
  EXPECT_EQ(CreateBitmapHandle(Bitmap()), nullptr);
}

}  // namespace
}  // namespace vexa::imaging
