// The class behind IVEXAPC (not a public header: creators use idl/VEXAPC.h
// and class creation).
#pragma once

#include "idl/VEXAPC.h"

namespace vexa::pcpages {

// Creates an IVEXAPC object answering iid.
HRESULT CreateIVEXAPC(REFIID iid, void** ppv);

// Fits a width x height picture into a boxWidth x boxHeight box: only ever
// shrunk, the width first, shape kept by integer arithmetic (in 64 bits, so
// no size overflows); a side below 1 becomes 1.
void FitSize(LONG boxWidth, LONG boxHeight, LONG* width, LONG* height);

}  // namespace vexa::pcpages
