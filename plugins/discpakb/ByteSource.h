// Random-access bytes of an input file, or of a buffer (the fuzzing targets
// feed the parsers from memory through the same interface).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace vexa::discpakb {

class ByteSource {
 public:
  virtual ~ByteSource() = default;
  // Copies up to n bytes from offset; answers the count copied (short at the end).
  virtual std::size_t ReadAt(std::uint64_t offset, void* buffer, std::size_t n) = 0;
  virtual std::uint64_t Size() const = 0;
};

// A regular file opened for reading. Devices, pipes and folders are refused,
// so opening never blocks.
class FileSource final : public ByteSource {
 public:
  static std::unique_ptr<FileSource> Open(const std::string& path);
  ~FileSource() override;
  std::size_t ReadAt(std::uint64_t offset, void* buffer, std::size_t n) override;
  std::uint64_t Size() const override { return size_; }

 private:
  FileSource(int fd, std::uint64_t size) : fd_(fd), size_(size) {}
  int fd_;
  std::uint64_t size_;
};

class MemorySource final : public ByteSource {
 public:
  explicit MemorySource(std::string_view bytes) : bytes_(bytes) {}
  std::size_t ReadAt(std::uint64_t offset, void* buffer, std::size_t n) override;
  std::uint64_t Size() const override { return bytes_.size(); }

 private:
  std::string_view bytes_;
};

// True when path names a regular file that can be opened for reading.
bool IsReadableFile(const std::string& path);

}  // namespace vexa::discpakb
