// BasicBitmap: the drawing bitmap over one instance of the still-image
// utility. ANSI (UTF-8) strings become BSTRs, the utility's off-screen
// drawing calls do the work, and their results become true or false.
#pragma once

#include <array>

#include "idl/VEXAImg.h"
#include "plugins/BasicBitmap.h"

namespace vexa::discpaka {

class BasicBitmap final : public I_BasicBitmap {
 public:
  // Creates the utility in process; when that fails every operation fails.
  BasicBitmap();
  ~BasicBitmap() override = default;

  bool Init(std::int32_t width, std::int32_t height, std::int32_t backColour) override;
  bool Text(std::int32_t x, std::int32_t y, const char* fontName, std::int32_t fontSize, std::int32_t charset,
            std::int32_t foreColour, std::int32_t backColour, const char* text) override;
  bool StretchImageFile(std::int32_t x, std::int32_t y, std::int32_t width, std::int32_t height,
                        const char* fileName) override;
  bool FitImageFile(std::int32_t x, std::int32_t y, std::int32_t width, std::int32_t height, const char* fileName,
                    std::int32_t borderColour) override;
  bool FitImageFileWithBorder(std::int32_t x, std::int32_t y, std::int32_t width, std::int32_t height,
                              const char* fileName, std::int32_t borderColour) override;
  std::int32_t CreateDIB(const std::uint8_t** header, const std::uint8_t** bits) override;
  bool WriteBMP(const char* fileName) override;
  bool SetPixelAspect(std::int32_t width, std::int32_t height) override;

  bool HasUtility() const { return util_.Get() != nullptr; }

 private:
  vexa::com::ComPtr<IVEXAImgUtil> util_;
  std::array<std::uint8_t, 40> header_{};
};

}  // namespace vexa::discpaka
