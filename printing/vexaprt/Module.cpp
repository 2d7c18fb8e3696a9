// The in-process server vexaprt: its class table and exports.
#include "idl/vexaprt.h"

namespace vexa::vexaprt {
HRESULT CreateCoVexaPrt(REFIID iid, void** ppv);
}

namespace {

const vexa::com::ClassEntry kClasses[] = {
    {&CLSID_CoVexaPrt, &vexa::vexaprt::CreateCoVexaPrt},
};

}  // namespace

VEXA_COM_SERVER_EXPORTS(kClasses, "vexaprt.reg")
