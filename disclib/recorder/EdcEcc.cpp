#include "disclib/recorder/EdcEcc.h"

#include <array>
#include <cstring>

namespace {

struct Tables {
  std::array<DWORD, 256> edc{};
  // GF(2^8): f[i] = i * a, b[i * (a + 1)] = i.
  std::array<BYTE, 256> f{};
  std::array<BYTE, 256> b{};
  Tables() {
    for (DWORD i = 0; i < 256; ++i) {
      DWORD r = i;
      for (int k = 0; k < 8; ++k) r = (r >> 1) ^ ((r & 1) ? 0xD8018001u : 0u);
      edc[i] = r;
      const DWORD twice = (i << 1) ^ ((i & 0x80) ? 0x11Du : 0u);
      f[i] = static_cast<BYTE>(twice);
      b[i ^ twice] = static_cast<BYTE>(i);
    }
  }
};

const Tables& T() {
  static const Tables tables;
  return tables;
}

// One family of Reed-Solomon vectors over the 2-byte words from byte 12:
// `majors` vectors of `minors` bytes; vector m starts at (m / 2) * majorStep
// + (m % 2) and advances by minorStep bytes, wrapping within the
// majors x minors bytes it covers. Its two parity bytes go to parity[m] and
// parity[m + majors].
void Parity(const BYTE* data, int majors, int minors, int majorStep, int minorStep, BYTE* parity) {
  const Tables& t = T();
  const int size = majors * minors;
  for (int m = 0; m < majors; ++m) {
    int index = (m >> 1) * majorStep + (m & 1);
    BYTE a = 0, s = 0;
    for (int k = 0; k < minors; ++k) {
      const BYTE v = data[index];
      index += minorStep;
      if (index >= size) index -= size;
      a ^= v;
      s ^= v;
      a = t.f[a];
    }
    a = t.b[t.f[a] ^ s];
    parity[m] = a;
    parity[m + majors] = static_cast<BYTE>(a ^ s);
  }
}

template <typename Fn>
void WithZeroHeader(int form, BYTE* sector, Fn fn) {
  if (form == CDFORM_MODE2_FORM1) {
    BYTE header[4];
    std::memcpy(header, sector + 12, 4);
    std::memset(sector + 12, 0, 4);
    fn();
    std::memcpy(sector + 12, header, 4);
  } else {
    fn();
  }
}

}  // namespace

extern "C" {

const DWORD* EDCTable() { return T().edc.data(); }

DWORD CalcEDC(BYTE* sector, const DWORD* table, int form) {
  int from = 0, to = 0;
  switch (form) {
    case CDFORM_MODE1: from = 0, to = 2064; break;
    case CDFORM_MODE2_FORM1: from = 16, to = 2072; break;
    case CDFORM_MODE2_FORM2: from = 16, to = 2348; break;
    default: return 0;
  }
  if (!table) table = EDCTable();
  DWORD crc = 0;
  for (int i = from; i < to; ++i) crc = table[(crc ^ sector[i]) & 0xFF] ^ (crc >> 8);
  for (int i = 0; i < 4; ++i) sector[to + i] = static_cast<BYTE>(crc >> (8 * i));
  return crc;
}

void CalcECC_P(int form, BYTE* sector) {
  if (form != CDFORM_MODE1 && form != CDFORM_MODE2_FORM1) return;
  WithZeroHeader(form, sector, [&] { Parity(sector + 12, 86, 24, 2, 86, sector + 2076); });
}

void CalcECC_Q(int form, BYTE* sector) {
  if (form != CDFORM_MODE1 && form != CDFORM_MODE2_FORM1) return;
  WithZeroHeader(form, sector, [&] { Parity(sector + 12, 52, 43, 86, 88, sector + 2248); });
}

}  // extern "C"
