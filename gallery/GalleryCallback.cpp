#include "gallery/GalleryCallback.h"

namespace vexa::gallery {

CDropSource::~CDropSource() = default;

}  // namespace vexa::gallery
