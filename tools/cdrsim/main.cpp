// cdrsim: sets up and inspects folders of the simulated recorder.
//
//   cdrsim profiles
//   cdrsim create FOLDER [--profile P] [--media M] [--autoblank] [--capacity N]
//                        [--vendor V] [--product P] [--revision R] [--throttle]
//   cdrsim load FOLDER MEDIA          none | cdr | cdrw | dvdr | dvdrw | dvdprw | rom:FILE.cue
//   cdrsim fault FOLDER add "KIND k=v ..." | clear
//   cdrsim disc FOLDER                the disc in the tray: sessions, tracks, image files
//   cdrsim trace FOLDER [N]           the last N lines of the command trace (all without N)
//
// create refuses a recorder that a program is using (its folder is locked
// while a drive object has it open); load changes the disc of such a
// recorder as a person would, unless the program has locked its tray.
// create, load and fault refuse a folder that holds something and is no
// recorder (it has neither drive.conf nor disc.state), so a mistyped FOLDER
// never turns a folder of photos into a drive; a media name other than those
// above is refused too. A refused command changes nothing.
//
// A burning program is pointed at a folder with VEXA_SCSI_TRANSPORT=sim:FOLDER.
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/base/Path.h"
#include "platform/scsi/SimConfig.h"
#include "platform/scsi/SimDisc.h"
#include "platform/scsi/SimDrive.h"

using namespace vexa::scsi::sim;

namespace {

int Usage() {
  std::fprintf(stderr,
               "usage: cdrsim profiles\n"
               "       cdrsim create FOLDER [--profile P] [--media M] [--autoblank] [--capacity N]\n"
               "                            [--vendor V] [--product P] [--revision R] [--throttle]\n"
               "       cdrsim load FOLDER MEDIA\n"
               "       cdrsim fault FOLDER add \"KIND k=v ...\" | clear\n"
               "       cdrsim disc FOLDER\n"
               "       cdrsim trace FOLDER [N]\n");
  return 2;
}

int Fail(const std::string& why) {
  std::fprintf(stderr, "cdrsim: %s\n", why.c_str());
  return 1;
}

// The media names a drive's tray takes, as drive.conf reads them.
bool KnownMedia(const std::string& media) {
  if (media.rfind("rom:", 0) == 0) return media.size() > 4;
  for (const char* m : {"none", "cdr", "cdrw", "dvdr", "dvdrw", "dvdprw"}) {
    if (media == m) return true;
  }
  return false;
}

std::string UnknownMedia(const std::string& media) {
  return "unknown media '" + media + "' (none, cdr, cdrw, dvdr, dvdrw, dvdprw or rom:FILE.cue)";
}

// A folder that exists, holds something and is no simulated recorder (it
// has neither drive.conf nor disc.state): what it holds, named, to refuse
// it; "" for a missing or empty folder or a recorder's.
std::string ForeignContents(const std::string& folder) {
  namespace fs = std::filesystem;
  std::error_code ec;
  struct stat st {};
  if (::stat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return std::string();
  for (const char* mark : {"drive.conf", "disc.state"}) {
    if (::lstat(vexa::base::JoinPath(folder, mark).c_str(), &st) == 0 && S_ISREG(st.st_mode)) return std::string();
  }
  std::vector<std::string> names;
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    names.push_back(it->path().filename().string());
  }
  if (ec) return "cannot read " + folder + ": " + ec.message();
  if (names.empty()) return std::string();
  std::sort(names.begin(), names.end());
  constexpr std::size_t kNamed = 5;
  std::string list;
  for (std::size_t i = 0; i < names.size() && i < kNamed; ++i) list += (i ? ", " : "") + names[i];
  if (names.size() > kNamed) list += " and " + std::to_string(names.size() - kNamed) + " more";
  return folder + " is no simulated recorder: it holds " + list + " and neither drive.conf nor disc.state";
}

const char* ModeText(TrackMode m) {
  switch (m) {
    case TrackMode::Audio: return "audio";
    case TrackMode::Mode1: return "mode 1";
    case TrackMode::Mode2: return "mode 2";
    case TrackMode::Dvd: return "dvd";
  }
  return "?";
}

int Create(const std::string& folder, const std::vector<std::string>& args) {
  SimConfig c;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    auto value = [&]() -> const std::string* { return i + 1 < args.size() ? &args[++i] : nullptr; };
    const std::string* v = nullptr;
    if (a == "--autoblank") {
      c.autoBlank = true;
    } else if (a == "--throttle") {
      c.throttle = true;
    } else if ((a == "--profile" || a == "--media" || a == "--capacity" || a == "--vendor" || a == "--product" ||
                a == "--revision") && (v = value())) {
      if (a == "--profile") {
        if (!FindProfile(*v)) return Fail("unknown profile " + *v);
        c.profile = *v;
      } else if (a == "--media") {
        c.media = *v;
      } else if (a == "--capacity") {
        c.capacity = std::atoi(v->c_str());
      } else if (a == "--vendor") {
        c.vendor = *v;
      } else if (a == "--product") {
        c.product = *v;
      } else {
        c.revision = *v;
      }
    } else {
      return Usage();
    }
  }
  if (!KnownMedia(c.media)) return Fail(UnknownMedia(c.media));
  if (const std::string why = ForeignContents(folder); !why.empty()) {
    return Fail(why + "; nothing was changed (create takes a new or empty folder, or a recorder's)");
  }
  std::string error;
  if (!vexa::base::MakePrivateDirs(folder)) return Fail("cannot create " + folder);
  // A recorder a program is using keeps its disc.
  const auto lock = FolderLock::Take(folder, &error);
  if (!lock) return Fail(error);
  if (!SaveConfig(folder, c, &error)) return Fail(error);
  // Read back, so a bad value is reported now rather than at the first burn.
  SimConfig check;
  if (!LoadConfig(folder, &check, &error)) return Fail(error);
  if (!SimDrive::LoadMedia(folder, c.media, &error)) return Fail(error);
  std::printf("created %s: %s with %s media\n", folder.c_str(), c.profile.c_str(), c.media.c_str());
  return 0;
}

int ShowDisc(const std::string& folder) {
  SimDisc d;
  std::string error;
  if (!LoadDisc(folder, &d, &error)) return Fail(error);
  static const char* const kStatus[] = {"blank", "incomplete", "complete"};
  std::printf("media %s, %s, capacity %d sectors\n", MediaName(d.kind), kStatus[static_cast<int>(d.status)],
              d.capacity);
  if (!d.image.empty()) {
    std::printf("image %s (%s)\n", vexa::base::JoinPath(folder, d.image).c_str(),
                d.IsDvd() ? ".iso" : d.subcode ? ".bin .cue .sub" : ".bin .cue");
  }
  if (!d.sourceBin.empty()) std::printf("pressed disc from %s\n", d.sourceBin.c_str());
  if (!d.discTitle.empty() || !d.discPerformer.empty()) {
    std::printf("CD-TEXT: \"%s\" by \"%s\"\n", d.discTitle.c_str(), d.discPerformer.c_str());
  }
  for (const auto& s : d.sessions) {
    std::printf("session %d: format %02x, %s, lead-out %d\n", s.number, s.format, s.closed ? "closed" : "open",
                s.leadOut);
  }
  for (const auto& t : d.tracks) {
    std::printf("  track %02d: %s, pregap %d, start %d, length %d%s%s", t.number, ModeText(t.mode), t.pregap,
                t.start, t.length, t.closed ? "" : " (being written)",
                t.packetSize ? (", packets of " + std::to_string(t.packetSize)).c_str() : "");
    for (const auto& i : t.extraIndexes) std::printf(", index %d at %d", i.number, i.address);
    if (!t.title.empty()) std::printf(", \"%s\"", t.title.c_str());
    std::printf("\n");
  }
  if (d.status != DiscStatus::Complete && d.nextWritable >= 0) std::printf("next writable address %d\n", d.nextWritable);
  return 0;
}

int Trace(const std::string& folder, int last) {
  std::string text;
  if (!vexa::base::ReadFile(vexa::base::JoinPath(folder, "trace.txt"), &text)) {
    return Fail("no trace in " + folder);
  }
  std::vector<std::string> lines;
  std::size_t at = 0;
  while (at < text.size()) {
    auto nl = text.find('\n', at);
    if (nl == std::string::npos) nl = text.size();
    lines.push_back(text.substr(at, nl - at));
    at = nl + 1;
  }
  const std::size_t from = last > 0 && lines.size() > static_cast<std::size_t>(last) ? lines.size() - last : 0;
  for (std::size_t i = from; i < lines.size(); ++i) std::printf("%s\n", lines[i].c_str());
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  if (args.empty()) return Usage();
  const std::string command = args[0];
  if (command == "profiles") {
    for (const auto& p : Profiles()) {
      std::printf("%-15s %-8s %-16s %s%s%s\n", p.name.c_str(), p.vendor.c_str(), p.product.c_str(),
                  p.cdr ? "CD-R/RW writer" : "reader", p.dvdMinus ? ", DVD-R/RW" : p.dvdPlus ? ", DVD+RW" : "",
                  p.mmc == 0 ? ", before MMC" : p.mmc == 2 ? ", no feature list" : "");
    }
    return 0;
  }
  if (args.size() < 2) return Usage();
  const std::string folder = args[1];
  std::string error;
  // load and fault write the drive's files: never into a folder that holds
  // something else.
  if (command == "load" || command == "fault") {
    if (const std::string why = ForeignContents(folder); !why.empty()) return Fail(why + "; nothing was changed");
  }
  if (command == "create") return Create(folder, std::vector<std::string>(args.begin() + 2, args.end()));
  if (command == "load") {
    if (args.size() != 3) return Usage();
    if (!KnownMedia(args[2])) return Fail(UnknownMedia(args[2]));
    // A program using the drive sees the new disc on its next command,
    // unless it keeps the tray locked.
    if (!SimDrive::ChangeMedia(folder, args[2], &error)) return Fail(error);
    return ShowDisc(folder);
  }
  if (command == "fault") {
    SimConfig c;
    if (!LoadConfig(folder, &c, &error)) return Fail(error);
    if (args.size() == 3 && args[2] == "clear") {
      c.faults.clear();
    } else if (args.size() == 4 && args[2] == "add") {
      Fault f;
      if (!ParseFault(args[3], &f, &error)) return Fail(error);
      c.faults.push_back(f);
    } else {
      return Usage();
    }
    if (!SaveConfig(folder, c, &error)) return Fail(error);
    for (const auto& f : c.faults) std::printf("fault = %s\n", FaultText(f).c_str());
    return 0;
  }
  if (command == "disc") return ShowDisc(folder);
  if (command == "trace") return Trace(folder, args.size() > 2 ? std::atoi(args[2].c_str()) : 0);
  return Usage();
}
