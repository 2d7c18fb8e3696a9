// Symbol export for the shared libraries. Every library is built with hidden
// visibility by default; a deliverable marks the entry points its callers use
// with its own macro, defined from this one in its public header, e.g.
//
//   #define VIDLATHE_API VEXA_EXPORT
//
// so `nm -D` of a library lists its entry points and nothing else.
#pragma once

#define VEXA_EXPORT __attribute__((visibility("default")))

// What vexa_base, the platform's basic library, exports: the calls and
// classes of its public headers.
#define VEXA_BASE_API VEXA_EXPORT
