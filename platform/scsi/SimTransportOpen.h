// Opening the simulated-recorder back end of the SCSI transport, apart from
// the simulator itself so that OpenTransport can choose it without
// depending on the simulator's headers.
#pragma once

#include <memory>
#include <string>
#include <string_view>

namespace vexa::scsi {

class Transport;

// One simulated recorder per folder of the ';'-separated list (empty items
// skipped, at most 64). Null with *error set when the list names no folder
// or a folder cannot be used; a folder another program holds is a device
// whose commands fail as a busy node's do.
std::unique_ptr<Transport> OpenSimTransport(std::string_view folders, std::string* error);

}  // namespace vexa::scsi
