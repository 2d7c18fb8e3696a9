// Test inputs made at test time with ffmpeg, and the independent decodes the
// readers are compared with.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "plugins/ARAS.h"
#include "tests/support/Checkers.h"

namespace vexa::discpakb::testing {

using ::vexa::testsupport::CheckersRequired;
bool HaveTool(const std::string& name);
using ::vexa::testsupport::Shell;

#define VEXA_REQUIRE_TOOL(name)                                                        \
  do {                                                                                 \
    if (!::vexa::discpakb::testing::HaveTool(name)) {                                  \
      if (::vexa::discpakb::testing::CheckersRequired()) FAIL() << name << " missing"; \
      GTEST_SKIP() << name << " missing";                                              \
    }                                                                                  \
  } while (0)

// A scratch folder for one test.
class AudioTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;
  std::string Path(const std::string& name) const { return dir_ + "/" + name; }
  // Runs ffmpeg with these arguments (-y, quiet) making `name`; its path.
  std::string Make(const std::string& name, const std::string& args);
  std::string dir_;
};

// Two different tones, so left and right can be told apart.
std::string StereoTone(double seconds);
std::string MonoTone(double seconds);

// ffmpeg's decode of a file as 16-bit samples at its own or a given rate.
// With `asStereo`, mono is written to both sides at full level (ffmpeg's own
// up-mix lowers it by 3 dB).
std::vector<std::int16_t> FfmpegDecode(const std::string& path, int rate = 0, int channels = 2,
                                       bool asStereo = false);
// ffprobe's duration and start time of a file in seconds, -1 when unknown.
double FfprobeDuration(const std::string& path);
double FfprobeStart(const std::string& path);

// Everything a stream delivers, read `chunk` bytes at a time; the sizes of
// the reads go to *reads when given.
std::vector<std::int16_t> ReadAll(ARAS* stream, int chunk = 8192, std::vector<int>* reads = nullptr);

// The best match of `ours` against `theirs` within +-maxShift samples a
// channel: the root mean square difference in LSB over the overlap, and the
// shift found.
struct Match {
  double rms = 1e9;
  int shift = 0;
  std::size_t overlap = 0;
};
Match BestMatch(const std::vector<std::int16_t>& ours, const std::vector<std::int16_t>& theirs, int maxShift);
double Rms(const std::vector<std::int16_t>& v);

std::string ReadBytes(const std::string& path);
void WriteBytes(const std::string& path, const std::string& bytes);

}  // namespace vexa::discpakb::testing
