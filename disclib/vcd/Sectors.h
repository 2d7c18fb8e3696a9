// The 2332-byte units of the image stream: a Mode 2 sector without its sync
// and header. Form 1 units carry 2048 data bytes, the EDC and the ECC
// parity computed on the whole raw sector (cut at 2324 bytes); Form 2 units
// carry 2324 data bytes.
#pragma once

#include <array>
#include <cstdint>

#include "disclib/vcd/VCDTrackLayout.h"

namespace vexa::vcd {

using Unit = std::array<std::uint8_t, kVCDUnitBytes>;
using Subheader = std::array<std::uint8_t, 4>;

// Subheaders (file, channel, submode, coding).
inline constexpr Subheader kDataSubheader = {1, 1, 0x08, 0x00};
// Submode bits: the last sector of a record, of a file.
inline constexpr std::uint8_t kSubmodeEndOfRecord = 0x01;
inline constexpr std::uint8_t kSubmodeEndOfFile = 0x80;
// Empty Form 2 sectors that pad a segment: real-time, Form 2 like the
// sectors they pad.
inline constexpr Subheader kSegmentPadSubheader = {1, 0, 0x60, 0x00};

// The raw 2352-byte Mode 2 sector of a unit at this address (sync, header
// and mode byte 2, then the unit).
std::array<std::uint8_t, 2352> RawSector(std::int32_t lba, const Unit& unit);

// A Form 1 unit of 2048 data bytes (null: zeros) at this address.
void MakeForm1Unit(std::int32_t lba, const Subheader& subheader, const std::uint8_t* data, Unit* unit);
// A Form 2 unit of 2324 data bytes (null: zeros).
void MakeForm2Unit(const Subheader& subheader, const std::uint8_t* data, Unit* unit);

}  // namespace vexa::vcd
