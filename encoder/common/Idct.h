// The 8x8 inverse DCTs. Both work in place on 64 coefficients in raster
// order (entry 8r + c) and give sample differences; both are slots of the
// kernel table (idct and idct_fast), with a plain reference and faster
// versions that give exactly its results.
//
// IntegerIdct is the separable fixed-point transform in 32-bit arithmetic,
// rows then columns, with its outputs clipped to -256..255. It is the one
// integer transform of the library: the encoder reconstructs its reference
// pictures with it and the stream decoder uses it when it does not take the
// fast transform, so both agree on every block, the extreme ones included.
// A row result that does not fit 16 bits is held at the nearest 16-bit
// value. It gives the same results on every machine.
//
// FastIdct is the 16-bit saturating transform (columns, then rows) whose
// outputs are not clipped; it differs from IntegerIdct in single samples, as
// a rule by one unit, and only the stream decoder uses it.
#pragma once

#include <cstdint>

#include "encoder/common/Kernels.h"

namespace vidlathe {

class IntegerIdct {
 public:
  explicit IntegerIdct(unsigned cpuMask = vexa::base::CpuMask());
  virtual ~IntegerIdct() = default;
  void Transform(int16_t* block) const { transform_(block); }

 private:
  void (*transform_)(int16_t*) = nullptr;
};

// The fast transform, with the fastest version this process may use.
void FastIdct(int16_t* block);

// The versions of the two transforms, for the transform family's init.
void IntegerIdctPlain(int16_t* block);
void IntegerIdctAvx2(int16_t* block);  // the columns eight at a time
void FastIdctPlain(int16_t* block);
void FastIdctSse2(int16_t* block);

}  // namespace vidlathe
