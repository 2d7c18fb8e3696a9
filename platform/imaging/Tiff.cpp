// TIFF through libtiff, read from memory by client procedures. libtiff's
// own messages are silenced; its failures become our error numbers.
#include <tiffio.h>

#include <algorithm>
#include <cstring>
#include <mutex>
#include <new>
#include <vector>

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
  TIFFOpenOptions* options = TIFFOpenOptionsAlloc();
  if (!options) return nullptr;
  // No single allocation of libtiff's beyond what a whole decode may take,
  // whatever the tags claim: a second line behind the count of TiffDecode.
  TIFFOpenOptionsSetMaxSingleMemAlloc(options, static_cast<tmsize_t>(kMaxDecodeBytes));
  // "m" keeps libtiff from memory-mapping the (client) file.
  TIFF* tif = TIFFClientOpenExt("memory", "rm", src, ReadProc, WriteProc, SeekProc, CloseProc, SizeProc, MapProc,
                                UnmapProc, options);
  TIFFOpenOptionsFree(options);
  return tif;
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

namespace {

// How the pixels are read: `rows` rows at a time (one strip or one row of
// tiles, so that each is decoded once), and what the reader holds beside
// the picture meanwhile: the stored samples of one strip or tile (three or
// four such buffers when the samples lie in separate planes) and the
// rows' 32-bit pixels. Counted from the tags, before anything is read: a
// strip of a picture claiming 65534 samples a pixel is refused here.
struct Reading {
  std::uint32_t rows = 0;
  std::uint64_t bytes = 0;
};

Status MeasureReading(TIFF* tif, std::uint32_t width, std::uint32_t height, Reading* out) {
  std::uint64_t stored = 0;
  std::uint32_t rows = 0;
  if (TIFFIsTiled(tif)) {
    std::uint32_t tileWidth = 0;
    if (!TIFFGetField(tif, TIFFTAG_TILEWIDTH, &tileWidth) || !TIFFGetField(tif, TIFFTAG_TILELENGTH, &rows) ||
        tileWidth == 0 || rows == 0) {
      return Status(ErrorCode::kFileCorrupt, "TIFF tiles without a size");
    }
    stored = TIFFTileSize64(tif);
  } else {
    rows = height;
    TIFFGetFieldDefaulted(tif, TIFFTAG_ROWSPERSTRIP, &rows);
    if (rows == 0) rows = height;
    stored = TIFFStripSize64(tif);
  }
  // A size libtiff cannot compute (it overflows) is 0.
  if (stored == 0) return Status(ErrorCode::kFileCorrupt, "TIFF strip or tile size cannot be computed");
  std::uint16_t planar = PLANARCONFIG_CONTIG;
  TIFFGetFieldDefaulted(tif, TIFFTAG_PLANARCONFIG, &planar);
  if (planar == PLANARCONFIG_SEPARATE) stored *= 4;
  out->rows = std::min(rows, height);
  out->bytes = stored + std::uint64_t{width} * out->rows * sizeof(std::uint32_t);
  return {};
}

// Reads the pixels as stored into `out` (24 or 32 bits, sized already),
// `rows` rows at a time.
Status ReadPixels(TIFFRGBAImage* img, const Reading& reading, Bitmap* out) {
  const auto width = static_cast<std::uint32_t>(out->width());
  const auto height = static_cast<std::uint32_t>(out->height());
  std::vector<std::uint32_t> raster;
  try {
    raster.resize(std::size_t{width} * reading.rows);
  } catch (const std::bad_alloc&) {
    return ErrorCode::kNoMemory;
  }
  const bool alpha = out->bitsPerPixel() == 32;
  const int n = alpha ? 4 : 3;
  for (std::uint32_t top = 0; top < height; top += reading.rows) {
    const std::uint32_t count = std::min(reading.rows, height - top);
    img->row_offset = static_cast<int>(top);
    if (!TIFFRGBAImageGet(img, raster.data(), width, count)) {
      return Status(ErrorCode::kFileCorrupt, "TIFF pixel data could not be read");
    }
    for (std::uint32_t y = 0; y < count; ++y) {
      std::uint8_t* d = out->row(static_cast<int>(top + y));
      const std::uint32_t* p = raster.data() + std::size_t{y} * width;
      for (std::uint32_t x = 0; x < width; ++x, d += n) {
        d[0] = static_cast<std::uint8_t>(TIFFGetB(p[x]));
        d[1] = static_cast<std::uint8_t>(TIFFGetG(p[x]));
        d[2] = static_cast<std::uint8_t>(TIFFGetR(p[x]));
        if (alpha) d[3] = static_cast<std::uint8_t>(TIFFGetA(p[x]));
      }
    }
  }
  return {};
}

bool EveryPixelOpaque(const Bitmap& b) {
  for (int y = 0; y < b.height(); ++y) {
    const std::uint8_t* p = b.row(y);
    for (int x = 0; x < b.width(); ++x) {
      if (p[4 * x + 3] != 255) return false;
    }
  }
  return true;
}

}  // namespace

Status TiffDecode(Bytes data, Bitmap* bitmap) {
  Source src{data};
  TIFF* tif = Open(&src);
  if (!tif) return ErrorCode::kFileCorrupt;
  ImageInfo info;
  Status s = ReadSize(tif, &info);
  char why[1024] = "";
  TIFFRGBAImage img;
  bool begun = false;
  if (s) {
    if (!TIFFRGBAImageOK(tif, why) || !TIFFRGBAImageBegin(&img, tif, 1, why)) {
      s = Status(ErrorCode::kFileCorrupt, why[0] ? why : "TIFF pixel data could not be read");
    } else {
      begun = true;
    }
  }
  // Asked for the orientation the file is stored in, the reader moves no
  // rows or columns: the pixels come as stored, first row first, and
  // Codec.cpp turns them upright for every orientation alike (the reader
  // itself would only mirror, never turn by a quarter).
  if (begun) img.req_orientation = static_cast<std::uint16_t>(info.orientation);
  Reading reading;
  if (s) s = MeasureReading(tif, static_cast<std::uint32_t>(info.width), static_cast<std::uint32_t>(info.height), &reading);
  // The reader says whether the file has an alpha channel; a picture whose
  // alpha turns out opaque everywhere is made 24-bit afterwards, from a
  // copy.
  const bool alpha = begun && img.alpha != 0;
  if (s) {
    const std::uint64_t picture = BitmapBytes(info.width, info.height, alpha ? 32 : 24);
    const std::uint64_t opaqueCopy = alpha ? BitmapBytes(info.width, info.height, 24) : 0;
    s = CheckDecodeBytes(picture + opaqueCopy + reading.bytes);
  }
  Bitmap out;
  if (s) s = out.Allocate(info.width, info.height, alpha ? 32 : 24);
  if (s) s = ReadPixels(&img, reading, &out);
  if (begun) TIFFRGBAImageEnd(&img);
  TIFFClose(tif);
  if (!s) return s;
  if (alpha && EveryPixelOpaque(out)) {
    Bitmap opaque;
    if (Status c = ConvertDepth(out, 24, &opaque); !c) return c;
    out = std::move(opaque);
  }
  out.set_format(kFormatTiff);
  *bitmap = std::move(out);
  return {};
}

}  // namespace vexa::imaging::detail
