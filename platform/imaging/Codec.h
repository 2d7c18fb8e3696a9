// Reading and writing picture files. Files are read whole into memory and
// every decoder checks its sizes against what is there, so a damaged or
// truncated file gives an error, never a crash or a picture made of garbage.
#pragma once

#include "platform/imaging/ImagingExport.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/imaging/Bitmap.h"
#include "platform/imaging/Error.h"

namespace vexa::imaging {

struct ImageInfo {
  int format = kFormatOther;  // the picture-format code
  int width = 0;              // of the upright picture (see orientation)
  int height = 0;
  int bitsPerPixel = 0;       // as stored in the file (1 to 64)
  // The camera orientation the file names (Transform.h; 1 when it names
  // none): a JPEG's EXIF Orientation tag, a TIFF's own. Width and height
  // are those of the picture turned upright, as Load gives it.
  int orientation = 1;
};

struct LoadOptions {
  // The smallest size the caller will use, of the upright picture. A JPEG is
  // decoded at the smallest DCT scale (1/2, 1/4 or 1/8) that keeps both
  // sides at or above these; 0 asks for the full size.
  int minWidth = 0;
  int minHeight = 0;
};

// Reads the format, size and depth without decoding the pixels.
VEXA_IMAGING_API Status ReadInfo(std::string_view path, ImageInfo* info);
VEXA_IMAGING_API Status ReadInfoFromMemory(std::span<const std::uint8_t> data, ImageInfo* info,
                          std::string_view nameHint = {});

// Whether a file claims to be a picture of a format read here: its first
// bytes carry the signature of one, or its name the extension of one. Says
// nothing of whether it can be read. Without such an extension only a
// regular file is looked into (a FIFO is never opened); one that cannot be
// opened claims nothing.
VEXA_IMAGING_API bool ClaimsToBePicture(std::string_view path);

// Decodes a file. The bitmap is 8 (palette), 24 or 32 bits; its format()
// is the file's picture-format code. A picture the camera stored turned
// or mirrored (ImageInfo::orientation) comes out upright, so every picture
// made from it is upright too; the file itself is never changed, and the
// pictures encoded here carry no orientation of their own.
VEXA_IMAGING_API Status Load(std::string_view path, Bitmap* bitmap, const LoadOptions& options = {});
VEXA_IMAGING_API Status LoadFromMemory(std::span<const std::uint8_t> data, Bitmap* bitmap,
                      const LoadOptions& options = {}, std::string_view nameHint = {});

// ---- Pictures kept for the files they were written to ----
// A caller that writes a picture file and will later want smaller copies of
// it keeps the picture it encoded (or a smaller one that still covers every
// copy it will want). Load of that file with a minimum size the kept
// picture covers then gives a copy of the kept picture instead of decoding
// the file again: the copies come from the picture the file was made from,
// without the file's compression losses, and at no decoding cost. The file
// is recognised by its identity (device and inode, size, modification
// time): the same file under another name or link is found, a file changed
// or replaced since is decoded as usual. Kept pictures stay in memory up to
// a budget; past it they go to one temporary file of the process, deleted
// when it ends. Kept pictures of files that no longer exist are dropped.

// Keeps `picture` for the file at `path` as it is now (written and final).
// fileWidth x fileHeight is the size of the picture the file holds: a kept
// picture of that size serves every Load with a minimum size, as decoding
// the file gives no larger picture either.
VEXA_IMAGING_API Status KeepPicture(std::string_view path, Bitmap picture, int fileWidth, int fileHeight);
// The bytes of kept pictures held in memory before the rest go to the
// temporary file (default 64 MiB: beyond it they are read back from the
// file, which costs a copy, not a decode).
VEXA_IMAGING_API void SetKeptPictureBudget(std::size_t bytes);
// Drops every kept picture.
VEXA_IMAGING_API void ForgetKeptPictures();

// Called after every decode of a picture file's pixels (Load, and
// LoadFromMemory with its name hint) with the name and the decoded size;
// none: nothing is called. A copy of a kept picture is no decode. For
// checks of how often pictures are decoded; the observer may be called
// from any thread.
using DecodeObserver = std::function<void(std::string_view name, int width, int height)>;
VEXA_IMAGING_API void SetDecodeObserver(DecodeObserver observer);

struct JpegOptions {
  int quality = kJpegQualityForDefaultFactor;  // 1 to 100
  std::vector<std::string> comments;            // one COM segment each, in order
  int dpi = 96;
};

// The JPEG `jpeg` with `comment` as a comment segment, placed as the
// comment editor of the album model places its comments: every other
// segment before the frame header first, then the comment, then the frame
// header and the rest as they are. Only for a JPEG without comments before
// its frame header (which of them to keep is the caller's decision): for
// one with comments *added is false and *out untouched. A malformed head
// is kFileCorrupt, a comment too long for a segment kInvalidParameter.
VEXA_IMAGING_API Status AddJpegComment(std::string_view jpeg, std::string_view comment, std::string* out,
                                       bool* added);

// Encoders into memory.
VEXA_IMAGING_API Status EncodeJpeg(const Bitmap& bitmap, const JpegOptions& options, std::string* out);
// A BMP file: 40-byte header, bottom-up rows; 8-bit pictures keep their
// palette, 32-bit pictures are written as 24 bits.
VEXA_IMAGING_API Status EncodeBmp(const Bitmap& bitmap, std::string* out);
// A packed device-independent bitmap: the 40-byte header, the colour table
// (8 bits only) and the bottom-up rows, with no file header.
VEXA_IMAGING_API Status EncodePackedDib(const Bitmap& bitmap, std::vector<std::uint8_t>* out);

// Encodes into memory what Save writes: the JPEG family as JPEG with the
// quality of `qualityFactor`, the BMP family as BMP.
VEXA_IMAGING_API Status Encode(const Bitmap& bitmap, int format, int qualityFactor, std::string* out);

// Saves a file in the given picture-format code: the JPEG family as JPEG
// with the quality of `qualityFactor`, the BMP family as BMP. The file is
// written beside its target and renamed over it.
VEXA_IMAGING_API Status Save(std::string_view path, const Bitmap& bitmap, int format,
            int qualityFactor = kDefaultQualityFactor);
VEXA_IMAGING_API Status SaveJpeg(std::string_view path, const Bitmap& bitmap, const JpegOptions& options);

}  // namespace vexa::imaging
