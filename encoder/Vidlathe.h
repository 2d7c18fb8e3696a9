// The exported functions of the vidlathe library: pictures in, MPEG-1 Video
// CD system streams out. Callers load the library by name and bind these
// functions by name; every function is synchronous and returns 1 for success
// and 0 for failure, whose reason Vidlathe_GetLastFailure gives. Each
// encoding call owns all its state, so calls from different threads run at
// the same time; a call from inside a running call (a picture source calling
// back on the caller's thread) is refused.
#pragma once

#include <cstdint>

#include "platform/base/Export.h"
#include "platform/base/WinTypes.h"

// The entry points the library exports; everything else in it is hidden.
#define VIDLATHE_API VEXA_EXPORT

#ifndef VEXA_BITMAPINFOHEADER_DEFINED
#define VEXA_BITMAPINFOHEADER_DEFINED
// The 40-byte header of a device-independent bitmap, as the callers fill it.
// A negative biHeight says the rows run top-down.
#pragma pack(push, 2)
struct BITMAPINFOHEADER {
  DWORD biSize;
  LONG biWidth;
  LONG biHeight;
  WORD biPlanes;
  WORD biBitCount;
  DWORD biCompression;
  DWORD biSizeImage;
  LONG biXPelsPerMeter;
  LONG biYPelsPerMeter;
  DWORD biClrUsed;
  DWORD biClrImportant;
};
#pragma pack(pop)
static_assert(sizeof(BITMAPINFOHEADER) == 40);
#endif

// The 68-byte record filled by Get_MP2_Prop (and by the stream-property probe
// of the re-encoding path). Every field is 0 unless set.
#pragma pack(push, 4)
struct StreamProperties {
  int32_t systemStream;     // a pack start code was found
  int32_t videoPresent;
  int32_t audioValid;       // first audio frame confirmed by a second header
  int32_t audioLayer2At44k; // ID 1, Layer II, 44.1 kHz
  int32_t audio224k;        // the above and 224 kbit/s
  int32_t videoKind;        // 1 motion, 2 still, 3 still pair
  int32_t horizontalSize;
  int32_t verticalSize;
  int32_t pictureRateCode;
  int32_t constrainedParameters;
  int32_t bitRate;          // units of 400 bit/s
  int32_t audioId;
  int32_t audioLayerCode;
  int32_t audioSamplingIndex;
  int32_t audioBitRateIndex;
  int64_t fileSize;
};
#pragma pack(pop)
static_assert(sizeof(StreamProperties) == 68);

// Fills one picture of the announced width and height at 32 bits per pixel
// into the library's buffer (it may store a negative biHeight for top-down
// rows) and returns the picture's display time in milliseconds; 0 ends the
// list and makes the call fail.
typedef int (*PictureSource)(void* pixels, BITMAPINFOHEADER* header);

extern "C" {

// One bitmap to one still stream; mode 1 (352x240), 2 (704x480 pair),
// 3 (352x288), 4 (704x576 pair). The quantiser is clamped to 2..62.
VIDLATHE_API int Vidlathe1(void* bits, BITMAPINFOHEADER* header, const char* outputPath, int quantiser,
              int mode);
// As Vidlathe1, reading the picture from a .bmp file.
VIDLATHE_API int Vidlathe2(const char* bmpPath, const char* outputPath, int quantiser, int mode);
// count pictures pulled from source into one still stream; modes 5..12.
VIDLATHE_API int Multi_I_Enc_Still(int count, PictureSource source, const char* outputPath, int quantiser,
                      int mode);
// As Multi_I_Enc_Still, multiplexed with an MPEG-1 Layer II file at 44.1 kHz
// (none: nullptr or ""); loop repeats the audio until the pictures are done.
VIDLATHE_API int Multi_I_Enc_Still_MP2(int count, PictureSource source, const char* outputPath, int quantiser,
                          int mode, const char* mp2Path, int loop);
// count stills pulled from source into one motion stream, each shown for
// its display time; modes 5..12 (5, 6, 11, 12: repeated pictures coded as
// copy pictures; 7..10: every picture coded again).
VIDLATHE_API int MultipleVidlathe2(int count, PictureSource source, const char* outputPath, int mode);
// As MultipleVidlathe2, multiplexed with an MPEG-1 Layer II file at 44.1 kHz
// (none: nullptr or ""); loop repeats the audio until the pictures are done.
VIDLATHE_API int MulVidlathe_MP2(int count, PictureSource source, const char* outputPath, int mode,
                    const char* mp2Path, int loop);
// Checks an MPEG audio file: fills the audio fields of props.
VIDLATHE_API void Get_MP2_Prop(const char* path, StreamProperties* props);

// Why the calling thread's last call of the library failed: "" after a
// call that succeeded. The text stays valid until the thread's next call.
VIDLATHE_API const char* Vidlathe_GetLastFailure(void);

// The library's sample exports, which play no part in encoding: a
// function that returns 42 and an integer (0).
VIDLATHE_API int fnBrellmp1a(void);
VIDLATHE_API extern int nBrellmp1a;

}  // extern "C"

// The library's sample class, which plays no part in encoding: an empty
// constructor and the assignment of its one byte.
class VIDLATHE_API CBrellmp1a {
 public:
  CBrellmp1a();
  CBrellmp1a& operator=(const CBrellmp1a& other);
};
