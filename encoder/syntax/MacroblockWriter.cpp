#include "encoder/syntax/MacroblockWriter.h"

#include <cstdlib>

#include "encoder/common/CodedStreamBuffer.h"
#include "encoder/common/EncoderRecords.h"
#include "encoder/common/Tables.h"

namespace vidlathe {

namespace {

// Macroblock types of P and B pictures, by the flag set MB_INTRA 1,
// MB_PATTERN 2, MB_BACKWARD 4, MB_FORWARD 8, MB_QUANT 16 (ISO/IEC 11172-2
// Annex B, tables B.2b and B.2c).
Vlc MacroblockTypeCode(int pictureType, int t) {
  if (pictureType == 1) return (t & MB_QUANT) ? Vlc{1, 2} : Vlc{1, 1};
  if (pictureType == 2) {
    switch (t) {
      case MB_FORWARD | MB_PATTERN: return {1, 1};
      case MB_PATTERN: return {1, 2};
      case MB_FORWARD: return {1, 3};
      case MB_INTRA: return {3, 5};
      case MB_FORWARD | MB_PATTERN | MB_QUANT: return {2, 5};
      case MB_PATTERN | MB_QUANT: return {1, 5};
      case MB_INTRA | MB_QUANT: return {1, 6};
      default: return {0, 0};
    }
  }
  switch (t) {
    case MB_FORWARD | MB_BACKWARD: return {2, 2};
    case MB_FORWARD | MB_BACKWARD | MB_PATTERN: return {3, 2};
    case MB_BACKWARD: return {2, 3};
    case MB_BACKWARD | MB_PATTERN: return {3, 3};
    case MB_FORWARD: return {2, 4};
    case MB_FORWARD | MB_PATTERN: return {3, 4};
    case MB_INTRA: return {3, 5};
    case MB_FORWARD | MB_BACKWARD | MB_PATTERN | MB_QUANT: return {2, 5};
    case MB_FORWARD | MB_PATTERN | MB_QUANT: return {3, 6};
    case MB_BACKWARD | MB_PATTERN | MB_QUANT: return {2, 6};
    case MB_INTRA | MB_QUANT: return {1, 6};
    default: return {0, 0};
  }
}

// motion_code magnitudes 0..16 without the sign bit (table B.4).
const Vlc kMotionCode[17] = {{1, 1},  {1, 2},  {1, 3},  {1, 4},   {3, 6},   {5, 7},
                             {4, 7},  {3, 7},  {11, 9}, {10, 9},  {9, 9},   {17, 10},
                             {16, 10}, {15, 10}, {14, 10}, {13, 10}, {12, 10}};

// coded_block_pattern 1..63, block 0 in the most significant bit (table B.3).
const Vlc kCodedBlockPattern[64] = {
    {0, 0},    {11, 5},  {9, 5},   {13, 6},  {13, 4},  {23, 7},  {19, 7},  {31, 8},
    {12, 4},   {22, 7},  {18, 7},  {30, 8},  {19, 5},  {27, 8},  {23, 8},  {19, 8},
    {11, 4},   {21, 7},  {17, 7},  {29, 8},  {17, 5},  {25, 8},  {21, 8},  {17, 8},
    {15, 6},   {15, 8},  {13, 8},  {3, 9},   {15, 5},  {11, 8},  {7, 8},   {7, 9},
    {10, 4},   {20, 7},  {16, 7},  {28, 8},  {14, 6},  {14, 8},  {12, 8},  {2, 9},
    {16, 5},   {24, 8},  {20, 8},  {16, 8},  {14, 5},  {10, 8},  {6, 8},   {6, 9},
    {18, 5},   {26, 8},  {22, 8},  {18, 8},  {13, 5},  {9, 8},   {5, 8},   {5, 9},
    {12, 5},   {8, 8},   {4, 8},   {4, 9},   {7, 3},   {10, 5},  {8, 5},   {12, 6}};

}  // namespace

void MacroblockWriter::PutAddressIncrement(int n) {
  while (n > 33) {
    bits_->PutBits(kAddressEscape.code, kAddressEscape.length);
    n -= 33;
  }
  bits_->PutBits(kAddressIncrement[n].code, kAddressIncrement[n].length);
}

void MacroblockWriter::PutMacroblockType(int pictureType, int mbType) {
  const Vlc v = MacroblockTypeCode(pictureType, mbType);
  bits_->PutBits(v.code, v.length);
}

void MacroblockWriter::PutQuantiser(int mquant) { bits_->PutBits(static_cast<uint32_t>(mquant / 2), 5); }

void MacroblockWriter::PutMotionDifference(int d, int fcode) {
  const int rsize = fcode - 1;
  const int f = 1 << rsize;
  if (d > 16 * f - 1) d -= 32 * f;
  if (d < -16 * f) d += 32 * f;
  const int t = std::abs(d) + f - 1;
  const int code = t >> rsize;
  const Vlc& v = kMotionCode[code];
  bits_->PutBits(v.code, v.length);
  if (code != 0) {
    bits_->PutBits(d < 0 ? 1 : 0, 1);
    if (rsize > 0) bits_->PutBits(static_cast<uint32_t>(t & (f - 1)), rsize);
  }
}

void MacroblockWriter::PutMotionVectors(const int mv[2], int pmv[2], int fcode) {
  PutMotionDifference(mv[0] - pmv[0], fcode);
  PutMotionDifference(mv[1] - pmv[1], fcode);
  pmv[0] = mv[0];
  pmv[1] = mv[1];
}

void MacroblockWriter::PutCodedBlockPattern(int cbp) {
  const Vlc& v = kCodedBlockPattern[cbp];
  bits_->PutBits(v.code, v.length);
}

void MacroblockWriter::PutStuffing() { bits_->PutBits(kMacroblockStuffing.code, kMacroblockStuffing.length); }

void MacroblockWriter::PutRunLevel(int run, int level) {
  const int L = std::abs(level);
  const int sign = level < 0 ? 1 : 0;
  if (run < 2 && L < 41) {
    const Vlc& v = RunLevelLong(run, L);
    if (v.length) {
      bits_->PutBits((uint32_t{v.code} << 1) | sign, v.length + 1);
      return;
    }
  }
  if (run < 32 && L < 6) {
    const Vlc& v = RunLevelShort(run, L);
    if (v.length) {
      bits_->PutBits((uint32_t{v.code} << 1) | sign, v.length + 1);
      return;
    }
  }
  bits_->PutBits(kEscape.code, kEscape.length);
  bits_->PutBits(static_cast<uint32_t>(run), 6);
  if (level > 127) {
    bits_->PutBits(0, 8);
    bits_->PutBits(static_cast<uint32_t>(level), 8);
  } else if (level < -127) {
    bits_->PutBits(0x80, 8);
    bits_->PutBits(static_cast<uint32_t>(level) & 0xFF, 8);
  } else {
    bits_->PutBits(static_cast<uint32_t>(level) & 0xFF, 8);
  }
}

void MacroblockWriter::PutIntraBlock(const int16_t* levels, int component) {
  const int diff = levels[0] - dc_[component];
  dc_[component] = levels[0];
  int size = 0;
  for (int a = std::abs(diff); a; a >>= 1) ++size;
  const Vlc& sc = component == 0 ? kDcSizeLuma[size] : kDcSizeChroma[size];
  bits_->PutBits(sc.code, sc.length);
  if (size > 0)
    bits_->PutBits(static_cast<uint32_t>(diff >= 0 ? diff : diff + (1 << size) - 1), size);
  int run = 0;
  for (int i = 1; i < 64; ++i) {
    const int level = levels[kZigzag[i]];
    if (level == 0) {
      ++run;
      continue;
    }
    PutRunLevel(run, level);
    run = 0;
  }
  bits_->PutBits(kEndOfBlock.code, kEndOfBlock.length);
}

void MacroblockWriter::PutNonIntraBlock(const int16_t* levels) {
  int run = 0;
  bool first = true;
  for (int i = 0; i < 64; ++i) {
    const int level = levels[kZigzag[i]];
    if (level == 0) {
      ++run;
      continue;
    }
    if (first && run == 0 && (level == 1 || level == -1))
      bits_->PutBits(level == 1 ? 2 : 3, 2);  // the short first code 1s
    else
      PutRunLevel(run, level);
    first = false;
    run = 0;
  }
  bits_->PutBits(kEndOfBlock.code, kEndOfBlock.length);
}

}  // namespace vidlathe
