// Private to VEXAImg: the helpers of the still-image utility that work on
// pictures in memory. Each reports a failure with the message of the step
// that failed ("<where> - <step> failed - <number> - <text>", then what the
// imaging layer knows of the cause), so the operation that called it can
// pass that on.
#pragma once

#include <optional>
#include <string>

#include "platform/base/WinTypes.h"
#include "platform/imaging/Bitmap.h"

namespace vexa::imgutil {

// The outcome of a helper: the imaging layer's status and, on failure, the
// message naming the step that failed.
struct HelperResult {
  imaging::Status status;
  std::string message;
  bool ok() const { return status.ok(); }
};

// "<what> - <number> - <text>", then ": " and the layer's detail when it
// has one.
std::string WithLayerError(const std::string& what, const imaging::Status& s);

// Sizes (or copies) a picture into destX x destY: exactly without a bounding
// box; otherwise fitted inside it (never beyond it; larger only with
// `upsample`), on a matte-coloured box of destX x destY when `matte` is
// given. fileW x fileH, when given, is the picture's size in its file: a
// JPEG decoded at a reduced scale is fitted as the whole picture would be.
// Failures: "IVEXAImgUtil::ResizeStill - bmDest.Create failed - ..." when
// the result cannot be sized, "... - bmDest.Fill failed - ..." when the
// matte cannot be painted, "... - SimpleResizeHelperFailed - ..." else.
HelperResult ResizeStillHelper(const imaging::Bitmap& source, bool boundingBox, LONG destX, LONG destY, bool upsample,
                               std::optional<std::uint32_t> matte, imaging::Bitmap* destination, int fileW = 0,
                               int fileH = 0);

// The positioned variant: the picture resized to width x height and placed
// with its top-left corner at (x, y) on the existing destination (parts
// outside it are cut).
HelperResult ResizeStillHelper(const imaging::Bitmap& source, imaging::Bitmap* destination, LONG x, LONG y,
                               LONG width, LONG height);

// The positioned paste: the picture as it is, placed at (x, y) on the
// existing destination.
HelperResult PasteStillHelper(const imaging::Bitmap& source, imaging::Bitmap* destination, LONG x, LONG y);

// Replaces each pixel by the average of the size x size pixels around it;
// size must be at least 1 ("IVEXAImgUtil::AverageStillHelper - size must be
// a valid size").
HelperResult AverageStillHelper(imaging::Bitmap* bitmap, LONG size);

// Rotates by `degrees` (hundredths to the layer), enlarging the canvas when
// `resize`, black where the picture does not reach; gives the new size.
// Failure: "IVEXAImgUtil::RotateStillHelper - bmDest.Rotate failed - ...".
HelperResult RotateStillHelper(const imaging::Bitmap& bitmap, LONG degrees, bool resize, imaging::Bitmap* out,
                               LONG* width, LONG* height);

}  // namespace vexa::imgutil
