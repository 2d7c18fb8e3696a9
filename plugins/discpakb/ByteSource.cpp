#include "plugins/discpakb/ByteSource.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace vexa::discpakb {

std::unique_ptr<FileSource> FileSource::Open(const std::string& path) {
  // O_NONBLOCK keeps a FIFO from blocking the open; it is refused below.
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return nullptr;
  std::unique_ptr<FileSource> file(new FileSource(fd, 0));
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) return nullptr;
  file->size_ = static_cast<std::uint64_t>(st.st_size);
  return file;
}

FileSource::~FileSource() { ::close(fd_); }

std::size_t FileSource::ReadAt(std::uint64_t offset, void* buffer, std::size_t n) {
  std::size_t done = 0;
  auto* out = static_cast<char*>(buffer);
  while (done < n) {
    const ssize_t r = ::pread(fd_, out + done, n - done, static_cast<off_t>(offset + done));
    if (r < 0 && errno == EINTR) continue;
    if (r <= 0) break;
    done += static_cast<std::size_t>(r);
  }
  return done;
}

std::size_t MemorySource::ReadAt(std::uint64_t offset, void* buffer, std::size_t n) {
  if (offset >= bytes_.size()) return 0;
  const std::size_t count = std::min<std::uint64_t>(n, bytes_.size() - offset);
  std::memcpy(buffer, bytes_.data() + offset, count);
  return count;
}

bool IsReadableFile(const std::string& path) { return FileSource::Open(path) != nullptr; }

}  // namespace vexa::discpakb
