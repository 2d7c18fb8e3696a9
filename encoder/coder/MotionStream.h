// One motion-video encoding call: stills shown for their display times
// become MPEG-1 video at the mode's picture rate (each still an I picture
// followed by P pictures or copy pictures, one closed group per piece of at
// most about a second), multiplexed with a Layer II file when one is given.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "encoder/coder/StillEncoder.h"

namespace vidlathe {

struct MotionMode {
  uint32_t kind;  // 0x202 or 0x203
  int width, height;
  int aspectCode, rateCode;
};

// Modes 5..12 of the motion entry points; false outside them.
bool MotionModeOf(int mode, MotionMode* out);

// The pictures of each piece a still's display time is cut into: pieces of
// 1000 ms while 1500 ms or more remain, then the rest; a piece of t ms has
// floor(t x fps / 1000 + 0.5) pictures, and at least one.
std::vector<int> PiecePictureCounts(uint32_t displayMs, double fps);

// Runs one call: count stills from feed (planes of the mode's size) into
// outputPath, with audioPath multiplexed when not empty. The output appears
// only when the call succeeds. Returns 1 or 0.
int EncodeMotionStream(const MotionMode& mode, int count, const StillFeeder& feed,
                       const std::string& outputPath, const std::string& audioPath, bool loop);

}  // namespace vidlathe
