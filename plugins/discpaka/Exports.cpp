// The plug-in's two entry points.
#include <memory>
#include <new>

#include "plugins/BasicBitmap.h"
#include "plugins/discpaka/BasicBitmap.h"

extern "C" DISCPAKA_API I_BasicBitmap* NewBasicBitmap(std::int32_t width, std::int32_t height,
                                                      std::int32_t backColour) {
  CoInitialize(nullptr);
  std::unique_ptr<vexa::discpaka::BasicBitmap> bitmap(new (std::nothrow) vexa::discpaka::BasicBitmap);
  if (!bitmap) {
    CoUninitialize();
    return nullptr;
  }
  if (width != 0 && height != 0 && !bitmap->Init(width, height, backColour)) {
    bitmap.reset();
    CoUninitialize();
    return nullptr;
  }
  return bitmap.release();
}

extern "C" DISCPAKA_API void DeleteBasicBitmap(I_BasicBitmap* bitmap) {
  if (!bitmap) return;
  delete bitmap;
  CoUninitialize();
}
