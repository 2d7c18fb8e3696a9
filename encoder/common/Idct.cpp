#include "encoder/common/Idct.h"

#include <algorithm>
#include <cstdlib>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace vidlathe {

// ---- integer inverse DCT --------------------------------------------------------

namespace {
constexpr int W1 = 2841, W2 = 2676, W3 = 2408, W5 = 1609, W6 = 1108, W7 = 565;

// (181 x + 128) >> 8 with the product in 64 bits: for coefficients near the
// ends of their range it does not fit 32 bits. The result always does.
inline int Scale181(int x) { return static_cast<int>((181 * static_cast<int64_t>(x) + 128) >> 8); }

// A row result that does not fit 16 bits (only coefficients near the ends of
// their range give one) is held at the nearest 16-bit value.
inline int16_t Sat16(int v) { return static_cast<int16_t>(v < -32768 ? -32768 : v > 32767 ? 32767 : v); }
}  // namespace

namespace {
#if defined(__x86_64__) || defined(__i386__)
typedef int32_t v8si __attribute__((vector_size(32)));

// The column pass for all eight columns at once, lane c being column c. It
// has no shortcut for columns whose AC entries are zero: the full formula
// gives the same value there, (c0 * 256 + 8192) >> 14 being (c0 + 32) >> 6.
__attribute__((target("avx2"))) void IdctColumnsAvx2(int16_t* block) {
  v8si r[8];
  for (int k = 0; k < 8; ++k)
    for (int c = 0; c < 8; ++c) r[k][c] = block[8 * k + c];
  v8si x0 = (r[0] << 8) + 8192, x1 = r[4] << 8, x2 = r[6], x3 = r[2], x4 = r[1], x5 = r[7], x6 = r[5],
       x7 = r[3], x8;
  x8 = W7 * (x4 + x5) + 4;
  x4 = (x8 + (W1 - W7) * x4) >> 3;
  x5 = (x8 - (W1 + W7) * x5) >> 3;
  x8 = W3 * (x6 + x7) + 4;
  x6 = (x8 - (W3 - W5) * x6) >> 3;
  x7 = (x8 - (W3 + W5) * x7) >> 3;
  x8 = x0 + x1;
  x0 -= x1;
  x1 = W6 * (x3 + x2) + 4;
  x2 = (x1 - (W2 + W6) * x2) >> 3;
  x3 = (x1 + (W2 - W6) * x3) >> 3;
  x1 = x4 + x6;
  x4 -= x6;
  x6 = x5 + x7;
  x5 -= x7;
  x7 = x8 + x3;
  x8 -= x3;
  x3 = x0 + x2;
  x0 -= x2;
  x2 = (181 * (x4 + x5) + 128) >> 8;
  x4 = (181 * (x4 - x5) + 128) >> 8;
  const v8si out[8] = {(x7 + x1) >> 14, (x3 + x2) >> 14, (x0 + x4) >> 14, (x8 + x6) >> 14,
                       (x8 - x6) >> 14, (x0 - x4) >> 14, (x3 - x2) >> 14, (x7 - x1) >> 14};
  const v8si lo = {-256, -256, -256, -256, -256, -256, -256, -256};
  const v8si hi = {255, 255, 255, 255, 255, 255, 255, 255};
  for (int k = 0; k < 8; ++k) {
    v8si v = out[k];
    v = v < lo ? lo : v;
    v = v > hi ? hi : v;
    for (int c = 0; c < 8; ++c) block[8 * k + c] = static_cast<int16_t>(v[c]);
  }
}
#endif
}  // namespace

namespace {

inline int Clip256(int v) { return v < -256 ? -256 : v > 255 ? 255 : v; }

// The row pass: eight rows in order, in 32-bit arithmetic, each result held
// in 16 bits.
void Rows(int16_t* block) {
  for (int r = 0; r < 8; ++r) {
    int16_t* b = block + 8 * r;
    if (!(b[1] | b[2] | b[3] | b[4] | b[5] | b[6] | b[7])) {
      const int16_t v = static_cast<int16_t>(b[0] * 8);
      for (int i = 0; i < 8; ++i) b[i] = v;
      continue;
    }
    int x0 = (b[0] * 2048) + 128, x1 = b[4] * 2048, x2 = b[6], x3 = b[2], x4 = b[1], x5 = b[7],
        x6 = b[5], x7 = b[3], x8;
    x8 = W7 * (x4 + x5);
    x4 = x8 + (W1 - W7) * x4;
    x5 = x8 - (W1 + W7) * x5;
    x8 = W3 * (x6 + x7);
    x6 = x8 - (W3 - W5) * x6;
    x7 = x8 - (W3 + W5) * x7;
    x8 = x0 + x1;
    x0 -= x1;
    x1 = W6 * (x3 + x2);
    x2 = x1 - (W2 + W6) * x2;
    x3 = x1 + (W2 - W6) * x3;
    x1 = x4 + x6;
    x4 -= x6;
    x6 = x5 + x7;
    x5 -= x7;
    x7 = x8 + x3;
    x8 -= x3;
    x3 = x0 + x2;
    x0 -= x2;
    x2 = Scale181(x4 + x5);
    x4 = Scale181(x4 - x5);
    b[0] = Sat16((x7 + x1) >> 8);
    b[1] = Sat16((x3 + x2) >> 8);
    b[2] = Sat16((x0 + x4) >> 8);
    b[3] = Sat16((x8 + x6) >> 8);
    b[4] = Sat16((x8 - x6) >> 8);
    b[5] = Sat16((x0 - x4) >> 8);
    b[6] = Sat16((x3 - x2) >> 8);
    b[7] = Sat16((x7 - x1) >> 8);
  }
}


// The column pass, one column at a time, results clipped to -256..255.
void ColumnsPlain(int16_t* block) {
  for (int c = 0; c < 8; ++c) {
    int16_t* b = block + c;
    if (!(b[8] | b[16] | b[24] | b[32] | b[40] | b[48] | b[56])) {
      const int16_t v = static_cast<int16_t>(Clip256((b[0] + 32) >> 6));
      for (int i = 0; i < 8; ++i) b[8 * i] = v;
      continue;
    }
    int x0 = (b[0] * 256) + 8192, x1 = b[32] * 256, x2 = b[48], x3 = b[16], x4 = b[8], x5 = b[56],
        x6 = b[40], x7 = b[24], x8;
    x8 = W7 * (x4 + x5) + 4;
    x4 = (x8 + (W1 - W7) * x4) >> 3;
    x5 = (x8 - (W1 + W7) * x5) >> 3;
    x8 = W3 * (x6 + x7) + 4;
    x6 = (x8 - (W3 - W5) * x6) >> 3;
    x7 = (x8 - (W3 + W5) * x7) >> 3;
    x8 = x0 + x1;
    x0 -= x1;
    x1 = W6 * (x3 + x2) + 4;
    x2 = (x1 - (W2 + W6) * x2) >> 3;
    x3 = (x1 + (W2 - W6) * x3) >> 3;
    x1 = x4 + x6;
    x4 -= x6;
    x6 = x5 + x7;
    x5 -= x7;
    x7 = x8 + x3;
    x8 -= x3;
    x3 = x0 + x2;
    x0 -= x2;
    x2 = Scale181(x4 + x5);
    x4 = Scale181(x4 - x5);
    b[0] = static_cast<int16_t>(Clip256((x7 + x1) >> 14));
    b[8] = static_cast<int16_t>(Clip256((x3 + x2) >> 14));
    b[16] = static_cast<int16_t>(Clip256((x0 + x4) >> 14));
    b[24] = static_cast<int16_t>(Clip256((x8 + x6) >> 14));
    b[32] = static_cast<int16_t>(Clip256((x8 - x6) >> 14));
    b[40] = static_cast<int16_t>(Clip256((x0 - x4) >> 14));
    b[48] = static_cast<int16_t>(Clip256((x3 - x2) >> 14));
    b[56] = static_cast<int16_t>(Clip256((x7 - x1) >> 14));
  }
}


}  // namespace

void IntegerIdctPlain(int16_t* block) {
  Rows(block);
  ColumnsPlain(block);
}

#if defined(__x86_64__) || defined(__i386__)
void IntegerIdctAvx2(int16_t* block) {
  Rows(block);
  // 32-bit lanes hold every intermediate of the columns while the odd rows
  // stay within 4095 (the usual case); larger ones take the plain columns,
  // whose products that do not fit 32 bits are made in 64.
  int odd = 0;
  for (int k = 1; k < 8; k += 2)
    for (int c = 0; c < 8; ++c) odd |= std::abs(block[8 * k + c]) > 4095;
  if (odd) ColumnsPlain(block);
  else IdctColumnsAvx2(block);
}
#endif

IntegerIdct::IntegerIdct(unsigned cpuMask) {
  Kernels k;
  InitTransformKernels(cpuMask, &k);
  transform_ = k.idct;
}

// ---- fast inverse DCT ---------------------------------------------------------

namespace {

// 16-bit lane arithmetic of the fast transform.
constexpr int C1 = 32138, C2 = 30274, C3 = 27246, C4 = 23170, C5 = 18205, C6 = 12540,
              C7 = 6393;

inline int16_t Sat(int v) { return static_cast<int16_t>(std::clamp(v, -32768, 32767)); }
inline int16_t Add(int16_t a, int16_t b) { return Sat(a + b); }
inline int16_t Sub(int16_t a, int16_t b) { return Sat(a - b); }
inline int16_t Mul(int16_t a, int c) {
  // The high half of the signed 32-bit product (rounds towards minus infinity).
  return static_cast<int16_t>((static_cast<int32_t>(a) * c) >> 16);
}
inline int16_t Wrap(int v) { return static_cast<int16_t>(static_cast<uint16_t>(v)); }

void FastOneD(const int16_t x[8], int16_t y[8]) {
  const int16_t A = Mul(Add(x[0], 1), C4);
  const int16_t B = Mul(Add(x[4], 1), C4);
  const int16_t P = Add(Mul(Add(x[6], 3), C6), Mul(Add(x[2], 1), C2));
  const int16_t Q = Sub(Mul(Add(x[2], 3), C6), Mul(Add(x[6], 1), C2));
  const int16_t S = Add(A, B), D = Sub(A, B);
  const int16_t e0 = Add(S, P), e3 = Sub(S, P), e1 = Add(D, Q), e2 = Sub(D, Q);
  const int16_t p = Add(Mul(Add(x[7], 6), C7), Mul(Add(x[1], 1), C1));
  const int16_t q = Sub(Mul(Add(x[1], 6), C7), Mul(Add(x[7], 1), C1));
  const int16_t r = Sub(Mul(Add(x[5], 1), C3), Mul(Add(x[3], 2), C5));
  const int16_t s = Add(Mul(Add(x[3], 1), C3), Mul(Add(x[5], 2), C5));
  const int16_t o0 = Add(p, s), o3 = Add(q, r);
  const int16_t u = Mul(Add(Wrap(2 * Sub(p, s)), 1), C4);
  const int16_t v = Mul(Add(Wrap(2 * Sub(q, r)), 1), C4);
  const int16_t o1 = Add(u, v), o2 = Sub(u, v);
  y[0] = Add(e0, o0);
  y[7] = Sub(e0, o0);
  y[1] = Add(e1, o1);
  y[6] = Sub(e1, o1);
  y[2] = Add(e2, o2);
  y[5] = Sub(e2, o2);
  y[3] = Add(e3, o3);
  y[4] = Sub(e3, o3);
}

}  // namespace

void FastIdctPlain(int16_t* block) {
  int16_t x[8], y[8];
  for (int i = 0; i < 64; ++i) block[i] = Wrap(block[i] * 16);
  for (int c = 0; c < 8; ++c) {
    for (int k = 0; k < 8; ++k) x[k] = block[8 * k + c];
    FastOneD(x, y);
    for (int k = 0; k < 8; ++k) block[8 * k + c] = y[k];
  }
  for (int r = 0; r < 8; ++r) {
    FastOneD(block + 8 * r, y);
    for (int k = 0; k < 8; ++k) block[8 * r + k] = Wrap(Wrap(y[k] + 8) >> 4);
  }
}

#if defined(__SSE2__)

namespace {

// The one-dimensional transform on eight lanes at once: x[k] holds input k
// of eight independent transforms.
inline void FastOneDVector(__m128i x[8]) {
  auto c = [](int v) { return _mm_set1_epi16(static_cast<int16_t>(v)); };
  auto add = [](__m128i a, __m128i b) { return _mm_adds_epi16(a, b); };
  auto sub = [](__m128i a, __m128i b) { return _mm_subs_epi16(a, b); };
  auto mul = [&](__m128i a, int k) { return _mm_mulhi_epi16(a, c(k)); };
  const __m128i one = c(1), two = c(2), three = c(3), six = c(6);
  const __m128i A = mul(add(x[0], one), C4);
  const __m128i B = mul(add(x[4], one), C4);
  const __m128i P = add(mul(add(x[6], three), C6), mul(add(x[2], one), C2));
  const __m128i Q = sub(mul(add(x[2], three), C6), mul(add(x[6], one), C2));
  const __m128i S = add(A, B), D = sub(A, B);
  const __m128i e0 = add(S, P), e3 = sub(S, P), e1 = add(D, Q), e2 = sub(D, Q);
  const __m128i p = add(mul(add(x[7], six), C7), mul(add(x[1], one), C1));
  const __m128i q = sub(mul(add(x[1], six), C7), mul(add(x[7], one), C1));
  const __m128i r = sub(mul(add(x[5], one), C3), mul(add(x[3], two), C5));
  const __m128i s = add(mul(add(x[3], one), C3), mul(add(x[5], two), C5));
  const __m128i o0 = add(p, s), o3 = add(q, r);
  const __m128i u = mul(add(_mm_slli_epi16(sub(p, s), 1), one), C4);
  const __m128i v = mul(add(_mm_slli_epi16(sub(q, r), 1), one), C4);
  const __m128i o1 = add(u, v), o2 = sub(u, v);
  x[0] = add(e0, o0);
  x[7] = sub(e0, o0);
  x[1] = add(e1, o1);
  x[6] = sub(e1, o1);
  x[2] = add(e2, o2);
  x[5] = sub(e2, o2);
  x[3] = add(e3, o3);
  x[4] = sub(e3, o3);
}

inline void Transpose8(__m128i r[8]) {
  const __m128i a0 = _mm_unpacklo_epi16(r[0], r[1]), a1 = _mm_unpackhi_epi16(r[0], r[1]);
  const __m128i a2 = _mm_unpacklo_epi16(r[2], r[3]), a3 = _mm_unpackhi_epi16(r[2], r[3]);
  const __m128i a4 = _mm_unpacklo_epi16(r[4], r[5]), a5 = _mm_unpackhi_epi16(r[4], r[5]);
  const __m128i a6 = _mm_unpacklo_epi16(r[6], r[7]), a7 = _mm_unpackhi_epi16(r[6], r[7]);
  const __m128i b0 = _mm_unpacklo_epi32(a0, a2), b1 = _mm_unpackhi_epi32(a0, a2);
  const __m128i b2 = _mm_unpacklo_epi32(a1, a3), b3 = _mm_unpackhi_epi32(a1, a3);
  const __m128i b4 = _mm_unpacklo_epi32(a4, a6), b5 = _mm_unpackhi_epi32(a4, a6);
  const __m128i b6 = _mm_unpacklo_epi32(a5, a7), b7 = _mm_unpackhi_epi32(a5, a7);
  r[0] = _mm_unpacklo_epi64(b0, b4);
  r[1] = _mm_unpackhi_epi64(b0, b4);
  r[2] = _mm_unpacklo_epi64(b1, b5);
  r[3] = _mm_unpackhi_epi64(b1, b5);
  r[4] = _mm_unpacklo_epi64(b2, b6);
  r[5] = _mm_unpackhi_epi64(b2, b6);
  r[6] = _mm_unpacklo_epi64(b3, b7);
  r[7] = _mm_unpackhi_epi64(b3, b7);
}

}  // namespace

void FastIdctSse2(int16_t* block) {
  __m128i r[8];
  for (int k = 0; k < 8; ++k)
    r[k] = _mm_slli_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(block + 8 * k)), 4);
  FastOneDVector(r);  // the columns: lane c of row register k is entry (k, c)
  Transpose8(r);
  FastOneDVector(r);  // the rows
  Transpose8(r);
  const __m128i eight = _mm_set1_epi16(8);
  for (int k = 0; k < 8; ++k)
    _mm_storeu_si128(reinterpret_cast<__m128i*>(block + 8 * k),
                     _mm_srai_epi16(_mm_add_epi16(r[k], eight), 4));
}

#endif  // __SSE2__

void FastIdct(int16_t* block) { ActiveKernels().idct_fast(block); }

}  // namespace vidlathe
