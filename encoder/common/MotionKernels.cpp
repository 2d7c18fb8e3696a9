#include "encoder/common/MotionKernels.h"

#include <cmath>
#include <cstdlib>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace vidlathe {
namespace {

// ---- reference versions ------------------------------------------------------

inline int Interp(const uint8_t* p, int stride, int hx, int hy) {
  if (!hx && !hy) return p[0];
  if (hx && !hy) return (p[0] + p[1] + 1) >> 1;
  if (!hx) return (p[0] + p[stride] + 1) >> 1;
  return (p[0] + p[1] + p[stride] + p[stride + 1] + 2) >> 2;
}

int SadRef(const uint8_t* ref, const uint8_t* cur, int stride, int hx, int hy, int h, int limit) {
  int s = 0;
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < 16; ++x) s += std::abs(Interp(ref + y * stride + x, stride, hx, hy) - cur[y * stride + x]);
    if (!hx && !hy && s >= limit) break;
  }
  return s;
}

int SadRow16Ref(const uint8_t* a, const uint8_t* b) {
  int s = 0;
  for (int x = 0; x < 16; ++x) s += std::abs(a[x] - b[x]);
  return s;
}

int SsdRef(const uint8_t* ref, const uint8_t* cur, int stride, int hx, int hy, int h) {
  int s = 0;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < 16; ++x) {
      const int d = Interp(ref + y * stride + x, stride, hx, hy) - cur[y * stride + x];
      s += d * d;
    }
  return s;
}

int BidirSsdRef(const uint8_t* pf, const uint8_t* pb, const uint8_t* cur, int stride, int hxf,
                int hyf, int hxb, int hyb, int h) {
  int s = 0;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < 16; ++x) {
      const int o = y * stride + x;
      const int v = (Interp(pf + o, stride, hxf, hyf) + Interp(pb + o, stride, hxb, hyb) + 1) >> 1;
      const int d = v - cur[o];
      s += d * d;
    }
  return s;
}

int Variance16Ref(const uint8_t* p, int stride) {
  int64_t s = 0, s2 = 0;
  for (int y = 0; y < 16; ++y)
    for (int x = 0; x < 16; ++x) {
      const int v = p[y * stride + x];
      s += v;
      s2 += v * v;
    }
  return static_cast<int>(s2 - (s * s) / 256);
}

void PredictRef(const uint8_t* ref, int refStride, uint8_t* dst, int dstStride, int w, int h,
                int hx, int hy, int average) {
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const int v = Interp(ref + y * refStride + x, refStride, hx, hy);
      uint8_t& d = dst[y * dstStride + x];
      d = static_cast<uint8_t>(average ? (d + v + 1) >> 1 : v);
    }
}

void Diff8x8Ref(const uint8_t* src, int srcStride, const uint8_t* pred, int predStride, int16_t* out) {
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 8; ++x) out[y * 8 + x] = static_cast<int16_t>(src[y * srcStride + x] - pred[y * predStride + x]);
}

void AddPredictionRef(const uint8_t* pred, uint8_t* dst, int stride, const int16_t* diff) {
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 8; ++x) {
      const int v = pred[y * stride + x] + diff[y * 8 + x];
      dst[y * stride + x] = static_cast<uint8_t>(v < 0 ? 0 : v > 255 ? 255 : v);
    }
}

// ---- forward transform in wide vectors ----------------------------------------------
// The reference sums, for each output, the products in a fixed order from
// 0.0; every lane below does exactly that for one output, so the results are
// the reference's bit for bit (no fused multiply-add: see the build rules).

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

inline int16_t RoundCoefficient(double v) { return static_cast<int16_t>(std::floor(v + 0.499999)); }

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
      for (int l = 0; l < L; ++l) block[v * 8 + g * L + l] = RoundCoefficient(s[l]);
    }
}

typedef double v2d __attribute__((vector_size(16)));
void FdctV2(int16_t* block) { FdctLanes<v2d, 2>(block); }

#if defined(__x86_64__) || defined(__i386__)
typedef double v4d __attribute__((vector_size(32)));
__attribute__((target("avx"))) void FdctV4(int16_t* block) { FdctLanes<v4d, 4>(block); }
bool HaveAvx() { return __builtin_cpu_supports("avx"); }
#else
void FdctV4(int16_t* block) { FdctV2(block); }
bool HaveAvx() { return false; }
#endif

// ---- non-intra quantisation ----------------------------------------------------------
// ((32|c| + m/2) / m) / (2 mquant), clamped to 255, with both divisions as
// multiplications by floor(2^32 / d) + 1 and a shift: exact whenever
// x * d < 2^32, which holds for every value divided here (x < 2^21).

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

int QuantNonIntraFast(const int16_t* in, int16_t* out, const uint8_t* matrix, int mquant) {
  const uint64_t* r = Recip().r;
  const uint64_t r2q = (uint64_t{1} << 32) / static_cast<uint32_t>(2 * mquant) + 1;
  uint32_t any = 0;
  for (int i = 0; i < 64; ++i) {
    const int c = in[i];
    const uint32_t m = matrix[i];
    const uint32_t a = 32u * static_cast<uint32_t>(c < 0 ? -c : c) + (m >> 1);
    uint32_t y = static_cast<uint32_t>((static_cast<uint32_t>((a * r[m]) >> 32) * r2q) >> 32);
    if (y > 255) y = 255;
    out[i] = static_cast<int16_t>(c < 0 ? -static_cast<int>(y) : static_cast<int>(y));
    any |= y;
  }
  return any != 0;
}

// ---- SSE2 versions -------------------------------------------------------------
#if defined(__SSE2__)

inline __m128i Load16(const uint8_t* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }
inline __m128i Load8(const uint8_t* p) { return _mm_loadl_epi64(reinterpret_cast<const __m128i*>(p)); }

// (a + b + c + d + 2) >> 2 of 16 bytes, in 16-bit lanes.
inline __m128i Avg4(__m128i a, __m128i b, __m128i c, __m128i d) {
  const __m128i z = _mm_setzero_si128(), two = _mm_set1_epi16(2);
  __m128i lo = _mm_add_epi16(_mm_add_epi16(_mm_unpacklo_epi8(a, z), _mm_unpacklo_epi8(b, z)),
                             _mm_add_epi16(_mm_unpacklo_epi8(c, z), _mm_unpacklo_epi8(d, z)));
  __m128i hi = _mm_add_epi16(_mm_add_epi16(_mm_unpackhi_epi8(a, z), _mm_unpackhi_epi8(b, z)),
                             _mm_add_epi16(_mm_unpackhi_epi8(c, z), _mm_unpackhi_epi8(d, z)));
  lo = _mm_srli_epi16(_mm_add_epi16(lo, two), 2);
  hi = _mm_srli_epi16(_mm_add_epi16(hi, two), 2);
  return _mm_packus_epi16(lo, hi);
}

// One interpolated row of 16 samples (only the low 8 are meaningful when
// the caller uses 8).
inline __m128i InterpRow(const uint8_t* p, int stride, int hx, int hy) {
  const __m128i a = Load16(p);
  if (!hx && !hy) return a;
  if (hx && !hy) return _mm_avg_epu8(a, Load16(p + 1));
  if (!hx) return _mm_avg_epu8(a, Load16(p + stride));
  return Avg4(a, Load16(p + 1), Load16(p + stride), Load16(p + stride + 1));
}

// The same for an 8-wide row, reading no byte beyond the 9 the reference reads.
inline __m128i InterpRow8(const uint8_t* p, int stride, int hx, int hy) {
  const __m128i a = Load8(p);
  if (!hx && !hy) return a;
  if (hx && !hy) return _mm_avg_epu8(a, Load8(p + 1));
  if (!hx) return _mm_avg_epu8(a, Load8(p + stride));
  return Avg4(a, Load8(p + 1), Load8(p + stride), Load8(p + stride + 1));
}

inline int Sum64Lanes(__m128i v) { return _mm_cvtsi128_si32(_mm_add_epi32(v, _mm_srli_si128(v, 8))); }

inline int Sum32Lanes(__m128i v) {
  v = _mm_add_epi32(v, _mm_srli_si128(v, 8));
  v = _mm_add_epi32(v, _mm_srli_si128(v, 4));
  return _mm_cvtsi128_si32(v);
}

// Squared differences of 16 bytes, added into acc as 32-bit lanes.
inline __m128i AddSquares(__m128i acc, __m128i a, __m128i b) {
  const __m128i z = _mm_setzero_si128();
  const __m128i dl = _mm_sub_epi16(_mm_unpacklo_epi8(a, z), _mm_unpacklo_epi8(b, z));
  const __m128i dh = _mm_sub_epi16(_mm_unpackhi_epi8(a, z), _mm_unpackhi_epi8(b, z));
  return _mm_add_epi32(acc, _mm_add_epi32(_mm_madd_epi16(dl, dl), _mm_madd_epi16(dh, dh)));
}

int SadSse2(const uint8_t* ref, const uint8_t* cur, int stride, int hx, int hy, int h, int limit) {
  __m128i acc = _mm_setzero_si128();
  if (!hx && !hy) {
    for (int y = 0; y < h; ++y) {
      acc = _mm_add_epi64(acc, _mm_sad_epu8(Load16(ref + y * stride), Load16(cur + y * stride)));
      const int s = Sum64Lanes(acc);
      if (s >= limit) return s;
    }
    return Sum64Lanes(acc);
  }
  for (int y = 0; y < h; ++y)
    acc = _mm_add_epi64(acc, _mm_sad_epu8(InterpRow(ref + y * stride, stride, hx, hy), Load16(cur + y * stride)));
  return Sum64Lanes(acc);
}

int SadRow16Sse2(const uint8_t* a, const uint8_t* b) { return Sum64Lanes(_mm_sad_epu8(Load16(a), Load16(b))); }

int SsdSse2(const uint8_t* ref, const uint8_t* cur, int stride, int hx, int hy, int h) {
  __m128i acc = _mm_setzero_si128();
  for (int y = 0; y < h; ++y)
    acc = AddSquares(acc, InterpRow(ref + y * stride, stride, hx, hy), Load16(cur + y * stride));
  return Sum32Lanes(acc);
}

int BidirSsdSse2(const uint8_t* pf, const uint8_t* pb, const uint8_t* cur, int stride, int hxf,
                 int hyf, int hxb, int hyb, int h) {
  __m128i acc = _mm_setzero_si128();
  for (int y = 0; y < h; ++y) {
    const int o = y * stride;
    const __m128i v = _mm_avg_epu8(InterpRow(pf + o, stride, hxf, hyf), InterpRow(pb + o, stride, hxb, hyb));
    acc = AddSquares(acc, v, Load16(cur + o));
  }
  return Sum32Lanes(acc);
}

int Variance16Sse2(const uint8_t* p, int stride) {
  const __m128i z = _mm_setzero_si128();
  __m128i sum = z, sq = z;
  for (int y = 0; y < 16; ++y) {
    const __m128i r = Load16(p + y * stride);
    sum = _mm_add_epi64(sum, _mm_sad_epu8(r, z));
    const __m128i lo = _mm_unpacklo_epi8(r, z), hi = _mm_unpackhi_epi8(r, z);
    sq = _mm_add_epi32(sq, _mm_add_epi32(_mm_madd_epi16(lo, lo), _mm_madd_epi16(hi, hi)));
  }
  const int64_t s = Sum64Lanes(sum), s2 = Sum32Lanes(sq);
  return static_cast<int>(s2 - (s * s) / 256);
}

void PredictSse2(const uint8_t* ref, int refStride, uint8_t* dst, int dstStride, int w, int h,
                 int hx, int hy, int average) {
  if (w != 16 && w != 8) return PredictRef(ref, refStride, dst, dstStride, w, h, hx, hy, average);
  for (int y = 0; y < h; ++y) {
    uint8_t* d = dst + y * dstStride;
    if (w == 16) {
      __m128i v = InterpRow(ref + y * refStride, refStride, hx, hy);
      if (average) v = _mm_avg_epu8(v, Load16(d));
      _mm_storeu_si128(reinterpret_cast<__m128i*>(d), v);
    } else {
      __m128i v = InterpRow8(ref + y * refStride, refStride, hx, hy);
      if (average) v = _mm_avg_epu8(v, Load8(d));
      _mm_storel_epi64(reinterpret_cast<__m128i*>(d), v);
    }
  }
}

void Diff8x8Sse2(const uint8_t* src, int srcStride, const uint8_t* pred, int predStride, int16_t* out) {
  const __m128i z = _mm_setzero_si128();
  for (int y = 0; y < 8; ++y) {
    const __m128i s = _mm_unpacklo_epi8(Load8(src + y * srcStride), z);
    const __m128i p = _mm_unpacklo_epi8(Load8(pred + y * predStride), z);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 8 * y), _mm_sub_epi16(s, p));
  }
}

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

void AddPredictionSse2(const uint8_t* pred, uint8_t* dst, int stride, const int16_t* diff) {
  const __m128i z = _mm_setzero_si128();
  for (int y = 0; y < 8; ++y) {
    const __m128i p = _mm_unpacklo_epi8(Load8(pred + y * stride), z);
    const __m128i d = _mm_loadu_si128(reinterpret_cast<const __m128i*>(diff + 8 * y));
    // Saturating add, then saturating pack to 0..255: the clamp of the
    // reference for every 16-bit difference.
    _mm_storel_epi64(reinterpret_cast<__m128i*>(dst + y * stride), _mm_packus_epi16(_mm_adds_epi16(p, d), z));
  }
}

#endif  // __SSE2__

}  // namespace

void InitMotionKernels(MotionKernels* k, unsigned cpuMask) {
  Kernels transform{};
  InitKernels(&transform, 0);
  k->fdct = transform.fdct;
  k->quant_nonintra = transform.quant_nonintra;
  if (cpuMask & DetectCpu() & kCpuVector) {
    k->fdct = HaveAvx() ? FdctV4 : FdctV2;
    k->quant_nonintra = QuantNonIntraFast;
#if defined(__SSE2__)
    k->quant_nonintra = QuantNonIntraSse2;
#endif
  }
  k->sad = SadRef;
  k->sad_row16 = SadRow16Ref;
  k->ssd = SsdRef;
  k->bidir_ssd = BidirSsdRef;
  k->variance16 = Variance16Ref;
  k->predict = PredictRef;
  k->diff8x8 = Diff8x8Ref;
  k->add_prediction = AddPredictionRef;
#if defined(__SSE2__)
  if (cpuMask & DetectCpu() & kCpuVector) {
    k->sad = SadSse2;
    k->sad_row16 = SadRow16Sse2;
    k->ssd = SsdSse2;
    k->bidir_ssd = BidirSsdSse2;
    k->variance16 = Variance16Sse2;
    k->predict = PredictSse2;
    k->diff8x8 = Diff8x8Sse2;
    k->add_prediction = AddPredictionSse2;
  }
#else
  (void)cpuMask;
#endif
}

const MotionKernels& ActiveMotionKernels() {
  static const MotionKernels table = [] {
    MotionKernels k{};
    unsigned mask = kCpuAll;
    if (const char* env = std::getenv("VIDLATHE_CPU_MASK")) mask = static_cast<unsigned>(std::strtoul(env, nullptr, 0));
    InitMotionKernels(&k, mask);
    return k;
  }();
  return table;
}

}  // namespace vidlathe
