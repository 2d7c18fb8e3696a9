// Times VEXAImg's CreateStillDerivatives on each JPEG in a folder (album
// still at full size, thumbnail in a 160 x 160 box, web still in a 640 x 640
// box, all from one decode) against the time of the full decode alone.
//
//   imaging-derivatives-bench OUTDIR PHOTO_OR_FOLDER... [--rotate DEGREES]
//
// Prints one line per photo: name, size, decode ms, derivatives ms (the
// whole job, its own decode included), their ratio (best of three each).
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "idl/VEXAImg.h"
#include "platform/imaging/Codec.h"

namespace img = vexa::imaging;
using Clock = std::chrono::steady_clock;

namespace {

double Ms(Clock::time_point a, Clock::time_point b) {
  return std::chrono::duration<double, std::milli>(b - a).count();
}

// CreateStillDerivatives of VEXAImg, as the disc engine calls it.
bool Derivatives(IVEXAImgUtil* util, const std::string& src, const std::string& out, int rotate) {
  auto b = [](const std::string& s) { return vexa::com::Bstr::FromUtf8(s); };
  VARIANT_BOOL ar, tr, wr;
  LONG aw, ah, tw, th, ww, wh;
  return SUCCEEDED(util->CreateStillDerivatives(b(src).Get(), rotate, b(out + "/album.jpg").Get(),
                                                b(out + "/thumb.jpg").Get(), 160, 160, b(out + "/web.jpg").Get(), 640,
                                                640, &ar, &aw, &ah, &tr, &tw, &th, &wr, &ww, &wh));
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: %s OUTDIR PHOTO_OR_FOLDER... [--rotate DEGREES]\n", argv[0]);
    return 2;
  }
  const std::string out = argv[1];
  int rotate = 0;
  std::vector<std::filesystem::path> photos;
  auto isJpeg = [](const std::filesystem::path& p) {
    std::string ext = p.extension().string();
    std::transform(ext.begin(), ext.end(), ext.begin(), ::tolower);
    return ext == ".jpg" || ext == ".jpeg";
  };
  for (int i = 2; i < argc; ++i) {
    std::string a = argv[i];
    if (a == "--rotate" && i + 1 < argc) {
      rotate = std::atoi(argv[++i]);
    } else if (std::filesystem::is_directory(a)) {
      for (const auto& e : std::filesystem::directory_iterator(a)) {
        if (isJpeg(e.path())) photos.push_back(e.path());
      }
    } else {
      photos.emplace_back(a);
    }
  }
  std::sort(photos.begin(), photos.end());
  CoInitialize(nullptr);
  vexa::com::ComPtr<IVEXAImgUtil> util;
  if (FAILED(CoCreateInstance(CLSID_VEXAImgUtil, nullptr, CLSCTX_INPROC_SERVER, IID_IVEXAImgUtil, util.PutVoid()))) {
    std::fprintf(stderr, "VEXAImgUtil cannot be created\n");
    return 1;
  }
  std::printf("%-28s %11s %10s %14s %6s\n", "photo", "size", "decode_ms", "derivatives_ms", "ratio");
  double sumRatio = 0;
  int n = 0;
  for (const auto& p : photos) {
    double decode = 1e300, derive = 1e300;
    img::Bitmap b;
    for (int run = 0; run < 3; ++run) {
      auto t0 = Clock::now();
      if (!img::Load(p.string(), &b).ok()) break;
      auto t1 = Clock::now();
      if (!Derivatives(util.Get(), p.string(), out, rotate)) break;
      auto t2 = Clock::now();
      decode = std::min(decode, Ms(t0, t1));
      derive = std::min(derive, Ms(t1, t2));
    }
    if (b.empty() || derive > 1e299) {
      std::printf("%-28s unreadable\n", p.filename().c_str());
      continue;
    }
    char size[32];
    std::snprintf(size, sizeof size, "%dx%d", b.width(), b.height());
    std::printf("%-28s %11s %10.1f %14.1f %6.2f\n", p.filename().c_str(), size, decode, derive, derive / decode);
    sumRatio += derive / decode;
    ++n;
  }
  if (n) std::printf("mean ratio derivatives / decode: %.2f (target 1.5)\n", sumRatio / n);
  util.Reset();
  CoUninitialize();
  return 0;
}
