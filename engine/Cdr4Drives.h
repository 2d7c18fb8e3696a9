// The engine's drive access over the recorder layer's "CDR4BASE" (drives)
// and "CDR4COMS" (transport and command log) library objects.
#pragma once

#include <memory>

#include "engine/DriveAccess.h"

namespace vexa::engine {

// Null when the tables cannot be used.
std::unique_ptr<DriveAccess> MakeCdr4DriveAccess(void* cdr4base, void* cdr4coms);

}  // namespace vexa::engine
