#include "disclib/vcd/Sectors.h"

#include <cstring>

#include "disclib/recorder/CdrUtil.h"
#include "disclib/recorder/EdcEcc.h"

namespace vexa::vcd {

std::array<std::uint8_t, 2352> RawSector(std::int32_t lba, const Unit& unit) {
  std::array<std::uint8_t, 2352> raw{};
  std::memset(raw.data() + 1, 0xFF, 10);
  LBAToMSFBCD(lba, raw.data() + 12);
  raw[15] = 2;
  std::memcpy(raw.data() + 16, unit.data(), unit.size());
  return raw;
}

void MakeForm1Unit(std::int32_t lba, const Subheader& subheader, const std::uint8_t* data, Unit* unit) {
  std::array<std::uint8_t, 2352> raw{};
  std::memset(raw.data() + 1, 0xFF, 10);
  LBAToMSFBCD(lba, raw.data() + 12);
  raw[15] = 2;
  std::memcpy(raw.data() + 16, subheader.data(), 4);
  std::memcpy(raw.data() + 20, subheader.data(), 4);
  if (data) std::memcpy(raw.data() + 24, data, 2048);
  CalcEDC(raw.data(), nullptr, CDFORM_MODE2_FORM1);
  CalcECC_P(CDFORM_MODE2_FORM1, raw.data());
  CalcECC_Q(CDFORM_MODE2_FORM1, raw.data());
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
