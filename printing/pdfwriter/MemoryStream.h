// A growable byte buffer for page contents and the in-memory document. It
// starts at 256 bytes and doubles until the data fits; past 524287 bytes it
// grows in steps of 524288. The data is always followed by a zero byte.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace vexa::pdf {

class MemoryStream {
 public:
  static constexpr std::uint32_t kCheckWord = 0xA5B5CAFE;

  MemoryStream();
  MemoryStream(MemoryStream&&) noexcept = default;
  MemoryStream& operator=(MemoryStream&&) noexcept = default;

  void Clear();
  void Append(const void* data, std::size_t size);
  void Append(std::string_view text) { Append(text.data(), text.size()); }
  // Releases the memory; the stream is empty afterwards.
  void Free();

  const char* data() const { return buffer_.data(); }
  std::size_t size() const { return length_; }
  std::size_t capacity() const { return buffer_.size(); }
  std::string_view View() const { return std::string_view(buffer_.data(), length_); }
  // False when the stream's check word was overwritten.
  bool Valid() const { return check_ == kCheckWord; }

 private:
  void Reserve(std::size_t needed);

  std::uint32_t check_ = kCheckWord;
  std::vector<char> buffer_;
  std::size_t length_ = 0;
};

}  // namespace vexa::pdf
