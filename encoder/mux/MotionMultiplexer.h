// The system multiplexer of motion streams: the coded video of the
// CodedStreamBuffer, taken out in chunks of one packet's payload, becomes E0
// packets, interleaved with Layer II audio packets (C0) when the job names
// an audio queue, in 2324-byte packs 1200 ticks apart. The multiplexer finds
// the pictures by their start codes, with their coding and display numbers
// (from the temporal references), and ends a packet a few bytes early rather
// than let a stamped picture's header run into the next packet.
//
// Time stamps follow the decoder's buffer model: the data from one stamped
// packet up to the next stamped packet (the pictures that start in it) has
// wholly arrived by the decoding time of the first of them, and the video
// buffer never holds more than the system header declares. Decoding times
// keep the frame cadence and move later, all together, only when data would
// otherwise arrive too late; packs are held back until their time stamps
// are final.
#pragma once

#include <cstdint>

#include "encoder/common/EncoderRecords.h"

namespace vidlathe {

// Ticks from the first video pack to the first picture's decoding time.
constexpr int64_t kMotionStartDelay = 30000;

// The multiplexer thread's routine for motion kinds; sets job->result to 1
// when the stream was written completely.
void RunMotionMultiplexer(MultiplexJob* job);

}  // namespace vidlathe
