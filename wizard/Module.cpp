// The in-process server vexawiz: its class table and exports.
#include "wizard/VEXAWizard1.h"

namespace {

const vexa::com::ClassEntry kClasses[] = {
    {&CLSID_VEXAWizard1, &vexa::wiz::CreateVEXAWizard1},
};

}  // namespace

VEXA_COM_SERVER_EXPORTS(kClasses, "vexawiz.reg")
