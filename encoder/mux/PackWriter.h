// The system layer of a Video CD stream, written field by field: packs of
// exactly 2324 bytes, 1200 ticks of the 90 kHz clock apart (mux rate 3528),
// their system headers, video and audio packets and padding, and the
// 5-byte time-stamp field that packs and packets carry.
#pragma once

#include <cstddef>
#include <cstdint>

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

// Writes the 5-byte layout of a time stamp or clock reference: the 4-bit
// prefix, the 33 bits of t with their marker bits.
void WriteTimeStamp(uint8_t* p, int prefix, int64_t t);

// Whole packs: the system header of kind 1 (E1), 2 (E1 and E2), 3 (E0) or
// 4 (C0, with the 20 zero bytes of an audio pack) padded to the pack size;
// a pack of padding alone.
void WriteSystemHeaderPack(uint8_t* pack, int64_t scr, int kind);
void WritePaddingPack(uint8_t* pack, int64_t scr);
// Makes the pack after its header padding that ends with the stream's end
// code (00 00 01 B9) in its last four bytes.
void WriteEndCode(uint8_t* pack);

}  // namespace vidlathe
