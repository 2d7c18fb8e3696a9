// Our own BMP reader and writer. The reader accepts every header size in
// use (12-byte core and 64-byte OS/2 headers, the 40-byte header and its
// 52/56/108/124-byte successors), bottom-up and top-down rows, palettes,
// bit-field masks and RLE4/RLE8, and checks every size and offset against
// the length of the file before it reads or allocates anything.
#include <algorithm>
#include <bit>
#include <cstring>

#include "platform/imaging/BmpLayout.h"
#include "platform/imaging/Codec.h"
#include "platform/imaging/Decoders_p.h"

namespace vexa::imaging::detail {
namespace {

std::uint16_t U16(Bytes d, std::size_t at) { return static_cast<std::uint16_t>(d[at] | d[at + 1] << 8); }
std::uint32_t U32(Bytes d, std::size_t at) {
  return static_cast<std::uint32_t>(d[at]) | static_cast<std::uint32_t>(d[at + 1]) << 8 |
         static_cast<std::uint32_t>(d[at + 2]) << 16 | static_cast<std::uint32_t>(d[at + 3]) << 24;
}

constexpr std::uint32_t kRgb = 0, kRle8 = 1, kRle4 = 2, kBitFields = 3, kAlphaBitFields = 6;

using Header = BmpLayout;

}  // namespace
}  // namespace vexa::imaging::detail

namespace vexa::imaging {

Status ParseBmpLayout(std::span<const std::uint8_t> d, BmpLayout* h) {
  using namespace detail;
  if (d.size() < 2 || d[0] != 'B' || d[1] != 'M') return ErrorCode::kFormatUnknown;
  if (d.size() < 18) return ErrorCode::kFileTruncated;
  h->offBits = U32(d, 10);
  h->headerSize = U32(d, 14);
  const std::uint32_t hs = h->headerSize;
  bool known = hs == 12 || hs == 40 || hs == 52 || hs == 56 || hs == 108 || hs == 124 ||
               (hs >= 16 && hs <= 64 && hs % 4 == 0);
  if (!known) return Status(ErrorCode::kFileCorrupt, "unknown BMP header size");
  if (d.size() < 14 + std::size_t{hs}) return ErrorCode::kFileTruncated;
  if (hs == 12) {
    h->os2 = true;
    h->width = U16(d, 18);
    h->height = U16(d, 20);
    h->bpp = U16(d, 24);
    h->paletteEntrySize = 3;
  } else {
    h->os2 = hs != 40 && hs != 52 && hs != 56 && hs != 108 && hs != 124;
    h->width = static_cast<std::int32_t>(U32(d, 18));
    std::int64_t height = static_cast<std::int32_t>(U32(d, 22));
    h->topDown = height < 0;
    h->height = height < 0 ? -height : height;
    h->bpp = U16(d, 28);
    if (hs >= 20) h->compression = U32(d, 30);
    if (hs >= 36) h->colorsUsed = U32(d, 46);
    if (!h->os2 && hs >= 52) {
      for (int i = 0; i < (hs >= 56 ? 4 : 3); ++i) h->masks[i] = U32(d, 54 + 4 * i);
    }
  }
  h->paletteAt = 14 + std::size_t{hs};
  if (h->os2 && h->compression != kRgb && h->compression != kRle8 && h->compression != kRle4) {
    return Status(ErrorCode::kFileCorrupt, "unsupported OS/2 BMP compression");
  }
  if (!h->os2 && hs == 40 && (h->compression == kBitFields || h->compression == kAlphaBitFields)) {
    int n = h->compression == kBitFields ? 3 : 4;
    if (d.size() < h->paletteAt + 4 * n) return ErrorCode::kFileTruncated;
    for (int i = 0; i < n; ++i) h->masks[i] = U32(d, h->paletteAt + 4 * i);
    h->paletteAt += 4 * n;
  }
  if (Status s = CheckDimensions(h->width, h->height); !s) {
    return s.code() == ErrorCode::kInvalidParameter ? Status(ErrorCode::kFileCorrupt, "bad BMP size") : s;
  }
  switch (h->bpp) {
    case 1: case 4: case 8: case 24:
      if (h->compression == kRle8 && h->bpp != 8) return ErrorCode::kFileCorrupt;
      if (h->compression == kRle4 && h->bpp != 4) return ErrorCode::kFileCorrupt;
      if (h->compression != kRgb && h->compression != kRle8 && h->compression != kRle4) {
        return Status(ErrorCode::kFileCorrupt, "unsupported BMP compression");
      }
      break;
    case 16: case 32:
      if (h->compression != kRgb && h->compression != kBitFields && h->compression != kAlphaBitFields) {
        return Status(ErrorCode::kFileCorrupt, "unsupported BMP compression");
      }
      break;
    default:
      return ErrorCode::kUnsupportedDepth;
  }
  if ((h->compression == kRle8 || h->compression == kRle4) && h->topDown) {
    return Status(ErrorCode::kFileCorrupt, "top-down RLE BMP");
  }
  if (h->offBits == 0) {
    // The pixels follow the colour table: the palette of a bitmap of 8 bits
    // or fewer, the colours listed as used in a deeper one.
    const std::uint64_t entries = h->bpp <= 8 ? (h->colorsUsed ? std::min<std::uint32_t>(h->colorsUsed, 256u)
                                                              : (1u << h->bpp))
                                              : h->colorsUsed;
    const std::uint64_t at = h->paletteAt + entries * static_cast<std::uint64_t>(h->paletteEntrySize);
    if (at > d.size()) return Status(ErrorCode::kFileTruncated, "BMP colour table runs past the end of the file");
    h->offBits = static_cast<std::uint32_t>(at);
  }
  if (h->offBits < h->paletteAt || h->offBits > d.size()) {
    return h->offBits > d.size() ? Status(ErrorCode::kFileTruncated) : Status(ErrorCode::kFileCorrupt);
  }
  return {};
}

}  // namespace vexa::imaging

namespace vexa::imaging::detail {
namespace {

Status ParseHeader(Bytes d, Header* h) { return ParseBmpLayout(d, h); }

struct Channel {
  int shift = 0;
  std::uint64_t max = 0;
  std::uint8_t Get(std::uint32_t v, std::uint32_t mask) const {
    if (max == 0) return 0;
    return static_cast<std::uint8_t>(((v & mask) >> shift) * 255 / max);
  }
};

Channel MakeChannel(std::uint32_t mask) {
  Channel c;
  if (mask == 0) return c;
  c.shift = std::countr_zero(mask);
  int bits = std::popcount(mask >> c.shift);
  c.max = (std::uint64_t{1} << bits) - 1;
  return c;
}

// RLE8 / RLE4 into an 8-bit picture whose rows are stored top-down.
Status DecodeRle(Bytes d, const Header& h, Bitmap* out) {
  std::size_t p = h.offBits;
  const int w = out->width(), rows = out->height();
  int x = 0, line = 0;  // line counts from the bottom
  auto put = [&](int v) {
    if (x < w && line < rows) out->row(rows - 1 - line)[x] = static_cast<std::uint8_t>(v);
    ++x;
  };
  const bool four = h.compression == kRle4;
  while (true) {
    if (p + 2 > d.size()) return ErrorCode::kFileTruncated;
    int n = d[p], c = d[p + 1];
    p += 2;
    if (n > 0) {
      for (int i = 0; i < n; ++i) put(four ? ((i & 1) ? c & 15 : c >> 4) : c);
      continue;
    }
    if (c == 0) {  // end of line
      x = 0;
      ++line;
    } else if (c == 1) {  // end of bitmap
      return {};
    } else if (c == 2) {  // delta
      if (p + 2 > d.size()) return ErrorCode::kFileTruncated;
      x += d[p];
      line += d[p + 1];
      p += 2;
    } else {  // absolute run of c pixels, padded to a 16-bit boundary
      std::size_t bytes = four ? (static_cast<std::size_t>(c) + 1) / 2 : static_cast<std::size_t>(c);
      if (p + bytes > d.size()) return ErrorCode::kFileTruncated;
      for (int i = 0; i < c; ++i) put(four ? ((i & 1) ? d[p + i / 2] & 15 : d[p + i / 2] >> 4) : d[p + i]);
      p += (bytes + 1) & ~std::size_t{1};
    }
    if (line >= rows) return {};
  }
}

}  // namespace

Status BmpInfo(Bytes data, ImageInfo* info) {
  Header h;
  if (Status s = ParseHeader(data, &h); !s) return s;
  info->format = h.os2 ? kFormatBmpOs2 : kFormatBmp;
  info->width = static_cast<int>(h.width);
  info->height = static_cast<int>(h.height);
  info->bitsPerPixel = h.bpp;
  return {};
}

Status BmpDecode(Bytes d, Bitmap* bitmap) {
  Header h;
  if (Status s = ParseHeader(d, &h); !s) return s;
  const bool rle = h.compression == kRle8 || h.compression == kRle4;
  const std::uint64_t rowBytes = (static_cast<std::uint64_t>(h.width) * h.bpp + 31) / 32 * 4;
  if (!rle && h.offBits + rowBytes * static_cast<std::uint64_t>(h.height) > d.size()) {
    return Status(ErrorCode::kFileTruncated, "BMP pixel data shorter than its header says");
  }
  // The picture is all it holds: the rows are read from the file's bytes.
  const int depth = h.bpp <= 8 ? 8 : 24;
  if (Status s = CheckDecodeBytes(BitmapBytes(h.width, h.height, depth)); !s) return s;
  Bitmap out;
  if (Status s = out.Create(static_cast<int>(h.width), static_cast<int>(h.height), depth); !s) return s;
  if (h.bpp <= 8) {
    std::uint64_t count = h.colorsUsed ? h.colorsUsed : (1u << h.bpp);
    if (count > 256) count = 256;
    if (h.paletteAt + count * h.paletteEntrySize > h.offBits) {
      // The palette must lie between the header and the pixels.
      std::uint64_t room = (h.offBits - h.paletteAt) / h.paletteEntrySize;
      if (h.colorsUsed != 0 || room == 0) return Status(ErrorCode::kFileCorrupt, "BMP palette overlaps pixels");
      count = room;
    }
    auto& pal = out.palette();
    pal.assign(256, PaletteEntry{0, 0, 0, 255});
    for (std::uint64_t i = 0; i < count; ++i) {
      std::size_t at = h.paletteAt + i * h.paletteEntrySize;
      pal[i] = {d[at], d[at + 1], d[at + 2], 255};
    }
  }
  if (rle) {
    if (Status s = DecodeRle(d, h, &out); !s) return s;
  } else {
    std::uint32_t masks[3] = {h.masks[0], h.masks[1], h.masks[2]};
    if (h.compression == kRgb) {
      if (h.bpp == 16) {
        masks[0] = 0x7C00; masks[1] = 0x03E0; masks[2] = 0x001F;
      } else {
        masks[0] = 0xFF0000; masks[1] = 0xFF00; masks[2] = 0xFF;
      }
    }
    Channel red = MakeChannel(masks[0]), green = MakeChannel(masks[1]), blue = MakeChannel(masks[2]);
    for (int line = 0; line < out.height(); ++line) {
      const std::uint8_t* s = d.data() + h.offBits + rowBytes * line;
      std::uint8_t* o = out.row(h.topDown ? line : out.height() - 1 - line);
      const int w = out.width();
      switch (h.bpp) {
        case 1:
          for (int x = 0; x < w; ++x) o[x] = (s[x >> 3] >> (7 - (x & 7))) & 1;
          break;
        case 4:
          for (int x = 0; x < w; ++x) o[x] = (x & 1) ? s[x >> 1] & 15 : s[x >> 1] >> 4;
          break;
        case 8:
          std::memcpy(o, s, static_cast<std::size_t>(w));
          break;
        case 24:
          std::memcpy(o, s, static_cast<std::size_t>(w) * 3);
          break;
        case 16:
        case 32:
          for (int x = 0; x < w; ++x) {
            std::uint32_t v = h.bpp == 16 ? static_cast<std::uint32_t>(s[2 * x] | s[2 * x + 1] << 8)
                                          : static_cast<std::uint32_t>(s[4 * x] | s[4 * x + 1] << 8 |
                                                                       s[4 * x + 2] << 16) |
                                                static_cast<std::uint32_t>(s[4 * x + 3]) << 24;
            o[3 * x + 0] = blue.Get(v, masks[2]);
            o[3 * x + 1] = green.Get(v, masks[1]);
            o[3 * x + 2] = red.Get(v, masks[0]);
          }
          break;
      }
    }
  }
  out.set_format(h.os2 ? kFormatBmpOs2 : kFormatBmp);
  *bitmap = std::move(out);
  return {};
}

}  // namespace vexa::imaging::detail

namespace vexa::imaging {
namespace {

void Put16(std::vector<std::uint8_t>* o, std::uint32_t v) {
  o->push_back(static_cast<std::uint8_t>(v));
  o->push_back(static_cast<std::uint8_t>(v >> 8));
}
void Put32(std::vector<std::uint8_t>* o, std::uint32_t v) {
  Put16(o, v & 0xFFFF);
  Put16(o, v >> 16);
}

// Header, colour table and bottom-up rows; `fileHeader` adds the 14 bytes of
// a BMP file in front.
Status Encode(const Bitmap& bitmap, bool fileHeader, std::vector<std::uint8_t>* out) {
  if (bitmap.empty()) return ErrorCode::kEmptyBitmap;
  const int bpp = bitmap.bitsPerPixel() == 8 ? 8 : 24;
  const std::uint32_t colours = bpp == 8 ? 256 : 0;
  const std::uint64_t rowBytes = (static_cast<std::uint64_t>(bitmap.width()) * bpp + 31) / 32 * 4;
  const std::uint64_t image = rowBytes * bitmap.height();
  const std::uint32_t offBits = (fileHeader ? 14 : 0) + 40 + 4 * colours;
  if (image + offBits > 0xFFFFFFFFu) return ErrorCode::kImageTooLarge;
  std::vector<std::uint8_t> o;
  o.reserve(offBits + image);
  if (fileHeader) {
    o.push_back('B');
    o.push_back('M');
    Put32(&o, static_cast<std::uint32_t>(offBits + image));
    Put32(&o, 0);
    Put32(&o, offBits);
  }
  Put32(&o, 40);
  Put32(&o, static_cast<std::uint32_t>(bitmap.width()));
  Put32(&o, static_cast<std::uint32_t>(bitmap.height()));
  Put16(&o, 1);
  Put16(&o, static_cast<std::uint32_t>(bpp));
  Put32(&o, 0);  // uncompressed
  Put32(&o, static_cast<std::uint32_t>(image));
  Put32(&o, 3780);  // 96 dpi in pixels per metre
  Put32(&o, 3780);
  Put32(&o, colours);
  Put32(&o, 0);
  for (std::uint32_t i = 0; i < colours; ++i) {
    PaletteEntry e = i < bitmap.palette().size() ? bitmap.palette()[i] : PaletteEntry{};
    o.push_back(e.blue);
    o.push_back(e.green);
    o.push_back(e.red);
    o.push_back(0);
  }
  for (int y = bitmap.height() - 1; y >= 0; --y) {
    const std::uint8_t* s = bitmap.row(y);
    std::size_t start = o.size();
    if (bitmap.bitsPerPixel() == 32) {
      for (int x = 0; x < bitmap.width(); ++x) o.insert(o.end(), s + 4 * x, s + 4 * x + 3);
    } else {
      o.insert(o.end(), s, s + static_cast<std::size_t>(bitmap.width()) * (bpp / 8));
    }
    o.resize(start + rowBytes, 0);
  }
  *out = std::move(o);
  return {};
}

}  // namespace

Status EncodeBmp(const Bitmap& bitmap, std::string* out) {
  std::vector<std::uint8_t> bytes;
  if (Status s = Encode(bitmap, true, &bytes); !s) return s;
  out->assign(bytes.begin(), bytes.end());
  return {};
}

Status EncodePackedDib(const Bitmap& bitmap, std::vector<std::uint8_t>* out) {
  return Encode(bitmap, false, out);
}

}  // namespace vexa::imaging
