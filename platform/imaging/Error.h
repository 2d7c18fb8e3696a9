// Error numbers and texts of the imaging layer. Every operation returns a
// Status; callers that report failures as "... - %d - <text>" use Number()
// and Text().
#pragma once

#include "platform/imaging/ImagingExport.h"

#include <string>

namespace vexa::imaging {

enum class ErrorCode : int {
  kOk = 0,
  kFailure = -1,
  kNoMemory = -2,
  kInvalidParameter = -3,
  kFileNotFound = -4,
  kFileRead = -5,
  kFileWrite = -6,
  kFormatUnknown = -7,
  kFileCorrupt = -8,
  kFileTruncated = -9,
  kUnsupportedDepth = -10,
  kImageTooLarge = -11,
  kEmptyBitmap = -12,
  kTextFailed = -13,
  kUnsupportedSaveFormat = -14,
};

// The fixed text of an error number ("" for kOk).
VEXA_IMAGING_API const char* ErrorText(ErrorCode code);

class Status {
 public:
  Status() = default;
  Status(ErrorCode code) : code_(code) {}  // NOLINT: a code is a status
  Status(ErrorCode code, std::string detail) : code_(code), detail_(std::move(detail)) {}

  bool ok() const { return code_ == ErrorCode::kOk; }
  explicit operator bool() const { return ok(); }
  ErrorCode code() const { return code_; }
  int Number() const { return static_cast<int>(code_); }
  const char* Text() const { return ErrorText(code_); }
  // What the decoder or the system said, when it said something ("" else).
  const std::string& detail() const { return detail_; }

 private:
  ErrorCode code_ = ErrorCode::kOk;
  std::string detail_;
};

}  // namespace vexa::imaging
