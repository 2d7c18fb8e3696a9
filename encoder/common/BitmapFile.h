// Windows bitmap files as Vidlathe2 reads them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "encoder/common/ColourConvert.h"

namespace vidlathe {

// Reads a .bmp file into file and describes its picture in out (pointing
// into file). false, with the reason recorded, for anything the encoder
// cannot take or that does not lie inside the file.
bool ReadBmpFile(const std::string& path, std::vector<uint8_t>* file, BitmapSource* out);

}  // namespace vidlathe
