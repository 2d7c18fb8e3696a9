#include "platform/imaging/Codec.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <utility>

#include "platform/base/File.h"
#include "platform/base/Path.h"
#include "platform/base/Text.h"
#include "platform/imaging/Decoders_p.h"
#include "platform/imaging/Kept_p.h"
#include "platform/imaging/Transform.h"

namespace vexa::imaging {
namespace {

using detail::Bytes;

enum class Kind { kJpeg, kBmp, kPng, kTiff, kGif, kOther };

Kind Sniff(Bytes d) {
  auto starts = [&](std::initializer_list<std::uint8_t> sig) {
    if (d.size() < sig.size()) return false;
    return std::equal(sig.begin(), sig.end(), d.begin());
  };
  if (starts({0xFF, 0xD8, 0xFF})) return Kind::kJpeg;
  if (starts({'B', 'M'})) return Kind::kBmp;
  if (starts({0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A})) return Kind::kPng;
  if (starts({'I', 'I', 42, 0}) || starts({'M', 'M', 0, 42})) return Kind::kTiff;
  if (starts({'G', 'I', 'F', '8'})) return Kind::kGif;
  return Kind::kOther;
}

// Only a regular file holds a picture: a folder is not a missing file, and
// a pipe or a device is refused rather than read without end.
Status ReadWhole(std::string_view path, std::string* out) {
  if (path.empty()) return ErrorCode::kInvalidParameter;
  const std::string p(path);
  struct stat st {};
  if (::stat(p.c_str(), &st) != 0) {
    const int error = errno;
    if (error == ENOENT || error == ENOTDIR) return Status(ErrorCode::kFileNotFound, p);
    return Status(ErrorCode::kFileRead, p + ": " + std::strerror(error));
  }
  if (S_ISDIR(st.st_mode)) return Status(ErrorCode::kFileRead, p + ": a folder, not a picture file");
  if (!S_ISREG(st.st_mode)) return Status(ErrorCode::kFileRead, p + ": not a regular file");
  // A file that changes while it is read fails, naming itself.
  std::string why;
  if (!base::ReadFile(path, out, &why)) return Status(ErrorCode::kFileRead, why.empty() ? p : why);
  return {};
}

// A failure about a file names the file.
Status Named(Status s, std::string_view path) {
  if (s.ok() || path.empty() || s.detail().rfind(std::string(path), 0) == 0) return s;
  return Status(s.code(), std::string(path) + (s.detail().empty() ? "" : ": " + s.detail()));
}

Bytes AsBytes(const std::string& s) {
  return {reinterpret_cast<const std::uint8_t*>(s.data()), s.size()};
}

Status WriteWhole(std::string_view path, std::string_view data) {
  if (path.empty()) return ErrorCode::kInvalidParameter;
  // The shared output helper refuses what must not be replaced (a link, a
  // folder, a file the user may not write) and says why.
  std::string why;
  if (!base::WriteFileAtomic(path, data, &why)) {
    return Status(ErrorCode::kFileWrite, why.empty() ? std::string(path) : why);
  }
  return {};
}

}  // namespace

bool ClaimsToBePicture(std::string_view path) {
  static constexpr std::string_view kOwnExtensions[] = {".jpg", ".jpeg", ".jpe", ".jfif", ".bmp", ".dib",
                                                         ".png", ".tif", ".tiff", ".gif"};
  const std::string extension = base::ToLowerAscii(base::Extension(path));
  for (std::string_view e : kOwnExtensions) {
    if (extension == e) return true;
  }
  base::InputFile in;
  if (!in.OpenRegular(path)) return false;
  // Enough for every signature: a Photo CD pack names itself 2048 bytes in.
  std::string head(0x808, '\0');
  std::size_t got = 0;
  while (got < head.size()) {
    const long long n = in.ReadSome(head.data() + got, head.size() - got);
    if (n <= 0) break;
    got += static_cast<std::size_t>(n);
  }
  head.resize(got);
  const Bytes bytes = AsBytes(head);
  return Sniff(bytes) != Kind::kOther || detail::MagickTakes(bytes, base::BaseName(path));
}

Status ReadInfoFromMemory(Bytes data, ImageInfo* info, std::string_view nameHint) {
  if (data.empty()) return ErrorCode::kFileTruncated;
  ImageInfo got;
  Status s;
  switch (Sniff(data)) {
    case Kind::kJpeg: s = detail::JpegInfo(data, &got); break;
    case Kind::kBmp: s = detail::BmpInfo(data, &got); break;
    case Kind::kPng: s = detail::PngInfo(data, &got); break;
    case Kind::kTiff: s = detail::TiffInfo(data, &got); break;
    case Kind::kGif: s = detail::GifInfo(data, &got); break;
    case Kind::kOther: s = detail::MagickInfo(data, nameHint, &got); break;
  }
  if (!s) return s;
  // The size of the picture as Load gives it: upright.
  if (!IsOrientation(got.orientation)) got.orientation = kOrientationUpright;
  if (OrientationSwapsSides(got.orientation)) std::swap(got.width, got.height);
  *info = got;
  return s;
}

Status ReadInfo(std::string_view path, ImageInfo* info) {
  std::string bytes;
  if (Status s = ReadWhole(path, &bytes); !s) return s;
  return Named(ReadInfoFromMemory(AsBytes(bytes), info, base::BaseName(path)), path);
}

static Status DecodeStored(Kind kind, Bytes data, Bitmap* bitmap, const LoadOptions& options,
                           std::string_view nameHint) {
  switch (kind) {
    case Kind::kJpeg: return detail::JpegDecode(data, options, bitmap);
    case Kind::kBmp: return detail::BmpDecode(data, bitmap);
    case Kind::kPng: return detail::PngDecode(data, bitmap);
    case Kind::kTiff: return detail::TiffDecode(data, bitmap);
    case Kind::kGif: return detail::GifDecode(data, bitmap);
    case Kind::kOther: return detail::MagickDecode(data, nameHint, bitmap);
  }
  return ErrorCode::kFormatUnknown;
}

// Decodes and turns the picture upright: the camera's orientation is
// applied here, once, before anything else is done with the pixels (a
// rotation the user asks for comes after it).
static Status DecodeBytes(Bytes data, Bitmap* bitmap, const LoadOptions& options, std::string_view nameHint) {
  if (data.empty()) return ErrorCode::kFileTruncated;
  const Kind kind = Sniff(data);
  const int orientation = kind == Kind::kJpeg   ? detail::JpegOrientation(data)
                          : kind == Kind::kTiff ? detail::TiffOrientation(data)
                                                : kOrientationUpright;
  if (orientation == kOrientationUpright) return DecodeStored(kind, data, bitmap, options, nameHint);
  // The minimum size is the upright picture's; the decoder scales the
  // stored one.
  LoadOptions stored = options;
  if (OrientationSwapsSides(orientation)) std::swap(stored.minWidth, stored.minHeight);
  Bitmap picture;
  if (Status s = DecodeStored(kind, data, &picture, stored, nameHint); !s) return s;
  return Orient(picture, orientation, bitmap);
}

Status LoadFromMemory(Bytes data, Bitmap* bitmap, const LoadOptions& options, std::string_view nameHint) {
  Status s = DecodeBytes(data, bitmap, options, nameHint);
  if (s) detail::NoteDecode(nameHint, *bitmap);
  return s;
}

Status Load(std::string_view path, Bitmap* bitmap, const LoadOptions& options) {
  if (detail::FindKeptPicture(path, options, bitmap)) return {};
  std::string bytes;
  if (Status s = ReadWhole(path, &bytes); !s) return s;
  Status s = DecodeBytes(AsBytes(bytes), bitmap, options, base::BaseName(path));
  if (s) detail::NoteDecode(path, *bitmap);
  return Named(std::move(s), path);
}

Status EncodeJpeg(const Bitmap& bitmap, const JpegOptions& options, std::string* out) {
  return detail::JpegEncode(bitmap, options, out);
}

Status SaveJpeg(std::string_view path, const Bitmap& bitmap, const JpegOptions& options) {
  std::string bytes;
  if (Status s = EncodeJpeg(bitmap, options, &bytes); !s) return Named(s, path);
  return WriteWhole(path, bytes);
}

Status Encode(const Bitmap& bitmap, int format, int qualityFactor, std::string* out) {
  if (bitmap.empty()) return ErrorCode::kEmptyBitmap;
  if (IsInFamily(format, FormatFamily::kJpg)) {
    JpegOptions o;
    o.quality = JpegQualityFromFactor(qualityFactor);
    return EncodeJpeg(bitmap, o, out);
  }
  if (IsInFamily(format, FormatFamily::kBmp)) return EncodeBmp(bitmap, out);
  return Status(ErrorCode::kUnsupportedSaveFormat, "format " + std::to_string(format));
}

Status Save(std::string_view path, const Bitmap& bitmap, int format, int qualityFactor) {
  if (bitmap.empty()) return ErrorCode::kEmptyBitmap;
  std::string bytes;
  if (Status s = Encode(bitmap, format, qualityFactor, &bytes); !s) return Named(s, path);
  return WriteWhole(path, bytes);
}

}  // namespace vexa::imaging
