#include "platform/imaging/Resample.h"

#include "platform/base/Executor.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <numbers>

#if defined(__x86_64__) || defined(__i386__)
#include <emmintrin.h>
#include <immintrin.h>
#define VEXA_HAVE_SSE2 1
// The AVX2 kernels are compiled for AVX2 one function at a time; the rest of
// the library keeps running on processors with SSE2 alone.
#define VEXA_TARGET_AVX2 __attribute__((target("avx2")))
#endif

namespace vexa::imaging {
namespace {

constexpr int kRound = 1 << (kFilterBits - 1);

inline std::uint8_t Clamp8(int v) { return static_cast<std::uint8_t>(v < 0 ? 0 : v > 255 ? 255 : v); }

double Lanczos3(double x) {
  x = std::fabs(x);
  if (x < 1e-9) return 1.0;
  if (x >= 3.0) return 0.0;
  double px = std::numbers::pi * x;
  return 3.0 * std::sin(px) * std::sin(px / 3.0) / (px * px);
}

// One output pixel from `n` source pixels at `s`.
inline void HorizontalPixelC(const std::uint8_t* s, const std::int16_t* w, int n, int channels, std::uint8_t* d) {
  for (int c = 0; c < channels; ++c) {
    int sum = kRound;
    for (int k = 0; k < n; ++k) sum += w[k] * s[k * channels + c];
    d[c] = Clamp8(sum >> kFilterBits);
  }
}

void HorizontalC(const std::uint8_t* src, std::uint8_t* dst, int dstWidth, int channels, const FilterTaps& taps) {
  const int n = taps.maxTaps;
  for (int x = 0; x < dstWidth; ++x) {
    HorizontalPixelC(src + static_cast<std::size_t>(taps.start[x]) * channels,
                     taps.weights.data() + static_cast<std::size_t>(x) * n, n, channels,
                     dst + static_cast<std::size_t>(x) * channels);
  }
}

void VerticalC(const std::uint8_t* const* rows, const std::int16_t* weights, int taps, std::uint8_t* dst,
               int bytes) {
  for (int i = 0; i < bytes; ++i) {
    int sum = kRound;
    for (int k = 0; k < taps; ++k) sum += weights[k] * rows[k][i];
    dst[i] = Clamp8(sum >> kFilterBits);
  }
}

#ifdef VEXA_HAVE_SSE2
// Loads one pixel (3 or 4 bytes) as four 16-bit lanes. With kOver a 3-byte
// pixel is read as 4 bytes and the fourth dropped: only where that byte
// still lies inside the row.
template <int kChannels, bool kOver>
inline __m128i LoadPixel(const std::uint8_t* p) {
  std::uint32_t v = 0;
  if constexpr (kChannels == 4 || kOver) {
    std::memcpy(&v, p, 4);
    if constexpr (kChannels == 3) v &= 0x00FFFFFFu;
  } else {
    v = static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
        static_cast<std::uint32_t>(p[2]) << 16;
  }
  return _mm_unpacklo_epi8(_mm_cvtsi32_si128(static_cast<int>(v)), _mm_setzero_si128());
}

inline __m128i PackClamp(__m128i sum) {
  sum = _mm_srai_epi32(sum, kFilterBits);
  __m128i w16 = _mm_packs_epi32(sum, sum);
  return _mm_packus_epi16(w16, w16);
}

// One output pixel; two taps per step, pixels interleaved with their
// weights for pmaddwd.
template <int kChannels, bool kOver>
inline void HorizontalPixel(const std::uint8_t* s, const std::int16_t* w, int n, std::uint8_t* d) {
  __m128i sum = _mm_set1_epi32(kRound);
  int k = 0;
  for (; k + 1 < n; k += 2) {
    __m128i ab = _mm_unpacklo_epi16(LoadPixel<kChannels, kOver>(s + k * kChannels),
                                    LoadPixel<kChannels, kOver>(s + (k + 1) * kChannels));
    std::int32_t pair;
    std::memcpy(&pair, w + k, 4);  // w[k] low, w[k + 1] high
    sum = _mm_add_epi32(sum, _mm_madd_epi16(ab, _mm_set1_epi32(pair)));
  }
  if (k < n) {
    __m128i a = _mm_unpacklo_epi16(LoadPixel<kChannels, kOver>(s + k * kChannels), _mm_setzero_si128());
    sum = _mm_add_epi32(sum, _mm_madd_epi16(a, _mm_set1_epi32(static_cast<std::uint16_t>(w[k]))));
  }
  std::uint32_t out = static_cast<std::uint32_t>(_mm_cvtsi128_si32(PackClamp(sum)));
  std::memcpy(d, &out, kChannels);
}

template <int kChannels>
void HorizontalSse2For(const std::uint8_t* src, std::uint8_t* dst, int dstWidth, const FilterTaps& taps) {
  const int n = taps.maxTaps;
  for (int x = 0; x < dstWidth; ++x) {
    const std::int16_t* w = taps.weights.data() + static_cast<std::size_t>(x) * n;
    const int start = taps.start[static_cast<std::size_t>(x)];
    const std::uint8_t* s = src + static_cast<std::size_t>(start) * kChannels;
    std::uint8_t* d = dst + static_cast<std::size_t>(x) * kChannels;
    if (kChannels == 4 || start + n < taps.srcSize) {
      HorizontalPixel<kChannels, true>(s, w, n, d);
    } else {
      HorizontalPixel<kChannels, false>(s, w, n, d);  // the row's last pixel is read
    }
  }
}

void HorizontalSse2(const std::uint8_t* src, std::uint8_t* dst, int dstWidth, int channels,
                    const FilterTaps& taps) {
  if (channels == 4) {
    HorizontalSse2For<4>(src, dst, dstWidth, taps);
  } else {
    HorizontalSse2For<3>(src, dst, dstWidth, taps);
  }
}

// Eight bytes at a time from byte `i` on, two rows per pmaddwd; the last
// few bytes one at a time.
inline void VerticalSse2From(const std::uint8_t* const* rows, const std::int16_t* weights, int taps, std::uint8_t* dst,
                             int i, int bytes) {
  const __m128i zero = _mm_setzero_si128();
  for (; i + 8 <= bytes; i += 8) {
    __m128i lo = _mm_set1_epi32(kRound), hi = lo;
    int k = 0;
    for (; k + 1 < taps; k += 2) {
      __m128i a = _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(rows[k] + i)), zero);
      __m128i b = _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(rows[k + 1] + i)), zero);
      std::int32_t pair;
      std::memcpy(&pair, weights + k, 4);
      __m128i ww = _mm_set1_epi32(pair);
      lo = _mm_add_epi32(lo, _mm_madd_epi16(_mm_unpacklo_epi16(a, b), ww));
      hi = _mm_add_epi32(hi, _mm_madd_epi16(_mm_unpackhi_epi16(a, b), ww));
    }
    if (k < taps) {
      __m128i a = _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(rows[k] + i)), zero);
      __m128i ww = _mm_set1_epi32(static_cast<std::uint16_t>(weights[k]));
      lo = _mm_add_epi32(lo, _mm_madd_epi16(_mm_unpacklo_epi16(a, zero), ww));
      hi = _mm_add_epi32(hi, _mm_madd_epi16(_mm_unpackhi_epi16(a, zero), ww));
    }
    lo = _mm_srai_epi32(lo, kFilterBits);
    hi = _mm_srai_epi32(hi, kFilterBits);
    __m128i w16 = _mm_packs_epi32(lo, hi);
    _mm_storel_epi64(reinterpret_cast<__m128i*>(dst + i), _mm_packus_epi16(w16, w16));
  }
  for (; i < bytes; ++i) {
    int sum = kRound;
    for (int k = 0; k < taps; ++k) sum += weights[k] * rows[k][i];
    dst[i] = Clamp8(sum >> kFilterBits);
  }
}

void VerticalSse2(const std::uint8_t* const* rows, const std::int16_t* weights, int taps, std::uint8_t* dst,
                  int bytes) {
  VerticalSse2From(rows, weights, taps, dst, 0, bytes);
}

// One output pixel, four taps per step. The four source pixels (16 bytes
// read, 12 or 16 used) go to both 128-bit lanes; a byte shuffle spreads them
// as 16-bit values, channels 0 and 1 in the low lane and 2 and 3 in the high
// one, each channel's four taps side by side. pmaddwd against the four
// weights repeated then sums two taps per 32-bit lane; the pairs are added
// at the end. `s` must have 16 readable bytes at every step's first pixel.
template <int kChannels>
VEXA_TARGET_AVX2 inline __m256i FourTapsAvx2(const std::uint8_t* s, std::int64_t weights, __m256i spread) {
  const __m256i px = _mm256_broadcastsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(s)));
  return _mm256_madd_epi16(_mm256_shuffle_epi8(px, spread), _mm256_set1_epi64x(weights));
}

template <int kChannels>
VEXA_TARGET_AVX2 inline std::uint32_t HorizontalPixelAvx2(const std::uint8_t* s, const std::int16_t* w, int n,
                                                          __m256i spread) {
  // Two sums, so that the additions of consecutive steps do not wait on each
  // other. The rounding term starts in one of each channel's two lanes.
  __m256i acc = _mm256_setr_epi32(kRound, 0, kRound, 0, kRound, 0, kRound, 0), acc2 = _mm256_setzero_si256();
  int k = 0;
  std::int64_t four;
  for (; k + 8 <= n; k += 8) {
    std::int64_t next;
    std::memcpy(&four, w + k, 8);
    std::memcpy(&next, w + k + 4, 8);
    acc = _mm256_add_epi32(acc, FourTapsAvx2<kChannels>(s + k * kChannels, four, spread));
    acc2 = _mm256_add_epi32(acc2, FourTapsAvx2<kChannels>(s + (k + 4) * kChannels, next, spread));
  }
  if (k + 4 <= n) {
    std::memcpy(&four, w + k, 8);
    acc = _mm256_add_epi32(acc, FourTapsAvx2<kChannels>(s + k * kChannels, four, spread));
    k += 4;
  }
  if (k < n) {
    // The last one to three taps; the weights past them are zero, so the
    // pixels read beyond count for nothing.
    std::uint64_t rest = 0;
    for (int j = 0; k + j < n; ++j) rest |= std::uint64_t{static_cast<std::uint16_t>(w[k + j])} << (16 * j);
    acc2 = _mm256_add_epi32(acc2, FourTapsAvx2<kChannels>(s + k * kChannels, static_cast<std::int64_t>(rest), spread));
  }
  acc = _mm256_add_epi32(acc, acc2);
  __m128i sum = _mm_hadd_epi32(_mm256_castsi256_si128(acc), _mm256_extracti128_si256(acc, 1));
  sum = _mm_srai_epi32(sum, kFilterBits);
  sum = _mm_packs_epi32(sum, sum);
  return static_cast<std::uint32_t>(_mm_cvtsi128_si32(_mm_packus_epi16(sum, sum)));
}

// Stores a pixel's channels from the low bytes of `v`. Three channels are
// written as a whole 4-byte word where a next pixel follows (it overwrites
// the fourth byte), which spares a narrow store.
template <int kChannels>
inline void StorePixel(std::uint32_t v, bool last, std::uint8_t* d) {
  if (kChannels == 4 || !last) {
    std::memcpy(d, &v, 4);
  } else {
    const auto low = static_cast<std::uint16_t>(v);
    std::memcpy(d, &low, 2);
    d[2] = static_cast<std::uint8_t>(v >> 16);
  }
}

template <int kChannels>
VEXA_TARGET_AVX2 void HorizontalAvx2For(const std::uint8_t* src, std::uint8_t* dst, int dstWidth,
                                        const FilterTaps& taps) {
  // Byte i * kChannels + c of four pixels to 16-bit lane: channel c, tap i.
  const __m256i spread = kChannels == 4
                             ? _mm256_setr_epi8(0, -1, 4, -1, 8, -1, 12, -1, 1, -1, 5, -1, 9, -1, 13, -1,  //
                                                2, -1, 6, -1, 10, -1, 14, -1, 3, -1, 7, -1, 11, -1, 15, -1)
                             : _mm256_setr_epi8(0, -1, 3, -1, 6, -1, 9, -1, 1, -1, 4, -1, 7, -1, 10, -1,  //
                                                2, -1, 5, -1, 8, -1, 11, -1, -1, -1, -1, -1, -1, -1, -1, -1);
  const int n = taps.maxTaps;
  // Bytes read from a pixel's first source pixel on; where that passes the
  // row's end (the last pixels of the row) the taps are copied first.
  const std::size_t reach = static_cast<std::size_t>((n - 1) / 4 * 4 * kChannels + 16);
  const std::size_t rowBytes = static_cast<std::size_t>(taps.srcSize) * kChannels;
  alignas(16) std::uint8_t edge[256] = {};
  for (int x = 0; x < dstWidth; ++x) {
    const std::int16_t* w = taps.weights.data() + static_cast<std::size_t>(x) * n;
    const std::size_t first = static_cast<std::size_t>(taps.start[static_cast<std::size_t>(x)]) * kChannels;
    std::uint8_t* d = dst + static_cast<std::size_t>(x) * kChannels;
    if (first + reach <= rowBytes) {
      StorePixel<kChannels>(HorizontalPixelAvx2<kChannels>(src + first, w, n, spread), x + 1 == dstWidth, d);
    } else if (reach <= sizeof edge) {
      std::memcpy(edge, src + first, static_cast<std::size_t>(n) * kChannels);
      StorePixel<kChannels>(HorizontalPixelAvx2<kChannels>(edge, w, n, spread), x + 1 == dstWidth, d);
    } else {
      HorizontalPixelC(src + first, w, n, kChannels, d);
    }
  }
}

VEXA_TARGET_AVX2 void HorizontalAvx2(const std::uint8_t* src, std::uint8_t* dst, int dstWidth, int channels,
                                     const FilterTaps& taps) {
  if (channels == 4) {
    HorizontalAvx2For<4>(src, dst, dstWidth, taps);
  } else {
    HorizontalAvx2For<3>(src, dst, dstWidth, taps);
  }
}

// 32 bytes at a time, two rows per pmaddwd: the bytes of the two rows are
// interleaved, then widened to 16 bits, so each 32-bit lane gets a byte of
// one row times its weight plus the same byte of the next. The lane order
// the unpacks make is undone by the packs. The rest as the SSE2 kernel.
VEXA_TARGET_AVX2 void VerticalAvx2(const std::uint8_t* const* rows, const std::int16_t* weights, int taps,
                                   std::uint8_t* dst, int bytes) {
  const __m256i zero = _mm256_setzero_si256();
  int i = 0;
  for (; i + 32 <= bytes; i += 32) {
    __m256i s0 = _mm256_set1_epi32(kRound), s1 = s0, s2 = s0, s3 = s0;
    for (int k = 0; k < taps; k += 2) {
      __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(rows[k] + i));
      __m256i b = zero;
      std::int32_t pair = static_cast<std::uint16_t>(weights[k]);
      if (k + 1 < taps) {
        b = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(rows[k + 1] + i));
        std::memcpy(&pair, weights + k, 4);
      }
      const __m256i ww = _mm256_set1_epi32(pair);
      const __m256i lo = _mm256_unpacklo_epi8(a, b), hi = _mm256_unpackhi_epi8(a, b);
      s0 = _mm256_add_epi32(s0, _mm256_madd_epi16(_mm256_unpacklo_epi8(lo, zero), ww));
      s1 = _mm256_add_epi32(s1, _mm256_madd_epi16(_mm256_unpackhi_epi8(lo, zero), ww));
      s2 = _mm256_add_epi32(s2, _mm256_madd_epi16(_mm256_unpacklo_epi8(hi, zero), ww));
      s3 = _mm256_add_epi32(s3, _mm256_madd_epi16(_mm256_unpackhi_epi8(hi, zero), ww));
    }
    const __m256i p01 = _mm256_packs_epi32(_mm256_srai_epi32(s0, kFilterBits), _mm256_srai_epi32(s1, kFilterBits));
    const __m256i p23 = _mm256_packs_epi32(_mm256_srai_epi32(s2, kFilterBits), _mm256_srai_epi32(s3, kFilterBits));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(dst + i), _mm256_packus_epi16(p01, p23));
  }
  VerticalSse2From(rows, weights, taps, dst, i, bytes);
}
#endif

// Cuts the rows into `threads` stripes, worked on by the shared pool and the
// caller. Calls under way at once share the pool: a stripe nobody else took
// is worked on by its own caller.
void RunRows(int rows, int threads, const auto& work) {
  if (threads <= 1 || rows < 2) {
    work(0, rows);
    return;
  }
  threads = std::min(threads, rows);
  base::ParallelFor(static_cast<std::size_t>(threads), static_cast<unsigned>(threads), [&](std::size_t t) {
    const int i = static_cast<int>(t);
    work(rows * i / threads, rows * (i + 1) / threads);
  });
}

// Averages kx x ky blocks (the last row and column of blocks may be
// narrower). Large reductions start with it: the filter then works on at
// most about four times its output size, with far fewer taps.
Status BoxShrink(const Bitmap& src, int kx, int ky, int threads, Bitmap* dst) {
  const int w = (src.width() + kx - 1) / kx, h = (src.height() + ky - 1) / ky, n = src.bytesPerPixel();
  Bitmap out;
  if (Status s = out.Allocate(w, h, src.bitsPerPixel()); !s) return s;
  RunRows(h, threads, [&](int from, int to) {
    std::vector<std::uint32_t> column(static_cast<std::size_t>(src.width()) * n);
    for (int oy = from; oy < to; ++oy) {
      const int y0 = oy * ky, y1 = std::min(y0 + ky, src.height());
      std::fill(column.begin(), column.end(), 0u);
      for (int y = y0; y < y1; ++y) {
        const std::uint8_t* r = src.row(y);
        for (std::size_t i = 0; i < column.size(); ++i) column[i] += r[i];
      }
      std::uint8_t* d = out.row(oy);
      for (int ox = 0; ox < w; ++ox) {
        const int x0 = ox * kx, x1 = std::min(x0 + kx, src.width());
        const std::uint32_t count = static_cast<std::uint32_t>((x1 - x0) * (y1 - y0));
        for (int c = 0; c < n; ++c) {
          std::uint32_t sum = 0;
          for (int x = x0; x < x1; ++x) sum += column[static_cast<std::size_t>(x) * n + c];
          d[ox * n + c] = static_cast<std::uint8_t>((sum + count / 2) / count);
        }
      }
    }
  });
  *dst = std::move(out);
  return {};
}

int ThreadsFor(std::int64_t work, int requested) {
  if (requested > 0) return requested;
  // Threads pay from about a megapixel of work.
  if (work < (1 << 20)) return 1;
  return static_cast<int>(std::min(8u, base::ParallelJobs()));
}

}  // namespace

void InitResampleKernels(unsigned cpuMask, ResampleKernels* k) {
  k->horizontal = HorizontalC;
  k->vertical = VerticalC;
#ifdef VEXA_HAVE_SSE2
  if (cpuMask & base::kCpuSse2) {
    k->horizontal = HorizontalSse2;
    k->vertical = VerticalSse2;
  }
  if (cpuMask & base::kCpuAvx2) {
    k->horizontal = HorizontalAvx2;
    k->vertical = VerticalAvx2;
  }
#else
  (void)cpuMask;
#endif
}

FilterTaps ComputeLanczosTaps(int srcSize, int dstSize) {
  FilterTaps t;
  const double scale = static_cast<double>(srcSize) / dstSize;
  const double stretch = std::max(scale, 1.0);  // widen the filter when shrinking
  const double support = 3.0 * stretch;
  struct Span {
    int first = 0;
    std::vector<double> w;
  };
  std::vector<Span> spans(static_cast<std::size_t>(dstSize));
  int maxTaps = 1;
  for (int i = 0; i < dstSize; ++i) {
    double centre = (i + 0.5) * scale - 0.5;
    int lo = static_cast<int>(std::ceil(centre - support));
    int hi = static_cast<int>(std::floor(centre + support));
    // Samples beyond the edges repeat the edge pixel.
    int first = std::clamp(lo, 0, srcSize - 1), last = std::clamp(hi, 0, srcSize - 1);
    Span& s = spans[static_cast<std::size_t>(i)];
    s.first = first;
    s.w.assign(static_cast<std::size_t>(last - first + 1), 0.0);
    double total = 0;
    for (int j = lo; j <= hi; ++j) {
      double w = Lanczos3((j - centre) / stretch);
      s.w[static_cast<std::size_t>(std::clamp(j, 0, srcSize - 1) - first)] += w;
      total += w;
    }
    if (total == 0) {
      s.w.assign(1, 1.0);
      s.first = std::clamp(static_cast<int>(std::lround(centre)), 0, srcSize - 1);
      total = 1;
    }
    for (double& w : s.w) w /= total;
    maxTaps = std::max(maxTaps, static_cast<int>(s.w.size()));
  }
  maxTaps = std::min(maxTaps, srcSize);
  t.srcSize = srcSize;
  t.maxTaps = maxTaps;
  t.start.resize(static_cast<std::size_t>(dstSize));
  t.weights.assign(static_cast<std::size_t>(dstSize) * maxTaps, 0);
  for (int i = 0; i < dstSize; ++i) {
    const Span& s = spans[static_cast<std::size_t>(i)];
    int start = std::min(s.first, srcSize - maxTaps);
    int offset = s.first - start;
    t.start[static_cast<std::size_t>(i)] = start;
    std::int16_t* w = t.weights.data() + static_cast<std::size_t>(i) * maxTaps;
    int sum = 0, biggest = offset;
    for (std::size_t k = 0; k < s.w.size(); ++k) {
      int v = static_cast<int>(std::lround(s.w[k] * (1 << kFilterBits)));
      w[offset + k] = static_cast<std::int16_t>(v);
      sum += v;
      if (v > w[biggest]) biggest = offset + static_cast<int>(k);
    }
    // Rounding leftovers go to the largest weight, so flat areas stay flat.
    w[biggest] = static_cast<std::int16_t>(w[biggest] + (1 << kFilterBits) - sum);
  }
  return t;
}

Status Resize(const Bitmap& input, int width, int height, Bitmap* dst, const ResizeOptions& options) {
  if (input.empty()) return ErrorCode::kEmptyBitmap;
  if (Status s = CheckDimensions(width, height); !s) return s;
  Bitmap converted;
  const Bitmap* src = &input;
  if (input.bitsPerPixel() == 8) {
    if (Status s = ConvertDepth(input, 24, &converted); !s) return s;
    src = &converted;
  }
  // Reductions beyond four times begin with an exact box average.
  const int kx = src->width() / width >= 4 ? src->width() / width / 2 : 1;
  const int ky = src->height() / height >= 4 ? src->height() / height / 2 : 1;
  Bitmap shrunk;
  if (kx > 1 || ky > 1) {
    if (Status s = BoxShrink(*src, kx, ky, ThreadsFor(std::int64_t{src->width()} * src->height() / 4, options.threads),
                             &shrunk);
        !s) {
      return s;
    }
    src = &shrunk;
  }
  const int channels = src->bytesPerPixel();
  ResampleKernels k;
  InitResampleKernels(options.cpuMask < 0 ? base::CpuMask() : static_cast<unsigned>(options.cpuMask), &k);
  const FilterTaps hTaps = ComputeLanczosTaps(src->width(), width);
  const FilterTaps vTaps = ComputeLanczosTaps(src->height(), height);

  const int threads =
      ThreadsFor(static_cast<std::int64_t>(width) * std::max(src->height(), height) * hTaps.maxTaps / 8, options.threads);

  Bitmap mid;
  if (Status s = mid.Allocate(width, src->height(), src->bitsPerPixel()); !s) return s;
  RunRows(src->height(), threads, [&](int from, int to) {
    for (int y = from; y < to; ++y) k.horizontal(src->row(y), mid.row(y), width, channels, hTaps);
  });
  Bitmap out;
  if (Status s = out.Allocate(width, height, src->bitsPerPixel()); !s) return s;
  const int n = vTaps.maxTaps;
  RunRows(height, threads, [&](int from, int to) {
    std::vector<const std::uint8_t*> rows(static_cast<std::size_t>(n));
    for (int y = from; y < to; ++y) {
      int start = vTaps.start[static_cast<std::size_t>(y)];
      for (int t = 0; t < n; ++t) rows[static_cast<std::size_t>(t)] = mid.row(start + t);
      k.vertical(rows.data(), vTaps.weights.data() + static_cast<std::size_t>(y) * n, n, out.row(y),
                 width * channels);
    }
  });
  out.set_format(input.format());
  *dst = std::move(out);
  return {};
}

}  // namespace vexa::imaging
