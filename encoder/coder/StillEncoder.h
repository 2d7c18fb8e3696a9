// One still-stream encoding call: the picture queue, the encoder thread, the
// multiplexer thread and, with audio, the audio file reader thread.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "encoder/common/ColourConvert.h"

namespace vidlathe {

// The planes of one still: the 352-wide picture, and for a pair also the
// 704-wide one.
struct StillPlanes {
  std::vector<uint8_t> y, u, v;
  std::vector<uint8_t> y2, u2, v2;
};

struct StillMode {
  uint32_t kind;  // 0x101 or 0x110
  int width, height;  // of the largest picture
  int aspectCode, rateCode;
};

// Mode tables of the entry points; false when the mode is outside them.
bool VidlatheMode(int mode, StillMode* out);     // 1..4
bool MultiStillMode(int mode, StillMode* out);   // 5..12

// Converts a bitmap into the planes of the mode (a pair's companion is
// derived from the 704-wide picture). false when the bitmap is refused.
bool MakeStillPlanes(const BitmapSource& src, const StillMode& mode, StillPlanes* out);

// Gives the next picture: fills planes and display time and returns true,
// or false to stop the list (the call then fails).
using StillFeeder = std::function<bool(StillPlanes* planes, uint32_t* displayMs)>;

// Runs one call: count pictures from feed, coded with the quantiser (2..62)
// and written to outputPath, with audioPath multiplexed when not empty.
// The output appears only when the call succeeds (written beside it under a
// temporary name, then renamed). Returns 1 or 0.
int EncodeStillStream(const StillMode& mode, int quantiser, int count, const StillFeeder& feed,
                      const std::string& outputPath, const std::string& audioPath, bool loop);

}  // namespace vidlathe
