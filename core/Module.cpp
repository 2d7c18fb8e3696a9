// The in-process server vexacore: its class table and exports.
#include "core/LocUtil.h"
#include "core/VEXACore1.h"

namespace {

const vexa::com::ClassEntry kClasses[] = {
    {&CLSID_VEXACore1, &vexa::core::CreateVEXACore1},
    {&CLSID_VEXALocUtil, &vexa::core::CreateVEXALocUtil},
};

}  // namespace

VEXA_COM_SERVER_EXPORTS(kClasses, "vexacore.reg")
