// The codec's side of the kept pictures (Codec.h; not a public header).
#pragma once

#include <string_view>

#include "platform/imaging/Bitmap.h"

namespace vexa::imaging {
// Declared in Codec.h, which the users of this header include.
struct LoadOptions;
}  // namespace vexa::imaging

namespace vexa::imaging::detail {

// A copy of the picture kept for the file at path, when one covers the
// minimum size of options (which must ask for one).
bool FindKeptPicture(std::string_view path, const LoadOptions& options, Bitmap* out);
// Tells the decode observer of a decode.
void NoteDecode(std::string_view name, const Bitmap& picture);

}  // namespace vexa::imaging::detail
