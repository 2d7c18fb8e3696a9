#include "tools/vidlathe-cli/StreamCommands.h"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "encoder/VidlatheStreams.h"
#include "platform/base/Module.h"

namespace vidlathe_cli {

namespace {

const char kStreamUsage[] =
    "usage: vidlathe-cli props FILE\n"
    "       vidlathe-cli component MODE OUT.mpg ITEM...\n"
    "       vidlathe-cli concat-stills MODE OUT.mpg IN.mpg...\n"
    "       vidlathe-cli concat-motion MODE OUT.mpg IN.mpg...\n"
    "A component ITEM is a system stream kept with its own audio, or an\n"
    "elementary video stream followed by '+' and its audio files:\n"
    "VIDEO.m1v+A.mp2+B.mp2 (VIDEO.m1v+ for none).\n"
    "Modes: component and concat-motion 1 (352x240 29.97/s), 2 (352x240\n"
    "23.976/s), 3 (352x288 25/s); concat-stills 1..3 (352-wide stills), 4..6 (pairs).\n";

int Usage() {
  std::fputs(kStreamUsage, stderr);
  return 2;
}

int lastPercent = -1;
int ShowProgress(int percent) {
  if (percent != lastPercent) std::fprintf(stderr, "\r%3d%%", percent);
  if (percent == 100) std::fputc('\n', stderr);
  lastPercent = percent;
  return 1;
}

const char* RateName(int code) {
  static const char* kNames[] = {"forbidden", "23.976", "24", "25", "29.97",
                                 "30",        "50",     "59.94", "60"};
  return code >= 0 && code <= 8 ? kNames[code] : "reserved";
}

template <typename F>
F Bind(vexa::base::Module& module, const char* name) {
  F f = module.Function<F>(name);
  if (!f) std::fprintf(stderr, "vidlathe-cli: vidlathe lacks %s\n", name);
  return f;
}

// The library's reason for the last failure on this thread.
std::string LastFailure(vexa::base::Module& module) {
  auto last = Bind<decltype(&Vidlathe_GetLastFailure)>(module, "Vidlathe_GetLastFailure");
  return last ? last() : std::string();
}

int Failed(vexa::base::Module& module, const std::string& what) {
  const std::string why = LastFailure(module);
  std::fprintf(stderr, "vidlathe-cli: %s failed%s%s\n", what.c_str(), why.empty() ? "" : ": ", why.c_str());
  return 1;
}

int Props(vexa::base::Module& module, const char* path) {
  auto get = Bind<decltype(&Get_Mpeg_Stream_Prop)>(module, "Get_Mpeg_Stream_Prop");
  if (!get) return 1;
  StreamProperties p;
  get(path, &p);
  // A file the record cannot describe whole is an error, not a record of
  // zeros.
  if (!LastFailure(module).empty()) return Failed(module, "props");
  const int64_t size = p.fileSize;
  std::printf("system stream %d\nvideo %d\nvideo kind %d\nsize %dx%d\npicture rate code %d (%s/s)\n"
              "bit rate %d (%d bit/s)\nconstrained parameters %d\n"
              "audio %d\naudio id %d\naudio layer code %d\naudio sampling index %d\n"
              "audio bit rate index %d\nlayer II 44.1 kHz %d\n224 kbit/s %d\nfile size %lld\n",
              p.systemStream != 0, p.videoPresent, p.videoKind, p.horizontalSize, p.verticalSize,
              p.pictureRateCode, RateName(p.pictureRateCode), p.bitRate, p.bitRate * 400,
              p.constrainedParameters, p.audioValid, p.audioId, p.audioLayerCode,
              p.audioSamplingIndex, p.audioBitRateIndex, p.audioLayer2At44k, p.audio224k,
              static_cast<long long>(size));
  return 0;
}

}  // namespace

bool RunStreamCommand(int argc, char** argv, int* status) {
  if (argc < 2) return false;
  const std::string cmd = argv[1];
  if (cmd != "props" && cmd != "component" && cmd != "concat-stills" && cmd != "concat-motion")
    return false;
  const bool props = cmd == "props";
  if ((props && argc != 3) || (!props && argc < 4)) {
    *status = Usage();
    return true;
  }
  int mode = 0;
  if (!props) {
    char* end = nullptr;
    mode = static_cast<int>(std::strtol(argv[2], &end, 10));
    if (!argv[2][0] || *end) {
      *status = Usage();
      return true;
    }
  }
  vexa::base::Module module = vexa::base::Module::Load("vidlathe");
  if (!module) {
    std::fprintf(stderr, "vidlathe-cli: cannot load vidlathe: %s\n", module.Error().c_str());
    *status = 1;
    return true;
  }
  if (props) {
    *status = Props(module, argv[2]);
    return true;
  }
  const char* out = argv[3];
  int result = 0;
  if (cmd == "component") {
    auto run = Bind<decltype(&Motion_VCD_Component)>(module, "Motion_VCD_Component");
    if (!run) {
      *status = 1;
      return true;
    }
    // Each item: its video path and its audio paths, kept alive for the call.
    std::vector<std::vector<std::string>> parts;
    for (int i = 4; i < argc; ++i) {
      std::vector<std::string> p;
      std::string item = argv[i];
      size_t at;
      bool elementary = false;
      while ((at = item.find('+')) != std::string::npos) {
        p.push_back(item.substr(0, at));
        item = item.substr(at + 1);
        elementary = true;
      }
      if (!item.empty()) p.push_back(item);
      if (elementary && p.empty()) p.push_back("");
      p.insert(p.begin(), elementary ? "e" : "s");
      parts.push_back(std::move(p));
    }
    std::vector<std::vector<const char*>> audio(parts.size());
    std::vector<MotionComponent> entries;
    for (size_t i = 0; i < parts.size(); ++i) {
      for (size_t k = 2; k < parts[i].size(); ++k) audio[i].push_back(parts[i][k].c_str());
      entries.push_back(MotionComponent{parts[i][0] == "s", parts[i][1].c_str(),
                                        static_cast<int32_t>(audio[i].size()),
                                        audio[i].empty() ? nullptr : audio[i].data()});
    }
    const MotionComponentList list{static_cast<int32_t>(entries.size()), entries.data()};
    result = run(&list, mode, out, ShowProgress);
  } else {
    std::vector<const char*> paths;
    for (int i = 4; i < argc; ++i) paths.push_back(argv[i]);
    const MpegFileList list{static_cast<int32_t>(paths.size()), paths.data()};
    const char* name = cmd == "concat-stills" ? "Concatenate_VCD_Stills" : "Concatenate_VCD_motion";
    auto run = Bind<decltype(&Concatenate_VCD_motion)>(module, name);
    if (!run) {
      *status = 1;
      return true;
    }
    result = run(&list, mode, out, ShowProgress);
  }
  if (lastPercent >= 0 && lastPercent != 100) std::fputc('\n', stderr);
  *status = result ? 0 : Failed(module, cmd);
  return true;
}

}  // namespace vidlathe_cli
