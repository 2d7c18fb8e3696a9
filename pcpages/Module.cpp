// The in-process server VEXAPC: its class table and exports.
#include "pcpages/CIVEXAPC.h"

namespace {

const vexa::com::ClassEntry kClasses[] = {
    {&CLSID_IVEXAPC, &vexa::pcpages::CreateIVEXAPC},
};

}  // namespace

VEXA_COM_SERVER_EXPORTS(kClasses, "VEXAPC.reg")
