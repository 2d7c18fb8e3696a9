// The one writer of a Video CD's MPEG tracks, used by the engine's burn
// worker and by vcd-mkimage: the units it writes are exactly the sectors
// that VCDMpegTrack (VCDTrackLayout.h) plans for the file, so the extent of
// AVSEQnn.DAT, the ENTRIES.VCD entry and the burned track agree.
//
// The track: 32 empty sectors, the file in 2324-byte pieces (the last one
// zero-filled), 16 empty sectors, then empty sectors up to 300 in all. Each
// piece carries the Form 2 subheader of what it holds (a video or an audio
// packet, or anything else); the empty sectors are plain Form 2. The last
// sector of the track, which is the last of AVSEQnn.DAT, has the end-of-file
// bit.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "disclib/vcd/VCDTrackLayout.h"

// Form 2 subheaders (file, channel, submode, coding, twice) of the sectors
// of an MPEG track.
inline constexpr std::uint8_t kVCDVideoSubheader[8] = {1, 1, 0x62, 0x0F, 1, 1, 0x62, 0x0F};
inline constexpr std::uint8_t kVCDAudioSubheader[8] = {1, 1, 0x64, 0x7F, 1, 1, 0x64, 0x7F};
inline constexpr std::uint8_t kVCDNullPacketSubheader[8] = {1, 0, 0x60, 0x00, 1, 0, 0x60, 0x00};
// Gap and padding sectors outside any stream: plain Form 2.
inline constexpr std::uint8_t kVCDEmptySubheader[8] = {0, 0, 0x20, 0x00, 0, 0, 0x20, 0x00};
// The submode bit that ends a file.
inline constexpr std::uint8_t kVCDSubmodeEndOfFile = 0x80;

// The subheader of a 2324-byte piece of a Video CD system stream: the
// stream identifier of the first packet after the 12-byte pack header. A
// pack that opens with a system header goes by the packet after it, or,
// when that is padding, by the first stream the system header names (the
// first packs of a stream announce its video and its audio stream so).
inline const std::uint8_t* VCDPieceSubheader(const std::uint8_t* piece) {
  auto byId = [](std::uint8_t id) -> const std::uint8_t* {
    if (id >= 0xE0 && id <= 0xEF) return kVCDVideoSubheader;
    if (id >= 0xC0 && id <= 0xDF) return kVCDAudioSubheader;
    return nullptr;
  };
  if (piece[0] == 0 && piece[1] == 0 && piece[2] == 1 && piece[3] == 0xBA && piece[12] == 0 && piece[13] == 0 &&
      piece[14] == 1) {
    const std::uint8_t id = piece[15];
    if (const std::uint8_t* s = byId(id)) return s;
    if (id == 0xBB) {
      const std::size_t length = static_cast<std::size_t>(piece[16] << 8 | piece[17]);
      const std::size_t next = 18 + length;
      if (next + 4 <= kVCDForm2DataBytes && piece[next] == 0 && piece[next + 1] == 0 && piece[next + 2] == 1) {
        if (const std::uint8_t* s = byId(piece[next + 3])) return s;
      }
      // The system header's stream entries follow its six fixed bytes.
      if (length >= 9 && next <= kVCDForm2DataBytes) {
        if (const std::uint8_t* s = byId(piece[24])) return s;
      }
    }
  }
  return kVCDNullPacketSubheader;
}

struct VCDTrackWriteResult {
  bool ok = false;
  std::uint32_t units = 0;  // units handed to the sink
  std::string error;        // why it stopped early ("" when ok or stopped)
  bool stopped = false;     // stop() ended it
};

// Writes the MPEG track of the file at `path`. `put(units, count)` takes up
// to 16 consecutive 2332-byte units and answers whether they were written;
// `stop()` is asked before each block and ends the track early when true.
// The file must keep the size it has when the track starts.
template <class Put, class Stop>
VCDTrackWriteResult VCDWriteMpegTrack(const std::string& path, Put&& put, Stop&& stop) {
  VCDTrackWriteResult r;
  std::FILE* in = std::fopen(path.c_str(), "rb");
  if (!in) {
    r.error = "cannot open track " + path;
    return r;
  }
  struct Closer {
    std::FILE* f;
    ~Closer() { std::fclose(f); }
  } closer{in};
  std::uint64_t size = 0;
  if (std::fseek(in, 0, SEEK_END) != 0 || std::ftell(in) < 0) {
    r.error = "cannot measure track " + path;
    return r;
  }
  size = static_cast<std::uint64_t>(std::ftell(in));
  std::rewind(in);
  const VCDMpegTrackSectors plan = VCDMpegTrack(size);

  constexpr std::uint32_t kBlock = 16;
  std::vector<std::uint8_t> block(static_cast<std::size_t>(kBlock) * kVCDUnitBytes);
  std::uint32_t inBlock = 0;
  std::uint32_t index = 0;  // unit index within the track
  std::uint64_t left = size;
  auto flush = [&]() -> bool {
    if (inBlock == 0) return true;
    if (stop()) {
      r.stopped = true;
      return false;
    }
    if (!put(static_cast<const std::uint8_t*>(block.data()), static_cast<int>(inBlock))) {
      r.error = "the recorder refused a write";
      return false;
    }
    r.units += inBlock;
    inBlock = 0;
    return true;
  };
  while (index < plan.total) {
    std::uint8_t* unit = block.data() + static_cast<std::size_t>(inBlock) * kVCDUnitBytes;
    std::uint8_t* data = unit + 8;
    const bool isData = index >= plan.front && index < plan.front + plan.data;
    if (isData) {
      const std::size_t want = static_cast<std::size_t>(left < kVCDForm2DataBytes ? left : kVCDForm2DataBytes);
      if (std::fread(data, 1, want, in) != want) {
        r.error = "track " + path + " became shorter than it was";
        return r;
      }
      left -= want;
      std::memset(data + want, 0, kVCDForm2DataBytes - want);
      std::memcpy(unit, VCDPieceSubheader(data), 8);
    } else {
      std::memcpy(unit, kVCDEmptySubheader, 8);
      std::memset(data, 0, kVCDForm2DataBytes);
    }
    if (index + 1 == plan.total) {
      unit[2] |= kVCDSubmodeEndOfFile;
      unit[6] |= kVCDSubmodeEndOfFile;
    }
    ++index;
    if (++inBlock == kBlock && !flush()) return r;
  }
  if (!flush()) return r;
  r.ok = true;
  return r;
}
