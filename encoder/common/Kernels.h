// The encoder's inner loops as a table of functions. InitKernels(mask) fills
// the table with the plain reference versions and then, flag by flag, with
// the fast versions the mask allows; mask 0 gives the reference alone. Every
// fast version gives exactly the reference's output (checked kernel by
// kernel on random input by the tests).
#pragma once

#include <cstdint>

namespace vidlathe {

enum CpuFlags : unsigned {
  kCpuVector = 1u << 0,  // compiler vector extensions (SSE2 on x86-64)
  kCpuAll = ~0u,
};

struct Kernels {
  // 8x8 forward DCT in place (raster order), rounded to integers.
  void (*fdct)(int16_t* block);
  // Intra quantisation of a transformed block; mquant is 2..62 (even).
  void (*quant_intra)(const int16_t* in, int16_t* out, const uint8_t* matrix, int mquant);
  // Non-intra quantisation; returns 1 when any level is non-zero.
  int (*quant_nonintra)(const int16_t* in, int16_t* out, const uint8_t* matrix, int mquant);
  // n pixels of blue, green, red, unused bytes to studio-range Y, Cb, Cr.
  void (*bgrx_to_yuv)(const uint8_t* bgrx, int n, uint8_t* y, uint8_t* u, uint8_t* v);
  // w x h to (w/2) x h with the 12-tap half-band filter along rows.
  void (*decimate_h)(const uint8_t* src, uint8_t* dst, int w, int h);
  // (w/2) x h to (w/2) x (h/2) along columns; w is the full width.
  void (*decimate_v)(const uint8_t* src, uint8_t* dst, int w, int h);
};

// The flags this machine supports.
unsigned DetectCpu();
void InitKernels(Kernels* k, unsigned cpuMask);
// The table used by the library: the fast versions this machine runs, unless
// VIDLATHE_CPU_MASK in the environment narrows them (0 = reference only).
const Kernels& ActiveKernels();

}  // namespace vidlathe
