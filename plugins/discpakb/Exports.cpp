// The plug-in's two entry points.
#include "plugins/ARAS.h"
#include "plugins/discpakb/Factory.h"

extern "C" DISCPAKB_API ARAS* GetNewARAS(const char* path) {
  try {
    return vexa::discpakb::MakeAudioStream(path).release();
  } catch (...) {
    return nullptr;  // out of memory: nothing crosses the plug-in boundary
  }
}

extern "C" DISCPAKB_API void DeleteARAS(ARAS* stream) { delete stream; }
