// libFuzzer target: the MP3 frame walk (analysis) and the MP3 reader on
// arbitrary bytes, given to libmpg123 as an in-memory file.
#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "plugins/discpakb/Mp3AudioStream.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace vexa::discpakb;
  const int fd = ::memfd_create("fuzz.mp3", MFD_CLOEXEC);
  if (fd < 0) return 0;
  if (::write(fd, data, size) != static_cast<ssize_t>(size)) {
    ::close(fd);
    return 0;
  }
  const std::string real = "/proc/self/fd/" + std::to_string(fd);
  {
    Mp3AudioStream stream(real);
    if (stream.Open() == 1) {
      stream.GetFormat();
      std::uint32_t out = 0;
      stream.GetSize(&out);
      std::vector<std::uint32_t> buffer(2048);
      for (int i = 0; i < 256 && stream.Read(buffer.data(), 8192) > 0; ++i) {
      }
    }
  }
  ::close(fd);
  return 0;
}
