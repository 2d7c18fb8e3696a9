// A disc image written as a track-at-once recorder lays it down: 2352-byte
// raw sectors from LBA 0 in one .bin file, with the drive's gap of 2
// run-out and 150 pre-gap sectors before every track after the first, and a
// .cue sheet that lists the tracks. The recorder completes each 2332-byte
// unit into a raw sector: sync, header, and the EDC/ECC of Form 1 sectors
// (the EDC of Form 2 sectors).
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "disclib/vcd/VCDTrackLayout.h"

namespace vexa::vcdmkimage {

class DiscWriter {
 public:
  static constexpr std::uint32_t kMaxSectors = 100 * 60 * 75;

  ~DiscWriter();
  bool Open(const std::string& binPath, std::string* error);
  // Starts a track at the next writable address (after the gap for every
  // track but the first).
  bool StartTrack();
  bool WriteUnit(const std::uint8_t* unit);
  bool FinishTrack() { return true; }
  // Closes the .bin and writes the .cue beside it.
  bool Close(const std::string& cuePath, std::string* error);
  std::uint32_t NextWritable() const { return next_; }
  std::uint32_t lba() const { return lba_; }
  const std::vector<std::uint32_t>& trackStarts() const { return trackStarts_; }

 private:
  bool WriteRaw(const std::uint8_t* raw);
  std::FILE* file_ = nullptr;
  std::string binName_;
  std::uint32_t lba_ = 0;   // next sector written
  std::uint32_t next_ = 0;  // next writable address after the last track
  std::vector<std::uint32_t> trackStarts_;
};

}  // namespace vexa::vcdmkimage
