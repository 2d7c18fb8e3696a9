#include "plugins/discpakb/RiffWave.h"

#include <algorithm>
#include <cstring>

namespace vexa::discpakb {

namespace {

std::uint16_t Le16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] | p[1] << 8); }
std::uint32_t Le32(const std::uint8_t* p) {
  return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
         static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

// Chunk ids are four printable ASCII characters.
bool LooksLikeId(const std::uint8_t* p) {
  for (int i = 0; i < 4; ++i) {
    if (p[i] < 0x20 || p[i] > 0x7E) return false;
  }
  return true;
}

bool IdAt(ByteSource& source, std::uint64_t offset) {
  std::uint8_t id[4];
  return source.ReadAt(offset, id, 4) == 4 && LooksLikeId(id);
}

}  // namespace

bool FindChunk(ByteSource& source, const char id[4], std::uint64_t* offset, std::uint32_t* size) {
  const std::uint64_t end = source.Size();
  std::uint64_t pos = 12;
  while (pos + 8 <= end) {
    std::uint8_t header[8];
    if (source.ReadAt(pos, header, 8) != 8) return false;
    const std::uint32_t chunkSize = Le32(header + 4);
    if (std::memcmp(header, id, 4) == 0) {
      *offset = pos + 8;
      *size = chunkSize;
      return true;
    }
    std::uint64_t next = pos + 8 + chunkSize;
    if (chunkSize & 1) {
      if (IdAt(source, next + 1) || !IdAt(source, next)) next += 1;
    }
    pos = next;
  }
  return false;
}

bool ParseWave(ByteSource& source, WaveLayout* layout, std::string* why) {
  auto refuse = [&](const char* text) {
    if (why) *why = text;
    return false;
  };
  std::uint8_t h[36];
  if (source.ReadAt(0, h, sizeof h) != sizeof h) return refuse("file shorter than a WAV head");
  if (std::memcmp(h, "RIFF", 4) != 0) return refuse("not a RIFF file");
  if (std::memcmp(h + 8, "WAVE", 4) != 0) return refuse("not a WAVE form");
  if (std::memcmp(h + 12, "fmt ", 4) != 0) return refuse("no fmt chunk at offset 12");
  const std::uint32_t fmtSize = Le32(h + 16);
  if (fmtSize < 16) return refuse("fmt chunk too small");
  WaveHead& w = layout->head;
  w.formatTag = Le16(h + 20);
  w.channels = Le16(h + 22);
  w.samplesPerSec = Le32(h + 24);
  w.avgBytesPerSec = Le32(h + 28);
  w.blockAlign = Le16(h + 32);
  w.bitsPerSample = Le16(h + 34);
  if (w.samplesPerSec != 44100 && w.samplesPerSec != 22050 && w.samplesPerSec != 11025)
    return refuse("sample rate not 44100, 22050 or 11025 Hz");
  if (w.bitsPerSample != 16) return refuse("not 16 bits a sample");
  if (w.channels < 1 || w.channels > kMaxWaveChannels) return refuse("unsupported channel count");
  if (w.formatTag == kWaveFormatPcm && w.blockAlign != w.channels * 2)
    return refuse("PCM block size does not match the channels");
  // The fmt chunk's extra bytes (cbSize and what follows), at most 1 KiB kept.
  layout->fmtExtra.clear();
  if (fmtSize > 16) {
    const std::uint32_t extra = std::min<std::uint32_t>(fmtSize - 16, 1024);
    layout->fmtExtra.resize(extra);
    layout->fmtExtra.resize(source.ReadAt(36, layout->fmtExtra.data(), extra));
  }
  std::uint64_t offset = 0;
  std::uint32_t size = 0;
  if (!FindChunk(source, "data", &offset, &size)) return refuse("no data chunk");
  if (size == 0) return refuse("empty data chunk");
  layout->dataOffset = offset;
  layout->dataSize = size;
  return true;
}

}  // namespace vexa::discpakb
