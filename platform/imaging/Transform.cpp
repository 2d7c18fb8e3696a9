#include "platform/imaging/Transform.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numbers>
#include <vector>

#include "platform/imaging/Resample.h"

namespace vexa::imaging {
namespace {

// Exact quarter turns, clockwise.
Status QuarterTurns(const Bitmap& src, int quarters, Bitmap* dst) {
  const int w = src.width(), h = src.height(), n = src.bytesPerPixel();
  Bitmap out;
  bool swap = quarters % 2 == 1;
  if (Status s = out.Create(swap ? h : w, swap ? w : h, src.bitsPerPixel()); !s) return s;
  out.palette() = src.palette();
  for (int y = 0; y < out.height(); ++y) {
    std::uint8_t* d = out.row(y);
    for (int x = 0; x < out.width(); ++x, d += n) {
      int sx, sy;
      switch (quarters) {
        case 1: sx = y; sy = h - 1 - x; break;          // 90
        case 2: sx = w - 1 - x; sy = h - 1 - y; break;  // 180
        case 3: sx = w - 1 - y; sy = x; break;          // 270
        default: sx = x; sy = y; break;
      }
      std::memcpy(d, src.row(sy) + static_cast<std::size_t>(sx) * n, static_cast<std::size_t>(n));
    }
  }
  *dst = std::move(out);
  return {};
}

Status AnyAngle(const Bitmap& src, double degrees, bool enlarge, Bitmap* dst) {
  const double a = degrees * std::numbers::pi / 180.0;
  const double c = std::cos(a), s = std::sin(a);
  const int w = src.width(), h = src.height(), n = src.bytesPerPixel();
  int ow = w, oh = h;
  if (enlarge) {
    ow = static_cast<int>(std::ceil(std::fabs(w * c) + std::fabs(h * s) - 1e-6));
    oh = static_cast<int>(std::ceil(std::fabs(w * s) + std::fabs(h * c) - 1e-6));
  }
  Bitmap out;
  if (Status st = out.Create(std::max(ow, 1), std::max(oh, 1), src.bitsPerPixel()); !st) return st;
  const double ocx = out.width() / 2.0, ocy = out.height() / 2.0, icx = w / 2.0, icy = h / 2.0;
  auto sample = [&](int x, int y, int ch) -> double {
    if (x < 0 || y < 0 || x >= w || y >= h) return ch == 3 ? 255.0 : 0.0;  // black, opaque
    return src.row(y)[static_cast<std::size_t>(x) * n + ch];
  };
  for (int y = 0; y < out.height(); ++y) {
    std::uint8_t* d = out.row(y);
    for (int x = 0; x < out.width(); ++x, d += n) {
      // Inverse of the clockwise turn (y grows downwards).
      double dx = x + 0.5 - ocx, dy = y + 0.5 - ocy;
      double sx = dx * c + dy * s + icx - 0.5;
      double sy = -dx * s + dy * c + icy - 0.5;
      int x0 = static_cast<int>(std::floor(sx)), y0 = static_cast<int>(std::floor(sy));
      double fx = sx - x0, fy = sy - y0;
      if (x0 < -1 || y0 < -1 || x0 >= w || y0 >= h) {
        for (int ch = 0; ch < n; ++ch) d[ch] = ch == 3 ? 255 : 0;
        continue;
      }
      for (int ch = 0; ch < n; ++ch) {
        double v = (1 - fy) * ((1 - fx) * sample(x0, y0, ch) + fx * sample(x0 + 1, y0, ch)) +
                   fy * ((1 - fx) * sample(x0, y0 + 1, ch) + fx * sample(x0 + 1, y0 + 1, ch));
        d[ch] = static_cast<std::uint8_t>(std::clamp(std::lround(v), 0L, 255L));
      }
    }
  }
  *dst = std::move(out);
  return {};
}

// Copies the upright picture from `origin`, the stored pixel that becomes
// its top-left one: one step right in the upright picture is `stepX` bytes
// in the stored one, one step down `stepY`. Done in tiles, so that the
// stored rows a quarter turn reads across stay in the cache.
template <int N>
void CopyOriented(const std::uint8_t* origin, std::ptrdiff_t stepX, std::ptrdiff_t stepY, Bitmap* out) {
  constexpr int kTile = 64;
  const int w = out->width(), h = out->height();
  for (int ty = 0; ty < h; ty += kTile) {
    const int yEnd = std::min(h, ty + kTile);
    for (int tx = 0; tx < w; tx += kTile) {
      const int xEnd = std::min(w, tx + kTile);
      for (int y = ty; y < yEnd; ++y) {
        // An offset, not a pointer: past the last pixel it may point nowhere.
        std::ptrdiff_t at = y * stepY + tx * stepX;
        std::uint8_t* d = out->row(y) + static_cast<std::size_t>(tx) * N;
        for (int x = tx; x < xEnd; ++x, at += stepX, d += N) std::memcpy(d, origin + at, N);
      }
    }
  }
}

}  // namespace

Status Rotate(const Bitmap& input, int hundredths, bool enlarge, Bitmap* dst) {
  if (input.empty()) return ErrorCode::kEmptyBitmap;
  Bitmap converted;
  const Bitmap* src = &input;
  if (input.bitsPerPixel() == 8) {
    if (Status s = ConvertDepth(input, 24, &converted); !s) return s;
    src = &converted;
  }
  int turn = ((hundredths % 36000) + 36000) % 36000;
  Bitmap out;
  if (turn % 9000 == 0) {
    if (Status s = QuarterTurns(*src, turn / 9000, &out); !s) return s;
    if (!enlarge && (out.width() != src->width() || out.height() != src->height())) {
      // Same canvas as the source: centre the turned picture on black.
      Bitmap canvas;
      if (Status s = canvas.Create(src->width(), src->height(), src->bitsPerPixel()); !s) return s;
      if (Status s = Fill(&canvas, 0, 0, 0); !s) return s;
      if (Status s = Combine(&canvas, (canvas.width() - out.width()) / 2, (canvas.height() - out.height()) / 2, out);
          !s) {
        return s;
      }
      out = std::move(canvas);
    }
  } else if (Status s = AnyAngle(*src, turn / 100.0, enlarge, &out); !s) {
    return s;
  }
  out.set_format(input.format());
  *dst = std::move(out);
  return {};
}

Status CopyRect(const Bitmap& src, int x, int y, int width, int height, Bitmap* dst) {
  if (src.empty()) return ErrorCode::kEmptyBitmap;
  if (x < 0 || y < 0 || width < 1 || height < 1 || width > src.width() - x || height > src.height() - y) {
    return ErrorCode::kInvalidParameter;
  }
  Bitmap out;
  if (Status s = out.Create(width, height, src.bitsPerPixel()); !s) return s;
  out.palette() = src.palette();
  const std::size_t n = static_cast<std::size_t>(src.bytesPerPixel());
  for (int r = 0; r < height; ++r) {
    std::memcpy(out.row(r), src.row(y + r) + x * n, width * n);
  }
  out.set_format(src.format());
  *dst = std::move(out);
  return {};
}

Status Fill(Bitmap* bitmap, std::uint8_t red, std::uint8_t green, std::uint8_t blue) {
  if (bitmap->empty()) return ErrorCode::kEmptyBitmap;
  if (bitmap->bitsPerPixel() == 8) return ErrorCode::kUnsupportedDepth;
  const int n = bitmap->bytesPerPixel();
  for (int y = 0; y < bitmap->height(); ++y) {
    std::uint8_t* d = bitmap->row(y);
    for (int x = 0; x < bitmap->width(); ++x, d += n) {
      d[0] = blue;
      d[1] = green;
      d[2] = red;
      if (n == 4) d[3] = 255;
    }
  }
  return {};
}

Status Combine(Bitmap* dst, int x, int y, const Bitmap& src) {
  if (dst->empty() || src.empty()) return ErrorCode::kEmptyBitmap;
  if (dst->bitsPerPixel() == 8) return ErrorCode::kUnsupportedDepth;
  const int x0 = std::max(0, x), y0 = std::max(0, y);
  const int x1 = static_cast<int>(std::min<std::int64_t>(dst->width(), std::int64_t{x} + src.width()));
  const int y1 = static_cast<int>(std::min<std::int64_t>(dst->height(), std::int64_t{y} + src.height()));
  if (x1 <= x0 || y1 <= y0) return {};  // wholly outside: nothing to copy
  const int dn = dst->bytesPerPixel(), sn = src.bytesPerPixel();
  for (int dy = y0; dy < y1; ++dy) {
    std::uint8_t* d = dst->row(dy) + static_cast<std::size_t>(x0) * dn;
    const int sy = dy - y;
    if (dn == sn) {
      std::memcpy(d, src.row(sy) + static_cast<std::size_t>(x0 - x) * sn, static_cast<std::size_t>(x1 - x0) * dn);
      continue;
    }
    for (int dx = x0; dx < x1; ++dx, d += dn) {
      std::uint8_t r, g, b;
      src.GetRgb(dx - x, sy, &r, &g, &b);
      d[0] = b;
      d[1] = g;
      d[2] = r;
      if (dn == 4) d[3] = 255;
    }
  }
  return {};
}

Status Average(const Bitmap& input, int size, Bitmap* dst) {
  if (input.empty()) return ErrorCode::kEmptyBitmap;
  if (size < 1 || size > 2 * kMaxDimension + 1) return ErrorCode::kInvalidParameter;
  Bitmap converted;
  const Bitmap* src = &input;
  if (input.bitsPerPixel() == 8) {
    if (Status s = ConvertDepth(input, 24, &converted); !s) return s;
    src = &converted;
  }
  const int w = src->width(), h = src->height(), n = src->bytesPerPixel();
  Bitmap out;
  if (Status s = out.Create(w, h, src->bitsPerPixel()); !s) return s;
  // Sums along rows, then along columns, each over the window with the
  // edge pixels repeated: a separable box filter.
  const std::int64_t before = (size - 1) / 2, after = size / 2;
  const std::int64_t area = static_cast<std::int64_t>(size) * size;
  // The window's first sum over positions [-before, after] of a line of
  // `count` values, edges repeated: the part before the line counts the first
  // value, the part after it the last.
  auto firstSum = [&](std::int64_t count, auto value) {
    std::int64_t sum = 0;
    const std::int64_t lowEnd = std::min<std::int64_t>(after, -1);
    if (lowEnd >= -before) sum += (lowEnd + before + 1) * value(0);
    const std::int64_t highStart = std::max<std::int64_t>(-before, count);
    if (after >= highStart) sum += (after - highStart + 1) * value(count - 1);
    for (std::int64_t k = std::max<std::int64_t>(-before, 0); k <= std::min<std::int64_t>(after, count - 1); ++k) {
      sum += value(k);
    }
    return sum;
  };
  auto clampTo = [](std::int64_t k, int count) { return static_cast<int>(std::clamp<std::int64_t>(k, 0, count - 1)); };
  std::vector<std::uint64_t> rows(static_cast<std::size_t>(w) * h * n);
  for (int y = 0; y < h; ++y) {
    const std::uint8_t* line = src->row(y);
    for (int ch = 0; ch < n; ++ch) {
      std::uint64_t sum = static_cast<std::uint64_t>(
          firstSum(w, [&](std::int64_t k) { return std::int64_t{line[static_cast<std::size_t>(k) * n + ch]}; }));
      for (int x = 0; x < w; ++x) {
        rows[(static_cast<std::size_t>(y) * w + x) * n + ch] = sum;
        const int leaving = clampTo(x - before, w), entering = clampTo(x + after + 1, w);
        sum += line[static_cast<std::size_t>(entering) * n + ch];
        sum -= line[static_cast<std::size_t>(leaving) * n + ch];
      }
    }
  }
  for (int x = 0; x < w; ++x) {
    for (int ch = 0; ch < n; ++ch) {
      auto at = [&](std::int64_t y) {
        return static_cast<std::int64_t>(rows[(static_cast<std::size_t>(clampTo(y, h)) * w + x) * n + ch]);
      };
      std::int64_t sum = firstSum(h, at);
      for (int y = 0; y < h; ++y) {
        out.row(y)[static_cast<std::size_t>(x) * n + ch] = static_cast<std::uint8_t>((sum + area / 2) / area);
        sum += at(y + after + 1);
        sum -= at(y - before);
      }
    }
  }
  out.set_format(input.format());
  *dst = std::move(out);
  return {};
}

BoxFit FitIntoBox(int w, int h, int boxW, int boxH, bool upsample) {
  BoxFit f;
  if (w < 1 || h < 1 || boxW < 1 || boxH < 1) return f;
  const std::int64_t W = w, H = h, BW = boxW, BH = boxH;
  if (!upsample && W <= BW && H <= BH) {
    f.width = w;
    f.height = h;
  } else if (BW * H <= BH * W) {  // the width limits
    f.width = boxW;
    f.height = static_cast<int>(std::max<std::int64_t>(1, H * BW / W));
  } else {
    f.height = boxH;
    f.width = static_cast<int>(std::max<std::int64_t>(1, W * BH / H));
  }
  f.x = (boxW - f.width) / 2;
  f.y = (boxH - f.height) / 2;
  return f;
}

Status ResizeIntoBox(const Bitmap& src, int boxW, int boxH, bool upsample, std::optional<std::uint32_t> matte,
                     Bitmap* dst) {
  if (src.empty()) return ErrorCode::kEmptyBitmap;
  if (Status s = CheckDimensions(boxW, boxH); !s) return s;
  BoxFit fit = FitIntoBox(src.width(), src.height(), boxW, boxH, upsample);
  Bitmap picture;
  if (Status s = Resize(src, fit.width, fit.height, &picture); !s) return s;
  if (!matte) {
    *dst = std::move(picture);
    return {};
  }
  Bitmap box;
  if (Status s = box.Create(boxW, boxH, picture.bitsPerPixel()); !s) return s;
  if (Status s = Fill(&box, RedOf(*matte), GreenOf(*matte), BlueOf(*matte)); !s) return s;
  if (Status s = Combine(&box, fit.x, fit.y, picture); !s) return s;
  box.set_format(src.format());
  *dst = std::move(box);
  return {};
}

Status Orient(const Bitmap& src, int orientation, Bitmap* dst) {
  if (src.empty()) return ErrorCode::kEmptyBitmap;
  if (!IsOrientation(orientation) || orientation == kOrientationUpright) {
    *dst = src;
    return {};
  }
  const int w = src.width(), h = src.height(), n = src.bytesPerPixel();
  const bool swap = OrientationSwapsSides(orientation);
  Bitmap out;
  if (Status s = out.Allocate(swap ? h : w, swap ? w : h, src.bitsPerPixel()); !s) return s;
  out.palette() = src.palette();
  out.set_format(src.format());
  const std::ptrdiff_t pixel = n, row = static_cast<std::ptrdiff_t>(src.stride());
  // The stored pixel of the upright top-left corner, and the steps through
  // the stored picture that one pixel right and one pixel down take.
  int x0 = 0, y0 = 0;
  std::ptrdiff_t stepX = pixel, stepY = row;
  switch (orientation) {
    case 2: x0 = w - 1; stepX = -pixel; break;
    case 3: x0 = w - 1; y0 = h - 1; stepX = -pixel; stepY = -row; break;
    case 4: y0 = h - 1; stepY = -row; break;
    case 5: stepX = row; stepY = pixel; break;
    case 6: y0 = h - 1; stepX = -row; stepY = pixel; break;
    case 7: x0 = w - 1; y0 = h - 1; stepX = -row; stepY = -pixel; break;
    case 8: x0 = w - 1; stepX = row; stepY = -pixel; break;
    default: break;
  }
  const std::uint8_t* origin = src.row(y0) + static_cast<std::size_t>(x0) * n;
  switch (n) {
    case 1: CopyOriented<1>(origin, stepX, stepY, &out); break;
    case 3: CopyOriented<3>(origin, stepX, stepY, &out); break;
    case 4: CopyOriented<4>(origin, stepX, stepY, &out); break;
    default: return ErrorCode::kUnsupportedDepth;
  }
  *dst = std::move(out);
  return {};
}

}  // namespace vexa::imaging
