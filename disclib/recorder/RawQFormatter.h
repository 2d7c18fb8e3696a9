// The subcode of a raw recording, built on the host: the lead-in's table of
// contents as Q entries (A0, A1, A2, then one per track, each repeated on
// three consecutive sectors), the Q of every program sector from the
// session layout, the lead-out's Q, and in the lead-in's R-W channels the
// CD-TEXT packs as a stream of 6-bit symbols.
//
// The R-W channels carry the packs as plain symbols, three pack bytes to
// four symbols, continuing from sector to sector: the same form the
// session-at-once lead-in sends. They are not interleaved and carry no R-W
// parity, which is how the simulated recorder reads them back; a drive that
// records block type 3 without interleaving them itself would want them
// interleaved with parity.
#pragma once

#include <array>
#include <vector>

#include "disclib/recorder/I_CDRClass.h"

namespace discpak {

class RawQFormatter {
 public:
  // entries: the layout (at most 10000 entries); leadInStart: the disc's
  // lead-in start; format: the session format (disc type of A0);
  // cdText: the 8196-byte CD-TEXT record, or null.
  bool Build(const std::vector<CDRLayoutEntry>& entries, LONG leadInStart, int format, const BYTE* cdText);

  // The 12 Q bytes (CRC in 10-11) and P of an address.
  void Q(LONG address, BYTE q[12], bool* p) const;
  // The 96 subcode bytes of block type 3: bit 7 P, bit 6 the Q bits, and in
  // the lead-in bits 5-0 the CD-TEXT stream.
  void Subcode96(LONG address, BYTE out[96]) const;

  LONG LeadInStart() const { return leadInStart_; }
  LONG LeadOut() const { return leadOut_; }
  std::size_t TocEntries() const { return toc_.size(); }
  std::size_t CdTextSymbols() const { return cdText_.size(); }

 private:
  struct Index {
    int ctlAdr, track, index;
    LONG start;
  };
  LONG leadInStart_ = -11634;
  LONG leadOut_ = 0;
  int firstTrack_ = 0, lastTrack_ = 0;
  int lastCtlAdr_ = 0x01;
  std::vector<std::array<BYTE, 12>> toc_;  // lead-in Q entries without running time and CRC
  std::vector<Index> program_;
  std::vector<BYTE> cdText_;               // 6-bit symbols
};

}  // namespace discpak
