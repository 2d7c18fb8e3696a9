// The engine's road to the recorder layer: the drive entries of the
// "CDR4BASE" library object and the command log of "CDR4COMS", as one
// interface. The engine and its image builder call drives only through it;
// the disc library's tables stand behind the real one (DiscLibrary.cpp),
// tests may put their own.
//
// Drive operations answer as the recorder layer does: 0 success, 1 failure,
// 6 not supported by this drive or mode; speed operations a speed in "x"
// or 1024 for none; CloseSession 1 success, 0 failure.
#pragma once

#include <cstdint>
#include <string>

namespace vexa::engine {

// A drive object of the recorder layer, owned by whoever created it and
// deleted through DeleteDrive.
struct DriveHandle;

class DriveAccess {
 public:
  virtual ~DriveAccess() = default;

  // Null when the device number names no usable drive.
  virtual DriveHandle* CreateDrive(std::int32_t device) = 0;
  virtual void DeleteDrive(DriveHandle* drive) = 0;

  // The drive's path: its device node, or a simulated recorder's folder.
  virtual std::string GetDrivePath(DriveHandle* drive) = 0;
  virtual std::int32_t GetDriveNum(DriveHandle* drive) = 0;
  // Capability bits (the engine's VEXADriveCaps have the same values).
  virtual std::int32_t GetDriveCaps(DriveHandle* drive) = 0;
  // Fills 28 characters of identification; non-zero when it did.
  virtual std::int32_t GetInquiry(DriveHandle* drive, char* text32) = 0;
  // 0 ready, 3 becoming ready, 5 not ready.
  virtual std::int32_t GetDriveStatus(DriveHandle* drive) = 0;
  virtual std::int32_t ReadCD(DriveHandle* drive, std::int32_t start, std::int32_t count, void* buffer,
                              std::int32_t sectorType, std::int32_t sectorSize) = 0;
  virtual std::int32_t ReadSpeedQuery(DriveHandle* drive, std::int32_t code) = 0;
  virtual std::int32_t SpeedQuery(DriveHandle* drive, std::int32_t code) = 0;
  virtual std::int32_t SetBlocking(DriveHandle* drive, std::int32_t type) = 0;
  virtual std::int32_t Eject(DriveHandle* drive) = 0;
  virtual std::int32_t Load(DriveHandle* drive) = 0;
  virtual std::int32_t LockDrive(DriveHandle* drive) = 0;
  virtual std::int32_t UnlockDrive(DriveHandle* drive) = 0;
  // READ DISC INFORMATION into 32 bytes.
  virtual std::int32_t ReadDiscInfo(DriveHandle* drive, std::uint8_t* buffer32) = 0;
  // READ TOC format 0 into 804 bytes (addresses in host order).
  virtual std::int32_t ReadTOC(DriveHandle* drive, std::uint8_t* buffer804) = 0;
  // The ATIP (READ TOC format 4) into 32 bytes: 0 read, 1 the disc has none
  // (a recordable CD always has one), 6 not known.
  virtual std::int32_t ReadATIP(DriveHandle* drive, std::uint8_t* buffer32) {
    (void)drive;
    (void)buffer32;
    return 6;
  }
  // READ TRACK INFORMATION into 36 bytes (fields in host order); 255 is the
  // next writable track.
  virtual std::int32_t ReadTrackInfo(DriveHandle* drive, std::int32_t track, std::uint8_t* buffer36) = 0;
  virtual std::int32_t StartTAO(DriveHandle* drive, std::int32_t track, std::int32_t type, std::int32_t flags,
                                const std::uint8_t* code16, const std::uint8_t* subheader8) = 0;
  virtual std::int32_t WriteTAO(DriveHandle* drive, std::int32_t sectorSize, std::int32_t count,
                                const std::uint8_t* data) = 0;
  virtual std::int32_t FinishTAO(DriveHandle* drive) = 0;
  // Cuts the track short for a cancelled burn, from any thread, also while
  // the burn's thread waits in WriteTAO or FinishTAO: the drive's writer
  // stops after the WRITE under way and drops what is still queued; the
  // disc is left as the drive leaves it. The track is still ended with
  // FinishTAO. A road without it answers 6 (the track is then written out).
  virtual std::int32_t AbortTAO(DriveHandle* drive) {
    (void)drive;
    return 6;
  }
  virtual std::int32_t CloseSession(DriveHandle* drive, std::int32_t format, std::int32_t closeFlag) = 0;
  // The first error of the drive's last operation, or "" when none.
  virtual std::string GetLastError(DriveHandle* drive) = 0;
  virtual std::int32_t BlankDisc(DriveHandle* drive, std::int32_t full) = 0;
  // Non-zero when no operation is in progress.
  virtual std::int32_t IsIdle(DriveHandle* drive) = 0;

  // Why no drive may be usable ("" when nothing is known): the transport
  // setting that could not be opened, a writer another program holds.
  virtual std::string TransportProblem() { return {}; }

  // The drive-command log ("comslog.txt").
  virtual void StartLog(const std::string& path, bool append) = 0;
  virtual void StopLog() = 0;
  virtual void Log(const std::string& text) = 0;
};

}  // namespace vexa::engine
