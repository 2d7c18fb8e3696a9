// Where the tracks of a Video CD lie, by the one rule that the image layout
// (which records the tracks in AVSEQnn.DAT and ENTRIES.VCD) and the burn
// worker (which writes them) both follow.
//
// Track 1 (the data track) holds sectors 0 .. track1Sectors - 1. A track
// written by track-at-once is followed by the gap the drive leaves (2
// run-out sectors and a 150-sector pre-gap) before the next one starts.
// Each MPEG track is: 32 empty sectors, the file in 2324-byte pieces (the
// last zero-filled), 16 empty sectors, then empty sectors until the track
// holds at least 300. AVSEQnn.DAT covers the whole track. VCDWriteMpegTrack
// (VCDTrackWriter.h) writes exactly these sectors.
#pragma once

#include <algorithm>
#include <cstdint>

inline constexpr std::uint32_t kVCDUnitBytes = 2332;       // subheader + 2324 bytes
inline constexpr std::uint32_t kVCDForm2DataBytes = 2324;
inline constexpr std::uint32_t kVCDTrackGapSectors = 152;  // run-out 2 + pre-gap 150
inline constexpr std::uint32_t kVCDTrackFrontSectors = 32;
inline constexpr std::uint32_t kVCDTrackRearSectors = 16;
inline constexpr std::uint32_t kVCDMinTrackSectors = 300;

struct VCDMpegTrackSectors {
  std::uint32_t front;  // empty sectors before the data
  std::uint32_t data;   // pieces of the file
  std::uint32_t rear;   // empty sectors after the data, including the padding to 300
  std::uint32_t total;
};

// The sectors of an MPEG track made from a file of fileSize bytes.
inline VCDMpegTrackSectors VCDMpegTrack(std::uint64_t fileSize) {
  VCDMpegTrackSectors t{};
  t.front = kVCDTrackFrontSectors;
  t.data = static_cast<std::uint32_t>((fileSize + kVCDForm2DataBytes - 1) / kVCDForm2DataBytes);
  t.total = std::max(t.front + t.data + kVCDTrackRearSectors, kVCDMinTrackSectors);
  t.rear = t.total - t.front - t.data;
  return t;
}

// The first sector of the track that follows one of `sectors` sectors at `start`.
inline std::uint32_t VCDNextTrackStart(std::uint32_t start, std::uint32_t sectors) {
  return start + sectors + kVCDTrackGapSectors;
}
