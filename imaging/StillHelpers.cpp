#include "imaging/StillHelpers_p.h"

#include "platform/imaging/Resample.h"
#include "platform/imaging/Transform.h"

namespace vexa::imgutil {
namespace img = vexa::imaging;

namespace {

constexpr char kResize[] = "IVEXAImgUtil::ResizeStill";

HelperResult Failed(const std::string& what, const img::Status& s) { return {s, WithLayerError(what, s)}; }

}  // namespace

std::string WithLayerError(const std::string& what, const img::Status& s) {
  return what + " - " + std::to_string(s.Number()) + " - " + s.Text() + (s.detail().empty() ? "" : ": " + s.detail());
}

HelperResult ResizeStillHelper(const img::Bitmap& source, bool boundingBox, LONG destX, LONG destY, bool upsample,
                               std::optional<std::uint32_t> matte, img::Bitmap* destination, int fileW, int fileH) {
  const std::string create = std::string(kResize) + " - bmDest.Create failed";
  if (!boundingBox) {
    if (img::Status s = img::Resize(source, destX, destY, destination); !s) return Failed(create, s);
    return {};
  }
  if (img::Status s = img::CheckDimensions(destX, destY); !s) return Failed(create, s);
  if (source.empty()) return Failed(create, img::ErrorCode::kEmptyBitmap);
  // The fit follows the picture's size in its file when it was decoded
  // smaller.
  const bool fromFile = fileW >= 1 && fileH >= 1;
  const img::BoxFit fit = img::FitIntoBox(fromFile ? fileW : source.width(), fromFile ? fileH : source.height(),
                                          destX, destY, upsample);
  img::Bitmap picture;
  if (img::Status s = img::Resize(source, fit.width, fit.height, &picture); !s) return Failed(create, s);
  if (!matte) {
    *destination = std::move(picture);
    return {};
  }
  img::Bitmap box;
  if (img::Status s = box.Create(destX, destY, picture.bitsPerPixel()); !s) return Failed(create, s);
  if (img::Status s = img::Fill(&box, img::RedOf(*matte), img::GreenOf(*matte), img::BlueOf(*matte)); !s) {
    return Failed(std::string(kResize) + " - bmDest.Fill failed", s);
  }
  if (img::Status s = img::Combine(&box, fit.x, fit.y, picture); !s) {
    return Failed(std::string(kResize) + " - SimpleResizeHelperFailed", s);
  }
  box.set_format(source.format());
  *destination = std::move(box);
  return {};
}

HelperResult ResizeStillHelper(const img::Bitmap& source, img::Bitmap* destination, LONG x, LONG y, LONG width,
                               LONG height) {
  img::Bitmap picture;
  if (img::Status s = img::Resize(source, width, height, &picture); !s) {
    return Failed("IVEXAImgUtil::ResizeStillHelper - bmSrc.Size failed", s);
  }
  if (img::Status s = img::Combine(destination, x, y, picture); !s) {
    return Failed("IVEXAImgUtil::ResizeStillHelper - bmDest.Combine failed", s);
  }
  return {};
}

HelperResult PasteStillHelper(const img::Bitmap& source, img::Bitmap* destination, LONG x, LONG y) {
  if (img::Status s = img::Combine(destination, x, y, source); !s) {
    return Failed("IVEXAImgUtil::PasteStillHelper - bmDest.Combine failed", s);
  }
  return {};
}

HelperResult AverageStillHelper(img::Bitmap* bitmap, LONG size) {
  if (size < 1) return {img::ErrorCode::kInvalidParameter, "IVEXAImgUtil::AverageStillHelper - size must be a valid size"};
  img::Bitmap averaged;
  if (img::Status s = img::Average(*bitmap, size, &averaged); !s) {
    return Failed("IVEXAImgUtil::AverageStillHelper - bmDest.Average failed", s);
  }
  *bitmap = std::move(averaged);
  return {};
}

HelperResult RotateStillHelper(const img::Bitmap& bitmap, LONG degrees, bool resize, img::Bitmap* out, LONG* width,
                               LONG* height) {
  if (img::Status s = img::Rotate(bitmap, degrees * 100, resize, out); !s) {
    return Failed("IVEXAImgUtil::RotateStillHelper - bmDest.Rotate failed", s);
  }
  *width = out->width();
  *height = out->height();
  return {};
}

}  // namespace vexa::imgutil
