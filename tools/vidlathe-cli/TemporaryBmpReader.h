// TEMPORARY: a minimal picture reader for vidlathe-cli until the shared
// picture library (platform/imaging) is available in this tree; then the
// tool decodes every picture format through it and this file goes away.
// Reads uncompressed 8-, 24- and 32-bit .bmp files only.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vidlathe_cli {

struct Picture {
  int width = 0, height = 0;
  std::vector<uint8_t> bgrx;  // rows top to bottom, 4 bytes a pixel
};

// false with a message in *error when the file cannot be read.
bool ReadPicture(const std::string& path, Picture* out, std::string* error);

// Scales to fit inside w x h keeping the aspect ratio (area average when
// shrinking, bilinear when enlarging), centred on black.
Picture FitInto(const Picture& in, int w, int h);

}  // namespace vidlathe_cli
