// TEMPORARY: see TemporaryBmpReader.h.
#include "tools/vidlathe-cli/TemporaryBmpReader.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <fstream>
#include <iterator>

namespace vidlathe_cli {
namespace {

uint32_t Le32(const uint8_t* p) {
  return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

}  // namespace

bool ReadPicture(const std::string& path, Picture* out, std::string* error) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    *error = "cannot open " + path;
    return false;
  }
  const std::vector<uint8_t> d((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (d.size() < 54 || d[0] != 'B' || d[1] != 'M') {
    *error = path + ": not a .bmp file (other picture formats need the picture library)";
    return false;
  }
  const uint32_t off = Le32(&d[10]), info = Le32(&d[14]);
  const int32_t w = static_cast<int32_t>(Le32(&d[18])), h = static_cast<int32_t>(Le32(&d[22]));
  const int bits = d[28] | (d[29] << 8);
  const uint32_t compression = Le32(&d[30]);
  uint32_t colours = Le32(&d[46]);
  if (bits == 8 && colours == 0) colours = 256;
  const bool topDown = h < 0;
  const int64_t rows = topDown ? -static_cast<int64_t>(h) : h;
  const size_t stride = (static_cast<size_t>(w) * bits + 31) / 32 * 4;
  const size_t paletteAt = 14 + static_cast<size_t>(info);
  if (info < 40 || compression != 0 || (bits != 8 && bits != 24 && bits != 32) || w <= 0 || w > 30000 ||
      rows <= 0 || rows > 30000 || colours > 256 || paletteAt + 4 * colours > d.size() ||
      off > d.size() || stride * static_cast<size_t>(rows) > d.size() - off) {
    *error = path + ": unsupported or damaged .bmp file";
    return false;
  }
  out->width = w;
  out->height = static_cast<int>(rows);
  out->bgrx.assign(static_cast<size_t>(w) * rows * 4, 0);
  for (int64_t y = 0; y < rows; ++y) {
    const uint8_t* line = &d[off + stride * static_cast<size_t>(topDown ? y : rows - 1 - y)];
    uint8_t* o = &out->bgrx[static_cast<size_t>(y) * w * 4];
    for (int x = 0; x < w; ++x, o += 4) {
      if (bits == 8) {
        const uint32_t i = line[x];
        if (i < colours) std::memcpy(o, &d[paletteAt + 4 * i], 3);
      } else {
        std::memcpy(o, line + x * (bits / 8), 3);
      }
    }
  }
  return true;
}

Picture FitInto(const Picture& in, int w, int h) {
  Picture out;
  out.width = w;
  out.height = h;
  out.bgrx.assign(static_cast<size_t>(w) * h * 4, 0);
  const double scale = std::min(static_cast<double>(w) / in.width, static_cast<double>(h) / in.height);
  const int sw = std::max(1, static_cast<int>(std::lround(in.width * scale)));
  const int sh = std::max(1, static_cast<int>(std::lround(in.height * scale)));
  const int ox = (w - sw) / 2, oy = (h - sh) / 2;
  for (int y = 0; y < sh; ++y)
    for (int x = 0; x < sw; ++x) {
      // The source area that maps onto this pixel, at least one pixel wide.
      const double x0 = x / scale, x1 = std::max(x0 + 1, (x + 1) / scale);
      const double y0 = y / scale, y1 = std::max(y0 + 1, (y + 1) / scale);
      const int ix0 = std::min(in.width - 1, static_cast<int>(x0)), ix1 = std::min(in.width, static_cast<int>(std::ceil(x1)));
      const int iy0 = std::min(in.height - 1, static_cast<int>(y0)), iy1 = std::min(in.height, static_cast<int>(std::ceil(y1)));
      double sum[3] = {0, 0, 0};
      int n = 0;
      for (int yy = iy0; yy < iy1; ++yy)
        for (int xx = ix0; xx < ix1; ++xx, ++n)
          for (int c = 0; c < 3; ++c) sum[c] += in.bgrx[(static_cast<size_t>(yy) * in.width + xx) * 4 + c];
      uint8_t* o = &out.bgrx[(static_cast<size_t>(oy + y) * w + ox + x) * 4];
      for (int c = 0; c < 3; ++c) o[c] = static_cast<uint8_t>(sum[c] / std::max(1, n) + 0.5);
    }
  return out;
}

}  // namespace vidlathe_cli
