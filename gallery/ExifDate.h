// The capture date-time text of a photo's EXIF segment, read without
// decoding the picture.
#pragma once

#include <string>

#include "gallery/GalleryExport.h"

namespace vexa::gallery {

// "YYYY:MM:DD HH:MM:SS" of the original capture; "9999" when the file has
// no such date or is no regular file. Opening the file never waits (a FIFO
// or a device is not opened at all).
VEXATHUMGALLERY_API std::string ReadExifDateTime(const std::string& path);

}  // namespace vexa::gallery
