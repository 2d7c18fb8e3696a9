// The re-encode coder: decoded pictures, already at the target size and
// rate, coded again as a motion stream with the I P B B picture order
// (groups of 13 pictures, anchors every third picture).
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "encoder/coder/StillEncoder.h"

namespace vidlathe {

struct ReencodeMode {
  int width, height;
  int aspectCode, rateCode;
};

// Gives the next picture (planes of the mode's size in y, u, v); false ends
// the pictures.
using PictureFeeder = std::function<bool(StillPlanes* planes)>;

// Codes the pictures from feed into a new system stream at outputPath, with
// the Layer II file audioPath multiplexed when not empty. The output appears
// only when the call succeeds. Returns 1 or 0; 0 as well when no motion
// coder is built into the library.
int EncodeReencodedStream(const ReencodeMode& mode, const PictureFeeder& feed,
                          const std::string& outputPath, const std::string& audioPath);

}  // namespace vidlathe
