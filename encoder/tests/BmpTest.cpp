// Vidlathe2 reads .bmp files: every supported layout gives the same stream
// as the same picture in another layout, and every lying header is refused
// with 0 (and no output) instead of being trusted.
#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <functional>

#include "encoder/Vidlathe.h"
#include "platform/imaging/Codec.h"
#include "encoder/tests/TestSupport.h"

namespace vidlathe::testing {
namespace {

void Put32(std::vector<uint8_t>& d, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) d[at + i] = static_cast<uint8_t>(v >> (8 * i));
}
void Put16(std::vector<uint8_t>& d, size_t at, uint16_t v) {
  d[at] = static_cast<uint8_t>(v);
  d[at + 1] = static_cast<uint8_t>(v >> 8);
}

struct BmpLayout {
  int bits = 24;
  bool topDown = false;
  size_t gap = 0;  // bytes between the palette and the pixels
  size_t deepPalette = 0;  // palette entries of a 16/24/32-bit file
  bool zeroOffset = false;  // bfOffBits 0: the pixels follow the palette
};

// A picture of few colours (so it fits an 8-bit palette exactly) as a .bmp
// file of the given layout.
std::vector<uint8_t> MakeBmp(int w, int h, const BmpLayout& l) {
  const uint8_t colours[4][3] = {{0, 0, 0}, {255, 255, 255}, {40, 200, 90}, {200, 30, 60}};
  auto colourAt = [&](int x, int y) { return ((x / 9) + (y / 7) * 3) % 4; };
  const size_t entries = l.bits == 8 ? 4 : l.deepPalette;
  const size_t stride = l.bits == 8 ? (w + 3) / 4 * 4 : l.bits == 16 ? (2 * w + 3) / 4 * 4
                        : l.bits == 24 ? (3 * w + 3) / 4 * 4 : 4 * w;
  const size_t off = 14 + 40 + 4 * entries + l.gap;
  std::vector<uint8_t> d(off + stride * h, 0);
  d[0] = 'B';
  d[1] = 'M';
  Put32(d, 2, static_cast<uint32_t>(d.size()));
  Put32(d, 10, l.zeroOffset ? 0u : static_cast<uint32_t>(off));
  Put32(d, 14, 40);
  Put32(d, 18, static_cast<uint32_t>(w));
  Put32(d, 22, static_cast<uint32_t>(l.topDown ? -h : h));
  Put16(d, 26, 1);
  Put16(d, 28, static_cast<uint16_t>(l.bits));
  Put32(d, 46, static_cast<uint32_t>(entries));
  for (size_t i = 0; i < entries; ++i) std::memcpy(&d[54 + 4 * i], colours[i % 4], 3);
  for (int y = 0; y < h; ++y) {
    uint8_t* row = &d[off + stride * static_cast<size_t>(l.topDown ? y : h - 1 - y)];
    for (int x = 0; x < w; ++x) {
      const int c = colourAt(x, y);
      const uint8_t* bgr = colours[c];
      switch (l.bits) {
        case 8: row[x] = static_cast<uint8_t>(c); break;
        case 16: {
          // 5-bit values that expand back to the same colours are not
          // possible; 16-bit files are compared among themselves only.
          const int v = ((bgr[2] >> 3) << 10) | ((bgr[1] >> 3) << 5) | (bgr[0] >> 3);
          row[2 * x] = static_cast<uint8_t>(v);
          row[2 * x + 1] = static_cast<uint8_t>(v >> 8);
          break;
        }
        case 24: std::memcpy(row + 3 * x, bgr, 3); break;
        default: std::memcpy(row + 4 * x, bgr, 3); break;
      }
    }
  }
  return d;
}

void Truncate(std::vector<uint8_t>& d, size_t n) {
  if (d.size() > n) d.erase(d.begin() + static_cast<std::ptrdiff_t>(n), d.end());
}

std::vector<uint8_t> Encode(const TempDir& dir, const std::vector<uint8_t>& bmp, int mode = 1) {
  const std::string in = dir.File("in.bmp"), out = dir.File("out.mpg");
  vexa::base::RemoveAll(out);
  EXPECT_TRUE(vexa::base::WriteFileAtomic(in, std::string(bmp.begin(), bmp.end())));
  if (Vidlathe2(in.c_str(), out.c_str(), 8, mode) != 1) return {};
  return ReadAll(out);
}

TEST(BmpFiles, EveryLayoutOfOnePictureGivesOneStream) {
  TempDir dir;
  const int w = 301, h = 203;  // odd sizes: padded rows, odd borders
  const auto reference = Encode(dir, MakeBmp(w, h, {24, false, 0}));
  ASSERT_FALSE(reference.empty());
  const BmpLayout same[] = {{24, true, 0}, {32, false, 0}, {32, true, 0}, {8, false, 0}, {8, true, 0},
                            {24, false, 37}, {8, false, 5}, {24, false, 0, 3}, {8, false, 0, 0, true},
                            {24, false, 0, 3, true}, {32, true, 0, 2, true}};
  for (const BmpLayout& l : same)
    EXPECT_EQ(reference, Encode(dir, MakeBmp(w, h, l)))
        << l.bits << " bits" << (l.topDown ? " top-down" : "") << " gap " << l.gap << " palette "
        << l.deepPalette << (l.zeroOffset ? " offset 0" : "");
  const auto sixteen = Encode(dir, MakeBmp(w, h, {16, false, 0}));
  ASSERT_FALSE(sixteen.empty());
  EXPECT_EQ(sixteen, Encode(dir, MakeBmp(w, h, {16, true, 0})));
  EXPECT_FALSE(Encode(dir, MakeBmp(w, h, {24, false, 0}), 4).empty());
}

TEST(BmpFiles, LyingHeadersAreRefused) {
  TempDir dir;
  struct Lie {
    const char* what;
    BmpLayout layout;
    std::function<void(std::vector<uint8_t>&)> edit;
  };
  const Lie lies[] = {
      {"no BM signature", {}, [](auto& d) { d[0] = 'X'; }},
      {"pixel offset past the end", {}, [](auto& d) { Put32(d, 10, static_cast<uint32_t>(d.size() + 10)); }},
      {"pixel offset inside the header", {8, false, 0}, [](auto& d) { Put32(d, 10, 20); }},
      {"height of INT_MIN", {}, [](auto& d) { Put32(d, 22, 0x80000000u); }},
      {"height larger than the data", {}, [](auto& d) { Put32(d, 22, 5000); }},
      {"top-down height larger than the data", {}, [](auto& d) { Put32(d, 22, static_cast<uint32_t>(-5000)); }},
      {"zero height", {}, [](auto& d) { Put32(d, 22, 0); }},
      {"negative width", {}, [](auto& d) { Put32(d, 18, static_cast<uint32_t>(-40)); }},
      {"huge width", {}, [](auto& d) { Put32(d, 18, 0x40000000u); }},
      {"palette of 1000 colours", {8, false, 0}, [](auto& d) { Put32(d, 46, 1000); }},
      {"palette past the end", {8, false, 0}, [](auto& d) { Truncate(d, 60); Put32(d, 46, 200); }},
      {"OS/2 12-byte header", {}, [](auto& d) { Put32(d, 14, 12); }},
      {"header size past the end", {}, [](auto& d) { Put32(d, 14, 0x7FFFFFF0u); }},
      {"compressed", {}, [](auto& d) { Put32(d, 30, 1); }},
      {"4 bits per pixel", {}, [](auto& d) { Put16(d, 28, 4); }},
      {"pixel data cut short", {}, [](auto& d) { Truncate(d, d.size() - 100); }},
      {"file shorter than a header", {}, [](auto& d) { Truncate(d, 30); }},
  };
  for (const Lie& lie : lies) {
    auto bmp = MakeBmp(64, 48, lie.layout);
    lie.edit(bmp);
    EXPECT_TRUE(Encode(dir, bmp).empty()) << lie.what;
    EXPECT_FALSE(vexa::base::FileExists(dir.File("out.mpg"))) << lie.what;
    // The reason names the file and says more than that it failed.
    const std::string reason = Vidlathe_GetLastFailure();
    EXPECT_EQ(0u, reason.find(dir.File("in.bmp") + ": ")) << lie.what << ": " << reason;
    EXPECT_GT(reason.size(), dir.File("in.bmp").size() + 12) << lie.what << ": " << reason;
  }
  EXPECT_EQ(0, Vidlathe2(dir.File("missing.bmp").c_str(), dir.File("out.mpg").c_str(), 8, 1));
  EXPECT_EQ(0, Vidlathe2(nullptr, dir.File("out.mpg").c_str(), 8, 1));
}

// One parser of bitmap headers serves the encoder and the picture layer:
// the picture layer reads every layout the encoder takes, the files
// without a pixel offset included, with the same colours.
TEST(BmpFiles, ThePictureLayerReadsEveryLayoutTheEncoderTakes) {
  const uint8_t colours[4][3] = {{0, 0, 0}, {255, 255, 255}, {40, 200, 90}, {200, 30, 60}};
  const BmpLayout layouts[] = {{24, false, 0}, {24, true, 0}, {32, false, 0}, {8, false, 0}, {8, true, 0},
                               {24, false, 37}, {8, false, 0, 0, true}, {24, false, 0, 3, true},
                               {32, true, 0, 2, true}};
  for (const BmpLayout& l : layouts) {
    const auto bmp = MakeBmp(41, 23, l);
    vexa::imaging::Bitmap pic;
    const vexa::imaging::Status st = vexa::imaging::LoadFromMemory(bmp, &pic);
    ASSERT_TRUE(st.ok()) << l.bits << " bits, offset 0: " << l.zeroOffset << ": " << st.Text();
    for (int y = 0; y < 23; y += 5)
      for (int x = 0; x < 41; x += 7) {
        uint8_t r, g, b;
        pic.GetRgb(x, y, &r, &g, &b);
        const uint8_t* want = colours[((x / 9) + (y / 7) * 3) % 4];
        ASSERT_EQ(want[2], r) << x << "," << y;
        ASSERT_EQ(want[1], g) << x << "," << y;
        ASSERT_EQ(want[0], b) << x << "," << y;
      }
  }
}

// The header handed to Vidlathe1 is checked the same way.
TEST(BmpFiles, Vidlathe1RefusesImpossibleHeaders) {
  TempDir dir;
  const std::string out = dir.File("out.mpg");
  std::vector<uint8_t> px(64 * 48 * 4);
  const BITMAPINFOHEADER good{40, 64, 48, 1, 32, 0, 0, 0, 0, 0, 0};
  struct Case {
    const char* what;
    std::function<void(BITMAPINFOHEADER&)> edit;
  };
  const Case cases[] = {
      {"image size smaller than the rows", [](auto& h) { h.biSizeImage = 100; }},
      {"height INT_MIN", [](auto& h) { h.biHeight = INT_MIN; }},
      {"zero width", [](auto& h) { h.biWidth = 0; }},
      {"1 bit per pixel", [](auto& h) { h.biBitCount = 1; }},
      {"bit fields", [](auto& h) { h.biCompression = 3; }},
      {"palette of 300", [](auto& h) { h.biBitCount = 8; h.biClrUsed = 300; }},
      {"palette behind a huge header", [](auto& h) { h.biBitCount = 8; h.biSize = 0x7FFFFFFF; }},
  };
  for (const Case& c : cases) {
    BITMAPINFOHEADER h = good;
    c.edit(h);
    EXPECT_EQ(0, Vidlathe1(px.data(), &h, out.c_str(), 8, 1)) << c.what;
  }
  BITMAPINFOHEADER h = good;
  EXPECT_EQ(1, Vidlathe1(px.data(), &h, out.c_str(), 8, 1));
  EXPECT_EQ(0, Vidlathe1(nullptr, &h, out.c_str(), 8, 1));
  EXPECT_EQ(0, Vidlathe1(px.data(), nullptr, out.c_str(), 8, 1));
}

}  // namespace
}  // namespace vidlathe::testing

namespace vidlathe::testing {
namespace {

// An 8-bit bitmap handed to Vidlathe1 with its palette right behind the
// header codes like the same picture in 24 bits.
TEST(BmpFiles, Vidlathe1ReadsThePaletteBehindTheHeader) {
  TempDir dir;
  const int w = 50, h = 30;
  struct {
    BITMAPINFOHEADER header;
    uint8_t palette[2][4];
  } info{{40, w, h, 1, 8, 0, 0, 0, 0, 2, 0}, {{10, 200, 30, 0}, {250, 20, 90, 0}}};
  std::vector<uint8_t> indices(52 * h), bgr((3 * w + 3) / 4 * 4 * h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const int c = (x / 5 + y / 3) % 2;
      indices[y * 52 + x] = static_cast<uint8_t>(c);
      std::memcpy(&bgr[y * ((3 * w + 3) / 4 * 4) + 3 * x], info.palette[c], 3);
    }
  BITMAPINFOHEADER rgb{40, w, h, 1, 24, 0, 0, 0, 0, 0, 0};
  const std::string a = dir.File("a.mpg"), b = dir.File("b.mpg");
  ASSERT_EQ(1, Vidlathe1(indices.data(), &info.header, a.c_str(), 8, 1));
  ASSERT_EQ(1, Vidlathe1(bgr.data(), &rgb, b.c_str(), 8, 1));
  EXPECT_EQ(ReadAll(a), ReadAll(b));
}

}  // namespace
}  // namespace vidlathe::testing
