// What vexa_imaging, the picture layer, exports: the calls and classes of
// its public headers.
#pragma once

#include "platform/base/Export.h"

#define VEXA_IMAGING_API VEXA_EXPORT
