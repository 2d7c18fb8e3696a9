// Pieces shared by the two source files of the simulated drive (SimDrive.h).
#pragma once

#include <cstdint>

namespace vexa::scsi::sim {

inline std::uint16_t Get16(const std::uint8_t* p) { return static_cast<std::uint16_t>((p[0] << 8) | p[1]); }
inline std::uint32_t Get32(const std::uint8_t* p) {
  return (static_cast<std::uint32_t>(p[0]) << 24) | (p[1] << 16) | (p[2] << 8) | p[3];
}
inline void Put16(std::uint8_t* p, std::uint16_t v) {
  p[0] = static_cast<std::uint8_t>(v >> 8);
  p[1] = static_cast<std::uint8_t>(v);
}
inline void Put32(std::uint8_t* p, std::uint32_t v) {
  p[0] = static_cast<std::uint8_t>(v >> 24);
  p[1] = static_cast<std::uint8_t>(v >> 16);
  p[2] = static_cast<std::uint8_t>(v >> 8);
  p[3] = static_cast<std::uint8_t>(v);
}

// The address and block count a reading or writing command covers (-1 and
// 0 for other commands), for faults bound to an address.
inline void CommandRange(const std::uint8_t* cdb, std::int64_t* lba, std::int64_t* count) {
  *lba = -1;
  *count = 0;
  switch (cdb[0]) {
    case 0x28:
    case 0x2A:
      *lba = static_cast<std::int32_t>(Get32(cdb + 2));
      *count = Get16(cdb + 7);
      break;
    case 0xA8:
    case 0xAA:
    case 0xD8:
      *lba = static_cast<std::int32_t>(Get32(cdb + 2));
      *count = Get32(cdb + 6);
      break;
    case 0xBE:
      *lba = static_cast<std::int32_t>(Get32(cdb + 2));
      *count = (cdb[6] << 16) | (cdb[7] << 8) | cdb[8];
      break;
    default:
      break;
  }
}

// Speeds: x (multiples of 176.4 kB/s) and kB/s.
int KBsOf(int x);
int XOf(int kbs);

}  // namespace vexa::scsi::sim
