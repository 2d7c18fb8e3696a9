#include "platform/scsi/Transport.h"

#include <cstdlib>

#include "platform/registry/Registry.h"
#include "platform/scsi/SgTransport.h"
#include "platform/scsi/SimDrive.h"

namespace vexa::scsi {

namespace {

// One simulated recorder per folder.
class SimTransport final : public Transport {
 public:
  explicit SimTransport(std::vector<std::unique_ptr<sim::SimDrive>> drives) : drives_(std::move(drives)) {}
  std::string Kind() const override { return "sim"; }
  int DeviceCount() const override { return static_cast<int>(drives_.size()); }
  const DeviceInfo* Device(int n) const override {
    return n >= 0 && n < DeviceCount() ? &drives_[n]->Info() : nullptr;
  }
  Result Execute(int device, const Command& command) override {
    if (!Device(device)) {
      Result r;
      r.sysError = 19;  // ENODEV
      return r;
    }
    return drives_[device]->Execute(command);
  }
  bool SetExclusive(int device, bool exclusive) override {
    return Device(device) && drives_[device]->SetExclusive(exclusive);
  }
  bool SetDeviceMode(int device, bool flag) override {
    return Device(device) && drives_[device]->SetDeviceMode(flag);
  }
  bool CheckDeviceMode(int device) override { return Device(device) && drives_[device]->CheckDeviceMode(); }

 private:
  std::vector<std::unique_ptr<sim::SimDrive>> drives_;
};

}  // namespace

std::string ConfiguredTransportSpec(std::string_view productKey) {
  if (const char* env = std::getenv("VEXA_SCSI_TRANSPORT"); env && *env) return env;
  if (auto v = reg::GetString(reg::Hive::LocalMachine, productKey, "SCSI_TRANSPORT"); v && !v->empty()) {
    return *v;
  }
  return "sg";
}

std::unique_ptr<Transport> OpenTransport(std::string_view setting, std::string* error) {
  if (setting == "sg") return OpenSgTransport();
  if (setting.rfind("sim:", 0) == 0) {
    std::vector<std::unique_ptr<sim::SimDrive>> drives;
    std::string_view rest = setting.substr(4);
    while (!rest.empty()) {
      const auto semi = rest.find(';');
      const std::string folder(rest.substr(0, semi));
      rest = semi == std::string_view::npos ? std::string_view() : rest.substr(semi + 1);
      if (folder.empty()) continue;
      auto drive = sim::SimDrive::Open(folder, error);
      if (!drive) return nullptr;
      drives.push_back(std::move(drive));
      if (drives.size() == 64) break;
    }
    if (drives.empty()) {
      if (error) *error = "sim: names no folder";
      return nullptr;
    }
    return std::make_unique<SimTransport>(std::move(drives));
  }
  if (error) *error = "unknown SCSI transport '" + std::string(setting) + "' (sg or sim:FOLDER)";
  return nullptr;
}

}  // namespace vexa::scsi
