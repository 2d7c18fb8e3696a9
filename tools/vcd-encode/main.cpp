// vcd-encode: runs the Video CD library's encoder objects on files.
//
//   vcd-encode audio OUTPUT.MP2 MUSIC...
//       music files (WAV, MP3, WMA) into one Layer II file
//   vcd-encode video [-f FORMAT] [-t DISPLAY_MS] [-c CAPTION_MS] [-q QUALITY]
//                    [-a MP2] OUTPUT.MPG PICTURE[::CAPTION]...
//       pictures into a still (formats 3-5) or motion (0-2) stream,
//       multiplexed with the Layer II file given with -a
//
// Progress (percent and seconds remaining) is shown on standard error once
// a second. Exit status: 0 done, 1 failed (the run's result state is
// named), 2 bad command line (an unknown option or format, a number out of
// range, an output that is one of the inputs).
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "disclib/vcd/DiscpakLibrary.h"
#include "platform/base/File.h"
#include "platform/base/Overlap.h"

namespace {

constexpr int kFailed = 1;
constexpr int kBadUsage = 2;

int Usage(const std::string& why = std::string()) {
  if (!why.empty()) std::fprintf(stderr, "vcd-encode: %s\n", why.c_str());
  std::fprintf(stderr,
               "usage: vcd-encode audio OUTPUT.MP2 MUSIC...\n"
               "       vcd-encode video [-f FORMAT] [-t DISPLAY_MS] [-c CAPTION_MS] [-q QUALITY] [-a MP2]\n"
               "                        OUTPUT.MPG PICTURE[::CAPTION]...\n"
               "  FORMAT 0-2 motion (NTSC, NTSC 24/s, PAL), 3-5 stills (NTSC, size kept, PAL);\n"
               "  DISPLAY_MS 1-1000000, CAPTION_MS 0-1000000, QUALITY 2-62\n"
               "exit status: 0 done, 1 failed, 2 bad command line\n");
  return kBadUsage;
}

// A whole number from low to high, or false.
bool ParseNumber(const char* text, int low, int high, int* value) {
  char* end = nullptr;
  errno = 0;
  const long v = std::strtol(text, &end, 10);
  if (!*text || *end || errno != 0 || v < low || v > high) return false;
  *value = static_cast<int>(v);
  return true;
}

// Shows progress until the run is done; answers its state.
template <typename Encoder>
int Follow(Encoder* e, const char* what) {
  std::int32_t percent = 0, remaining = 0, done = 0;
  for (;;) {
    const bool finished = e->WaitDone(1000) == 1;
    e->GetProgress(&percent, &remaining, &done);
    std::fprintf(stderr, "\r%s: %3d%%, %d s left   ", what, percent, remaining);
    if (finished) break;
  }
  std::fprintf(stderr, "\n");
  const char* name = nullptr;
  const std::int32_t state = e->GetResult(&name);
  if (state == 0) return 0;
  std::fprintf(stderr, "vcd-encode: %s failed with state %d%s%s\n", what, state, name && *name ? ": " : "",
               name ? name : "");
  return kFailed;
}

// An output that is one of the inputs (by any name) is refused: the encoder
// creates its output before it reads them.
// So is one the system's output rules refuse (a symbolic link, a folder,
// another user's file): the encoder would fail without saying why.
bool Overwrites(const std::string& output, const std::vector<std::string>& inputs) {
  const std::string held = vexa::base::OverlappedInput(output, inputs);
  if (!held.empty()) {
    std::fprintf(stderr, "vcd-encode: the output %s is the input %s; give another output\n", output.c_str(),
                 held.c_str());
    return true;
  }
  const std::string why = vexa::base::OutputRefusal(output);
  if (why.empty()) return false;
  std::fprintf(stderr, "vcd-encode: %s\n", why.c_str());
  return true;
}

int Audio(DISCPAK_LibObject* t, int argc, char** argv) {
  if (argc < 2) return Usage();
  if (Overwrites(argv[0], std::vector<std::string>(argv + 1, argv + argc))) return kBadUsage;
  I_VCDClassMPG1L2AudioEncode* e = t->NewVCDClassMPG1L2AudioEncode();
  if (!e) return kFailed;
  for (int i = 1; i < argc; ++i) {
    if (!e->AddAudioFile(argv[i])) {
      std::fprintf(stderr, "vcd-encode: %s: not a readable audio file\n", argv[i]);
      t->DeleteVCDClassMPG1L2AudioEncode(e);
      return kFailed;
    }
  }
  std::fprintf(stderr, "%d files, about %d bytes, %d sectors\n", argc - 1, e->EstimateBytes(), e->EstimateSectors());
  e->StartConversion(argv[0]);
  const int state = Follow(e, "audio");
  t->DeleteVCDClassMPG1L2AudioEncode(e);
  return state;
}

int Video(DISCPAK_LibObject* t, int argc, char** argv) {
  int format = 0, displayMs = 4000, captionMs = 4000, quality = 16;
  const char* mp2 = nullptr;
  int i = 0;
  for (; i < argc && argv[i][0] == '-' && argv[i][1] != '\0'; i += 2) {
    const std::string option = argv[i];
    if (option.size() != 2 || std::strchr("ftcqa", option[1]) == nullptr) return Usage("unknown option " + option);
    if (i + 1 >= argc) return Usage(option + " needs a value");
    const char* v = argv[i + 1];
    bool ok = true;
    switch (option[1]) {
      case 'f': ok = ParseNumber(v, 0, 5, &format); break;
      case 't': ok = ParseNumber(v, 1, 1000000, &displayMs); break;
      case 'c': ok = ParseNumber(v, 0, 1000000, &captionMs); break;
      case 'q': ok = ParseNumber(v, 2, 62, &quality); break;
      default: mp2 = v; break;
    }
    if (!ok) return Usage(option + ": '" + v + "' is not one of the numbers it takes");
  }
  if (argc - i < 2) return Usage();
  std::vector<std::string> inputs;
  if (mp2) inputs.emplace_back(mp2);
  for (int k = i + 1; k < argc; ++k) {
    const std::string picture = argv[k];
    inputs.push_back(picture.substr(0, picture.find("::")));
  }
  if (Overwrites(argv[i], inputs)) return kBadUsage;
  I_VCDClassMPG1VideoEncode* e = t->NewVCDClassMPG1VideoEncode();
  if (!e) return kFailed;
  e->SetVideoFormat(format);
  e->SetStillTimes(displayMs, captionMs);
  e->SetQuality(quality);
  e->SetCaptionStyle("Arial", 18, 0, 8, 85);
  int rc = 0;
  if (mp2 && !e->SetAudioFile(mp2, 1)) {
    std::fprintf(stderr, "vcd-encode: %s: cannot be opened\n", mp2);
    rc = kFailed;
  }
  const char* output = argv[i++];
  for (; rc == 0 && i < argc; ++i) {
    std::string picture = argv[i], caption;
    const auto sep = picture.find("::");
    if (sep != std::string::npos) {
      caption = picture.substr(sep + 2);
      picture.resize(sep);
    }
    if (!e->AddPicture(picture.c_str(), caption.empty() ? nullptr : caption.c_str(), 0)) {
      std::fprintf(stderr, "vcd-encode: %s: cannot be added\n", picture.c_str());
      rc = kFailed;
    }
  }
  if (rc == 0) {
    std::fprintf(stderr, "about %d sectors\n", e->EstimateSectors());
    e->StartConversion(output);
    rc = Follow(e, "video");
  }
  t->DeleteVCDClassMPG1VideoEncode(e);
  return rc;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return Usage();
  auto* t = static_cast<DISCPAK_LibObject*>(DLL_LL_GetLibObject("DISCPAK"));
  if (!t || t->version != kDiscpakVersion) {
    std::fprintf(stderr, "vcd-encode: no DISCPAK library object\n");
    return kFailed;
  }
  int rc;
  if (std::strcmp(argv[1], "audio") == 0) {
    rc = Audio(t, argc - 2, argv + 2);
  } else if (std::strcmp(argv[1], "video") == 0) {
    rc = Video(t, argc - 2, argv + 2);
  } else {
    rc = Usage();
  }
  DLL_LL_ReleaseObject(t);
  return rc;
}
