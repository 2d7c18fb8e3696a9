// The transform and quantiser family of the kernel table: the forward DCT,
// the two inverse DCTs (their versions live in Idct.cpp) and the intra and
// non-intra quantisers.
#include <cmath>
#include <cstdlib>

#include "encoder/common/Idct.h"
#include "encoder/common/Kernels.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace vidlathe {
namespace {

// ---- forward DCT -----------------------------------------------------------
// F(u,v) = C(u)C(v)/4 sum f(x,y) cos((2x+1)u pi/16) cos((2y+1)v pi/16),
// computed separably in double precision: rows first, then columns. Each
// result is rounded with floor(v + 0.499999), so an exact half rounds down.

struct FdctTable {
  double c[8][8];                 // c[u][x] = C(u)/2 cos((2x+1)u pi/16)
  alignas(32) double t[8][8];     // t[x][u] = c[u][x]: the outputs of one input side by side
  FdctTable() {
    for (int u = 0; u < 8; ++u)
      for (int x = 0; x < 8; ++x) {
        c[u][x] = (u == 0 ? std::sqrt(0.5) : 1.0) * 0.5 * std::cos((2 * x + 1) * u * M_PI / 16.0);
        t[x][u] = c[u][x];
      }
  }
};
const FdctTable& Fdct() {
  static const FdctTable t;
  return t;
}

int16_t RoundDct(double v) { return static_cast<int16_t>(std::floor(v + 0.499999)); }

void FdctRef(int16_t* block) {
  const auto& c = Fdct().c;
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

// ---- forward transform in wide vectors ----------------------------------------------
// The reference sums, for each output, the products in a fixed order from
// 0.0; every lane below does exactly that for one output, so the results are
// the reference's bit for bit (no fused multiply-add: see the build rules).

template <typename V, int L>
__attribute__((always_inline)) inline void FdctLanes(int16_t* block) {
  constexpr int G = 8 / L;  // vectors per row of outputs
  const FdctTable& table = Fdct();
  const auto& c = table.c;
  // Rows of zeros add only zeros (+0 or -0) to sums that are never -0, so
  // leaving them out changes no result.
  int rows[8], n = 0;
  for (int y = 0; y < 8; ++y) {
    uint64_t h[2];
    __builtin_memcpy(h, block + 8 * y, sizeof h);
    if (h[0] | h[1]) rows[n++] = y;
  }
  V tmp[8][G];  // tmp[y][g] lanes: row y, outputs u = g*L + l
  for (int i = 0; i < n; ++i)
    for (int g = 0; g < G; ++g) {
      const int y = rows[i];
      V s = {};
      for (int x = 0; x < 8; ++x) {
        V basis;
        __builtin_memcpy(&basis, &table.t[x][g * L], sizeof basis);
        s += static_cast<double>(block[y * 8 + x]) * basis;
      }
      tmp[y][g] = s;
    }
  for (int v = 0; v < 8; ++v)
    for (int g = 0; g < G; ++g) {
      V s = {};
      for (int i = 0; i < n; ++i) s += tmp[rows[i]][g] * c[v][rows[i]];
      for (int l = 0; l < L; ++l) block[v * 8 + g * L + l] = RoundDct(s[l]);
    }
}

#if defined(__x86_64__) || defined(__i386__)
typedef double v2d __attribute__((vector_size(16)));
void FdctSse2(int16_t* block) { FdctLanes<v2d, 2>(block); }
typedef double v4d __attribute__((vector_size(32)));
__attribute__((target("avx"))) void FdctAvx(int16_t* block) { FdctLanes<v4d, 4>(block); }
#endif

// ---- quantisation ------------------------------------------------------------
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

// Both divisions as multiplications by floor(2^32 / d) + 1 and a shift:
// exact whenever x * d < 2^32, which holds for every value divided here
// (x < 2^21).
struct Reciprocals {
  uint64_t r[256];
  Reciprocals() {
    r[0] = 0;
    for (uint32_t d = 1; d < 256; ++d) r[d] = (uint64_t{1} << 32) / d + 1;
  }
};
const Reciprocals& Recip() {
  static const Reciprocals t;
  return t;
}
inline uint32_t DivBy(uint32_t x, uint64_t recip) { return static_cast<uint32_t>((x * recip) >> 32); }

int QuantNonIntraFast(const int16_t* in, int16_t* out, const uint8_t* matrix, int mquant) {
  const uint64_t* r = Recip().r;
  const uint64_t r2q = (uint64_t{1} << 32) / static_cast<uint32_t>(2 * mquant) + 1;
  uint32_t any = 0;
  for (int i = 0; i < 64; ++i) {
    const int c = in[i];
    const uint32_t m = matrix[i];
    const uint32_t a = 32u * static_cast<uint32_t>(c < 0 ? -c : c) + (m >> 1);
    uint32_t y = DivBy(DivBy(a, r[m]), r2q);
    if (y > 255) y = 255;
    out[i] = static_cast<int16_t>(c < 0 ? -static_cast<int>(y) : static_cast<int>(y));
    any |= y;
  }
  return any != 0;
}

void QuantIntraFast(const int16_t* in, int16_t* out, const uint8_t* matrix, int mquant) {
  const uint64_t* r = Recip().r;
  const int c0 = in[0];
  out[0] = static_cast<int16_t>(c0 >= 0 ? (c0 + 4) >> 3 : -((4 - c0) >> 3));
  const uint64_t r2q = (uint64_t{1} << 32) / static_cast<uint32_t>(2 * mquant) + 1;
  const uint32_t round = static_cast<uint32_t>((3 * mquant + 2) >> 2);
  for (int i = 1; i < 64; ++i) {
    const int c = in[i];
    const uint32_t m = matrix[i];
    uint32_t y = DivBy(32u * static_cast<uint32_t>(std::abs(c)) + (m >> 1), r[m]);
    y = DivBy(y + round, r2q);
    if (y > 255) y = 255;
    out[i] = static_cast<int16_t>(c < 0 ? -static_cast<int>(y) : static_cast<int>(y));
  }
}

#if defined(__SSE2__)
// With the flat matrix of 16 the rule is exactly |c| / mquant (truncated):
// (32|c| + 8) / 16 is 2|c|. In single precision the quotient of two whole
// numbers below 2^16 and 64 never rounds up to the next whole number, so
// truncating it gives the integer quotient.
int QuantNonIntraSse2(const int16_t* in, int16_t* out, const uint8_t* matrix, int mquant) {
  for (int i = 0; i < 64; ++i)
    if (matrix[i] != 16) return QuantNonIntraFast(in, out, matrix, mquant);
  const __m128 q = _mm_set1_ps(static_cast<float>(mquant));
  const __m128i max = _mm_set1_epi16(255);
  __m128i any = _mm_setzero_si128();
  for (int i = 0; i < 64; i += 8) {
    const __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + i));
    const __m128i sign16 = _mm_srai_epi16(c, 15);
    // Widen to 32 bits before taking the magnitude: |-32768| needs them.
    const __m128i lo = _mm_srai_epi32(_mm_unpacklo_epi16(c, c), 16);
    const __m128i hi = _mm_srai_epi32(_mm_unpackhi_epi16(c, c), 16);
    const __m128i slo = _mm_srai_epi32(lo, 31), shi = _mm_srai_epi32(hi, 31);
    const __m128i alo = _mm_sub_epi32(_mm_xor_si128(lo, slo), slo);
    const __m128i ahi = _mm_sub_epi32(_mm_xor_si128(hi, shi), shi);
    const __m128i ylo = _mm_cvttps_epi32(_mm_div_ps(_mm_cvtepi32_ps(alo), q));
    const __m128i yhi = _mm_cvttps_epi32(_mm_div_ps(_mm_cvtepi32_ps(ahi), q));
    const __m128i y = _mm_min_epi16(_mm_packs_epi32(ylo, yhi), max);
    any = _mm_or_si128(any, y);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), _mm_sub_epi16(_mm_xor_si128(y, sign16), sign16));
  }
  return _mm_movemask_epi8(_mm_cmpeq_epi16(any, _mm_setzero_si128())) != 0xFFFF;
}

#endif  // __SSE2__

}  // namespace

void InitTransformKernels(unsigned cpuMask, Kernels* k) {
  cpuMask &= vexa::base::DetectCpuFlags();
  k->fdct = FdctRef;
  k->idct = IntegerIdctPlain;
  k->idct_fast = FastIdctPlain;
  k->quant_intra = QuantIntraRef;
  k->quant_nonintra = QuantNonIntraRef;
#if defined(__SSE2__)
  if (cpuMask & vexa::base::kCpuSse2) {
    k->fdct = FdctSse2;
    k->idct_fast = FastIdctSse2;
    k->quant_intra = QuantIntraFast;
    k->quant_nonintra = QuantNonIntraSse2;
  }
#endif
#if defined(__x86_64__) || defined(__i386__)
  if (cpuMask & vexa::base::kCpuAvx) k->fdct = FdctAvx;
  if (cpuMask & vexa::base::kCpuAvx2) k->idct = IntegerIdctAvx2;
#else
  (void)cpuMask;
#endif
}

}  // namespace vidlathe
