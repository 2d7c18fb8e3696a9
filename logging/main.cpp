// vexalog: the log server program. Started by the component core when a
// client creates a VexaLogger; "RegServer" and "UnregServer" (with '-' or
// '/') write or remove its registration and exit.
#include <clocale>
#include <string_view>

#include "logging/VexaLogger_p.h"
#include "logging/VexaLoggerPS.h"
#include "platform/base/Text.h"

namespace {

const vexa::com::LocalServerClass kClasses[] = {
    {&CLSID_VexaLogger, &vexa::logging::CreateVexaLogger,
     vexa::logging::VexaLoggerServerInterfaces()},
};

int Register(bool add) {
  CoInitialize(nullptr);
  const HRESULT hr = add ? vexa::com::RegisterServerScript("vexalog.reg")
                         : vexa::com::UnregisterServerScript("vexalog.reg");
  CoUninitialize();
  return SUCCEEDED(hr) ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  // The header's date and time follow the user's locale.
  std::setlocale(LC_TIME, "");
  for (int i = 1; i < argc; ++i) {
    std::string_view arg = argv[i];
    if (!arg.empty() && (arg[0] == '-' || arg[0] == '/')) arg.remove_prefix(1);
    if (vexa::base::EqualsNoCase(arg, "RegServer")) return Register(true);
    if (vexa::base::EqualsNoCase(arg, "UnregServer")) return Register(false);
  }
  return vexa::com::RunLocalServer(kClasses);
}
