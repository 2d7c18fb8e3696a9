#include "encoder/common/ColourConvert.h"

#include <cstring>
#include <vector>

#include "encoder/common/EncoderRecords.h"
#include "encoder/common/Kernels.h"

namespace vidlathe {

size_t BitmapStride(int width, int bitCount) {
  const size_t w = static_cast<size_t>(width);
  switch (bitCount) {
    case 8: return (w + 3) / 4 * 4;
    case 16: return (2 * w + 3) / 4 * 4;
    case 24: return (3 * w + 3) / 4 * 4;
    case 32: return 4 * w;
    default: return 0;
  }
}

bool ConvertBitmap(const BitmapSource& src, int W, int H, uint8_t* const planes[3]) {
  const BITMAPINFOHEADER& h = src.header;
  if (!src.pixels || W <= 0 || H <= 0 || (W | H) & 1) return false;
  if (h.biCompression != 0) return false;
  const int bits = h.biBitCount;
  if (bits != 8 && bits != 16 && bits != 24 && bits != 32) return false;
  if (h.biWidth <= 0 || h.biWidth > kMaxBitmapSide) return false;
  if (h.biHeight == 0 || h.biHeight < -kMaxBitmapSide || h.biHeight > kMaxBitmapSide) return false;
  const bool topDown = h.biHeight < 0;
  const int bw = h.biWidth;
  const int bh = topDown ? -h.biHeight : h.biHeight;
  const size_t stride = BitmapStride(bw, bits);
  if (stride * static_cast<size_t>(bh) > src.pixelBytes) return false;
  if (bits == 8 && (!src.palette || src.paletteEntries <= 0 || src.paletteEntries > 256)) return false;

  const Kernels& k = ActiveKernels();
  // Placement: borders when the bitmap is smaller, a centre cut when larger.
  const int dx = W - bw, dy = H - bh;
  const int left = dx > 0 ? dx / 2 : 0, top = dy > 0 ? dy / 2 : 0;
  const int srcX = dx < 0 ? -dx / 2 : 0, srcY = dy < 0 ? -dy / 2 : 0;
  const int cols = dx > 0 ? bw : W, rows = dy > 0 ? bh : H;

  std::vector<uint8_t> work(static_cast<size_t>(W) * H * 2 + static_cast<size_t>(W) * H);
  uint8_t* fullU = work.data();
  uint8_t* fullV = fullU + static_cast<size_t>(W) * H;
  uint8_t* half = fullV + static_cast<size_t>(W) * H;  // W/2 x H, reused for U then V
  std::memset(planes[0], 16, static_cast<size_t>(W) * H);
  std::memset(fullU, 128, static_cast<size_t>(W) * H);
  std::memset(fullV, 128, static_cast<size_t>(W) * H);

  std::vector<uint8_t> bgrx(static_cast<size_t>(cols) * 4);
  for (int r = 0; r < rows; ++r) {
    // Row r of the used part, counted from the top of the picture; bottom-up
    // bitmaps store the top row last.
    const int pictureRow = srcY + r;
    const int memRow = topDown ? pictureRow : bh - 1 - pictureRow;
    const uint8_t* line = src.pixels + static_cast<size_t>(memRow) * stride;
    uint8_t* out = bgrx.data();
    for (int c = 0; c < cols; ++c, out += 4) {
      const int x = srcX + c;
      switch (bits) {
        case 8: {
          const int index = line[x];
          if (index < src.paletteEntries) {
            std::memcpy(out, src.palette + 4 * index, 4);
          } else {
            out[0] = out[1] = out[2] = 0;  // an index past the palette is black
          }
          break;
        }
        case 16: {
          const int v = line[2 * x] | (line[2 * x + 1] << 8);
          out[2] = static_cast<uint8_t>((((v >> 10) & 31) << 3) | 7);
          out[1] = static_cast<uint8_t>((((v >> 5) & 31) << 3) | 7);
          out[0] = static_cast<uint8_t>(((v & 31) << 3) | 7);
          break;
        }
        case 24:
          out[0] = line[3 * x];
          out[1] = line[3 * x + 1];
          out[2] = line[3 * x + 2];
          break;
        default:
          out[0] = line[4 * x];
          out[1] = line[4 * x + 1];
          out[2] = line[4 * x + 2];
          break;
      }
      out[3] = 0;
    }
    const size_t at = static_cast<size_t>(top + r) * W + left;
    k.bgrx_to_yuv(bgrx.data(), cols, planes[0] + at, fullU + at, fullV + at);
  }
  k.decimate_h(fullU, half, W, H);
  k.decimate_v(half, planes[1], W, H);
  k.decimate_h(fullV, half, W, H);
  k.decimate_v(half, planes[2], W, H);
  return true;
}

bool MakeStillPlanes(const BitmapSource& src, uint32_t kind, int width, int height, StillPlanes* out) {
  const int W = width, H = height;
  const bool pair = kind == kStillPair;
  const int w = pair ? W / 2 : W, h = pair ? H / 2 : H;
  out->y.resize(static_cast<size_t>(w) * h);
  out->u.resize(static_cast<size_t>(w / 2) * (h / 2));
  out->v.resize(out->u.size());
  if (!pair) {
    uint8_t* planes[3] = {out->y.data(), out->u.data(), out->v.data()};
    return ConvertBitmap(src, W, H, planes);
  }
  out->y2.resize(static_cast<size_t>(W) * H);
  out->u2.resize(static_cast<size_t>(W / 2) * (H / 2));
  out->v2.resize(out->u2.size());
  uint8_t* planes[3] = {out->y2.data(), out->u2.data(), out->v2.data()};
  if (!ConvertBitmap(src, W, H, planes)) return false;
  MakeCompanion(out, W, H);
  return true;
}

void MakeCompanion(StillPlanes* s, int W, int H) {
  const int w = W / 2, h = H / 2;
  s->y.assign(static_cast<size_t>(w) * h, 0);
  s->u.assign(static_cast<size_t>(w / 2) * (h / 2), 0);
  s->v.assign(s->u.size(), 0);
  const Kernels& k = ActiveKernels();
  std::vector<uint8_t> halfRows(static_cast<size_t>(W / 2) * H);
  k.decimate_h(s->y2.data(), halfRows.data(), W, H);
  k.decimate_v(halfRows.data(), s->y.data(), W, H);
  for (int r = 0; r < h / 2; ++r)
    for (int c = 0; c < w / 2; ++c) {
      s->u[static_cast<size_t>(r) * (w / 2) + c] = s->u2[static_cast<size_t>(2 * r) * (W / 2) + 2 * c];
      s->v[static_cast<size_t>(r) * (w / 2) + c] = s->v2[static_cast<size_t>(2 * r) * (W / 2) + 2 * c];
    }
}

}  // namespace vidlathe
