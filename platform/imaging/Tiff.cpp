// TIFF through libtiff, read from memory by client procedures. libtiff's
// own messages are silenced; its failures become our error numbers.
#include <tiffio.h>

#include <cstring>
#include <mutex>

#include "platform/imaging/Codec.h"
#include "platform/imaging/Decoders_p.h"

namespace vexa::imaging::detail {
namespace {

struct Source {
  Bytes data;
  toff_t pos = 0;
};

tsize_t ReadProc(thandle_t h, tdata_t buf, tsize_t size) {
  auto* s = static_cast<Source*>(h);
  if (size <= 0 || s->pos >= s->data.size()) return 0;
  toff_t n = std::min<toff_t>(static_cast<toff_t>(size), s->data.size() - s->pos);
  std::memcpy(buf, s->data.data() + s->pos, n);
  s->pos += n;
  return static_cast<tsize_t>(n);
}
tsize_t WriteProc(thandle_t, tdata_t, tsize_t) { return -1; }
toff_t SeekProc(thandle_t h, toff_t off, int whence) {
  auto* s = static_cast<Source*>(h);
  std::int64_t base = whence == SEEK_SET ? 0 : whence == SEEK_CUR ? static_cast<std::int64_t>(s->pos)
                                                                   : static_cast<std::int64_t>(s->data.size());
  std::int64_t to = base + static_cast<std::int64_t>(off);
  if (to < 0) return static_cast<toff_t>(-1);
  s->pos = static_cast<toff_t>(to);
  return s->pos;
}
int CloseProc(thandle_t) { return 0; }
toff_t SizeProc(thandle_t h) { return static_cast<Source*>(h)->data.size(); }
int MapProc(thandle_t, tdata_t*, toff_t*) { return 0; }
void UnmapProc(thandle_t, tdata_t, toff_t) {}

TIFF* Open(Source* src) {
  static std::once_flag quiet;
  std::call_once(quiet, [] {
    TIFFSetErrorHandler(nullptr);
    TIFFSetWarningHandler(nullptr);
  });
  // "m" keeps libtiff from memory-mapping the (client) file.
  return TIFFClientOpen("memory", "rm", src, ReadProc, WriteProc, SeekProc, CloseProc, SizeProc, MapProc,
                        UnmapProc);
}

// The Orientation tag; 1 when missing or out of range.
int Orientation(TIFF* tif) {
  std::uint16_t orientation = ORIENTATION_TOPLEFT;
  TIFFGetFieldDefaulted(tif, TIFFTAG_ORIENTATION, &orientation);
  return orientation >= ORIENTATION_TOPLEFT && orientation <= ORIENTATION_LEFTBOT ? orientation : ORIENTATION_TOPLEFT;
}

Status ReadSize(TIFF* tif, ImageInfo* info) {
  std::uint32_t w = 0, h = 0;
  std::uint16_t bps = 1, spp = 1;
  if (!TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &w) || !TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &h)) {
    return ErrorCode::kFileCorrupt;
  }
  TIFFGetFieldDefaulted(tif, TIFFTAG_BITSPERSAMPLE, &bps);
  TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLESPERPIXEL, &spp);
  if (Status s = CheckDimensions(w, h); !s) return s;
  info->format = kFormatTiff;
  info->width = static_cast<int>(w);
  info->height = static_cast<int>(h);
  info->bitsPerPixel = bps * spp;
  info->orientation = Orientation(tif);
  return {};
}

}  // namespace

Status TiffInfo(Bytes data, ImageInfo* info) {
  Source src{data};
  TIFF* tif = Open(&src);
  if (!tif) return ErrorCode::kFileCorrupt;
  Status s = ReadSize(tif, info);
  TIFFClose(tif);
  return s;
}

int TiffOrientation(Bytes data) {
  Source src{data};
  TIFF* tif = Open(&src);
  if (!tif) return ORIENTATION_TOPLEFT;
  const int orientation = Orientation(tif);
  TIFFClose(tif);
  return orientation;
}

Status TiffDecode(Bytes data, Bitmap* bitmap) {
  Source src{data};
  TIFF* tif = Open(&src);
  if (!tif) return ErrorCode::kFileCorrupt;
  ImageInfo info;
  Status s = ReadSize(tif, &info);
  std::vector<std::uint32_t> rgba;
  if (s) {
    try {
      rgba.resize(static_cast<std::size_t>(info.width) * info.height);
    } catch (const std::bad_alloc&) {
      s = ErrorCode::kNoMemory;
    }
  }
  // Asked for the orientation the file is stored in, the reader moves no
  // rows or columns: the pixels come as stored, first row first, and
  // Codec.cpp turns them upright for every orientation alike (the reader
  // itself would only mirror, never turn by a quarter).
  if (s && !TIFFReadRGBAImageOriented(tif, static_cast<std::uint32_t>(info.width),
                                      static_cast<std::uint32_t>(info.height), rgba.data(), info.orientation,
                                      1)) {
    s = Status(ErrorCode::kFileCorrupt, "TIFF pixel data could not be read");
  }
  TIFFClose(tif);
  if (!s) return s;
  bool alpha = false;
  for (std::uint32_t v : rgba) {
    if (TIFFGetA(v) != 255) {
      alpha = true;
      break;
    }
  }
  Bitmap out;
  if (Status c = out.Create(info.width, info.height, alpha ? 32 : 24); !c) return c;
  const int n = alpha ? 4 : 3;
  for (int y = 0; y < info.height; ++y) {
    std::uint8_t* d = out.row(y);
    const std::uint32_t* p = rgba.data() + static_cast<std::size_t>(y) * info.width;
    for (int x = 0; x < info.width; ++x, d += n) {
      d[0] = static_cast<std::uint8_t>(TIFFGetB(p[x]));
      d[1] = static_cast<std::uint8_t>(TIFFGetG(p[x]));
      d[2] = static_cast<std::uint8_t>(TIFFGetR(p[x]));
      if (alpha) d[3] = static_cast<std::uint8_t>(TIFFGetA(p[x]));
    }
  }
  out.set_format(kFormatTiff);
  *bitmap = std::move(out);
  return {};
}

}  // namespace vexa::imaging::detail
