// Copies a system stream pack by pack into an output that already holds
// earlier streams, moving its clocks so that the output's system clock and
// time stamps continue from where the previous stream left them.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>

namespace vidlathe {

struct CarriedClocks {
  int64_t systemClock = 0;  // the SCR the next pack may take
  int64_t presentation = 0; // the earliest time the next stream may present at
  long endCodeOffset = -1;  // where the last copied stream's end code was zeroed
};

enum class CopyResult { kOk, kCancelled, kReadError, kWriteError };

// Gives the position reached (bytes of the input file); false cancels.
using CopyProgress = std::function<bool(uint64_t position, uint64_t total)>;

// Copies every pack of the MPEG-1 system stream at path (plain or CDXA) to
// out, up to an end code or the end of the file. An end code is written as
// four zero bytes (packs keep their size) and its offset is kept in
// clocks->endCodeOffset, so that the caller can restore the last one.
// Every SCR moves by one offset and every PTS and DTS by another: the clock
// by at least what keeps it rising, the stamps by at least what keeps them
// after the previous stream's end. The two differ only by as much as the
// input's own schedule had to spare (each unit arrived that long before its
// decoding time), so every unit still arrives in time, never earlier than
// it did in the input, and no time stamp lies before the clock.
// On return clocks hold the SCR after the last pack and the end of the last
// presentation.
CopyResult CopyUnchanged(const std::string& path, std::FILE* out, CarriedClocks* clocks,
                         const CopyProgress& progress);

}  // namespace vidlathe
