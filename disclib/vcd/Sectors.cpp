#include "disclib/vcd/Sectors.h"

#include <cstring>

#include "disclib/vcd/RecorderLink.h"

namespace vexa::vcd {

std::uint8_t ToBCD(int value) {
  if (value < 0 || value >= 100) return static_cast<std::uint8_t>(value);  // left binary
  return static_cast<std::uint8_t>((value / 10) << 4 | (value % 10));
}

std::array<std::uint8_t, 3> LBAToMSFBCD(std::int32_t lba) {
  std::int32_t a = lba < -150 ? lba + 450150 : lba + 150;
  return {ToBCD(a / 4500), ToBCD(a % 4500 / 75), ToBCD(a % 75)};
}

std::array<std::uint8_t, 2352> RawSector(std::int32_t lba, const Unit& unit) {
  std::array<std::uint8_t, 2352> raw{};
  std::memset(raw.data() + 1, 0xFF, 10);
  const auto msf = LBAToMSFBCD(lba);
  raw[12] = msf[0];
  raw[13] = msf[1];
  raw[14] = msf[2];
  raw[15] = 2;
  std::memcpy(raw.data() + 16, unit.data(), unit.size());
  return raw;
}

void MakeForm1Unit(std::int32_t lba, const Subheader& subheader, const std::uint8_t* data, Unit* unit) {
  std::array<std::uint8_t, 2352> raw{};
  std::memset(raw.data() + 1, 0xFF, 10);
  const auto msf = LBAToMSFBCD(lba);
  raw[12] = msf[0];
  raw[13] = msf[1];
  raw[14] = msf[2];
  raw[15] = 2;
  std::memcpy(raw.data() + 16, subheader.data(), 4);
  std::memcpy(raw.data() + 20, subheader.data(), 4);
  if (data) std::memcpy(raw.data() + 24, data, 2048);
  CalcEDC(raw.data(), nullptr, 2);
  CalcECC_P(2, raw.data());
  CalcECC_Q(2, raw.data());
  // The unit is the raw sector after sync and header, cut at 2332 bytes.
  std::memcpy(unit->data(), raw.data() + 16, unit->size());
}

void MakeForm2Unit(const Subheader& subheader, const std::uint8_t* data, Unit* unit) {
  std::memcpy(unit->data(), subheader.data(), 4);
  std::memcpy(unit->data() + 4, subheader.data(), 4);
  if (data) {
    std::memcpy(unit->data() + 8, data, kVCDForm2DataBytes);
  } else {
    std::memset(unit->data() + 8, 0, kVCDForm2DataBytes);
  }
}

}  // namespace vexa::vcd
