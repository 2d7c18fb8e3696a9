// The session-at-once cue sheet built from a session layout: one 8-byte line
// per lead-in, track index and lead-out (CTL/ADR, track, index, data form,
// SCMS, minute, second, frame of the address + 150, all binary).
#pragma once

#include <string>
#include <vector>

#include "disclib/recorder/I_CDRClass.h"

namespace discpak {

struct CueSheetResult {
  std::vector<BYTE> lines;               // 8 bytes each
  std::vector<CDRLayoutEntry> entries;   // the entries as written (pauses made 150 sectors long)
  std::vector<int> forms;                // the data form of each written track-index entry
  struct Pause {
    LONG at, count, dataType;            // sectors the writer inserts into the stream
  };
  std::vector<Pause> pauses;
  std::string error;                     // why it could not be built
};

// audioForm is 0x00, or 0x40/0xC0 for audio with packed/raw R-W subcode.
// With MMCF_FORCE150GAP a pause (index 0) shorter than 150 sectors is made
// 150 sectors long: the cue sheet says so, every later address moves on,
// and the writer inserts the missing pause sectors, so the cue sheet and the
// sectors sent agree.
bool CreateSAOCueSheet(const std::vector<CDRLayoutEntry>& entries, DWORD quirks, int audioForm, bool cdText,
                       CueSheetResult* result);

}  // namespace discpak
