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
inline constexpr std::uint16_t kWaveFormatFloat = 3;
inline constexpr std::uint16_t kWaveFormatMpeg = 0x50;        // MPEG audio, layer I or II
inline constexpr std::uint16_t kWaveFormatMpegLayer3 = 0x55;  // MP3
inline constexpr std::uint16_t kWaveFormatExtensible = 0xFFFE;

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
  // The coding of the samples: the format tag, or for an extensible file
  // the tag its sub-format names.
  std::uint16_t sampleFormat = 0;
};

// The most channels a WAV file may have here, and its range of rates.
inline constexpr int kMaxWaveChannels = 32;
inline constexpr std::uint32_t kMinWaveRate = 8000;
inline constexpr std::uint32_t kMaxWaveRate = 96000;

// Reads and checks the head and finds the data chunk. The head must be
// "RIFF", "WAVE" and "fmt " at offset 12, 8000 to 96000 Hz and 1 to 32
// channels. Integer PCM has 8, 16, 24 or 32 bits a sample and floating
// point 32 or 64, each with a block of whole samples for every channel (for
// an extensible file the sub-format decides which); other codings (ADPCM,
// mu-law, ...) are left to the decoder. A data chunk of at least one byte
// must follow; a data chunk that states more than the file holds (a head
// written into a pipe, a file cut short) has the bytes the file holds. On
// refusal, false with the reason, in words, in *why.
bool ParseWave(ByteSource& source, WaveLayout* layout, std::string* why);

// Walks the chunks after the form type for the first with this id: its data
// offset and its stated size. A chunk of odd size is followed by a pad byte;
// a writer that left the pad out is still followed when the padded position
// holds no chunk id and the unpadded one does.
bool FindChunk(ByteSource& source, const char id[4], std::uint64_t* offset, std::uint32_t* size);

}  // namespace vexa::discpakb
