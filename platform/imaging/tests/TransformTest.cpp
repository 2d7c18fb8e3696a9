#include <gtest/gtest.h>

#include <cstring>

#include "platform/imaging/Transform.h"
#include "platform/imaging/tests/TestSupport.h"

namespace vexa::imaging {
namespace {

using testing::kConvert;
using testing::Quote;

bool SameRgb(const Bitmap& a, int ax, int ay, const Bitmap& b, int bx, int by) {
  std::uint8_t r1, g1, b1, r2, g2, b2;
  a.GetRgb(ax, ay, &r1, &g1, &b1);
  b.GetRgb(bx, by, &r2, &g2, &b2);
  return r1 == r2 && g1 == g2 && b1 == b2;
}

TEST(TransformTest, QuarterTurnsAreExactAndClockwise) {
  VEXA_REQUIRE_TOOL(kConvert);
  testing::TempDir tmp;
  Bitmap src = testing::MakeTestPicture(64, 40);
  std::string in = tmp.Path("in.ppm");
  ASSERT_TRUE(testing::WritePpm(src, in));
  struct Row {
    int hundredths, imDegrees, w, h;
  };
  const Row rows[] = {{9000, 90, 40, 64},    {18000, 180, 64, 40}, {27000, 270, 40, 64},
                      {-9000, 270, 40, 64},  {36000, 0, 64, 40},   {45000, 90, 40, 64}};
  for (const Row& r : rows) {
    SCOPED_TRACE(r.hundredths);
    Bitmap out;
    ASSERT_TRUE(Rotate(src, r.hundredths, true, &out).ok());
    ASSERT_EQ(out.width(), r.w);
    ASSERT_EQ(out.height(), r.h);
    std::string ours = tmp.Path("ours.ppm"), ref = tmp.Path("ref.ppm");
    ASSERT_TRUE(testing::WritePpm(out, ours));
    ASSERT_EQ(testing::RunCommand(std::string(kConvert) + " " + Quote(in) + " -rotate " +
                                  std::to_string(r.imDegrees) + " " + Quote(ref)),
              0);
    EXPECT_EQ(testing::RmseOf(ours, ref), 0);
  }
  // Clockwise: the top-left corner goes to the top-right.
  Bitmap turned;
  ASSERT_TRUE(Rotate(src, 9000, true, &turned).ok());
  EXPECT_TRUE(SameRgb(src, 0, 0, turned, 39, 0));
  EXPECT_TRUE(SameRgb(src, 63, 0, turned, 39, 63));
}

TEST(TransformTest, QuarterTurnWithoutEnlargingKeepsTheCanvas) {
  Bitmap src = testing::MakeTestPicture(640, 480);
  Bitmap out;
  ASSERT_TRUE(Rotate(src, 9000, false, &out).ok());
  ASSERT_EQ(out.width(), 640);
  ASSERT_EQ(out.height(), 480);
  // The turned 480 x 640 picture sits at x 80, its top and bottom 80 rows cut.
  std::uint8_t r, g, b;
  out.GetRgb(79, 240, &r, &g, &b);
  EXPECT_EQ(r + g + b, 0);
  out.GetRgb(560, 240, &r, &g, &b);
  EXPECT_EQ(r + g + b, 0);
  EXPECT_TRUE(SameRgb(src, 80, 479, out, 80, 0));
}

TEST(TransformTest, AnyAngleEnlargesAndFillsBlack) {
  VEXA_REQUIRE_TOOL(kConvert);
  testing::TempDir tmp;
  Bitmap src = testing::MakeTestPicture(200, 100);
  std::string in = tmp.Path("in.ppm");
  ASSERT_TRUE(testing::WritePpm(src, in));
  Bitmap out;
  ASSERT_TRUE(Rotate(src, 3000, true, &out).ok());
  // 200 cos 30 + 100 sin 30 = 223.2; 200 sin 30 + 100 cos 30 = 186.6
  EXPECT_EQ(out.width(), 224);
  EXPECT_EQ(out.height(), 187);
  std::uint8_t r, g, b;
  out.GetRgb(0, 0, &r, &g, &b);
  EXPECT_EQ(r + g + b, 0);
  out.GetRgb(out.width() - 1, out.height() - 1, &r, &g, &b);
  EXPECT_EQ(r + g + b, 0);
  // ImageMagick turns the same way; compare on its canvas size.
  std::string ours = tmp.Path("ours.ppm"), ref = tmp.Path("ref.ppm");
  ASSERT_EQ(testing::RunCommand(std::string(kConvert) + " " + Quote(in) +
                                " -background black -rotate 30 -gravity center -extent 224x187 " + Quote(ref)),
            0);
  ASSERT_TRUE(testing::WritePpm(out, ours));
  double rmse = testing::RmseOf(ours, ref);
  EXPECT_GE(rmse, 0);
  EXPECT_LE(rmse, 0.05);  // its three-shear turn and ours differ at the sharp grid edges

  Bitmap same;
  ASSERT_TRUE(Rotate(src, 3000, false, &same).ok());
  EXPECT_EQ(same.width(), 200);
  EXPECT_EQ(same.height(), 100);
}

TEST(TransformTest, CopyRectBounds) {
  Bitmap src = testing::MakeTestPicture(704, 480);
  struct Row {
    int x, y, w, h;
    bool ok;
  };
  const Row rows[] = {{0, 105, 703, 250, true}, {0, 0, 704, 480, true}, {703, 479, 1, 1, true},
                      {1, 0, 704, 480, false},  {0, 0, 0, 5, false},    {-1, 0, 5, 5, false},
                      {0, 476, 5, 5, false},    {0x7FFFFFF0, 0, 100, 1, false}};
  for (const Row& r : rows) {
    Bitmap out;
    Status s = CopyRect(src, r.x, r.y, r.w, r.h, &out);
    EXPECT_EQ(s.ok(), r.ok) << r.x << "," << r.y << " " << r.w << "x" << r.h;
    if (r.ok) {
      ASSERT_EQ(out.width(), r.w);
      ASSERT_EQ(out.height(), r.h);
      EXPECT_TRUE(SameRgb(src, r.x, r.y, out, 0, 0));
      EXPECT_TRUE(SameRgb(src, r.x + r.w - 1, r.y + r.h - 1, out, r.w - 1, r.h - 1));
    }
  }
}

TEST(TransformTest, CombineCutsAtEveryEdge) {
  Bitmap pic = testing::MakeTestPicture(30, 20);
  struct Row {
    int x, y;
  };
  const Row rows[] = {{0, 0}, {-12, 0}, {0, -12}, {45, 30}, {-40, 0}, {60, 0}, {-5, -5}};
  for (const Row& r : rows) {
    Bitmap canvas;
    ASSERT_TRUE(canvas.Create(50, 40, 24).ok());
    ASSERT_TRUE(Fill(&canvas, 1, 2, 3).ok());
    ASSERT_TRUE(Combine(&canvas, r.x, r.y, pic).ok());
    for (int y = 0; y < 40; ++y) {
      for (int x = 0; x < 50; ++x) {
        bool inside = x >= r.x && x < r.x + 30 && y >= r.y && y < r.y + 20;
        std::uint8_t cr, cg, cb;
        canvas.GetRgb(x, y, &cr, &cg, &cb);
        if (inside) {
          ASSERT_TRUE(SameRgb(canvas, x, y, pic, x - r.x, y - r.y)) << r.x << "," << r.y;
        } else {
          ASSERT_TRUE(cr == 1 && cg == 2 && cb == 3) << r.x << "," << r.y << " at " << x << "," << y;
        }
      }
    }
  }
  // A palette picture onto a 32-bit canvas.
  Bitmap canvas32;
  ASSERT_TRUE(canvas32.Create(8, 8, 32).ok());
  Bitmap pal = testing::MakeTestPicture(4, 4, 8);
  ASSERT_TRUE(Combine(&canvas32, 2, 2, pal).ok());
  EXPECT_TRUE(SameRgb(canvas32, 3, 3, pal, 1, 1));
  EXPECT_EQ(canvas32.row(3)[3 * 4 + 3], 255);
}

}  // namespace
}  // namespace vexa::imaging

namespace vexa::imaging {
namespace {

TEST(TransformTest, FitIntoBoxNeverOverflows) {
  struct Row {
    int w, h, bw, bh;
    bool up;
    int fw, fh, x, y;
  };
  const Row rows[] = {
      {1600, 1200, 352, 240, false, 320, 240, 16, 0},  // fits by height, not by orientation
      {100, 80, 160, 160, false, 100, 80, 30, 40},
      {100, 80, 160, 160, true, 160, 128, 0, 16},
      {640, 480, 160, 160, false, 160, 120, 0, 20},
      {100, 50, 160, 160, false, 100, 50, 30, 55},
      {6000, 4000, 640, 640, false, 640, 426, 0, 107},
      {4000, 6000, 160, 160, false, 106, 160, 27, 0},
      {3, 3000, 160, 160, false, 1, 160, 79, 0},
      {352, 240, 352, 240, false, 352, 240, 0, 0},
      {1, 1, 7, 5, true, 5, 5, 1, 0},
  };
  for (const Row& r : rows) {
    BoxFit f = FitIntoBox(r.w, r.h, r.bw, r.bh, r.up);
    EXPECT_EQ(f.width, r.fw) << r.w << "x" << r.h << " in " << r.bw << "x" << r.bh;
    EXPECT_EQ(f.height, r.fh) << r.w << "x" << r.h << " in " << r.bw << "x" << r.bh;
    EXPECT_EQ(f.x, r.x);
    EXPECT_EQ(f.y, r.y);
  }
  // Every size into every box of a range: inside the box, one side touching.
  for (int w = 1; w < 60; w += 7) {
    for (int h = 1; h < 60; h += 5) {
      for (int bw = 1; bw < 40; bw += 3) {
        for (int bh = 1; bh < 40; bh += 4) {
          BoxFit f = FitIntoBox(w, h, bw, bh, true);
          ASSERT_TRUE(f.width <= bw && f.height <= bh && f.width >= 1 && f.height >= 1);
          ASSERT_TRUE(f.width == bw || f.height == bh);
        }
      }
    }
  }
}

TEST(TransformTest, ResizeIntoBoxWithAndWithoutMatte) {
  Bitmap src = testing::MakeTestPicture(1600, 1200);
  Bitmap plain, matted;
  ASSERT_TRUE(ResizeIntoBox(src, 352, 240, false, std::nullopt, &plain).ok());
  EXPECT_EQ(plain.width(), 320);
  EXPECT_EQ(plain.height(), 240);
  ASSERT_TRUE(ResizeIntoBox(src, 352, 240, false, 0x00FF0000u, &matted).ok());  // blue matte
  ASSERT_EQ(matted.width(), 352);
  ASSERT_EQ(matted.height(), 240);
  std::uint8_t r, g, b;
  matted.GetRgb(15, 120, &r, &g, &b);
  EXPECT_TRUE(r == 0 && g == 0 && b == 255);
  matted.GetRgb(336, 120, &r, &g, &b);
  EXPECT_TRUE(r == 0 && g == 0 && b == 255);
  EXPECT_TRUE(SameRgb(matted, 16, 0, plain, 0, 0));
}

}  // namespace
}  // namespace vexa::imaging

namespace vexa::imaging {
namespace {

// The averaging filter against a direct sum over each window, edges
// repeated, for odd, even, one-pixel and larger-than-the-picture windows.
TEST(TransformTest, AverageMatchesADirectSumOverEachWindow) {
  Bitmap src = testing::MakeTestPicture(13, 7);
  for (int size : {1, 2, 3, 4, 9, 31}) {
    SCOPED_TRACE(size);
    Bitmap out;
    ASSERT_TRUE(Average(src, size, &out).ok());
    ASSERT_EQ(out.width(), 13);
    ASSERT_EQ(out.height(), 7);
    const int before = (size - 1) / 2, after = size / 2, n = src.bytesPerPixel();
    for (int y = 0; y < 7; ++y) {
      for (int x = 0; x < 13; ++x) {
        for (int ch = 0; ch < n; ++ch) {
          long sum = 0;
          for (int dy = -before; dy <= after; ++dy) {
            for (int dx = -before; dx <= after; ++dx) {
              sum += src.row(std::clamp(y + dy, 0, 6))[std::clamp(x + dx, 0, 12) * n + ch];
            }
          }
          const long area = static_cast<long>(size) * size;
          ASSERT_EQ(out.row(y)[x * n + ch], (sum + area / 2) / area) << x << "," << y;
        }
      }
    }
  }
  Bitmap out;
  EXPECT_EQ(Average(src, 0, &out).code(), ErrorCode::kInvalidParameter);
  EXPECT_EQ(Average(Bitmap(), 3, &out).code(), ErrorCode::kEmptyBitmap);
}

}  // namespace
}  // namespace vexa::imaging
