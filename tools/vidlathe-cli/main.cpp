// vidlathe-cli: drives the vidlathe library from the command line. It loads
// the library by name and calls its exported functions, as the disc library
// does.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "encoder/Vidlathe.h"
#include "platform/base/Module.h"
#include "platform/base/Overlap.h"
#include "platform/imaging/Bitmap.h"
#include "platform/imaging/Codec.h"
#include "platform/imaging/Resample.h"
#include "tools/vidlathe-cli/StreamCommands.h"

namespace {

const char kUsage[] =
    "usage: vidlathe-cli still MODE OUT.mpg [--quant Q] [--audio A.mp2 [--loop]] [--ms DISPLAY_MS] PICTURE...\n"
    "       vidlathe-cli motion MODE OUT.mpg --ms DISPLAY_MS [--audio A.mp2 [--loop]] PICTURE...\n"
    "       vidlathe-cli v1 MODE OUT.mpg PICTURE [--quant Q]\n"
    "       vidlathe-cli v2 MODE OUT.mpg FILE.bmp [--quant Q]\n"
    "       vidlathe-cli mp2-props FILE.mp2\n"
    "       vidlathe-cli props|component|concat-stills|concat-motion ... (see: vidlathe-cli props)\n"
    "Modes: still and motion 5..12, v1 and v2 1..4. Q: 2..62 (default 16). Pictures in any format the\n"
    "picture library reads.\n";

int Usage() {
  std::fputs(kUsage, stderr);
  return 2;
}

bool ParseInt(const char* s, int* out) {
  char* end = nullptr;
  const long v = std::strtol(s, &end, 10);
  if (!s[0] || *end || v < -1000000 || v > 1000000) return false;
  *out = static_cast<int>(v);
  return true;
}

// A picture as 32-bit blue, green, red, unused rows, top-down and packed.
struct Picture {
  int width = 0, height = 0;
  std::vector<uint8_t> bgrx;
};

std::string gError;

bool Fail(const std::string& path, const vexa::imaging::Status& st) {
  gError = path + ": " + st.Text() + (st.detail().empty() ? "" : " (" + st.detail() + ")");
  return false;
}

// Reads a picture; with fitW/fitH, scales it to fit inside that size
// keeping its proportions and centres it on black.
bool ReadPicture(const std::string& path, int fitW, int fitH, Picture* out) {
  using namespace vexa::imaging;
  Bitmap loaded, sized, full;
  LoadOptions options;
  if (fitW > 0) {
    ImageInfo info;
    if (Status st = ReadInfo(path, &info); !st) return Fail(path, st);
    if (info.width <= 0 || info.height <= 0) return Fail(path, ErrorCode::kFileCorrupt);
    const double scale = std::min(static_cast<double>(fitW) / info.width, static_cast<double>(fitH) / info.height);
    options.minWidth = std::max(1, static_cast<int>(info.width * scale));
    options.minHeight = std::max(1, static_cast<int>(info.height * scale));
  }
  if (Status st = Load(path, &loaded, options); !st) return Fail(path, st);
  const Bitmap* pic = &loaded;
  if (fitW > 0) {
    const double scale = std::min(static_cast<double>(fitW) / loaded.width(), static_cast<double>(fitH) / loaded.height());
    const int w = std::clamp(static_cast<int>(loaded.width() * scale + 0.5), 1, fitW);
    const int h = std::clamp(static_cast<int>(loaded.height() * scale + 0.5), 1, fitH);
    if (w != loaded.width() || h != loaded.height()) {
      if (Status st = Resize(loaded, w, h, &sized); !st) return Fail(path, st);
      pic = &sized;
    }
  }
  if (pic->bitsPerPixel() != 32) {
    if (Status st = ConvertDepth(*pic, 32, &full); !st) return Fail(path, st);
    pic = &full;
  }
  out->width = fitW > 0 ? fitW : pic->width();
  out->height = fitH > 0 ? fitH : pic->height();
  out->bgrx.assign(static_cast<size_t>(out->width) * out->height * 4, 0);
  const int ox = (out->width - pic->width()) / 2, oy = (out->height - pic->height()) / 2;
  for (int y = 0; y < pic->height(); ++y) {
    uint8_t* dst = &out->bgrx[(static_cast<size_t>(oy + y) * out->width + ox) * 4];
    std::memcpy(dst, pic->row(y), static_cast<size_t>(pic->width()) * 4);
    for (int x = 0; x < pic->width(); ++x) dst[4 * x + 3] = 0;
  }
  return true;
}

// The pictures of a still list, handed to the library one by one.
std::vector<std::string> gFiles;
size_t gNextFile = 0;
int gDisplayMs = 4000;

int NextPicture(void* pixels, BITMAPINFOHEADER* header) {
  if (gNextFile >= gFiles.size()) return 0;
  Picture pic;
  if (!ReadPicture(gFiles[gNextFile], header->biWidth, header->biHeight, &pic)) return 0;
  ++gNextFile;
  std::memcpy(pixels, pic.bgrx.data(), pic.bgrx.size());
  header->biHeight = -header->biHeight;  // our rows run top-down
  return gDisplayMs;
}

struct Library {
  vexa::base::Module module;
  decltype(&Vidlathe1) vidlathe1 = nullptr;
  decltype(&Vidlathe2) vidlathe2 = nullptr;
  decltype(&Multi_I_Enc_Still_MP2) multiStillMp2 = nullptr;
  decltype(&Get_MP2_Prop) getMp2Prop = nullptr;
  decltype(&MulVidlathe_MP2) motionMp2 = nullptr;
  decltype(&Vidlathe_GetLastFailure) lastFailure = nullptr;

  bool Load() {
    module = vexa::base::Module::Load("vidlathe");
    if (!module) {
      std::fprintf(stderr, "vidlathe-cli: cannot load vidlathe: %s\n", module.Error().c_str());
      return false;
    }
    vidlathe1 = module.Function<decltype(vidlathe1)>("Vidlathe1");
    vidlathe2 = module.Function<decltype(vidlathe2)>("Vidlathe2");
    multiStillMp2 = module.Function<decltype(multiStillMp2)>("Multi_I_Enc_Still_MP2");
    getMp2Prop = module.Function<decltype(getMp2Prop)>("Get_MP2_Prop");
    motionMp2 = module.Function<decltype(motionMp2)>("MulVidlathe_MP2");
    lastFailure = module.Function<decltype(lastFailure)>("Vidlathe_GetLastFailure");
    if (!vidlathe1 || !vidlathe2 || !multiStillMp2 || !getMp2Prop || !motionMp2 || !lastFailure) {
      std::fprintf(stderr, "vidlathe-cli: vidlathe lacks an entry point\n");
      return false;
    }
    return true;
  }
};

// The exit status of a call: 0, or 1 with what failed and why (the reason
// the tool found, else the library's).
int Done(const Library& lib, int result, const char* what) {
  if (result) return 0;
  const std::string why = !gError.empty() ? gError : lib.lastFailure ? lib.lastFailure() : "";
  std::fprintf(stderr, "vidlathe-cli: %s failed%s%s\n", what, why.empty() ? "" : ": ", why.c_str());
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (int status = 0; vidlathe_cli::RunStreamCommand(argc, argv, &status)) return status;
  if (argc < 3) return Usage();
  const std::string cmd = argv[1];
  Library lib;
  if (cmd == "mp2-props") {
    if (argc != 3 || !lib.Load()) return argc != 3 ? Usage() : 1;
    StreamProperties p;
    lib.getMp2Prop(argv[2], &p);
    if (!p.audioValid) return Done(lib, 0, "mp2-props");
    std::printf("valid %d\nid %d\nlayer code %d\nsampling index %d\nbit rate index %d\n"
                "layer II 44.1 kHz %d\n224 kbit/s %d\n",
                p.audioValid, p.audioId, p.audioLayerCode, p.audioSamplingIndex, p.audioBitRateIndex,
                p.audioLayer2At44k, p.audio224k);
    return 0;
  }
  if (argc < 5) return Usage();
  int mode = 0, quant = 16, loop = 0;
  if (!ParseInt(argv[2], &mode)) return Usage();
  const std::string out = argv[3];
  std::string audio;
  std::vector<std::string> files;
  const bool list = cmd == "still" || cmd == "motion";
  for (int i = 4; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--quant" && i + 1 < argc) {
      // The quantiser codes from 2 to 62; the library would clamp any other
      // number silently.
      if (!ParseInt(argv[++i], &quant) || quant < 2 || quant > 62) {
        std::fprintf(stderr, "vidlathe-cli: --quant takes a quantiser from 2 to 62, not %s\n", argv[i]);
        return 2;
      }
    } else if (a == "--audio" && i + 1 < argc && list) {
      audio = argv[++i];
    } else if (a == "--loop" && list) {
      loop = 1;
    } else if (a == "--ms" && i + 1 < argc && list) {
      if (!ParseInt(argv[++i], &gDisplayMs) || gDisplayMs <= 0) {
        std::fprintf(stderr, "vidlathe-cli: --ms takes a display time from 1 to 1000000 ms, not %s\n", argv[i]);
        return 2;
      }
    } else if (a.size() > 1 && a[0] == '-' && a[1] == '-') {
      return Usage();
    } else {
      files.push_back(a);
    }
  }
  if (files.empty()) return Usage();
  // The encoders create their output before they read the pictures and the
  // audio: an output that is one of them, by any name, is refused.
  std::vector<std::string> inputs = files;
  if (!audio.empty()) inputs.push_back(audio);
  if (const std::string held = vexa::base::OverlappedInput(out, inputs); !held.empty()) {
    std::fprintf(stderr, "vidlathe-cli: the output %s is the input %s; give another output\n", out.c_str(),
                 held.c_str());
    return 2;
  }
  if (!lib.Load()) return 1;

  if (cmd == "still") {
    gFiles = files;
    return Done(lib, lib.multiStillMp2(static_cast<int>(files.size()), NextPicture, out.c_str(), quant, mode,
                                  audio.empty() ? nullptr : audio.c_str(), loop),
                "still encoding");
  }
  if (cmd == "motion") {
    gFiles = files;
    return Done(lib, lib.motionMp2(static_cast<int>(files.size()), NextPicture, out.c_str(), mode,
                              audio.empty() ? nullptr : audio.c_str(), loop),
                "motion encoding");
  }
  if (files.size() != 1) return Usage();
  if (cmd == "v2") return Done(lib, lib.vidlathe2(files[0].c_str(), out.c_str(), quant, mode), "Vidlathe2");
  if (cmd == "v1") {
    Picture pic;
    if (!ReadPicture(files[0], 0, 0, &pic)) return Done(lib, 0, "reading the picture");
    BITMAPINFOHEADER h{40, pic.width, -pic.height, 1, 32, 0, static_cast<DWORD>(pic.bgrx.size()), 0, 0, 0, 0};
    return Done(lib, lib.vidlathe1(pic.bgrx.data(), &h, out.c_str(), quant, mode), "Vidlathe1");
  }
  return Usage();
}
