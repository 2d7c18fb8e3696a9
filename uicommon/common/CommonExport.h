// Entry points of VEXAThumCommon. The library is built with hidden
// visibility; what its callers use is marked with this macro.
#pragma once

#include "platform/base/Export.h"

#define VEXATHUMCOMMON_API VEXA_EXPORT
