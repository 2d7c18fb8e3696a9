// The stream-property probes, and the pieces of them that the re-encoding
// path shares.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "encoder/reader/StreamReader.h"
#include "encoder/Vidlathe.h"

namespace vidlathe {

// The stream entries of a system header whose start code has just been read
// (length, 6 fixed bytes, then 3 bytes per stream). video/audio receive the
// last listed id of each kind (unchanged when none); kind is raised to 1
// (E0), 2 (E1) or 3 (E2; wins over E1). false when the header is cut short.
bool ReadSystemHeader(SystemStreamReader& r, int* videoId, int* audioId, int* kind);

// The fields of the first sequence header in data into props (offsets
// 24..40); false when there is none complete.
bool ParseSequenceHeaderFields(const uint8_t* data, size_t size, StreamProperties* props);
// The first MPEG audio frame of data, confirmed by a second header one frame
// length further on, into the audio fields of props; false when none is.
bool ParseAudioFields(const uint8_t* data, size_t size, StreamProperties* props);

// Fills props from an MPEG-1 system, elementary video or audio file, as
// Get_Mpeg_Stream_Prop does. false, with the reason recorded, when the file
// cannot be read, is nothing the record describes, ends inside a pack or
// packet within the first packets, or lists a video stream without a
// complete sequence header (the record is filled as far as it went).
bool ReadStreamProperties(const std::string& path, StreamProperties* props);

// Fills the audio fields of props (the rest zero) from the first frame of
// an MPEG audio file, as Get_MP2_Prop does. false, with the reason
// recorded, only when the file cannot be read; a file that is not MPEG
// audio leaves the fields zero.
bool ReadMp2Properties(const std::string& path, StreamProperties* props);

}  // namespace vidlathe
