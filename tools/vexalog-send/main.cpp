// vexalog-send: writes one line through the log server, the way every
// program of the system does (CoCreateInstance of VexaLogger, then
// WriteMessage), so the service can be used and checked by hand.
//
//   vexalog-send COMPONENT TYPE TEXT   write TEXT as a line of type TYPE
//   vexalog-send --reset               empty the main log
//   vexalog-send --path                print the main log's path
#include <cstdio>
#include <cstring>
#include <string>

#include "idl/vexalog.h"
#include "platform/com/Com.h"

using vexa::com::Bstr;
using vexa::com::ComPtr;

namespace {

int Usage() {
  std::fprintf(stderr,
               "usage: vexalog-send COMPONENT TYPE TEXT\n"
               "       vexalog-send --reset\n"
               "       vexalog-send --path\n");
  return 2;
}

// Prints what failed, the result and the reason the failed call left; for a
// line that never reached the server, says that it was not written.
int Failed(const char* what, HRESULT hr, bool lineLost = false) {
  const vexa::com::ErrorText e = vexa::com::TakeError();
  std::string reason = e.present ? e.Utf8Description() : "";
  if (lineLost) reason += std::string(reason.empty() ? "" : "; ") + "the line was not written";
  std::fprintf(stderr, "vexalog-send: %s failed (%s)%s%s\n", what, HresultName(hr).c_str(),
               reason.empty() ? "" : ": ", reason.c_str());
  return 1;
}

int Run(int argc, char** argv) {
  const bool reset = argc == 2 && std::strcmp(argv[1], "--reset") == 0;
  const bool path = argc == 2 && std::strcmp(argv[1], "--path") == 0;
  if (!reset && !path && argc != 4) return Usage();

  ComPtr<IVexaLogger> logger;
  HRESULT hr = CoCreateInstance(CLSID_VexaLogger, nullptr, CLSCTX_LOCAL_SERVER, IID_IVexaLogger,
                                logger.PutVoid());
  if (FAILED(hr)) return Failed("creating the logger", hr, !reset && !path);
  if (reset) {
    hr = logger->ResetLogFile();
    return FAILED(hr) ? Failed("ResetLogFile", hr) : 0;
  }
  if (path) {
    Bstr text;
    hr = logger->get_LogFilePath(text.Out());
    if (FAILED(hr)) return Failed("LogFilePath", hr);
    std::printf("%s\n", text.Utf8().c_str());
    return 0;
  }
  Bstr component = Bstr::FromUtf8(argv[1]);
  Bstr type = Bstr::FromUtf8(argv[2]);
  Bstr message = Bstr::FromUtf8(argv[3]);
  hr = logger->WriteMessage(component.Get(), type.Get(), message.Get());
  return FAILED(hr) ? Failed("WriteMessage", hr) : 0;
}

}  // namespace

int main(int argc, char** argv) {
  CoInitialize(nullptr);
  const int code = Run(argc, argv);
  CoUninitialize();
  return code;
}
