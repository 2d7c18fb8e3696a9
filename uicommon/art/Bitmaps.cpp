#include "uicommon/art/Bitmaps.h"

#include <sys/stat.h>

#include <QGuiApplication>
#include <QPagedPaintDevice>
#include <QPaintDevice>
#include <QPainter>
#include <QScreen>
#include <cstring>
#include <filesystem>
#include <istream>
#include <unordered_map>

#include "platform/base/File.h"
#include "platform/base/Path.h"
#include "platform/imaging/BitmapHandle.h"
#include "platform/imaging/Codec.h"
#include "uicommon/common/Broadcast.h"
#include "uicommon/common/Settings.h"

namespace vexa::ui {

namespace {

void ArtResourceProblem() { Broadcast("ArtResourceProblem", nullptr); }

std::uint32_t U32(const std::uint8_t* p) {
  return std::uint32_t(p[0]) | (std::uint32_t(p[1]) << 8) | (std::uint32_t(p[2]) << 16) |
         (std::uint32_t(p[3]) << 24);
}
std::int32_t I32(const std::uint8_t* p) { return static_cast<std::int32_t>(U32(p)); }
std::uint16_t U16(const std::uint8_t* p) { return std::uint16_t(p[0] | (p[1] << 8)); }
void Put32(std::uint8_t* p, std::uint32_t v) {
  p[0] = std::uint8_t(v);
  p[1] = std::uint8_t(v >> 8);
  p[2] = std::uint8_t(v >> 16);
  p[3] = std::uint8_t(v >> 24);
}
void Put16(std::uint8_t* p, std::uint16_t v) {
  p[0] = std::uint8_t(v);
  p[1] = std::uint8_t(v >> 8);
}

// What the header of a packed DIB says, once checked against its memory.
struct DibLayout {
  std::uint32_t headerSize = 0;
  std::int64_t width = 0, height = 0;
  int bpp = 0;
  std::uint32_t compression = 0;
  std::uint32_t imageSize = 0;
  std::int32_t xppm = 0, yppm = 0;
  int colors = 0;
  int entrySize = 4;
  std::size_t masks = 0;       // bytes of colour masks after a 40-byte header
  std::size_t bitsOffset = 0;  // header + masks + colour table
  std::size_t stride = 0;
  bool valid = false;
  bool negativeSize = false;
};

int ColorsFor(int bpp) { return bpp == 1 ? 2 : bpp == 4 ? 16 : bpp == 8 ? 256 : 0; }

DibLayout ParseDib(const std::uint8_t* dib, std::size_t size) {
  DibLayout d;
  if (!dib || size < 12) return d;
  d.headerSize = U32(dib);
  const std::uint32_t hs = d.headerSize;
  if (!(hs == 12 || hs == 40 || hs == 52 || hs == 56 || hs == 108 || hs == 124) || hs > size)
    return d;
  if (hs == 12) {
    d.width = U16(dib + 4);
    d.height = U16(dib + 6);
    d.bpp = U16(dib + 10);
    d.entrySize = 3;
    d.colors = ColorsFor(d.bpp);
  } else {
    d.width = I32(dib + 4);
    d.height = I32(dib + 8);
    d.bpp = U16(dib + 14);
    d.compression = U32(dib + 16);
    d.imageSize = U32(dib + 20);
    d.xppm = I32(dib + 24);
    d.yppm = I32(dib + 28);
    const std::uint32_t used = U32(dib + 32);
    if (used > 256 || (d.bpp <= 8 && used > (1u << d.bpp))) return d;
    d.colors = used ? static_cast<int>(used) : ColorsFor(d.bpp);
    if (hs == 40 && d.compression == 3) d.masks = 12;
  }
  if (d.width < 0 || d.height < 0) {
    d.negativeSize = true;
    return d;
  }
  if (d.width == 0 || d.height == 0 || d.width * d.height > (std::int64_t{1} << 28)) return d;
  const int bpp = d.bpp;
  if (!(bpp == 1 || bpp == 4 || bpp == 8 || bpp == 16 || bpp == 24 || bpp == 32)) return d;
  switch (d.compression) {
    case 0: break;
    case 1: if (bpp != 8) return d; break;
    case 2: if (bpp != 4) return d; break;
    case 3: if (bpp != 16 && bpp != 32) return d; break;
    default: return d;
  }
  d.bitsOffset = hs + d.masks + static_cast<std::size_t>(d.colors) * d.entrySize;
  if (d.bitsOffset > size) return d;
  d.stride = static_cast<std::size_t>((bpp * d.width + 31) / 32) * 4;
  const std::size_t need = (d.compression == 1 || d.compression == 2)
                               ? d.imageSize
                               : d.stride * static_cast<std::size_t>(d.height);
  if (need > size - d.bitsOffset) return d;
  d.valid = true;
  return d;
}

QRgb TableColor(const std::uint8_t* dib, const DibLayout& d, int index) {
  if (index < 0 || index >= d.colors) return qRgb(0, 0, 0);
  const std::uint8_t* e = dib + d.headerSize + d.masks + std::size_t(index) * d.entrySize;
  return qRgb(e[2], e[1], e[0]);
}

int MaskShift(std::uint32_t mask) {
  int s = 0;
  while (mask && !(mask & 1)) {
    mask >>= 1;
    ++s;
  }
  return s;
}
int MaskValue(std::uint32_t pixel, std::uint32_t mask) {
  if (!mask) return 0;
  const int shift = MaskShift(mask);
  const std::uint32_t max = mask >> shift;
  return static_cast<int>(((pixel & mask) >> shift) * 255 / max);
}

// The colour indexes of a run-length encoded DIB (8 bits: compression 1, 4
// bits: compression 2), one byte per pixel, top row first. Pixels the
// stream skips (by a delta or an early end of line or of the picture) keep
// index 0. Runs are cut at the picture's edges and the stream at the end of
// its memory, so no input writes outside the picture.
std::vector<std::uint8_t> DecodeRle(const std::uint8_t* dib, std::size_t size, const DibLayout& d) {
  const int w = static_cast<int>(d.width), h = static_cast<int>(d.height);
  std::vector<std::uint8_t> indexes(static_cast<std::size_t>(w) * static_cast<std::size_t>(h), 0);
  const bool four = d.compression == 2;
  const std::uint8_t* p = dib + d.bitsOffset;
  const std::size_t available = size - d.bitsOffset;
  const std::size_t length = d.imageSize ? std::min<std::size_t>(d.imageSize, available) : available;
  std::size_t at = 0;
  int x = 0, y = 0;  // y counts rows from the bottom, as they are stored
  auto put = [&](int value) {
    if (x < w && y < h) indexes[static_cast<std::size_t>(h - 1 - y) * static_cast<std::size_t>(w) + x] = std::uint8_t(value);
    if (x < w) ++x;
  };
  while (at + 1 < length && y < h) {
    const int count = p[at], value = p[at + 1];
    at += 2;
    if (count > 0) {
      // An encoded run: the byte repeated, or for 4 bits its two halves in turn.
      for (int i = 0; i < count && x < w; ++i) put(four ? (i & 1 ? value & 15 : value >> 4) : value);
      continue;
    }
    if (value == 0) {  // end of line
      x = 0;
      ++y;
    } else if (value == 1) {  // end of picture
      break;
    } else if (value == 2) {  // delta: right and up
      if (at + 1 >= length) break;
      x = std::min(x + p[at], w);
      y = std::min(y + p[at + 1], h);
      at += 2;
    } else {  // an absolute run of value pixels, padded to a 16-bit boundary
      const std::size_t bytes = four ? (static_cast<std::size_t>(value) + 1) / 2 : static_cast<std::size_t>(value);
      if (at + bytes > length) break;
      for (int i = 0; i < value; ++i) {
        const std::uint8_t b = p[at + (four ? static_cast<std::size_t>(i / 2) : static_cast<std::size_t>(i))];
        put(four ? (i & 1 ? b & 15 : b >> 4) : b);
      }
      at += bytes + (bytes & 1);
    }
  }
  return indexes;
}

}  // namespace

bool ValidDibMemory(const std::uint8_t* dib, std::size_t size) { return ParseDib(dib, size).valid; }

QImage DibMemoryToImage(const std::uint8_t* dib, std::size_t size) {
  const DibLayout d = ParseDib(dib, size);
  if (!d.valid) return QImage();
  const int w = static_cast<int>(d.width), h = static_cast<int>(d.height);
  if (d.compression == 1 || d.compression == 2) {
    QImage image(w, h, QImage::Format_RGB32);
    if (image.isNull()) return image;
    const std::vector<std::uint8_t> indexes = DecodeRle(dib, size, d);
    for (int y = 0; y < h; ++y) {
      QRgb* out = reinterpret_cast<QRgb*>(image.scanLine(y));
      for (int x = 0; x < w; ++x) out[x] = TableColor(dib, d, indexes[std::size_t(y) * std::size_t(w) + std::size_t(x)]);
    }
    return image;
  }
  QImage image(w, h, QImage::Format_RGB32);
  if (image.isNull()) return image;
  std::uint32_t rMask = 0x7C00, gMask = 0x03E0, bMask = 0x001F;
  if (d.bpp == 32) rMask = 0xFF0000, gMask = 0xFF00, bMask = 0xFF;
  if (d.compression == 3) {
    const std::uint8_t* m = dib + (d.headerSize == 40 ? 40 : 40);
    rMask = U32(m), gMask = U32(m + 4), bMask = U32(m + 8);
  }
  for (int y = 0; y < h; ++y) {
    const std::uint8_t* row = dib + d.bitsOffset + std::size_t(h - 1 - y) * d.stride;
    QRgb* out = reinterpret_cast<QRgb*>(image.scanLine(y));
    for (int x = 0; x < w; ++x) {
      switch (d.bpp) {
        case 1: out[x] = TableColor(dib, d, (row[x >> 3] >> (7 - (x & 7))) & 1); break;
        case 4: out[x] = TableColor(dib, d, (row[x >> 1] >> ((x & 1) ? 0 : 4)) & 15); break;
        case 8: out[x] = TableColor(dib, d, row[x]); break;
        case 16: {
          const std::uint32_t px = U16(row + 2 * x);
          out[x] = qRgb(MaskValue(px, rMask), MaskValue(px, gMask), MaskValue(px, bMask));
          break;
        }
        case 24: out[x] = qRgb(row[3 * x + 2], row[3 * x + 1], row[3 * x]); break;
        case 32: {
          const std::uint32_t px = U32(row + 4 * x);
          out[x] = qRgb(MaskValue(px, rMask), MaskValue(px, gMask), MaskValue(px, bMask));
          break;
        }
      }
    }
  }
  return image;
}

// ---- CDDB --------------------------------------------------------------------

namespace {
std::unique_ptr<CPalette>& ThePalette() {
  static std::unique_ptr<CPalette> palette;
  return palette;
}

QPainter::CompositionMode ModeOf(unsigned rop) {
  switch (rop) {
    case SRCPAINT: return QPainter::RasterOp_SourceOrDestination;
    case SRCAND: return QPainter::RasterOp_SourceAndDestination;
    case SRCINVERT: return QPainter::RasterOp_SourceXorDestination;
    case NOTSRCCOPY: return QPainter::RasterOp_NotSource;
    default: return QPainter::CompositionMode_Source;
  }
}
}  // namespace

CDDB::CDDB(bool keepOffline) : m_keepOffline(keepOffline) {}

CDDB::CDDB(int width, int height, bool keepOffline)
    : m_width(width), m_height(height), m_keepOffline(keepOffline) {
  if (CreateBitmap() && m_keepOffline) {
    SaveBits();
    m_bitmap.reset();
  }
}

CDDB::CDDB(QPainter*, int width, int height, bool keepOffline) : CDDB(width, height, keepOffline) {}

CDDB::CDDB(CDDB& source, bool keepOffline) : CDDB(source.Width(), source.Height(), keepOffline) {
  FromImage(source.ToImage());
}

CDDB::CDDB(CDDB& source, const QRect& area, bool keepOffline)
    : CDDB(area.width(), area.height(), keepOffline) {
  if (!HasBitmap()) return;
  // Only the part of the area that lies on the source is copied; the cut
  // never reads outside the source's pixels.
  const QImage src = source.ToImage();
  QImage cut(m_width, m_height, QImage::Format_RGB32);
  cut.fill(Qt::black);
  const QRect part = area.intersected(src.rect());
  if (!part.isEmpty()) {
    QPainter p(&cut);
    p.setCompositionMode(QPainter::CompositionMode_Source);
    p.drawImage(part.topLeft() - area.topLeft(), src, part);
  }
  FromImage(cut);
}

CDDB::~CDDB() {
  m_memoryDC.reset();
  m_bitmap.reset();
}

bool CDDB::CreateBitmap() {
  m_bitmap.reset();
  if (m_width > 0 && m_height > 0 &&
      std::int64_t{m_width} * m_height <= (std::int64_t{1} << 28)) {
    auto image = std::make_unique<QImage>(m_width, m_height, QImage::Format_RGB32);
    if (!image->isNull()) {
      image->fill(Qt::black);
      m_bitmap = std::move(image);
      return true;
    }
  }
  ArtResourceProblem();
  return false;
}

void CDDB::SaveBits() {
  if (!m_bitmap) return;
  const std::size_t rowBytes = static_cast<std::size_t>(m_bitmap->width()) * 4;
  const std::size_t size = rowBytes * static_cast<std::size_t>(m_bitmap->height());
  if (size != m_savedBits.size()) m_savedBits.assign(size, 0);
  for (int y = 0; y < m_bitmap->height(); ++y)
    std::memcpy(m_savedBits.data() + rowBytes * y, m_bitmap->constScanLine(y), rowBytes);
}

bool CDDB::LoadBits() {
  if (!CreateBitmap()) return false;
  const std::size_t rowBytes = static_cast<std::size_t>(m_width) * 4;
  if (m_savedBits.size() >= rowBytes * static_cast<std::size_t>(m_height))
    for (int y = 0; y < m_height; ++y)
      std::memcpy(m_bitmap->scanLine(y), m_savedBits.data() + rowBytes * y, rowBytes);
  return true;
}

QPainter* CDDB::AttachDC(QPainter*) {
  if (m_keepOffline && !m_savedBits.empty() && !m_bitmap) LoadBits();
  m_memoryDC.reset();
  if (!m_bitmap) return nullptr;
  m_memoryDC = std::make_unique<QPainter>(m_bitmap.get());
  return m_memoryDC.get();
}

void CDDB::DetachDC() {
  m_memoryDC.reset();
  if (m_keepOffline && m_bitmap) {
    SaveBits();
    m_bitmap.reset();
  }
}

long CDDB::GetBitmapBits(long length, void* destination) const {
  if (!destination || length <= 0) return 0;
  if (m_keepOffline && !m_savedBits.empty()) {
    const std::size_t n = std::min<std::size_t>(static_cast<std::size_t>(length), m_savedBits.size());
    std::memcpy(destination, m_savedBits.data(), n);
    return static_cast<long>(n);
  }
  if (!m_bitmap) return 0;
  const std::size_t rowBytes = static_cast<std::size_t>(m_width) * 4;
  std::size_t done = 0;
  auto* out = static_cast<std::uint8_t*>(destination);
  for (int y = 0; y < m_height && done < static_cast<std::size_t>(length); ++y) {
    const std::size_t n = std::min(rowBytes, static_cast<std::size_t>(length) - done);
    std::memcpy(out + done, m_bitmap->constScanLine(y), n);
    done += n;
  }
  return static_cast<long>(done);
}

long CDDB::SetBitmapBits(long length, const void* source) {
  if (!source || length <= 0) return 0;
  if (m_keepOffline && !m_savedBits.empty()) {
    const auto* p = static_cast<const std::uint8_t*>(source);
    m_savedBits.assign(p, p + length);
    return length;
  }
  if (!m_bitmap) return 0;
  const std::size_t rowBytes = static_cast<std::size_t>(m_width) * 4;
  std::size_t done = 0;
  const auto* in = static_cast<const std::uint8_t*>(source);
  for (int y = 0; y < m_height && done < static_cast<std::size_t>(length); ++y) {
    const std::size_t n = std::min(rowBytes, static_cast<std::size_t>(length) - done);
    std::memcpy(m_bitmap->scanLine(y), in + done, n);
    done += n;
  }
  return static_cast<long>(done);
}

QImage CDDB::ToImage() const {
  if (m_bitmap) return m_bitmap->copy();
  if (m_savedBits.empty() || m_width <= 0 || m_height <= 0) return QImage();
  QImage image(m_width, m_height, QImage::Format_RGB32);
  const std::size_t rowBytes = static_cast<std::size_t>(m_width) * 4;
  if (m_savedBits.size() < rowBytes * m_height) return QImage();
  for (int y = 0; y < m_height; ++y) std::memcpy(image.scanLine(y), m_savedBits.data() + rowBytes * y, rowBytes);
  return image;
}

bool CDDB::FromImage(const QImage& image) {
  if (image.isNull() || image.width() != m_width || image.height() != m_height) return false;
  const QImage rgb = image.convertToFormat(QImage::Format_RGB32);
  if (!AttachDC(nullptr)) return false;
  m_memoryDC.reset();  // the pixels are replaced directly
  *m_bitmap = rgb;
  DetachDC();
  return true;
}

void CDDB::Blit(QPainter* dc, const QRect& dest, const QRect& src, unsigned rop, bool stretch) {
  if (!dc || !AttachDC(dc)) {
    DetachDC();
    return;
  }
  m_memoryDC.reset();  // the pixels are read directly
  dc->save();
  dc->setCompositionMode(ModeOf(rop));
  if (stretch) {
    dc->drawImage(dest, *m_bitmap, src);
  } else {
    // A plain blit: only what lies on the bitmap is copied.
    const QRect part = src.intersected(m_bitmap->rect());
    if (!part.isEmpty()) dc->drawImage(dest.topLeft() + (part.topLeft() - src.topLeft()), *m_bitmap, part);
  }
  dc->restore();
  DetachDC();
}

void CDDB::Draw(QPainter* dc, int x, int y, unsigned rop) {
  Blit(dc, QRect(x, y, m_width, m_height), QRect(0, 0, m_width, m_height), rop, false);
}
void CDDB::Draw(QPainter* dc, int x, int y, int srcX, int srcY, unsigned rop) {
  Blit(dc, QRect(x, y, m_width, m_height), QRect(srcX, srcY, m_width, m_height), rop, false);
}
void CDDB::Draw(QPainter* dc, const QRect& r, unsigned rop) { Blit(dc, r, r, rop, true); }
void CDDB::Draw(QPainter* dc, const QRect& src, int x, int y, unsigned rop) {
  Blit(dc, QRect(QPoint(x, y), src.size()), src, rop, true);
}
void CDDB::Draw(QPainter* dc, const QRect& dest, const QRect& src, unsigned rop) {
  Blit(dc, dest, src, rop, true);
}

void CDDB::DrawTiles(QPainter* dc, int width, int height, unsigned rop) {
  if (!dc || m_width <= 0 || m_height <= 0 || !AttachDC(dc)) {
    DetachDC();
    return;
  }
  m_memoryDC.reset();
  dc->save();
  dc->setCompositionMode(ModeOf(rop));
  for (int x = 0; x < width; x += m_width)
    for (int y = 0; y < height; y += m_height) dc->drawImage(QPoint(x, y), *m_bitmap);
  dc->restore();
  DetachDC();
}

CPalette* CDDB::Palette() { return ThePalette().get(); }

void CDDB::Palette(CPalette* palette) {
  if (ThePalette() || !palette) return;
  std::vector<QRgb> entries = palette->Entries();
  if (entries.size() > 256) entries.resize(256);
  ThePalette() = std::make_unique<CPalette>(std::move(entries));
}

// ---- CArchive ------------------------------------------------------------------

bool CArchive::Write(const void* data, std::size_t size) {
  if (!m_stream || !IsStoring()) return false;
  m_stream->write(static_cast<const char*>(data), static_cast<std::streamsize>(size));
  return static_cast<bool>(*m_stream);
}

bool CArchive::Read(void* data, std::size_t size) {
  if (!m_stream || !IsLoading()) return false;
  m_stream->read(static_cast<char*>(data), static_cast<std::streamsize>(size));
  return static_cast<std::size_t>(m_stream->gcount()) == size;
}

bool CArchive::WriteInt(std::int32_t v) {
  std::uint8_t b[4];
  Put32(b, static_cast<std::uint32_t>(v));
  return Write(b, 4);
}

bool CArchive::ReadInt(std::int32_t* v) {
  std::uint8_t b[4];
  if (!Read(b, 4)) return false;
  *v = I32(b);
  return true;
}

std::uint64_t CArchive::Remaining() const {
  if (!m_stream) return 0;
  const auto here = m_stream->tellg();
  if (here < 0) return 0;
  m_stream->seekg(0, std::ios::end);
  const auto end = m_stream->tellg();
  m_stream->seekg(here);
  return end > here ? static_cast<std::uint64_t>(end - here) : 0;
}

// ---- CDib ------------------------------------------------------------------------

CDib::CDib() = default;

CDib::CDib(HDIB dib) : m_dib(std::move(dib)) { Initialize(); }

CDib::CDib(const CDib& other) { CopyArea(other, other.GetRect()); }

CDib::CDib(const CDib& other, const QRect& area) { CopyArea(other, area); }

CDib::CDib(const CDib& other, const QRect& area, const QRect&) { CopyArea(other, area); }

CDib::CDib(const std::string& path) { ReadFile(path); }

CDib::~CDib() = default;

CDib& CDib::operator=(const CDib& other) {
  if (this == &other) return *this;
  m_dib.reset();
  m_palette.reset();
  m_width = m_height = 1;
  CopyArea(other, other.GetRect());
  return *this;
}

void CDib::Report(Error error, const std::string&) {
  m_lastError = error;
  ArtResourceProblem();
}

bool CDib::Initialize() {
  m_palette.reset();
  if (!m_dib) return false;
  const DibLayout d = ParseDib(m_dib->data(), m_dib->size());
  if (!d.valid) {
    m_dib.reset();
    Report(INVALID_DIB_HANDLE);
    return false;
  }
  m_width = static_cast<int>(d.width);
  m_height = static_cast<int>(d.height);
  if (d.colors > 0) {
    std::vector<QRgb> entries;
    for (int i = 0; i < d.colors; ++i) entries.push_back(TableColor(m_dib->data(), d, i));
    m_palette = std::make_unique<CPalette>(std::move(entries));
  }
  return true;
}

const std::uint8_t* CDib::GetDIBBits() const {
  if (!m_dib) return nullptr;
  const DibLayout d = ParseDib(m_dib->data(), m_dib->size());
  return d.valid ? m_dib->data() + d.bitsOffset : nullptr;
}

int CDib::GetNumColors() const {
  return m_dib ? ParseDib(m_dib->data(), m_dib->size()).colors : 0;
}
int CDib::GetBitsPerPixel() const { return m_dib ? ParseDib(m_dib->data(), m_dib->size()).bpp : 0; }
std::uint32_t CDib::GetImageStorageSize() const {
  return m_dib ? ParseDib(m_dib->data(), m_dib->size()).imageSize : 0;
}
int CDib::GetXResolution() const { return m_dib ? ParseDib(m_dib->data(), m_dib->size()).xppm : 0; }
int CDib::GetYResolution() const { return m_dib ? ParseDib(m_dib->data(), m_dib->size()).yppm : 0; }
int CDib::GetHeaderSize() const {
  return m_dib && m_dib->size() >= 4 ? static_cast<int>(U32(m_dib->data())) : 0;
}

void CDib::Replace(HDIB dib, int width, int height) {
  m_dib = std::move(dib);
  if (width != 0 && height != 0) {
    m_width = width;
    m_height = height;
  }
}

void CDib::PutPalette(CPalette* palette) { m_palette.reset(palette); }

int CDib::SetPalette(bool) {
  // True-colour drawing realises no palette: nothing changes.
  return 0;
}

QImage CDib::ToImage() const {
  return m_dib ? vexa::ui::DibMemoryToImage(m_dib->data(), m_dib->size()) : QImage();
}

void CDib::CopyArea(const CDib& other, const QRect& area) {
  if (!other.m_dib) return;
  const DibLayout s = ParseDib(other.m_dib->data(), other.m_dib->size());
  if (!s.valid) return;
  // A run-length encoded source is copied as plain rows of its own depth.
  const bool rle = s.compression == 1 || s.compression == 2;
  const std::vector<std::uint8_t> indexes =
      rle ? DecodeRle(other.m_dib->data(), other.m_dib->size(), s) : std::vector<std::uint8_t>();
  const std::uint32_t compression = rle ? 0 : s.compression;
  // The area is clamped to the source on every side.
  const QRect part = area.intersected(QRect(0, 0, int(s.width), int(s.height)));
  if (part.isEmpty()) return;
  const int w = part.width(), h = part.height();
  const std::size_t stride = static_cast<std::size_t>((s.bpp * w + 31) / 32) * 4;
  const std::size_t tableBytes = static_cast<std::size_t>(s.colors) * 4;
  const std::size_t masks = s.compression == 3 ? 12 : 0;
  const std::size_t offset = 40 + masks + tableBytes;
  HDIB dib;
  try {
    dib = std::make_shared<std::vector<std::uint8_t>>(offset + stride * h, 0);
  } catch (const std::bad_alloc&) {
    m_lastError = LOW_MEMORY;
    return;
  }
  std::uint8_t* out = dib->data();
  const std::uint8_t* in = other.m_dib->data();
  // The header in its 40-byte form, with the new size.
  Put32(out, 40);
  Put32(out + 4, static_cast<std::uint32_t>(w));
  Put32(out + 8, static_cast<std::uint32_t>(h));
  Put16(out + 12, 1);
  Put16(out + 14, static_cast<std::uint16_t>(s.bpp));
  Put32(out + 16, compression);
  Put32(out + 20, static_cast<std::uint32_t>(stride * h));
  Put32(out + 24, static_cast<std::uint32_t>(s.xppm));
  Put32(out + 28, static_cast<std::uint32_t>(s.yppm));
  Put32(out + 32, static_cast<std::uint32_t>(s.colors));
  if (masks) {
    const std::uint8_t* m = in + (s.headerSize == 40 ? 40 : 40);
    std::memcpy(out + 40, m, 12);
  }
  for (int i = 0; i < s.colors; ++i) {
    const std::uint8_t* e = in + s.headerSize + s.masks + std::size_t(i) * s.entrySize;
    std::uint8_t* o = out + 40 + masks + std::size_t(i) * 4;
    o[0] = e[0];
    o[1] = e[1];
    o[2] = e[2];
    o[3] = 0;
  }
  // Rows top-down from the area's top; DIB rows are stored bottom-up.
  for (int y = 0; y < h; ++y) {
    const std::uint8_t* src = in + s.bitsOffset + std::size_t(s.height - 1 - (part.top() + y)) * s.stride;
    std::uint8_t* dst = out + offset + std::size_t(h - 1 - y) * stride;
    if (rle) {
      const std::uint8_t* row = indexes.data() + std::size_t(part.top() + y) * std::size_t(s.width) + part.left();
      for (int x = 0; x < w; ++x) {
        if (s.bpp == 8) dst[x] = row[x];
        else dst[x >> 1] |= std::uint8_t((row[x] & 15) << ((x & 1) ? 0 : 4));
      }
    } else if (s.bpp >= 8) {
      std::memcpy(dst, src + std::size_t(part.left()) * (s.bpp / 8), std::size_t(w) * (s.bpp / 8));
    } else {
      for (int x = 0; x < w; ++x) {
        const int sx = part.left() + x;
        int v;
        if (s.bpp == 1) {
          v = (src[sx >> 3] >> (7 - (sx & 7))) & 1;
          dst[x >> 3] |= std::uint8_t(v << (7 - (x & 7)));
        } else {
          v = (src[sx >> 1] >> ((sx & 1) ? 0 : 4)) & 15;
          dst[x >> 1] |= std::uint8_t(v << ((x & 1) ? 0 : 4));
        }
      }
    }
  }
  m_dib = std::move(dib);
  Initialize();
}

bool CDib::IsPrinting(QPainter* dc) const {
  const QPaintDevice* dev = dc ? dc->device() : nullptr;
  return dev && (dev->devType() == QInternal::Printer ||
                 dynamic_cast<const QPagedPaintDevice*>(dev) != nullptr);
}

bool CDib::PaintStretch(QPainter* dc, const QRect& src, const QRect& dest) {
  if (!dc || !m_dib) return false;
  const QImage image = ToImage();
  if (image.isNull()) {
    ArtResourceProblem();
    return false;
  }
  dc->save();
  dc->setRenderHint(QPainter::SmoothPixmapTransform, false);
  if (src.size() == dest.size())
    dc->drawImage(dest.topLeft(), image, src);
  else
    dc->drawImage(dest, image, src);
  dc->restore();
  return true;
}

bool CDib::Paint(QPainter* dc, int x, int y) {
  if (!m_dib) return false;
  if (IsPrinting(dc)) return PaintScale(dc, 0, x, y);
  return PaintStretch(dc, GetRect(), QRect(x, y, m_width, m_height));
}

bool CDib::PaintScale(QPainter* dc, int shift, int dx, int dy) {
  if (!m_dib || !dc) return false;
  if (IsPrinting(dc)) {
    // The whole page width, the height in proportion.
    const QPaintDevice* dev = dc->device();
    const int width = dev->width();
    const int height = static_cast<int>(double(m_height) * dev->logicalDpiY() * width /
                                        (double(dev->logicalDpiX()) * m_width));
    return PaintStretch(dc, GetRect(), QRect(0, 0, width, height));
  }
  const int s = std::clamp(shift, -30, 30);
  const int w = s >= 0 ? m_width << s : m_width >> -s;
  const int h = s >= 0 ? m_height << s : m_height >> -s;
  return PaintStretch(dc, GetRect(), QRect(dx, dy, w, h));
}

bool CDib::PaintTo(QPainter* dc, const QRect& dest) { return PaintStretch(dc, GetRect(), dest); }

bool CDib::PaintFrom(QPainter* dc, const QRect& src) {
  return PaintStretch(dc, src, QRect(QPoint(0, 0), src.size()));
}

int CDib::ReadFile(const std::string& path) {
  m_dib.reset();
  m_palette.reset();
  // A regular file only: a FIFO or a device under a bitmap's name is not
  // opened (a FIFO would stop the reader for good), and a file put in its
  // place since is opened without waiting and refused.
  struct stat st {};
  vexa::base::InputFile in;
  if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode) || !in.OpenRegular(path)) {
    Report(ERROR_READING_FILE, path);
    return 0;
  }
  const std::size_t length = static_cast<std::size_t>(in.Size());
  std::uint8_t header[14];
  if (length < 14 || !in.ReadExactly(header, 14) || U16(header) != 0x4D42) {
    Report(ERROR_READING_FILE, path);
    return 0;
  }
  // The DIB is the file without its 14-byte header; the rows follow the
  // colour table whatever the header's pixel offset says.
  auto dib = std::make_shared<std::vector<std::uint8_t>>(length - 14, 0);
  if (!in.ReadExactly(dib->data(), dib->size())) {
    Report(ERROR_READING_FILE, path);
    return 0;
  }
  m_dib = std::move(dib);
  if (!Initialize()) Report(ERROR_READING_FILE, path);
  return m_dib ? 1 : 0;
}

int CDib::WriteFile(const std::string& path) {
  if (!m_dib) return 0;
  const DibLayout d = ParseDib(m_dib->data(), m_dib->size());
  // Only a valid DIB with the 40-byte header is written; anything else is
  // refused before the file is created or touched.
  if (!d.valid || d.headerSize != 40) return 0;
  std::uint32_t imageSize = d.imageSize;
  if (d.compression != 1 && d.compression != 2) {
    imageSize = static_cast<std::uint32_t>(d.stride * static_cast<std::size_t>(d.height));
    Put32(m_dib->data() + 20, imageSize);
  }
  const std::size_t headerAndTable = d.bitsOffset;
  std::uint8_t fileHeader[14] = {'B', 'M'};
  Put32(fileHeader + 2, static_cast<std::uint32_t>(14 + headerAndTable + imageSize));
  Put32(fileHeader + 10, static_cast<std::uint32_t>(14 + headerAndTable));
  std::string bytes(reinterpret_cast<const char*>(fileHeader), 14);
  bytes.append(reinterpret_cast<const char*>(m_dib->data()), headerAndTable + imageSize);
  if (!vexa::base::WriteFileAtomic(path, bytes)) {
    Report(ERROR_WRITING_FILE, path);
    return 0;
  }
  return 1;
}

void CDib::Serialize(CArchive& archive) {
  if (archive.IsStoring()) {
    if (!m_dib || m_dib->empty()) {
      Report(ERROR_IN_SERIALIZE);
      return;
    }
    const std::uint32_t count = static_cast<std::uint32_t>(m_dib->size());
    if (!archive.WriteInt(static_cast<std::int32_t>(count))) {
      Report(ERROR_IN_SERIALIZE);
      return;
    }
    for (std::size_t at = 0; at < m_dib->size(); at += 255) {
      const std::size_t n = std::min<std::size_t>(255, m_dib->size() - at);
      if (!archive.Write(m_dib->data() + at, n)) {
        Report(ERROR_IN_SERIALIZE);
        return;
      }
    }
    archive.WriteInt(m_width);
    archive.WriteInt(m_height);
    return;
  }
  m_dib.reset();
  m_palette.reset();
  std::int32_t count = 0;
  // The byte count must be what the archive still holds; the header is
  // checked against it by Initialize.
  if (!archive.ReadInt(&count) || count <= 0 ||
      static_cast<std::uint64_t>(count) + 8 > archive.Remaining()) {
    Report(ERROR_IN_SERIALIZE);
    return;
  }
  auto dib = std::make_shared<std::vector<std::uint8_t>>(static_cast<std::size_t>(count));
  std::int32_t width = 0, height = 0;
  if (!archive.Read(dib->data(), dib->size()) || !archive.ReadInt(&width) || !archive.ReadInt(&height)) {
    Report(ERROR_IN_SERIALIZE);
    return;
  }
  m_dib = std::move(dib);
  if (!Initialize()) Report(ERROR_IN_SERIALIZE);
}

// ---- Free functions ---------------------------------------------------------------

CDDB* BitmapToDDB(HBITMAP bitmap) {
  if (!bitmap) return nullptr;
  const vexa::imaging::Bitmap* b = vexa::imaging::BitmapFromHandle(bitmap);
  if (!b || b->empty()) return nullptr;
  QImage image(b->width(), b->height(), QImage::Format_RGB32);
  for (int y = 0; y < b->height(); ++y) {
    QRgb* out = reinterpret_cast<QRgb*>(image.scanLine(y));
    for (int x = 0; x < b->width(); ++x) {
      std::uint8_t r, g, bl;
      b->GetRgb(x, y, &r, &g, &bl);
      out[x] = qRgb(r, g, bl);
    }
  }
  auto* ddb = new CDDB(b->width(), b->height(), true);
  ddb->FromImage(image);
  return ddb;
}

CDDB* DibToDdb(CDib* dib) {
  if (!dib || !dib->GetDib()) return nullptr;
  auto* ddb = new CDDB(dib->GetWidth(), dib->GetHeight(), true);
  const QImage image = dib->ToImage();
  if (!image.isNull()) ddb->FromImage(image);
  if (Use256ColorMode() && dib->GetPalette()) CDDB::Palette(dib->GetPalette());
  return ddb;
}

namespace {
// The table entry nearest to a colour (an exact one when the table has it).
int NearestIndex(const std::uint8_t* dib, const DibLayout& d, QRgb colour) {
  int best = 0;
  long bestDistance = -1;
  for (int i = 0; i < d.colors; ++i) {
    const QRgb e = TableColor(dib, d, i);
    const long dr = qRed(e) - qRed(colour), dg = qGreen(e) - qGreen(colour), db = qBlue(e) - qBlue(colour);
    const long distance = dr * dr + dg * dg + db * db;
    if (bestDistance < 0 || distance < bestDistance) {
      best = i;
      bestDistance = distance;
      if (distance == 0) break;
    }
  }
  return best;
}

// A colour channel scaled into a mask's bits, rounded.
std::uint32_t IntoMask(int channel, std::uint32_t mask) {
  if (!mask) return 0;
  const int shift = MaskShift(mask);
  const std::uint32_t max = mask >> shift;
  return ((static_cast<std::uint32_t>(channel) * max + 127) / 255) << shift & mask;
}
}  // namespace

bool DdbToDib(CDDB* ddb, CDib* dib) {
  if (!ddb || !dib || !dib->GetDib()) return false;
  const QImage image = ddb->ToImage();
  HDIB mem = dib->GetDib();
  const DibLayout d = ParseDib(mem->data(), mem->size());
  // Every uncompressed depth (and 16 or 32 bits with their colour masks);
  // a run-length encoded DIB cannot take rows in place.
  if (image.isNull() || !d.valid || (d.compression != 0 && d.compression != 3) || image.width() != d.width ||
      image.height() != d.height)
    return false;
  if (d.bpp <= 8 && d.colors == 0) return false;
  std::uint32_t rMask = 0x7C00, gMask = 0x03E0, bMask = 0x001F;  // 16 bits: 5-5-5
  if (d.bpp == 32) rMask = 0xFF0000, gMask = 0xFF00, bMask = 0xFF;
  if (d.compression == 3) {
    const std::uint8_t* m = mem->data() + 40;
    rMask = U32(m), gMask = U32(m + 4), bMask = U32(m + 8);
  }
  std::unordered_map<QRgb, int> indexOf;
  auto index = [&](QRgb c) {
    auto it = indexOf.find(c);
    if (it != indexOf.end()) return it->second;
    const int i = NearestIndex(mem->data(), d, c);
    indexOf.emplace(c, i);
    return i;
  };
  for (int y = 0; y < image.height(); ++y) {
    const QRgb* in = reinterpret_cast<const QRgb*>(image.constScanLine(y));
    std::uint8_t* row = mem->data() + d.bitsOffset + std::size_t(d.height - 1 - y) * d.stride;
    if (d.bpp < 8) std::memset(row, 0, d.stride);
    for (int x = 0; x < image.width(); ++x) {
      const QRgb c = in[x];
      switch (d.bpp) {
        case 1: row[x >> 3] |= std::uint8_t((index(c) & 1) << (7 - (x & 7))); break;
        case 4: row[x >> 1] |= std::uint8_t((index(c) & 15) << ((x & 1) ? 0 : 4)); break;
        case 8: row[x] = std::uint8_t(index(c)); break;
        case 16: {
          const std::uint32_t v = IntoMask(qRed(c), rMask) | IntoMask(qGreen(c), gMask) | IntoMask(qBlue(c), bMask);
          Put16(row + 2 * x, std::uint16_t(v));
          break;
        }
        case 24: {
          std::uint8_t* px = row + std::size_t(x) * 3;
          px[0] = std::uint8_t(qBlue(c));
          px[1] = std::uint8_t(qGreen(c));
          px[2] = std::uint8_t(qRed(c));
          break;
        }
        case 32:
          Put32(row + 4 * x, IntoMask(qRed(c), rMask) | IntoMask(qGreen(c), gMask) | IntoMask(qBlue(c), bMask));
          break;
      }
    }
  }
  return true;
}

void DeleteArtwork(CDDB* artwork) { delete artwork; }

bool Use256ColorMode() {
  const QScreen* screen = qGuiApp ? QGuiApplication::primaryScreen() : nullptr;
  const bool paletteScreen = screen && screen->depth() <= 8;
  return paletteScreen || GetIntValue(Debug_Force256Colors, 0) != 0;
}

namespace {
int SheetId(const std::string& name) {
  if (name == "Backgrnd") return 137;
  if (name == "Down") return 138;
  if (name == "DownHigh") return 139;
  if (name == "Up") return 140;
  if (name == "UpHigh") return 141;
  return 0;
}
}  // namespace

CDDB* LoadArtBitmap(int resourceId) {
  const QImage image(QStringLiteral(":/VEXAThumArt/%1.png").arg(resourceId));
  if (image.isNull()) return nullptr;
  auto* ddb = new CDDB(image.width(), image.height(), true);
  ddb->FromImage(image);
  return ddb;
}

CDDB* GetArtwork(const std::string& name, const QRect& area, bool) {
  if (GetIntValue(Debug_NoArtwork, 0) != 0) {
    // A plain face: a white box with a grey frame.
    const int w = area.width(), h = area.height();
    auto* ddb = new CDDB(w, h, true);
    QImage image(std::max(w, 1), std::max(h, 1), QImage::Format_RGB32);
    image.fill(Qt::white);
    {
      QPainter p(&image);
      p.setPen(QPen(QColor(0x80, 0x80, 0x80), 1));
      p.drawLine(0, 0, w - 1, 0);
      p.drawLine(w - 1, 0, w - 1, h - 1);
      p.drawLine(w - 1, h - 1, 0, h - 1);
      p.drawLine(0, h - 1, 0, 0);
    }
    ddb->FromImage(image);
    return ddb;
  }
  return GetArtwork(name, false, area, false, false);
}

CDDB* GetArtwork(const std::string& name, bool, const QRect& area, bool, bool) {
  const int id = SheetId(name);
  if (!id) return nullptr;
  std::unique_ptr<CDDB> sheet(LoadArtBitmap(id));
  if (!sheet) {
    ArtResourceProblem();
    return nullptr;
  }
  if (area.isEmpty()) return sheet.release();
  return new CDDB(*sheet, area, true);
}

bool IsReadable(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0;
}

CDDB* ReadJpegFile(const std::string& path) {
  vexa::imaging::ImageInfo info;
  if (!vexa::imaging::ReadInfo(path, &info).ok()) return nullptr;
  vexa::imaging::Bitmap bitmap;
  if (!vexa::imaging::Load(path, &bitmap).ok()) return nullptr;
  HBITMAP handle = vexa::imaging::CreateBitmapHandle(std::move(bitmap));
  CDDB* ddb = BitmapToDDB(handle);
  vexa::imaging::DeleteBitmapHandle(handle);
  return ddb;
}

}  // namespace vexa::ui
