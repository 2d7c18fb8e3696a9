// A request to stop the program: SIGTERM, SIGINT or SIGHUP. The handler only
// records the signal and wakes a watcher thread; the program notices the
// request where it looks for a cancel (StopSignal), unwinds through its
// normal cleanup (which removes its temporary folders and releases the
// drive) and ends with 128 + N.
//
// Where the program cannot unwind in time (a thread blocked in a call that
// cannot be interrupted), the watcher ends it after a grace period: it
// removes the temporary folders this process made with MakeOwnedTempDir and
// exits with 128 + N. A second stop signal cuts the grace period short.
#pragma once

#include <chrono>

#include "platform/base/Export.h"

namespace vexa::base {

// The grace period programs give themselves by default: less than the ten
// seconds the installer waits before it kills a program outright.
inline constexpr std::chrono::seconds kStopGrace{8};

// Installs the handlers and starts the watcher. Call once, early in main.
// The environment variable VEXA_STOP_GRACE_SECONDS (a whole number of
// seconds, 1 to 3600) replaces the grace period given: a machine too busy to
// unwind in eight seconds, or a test of the unwinding itself, can wait
// longer.
VEXA_BASE_API void InstallStopHandlers(std::chrono::milliseconds grace = kStopGrace);

// The signal that asked to stop, 0 when none did.
VEXA_BASE_API int StopSignal();

// The exit status of a program ended by signal sig.
constexpr int StopExitStatus(int sig) { return 128 + sig; }

}  // namespace vexa::base
