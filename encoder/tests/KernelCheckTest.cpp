// The kernel checker. The CPU mask steps through the flags this machine
// offers (none, then SSE2, AVX and AVX2 added one at a time); at each step
// every slot whose version the step changes is compared with the plain
// reference on the inputs of its rows: random and worst-case values,
// unaligned pointers and odd strides. A row names the slot, its input and
// its tolerance (the largest difference allowed per output; every kernel
// here is exact). The seed is printed for replay.
#include <cstring>
#include <functional>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "encoder/common/Tables.h"
#include "encoder/tests/KernelTable.h"

namespace vidlathe::testing {
namespace {

using vexa::base::CpuFlagNames;

// What one case found: empty when the candidate agreed with the reference.
using Outcome = std::string;

struct Row {
  std::string slot;
  std::string input;
  int tolerance = 0;
  int rounds = 1000;
  // The slot's version in a table, to tell which rows a mask step changes.
  std::function<const void*(const Kernels&)> version;
  // Runs one case on freshly generated input.
  std::function<Outcome(const Kernels& ref, const Kernels& test, Rng& rng, int tolerance)> once;
};

template <typename F>
std::function<const void*(const Kernels&)> VersionOf(F Kernels::*slot) {
  return [slot](const Kernels& k) { return reinterpret_cast<const void*>(k.*slot); };
}

template <typename T>
Outcome Compare(const T* a, const T* b, size_t n, int tolerance) {
  for (size_t i = 0; i < n; ++i) {
    const long d = static_cast<long>(a[i]) - static_cast<long>(b[i]);
    if (d > tolerance || -d > tolerance) {
      std::ostringstream o;
      o << "output " << i << ": reference " << static_cast<long>(a[i]) << ", candidate "
        << static_cast<long>(b[i]);
      return o.str();
    }
  }
  return {};
}

Outcome CompareValue(long a, long b, int tolerance, const char* what) {
  return Compare(&a, &b, 1, tolerance).empty() ? Outcome{}
                                               : std::string(what) + ": reference " + std::to_string(a) +
                                                     ", candidate " + std::to_string(b);
}

// ---- generators ------------------------------------------------------------

using BlockInput = std::function<void(Rng&, int16_t*)>;

void PixelDifferences(Rng& r, int16_t* b) {
  for (int i = 0; i < 64; ++i) b[i] = static_cast<int16_t>(r(-255, 255));
}
void Checkerboard(Rng& r, int16_t* b) {
  const int v = r(0, 1) ? 255 : -255;
  for (int i = 0; i < 64; ++i) b[i] = static_cast<int16_t>((i + i / 8) % 2 ? v : -v);
}
void BinaryPixels(Rng& r, int16_t* b) {
  for (int i = 0; i < 64; ++i) b[i] = static_cast<int16_t>(r(0, 1) * 255 - 128);
}
void SmallWithZeroRows(Rng& r, int16_t* b) {
  for (int i = 0; i < 64; ++i) b[i] = static_cast<int16_t>(r(-3, 3));
  for (int y = 0; y < 8; ++y)
    if (r(0, 1)) std::memset(b + 8 * y, 0, 16);
}
void Coefficients(Rng& r, int16_t* b) {
  for (int i = 0; i < 64; ++i) b[i] = static_cast<int16_t>(r(-2048, 2047));
}
void SparseCoefficients(Rng& r, int16_t* b) {
  std::memset(b, 0, 128);
  for (int n = r(1, 4); n > 0; --n) b[r(0, 63)] = static_cast<int16_t>(r(-300, 300));
}
void FirstColumnOnly(Rng& r, int16_t* b) {
  std::memset(b, 0, 128);
  for (int k = 0; k < 8; ++k) b[8 * k] = static_cast<int16_t>(r(-2048, 2047));
}
void CoefficientLimits(Rng& r, int16_t* b) {
  for (int i = 0; i < 64; ++i) b[i] = static_cast<int16_t>(r(0, 1) ? 2047 : -2048);
}
void ExtremeFirstRow(Rng& r, int16_t* b) {
  std::memset(b, 0, 128);
  for (int c = 0; c < 8; ++c) b[c] = static_cast<int16_t>(r(0, 3) ? (r(0, 1) ? 2047 : -2048) : r(-2048, 2047));
}

struct QuantInput {
  int16_t in[64];
  uint8_t matrix[64];
  int mquant;
};
using QuantGenerator = std::function<void(Rng&, QuantInput*)>;

QuantGenerator Levels(int range, const uint8_t* matrix) {
  return [range, matrix](Rng& r, QuantInput* q) {
    for (auto& v : q->in) v = static_cast<int16_t>(r(-range, range));
    if (r(0, 6) == 0) q->in[r(0, 63)] = -32768;
    for (int i = 0; i < 64; ++i) q->matrix[i] = matrix ? matrix[i] : static_cast<uint8_t>(r(1, 255));
    q->mquant = 2 * r(1, 31);
  };
}

enum class Samples { kRandom, kBlackAndWhite, kNearlyFlat };
const char* Name(Samples s) {
  return s == Samples::kRandom ? "random samples" : s == Samples::kBlackAndWhite ? "samples of 0 and 255" : "nearly flat samples";
}
std::vector<uint8_t> Plane(Rng& r, size_t n, Samples kind) {
  std::vector<uint8_t> p(n);
  for (auto& v : p)
    v = static_cast<uint8_t>(kind == Samples::kRandom         ? r(0, 255)
                             : kind == Samples::kBlackAndWhite ? r(0, 1) * 255
                                                               : 120 + r(0, 3));
  return p;
}

// ---- rows ------------------------------------------------------------------

Row BlockRow(const char* slot, void (*Kernels::*member)(int16_t*), const char* input, BlockInput gen,
             int rounds) {
  Row row{slot, input, 0, rounds, VersionOf(member), {}};
  row.once = [member, gen](const Kernels& ref, const Kernels& test, Rng& r, int tolerance) {
    // One spare entry in front: the candidate reads and writes unaligned.
    alignas(32) int16_t a[65], b[65];
    gen(r, a + 1);
    std::memcpy(b + 1, a + 1, 128);
    (ref.*member)(a + 1);
    (test.*member)(b + 1);
    return Compare(a + 1, b + 1, 64, tolerance);
  };
  return row;
}

Row IntraQuantRow(const char* input, QuantGenerator gen) {
  Row row{"quant_intra", input, 0, 1500, VersionOf(&Kernels::quant_intra), {}};
  row.once = [gen](const Kernels& ref, const Kernels& test, Rng& r, int tolerance) {
    QuantInput q;
    gen(r, &q);
    int16_t a[64], b[64];
    ref.quant_intra(q.in, a, q.matrix, q.mquant);
    test.quant_intra(q.in, b, q.matrix, q.mquant);
    return Compare(a, b, 64, tolerance);
  };
  return row;
}

Row NonIntraQuantRow(const char* input, QuantGenerator gen) {
  Row row{"quant_nonintra", input, 0, 1500, VersionOf(&Kernels::quant_nonintra), {}};
  row.once = [gen](const Kernels& ref, const Kernels& test, Rng& r, int tolerance) {
    QuantInput q;
    gen(r, &q);
    int16_t a[64], b[64];
    const int ca = ref.quant_nonintra(q.in, a, q.matrix, q.mquant);
    const int cb = test.quant_nonintra(q.in, b, q.matrix, q.mquant);
    Outcome o = CompareValue(ca, cb, 0, "any level");
    return o.empty() ? Compare(a, b, 64, tolerance) : o;
  };
  return row;
}

// A case of the block sums: planes with a row and a column beyond the 16 x
// 16 block for the half-pel samples, an odd stride, unaligned starts.
struct SumCase {
  int stride, hx, hy, hxb, hyb, limit;
  std::vector<uint8_t> ref, past, cur;
  size_t at;  // offset of the block in every plane
  SumCase(Rng& r, Samples kind) {
    stride = 16 + 16 * r(1, 3) + r(0, 7);
    at = static_cast<size_t>(r(0, 15));
    const size_t n = at + static_cast<size_t>(stride) * 17 + 17;
    ref = Plane(r, n, kind);
    past = Plane(r, n, kind);
    cur = Plane(r, n, kind);
    hx = r(0, 1), hy = r(0, 1), hxb = r(0, 1), hyb = r(0, 1);
    limit = r(0, 3) == 0 ? 65536 : r(0, 40000);
  }
};

std::vector<Row> PixelRows() {
  std::vector<Row> rows;
  for (Samples kind : {Samples::kRandom, Samples::kBlackAndWhite, Samples::kNearlyFlat}) {
    rows.push_back({"sad", Name(kind), 0, 600, VersionOf(&Kernels::sad),
                    [kind](const Kernels& ref, const Kernels& test, Rng& r, int tol) {
                      SumCase c(r, kind);
                      const auto f = [&](const Kernels& k) {
                        return k.sad(c.ref.data() + c.at, c.cur.data() + c.at, c.stride, c.hx, c.hy, 16, c.limit);
                      };
                      return CompareValue(f(ref), f(test), tol, "sum");
                    }});
    rows.push_back({"sad_row16", Name(kind), 0, 600, VersionOf(&Kernels::sad_row16),
                    [kind](const Kernels& ref, const Kernels& test, Rng& r, int tol) {
                      SumCase c(r, kind);
                      return CompareValue(ref.sad_row16(c.ref.data() + c.at, c.cur.data() + 1),
                                          test.sad_row16(c.ref.data() + c.at, c.cur.data() + 1), tol, "sum");
                    }});
    rows.push_back({"ssd", Name(kind), 0, 600, VersionOf(&Kernels::ssd),
                    [kind](const Kernels& ref, const Kernels& test, Rng& r, int tol) {
                      SumCase c(r, kind);
                      const auto f = [&](const Kernels& k) {
                        return k.ssd(c.ref.data() + c.at, c.cur.data() + c.at, c.stride, c.hx, c.hy, 16);
                      };
                      return CompareValue(f(ref), f(test), tol, "sum");
                    }});
    rows.push_back({"bidir_ssd", Name(kind), 0, 600, VersionOf(&Kernels::bidir_ssd),
                    [kind](const Kernels& ref, const Kernels& test, Rng& r, int tol) {
                      SumCase c(r, kind);
                      const auto f = [&](const Kernels& k) {
                        return k.bidir_ssd(c.past.data() + c.at, c.ref.data() + c.at, c.cur.data() + c.at,
                                           c.stride, c.hx, c.hy, c.hxb, c.hyb, 16);
                      };
                      return CompareValue(f(ref), f(test), tol, "sum");
                    }});
    rows.push_back({"variance16", Name(kind), 0, 600, VersionOf(&Kernels::variance16),
                    [kind](const Kernels& ref, const Kernels& test, Rng& r, int tol) {
                      SumCase c(r, kind);
                      return CompareValue(ref.variance16(c.cur.data() + c.at, c.stride),
                                          test.variance16(c.cur.data() + c.at, c.stride), tol, "variance");
                    }});
    rows.push_back({"predict", Name(kind), 0, 600, VersionOf(&Kernels::predict),
                    [kind](const Kernels& ref, const Kernels& test, Rng& r, int tol) {
                      const int w = r(0, 1) ? 16 : 8;
                      const int stride = 24 + r(0, 40);
                      const size_t at = static_cast<size_t>(r(0, 15));
                      const auto src = Plane(r, at + static_cast<size_t>(stride) * (w + 1) + w + 1, kind);
                      const auto start = Plane(r, at + static_cast<size_t>(stride) * w, kind);
                      const int hx = r(0, 1), hy = r(0, 1), average = r(0, 1);
                      auto a = start, b = start;
                      ref.predict(src.data() + at, stride, a.data() + at, stride, w, w, hx, hy, average);
                      test.predict(src.data() + at, stride, b.data() + at, stride, w, w, hx, hy, average);
                      return Compare(a.data(), b.data(), a.size(), tol);
                    }});
    rows.push_back({"diff8x8", Name(kind), 0, 600, VersionOf(&Kernels::diff8x8),
                    [kind](const Kernels& ref, const Kernels& test, Rng& r, int tol) {
                      SumCase c(r, kind);
                      int16_t a[64], b[64];
                      ref.diff8x8(c.cur.data() + c.at, c.stride, c.ref.data() + 3, c.stride + 1, a);
                      test.diff8x8(c.cur.data() + c.at, c.stride, c.ref.data() + 3, c.stride + 1, b);
                      return Compare(a, b, 64, tol);
                    }});
  }
  // Differences from the transform (-256..255) and any other 16-bit value.
  for (bool wide : {false, true}) {
    rows.push_back({"add_prediction", wide ? "any 16-bit difference" : "transform differences", 0, 1000,
                    VersionOf(&Kernels::add_prediction),
                    [wide](const Kernels& ref, const Kernels& test, Rng& r, int tol) {
                      const int stride = 8 + r(0, 40);
                      const size_t at = static_cast<size_t>(r(0, 15));
                      const auto pred = Plane(r, at + static_cast<size_t>(stride) * 8, Samples::kRandom);
                      const auto start = Plane(r, pred.size(), Samples::kRandom);
                      int16_t diff[64];
                      for (auto& v : diff) v = static_cast<int16_t>(wide ? r(-32768, 32767) : r(-256, 255));
                      auto a = start, b = start;
                      ref.add_prediction(pred.data() + at, a.data() + at, stride, diff);
                      test.add_prediction(pred.data() + at, b.data() + at, stride, diff);
                      return Compare(a.data(), b.data(), a.size(), tol);
                    }});
  }
  return rows;
}

std::vector<Row> ColourRows() {
  std::vector<Row> rows;
  rows.push_back({"bgrx_to_yuv", "random pixels, odd counts, unaligned", 0, 200,
                  VersionOf(&Kernels::bgrx_to_yuv), [](const Kernels& ref, const Kernels& test, Rng& r, int tol) {
                    static const int kCounts[] = {1, 7, 8, 9, 31, 352, 705};
                    const int n = kCounts[r(0, 6)];
                    auto px = Plane(r, 4 * static_cast<size_t>(n) + 1, r(0, 1) ? Samples::kRandom : Samples::kBlackAndWhite);
                    std::vector<uint8_t> a(3 * static_cast<size_t>(n)), b(a.size());
                    ref.bgrx_to_yuv(px.data() + 1, n, a.data(), a.data() + n, a.data() + 2 * n);
                    test.bgrx_to_yuv(px.data() + 1, n, b.data(), b.data() + n, b.data() + 2 * n);
                    return Compare(a.data(), b.data(), a.size(), tol);
                  }});
  static const std::pair<int, int> kSizes[] = {{704, 480}, {352, 240}, {16, 12}, {2, 2}, {24, 14}, {30, 22}};
  rows.push_back({"decimate_h", "picture sizes down to 2 x 2", 0, 40, VersionOf(&Kernels::decimate_h),
                  [](const Kernels& ref, const Kernels& test, Rng& r, int tol) {
                    const auto [w, h] = kSizes[r(0, 5)];
                    const auto src = Plane(r, static_cast<size_t>(w) * h, r(0, 1) ? Samples::kRandom : Samples::kBlackAndWhite);
                    std::vector<uint8_t> a(static_cast<size_t>(w / 2) * h), b(a.size());
                    ref.decimate_h(src.data(), a.data(), w, h);
                    test.decimate_h(src.data(), b.data(), w, h);
                    return Compare(a.data(), b.data(), a.size(), tol);
                  }});
  rows.push_back({"decimate_v", "picture sizes down to 2 x 2", 0, 40, VersionOf(&Kernels::decimate_v),
                  [](const Kernels& ref, const Kernels& test, Rng& r, int tol) {
                    const auto [w, h] = kSizes[r(0, 5)];
                    const auto src = Plane(r, static_cast<size_t>(w / 2) * h, r(0, 1) ? Samples::kRandom : Samples::kBlackAndWhite);
                    std::vector<uint8_t> a(static_cast<size_t>(w / 2) * (h / 2)), b(a.size());
                    ref.decimate_v(src.data(), a.data(), w, h);
                    test.decimate_v(src.data(), b.data(), w, h);
                    return Compare(a.data(), b.data(), a.size(), tol);
                  }});
  return rows;
}

std::vector<Row> Rows() {
  std::vector<Row> rows = {
      BlockRow("fdct", &Kernels::fdct, "pixel differences", PixelDifferences, 2000),
      BlockRow("fdct", &Kernels::fdct, "checkerboard of +-255", Checkerboard, 200),
      BlockRow("fdct", &Kernels::fdct, "black and white pixels", BinaryPixels, 1000),
      BlockRow("fdct", &Kernels::fdct, "small values with rows of zeros", SmallWithZeroRows, 1000),
      BlockRow("idct", &Kernels::idct, "dense coefficients", Coefficients, 4000),
      BlockRow("idct", &Kernels::idct, "sparse coefficients", SparseCoefficients, 4000),
      BlockRow("idct", &Kernels::idct, "first column only", FirstColumnOnly, 2000),
      BlockRow("idct", &Kernels::idct, "coefficients at their limits", CoefficientLimits, 2000),
      BlockRow("idct", &Kernels::idct, "extreme first row", ExtremeFirstRow, 2000),
      BlockRow("idct_fast", &Kernels::idct_fast, "dense coefficients", Coefficients, 2000),
      BlockRow("idct_fast", &Kernels::idct_fast, "sparse coefficients", SparseCoefficients, 2000),
      BlockRow("idct_fast", &Kernels::idct_fast, "coefficients at their limits", CoefficientLimits, 2000),
      IntraQuantRow("coefficients, default intra matrix", Levels(2047, kDefaultIntraMatrix)),
      IntraQuantRow("small coefficients, flat matrix", Levels(300, kFlatMatrix)),
      IntraQuantRow("any 16-bit value, random matrix", Levels(32767, nullptr)),
      NonIntraQuantRow("coefficients, flat matrix", Levels(2047, kFlatMatrix)),
      NonIntraQuantRow("small values, flat matrix", Levels(40, kFlatMatrix)),
      NonIntraQuantRow("any 16-bit value, flat matrix", Levels(32767, kFlatMatrix)),
      NonIntraQuantRow("any 16-bit value, random matrix", Levels(32767, nullptr)),
  };
  for (auto& r : PixelRows()) rows.push_back(std::move(r));
  for (auto& r : ColourRows()) rows.push_back(std::move(r));
  return rows;
}

TEST_F(KernelTable, EveryMaskStepMatchesTheReference) {
  const unsigned seed = KernelSeed();
  const std::vector<Row> rows = Rows();
  ASSERT_EQ(reference().fdct, steps().front().kernels.fdct);
  for (size_t s = 1; s < steps().size(); ++s) {
    const MaskTable& step = steps()[s];
    const Kernels& previous = steps()[s - 1].kernels;
    std::set<std::string> changed;
    for (size_t i = 0; i < rows.size(); ++i) {
      const Row& row = rows[i];
      // A step checks only what it adds.
      if (row.version(step.kernels) == row.version(previous)) continue;
      changed.insert(row.slot);
      Rng rng(seed + static_cast<unsigned>(i));
      for (int round = 0; round < row.rounds; ++round) {
        const Outcome o = row.once(reference(), step.kernels, rng, row.tolerance);
        if (!o.empty()) {
          ADD_FAILURE() << "mask " << CpuFlagNames(step.mask) << ": " << row.slot << " on " << row.input
                        << ", round " << round << " (seed " << seed << "): " << o;
          break;
        }
      }
    }
    std::string names;
    for (const auto& n : changed) names += " " + n;
    std::printf("mask %s checked:%s\n", CpuFlagNames(step.mask).c_str(), names.c_str());
    // Every flag the machine offers brings a faster version of some slot.
    EXPECT_FALSE(changed.empty()) << "mask " << CpuFlagNames(step.mask) << " changes no slot";
  }
}

// Every slot of the table has rows: a slot added without them would pass
// the checker untested.
TEST_F(KernelTable, EverySlotHasRows) {
  std::set<std::string> withRows;
  for (const Row& row : Rows()) withRows.insert(row.slot);
  EXPECT_EQ(static_cast<size_t>(sizeof(Kernels) / sizeof(void*)), withRows.size());
}

}  // namespace
}  // namespace vidlathe::testing
