#include "platform/scsi/SimDisc.h"

#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <sstream>

#include "platform/base/Path.h"
#include "platform/scsi/SimSector.h"

namespace vexa::scsi::sim {

const SimTrack* SimDisc::TrackAt(std::int32_t address) const {
  for (const auto& t : tracks) {
    if (address >= t.pregap && address < t.end) return &t;
  }
  return nullptr;
}

SimTrack* SimDisc::OpenTrack() {
  if (!tracks.empty() && !tracks.back().closed) return &tracks.back();
  return nullptr;
}

const char* MediaName(MediaKind kind) {
  switch (kind) {
    case MediaKind::None: return "none";
    case MediaKind::CdR: return "cdr";
    case MediaKind::CdRw: return "cdrw";
    case MediaKind::CdRom: return "rom";
    case MediaKind::DvdR: return "dvdr";
    case MediaKind::DvdRw: return "dvdrw";
    case MediaKind::DvdPlusRw: return "dvdprw";
  }
  return "none";
}

namespace {

bool MediaFromName(const std::string& name, MediaKind* kind) {
  for (MediaKind k : {MediaKind::None, MediaKind::CdR, MediaKind::CdRw, MediaKind::CdRom,
                      MediaKind::DvdR, MediaKind::DvdRw, MediaKind::DvdPlusRw}) {
    if (name == MediaName(k)) {
      *kind = k;
      return true;
    }
  }
  return false;
}

const char* ModeName(TrackMode m) {
  switch (m) {
    case TrackMode::Audio: return "audio";
    case TrackMode::Mode1: return "mode1";
    case TrackMode::Mode2: return "mode2";
    case TrackMode::Dvd: return "dvd";
  }
  return "mode1";
}

bool ModeFromName(const std::string& name, TrackMode* mode) {
  for (TrackMode m : {TrackMode::Audio, TrackMode::Mode1, TrackMode::Mode2, TrackMode::Dvd}) {
    if (name == ModeName(m)) {
      *mode = m;
      return true;
    }
  }
  return false;
}

std::string RestOf(std::istringstream& in) {
  std::string rest;
  std::getline(in, rest);
  if (!rest.empty() && rest[0] == ' ') rest.erase(0, 1);
  return rest;
}

std::string Msf(std::int32_t fileSector) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%02d:%02d:%02d", fileSector / 4500, fileSector / 75 % 60,
                fileSector % 75);
  return buf;
}

std::string Quoted(const std::string& s) {
  std::string out = "\"";
  for (char c : s) out.push_back(c == '"' ? '\'' : c);
  return out + "\"";
}

SimTrack* FindTrack(SimDisc* disc, int number) {
  for (auto& t : disc->tracks) {
    if (t.number == number) return &t;
  }
  return nullptr;
}

}  // namespace

SimDisc FreshDisc(const std::string& media, std::int32_t capacity) {
  SimDisc d;
  MediaKind kind = MediaKind::None;
  MediaFromName(media, &kind);
  d.kind = kind;
  d.capacity = capacity;
  if (d.IsDvd()) {
    d.capacity = 2295104;  // 4.7 GB single layer
    d.leadInStart = 0;
  }
  d.nextWritable = 0;
  return d;
}

bool SaveDisc(const std::string& folder, const SimDisc& d, std::string* error) {
  std::ostringstream out;
  out << "media " << MediaName(d.kind) << "\n";
  out << "status " << static_cast<int>(d.status) << "\n";
  out << "leadin " << d.leadInStart << "\n";
  out << "capacity " << d.capacity << "\n";
  out << "nwa " << d.nextWritable << "\n";
  out << "flags " << d.cdText << " " << d.subcode << " " << d.formatted << "\n";
  if (!d.image.empty()) out << "image " << d.image << "\n";
  if (!d.sourceBin.empty()) out << "source " << d.sourceBin << "\n";
  if (!d.mcn.empty()) out << "mcn " << d.mcn << "\n";
  if (!d.discTitle.empty()) out << "disctitle " << d.discTitle << "\n";
  if (!d.discPerformer.empty()) out << "discperformer " << d.discPerformer << "\n";
  for (const auto& s : d.sessions) {
    out << "session " << s.number << " " << s.format << " " << s.leadOut << " " << s.closed << "\n";
  }
  for (const auto& t : d.tracks) {
    out << "track " << t.number << " " << t.session << " " << ModeName(t.mode) << " " << t.control
        << " " << t.pregap << " " << t.start << " " << t.length << " " << t.end << " " << t.closed
        << " " << t.packetSize << "\n";
    for (const auto& i : t.extraIndexes) {
      out << "index " << t.number << " " << i.number << " " << i.address << "\n";
    }
    if (!t.title.empty()) out << "ttitle " << t.number << " " << t.title << "\n";
    if (!t.performer.empty()) out << "tperformer " << t.number << " " << t.performer << "\n";
    if (!t.isrc.empty()) out << "isrc " << t.number << " " << t.isrc << "\n";
  }
  const std::string path = base::JoinPath(folder, "disc.state");
  if (!base::WritePrivateFileAtomic(path, out.str())) {
    if (error) *error = "cannot write " + path;
    return false;
  }
  return true;
}

bool LoadDisc(const std::string& folder, SimDisc* disc, std::string* error) {
  const std::string path = base::JoinPath(folder, "disc.state");
  std::string text;
  if (!base::ReadFile(path, &text)) {
    if (error) *error = "cannot read " + path;
    return false;
  }
  SimDisc d;
  std::istringstream lines(text);
  std::string line;
  int number = 0;
  while (std::getline(lines, line)) {
    ++number;
    if (line.empty()) continue;
    std::istringstream in(line);
    std::string key;
    in >> key;
    bool ok = true;
    if (key == "media") {
      std::string m;
      ok = (in >> m) && MediaFromName(m, &d.kind);
    } else if (key == "status") {
      int s = 0;
      ok = (in >> s) && s >= 0 && s <= 2;
      d.status = static_cast<DiscStatus>(s);
    } else if (key == "leadin") {
      ok = static_cast<bool>(in >> d.leadInStart);
    } else if (key == "capacity") {
      ok = static_cast<bool>(in >> d.capacity);
    } else if (key == "nwa") {
      ok = static_cast<bool>(in >> d.nextWritable);
    } else if (key == "flags") {
      ok = static_cast<bool>(in >> d.cdText >> d.subcode >> d.formatted);
    } else if (key == "image") {
      d.image = RestOf(in);
      ok = !d.image.empty() && d.image.find('/') == std::string::npos;
    } else if (key == "source") {
      d.sourceBin = RestOf(in);
    } else if (key == "mcn") {
      d.mcn = RestOf(in);
    } else if (key == "disctitle") {
      d.discTitle = RestOf(in);
    } else if (key == "discperformer") {
      d.discPerformer = RestOf(in);
    } else if (key == "session") {
      SimSession s;
      ok = static_cast<bool>(in >> s.number >> s.format >> s.leadOut >> s.closed);
      d.sessions.push_back(s);
    } else if (key == "track") {
      SimTrack t;
      std::string mode;
      ok = (in >> t.number >> t.session >> mode >> t.control >> t.pregap >> t.start >> t.length >>
            t.end >> t.closed >> t.packetSize) &&
           ModeFromName(mode, &t.mode) && t.number >= 1 && t.number <= 99 && t.length >= 0;
      d.tracks.push_back(t);
    } else if (key == "index" || key == "ttitle" || key == "tperformer" || key == "isrc") {
      int n = 0;
      ok = static_cast<bool>(in >> n);
      SimTrack* t = ok ? FindTrack(&d, n) : nullptr;
      ok = t != nullptr;
      if (ok && key == "index") {
        SimIndex i;
        ok = static_cast<bool>(in >> i.number >> i.address);
        t->extraIndexes.push_back(i);
      } else if (ok && key == "ttitle") {
        t->title = RestOf(in);
      } else if (ok && key == "tperformer") {
        t->performer = RestOf(in);
      } else if (ok) {
        t->isrc = RestOf(in);
      }
    } else {
      ok = false;
    }
    if (!ok) {
      if (error) *error = path + ":" + std::to_string(number) + ": malformed line";
      return false;
    }
  }
  *disc = d;
  return true;
}

bool LoadCueDisc(const std::string& cuePath, SimDisc* disc, std::string* error) {
  std::string text;
  auto fail = [&](const std::string& why) {
    if (error) *error = cuePath + ": " + why;
    return false;
  };
  if (!base::ReadFile(cuePath, &text)) return fail("cannot read");
  SimDisc d;
  d.kind = MediaKind::CdRom;
  d.status = DiscStatus::Complete;
  std::istringstream lines(text);
  std::string line;
  SimTrack* current = nullptr;
  while (std::getline(lines, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    std::istringstream in(line);
    std::string key;
    if (!(in >> key)) continue;
    auto quotedRest = [&]() {
      std::string rest = RestOf(in);
      const auto a = rest.find('"');
      const auto b = rest.rfind('"');
      if (a != std::string::npos && b > a) return rest.substr(a + 1, b - a - 1);
      return rest;
    };
    if (key == "FILE") {
      if (!d.sourceBin.empty()) return fail("only one FILE is supported");
      std::string rest = RestOf(in);
      const auto a = rest.find('"');
      const auto b = rest.rfind('"');
      std::string name = (a != std::string::npos && b > a) ? rest.substr(a + 1, b - a - 1)
                                                           : rest.substr(0, rest.find(' '));
      if (rest.find("BINARY") == std::string::npos) return fail("the FILE must be BINARY");
      d.sourceBin = name.size() && name[0] == '/' ? name : base::JoinPath(base::DirName(cuePath), name);
    } else if (key == "TRACK") {
      int n = 0;
      std::string mode;
      if (!(in >> n >> mode) || n < 1 || n > 99) return fail("bad TRACK line");
      if (!d.tracks.empty() && n != d.tracks.back().number + 1) return fail("track numbers must follow each other");
      SimTrack t;
      t.number = n;
      t.closed = true;
      if (mode == "AUDIO") {
        t.mode = TrackMode::Audio;
        t.control = 0;
      } else if (mode == "MODE1/2352") {
        t.mode = TrackMode::Mode1;
      } else if (mode == "MODE2/2352") {
        t.mode = TrackMode::Mode2;
      } else {
        return fail("track mode " + mode + " is not supported (2352-byte sectors only)");
      }
      t.pregap = t.start = -1;
      d.tracks.push_back(t);
      current = &d.tracks.back();
    } else if (key == "INDEX") {
      int n = 0;
      std::string msf;
      int m = 0, s = 0, f = 0;
      if (!current || !(in >> n >> msf) || std::sscanf(msf.c_str(), "%d:%d:%d", &m, &s, &f) != 3 ||
          s >= 60 || f >= 75) {
        return fail("bad INDEX line");
      }
      const std::int32_t fileSector = (m * 60 + s) * 75 + f;
      const std::int32_t address = fileSector;
      if (n == 0) {
        current->pregap = address;
      } else if (n == 1) {
        current->start = address;
        if (current->pregap < 0) current->pregap = address;
      } else {
        current->extraIndexes.push_back({n, address});
      }
    } else if (key == "PREGAP" || key == "POSTGAP") {
      return fail(key + " (a pause not held in the file) is not supported; hold it in the file as INDEX 00");
    } else if (key == "TITLE") {
      (current ? current->title : d.discTitle) = quotedRest();
    } else if (key == "PERFORMER") {
      (current ? current->performer : d.discPerformer) = quotedRest();
    } else if (key == "CATALOG") {
      d.mcn = RestOf(in);
    } else if (key == "ISRC" && current) {
      current->isrc = RestOf(in);
    }
  }
  if (d.tracks.empty() || d.sourceBin.empty()) return fail("no tracks");
  struct stat st;
  if (::stat(d.sourceBin.c_str(), &st) != 0) return fail("cannot find " + d.sourceBin);
  const std::int64_t fileSectors = st.st_size / 2352;
  for (std::size_t i = 0; i < d.tracks.size(); ++i) {
    SimTrack& t = d.tracks[i];
    if (t.start < 0) return fail("track " + std::to_string(t.number) + " has no INDEX 01");
    if (t.pregap > t.start) return fail("track " + std::to_string(t.number) + ": INDEX 00 after INDEX 01");
    t.end = i + 1 < d.tracks.size() ? d.tracks[i + 1].pregap : static_cast<std::int32_t>(fileSectors);
    if (t.end <= t.start) return fail("track " + std::to_string(t.number) + " is empty or out of order");
    t.length = t.end - t.start;
  }
  SimSession s;
  s.number = 1;
  s.closed = true;
  s.leadOut = d.tracks.back().end;
  s.format = 0;
  for (const auto& t : d.tracks) {
    if (t.mode == TrackMode::Mode2) s.format = 0x20;
  }
  d.sessions.push_back(s);
  d.nextWritable = -1;
  d.capacity = s.leadOut;
  // CD-TEXT packs of a pressed disc lie beside its .bin as NAME.cdt.
  d.cdText = base::FileExists(d.sourceBin.substr(0, d.sourceBin.rfind('.')) + ".cdt");
  *disc = d;
  return true;
}

std::string CueText(const SimDisc& d) {
  std::ostringstream out;
  // FILE comes first and the first TRACK right after it: some players' cue
  // readers take the image's name from the first line alone and want the
  // track on the second. Only a disc with a catalogue number or disc
  // CD-TEXT (an audio CD) has lines between them, as those lines must come
  // before the first track. The note of who wrote the sheet goes last.
  out << "FILE " << Quoted(d.image + ".bin") << " BINARY\n";
  if (!d.mcn.empty()) out << "CATALOG " << d.mcn << "\n";
  if (!d.discTitle.empty()) out << "TITLE " << Quoted(d.discTitle) << "\n";
  if (!d.discPerformer.empty()) out << "PERFORMER " << Quoted(d.discPerformer) << "\n";
  int session = 1;
  for (const auto& t : d.tracks) {
    if (t.length == 0) continue;
    if (t.session != session) {
      session = t.session;
      out << "  REM SESSION " << (session < 10 ? "0" : "") << session << "\n";
    }
    char num[8];
    std::snprintf(num, sizeof num, "%02d", t.number);
    out << "  TRACK " << num << " "
        << (t.mode == TrackMode::Audio ? "AUDIO" : t.mode == TrackMode::Mode1 ? "MODE1/2352" : "MODE2/2352")
        << "\n";
    if (!t.title.empty()) out << "    TITLE " << Quoted(t.title) << "\n";
    if (!t.performer.empty()) out << "    PERFORMER " << Quoted(t.performer) << "\n";
    if (!t.isrc.empty()) out << "    ISRC " << t.isrc << "\n";
    if (t.mode == TrackMode::Audio && (t.control & 0x0B)) {
      out << "    FLAGS";
      if (t.control & 0x02) out << " DCP";
      if (t.control & 0x08) out << " 4CH";
      if (t.control & 0x01) out << " PRE";
      out << "\n";
    }
    if (t.pregap >= 0 && t.pregap < t.start) out << "    INDEX 00 " << Msf(t.pregap) << "\n";
    out << "    INDEX 01 " << Msf(t.start) << "\n";
    for (const auto& i : t.extraIndexes) {
      char n[8];
      std::snprintf(n, sizeof n, "%02d", i.number);
      out << "    INDEX " << n << " " << Msf(i.address) << "\n";
    }
  }
  out << "REM written by the simulated recorder\n";
  return out.str();
}

}  // namespace vexa::scsi::sim
