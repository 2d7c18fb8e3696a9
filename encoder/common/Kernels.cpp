#include "encoder/common/Kernels.h"

#include <cmath>
#include <cstdlib>
#include <cstring>

namespace vidlathe {
namespace {

// ---- forward DCT -----------------------------------------------------------
// F(u,v) = C(u)C(v)/4 sum f(x,y) cos((2x+1)u pi/16) cos((2y+1)v pi/16),
// computed separably in double precision: rows first, then columns. Each
// result is rounded with floor(v + 0.499999), so an exact half rounds down.

struct DctBasis {
  double c[8][8];  // c[u][x] = C(u)/2 cos((2x+1)u pi/16)
  DctBasis() {
    for (int u = 0; u < 8; ++u)
      for (int x = 0; x < 8; ++x)
        c[u][x] = (u == 0 ? std::sqrt(0.5) : 1.0) * 0.5 * std::cos((2 * x + 1) * u * M_PI / 16.0);
  }
};
const DctBasis& Basis() {
  static const DctBasis basis;
  return basis;
}

int16_t RoundDct(double v) { return static_cast<int16_t>(std::floor(v + 0.499999)); }

void FdctRef(int16_t* block) {
  const auto& c = Basis().c;
  double tmp[8][8];  // tmp[y][u]
  for (int y = 0; y < 8; ++y)
    for (int u = 0; u < 8; ++u) {
      double s = 0.0;
      for (int x = 0; x < 8; ++x) s += block[y * 8 + x] * c[u][x];
      tmp[y][u] = s;
    }
  for (int v = 0; v < 8; ++v)
    for (int u = 0; u < 8; ++u) {
      double s = 0.0;
      for (int y = 0; y < 8; ++y) s += tmp[y][u] * c[v][y];
      block[v * 8 + u] = RoundDct(s);
    }
}

// The same arithmetic, eight lanes at a time: every lane performs the
// reference's multiplications and additions in the reference's order, so the
// results are bit for bit the same.
typedef double v4d __attribute__((vector_size(32)));

void FdctVec(int16_t* block) {
  const auto& c = Basis().c;
  v4d tmp[8][2];  // tmp[y][half] holds u = 4*half .. 4*half+3
  v4d basisT[8][2];  // basisT[x][half] = c[u][x] for u in the half
  for (int x = 0; x < 8; ++x)
    for (int h = 0; h < 2; ++h)
      for (int l = 0; l < 4; ++l) basisT[x][h][l] = c[h * 4 + l][x];
  for (int y = 0; y < 8; ++y) {
    v4d s0 = {0, 0, 0, 0}, s1 = {0, 0, 0, 0};
    for (int x = 0; x < 8; ++x) {
      const double f = block[y * 8 + x];
      s0 += f * basisT[x][0];
      s1 += f * basisT[x][1];
    }
    tmp[y][0] = s0;
    tmp[y][1] = s1;
  }
  for (int v = 0; v < 8; ++v) {
    v4d s0 = {0, 0, 0, 0}, s1 = {0, 0, 0, 0};
    for (int y = 0; y < 8; ++y) {
      s0 += tmp[y][0] * c[v][y];
      s1 += tmp[y][1] * c[v][y];
    }
    for (int l = 0; l < 4; ++l) {
      block[v * 8 + l] = RoundDct(s0[l]);
      block[v * 8 + 4 + l] = RoundDct(s1[l]);
    }
  }
}

// ---- quantisation ----------------------------------------------------------
// Integer divisions truncate toward zero; levels are clamped to 255.

void QuantIntraRef(const int16_t* in, int16_t* out, const uint8_t* matrix, int mquant) {
  const int c0 = in[0];
  out[0] = static_cast<int16_t>(c0 >= 0 ? (c0 + 4) / 8 : -((4 - c0) / 8));
  for (int i = 1; i < 64; ++i) {
    const int c = in[i], m = matrix[i];
    int y = (32 * std::abs(c) + (m >> 1)) / m;
    y = (y + ((3 * mquant + 2) >> 2)) / (2 * mquant);
    if (y > 255) y = 255;
    out[i] = static_cast<int16_t>(c < 0 ? -y : y);
  }
}

int QuantNonIntraRef(const int16_t* in, int16_t* out, const uint8_t* matrix, int mquant) {
  int any = 0;
  for (int i = 0; i < 64; ++i) {
    const int c = in[i], m = matrix[i];
    int y = ((32 * std::abs(c) + (m >> 1)) / m) / (2 * mquant);
    if (y > 255) y = 255;
    out[i] = static_cast<int16_t>(c < 0 ? -y : y);
    any |= y;
  }
  return any != 0;
}

// Division of a non-negative x by d (1..255) as a multiplication by
// floor(2^32 / d) + 1 and a shift: exact whenever x * d < 2^32, which holds
// for every value the quantisers divide (x < 2^20).
inline uint64_t Recip(uint32_t d) { return (uint64_t{1} << 32) / d + 1; }
inline uint32_t DivBy(uint32_t x, uint64_t recip) { return static_cast<uint32_t>((x * recip) >> 32); }

void QuantIntraFast(const int16_t* in, int16_t* out, const uint8_t* matrix, int mquant) {
  const int c0 = in[0];
  out[0] = static_cast<int16_t>(c0 >= 0 ? (c0 + 4) >> 3 : -((4 - c0) >> 3));
  const uint64_t r2q = Recip(static_cast<uint32_t>(2 * mquant));
  const uint32_t round = static_cast<uint32_t>((3 * mquant + 2) >> 2);
  for (int i = 1; i < 64; ++i) {
    const int c = in[i];
    const uint32_t m = matrix[i];
    uint32_t y = DivBy(32u * static_cast<uint32_t>(std::abs(c)) + (m >> 1), Recip(m));
    y = DivBy(y + round, r2q);
    if (y > 255) y = 255;
    out[i] = static_cast<int16_t>(c < 0 ? -static_cast<int>(y) : static_cast<int>(y));
  }
}

int QuantNonIntraFast(const int16_t* in, int16_t* out, const uint8_t* matrix, int mquant) {
  const uint64_t r2q = Recip(static_cast<uint32_t>(2 * mquant));
  uint32_t any = 0;
  for (int i = 0; i < 64; ++i) {
    const int c = in[i];
    const uint32_t m = matrix[i];
    uint32_t y = DivBy(DivBy(32u * static_cast<uint32_t>(std::abs(c)) + (m >> 1), Recip(m)), r2q);
    if (y > 255) y = 255;
    out[i] = static_cast<int16_t>(c < 0 ? -static_cast<int>(y) : static_cast<int>(y));
    any |= y;
  }
  return any != 0;
}

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

unsigned DetectCpu() { return kCpuVector; }

void InitKernels(Kernels* k, unsigned cpuMask) {
  k->fdct = FdctRef;
  k->quant_intra = QuantIntraRef;
  k->quant_nonintra = QuantNonIntraRef;
  k->bgrx_to_yuv = BgrxToYuvRef;
  k->decimate_h = DecimateHRef;
  k->decimate_v = DecimateVRef;
  const unsigned flags = cpuMask & DetectCpu();
  if (flags & kCpuVector) {
    k->fdct = FdctVec;
    k->quant_intra = QuantIntraFast;
    k->quant_nonintra = QuantNonIntraFast;
    k->bgrx_to_yuv = BgrxToYuvVec;
    k->decimate_h = DecimateHFast;
    k->decimate_v = DecimateVFast;
  }
}

const Kernels& ActiveKernels() {
  static const Kernels table = [] {
    Kernels k{};
    unsigned mask = kCpuAll;
    if (const char* env = std::getenv("VIDLATHE_CPU_MASK")) mask = static_cast<unsigned>(std::strtoul(env, nullptr, 0));
    InitKernels(&k, mask);
    return k;
  }();
  return table;
}

}  // namespace vidlathe
