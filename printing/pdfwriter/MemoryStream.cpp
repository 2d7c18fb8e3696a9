#include "printing/pdfwriter/MemoryStream.h"

#include <cstring>

namespace vexa::pdf {

namespace {
constexpr std::size_t kInitial = 256;
constexpr std::size_t kDoublingLimit = 524287;
constexpr std::size_t kStep = 524288;
}  // namespace

MemoryStream::MemoryStream() { buffer_.assign(kInitial, 0); }

void MemoryStream::Reserve(std::size_t needed) {
  // The zero byte after the data needs room too.
  std::size_t cap = buffer_.empty() ? kInitial : buffer_.size();
  while (cap < needed + 1) cap = cap > kDoublingLimit ? cap + kStep : cap * 2;
  if (cap != buffer_.size()) buffer_.resize(cap, 0);
}

void MemoryStream::Append(const void* data, std::size_t size) {
  if (size == 0) return;
  Reserve(length_ + size);
  std::memcpy(buffer_.data() + length_, data, size);
  length_ += size;
  buffer_[length_] = 0;
}

void MemoryStream::Clear() {
  length_ = 0;
  if (buffer_.empty()) buffer_.assign(kInitial, 0);
  buffer_[0] = 0;
}

void MemoryStream::Free() {
  std::vector<char>().swap(buffer_);
  length_ = 0;
}

}  // namespace vexa::pdf
