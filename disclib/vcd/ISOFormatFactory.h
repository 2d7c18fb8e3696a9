// Construction of the ISO-format object (the image layout) for the "DISCPAK"
// table.
#pragma once

#include "disclib/vcd/VCDClasses.h"

namespace vexa::vcd {
I_VCDClassISOFormat* NewISOFormat();
void DeleteISOFormat(I_VCDClassISOFormat* object);
}  // namespace vexa::vcd
