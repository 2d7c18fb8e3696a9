// The proxy and stub of IVexaLogger. The module vexalogps is registered as
// the interface's proxy: a client's CoCreateInstance of VexaLogger loads it
// and gets a proxy that forwards each call to the server vexalog, whose stub
// (linked into the server) makes the call on the real object.
#pragma once

#include <span>

#include "idl/vexalog.h"
#include "platform/com/LocalServer.h"

// What the proxy module exports: its activation entry point, and the stub
// table the server program links.
#define VEXALOGPS_API VEXA_EXPORT

namespace vexa::logging {

// Method numbers on the wire, the interface's slot order after IDispatch.
enum : std::uint32_t {
  kLoggerLogFilePath = 1,
  kLoggerResetLogFile = 2,
  kLoggerWriteMessage = 3,
  kLoggerWriteMessages = 4,
};

// The interfaces the server offers for VexaLogger, with their stubs.
VEXALOGPS_API std::span<const com::LocalServerInterface> VexaLoggerServerInterfaces();

}  // namespace vexa::logging

// The proxy module's entry point, looked up by the component core.
extern "C" VEXALOGPS_API HRESULT VexaActivateLocalServer(
    REFCLSID clsid, const char* serverPath, REFIID iid, void** ppv);
