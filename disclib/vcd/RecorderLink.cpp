// Stand-ins for the recorder layer's entry points, used only while the
// library is linked without it: weak definitions, so the recorder's own
// (strong) ones take their place in the same library. Without a recorder
// there is no transport or drive object and log lines go nowhere; the
// sector codes are computed here as ECMA-130 gives them.
#include "disclib/vcd/RecorderLink.h"

#include <array>
#include <cstring>

extern "C" {
__attribute__((weak)) void* CDR4COMS_Get() { return nullptr; }
__attribute__((weak)) void CDR4COMS_Release(void*) {}
__attribute__((weak)) void* CDR4BASE_Get() { return nullptr; }
__attribute__((weak)) void CDR4BASE_Release(void*) {}
__attribute__((weak)) void COMS_Log(const char*) {}
}

namespace {

// EDC: CRC with (x^16 + x^15 + x^2 + 1)(x^16 + x^2 + x + 1), least
// significant bit first.
struct EdcTable {
  std::array<std::uint32_t, 256> t{};
  EdcTable() {
    for (std::uint32_t i = 0; i < 256; ++i) {
      std::uint32_t e = i;
      for (int k = 0; k < 8; ++k) e = (e >> 1) ^ ((e & 1) ? 0xD8018001u : 0u);
      t[i] = e;
    }
  }
};

// GF(2^8) with x^8 + x^4 + x^3 + x^2 + 1: multiplication by x, and the
// inverse of (1 + x) for the parity pair.
struct GfTables {
  std::array<std::uint8_t, 256> f{}, b{};
  GfTables() {
    for (int i = 0; i < 256; ++i) {
      const int j = (i << 1) ^ ((i & 0x80) ? 0x11D : 0);
      f[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(j);
      b[static_cast<std::size_t>(i ^ j)] = static_cast<std::uint8_t>(i);
    }
  }
};

const EdcTable& Edc() {
  static const EdcTable t;
  return t;
}
const GfTables& Gf() {
  static const GfTables t;
  return t;
}

// One parity set over the 2340 bytes from 12: majorCount vectors of
// minorCount bytes, walked with the ECMA-130 index steps.
void Parity(const std::uint8_t* src, std::uint32_t majorCount, std::uint32_t minorCount, std::uint32_t majorMult,
            std::uint32_t minorInc, std::uint8_t* dest) {
  const GfTables& g = Gf();
  const std::uint32_t size = majorCount * minorCount;
  for (std::uint32_t major = 0; major < majorCount; ++major) {
    std::uint32_t index = (major >> 1) * majorMult + (major & 1);
    std::uint8_t a = 0, b = 0;
    for (std::uint32_t minor = 0; minor < minorCount; ++minor) {
      const std::uint8_t v = src[index];
      index += minorInc;
      if (index >= size) index -= size;
      a ^= v;
      b ^= v;
      a = g.f[a];
    }
    a = g.b[g.f[a] ^ b];
    dest[major] = a;
    dest[major + majorCount] = static_cast<std::uint8_t>(a ^ b);
  }
}

template <typename F>
void WithZeroHeader(int form, std::uint8_t* sector, F&& f) {
  std::uint8_t header[4];
  std::memcpy(header, sector + 12, 4);
  if (form == 2) std::memset(sector + 12, 0, 4);
  f();
  std::memcpy(sector + 12, header, 4);
}

}  // namespace

__attribute__((weak)) std::uint32_t CalcEDC(std::uint8_t* sector, const std::uint32_t* table, int form) {
  const std::uint32_t* t = table ? table : Edc().t.data();
  std::size_t from = 0, to = 2064;  // mode 1
  if (form == 2) {
    from = 16;
    to = 2072;
  } else if (form == 3) {
    from = 16;
    to = 2348;
  }
  std::uint32_t edc = 0;
  for (std::size_t i = from; i < to; ++i) edc = (edc >> 8) ^ t[(edc ^ sector[i]) & 0xFF];
  for (int k = 0; k < 4; ++k) sector[to + static_cast<std::size_t>(k)] = static_cast<std::uint8_t>(edc >> (8 * k));
  return edc;
}

__attribute__((weak)) void CalcECC_P(int form, std::uint8_t* sector) {
  WithZeroHeader(form, sector, [&] { Parity(sector + 12, 86, 24, 2, 86, sector + 2076); });
}

__attribute__((weak)) void CalcECC_Q(int form, std::uint8_t* sector) {
  WithZeroHeader(form, sector, [&] { Parity(sector + 12, 52, 43, 86, 88, sector + 2248); });
}
