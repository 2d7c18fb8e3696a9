// What the Video CD library uses of the recorder layer: the command log, the
// getters of the "CDR4COMS" and "CDR4BASE" library objects, and the sector
// EDC and ECC of ECMA-130.
#pragma once

#include <cstdint>

extern "C" {
void* CDR4COMS_Get();
void CDR4COMS_Release(void* table);
void* CDR4BASE_Get();
void CDR4BASE_Release(void* table);
void COMS_Log(const char* text);
}

// Fills the EDC (and, for form 1, the P and Q parity) of a 2352-byte raw
// Mode 2 sector: form 2 means Mode 2 Form 1 (EDC over 16-2071 at 2072,
// parity from byte 12 with the header counted as zero), form 3 Mode 2
// Form 2 (EDC over 16-2347 at 2348).
std::uint32_t CalcEDC(std::uint8_t* sector, const std::uint32_t* table, int form);
void CalcECC_P(int form, std::uint8_t* sector);
void CalcECC_Q(int form, std::uint8_t* sector);
