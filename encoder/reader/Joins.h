// The calls that join existing MPEG-1 files into one Video CD stream:
// motion components, still streams and motion streams. Each input is first
// checked to be what it claims to be; then it is copied unchanged (its
// clocks moved to continue the output's) or decoded, converted to the
// target rate and size, coded again into a stream of its own and that
// stream copied the same way. The output appears only when the whole list
// was done; a failure or a cancel leaves no output. Each returns 1 or 0
// with the reason recorded, and runs inside an entry point that holds the
// encoding call.
#pragma once

#include "encoder/VidlatheStreams.h"

namespace vidlathe {

int JoinMotionComponents(const MotionComponentList* list, int mode, const char* outputPath,
                         ProgressCallback progress);
int JoinStills(const MpegFileList* list, int mode, const char* outputPath, ProgressCallback progress);
int JoinMotion(const MpegFileList* list, int mode, const char* outputPath, ProgressCallback progress);

}  // namespace vidlathe
