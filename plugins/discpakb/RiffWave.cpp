#include "plugins/discpakb/RiffWave.h"

#include <algorithm>
#include <cstring>
#include <string>

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
  auto refuse = [&](const std::string& text) {
    if (why) *why = text;
    return false;
  };
  std::uint8_t h[36];
  if (source.ReadAt(0, h, sizeof h) != sizeof h) return refuse("it is shorter than a WAV file's head");
  if (std::memcmp(h, "RIFF", 4) != 0) return refuse("it is not a RIFF file");
  if (std::memcmp(h + 8, "WAVE", 4) != 0) return refuse("it is a RIFF file but not a WAVE sound");
  if (std::memcmp(h + 12, "fmt ", 4) != 0) return refuse("its format chunk does not follow the RIFF head");
  const std::uint32_t fmtSize = Le32(h + 16);
  if (fmtSize < 16) return refuse("its format chunk is cut short");
  WaveHead& w = layout->head;
  w.formatTag = Le16(h + 20);
  w.channels = Le16(h + 22);
  w.samplesPerSec = Le32(h + 24);
  w.avgBytesPerSec = Le32(h + 28);
  w.blockAlign = Le16(h + 32);
  w.bitsPerSample = Le16(h + 34);
  if (w.channels < 1 || w.channels > kMaxWaveChannels) {
    return refuse("it has " + std::to_string(w.channels) + " channels; 1 to " + std::to_string(kMaxWaveChannels) +
                   " can be read");
  }
  if (w.samplesPerSec < kMinWaveRate || w.samplesPerSec > kMaxWaveRate) {
    return refuse("its sample rate is " + std::to_string(w.samplesPerSec) + " Hz; " + std::to_string(kMinWaveRate) +
                   " to " + std::to_string(kMaxWaveRate) + " Hz can be read");
  }
  // The fmt chunk's extra bytes (cbSize and what follows), at most 1 KiB kept.
  layout->fmtExtra.clear();
  if (fmtSize > 16) {
    const std::uint32_t extra = std::min<std::uint32_t>(fmtSize - 16, 1024);
    layout->fmtExtra.resize(extra);
    layout->fmtExtra.resize(source.ReadAt(36, layout->fmtExtra.data(), extra));
  }
  layout->sampleFormat = w.formatTag;
  if (w.formatTag == kWaveFormatExtensible) {
    // cbSize 22: valid bits, channel mask, then the sub-format's GUID, whose
    // first two bytes are the tag of the coding.
    if (layout->fmtExtra.size() < 24) return refuse("its extensible fmt chunk is cut short");
    layout->sampleFormat = Le16(layout->fmtExtra.data() + 8);
  }
  const bool integer = layout->sampleFormat == kWaveFormatPcm;
  const bool floating = layout->sampleFormat == kWaveFormatFloat;
  if (integer || floating) {
    const std::uint16_t bits = w.bitsPerSample;
    const bool sizeOk = integer ? (bits == 8 || bits == 16 || bits == 24 || bits == 32) : (bits == 32 || bits == 64);
    if (!sizeOk) {
      return refuse("its samples are " + std::to_string(bits) + "-bit " + (integer ? "integers" : "floating point") +
                     "; " + (integer ? "8, 16, 24 or 32" : "32 or 64") + " bits can be read");
    }
    if (w.blockAlign != w.channels * (bits / 8)) return refuse("its block size does not match its channels and bits");
  }
  std::uint64_t offset = 0;
  std::uint32_t size = 0;
  if (!FindChunk(source, "data", &offset, &size)) return refuse("it has no sound data (no data chunk)");
  // A writer that could not seek back (ffmpeg into a pipe) leaves the size
  // at 0xFFFFFFFF, and a file cut short holds less than its head says: the
  // sound is what the file holds, to its end.
  const std::uint64_t present = source.Size() > offset ? source.Size() - offset : 0;
  if (size > present) size = static_cast<std::uint32_t>(present);
  if (size == 0) return refuse("its sound data is empty");
  layout->dataOffset = offset;
  layout->dataSize = size;
  return true;
}

}  // namespace vexa::discpakb
