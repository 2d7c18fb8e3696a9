// The camera orientation of a JPEG: the Orientation tag of the first
// picture (IFD0) of its EXIF segment, read through libexif. Only the
// segments before the frame header are looked at; a missing, malformed or
// out-of-range tag counts as upright.
#include <libexif/exif-data.h>

#include <cstring>
#include <memory>

#include "platform/imaging/Decoders_p.h"
#include "platform/imaging/Transform.h"

namespace vexa::imaging::detail {
namespace {

constexpr std::uint8_t kSOI = 0xD8, kAPP1 = 0xE1, kSOS = 0xDA, kEOI = 0xD9;
constexpr char kExifHeader[] = "Exif\0\0";  // six bytes with the terminator
constexpr std::size_t kExifHeaderSize = 6;

bool IsFrameMarker(std::uint8_t code) {
  return code >= 0xC0 && code <= 0xCF && code != 0xC4 && code != 0xC8 && code != 0xCC;
}

// The payload of the first APP1 segment that holds EXIF data (from its
// "Exif" header on), empty when there is none before the frame header.
Bytes FindExifSegment(Bytes d) {
  if (d.size() < 4 || d[0] != 0xFF || d[1] != kSOI) return {};
  std::size_t pos = 2;
  for (;;) {
    if (pos >= d.size() || d[pos] != 0xFF) return {};
    while (pos < d.size() && d[pos] == 0xFF) ++pos;  // fill bytes
    if (pos + 3 > d.size()) return {};
    const std::uint8_t code = d[pos];
    if (IsFrameMarker(code) || code == kSOS || code == kEOI) return {};
    const std::size_t length = static_cast<std::size_t>(d[pos + 1]) << 8 | d[pos + 2];
    if (length < 2 || pos + 1 + length > d.size()) return {};
    const Bytes payload = d.subspan(pos + 3, length - 2);
    if (code == kAPP1 && payload.size() > kExifHeaderSize &&
        std::memcmp(payload.data(), kExifHeader, kExifHeaderSize) == 0) {
      return payload;
    }
    pos += 1 + length;
  }
}

}  // namespace

int JpegOrientation(Bytes data) {
  const Bytes exif = FindExifSegment(data);
  if (exif.empty()) return kOrientationUpright;
  std::unique_ptr<ExifData, void (*)(ExifData*)> ed(exif_data_new(), exif_data_unref);
  if (!ed) return kOrientationUpright;
  // Read as stored: with this option on, libexif would add the EXIF
  // entries it deems mandatory.
  exif_data_unset_option(ed.get(), EXIF_DATA_OPTION_FOLLOW_SPECIFICATION);
  exif_data_load_data(ed.get(), exif.data(), static_cast<unsigned int>(exif.size()));
  const ExifEntry* entry = exif_content_get_entry(ed->ifd[EXIF_IFD_0], EXIF_TAG_ORIENTATION);
  if (!entry || entry->format != EXIF_FORMAT_SHORT || entry->components < 1 || !entry->data || entry->size < 2) {
    return kOrientationUpright;
  }
  const int value = exif_get_short(entry->data, exif_data_get_byte_order(ed.get()));
  return IsOrientation(value) ? value : kOrientationUpright;
}

}  // namespace vexa::imaging::detail
