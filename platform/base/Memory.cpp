#include "platform/base/Memory.h"

#if __has_include(<malloc.h>)
#include <malloc.h>
#endif

namespace vexa::base {

void LimitAllocatorArenas() {
#if defined(M_ARENA_MAX)
  mallopt(M_ARENA_MAX, 4);
#endif
}

}  // namespace vexa::base
