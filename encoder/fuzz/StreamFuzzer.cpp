// libFuzzer target for everything that reads MPEG-1 files: the input is
// decoded as an elementary video stream, then probed and demultiplexed as a
// system stream (plain, or CDXA when it starts with "RIFF").
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "encoder/reader/Demultiplexer.h"
#include "encoder/reader/UnchangedCopy.h"
#include "encoder/reader/VideoDecoder.h"
#include "encoder/reader/StreamProperties.h"

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

  static const std::string& path = *[] {
    char tmpl[] = "/tmp/vidlathe-fuzz-XXXXXX";
    const int fd = mkstemp(tmpl);
    if (fd >= 0) close(fd);
    static std::string* p = new std::string(tmpl);
    std::atexit([] { std::remove(p->c_str()); });
    return p;
  }();
  if (std::FILE* f = std::fopen(path.c_str(), "wb")) {
    std::fwrite(data, 1, size, f);
    std::fclose(f);
    StreamProperties props;
    ReadStreamProperties(path, &props);

    // Demultiplexed and decoded as the re-encoding path does.
    SystemStreamReader r;
    if (r.Open(path)) {
      size_t audioBytes = 0;
      Demultiplexer demux(&r, [&](const uint8_t*, size_t n) {
        audioBytes += n;
        return true;
      });
      VideoDecoder dec2([&](uint8_t* dst, size_t cap) { return demux.ReadVideo(dst, cap); });
      int n = 0;
      dec2.Run([&](DecodedPicture&) { return ++n < 16; });
    }
    // Copied with its clocks moved, as an unchanged copy does.
    if (std::FILE* out = std::fopen("/dev/null", "wb")) {
      CarriedClocks clocks{123456, 234567, -1};
      CopyUnchanged(path, out, &clocks, {});
      std::fclose(out);
    }
  }
  return 0;
}
