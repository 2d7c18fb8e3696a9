// vexasdk-cli: drives the disc engine by hand.
//
//   vexasdk-cli drives                       the writers, their capabilities and discs
//   vexasdk-cli disc [-d N]                  the disc in a writer
//   vexasdk-cli erase [-d N] [--full]        blanks a rewritable disc and waits for it
//   vexasdk-cli rip TRACK.cda OUT.wav        reads an audio-CD track into a WAV file
//   vexasdk-cli names PATH...                the disc names of original pictures
//   vexasdk-cli make-disc [options] PHOTO... premasters and burns a photo disc
//
// make-disc options: -m MUSIC (repeatable), -1/-2/-3 TITLE LINE, --tv NTSC|PAL,
// --paper Letter|A4, --delay SECONDS, -d DRIVE, --speed N, --test, --temp DIR,
// --no-title-still.
//
// Drives are those of the recorder layer (the simulated recorder when the
// product key's SCSI_TRANSPORT or VEXA_SCSI_TRANSPORT names one). Exit
// status: 0 success, 1 failure, 2 bad usage, 128 + N when signal N (SIGTERM,
// SIGINT, SIGHUP) stopped it: a premaster or burn under way is cancelled and
// the engine released, which removes its work directory.
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "engine/DiscNames.h"
#include "idl/vexasdk.h"
#include "platform/base/Path.h"
#include "platform/base/Memory.h"
#include "platform/base/StopRequest.h"
#include "platform/base/Text.h"
#include "platform/com/Com.h"
#include "platform/com/ComObject.h"

using vexa::com::Bstr;
using vexa::com::ComPtr;

namespace {

int Usage() {
  std::fprintf(stderr,
               "usage: vexasdk-cli drives\n"
               "       vexasdk-cli disc [-d N]\n"
               "       vexasdk-cli erase [-d N] [--full]\n"
               "       vexasdk-cli rip TRACK.cda OUT.wav\n"
               "       vexasdk-cli names PATH...\n"
               "       vexasdk-cli make-disc [-m MUSIC]... [-1 LINE] [-2 LINE] [-3 LINE] [--tv NTSC|PAL]\n"
               "                 [--paper Letter|A4] [--delay SECONDS] [-d N] [--speed N] [--test]\n"
               "                 [--temp DIR] [--no-title-still] PHOTO...\n");
  return 2;
}

// The engine's error text after a failed call, on stderr.
int Failed(const char* what) {
  const auto e = vexa::com::TakeError();
  std::fprintf(stderr, "vexasdk-cli: %s failed%s%s\n", what, e.present ? ": " : "",
               e.present ? e.Utf8Description().c_str() : "");
  return 1;
}

std::string Caps(LONG caps) {
  static const struct {
    LONG bit;
    const char* name;
  } kBits[] = {{VEXACapCDDA, "CD-DA"},         {VEXACapCDR, "CD-R"},
               {VEXACapCDRW, "CD-RW"},         {VEXACapWriteTAO, "TAO"},
               {VEXACapBurnSafe, "BurnSafe"},  {VEXACapLogical, "Logical"},
               {VEXACapISRC, "ISRC"},          {VEXACapUPC, "UPC"}};
  std::string s;
  for (const auto& b : kBits) {
    if (caps & b.bit) s += (s.empty() ? "" : " ") + std::string(b.name);
  }
  return s;
}

const char* DiscTypeName(VEXADiscType t) {
  switch (t) {
    case VEXADiscTypeROM: return "closed or pressed disc";
    case VEXADiscTypeR: return "CD-R";
    case VEXADiscTypeRW: return "CD-RW";
    case VEXADiscTypeNotCD: return "not a CD (a DVD?)";
  }
  return "unknown";
}

struct Engine {
  ComPtr<IVEXAEngine> engine;
  ComPtr<IVEXADriveMgr> drives;
  ComPtr<IVEXABurner> burner;
  ComPtr<IVEXADrive> drive;

  bool Create() {
    if (FAILED(CoCreateInstance(CLSID_VEXAVCDEngine, nullptr, CLSCTX_INPROC_SERVER, vexa::com::IidOf<IVEXAEngine>(),
                                engine.PutVoid()))) {
      return Failed("creating the engine") == 0;
    }
    if (FAILED(engine->get_DriveMgr(drives.Put())) || FAILED(engine->get_Burner(burner.Put()))) {
      return Failed("reaching the engine's views") == 0;
    }
    return true;
  }

  // The writer numbered n, or the first one when n < 0.
  bool Choose(int n) {
    const HRESULT hr = n < 0 ? drives->GetNextDrive(nullptr, VEXAMediaVCD, drive.Put()) : drives->GetDrive(n, drive.Put());
    if (FAILED(hr)) return Failed("choosing the drive") == 0;
    if (!drive) {
      std::fprintf(stderr, "vexasdk-cli: no CD writer found\n");
      return false;
    }
    return true;
  }
};

void PrintDisc(IVEXADrive* d) {
  VEXADriveStatus status{};
  d->GetDriveStatus(&status);
  if (status != VEXADriveStatusOK) {
    std::printf("  disc: none (drive status %d)\n", static_cast<int>(status));
    return;
  }
  VEXADiscType type{};
  if (FAILED(d->GetDiscType(&type))) {
    std::printf("  disc: unreadable\n");
    vexa::com::TakeError();
    return;
  }
  VARIANT_BOOL blank = VARIANT_FALSE;
  d->IsDiscBlank(&blank);
  std::printf("  disc: %s, %s\n", DiscTypeName(type), blank == VARIANT_TRUE ? "blank" : "written");
}

// Whether the disc in the writer can take a new disc image; when not, says
// why and what to do. Asked before the premaster, so no time is spent on
// an image the disc cannot take.
bool DiscIsWritable(IVEXADrive* d) {
  VEXADriveStatus status{};
  if (FAILED(d->GetDriveStatus(&status))) return Failed("asking the drive") == 0;
  if (status != VEXADriveStatusOK) {
    std::fprintf(stderr, "vexasdk-cli: the writer has no disc ready (drive status %d); put in a blank CD-R\n",
                 static_cast<int>(status));
    return false;
  }
  VEXADiscType type{};
  VARIANT_BOOL blank = VARIANT_FALSE;
  if (FAILED(d->GetDiscType(&type)) || FAILED(d->IsDiscBlank(&blank))) return Failed("reading the disc") == 0;
  const char* why = nullptr;
  if (type == VEXADiscTypeNotCD) {
    why = "the disc is not a CD (a DVD?): only CD-R and CD-RW discs can be written; put in a blank CD-R";
  } else if (blank == VARIANT_TRUE) {
    return true;
  } else if (type == VEXADiscTypeRW) {
    why = "the CD-RW is not blank: erase it first (vexasdk-cli erase) or put in a blank disc";
  } else if (type == VEXADiscTypeR) {
    why = "the CD-R has been written to, or was left incomplete, and cannot be written again; put in a blank CD-R";
  } else {
    why = "the disc is closed and cannot be written to; put in a blank CD-R";
  }
  std::fprintf(stderr, "vexasdk-cli: %s\n", why);
  return false;
}

void PrintDrive(IVEXADrive* d) {
  LONG number = -1, caps = 0, max = 0;
  Bstr path, inquiry;
  d->GetDriveNum(&number);
  d->GetDrivePath(path.Out());
  d->GetInquiry(inquiry.Out());
  d->GetDriveCaps(&caps);
  d->GetMaxBurnSpeed(&max);
  std::printf("drive %d: %s\n  path: %s\n  capabilities: %s (0x%x)\n", number, inquiry.Utf8().c_str(),
              path.Utf8().c_str(), Caps(caps).c_str(), static_cast<unsigned>(caps));
  vexa::com::Variant speeds;
  if (SUCCEEDED(d->GetDriveSpeeds(&speeds)) && speeds.vt == (VT_ARRAY | VT_I4) && speeds.parray) {
    std::printf("  write speeds:");
    for (LONG i = 0; i < static_cast<LONG>(speeds.parray->rgsabound[0].cElements); ++i) {
      LONG v = 0;
      SafeArrayGetElement(speeds.parray, &i, &v);
      std::printf(" %dx", v);
    }
    std::printf(" (highest %dx)\n", max);
  }
  PrintDisc(d);
}

int ListDrives() {
  Engine e;
  if (!e.Create()) return 1;
  ComPtr<IVEXADrive> d;
  if (FAILED(e.drives->GetNextDrive(nullptr, VEXAMediaVCD, d.Put()))) return Failed("finding writers");
  if (!d) {
    std::printf("no CD writer found\n");
    return 0;
  }
  LONG first = -1;
  d->GetDriveNum(&first);
  for (int i = 0; i < 256 && d; ++i) {
    PrintDrive(d.Get());
    ComPtr<IVEXADrive> next;
    if (FAILED(e.drives->GetNextDrive(d.Get(), VEXAMediaVCD, next.Put())) || !next) break;
    LONG n = -1;
    next->GetDriveNum(&n);
    if (n == first) break;
    d = next;
  }
  return 0;
}

int ShowDisc(int drive) {
  Engine e;
  if (!e.Create() || !e.Choose(drive)) return 1;
  PrintDrive(e.drive.Get());
  return 0;
}

int Erase(int drive, bool full) {
  Engine e;
  if (!e.Create() || !e.Choose(drive)) return 1;
  VEXADiscType type{};
  if (FAILED(e.drive->GetDiscType(&type))) return Failed("reading the disc");
  if (type != VEXADiscTypeRW) {
    std::fprintf(stderr, "vexasdk-cli: the disc is not rewritable\n");
    return 1;
  }
  if (FAILED(e.burner->StartErase(full ? VARIANT_TRUE : VARIANT_FALSE))) return Failed("erasing");
  std::printf("erasing");
  std::fflush(stdout);
  // The drive blanks on its own; it is asked every half second until idle.
  for (;;) {
    VARIANT_BOOL done = VARIANT_FALSE;
    if (FAILED(e.burner->IsEraseDone(&done))) return Failed("waiting for the erase");
    if (done == VARIANT_TRUE) break;
    // An erase cannot be cancelled: the drive finishes it on its own.
    if (vexa::base::StopSignal()) return 1;
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    std::printf(".");
    std::fflush(stdout);
  }
  VARIANT_BOOL blank = VARIANT_FALSE;
  if (FAILED(e.drive->IsDiscBlank(&blank))) return Failed("reading the disc");
  std::printf(" %s\n", blank == VARIANT_TRUE ? "done: the disc is blank" : "failed: the disc is not blank");
  return blank == VARIANT_TRUE ? 0 : 1;
}

int Rip(const std::string& track, const std::string& wav) {
  Engine e;
  if (!e.Create()) return 1;
  ComPtr<IVEXAStoryboardStillsSlideshow1> sb;
  if (FAILED(e.engine->get_StoryboardStillsSlideshow1(sb.Put()))) return Failed("opening the storyboard");
  LONG size = 0, seconds = 0;
  double play = 0;
  if (FAILED(sb->GetTrackInfo(Bstr::FromUtf8(track).Get(), &size, &play, &seconds))) return Failed("reading the track");
  std::printf("%s: %.1f s, %d bytes of WAV, about %d s to read\n", track.c_str(), play, size, seconds);
  if (FAILED(sb->StartRead(Bstr::FromUtf8(track).Get(), Bstr::FromUtf8(wav).Get()))) return Failed("reading the track");
  std::printf("written %s\n", wav.c_str());
  return 0;
}

int Names(const std::vector<std::string>& paths) {
  vexa::engine::DiscNames names;
  names.SetSessionId("YYMMDD_A");
  for (const auto& p : paths) {
    vexa::engine::OriginalPaths paths;
    std::string error;
    if (!names.GenerateOriginalPaths(p, &paths, &error)) {
      std::fprintf(stderr, "vexasdk-cli: %s: %s\n", p.c_str(), error.c_str());
      return 1;
    }
    std::printf("%s\n  ISO 9660: %s\n  Joliet:   %s\n", p.c_str(), paths.iso.c_str(), paths.joliet.c_str());
  }
  return 0;
}

// ---- make-disc ------------------------------------------------------------------------

struct DiscOptions {
  std::vector<std::string> music;
  std::string lines[3];
  VEXATVSystem tv = VEXATVNTSC;
  VEXAPaperSize paper = VEXAPaperSizeLetter;
  long delay = 5;
  int drive = -1;
  long speed = 0;
  bool test = false;
  bool titleStill = true;
  std::string temp;
  std::vector<std::string> photos;
};

void Bar(const char* what, LONG percent, LONG remaining) {
  const int width = 40;
  const int filled = static_cast<int>(percent * width / 100);
  std::printf("\r%-10s [%s%s] %3d%% %4ds left ", what, std::string(static_cast<std::size_t>(filled), '#').c_str(),
              std::string(static_cast<std::size_t>(width - filled), '.').c_str(), percent, remaining);
  std::fflush(stdout);
}

// Told by the engine when its premaster or burn ends, so that the progress
// bar's wait ends with the run instead of sleeping out its interval.
class RunEnd : public vexa::com::ComObjectRoot, public IVEXAProcessDoneSink {
 public:
  using Interfaces = vexa::com::InterfaceMap<IVEXAProcessDoneSink>;
  HRESULT OnProcessDone() override {
    std::lock_guard lock(mutex_);
    ended_ = true;
    changed_.notify_all();
    return S_OK;
  }
  void Reset() {
    std::lock_guard lock(mutex_);
    ended_ = false;
  }
  void WaitFor(std::chrono::milliseconds longest) {
    std::unique_lock lock(mutex_);
    changed_.wait_for(lock, longest, [&] { return ended_; });
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  bool ended_ = false;
};

// Polls a run to its end with a progress bar; true when it succeeded. A
// stop request cancels the run and waits for its worker to end.
template <typename Cancel>
bool Follow(IVEXAProcessTracker* tracker, const char* what, RunEnd* end, Cancel cancel) {
  for (;;) {
    if (vexa::base::StopSignal()) {
      std::printf("\n");
      std::fprintf(stderr, "vexasdk-cli: %s stopped by signal %d\n", what, vexa::base::StopSignal());
      cancel();
      return false;
    }
    VARIANT_BOOL done = VARIANT_FALSE;
    LONG percent = 0, remaining = 0;
    if (FAILED(tracker->IsProcessDone(&done))) return Failed(what) == 0;
    tracker->GetProgressPercent(&percent);
    tracker->GetEstimatedTimeRemaining(&remaining);
    Bar(what, done == VARIANT_TRUE ? 100 : percent, done == VARIANT_TRUE ? 0 : remaining);
    if (done == VARIANT_TRUE) break;
    end->WaitFor(std::chrono::milliseconds(250));
  }
  std::printf("\n");
  VEXAEngineResult code{};
  tracker->GetLastProcessResultCode(&code);
  if (code != VEXAEngineResultSuccess) {
    Bstr why;
    tracker->GetLastProcessResultMsg(why.Out());
    std::fprintf(stderr, "vexasdk-cli: %s failed with code %d%s%s\n", what, static_cast<int>(code),
                 why.Utf8().empty() ? "" : ": ", why.Utf8().c_str());
    return false;
  }
  return true;
}

double SecondsSince(std::chrono::steady_clock::time_point t) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - t).count();
}

// Seconds as the engine's milliseconds; a delay too long for them goes as
// the longest, which the engine refuses with the most a disc holds.
LONG DelayMs(long seconds) {
  constexpr long kMax = std::numeric_limits<LONG>::max();
  return seconds > kMax / 1000 ? static_cast<LONG>(kMax) : static_cast<LONG>(seconds * 1000);
}

int MakeDisc(const DiscOptions& o) {
  const auto begin = std::chrono::steady_clock::now();
  Engine e;
  if (!e.Create()) return 1;
  ComPtr<IVEXAStoryboardStillsSlideshow1> sb;
  ComPtr<IVEXAPremaster> premaster;
  ComPtr<IVEXAProcessTracker> premasterTracker;
  ComPtr<IVEXABurnProcessTracker> burnTracker;
  if (FAILED(e.engine->get_StoryboardStillsSlideshow1(sb.Put())) || FAILED(e.engine->get_Premaster(premaster.Put())) ||
      FAILED(premaster->get_PremasterProcessTracker(premasterTracker.Put())) ||
      FAILED(e.burner->get_BurnProcessTracker(burnTracker.Put()))) {
    return Failed("opening the engine");
  }
  const std::string temp = o.temp.empty() ? vexa::base::TempDirectory() : o.temp;
  if (FAILED(e.engine->SetTempDirectory(Bstr::FromUtf8(temp).Get()))) return Failed("making the work directory");
  if (FAILED(sb->SetFileSystemSupport(VEXAFSDefault)) || FAILED(sb->SetTVSystem(o.tv)) ||
      FAILED(sb->SetPaperSize(o.paper)) || FAILED(sb->SetStillDelay(DelayMs(o.delay))) ||
      FAILED(sb->SetTitleLines(Bstr::FromUtf8(o.lines[0]).Get(), Bstr::FromUtf8(o.lines[1]).Get(),
                               Bstr::FromUtf8(o.lines[2]).Get()))) {
    return Failed("setting up the album");
  }
  const bool anyTitle = !o.lines[0].empty() || !o.lines[1].empty() || !o.lines[2].empty();
  if (o.titleStill && anyTitle && FAILED(sb->AddTitleStill())) return Failed("making the title still");
  for (const auto& m : o.music) {
    if (FAILED(sb->AddAudioTrack(Bstr::FromUtf8(m).Get(), 0.0))) return Failed(("adding " + m).c_str());
  }
  int n = 0;
  for (const auto& p : o.photos) {
    if (vexa::base::StopSignal()) return 1;
    std::printf("\radding photos %d/%zu", ++n, o.photos.size());
    std::fflush(stdout);
    const Bstr path = Bstr::FromUtf8(p);
    if (FAILED(sb->AddStill(path.Get(), path.Get(), nullptr, 0.0, VEXAResizePicture, 0, VARIANT_FALSE, nullptr, 0.0))) {
      std::printf("\n");
      return Failed(("adding " + p).c_str());
    }
  }
  std::printf(" (%.1f s)\n", SecondsSince(begin));
  // The writer is chosen and its disc checked before the premaster, so a
  // missing writer or a disc it cannot write costs no time.
  if (!e.Choose(o.drive) || !DiscIsWritable(e.drive.Get())) return 1;
  // The engine tells of each run's end; an engine that cannot is polled.
  ComPtr<IVEXAProcessDoneSink> sink;
  vexa::com::ComObject<RunEnd>::Create(sink.Put());
  auto* end = static_cast<RunEnd*>(sink.Get());
  ComPtr<IVEXAProcessEvents> events;
  if (SUCCEEDED(e.engine->QueryInterface(vexa::com::IidOf<IVEXAProcessEvents>(), events.PutVoid())) && events) {
    events->AdviseProcessDone(sink.Get());
  }
  struct Unadvise {
    ComPtr<IVEXAProcessEvents>& events;
    ~Unadvise() {
      if (events) events->AdviseProcessDone(nullptr);
    }
  } unadvise{events};
  auto phase = std::chrono::steady_clock::now();
  end->Reset();
  if (FAILED(premaster->StartPremaster())) return Failed("premastering");
  if (!Follow(premasterTracker.Get(), "premaster", end, [&] { premaster->CancelPremaster(VARIANT_TRUE); })) return 1;
  std::printf("premaster took %.1f s\n", SecondsSince(phase));
  phase = std::chrono::steady_clock::now();
  end->Reset();
  if (FAILED(e.burner->StartBurn(static_cast<LONG>(o.speed), o.test ? VARIANT_TRUE : VARIANT_FALSE, VARIANT_FALSE,
                                 VARIANT_TRUE))) {
    return Failed("starting the burn");
  }
  if (!Follow(burnTracker.Get(), "burn", end, [&] { e.burner->CancelBurn(VARIANT_TRUE); })) return 1;
  std::printf("burn took %.1f s\nthe disc is finished in %.1f s\n", SecondsSince(phase), SecondsSince(begin));
  return 0;
}

bool Number(const char* s, long* out) {
  char* end = nullptr;
  errno = 0;
  const long v = std::strtol(s, &end, 10);
  if (!s[0] || *end || errno) return false;
  *out = v;
  return true;
}

}  // namespace

static int Main(int argc, char** argv) {
  if (argc < 2) return Usage();
  const std::string command = argv[1];
  std::vector<std::string> args(argv + 2, argv + argc);
  CoInitialize(nullptr);
  struct Uninit {
    ~Uninit() { CoUninitialize(); }
  } uninit;

  if (command == "names") return args.empty() ? Usage() : Names(args);
  if (command == "drives") return args.empty() ? ListDrives() : Usage();
  if (command == "rip") return args.size() == 2 ? Rip(args[0], args[1]) : Usage();
  if (command == "disc" || command == "erase") {
    long drive = -1;
    bool full = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
      if (args[i] == "-d" && i + 1 < args.size() && Number(args[i + 1].c_str(), &drive)) {
        ++i;
      } else if (command == "erase" && args[i] == "--full") {
        full = true;
      } else {
        return Usage();
      }
    }
    return command == "disc" ? ShowDisc(static_cast<int>(drive)) : Erase(static_cast<int>(drive), full);
  }
  if (command == "make-disc") {
    DiscOptions o;
    for (std::size_t i = 0; i < args.size(); ++i) {
      const std::string& a = args[i];
      const bool hasValue = i + 1 < args.size();
      long v = 0;
      if (a == "-m" && hasValue) {
        o.music.push_back(args[++i]);
      } else if ((a == "-1" || a == "-2" || a == "-3") && hasValue) {
        o.lines[a[1] - '1'] = args[++i];
      } else if (a == "--tv" && hasValue) {
        const std::string t = vexa::base::ToUpperAscii(args[++i]);
        if (t == "NTSC") o.tv = VEXATVNTSC;
        else if (t == "PAL") o.tv = VEXATVPAL;
        else return Usage();
      } else if (a == "--paper" && hasValue) {
        const std::string p = vexa::base::ToUpperAscii(args[++i]);
        if (p == "A4") o.paper = VEXAPaperSizeA4;
        else if (p == "LETTER") o.paper = VEXAPaperSizeLetter;
        else return Usage();
      } else if (a == "--delay" && hasValue && Number(args[i + 1].c_str(), &v) && v >= 2) {
        o.delay = v;
        ++i;
      } else if (a == "-d" && hasValue && Number(args[i + 1].c_str(), &v)) {
        o.drive = static_cast<int>(v);
        ++i;
      } else if (a == "--speed" && hasValue && Number(args[i + 1].c_str(), &v) && v >= 0) {
        o.speed = v;
        ++i;
      } else if (a == "--temp" && hasValue) {
        o.temp = args[++i];
      } else if (a == "--test") {
        o.test = true;
      } else if (a == "--no-title-still") {
        o.titleStill = false;
      } else if (!a.empty() && a[0] == '-') {
        return Usage();
      } else {
        o.photos.push_back(a);
      }
    }
    if (o.photos.empty()) return Usage();
    return MakeDisc(o);
  }
  return Usage();
}

int main(int argc, char** argv) {
  vexa::base::LimitAllocatorArenas();
  vexa::base::InstallStopHandlers();
  const int status = Main(argc, argv);
  // Everything is released by now: the work directory is gone.
  if (const int sig = vexa::base::StopSignal()) return vexa::base::StopExitStatus(sig);
  return status;
}
