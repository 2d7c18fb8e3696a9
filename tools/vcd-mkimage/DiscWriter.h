// A disc burnt track-at-once onto a simulated recorder through the disc
// library's "CDR4COMS" and "CDR4BASE" objects, as the engine's burn worker
// burns one: each track started at the drive's next writable address (the
// drive leaves 2 run-out and 150 pre-gap sectors between tracks), written in
// 2332-byte units that the drive completes into raw Mode 2 sectors, finished,
// and the session closed as CD-ROM XA. The recorder keeps its disc in a work
// folder beside the image; Close moves the image there to OUT.bin and its
// cue sheet to OUT.cue.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "disclib/recorder/CDR4BASE.h"
#include "disclib/recorder/CDR4COMS.h"
#include "disclib/vcd/VCDTrackLayout.h"

namespace vexa::vcdmkimage {

class DiscWriter {
 public:
  DiscWriter() = default;
  ~DiscWriter();
  DiscWriter(const DiscWriter&) = delete;
  DiscWriter& operator=(const DiscWriter&) = delete;

  // Sets up a simulated recorder with a blank CD-R in a work folder beside
  // binPath and opens its drive.
  bool Open(const std::string& binPath, std::string* error);
  // Starts a track at the drive's next writable address; subheader8 is the
  // Form 2 subheader of the track's file, null for the image track.
  bool StartTrack(const std::uint8_t* subheader8, std::string* error);
  bool WriteUnit(const std::uint8_t* unit, std::string* error);
  bool FinishTrack(std::string* error);
  // Closes the session, moves the image to binPath and writes cuePath.
  bool Close(const std::string& cuePath, std::string* error);
  // The drive's next writable address, or -1 when it cannot tell.
  std::int32_t NextWritable();
  // The address the next unit goes to.
  std::int32_t lba() const { return lba_; }
  const std::vector<std::int32_t>& trackStarts() const { return trackStarts_; }

 private:
  static constexpr int kBlockUnits = 16;
  bool Flush(std::string* error);
  // The drive's last error, or `what` when it has none.
  std::string DriveError(const char* what);
  void Release();

  std::string binPath_;
  std::string folder_;
  CDR4COMS* coms_ = nullptr;
  CDR4BASE* base_ = nullptr;
  I_CDRClass* drive_ = nullptr;
  std::vector<std::uint8_t> block_ = std::vector<std::uint8_t>(kBlockUnits * kVCDUnitBytes);
  int blockUnits_ = 0;
  std::int32_t lba_ = 0;
  std::vector<std::int32_t> trackStarts_;
};

}  // namespace vexa::vcdmkimage
