// The exported functions of vidlathe that read existing MPEG-1 files: the
// stream-property probe, and the entry points that join and re-encode
// motion and still streams into one Video CD system stream.
#pragma once

#include <cstdint>

#include "encoder/Vidlathe.h"

// Reports progress as a percentage (0..100) of the input bytes processed;
// returning 0 cancels the call.
typedef int (*ProgressCallback)(int percent);

// The list of Concatenate_VCD_Stills and Concatenate_VCD_motion.
struct MpegFileList {
  int32_t count;
  const char* const* paths;
};

// One entry of Motion_VCD_Component's list: with useOwnAudio the file is a
// system stream whose own audio is kept; without, an elementary video
// stream, with the audio taken from its own list of MPEG audio files.
struct MotionComponent {
  int32_t useOwnAudio;
  const char* path;
  int32_t audioCount;
  const char* const* audioPaths;
};

struct MotionComponentList {
  int32_t count;
  const MotionComponent* entries;
};

extern "C" {

// Fills the 68-byte record from an MPEG-1 system, elementary video or audio
// file; a file that cannot be opened leaves it zero. A file the record
// cannot describe whole (unreadable, no MPEG stream, cut short in its first
// packets, video without a sequence header) leaves a reason for
// Vidlathe_GetLastFailure; "" when the record is whole.
VIDLATHE_API void Get_Mpeg_Stream_Prop(const char* path, StreamProperties* props);

// Motion inputs into one motion stream: mode 1 (352x240, 29.97/s), 2
// (352x240, 23.976/s), 3 (352x288, 25/s). Inputs that already match are
// copied unchanged, the others decoded and re-encoded. Every input is
// checked first: a missing, unreadable, damaged or cut input fails the call,
// while a valid stream of another kind (a still) is left out. Returns 1, or
// 0 on failure, when progress cancelled the call, or when no input was of
// the mode's kind; a failed call leaves no output.
VIDLATHE_API int Motion_VCD_Component(const MotionComponentList* list, int mode, const char* outputPath,
                         ProgressCallback progress);
// Still streams into one still stream: modes 1..3 keep 352-wide stills,
// 4..6 still pairs.
VIDLATHE_API int Concatenate_VCD_Stills(const MpegFileList* list, int mode, const char* outputPath,
                           ProgressCallback progress);
// Motion streams into one motion stream; modes as Motion_VCD_Component.
VIDLATHE_API int Concatenate_VCD_motion(const MpegFileList* list, int mode, const char* outputPath,
                           ProgressCallback progress);

}  // extern "C"
