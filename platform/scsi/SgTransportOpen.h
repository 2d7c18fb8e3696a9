// Opening the Linux SG_IO back end of the SCSI transport (SgTransport.h),
// apart from the back end itself so that OpenTransport can choose it
// without depending on its internals.
#pragma once

#include <memory>
#include <string>

namespace vexa::scsi {

class SgSystem;
class Transport;

struct SgOptions {
  std::string sysfsRoot = "/sys";
  std::string devRoot = "/dev";
  SgSystem* system = nullptr;  // null: the real system
};

std::unique_ptr<Transport> OpenSgTransport(const SgOptions& options = {});

}  // namespace vexa::scsi
