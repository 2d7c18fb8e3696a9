// The SCSI transport: the one operating-system boundary of the recorder
// layer. A transport numbers its CD/DVD devices 0..n-1 and carries command
// blocks to them; it only moves bytes. Deciding whether a failure is worth a
// retry belongs to the layers above.
//
// Two back ends implement it and are chosen at run time (OpenTransport):
//  - "sg": Linux SG_IO on the scsi-generic or sr nodes of the machine;
//  - "sim:FOLDER[;FOLDER...]": simulated MMC recorders, one per folder, each
//    keeping its disc state in its folder and writing what is burned there as
//    a .bin/.cue image (SimDrive.h).
//
// Both hold a device for one program at a time, from its first use to the
// transport's end: the sg back end opens the node with O_EXCL, the
// simulator locks the folder. A device another program holds stays in the
// list; its commands fail (EBUSY) and Problem() says who has it.
#pragma once

#include <cerrno>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "platform/base/Export.h"

// What libvexa_scsi exports: the calls of this header, and the simulated
// recorder's set-up that cdrsim uses (SimConfig.h, SimDisc.h, SimDrive.h).
#define VEXA_SCSI_API VEXA_EXPORT

namespace vexa::scsi {

enum class Direction { None, In, Out };  // In: data from the device

// Sense data is always handed up in the fixed format (response code 0x70):
// key in byte 2, ASC in byte 12, ASCQ in byte 13.
constexpr std::size_t kSenseSize = 32;

struct Command {
  const std::uint8_t* cdb = nullptr;
  int cdbLength = 0;  // 6, 10, 12 or 16
  Direction direction = Direction::None;
  std::uint8_t* data = nullptr;  // the buffer for In, the bytes for Out
  std::uint32_t length = 0;
  std::uint32_t timeoutMs = 30000;
};

struct Result {
  // SCSI status byte: 0 GOOD, 2 CHECK CONDITION, 8 BUSY, ...
  std::uint8_t status = 0;
  bool senseValid = false;
  std::uint8_t sense[kSenseSize] = {};
  // Bytes actually moved; never above the command's length (the back end
  // checks what the driver reports before it is handed up).
  std::uint32_t transferred = 0;
  // Transport-level trouble without a SCSI status: host adapter and driver
  // status of SG_IO, an errno, or the command's time running out.
  int hostStatus = 0;
  int driverStatus = 0;
  int sysError = 0;
  bool timedOut = false;

  bool Ok() const {
    return status == 0 && hostStatus == 0 && driverStatus == 0 && sysError == 0 && !timedOut;
  }
  // The device is no longer there (unplugged, switched off, its node
  // removed): the system's "no such device" (ENODEV, ENXIO, ENOENT), or the
  // host adapter's "no connection" (DID_NO_CONNECT) or "bad target"
  // (DID_BAD_TARGET).
  bool DeviceGone() const {
    return sysError == ENODEV || sysError == ENXIO || sysError == ENOENT || hostStatus == 0x01 || hostStatus == 0x04;
  }
  int SenseKey() const { return senseValid ? sense[2] & 0x0F : -1; }
  int Asc() const { return senseValid ? sense[12] : -1; }
  int Ascq() const { return senseValid ? sense[13] : -1; }
};

struct DeviceInfo {
  int type = 5;          // peripheral device type: 5 CD/DVD, 4 write-once
  std::string path;      // device node (/dev/sg1) or the simulator's folder
  std::string busText;   // "IDE//USB" or "SCSI"
  int host = 0, channel = 0, target = 0, lun = 0;
};

class Transport {
 public:
  virtual ~Transport() = default;
  // "sg" or "sim".
  virtual std::string Kind() const = 0;
  virtual int DeviceCount() const = 0;
  // Null when n is out of range.
  virtual const DeviceInfo* Device(int n) const = 0;
  // Runs one command to completion or to its timeout. Callers serialise the
  // commands of one device; the back end may be used from several threads
  // for different devices.
  virtual Result Execute(int device, const Command& command) = 0;
  // Exclusive use of a device against other programs (true) or shared use
  // again (false). False when it cannot be done.
  virtual bool SetExclusive(int device, bool exclusive) = 0;
  // A per-device flag some callers keep on the device; back ends without one
  // answer false.
  virtual bool SetDeviceMode(int device, bool flag) = 0;
  virtual bool CheckDeviceMode(int device) = 0;
  // Why the device cannot be used now ("" when nothing is known against
  // it): another program holds it, or its node cannot be opened.
  virtual std::string Problem(int device) const {
    (void)device;
    return {};
  }
};

// The back end configured for this process: the environment variable
// VEXA_SCSI_TRANSPORT, else the registry value SCSI_TRANSPORT under
// productKey (HKLM; the key of the product that uses the recorder, which
// the caller names), else "sg".
VEXA_SCSI_API std::string ConfiguredTransportSpec(std::string_view productKey);

// Opens "sg" or "sim:FOLDER[;FOLDER...]". Null with *error set when the setting
// is malformed or the back end cannot start (a transport with no devices is
// not an error).
VEXA_SCSI_API std::unique_ptr<Transport> OpenTransport(std::string_view setting, std::string* error);

// Converts descriptor-format sense (response codes 0x72/0x73) to the fixed
// layout; fixed sense is copied. Only the first `length` bytes of `in` are
// read. False when the data is not sense data at all.
VEXA_SCSI_API bool ToFixedSense(const std::uint8_t* in, std::size_t length, std::uint8_t out[kSenseSize]);

// Fills fixed-format sense with a key, ASC and ASCQ.
VEXA_SCSI_API void MakeSense(std::uint8_t out[kSenseSize], int key, int asc, int ascq);

}  // namespace vexa::scsi
