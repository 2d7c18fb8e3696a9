// Levels back to DCT coefficients, as a decoder forms them: the intra and
// non-intra rules of MPEG-1 with mismatch control (even values move one
// step toward zero) and clamping to -2048..2047.
#pragma once

#include <cstdint>

namespace vidlathe {

void DequantiseIntra(const int16_t* in, int16_t* out, const uint8_t* matrix, int mquant);
void DequantiseNonIntra(const int16_t* in, int16_t* out, const uint8_t* matrix, int mquant);

}  // namespace vidlathe
