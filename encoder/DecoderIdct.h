// The two 8x8 inverse DCTs of the stream decoder. Both work in place on 64
// coefficients in raster order (entry 8r + c) and give sample differences.
//
// ReferenceIdct is the separable 32-bit fixed-point transform (rows, then
// columns) with its outputs clamped to -256..255. FastIdct is the 16-bit
// saturating transform (columns, then rows) whose outputs are not clamped;
// it differs from the reference in single samples, as a rule by one unit.
// FastIdctPlain is FastIdct's scalar definition, lane by lane; FastIdct
// runs it eight lanes at a time with SSE2 where the build targets it, with
// exactly FastIdctPlain's results (saturation included).
#pragma once

#include <cstdint>

namespace vidlathe {

void ReferenceIdct(int16_t* block);
void FastIdctPlain(int16_t* block);
void FastIdct(int16_t* block);

}  // namespace vidlathe
