// The class behind VEXAImgUtil (not a public header: creators use
// idl/VEXAImg.h and class creation).
#pragma once

#include "idl/VEXAImg.h"

namespace vexa::imgutil {

// Creates a VEXAImgUtil object answering iid.
HRESULT CreateVEXAImgUtil(REFIID iid, void** ppv);

}  // namespace vexa::imgutil
