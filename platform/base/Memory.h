// Process-wide settings of the memory allocator, for the programs that make
// discs.
#pragma once

#include "platform/base/Export.h"

namespace vexa::base {

// A disc is made by many short-lived worker threads (the photos' copies,
// the menus, the print copies). The C library would give most of them an
// allocation arena of their own, and each arena keeps the large pictures
// freed in it for reuse, so the peak memory grew with the threads rather
// than with the work. A few shared arenas keep it near what the work holds.
// Call once, early in main.
VEXA_BASE_API void LimitAllocatorArenas();

}  // namespace vexa::base
