// The control module VEXAThum: its class table and exports.
#include "gallery/control/VEXAThumCtrl.h"

namespace {

const vexa::com::ClassEntry kClasses[] = {
    {&CLSID_VEXAThumCtrl, &vexa::gallery::CreateVEXAThumCtrl},
    {&CLSID_VEXAThumPropPage, &vexa::gallery::CreateVEXAThumPropPage},
};

}  // namespace

VEXA_COM_SERVER_EXPORTS(kClasses, "VEXAThum.reg")
