// The library's exported entry points.
#include <climits>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "encoder/common/ColourConvert.h"
#include "encoder/coder/StillEncoder.h"
#include "encoder/Vidlathe.h"

namespace vidlathe {
namespace {

int ClampQuantiser(int q) { return q < 2 ? 2 : q > 62 ? 62 : q; }

std::string Text(const char* s) { return s ? std::string(s) : std::string(); }

// One bitmap into a still stream of mode 1..4.
int EncodeOneBitmap(const BitmapSource& src, const char* outputPath, int quantiser, int mode) {
  StillMode m;
  if (!VidlatheMode(mode, &m) || !src.pixels) return 0;
  StillPlanes planes;
  if (!MakeStillPlanes(src, m, &planes)) return 0;
  bool given = false;
  auto feed = [&](StillPlanes* out, uint32_t* ms) {
    if (given) return false;
    *out = std::move(planes);
    *ms = 0;
    given = true;
    return true;
  };
  return EncodeStillStream(m, ClampQuantiser(quantiser), 1, feed, Text(outputPath), "", false);
}

uint32_t Le32(const uint8_t* p) {
  return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24);
}
uint16_t Le16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }

}  // namespace

// Reads a Windows bitmap file completely and checks every part of it before
// use: signature, header size, dimensions, depth, compression, palette and
// pixel data must all lie inside the file. false for anything else.
bool ReadBmpFile(const std::string& path, std::vector<uint8_t>* file, BitmapSource* out) {
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return false;
  constexpr size_t kMaxFile = size_t{1} << 30;
  std::vector<uint8_t>& d = *file;
  d.clear();
  uint8_t buf[65536];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) {
    d.insert(d.end(), buf, buf + n);
    if (d.size() > kMaxFile) break;
  }
  const bool readError = std::ferror(f) != 0;
  std::fclose(f);
  if (readError || d.size() > kMaxFile || d.size() < 14 + 40) return false;
  if (d[0] != 'B' || d[1] != 'M') return false;
  const uint32_t offBits = Le32(&d[10]);
  const uint32_t infoSize = Le32(&d[14]);
  if (infoSize < 40 || infoSize > d.size() - 14) return false;  // 12-byte OS/2 headers too
  BITMAPINFOHEADER h{};
  h.biSize = infoSize;
  h.biWidth = static_cast<LONG>(Le32(&d[18]));
  h.biHeight = static_cast<LONG>(Le32(&d[22]));
  h.biPlanes = Le16(&d[26]);
  h.biBitCount = Le16(&d[28]);
  h.biCompression = Le32(&d[30]);
  h.biSizeImage = Le32(&d[34]);
  h.biClrUsed = Le32(&d[46]);
  if (h.biCompression != 0) return false;
  if (h.biBitCount != 8 && h.biBitCount != 16 && h.biBitCount != 24 && h.biBitCount != 32) return false;
  if (h.biWidth <= 0 || h.biWidth > kMaxBitmapSide) return false;
  if (h.biHeight == 0 || h.biHeight == INT_MIN || h.biHeight < -kMaxBitmapSide ||
      h.biHeight > kMaxBitmapSide)
    return false;
  const size_t paletteAt = 14 + static_cast<size_t>(infoSize);
  size_t entries = 0;
  if (h.biBitCount == 8) {
    entries = h.biClrUsed == 0 ? 256 : h.biClrUsed;
    if (entries > 256) return false;
  }
  const size_t paletteEnd = paletteAt + 4 * entries;
  if (paletteEnd > d.size()) return false;
  // The pixels start where the file header says; a zero offset (written by
  // some tools) means right after the palette, which deeper bitmaps may
  // carry too (biClrUsed entries that the conversion does not need).
  const size_t skipped = h.biBitCount > 8 ? static_cast<size_t>(h.biClrUsed) : entries;
  const size_t pixelsAt = offBits == 0 ? paletteAt + 4 * skipped : offBits;
  if (pixelsAt < paletteEnd || pixelsAt > d.size()) return false;
  const size_t rows = static_cast<size_t>(h.biHeight < 0 ? -static_cast<int64_t>(h.biHeight) : h.biHeight);
  const size_t need = BitmapStride(h.biWidth, h.biBitCount) * rows;
  if (need > d.size() - pixelsAt) return false;
  out->header = h;
  out->pixels = d.data() + pixelsAt;
  out->pixelBytes = need;
  out->palette = entries ? d.data() + paletteAt : nullptr;
  out->paletteEntries = static_cast<int>(entries);
  return true;
}

}  // namespace vidlathe

using namespace vidlathe;

extern "C" int Vidlathe1(void* bits, BITMAPINFOHEADER* header, const char* outputPath,
                         int quantiser, int mode) {
  if (!bits || !header) return 0;
  BitmapSource src;
  src.header = *header;  // the caller's header is never changed
  src.pixels = static_cast<const uint8_t*>(bits);
  // Nothing tells how large the caller's buffer is: it must hold stride x
  // height bytes, and a stated image size smaller than that is refused.
  const int64_t rows = header->biHeight < 0 ? -static_cast<int64_t>(header->biHeight) : header->biHeight;
  const size_t need = header->biWidth > 0 && rows <= kMaxBitmapSide
                          ? BitmapStride(header->biWidth, header->biBitCount) * static_cast<size_t>(rows)
                          : 0;
  if (header->biSizeImage != 0 && header->biSizeImage < need) return 0;
  src.pixelBytes = need;
  if (header->biBitCount == 8) {
    // The palette follows the header; a header size that is not a real
    // header's would point it anywhere.
    const DWORD used = header->biClrUsed == 0 ? 256 : header->biClrUsed;
    if (used > 256 || header->biSize < 40 || header->biSize > 1024) return 0;
    src.palette = reinterpret_cast<const uint8_t*>(header) + header->biSize;
    src.paletteEntries = static_cast<int>(used);
  }
  return EncodeOneBitmap(src, outputPath, quantiser, mode);
}

extern "C" int Vidlathe2(const char* bmpPath, const char* outputPath, int quantiser, int mode) {
  if (!bmpPath) return 0;
  StillMode m;
  if (!VidlatheMode(mode, &m)) return 0;
  std::vector<uint8_t> file;
  BitmapSource src;
  if (!ReadBmpFile(bmpPath, &file, &src)) return 0;
  return EncodeOneBitmap(src, outputPath, quantiser, mode);
}

extern "C" int Multi_I_Enc_Still_MP2(int count, PictureSource source, const char* outputPath,
                                     int quantiser, int mode, const char* mp2Path, int loop) {
  StillMode m;
  if (!MultiStillMode(mode, &m) || !source || !outputPath) return 0;
  const std::string audio = Text(mp2Path);
  if (!audio.empty()) {
    StreamProperties props;
    Get_MP2_Prop(audio.c_str(), &props);
    if (!props.audioValid || !props.audioLayer2At44k) return 0;
  }
  // The library's picture buffer and header, handed to the source each time.
  const size_t bytes = static_cast<size_t>(m.width) * m.height * 4;
  std::vector<uint8_t> pixels(bytes);
  auto feed = [&](StillPlanes* planes, uint32_t* ms) {
    BITMAPINFOHEADER h{};
    h.biSize = 40;
    h.biWidth = m.width;
    h.biHeight = m.height;
    h.biPlanes = 1;
    h.biBitCount = 32;
    h.biSizeImage = static_cast<DWORD>(bytes);
    const int shown = source(pixels.data(), &h);
    if (shown <= 0) return false;
    BitmapSource src;
    src.header = h;
    src.pixels = pixels.data();
    src.pixelBytes = bytes;
    if (!MakeStillPlanes(src, m, planes)) return false;
    *ms = static_cast<uint32_t>(shown);
    return true;
  };
  return EncodeStillStream(m, ClampQuantiser(quantiser), count < 0 ? 0 : count, feed, outputPath,
                           audio, loop != 0);
}

extern "C" int Multi_I_Enc_Still(int count, PictureSource source, const char* outputPath,
                                 int quantiser, int mode) {
  return Multi_I_Enc_Still_MP2(count, source, outputPath, quantiser, mode, nullptr, 0);
}
