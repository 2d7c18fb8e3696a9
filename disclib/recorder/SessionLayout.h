// A session layout built from a list of tracks, for callers of StartSAO that
// know their tracks' types and lengths: track 1 starts with the 150-sector
// pause before address 0; each later track has the pause it asks for; extra
// indexes lie at offsets into their track; the lead-out follows the last.
#pragma once

#include <vector>

#include "disclib/recorder/I_CDRClass.h"

namespace discpak {

class SessionLayout : public I_CDRSessionLayout {
 public:
  struct Track {
    LONG dataType = CDR_TRACK_AUDIO;
    LONG pause = 0;                // sectors of index 0 before the track (track 1: always 150)
    LONG length = 0;               // sectors from index 1
    std::vector<LONG> indexes;     // offsets of index 2, 3, ... from index 1
  };

  SessionLayout(const std::vector<Track>& tracks, LONG format, LONG leaveOpen = 0);

  const CDRLayoutEntry* GetEntry(LONG index) override;
  LONG LeaveOpen() override { return leaveOpen_; }
  LONG SessionFormat() override { return format_; }
  void GetCDText(BYTE* record) override;

  // The CD-TEXT record to hand out (8196 bytes as ReadCDText gives one).
  void SetCDText(const std::vector<BYTE>& record) { cdText_ = record; }
  const std::vector<CDRLayoutEntry>& Entries() const { return entries_; }
  // The address of every track's index 1, and the lead-out.
  LONG TrackStart(int track) const;
  LONG LeadOut() const { return entries_.back().start; }

 private:
  std::vector<CDRLayoutEntry> entries_;
  LONG format_, leaveOpen_;
  std::vector<BYTE> cdText_;
};

}  // namespace discpak
