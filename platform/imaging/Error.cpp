#include "platform/imaging/Error.h"

namespace vexa::imaging {

const char* ErrorText(ErrorCode code) {
  switch (code) {
    case ErrorCode::kOk: return "";
    case ErrorCode::kFailure: return "Function not successful";
    case ErrorCode::kNoMemory: return "Not enough memory available";
    case ErrorCode::kInvalidParameter: return "Invalid parameter passed";
    case ErrorCode::kFileNotFound: return "File not found";
    case ErrorCode::kFileRead: return "Error reading from file";
    case ErrorCode::kFileWrite: return "Error writing to file";
    case ErrorCode::kFormatUnknown: return "Invalid file format";
    case ErrorCode::kFileCorrupt: return "File is corrupt";
    case ErrorCode::kFileTruncated: return "File is truncated";
    case ErrorCode::kUnsupportedDepth: return "Invalid bits per pixel";
    case ErrorCode::kImageTooLarge: return "Image dimensions are too large";
    case ErrorCode::kEmptyBitmap: return "Bitmap has not been allocated";
    case ErrorCode::kTextFailed: return "Text could not be drawn";
    case ErrorCode::kUnsupportedSaveFormat: return "Format cannot be saved";
  }
  return "Unknown error";
}

}  // namespace vexa::imaging
