#include "platform/imaging/Bitmap.h"

#include <cstring>
#include <new>
#include <string>

namespace vexa::imaging {

Status CheckDimensions(std::int64_t width, std::int64_t height) {
  if (width < 1 || height < 1) return ErrorCode::kInvalidParameter;
  if (width > kMaxDimension || height > kMaxDimension || width * height > kMaxPixels) {
    return ErrorCode::kImageTooLarge;
  }
  return {};
}

Status CheckDecodeBytes(std::uint64_t bytes) {
  if (bytes <= static_cast<std::uint64_t>(kMaxDecodeBytes)) return {};
  constexpr std::uint64_t kMiB = std::uint64_t{1} << 20;
  return Status(ErrorCode::kImageTooLarge, "decoding it takes " + std::to_string((bytes + kMiB - 1) / kMiB) +
                                               " MiB, more than the " +
                                               std::to_string(static_cast<std::uint64_t>(kMaxDecodeBytes) / kMiB) +
                                               " MiB one picture may take");
}

Status Bitmap::Create(int width, int height, int bitsPerPixel) { return Reserve(width, height, bitsPerPixel, true); }

Status Bitmap::Allocate(int width, int height, int bitsPerPixel) {
  return Reserve(width, height, bitsPerPixel, false);
}

Status Bitmap::Reserve(int width, int height, int bitsPerPixel, bool clear) {
  if (bitsPerPixel != 8 && bitsPerPixel != 24 && bitsPerPixel != 32) {
    return ErrorCode::kUnsupportedDepth;
  }
  if (Status s = CheckDimensions(width, height); !s) return s;
  // Rows are padded to 4 bytes, as device-independent bitmaps are.
  std::size_t stride = (static_cast<std::size_t>(width) * bitsPerPixel / 8 + 3) & ~std::size_t{3};
  try {
    decltype(pixels_) pixels(stride * static_cast<std::size_t>(height));
    pixels_.swap(pixels);
  } catch (const std::bad_alloc&) {
    Free();
    return ErrorCode::kNoMemory;
  }
  const std::size_t used = static_cast<std::size_t>(width) * bitsPerPixel / 8;
  if (clear) {
    std::memset(pixels_.data(), 0, pixels_.size());
  } else if (used < stride) {
    for (int y = 0; y < height; ++y) std::memset(pixels_.data() + y * stride + used, 0, stride - used);
  }
  width_ = width;
  height_ = height;
  bpp_ = bitsPerPixel;
  stride_ = stride;
  format_ = kFormatOther;
  palette_.clear();
  if (bitsPerPixel == 8) {
    palette_.resize(256);
    for (int i = 0; i < 256; ++i) {
      auto v = static_cast<std::uint8_t>(i);
      palette_[i] = {v, v, v, 255};
    }
  }
  return {};
}

void Bitmap::Free() {
  decltype(pixels_)().swap(pixels_);
  palette_.clear();
  width_ = height_ = bpp_ = 0;
  stride_ = 0;
  format_ = kFormatOther;
}

void Bitmap::GetRgb(int x, int y, std::uint8_t* r, std::uint8_t* g, std::uint8_t* b) const {
  const std::uint8_t* p = row(y);
  if (bpp_ == 8) {
    std::uint8_t i = p[x];
    PaletteEntry e = i < palette_.size() ? palette_[i] : PaletteEntry{};
    *r = e.red;
    *g = e.green;
    *b = e.blue;
    return;
  }
  p += static_cast<std::size_t>(x) * (bpp_ / 8);
  *b = p[0];
  *g = p[1];
  *r = p[2];
}

Status ConvertDepth(const Bitmap& src, int bitsPerPixel, Bitmap* dst) {
  if (src.empty()) return ErrorCode::kEmptyBitmap;
  if (bitsPerPixel != 24 && bitsPerPixel != 32) return ErrorCode::kUnsupportedDepth;
  Bitmap out;
  if (Status s = out.Create(src.width(), src.height(), bitsPerPixel); !s) return s;
  out.set_format(src.format());
  int outBytes = bitsPerPixel / 8;
  const auto& pal = src.palette();
  for (int y = 0; y < src.height(); ++y) {
    const std::uint8_t* s = src.row(y);
    std::uint8_t* d = out.row(y);
    for (int x = 0; x < src.width(); ++x, d += outBytes) {
      if (src.bitsPerPixel() == 8) {
        PaletteEntry e = s[x] < pal.size() ? pal[s[x]] : PaletteEntry{};
        d[0] = e.blue;
        d[1] = e.green;
        d[2] = e.red;
      } else {
        std::memcpy(d, s + static_cast<std::size_t>(x) * src.bytesPerPixel(), 3);
      }
      if (outBytes == 4) {
        d[3] = src.bitsPerPixel() == 32 ? s[static_cast<std::size_t>(x) * 4 + 3] : 255;
      }
    }
  }
  *dst = std::move(out);
  return {};
}

}  // namespace vexa::imaging
