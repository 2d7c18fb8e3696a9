#include "encoder/mux/PackWriter.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace vidlathe {

namespace {

void PutStd(uint8_t* p, int scale, int size) {
  p[0] = static_cast<uint8_t>(0x40 | (scale << 5) | ((size >> 8) & 0x1F));
  p[1] = static_cast<uint8_t>(size);
}

// Header stuffing may not exceed 16 bytes.
constexpr size_t kMaxStuffing = 16;

// Lays out one packet into pack[12..]: start code, length, stuffing, the
// time-stamp field (or its stand-in), payload, and what a short payload
// leaves. fieldSize is the size of the time-stamp field; baseStuffing the
// 0xFF bytes that stand in for it when it is absent.
size_t WritePacket(uint8_t* pack, int streamId, const uint8_t* field,
                   size_t fieldLen, size_t capacity, const uint8_t* data, size_t len,
                   size_t baseStuffing) {
  const size_t payload = std::min(len, capacity);
  const size_t shortfall = capacity - payload;
  size_t stuffing = 0, padding = 0;
  if (shortfall > 8 || (shortfall > 0 && baseStuffing + shortfall > kMaxStuffing))
    padding = shortfall;  // always >= 6 here: room for a padding packet
  else
    stuffing = shortfall;
  uint8_t* p = pack + 12;
  const size_t packetLength = stuffing + fieldLen + payload;
  p[0] = 0;
  p[1] = 0;
  p[2] = 1;
  p[3] = static_cast<uint8_t>(streamId);
  p[4] = static_cast<uint8_t>(packetLength >> 8);
  p[5] = static_cast<uint8_t>(packetLength);
  p += 6;
  std::memset(p, 0xFF, stuffing);
  p += stuffing;
  std::memcpy(p, field, fieldLen);
  p += fieldLen;
  std::memcpy(p, data, payload);
  p += payload;
  if (padding) WritePaddingPacket(p, padding);
  return payload;
}

}  // namespace

void WriteTimeStamp(uint8_t* p, int prefix, int64_t t) {
  const uint64_t v = static_cast<uint64_t>(t) & ((uint64_t{1} << 33) - 1);
  p[0] = static_cast<uint8_t>((prefix << 4) | ((v >> 29) & 0x0E) | 1);
  p[1] = static_cast<uint8_t>(v >> 22);
  p[2] = static_cast<uint8_t>(((v >> 14) & 0xFE) | 1);
  p[3] = static_cast<uint8_t>(v >> 7);
  p[4] = static_cast<uint8_t>(((v << 1) & 0xFE) | 1);
}

size_t WritePackHeader(uint8_t* p, int64_t scr) {
  p[0] = 0;
  p[1] = 0;
  p[2] = 1;
  p[3] = 0xBA;
  WriteTimeStamp(p + 4, 0x2, scr);
  p[9] = static_cast<uint8_t>(0x80 | (kMuxRate >> 15));
  p[10] = static_cast<uint8_t>(kMuxRate >> 7);
  p[11] = static_cast<uint8_t>(((kMuxRate << 1) & 0xFE) | 1);
  return 12;
}

size_t WriteSystemHeader(uint8_t* p, int kind) {
  struct Entry {
    int id, scale, bound;
  };
  std::vector<Entry> streams;
  int audioBound = 0, videoBound = 0, csps = 0;
  switch (kind) {
    case 1: streams = {{0xE1, 1, kE1BufferBound}}; videoBound = 1; break;
    case 2: streams = {{0xE1, 1, kE1BufferBound}, {0xE2, 1, kE2BufferBound}}; videoBound = 2; break;
    case 3: streams = {{0xE0, 1, kE1BufferBound}}; videoBound = 1; csps = 1; break;
    default: streams = {{0xC0, 0, kAudioBufferBound}}; audioBound = 1; csps = 1; break;
  }
  const size_t length = 6 + 3 * streams.size();
  p[0] = 0;
  p[1] = 0;
  p[2] = 1;
  p[3] = 0xBB;
  p[4] = static_cast<uint8_t>(length >> 8);
  p[5] = static_cast<uint8_t>(length);
  p[6] = static_cast<uint8_t>(0x80 | (kMuxRate >> 15));
  p[7] = static_cast<uint8_t>(kMuxRate >> 7);
  p[8] = static_cast<uint8_t>(((kMuxRate << 1) & 0xFE) | 1);
  p[9] = static_cast<uint8_t>((audioBound << 2) | (0 << 1) | csps);
  p[10] = static_cast<uint8_t>(0x80 | 0x40 | 0x20 | videoBound);
  p[11] = 0xFF;
  size_t n = 12;
  for (const Entry& e : streams) {
    p[n] = static_cast<uint8_t>(e.id);
    p[n + 1] = static_cast<uint8_t>(0xC0 | (e.scale << 5) | ((e.bound >> 8) & 0x1F));
    p[n + 2] = static_cast<uint8_t>(e.bound);
    n += 3;
  }
  return n;
}

size_t WritePaddingPacket(uint8_t* p, size_t n) {
  p[0] = 0;
  p[1] = 0;
  p[2] = 1;
  p[3] = 0xBE;
  p[4] = static_cast<uint8_t>((n - 6) >> 8);
  p[5] = static_cast<uint8_t>(n - 6);
  std::memset(p + 6, 0xFF, n - 6);
  if (n >= 8) p[7] = 0x0F;
  return n;
}

size_t WriteVideoPacket(uint8_t* pack, const uint8_t* data, size_t len, int streamId,
                        bool withTimeStamps, int64_t pts, int64_t dts, int stdBound) {
  uint8_t field[12];
  size_t base = 0;
  if (withTimeStamps) {
    PutStd(field, 1, stdBound);
    WriteTimeStamp(field + 2, 0x3, pts);
    WriteTimeStamp(field + 7, 0x1, dts);
  } else {
    std::memset(field, 0xFF, 11);
    field[11] = 0x0F;
    base = 11;
  }
  return WritePacket(pack, streamId, field, 12, kVideoPayload, data, len, base);
}

size_t WriteAudioPacket(uint8_t* pack, const uint8_t* data, size_t len, bool withPts,
                        int64_t pts) {
  uint8_t field[7];
  size_t base = 0;
  if (withPts) {
    PutStd(field, 0, kAudioBufferBound);
    WriteTimeStamp(field + 2, 0x2, pts);
  } else {
    std::memset(field, 0xFF, 6);
    field[6] = 0x0F;
    base = 6;
  }
  const size_t used = WritePacket(pack, 0xC0, field, 7, kAudioPayload, data, len, base);
  std::memset(pack + kPackSize - kAudioTail, 0, kAudioTail);
  return used;
}

void WriteSystemHeaderPack(uint8_t* pack, int64_t scr, int kind) {
  size_t n = WritePackHeader(pack, scr);
  n += WriteSystemHeader(pack + n, kind);
  const size_t end = kind == 4 ? kPackSize - kAudioTail : kPackSize;
  WritePaddingPacket(pack + n, end - n);
  if (kind == 4) std::memset(pack + end, 0, kAudioTail);
}

void WritePaddingPack(uint8_t* pack, int64_t scr) {
  WritePackHeader(pack, scr);
  WritePaddingPacket(pack + 12, kPackSize - 12);
}

void WriteEndCode(uint8_t* pack) {
  WritePaddingPacket(pack + 12, kPackSize - 12 - 4);
  uint8_t* p = pack + kPackSize - 4;
  p[0] = 0;
  p[1] = 0;
  p[2] = 1;
  p[3] = 0xB9;
}

}  // namespace vidlathe
