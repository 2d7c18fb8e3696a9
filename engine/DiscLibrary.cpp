#include "engine/DiscLibrary.h"

#include <cstdint>
#include <cstring>
#include <mutex>

#include "engine/Cdr4Drives.h"
#include "platform/base/Module.h"
#include "platform/base/Time.h"

namespace vexa::engine {

namespace {

struct Binding {
  std::mutex mutex;
  bool tried = false;
  bool bound = false;
  DiscLibrary lib;
  std::string error;
  std::unique_ptr<DriveAccess> drives;
};

Binding& TheBinding() {
  static Binding* b = new Binding;  // lives for the process, as the library does
  return *b;
}

std::uint32_t FirstWord(const void* table) {
  std::uint32_t v = 0;
  std::memcpy(&v, table, sizeof v);
  return v;
}

}  // namespace

bool bindDiscLibrary(DiscLibrary* out, std::string* error) {
  Binding& b = TheBinding();
  std::lock_guard lock(b.mutex);
  if (!b.tried || !b.bound) {
    b.tried = true;
    b.lib = DiscLibrary{};
    b.error.clear();
    base::Module module = base::Module::Load("discpakm2");
    auto get = module.Function<DLL_LL_GetLibObjectFn>("DLL_LL_GetLibObject");
    auto release = module.Function<DLL_LL_ReleaseObjectFn>("DLL_LL_ReleaseObject");
    if (!module || !get || !release) {
      b.error = module ? "discpakm2 lacks its exports" : module.Error();
    } else {
      module.Release();  // loaded for the life of the process
      void* base = get("CDR4BASE");
      void* coms = get("CDR4COMS");
      void* discpak = get("DISCPAK");
      if (discpak && FirstWord(discpak) == kDiscpakVersion) {
        b.lib.discpak = static_cast<DISCPAK_LibObject*>(discpak);
      } else {
        b.error = "the DISCPAK library object is missing or of another version";
      }
      const bool baseOk = base && FirstWord(base) == 107;
      const bool comsOk = coms && FirstWord(coms) == 104;
      if (baseOk && comsOk) b.drives = MakeCdr4DriveAccess(base, coms);
      b.lib.haveDriveTable = baseOk && b.drives != nullptr;
      b.lib.haveTransportTable = comsOk && b.drives != nullptr;
      b.lib.drives = b.drives.get();
      if (!b.lib.haveDriveTable && b.error.empty()) b.error = "the CDR4BASE library object is missing";
      if (!b.lib.haveTransportTable && b.error.empty()) b.error = "the CDR4COMS library object is missing";
      b.bound = b.lib.discpak && b.lib.haveDriveTable && b.lib.haveTransportTable;
    }
  }
  *out = b.lib;
  if (error) *error = b.error;
  return b.bound;
}

namespace {

std::mutex& EnvMutex() {
  static std::mutex m;
  return m;
}

EngineEnvironment& InstalledEnvironment() {
  static EngineEnvironment env;
  return env;
}

}  // namespace

EngineEnvironment CurrentEngineEnvironment() {
  std::lock_guard lock(EnvMutex());
  EngineEnvironment env = InstalledEnvironment();
  if (!env.bind) env.bind = &bindDiscLibrary;
  if (!env.clock) env.clock = &base::Clock::Real();
  return env;
}

void SetEngineEnvironment(EngineEnvironment env) {
  std::lock_guard lock(EnvMutex());
  InstalledEnvironment() = std::move(env);
}

}  // namespace vexa::engine
