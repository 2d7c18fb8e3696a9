// cdr-cli: the recorder layer by hand, through the same "CDR4BASE" and
// "CDR4COMS" library objects the disc engine fetches from discpakm2.
//
//   cdr-cli [--sim FOLDER] [--log FILE] [-d N] COMMAND ...
//     drives                      every device with its class, capability and quirk words
//     disc                        disc information and the next writable track
//     toc                         the table of contents
//     blank [--full]              erases a rewritable disc and waits until the drive is idle
//     write [--mode1|--xa] [--speed X] [--test] [--open] FILE
//                                 writes FILE as one data track, track-at-once, and closes
//                                 the session (left open for more with --open)
//     audio --sao|--raw [--title T] [--performer P] [--gap SECTORS] [--test]
//           WAV[=TITLE[/PERFORMER]] ...
//                                 an audio disc from 44.1 kHz 16-bit stereo WAV files,
//                                 session-at-once or raw, with CD-TEXT when titles are given
//     format-fp [--packet N]      formats a blank CD-RW for fixed packets of N blocks (32)
//     packet-write [--at ADDRESS] FILE
//                                 writes FILE in packets into the formatted track from ADDRESS
//
// Without --sim the transport is VEXA_SCSI_TRANSPORT, else the registry's
// SCSI_TRANSPORT, else the machine's drives.
//
// --log FILE: the recorder layer's drive-command log, begun anew each run.
// Its first line is the time and kLogHeader, so a log of this tool can be
// told from any other file: an existing FILE is emptied only when it is such
// a log (or empty). Any other file, a file the command reads, a file in a
// simulated recorder's folder, a link or anything but a regular file of the
// user's own is refused (status 2) before a drive is opened, and stays as it
// was.
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "disclib/recorder/CDR4BASE.h"
#include "disclib/recorder/CDR4COMS.h"
#include "disclib/recorder/CdText.h"
#include "disclib/recorder/SessionLayout.h"
#include "disclib/vcd/DiscpakLibrary.h"
#include "platform/base/File.h"
#include "platform/base/Overlap.h"
#include "platform/base/Text.h"

namespace {

using discpak::SessionLayout;

CDR4BASE* g_base = nullptr;
CDR4COMS* g_coms = nullptr;

constexpr char kUsage[] =
    "usage: cdr-cli [--sim FOLDER] [--log FILE] [-d N] COMMAND\n"
    "  drives | disc | toc | blank [--full]\n"
    "  write [--mode1|--xa] [--speed X] [--test] [--open] FILE\n"
    "  audio --sao|--raw [--title T] [--performer P] [--gap SECTORS] WAV[=TITLE[/PERFORMER]]...\n"
    "  format-fp [--packet N] | packet-write [--at ADDRESS] FILE\n";

constexpr char kHelp[] =
    "\n"
    "  --sim FOLDER  use the simulated recorder kept in FOLDER (made with cdrsim)\n"
    "  --log FILE    write the drive-command log to FILE, begun anew each run. Its\n"
    "                first line is the time and \"cdr-cli drive-command log\"; an\n"
    "                existing FILE is emptied only when it is empty or begins with\n"
    "                that line. Any other file, a file the command reads, a file in\n"
    "                the simulated recorder's folder, a symbolic link, or anything\n"
    "                but a regular file of your own is refused and left as it is.\n"
    "  -d N          the drive (0 first)\n"
    "\n"
    "exit status: 0 done, 1 failed, 2 bad command line or a refused log\n";

// The first line of every log this tool writes holds this text after the
// time ("SSSS.SSS  ", whose first character is "F" when the line ended a
// block the log wrote).
constexpr char kLogHeader[] = "cdr-cli drive-command log";

int Usage() {
  std::fputs(kUsage, stderr);
  return 2;
}

int Fail(I_CDRClass* drive, const char* what) {
  const char* error = drive ? g_base->CDR4_GetLastError(drive, nullptr) : nullptr;
  std::fprintf(stderr, "cdr-cli: %s%s%s\n", what, error ? ": " : "", error ? error : "");
  return 1;
}

std::string CapNames(DWORD caps) {
  static const std::pair<DWORD, const char*> kNames[] = {
      {CDRF_READCDDA, "READCDDA"}, {CDRF_CDDAACCURATE, "CDDAACCURATE"}, {CDRF_SUBCODE, "SUBCODE"},
      {CDRF_RAWSUBCODE, "RAWSUBCODE"}, {CDRF_READC2, "READC2"}, {CDRF_CDTEXT, "CDTEXT"}, {CDRF_CDR, "CDR"},
      {CDRF_CDRW, "CDRW"}, {CDRF_WRITETAO, "WRITETAO"}, {CDRF_WRITESAO, "WRITESAO"},
      {CDRF_WRITECDTEXT, "WRITECDTEXT"}, {CDRF_WRITERAW, "WRITERAW"}, {CDRF_BURNPROOF, "BURNPROOF"},
      {CDRF_METHOD2, "METHOD2"}, {CDRF_ISRC, "ISRC"}, {CDRF_UPC, "UPC"}, {CDRF_WRITEDAO, "WRITEDAO"},
      {CDRF_OVERBURN, "OVERBURN"}, {CDRF_WRITERSCODE, "WRITERSCODE"}, {CDRF_WRITECSCODE, "WRITECSCODE"},
      {CDRF_STONEFORD, "STONEFORD"}, {CDRF_MMC3, "MMC3"}, {CDRF_DVDR, "DVDR"}, {CDRF_DVDRW, "DVDRW"},
      {CDRF_DvdPrw, "DvdPrw"}};
  std::string s;
  for (const auto& [bit, name] : kNames) {
    if (caps & bit) s += (s.empty() ? "" : " ") + std::string(name);
  }
  return s;
}

DWORD HostLong(const BYTE* p) {
  DWORD v;
  std::memcpy(&v, p, 4);
  return v;
}

int Drives() {
  int found = 0;
  for (int d = 0; d < 64 && g_coms->COMS_GetDeviceType(d) != 255; ++d) {
    ++found;
    I_CDRClass* drive = g_base->CDR4_CreateDrive(d);
    if (!drive) {
      std::printf("%d: no drive class\n", d);
      continue;
    }
    char inquiry[32] = {};
    g_base->CDR4_GetInquiry(drive, inquiry);
    const DWORD caps = g_base->CDR4_GetDriveCaps(drive);
    const ComsDeviceInfo* info = g_coms->COMS_GetDeviceInfo(d);
    std::printf("%d: %s  %s%s\n   CDRF %08lx %s\n", d, inquiry, info ? info->text : "",
                g_base->CDR4_GetDriveDB(drive) ? ", database entry" : "", static_cast<unsigned long>(caps),
                CapNames(caps).c_str());
    std::printf("   write speed %ld, read speed %ld\n", static_cast<long>(g_base->CDR4_SpeedQuery(drive, 2048)),
                static_cast<long>(g_base->CDR4_ReadSpeedQuery(drive, 2048)));
    g_base->CDR4_DeleteDrive(drive);
  }
  if (found == 0) std::printf("no drives\n");
  return 0;
}

int Disc(I_CDRClass* drive) {
  BYTE info[32];
  if (g_base->CDR4_IsDiscBlank(drive, info) != 0) return Fail(drive, "cannot read the disc information");
  static const char* const kStatus[] = {"blank", "incomplete", "complete", "other"};
  std::printf("disc: %s%s, %d session(s), tracks %d-%d, disc type %02x\n", kStatus[info[2] & 3],
              (info[2] & 0x10) ? ", erasable" : "", info[4], info[5], info[6], info[8]);
  BYTE track[36];
  if (g_base->CDR4_ReadTrackInfo(drive, 255, track) == 0) {
    std::printf("next track %d: start %lu, next writable %lu, free %lu blocks\n", track[2],
                static_cast<unsigned long>(HostLong(track + 8)), static_cast<unsigned long>(HostLong(track + 12)),
                static_cast<unsigned long>(HostLong(track + 16)));
  } else {
    std::printf("no writable track\n");
  }
  return 0;
}

int Toc(I_CDRClass* drive) {
  std::vector<BYTE> toc(804);
  DWORD length = 804;
  if (g_base->CDR4_QueryDisc(drive, CDRQ_TOC, &length, toc.data()) != 0) return Fail(drive, "cannot read the TOC");
  WORD n;
  std::memcpy(&n, toc.data(), 2);
  std::printf("tracks %d-%d\n", toc[2], toc[3]);
  for (DWORD at = 4; at + 8 <= n + 2u && at + 8 <= 804; at += 8) {
    const BYTE* d = toc.data() + at;
    const DWORD address = HostLong(d + 4);
    if (d[2] == 0xAA) {
      std::printf("lead-out at %lu\n", static_cast<unsigned long>(address));
    } else {
      std::printf("track %02d: %s at %lu\n", d[2], (d[1] & 0x04) ? "data" : "audio",
                  static_cast<unsigned long>(address));
    }
  }
  return 0;
}

int Blank(I_CDRClass* drive, bool full) {
  const LONG r = g_base->CDR4_BlankDisc(drive, full ? 1 : 0);
  if (r == 6) return Fail(drive, "this drive cannot blank discs");
  if (r != 0) return Fail(drive, "blanking failed");
  // The drive answers at once and blanks on its own; ask it every half
  // second until it is idle (a full blank of a real disc takes minutes).
  for (int polls = 0; !g_base->CDR4_IsIdle(drive); ++polls) {
    if (polls > 2 * 60 * 30) return Fail(drive, "the drive did not finish blanking");
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
  }
  std::printf("blanked\n");
  return 0;
}

int Write(I_CDRClass* drive, const std::vector<std::string>& args) {
  bool xa = false, test = false, open = false;
  LONG speed = 0;
  std::string file;
  for (std::size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--mode1") xa = false;
    else if (args[i] == "--xa") xa = true;
    else if (args[i] == "--test") test = true;
    else if (args[i] == "--open") open = true;
    else if (args[i] == "--speed" && i + 1 < args.size()) speed = std::atol(args[++i].c_str());
    else if (file.empty() && args[i][0] != '-') file = args[i];
    else return Usage();
  }
  if (file.empty()) return Usage();
  std::ifstream in(file, std::ios::binary);
  if (!in) {
    std::fprintf(stderr, "cdr-cli: cannot read %s\n", file.c_str());
    return 1;
  }
  if (speed > 0) g_base->CDR4_SpeedQuery(drive, speed);
  const LONG type = xa ? CDR_TRACK_MODE2_FORM2 : CDR_TRACK_MODE1;
  const LONG size = xa ? 2332 : 2048;
  if (g_base->CDR4_StartTAO(drive, 255, type, (test ? CDR_TESTWRITE : 0) | CDR_BURNPROOF, nullptr, nullptr) != 0) {
    return Fail(drive, "cannot start the track");
  }
  // Mode 2 units are form 1 data sectors: an 8-byte subheader, then 2048 bytes.
  std::vector<BYTE> block(static_cast<std::size_t>(size) * 16);
  long sectors = 0;
  bool refused = false;
  for (;;) {
    std::fill(block.begin(), block.end(), 0);
    LONG n = 0;
    for (; n < 16; ++n) {
      BYTE* unit = block.data() + static_cast<std::size_t>(n) * size;
      BYTE* data = xa ? unit + 8 : unit;
      if (xa) {
        unit[2] = unit[6] = 0x08;
      }
      in.read(reinterpret_cast<char*>(data), 2048);
      if (in.gcount() == 0) break;
      if (in.gcount() < 2048) {
        ++n;
        break;
      }
    }
    if (n == 0) break;
    if (g_base->CDR4_WriteTAO(drive, size, n, block.data()) != 0) {
      refused = true;
      break;
    }
    sectors += n;
    if (n < 16) break;
  }
  const LONG finished = g_base->CDR4_FinishTAO(drive);
  if (refused || finished != 0) return Fail(drive, "the track failed");
  std::printf("wrote %ld sectors\n", sectors);
  if (!test && g_base->CDR4_CloseSession(drive, xa ? 0x20 : 0x00, open ? 0 : 1) != 1) {
    return Fail(drive, "cannot close the session");
  }
  return 0;
}

// The PCM of a WAV file: 44.1 kHz, 16-bit, stereo only.
bool ReadWav(const std::string& path, std::vector<BYTE>* pcm, std::string* error) {
  std::ifstream in(path, std::ios::binary);
  std::vector<BYTE> file((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  auto u32 = [&](std::size_t at) { return file[at] | (file[at + 1] << 8) | (file[at + 2] << 16) | (DWORD(file[at + 3]) << 24); };
  auto u16 = [&](std::size_t at) { return static_cast<DWORD>(file[at] | (file[at + 1] << 8)); };
  if (file.size() < 12 || std::memcmp(file.data(), "RIFF", 4) != 0 || std::memcmp(file.data() + 8, "WAVE", 4) != 0) {
    *error = path + " is no WAV file";
    return false;
  }
  bool format = false;
  for (std::size_t at = 12; at + 8 <= file.size();) {
    const DWORD size = u32(at + 4);
    if (size > file.size() - at - 8) {
      *error = path + ": a chunk runs past the end of the file";
      return false;
    }
    if (std::memcmp(file.data() + at, "fmt ", 4) == 0 && size >= 16) {
      if (u16(at + 8) != 1 || u16(at + 10) != 2 || u32(at + 12) != 44100 || u16(at + 22) != 16) {
        *error = path + " is not 44.1 kHz 16-bit stereo PCM";
        return false;
      }
      format = true;
    } else if (std::memcmp(file.data() + at, "data", 4) == 0) {
      if (!format) break;
      pcm->assign(file.begin() + static_cast<long>(at) + 8, file.begin() + static_cast<long>(at + 8 + size));
      return true;
    }
    at += 8 + size + (size & 1);
  }
  *error = path + " has no PCM data";
  return false;
}

int Audio(I_CDRClass* drive, const std::vector<std::string>& args) {
  bool sao = false, raw = false, test = false;
  LONG gap = 150;
  std::vector<std::string> titles(1), performers(1), files;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a == "--sao") sao = true;
    else if (a == "--raw") raw = true;
    else if (a == "--test") test = true;
    else if (a == "--title" && i + 1 < args.size()) titles[0] = args[++i];
    else if (a == "--performer" && i + 1 < args.size()) performers[0] = args[++i];
    else if (a == "--gap" && i + 1 < args.size()) gap = std::atol(args[++i].c_str());
    else if (!a.empty() && a[0] != '-') files.push_back(a);
    else return Usage();
  }
  if (sao == raw || files.empty() || files.size() > 99 || gap < 0) return Usage();
  std::vector<std::vector<BYTE>> pcm;
  std::vector<SessionLayout::Track> tracks;
  bool text = !titles[0].empty() || !performers[0].empty();
  for (const std::string& f : files) {
    // FILE=TITLE/PERFORMER
    const auto eq = f.find('=');
    const std::string path = f.substr(0, eq);
    std::string title, performer;
    if (eq != std::string::npos) {
      const std::string t = f.substr(eq + 1);
      const auto slash = t.find('/');
      title = t.substr(0, slash);
      if (slash != std::string::npos) performer = t.substr(slash + 1);
      text = true;
    }
    titles.push_back(title);
    performers.push_back(performer);
    std::vector<BYTE> samples;
    std::string error;
    if (!ReadWav(path, &samples, &error)) {
      std::fprintf(stderr, "cdr-cli: %s\n", error.c_str());
      return 1;
    }
    samples.resize((samples.size() + 2351) / 2352 * 2352, 0);
    SessionLayout::Track t;
    t.pause = gap;
    t.length = static_cast<LONG>(samples.size() / 2352);
    if (t.length < 300) t.length = 300, samples.resize(300 * 2352, 0);  // at least 4 seconds
    tracks.push_back(t);
    pcm.push_back(std::move(samples));
  }
  SessionLayout layout(tracks, 0x00);
  if (text) {
    const std::vector<BYTE> record = BuildCdTextRecord(titles, performers, 1, static_cast<int>(files.size()));
    if (record.empty()) {
      std::fprintf(stderr, "cdr-cli: the CD-TEXT is too long\n");
      return 1;
    }
    layout.SetCDText(record);
  }
  const LONG flags = (test ? CDR_TESTWRITE : 0) | CDR_BURNPROOF | (raw ? CDR_FORCERAW : 0);
  if (g_base->CDR4_StartSAO(drive, &layout, flags) != 0) return Fail(drive, "cannot start the session");
  // The stream: each track's pause as silence, then its samples.
  bool refused = false;
  std::vector<BYTE> silence(2352 * 16, 0);
  auto put = [&](const BYTE* data, LONG count) {
    for (LONG at = 0; at < count && !refused; at += 16) {
      const LONG n = std::min<LONG>(16, count - at);
      refused = g_base->CDR4_WriteSAO(drive, CDR_TRACK_AUDIO, 2352, n, data ? data + static_cast<std::size_t>(at) * 2352
                                                                             : silence.data()) != 0;
    }
  };
  for (std::size_t t = 0; t < tracks.size() && !refused; ++t) {
    put(nullptr, t == 0 ? 150 : tracks[t].pause);
    put(pcm[t].data(), tracks[t].length);
  }
  const LONG finished = g_base->CDR4_FinishSAO(drive);
  if (refused || finished != 0) return Fail(drive, "the session failed");
  std::printf("wrote %zu tracks, lead-out at %ld\n", tracks.size(), static_cast<long>(layout.LeadOut()));
  return 0;
}

int FormatFP(I_CDRClass* drive, const std::vector<std::string>& args) {
  LONG packet = 32;
  if (args.size() == 2 && args[0] == "--packet") packet = std::atol(args[1].c_str());
  else if (!args.empty()) return Usage();
  const LONG r = drive->FormatDiscFP(packet);
  if (r == 6) return Fail(drive, "this drive cannot format CD-RW discs");
  if (r != 0) return Fail(drive, "formatting failed");
  std::printf("formatted for packets of %ld blocks\n", static_cast<long>(packet));
  return 0;
}

int PacketWrite(I_CDRClass* drive, const std::vector<std::string>& args) {
  LONG at = 0;
  std::string file;
  for (std::size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--at" && i + 1 < args.size()) at = std::atol(args[++i].c_str());
    else if (file.empty()) file = args[i];
    else return Usage();
  }
  std::ifstream in(file, std::ios::binary);
  if (!in) {
    std::fprintf(stderr, "cdr-cli: cannot read %s\n", file.c_str());
    return 1;
  }
  std::vector<BYTE> data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  LONG packet = 0, start = 0, size = 0;
  if (drive->StartFP(1, &packet, &start, &size) != 0) return Fail(drive, "no fixed-packet track to write");
  const std::size_t bytes = static_cast<std::size_t>(packet) * 2048;
  data.resize((data.size() + bytes - 1) / bytes * bytes, 0);
  LONG failed = 0;
  for (std::size_t off = 0; off < data.size() && !failed; off += bytes) {
    failed = drive->WriteFP(start + at + static_cast<LONG>(off / 2048), packet, data.data() + off);
  }
  const LONG finished = drive->FinishFP();
  if (failed || finished) {
    std::fprintf(stderr, "cdr-cli: packet write failed at %ld\n", static_cast<long>(drive->LastFailedFP()));
    return Fail(drive, "the packets failed");
  }
  std::printf("wrote %zu blocks at %ld in packets of %ld\n", data.size() / 2048, static_cast<long>(start + at),
              static_cast<long>(packet));
  return 0;
}

std::string Quoted(const std::string& path) { return "'" + vexa::base::EscapeForDisplay(path) + "'"; }

// The files a command reads, as its own parsing finds them.
std::vector<std::string> InputsOf(const std::string& command, const std::vector<std::string>& args) {
  std::vector<std::string> inputs;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a == "--speed" || a == "--at" || a == "--title" || a == "--performer" || a == "--gap" || a == "--packet") {
      ++i;
    } else if (a.empty() || a[0] == '-') {
      continue;
    } else if (command == "audio") {
      inputs.push_back(a.substr(0, a.find('=')));
    } else if (command == "write" || command == "packet-write") {
      inputs.push_back(a);
    }
  }
  return inputs;
}

// The folders of the simulated recorders the transport setting names.
std::vector<std::string> SimFolders() {
  std::vector<std::string> folders;
  const char* setting = std::getenv("VEXA_SCSI_TRANSPORT");
  if (!setting || std::strncmp(setting, "sim:", 4) != 0) return folders;
  std::string rest = setting + 4;
  while (!rest.empty()) {
    const auto semi = rest.find(';');
    if (semi != 0) folders.push_back(rest.substr(0, semi));
    rest = semi == std::string::npos ? std::string() : rest.substr(semi + 1);
  }
  return folders;
}

// Whether path names something in folder at any depth (as both resolve).
bool InsideFolder(const std::string& path, const std::string& folder) {
  namespace fs = std::filesystem;
  std::error_code ec;
  const fs::path where = fs::weakly_canonical(fs::absolute(path, ec), ec);
  if (ec) return false;
  const fs::path root = fs::weakly_canonical(fs::absolute(folder, ec), ec);
  if (ec || root.empty()) return false;
  const std::string w = where.string(), r = root.string();
  return w.size() > r.size() && w.compare(0, r.size(), r) == 0 && (r.back() == '/' || w[r.size()] == '/');
}

// Whether the file's first line is the one this tool's logs begin with.
bool IsOwnLog(const std::string& path, bool* empty, std::string* why) {
  vexa::base::InputFile in;
  if (!in.OpenRegular(path)) {
    *why = in.Error();
    return false;
  }
  *empty = in.Size() == 0;
  char head[80] = {};
  const long long got = in.ReadSome(head, sizeof head);
  const std::size_t textAt = 10, length = sizeof kLogHeader - 1;
  if (got < static_cast<long long>(textAt + length)) return false;
  return head[4] == '.' && head[8] == ' ' && head[9] == ' ' && std::memcmp(head + textAt, kLogHeader, length) == 0;
}

// Why the log may not be written to path ("" when it may): it would replace
// a file the command reads, a simulated recorder's file or one that is no
// log of this tool.
std::string LogRefusal(const std::string& path, const std::vector<std::string>& inputs) {
  if (const std::string held = vexa::base::OverlappedInput(path, inputs); !held.empty()) {
    return "the log " + Quoted(path) + " is the input " + Quoted(held) + "; give another log file";
  }
  for (const std::string& folder : SimFolders()) {
    if (InsideFolder(path, folder)) {
      return "the log " + Quoted(path) + " is in the simulated recorder's folder " + Quoted(folder) +
             ", whose files are the drive's; give another log file";
    }
  }
  struct stat st {};
  if (::lstat(path.c_str(), &st) != 0) {
    if (errno == ENOENT) return std::string();
    return "cannot use " + Quoted(path) + " as the log: " + std::strerror(errno);
  }
  if (S_ISLNK(st.st_mode)) return Quoted(path) + " is a symbolic link; no log is written through it";
  if (!S_ISREG(st.st_mode)) {
    return Quoted(path) + " is " + vexa::base::FileKindName(st.st_mode) +
           (st.st_uid != ::geteuid() ? " of another user" : "") + ", not a log file";
  }
  if (st.st_uid != ::geteuid()) return Quoted(path) + " belongs to another user; no log is written into it";
  bool empty = false;
  std::string why;
  if (IsOwnLog(path, &empty, &why) || (why.empty() && empty)) return std::string();
  if (!why.empty()) return why;
  return Quoted(path) + " is not a log of cdr-cli (its first line does not read \"" + kLogHeader +
         "\"); it is left as it is: give a new file or an earlier log";
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  LONG device = 0;
  std::string log;
  std::size_t i = 0;
  for (; i < args.size(); ++i) {
    if (args[i] == "--sim" && i + 1 < args.size()) {
      setenv("VEXA_SCSI_TRANSPORT", ("sim:" + args[++i]).c_str(), 1);
    } else if (args[i] == "--log" && i + 1 < args.size()) {
      log = args[++i];
    } else if (args[i] == "-d" && i + 1 < args.size()) {
      device = std::atol(args[++i].c_str());
    } else {
      break;
    }
  }
  if (i < args.size() && (args[i] == "-h" || args[i] == "--help")) {
    std::printf("%s%s", kUsage, kHelp);
    return 0;
  }
  if (i >= args.size()) return Usage();
  const std::string command = args[i];
  const std::vector<std::string> rest(args.begin() + static_cast<long>(i) + 1, args.end());
  // The log is checked before a drive is opened: a refused run changes
  // nothing, not even the drive's trace.
  if (!log.empty()) {
    if (const std::string why = LogRefusal(log, InputsOf(command, rest)); !why.empty()) {
      std::fprintf(stderr, "cdr-cli: %s\n", why.c_str());
      return 2;
    }
  }
  g_coms = static_cast<CDR4COMS*>(DLL_LL_GetLibObject("CDR4COMS"));
  g_base = static_cast<CDR4BASE*>(DLL_LL_GetLibObject("CDR4BASE"));
  if (!g_coms || !g_base || g_coms->version1 != 104 || g_base->version1 != 107) {
    std::fprintf(stderr, "cdr-cli: the disc library has no recorder objects\n");
    return 1;
  }
  if (!log.empty()) {
    g_coms->COMS_StartLog(log.c_str(), 0);
    g_coms->COMS_Log(kLogHeader);
  }
  int result = 0;
  if (command == "drives") {
    result = Drives();
  } else {
    I_CDRClass* drive = g_base->CDR4_CreateDrive(device);
    if (!drive) {
      std::fprintf(stderr, "cdr-cli: no drive %ld\n", static_cast<long>(device));
      result = 1;
    } else {
      if (command == "disc") result = Disc(drive);
      else if (command == "toc") result = Toc(drive);
      else if (command == "blank") result = Blank(drive, !rest.empty() && rest[0] == "--full");
      else if (command == "write") result = Write(drive, rest);
      else if (command == "audio") result = Audio(drive, rest);
      else if (command == "format-fp") result = FormatFP(drive, rest);
      else if (command == "packet-write") result = PacketWrite(drive, rest);
      else result = Usage();
      g_base->CDR4_DeleteDrive(drive);
    }
  }
  if (!log.empty()) g_coms->COMS_StopLog();
  DLL_LL_ReleaseObject(g_base);
  DLL_LL_ReleaseObject(g_coms);
  return result;
}
