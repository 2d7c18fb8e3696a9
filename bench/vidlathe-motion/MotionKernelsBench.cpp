// The motion and transform kernels of the encoder's kernel table at each
// CPU mask step (/0 the plain reference, /1 SSE2, /3 with AVX, /7 with
// AVX2; flags the processor lacks are ignored), on one picture's worth of
// random 16x16 blocks.
#include <benchmark/benchmark.h>

#include <map>
#include <random>
#include <vector>

#include "encoder/common/Kernels.h"

namespace {

using vidlathe::Kernels;

const Kernels& Table(int mask) {
  static std::map<int, Kernels> tables;
  auto it = tables.find(mask);
  if (it == tables.end()) {
    Kernels k{};
    vidlathe::InitKernels(static_cast<unsigned>(mask), &k);
    it = tables.emplace(mask, k).first;
  }
  return it->second;
}

struct Planes {
  static constexpr int kW = 384, kH = 272;
  std::vector<uint8_t> a, b;
  Planes() : a(kW * kH), b(kW * kH) {
    std::mt19937 rng(7);
    for (auto& v : a) v = static_cast<uint8_t>(rng());
    for (auto& v : b) v = static_cast<uint8_t>(rng());
  }
};
const Planes& P() {
  static const Planes p;
  return p;
}

template <typename F>
void OverBlocks(benchmark::State& state, F f) {
  const auto& p = P();
  for (auto _ : state) {
    int sum = 0;
    for (int y = 0; y + 17 < Planes::kH; y += 16)
      for (int x = 0; x + 17 < Planes::kW; x += 16) sum += f(p.a.data() + y * Planes::kW + x, p.b.data() + y * Planes::kW + x);
    benchmark::DoNotOptimize(sum);
  }
}

void Sad(benchmark::State& s) {
  const auto& k = Table(static_cast<int>(s.range(0)));
  OverBlocks(s, [&](const uint8_t* a, const uint8_t* b) { return k.sad(a, b, Planes::kW, 0, 0, 16, 65536); });
}
void SadHalfPel(benchmark::State& s) {
  const auto& k = Table(static_cast<int>(s.range(0)));
  OverBlocks(s, [&](const uint8_t* a, const uint8_t* b) { return k.sad(a, b, Planes::kW, 1, 1, 16, 65536); });
}
void Ssd(benchmark::State& s) {
  const auto& k = Table(static_cast<int>(s.range(0)));
  OverBlocks(s, [&](const uint8_t* a, const uint8_t* b) { return k.ssd(a, b, Planes::kW, 1, 0, 16); });
}
void BidirSsd(benchmark::State& s) {
  const auto& k = Table(static_cast<int>(s.range(0)));
  OverBlocks(s, [&](const uint8_t* a, const uint8_t* b) { return k.bidir_ssd(a, b, b, Planes::kW, 0, 1, 1, 1, 16); });
}
void Variance(benchmark::State& s) {
  const auto& k = Table(static_cast<int>(s.range(0)));
  OverBlocks(s, [&](const uint8_t* a, const uint8_t*) { return k.variance16(a, Planes::kW); });
}
void Predict(benchmark::State& s) {
  const auto& k = Table(static_cast<int>(s.range(0)));
  std::vector<uint8_t> dst(16 * 16);
  OverBlocks(s, [&](const uint8_t* a, const uint8_t*) {
    k.predict(a, Planes::kW, dst.data(), 16, 16, 16, 1, 1, 1);
    return static_cast<int>(dst[5]);
  });
}
void DiffAndAdd(benchmark::State& s) {
  const auto& k = Table(static_cast<int>(s.range(0)));
  std::vector<uint8_t> dst(8 * Planes::kW);
  int16_t d[64];
  OverBlocks(s, [&](const uint8_t* a, const uint8_t* b) {
    k.diff8x8(a, Planes::kW, b, Planes::kW, d);
    k.add_prediction(b, dst.data(), Planes::kW, d);
    return static_cast<int>(dst[3]);
  });
}
void ForwardTransform(benchmark::State& s) {
  const auto& k = Table(static_cast<int>(s.range(0)));
  OverBlocks(s, [&](const uint8_t* a, const uint8_t* b) {
    int16_t d[64];
    for (int i = 0; i < 64; ++i) d[i] = static_cast<int16_t>(a[i] - b[i]);
    k.fdct(d);
    return static_cast<int>(d[1]);
  });
}
void InverseTransforms(benchmark::State& s) {
  const auto& k = Table(static_cast<int>(s.range(0)));
  OverBlocks(s, [&](const uint8_t* a, const uint8_t* b) {
    int16_t d[64], e[64];
    for (int i = 0; i < 64; ++i) d[i] = e[i] = static_cast<int16_t>(8 * (a[i] - b[i]));
    k.idct(d);
    k.idct_fast(e);
    return static_cast<int>(d[1] + e[2]);
  });
}
void Quantise(benchmark::State& s) {
  const auto& k = Table(static_cast<int>(s.range(0)));
  uint8_t flat[64];
  for (auto& m : flat) m = 16;
  OverBlocks(s, [&](const uint8_t* a, const uint8_t* b) {
    int16_t in[64], out[64];
    for (int i = 0; i < 64; ++i) in[i] = static_cast<int16_t>(8 * (a[i] - b[i]));
    return k.quant_nonintra(in, out, flat, 8);
  });
}

BENCHMARK(Sad)->Arg(0)->Arg(1)->Arg(3)->Arg(7);
BENCHMARK(SadHalfPel)->Arg(0)->Arg(1)->Arg(3)->Arg(7);
BENCHMARK(Ssd)->Arg(0)->Arg(1)->Arg(3)->Arg(7);
BENCHMARK(BidirSsd)->Arg(0)->Arg(1)->Arg(3)->Arg(7);
BENCHMARK(Variance)->Arg(0)->Arg(1)->Arg(3)->Arg(7);
BENCHMARK(Predict)->Arg(0)->Arg(1)->Arg(3)->Arg(7);
BENCHMARK(DiffAndAdd)->Arg(0)->Arg(1)->Arg(3)->Arg(7);
BENCHMARK(ForwardTransform)->Arg(0)->Arg(1)->Arg(3)->Arg(7);
BENCHMARK(InverseTransforms)->Arg(0)->Arg(1)->Arg(3)->Arg(7);
BENCHMARK(Quantise)->Arg(0)->Arg(1)->Arg(3)->Arg(7);

}  // namespace

BENCHMARK_MAIN();
