// The audio-source interface of the plug-in discpakb: an audio file (WAV, MP3
// or WMA) read as 16-bit stereo PCM frames at 44100 Hz, the only input the
// Video CD audio encoder accepts. The disc library binds GetNewARAS and
// DeleteARAS by name and never sees the readers' classes.
#pragma once

#include <cstdint>

#include "platform/base/Export.h"

#define DISCPAKB_API VEXA_EXPORT

// Describes the file, not the frames that Read delivers. Six signed 32-bit
// fields in this order.
struct AudioFormatRecord {
  std::int32_t bitRate = 0;      // bits per second
  std::int32_t peakBitRate = 0;  // bits per second
  std::int32_t sampleRate = 0;   // Hz
  std::int32_t channels = 0;
  std::int32_t bitsPerSample = 0;
  std::int32_t formatCode = 0;
};

// Frames are 4 bytes: a signed 16-bit left sample followed by a signed 16-bit
// right sample, little-endian, 44100 frames a second.
class ARAS {
 public:
  // Closes the stream and frees the object.
  virtual ~ARAS() = default;
  // Prepares the file for reading from its start (closing any earlier
  // opening first): 1, or 0 when the file cannot be read.
  virtual std::int32_t Open() = 0;
  // Frees decoder, buffers and file.
  virtual void Close() = 0;
  // Fills `frames` with whole frames, at most `byteCount` bytes (a multiple
  // of 4); answers the bytes delivered, 0 at the end of the stream. Never
  // fails: a decoding error ends the stream at the last good frame.
  virtual std::int32_t Read(std::uint32_t* frames, std::int32_t byteCount) = 0;
  // A size in bytes in *bytes (its meaning depends on the reader) and the
  // duration in whole seconds.
  virtual std::int32_t GetSize(std::uint32_t* bytes) = 0;
  // Duration of the file in milliseconds; 0 when unknown.
  virtual std::uint32_t GetDurationMs() = 0;
  // The record describing the file (owned by the object), or null.
  virtual AudioFormatRecord* GetFormat() = 0;
  // Why the last Open answered 0, in words ("its sample rate is 4000 Hz;
  // ..."); empty after a successful Open. Owned by the object.
  virtual const char* GetError() = 0;
};

using GetNewARASFn = ARAS* (*)(const char* path);
using DeleteARASFn = void (*)(ARAS* stream);

extern "C" {
// A reader for the file's kind (by the last four characters of the path), not
// yet opened; null for a path of 3 characters or fewer, of 512 or more, for a
// file that cannot be opened, or for an unknown kind.
DISCPAKB_API ARAS* GetNewARAS(const char* path);
// Deletes a reader made by GetNewARAS; null is ignored.
DISCPAKB_API void DeleteARAS(ARAS* stream);
}
