#include <cstring>

#include "imaging/tests/ImgUtilFixture.h"
#include "platform/imaging/Transform.h"

namespace vexa::imgutil::testing {
namespace {

using vexa::com::Bstr;
namespace img = vexa::imaging;

// The surface as a bitmap, through the native accessor.
img::Bitmap Snapshot(IVEXAImgUtil* util) {
  vexa::com::ComPtr<IVEXAImgUtilNative> native;
  img::Bitmap out;
  if (util->QueryInterface(IID_IVEXAImgUtilNative, native.PutVoid()) != S_OK) return out;
  const BYTE* header = nullptr;
  const BYTE* bits = nullptr;
  LONG bytes = 0;
  if (native->OTCreateDIBNative(&header, &bits, &bytes) != S_OK) return out;
  auto i32 = [&](int at) {
    return static_cast<std::int32_t>(header[at] | header[at + 1] << 8 | header[at + 2] << 16 |
                                     static_cast<std::uint32_t>(header[at + 3]) << 24);
  };
  const int w = i32(4), h = i32(8);
  EXPECT_TRUE(out.Create(w, h, 24).ok());
  const std::size_t row = (static_cast<std::size_t>(w) * 3 + 3) & ~std::size_t{3};
  for (int y = 0; y < h; ++y) std::memcpy(out.row(y), bits + row * (h - 1 - y), static_cast<std::size_t>(w) * 3);
  return out;
}

bool Is(const img::Bitmap& b, int x, int y, int r, int g, int bl, int tolerance = 0) {
  std::uint8_t pr, pg, pb;
  b.GetRgb(x, y, &pr, &pg, &pb);
  return std::abs(pr - r) <= tolerance && std::abs(pg - g) <= tolerance && std::abs(pb - bl) <= tolerance;
}

// A lossless picture whose every pixel tells where it came from.
std::string MakeCoded(const std::string& path, int w, int h, int format = img::kFormatBmp) {
  img::Bitmap b;
  EXPECT_TRUE(b.Create(w, h, 24).ok());
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      std::uint8_t* p = b.row(y) + 3 * x;
      p[0] = static_cast<std::uint8_t>(x);
      p[1] = static_cast<std::uint8_t>(y);
      p[2] = static_cast<std::uint8_t>(x >> 8 | (y >> 8) << 4 | 0x80);
    }
  }
  EXPECT_TRUE(img::Save(path, b, format).ok());
  return path;
}

TEST_F(ImgUtilTest, SurfaceInitChecks) {
  struct Row {
    LONG w, h, back;
    const char* message;
  };
  const Row rows[] = {{0, 10, 0, "IVEXAImgUtil::OTInit - width must be > 0"},
                      {10, -1, 0, "IVEXAImgUtil::OTInit - height must be > 0"},
                      {10, 10, -1, "IVEXAImgUtil::OTInit - backColor must be >= 0"},
                      {100000, 100000, 0, "CVEXAImgUtil::OTInit - m_OTLBitmap.Create failed - -11 - Image dimensions are too large"}};
  for (const Row& r : rows) {
    EXPECT_EQ(util->OTInit(r.w, r.h, r.back), E_FAIL);
    EXPECT_EQ(Err(), r.message);
  }
  // Drawing on an empty surface fails with the layer's error.
  EXPECT_EQ(util->OTText(0, 0, B("Arial").Get(), 12, 0, 0xFFFFFF, -1, B("x").Get()), E_FAIL);
  EXPECT_EQ(Err(), "CVEXAImgUtil::OTText - TextStillHelper call failed - -12 - Bitmap has not been allocated");
  EXPECT_EQ(util->OTWriteBMP(B(Path("e.jpg")).Get()), E_FAIL);
  EXPECT_EQ(Err(), "CVEXAImgUtil::OTWriteBMP - m_OTLBitmap.Save failed - -12 - Bitmap has not been allocated");
  VARIANT h, b;
  VariantInit(&h);
  VariantInit(&b);
  LONG bytes = 0;
  EXPECT_EQ(util->OTCreateDIB(&h, &b, &bytes), E_FAIL);
  EXPECT_EQ(h.vt, VT_EMPTY);
  Err();
  ASSERT_EQ(util->OTInit(20, 10, 0x00336699), S_OK);
  img::Bitmap s = Snapshot(util.Get());
  ASSERT_EQ(s.width(), 20);
  EXPECT_TRUE(Is(s, 0, 0, 0x99, 0x66, 0x33));
  EXPECT_TRUE(Is(s, 19, 9, 0x99, 0x66, 0x33));
}

TEST_F(ImgUtilTest, StretchKeepsAspectAndFitsTheBox) {
  std::string big = MakeCoded(Path("big.bmp"), 640, 480), small = MakeCoded(Path("small.bmp"), 100, 50);
  // A JPEG is decoded at a reduced scale; its placement follows its full size.
  std::string photo = MakeCoded(Path("photo.jpg"), 1003, 755, img::kFormatJpeg);
  struct Row {
    std::string file;
    int boxW, boxH;
    int picX, picY, picW, picH;  // where the picture lands inside the box
  };
  const Row rows[] = {
      {big, 160, 160, 0, 20, 160, 120},
      {small, 160, 160, 30, 55, 100, 50},
      {big, 333, 100, 99, 0, 134, 100},   // 133.3 rounds up, yet never past the box
      {big, 320, 240, 0, 0, 320, 240},    // both sides limit: exactly the box
      {photo, 160, 160, 0, 19, 160, 121}, // 755 x 160 / 1003 = 120.4, rounded up
  };
  for (const Row& r : rows) {
    ASSERT_EQ(util->OTInit(400, 300, 0x000000), S_OK);
    ASSERT_EQ(util->OTStretchImageFile(10, 20, r.boxW, r.boxH, B(r.file).Get(), 0x0000FF, VARIANT_TRUE), S_OK) << Err();
    img::Bitmap s = Snapshot(util.Get());
    const int bx = 10, by = 20;
    // Border inside the box, around the picture.
    if (r.picY > 0) {
      EXPECT_TRUE(Is(s, bx + r.boxW / 2, by + r.picY - 1, 255, 0, 0)) << r.file;
    }
    if (r.picX > 0) {
      EXPECT_TRUE(Is(s, bx + r.picX - 1, by + r.boxH / 2, 255, 0, 0)) << r.file;
    }
    if (r.picY + r.picH < r.boxH) {
      EXPECT_TRUE(Is(s, bx + r.boxW / 2, by + r.picY + r.picH, 255, 0, 0)) << r.file;
    }
    if (r.picX + r.picW < r.boxW) {
      EXPECT_TRUE(Is(s, bx + r.picX + r.picW, by + r.boxH / 2, 255, 0, 0)) << r.file;
    }
    // Picture pixels at its corners; outside the box the background.
    EXPECT_FALSE(Is(s, bx + r.picX, by + r.picY, 255, 0, 0, 30)) << r.file;
    EXPECT_FALSE(Is(s, bx + r.picX + r.picW - 1, by + r.picY + r.picH - 1, 255, 0, 0, 30)) << r.file;
    EXPECT_TRUE(Is(s, bx - 1, by, 0, 0, 0));
    EXPECT_TRUE(Is(s, bx + r.boxW, by + r.boxH, 0, 0, 0));
  }
  // keepAspect false stretches exactly; anything else is refused after the load.
  ASSERT_EQ(util->OTInit(200, 200, 0), S_OK);
  ASSERT_EQ(util->OTStretchImageFile(0, 0, 50, 150, B(big).Get(), -1, VARIANT_FALSE), S_OK);
  img::Bitmap s = Snapshot(util.Get());
  EXPECT_FALSE(Is(s, 49, 149, 0, 0, 0, 10));
  EXPECT_TRUE(Is(s, 50, 150, 0, 0, 0));
  EXPECT_EQ(util->OTStretchImageFile(0, 0, 50, 50, B(big).Get(), -1, 3), E_FAIL);
  EXPECT_EQ(Err(), "IVEXAImgUtil::OTStretchImageFile - You must specify a valid keepAspect parameter");
  EXPECT_EQ(util->OTStretchImageFile(0, 0, 50, 50, B(Path("none.bmp")).Get(), -1, VARIANT_TRUE), E_FAIL);
  EXPECT_EQ(Err(), "CVEXAImgUtil::OTStretchImageFile - m_OTLBitmap.Load failed - -4 - File not found: " +
                       Path("none.bmp"));
}

// The box of pixels that differ from black.
struct Painted {
  int x = -1, y = -1, w = 0, h = 0;
};
Painted PaintedBox(const img::Bitmap& b) {
  int x0 = b.width(), y0 = b.height(), x1 = -1, y1 = -1;
  for (int y = 0; y < b.height(); ++y) {
    for (int x = 0; x < b.width(); ++x) {
      if (Is(b, x, y, 0, 0, 0, 8)) continue;
      x0 = std::min(x0, x);
      y0 = std::min(y0, y);
      x1 = std::max(x1, x);
      y1 = std::max(y1, y);
    }
  }
  if (x1 < 0) return {};
  return {x0, y0, x1 - x0 + 1, y1 - y0 + 1};
}

// On a surface shown with non-square pixels (a television frame) a fitted
// picture keeps its own shape on the screen: a 4:3 picture fills a 704 x
// 480 NTSC frame (pixels 10:11) and a 704 x 576 PAL frame (12:11), a 16:9
// one shows 16:9.
TEST_F(ImgUtilTest, StretchKeepsTheShapeOnTheScreensPixels) {
  auto solid = [&](const std::string& name, int w, int h, int format) {
    img::Bitmap b;
    EXPECT_TRUE(b.Create(w, h, 24).ok());
    EXPECT_TRUE(img::Fill(&b, 200, 180, 160).ok());
    const std::string path = Path(name);
    EXPECT_TRUE(img::Save(path, b, format).ok());
    return path;
  };
  const std::string fourThree = solid("43.bmp", 1280, 960, img::kFormatBmp);
  const std::string wide = solid("169.jpg", 1600, 900, img::kFormatJpeg);
  struct Row {
    LONG aspectW, aspectH;
    std::string file;
    int boxW, boxH;
    Painted expected;
  };
  const Row rows[] = {
      {10, 11, fourThree, 704, 480, {0, 0, 704, 480}},
      {12, 11, fourThree, 704, 576, {0, 0, 704, 576}},
      {10, 11, wide, 704, 480, {0, 60, 704, 360}},   // 704 x 10/11 / 360 = 16:9
      {12, 11, wide, 704, 576, {0, 72, 704, 432}},   // 704 x 12/11 / 432 = 16:9
      {10, 11, fourThree, 130, 98, {0, 4, 130, 89}}, // a thumbnail cell: 130 x 10/11 / 89 = 4:3
      {1, 1, fourThree, 704, 480, {32, 0, 640, 480}},  // square pixels, as before
  };
  vexa::com::ComPtr<IVEXAImgUtilNative> native;
  ASSERT_EQ(util->QueryInterface(IID_IVEXAImgUtilNative, native.PutVoid()), S_OK);
  for (const Row& r : rows) {
    ASSERT_EQ(util->OTInit(r.boxW, r.boxH, 0), S_OK);
    ASSERT_EQ(native->OTSetPixelAspect(r.aspectW, r.aspectH), S_OK);
    ASSERT_EQ(util->OTStretchImageFile(0, 0, r.boxW, r.boxH, B(r.file).Get(), 0, VARIANT_TRUE), S_OK) << Err();
    const Painted p = PaintedBox(Snapshot(util.Get()));
    EXPECT_EQ(p.x, r.expected.x) << r.aspectW << ":" << r.aspectH << " " << r.file << " " << r.boxW;
    EXPECT_EQ(p.y, r.expected.y) << r.aspectW << ":" << r.aspectH << " " << r.file << " " << r.boxW;
    EXPECT_EQ(p.w, r.expected.w) << r.aspectW << ":" << r.aspectH << " " << r.file << " " << r.boxW;
    EXPECT_EQ(p.h, r.expected.h) << r.aspectW << ":" << r.aspectH << " " << r.file << " " << r.boxW;
  }
  EXPECT_EQ(native->OTSetPixelAspect(0, 11), E_FAIL);
  EXPECT_EQ(Err(), "IVEXAImgUtil::OTSetPixelAspect - width and height must be > 0");
  EXPECT_EQ(native->OTSetPixelAspect(10, -1), E_FAIL);
}

TEST_F(ImgUtilTest, ClipShowsTheCentre) {
  std::string big = MakeCoded(Path("big.bmp"), 640, 480), small = MakeCoded(Path("small.bmp"), 100, 50);
  ASSERT_EQ(util->OTInit(300, 300, 0), S_OK);
  ASSERT_EQ(util->OTClipImageFile(5, 6, 160, 160, B(big).Get(), -1), S_OK) << Err();
  img::Bitmap s = Snapshot(util.Get());
  // The box shows the source from (240, 160).
  EXPECT_TRUE(Is(s, 5, 6, 0x80, 160, 240));
  EXPECT_TRUE(Is(s, 5 + 159, 6 + 159, 0x80 | (399 >> 8) | (319 >> 8) << 4, 319 & 255, 399 & 255));
  // A smaller picture is centred on the border colour.
  ASSERT_EQ(util->OTClipImageFile(100, 100, 160, 160, B(small).Get(), 0x00FF00), S_OK);
  s = Snapshot(util.Get());
  EXPECT_TRUE(Is(s, 100, 100, 0, 255, 0));
  EXPECT_TRUE(Is(s, 100 + 30, 100 + 55, 0x80, 0, 0));
}

TEST_F(ImgUtilTest, TextOnTheSurface) {
  ASSERT_EQ(util->OTInit(200, 60, 0), S_OK);
  ASSERT_EQ(util->OTText(10, 10, B("Arial").Get(), 14, 0, 0xFFFFFF, -1, B("Menu").Get()), S_OK);
  img::Bitmap plain = Snapshot(util.Get());
  EXPECT_TRUE(Is(plain, 10, 10, 0, 0, 0));  // no box behind the text
  ASSERT_EQ(util->OTText(10, 30, B("Arial").Get(), 14, -3, 0xFFFFFF, 0x0000FF, B("Menu").Get()), S_OK);
  img::Bitmap boxed = Snapshot(util.Get());
  EXPECT_TRUE(Is(boxed, 10, 30, 255, 0, 0));
  ASSERT_EQ(util->OTText(10, 30, B("Arial").Get(), 14, 0, 0xFFFFFF, -1, B("").Get()), S_OK);
}

TEST_F(ImgUtilTest, DibBlockAndFiles) {
  ASSERT_EQ(util->OTInit(352, 240, 0x0000FF), S_OK);
  VARIANT h, b;
  VariantInit(&h);
  VariantInit(&b);
  LONG bytes = 0;
  ASSERT_EQ(util->OTCreateDIB(&h, &b, &bytes), S_OK) << Err();
  ASSERT_EQ(h.vt, VT_I4);
  ASSERT_EQ(b.vt, VT_I4);
  EXPECT_EQ(b.lVal, h.lVal + 40);
  EXPECT_EQ(bytes, 352 * 3 * 240);
  // The 32-bit values are real addresses of this process.
  const BYTE* header = reinterpret_cast<const BYTE*>(static_cast<std::uintptr_t>(static_cast<std::uint32_t>(h.lVal)));
  EXPECT_EQ(header[0], 40);
  EXPECT_EQ(header[14], 24);
  const BYTE* bits = reinterpret_cast<const BYTE*>(static_cast<std::uintptr_t>(static_cast<std::uint32_t>(b.lVal)));
  EXPECT_EQ(bits[2], 255);  // red, stored blue-green-red
  // A snapshot: later drawing leaves the block alone.
  ASSERT_EQ(util->OTInit(352, 240, 0), S_OK);
  EXPECT_EQ(bits[2], 255);
  EXPECT_EQ(util->OTWriteBMP(B("").Get()), E_FAIL);
  EXPECT_EQ(Err(), "IVEXAImgUtil::OTWriteBMP - You must specify a valid filename to save to");
  ASSERT_EQ(util->OTWriteBMP(B(Path("menu.bmp")).Get()), S_OK);
  img::ImageInfo info;
  ASSERT_TRUE(img::ReadInfo(Path("menu.bmp"), &info).ok());
  EXPECT_EQ(info.format, img::kFormatJpeg);  // the still format, whatever the name
  EXPECT_EQ(info.width, 352);
}

}  // namespace
}  // namespace vexa::imgutil::testing
