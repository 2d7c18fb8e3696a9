// The settings page's state: the seconds each picture is shown, the TV
// system the disc is made in, and the CD writer's speeds with the one
// chosen. Plain data with the rules that fill it from the session album,
// the locale, the burn driver and the settings file and store it back; the
// page shows it and tests drive it without any window.
#pragma once

#include <functional>
#include <vector>

#include "platform/base/WinTypes.h"

namespace vexa::wiz {

class WizServices;

class DiscSettings {
 public:
  static constexpr int kMinDelay = 2;
  static constexpr int kMaxDelay = 10;
  static constexpr int kDefaultDelay = 5;

  // The album's still delay (only 2 to 10 can be chosen; any other shows
  // the default) and TV system, over the locale's TV system. A failed album
  // read is logged and reported once through failed.
  void Load(const WizServices& wiz, const std::function<void()>& failed);
  // The writer's speeds from the burn driver, with the stored speed (or the
  // default) matched to one of them. A writer without speeds, or a driver
  // that fails, leaves the default speed alone; listed (called before the
  // problem is logged) tells the page the list is rebuilt. False when the
  // choice fell back to the default or to the slowest speed.
  bool LoadSpeeds(const WizServices& wiz, const std::function<void()>& listed);
  // Stores delay and TV system in the album and the chosen speed in the
  // settings file; a failed album write is logged and reported once through
  // failed.
  void Save(const WizServices& wiz, const std::function<void()>& failed) const;

  int delay = kDefaultDelay;
  bool pal = false;
  std::vector<LONG> speeds;
  int speedIndex = -1;  // -1 when no speed is chosen
};

// The settings page's answer to "is the disc NTSC?": false only for the two
// TV systems made as PAL (PAL and SECAM); true when the album cannot be read
// (logged).
bool IsNTSC(const WizServices& wiz);

}  // namespace vexa::wiz
