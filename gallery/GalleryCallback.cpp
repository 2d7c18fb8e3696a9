#include "gallery/GalleryCallback.h"

CDropSource::~CDropSource() = default;
