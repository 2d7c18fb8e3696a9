// The 2332-byte units of the image stream: a Mode 2 sector without its sync
// and header. Form 1 units carry 2048 data bytes, Form 2 units 2324. The
// units go to a recorder as track-at-once blocks of 2332 bytes (data block
// type 13), for which the drive makes the sync, the header, the EDC and the
// ECC parity itself: the stream leaves the EDC and parity bytes zero, so that
// no sector's error codes are computed twice.
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

// A Form 1 unit of 2048 data bytes (null: zeros).
void MakeForm1Unit(const Subheader& subheader, const std::uint8_t* data, Unit* unit);
// A Form 2 unit of 2324 data bytes (null: zeros).
void MakeForm2Unit(const Subheader& subheader, const std::uint8_t* data, Unit* unit);

}  // namespace vexa::vcd
