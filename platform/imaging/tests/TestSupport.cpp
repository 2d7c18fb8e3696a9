#include "platform/imaging/tests/TestSupport.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <unistd.h>

#include "platform/base/Path.h"

namespace vexa::imaging::testing {

bool HaveTool(const std::string& path) { return ::access(path.c_str(), X_OK) == 0; }


std::string Quote(const std::string& s) {
  std::string q = "'";
  for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

double RmseOf(const std::string& a, const std::string& b) {
  std::string out;
  RunCommand(std::string(kCompare) + " -metric RMSE " + Quote(a) + " " + Quote(b) + " null:", &out);
  auto open = out.find('(');
  if (open == std::string::npos) return -1;
  return std::atof(out.c_str() + open + 1);
}

TempDir::TempDir() { dir_ = base::MakeTempDir(base::TempDirectory(), "vexa-imaging-test-"); }
TempDir::~TempDir() {
  if (!dir_.empty()) base::RemoveAll(dir_);
}

Bitmap MakeTestPicture(int width, int height, int bitsPerPixel) {
  Bitmap b;
  EXPECT_TRUE(b.Create(width, height, bitsPerPixel).ok());
  const int n = bitsPerPixel / 8;
  for (int y = 0; y < height; ++y) {
    std::uint8_t* p = b.row(y);
    for (int x = 0; x < width; ++x, p += n) {
      bool grid = (x / 16 + y / 16) % 2 == 0;
      if (n == 1) {
        *p = static_cast<std::uint8_t>((x * 7 + y * 3) & 255);
        continue;
      }
      p[0] = static_cast<std::uint8_t>(255 * x / std::max(1, width - 1));
      p[1] = static_cast<std::uint8_t>(255 * y / std::max(1, height - 1));
      p[2] = grid ? 200 : 40;
      if (n == 4) p[3] = 255;
    }
  }
  return b;
}

bool WritePpm(const Bitmap& bitmap, const std::string& path) {
  std::ofstream f(path, std::ios::binary);
  f << "P6\n" << bitmap.width() << " " << bitmap.height() << "\n255\n";
  for (int y = 0; y < bitmap.height(); ++y) {
    for (int x = 0; x < bitmap.width(); ++x) {
      std::uint8_t r, g, b;
      bitmap.GetRgb(x, y, &r, &g, &b);
      f.put(static_cast<char>(r)).put(static_cast<char>(g)).put(static_cast<char>(b));
    }
  }
  return static_cast<bool>(f);
}

}  // namespace vexa::imaging::testing
