#include "disclib/vcd/tests/SectorCheck.h"

#include <array>
#include <cstring>

namespace vexa::vcd::testing {

namespace {

struct Gf {
  std::array<int, 256> log{};
  std::array<int, 512> exp{};
  Gf() {
    int x = 1;
    for (int i = 0; i < 255; ++i) {
      exp[static_cast<std::size_t>(i)] = x;
      log[static_cast<std::size_t>(x)] = i;
      x <<= 1;
      if (x & 0x100) x ^= 0x11D;
    }
    for (int i = 255; i < 512; ++i) exp[static_cast<std::size_t>(i)] = exp[static_cast<std::size_t>(i - 255)];
  }
  int Mul(int a, int b) const {
    if (!a || !b) return 0;
    return exp[static_cast<std::size_t>(log[static_cast<std::size_t>(a)] + log[static_cast<std::size_t>(b)])];
  }
};

const Gf& Field() {
  static const Gf g;
  return g;
}

// Syndromes S0 = sum c_i and S1 = sum c_i * alpha^(n-1-i) of a codeword.
bool ZeroSyndromes(const int* c, int n) {
  const Gf& g = Field();
  int s0 = 0, s1 = 0;
  for (int i = 0; i < n; ++i) {
    s0 ^= c[i];
    s1 ^= g.Mul(c[i], g.exp[static_cast<std::size_t>(n - 1 - i)]);
  }
  return s0 == 0 && s1 == 0;
}

}  // namespace

bool Form1EdcOk(const std::uint8_t* raw) {
  // CRC with (x^16 + x^15 + x^2 + 1)(x^16 + x^2 + x + 1), reflected, bit by bit.
  std::uint32_t crc = 0;
  for (int i = 16; i < 2072; ++i) {
    crc ^= raw[i];
    for (int b = 0; b < 8; ++b) crc = (crc & 1) ? (crc >> 1) ^ 0xD8018001u : crc >> 1;
  }
  const std::uint32_t stored = static_cast<std::uint32_t>(raw[2072]) | static_cast<std::uint32_t>(raw[2073]) << 8 |
                               static_cast<std::uint32_t>(raw[2074]) << 16 | static_cast<std::uint32_t>(raw[2075]) << 24;
  return crc == stored;
}

bool Form1ParityOk(const std::uint8_t* raw, bool q) {
  std::array<std::uint8_t, 2352> s{};
  std::memcpy(s.data(), raw, 2352);
  std::memset(s.data() + 12, 0, 4);
  // The 2340 bytes from 12 as 1170 16-bit words: a byte is (word, half).
  const std::uint8_t* d = s.data() + 12;
  auto byte = [&](int word, int half) { return static_cast<int>(d[2 * word + half]); };
  for (int half = 0; half < 2; ++half) {
    // P: 43 columns of 26 words (24 data, 2 parity at rows 24, 25).
    for (int col = 0; col < 43; ++col) {
      int c[26];
      for (int row = 0; row < 26; ++row) c[row] = byte(row * 43 + col, half);
      if (!ZeroSyndromes(c, 26)) return false;
    }
    if (!q) continue;
    // Q: 26 diagonals of 43 words plus 2 parity words after the P block.
    for (int diag = 0; diag < 26; ++diag) {
      int c[45];
      for (int k = 0; k < 43; ++k) c[k] = byte((44 * k + 43 * diag) % 1118, half);
      c[43] = byte(1118 + diag, half);
      c[44] = byte(1144 + diag, half);
      if (!ZeroSyndromes(c, 45)) return false;
    }
  }
  return true;
}

}  // namespace vexa::vcd::testing
