// The drawing-bitmap interface of the plug-in discpaka: an off-screen picture
// drawn through the still-image utility, handed to the disc library as a
// packed device-independent bitmap. The disc library binds NewBasicBitmap and
// DeleteBasicBitmap by name.
#pragma once

#include <cstdint>

#include "platform/base/Export.h"

#define DISCPAKA_API VEXA_EXPORT

// Colours are 32-bit COLORREF values (0x00BBGGRR); a negative border colour
// gives black. Coordinates and sizes are pixels of the off-screen picture.
class I_BasicBitmap {
 public:
  // Releases the utility.
  virtual ~I_BasicBitmap() = default;
  // Starts a new blank picture of that size and colour.
  virtual bool Init(std::int32_t width, std::int32_t height, std::int32_t backColour) = 0;
  // Draws text at (x, y); an empty text draws nothing and answers true.
  virtual bool Text(std::int32_t x, std::int32_t y, const char* fontName, std::int32_t fontSize,
                    std::int32_t charset, std::int32_t foreColour, std::int32_t backColour,
                    const char* text) = 0;
  // Scales the picture file to exactly the rectangle.
  virtual bool StretchImageFile(std::int32_t x, std::int32_t y, std::int32_t width, std::int32_t height,
                                const char* fileName) = 0;
  // Scales the picture down keeping its aspect and centres it in the
  // rectangle, whose uncovered part takes the border colour.
  virtual bool FitImageFile(std::int32_t x, std::int32_t y, std::int32_t width, std::int32_t height,
                            const char* fileName, std::int32_t borderColour) = 0;
  virtual bool FitImageFileWithBorder(std::int32_t x, std::int32_t y, std::int32_t width,
                                      std::int32_t height, const char* fileName,
                                      std::int32_t borderColour) = 0;
  // The picture as a packed bitmap: the 40-byte BITMAPINFOHEADER (a copy kept
  // in the object) and the pixel bits (kept by the utility). Both stay valid
  // until the next CreateDIB or the object's deletion. Answers the byte count
  // of the bits, 0 on failure.
  virtual std::int32_t CreateDIB(const std::uint8_t** header, const std::uint8_t** bits) = 0;
  // Writes the picture as a BMP file.
  virtual bool WriteBMP(const char* fileName) = 0;
  // The shape, width:height, of the screen pixels the picture will be shown
  // with (1:1 until set): the fitting draws then keep each picture's own
  // shape on that screen. A television frame's pixels are not square.
  virtual bool SetPixelAspect(std::int32_t width, std::int32_t height) = 0;
};

using NewBasicBitmapFn = I_BasicBitmap* (*)(std::int32_t width, std::int32_t height, std::int32_t backColour);
using DeleteBasicBitmapFn = void (*)(I_BasicBitmap* bitmap);

extern "C" {
// A bitmap over a new still-image utility; initialised when width and height
// are both non-zero (null when that fails). Initialises the component core on
// the calling thread once more.
DISCPAKA_API I_BasicBitmap* NewBasicBitmap(std::int32_t width, std::int32_t height, std::int32_t backColour);
// Deletes the bitmap and uninitialises the component core once; null is ignored.
DISCPAKA_API void DeleteBasicBitmap(I_BasicBitmap* bitmap);
}
