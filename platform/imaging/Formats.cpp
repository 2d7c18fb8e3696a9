#include "platform/imaging/Formats.h"

#include <algorithm>
#include <array>
#include <span>

namespace vexa::imaging {
namespace {

constexpr std::array kBmp{6, 9, 84};
constexpr std::array kJpg{10, 21, 23, 98, 101, 127, 128};
constexpr std::array kTif{3,  4,  11, 17, 22, 24, 25, 27,  28,  29,  85, 86,
                          87, 88, 93, 94, 95, 96, 97, 138, 139, 140, 141};
constexpr std::array kCmp{5, 65};
constexpr std::array kGif{2, 14};
constexpr std::array kPng{75};
constexpr std::array kPct{56};
constexpr std::array kPcd{57};

std::span<const int> Members(FormatFamily family) {
  switch (family) {
    case FormatFamily::kBmp: return kBmp;
    case FormatFamily::kJpg: return kJpg;
    case FormatFamily::kTif: return kTif;
    case FormatFamily::kCmp: return kCmp;
    case FormatFamily::kGif: return kGif;
    case FormatFamily::kPng: return kPng;
    case FormatFamily::kPct: return kPct;
    case FormatFamily::kPcd: return kPcd;
  }
  return {};
}

}  // namespace

bool IsValidFormat(int code) { return code >= kFormatMin && code <= kFormatMax; }

bool IsInFamily(int code, FormatFamily family) {
  if (!IsValidFormat(code)) return false;
  auto m = Members(family);
  return std::find(m.begin(), m.end(), code) != m.end();
}

std::string_view FormatName(int code) {
  if (IsInFamily(code, FormatFamily::kJpg)) return "JPEG";
  if (IsInFamily(code, FormatFamily::kBmp)) return "BMP";
  if (IsInFamily(code, FormatFamily::kTif)) return "TIFF";
  if (IsInFamily(code, FormatFamily::kCmp)) return "CMP";
  if (IsInFamily(code, FormatFamily::kGif)) return "GIF";
  if (IsInFamily(code, FormatFamily::kPng)) return "PNG";
  if (IsInFamily(code, FormatFamily::kPct)) return "PICT";
  if (IsInFamily(code, FormatFamily::kPcd)) return "PCD";
  return "other";
}

int JpegQualityFromFactor(int factor) {
  if (factor < 0 || factor > 255) factor = kDefaultQualityFactor;
  int q = kJpegQualityForDefaultFactor - (factor - kDefaultQualityFactor);
  return std::clamp(q, 1, 100);
}

}  // namespace vexa::imaging
