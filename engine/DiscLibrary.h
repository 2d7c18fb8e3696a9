// Binding of the disc library discpakm2: the library is loaded by name once
// for the process, and its three library objects "CDR4BASE" (drives),
// "CDR4COMS" (transport and command log) and "DISCPAK" (Video CD classes)
// are taken and their version words checked (107, 104 and 105).
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "disclib/vcd/DiscpakLibrary.h"
#include "engine/DriveAccess.h"

namespace vexa::base {
class Clock;
}

namespace vexa::engine {

// What the engine holds of the disc library. Both pointers live as long as
// the process (the library is never unloaded).
struct DiscLibrary {
  DISCPAK_LibObject* discpak = nullptr;
  DriveAccess* drives = nullptr;
  // Non-zero when the "CDR4BASE" and "CDR4COMS" tables were found (the
  // drive entries stand behind `drives`).
  bool haveDriveTable = false;
  bool haveTransportTable = false;
};

// Loads discpakm2 (once for the process) and fills *out. True only when all
// three objects are there with their versions; *out holds what was found
// either way, and *error says what was missing.
bool bindDiscLibrary(DiscLibrary* out, std::string* error);

// What an engine is made with: how it binds the disc library and the clock
// its timed paths read. Tests install their own before creating engines.
struct EngineEnvironment {
  std::function<bool(DiscLibrary*, std::string*)> bind;
  const base::Clock* clock = nullptr;
};
EngineEnvironment CurrentEngineEnvironment();
// Installs env for engines made from now on; an empty env restores the real
// one.
void SetEngineEnvironment(EngineEnvironment env);

}  // namespace vexa::engine
