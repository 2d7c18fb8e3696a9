#include "platform/base/Cpu.h"

#include <cstdlib>

namespace vexa::base {

namespace {

struct FlagName {
  CpuFlag flag;
  std::string_view name;
};
constexpr FlagName kNames[] = {{kCpuSse2, "sse2"}, {kCpuAvx, "avx"}, {kCpuAvx2, "avx2"}};

bool ParseNumber(std::string_view text, unsigned* out) {
  unsigned base = 10;
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    base = 16;
    text.remove_prefix(2);
  }
  if (text.empty() || text.size() > 8) return false;
  unsigned v = 0;
  for (char c : text) {
    unsigned d;
    if (c >= '0' && c <= '9') d = static_cast<unsigned>(c - '0');
    else if (base == 16 && c >= 'a' && c <= 'f') d = static_cast<unsigned>(c - 'a' + 10);
    else if (base == 16 && c >= 'A' && c <= 'F') d = static_cast<unsigned>(c - 'A' + 10);
    else return false;
    if (d >= base) return false;
    v = v * base + d;
  }
  *out = v;
  return true;
}

}  // namespace

unsigned DetectCpuFlags() {
  unsigned flags = 0;
#if defined(__x86_64__) || defined(__i386__)
  __builtin_cpu_init();
  if (__builtin_cpu_supports("sse2")) flags |= kCpuSse2;
  if (__builtin_cpu_supports("avx")) flags |= kCpuAvx;
  if (__builtin_cpu_supports("avx2")) flags |= kCpuAvx2;
#endif
  return flags;
}

bool ParseCpuMask(std::string_view text, unsigned* mask) {
  unsigned v = 0;
  if (ParseNumber(text, &v)) {
    *mask = v;
    return true;
  }
  v = 0;
  while (true) {
    const size_t comma = text.find(',');
    const std::string_view word = text.substr(0, comma);
    bool known = word == "none";
    for (const FlagName& n : kNames)
      if (word == n.name) {
        v |= n.flag;
        known = true;
      }
    if (!known) return false;
    if (comma == std::string_view::npos) break;
    text.remove_prefix(comma + 1);
  }
  *mask = v;
  return true;
}

unsigned NarrowCpuMask(unsigned detected, const char* maskText) {
  if (!maskText) return detected;
  unsigned mask = 0;
  if (!ParseCpuMask(maskText, &mask)) return 0;
  return detected & mask;
}

unsigned CpuMask() {
  static const unsigned mask = NarrowCpuMask(DetectCpuFlags(), std::getenv(kCpuMaskVariable));
  return mask;
}

std::string CpuFlagNames(unsigned mask) {
  std::string out;
  for (const FlagName& n : kNames) {
    if (!(mask & n.flag)) continue;
    if (!out.empty()) out += ',';
    out += n.name;
  }
  return out.empty() ? "none" : out;
}

std::vector<unsigned> CpuMaskSteps(unsigned available) {
  std::vector<unsigned> steps{0};
  unsigned mask = 0;
  for (CpuFlag f : kCpuFlags) {
    if (!(available & f)) continue;
    mask |= f;
    steps.push_back(mask);
  }
  return steps;
}

}  // namespace vexa::base
