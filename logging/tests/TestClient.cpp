// A client of the log server for the server tests, run as its own process:
//   write N NAME   writes N lines "NAME i" (i = 0 .. N-1), then exits
//   loop NAME      writes one line, prints "ready", then writes until killed
//   hold NAME      writes one line, prints "ready", holds the object until
//                  its standard input ends
// Exit codes: 0 done, 2 usage, 3 creation failed, 4 a write failed.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "idl/vexalog.h"

using vexa::com::Bstr;
using vexa::com::ComPtr;

namespace {

bool Write(IVexaLogger* logger, const std::string& name, long i) {
  Bstr component = Bstr::FromUtf8(name);
  Bstr type = Bstr::FromUtf8("INFO");
  Bstr text = Bstr::FromUtf8(name + " " + std::to_string(i));
  return SUCCEEDED(logger->WriteMessage(component.Get(), type.Get(), text.Get()));
}

int Run(int argc, char** argv) {
  if (argc < 3) return 2;
  const std::string mode = argv[1];
  ComPtr<IVexaLogger> logger;
  if (FAILED(CoCreateInstance(CLSID_VexaLogger, nullptr, CLSCTX_LOCAL_SERVER, IID_IVexaLogger,
                              logger.PutVoid()))) {
    return 3;
  }
  if (mode == "write" && argc == 4) {
    const long n = std::strtol(argv[2], nullptr, 10);
    for (long i = 0; i < n; ++i) {
      if (!Write(logger.Get(), argv[3], i)) return 4;
    }
    return 0;
  }
  if (mode != "loop" && mode != "hold") return 2;
  if (!Write(logger.Get(), argv[2], 0)) return 4;
  std::printf("ready\n");
  std::fflush(stdout);
  if (mode == "loop") {
    for (long i = 1;; ++i) {
      if (!Write(logger.Get(), argv[2], i)) return 4;
    }
  }
  char buffer[64];
  while (::read(0, buffer, sizeof buffer) > 0) {
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  CoInitialize(nullptr);
  const int code = Run(argc, argv);
  CoUninitialize();
  return code;
}
