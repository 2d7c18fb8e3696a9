#include "engine/Cdr4Drives.h"

#include <cstring>

#include "disclib/recorder/CDR4BASE.h"
#include "disclib/recorder/CDR4COMS.h"
#include "platform/base/Module.h"

namespace vexa::engine {

namespace {

// The recorder layer's drive objects behind the engine's drive access: the
// "CDR4BASE" entries for the drives, "CDR4COMS" for the log, and the drive
// objects' own interface where the engine reads the disc (table of contents)
// directly. A drive's path is the transport's device path of its number.
class Cdr4DriveAccess final : public DriveAccess {
 public:
  Cdr4DriveAccess(CDR4BASE* base, CDR4COMS* coms, const char* (*devicePath)(LONG), const char* (*problem)())
      : base_(base), coms_(coms), devicePath_(devicePath), problem_(problem) {}

  static I_CDRClass* D(DriveHandle* d) { return reinterpret_cast<I_CDRClass*>(d); }

  DriveHandle* CreateDrive(std::int32_t device) override {
    return reinterpret_cast<DriveHandle*>(base_->CDR4_CreateDrive(device));
  }
  void DeleteDrive(DriveHandle* drive) override {
    if (drive) base_->CDR4_DeleteDrive(D(drive));
  }
  std::string GetDrivePath(DriveHandle* drive) override {
    const char* p = devicePath_ ? devicePath_(base_->CDR4_GetDriveNum(D(drive))) : nullptr;
    return p ? p : "";
  }
  std::int32_t GetDriveNum(DriveHandle* d) override { return base_->CDR4_GetDriveNum(D(d)); }
  std::int32_t GetDriveCaps(DriveHandle* d) override {
    return static_cast<std::int32_t>(base_->CDR4_GetDriveCaps(D(d)));
  }
  std::int32_t GetInquiry(DriveHandle* d, char* text32) override { return base_->CDR4_GetInquiry(D(d), text32); }
  std::int32_t GetDriveStatus(DriveHandle* d) override { return base_->CDR4_GetDriveStatus(D(d)); }
  std::int32_t ReadCD(DriveHandle* d, std::int32_t start, std::int32_t count, void* buffer, std::int32_t type,
                      std::int32_t size) override {
    return base_->CDR4_ReadCD(D(d), start, count, buffer, type, size);
  }
  std::int32_t ReadSpeedQuery(DriveHandle* d, std::int32_t code) override {
    return base_->CDR4_ReadSpeedQuery(D(d), code);
  }
  std::int32_t SpeedQuery(DriveHandle* d, std::int32_t code) override { return base_->CDR4_SpeedQuery(D(d), code); }
  std::int32_t SetBlocking(DriveHandle* d, std::int32_t type) override { return base_->CDR4_SetBlocking(D(d), type); }
  std::int32_t Eject(DriveHandle* d) override { return base_->CDR4_Eject(D(d)); }
  std::int32_t Load(DriveHandle* d) override { return base_->CDR4_Load(D(d)); }
  std::int32_t LockDrive(DriveHandle* d) override { return base_->CDR4_LockDrive(D(d)); }
  std::int32_t UnlockDrive(DriveHandle* d) override { return base_->CDR4_UnlockDrive(D(d)); }
  std::int32_t ReadDiscInfo(DriveHandle* d, std::uint8_t* buffer32) override {
    return base_->CDR4_IsDiscBlank(D(d), buffer32);
  }
  std::int32_t ReadTOC(DriveHandle* d, std::uint8_t* buffer804) override { return D(d)->ReadTOC(buffer804); }
  std::int32_t ReadATIP(DriveHandle* d, std::uint8_t* buffer32) override {
    DWORD length = 32;
    return base_->CDR4_QueryDisc(D(d), CDRQ_ATIP, &length, buffer32);
  }
  std::int32_t ReadTrackInfo(DriveHandle* d, std::int32_t track, std::uint8_t* buffer36) override {
    return base_->CDR4_ReadTrackInfo(D(d), track, buffer36);
  }
  std::int32_t StartTAO(DriveHandle* d, std::int32_t track, std::int32_t type, std::int32_t flags,
                        const std::uint8_t* code16, const std::uint8_t* subheader8) override {
    return base_->CDR4_StartTAO(D(d), track, type, flags, code16, subheader8);
  }
  std::int32_t WriteTAO(DriveHandle* d, std::int32_t sectorSize, std::int32_t count,
                        const std::uint8_t* data) override {
    return base_->CDR4_WriteTAO(D(d), sectorSize, count, data);
  }
  std::int32_t FinishTAO(DriveHandle* d) override { return base_->CDR4_FinishTAO(D(d)); }
  std::int32_t AbortTAO(DriveHandle* d) override { return base_->CDR4_AbortTAO(D(d)); }
  std::int32_t CloseSession(DriveHandle* d, std::int32_t format, std::int32_t closeFlag) override {
    return base_->CDR4_CloseSession(D(d), format, closeFlag);
  }
  std::string GetLastError(DriveHandle* d) override {
    const char* text = base_->CDR4_GetLastError(D(d), nullptr);
    return text ? text : "";
  }
  std::int32_t BlankDisc(DriveHandle* d, std::int32_t full) override { return base_->CDR4_BlankDisc(D(d), full); }
  std::int32_t IsIdle(DriveHandle* d) override { return base_->CDR4_IsIdle(D(d)); }

  std::string TransportProblem() override {
    const char* p = problem_ ? problem_() : nullptr;
    return p ? p : "";
  }

  void StartLog(const std::string& path, bool append) override { coms_->COMS_StartLog(path.c_str(), append ? 1 : 0); }
  void StopLog() override { coms_->COMS_StopLog(); }
  void Log(const std::string& text) override { coms_->COMS_Log(text.c_str()); }

 private:
  CDR4BASE* base_;
  CDR4COMS* coms_;
  const char* (*devicePath_)(LONG);
  const char* (*problem_)();
};

}  // namespace

std::unique_ptr<DriveAccess> MakeCdr4DriveAccess(void* cdr4base, void* cdr4coms) {
  auto* base = static_cast<CDR4BASE*>(cdr4base);
  auto* coms = static_cast<CDR4COMS*>(cdr4coms);
  if (!base || !coms || !base->CDR4_CreateDrive || !coms->COMS_StartLog) return nullptr;
  // The device path accessor of the transport, from the library already
  // loaded (it is not a word of the tables).
  base::Module module = base::Module::Load("discpakm2");
  auto path = module.Function<const char* (*)(LONG)>("COMS_GetDevicePath");
  auto problem = module.Function<const char* (*)()>("COMS_GetProblem");
  module.Release();
  return std::make_unique<Cdr4DriveAccess>(base, coms, path, problem);
}

}  // namespace vexa::engine
