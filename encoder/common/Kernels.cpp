#include "encoder/common/Kernels.h"

namespace vidlathe {

void InitKernels(unsigned cpuMask, Kernels* k) {
  InitTransformKernels(cpuMask, k);
  InitPixelKernels(cpuMask, k);
  InitColourKernels(cpuMask, k);
}

const Kernels& ActiveKernels() {
  static const Kernels table = [] {
    Kernels k{};
    InitKernels(vexa::base::CpuMask(), &k);
    return k;
  }();
  return table;
}

}  // namespace vidlathe
