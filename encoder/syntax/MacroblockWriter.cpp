#include <cstdlib>

#include "encoder/common/CodedStreamBuffer.h"
#include "encoder/coder/PictureEncoder.h"
#include "encoder/common/Tables.h"

namespace vidlathe {

void MacroblockWriter::PutAddressIncrement(int n) {
  while (n > 33) {
    bits_->PutBits(kAddressEscape.code, kAddressEscape.length);
    n -= 33;
  }
  bits_->PutBits(kAddressIncrement[n].code, kAddressIncrement[n].length);
}

void MacroblockWriter::PutMacroblockType(int pictureType, int mbType) {
  if (pictureType != 1) return;  // only intra pictures are coded
  if (mbType & MB_QUANT)
    bits_->PutBits(1, 2);  // 01: intra with quantiser
  else
    bits_->PutBits(1, 1);  // 1: intra
}

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
