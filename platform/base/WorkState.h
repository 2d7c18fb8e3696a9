// The states of a run of work (WorkRun.h), one vocabulary for every worker:
// the encoders, the menu builder, the image builder and its burn, the image
// stream and the thumbnail worker. The values are the ones the work objects
// answer through their result calls.
#pragma once

#include <cstdint>

namespace vexa::base {

enum WorkState : std::int32_t {
  kWorkSuccess = 0,
  kWorkRunning = 1,
  // An input (a file, a picture, a segment) failed; the failing name says which.
  kWorkInputFailed = 2,
  // The burn failed (the drive refused a write, a track or the session).
  kWorkBurnFailed = 3,
  kWorkCancelled = 4,
  // An unexpected fault inside the worker.
  kWorkFault = 5,
  // The encoder reported failure (for the menu builder: a page or the title).
  kWorkEncoderFailed = 6,
  // The libraries or objects the work needs are missing: nothing ran.
  kWorkNotBound = 7,
};

}  // namespace vexa::base
