#include "encoder/common/BitmapFile.h"

#include <climits>

#include "encoder/common/Failure.h"
#include "encoder/common/InputFile.h"

namespace vidlathe {

namespace {

uint32_t Le32(const uint8_t* p) {
  return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24);
}
uint16_t Le16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }

}  // namespace

// Reads a Windows bitmap file completely and checks every part of it before
// use: signature, header size, dimensions, depth, compression, palette and
// pixel data must all lie inside the file. false for anything else.
bool ReadBmpFile(const std::string& path, std::vector<uint8_t>* file, BitmapSource* out) {
  InputFile f;
  if (!f.Open(path)) return false;
  constexpr size_t kMaxFile = size_t{1} << 30;
  std::vector<uint8_t>& d = *file;
  d.clear();
  uint8_t buf[65536];
  size_t n;
  while ((n = f.Read(buf, sizeof buf)) > 0) {
    d.insert(d.end(), buf, buf + n);
    if (d.size() > kMaxFile) return Fail(FileReason(path, "is larger than a bitmap the encoder takes (1 GB)"));
  }
  if (f.failed()) return false;
  if (d.size() < 14 + 40) return Fail(FileReason(path, "is too short for a bitmap file"));
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
