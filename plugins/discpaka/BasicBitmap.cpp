#include "plugins/discpaka/BasicBitmap.h"

#include <cstring>

namespace vexa::discpaka {

namespace {
vexa::com::Bstr B(const char* s) { return vexa::com::Bstr::FromUtf8(s ? s : ""); }
constexpr CLSCTX kContext = CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER | CLSCTX_LOCAL_SERVER;
}  // namespace

BasicBitmap::BasicBitmap() {
  if (CoCreateInstance(CLSID_VEXAImgUtil, nullptr, kContext, IID_IVEXAImgUtil, util_.PutVoid()) != S_OK)
    util_.Reset();
}

bool BasicBitmap::Init(std::int32_t width, std::int32_t height, std::int32_t backColour) {
  return util_ && SUCCEEDED(util_->OTInit(width, height, backColour));
}

bool BasicBitmap::Text(std::int32_t x, std::int32_t y, const char* fontName, std::int32_t fontSize,
                       std::int32_t charset, std::int32_t foreColour, std::int32_t backColour, const char* text) {
  if (!util_) return false;
  if (!text || !*text) return true;  // nothing to draw
  return SUCCEEDED(util_->OTText(x, y, B(fontName).Get(), fontSize, charset, foreColour, backColour, B(text).Get()));
}

bool BasicBitmap::StretchImageFile(std::int32_t x, std::int32_t y, std::int32_t width, std::int32_t height,
                                   const char* fileName) {
  return util_ && SUCCEEDED(util_->OTStretchImageFile(x, y, width, height, B(fileName).Get(), -1, 0));
}

bool BasicBitmap::FitImageFile(std::int32_t x, std::int32_t y, std::int32_t width, std::int32_t height,
                               const char* fileName, std::int32_t borderColour) {
  return FitImageFileWithBorder(x, y, width, height, fileName, borderColour);
}

bool BasicBitmap::FitImageFileWithBorder(std::int32_t x, std::int32_t y, std::int32_t width, std::int32_t height,
                                         const char* fileName, std::int32_t borderColour) {
  return util_ &&
         SUCCEEDED(util_->OTStretchImageFile(x, y, width, height, B(fileName).Get(), borderColour, VARIANT_TRUE));
}

std::int32_t BasicBitmap::CreateDIB(const std::uint8_t** header, const std::uint8_t** bits) {
  if (!util_) return 0;
  // In-process callers get the packed bitmap's real addresses through the
  // native accessor (the automation call's VARIANTs hold 32-bit integers).
  vexa::com::ComPtr<IVEXAImgUtilNative> native;
  if (util_->QueryInterface(IID_IVEXAImgUtilNative, native.PutVoid()) != S_OK || !native) return 0;
  const BYTE* h = nullptr;
  const BYTE* b = nullptr;
  LONG bytes = 0;
  if (FAILED(native->OTCreateDIBNative(&h, &b, &bytes)) || !h || !b) return 0;
  std::memcpy(header_.data(), h, header_.size());
  // The result is the header's image size (biSizeImage, at offset 20).
  std::int32_t imageSize = 0;
  std::memcpy(&imageSize, header_.data() + 20, 4);
  if (imageSize <= 0) imageSize = bytes;
  if (header) *header = header_.data();
  if (bits) *bits = b;
  return imageSize;
}

bool BasicBitmap::SetPixelAspect(std::int32_t width, std::int32_t height) {
  if (!util_) return false;
  vexa::com::ComPtr<IVEXAImgUtilNative> native;
  if (util_->QueryInterface(IID_IVEXAImgUtilNative, native.PutVoid()) != S_OK || !native) return false;
  return SUCCEEDED(native->OTSetPixelAspect(width, height));
}

bool BasicBitmap::WriteBMP(const char* fileName) {
  return util_ && SUCCEEDED(util_->OTWriteBMP(B(fileName).Get()));
}

}  // namespace vexa::discpaka
