// Shared helpers of the encoder tests: synthetic pictures, temporary
// folders, and the independent checkers (skipped when missing, required when
// VEXA_REQUIRE_CHECKERS=1).
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "encoder/Vidlathe.h"
#include "platform/base/Path.h"
#include "tests/support/Checkers.h"

namespace vidlathe::testing {

using ::vexa::testsupport::CheckersRequired;

inline bool HaveTool(const std::string& tool) { return ::vexa::testsupport::HaveProgram(tool); }

// Skips the test when tool is missing, unless checkers are required.
#define VIDLATHE_NEED_TOOL(tool)                                                 \
  do {                                                                           \
    if (!::vidlathe::testing::HaveTool(tool)) {                                  \
      if (::vidlathe::testing::CheckersRequired()) FAIL() << tool << " missing"; \
      GTEST_SKIP() << tool << " missing";                                        \
    }                                                                            \
  } while (0)

// Runs a shell command; its standard output, and the exit status in *status.
inline std::string Shell(const std::string& cmd, int* status = nullptr) {
  return ::vexa::testsupport::ShellOutput(cmd, status);
}

inline std::vector<uint8_t> ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

class TempDir {
 public:
  TempDir() : path_(vexa::base::MakeTempDir(vexa::base::TempDirectory(), "vidlathe-test-")) {}
  ~TempDir() { vexa::base::RemoveAll(path_); }
  std::string File(const std::string& name) const { return path_ + "/" + name; }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

// A photo-like test picture: smooth colour gradients with a few edges and a
// little texture, in blue, green, red, unused byte order, rows top to bottom.
inline std::vector<uint8_t> SyntheticPicture(int w, int h, int seed) {
  std::vector<uint8_t> px(static_cast<size_t>(w) * h * 4);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      uint8_t* p = &px[(static_cast<size_t>(y) * w + x) * 4];
      const double fx = static_cast<double>(x) / w, fy = static_cast<double>(y) / h;
      const bool disc = (fx - 0.6) * (fx - 0.6) + (fy - 0.4) * (fy - 0.4) < 0.04;
      const double tex = 12 * std::sin(x * 0.7 + seed) * std::sin(y * 0.5);
      p[0] = static_cast<uint8_t>(std::clamp(40 + 180 * fx + tex, 0.0, 255.0));
      p[1] = static_cast<uint8_t>(std::clamp(30 + 200 * fy + (seed % 3) * 10 + tex, 0.0, 255.0));
      p[2] = static_cast<uint8_t>(disc ? 230 : std::clamp(200 - 150 * fx * fy + tex, 0.0, 255.0));
      p[3] = 0;
    }
  return px;
}

// Luminance of a decoded picture as ffmpeg sees it: stream index, frame n.
inline std::vector<uint8_t> DecodeLuma(const std::string& file, int stream, int frame) {
  const std::string cmd = "ffmpeg -v error -i '" + file + "' -map 0:v:" + std::to_string(stream) +
                          " -vf 'select=eq(n\\," + std::to_string(frame) +
                          ")' -frames:v 1 -f rawvideo -pix_fmt yuv420p -";
  // The luminance is the first two thirds of the planar picture.
  const std::string out = Shell(cmd);
  return std::vector<uint8_t>(out.begin(), out.begin() + static_cast<std::ptrdiff_t>(out.size() / 3 * 2));
}

inline double Psnr(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b) {
  if (a.size() != b.size() || a.empty()) return 0;
  double se = 0;
  for (size_t i = 0; i < a.size(); ++i) se += (a[i] - b[i]) * double(a[i] - b[i]);
  if (se == 0) return 99;
  return 10 * std::log10(255.0 * 255.0 * a.size() / se);
}

}  // namespace vidlathe::testing
