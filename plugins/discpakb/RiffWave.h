// The RIFF WAVE walker: the fixed 36-byte head a WAV file must start with,
// the fmt chunk with its extra bytes, and the data chunk found by walking the
// chunks (each padded to an even size, as RIFF lays them out).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "plugins/discpakb/ByteSource.h"

namespace vexa::discpakb {

inline constexpr std::uint16_t kWaveFormatPcm = 1;

struct WaveHead {
  std::uint16_t formatTag = 0;
  std::uint16_t channels = 0;
  std::uint32_t samplesPerSec = 0;
  std::uint32_t avgBytesPerSec = 0;
  std::uint16_t blockAlign = 0;
  std::uint16_t bitsPerSample = 0;
};

struct WaveLayout {
  WaveHead head;
  std::vector<std::uint8_t> fmtExtra;  // the fmt chunk's bytes after its 16 fixed ones
  std::uint64_t dataOffset = 0;
  std::uint32_t dataSize = 0;
};

// The most channels a WAV file may have here.
inline constexpr int kMaxWaveChannels = 32;

// Reads and checks the head and finds the data chunk. The head must be
// "RIFF", "WAVE" and "fmt " at offset 12, 16 bits a sample, 44100, 22050 or
// 11025 Hz, 1 to 32 channels, and for plain PCM a block of 2 bytes a
// channel; a data chunk of at least one byte must follow. On refusal, false
// with the reason in *why.
bool ParseWave(ByteSource& source, WaveLayout* layout, std::string* why);

// Walks the chunks after the form type for the first with this id: its data
// offset and its stated size. A chunk of odd size is followed by a pad byte;
// a writer that left the pad out is still followed when the padded position
// holds no chunk id and the unpadded one does.
bool FindChunk(ByteSource& source, const char id[4], std::uint64_t* offset, std::uint32_t* size);

}  // namespace vexa::discpakb
