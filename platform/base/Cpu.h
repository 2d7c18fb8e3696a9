// The processor features that fast paths are written for, one vocabulary
// for every kernel table of the system (the picture resampler, the
// encoder's transforms, pixel sums and colour conversion).
//
// A kernel table is filled by an init that takes a mask of these flags:
// the plain reference kernels first, then, flag by flag, the faster ones the
// mask allows. Mask 0 is the reference. The mask a program runs with is
// what the processor offers, narrowed by the environment variable
// VEXA_CPU_MASK when it is set: a number (0 for the reference everywhere,
// 0x1 for SSE2 alone, ...) or flag names joined by commas ("sse2,avx"), so a
// user can step back to slower paths if a fast one misbehaves.
#pragma once

#include "platform/base/Export.h"

#include <string>
#include <string_view>
#include <vector>

namespace vexa::base {

enum CpuFlag : unsigned {
  kCpuSse2 = 1u << 0,
  kCpuAvx = 1u << 1,
  kCpuAvx2 = 1u << 2,
};
// Every flag, in the order the checkers step through them.
inline constexpr CpuFlag kCpuFlags[] = {kCpuSse2, kCpuAvx, kCpuAvx2};
inline constexpr unsigned kCpuAllFlags = kCpuSse2 | kCpuAvx | kCpuAvx2;
inline constexpr char kCpuMaskVariable[] = "VEXA_CPU_MASK";

// The flags this processor and operating system support.
VEXA_BASE_API unsigned DetectCpuFlags();

// The flags the fast paths of this process may use: DetectCpuFlags()
// narrowed by VEXA_CPU_MASK (read once, on the first call).
VEXA_BASE_API unsigned CpuMask();

// The detected flags narrowed by the text of VEXA_CPU_MASK (none: no
// narrowing). A text that is neither a number nor flag names selects the
// reference paths alone: narrowing never makes a result wrong, only slower.
VEXA_BASE_API unsigned NarrowCpuMask(unsigned detected, const char* maskText);

// Parses a number (decimal, 0x hex) or flag names ("sse2", "avx", "avx2",
// "none") joined by commas; false when the text is neither.
VEXA_BASE_API bool ParseCpuMask(std::string_view text, unsigned* mask);

// "sse2,avx" for a mask; "none" for 0.
VEXA_BASE_API std::string CpuFlagNames(unsigned mask);

// The masks a checker steps through on a machine offering `available`:
// 0 first, then each available flag added in the order of kCpuFlags.
VEXA_BASE_API std::vector<unsigned> CpuMaskSteps(unsigned available);

}  // namespace vexa::base
