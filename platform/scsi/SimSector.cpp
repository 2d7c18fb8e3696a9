#include "platform/scsi/SimSector.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <map>

namespace vexa::scsi::sim {

void AddressToMsf(std::int32_t address, int* m, int* s, int* f) {
  std::int32_t a = address < -150 ? address + 450150 : address + 150;
  if (a < 0) a = 0;
  *m = a / 4500;
  *s = a % 4500 / 75;
  *f = a % 75;
}

std::int32_t MsfToAddress(int m, int s, int f) {
  const std::int32_t a = m * 4500 + s * 75 + f;
  return m < 90 ? a - 150 : a - 450150;
}

namespace {

// GF(2^8) with x^8 + x^4 + x^3 + x^2 + 1: multiplication by a (= 2).
inline std::uint8_t Times2(std::uint8_t x) {
  return static_cast<std::uint8_t>((x << 1) ^ ((x >> 7) * 0x1D));
}

// Division by a + 1 (= 3), as a table: the parity bytes need it once each.
const std::array<std::uint8_t, 256>& DivideBy3() {
  static const std::array<std::uint8_t, 256> table = [] {
    std::array<std::uint8_t, 256> t{};
    for (int i = 0; i < 256; ++i) {
      const auto x = static_cast<std::uint8_t>(i);
      t[static_cast<std::uint8_t>(Times2(x) ^ x)] = x;
    }
    return t;
  }();
  return table;
}

// The two parity bytes of each of n (n-2)-byte Reed-Solomon vectors of the
// product code, from the vectors' plain sums and their sums weighted by
// a^(count-1-k) (Horner's rule): p0 * a + p1 = weighted * a^2 and
// p0 + p1 = plain, so that the whole vector's two syndromes vanish.
template <int n>
void FinishParity(const std::uint8_t (&plain)[n], const std::uint8_t (&horner)[n], std::uint8_t* p0,
                  std::uint8_t* p1) {
  const auto& div3 = DivideBy3();
  for (int i = 0; i < n; ++i) {
    const std::uint8_t weighted = Times2(Times2(horner[i]));
    const std::uint8_t first = div3[static_cast<std::uint8_t>(weighted ^ plain[i])];
    p0[i] = first;
    p1[i] = static_cast<std::uint8_t>(plain[i] ^ first);
  }
}

void ParityP(std::uint8_t* s) {
  // 86 columns of 24 bytes from byte 12; parity rows at 2076 and 2162.
  // Row by row, so each step works on 86 neighbouring bytes at once.
  std::uint8_t* base = s + 12;
  std::uint8_t plain[86] = {}, horner[86] = {};
  for (int k = 0; k < 24; ++k) {
    const std::uint8_t* row = base + 86 * k;
    for (int col = 0; col < 86; ++col) {
      plain[col] ^= row[col];
      horner[col] = static_cast<std::uint8_t>(Times2(horner[col]) ^ row[col]);
    }
  }
  FinishParity(plain, horner, base + 2064, base + 2064 + 86);
}

// Where byte k of each Q diagonal pair lies: diagonals 2j and 2j + 1 take
// bytes (86 * j + 88 * k) mod 2236 and the one after it.
const std::array<std::array<std::uint16_t, 26>, 43>& QOffsets() {
  static const std::array<std::array<std::uint16_t, 26>, 43> table = [] {
    std::array<std::array<std::uint16_t, 26>, 43> t{};
    for (int k = 0; k < 43; ++k) {
      for (int j = 0; j < 26; ++j) t[k][j] = static_cast<std::uint16_t>((86 * j + 88 * k) % 2236);
    }
    return t;
  }();
  return table;
}

void ParityQ(std::uint8_t* s) {
  // 52 diagonals of 43 bytes over bytes 12-2247; parity at 2248 and 2300.
  std::uint8_t* base = s + 12;
  const auto& offsets = QOffsets();
  std::uint8_t plain[52] = {}, horner[52] = {};
  for (int k = 0; k < 43; ++k) {
    for (int j = 0; j < 26; ++j) {
      const std::uint8_t* pair = base + offsets[k][j];
      for (int b = 0; b < 2; ++b) {
        const int d = 2 * j + b;
        plain[d] ^= pair[b];
        horner[d] = static_cast<std::uint8_t>(Times2(horner[d]) ^ pair[b]);
      }
    }
  }
  FinishParity(plain, horner, base + 2236, base + 2236 + 52);
}

// EDC: CRC-32 with (x^16+x^15+x^2+1)(x^16+x^2+x+1), bits taken LSB first,
// eight bytes a step through eight derived tables.
std::uint32_t Edc(const std::uint8_t* p, std::size_t n) {
  using Tables = std::array<std::array<std::uint32_t, 256>, 8>;
  static const Tables tables = [] {
    Tables t{};
    for (std::uint32_t i = 0; i < 256; ++i) {
      std::uint32_t r = i;
      for (int b = 0; b < 8; ++b) r = (r >> 1) ^ ((r & 1) ? 0xD8018001u : 0u);
      t[0][i] = r;
    }
    for (std::size_t k = 1; k < 8; ++k) {
      for (std::size_t i = 0; i < 256; ++i) t[k][i] = (t[k - 1][i] >> 8) ^ t[0][t[k - 1][i] & 0xFF];
    }
    return t;
  }();
  const auto word = [](const std::uint8_t* q) {
    return static_cast<std::uint32_t>(q[0]) | static_cast<std::uint32_t>(q[1]) << 8 |
           static_cast<std::uint32_t>(q[2]) << 16 | static_cast<std::uint32_t>(q[3]) << 24;
  };
  std::uint32_t crc = 0;
  std::size_t i = 0;
  for (; i + 8 <= n; i += 8) {
    const std::uint32_t lo = crc ^ word(p + i), hi = word(p + i + 4);
    crc = tables[7][lo & 0xFF] ^ tables[6][(lo >> 8) & 0xFF] ^ tables[5][(lo >> 16) & 0xFF] ^ tables[4][lo >> 24] ^
          tables[3][hi & 0xFF] ^ tables[2][(hi >> 8) & 0xFF] ^ tables[1][(hi >> 16) & 0xFF] ^ tables[0][hi >> 24];
  }
  for (; i < n; ++i) crc = (crc >> 8) ^ tables[0][(crc ^ p[i]) & 0xFF];
  return crc;
}

void PutEdc(std::uint8_t* at, std::uint32_t edc) {
  for (int i = 0; i < 4; ++i) at[i] = static_cast<std::uint8_t>(edc >> (8 * i));
}

const std::array<std::uint8_t, 2340>& ScramblerTable() {
  static const std::array<std::uint8_t, 2340> table = [] {
    std::array<std::uint8_t, 2340> t{};
    unsigned reg = 1;  // 15-bit shift register, x^15 + x + 1, preset 1
    for (auto& byte : t) {
      std::uint8_t v = 0;
      for (int bit = 0; bit < 8; ++bit) {
        v |= static_cast<std::uint8_t>((reg & 1u) << bit);
        const unsigned feedback = (reg ^ (reg >> 1)) & 1u;
        reg = (reg >> 1) | (feedback << 14);
      }
      byte = v;
    }
    return t;
  }();
  return table;
}

}  // namespace

SectorKind Mode2KindOf(const std::uint8_t sector[kRawSector]) {
  return (sector[18] & 0x20) ? SectorKind::Mode2Form2 : SectorKind::Mode2Form1;
}

void EncodeDataSector(std::uint8_t s[kRawSector], std::int32_t address, SectorKind kind) {
  s[0] = 0;
  std::memset(s + 1, 0xFF, 10);
  s[11] = 0;
  int m, sec, f;
  AddressToMsf(address, &m, &sec, &f);
  s[12] = ToBcd(m);
  s[13] = ToBcd(sec);
  s[14] = ToBcd(f);
  s[15] = kind == SectorKind::Mode1 ? 1 : 2;
  switch (kind) {
    case SectorKind::Mode1:
      PutEdc(s + 2064, Edc(s, 2064));
      std::memset(s + 2068, 0, 8);
      ParityP(s);
      ParityQ(s);
      break;
    case SectorKind::Mode2Form1: {
      PutEdc(s + 2072, Edc(s + 16, 2056));
      // The header takes no part in the parity of a mode 2 sector.
      std::uint8_t header[4];
      std::memcpy(header, s + 12, 4);
      std::memset(s + 12, 0, 4);
      ParityP(s);
      ParityQ(s);
      std::memcpy(s + 12, header, 4);
      break;
    }
    case SectorKind::Mode2Form2:
      PutEdc(s + 2348, Edc(s + 16, 2332));
      break;
    case SectorKind::Mode2Formless:
      break;
  }
}

void Scramble(std::uint8_t sector[kRawSector]) {
  const auto& t = ScramblerTable();
  for (std::size_t i = 0; i < t.size(); ++i) sector[12 + i] ^= t[i];
}

std::uint16_t QCrc(const std::uint8_t* q, std::size_t length) {
  std::uint16_t crc = 0;
  for (std::size_t i = 0; i < length; ++i) {
    crc ^= static_cast<std::uint16_t>(q[i] << 8);
    for (int b = 0; b < 8; ++b) {
      crc = (crc & 0x8000) ? static_cast<std::uint16_t>((crc << 1) ^ 0x1021)
                           : static_cast<std::uint16_t>(crc << 1);
    }
  }
  return static_cast<std::uint16_t>(~crc);
}

void InterleavedToChannels(const std::uint8_t in[kSubcodeSize], std::uint8_t out[kSubcodeSize]) {
  std::memset(out, 0, kSubcodeSize);
  for (int ch = 0; ch < 8; ++ch) {
    for (int i = 0; i < 96; ++i) {
      if (in[i] & (0x80 >> ch)) out[ch * 12 + i / 8] |= static_cast<std::uint8_t>(0x80 >> (i % 8));
    }
  }
}

void ChannelsToInterleaved(const std::uint8_t in[kSubcodeSize], std::uint8_t out[kSubcodeSize]) {
  std::memset(out, 0, kSubcodeSize);
  for (int ch = 0; ch < 8; ++ch) {
    for (int i = 0; i < 96; ++i) {
      if (in[ch * 12 + i / 8] & (0x80 >> (i % 8))) out[i] |= static_cast<std::uint8_t>(0x80 >> ch);
    }
  }
}

bool CdTextPackValid(const std::uint8_t pack[18]) {
  const std::uint16_t crc = QCrc(pack, 16);
  return pack[16] == (crc >> 8) && pack[17] == (crc & 0xFF);
}

std::vector<std::uint8_t> PacksFromSymbols(const std::vector<std::uint8_t>& symbols, int* bad) {
  if (bad) *bad = 0;
  std::vector<std::uint8_t> best;
  int bestBad = 0;
  // The stream may start at any of four symbol phases; take the phase that
  // yields the most valid packs.
  for (std::size_t phase = 0; phase < 4; ++phase) {
    std::vector<std::uint8_t> bytes;
    for (std::size_t i = phase; i + 4 <= symbols.size(); i += 4) {
      const unsigned v = ((symbols[i] & 0x3Fu) << 18) | ((symbols[i + 1] & 0x3Fu) << 12) |
                         ((symbols[i + 2] & 0x3Fu) << 6) | (symbols[i + 3] & 0x3Fu);
      bytes.push_back(static_cast<std::uint8_t>(v >> 16));
      bytes.push_back(static_cast<std::uint8_t>(v >> 8));
      bytes.push_back(static_cast<std::uint8_t>(v));
    }
    for (std::size_t offset = 0; offset < 18 && offset < bytes.size(); ++offset) {
      std::map<int, std::array<std::uint8_t, 18>> bySequence;
      int badHere = 0;
      for (std::size_t at = offset; at + 18 <= bytes.size(); at += 18) {
        std::array<std::uint8_t, 18> pack;
        std::memcpy(pack.data(), bytes.data() + at, 18);
        if (!CdTextPackValid(pack.data())) {
          ++badHere;
          continue;
        }
        bySequence.emplace(pack[2], pack);
      }
      if (bySequence.size() * 18 > best.size()) {
        best.clear();
        for (const auto& [seq, pack] : bySequence) best.insert(best.end(), pack.begin(), pack.end());
        bestBad = badHere;
      }
    }
  }
  if (bad) *bad = bestBad;
  return best;
}

std::vector<std::string> CdTextField(const std::vector<std::uint8_t>& packs, int packType,
                                     int lastTrack) {
  std::vector<std::string> out(static_cast<std::size_t>(std::max(lastTrack, 0)) + 1);
  int track = -1;
  std::string current;
  for (std::size_t at = 0; at + 18 <= packs.size(); at += 18) {
    const std::uint8_t* p = packs.data() + at;
    if (p[0] != packType || ((p[3] >> 4) & 7) != 0) continue;
    // A pack whose first character starts a text names that text's track.
    if (track < 0 || (p[3] & 0x0F) == 0) {
      track = p[1] & 0x7F;
      current.clear();
    }
    for (int i = 4; i < 16; ++i) {
      if (p[i] == 0) {
        if (track >= 0 && track < static_cast<int>(out.size())) {
          out[track] = (current == "\t" && track > 0) ? out[track - 1] : current;
        }
        current.clear();
        ++track;
      } else {
        current.push_back(static_cast<char>(p[i]));
      }
    }
  }
  return out;
}

}  // namespace vexa::scsi::sim
