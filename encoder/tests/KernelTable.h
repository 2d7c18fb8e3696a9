// The one fixture of the kernel-table tests: the reference table (mask 0),
// the tables of every mask step this machine offers, and a random source
// whose seed is printed so that a failure can be replayed with
// VIDLATHE_TEST_SEED.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <random>
#include <vector>

#include "encoder/common/Kernels.h"
#include "platform/base/Cpu.h"

namespace vidlathe::testing {

inline unsigned KernelSeed() {
  static const unsigned seed = [] {
    const char* env = std::getenv("VIDLATHE_TEST_SEED");
    const unsigned s = env ? static_cast<unsigned>(std::strtoul(env, nullptr, 0)) : std::random_device{}();
    std::printf("kernel check seed: %u (replay with VIDLATHE_TEST_SEED=%u)\n", s, s);
    return s;
  }();
  return seed;
}

class Rng {
 public:
  explicit Rng(unsigned seed) : gen_(seed) {}
  int operator()(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(gen_); }

 private:
  std::mt19937 gen_;
};

struct MaskTable {
  unsigned mask;
  Kernels kernels;
};

class KernelTable : public ::testing::Test {
 protected:
  void SetUp() override {
    InitKernels(0, &reference_);
    for (unsigned mask : vexa::base::CpuMaskSteps(vexa::base::DetectCpuFlags())) {
      MaskTable t{mask, {}};
      InitKernels(mask, &t.kernels);
      steps_.push_back(t);
    }
  }
  // The reference and every step after it, mask 0 first.
  const std::vector<MaskTable>& steps() const { return steps_; }
  const Kernels& reference() const { return reference_; }

  Kernels reference_{};
  std::vector<MaskTable> steps_;
};

}  // namespace vidlathe::testing
