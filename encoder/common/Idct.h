// The 8x8 inverse DCTs. Both work in place on 64 coefficients in raster
// order (entry 8r + c) and give sample differences.
//
// IntegerIdct is the separable fixed-point transform in 32-bit arithmetic,
// rows then columns, with its outputs clipped to -256..255. It is the one
// integer transform of the library: the encoder reconstructs its reference
// pictures with it and the stream decoder uses it when it does not take the
// fast transform, so both agree on every block, the extreme ones included.
// It is bit-exact on every machine.
//
// FastIdct is the 16-bit saturating transform (columns, then rows) whose
// outputs are not clipped; it differs from IntegerIdct in single samples, as
// a rule by one unit, and only the stream decoder uses it. FastIdctPlain is
// its scalar definition, lane by lane; FastIdct runs it eight lanes at a
// time with SSE2 where the build targets it, with exactly FastIdctPlain's
// results (saturation included).
#pragma once

#include <cstdint>

#include "encoder/common/Kernels.h"

namespace vidlathe {

class IntegerIdct {
 public:
  // cpuMask as for the kernel tables: with vectors the eight columns are
  // transformed side by side, with the same results.
  explicit IntegerIdct(unsigned cpuMask = kCpuAll);
  virtual ~IntegerIdct() = default;
  void Transform(int16_t* block) const;

 private:
  void Columns(int16_t* block) const;
  int16_t clip_[1024];  // inputs -512..511
  int Clip(int v) const { return v < -512 ? -256 : v > 511 ? 255 : clip_[v + 512]; }
  bool wideColumns_ = false;
};

void FastIdctPlain(int16_t* block);
void FastIdct(int16_t* block);

}  // namespace vidlathe
