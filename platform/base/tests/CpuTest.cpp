#include "platform/base/Cpu.h"

#include <gtest/gtest.h>

using namespace vexa::base;

TEST(CpuMask, TextsOfTheMaskVariable) {
  struct Case {
    const char* text;
    bool ok;
    unsigned mask;
  } const cases[] = {
      {"0", true, 0},          {"1", true, kCpuSse2},   {"0x7", true, kCpuAllFlags},
      {"0X3", true, 3},        {"sse2", true, kCpuSse2}, {"sse2,avx2", true, kCpuSse2 | kCpuAvx2},
      {"none", true, 0},       {"avx,avx", true, kCpuAvx}, {"", false, 0},
      {"sse3", false, 0},      {"sse2,", false, 0},     {"-1", false, 0},
      {"0x", false, 0},        {"12a", false, 0},       {"0x123456789", false, 0},
  };
  for (const Case& c : cases) {
    unsigned mask = 12345;
    EXPECT_EQ(c.ok, ParseCpuMask(c.text, &mask)) << c.text;
    if (c.ok) {
      EXPECT_EQ(c.mask, mask) << c.text;
    }
  }
}

TEST(CpuMask, TheVariableOnlyNarrowsWhatTheProcessorOffers) {
  const unsigned detected = kCpuSse2 | kCpuAvx;
  EXPECT_EQ(detected, NarrowCpuMask(detected, nullptr));
  EXPECT_EQ(kCpuSse2, NarrowCpuMask(detected, "sse2,avx2"));
  EXPECT_EQ(detected, NarrowCpuMask(detected, "0xff"));
  EXPECT_EQ(0u, NarrowCpuMask(detected, "0"));
  // A text that means nothing falls back to the reference paths.
  EXPECT_EQ(0u, NarrowCpuMask(detected, "fast please"));
  EXPECT_EQ(0u, CpuMask() & ~DetectCpuFlags());
}

TEST(CpuMask, StepsAddOneAvailableFlagAtATime) {
  EXPECT_EQ((std::vector<unsigned>{0}), CpuMaskSteps(0));
  EXPECT_EQ((std::vector<unsigned>{0, kCpuSse2, kCpuSse2 | kCpuAvx, kCpuAllFlags}), CpuMaskSteps(kCpuAllFlags));
  EXPECT_EQ((std::vector<unsigned>{0, kCpuSse2, kCpuSse2 | kCpuAvx2}), CpuMaskSteps(kCpuSse2 | kCpuAvx2));
  EXPECT_EQ("none", CpuFlagNames(0));
  EXPECT_EQ("sse2,avx,avx2", CpuFlagNames(kCpuAllFlags));
}
