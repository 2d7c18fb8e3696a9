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

Status PngDecode(Bytes data, Bitmap* bitmap) {
  png_image image;
  if (Status s = Begin(data, &image); !s) return s;
  // zlib shrinks by at most about 1032 times: a file far shorter than the
  // picture it claims is refused before the picture is allocated.
  if (static_cast<std::uint64_t>(image.width) * image.height / 8 / 1032 > data.size()) {
    png_image_free(&image);
    return Status(ErrorCode::kFileTruncated, "PNG data far shorter than its picture size needs");
  }
  bool alpha = (image.format & PNG_FORMAT_FLAG_ALPHA) != 0;
  image.format = alpha ? PNG_FORMAT_BGRA : PNG_FORMAT_BGR;
  Bitmap out;
  if (Status s = out.Create(static_cast<int>(image.width), static_cast<int>(image.height), alpha ? 32 : 24); !s) {
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
