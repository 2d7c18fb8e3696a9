#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstring>
#include <fstream>
#include <sstream>

#include "platform/base/File.h"
#include "platform/base/Path.h"
#include "platform/imaging/Codec.h"
#include "platform/imaging/tests/TestSupport.h"

namespace vexa::imaging {
namespace {

using testing::kCompare;
using testing::kConvert;
using testing::Quote;
using testing::RunCommand;

std::string ReadBytes(const std::string& path) {
  std::string s;
  base::ReadFile(path, &s);
  return s;
}
void WriteBytes(const std::string& path, const std::string& data) {
  std::ofstream(path, std::ios::binary) << data;
}
std::pair<int, int> IdentifySize(const std::string& path) {
  std::string out;
  RunCommand(std::string(testing::kIdentify) + " -format '%w %h' " + Quote(path), &out);
  std::istringstream in(out);
  int w = 0, h = 0;
  in >> w >> h;
  return {w, h};
}

class CodecTest : public ::testing::Test {
 protected:
  testing::TempDir tmp;

  // A fixture made by ImageMagick from our synthetic picture.
  std::string MakeFixture(const std::string& name, const std::string& options, int w = 67, int h = 45) {
    std::string src = tmp.Path("source.ppm");
    EXPECT_TRUE(testing::WritePpm(testing::MakeTestPicture(w, h), src));
    std::string dst = tmp.Path(name);
    EXPECT_EQ(RunCommand(std::string(kConvert) + " " + Quote(src) + " " + options + dst), 0) << name;
    return dst;
  }
};

// Each reader: the info without decoding, then a decode whose pixels match
// ImageMagick's own reading of the same file.
TEST_F(CodecTest, ReadsEveryFormatLikeImageMagick) {
  VEXA_REQUIRE_TOOL(kConvert);
  struct Row {
    const char* file;
    const char* options;  // ImageMagick options ending in the output coder
    int format;
    double maxRmse;
  };
  const Row rows[] = {
      {"plain.jpg", "-quality 92 JPEG:", kFormatJpeg, 0.01},
      {"grey.jpg", "-colorspace Gray JPEG:", kFormatJpeg, 0.01},
      {"progressive.jpg", "-interlace Plane JPEG:", kFormatJpeg, 0.01},
      {"cmyk.jpg", "-colorspace CMYK JPEG:", kFormatJpeg, 0.02},
      {"v3.bmp", "BMP3:", kFormatBmp, 0},
      {"v5.bmp", "BMP:", kFormatBmp, 0},
      {"core.bmp", "BMP2:", kFormatBmpOs2, 0},
      {"palette8.bmp", "-colors 200 -type Palette BMP3:", kFormatBmp, 0},
      // ImageMagick reads a 4-bit BMP's palette at 4 bits per channel.
      {"palette4.bmp", "-colors 16 -type Palette BMP3:", kFormatBmp, 0.05},
      {"mono.bmp", "-monochrome BMP3:", kFormatBmp, 0},
      {"rle8.bmp", "-colors 200 -type Palette -compress RLE BMP3:", kFormatBmp, 0},
      {"rgb565.bmp", "-define bmp:subtype=RGB565 BMP:", kFormatBmp, 0.01},
      {"plain.tif", "TIFF:", kFormatTiff, 0},
      {"lzw.tif", "-compress LZW TIFF:", kFormatTiff, 0},
      // The TIFF reader reads a strip or a row of tiles at a time.
      {"strips7.tif", "-define tiff:rows-per-strip=7 -compress LZW TIFF:", kFormatTiff, 0},
      {"tiles.tif", "-define tiff:tile-geometry=16x16 -compress LZW TIFF:", kFormatTiff, 0},
      {"planes.tif", "-interlace Plane -define tiff:rows-per-strip=8 TIFF:", kFormatTiff, 0},
      {"deep.tif", "-depth 16 -compress Zip TIFF:", kFormatTiff, 0.01},
      {"opaque-alpha.tif", "-alpha set TIFF:", kFormatTiff, 0},
      {"ycbcr.tif", "-compress JPEG -quality 95 TIFF:", kFormatTiff, 0.02},
      {"plain.gif", "GIF:", kFormatGif, 0},
      {"interlaced.gif", "-interlace GIF GIF:", kFormatGif, 0},
      {"plain.png", "PNG:", kFormatPng, 0},
      {"alpha.png", "-alpha set -channel A -evaluate set 50% +channel PNG32:", kFormatPng, 0.25},
      {"plain.pct", "PICT:", kFormatPict, 0.01},
      {"plain.pcd", "PCD:", kFormatPcd, 0.03},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.file);
    std::string path = MakeFixture(r.file, r.options);
    auto [w, h] = IdentifySize(path);
    ImageInfo info;
    ASSERT_TRUE(ReadInfo(path, &info).ok());
    EXPECT_EQ(info.format, r.format);
    EXPECT_EQ(info.width, w);
    EXPECT_EQ(info.height, h);
    Bitmap b;
    Status s = Load(path, &b);
    ASSERT_TRUE(s.ok()) << s.Number() << " " << s.Text() << " " << s.detail();
    EXPECT_EQ(b.format(), r.format);
    EXPECT_EQ(b.width(), w);
    EXPECT_EQ(b.height(), h);
    std::string ours = tmp.Path("ours.ppm");
    ASSERT_TRUE(testing::WritePpm(b, ours));
    // ImageMagick flattens transparency onto white for the comparison; our
    // 32-bit picture keeps the colour without the alpha, hence the bound.
    std::string theirs = tmp.Path("theirs.ppm");
    ASSERT_EQ(RunCommand(std::string(kConvert) + " " + Quote(path) + " -alpha off " + Quote(theirs)), 0);
    double rmse = testing::RmseOf(ours, theirs);
    EXPECT_GE(rmse, 0);
    EXPECT_LE(rmse, r.maxRmse);
  }
}

TEST_F(CodecTest, JpegDecodesAtTheSmallestScaleThatIsLargeEnough) {
  Bitmap src = testing::MakeTestPicture(800, 600);
  std::string path = tmp.Path("big.jpg");
  ASSERT_TRUE(SaveJpeg(path, src, {}).ok());
  struct Row {
    int minW, minH, w, h;
  };
  const Row rows[] = {
      {0, 0, 800, 600},     {100, 75, 100, 75},   {101, 0, 200, 150}, {0, 76, 200, 150},
      {200, 150, 200, 150}, {201, 150, 400, 300}, {400, 1, 400, 300}, {401, 300, 800, 600},
      {1000, 1000, 800, 600},
  };
  for (const Row& r : rows) {
    Bitmap b;
    ASSERT_TRUE(Load(path, &b, {r.minW, r.minH}).ok());
    EXPECT_EQ(b.width(), r.w) << r.minW << "x" << r.minH;
    EXPECT_EQ(b.height(), r.h) << r.minW << "x" << r.minH;
  }
}

TEST_F(CodecTest, JpegWriterKeepsQualityAndComments) {
  VEXA_REQUIRE_TOOL(kConvert);
  Bitmap src = testing::MakeTestPicture(123, 77);
  JpegOptions o;
  o.comments = {"first comment", std::string("binary\0inside", 13)};
  std::string path = tmp.Path("c.jpg");
  ASSERT_TRUE(SaveJpeg(path, src, o).ok());
  std::string out;
  ASSERT_EQ(RunCommand(std::string(testing::kIdentify) + " -format '%Q %w %h' " + Quote(path), &out), 0);
  EXPECT_EQ(out, "90 123 77");
  std::string ours = tmp.Path("src.ppm");
  ASSERT_TRUE(testing::WritePpm(src, ours));
  EXPECT_LE(testing::RmseOf(ours, path), 0.05);  // 4:2:0 chroma on a sharp red grid
  if (testing::HaveTool("/usr/bin/rdjpgcom")) {
    ASSERT_EQ(RunCommand("/usr/bin/rdjpgcom -raw " + Quote(path), &out), 0);
    EXPECT_NE(out.find("first comment"), std::string::npos);
  } else if (testing::CheckersRequired()) {
    FAIL() << "missing rdjpgcom";
  }
  // The saved quality follows the factor.
  ASSERT_TRUE(Save(path, src, kFormatJpeg, 30).ok());
  ASSERT_EQ(RunCommand(std::string(testing::kIdentify) + " -format '%Q' " + Quote(path), &out), 0);
  EXPECT_EQ(out, "70");
}

TEST_F(CodecTest, BmpWriterRoundTripsAndImageMagickAgrees) {
  VEXA_REQUIRE_TOOL(kConvert);
  for (int bpp : {24, 32, 8}) {
    SCOPED_TRACE(bpp);
    Bitmap src = testing::MakeTestPicture(31, 17, bpp);
    if (bpp == 8) src.palette()[5] = {1, 2, 3, 255};
    std::string path = tmp.Path("w.bmp");
    ASSERT_TRUE(Save(path, src, kFormatBmp).ok());
    Bitmap back;
    ASSERT_TRUE(Load(path, &back).ok());
    ASSERT_EQ(back.width(), 31);
    ASSERT_EQ(back.height(), 17);
    for (int y = 0; y < 17; ++y) {
      for (int x = 0; x < 31; ++x) {
        std::uint8_t r1, g1, b1, r2, g2, b2;
        src.GetRgb(x, y, &r1, &g1, &b1);
        back.GetRgb(x, y, &r2, &g2, &b2);
        ASSERT_TRUE(r1 == r2 && g1 == g2 && b1 == b2) << x << "," << y;
      }
    }
    std::string ours = tmp.Path("w.ppm");
    ASSERT_TRUE(testing::WritePpm(src, ours));
    EXPECT_EQ(testing::RmseOf(ours, path), 0);
  }
}

TEST_F(CodecTest, PackedDibHasTheHeaderThenTheRows) {
  Bitmap b;
  ASSERT_TRUE(b.Create(352, 240, 24).ok());
  std::vector<std::uint8_t> dib;
  ASSERT_TRUE(EncodePackedDib(b, &dib).ok());
  auto u32 = [&](int at) { return dib[at] | dib[at + 1] << 8 | dib[at + 2] << 16 | dib[at + 3] << 24; };
  EXPECT_EQ(u32(0), 40);
  EXPECT_EQ(u32(4), 352);
  EXPECT_EQ(u32(8), 240);
  EXPECT_EQ(u32(20), 352 * 3 * 240);
  EXPECT_EQ(dib.size(), 40u + 352 * 3 * 240);
}

// A BMP header must not make the reader trust sizes the file cannot hold.
TEST_F(CodecTest, BmpThatLiesAboutItsSizeIsRefused) {
  auto header = [](int w, int h, int bpp, std::uint32_t offBits, std::uint32_t colours) {
    std::string s(54, '\0');
    auto put32 = [&](int at, std::uint32_t v) {
      for (int i = 0; i < 4; ++i) s[at + i] = static_cast<char>(v >> (8 * i));
    };
    s[0] = 'B';
    s[1] = 'M';
    put32(10, offBits);
    put32(14, 40);
    put32(18, static_cast<std::uint32_t>(w));
    put32(22, static_cast<std::uint32_t>(h));
    s[26] = 1;
    s[28] = static_cast<char>(bpp);
    put32(46, colours);
    return s;
  };
  struct Row {
    const char* what;
    std::string bytes;
    ErrorCode code;
  };
  const Row rows[] = {
      {"huge picture, a few bytes", header(5000, 5000, 24, 54, 0) + std::string(100, 'x'), ErrorCode::kFileTruncated},
      {"one row short", header(10, 10, 24, 54, 0) + std::string(32 * 9, 'x'), ErrorCode::kFileTruncated},
      {"pixels beyond the end", header(2, 2, 24, 5000, 0) + std::string(16, 'x'), ErrorCode::kFileTruncated},
      {"palette larger than the room", header(2, 2, 8, 60, 256) + std::string(100, 'x'), ErrorCode::kFileCorrupt},
      {"zero width", header(0, 2, 24, 54, 0) + std::string(16, 'x'), ErrorCode::kFileCorrupt},
      {"absurd width", header(-7, 2, 24, 54, 0) + std::string(16, 'x'), ErrorCode::kFileCorrupt},
      {"too many pixels", header(60000, 60000, 1, 54, 0), ErrorCode::kImageTooLarge},
      {"bad depth", header(2, 2, 7, 54, 0) + std::string(16, 'x'), ErrorCode::kUnsupportedDepth},
      {"header cut", header(2, 2, 24, 54, 0).substr(0, 30), ErrorCode::kFileTruncated},
  };
  for (const Row& r : rows) {
    Bitmap b;
    Status s = LoadFromMemory({reinterpret_cast<const std::uint8_t*>(r.bytes.data()), r.bytes.size()}, &b);
    EXPECT_EQ(s.code(), r.code) << r.what;
    EXPECT_TRUE(b.empty()) << r.what;
  }
}

TEST_F(CodecTest, TopDownBmpIsReadTopDown) {
  Bitmap src = testing::MakeTestPicture(9, 5);
  std::string bytes;
  ASSERT_TRUE(EncodeBmp(src, &bytes).ok());
  // Turn the bottom-up file into a top-down one: negative height, rows reversed.
  std::int32_t negative = -5;
  std::memcpy(&bytes[22], &negative, 4);
  const std::size_t rowBytes = 28, off = 54;
  std::string flipped = bytes.substr(0, off);
  for (int i = 4; i >= 0; --i) flipped += bytes.substr(off + rowBytes * i, rowBytes);
  Bitmap b;
  ASSERT_TRUE(LoadFromMemory({reinterpret_cast<const std::uint8_t*>(flipped.data()), flipped.size()}, &b).ok());
  ASSERT_EQ(b.height(), 5);
  EXPECT_EQ(std::memcmp(b.row(0), src.row(0), 27), 0);
  EXPECT_EQ(std::memcmp(b.row(4), src.row(4), 27), 0);
}

// Damaged files of every format end in an error, never in a crash or a
// half-grey picture.
TEST_F(CodecTest, TruncatedAndCorruptFilesFailCleanly) {
  VEXA_REQUIRE_TOOL(kConvert);
  struct Row {
    const char* file;
    const char* options;
  };
  const Row rows[] = {
      {"t.jpg", "JPEG:"},  {"tp.jpg", "-interlace Plane JPEG:"}, {"t.bmp", "BMP3:"},
      {"r.bmp", "-colors 200 -type Palette -compress RLE BMP3:"}, {"t.png", "PNG:"}, {"t.tif", "TIFF:"},
      {"t.gif", "GIF:"},   {"t.pct", "PICT:"},  {"t.pcd", "PCD:"},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.file);
    std::string good = ReadBytes(MakeFixture(r.file, r.options, 160, 120));
    ASSERT_GT(good.size(), 64u);
    std::string path = tmp.Path(std::string("bad-") + r.file);
    for (std::size_t keep : {good.size() / 2, std::size_t{20}, std::size_t{0}}) {
      WriteBytes(path, good.substr(0, keep));
      Bitmap b;
      Status s = Load(path, &b);
      EXPECT_FALSE(s.ok()) << "kept " << keep;
      EXPECT_LT(s.Number(), 0);
      EXPECT_STRNE(s.Text(), "");
      EXPECT_TRUE(b.empty());
    }
    // Garbage after the signature: must not crash; an error or a picture.
    std::string garbled = good;
    for (std::size_t i = 16; i < garbled.size(); i += 7) garbled[i] = static_cast<char>(garbled[i] ^ 0x5A);
    WriteBytes(path, garbled);
    Bitmap b;
    ImageInfo info;
    (void)Load(path, &b);
    (void)ReadInfo(path, &info);
  }
}

TEST_F(CodecTest, MissingAndUnknownFiles) {
  Bitmap b;
  EXPECT_EQ(Load(tmp.Path("nothing.jpg"), &b).code(), ErrorCode::kFileNotFound);
  WriteBytes(tmp.Path("text.xyz"), "hello, this is not a picture at all");
  EXPECT_EQ(Load(tmp.Path("text.xyz"), &b).code(), ErrorCode::kFormatUnknown);
  ImageInfo info;
  EXPECT_EQ(ReadInfo(tmp.Path("text.xyz"), &info).code(), ErrorCode::kFormatUnknown);
  EXPECT_EQ(Save(tmp.Path("x.png"), testing::MakeTestPicture(4, 4), kFormatPng).code(),
            ErrorCode::kUnsupportedSaveFormat);
  EXPECT_EQ(Save(tmp.Path("x.jpg"), Bitmap(), kFormatJpeg).code(), ErrorCode::kEmptyBitmap);
  EXPECT_FALSE(base::FileExists(tmp.Path("x.jpg")));
}

// What a photo folder holds beside its photos claims to be no picture; a
// picture under any name, and any file named as one, does.
TEST_F(CodecTest, WhatClaimsToBeAPicture) {
  const std::string png = MakeFixture("real.png", "");
  std::string pngBytes;
  ASSERT_TRUE(base::ReadFile(png, &pngBytes));
  const struct {
    const char* name;
    std::string bytes;
    bool claims;
  } cases[] = {
      {"notes.txt", "Summer 2002, at the lake.\n", false},
      {"photo.xmp", "<?xml version=\"1.0\"?><x:xmpmeta xmlns:x=\"adobe:ns:meta/\"/>", false},
      {"Thumbs.db", std::string("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8) + std::string(600, '\0'), false},
      {"empty", "", false},
      {"picture-without-extension", pngBytes, true},
      {"broken.JPG", "not a JPEG at all", true},
      {"scan.pcx", "not a PCX either", true},
      {"jpeg.bin", "\xFF\xD8\xFF\xE0", true},
  };
  for (const auto& c : cases) {
    WriteBytes(tmp.Path(c.name), c.bytes);
    EXPECT_EQ(ClaimsToBePicture(tmp.Path(c.name)), c.claims) << c.name;
  }
  EXPECT_FALSE(ClaimsToBePicture(tmp.Path("missing.txt")));
  // A FIFO is never opened (that would wait for a writer).
  ASSERT_EQ(::mkfifo(tmp.Path("fifo").c_str(), 0600), 0);
  EXPECT_FALSE(ClaimsToBePicture(tmp.Path("fifo")));
}

}  // namespace
}  // namespace vexa::imaging

namespace vexa::imaging {
namespace {

// Headers that claim a picture the file cannot hold are refused before the
// picture is allocated.
TEST_F(CodecTest, HeadersClaimingHugePicturesAreRefused) {
  VEXA_REQUIRE_TOOL(kConvert);
  auto patchJpeg = [](std::string s) {
    std::size_t sof = s.find("\xFF\xC0");
    if (sof == std::string::npos) return std::string();
    const char size[] = {0x3E, static_cast<char>(0x80), 0x3E, static_cast<char>(0x80)};  // 16000 x 16000
    s.replace(sof + 5, 4, size, 4);
    return s;
  };
  auto patchGif = [](std::string s) {
    int tableBytes = (s[10] & 0x80) ? 3 << ((s[10] & 7) + 1) : 0;
    std::size_t at = 13 + static_cast<std::size_t>(tableBytes);
    while (at < s.size() && s[at] == '!') {  // skip extension blocks
      at += 2;
      while (at < s.size() && s[at] != 0) at += static_cast<unsigned char>(s[at]) + 1;
      ++at;
    }
    if (at + 9 > s.size() || s[at] != ',') return std::string();
    const char size[] = {static_cast<char>(0xE8), static_cast<char>(0xFD), static_cast<char>(0xE8),
                         static_cast<char>(0xFD)};  // 65000 x 65000
    s.replace(at + 5, 4, size, 4);
    return s;
  };
  struct Row {
    const char* file;
    const char* options;
    std::string (*patch)(std::string);
    ErrorCode code;
  };
  const Row rows[] = {
      {"claims.jpg", "JPEG:", +patchJpeg, ErrorCode::kFileTruncated},
      {"claims.gif", "GIF:", +patchGif, ErrorCode::kImageTooLarge},
  };
  for (const Row& r : rows) {
    std::string bytes = r.patch(ReadBytes(MakeFixture(r.file, r.options, 40, 30)));
    ASSERT_FALSE(bytes.empty()) << r.file;
    Bitmap b;
    Status s = LoadFromMemory({reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()}, &b);
    EXPECT_EQ(s.code(), r.code) << r.file << " " << s.Text();
    EXPECT_TRUE(b.empty());
  }
}

}  // namespace
}  // namespace vexa::imaging

#include <random>

namespace vexa::imaging {
namespace {

// Random damage to small files of every format: each read ends in a picture
// or an error, never in a crash or a read outside the data (run under the
// address sanitizer).
TEST_F(CodecTest, MutatedFilesNeverCrashTheReaders) {
  VEXA_REQUIRE_TOOL(kConvert);
  const unsigned seed = std::random_device{}();
  std::printf("mutation seed %u\n", seed);
  std::mt19937 rng(seed);
  const char* fixtures[][2] = {
      {"m8.bmp", "-colors 40 -type Palette -compress RLE BMP3:"}, {"m4.bmp", "-colors 12 -type Palette -compress RLE BMP3:"},
      {"m2.bmp", "BMP2:"}, {"m5.bmp", "-define bmp:subtype=RGB565 BMP:"}, {"m.gif", "GIF:"}, {"m.png", "PNG:"},
      {"m.tif", "-compress LZW TIFF:"}, {"m.jpg", "JPEG:"}, {"mp.jpg", "-interlace Plane JPEG:"}, {"m.pct", "PICT:"},
  };
  for (auto& f : fixtures) {
    const std::string good = ReadBytes(MakeFixture(f[0], f[1], 37, 23));
    ASSERT_FALSE(good.empty()) << f[0];
    for (int i = 0; i < 300; ++i) {
      std::string s = good;
      for (int k = 1 + static_cast<int>(rng() % 8); k > 0; --k) {
        std::size_t at = rng() % s.size();
        switch (rng() % 4) {
          case 0: s[at] = static_cast<char>(rng()); break;
          case 1: s[at] = static_cast<char>(s[at] ^ (1 << (rng() % 8))); break;
          case 2: s[at] = static_cast<char>(rng() % 2 ? 0xFF : 0); break;
          default: s.resize(std::max<std::size_t>(at, 8)); break;
        }
      }
      Bitmap b;
      ImageInfo info;
      std::span<const std::uint8_t> bytes(reinterpret_cast<const std::uint8_t*>(s.data()), s.size());
      Status st = LoadFromMemory(bytes, &b, {}, f[0]);
      (void)ReadInfoFromMemory(bytes, &info, f[0]);
      if (st) {
        ASSERT_FALSE(b.empty());
        ASSERT_GE(b.size(), b.stride() * static_cast<std::size_t>(b.height()));
      } else {
        ASSERT_TRUE(b.empty()) << f[0] << " seed " << seed;
      }
    }
  }
}

}  // namespace
}  // namespace vexa::imaging
