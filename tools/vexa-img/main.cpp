// vexa-img: the still-picture jobs of the imaging layer from the command
// line, for checks by hand and for scripts.
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "platform/imaging/Codec.h"
#include "platform/imaging/Resample.h"
#include "platform/imaging/Transform.h"

namespace img = vexa::imaging;

namespace {

int Usage() {
  std::fprintf(stderr,
               "usage: vexa-img info FILE\n"
               "       vexa-img any2jpg SRC DST\n"
               "       vexa-img resize SRC DST W H [--box] [--upsample] [--matte R,G,B]\n"
               "       vexa-img rotate SRC DST DEG\n"
               "       vexa-img crop SRC DST X0 Y0 X1 Y1\n");
  return 2;
}

int Fail(const char* what, const img::Status& s) {
  std::fprintf(stderr, "vexa-img: %s failed - %d - %s", what, s.Number(), s.Text());
  if (!s.detail().empty()) std::fprintf(stderr, " (%s)", s.detail().c_str());
  std::fprintf(stderr, "\n");
  return 1;
}

bool ToInt(const std::string& s, int* out) {
  char* end = nullptr;
  long v = std::strtol(s.c_str(), &end, 10);
  if (s.empty() || *end != '\0' || v < -2147483647L || v > 2147483647L) return false;
  *out = static_cast<int>(v);
  return true;
}

int Save(const std::string& path, const img::Bitmap& b, int format = img::kFormatJpeg) {
  if (img::Status s = img::Save(path, b, format, img::kDefaultQualityFactor); !s) return Fail("save", s);
  std::printf("%s %dx%d\n", path.c_str(), b.width(), b.height());
  return 0;
}

int Info(const std::string& path) {
  img::ImageInfo info;
  if (img::Status s = img::ReadInfo(path, &info); !s) return Fail("info", s);
  std::printf("format %d (%.*s) %dx%d %d bpp\n", info.format, static_cast<int>(img::FormatName(info.format).size()),
              img::FormatName(info.format).data(), info.width, info.height, info.bitsPerPixel);
  return 0;
}

int Resize(const std::vector<std::string>& a) {
  if (a.size() < 4) return Usage();
  int w = 0, h = 0;
  if (!ToInt(a[2], &w) || !ToInt(a[3], &h) || w < 1 || h < 1) return Usage();
  bool box = false, upsample = false;
  std::optional<std::uint32_t> matte;
  for (std::size_t i = 4; i < a.size(); ++i) {
    if (a[i] == "--box") {
      box = true;
    } else if (a[i] == "--upsample") {
      upsample = true;
    } else if (a[i] == "--matte" && i + 1 < a.size()) {
      unsigned r = 256, g = 256, b = 256;
      if (std::sscanf(a[++i].c_str(), "%u,%u,%u", &r, &g, &b) != 3 || r > 255 || g > 255 || b > 255) return Usage();
      matte = r | g << 8 | b << 16;
    } else {
      return Usage();
    }
  }
  img::ImageInfo info;
  if (img::Status s = img::ReadInfo(a[0], &info); !s) return Fail("load", s);
  // Decode no larger than needed: a JPEG then uses its DCT scaling.
  img::LoadOptions need{w, h};
  if (box) {
    img::BoxFit fit = img::FitIntoBox(info.width, info.height, w, h, upsample);
    need = {fit.width, fit.height};
  }
  img::Bitmap src, out;
  if (img::Status s = img::Load(a[0], &src, need); !s) return Fail("load", s);
  img::Status s = box ? img::ResizeIntoBox(src, w, h, upsample, matte, &out) : img::Resize(src, w, h, &out);
  if (!s) return Fail("resize", s);
  return Save(a[1], out);
}

int Rotate(const std::vector<std::string>& a) {
  int degrees = 0;
  if (a.size() != 3 || !ToInt(a[2], &degrees) || degrees < -36000 || degrees > 36000) return Usage();
  img::Bitmap src, out;
  if (img::Status s = img::Load(a[0], &src); !s) return Fail("load", s);
  if (img::Status s = img::Rotate(src, degrees * 100, true, &out); !s) return Fail("rotate", s);
  bool jpeg = img::IsInFamily(src.format(), img::FormatFamily::kJpg);
  return Save(a[1], out, jpeg ? src.format() : img::kFormatJpeg);
}

int Crop(const std::vector<std::string>& a) {
  int x0, y0, x1, y1;
  if (a.size() != 6 || !ToInt(a[2], &x0) || !ToInt(a[3], &y0) || !ToInt(a[4], &x1) || !ToInt(a[5], &y1)) {
    return Usage();
  }
  if (x0 < 0 || y0 < 0 || x1 <= x0 || y1 <= y0) return Usage();
  img::Bitmap src, out;
  if (img::Status s = img::Load(a[0], &src); !s) return Fail("load", s);
  if (img::Status s = img::CopyRect(src, x0, y0, x1 - x0, y1 - y0, &out); !s) return Fail("crop", s);
  return Save(a[1], out);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return Usage();
  std::string cmd = argv[1];
  std::vector<std::string> a(argv + 2, argv + argc);
  if (cmd == "info" && a.size() == 1) return Info(a[0]);
  if (cmd == "any2jpg" && a.size() == 2) {
    img::Bitmap b;
    if (img::Status s = img::Load(a[0], &b); !s) return Fail("load", s);
    return Save(a[1], b);
  }
  if (cmd == "resize") return Resize(a);
  if (cmd == "rotate") return Rotate(a);
  if (cmd == "crop") return Crop(a);
  return Usage();
}
