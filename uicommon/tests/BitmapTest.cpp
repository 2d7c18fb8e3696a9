// Bitmaps: ".bmp" files against ImageMagick, hostile headers, area copies,
// archives, device bitmaps and the art sheets.
#include <QPainter>
#include <filesystem>
#include <sstream>

#include "platform/imaging/BitmapHandle.h"
#include "uicommon/art/Bitmaps.h"
#include "uicommon/common/Broadcast.h"
#include "uicommon/common/Settings.h"
#include "uicommon/tests/UiTestSupport.h"

using namespace vexa::ui;

using namespace vexa::ui::testing;

namespace {

const char* kConvert = "/usr/bin/convert";
const char* kIdentify = "/usr/bin/identify";
const char* kCompare = "/usr/bin/compare";

struct ProblemCounter : CListener {
  ProblemCounter() { AddListener("ArtResourceProblem", this); }
  ~ProblemCounter() override { RemoveListener("ArtResourceProblem", this); }
  void Receive(std::string, CParameter* p) override {
    ++count;
    EXPECT_EQ(p, nullptr);
  }
  int count = 0;
};

void Put32(std::string& s, std::size_t at, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) s[at + i] = char((v >> (8 * i)) & 0xFF);
}

// A 24-bit BMP in memory: 40-byte header, bottom-up rows.
std::string Bmp24(int w, int h) {
  const int stride = ((24 * w + 31) / 32) * 4;
  std::string s(54 + stride * h, '\0');
  s[0] = 'B';
  s[1] = 'M';
  Put32(s, 2, std::uint32_t(s.size()));
  Put32(s, 10, 54);
  Put32(s, 14, 40);
  Put32(s, 18, std::uint32_t(w));
  Put32(s, 22, std::uint32_t(h));
  s[26] = 1;
  s[28] = 24;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      char* px = &s[54 + (h - 1 - y) * stride + 3 * x];
      px[0] = char(x * 7), px[1] = char(y * 5), px[2] = char((x + y) * 3);
    }
  return s;
}

class BitmapTest : public UiTest {};

TEST_F(BitmapTest, BmpFilesRoundTripAgainstImageMagick) {
  VEXA_UI_REQUIRE_TOOL(kConvert);
  VEXA_UI_REQUIRE_TOOL(kIdentify);
  VEXA_UI_REQUIRE_TOOL(kCompare);
  const struct {
    const char* name;
    const char* options;
    int bitsPerPixel;
  } cases[] = {
      {"rgb24", "-type TrueColor", 24},
      {"palette8", "-type Palette -colors 200 -compress none", 8},
      {"palette8_rle", "-type Palette -colors 200 -compress RLE", 8},
      {"palette4", "-type Palette -colors 12 -compress none", 4},
      {"mono", "-monochrome -type Bilevel", 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string src = m_temp.Path(std::string(c.name) + ".bmp");
    const std::string ours = m_temp.Path(std::string(c.name) + "-ours.bmp");
    ASSERT_EQ(RunCommand(std::string(kConvert) + " -seed 5 -size 37x23 plasma:fractal " + c.options +
                         " BMP3:" + Quote(src)), 0);
    CDib dib;
    ASSERT_EQ(dib.ReadFile(src), 1);
    EXPECT_EQ(dib.GetWidth(), 37);
    EXPECT_EQ(dib.GetHeight(), 23);
    EXPECT_EQ(dib.GetBitsPerPixel(), c.bitsPerPixel);
    ASSERT_EQ(dib.WriteFile(ours), 1);
    std::string id;
    ASSERT_EQ(RunCommand(std::string(kIdentify) + " " + Quote(ours), &id), 0) << id;
    EXPECT_NE(id.find("37x23"), std::string::npos) << id;
    std::string diff;
    RunCommand(std::string(kCompare) + " -metric AE " + Quote(src) + " " + Quote(ours) + " null:", &diff);
    EXPECT_EQ(diff, "0") << diff;
    // Our own decoding of the pixels agrees with ImageMagick's, run-length
    // encoded rows too.
    EXPECT_EQ(dib.GetImageStorageSize() != 0, true);
    const std::string png = m_temp.Path(std::string(c.name) + "-decoded.png");
    ASSERT_TRUE(dib.ToImage().save(QString::fromStdString(png)));
    RunCommand(std::string(kCompare) + " -metric AE " + Quote(src) + " " + Quote(png) + " null:", &diff);
    EXPECT_EQ(diff, "0") << diff;
  }
}

TEST_F(BitmapTest, RowsFollowTheColourTableWhateverThePixelOffsetSays) {
  std::string bmp = Bmp24(5, 4);
  Put32(bmp, 10, 999);  // a wrong pixel offset
  const std::string path = m_temp.Path("offset.bmp");
  WriteAll(path, bmp);
  CDib dib;
  ASSERT_EQ(dib.ReadFile(path), 1);
  EXPECT_EQ(dib.ToImage().pixel(1, 0), qRgb(3, 0, 7));
}

TEST_F(BitmapTest, HostileHeadersAreRefused) {
  const std::string good = Bmp24(8, 6);
  auto with = [&](std::size_t at, std::uint32_t v) {
    std::string s = good;
    Put32(s, at, v);
    return s;
  };
  const struct {
    const char* name;
    std::string bytes;
  } cases[] = {
      {"short", good.substr(0, 10)},
      {"not_bm", "XY" + good.substr(2)},
      {"header_size_99", with(14, 99)},
      {"header_size_huge", with(14, 0x7FFFFFF0)},
      {"colours_used_1000", with(46, 1000)},
      {"rows_past_the_end", good.substr(0, good.size() - 10)},
      {"width_huge", with(18, 0x00FFFFFF)},
      {"negative_height", with(22, 0xFFFFFFFE)},
      {"bits_per_pixel_7", [&] { std::string s = good; s[28] = 7; return s; }()},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = m_temp.Path(std::string(c.name) + ".bmp");
    WriteAll(path, c.bytes);
    ProblemCounter problems;
    CDib dib;
    EXPECT_EQ(dib.ReadFile(path), 0);
    EXPECT_EQ(dib.GetDib(), nullptr);
    EXPECT_GE(problems.count, 1);
    EXPECT_TRUE(dib.ToImage().isNull());
  }
}

TEST_F(BitmapTest, WriteRefusesACoreHeaderWithoutTouchingTheFile) {
  // A 12-byte header DIB, 2 x 2 at 24 bits.
  auto core = std::make_shared<std::vector<std::uint8_t>>(12 + 8 * 2, 0);
  (*core)[0] = 12;
  (*core)[4] = 2;
  (*core)[6] = 2;
  (*core)[8] = 1;
  (*core)[10] = 24;
  CDib dib(core);
  ASSERT_NE(dib.GetDib(), nullptr);
  EXPECT_EQ(dib.GetHeaderSize(), 12);
  const std::string fresh = m_temp.Path("fresh.bmp"), existing = m_temp.Path("existing.bmp");
  EXPECT_EQ(dib.WriteFile(fresh), 0);
  EXPECT_FALSE(std::filesystem::exists(fresh));
  WriteAll(existing, "keep me");
  EXPECT_EQ(dib.WriteFile(existing), 0);
  EXPECT_EQ(ReadAll(existing), "keep me");
  // A copy widens the header to 40 bytes, and that is written.
  CDib wide(dib);
  EXPECT_EQ(wide.GetHeaderSize(), 40);
  EXPECT_EQ(wide.WriteFile(fresh), 1);
}

TEST_F(BitmapTest, AreaCopiesAreClampedOnEverySide) {
  const std::string path = m_temp.Path("src.bmp");
  WriteAll(path, Bmp24(20, 10));
  CDib src(path);
  const QImage whole = src.ToImage();
  const struct {
    QRect area;
    QRect expect;  // the part of the source the copy holds
  } cases[] = {
      {QRect(2, 3, 5, 4), QRect(2, 3, 5, 4)},
      {QRect(-5, -5, 10, 10), QRect(0, 0, 5, 5)},
      {QRect(15, 8, 50, 50), QRect(15, 8, 5, 2)},
      {QRect(-100, 2, 1000, 3), QRect(0, 2, 20, 3)},
  };
  for (const auto& c : cases) {
    CDib copy(src, c.area);
    ASSERT_NE(copy.GetDib(), nullptr);
    EXPECT_EQ(copy.GetSize(), c.expect.size());
    EXPECT_EQ(copy.ToImage(), whole.copy(c.expect));
  }
  CDib outside(src, QRect(100, 100, 5, 5));
  EXPECT_EQ(outside.GetDib(), nullptr);
}

TEST_F(BitmapTest, FourBitAreaCopyAtAnOddColumn) {
  VEXA_UI_REQUIRE_TOOL(kConvert);
  const std::string path = m_temp.Path("p4.bmp");
  ASSERT_EQ(RunCommand(std::string(kConvert) + " -seed 3 -size 9x7 plasma:fractal -type Palette -colors 10 BMP3:" +
                       Quote(path)), 0);
  CDib src(path);
  ASSERT_EQ(src.GetBitsPerPixel(), 4);
  CDib copy(src, QRect(3, 1, 5, 4));
  EXPECT_EQ(copy.ToImage(), src.ToImage().copy(3, 1, 5, 4));
}

// A 4-bit run-length encoded bitmap of 7 x 4 pixels, written by hand: every
// kind of record (runs of two alternating colours, an absolute run of an odd
// count with its padding, a delta, ends of lines, the end).
std::string Rle4Bmp() {
  const unsigned char table[16][4] = {{0, 0, 0, 0},       {0, 0, 255, 0},   {0, 255, 0, 0},   {255, 0, 0, 0},
                                      {255, 255, 255, 0}, {0, 255, 255, 0}, {255, 0, 255, 0}, {255, 255, 0, 0}};
  const unsigned char rows[] = {
      // bottom row: 7 pixels "1212121" as one encoded run
      7, 0x12, 0, 0,
      // second row: an absolute run of 5 (3 bytes, one byte of padding), then 2 of colour 4
      0, 5, 0x34, 0x56, 0x70, 0, 2, 0x44, 0, 0,
      // third row: 2 pixels of 3, then a delta 3 right and 1 up (into the top row, skipping
      // pixels that stay index 0), then 1 of 5 and 1 of 0 to the row's end
      2, 0x33, 0, 2, 3, 1, 1, 0x50, 1, 0x00, 0, 0,
      // the end of the picture
      0, 1};
  std::string s(14 + 40 + 64, '\0');
  s[0] = 'B';
  s[1] = 'M';
  Put32(s, 10, 14 + 40 + 64);
  Put32(s, 14, 40);
  Put32(s, 18, 7);
  Put32(s, 22, 4);
  s[26] = 1;
  s[28] = 4;
  Put32(s, 30, 2);  // run-length encoded, 4 bits
  Put32(s, 34, sizeof rows);
  for (int i = 0; i < 16; ++i)
    for (int k = 0; k < 4; ++k) s[54 + 4 * i + k] = char(table[i][k]);
  s.append(reinterpret_cast<const char*>(rows), sizeof rows);
  Put32(s, 2, std::uint32_t(s.size()));
  return s;
}

TEST_F(BitmapTest, RunLengthEncodedBitmapsAreDrawnAndCopiedByArea) {
  VEXA_UI_REQUIRE_TOOL(kConvert);
  VEXA_UI_REQUIRE_TOOL(kCompare);
  const std::string rle4 = m_temp.Path("hand.bmp"), rle8 = m_temp.Path("rle8.bmp");
  WriteAll(rle4, Rle4Bmp());
  ASSERT_EQ(RunCommand(std::string(kConvert) + " -seed 9 -size 41x17 plasma:fractal -type Palette -colors 60 "
                       "-compress RLE BMP3:" + Quote(rle8)), 0);
  for (const std::string& path : {rle4, rle8}) {
    SCOPED_TRACE(path);
    CDib dib;
    ASSERT_EQ(dib.ReadFile(path), 1);
    const QImage image = dib.ToImage();
    ASSERT_FALSE(image.isNull());
    // ImageMagick decodes the same pixels.
    const std::string png = path + ".png";
    ASSERT_TRUE(image.save(QString::fromStdString(png)));
    std::string diff;
    RunCommand(std::string(kCompare) + " -metric AE " + Quote(path) + " " + Quote(png) + " null:", &diff);
    EXPECT_EQ(diff, "0") << diff;
    // Painted as any other bitmap, whole and by area.
    QImage target(80, 40, QImage::Format_RGB32);
    target.fill(Qt::white);
    QPainter p(&target);
    EXPECT_TRUE(dib.Paint(&p, 3, 2));
    EXPECT_TRUE(dib.PaintFrom(&p, QRect(1, 1, 4, 2)));
    p.end();
    EXPECT_EQ(target.copy(3, 2, dib.GetWidth(), dib.GetHeight()), image);
    EXPECT_EQ(target.copy(0, 0, 4, 2), image.copy(1, 1, 4, 2));
    // An area copy holds plain rows of the same depth, written as a file
    // ImageMagick reads back to the same pixels.
    CDib part(dib, QRect(1, 1, 5, 3));
    ASSERT_NE(part.GetDib(), nullptr);
    EXPECT_EQ(part.GetBitsPerPixel(), dib.GetBitsPerPixel());
    EXPECT_EQ(part.ToImage(), image.copy(1, 1, 5, 3));
    const std::string written = path + "-part.bmp";
    ASSERT_EQ(part.WriteFile(written), 1);
    const std::string partPng = path + "-part.png";
    ASSERT_TRUE(image.copy(1, 1, 5, 3).save(QString::fromStdString(partPng)));
    RunCommand(std::string(kCompare) + " -metric AE " + Quote(written) + " " + Quote(partPng) + " null:", &diff);
    EXPECT_EQ(diff, "0") << diff;
    // The device bitmap made from it shows the same pixels.
    std::unique_ptr<CDDB> ddb(DibToDdb(&dib));
    ASSERT_TRUE(ddb);
    EXPECT_EQ(ddb->ToImage(), image);
  }
  // The hand-made records, pixel by pixel (top row first).
  CDib hand(rle4);
  const QImage img = hand.ToImage();
  const QRgb k = qRgb(0, 0, 0), r = qRgb(255, 0, 0), g = qRgb(0, 255, 0), b = qRgb(0, 0, 255), w = qRgb(255, 255, 255),
             y = qRgb(255, 255, 0), m = qRgb(255, 0, 255), c = qRgb(0, 255, 255);
  const QRgb expect[4][7] = {{k, k, k, k, k, y, k},
                             {b, b, k, k, k, k, k},
                             {b, w, y, m, c, w, w},
                             {r, g, r, g, r, g, r}};
  for (int yy = 0; yy < 4; ++yy)
    for (int xx = 0; xx < 7; ++xx) EXPECT_EQ(img.pixel(xx, yy), expect[yy][xx]) << xx << "," << yy;
}

TEST_F(BitmapTest, HostileRunLengthStreamsStayInsideThePicture) {
  const std::string good = Rle4Bmp();
  auto withRows = [&](std::initializer_list<unsigned char> rows, int bpp, int compression) {
    std::string s = good.substr(0, 14 + 40 + 64);
    s[28] = char(bpp);
    Put32(s, 46, 16);  // the sixteen colours of the table
    Put32(s, 30, std::uint32_t(compression));
    Put32(s, 34, std::uint32_t(rows.size()));
    for (unsigned char v : rows) s.push_back(char(v));
    return s;
  };
  const struct {
    const char* name;
    std::string bytes;
  } cases[] = {
      {"run_past_the_width", withRows({255, 0x12, 255, 0x34, 0, 1}, 4, 2)},
      {"absolute_run_past_the_width", withRows({0, 200, 1, 2, 3, 4, 0, 1}, 4, 2)},
      {"delta_past_the_top", withRows({0, 2, 255, 255, 3, 0x11, 0, 1}, 4, 2)},
      {"cut_inside_an_absolute_run", withRows({0, 9, 1, 2}, 4, 2)},
      {"cut_inside_a_delta", withRows({0, 2, 1}, 4, 2)},
      {"no_end", withRows({2, 0x11, 2, 0x22}, 4, 2)},
      {"eight_bit_runs_past_everything", withRows({255, 7, 0, 0, 255, 7, 0, 0, 255, 7, 0, 0, 255, 7, 0, 0, 255, 7}, 8, 1)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    auto mem = std::make_shared<std::vector<std::uint8_t>>(c.bytes.begin() + 14, c.bytes.end());
    CDib dib(mem);
    ASSERT_NE(dib.GetDib(), nullptr);
    const QImage image = dib.ToImage();
    EXPECT_EQ(image.size(), QSize(7, 4));
    CDib part(dib, QRect(2, 1, 9, 9));
    EXPECT_EQ(part.GetSize(), QSize(5, 3));
  }
}

// Device bitmaps go back into DIBs of every uncompressed depth, as the
// colours of the DIB's own table for the palette depths.
TEST_F(BitmapTest, DeviceBitmapsIntoDibsOfEveryDepth) {
  VEXA_UI_REQUIRE_TOOL(kConvert);
  VEXA_UI_REQUIRE_TOOL(kCompare);
  // The 16-bit files carry their colour masks in the long header form.
  const struct {
    const char* name;
    const char* options;
    int bitsPerPixel;
  } cases[] = {
      {"palette8", "-type Palette -colors 200 -compress none BMP3", 8},
      {"palette4", "-type Palette -colors 12 -compress none BMP3", 4},
      {"mono", "-monochrome -type Bilevel BMP3", 1},
      {"rgb555", "-type TrueColor -define bmp:subtype=RGB555 BMP", 16},
      {"rgb565", "-type TrueColor -define bmp:subtype=RGB565 BMP", 16},
      {"rgb24", "-type TrueColor BMP3", 24},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string src = m_temp.Path(std::string(c.name) + "-src.bmp");
    ASSERT_EQ(RunCommand(std::string(kConvert) + " -seed 4 -size 23x11 plasma:fractal " + c.options + ":" +
                         Quote(src)), 0);
    CDib dib;
    ASSERT_EQ(dib.ReadFile(src), 1);
    ASSERT_EQ(dib.GetBitsPerPixel(), c.bitsPerPixel);
    const QImage original = dib.ToImage();
    std::unique_ptr<CDDB> ddb(DibToDdb(&dib));
    ASSERT_TRUE(ddb);
    // Wipe the DIB's rows, then take them back from the device bitmap.
    HDIB mem = dib.GetDib();
    const std::size_t rows = std::size_t(dib.GetDIBBits() - mem->data());
    std::fill(mem->begin() + std::ptrdiff_t(rows), mem->end(), std::uint8_t(0x55));
    ASSERT_TRUE(DdbToDib(ddb.get(), &dib));
    EXPECT_EQ(dib.ToImage(), original);
    // ImageMagick sees the taken-back rows as the picture it wrote (a
    // channel of 5 or 6 bits may widen to 8 bits one step apart).
    const std::string back = m_temp.Path(std::string(c.name) + "-back.png");
    ASSERT_TRUE(dib.ToImage().save(QString::fromStdString(back)));
    std::string diff;
    RunCommand(std::string(kCompare) + " -metric AE -fuzz 1% " + Quote(src) + " " + Quote(back) + " null:", &diff);
    EXPECT_EQ(diff, "0") << diff;
    if (dib.GetHeaderSize() == 40) {
      const std::string file = m_temp.Path(std::string(c.name) + "-back.bmp");
      ASSERT_EQ(dib.WriteFile(file), 1);
      RunCommand(std::string(kCompare) + " -metric AE " + Quote(src) + " " + Quote(file) + " null:", &diff);
      EXPECT_EQ(diff, "0") << diff;
    }
  }
  // A colour the table does not hold takes its nearest entry.
  const std::string mono = m_temp.Path("mono-src.bmp");
  CDib dib(mono);
  CDDB grey(23, 11, true);
  QPainter* dc = grey.AttachDC(nullptr);
  dc->fillRect(0, 0, 23, 11, QColor(200, 200, 200));
  dc->fillRect(0, 0, 5, 11, QColor(40, 40, 40));
  grey.DetachDC();
  ASSERT_TRUE(DdbToDib(&grey, &dib));
  EXPECT_EQ(dib.ToImage().pixel(10, 5), qRgb(255, 255, 255));
  EXPECT_EQ(dib.ToImage().pixel(2, 5), qRgb(0, 0, 0));
  // Another size, or a run-length encoded DIB, is refused.
  CDDB small(5, 5, true);
  EXPECT_FALSE(DdbToDib(&small, &dib));
  const std::string rle = m_temp.Path("hand-refused.bmp");
  WriteAll(rle, Rle4Bmp());
  CDib encoded(rle);
  CDDB seven(7, 4, true);
  EXPECT_FALSE(DdbToDib(&seven, &encoded));
}

TEST_F(BitmapTest, ArchivesRoundTripAndCheckTheirCount) {
  const std::string path = m_temp.Path("a.bmp");
  WriteAll(path, Bmp24(7, 3));
  CDib dib(path);
  std::stringstream stream;
  {
    CArchive store(&stream, CArchive::store);
    dib.Serialize(store);
  }
  CDib back;
  {
    stream.seekg(0);
    CArchive load(&stream, CArchive::load);
    back.Serialize(load);
  }
  EXPECT_EQ(back.ToImage(), dib.ToImage());

  // A byte count beyond what the archive holds, and a damaged header.
  std::string bytes = stream.str();
  std::string tooLong = bytes;
  Put32(tooLong, 0, 0x7FFFFFFF);
  std::string badHeader = bytes;
  Put32(badHeader, 4, 77);
  for (const std::string& b : {tooLong, badHeader, std::string("\0\0\0\0", 4)}) {
    std::stringstream s(b);
    CArchive load(&s, CArchive::load);
    CDib dib2;
    ProblemCounter problems;
    dib2.Serialize(load);
    EXPECT_EQ(dib2.GetDib(), nullptr);
    EXPECT_EQ(dib2.LastError(), CDib::ERROR_IN_SERIALIZE);
  }
}

TEST_F(BitmapTest, PaintingAtScaleAndOnTheSpot) {
  const std::string packed = Bmp24(200, 100).substr(14);
  CDib dib(std::make_shared<std::vector<std::uint8_t>>(packed.begin(), packed.end()));
  ASSERT_EQ(dib.GetSize(), QSize(200, 100));
  QImage target(400, 300, QImage::Format_RGB32);
  target.fill(Qt::white);
  QPainter p(&target);
  EXPECT_TRUE(dib.PaintScale(&p, -1, 10, 20));
  p.end();
  // Half size at (10, 20): the last painted pixel is (109, 69).
  EXPECT_NE(target.pixel(109, 69), qRgb(255, 255, 255));
  EXPECT_EQ(target.pixel(110, 69), qRgb(255, 255, 255));
  EXPECT_EQ(target.pixel(109, 70), qRgb(255, 255, 255));
  target.fill(Qt::white);
  p.begin(&target);
  EXPECT_TRUE(dib.Paint(&p, 0, 0));
  p.end();
  EXPECT_EQ(target.copy(0, 0, 200, 100), dib.ToImage());
}

TEST_F(BitmapTest, DeviceBitmapsParkTheirPixels) {
  CDDB ddb(30, 20, true);
  EXPECT_TRUE(ddb.HasBitmap());
  EXPECT_FALSE(ddb.Attached());
  EXPECT_EQ(ddb.GetBitmapSize(), 30u * 20u * 4u);
  QPainter* dc = ddb.AttachDC(nullptr);
  ASSERT_NE(dc, nullptr);
  EXPECT_TRUE(ddb.Attached());
  dc->fillRect(0, 0, 30, 20, QColor(10, 20, 30));
  ddb.DetachDC();
  EXPECT_FALSE(ddb.Attached());
  EXPECT_EQ(ddb.ToImage().pixel(29, 19), qRgb(10, 20, 30));

  // DrawTiles over an area smaller than the bitmap draws it once at (0, 0).
  QImage target(100, 100, QImage::Format_RGB32);
  target.fill(Qt::white);
  QPainter p(&target);
  ddb.DrawTiles(&p, 10, 10);
  EXPECT_EQ(target.pixel(29, 19), qRgb(10, 20, 30));
  EXPECT_EQ(target.pixel(30, 19), qRgb(255, 255, 255));
  ddb.DrawTiles(&p, 61, 21);
  EXPECT_EQ(target.pixel(60, 20), qRgb(10, 20, 30));  // third column, second row
  EXPECT_EQ(target.pixel(90, 20), qRgb(255, 255, 255));
  p.end();

  // A cut reaching outside the source keeps the area's size and is black
  // where the source has nothing.
  CDDB cut(ddb, QRect(20, 10, 20, 20), true);
  EXPECT_EQ(cut.Size(), QSize(20, 20));
  EXPECT_EQ(cut.ToImage().pixel(9, 9), qRgb(10, 20, 30));
  EXPECT_EQ(cut.ToImage().pixel(10, 10), qRgb(0, 0, 0));

  // The shared palette is set once.
  CPalette first({qRgb(1, 2, 3)}), second({qRgb(4, 5, 6), qRgb(7, 8, 9)});
  CDDB::Palette(&first);
  CDDB::Palette(&second);
  ASSERT_NE(CDDB::Palette(), nullptr);
  EXPECT_EQ(CDDB::Palette()->Entries(), std::vector<QRgb>{qRgb(1, 2, 3)});

  // From a bitmap handle of the imaging layer.
  EXPECT_EQ(BitmapToDDB(nullptr), nullptr);
  vexa::imaging::Bitmap b;
  ASSERT_TRUE(b.Create(3, 2, 24).ok());
  b.row(1)[3 * 2 + 2] = 200;  // red of (2, 1)
  HBITMAP handle = vexa::imaging::CreateBitmapHandle(std::move(b));
  std::unique_ptr<CDDB> fromHandle(BitmapToDDB(handle));
  vexa::imaging::DeleteBitmapHandle(handle);
  ASSERT_TRUE(fromHandle);
  EXPECT_EQ(fromHandle->ToImage().pixel(2, 1), qRgb(200, 0, 0));
}

TEST_F(BitmapTest, ArtSheetsAndTheirCuts) {
  const struct {
    const char* name;
    QSize size;
  } sheets[] = {{"Backgrnd", {353, 203}}, {"Down", {354, 204}}, {"DownHigh", {352, 202}},
                {"Up", {356, 204}},       {"UpHigh", {352, 202}}};
  for (const auto& s : sheets) {
    std::unique_ptr<CDDB> sheet(GetArtwork(s.name, QRect()));
    ASSERT_TRUE(sheet) << s.name;
    EXPECT_EQ(sheet->Size(), s.size) << s.name;
  }
  EXPECT_EQ(GetArtwork("Nothing", QRect(0, 0, 5, 5)), nullptr);
  std::unique_ptr<CDDB> placeholder(LoadArtBitmap(202));
  ASSERT_TRUE(placeholder);
  EXPECT_EQ(placeholder->Size(), QSize(14, 16));

  // A cut wholly outside the sheet (view 51 at x 714) is of its size and black.
  std::unique_ptr<CDDB> outside(GetArtwork("Backgrnd", QRect(714, 18, 16, 16)));
  ASSERT_TRUE(outside);
  EXPECT_EQ(outside->Size(), QSize(16, 16));
  EXPECT_EQ(outside->ToImage().pixel(15, 15), qRgb(0, 0, 0));

  // NoArtwork: a white box with a grey frame of the area's size.
  PutIntValue(Debug_NoArtwork, 1);
  std::unique_ptr<CDDB> plain(GetArtwork("Up", QRect(3, 3, 10, 6)));
  PutIntValue(Debug_NoArtwork, 0);
  ASSERT_TRUE(plain);
  const QImage img = plain->ToImage();
  EXPECT_EQ(img.size(), QSize(10, 6));
  EXPECT_EQ(img.pixel(0, 0), qRgb(0x80, 0x80, 0x80));
  EXPECT_EQ(img.pixel(9, 5), qRgb(0x80, 0x80, 0x80));
  EXPECT_EQ(img.pixel(5, 3), qRgb(255, 255, 255));

  EXPECT_FALSE(Use256ColorMode());
  PutIntValue(Debug_Force256Colors, 1);
  EXPECT_TRUE(Use256ColorMode());
}

}  // namespace
