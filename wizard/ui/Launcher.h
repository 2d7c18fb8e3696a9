// The desktop's verbs on a file: "open" and "play" through the desktop's
// opener, "properties" through the file manager. Tests install their own
// launcher to see what would be opened.
#pragma once

#include <chrono>
#include <functional>
#include <string>

namespace vexa::wiz {

// verb is "open", "play", "properties" or "help"; target a path or a URL.
// True when the desktop opened it: the opener's answer is waited for, so a
// desktop without a browser or player for the target gives false.
using Launcher = std::function<bool(const std::string& verb, const std::string& target)>;

bool Launch(const std::string& verb, const std::string& target);
void SetLauncher(Launcher launcher);
// How long an opener that has not answered yet is waited for before it
// counts as having started its program (5 seconds).
void SetLaunchPatience(std::chrono::milliseconds patience);
// Openers that were still running when patience ran out and have not ended.
int HelpersStillRunning();

}  // namespace vexa::wiz
