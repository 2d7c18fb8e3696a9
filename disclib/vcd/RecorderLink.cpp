// Stand-ins for the recorder layer's entry points, used only while the
// library is linked without it: weak definitions, so the recorder's own
// (strong) ones take their place in the same library. Without a recorder
// there is no transport or drive object and log lines go nowhere.
#include "disclib/vcd/RecorderLink.h"

extern "C" {
__attribute__((weak)) void* CDR4COMS_Get() { return nullptr; }
__attribute__((weak)) void CDR4COMS_Release(void*) {}
__attribute__((weak)) void* CDR4BASE_Get() { return nullptr; }
__attribute__((weak)) void CDR4BASE_Release(void*) {}
__attribute__((weak)) void COMS_Log(const char*) {}
}
