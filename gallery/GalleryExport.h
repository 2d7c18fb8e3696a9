// Entry points of VEXAThumGallery (built with hidden visibility).
#pragma once

#include "platform/base/Export.h"

#define VEXATHUMGALLERY_API VEXA_EXPORT
