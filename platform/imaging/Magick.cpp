// The fallback reader: GraphicsMagick, for PCD, PICT and the few other
// formats this layer accepts without a reader of its own. Only an allow-list
// of formats is passed to it, chosen by signature or by the file's
// extension, so no other of its many coders ever sees outside input.
#include <magick/api.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <mutex>

#include "platform/imaging/Codec.h"
#include "platform/imaging/Decoders_p.h"

namespace vexa::imaging::detail {
namespace {

struct Coder {
  const char* extension;
  const char* magick;
  int format;
};

constexpr Coder kCoders[] = {
    {"pcd", "PCD", kFormatPcd},   {"pct", "PICT", kFormatPict}, {"pict", "PICT", kFormatPict},
    {"pic", "PICT", kFormatPict}, {"tga", "TGA", kFormatOther}, {"pcx", "PCX", kFormatOther},
    {"psd", "PSD", kFormatOther}, {"ppm", "PNM", kFormatOther}, {"pgm", "PNM", kFormatOther},
    {"pbm", "PNM", kFormatOther}, {"pnm", "PNM", kFormatOther}, {"sgi", "SGI", kFormatOther},
    {"ras", "SUN", kFormatOther},
};

const Coder* PickCoder(Bytes d, std::string_view nameHint) {
  // A Photo CD image pack names itself 2048 bytes in.
  if (d.size() >= 0x807 && std::memcmp(d.data() + 0x800, "PCD_IPI", 7) == 0) return &kCoders[0];
  auto dot = nameHint.rfind('.');
  if (dot == std::string_view::npos) return nullptr;
  std::string ext(nameHint.substr(dot + 1));
  std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return std::tolower(c); });
  for (const Coder& c : kCoders) {
    if (ext == c.extension) return &c;
  }
  return nullptr;
}

}  // namespace

bool MagickTakes(Bytes data, std::string_view nameHint) { return PickCoder(data, nameHint) != nullptr; }

namespace {

void Init() {
  static std::once_flag once;
  std::call_once(once, [] {
    InitializeMagick(nullptr);
    // The reader's own limit on one picture's pixels, behind the count of
    // MagickDecode: its pixel cache and our picture within what one
    // decode may take.
    SetMagickResourceLimit(PixelsResource,
                           static_cast<magick_int64_t>(kMaxDecodeBytes / (sizeof(PixelPacket) + 3)));
  });
}

// Reads (or only pings) through the coder; the caller destroys the image.
Status Read(Bytes data, const Coder& coder, bool ping, Image** image) {
  // The reader's default resolution of a Photo CD pack is its base picture,
  // 768 x 512. The pack holds that picture (4:2:0 YCC) at 0x30000;
  // the reader does not notice when that is cut short, so we check.
  if (coder.format == kFormatPcd && data.size() < 0x30000 + 768 * 512 * 3 / 2) {
    return Status(ErrorCode::kFileTruncated, "Photo CD base picture is cut short");
  }
  Init();
  ::ImageInfo* info = CloneImageInfo(nullptr);
  std::snprintf(info->magick, sizeof(info->magick), "%s", coder.magick);
  std::snprintf(info->filename, sizeof(info->filename), "%s:memory", coder.magick);
  ExceptionInfo exception;
  GetExceptionInfo(&exception);
  Image* img = ping ? PingBlob(info, data.data(), data.size(), &exception)
                    : BlobToImage(info, data.data(), data.size(), &exception);
  Status s;
  if (!img || exception.severity >= ErrorException) {
    std::string why = exception.reason ? exception.reason : "";
    bool truncated = why.find("nexpected end") != std::string::npos ||
                     why.find("nsufficient") != std::string::npos;
    // A picture beyond the reader's limit on pixels (set in Init) is too
    // large, not damaged.
    const ErrorCode code = exception.severity == ResourceLimitError ? ErrorCode::kImageTooLarge
                           : truncated                               ? ErrorCode::kFileTruncated
                                                                     : ErrorCode::kFileCorrupt;
    s = Status(code, why);
    if (img) DestroyImageList(img);
    img = nullptr;
  }
  DestroyExceptionInfo(&exception);
  DestroyImageInfo(info);
  if (s && img) {
    s = CheckDimensions(static_cast<std::int64_t>(img->columns), static_cast<std::int64_t>(img->rows));
    if (!s) {
      DestroyImageList(img);
      img = nullptr;
    }
  }
  *image = img;
  return s;
}

}  // namespace

Status MagickInfo(Bytes data, std::string_view nameHint, ImageInfo* info) {
  const Coder* coder = PickCoder(data, nameHint);
  if (!coder) return ErrorCode::kFormatUnknown;
  Image* img = nullptr;
  if (Status s = Read(data, *coder, true, &img); !s) return s;
  info->format = coder->format;
  info->width = static_cast<int>(img->columns);
  info->height = static_cast<int>(img->rows);
  info->bitsPerPixel = img->matte ? 32 : 24;
  DestroyImageList(img);
  return {};
}

Status MagickDecode(Bytes data, std::string_view nameHint, Bitmap* bitmap) {
  const Coder* coder = PickCoder(data, nameHint);
  if (!coder) return ErrorCode::kFormatUnknown;
  // The reader holds the whole picture in its own pixel cache, beside the
  // one made here from it: both are counted from the header (a ping reads
  // no pixels) before anything is decoded.
  Image* img = nullptr;
  if (Status s = Read(data, *coder, true, &img); !s) return s;
  const std::uint64_t columns = img->columns, rows = img->rows;
  DestroyImageList(img);
  img = nullptr;
  if (Status s = CheckDecodeBytes(columns * rows * sizeof(PixelPacket) + BitmapBytes(columns, rows, 24)); !s) return s;
  if (Status s = Read(data, *coder, false, &img); !s) return s;
  Bitmap out;
  Status s = out.Create(static_cast<int>(img->columns), static_cast<int>(img->rows), 24);
  ExceptionInfo exception;
  GetExceptionInfo(&exception);
  for (int y = 0; s && y < out.height(); ++y) {
    if (DispatchImage(img, 0, y, img->columns, 1, "BGR", CharPixel, out.row(y), &exception) != MagickPass) {
      s = Status(ErrorCode::kFileCorrupt, exception.reason ? exception.reason : "");
    }
  }
  DestroyExceptionInfo(&exception);
  DestroyImageList(img);
  if (!s) return s;
  out.set_format(coder->format);
  *bitmap = std::move(out);
  return {};
}

}  // namespace vexa::imaging::detail
