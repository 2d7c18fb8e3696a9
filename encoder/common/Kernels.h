// The encoder's inner loops as one table of functions, in three families:
// transforms and quantisers, pixel sums with prediction and reconstruction,
// and colour conversion with decimation. Each family's init fills its slots
// with the plain reference versions first and then, flag by flag, with the
// faster versions the CPU mask (vexa::base::CpuFlag bits) allows; mask 0
// gives the reference alone. Every faster version gives exactly the
// reference's results (the kernel checker compares them slot by slot at
// every mask step).
//
// Half-pel interpolation, used by the pixel kernels: for the offsets
// (hx, hy) in {0,1} x {0,1} and the reference samples a, b (right), c
// (below), d (below right): a; (a+b+1)>>1; (a+c+1)>>1; (a+b+c+d+2)>>2.
#pragma once

#include <cstdint>

#include "platform/base/Cpu.h"

namespace vidlathe {

struct Kernels {
  // ---- transforms and quantisers -------------------------------------------
  // 8x8 forward DCT in place (raster order), rounded to integers.
  void (*fdct)(int16_t* block);
  // The integer inverse DCT in place: rows then columns in 32-bit fixed
  // point, results clipped to -256..255 (IntegerIdct).
  void (*idct)(int16_t* block);
  // The 16-bit saturating inverse DCT in place: columns then rows, results
  // not clipped (the stream decoder's fast choice).
  void (*idct_fast)(int16_t* block);
  // Intra quantisation of a transformed block; mquant is 2..62 (even).
  void (*quant_intra)(const int16_t* in, int16_t* out, const uint8_t* matrix, int mquant);
  // Non-intra quantisation; returns 1 when any level is non-zero.
  int (*quant_nonintra)(const int16_t* in, int16_t* out, const uint8_t* matrix, int mquant);

  // ---- pixel sums, prediction and reconstruction ----------------------------
  // Sum of absolute differences between the 16 x h block cur and ref
  // interpolated at (hx, hy). Without interpolation the sum stops after the
  // first row at which it is no longer below limit and returns that partial
  // sum; interpolated sums always cover every row.
  int (*sad)(const uint8_t* ref, const uint8_t* cur, int stride, int hx, int hy, int h, int limit);
  // Sum of absolute differences of 16 bytes.
  int (*sad_row16)(const uint8_t* a, const uint8_t* b);
  // Sum of squared differences between cur and ref interpolated at (hx, hy).
  int (*ssd)(const uint8_t* ref, const uint8_t* cur, int stride, int hx, int hy, int h);
  // Sum of squared differences between cur and (pf + pb + 1) >> 1 of the two
  // interpolated predictions.
  int (*bidir_ssd)(const uint8_t* past, const uint8_t* future, const uint8_t* cur, int stride,
                   int hxf, int hyf, int hxb, int hyb, int h);
  // S2 - S*S/256 over a 16x16 block (S the sum, S2 the sum of squares).
  int (*variance16)(const uint8_t* p, int stride);
  // A w x h prediction (w 8 or 16) from ref interpolated at (hx, hy) into
  // dst; with average, averaged into what dst holds: (p + v + 1) >> 1.
  void (*predict)(const uint8_t* ref, int refStride, uint8_t* dst, int dstStride, int w, int h,
                  int hx, int hy, int average);
  // The 8x8 difference source minus prediction as signed 16-bit values.
  void (*diff8x8)(const uint8_t* src, int srcStride, const uint8_t* pred, int predStride,
                  int16_t* out);
  // dst = clamp(pred + diff, 0, 255) over an 8x8 block; pred and dst share
  // the stride.
  void (*add_prediction)(const uint8_t* pred, uint8_t* dst, int stride, const int16_t* diff);

  // ---- colour conversion and decimation -----------------------------------
  // n pixels of blue, green, red, unused bytes to studio-range Y, Cb, Cr.
  void (*bgrx_to_yuv)(const uint8_t* bgrx, int n, uint8_t* y, uint8_t* u, uint8_t* v);
  // w x h to (w/2) x h with the 12-tap half-band filter along rows.
  void (*decimate_h)(const uint8_t* src, uint8_t* dst, int w, int h);
  // (w/2) x h to (w/2) x (h/2) along columns; w is the full width.
  void (*decimate_v)(const uint8_t* src, uint8_t* dst, int w, int h);
};

// The families' inits. A flag the processor lacks is ignored.
void InitTransformKernels(unsigned cpuMask, Kernels* k);
void InitPixelKernels(unsigned cpuMask, Kernels* k);
void InitColourKernels(unsigned cpuMask, Kernels* k);
// Every family.
void InitKernels(unsigned cpuMask, Kernels* k);

// The table the library uses: the flags vexa::base::CpuMask() gives this
// process (the processor's, narrowed by VEXA_CPU_MASK).
const Kernels& ActiveKernels();

}  // namespace vidlathe
