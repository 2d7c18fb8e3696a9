// The MPEG-1 system multiplexer for Video CD: coded still pictures from the
// CodedStreamBuffer and Layer II frames from the AudioInputQueue become
// 2324-byte packs, 1200 ticks of the 90 kHz clock apart (mux rate 3528).
//
// Time stamps are derived from a model of the decoder's buffers of the sizes
// the system headers declare: a picture is sent only when the buffer has
// room for it, and its decoding time lies after the pack that completes it;
// an audio packet is sent as soon as the audio buffer has room for it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "encoder/common/EncoderRecords.h"

namespace vidlathe {

constexpr size_t kPackSize = 2324;
constexpr int64_t kTicksPerPack = 1200;
constexpr uint32_t kMuxRate = 3528;
constexpr size_t kVideoPayload = 2294;
constexpr size_t kAudioPayload = 2279;
constexpr size_t kAudioTail = 20;  // zero bytes that close every audio pack
constexpr int kE1BufferBound = 46;   // units of 1024 bytes
constexpr int kE2BufferBound = 219;  // ceil(224000 / 1024)
constexpr int kAudioBufferBound = 32;  // units of 128 bytes

// Pack and packet writers over a pack buffer; each returns bytes written.
size_t WritePackHeader(uint8_t* p, int64_t scr);
size_t WriteSystemHeader(uint8_t* p, int kind);
// A padding packet of exactly n bytes (n >= 6).
size_t WritePaddingPacket(uint8_t* p, size_t n);
// Fills a pack after its header with one video (E0..E2) or audio (C0)
// packet of up to the capacity, followed by what the short payload leaves
// (stuffing or a padding packet) and, for audio, the 20 zero bytes. Returns
// the payload bytes taken from data.
size_t WriteVideoPacket(uint8_t* pack, const uint8_t* data, size_t len, int streamId,
                        bool withTimeStamps, int64_t pts, int64_t dts, int stdBound);
size_t WriteAudioPacket(uint8_t* pack, const uint8_t* data, size_t len, bool withPts,
                        int64_t pts);

// The multiplexer thread's routine; sets job->result to 1 when the stream
// was written completely. On a write error it stops, releases the encoder
// and the audio reader, and leaves the result 0.
void RunMultiplexer(MultiplexJob* job);

}  // namespace vidlathe
