// The pixel family of the kernel table: block sums for motion estimation,
// prediction, block differences and the add-and-clip of reconstruction.
#include <cstdlib>

#include "encoder/common/Kernels.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace vidlathe {
namespace {

// ---- reference versions --------------------------------------------------------

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

void InitPixelKernels(unsigned cpuMask, Kernels* k) {
  cpuMask &= vexa::base::DetectCpuFlags();
  k->sad = SadRef;
  k->sad_row16 = SadRow16Ref;
  k->ssd = SsdRef;
  k->bidir_ssd = BidirSsdRef;
  k->variance16 = Variance16Ref;
  k->predict = PredictRef;
  k->diff8x8 = Diff8x8Ref;
  k->add_prediction = AddPredictionRef;
#if defined(__SSE2__)
  if (cpuMask & vexa::base::kCpuSse2) {
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

}  // namespace vidlathe
