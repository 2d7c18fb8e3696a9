// Entry points of the two shared UI libraries. Both are built with hidden
// visibility; what their callers use is marked with the library's macro.
#pragma once

#include "platform/base/Export.h"

#define VEXATHUMCOMMON_API VEXA_EXPORT
#define VEXATHUMART_API VEXA_EXPORT
