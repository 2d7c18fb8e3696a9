// discpakm2's two exports and the "DISCPAK" library object: a flat table
// whose first word is its version (105), handing out the Video CD classes
// and plain functions over the encoder library vidlathe, the Layer II
// encoder, and the audio and bitmap plug-ins, all bound by name at run time.
#pragma once

#include <cstddef>
#include <cstdint>

#include "disclib/DiscpakExport.h"
#include "disclib/vcd/VCDClasses.h"
#include "encoder/Vidlathe.h"
#include "encoder/VidlatheStreams.h"
#include "plugins/ARAS.h"
#include "plugins/BasicBitmap.h"

// The shape, width:height, of the pixels of a Video CD picture of that size
// on a 4:3 television: 704 x 480 and 352 x 240 (NTSC) are 10:11, 704 x 576
// and 352 x 288 (PAL) 12:11. Any other size has square pixels.
struct VCDPixelShape {
  std::int32_t width;
  std::int32_t height;
};
inline VCDPixelShape VCDFramePixelShape(std::int32_t width, std::int32_t height) {
  if ((width == 704 && height == 480) || (width == 352 && height == 240)) return {10, 11};
  if ((width == 704 && height == 576) || (width == 352 && height == 288)) return {12, 11};
  return {1, 1};
}

// VCDGetPicture: the picture file fitted (its shape kept on a television,
// black border) into a width x height bitmap with the pixel shape of that
// frame (VCDFramePixelShape), a caption drawn at (captionX, captionY) when
// given, moved, broken or shortened as far as it must be to stay whole in the
// frame's title-safe area (CaptionLayout.h); the pixel bits go to bitsOut (at most bitsCapacity bytes) and the
// 40-byte header to headerOut. 1 success, 0 failure (also when the bits do
// not fit).
using VCDGetPictureFn = std::int32_t (*)(const char* file, std::int32_t width, std::int32_t height,
                                         std::int32_t captionX, std::int32_t captionY, const char* caption,
                                         void* bitsOut, std::size_t bitsCapacity, BITMAPINFOHEADER* headerOut,
                                         const char* font, std::int32_t fontSize, std::int32_t charset,
                                         std::int32_t flag);

// The "DISCPAK" table: 23 words, the two version words as 32-bit fields and
// every other entry a real pointer.
struct DISCPAK_LibObject {
  std::uint32_t version;   // 105
  std::uint32_t version2;  // 110
  I_VCDClassMPG1VideoEncode* (*NewVCDClassMPG1VideoEncode)();
  void (*DeleteVCDClassMPG1VideoEncode)(I_VCDClassMPG1VideoEncode*);
  I_VCDClass20Menu* (*NewVCDClass20Menu)(std::uint16_t maxListId);
  void (*DeleteVCDClass20Menu)(I_VCDClass20Menu*);
  I_VCDClassISOFormat* (*NewVCDClassISOFormat)();
  void (*DeleteVCDClassISOFormat)(I_VCDClassISOFormat*);
  I_VCDClassMPG1L2AudioEncode* (*NewVCDClassMPG1L2AudioEncode)();
  void (*DeleteVCDClassMPG1L2AudioEncode)(I_VCDClassMPG1L2AudioEncode*);
  VCDGetPictureFn VCDGetPicture;
  int (*VCDVidlathe1)(void* bits, BITMAPINFOHEADER* header, const char* outputPath, int quantiser, int mode);
  void (*VCDSetARASFactory)(GetNewARASFn newFn, DeleteARASFn deleteFn);
  float (*VCDCPUScale)();
  int (*VCDMotion_VCD_Component)(const MotionComponentList* list, int mode, const char* outputPath,
                                 ProgressCallback progress);
  int (*VCDConcatenate_VCD_Stills)(const MpegFileList* list, int mode, const char* outputPath,
                                   ProgressCallback progress);
  int (*VCDConcatenate_VCD_motion)(const MpegFileList* list, int mode, const char* outputPath,
                                   ProgressCallback progress);
  void (*VCDGet_Mpeg_Stream_Prop)(const char* path, StreamProperties* record);
  void (*VCDGet_MP2_Prop)(const char* path, StreamProperties* record);
  I_BasicBitmap* (*VCDNewBasicBitmap)(std::int32_t width, std::int32_t height, std::int32_t backColour);
  void (*VCDDeleteBasicBitmap)(I_BasicBitmap* bitmap);
  void (*VCDSetNewBasicBitmap)(NewBasicBitmapFn fn);
  void (*VCDSetDeleteBasicBitmap)(DeleteBasicBitmapFn fn);
};

inline constexpr std::uint32_t kDiscpakVersion = 105;
inline constexpr std::uint32_t kDiscpakVersion2 = 110;

extern "C" {
// The library object of that exact (case-sensitive) name, counted, or null:
// "CDR4COMS", "CDR4BASE", "DISCPAK".
DISCPAK_API void* DLL_LL_GetLibObject(const char* name);
// Releases one count of a table handed out by DLL_LL_GetLibObject; null is ignored.
DISCPAK_API void DLL_LL_ReleaseObject(void* table);
}

using DLL_LL_GetLibObjectFn = void* (*)(const char* name);
using DLL_LL_ReleaseObjectFn = void (*)(void* table);
