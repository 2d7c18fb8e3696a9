// Bitmap handles: the opaque HBITMAP values the system's interfaces pass
// around. A handle owns its bitmap until DeleteObject; a value that is not a
// live handle is recognised and refused, never dereferenced.
#pragma once

#include "platform/imaging/ImagingExport.h"

#include "platform/imaging/Bitmap.h"

struct HBITMAP__;  // never defined
using HBITMAP = HBITMAP__*;

namespace vexa::imaging {

// Takes the bitmap over; null when it is empty.
VEXA_IMAGING_API HBITMAP CreateBitmapHandle(Bitmap bitmap);
// The bitmap of a live handle, or null. Valid until the handle is deleted.
VEXA_IMAGING_API const Bitmap* BitmapFromHandle(HBITMAP handle);
// Frees a live handle; false for anything else.
VEXA_IMAGING_API bool DeleteBitmapHandle(HBITMAP handle);

}  // namespace vexa::imaging

// The system's name for freeing a handle (nonzero on success).
VEXA_IMAGING_API int DeleteObject(HBITMAP handle);
