// PNG through libpng's simplified reader. Pictures with transparency become
// 32-bit, all others 24-bit.
#include <png.h>

#include <cstring>

#include "platform/imaging/Codec.h"
#include "platform/imaging/Decoders_p.h"

namespace vexa::imaging::detail {
namespace {

Status Begin(Bytes data, png_image* image) {
  std::memset(image, 0, sizeof(*image));
  image->version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_memory(image, data.data(), data.size())) {
    std::string msg = image->message;
    png_image_free(image);
    return Status(ErrorCode::kFileCorrupt, msg);
  }
  if (Status s = CheckDimensions(image->width, image->height); !s) {
    png_image_free(image);
    return s;
  }
  return {};
}

}  // namespace

Status PngInfo(Bytes data, ImageInfo* info) {
  png_image image;
  if (Status s = Begin(data, &image); !s) return s;
  info->format = kFormatPng;
  info->width = static_cast<int>(image.width);
  info->height = static_cast<int>(image.height);
  int channels = PNG_IMAGE_SAMPLE_CHANNELS(image.format);
  info->bitsPerPixel = channels * 8 * static_cast<int>(PNG_IMAGE_SAMPLE_COMPONENT_SIZE(image.format));
  png_image_free(&image);
  return {};
}

namespace {

// The bytes of one stored row, its filter byte included, from the header
// (which Begin has read: the signature and IHDR come first).
std::uint64_t StoredRowBytes(Bytes data, std::uint32_t width) {
  const unsigned depth = data[24];
  unsigned samples = 1;
  switch (data[25]) {
    case 2: samples = 3; break;  // RGB
    case 4: samples = 2; break;  // grey and alpha
    case 6: samples = 4; break;  // RGBA
    default: break;              // grey, palette
  }
  return (std::uint64_t{width} * samples * depth + 7) / 8 + 1;
}

}  // namespace

Status PngDecode(Bytes data, Bitmap* bitmap) {
  png_image image;
  if (Status s = Begin(data, &image); !s) return s;
  // zlib shrinks by at most 1032 times: a file far shorter than the
  // samples it claims (width x height x samples x their bytes) is refused
  // before the picture is allocated.
  const std::uint64_t rowBytes = StoredRowBytes(data, image.width);
  if (rowBytes * image.height / 1032 > data.size()) {
    png_image_free(&image);
    return Status(ErrorCode::kFileTruncated, "PNG data far shorter than its picture size needs");
  }
  bool alpha = (image.format & PNG_FORMAT_FLAG_ALPHA) != 0;
  // The picture and libpng's rows beside it: the row being read, the one
  // before it (for the filters) and one of our format.
  if (Status s = CheckDecodeBytes(BitmapBytes(image.width, image.height, alpha ? 32 : 24) + 4 * rowBytes); !s) {
    png_image_free(&image);
    return s;
  }
  image.format = alpha ? PNG_FORMAT_BGRA : PNG_FORMAT_BGR;
  Bitmap out;
  if (Status s = out.Allocate(static_cast<int>(image.width), static_cast<int>(image.height), alpha ? 32 : 24); !s) {
    png_image_free(&image);
    return s;
  }
  if (!png_image_finish_read(&image, nullptr, out.data(), static_cast<png_int_32>(out.stride()), nullptr)) {
    std::string msg = image.message;
    png_image_free(&image);
    bool truncated = msg.find("EOF") != std::string::npos || msg.find("end") != std::string::npos ||
                     msg.find("short") != std::string::npos;
    return Status(truncated ? ErrorCode::kFileTruncated : ErrorCode::kFileCorrupt, msg);
  }
  png_image_free(&image);
  out.set_format(kFormatPng);
  *bitmap = std::move(out);
  return {};
}

}  // namespace vexa::imaging::detail
