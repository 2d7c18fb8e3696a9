#include "encoder/common/InputFile.h"

#include <sys/stat.h>

#include <cerrno>

#include "encoder/common/Failure.h"

namespace vidlathe {

bool InputFile::Open(const std::string& path) {
  path_ = path;
  file_.reset();
  failed_ = false;
  position_ = size_ = 0;
  if (path.empty()) return Fail("an input file has no name");
  struct stat st {};
  if (stat(path.c_str(), &st) != 0) return Fail(FileReason(path, "cannot open", errno));
  if (S_ISDIR(st.st_mode)) return Fail(FileReason(path, "is a folder, not a file"));
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return Fail(FileReason(path, "cannot open", errno));
  file_.reset(f);
  // The size of what was opened, not of what the name pointed at before.
  if (fstat(fileno(f), &st) != 0) return Fail(FileReason(path, "cannot read its size", errno));
  regular_ = S_ISREG(st.st_mode);
  size_ = regular_ ? static_cast<uint64_t>(st.st_size) : 0;
  return true;
}

size_t InputFile::Read(void* dst, size_t n) {
  if (!file_ || failed_ || n == 0) return 0;
  if (!regular_) {
    const size_t got = std::fread(dst, 1, n, file_.get());
    position_ += got;
    if (got < n && std::ferror(file_.get())) {
      failed_ = true;
      Fail(FileReason(path_, "cannot be read", errno));
    }
    return got;
  }
  const uint64_t left = size_ > position_ ? size_ - position_ : 0;
  const size_t want = n < left ? n : static_cast<size_t>(left);
  if (want == 0) return 0;  // a file that grows is read as it was opened
  const size_t got = std::fread(dst, 1, want, file_.get());
  position_ += got;
  if (got < want) {
    failed_ = true;
    if (std::ferror(file_.get()))
      Fail(FileReason(path_, "cannot be read", errno));
    else
      Fail(FileReason(path_, "became shorter while it was read (" + std::to_string(position_) + " of " +
                                 std::to_string(size_) + " bytes)"));
  }
  return got;
}

bool InputFile::ReadExactly(void* dst, size_t n) { return Read(dst, n) == n && !failed_; }

bool InputFile::Seek(uint64_t offset) {
  if (!file_ || failed_) return false;
  if (!regular_) {
    if (offset == position_) return true;
    failed_ = true;
    return Fail(FileReason(path_, "cannot be read again: it is not a regular file"));
  }
  if (offset > size_ || std::fseek(file_.get(), static_cast<long>(offset), SEEK_SET) != 0) {
    failed_ = true;
    return Fail(FileReason(path_, "cannot be read", errno));
  }
  position_ = offset;
  return true;
}

}  // namespace vidlathe
