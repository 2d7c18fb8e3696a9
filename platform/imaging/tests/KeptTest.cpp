// Pictures kept for the files they were written to, the decode observer,
// comments put into a JPEG's head, and bitmaps allocated without clearing.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <map>
#include <mutex>
#include <string>

#include "platform/base/Path.h"
#include "platform/imaging/Codec.h"
#include "platform/imaging/Resample.h"
#include "platform/imaging/tests/TestSupport.h"

namespace vexa::imaging {
namespace {

using testing::MakeTestPicture;
using testing::Quote;
using testing::RunCommand;

bool SamePixels(const Bitmap& a, const Bitmap& b) {
  if (a.width() != b.width() || a.height() != b.height() || a.bitsPerPixel() != b.bitsPerPixel()) return false;
  for (int y = 0; y < a.height(); ++y) {
    if (std::memcmp(a.row(y), b.row(y), static_cast<std::size_t>(a.width()) * a.bytesPerPixel()) != 0) return false;
  }
  return true;
}

class KeptTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SetDecodeObserver([this](std::string_view name, int, int) {
      std::lock_guard lock(mutex_);
      ++decodes_[std::string(name)];
    });
  }
  void TearDown() override {
    SetDecodeObserver(nullptr);
    ForgetKeptPictures();
    SetKeptPictureBudget(std::size_t{64} << 20);
  }
  int Decodes(const std::string& name) {
    std::lock_guard lock(mutex_);
    return decodes_[name];
  }
  // A JPEG of picture at path, and the picture reduced to the long side.
  std::string WriteJpeg(const std::string& name, const Bitmap& picture) {
    const std::string path = dir_.Path(name);
    EXPECT_TRUE(Save(path, picture, kFormatJpeg).ok());
    return path;
  }

  testing::TempDir dir_;
  std::mutex mutex_;
  std::map<std::string, int> decodes_;
};

// Load with a minimum size the kept picture covers gives it without a
// decode, under any name of the file; a larger minimum, a full-size load
// and a changed file decode the file as ever.
TEST_F(KeptTest, AKeptPictureServesLoadsItCovers) {
  const Bitmap full = MakeTestPicture(1600, 1200);
  const std::string path = WriteJpeg("album.jpg", full);
  Bitmap reduced;
  ASSERT_TRUE(Resize(full, 1024, 768, &reduced).ok());
  ASSERT_TRUE(KeepPicture(path, reduced, 1600, 1200).ok());
  const std::string link = dir_.Path("link.jpg");
  ASSERT_EQ(::link(path.c_str(), link.c_str()), 0);

  for (const std::string& name : {path, link}) {
    Bitmap got;
    ASSERT_TRUE(Load(name, &got, {704, 528}).ok());
    EXPECT_TRUE(SamePixels(got, reduced));
    EXPECT_EQ(Decodes(name), 0);
  }
  Bitmap got;
  ASSERT_TRUE(Load(path, &got, {1200, 900}).ok());  // more than was kept
  EXPECT_EQ(got.width(), 1600);
  ASSERT_TRUE(Load(path, &got).ok());  // the full size
  EXPECT_EQ(got.width(), 1600);
  EXPECT_EQ(Decodes(path), 2);

  // Written again: the file is decoded, the old picture dropped.
  ASSERT_TRUE(Save(path, MakeTestPicture(800, 600), kFormatJpeg).ok());
  ASSERT_TRUE(Load(path, &got, {100, 75}).ok());
  EXPECT_EQ(got.width(), 100);  // the file's picture at 1/8
  EXPECT_EQ(Decodes(path), 3);
}

// A picture kept at the file's own size serves any minimum, as a decode
// could give no more; past the memory budget pictures go to the temporary
// file and come back the same.
TEST_F(KeptTest, FullSizePicturesAndPicturesPastTheBudget) {
  SetKeptPictureBudget(0);
  const Bitmap small = MakeTestPicture(640, 480);
  const Bitmap other = MakeTestPicture(300, 201);
  const std::string a = WriteJpeg("a.jpg", small), b = WriteJpeg("b.jpg", other);
  ASSERT_TRUE(KeepPicture(a, small, 640, 480).ok());
  ASSERT_TRUE(KeepPicture(b, other, 300, 201).ok());
  for (int round = 0; round < 2; ++round) {
    Bitmap got;
    ASSERT_TRUE(Load(a, &got, {704, 480}).ok());
    EXPECT_TRUE(SamePixels(got, small));
    ASSERT_TRUE(Load(b, &got, {1, 1}).ok());
    EXPECT_TRUE(SamePixels(got, other));
  }
  EXPECT_EQ(Decodes(a) + Decodes(b), 0);
}

// Past the budget the pictures of files that are gone are dropped, but a
// file renamed within its folder keeps its picture under the new name.
TEST_F(KeptTest, PicturesOfRenamedFilesOutliveThePruning) {
  const Bitmap picture = MakeTestPicture(640, 480);
  const std::string ahead = WriteJpeg("AHEAD0_1.JPG", picture), gone = WriteJpeg("gone.jpg", picture);
  ASSERT_TRUE(KeepPicture(ahead, picture, 640, 480).ok());
  ASSERT_TRUE(KeepPicture(gone, picture, 640, 480).ok());
  const std::string named = dir_.Path("IM_A0001.JPG");
  ASSERT_EQ(::rename(ahead.c_str(), named.c_str()), 0);
  ASSERT_EQ(::unlink(gone.c_str()), 0);
  // Over the budget: the next picture kept prunes the store.
  SetKeptPictureBudget(picture.size());
  const std::string next = WriteJpeg("next.jpg", picture);
  ASSERT_TRUE(KeepPicture(next, picture, 640, 480).ok());
  Bitmap got;
  ASSERT_TRUE(Load(named, &got, {320, 240}).ok());
  EXPECT_TRUE(SamePixels(got, picture));
  EXPECT_EQ(Decodes(named), 0);
  // The gone file's picture was dropped: a new file that happens to take
  // its inode is decoded, never served the old picture.
  const Bitmap other = MakeTestPicture(320, 200);
  const std::string fresh = WriteJpeg("fresh.jpg", other);
  ASSERT_TRUE(Load(fresh, &got, {1, 1}).ok());
  EXPECT_EQ(Decodes(fresh), 1);
}

// A comment goes after every other segment of the head and before the
// frame header, as the album model's comment editor puts it; the picture
// is unchanged. A JPEG with comments is left to the caller.
TEST_F(KeptTest, ACommentGoesIntoTheHeadBeforeTheFrame) {
  const Bitmap picture = MakeTestPicture(64, 48);
  std::string jpeg;
  ASSERT_TRUE(Encode(picture, kFormatJpeg, kDefaultQualityFactor, &jpeg).ok());
  std::string out;
  bool added = false;
  ASSERT_TRUE(AddJpegComment(jpeg, "<record/>", &out, &added).ok());
  ASSERT_TRUE(added);
  const std::size_t sof = jpeg.find("\xFF\xC0");
  ASSERT_NE(sof, std::string::npos);
  EXPECT_EQ(out, jpeg.substr(0, sof) + std::string("\xFF\xFE\x00\x0B", 4) + "<record/>" + jpeg.substr(sof));
  Bitmap a, b;
  ASSERT_TRUE(LoadFromMemory({reinterpret_cast<const std::uint8_t*>(jpeg.data()), jpeg.size()}, &a).ok());
  ASSERT_TRUE(LoadFromMemory({reinterpret_cast<const std::uint8_t*>(out.data()), out.size()}, &b).ok());
  EXPECT_TRUE(SamePixels(a, b));

  std::string again = "unchanged";
  ASSERT_TRUE(AddJpegComment(out, "<other/>", &again, &added).ok());
  EXPECT_FALSE(added);
  EXPECT_EQ(again, "unchanged");
  EXPECT_EQ(AddJpegComment("not a jpeg", "x", &out, &added).code(), ErrorCode::kFileCorrupt);
  EXPECT_EQ(AddJpegComment(jpeg, std::string(65534, 'x'), &out, &added).code(), ErrorCode::kInvalidParameter);
}

// Allocate leaves the pixels to the caller but the padding of each row is
// zero, so that a picture written as it is holds no stray bytes.
TEST_F(KeptTest, AllocatedRowsHaveZeroPadding) {
  Bitmap b;
  ASSERT_TRUE(b.Allocate(5, 3, 24).ok());
  ASSERT_EQ(b.stride(), 16u);
  for (int y = 0; y < 3; ++y) {
    for (std::size_t x = 15; x < 16; ++x) EXPECT_EQ(b.row(y)[x], 0) << y;
  }
}

}  // namespace
}  // namespace vexa::imaging
