// An input file whose every read is checked. The size of a regular file is
// taken when it is opened; a read error, or an end of data before that
// size (a file that shrinks while it is read), records the failure with the
// file's name and marks the file failed, so that nothing goes on from data
// that is no longer what was announced. A pipe or device is read once, to
// its end.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

namespace vidlathe {

class InputFile {
 public:
  InputFile() = default;
  // Opens path for reading; false, with the reason recorded, when it cannot
  // be opened or is a folder.
  bool Open(const std::string& path);
  bool isOpen() const { return file_ != nullptr; }
  const std::string& path() const { return path_; }
  // The size of a regular file when it was opened; 0 for a pipe or device.
  uint64_t size() const { return size_; }
  bool regular() const { return regular_; }
  uint64_t position() const { return position_; }

  // Up to n bytes from the current position; fewer only at the end of the
  // file as it was opened. 0 at that end, or when the read failed.
  size_t Read(void* dst, size_t n);
  // Reads exactly n bytes; false when the file holds fewer.
  bool ReadExactly(void* dst, size_t n);
  // Moves within a regular file; a pipe or device cannot be read again.
  bool Seek(uint64_t offset);
  bool failed() const { return failed_; }

 private:
  struct Closer {
    void operator()(std::FILE* f) const { std::fclose(f); }
  };
  std::unique_ptr<std::FILE, Closer> file_;
  std::string path_;
  uint64_t size_ = 0;
  uint64_t position_ = 0;
  bool regular_ = false;
  bool failed_ = false;
};

}  // namespace vidlathe
