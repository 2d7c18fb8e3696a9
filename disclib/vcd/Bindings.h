// The run-time binding of the helper libraries: vidlathe and the Layer II
// encoder "toolame" (both required), the bitmap plug-in discpaka and the
// audio plug-in discpakb (both optional), loaded by name from lib/vexa/.
// One process-wide set of entry points; every wrapper answers 0 or null for
// an entry that is not bound.
#pragma once

#include <cstddef>
#include <cstdint>

#include "disclib/vcd/DiscpakLibrary.h"
#include "disclib/vcd/toolame/Toolame.h"

namespace vexa::vcd {

// 1 when vidlathe and toolame are loaded (loading them when needed), else 0.
// The plug-ins are loaded on the way when present. Either every entry of a
// library is bound or none is: a re-bind after a partial failure clears the
// entries before it frees a library.
int VCDBindHelperLibraries();
// Frees every library and clears every entry (tests).
void UnbindHelperLibrariesForTesting();
// True when a GetNewARAS is bound (the plug-in's or the caller's).
bool AudioSourceBound();

// Wrappers of the bound entry points.
int VCDVidlathe1(void* bits, BITMAPINFOHEADER* header, const char* outputPath, int quantiser, int mode);
int VCDMultipleVidlathe2(int count, PictureSource source, const char* outputPath, int mode);
int VCDMulVidlathe_MP2(int count, PictureSource source, const char* outputPath, int mode, const char* mp2Path,
                       int mix);
int VCDMulti_I_Enc_Still(int count, PictureSource source, const char* outputPath, int quality, int mode);
int VCDMulti_I_Enc_Still_MP2(int count, PictureSource source, const char* outputPath, int quality, int mode,
                             const char* mp2Path, int mix);
int VCDMotion_VCD_Component(const MotionComponentList* list, int mode, const char* outputPath,
                            ProgressCallback progress);
int VCDConcatenate_VCD_Stills(const MpegFileList* list, int mode, const char* outputPath, ProgressCallback progress);
int VCDConcatenate_VCD_motion(const MpegFileList* list, int mode, const char* outputPath, ProgressCallback progress);
void VCDGet_Mpeg_Stream_Prop(const char* path, StreamProperties* record);
void VCDGet_MP2_Prop(const char* path, StreamProperties* record);
Mp2Encoder* VCDmp2_init_encoder(const char* outputPath, int framesPerWrite);
int VCDmp2_encode_buffer(Mp2Encoder* encoder, const std::int16_t* pcm, int byteCount);
int VCDmp2_close_encoder(Mp2Encoder* encoder);
ARAS* VCDGetNewARAS(const char* path);
void VCDDeleteARAS(ARAS* stream);
void VCDSetARASFactory(GetNewARASFn newFn, DeleteARASFn deleteFn);
I_BasicBitmap* VCDNewBasicBitmap(std::int32_t width, std::int32_t height, std::int32_t backColour);
void VCDDeleteBasicBitmap(I_BasicBitmap* bitmap);
void VCDSetNewBasicBitmap(NewBasicBitmapFn fn);
void VCDSetDeleteBasicBitmap(DeleteBasicBitmapFn fn);

std::int32_t VCDGetPicture(const char* file, std::int32_t width, std::int32_t height, std::int32_t captionX,
                           std::int32_t captionY, const char* caption, void* bitsOut, std::size_t bitsCapacity,
                           BITMAPINFOHEADER* headerOut, const char* font, std::int32_t fontSize,
                           std::int32_t charset, std::int32_t flag);

// The processor factor: 1.0 on the reference machine, larger on slower ones,
// never below kVCDMinCPUScale. The encoders multiply their time estimates by
// it. The floor is about what the encoders take on a current two-core
// processor against their estimates at 1.0 (a menu item about a tenth, a
// second of music less, a slide-show picture a few hundredths): it errs
// towards a longer estimate, never towards none.
inline constexpr float kVCDMinCPUScale = 0.1f;
float VCDCPUScale();

}  // namespace vexa::vcd
