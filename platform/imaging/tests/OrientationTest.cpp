// Photos the camera stored turned or mirrored: the EXIF (JPEG) and TIFF
// Orientation tag is applied when the picture is decoded. Fixtures are made
// by ImageMagick with four coloured corners and tagged by exiftool;
// ImageMagick's -auto-orient is the independent reference.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <span>
#include <random>
#include <string>

#include "platform/base/Path.h"
#include "platform/imaging/Codec.h"
#include "platform/imaging/Transform.h"
#include "platform/imaging/tests/TestSupport.h"

namespace vexa::imaging {
namespace {

using testing::kConvert;
using testing::Quote;
using testing::RunCommand;

constexpr const char* kExiftool = "/usr/bin/exiftool";

// The stored picture: 48 x 32, grey, with a 16 x 16 block of its own colour
// in each corner.
enum Corner { kTopLeft, kTopRight, kBottomLeft, kBottomRight };
struct Rgb {
  int r, g, b;
};
constexpr Rgb kCornerColour[] = {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {255, 255, 0}};
constexpr const char* kCornerName[] = {"red", "lime", "blue", "yellow"};

class OrientationTest : public ::testing::Test {
 protected:
  testing::TempDir tmp;

  // The stored picture in `name` (its extension picks the format), tagged
  // with `orientation` (none for 0).
  std::string MakeTagged(const std::string& name, int orientation, const std::string& extra = "") {
    const std::string path = tmp.Path(name);
    const std::string draw = " -fill red -draw 'rectangle 0,0 15,15' -fill lime -draw 'rectangle 32,0 47,15'"
                             " -fill blue -draw 'rectangle 0,16 15,31' -fill yellow -draw 'rectangle 32,16 47,31' ";
    EXPECT_EQ(RunCommand(std::string(kConvert) + " -size 48x32 xc:'rgb(128,128,128)'" + draw + extra + " " +
                         Quote(path)),
              0);
    if (orientation != 0) {
      EXPECT_EQ(RunCommand(std::string(kExiftool) + " -q -overwrite_original -Orientation#=" +
                           std::to_string(orientation) + " " + Quote(path)),
                0);
    }
    return path;
  }
};

// Which stored corner each corner of the upright picture shows, for every
// orientation, from the tag's definition (row 0 / column 0 placement).
struct OrientationCase {
  int orientation;
  Corner topLeft, topRight, bottomLeft, bottomRight;
};
constexpr OrientationCase kCases[] = {
    {1, kTopLeft, kTopRight, kBottomLeft, kBottomRight},     // as stored
    {2, kTopRight, kTopLeft, kBottomRight, kBottomLeft},     // mirrored left to right
    {3, kBottomRight, kBottomLeft, kTopRight, kTopLeft},     // upside down
    {4, kBottomLeft, kBottomRight, kTopLeft, kTopRight},     // mirrored top to bottom
    {5, kTopLeft, kBottomLeft, kTopRight, kBottomRight},     // transposed
    {6, kBottomLeft, kTopLeft, kBottomRight, kTopRight},     // a quarter turn clockwise
    {7, kBottomRight, kTopRight, kBottomLeft, kTopLeft},     // transversed
    {8, kTopRight, kBottomRight, kTopLeft, kBottomLeft},     // a quarter turn anticlockwise
};

void ExpectColourNear(const Bitmap& b, int x, int y, Corner expected, const std::string& where) {
  std::uint8_t r = 0, g = 0, bl = 0;
  b.GetRgb(x, y, &r, &g, &bl);
  const Rgb want = kCornerColour[expected];
  const int tolerance = 40;  // JPEG's chroma subsampling at a block edge
  EXPECT_TRUE(std::abs(r - want.r) <= tolerance && std::abs(g - want.g) <= tolerance &&
              std::abs(bl - want.b) <= tolerance)
      << where << ": (" << int(r) << "," << int(g) << "," << int(bl) << ") is not " << kCornerName[expected];
}

// Every orientation in JPEG (EXIF) and TIFF: the info gives the upright
// size, the decode the upright corners, and the whole picture matches
// ImageMagick's own upright reading of the file.
TEST_F(OrientationTest, EveryOrientationDecodesUpright) {
  VEXA_REQUIRE_TOOL(kConvert);
  VEXA_REQUIRE_TOOL(kExiftool);
  for (const char* extension : {".jpg", ".tif"}) {
    for (const OrientationCase& c : kCases) {
      const std::string where = std::string(extension) + " orientation " + std::to_string(c.orientation);
      SCOPED_TRACE(where);
      const std::string path = MakeTagged("o" + std::to_string(c.orientation) + extension, c.orientation);
      const bool turned = c.orientation >= 5;
      ImageInfo info;
      ASSERT_TRUE(ReadInfo(path, &info).ok());
      EXPECT_EQ(info.orientation, c.orientation);
      EXPECT_EQ(info.width, turned ? 32 : 48);
      EXPECT_EQ(info.height, turned ? 48 : 32);
      Bitmap b;
      ASSERT_TRUE(Load(path, &b).ok());
      ASSERT_EQ(b.width(), info.width);
      ASSERT_EQ(b.height(), info.height);
      const int right = b.width() - 5, bottom = b.height() - 5;
      ExpectColourNear(b, 4, 4, c.topLeft, "top left");
      ExpectColourNear(b, right, 4, c.topRight, "top right");
      ExpectColourNear(b, 4, bottom, c.bottomLeft, "bottom left");
      ExpectColourNear(b, right, bottom, c.bottomRight, "bottom right");

      const std::string ours = tmp.Path("ours.ppm"), theirs = tmp.Path("theirs.ppm");
      ASSERT_TRUE(testing::WritePpm(b, ours));
      ASSERT_EQ(RunCommand(std::string(kConvert) + " " + Quote(path) + " -auto-orient " + Quote(theirs)), 0);
      EXPECT_LE(testing::RmseOf(ours, theirs), 0.02);
    }
  }
}

// A grey JPEG decodes to 8 bits with its palette, turned like any other.
TEST_F(OrientationTest, GreyJpegKeepsItsDepthWhenTurned) {
  VEXA_REQUIRE_TOOL(kConvert);
  VEXA_REQUIRE_TOOL(kExiftool);
  const std::string path = MakeTagged("grey.jpg", 8, "-colorspace Gray -type Grayscale");
  Bitmap b;
  ASSERT_TRUE(Load(path, &b).ok());
  EXPECT_EQ(b.bitsPerPixel(), 8);
  EXPECT_EQ(b.palette().size(), 256u);
  ASSERT_EQ(b.width(), 32);
  ASSERT_EQ(b.height(), 48);
  const std::string ours = tmp.Path("ours.ppm"), theirs = tmp.Path("theirs.ppm");
  ASSERT_TRUE(testing::WritePpm(b, ours));
  ASSERT_EQ(RunCommand(std::string(kConvert) + " " + Quote(path) + " -auto-orient " + Quote(theirs)), 0);
  EXPECT_LE(testing::RmseOf(ours, theirs), 0.02);
}

// The minimum size a caller asks for is the upright picture's: a JPEG
// stored on its side is scaled in the DCT domain so that the upright
// picture still covers it, and no further.
TEST_F(OrientationTest, MinimumSizeIsTheUprightPictures) {
  VEXA_REQUIRE_TOOL(kConvert);
  VEXA_REQUIRE_TOOL(kExiftool);
  const std::string path = MakeTagged("side.jpg", 6);  // stored 48 x 32, upright 32 x 48
  struct Row {
    int minWidth, minHeight, width, height;
  } rows[] = {
      {32, 8, 32, 48},   // the upright width needs the full size
      {16, 24, 16, 24},  // half the size covers both
      {4, 6, 4, 6},      // an eighth
      {5, 6, 8, 12},     // a quarter: an eighth is one pixel too narrow
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(std::to_string(r.minWidth) + " x " + std::to_string(r.minHeight));
    Bitmap b;
    ASSERT_TRUE(Load(path, &b, {r.minWidth, r.minHeight}).ok());
    EXPECT_EQ(b.width(), r.width);
    EXPECT_EQ(b.height(), r.height);
  }
}

// A tag that names no orientation, or an EXIF block cut short, leaves the
// picture as stored.
TEST_F(OrientationTest, TagsThatNameNoOrientationAreIgnored) {
  VEXA_REQUIRE_TOOL(kConvert);
  VEXA_REQUIRE_TOOL(kExiftool);
  for (int value : {0, 9, 65535}) {
    SCOPED_TRACE(value);
    const std::string path = tmp.Path("bad" + std::to_string(value) + ".jpg");
    ASSERT_EQ(RunCommand("cp " + Quote(MakeTagged("plain.jpg", 0)) + " " + Quote(path) + " && " + kExiftool +
                         " -q -overwrite_original -Orientation#=" + std::to_string(value) + " " + Quote(path)),
              0);
    ImageInfo info;
    ASSERT_TRUE(ReadInfo(path, &info).ok());
    EXPECT_EQ(info.orientation, 1);
    EXPECT_EQ(info.width, 48);
    Bitmap b;
    ASSERT_TRUE(Load(path, &b).ok());
    ExpectColourNear(b, 4, 4, kTopLeft, "top left");
  }
  // An EXIF segment whose directory lies beyond its end.
  const std::string plain = MakeTagged("plain.jpg", 0);
  std::string bytes;
  ASSERT_TRUE(base::ReadFile(plain, &bytes));
  const std::string app1("\xFF\xE1\x00\x10" "Exif\0\0" "MM\x00\x2A\x00\x00\xFF\xF0", 18);
  bytes.insert(2, app1);
  ASSERT_TRUE(base::WriteFileAtomic(plain, bytes));
  Bitmap b;
  ASSERT_TRUE(Load(plain, &b).ok());
  EXPECT_EQ(b.width(), 48);
  ExpectColourNear(b, 4, 4, kTopLeft, "top left");
}

// Damaged EXIF segments (bytes of the head changed at random, segment
// lengths included) never crash the reader; whatever it makes of the tag,
// the info and the decode agree on the picture's size.
TEST_F(OrientationTest, DamagedExifSegmentsNeverCrashTheReader) {
  VEXA_REQUIRE_TOOL(kConvert);
  VEXA_REQUIRE_TOOL(kExiftool);
  std::string tagged;
  ASSERT_TRUE(base::ReadFile(MakeTagged("tagged.jpg", 6), &tagged));
  const std::size_t head = std::min<std::size_t>(tagged.size(), 256);
  std::mt19937 random(6);
  for (int round = 0; round < 300; ++round) {
    std::string bytes = tagged;
    for (int k = 0; k < 4; ++k) bytes[2 + random() % (head - 2)] = static_cast<char>(random());
    const std::span<const std::uint8_t> data(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
    ImageInfo info;
    Bitmap b;
    const bool known = ReadInfoFromMemory(data, &info).ok();
    if (LoadFromMemory(data, &b).ok() && known) {
      EXPECT_EQ(b.width(), info.width) << "round " << round;
      EXPECT_EQ(b.height(), info.height) << "round " << round;
    }
  }
}

// Orient moves every pixel exactly, at every depth, across the tiles it
// works in: each orientation followed by its inverse gives the picture back.
TEST(OrientTest, EachOrientationUndoneByItsInverseGivesThePictureBack) {
  constexpr int kInverse[] = {0, 1, 2, 3, 4, 5, 8, 7, 6};
  std::mt19937 random(20261211);
  for (int bits : {8, 24, 32}) {
    Bitmap picture;
    ASSERT_TRUE(picture.Create(131, 70, bits).ok());
    for (int y = 0; y < picture.height(); ++y) {
      for (std::size_t i = 0; i < static_cast<std::size_t>(picture.width() * picture.bytesPerPixel()); ++i) {
        picture.row(y)[i] = static_cast<std::uint8_t>(random());
      }
    }
    picture.set_format(kFormatJpeg);
    for (int o = 1; o <= 8; ++o) {
      SCOPED_TRACE("bits " + std::to_string(bits) + " orientation " + std::to_string(o));
      Bitmap turned, back;
      ASSERT_TRUE(Orient(picture, o, &turned).ok());
      EXPECT_EQ(turned.width(), o >= 5 ? 70 : 131);
      EXPECT_EQ(turned.bitsPerPixel(), bits);
      EXPECT_EQ(turned.format(), kFormatJpeg);
      EXPECT_EQ(turned.palette(), picture.palette());
      ASSERT_TRUE(Orient(turned, kInverse[o], &back).ok());
      ASSERT_EQ(back.width(), picture.width());
      bool same = true;
      for (int y = 0; y < picture.height() && same; ++y) {
        same = std::equal(back.row(y), back.row(y) + picture.width() * picture.bytesPerPixel(), picture.row(y));
      }
      EXPECT_TRUE(same);
    }
  }
}

}  // namespace
}  // namespace vexa::imaging
