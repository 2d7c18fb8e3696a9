// An ECMA-130 checker for CD sectors, written for the tests apart from the
// disc library's EDC/ECC code and the simulator's sector encoder: the EDC
// is checked bit by bit (the CRC over the data and its stored EDC leaves no
// remainder), the P and Q parity by their syndromes (every P column and Q
// diagonal, parity included, sums to zero plain and weighted by powers of
// a), and the scrambler is generated from its recurrence.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace ecma130 {

// GF(2^8) multiplication by shift and add, x^8 + x^4 + x^3 + x^2 + 1.
inline std::uint8_t Mul(std::uint8_t a, std::uint8_t b) {
  std::uint8_t r = 0;
  while (b) {
    if (b & 1) r ^= a;
    b >>= 1;
    a = static_cast<std::uint8_t>((a << 1) ^ ((a & 0x80) ? 0x1D : 0));
  }
  return r;
}

// Bitwise CRC with P(x) = x^32 + x^31 + x^16 + x^15 + x^4 + x^3 + x + 1,
// least significant bit first: zero over data followed by its EDC.
inline std::uint32_t EdcRemainder(const std::uint8_t* p, std::size_t n) {
  std::uint32_t crc = 0;
  for (std::size_t i = 0; i < n; ++i) {
    for (int bit = 0; bit < 8; ++bit) {
      const std::uint32_t in = (p[i] >> bit) & 1u;
      const std::uint32_t out = (crc ^ in) & 1u;
      crc >>= 1;
      if (out) crc ^= 0xD8018001u;  // the polynomial's bits reversed
    }
  }
  return crc;
}

// Syndromes of one code vector: plain sum and sum of v_i * a^(n-1-i).
inline bool SyndromesZero(const std::vector<std::uint8_t>& v) {
  std::uint8_t s0 = 0, s1 = 0;
  for (std::uint8_t x : v) {
    s0 ^= x;
    s1 = static_cast<std::uint8_t>(Mul(s1, 2) ^ x);
  }
  return s0 == 0 && s1 == 0;
}

// Checks every P column (24 + 2 bytes) and Q diagonal (43 + 2 bytes) over
// bytes 12-2351, with the header as zeros when zeroHeader.
inline std::string ParityProblem(const std::uint8_t* sector, bool zeroHeader) {
  std::uint8_t s[2352];
  std::memcpy(s, sector, 2352);
  if (zeroHeader) std::memset(s + 12, 0, 4);
  const std::uint8_t* b = s + 12;
  for (int col = 0; col < 86; ++col) {
    std::vector<std::uint8_t> v;
    for (int row = 0; row < 26; ++row) v.push_back(b[col + 86 * row]);
    if (!SyndromesZero(v)) return "P column " + std::to_string(col);
  }
  for (int d = 0; d < 52; ++d) {
    // Diagonal d of byte plane d % 2: word (43 * (d / 2) + 44 * k) mod 1118.
    std::vector<std::uint8_t> v;
    for (int k = 0; k < 43; ++k) v.push_back(b[2 * ((43 * (d / 2) + 44 * k) % 1118) + d % 2]);
    v.push_back(b[2 * (1118 + d / 2) + d % 2]);
    v.push_back(b[2 * (1118 + 26 + d / 2) + d % 2]);
    if (!SyndromesZero(v)) return "Q diagonal " + std::to_string(d);
  }
  return "";
}

inline std::uint8_t Bcd(int v) { return static_cast<std::uint8_t>(((v / 10) << 4) | (v % 10)); }

// What ECMA-130 requires of a data sector at an address, or "" when it holds.
enum class Kind { Mode1, Form1, Form2, Formless };
inline std::string SectorProblem(const std::uint8_t* s, std::int32_t address, Kind* kind = nullptr) {
  static const std::uint8_t sync[12] = {0, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0};
  if (std::memcmp(s, sync, 12) != 0) return "sync";
  const std::int32_t a = address + 150;
  if (s[12] != Bcd(a / 4500) || s[13] != Bcd(a / 75 % 60) || s[14] != Bcd(a % 75)) return "header address";
  if (s[15] == 1) {
    if (kind) *kind = Kind::Mode1;
    if (EdcRemainder(s, 2068) != 0) return "mode 1 EDC";
    for (int i = 2068; i < 2076; ++i) {
      if (s[i]) return "mode 1 zero bytes";
    }
    return ParityProblem(s, false);
  }
  if (s[15] != 2) return "mode byte";
  if (std::memcmp(s + 16, s + 20, 4) != 0) return "subheader copies differ";
  if (s[18] & 0x20) {
    if (kind) *kind = Kind::Form2;
    if (EdcRemainder(s + 16, 2336) != 0) return "form 2 EDC";
    return "";
  }
  if (kind) *kind = Kind::Form1;
  if (EdcRemainder(s + 16, 2060) != 0) return "form 1 EDC";
  return ParityProblem(s, true);
}

// The scrambler's 2340 bytes from b[n + 15] = b[n] ^ b[n + 1], b[0] = 1,
// bits taken least significant first.
inline std::vector<std::uint8_t> ScramblerBytes() {
  std::vector<std::uint8_t> bits(2340 * 8 + 15, 0);
  bits[0] = 1;
  for (std::size_t n = 0; n + 15 < bits.size(); ++n) bits[n + 15] = bits[n] ^ bits[n + 1];
  std::vector<std::uint8_t> out(2340, 0);
  for (std::size_t i = 0; i < out.size() * 8; ++i) out[i / 8] |= static_cast<std::uint8_t>(bits[i] << (i % 8));
  return out;
}

inline void Descramble(std::uint8_t* sector) {
  static const std::vector<std::uint8_t> table = ScramblerBytes();
  for (std::size_t i = 0; i < table.size(); ++i) sector[12 + i] ^= table[i];
}

// CRC-16 of Q subcode and CD-TEXT packs: x^16 + x^12 + x^5 + 1 bit by bit,
// the stored value inverted.
inline bool QCrcOk(const std::uint8_t* q, std::size_t n) {
  std::uint16_t crc = 0;
  for (std::size_t i = 0; i < n; ++i) {
    for (int bit = 7; bit >= 0; --bit) {
      const int in = (q[i] >> bit) & 1;
      const int top = (crc >> 15) & 1;
      crc = static_cast<std::uint16_t>(crc << 1);
      if (top ^ in) crc ^= 0x1021;
    }
  }
  crc = static_cast<std::uint16_t>(~crc);
  return q[n] == (crc >> 8) && q[n + 1] == (crc & 0xFF);
}

}  // namespace ecma130
