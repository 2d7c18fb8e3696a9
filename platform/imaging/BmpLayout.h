// Where the parts of a Windows bitmap file lie, every size and offset
// checked against the length of the file: the one parser of BMP headers,
// used by this layer's decoder and by the video encoder, which converts the
// rows itself.
#pragma once

#include "platform/imaging/ImagingExport.h"

#include <cstddef>
#include <cstdint>
#include <span>

#include "platform/imaging/Error.h"

namespace vexa::imaging {

struct BmpLayout {
  std::uint32_t headerSize = 0;  // 12 (OS/2 core), 40, 52, 56, 108, 124, or 16..64 (OS/2)
  // Where the pixels start. A file whose header gives 0 has them right
  // after the colour table (as some writers leave the field).
  std::uint32_t offBits = 0;
  std::int64_t width = 0;
  std::int64_t height = 0;  // rows, always positive
  bool topDown = false;
  int bpp = 0;
  std::uint32_t compression = 0;  // 0 RGB, 1 RLE8, 2 RLE4, 3 and 6 bit fields
  std::uint32_t colorsUsed = 0;
  std::uint32_t masks[4] = {0, 0, 0, 0};
  bool os2 = false;
  std::size_t paletteAt = 0;  // the colour table, after the header and any masks
  int paletteEntrySize = 4;   // 3 in OS/2 core files
};

// Parses the file header and information header of a BMP file held whole
// in file; fails unless every part it describes lies inside the file.
VEXA_IMAGING_API Status ParseBmpLayout(std::span<const std::uint8_t> file, BmpLayout* layout);

}  // namespace vexa::imaging
