// The error-detection and error-correction codes of CD data sectors
// (ECMA-130 Annex A and B), computed by the host when it builds whole
// sectors: the raw writer and the Video CD image stream.
//
// `sector` is always a whole 2352-byte sector: sync, 4-byte header from byte
// 12, then the data of the sector's mode.
#pragma once

#include "disclib/DiscpakExport.h"
#include "platform/base/WinTypes.h"

// The form argument of the three functions.
enum : int {
  CDFORM_MODE1 = 1,        // EDC over 0-2063 at 2064; P and Q over the header and data
  CDFORM_MODE2_FORM1 = 2,  // EDC over 16-2071 at 2072; P and Q with the header as zeros
  CDFORM_MODE2_FORM2 = 3,  // EDC over 16-2347 at 2348; no parity
};

extern "C" {

// The 256-entry table of the EDC (CRC-32 with the polynomial
// (x^16 + x^15 + x^2 + 1)(x^16 + x^2 + x + 1), least significant bit first).
DISCPAK_API const DWORD* EDCTable();

// Computes the EDC of the form's range, stores it little-endian at its
// place and returns it. A null table means EDCTable(). Another form value
// changes nothing and returns 0.
DISCPAK_API DWORD CalcEDC(BYTE* sector, const DWORD* table, int form);

// The P parity (86 columns of 24 bytes plus 2, stored at 2076-2247) and the
// Q parity (52 diagonals of 43 bytes plus 2, stored at 2248-2351) of the
// Reed-Solomon product code over GF(2^8) with x^8 + x^4 + x^3 + x^2 + 1, on
// the bytes from 12. P comes before Q: Q covers the P parity. For mode 2
// form 1 the header counts as zero and is put back afterwards; form 2 has no
// parity and is left as it is.
DISCPAK_API void CalcECC_P(int form, BYTE* sector);
DISCPAK_API void CalcECC_Q(int form, BYTE* sector);

}  // extern "C"
