// The helpers that no operation calls (the positioned resize and paste, the
// averaging filter), and the messages every helper gives for the step that
// failed.
#include <gtest/gtest.h>

#include "imaging/StillHelpers_p.h"
#include "imaging/tests/ImgUtilFixture.h"
#include "platform/imaging/Transform.h"

namespace vexa::imgutil::testing {
namespace {

namespace img = vexa::imaging;

img::Bitmap Solid(int w, int h, std::uint8_t r, std::uint8_t g, std::uint8_t b) {
  img::Bitmap bm;
  EXPECT_TRUE(bm.Create(w, h, 24).ok());
  EXPECT_TRUE(img::Fill(&bm, r, g, b).ok());
  return bm;
}

std::uint32_t Rgb(const img::Bitmap& bm, int x, int y) {
  std::uint8_t r, g, b;
  bm.GetRgb(x, y, &r, &g, &b);
  return r | g << 8 | b << 16;
}

TEST(StillHelperTest, PositionedResizeAndPastePlaceThePictureAndCutAtTheEdges) {
  img::Bitmap canvas = Solid(40, 30, 0, 0, 0);
  const img::Bitmap red = Solid(8, 8, 255, 0, 0);
  ASSERT_TRUE(ResizeStillHelper(red, &canvas, 5, 6, 10, 4).ok());
  EXPECT_EQ(Rgb(canvas, 5, 6), 0x0000FFu);
  EXPECT_EQ(Rgb(canvas, 14, 9), 0x0000FFu);
  EXPECT_EQ(Rgb(canvas, 15, 9), 0u);
  EXPECT_EQ(Rgb(canvas, 14, 10), 0u);
  const img::Bitmap blue = Solid(6, 6, 0, 0, 255);
  ASSERT_TRUE(PasteStillHelper(blue, &canvas, 36, -2).ok());
  EXPECT_EQ(Rgb(canvas, 39, 0), 0xFF0000u);
  EXPECT_EQ(Rgb(canvas, 39, 3), 0xFF0000u);
  EXPECT_EQ(Rgb(canvas, 35, 0), 0u);
  EXPECT_EQ(canvas.width(), 40);
}

TEST(StillHelperTest, AverageSmoothsAnEdgeAndRefusesAnEmptySize) {
  img::Bitmap bm = Solid(6, 1, 0, 0, 0);
  img::Combine(&bm, 3, 0, Solid(3, 1, 90, 90, 90));
  ASSERT_TRUE(AverageStillHelper(&bm, 3).ok());
  EXPECT_EQ(Rgb(bm, 2, 0) & 0xFF, 30u);
  EXPECT_EQ(Rgb(bm, 3, 0) & 0xFF, 60u);
  EXPECT_EQ(Rgb(bm, 5, 0) & 0xFF, 90u);
  const HelperResult r = AverageStillHelper(&bm, 0);
  EXPECT_FALSE(r.ok());
  EXPECT_EQ(r.message, "IVEXAImgUtil::AverageStillHelper - size must be a valid size");
}

TEST(StillHelperTest, EachHelperNamesTheStepThatFailed) {
  img::Bitmap out, empty;
  LONG w = 0, h = 0;
  struct Row {
    HelperResult result;
    std::string message;
  } rows[] = {
      {RotateStillHelper(empty, 90, true, &out, &w, &h),
       "IVEXAImgUtil::RotateStillHelper - bmDest.Rotate failed - -12 - Bitmap has not been allocated"},
      {ResizeStillHelper(Solid(4, 4, 1, 2, 3), true, 100000, 100000, false, std::nullopt, &out),
       "IVEXAImgUtil::ResizeStill - bmDest.Create failed - -11 - Image dimensions are too large"},
      {ResizeStillHelper(Solid(4, 4, 1, 2, 3), false, 0, 10, false, std::nullopt, &out),
       "IVEXAImgUtil::ResizeStill - bmDest.Create failed - -3 - Invalid parameter passed"},
      {ResizeStillHelper(Solid(4, 4, 1, 2, 3), &empty, 0, 0, 2, 2),
       "IVEXAImgUtil::ResizeStillHelper - bmDest.Combine failed - -12 - Bitmap has not been allocated"},
      {PasteStillHelper(empty, &out, 0, 0),
       "IVEXAImgUtil::PasteStillHelper - bmDest.Combine failed - -12 - Bitmap has not been allocated"},
      {AverageStillHelper(&empty, 2),
       "IVEXAImgUtil::AverageStillHelper - bmDest.Average failed - -12 - Bitmap has not been allocated"},
  };
  for (const Row& r : rows) {
    EXPECT_FALSE(r.result.ok());
    EXPECT_EQ(r.result.message, r.message);
  }
}

// Through the interface: a box too large for the layer is reported by the
// helper's own step, not by one generic text.
TEST_F(ImgUtilTest, ResizeStillReportsTheHelpersStep) {
  VEXA_REQUIRE_IMAGEMAGICK();
  const std::string src = Make("s.png", 40, 30);
  EXPECT_EQ(util->ResizeStill(B(src).Get(), B(Path("d.jpg")).Get(), VARIANT_TRUE, 100000, 100000, VARIANT_FALSE,
                              VARIANT_TRUE, 0, 0, 0),
            E_FAIL);
  EXPECT_EQ(Err(), "IVEXAImgUtil::ResizeStill - bmDest.Create failed - -11 - Image dimensions are too large");
  EXPECT_FALSE(base::FileExists(Path("d.jpg")));
}

}  // namespace
}  // namespace vexa::imgutil::testing
