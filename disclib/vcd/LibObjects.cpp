// The library-object registry behind DLL_LL_GetLibObject and
// DLL_LL_ReleaseObject: the recorder layer's "CDR4COMS" and "CDR4BASE", and
// the "DISCPAK" table.
#include <cstring>
#include <mutex>
#include <new>
#include <string>

#include "disclib/recorder/CDR4BASE.h"
#include "disclib/recorder/CDR4COMS.h"
#include "disclib/vcd/AudioEncode.h"
#include "disclib/vcd/Bindings.h"
#include "disclib/vcd/DiscpakLibrary.h"
#include "disclib/vcd/ISOFormatFactory.h"
#include "disclib/vcd/Menu20.h"
#include "disclib/vcd/VideoEncode.h"

namespace vexa::vcd {

namespace {

struct LibObject {
  std::string name;
  void* (*get)() = nullptr;
  void (*release)(void*) = nullptr;
  std::int32_t count = 0;
  void* cached = nullptr;
};

constexpr int kMaxLibObjects = 16;

template <typename T, typename... Args>
T* NewNoThrow(Args... args) {
  try {
    return new T(args...);
  } catch (...) {
    return nullptr;
  }
}

I_VCDClassMPG1VideoEncode* NewVideoEncode() { return NewNoThrow<VCDClassMPG1VideoEncode>(); }
void DeleteVideoEncode(I_VCDClassMPG1VideoEncode* o) { delete o; }
I_VCDClass20Menu* NewMenu(std::uint16_t maxListId) { return NewNoThrow<VCDClass20Menu>(maxListId); }
void DeleteMenu(I_VCDClass20Menu* o) { delete o; }
I_VCDClassMPG1L2AudioEncode* NewAudioEncode() { return NewNoThrow<VCDClassMPG1L2AudioEncode>(); }
void DeleteAudioEncode(I_VCDClassMPG1L2AudioEncode* o) { delete o; }

DISCPAK_LibObject g_discpak;

void* DiscpakGet() {
  VCDBindHelperLibraries();  // the table is usable without the libraries
  DISCPAK_LibObject& t = g_discpak;
  t = DISCPAK_LibObject{};
  t.version = kDiscpakVersion;
  t.version2 = kDiscpakVersion2;
  t.NewVCDClassMPG1VideoEncode = &NewVideoEncode;
  t.DeleteVCDClassMPG1VideoEncode = &DeleteVideoEncode;
  t.NewVCDClass20Menu = &NewMenu;
  t.DeleteVCDClass20Menu = &DeleteMenu;
  t.NewVCDClassISOFormat = &NewISOFormat;
  t.DeleteVCDClassISOFormat = &DeleteISOFormat;
  t.NewVCDClassMPG1L2AudioEncode = &NewAudioEncode;
  t.DeleteVCDClassMPG1L2AudioEncode = &DeleteAudioEncode;
  t.VCDGetPicture = &VCDGetPicture;
  t.VCDVidlathe1 = &VCDVidlathe1;
  t.VCDSetARASFactory = &VCDSetARASFactory;
  t.VCDCPUScale = &VCDCPUScale;
  t.VCDMotion_VCD_Component = &VCDMotion_VCD_Component;
  t.VCDConcatenate_VCD_Stills = &VCDConcatenate_VCD_Stills;
  t.VCDConcatenate_VCD_motion = &VCDConcatenate_VCD_motion;
  t.VCDGet_Mpeg_Stream_Prop = &VCDGet_Mpeg_Stream_Prop;
  t.VCDGet_MP2_Prop = &VCDGet_MP2_Prop;
  t.VCDNewBasicBitmap = &VCDNewBasicBitmap;
  t.VCDDeleteBasicBitmap = &VCDDeleteBasicBitmap;
  t.VCDSetNewBasicBitmap = &VCDSetNewBasicBitmap;
  t.VCDSetDeleteBasicBitmap = &VCDSetDeleteBasicBitmap;
  return &t;
}

void DiscpakRelease(void*) {}

// The recorder layer's getters and releases, as entries of the registry.
void* ComsGet() { return CDR4COMS_Get(); }
void ComsRelease(void* table) { CDR4COMS_Release(static_cast<CDR4COMS*>(table)); }
void* BaseGet() { return CDR4BASE_Get(); }
void BaseRelease(void* table) { CDR4BASE_Release(static_cast<CDR4BASE*>(table)); }

struct Registry {
  std::mutex mutex;
  LibObject entries[kMaxLibObjects];
  int count = 0;
  bool filled = false;

  void Add(const char* name, void* (*get)(), void (*release)(void*)) {
    if (count >= kMaxLibObjects) return;
    entries[count].name = name;
    entries[count].get = get;
    entries[count].release = release;
    ++count;
  }
  void FillOnce() {
    if (filled) return;
    filled = true;
    count = 0;
    Add("CDR4COMS", &ComsGet, &ComsRelease);
    Add("CDR4BASE", &BaseGet, &BaseRelease);
    Add("DISCPAK", &DiscpakGet, &DiscpakRelease);
  }
};

Registry& TheRegistry() {
  static Registry* r = new Registry;  // lives for the process
  return *r;
}

}  // namespace

std::int32_t LibObjectCountForTesting(const char* name) {
  Registry& r = TheRegistry();
  std::lock_guard lock(r.mutex);
  r.FillOnce();
  for (int i = 0; i < r.count; ++i) {
    if (r.entries[i].name == name) return r.entries[i].count;
  }
  return -1;
}

}  // namespace vexa::vcd

extern "C" DISCPAK_API void* DLL_LL_GetLibObject(const char* name) {
  if (!name) return nullptr;
  vexa::vcd::Registry& r = vexa::vcd::TheRegistry();
  std::lock_guard lock(r.mutex);
  r.FillOnce();
  for (int i = 0; i < r.count; ++i) {
    vexa::vcd::LibObject& e = r.entries[i];
    if (e.name != name) continue;  // exact, case-sensitive
    if (e.cached) {
      ++e.count;
      return e.cached;
    }
    void* table = e.get();
    if (table) {
      e.cached = table;
      e.count = 1;
    }
    return table;
  }
  return nullptr;
}

extern "C" DISCPAK_API void DLL_LL_ReleaseObject(void* table) {
  if (!table) return;
  vexa::vcd::Registry& r = vexa::vcd::TheRegistry();
  std::lock_guard lock(r.mutex);
  for (int i = 0; i < r.count; ++i) {
    vexa::vcd::LibObject& e = r.entries[i];
    if (e.cached != table) continue;
    if (--e.count < 1) {
      e.count = 0;
      e.cached = nullptr;
      e.release(table);
    }
  }
}
