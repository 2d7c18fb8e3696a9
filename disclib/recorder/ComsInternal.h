// Inside the transport object: what the drive classes and the tests of the
// disc library reach besides the public table.
#pragma once

#include <cstdint>
#include <memory>

#include "disclib/recorder/CDR4COMS.h"
#include "platform/scsi/Transport.h"

namespace discpak {

// Puts a transport in place as if COMS_Open had opened it (tests hand in
// fakes); null closes. The CDR4COMS words are refreshed.
void ComsInstallTransport(std::unique_ptr<vexa::scsi::Transport> transport);

// The time a command may take: 10 minutes for SYNCHRONIZE CACHE, CLOSE
// TRACK/SESSION, BLANK and FORMAT UNIT, 30 seconds for every other.
std::uint32_t ComsTimeoutMs(int operationCode);

}  // namespace discpak
