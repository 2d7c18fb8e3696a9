// Whole data sectors built on the host: sync, header (BCD address and mode)
// and the EDC/ECC of the track type, as the raw writer and the
// session-at-once writer send them.
#pragma once

#include "platform/base/WinTypes.h"

namespace discpak {

// sector: 2352 bytes with the user data (and, for mode 2, the subheader)
// already in place. type: CDR_TRACK_MODE1, _MODE2 (formless),
// _MODE2_FORM1 or _MODE2_FORM2.
void CompleteDataSector(BYTE* sector, LONG address, LONG type);

// An empty sector of a track type at an address (silence for audio).
void EmptySector(BYTE* sector, LONG address, LONG type);

}  // namespace discpak
