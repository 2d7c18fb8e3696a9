// The coding order of decoded video coded again with I, P and B pictures:
// groups of N pictures, an anchor (I or P) every M pictures, each anchor
// coded before the B pictures shown ahead of it (I0 P3 B1 B2 P6 B4 B5 ...).
#pragma once

#include <functional>
#include <map>
#include <memory>

#include "encoder/coder/MotionEncoder.h"
#include "encoder/common/ColourConvert.h"

namespace vidlathe {

// The next decoded picture in display order (planes of the coding size), or
// none when the source has ended.
using NextPicture = std::function<std::unique_ptr<StillPlanes>()>;

// Codes the source as one sequence: sequence headers before every fourth
// group, groups of gop.N pictures with anchors every gop.M, and the end
// code. Pictures after the last anchor that the source still gave are coded
// as P pictures, so none is lost at the end. stop, when it returns true,
// ends the sequence early. Returns the number of pictures coded.
int CodeReencodeSequence(MotionPictureEncoder& pe, const GopParameters& gop, const NextPicture& next,
                         const std::function<bool()>& stop);

}  // namespace vidlathe
