// The bitmap layer of the thumbnail family. CDDB is a device bitmap that can
// park its pixels in ordinary memory between uses ("keep offline"), so that
// many small bitmaps hold no drawing resources between draws; CDib is a
// packed device-independent bitmap (header, colour table, bottom-up rows)
// with ".bmp" files, archive serialisation and painting. The art sheets, the
// five large bitmaps every button face is cut from, are resources of
// VEXAThumArt. All of it runs on the thread that owns the windows.
#pragma once

#include <QImage>
#include <QRect>
#include <cstdint>
#include <iosfwd>
#include <memory>
#include <string>
#include <vector>

#include "uicommon/art/ArtExport.h"

class QPainter;
struct HBITMAP__;
using HBITMAP = HBITMAP__*;

namespace vexa::ui {

// Raster operations of the blits.
enum : unsigned {
  SRCCOPY = 0x00CC0020,
  SRCPAINT = 0x00EE0086,
  SRCAND = 0x008800C6,
  SRCINVERT = 0x00660046,
  NOTSRCCOPY = 0x00330008,
};

// A logical palette: up to 256 colours.
class CPalette {
 public:
  CPalette() = default;
  explicit CPalette(std::vector<QRgb> entries) : m_entries(std::move(entries)) {}
  const std::vector<QRgb>& Entries() const { return m_entries; }
  int GetEntryCount() const { return static_cast<int>(m_entries.size()); }

 private:
  std::vector<QRgb> m_entries;
};

class VEXATHUMART_API CDDB {
 public:
  explicit CDDB(bool keepOffline);
  CDDB(int width, int height, bool keepOffline);
  CDDB(QPainter* dc, int width, int height, bool keepOffline);
  CDDB(CDDB& source, bool keepOffline);
  // The area of the source, copied to the origin; what lies outside the
  // source stays black.
  CDDB(CDDB& source, const QRect& area, bool keepOffline);
  virtual ~CDDB();
  CDDB(const CDDB&) = delete;
  CDDB& operator=(const CDDB&) = delete;

  // Makes the pixels drawable: a memory context holding the bitmap.
  QPainter* AttachDC(QPainter* dc);
  void DetachDC();
  QPainter* MemoryDC() const { return m_memoryDC.get(); }

  QSize Size() const { return QSize(m_width, m_height); }
  int Width() const { return m_width; }
  int Height() const { return m_height; }
  void Width(int w) { m_width = w; }
  void Height(int h) { m_height = h; }
  bool KeepOffline() const { return m_keepOffline; }
  // Whether a bitmap is held at all (drawable or parked).
  bool HasBitmap() const { return m_bitmap != nullptr || !m_savedBits.empty(); }
  // Whether drawing resources are held now (always, for a bitmap that does
  // not keep offline).
  bool Attached() const { return m_bitmap != nullptr; }

  unsigned long GetBitmapSize() const { return static_cast<unsigned long>(m_savedBits.size()); }
  long GetBitmapBits(long length, void* destination) const;
  long SetBitmapBits(long length, const void* source);

  void Draw(QPainter* dc, int x, int y, unsigned rop = SRCCOPY);
  void Draw(QPainter* dc, int x, int y, int srcX, int srcY, unsigned rop = SRCCOPY);
  void Draw(QPainter* dc, const QRect& r, unsigned rop = SRCCOPY);
  void Draw(QPainter* dc, const QRect& src, int x, int y, unsigned rop = SRCCOPY);
  void Draw(QPainter* dc, const QRect& dest, const QRect& src, unsigned rop = SRCCOPY);
  // The bitmap repeated from (0, 0) in steps of its size over width x height.
  void DrawTiles(QPainter* dc, int width, int height, unsigned rop = SRCCOPY);

  // A copy of the pixels (RGB32), whatever the state.
  QImage ToImage() const;
  // Replaces the pixels by a picture of the bitmap's size.
  bool FromImage(const QImage& image);

  static CPalette* Palette();
  // Sets the shared palette once; later calls do nothing.
  static void Palette(CPalette* palette);

 private:
  bool CreateBitmap();
  void SaveBits();
  bool LoadBits();
  void Blit(QPainter* dc, const QRect& dest, const QRect& src, unsigned rop, bool stretch);

  int m_width = 0;
  int m_height = 0;
  bool m_keepOffline;
  std::unique_ptr<QPainter> m_memoryDC;
  std::unique_ptr<QImage> m_bitmap;       // the drawable bitmap
  std::vector<std::uint8_t> m_savedBits;  // parked pixels of a keep-offline bitmap
};

// The packed bitmap memory of a CDib.
using HDIB = std::shared_ptr<std::vector<std::uint8_t>>;

// An archive of bytes: little-endian numbers over a stream.
class CArchive {
 public:
  enum Mode { store = 0, load = 1 };
  CArchive(std::iostream* stream, Mode mode) : m_stream(stream), m_mode(mode) {}
  bool IsStoring() const { return m_mode == store; }
  bool IsLoading() const { return m_mode == load; }
  bool Write(const void* data, std::size_t size);
  bool Read(void* data, std::size_t size);
  bool WriteInt(std::int32_t v);
  bool ReadInt(std::int32_t* v);
  // Bytes left to read.
  std::uint64_t Remaining() const;

 private:
  std::iostream* m_stream;
  Mode m_mode;
};

class VEXATHUMART_API CDib {
 public:
  enum Error { INVALID_DIB_HANDLE, LOW_MEMORY, ERROR_READING_FILE, ERROR_WRITING_FILE, ERROR_IN_SERIALIZE };

  CDib();
  explicit CDib(HDIB dib);
  CDib(const CDib& other);
  CDib(const CDib& other, const QRect& area);
  CDib(const CDib& other, const QRect& area, const QRect& unused);
  explicit CDib(const std::string& path);
  virtual ~CDib();

  virtual void Serialize(CArchive& archive);
  virtual CDib& operator=(const CDib& other);
  // Takes the header's size and colours; a DIB whose header, colour table
  // or rows do not fit its memory is dropped (INVALID_DIB_HANDLE).
  virtual bool Initialize();
  virtual bool Paint(QPainter* dc, int x, int y);
  virtual bool PaintFrom(QPainter* dc, const QRect& src);
  virtual bool PaintScale(QPainter* dc, int shift, int dx, int dy);
  virtual bool PaintStretch(QPainter* dc, const QRect& src, const QRect& dest);
  virtual bool PaintTo(QPainter* dc, const QRect& dest);
  virtual int ReadFile(const std::string& path);
  virtual int WriteFile(const std::string& path);

  HDIB GetDib() const { return m_dib; }
  void SetDib(HDIB dib) { m_dib = std::move(dib); }
  int GetWidth() const { return m_width; }
  int GetHeight() const { return m_height; }
  QSize GetSize() const { return QSize(m_width, m_height); }
  QRect GetRect() const { return QRect(0, 0, m_width, m_height); }
  CPalette* GetPalette() const { return m_palette.get(); }
  const std::uint8_t* GetDIBBits() const;
  int GetNumColors() const;
  int GetBitsPerPixel() const;
  std::uint32_t GetImageStorageSize() const;
  int GetXResolution() const;
  int GetYResolution() const;
  int GetHeaderSize() const;

  void Replace(HDIB dib, int width, int height);
  void PutPalette(CPalette* palette);
  int SetPalette(bool background);

  // The pixels as a picture (RGB32), run-length encoded rows decoded; null
  // for no DIB.
  QImage ToImage() const;
  // The last error reported (-1: none).
  int LastError() const { return m_lastError; }

 private:
  void Report(Error error, const std::string& path = "");
  void CopyArea(const CDib& other, const QRect& area);
  bool IsPrinting(QPainter* dc) const;

  HDIB m_dib;
  std::unique_ptr<CPalette> m_palette;
  int m_width = 1;
  int m_height = 1;
  int m_lastError = -1;
};

// Converts a bitmap handle of the imaging layer into a new keep-offline
// device bitmap; null for a null handle. The handle stays the caller's.
CDDB* BitmapToDDB(HBITMAP bitmap);
VEXATHUMART_API CDDB* DibToDdb(CDib* dib);
// Copies the device bitmap's pixels into the CDib's existing DIB of the
// same size, in the depth its header gives: 32, 24 or 16 bits (with their
// colour masks), or 8, 4 or 1 bits as the nearest colours of its table.
// False for a run-length encoded DIB or one of another size.
bool DdbToDib(CDDB* ddb, CDib* dib);
void DeleteArtwork(CDDB* artwork);
bool Use256ColorMode();
// The art loader: the area of a sheet ("Backgrnd", "Down", "DownHigh",
// "Up", "UpHigh"), or the whole sheet for an empty area; with the setting
// NoArtwork a plain white box with a grey frame of the area's size. Null for
// another name.
VEXATHUMART_API CDDB* GetArtwork(const std::string& name, const QRect& area, bool unused = false);
CDDB* GetArtwork(const std::string& name, bool, const QRect& area, bool, bool);
// A bitmap resource of VEXAThumArt by number (137-141, 202); null when absent.
VEXATHUMART_API CDDB* LoadArtBitmap(int resourceId);
bool IsReadable(const std::string& path);
CDDB* ReadJpegFile(const std::string& path);

// Decodes a packed DIB (header, colours, rows, run-length encoded rows of 8
// or 4 bits too); null for a malformed one.
QImage DibMemoryToImage(const std::uint8_t* dib, std::size_t size);
// Checks that a packed DIB's header, colour table and rows lie inside its
// memory.
bool ValidDibMemory(const std::uint8_t* dib, std::size_t size);

}  // namespace vexa::ui
