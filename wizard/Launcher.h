// The desktop's verbs on a file: "open" and "play" through the desktop's
// opener, "properties" through the file manager. Tests install their own
// launcher to see what would be opened.
#pragma once

#include <functional>
#include <string>

namespace vexa::wiz {

// verb is "open", "play", "properties" or "help"; target a path or a URL.
// True when the desktop took the request.
using Launcher = std::function<bool(const std::string& verb, const std::string& target)>;

bool Launch(const std::string& verb, const std::string& target);
void SetLauncher(Launcher launcher);

}  // namespace vexa::wiz
