// The colour family of the kernel table: blue-green-red pixels to studio
// range Y, Cb, Cr, and the half-band decimation of the chrominance planes
// and of a still pair's luminance.
#include "encoder/common/Kernels.h"

namespace vidlathe {
namespace {

// ---- colour conversion -----------------------------------------------------
// ITU-R BT.601 studio range: Y 16..235, Cb and Cr 16..240, with weights that
// are whole multiples of 1/256 so the single-precision reference is exact.

inline uint8_t Clip(int v) { return static_cast<uint8_t>(v < 0 ? 0 : v > 255 ? 255 : v); }

void BgrxToYuvRef(const uint8_t* p, int n, uint8_t* y, uint8_t* u, uint8_t* v) {
  for (int i = 0; i < n; ++i, p += 4) {
    const float b = p[0], g = p[1], r = p[2];
    const float fy = 16.5f + (66.0f / 256) * r + (129.0f / 256) * g + (25.0f / 256) * b;
    const float fu = 128.5f - (38.0f / 256) * r - (74.0f / 256) * g + (112.0f / 256) * b;
    const float fv = 128.5f + (112.0f / 256) * r - (94.0f / 256) * g - (18.0f / 256) * b;
    y[i] = Clip(static_cast<int>(fy));
    u[i] = Clip(static_cast<int>(fu));
    v[i] = Clip(static_cast<int>(fv));
  }
}

typedef int32_t v8i __attribute__((vector_size(32)));

void BgrxToYuvVec(const uint8_t* p, int n, uint8_t* y, uint8_t* u, uint8_t* v) {
  int i = 0;
  for (; i + 8 <= n; i += 8) {
    v8i b, g, r;
    for (int l = 0; l < 8; ++l) {
      b[l] = p[4 * (i + l)];
      g[l] = p[4 * (i + l) + 1];
      r[l] = p[4 * (i + l) + 2];
    }
    const v8i yy = ((66 * r + 129 * g + 25 * b + 128) >> 8) + 16;
    const v8i uu = ((-38 * r - 74 * g + 112 * b + 128) >> 8) + 128;
    const v8i vv = ((112 * r - 94 * g - 18 * b + 128) >> 8) + 128;
    for (int l = 0; l < 8; ++l) {
      y[i + l] = static_cast<uint8_t>(yy[l]);
      u[i + l] = static_cast<uint8_t>(uu[l]);
      v[i + l] = static_cast<uint8_t>(vv[l]);
    }
  }
  if (i < n) BgrxToYuvRef(p + 4 * i, n - i, y + i, u + i, v + i);
}

// ---- decimation ------------------------------------------------------------
// Output k lies between inputs 2k and 2k+1; taps reach 5 before and 6 after,
// with indices clamped to the edges.

inline int Tap(const uint8_t* p, int i, int n, int stride) {
  if (i < 0) i = 0;
  if (i > n - 1) i = n - 1;
  return p[i * stride];
}

inline uint8_t Filter(const uint8_t* p, int i, int n, int stride) {
  const int s = 5 * (Tap(p, i - 5, n, stride) + Tap(p, i + 6, n, stride)) +
                11 * (Tap(p, i - 4, n, stride) + Tap(p, i + 5, n, stride)) -
                21 * (Tap(p, i - 3, n, stride) + Tap(p, i + 4, n, stride)) -
                37 * (Tap(p, i - 2, n, stride) + Tap(p, i + 3, n, stride)) +
                70 * (Tap(p, i - 1, n, stride) + Tap(p, i + 2, n, stride)) +
                228 * (Tap(p, i, n, stride) + Tap(p, i + 1, n, stride));
  return Clip((s + 256) >> 9);
}

void DecimateHRef(const uint8_t* src, uint8_t* dst, int w, int h) {
  for (int r = 0; r < h; ++r)
    for (int k = 0; k < w / 2; ++k) dst[r * (w / 2) + k] = Filter(src + r * w, 2 * k, w, 1);
}

void DecimateVRef(const uint8_t* src, uint8_t* dst, int w, int h) {
  const int cw = w / 2;
  for (int k = 0; k < h / 2; ++k)
    for (int c = 0; c < cw; ++c) dst[k * cw + c] = Filter(src + c, 2 * k, h, cw);
}

inline uint8_t FilterInner(const uint8_t* p, int stride) {
  const int s = 5 * (p[-5 * stride] + p[6 * stride]) + 11 * (p[-4 * stride] + p[5 * stride]) -
                21 * (p[-3 * stride] + p[4 * stride]) - 37 * (p[-2 * stride] + p[3 * stride]) +
                70 * (p[-stride] + p[2 * stride]) + 228 * (p[0] + p[stride]);
  return Clip((s + 256) >> 9);
}

// Interior outputs without the edge clamps; the few outputs near the edges
// go through the reference filter.
void DecimateHFast(const uint8_t* src, uint8_t* dst, int w, int h) {
  const int half = w / 2;
  for (int r = 0; r < h; ++r) {
    const uint8_t* row = src + r * w;
    uint8_t* out = dst + r * half;
    for (int k = 0; k < half; ++k) {
      const int i = 2 * k;
      out[k] = (i >= 5 && i + 6 <= w - 1) ? FilterInner(row + i, 1) : Filter(row, i, w, 1);
    }
  }
}

void DecimateVFast(const uint8_t* src, uint8_t* dst, int w, int h) {
  const int cw = w / 2;
  for (int k = 0; k < h / 2; ++k) {
    const int i = 2 * k;
    uint8_t* out = dst + k * cw;
    if (i >= 5 && i + 6 <= h - 1) {
      // Whole rows at once: the compiler vectorises along the row.
      const uint8_t* p = src + i * cw;
      for (int c = 0; c < cw; ++c) out[c] = FilterInner(p + c, cw);
    } else {
      for (int c = 0; c < cw; ++c) out[c] = Filter(src + c, i, h, cw);
    }
  }
}

}  // namespace

void InitColourKernels(unsigned cpuMask, Kernels* k) {
  cpuMask &= vexa::base::DetectCpuFlags();
  k->bgrx_to_yuv = BgrxToYuvRef;
  k->decimate_h = DecimateHRef;
  k->decimate_v = DecimateVRef;
  // Compiler vector extensions and loops without edge clamps, which SSE2
  // runs several samples at a time.
  if (cpuMask & vexa::base::kCpuSse2) {
    k->bgrx_to_yuv = BgrxToYuvVec;
    k->decimate_h = DecimateHFast;
    k->decimate_v = DecimateVFast;
  }
}

}  // namespace vidlathe
