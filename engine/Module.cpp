// The in-process server vexasdk: its class table and exports.
#include "engine/Engine.h"

namespace {

const vexa::com::ClassEntry kClasses[] = {
    {&CLSID_VEXAVCDEngine, &vexa::engine::CreateVEXAVCDEngine},
};

}  // namespace

VEXA_COM_SERVER_EXPORTS(kClasses, "vexasdk.reg")
