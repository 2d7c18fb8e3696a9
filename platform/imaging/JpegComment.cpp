// A comment put into a JPEG's head, byte for byte as the album model's
// comment editor writes it, without decoding or writing a file.
#include <cstdint>

#include "platform/imaging/Codec.h"

namespace vexa::imaging {
namespace {

constexpr std::uint8_t kSOI = 0xD8, kEOI = 0xD9, kSOS = 0xDA, kCOM = 0xFE;
constexpr std::size_t kMaxPayload = 65533;

bool IsFrameMarker(std::uint8_t code) {
  return code >= 0xC0 && code <= 0xCF && code != 0xC4 && code != 0xC8 && code != 0xCC;
}

}  // namespace

Status AddJpegComment(std::string_view jpeg, std::string_view comment, std::string* out, bool* added) {
  *added = false;
  if (comment.size() > kMaxPayload) return Status(ErrorCode::kInvalidParameter, "the comment does not fit a segment");
  const auto byte = [&](std::size_t at) { return static_cast<std::uint8_t>(jpeg[at]); };
  if (jpeg.size() < 2 || byte(0) != 0xFF || byte(1) != kSOI) return Status(ErrorCode::kFileCorrupt, "invalid first marker");
  std::string result;
  result.reserve(jpeg.size() + comment.size() + 4);
  result += "\xFF\xD8";
  std::size_t pos = 2;
  for (;;) {
    // The next marker: past any bytes up to 0xFF, then past fill bytes.
    while (pos < jpeg.size() && byte(pos) != 0xFF) ++pos;
    while (pos < jpeg.size() && byte(pos) == 0xFF) ++pos;
    if (pos >= jpeg.size()) return Status(ErrorCode::kFileCorrupt, "invalid JPEG file");
    const std::uint8_t code = byte(pos++);
    if (IsFrameMarker(code) || code == kEOI) {
      const std::size_t length = comment.size() + 2;
      result += '\xFF';
      result += static_cast<char>(kCOM);
      result += static_cast<char>(length >> 8);
      result += static_cast<char>(length & 0xFF);
      result += comment;
      result += '\xFF';
      result += static_cast<char>(code);
      result.append(jpeg.substr(pos));
      *out = std::move(result);
      *added = true;
      return {};
    }
    if (code == kSOS) return Status(ErrorCode::kFileCorrupt, "SOS without prior SOFn");
    if (code == kCOM) return {};
    if (pos + 2 > jpeg.size()) return Status(ErrorCode::kFileCorrupt, "invalid JPEG file");
    const std::size_t length = byte(pos) * 256u + byte(pos + 1);
    if (length < 2) return Status(ErrorCode::kFileCorrupt, "Erroneous JPEG marker length");
    if (pos + length > jpeg.size()) return Status(ErrorCode::kFileCorrupt, "invalid JPEG file");
    result += '\xFF';
    result += static_cast<char>(code);
    result.append(jpeg.substr(pos, length));
    pos += length;
  }
}

}  // namespace vexa::imaging
