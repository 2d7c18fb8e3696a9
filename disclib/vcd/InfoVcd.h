// VCD11InfoVCD: the two one-sector system files of a Video CD, INFO.VCD and
// ENTRIES.VCD. Multi-byte numbers are big-endian; addresses are minutes,
// seconds and frames in binary-coded decimal, 150 sectors after the LBA.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace vexa::vcd {

using SectorData = std::array<std::uint8_t, 2048>;

struct VCD11InfoVCD {
  // Version 2 (profile 0, list offsets in units of 8) when the disc has
  // segment play items or play-sequence lists; else version 1, profile 1.
  bool videoCd20 = false;
  std::string albumId;                    // up to 16 characters, space-padded
  std::vector<bool> palTracks;            // per MPEG track in order
  std::uint32_t psdSize = 0;
  std::int32_t firstSegmentLba = -1;      // -1: no segments
  std::uint16_t maxListId = 0;
  std::vector<std::uint8_t> itemContent;  // content byte of play item 1, 2, ...
  struct Entry {
    int trackNumber;  // disc track number (2 for the first MPEG track)
    std::int32_t lba;
  };
  std::vector<Entry> entries;

  SectorData InfoSector() const;
  SectorData EntriesSector() const;
};

}  // namespace vexa::vcd
