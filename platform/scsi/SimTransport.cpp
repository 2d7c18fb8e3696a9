#include "platform/scsi/SimTransportOpen.h"

#include <cerrno>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/scsi/SimDrive.h"
#include "platform/scsi/Transport.h"

namespace vexa::scsi {

namespace {

// One simulated recorder per folder. A folder another program holds is a
// device of the list whose commands fail as a busy node's do.
class SimTransport final : public Transport {
 public:
  struct Slot {
    std::unique_ptr<sim::SimDrive> drive;  // null while another program holds the folder
    DeviceInfo info;
    std::string problem;
  };
  explicit SimTransport(std::vector<Slot> slots) : slots_(std::move(slots)) {}
  std::string Kind() const override { return "sim"; }
  int DeviceCount() const override { return static_cast<int>(slots_.size()); }
  const DeviceInfo* Device(int n) const override {
    if (n < 0 || n >= DeviceCount()) return nullptr;
    return slots_[n].drive ? &slots_[n].drive->Info() : &slots_[n].info;
  }
  Result Execute(int device, const Command& command) override {
    Result r;
    if (!Device(device)) {
      r.sysError = ENODEV;
      return r;
    }
    if (!slots_[device].drive) {
      r.sysError = EBUSY;
      return r;
    }
    return slots_[device].drive->Execute(command);
  }
  bool SetExclusive(int device, bool exclusive) override {
    return Device(device) && slots_[device].drive && slots_[device].drive->SetExclusive(exclusive);
  }
  bool SetDeviceMode(int device, bool flag) override {
    return Device(device) && slots_[device].drive && slots_[device].drive->SetDeviceMode(flag);
  }
  bool CheckDeviceMode(int device) override {
    return Device(device) && slots_[device].drive && slots_[device].drive->CheckDeviceMode();
  }
  std::string Problem(int device) const override {
    return Device(device) ? slots_[device].problem : std::string();
  }

 private:
  std::vector<Slot> slots_;
};

}  // namespace

std::unique_ptr<Transport> OpenSimTransport(std::string_view folders, std::string* error) {
  std::vector<SimTransport::Slot> slots;
  std::string_view rest = folders;
  while (!rest.empty()) {
    const auto semi = rest.find(';');
    const std::string folder(rest.substr(0, semi));
    rest = semi == std::string_view::npos ? std::string_view() : rest.substr(semi + 1);
    if (folder.empty()) continue;
    SimTransport::Slot slot;
    bool busy = false;
    std::string why;
    slot.drive = sim::SimDrive::Open(folder, &why, &busy);
    if (!slot.drive) {
      if (!busy) {
        if (error) *error = why;
        return nullptr;
      }
      slot.info.path = folder;
      slot.info.busText = "IDE//USB";
      slot.problem = why;
    }
    slots.push_back(std::move(slot));
    if (slots.size() == 64) break;
  }
  if (slots.empty()) {
    if (error) *error = "sim: names no folder";
    return nullptr;
  }
  return std::make_unique<SimTransport>(std::move(slots));
}

}  // namespace vexa::scsi
