// The in-process server VEXAImg: its class table and exports.
#include "imaging/VEXAImgUtil_p.h"

namespace {

const vexa::com::ClassEntry kClasses[] = {
    {&CLSID_VEXAImgUtil, &vexa::imgutil::CreateVEXAImgUtil},
};

}  // namespace

VEXA_COM_SERVER_EXPORTS(kClasses, "VEXAImg.reg")
