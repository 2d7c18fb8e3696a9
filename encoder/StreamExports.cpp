// The exported entry points that read existing MPEG files: the property
// probes, and the calls that join and re-encode streams.
#include <cstring>
#include <string>

#include "encoder/VidlatheStreams.h"
#include "encoder/common/EncodingCall.h"
#include "encoder/common/Failure.h"
#include "encoder/reader/Joins.h"
#include "encoder/reader/StreamProperties.h"

using namespace vidlathe;

extern "C" void Get_MP2_Prop(const char* path, StreamProperties* props) {
  RunEntryPoint("Get_MP2_Prop", CallKind::kProbe, [&]() -> int {
    if (!props) return Fail("no property record given");
    std::memset(props, 0, sizeof *props);
    if (!path) return Fail("no audio file given");
    if (!ReadMp2Properties(path, props)) return 0;
    if (!props->audioValid)
      return Fail(FileReason(path, "is not MPEG audio: no frame header followed by another one frame later"));
    return 1;
  });
}

extern "C" void Get_Mpeg_Stream_Prop(const char* path, StreamProperties* props) {
  RunEntryPoint("Get_Mpeg_Stream_Prop", CallKind::kProbe, [&]() -> int {
    if (!props) return Fail("no property record given");
    std::memset(props, 0, sizeof *props);
    if (!path) return Fail("no file given");
    return ReadStreamProperties(path, props);
  });
}

extern "C" int Motion_VCD_Component(const MotionComponentList* list, int mode, const char* outputPath,
                                    ProgressCallback progress) {
  return RunEntryPoint("Motion_VCD_Component", CallKind::kEncoding,
                       [&] { return JoinMotionComponents(list, mode, outputPath, progress); });
}

extern "C" int Concatenate_VCD_Stills(const MpegFileList* list, int mode, const char* outputPath,
                                      ProgressCallback progress) {
  return RunEntryPoint("Concatenate_VCD_Stills", CallKind::kEncoding,
                       [&] { return JoinStills(list, mode, outputPath, progress); });
}

extern "C" int Concatenate_VCD_motion(const MpegFileList* list, int mode, const char* outputPath,
                                      ProgressCallback progress) {
  return RunEntryPoint("Concatenate_VCD_motion", CallKind::kEncoding,
                       [&] { return JoinMotion(list, mode, outputPath, progress); });
}
