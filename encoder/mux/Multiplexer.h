// The multiplexer thread of an encoding call. The coded video in the job's
// CodedStreamBuffer and, when the job names an audio queue, its Layer II
// frames become one Video CD system stream written to the job's output:
// still kinds (0x101, 0x110) as whole pictures on streams E1 and E2, motion
// kinds (0x202, 0x203, 0x301) in packet-sized chunks on stream E0.
#pragma once

#include <cstdint>

#include "encoder/common/EncoderRecords.h"

namespace vidlathe {

// Ticks from the first video pack of a motion stream to its first picture's
// decoding time.
constexpr int64_t kMotionStartDelay = 30000;

// The thread's routine: runs the multiplexer of the job's kind and sets
// job->result to 1 when the stream was written completely. Whatever
// happens, the encoder is released from waiting for a reader and the audio
// reader from waiting for room.
void RunMultiplexer(MultiplexJob* job);

// The two multiplexers; true when the stream was written completely.
bool MultiplexStills(MultiplexJob* job);
bool MultiplexMotion(MultiplexJob* job);

}  // namespace vidlathe
