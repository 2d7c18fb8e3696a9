#include "disclib/vcd/ISOFormatFactory.h"

namespace vexa::vcd {
// The image layout is not part of this library yet: no object is made.
I_VCDClassISOFormat* NewISOFormat() { return nullptr; }
void DeleteISOFormat(I_VCDClassISOFormat*) {}
}  // namespace vexa::vcd
