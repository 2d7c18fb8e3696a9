#include "disclib/vcd/ISOFormatFactory.h"

#include <new>

#include "disclib/vcd/ISOFormat.h"

namespace vexa::vcd {
I_VCDClassISOFormat* NewISOFormat() { return new (std::nothrow) VCDClassISOFormat; }
void DeleteISOFormat(I_VCDClassISOFormat* object) { delete object; }
}  // namespace vexa::vcd
