#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstring>
#include <string>

#include "platform/base/Module.h"
#include "platform/base/Path.h"
#include "platform/com/Com.h"
#include "plugins/BasicBitmap.h"

namespace {

// The plug-in as the disc library binds it, in a scratch registry layer.
class BasicBitmapTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = vexa::base::MakeTempDir(vexa::base::TempDirectory(), "vexa-bitmap-");
    ASSERT_FALSE(dir_.empty());
    ::setenv("VEXA_REGISTRY_DIR", dir_.c_str(), 1);
    module_ = vexa::base::Module::Load("discpaka.dll");
    ASSERT_TRUE(module_) << module_.Error();
    newBitmap_ = module_.Function<NewBasicBitmapFn>("NewBasicBitmap");
    deleteBitmap_ = module_.Function<DeleteBasicBitmapFn>("DeleteBasicBitmap");
    ASSERT_TRUE(newBitmap_ && deleteBitmap_);
  }
  void TearDown() override { vexa::base::RemoveAll(dir_); }

  std::string dir_;
  vexa::base::Module module_;
  NewBasicBitmapFn newBitmap_ = nullptr;
  DeleteBasicBitmapFn deleteBitmap_ = nullptr;
};

std::int32_t Le32(const std::uint8_t* p) {
  std::int32_t v;
  std::memcpy(&v, p, 4);
  return v;
}

TEST_F(BasicBitmapTest, CreateDibOfAVideoCdPicture) {
  I_BasicBitmap* b = newBitmap_(352, 240, 0x00102030);
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(vexa::com::ApartmentCount(), 1);
  const std::uint8_t* header = nullptr;
  const std::uint8_t* bits = nullptr;
  ASSERT_EQ(b->CreateDIB(&header, &bits), 253440);
  ASSERT_NE(header, nullptr);
  ASSERT_NE(bits, nullptr);
  EXPECT_EQ(Le32(header), 40);
  EXPECT_EQ(Le32(header + 4), 352);
  EXPECT_EQ(std::abs(Le32(header + 8)), 240);
  EXPECT_EQ(header[14], 24);
  // COLORREF 0x00BBGGRR; the bits hold blue, green, red in every pixel.
  EXPECT_EQ(bits[0], 0x10);
  EXPECT_EQ(bits[1], 0x20);
  EXPECT_EQ(bits[2], 0x30);
  EXPECT_EQ(bits[253440 - 1], 0x30);

  // Empty text draws nothing and answers true; a real text changes pixels.
  const std::string before(reinterpret_cast<const char*>(bits), 253440);
  EXPECT_TRUE(b->Text(10, 10, "Arial", 20, 0, 0xFFFFFF, -1, ""));
  EXPECT_TRUE(b->Text(10, 10, "Arial", 20, 0, 0xFFFFFF, -1, nullptr));
  ASSERT_EQ(b->CreateDIB(&header, &bits), 253440);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(bits), 253440), before);
  EXPECT_TRUE(b->Text(10, 10, "Arial", 20, 0, 0xFFFFFF, -1, "Menu"));
  ASSERT_EQ(b->CreateDIB(&header, &bits), 253440);
  EXPECT_NE(std::string(reinterpret_cast<const char*>(bits), 253440), before);

  // A missing picture file fails every fitting operation; the object stays usable.
  const std::string missing = dir_ + "/missing.jpg";
  EXPECT_FALSE(b->FitImageFile(0, 0, 100, 100, missing.c_str(), 0));
  EXPECT_FALSE(b->FitImageFileWithBorder(0, 0, 100, 100, missing.c_str(), 0));
  EXPECT_FALSE(b->StretchImageFile(0, 0, 100, 100, missing.c_str()));
  const std::string bmp = dir_ + "/pic.bmp";
  EXPECT_TRUE(b->WriteBMP(bmp.c_str()));
  EXPECT_TRUE(b->FitImageFile(0, 0, 100, 50, bmp.c_str(), 0xFF));
  EXPECT_TRUE(b->StretchImageFile(0, 0, 10, 10, bmp.c_str()));
  EXPECT_FALSE(b->WriteBMP(""));
  deleteBitmap_(b);
  EXPECT_EQ(vexa::com::ApartmentCount(), 0);
}

TEST_F(BasicBitmapTest, UninitialisedAndRefused) {
  I_BasicBitmap* b = newBitmap_(0, 0, 0);
  ASSERT_NE(b, nullptr);  // returned without a picture
  const std::uint8_t* header = nullptr;
  const std::uint8_t* bits = nullptr;
  EXPECT_EQ(b->CreateDIB(&header, &bits), 0);
  EXPECT_TRUE(b->Init(16, 8, 0));
  EXPECT_EQ(b->CreateDIB(&header, &bits), 16 * 3 * 8);
  EXPECT_FALSE(b->Init(-1, 8, 0));
  deleteBitmap_(b);
  deleteBitmap_(nullptr);
  // A size the utility refuses gives no object.
  EXPECT_EQ(newBitmap_(10, -5, 0), nullptr);
  EXPECT_EQ(newBitmap_(10, 10, -2), nullptr);
  EXPECT_EQ(vexa::com::ApartmentCount(), 0);
}

// A picture fitted into an NTSC frame whose pixels are 10:11 keeps its
// shape on the screen: a 4:3 picture fills all 704 x 480 pixels (square
// pixels: 640 columns of them), and the shape must be a real one.
TEST_F(BasicBitmapTest, FittingFollowsThePixelShape) {
  I_BasicBitmap* picture = newBitmap_(800, 600, 0x00C0C0C0);
  ASSERT_NE(picture, nullptr);
  const std::string bmp = dir_ + "/four-three.bmp";
  ASSERT_TRUE(picture->WriteBMP(bmp.c_str()));
  deleteBitmap_(picture);

  auto paintedColumns = [&](I_BasicBitmap* b) {
    const std::uint8_t* header = nullptr;
    const std::uint8_t* bits = nullptr;
    EXPECT_GT(b->CreateDIB(&header, &bits), 0);
    const int width = Le32(header + 4), height = std::abs(Le32(header + 8));
    const std::size_t row = (static_cast<std::size_t>(width) * 3 + 3) & ~std::size_t{3};
    const std::uint8_t* middle = bits + row * static_cast<std::size_t>(height / 2);
    int columns = 0;
    for (int x = 0; x < width; ++x) columns += middle[3 * x] > 100;
    return columns;
  };
  I_BasicBitmap* b = newBitmap_(704, 480, 0);
  ASSERT_NE(b, nullptr);
  ASSERT_TRUE(b->FitImageFile(0, 0, 704, 480, bmp.c_str(), 0));
  EXPECT_EQ(paintedColumns(b), 640);
  ASSERT_TRUE(b->SetPixelAspect(10, 11));
  ASSERT_TRUE(b->Init(704, 480, 0));
  ASSERT_TRUE(b->FitImageFile(0, 0, 704, 480, bmp.c_str(), 0));
  EXPECT_EQ(paintedColumns(b), 704);
  EXPECT_FALSE(b->SetPixelAspect(0, 11));
  EXPECT_FALSE(b->SetPixelAspect(10, -1));
  deleteBitmap_(b);
}

}  // namespace
