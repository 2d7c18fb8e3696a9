// An in-memory picture: rows top-down, each row `stride` bytes. Pixels are
// blue-green-red (24 bits), blue-green-red-alpha (32 bits, the byte order of
// a cairo ARGB32 surface on little-endian machines) or palette indexes
// (8 bits, with up to 256 palette entries).
#pragma once

#include "platform/imaging/ImagingExport.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>
#include <utility>
#include <vector>

#include "platform/imaging/Error.h"
#include "platform/imaging/Formats.h"

namespace vexa::imaging {

struct PaletteEntry {
  std::uint8_t blue = 0, green = 0, red = 0, alpha = 255;
  bool operator==(const PaletteEntry&) const = default;
};

// Largest picture this layer makes: 2^28 pixels (16384 x 16384).
inline constexpr std::int64_t kMaxPixels = std::int64_t{1} << 28;
inline constexpr int kMaxDimension = 65535;
// The most memory the decoding of one picture may take, in bytes: the
// picture it makes and every buffer the decoder holds beside it (a strip or
// tile of stored samples, a row of 16-bit samples, a frame, the DCT
// coefficients of a progressive JPEG). Each decoder counts them from the
// file's header before it allocates anything, so a header that claims
// absurd samples (a TIFF of 65534 samples a pixel) is refused at once. Room
// for the largest picture, kMaxPixels at 32 bits (1 GiB), and an eighth more.
inline constexpr std::int64_t kMaxDecodeBytes = kMaxPixels * 4 + kMaxPixels / 2;

class VEXA_IMAGING_API Bitmap {
 public:
  Bitmap() = default;

  // Allocates a zero-filled picture (black; index 0 for 8 bits, with a grey
  // ramp palette). bitsPerPixel is 8, 24 or 32.
  Status Create(int width, int height, int bitsPerPixel);
  // As Create, but the pixels are left unset (the bytes that pad each row
  // are zero): for a picture whose every pixel is written next, as a
  // decoder or a resize does, so that no time goes to clearing it first.
  Status Allocate(int width, int height, int bitsPerPixel);
  void Free();

  bool empty() const { return pixels_.empty(); }
  int width() const { return width_; }
  int height() const { return height_; }
  int bitsPerPixel() const { return bpp_; }
  int bytesPerPixel() const { return bpp_ / 8; }
  std::size_t stride() const { return stride_; }
  std::uint8_t* row(int y) { return pixels_.data() + static_cast<std::size_t>(y) * stride_; }
  const std::uint8_t* row(int y) const {
    return pixels_.data() + static_cast<std::size_t>(y) * stride_;
  }
  std::uint8_t* data() { return pixels_.data(); }
  const std::uint8_t* data() const { return pixels_.data(); }
  std::size_t size() const { return pixels_.size(); }

  std::vector<PaletteEntry>& palette() { return palette_; }
  const std::vector<PaletteEntry>& palette() const { return palette_; }

  // The picture-format code of the file it was read from (kFormatOther when
  // it was made in memory).
  int format() const { return format_; }
  void set_format(int code) { format_ = code; }

  // Red, green and blue of a pixel, whatever the depth.
  void GetRgb(int x, int y, std::uint8_t* r, std::uint8_t* g, std::uint8_t* b) const;

 private:
  // A byte allocator that leaves new bytes unset (Allocate); Create
  // clears them itself.
  template <typename T>
  struct Uninitialized : std::allocator<T> {
    template <typename U>
    struct rebind {
      using other = Uninitialized<U>;
    };
    Uninitialized() = default;
    template <typename U>
    Uninitialized(const Uninitialized<U>&) noexcept {}
    template <typename U>
    void construct(U* p) noexcept {
      ::new (static_cast<void*>(p)) U;
    }
    template <typename U, typename... Args>
    void construct(U* p, Args&&... args) {
      ::new (static_cast<void*>(p)) U(std::forward<Args>(args)...);
    }
  };
  Status Reserve(int width, int height, int bitsPerPixel, bool clear);

  int width_ = 0;
  int height_ = 0;
  int bpp_ = 0;
  std::size_t stride_ = 0;
  int format_ = kFormatOther;
  std::vector<std::uint8_t, Uninitialized<std::uint8_t>> pixels_;
  std::vector<PaletteEntry> palette_;
};

// Checks a picture size against the layer's limits.
VEXA_IMAGING_API Status CheckDimensions(std::int64_t width, std::int64_t height);

// Checks what decoding a picture will take, in bytes, against
// kMaxDecodeBytes: kImageTooLarge, saying how much, when it is more.
VEXA_IMAGING_API Status CheckDecodeBytes(std::uint64_t bytes);

// A copy at another depth (8 -> 24/32 expands the palette; 32 -> 24 drops
// alpha; 24 -> 32 gives opaque pixels). 8 bits as a target is refused.
VEXA_IMAGING_API Status ConvertDepth(const Bitmap& src, int bitsPerPixel, Bitmap* dst);

}  // namespace vexa::imaging
