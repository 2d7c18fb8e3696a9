#include "gallery/ExifDate.h"

#include <libexif/exif-data.h>

#include <memory>

namespace vexa::gallery {

std::string ReadExifDateTime(const std::string& path) {
  // The loader reads the file's segments up to the EXIF block only.
  std::unique_ptr<ExifData, void (*)(ExifData*)> data(exif_data_new_from_file(path.c_str()),
                                                      exif_data_unref);
  if (!data) return "9999";
  for (ExifTag tag : {EXIF_TAG_DATE_TIME_ORIGINAL}) {
    ExifEntry* entry = exif_data_get_entry(data.get(), tag);
    if (!entry || entry->format != EXIF_FORMAT_ASCII || !entry->data || entry->size == 0) continue;
    std::string text(reinterpret_cast<const char*>(entry->data), entry->size);
    text = text.substr(0, text.find('\0'));
    if (!text.empty() && text.find_first_not_of(" :") != std::string::npos) return text;
  }
  return "9999";
}

}  // namespace vexa::gallery
