#include "platform/scsi/Transport.h"

#include <cstdlib>

#include "platform/registry/Registry.h"
#include "platform/scsi/SgTransportOpen.h"
#include "platform/scsi/SimTransportOpen.h"

namespace vexa::scsi {

std::string ConfiguredTransportSpec(std::string_view productKey) {
  if (const char* env = std::getenv("VEXA_SCSI_TRANSPORT"); env && *env) return env;
  if (auto v = reg::GetString(reg::Hive::LocalMachine, productKey, "SCSI_TRANSPORT"); v && !v->empty()) {
    return *v;
  }
  return "sg";
}

std::unique_ptr<Transport> OpenTransport(std::string_view setting, std::string* error) {
  if (setting == "sg") return OpenSgTransport();
  if (setting.rfind("sim:", 0) == 0) return OpenSimTransport(setting.substr(4), error);
  if (error) *error = "unknown SCSI transport '" + std::string(setting) + "' (sg or sim:FOLDER)";
  return nullptr;
}

}  // namespace vexa::scsi
