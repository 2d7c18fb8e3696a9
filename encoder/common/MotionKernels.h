// The inner loops of motion estimation, prediction and reconstruction as a
// table of functions, in the manner of the encoder's transform kernels:
// InitMotionKernels(mask) fills the table with the plain reference versions
// and then with the fast versions the mask allows. Every fast version gives
// exactly the reference's result (checked kernel by kernel on random input).
//
// Half-pel interpolation, used everywhere below: for the offsets (hx, hy) in
// {0,1} x {0,1} and the reference samples a, b (right), c (below), d (below
// right): a; (a+b+1)>>1; (a+c+1)>>1; (a+b+c+d+2)>>2.
#pragma once

#include <cstdint>

#include "encoder/common/Kernels.h"

namespace vidlathe {

struct MotionKernels {
  // The forward 8x8 transform of the transform kernels' reference, the same
  // multiplications and additions in the same order, in wider vectors (the
  // residual blocks of motion pictures are its main use).
  void (*fdct)(int16_t* block);
  // Non-intra quantisation as in the transform kernels; 1 when any level is
  // non-zero.
  int (*quant_nonintra)(const int16_t* in, int16_t* out, const uint8_t* matrix, int mquant);
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
};

void InitMotionKernels(MotionKernels* k, unsigned cpuMask);
// The table the library uses (VIDLATHE_CPU_MASK narrows it as for the
// transform kernels).
const MotionKernels& ActiveMotionKernels();

}  // namespace vidlathe
