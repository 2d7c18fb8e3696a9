// Whether a window system can be reached now, asked without opening a
// window: Qt ends the process when the display it is given does not answer,
// so a program asks first and uses the terminal (or says why) instead.
#pragma once

#include <string>

namespace vexa::display {

// True when DISPLAY names an X server that accepts a connection, or
// WAYLAND_DISPLAY names a compositor socket that does. Nothing is connected
// when neither is set.
bool DisplayReachable();

// True when Qt can open the platform it would use: QT_QPA_PLATFORM names
// an installed one that needs no display server (offscreen, minimal, ...),
// or the display server it needs is reachable (DisplayReachable).
bool QtPlatformUsable();

// Why Qt cannot open the platform it would use, as a sentence ending in a
// full stop; "" when it can. A QT_QPA_PLATFORM that names no installed
// platform is told with the ones that are installed.
std::string QtPlatformProblem();

}  // namespace vexa::display
