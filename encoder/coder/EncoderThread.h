// The encoder thread of an encoding call: it takes the call's pictures from
// the picture queue and codes them into the job's coded-video ring, with
// the coder of the job's kind: the still coder (0x101, 0x110: each still one
// I picture, or a pair's two), the motion coder of stills (0x202, 0x203:
// each still shown for its display time as closed groups of a second or
// less) or the re-encode coder (0x301: decoded pictures in the I P B B
// order).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "encoder/common/ColourConvert.h"
#include "encoder/common/EncoderRecords.h"
#include "platform/base/Queue.h"

namespace vidlathe {

struct QueuedPicture {
  std::unique_ptr<StillPlanes> planes;  // none: the end of the list
  uint32_t displayMs = 0;
};
using PictureQueue = vexa::base::ClosableQueue<QueuedPicture>;
constexpr size_t kPictureQueueSize = 5;

// The thread's routine. It sets job->success to 1, or to 0 when coding
// failed or stopped early (the multiplexer gone, or a kind it does not
// code); then it closes the queue to putters and marks the end of the
// coded data.
void RunEncoderThread(EncodeJob* job, PictureQueue* queue);

// The pictures of each piece a still's display time is cut into: pieces of
// 1000 ms while 1500 ms or more remain, then the rest; a piece of t ms has
// floor(t x fps / 1000 + 0.5) pictures, and at least one.
std::vector<int> PiecePictureCounts(uint32_t displayMs, double fps);

}  // namespace vidlathe
