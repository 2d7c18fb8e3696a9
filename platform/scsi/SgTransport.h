// The Linux back end of the SCSI transport: SG_IO on the scsi-generic nodes
// of CD/DVD devices (type 4 or 5 in /sys/class/scsi_generic), or on the sr
// block nodes when no scsi-generic node exists. Devices are ordered by
// host:channel:target:lun, at most 64.
//
// Everything the back end asks of the system goes through SgSystem, and the
// sysfs and /dev roots are options, so tests run it against a fake sysfs tree
// and an injected ioctl.
#pragma once

#include <memory>
#include <string>

#include "platform/scsi/SgTransportOpen.h"
#include "platform/scsi/Transport.h"

namespace vexa::scsi {

class SgSystem {
 public:
  virtual ~SgSystem() = default;
  virtual int Open(const char* path, int flags);
  virtual int Close(int fd);
  // The SG_IO request; arg is a struct sg_io_hdr.
  virtual int Ioctl(int fd, unsigned long request, void* arg);
  static SgSystem& Real();
};

// The bus text of a host adapter's driver name (proc_name of the SCSI host):
// "IDE//USB" for ATA and USB attachments, "SCSI" for every other driver.
std::string BusTextForDriver(const std::string& procName);

}  // namespace vexa::scsi
