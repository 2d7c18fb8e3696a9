// Entry points that discpakm2 exports to its callers (the library objects
// handed out by name, and what the tools and the engine link against).
#pragma once

#include "platform/base/Export.h"

#define DISCPAK_API VEXA_EXPORT
