// The 4-byte header of an MPEG audio frame (ISO/IEC 11172-3 and its
// extension to lower sampling frequencies) and what follows from it.
#pragma once

#include <cstdint>

namespace vidlathe {

struct MpegAudioHeader {
  int id = 0;            // 1 MPEG-1, 0 lower sampling frequencies
  int layerCode = 0;     // 3 Layer I, 2 Layer II, 1 Layer III
  int protection = 0;
  int bitRateIndex = 0;
  int samplingIndex = 0;
  int padding = 0;
  int privateBit = 0;

  int BitRate() const;       // bit/s, 0 when free format or invalid
  int SamplingRate() const;  // Hz, 0 when reserved
  int SamplesPerFrame() const;
  int FrameLength() const;   // bytes, 0 when it cannot be known
};

// Parses a 4-byte header; false when it is not a usable frame header
// (no sync, reserved layer, free-format or bad bit rate, reserved rate).
bool ParseAudioHeader(const uint8_t* p, MpegAudioHeader* h);

}  // namespace vidlathe
