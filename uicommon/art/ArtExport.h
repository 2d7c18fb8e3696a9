// Entry points of VEXAThumArt. The library is built with hidden visibility;
// what its callers use is marked with this macro.
#pragma once

#include "platform/base/Export.h"

#define VEXATHUMART_API VEXA_EXPORT
