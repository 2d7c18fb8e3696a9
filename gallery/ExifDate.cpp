#include "gallery/ExifDate.h"

#include <sys/stat.h>

#include <libexif/exif-data.h>
#include <libexif/exif-loader.h>

#include <memory>

#include "platform/base/File.h"

namespace vexa::gallery {

std::string ReadExifDateTime(const std::string& path) {
  // Only a regular file is read: a FIFO or a device named like a picture
  // is no picture, and is not even opened (opening a FIFO waits for a
  // writer for good; opening a device may do something). A file put in
  // its place since is opened without waiting and refused.
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return "9999";
  base::InputFile in;
  if (!in.OpenRegular(path)) return "9999";
  // The loader takes the file's segments up to the EXIF block only.
  std::unique_ptr<ExifLoader, void (*)(ExifLoader*)> loader(exif_loader_new(), exif_loader_unref);
  if (!loader) return "9999";
  unsigned char buffer[4096];
  for (long long n; (n = in.ReadSome(buffer, sizeof buffer)) > 0;)
    if (!exif_loader_write(loader.get(), buffer, static_cast<unsigned int>(n))) break;
  std::unique_ptr<ExifData, void (*)(ExifData*)> data(exif_loader_get_data(loader.get()), exif_data_unref);
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
