// libFuzzer target for everything that reads MPEG-1 files: the input is
// decoded as an elementary video stream, then probed and demultiplexed as a
// system stream (plain, or CDXA when it starts with "RIFF").
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "encoder/VideoDecoder.h"
#include "encoder/VidlatheStreams.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace vidlathe;
  size_t at = 0;
  VideoDecoder dec(
      [&](uint8_t* dst, size_t cap) {
        // Small pieces, so that units straddle reads.
        const size_t n = std::min({cap, size - at, size_t{4099}});
        std::memcpy(dst, data + at, n);
        at += n;
        return n;
      },
      size % 2 == 0);
  int pictures = 0;
  dec.Run([&](DecodedPicture& p) {
    // Touch every sample so the sanitizers see uninitialised or short planes.
    unsigned sum = 0;
    for (uint8_t s : p.y) sum += s;
    for (uint8_t s : p.u) sum += s;
    for (uint8_t s : p.v) sum += s;
    if (sum == 0xFFFFFFFFu) std::abort();
    return ++pictures < 64;
  });

  static std::string path = [] {
    char tmpl[] = "/tmp/vidlathe-fuzz-XXXXXX";
    const int fd = mkstemp(tmpl);
    if (fd >= 0) close(fd);
    return std::string(tmpl);
  }();
  if (std::FILE* f = std::fopen(path.c_str(), "wb")) {
    std::fwrite(data, 1, size, f);
    std::fclose(f);
    StreamProperties props;
    Get_Mpeg_Stream_Prop(path.c_str(), &props);
  }
  return 0;
}
