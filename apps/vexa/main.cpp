// vexa: makes a photo disc from the command line, through the creation
// wizard or, with /r:status or /r:silent, the burn orchestrator.
#include <string>
#include <vector>

#include "apps/vexa/VexaApp.h"
#include "apps/vexa/VexaUi.h"
#include "platform/base/Memory.h"
#include "platform/base/StopRequest.h"

int main(int argc, char** argv) {
  vexa::base::LimitAllocatorArenas();
  vexa::base::InstallStopHandlers();
  std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + argc);
  auto ui = vexa::app::MakeUi();
  vexa::app::CVexaApp app(*ui);
  return app.Run(args);
}
