// The system's picture-format codes (0 to 246) and their families. The codes
// are the numbers the rest of the system stores and compares; JPEG is 101,
// the format every derived still is saved in.
#pragma once

#include "platform/imaging/ImagingExport.h"

#include <string_view>

namespace vexa::imaging {

inline constexpr int kFormatMin = 0;
inline constexpr int kFormatMax = 246;

// Codes this layer reports when it reads a file.
inline constexpr int kFormatOther = 0;      // read through the fallback reader
inline constexpr int kFormatGif = 2;
inline constexpr int kFormatTiff = 3;
inline constexpr int kFormatBmp = 6;        // Windows BMP (40-byte and later headers)
inline constexpr int kFormatBmpOs2 = 9;     // BMP with the 12- or 64-byte OS/2 header
inline constexpr int kFormatPict = 56;
inline constexpr int kFormatPcd = 57;
inline constexpr int kFormatPng = 75;
inline constexpr int kFormatJpeg = 101;

enum class FormatFamily { kBmp, kJpg, kTif, kCmp, kGif, kPng, kPct, kPcd };

VEXA_IMAGING_API bool IsValidFormat(int code);
// Whether a code (0 to 246) belongs to a family; false outside the range.
VEXA_IMAGING_API bool IsInFamily(int code, FormatFamily family);
// A short name for messages and the tools ("JPEG", "BMP", ...).
VEXA_IMAGING_API std::string_view FormatName(int code);

// The save quality. The system asks for "quality factor 10" everywhere; it
// stands for one JPEG quality, kept here.
inline constexpr int kDefaultQualityFactor = 10;
inline constexpr int kJpegQualityForDefaultFactor = 90;
// A factor of 0 to 255 (lower is better); anything else is taken as 10.
// Factor 10 gives kJpegQualityForDefaultFactor; each step changes the JPEG
// quality by one, within 1 to 100.
VEXA_IMAGING_API int JpegQualityFromFactor(int factor);

}  // namespace vexa::imaging
