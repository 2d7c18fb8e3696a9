// The per-format readers and writers behind Codec.h (not a public header).
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "platform/imaging/Bitmap.h"
#include "platform/imaging/Error.h"

// Declared in Codec.h, which the readers' sources include; here they are
// only taken by reference.
namespace vexa::imaging {
struct ImageInfo;
struct JpegOptions;
struct LoadOptions;
}  // namespace vexa::imaging

namespace vexa::imaging::detail {

using Bytes = std::span<const std::uint8_t>;

// The bytes of a picture of that size and depth as Bitmap::Create makes
// it (rows padded to 4 bytes): what a decoder counts for its result.
inline std::uint64_t BitmapBytes(std::uint64_t width, std::uint64_t height, int bitsPerPixel) {
  return ((width * static_cast<std::uint64_t>(bitsPerPixel) / 8 + 3) & ~std::uint64_t{3}) * height;
}

// The readers' ImageInfo gives the size as stored, with the orientation;
// their decoders give the pixels as stored. Codec.cpp turns both upright.
Status JpegInfo(Bytes data, ImageInfo* info);
Status JpegDecode(Bytes data, const LoadOptions& options, Bitmap* bitmap);
Status JpegEncode(const Bitmap& bitmap, const JpegOptions& options, std::string* out);
// The camera orientation its EXIF segment gives (1 to 8; 1 without one).
int JpegOrientation(Bytes data);

Status BmpInfo(Bytes data, ImageInfo* info);
Status BmpDecode(Bytes data, Bitmap* bitmap);

Status PngInfo(Bytes data, ImageInfo* info);
Status PngDecode(Bytes data, Bitmap* bitmap);

Status TiffInfo(Bytes data, ImageInfo* info);
// The pixels as stored, before the file's orientation is applied.
Status TiffDecode(Bytes data, Bitmap* bitmap);
// The file's Orientation tag (1 to 8; 1 without one).
int TiffOrientation(Bytes data);

Status GifInfo(Bytes data, ImageInfo* info);
Status GifDecode(Bytes data, Bitmap* bitmap);

// The fallback reader for every other format; nameHint (a file name) helps
// it pick formats without a signature.
Status MagickInfo(Bytes data, std::string_view nameHint, ImageInfo* info);
// Whether the fallback reader would take the data: by its signature or by
// the extension of nameHint.
bool MagickTakes(Bytes data, std::string_view nameHint);
Status MagickDecode(Bytes data, std::string_view nameHint, Bitmap* bitmap);

}  // namespace vexa::imaging::detail
