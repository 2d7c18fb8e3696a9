// An ECMA-130 checker for Mode 2 Form 1 sectors, written apart from the
// encoder: the EDC by a bitwise CRC, the P and Q codewords by their
// syndromes over GF(2^8) with log and antilog tables.
#pragma once

#include <cstdint>

namespace vexa::vcd::testing {

// The EDC over bytes 16-2071 of a raw sector matches bytes 2072-2075.
bool Form1EdcOk(const std::uint8_t* raw);
// Every P column (and, with q, every Q diagonal) of the raw sector has zero
// syndromes, the header counted as zero.
bool Form1ParityOk(const std::uint8_t* raw, bool q);

}  // namespace vexa::vcd::testing
