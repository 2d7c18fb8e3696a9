// For the tests that link the wizard's code: its module values go back to
// their state at load after each test.
#include "wizard/common/WizUtil.h"

extern "C" void VexaWizTestResetModule() {
  using vexa::wiz::Module;
  Module().Reset();
  Module().errorCode = VEXAWizSuccess;
  Module().fileSystemGiven = false;
  Module().fileSystem = VEXAWizFSDefault;
  Module().updateCheckMode.clear();
  Module().overCapacityWarn = true;
  Module().clock = &vexa::base::Clock::Real();
}
