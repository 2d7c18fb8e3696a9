// High-quality resizing: a separable Lanczos-3 filter in 14-bit fixed point,
// first along rows, then along columns. The arithmetic is integer only, so
// the plain reference kernels and the vectorised ones give identical bytes.
#pragma once

#include "platform/imaging/ImagingExport.h"

#include <cstdint>
#include <vector>

#include "platform/base/Cpu.h"
#include "platform/imaging/Bitmap.h"

namespace vexa::imaging {

inline constexpr int kFilterBits = 14;

// For each output position: the first source index and maxTaps weights
// (zero-padded) that sum to 1 << kFilterBits. Every start + maxTaps lies
// within the source, so kernels read maxTaps samples without checks.
struct FilterTaps {
  int srcSize = 0;
  int maxTaps = 0;
  std::vector<int> start;
  std::vector<std::int16_t> weights;  // start.size() * maxTaps
};
VEXA_IMAGING_API FilterTaps ComputeLanczosTaps(int srcSize, int dstSize);

struct ResampleKernels {
  // One row: `channels` (3 or 4) interleaved bytes per pixel in and out.
  void (*horizontal)(const std::uint8_t* src, std::uint8_t* dst, int dstWidth, int channels,
                     const FilterTaps& taps);
  // One output row from `taps` source rows, over `bytes` bytes.
  void (*vertical)(const std::uint8_t* const* rows, const std::int16_t* weights, int taps, std::uint8_t* dst,
                   int bytes);
};
// Fills the table: the reference kernels, then each slot the mask
// (vexa::base::CpuFlag bits) allows replaced by its faster version.
VEXA_IMAGING_API void InitResampleKernels(unsigned cpuMask, ResampleKernels* kernels);

struct ResizeOptions {
  int threads = 0;            // 0: as many as pay (up to the processors)
  int cpuMask = -1;           // -1: vexa::base::CpuMask()
};

// Resizes to exactly width x height. 8-bit pictures come out as 24 bits;
// 24 and 32 bits keep their depth. A reduction by four times or more along
// a side first averages integer blocks, leaving the filter at most about
// four times to go; threads share the rows when the picture is large.
VEXA_IMAGING_API Status Resize(const Bitmap& src, int width, int height, Bitmap* dst, const ResizeOptions& options = {});

}  // namespace vexa::imaging
