// Fixed tables of MPEG-1 video (ISO/IEC 11172-2): the zigzag scan, the
// default intra quantiser matrix and the variable-length codes the
// macroblock writer uses.
#pragma once

#include <cstdint>

namespace vidlathe {

struct Vlc {
  uint16_t code;
  uint8_t length;  // 0: no code
};

// kZigzag[i] is the raster position of the i-th coefficient in scan order.
extern const uint8_t kZigzag[64];
// Default intra matrix and the flat non-intra matrix, raster order.
extern const uint8_t kDefaultIntraMatrix[64];
extern const uint8_t kFlatMatrix[64];
// Macroblock address increment 1..33 (index 0 unused).
extern const Vlc kAddressIncrement[34];
constexpr Vlc kAddressEscape = {0x08, 11};
constexpr Vlc kMacroblockStuffing = {0x0F, 11};
// dct_dc_size codes for sizes 0..8.
extern const Vlc kDcSizeLuma[9];
extern const Vlc kDcSizeChroma[9];
// Run/level codes without the sign bit: runs 0 and 1 with levels 1..40, and
// runs 0..31 with levels 1..5.
const Vlc& RunLevelLong(int run, int level);   // run < 2, level 1..40
const Vlc& RunLevelShort(int run, int level);  // run < 32, level 1..5
constexpr Vlc kEndOfBlock = {0x2, 2};
constexpr Vlc kEscape = {0x01, 6};

}  // namespace vidlathe
