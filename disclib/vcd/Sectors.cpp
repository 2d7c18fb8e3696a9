#include "disclib/vcd/Sectors.h"

#include <cstring>


namespace vexa::vcd {

void MakeForm1Unit(const Subheader& subheader, const std::uint8_t* data, Unit* unit) {
  std::memcpy(unit->data(), subheader.data(), 4);
  std::memcpy(unit->data() + 4, subheader.data(), 4);
  if (data) {
    std::memcpy(unit->data() + 8, data, 2048);
  } else {
    std::memset(unit->data() + 8, 0, 2048);
  }
  // The recorder makes the EDC and the parity of the sector it writes.
  std::memset(unit->data() + 8 + 2048, 0, kVCDUnitBytes - 8 - 2048);
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
