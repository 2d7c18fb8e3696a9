// Times Resize on a camera-sized picture at each level of kernels the
// processor offers (reference, SSE2, AVX2), one thread, best of several runs;
// then the default threading, alone and with several callers at once (as the
// disc engine's photo workers call it).
//
//   imaging-resize-bench [WIDTH HEIGHT TO_WIDTH TO_HEIGHT [BITS [RUNS]]]
//
// Defaults: 3264 2448 1024 768 24 5.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <thread>
#include <vector>

#include "platform/base/Cpu.h"
#include "platform/imaging/Resample.h"

namespace img = vexa::imaging;
namespace base = vexa::base;
using Clock = std::chrono::steady_clock;

namespace {

double Ms(Clock::time_point a, Clock::time_point b) {
  return std::chrono::duration<double, std::milli>(b - a).count();
}

// Best time of `runs` calls of `f`, in milliseconds.
template <typename F>
double BestMs(int runs, F&& f) {
  double best = 1e300;
  for (int r = 0; r < runs; ++r) {
    auto t0 = Clock::now();
    f();
    best = std::min(best, Ms(t0, Clock::now()));
  }
  return best;
}

}  // namespace

int main(int argc, char** argv) {
  int sw = 3264, sh = 2448, dw = 1024, dh = 768, bits = 24, runs = 5;
  if (argc >= 5) {
    sw = std::atoi(argv[1]);
    sh = std::atoi(argv[2]);
    dw = std::atoi(argv[3]);
    dh = std::atoi(argv[4]);
  }
  if (argc >= 6) bits = std::atoi(argv[5]);
  if (argc >= 7) runs = std::max(1, std::atoi(argv[6]));

  img::Bitmap src;
  if (!src.Create(sw, sh, bits).ok()) {
    std::fprintf(stderr, "cannot make a %dx%d picture at %d bits\n", sw, sh, bits);
    return 2;
  }
  // Noise over a gradient: content does not change the time of the
  // kernels, but keeps the outputs from being trivial.
  std::mt19937 rng(7);
  for (int y = 0; y < sh; ++y) {
    std::uint8_t* r = src.row(y);
    for (int i = 0; i < sw * bits / 8; ++i) r[i] = static_cast<std::uint8_t>((i + y) / 16 + rng() % 32);
  }

  const unsigned cpu = base::CpuMask();
  std::printf("resize %dx%d -> %dx%d, %d bits, best of %d; processor offers %s\n", sw, sh, dw, dh, bits, runs,
              base::CpuFlagNames(cpu).c_str());
  struct Level {
    const char* name;
    unsigned mask;
  };
  const Level levels[] = {{"reference", 0}, {"sse2", base::kCpuSse2}, {"avx2", base::kCpuAvx2}};
  img::Bitmap first;
  double refMs = 0;
  for (const Level& l : levels) {
    if (l.mask != 0 && (cpu & l.mask) == 0) {
      std::printf("%-10s  not offered\n", l.name);
      continue;
    }
    img::Bitmap out;
    const double ms = BestMs(runs, [&] {
      if (!img::Resize(src, dw, dh, &out, {.threads = 1, .cpuMask = static_cast<int>(l.mask)}).ok()) std::abort();
    });
    if (l.mask == 0) {
      refMs = ms;
      first = out;
    }
    const bool same = out.size() == first.size() && std::memcmp(out.data(), first.data(), out.size()) == 0;
    std::printf("%-10s  1 thread  %8.1f ms  x%.2f  %s\n", l.name, ms, refMs / ms, same ? "same bytes" : "DIFFERENT");
  }

  // The two passes alone (no block averaging), straight through the kernel
  // table: rows to the new width, then columns to the new height.
  const int channels = bits / 8;
  const img::FilterTaps hTaps = img::ComputeLanczosTaps(sw, dw), vTaps = img::ComputeLanczosTaps(sh, dh);
  std::vector<std::uint8_t> mid(static_cast<std::size_t>(dw) * channels * sh), low(static_cast<std::size_t>(dw) * channels);
  std::vector<const std::uint8_t*> rows(static_cast<std::size_t>(vTaps.maxTaps));
  std::printf("passes alone: %d and %d taps\n", hTaps.maxTaps, vTaps.maxTaps);
  for (const Level& l : levels) {
    if (l.mask != 0 && (cpu & l.mask) == 0) continue;
    img::ResampleKernels k;
    img::InitResampleKernels(l.mask, &k);
    const std::size_t midRow = static_cast<std::size_t>(dw) * channels;
    const double h = BestMs(runs, [&] {
      for (int y = 0; y < sh; ++y) k.horizontal(src.row(y), mid.data() + y * midRow, dw, channels, hTaps);
    });
    const double v = BestMs(runs, [&] {
      for (int y = 0; y < dh; ++y) {
        for (int t = 0; t < vTaps.maxTaps; ++t) rows[static_cast<std::size_t>(t)] = mid.data() + (vTaps.start[static_cast<std::size_t>(y)] + t) * midRow;
        k.vertical(rows.data(), vTaps.weights.data() + static_cast<std::size_t>(y) * vTaps.maxTaps, vTaps.maxTaps,
                   low.data(), static_cast<int>(midRow));
      }
    });
    std::printf("%-10s  rows %8.1f ms  columns %8.1f ms\n", l.name, h, v);
  }

  // The default options: the threads Resize chooses, at the fastest level.
  img::Bitmap out;
  std::printf("%-10s  default   %8.1f ms (one caller)\n", "fastest",
              BestMs(runs, [&] { (void)img::Resize(src, dw, dh, &out); }));
  for (int callers : {2, 4}) {
    // `callers` threads each resizing `runs` pictures; the time per picture.
    auto t0 = Clock::now();
    {
      std::vector<std::jthread> pool;
      for (int c = 0; c < callers; ++c) {
        pool.emplace_back([&] {
          img::Bitmap mine;
          for (int r = 0; r < runs; ++r) (void)img::Resize(src, dw, dh, &mine);
        });
      }
    }
    std::printf("%-10s  default   %8.1f ms a picture (%d callers at once)\n", "fastest",
                Ms(t0, Clock::now()) / (callers * runs), callers);
  }
  return 0;
}
