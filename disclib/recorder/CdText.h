// CD-TEXT packs as a recording's lead-in carries them and READ TOC format 5
// returns them: 18-byte packs (type, track, sequence, block and character
// position, 12 bytes of text, CRC), one block in English with ISO 8859-1
// text, titles (0x80) and performers (0x81) of the disc and its tracks, and
// the three size-information packs (0x8F) that close the block.
#pragma once

#include <string>
#include <vector>

#include "platform/base/WinTypes.h"

// Texts are indexed by track: [0] is the disc's, [n] the track's, for the
// tracks firstTrack..lastTrack. Missing performers are left empty. The
// result is the 8196-byte CD-TEXT record of the drive interface, as
// ReadCDText returns it: the 16-bit length in host order (the packs plus 2),
// two reserved bytes, then the packs; empty when the packs would not fit.
std::vector<BYTE> BuildCdTextRecord(const std::vector<std::string>& titles,
                                                const std::vector<std::string>& performers, int firstTrack,
                                                int lastTrack);

// The pack CRC: CRC-16 (x^16 + x^12 + x^5 + 1, preset 0) of bytes 0-15,
// inverted, big-endian in bytes 16-17.
void SetCdTextPackCrc(BYTE pack[18]);
