// The simulated recorder: opening, the command frame (faults, trace, sense),
// identification, status, mode pages, features, speeds and reading.
// Recording is in SimWrite.cpp.
#include "platform/scsi/SimDrive.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <thread>

#include "platform/base/File.h"
#include "platform/base/Path.h"
#include "platform/scsi/SimDriveInternal.h"
#include "platform/scsi/SimSector.h"

namespace vexa::scsi::sim {

namespace {

std::string Padded(std::string s, std::size_t n) {
  s.resize(n, ' ');
  return s;
}

int CurrentProfile(const SimDisc& d) {
  switch (d.kind) {
    case MediaKind::None: return 0;
    case MediaKind::CdR: return 0x09;
    case MediaKind::CdRw: return 0x0A;
    case MediaKind::CdRom: return 0x08;
    case MediaKind::DvdR: return 0x11;
    case MediaKind::DvdRw: return 0x14;
    case MediaKind::DvdPlusRw: return 0x1A;
  }
  return 0;
}

bool MediaFitsProfile(const Profile& p, const std::string& media) {
  if (media == "dvdr" || media == "dvdrw") return p.dvdMinus;
  if (media == "dvdprw") return p.dvdPlus;
  return true;
}

int OpenTrayFile(const std::string& folder, std::string* error) {
  const std::string path = base::JoinPath(folder, "tray.lock");
  const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (fd < 0 && error) *error = "cannot open " + path + ": " + std::strerror(errno);
  return fd;
}

// The tray held for a scope (waits for whoever has it; nothing when fd < 0).
class TrayHold {
 public:
  explicit TrayHold(int fd) : fd_(fd) {
    while (fd_ >= 0 && ::flock(fd_, LOCK_EX) != 0 && errno == EINTR) {
    }
  }
  ~TrayHold() {
    if (fd_ >= 0) ::flock(fd_, LOCK_UN);
  }
  TrayHold(const TrayHold&) = delete;
  TrayHold& operator=(const TrayHold&) = delete;

 private:
  int fd_;
};

}  // namespace

int KBsOf(int x) { return static_cast<int>(std::lround(x * 176.4)); }
int XOf(int kbs) { return static_cast<int>(std::lround(kbs / 176.4)); }

std::unique_ptr<FolderLock> FolderLock::Take(const std::string& folder, std::string* error, bool* busy) {
  if (busy) *busy = false;
  const std::string path = base::JoinPath(folder, "drive.lock");
  const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (fd < 0) {
    if (error) *error = "cannot open " + path + ": " + std::strerror(errno);
    return nullptr;
  }
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    const int why = errno;
    std::string holder;
    if (why == EWOULDBLOCK) {
      char text[32] = {};
      const ssize_t n = ::pread(fd, text, sizeof text - 1, 0);
      if (n > 0) holder = std::string(text, static_cast<std::size_t>(n));
      while (!holder.empty() && (holder.back() == '\n' || holder.back() == ' ')) holder.pop_back();
    }
    ::close(fd);
    if (why == EWOULDBLOCK) {
      if (busy) *busy = true;
      if (error) {
        *error = "the recorder " + folder + " is busy: " +
                 (holder.empty() ? std::string("another program") : "process " + holder) + " is using it";
      }
    } else if (error) {
      *error = "cannot lock " + path + ": " + std::strerror(why);
    }
    return nullptr;
  }
  // The holder's process, for the message a second user gets.
  const std::string pid = std::to_string(::getpid()) + "\n";
  if (::ftruncate(fd, 0) != 0 || ::pwrite(fd, pid.data(), pid.size(), 0) != static_cast<ssize_t>(pid.size())) {
    // The lock holds all the same; only the holder's number is missing.
  }
  return std::unique_ptr<FolderLock>(new FolderLock(fd));
}

FolderLock::~FolderLock() {
  // Unlocked with the descriptor; the file stays for the next holder.
  ::close(fd_);
}

std::unique_ptr<SimDrive> SimDrive::Open(const std::string& folder, std::string* error, bool* busy) {
  if (busy) *busy = false;
  std::unique_ptr<SimDrive> d(new SimDrive());
  d->folder_ = folder;
  if (!base::DirExists(folder)) {
    if (error) *error = "simulator folder " + folder + " does not exist";
    return nullptr;
  }
  d->lock_ = FolderLock::Take(folder, error, busy);
  if (!d->lock_) return nullptr;
  // The tray is held while the disc is read, as for every command; a mark
  // of removal prevented left by a holder that died goes.
  d->trayFd_ = OpenTrayFile(folder, error);
  if (d->trayFd_ < 0) return nullptr;
  TrayHold tray(d->trayFd_);
  if (::ftruncate(d->trayFd_, 0) != 0) {
    // A stale mark only makes ChangeMedia refuse until the first command.
  }
  if (!LoadConfig(folder, &d->config_, error)) return nullptr;
  const Profile* profile = FindProfile(d->config_.profile);
  d->profile_ = *profile;
  if (!d->config_.writeSpeeds.empty()) d->profile_.writeSpeeds = d->config_.writeSpeeds;
  if (!d->config_.vendor.empty()) d->profile_.vendor = d->config_.vendor;
  if (!d->config_.product.empty()) d->profile_.product = d->config_.product;
  if (!d->config_.revision.empty()) d->profile_.revision = d->config_.revision;
  d->faults_ = d->config_.faults;
  d->info_.type = 5;
  d->info_.path = folder;
  d->info_.busText = "IDE//USB";

  const std::string statePath = base::JoinPath(folder, "disc.state");
  if (base::FileExists(statePath)) {
    if (!LoadDisc(folder, &d->disc_, error)) return nullptr;
  } else if (!LoadMedia(folder, d->config_.media, error) || !LoadDisc(folder, &d->disc_, error)) {
    return nullptr;
  }
  // The operator puts a fresh blank disc in for every run.
  if (d->config_.autoBlank && d->disc_.status != DiscStatus::Blank && !d->disc_.sourceBin.size()) {
    if (!LoadMedia(folder, d->config_.media, error) || !LoadDisc(folder, &d->disc_, error)) return nullptr;
  }
  // A track still open on file was being written by a program that stopped
  // without closing it: it stays open (the disc incomplete, never blank
  // again), as long as the image shows it was written.
  if (SimTrack* t = d->disc_.OpenTrack(); t && d->disc_.IsCd() && !d->disc_.image.empty()) {
    struct stat st {};
    const std::string bin = base::JoinPath(folder, d->disc_.image + ".bin");
    if (::stat(bin.c_str(), &st) == 0) {
      const auto written = static_cast<std::int32_t>(st.st_size / kRawSector) - t->start;
      t->length = std::max(t->length, written);
    }
  }
  for (const auto& f : d->faults_) {
    if (f.kind == "attention") d->unitAttention_ = true;
    if (f.kind == "nomedium") d->disc_.kind = MediaKind::None;
  }
  d->readKBs_ = KBsOf(d->profile_.maxReadSpeed);
  d->writeKBs_ = d->profile_.writeSpeeds.empty() ? 0 : KBsOf(d->profile_.writeSpeeds.front());
  d->vendorSpeed_ = d->profile_.maxReadSpeed;
  // Write parameters page defaults: track-at-once, mode 1, session left as is.
  d->page5_[0] = 0x05;
  d->page5_[1] = 0x32;
  d->page5_[2] = 0x01;
  d->page5_[3] = 0x04;
  d->page5_[4] = 0x08;
  d->page5_[15] = 150;
  // The trace grows as the drive works: opened where it is, never through a
  // link nor into another user's file. Like every file of the recorder's
  // folder it is the user's alone (it names what was burned).
  const int trace = base::OpenOwnLogFile(base::JoinPath(folder, "trace.txt"), false, 0600);
  d->traceFile_ = trace >= 0 ? ::fdopen(trace, "a") : nullptr;
  if (trace >= 0 && !d->traceFile_) ::close(trace);
  d->Note("opened: profile " + d->profile_.name + ", media " + MediaName(d->disc_.kind));
  d->seenState_ = d->DiscStateStamp();
  return d;
}

bool SimDrive::ChangeMedia(const std::string& folder, const std::string& media, std::string* error) {
  bool busy = false;
  std::string why;
  const auto lock = FolderLock::Take(folder, &why, &busy);
  if (!lock && !busy) {
    if (error) *error = why;
    return false;
  }
  const int fd = OpenTrayFile(folder, error);
  if (fd < 0) return false;
  bool ok = false;
  {
    TrayHold tray(fd);
    char text[64] = {};
    const ssize_t n = ::pread(fd, text, sizeof text - 1, 0);
    std::string mark = n > 0 ? std::string(text, static_cast<std::size_t>(n)) : std::string();
    while (!mark.empty() && (mark.back() == '\n' || mark.back() == ' ')) mark.pop_back();
    // The mark counts only while a program has the drive open.
    if (!lock && mark.rfind("locked ", 0) == 0) {
      if (error) {
        *error = "the tray of the recorder " + folder + " is locked: process " + mark.substr(7) +
                 " prevents medium removal";
      }
    } else if (LoadMedia(folder, media, error)) {
      // What the tray now holds is also what a fresh tray holds from now on.
      SimConfig config;
      ok = LoadConfig(folder, &config, error);
      if (ok) {
        config.media = media;
        ok = SaveConfig(folder, config, error);
      }
    }
  }
  ::close(fd);
  return ok;
}

SimDrive::StateStamp SimDrive::DiscStateStamp() const {
  StateStamp s;
  struct stat st {};
  if (::stat(base::JoinPath(folder_, "disc.state").c_str(), &st) != 0) return s;
  s.device = st.st_dev;
  s.inode = st.st_ino;
  s.size = st.st_size;
  s.seconds = st.st_mtim.tv_sec;
  s.nanoseconds = st.st_mtim.tv_nsec;
  return s;
}

void SimDrive::NoticeDiscChange() {
  SimDisc fresh;
  std::string error;
  if (!LoadDisc(folder_, &fresh, &error)) {
    Note("the disc on file changed but cannot be read: " + error);
    return;
  }
  // What was being recorded on the old disc ends with it.
  EndTestWrite();
  FinishImage();
  saoActive_ = false;
  cue_.clear();
  raw_ = RawState{};
  leadInSymbols_.clear();
  reserved_ = 0;
  recordingOnFile_ = false;
  blankingLeft_ = 0;
  formatProgress_ = -1;
  trayOpen_ = false;
  disc_ = fresh;
  SimConfig config;
  if (LoadConfig(folder_, &config, &error)) config_.media = config.media;
  unitAttention_ = true;
  Note(std::string("the disc was changed: ") + MediaName(disc_.kind) + " media now");
}

bool SimDrive::LoadMedia(const std::string& folder, const std::string& media, std::string* error) {
  SimDisc disc;
  if (media.rfind("rom:", 0) == 0) {
    std::string cue = media.substr(4);
    if (cue.empty() || cue[0] != '/') cue = base::JoinPath(folder, cue);
    if (!LoadCueDisc(cue, &disc, error)) return false;
  } else {
    SimConfig config;
    if (!LoadConfig(folder, &config, error)) return false;
    const Profile* p = FindProfile(config.profile);
    if (!MediaFitsProfile(*p, media)) {
      if (error) *error = "a " + p->name + " drive cannot take " + media + " media";
      return false;
    }
    disc = FreshDisc(media, config.capacity);
  }
  return SaveDisc(folder, disc, error);
}

SimDrive::~SimDrive() {
  {
    TrayHold tray(trayFd_);
    EndTestWrite();
    FinishImage();
    if (trayFd_ >= 0 && trayMarked_ && ::ftruncate(trayFd_, 0) != 0) {
      // The mark is ignored once no program has the drive open.
    }
  }
  if (trayFd_ >= 0) ::close(trayFd_);
  if (traceFile_) std::fclose(traceFile_);
}

bool SimDrive::SetExclusive(bool exclusive) {
  Note(exclusive ? "blocking: exclusive" : "blocking: shared");
  return true;
}

void SimDrive::Note(const std::string& text) {
  trace_.push_back("note: " + text);
  if (traceFile_) std::fprintf(traceFile_, "note: %s\n", text.c_str());
}

bool SimDrive::FaultMatches(Fault& f, int op, std::int64_t lba, std::int64_t count) {
  if (f.count == 0) return false;
  if (f.op >= 0 && f.op != op) return false;
  if (f.lba >= 0 && (lba < 0 || f.lba < lba || f.lba >= lba + std::max<std::int64_t>(count, 1))) {
    return false;
  }
  if (f.count > 0) --f.count;
  return true;
}

void SimDrive::Throttle(std::int32_t sectors) {
  if (!config_.throttle || writeKBs_ <= 0) return;
  // A drive at x speed takes 1/(75 x) s per sector.
  const double seconds = sectors / (75.0 * std::max(1, XOf(writeKBs_)));
  const auto now = std::chrono::steady_clock::now();
  busyUntil_ = std::max(busyUntil_, now) +
               std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                   std::chrono::duration<double>(seconds));
  std::this_thread::sleep_until(busyUntil_);
}

Result SimDrive::Execute(const Command& c) {
  if (!c.cdb || c.cdbLength < 6 || c.cdbLength > 16 || (c.length && !c.data)) {
    Result res;
    res.sysError = EINVAL;
    return res;
  }
  TrayHold tray(trayFd_);
  if (!gone_ && DiscStateStamp() != seenState_) {
    // A folder that is no more is a drive unplugged, not a disc changed.
    if (!base::DirExists(folder_)) {
      Vanish("its folder was removed");
    } else {
      NoticeDiscChange();
    }
  }
  if (gone_) return Gone(c);
  Result res = ExecuteHeld(c);
  seenState_ = DiscStateStamp();
  if (locked_ != trayMarked_ && trayFd_ >= 0) {
    const std::string mark = locked_ ? "locked " + std::to_string(::getpid()) + "\n" : std::string();
    if (::ftruncate(trayFd_, 0) == 0 &&
        ::pwrite(trayFd_, mark.data(), mark.size(), 0) == static_cast<ssize_t>(mark.size())) {
      trayMarked_ = locked_;
    }
  }
  return res;
}

Result SimDrive::ExecuteHeld(const Command& c) {
  Result res;
  const std::uint8_t* cdb = c.cdb;
  const int op = cdb[0];
  Reply r;
  std::int64_t lba = -1, count = 0;
  CommandRange(cdb, &lba, &count);

  for (auto& f : faults_) {
    if (f.kind == "slow" && (f.op < 0 || f.op == op) && f.ms > 0) {
      std::this_thread::sleep_for(std::chrono::milliseconds(f.ms));
    }
  }
  for (auto& f : faults_) {
    if (f.kind == "gone" && FaultMatches(f, op, lba, count)) {
      Vanish("a gone fault matched");
      return Gone(c);
    }
  }
  bool faulted = false;
  for (auto& f : faults_) {
    if (f.kind == "hang" && FaultMatches(f, op, lba, count)) {
      r.timedOut = true;
      faulted = true;
      break;
    }
  }
  if (!faulted && unitAttention_ && op != 0x12 && op != 0x03) {
    unitAttention_ = false;
    r.Fail(6, 0x28, 0x00);
    faulted = true;
  }
  if (!faulted) {
    for (auto& f : faults_) {
      if (f.kind == "busy" && FaultMatches(f, op, lba, count)) {
        r.Fail(2, 0x04, 0x08);
        faulted = true;
        break;
      }
      if (f.kind == "check" && FaultMatches(f, op, lba, count)) {
        r.Fail(f.key, f.asc, f.ascq);
        faulted = true;
        break;
      }
      if (f.kind == "nogetconfig" && op == 0x46) {
        r.Fail(5, 0x20, 0x00);
        faulted = true;
        break;
      }
    }
  }
  if (!faulted) Dispatch(cdb, c, r);
  // What a command recorded is in the image file when it ends.
  if (!FlushImageRun() && !r.check) r.Fail(3, 0x0C, 0x00);

  char line[160];
  int n = std::snprintf(line, sizeof line, "%06u", ++sequence_);
  for (int i = 0; i < c.cdbLength && n < 100; ++i) n += std::snprintf(line + n, sizeof line - n, " %02x", cdb[i]);
  if (r.timedOut) {
    res.timedOut = true;
    std::snprintf(line + n, sizeof line - n, " len=%u -> TIMEOUT", c.length);
  } else if (r.check) {
    res.status = 2;
    res.senseValid = true;
    MakeSense(res.sense, r.key, r.asc, r.ascq);
    if (r.progress >= 0) {
      res.sense[15] = 0x80;
      res.sense[16] = static_cast<std::uint8_t>(r.progress >> 8);
      res.sense[17] = static_cast<std::uint8_t>(r.progress);
    }
    std::memcpy(lastSense_, res.sense, kSenseSize);
    lastSenseValid_ = true;
    std::snprintf(line + n, sizeof line - n, " len=%u -> CHECK %x/%02x/%02x", c.length, r.key, r.asc, r.ascq);
  } else {
    if (c.direction == Direction::In && c.length) {
      const std::size_t m = std::min<std::size_t>(r.data.size(), c.length);
      std::memcpy(c.data, r.data.data(), m);
      std::memset(c.data + m, 0, c.length - m);
      res.transferred = static_cast<std::uint32_t>(m);
    } else {
      res.transferred = c.length;
    }
    std::snprintf(line + n, sizeof line - n, " len=%u -> GOOD", c.length);
  }
  trace_.push_back(line);
  if (traceFile_) {
    std::fprintf(traceFile_, "%s\n", line);
    if (op != 0x2A && op != 0xBE && op != 0x28) std::fflush(traceFile_);
  }
  return res;
}

void SimDrive::Vanish(const std::string& why) {
  if (gone_) return;
  gone_ = true;
  Note("the drive is gone (" + why + "): no command reaches it any more");
}

Result SimDrive::Gone(const Command& c) {
  // As SG_IO answers for a drive that was unplugged or switched off: no
  // status, no sense, the system's "no such device".
  Result res;
  res.sysError = ENODEV;
  char line[160];
  int n = std::snprintf(line, sizeof line, "%06u", ++sequence_);
  for (int i = 0; i < c.cdbLength && n < 100; ++i) n += std::snprintf(line + n, sizeof line - n, " %02x", c.cdb[i]);
  std::snprintf(line + n, sizeof line - n, " len=%u -> GONE", c.length);
  trace_.push_back(line);
  if (traceFile_) {
    std::fprintf(traceFile_, "%s\n", line);
    std::fflush(traceFile_);
  }
  return res;
}

void SimDrive::Dispatch(const std::uint8_t* cdb, const Command& c, Reply& r) {
  const int op = cdb[0];
  const bool writer = profile_.cdr || profile_.dvdMinus || profile_.dvdPlus;
  static const int kNeedsMedium[] = {0x04, 0x25, 0x28, 0x2A, 0x35, 0x42, 0x43, 0x51,
                                     0x52, 0x53, 0x5B, 0x5D, 0xA1, 0xA8, 0xBE, 0xD8};
  static const int kWriting[] = {0x04, 0x2A, 0x53, 0x5B, 0x5D, 0xA1};
  if (!writer && std::find(std::begin(kWriting), std::end(kWriting), op) != std::end(kWriting)) {
    r.Fail(5, 0x20, 0x00);
    return;
  }
  if (std::find(std::begin(kNeedsMedium), std::end(kNeedsMedium), op) != std::end(kNeedsMedium)) {
    if (trayOpen_) return r.Fail(2, 0x3A, 0x02);
    if (disc_.kind == MediaKind::None) return r.Fail(2, 0x3A, 0x01);
    if (blankingLeft_ > 0 && op != 0x51) {
      return r.Fail(2, 0x04, 0x07);
    }
  }
  switch (op) {
    case 0x00: return TestUnitReady(r);
    case 0x03: return RequestSense(cdb, r);
    case 0x04: return FormatUnit(cdb, c, r);
    case 0x12: return Inquiry(cdb, r);
    case 0x15: return ModeSelect(cdb, false, c, r);
    case 0x1A: return ModeSense(cdb, false, r);
    case 0x1B: return StartStop(cdb, r);
    case 0x1E: return PreventAllow(cdb, r);
    case 0x25: {
      std::int32_t last = disc_.tracks.empty() ? 0 : disc_.tracks.back().start + disc_.tracks.back().length - 1;
      r.data.resize(8);
      Put32(&r.data[0], static_cast<std::uint32_t>(std::max(last, 0)));
      Put32(&r.data[4], 2048);
      return;
    }
    case 0x28: return Read(Get32(cdb + 2), Get16(cdb + 7), r);
    case 0xA8: return Read(Get32(cdb + 2), Get32(cdb + 6), r);
    case 0x2A: return Write(cdb, c, r);
    case 0x35: return SynchronizeCache(r);
    case 0x42: return ReadSubChannel(cdb, r);
    case 0x43: return ReadToc(cdb, r);
    case 0x46:
      if (profile_.mmc < 3) return r.Fail(5, 0x20, 0x00);
      return GetConfiguration(cdb, r);
    case 0x51: return ReadDiscInformation(r);
    case 0x52: return ReadTrackInformation(cdb, r);
    case 0x53: return ReserveTrack(cdb, r);
    case 0x55: return ModeSelect(cdb, true, c, r);
    case 0x5A: return ModeSense(cdb, true, r);
    case 0x5B: return CloseTrackSession(cdb, r);
    case 0x5D: return SendCueSheet(c, r);
    case 0xA1: return Blank(cdb, r);
    case 0xAC:
      if (profile_.mmc < 3) return r.Fail(5, 0x20, 0x00);
      return GetPerformance(cdb, r);
    case 0xBB:
      if (profile_.mmc < 2) return r.Fail(5, 0x20, 0x00);
      return SetCdSpeed(cdb, r);
    case 0xBE:
      if (profile_.mmc < 2) return r.Fail(5, 0x20, 0x00);
      return ReadCd(cdb, r);
    case 0xD8:
      if (!profile_.readCdDa) return r.Fail(5, 0x20, 0x00);
      return ReadCdDa(cdb, r);
    default:
      return r.Fail(5, 0x20, 0x00);
  }
}

void SimDrive::Inquiry(const std::uint8_t* cdb, Reply& r) {
  if (cdb[1] & 0x01) return r.Fail(5, 0x24, 0x00);  // no vital product data pages
  r.data.assign(36, 0);
  r.data[0] = 0x05;
  r.data[1] = 0x80;  // removable
  r.data[2] = profile_.mmc >= 2 ? 0x00 : 0x02;
  r.data[3] = 0x32;
  r.data[4] = 31;
  const std::string ids = Padded(profile_.vendor, 8) + Padded(profile_.product, 16) + Padded(profile_.revision, 4);
  std::memcpy(&r.data[8], ids.data(), 28);
}

void SimDrive::TestUnitReady(Reply& r) {
  if (trayOpen_) return r.Fail(2, 0x3A, 0x02);
  if (disc_.kind == MediaKind::None) return r.Fail(2, 0x3A, 0x01);
  if (blankingLeft_ > 0) {
    --blankingLeft_;
    r.progress = 65536 - blankingLeft_ * 16384;
    if (r.progress < 0) r.progress = 0;
    r.Fail(2, 0x04, 0x07);
    if (blankingLeft_ == 0) Note("blanking finished");
  }
}

void SimDrive::RequestSense(const std::uint8_t* cdb, Reply& r) {
  (void)cdb;
  r.data.assign(18, 0);
  if (formatProgress_ >= 0) {
    // Background format of a DVD+RW: progress in the sense-key specific bytes.
    formatProgress_ = std::min(65536, formatProgress_ + 16384);
    if (formatProgress_ < 65536) {
      std::uint8_t s[kSenseSize];
      MakeSense(s, 0, 0x04, 0x04);
      s[15] = 0x80;
      s[16] = static_cast<std::uint8_t>(formatProgress_ >> 8);
      s[17] = static_cast<std::uint8_t>(formatProgress_);
      std::memcpy(r.data.data(), s, 18);
      return;
    }
    formatProgress_ = -1;
  }
  if (lastSenseValid_) {
    std::memcpy(r.data.data(), lastSense_, 18);
    lastSenseValid_ = false;
  } else {
    r.data[0] = 0x70;
    r.data[7] = 10;
  }
}

std::vector<std::uint8_t> SimDrive::Page2A() const {
  const bool mmc3 = profile_.mmc >= 3;
  const std::size_t n = mmc3 ? profile_.writeSpeeds.size() : 0;
  std::vector<std::uint8_t> p(32 + 4 * n, 0);
  p[0] = 0x2A | 0x80;  // parameters savable
  p[1] = static_cast<std::uint8_t>(p.size() - 2);
  p[2] = 0x01 | 0x02 | 0x04 | ((profile_.dvdMinus || profile_.dvdPlus) ? 0x08 : 0);
  p[3] = (profile_.cdr ? 0x01 : 0) | (profile_.cdrw ? 0x02 : 0) | (profile_.testWrite ? 0x04 : 0) |
         (profile_.dvdMinus ? 0x10 : 0);
  p[4] = (profile_.burnproof && mmc3 ? 0x80 : 0) | 0x40 | 0x20 | 0x10 | 0x01;
  p[5] = 0x01 | 0x02 | 0x04 | 0x10 | 0x20 | 0x40;
  p[6] = 0x29;
  Put16(&p[8], static_cast<std::uint16_t>(KBsOf(profile_.maxReadSpeed)));
  Put16(&p[10], 256);
  Put16(&p[12], 2048);
  Put16(&p[14], static_cast<std::uint16_t>(readKBs_));
  const int maxWrite = profile_.writeSpeeds.empty() ? 0 : profile_.writeSpeeds.front();
  Put16(&p[18], static_cast<std::uint16_t>(KBsOf(maxWrite)));
  Put16(&p[20], static_cast<std::uint16_t>(writeKBs_));
  Put16(&p[28], static_cast<std::uint16_t>(writeKBs_));
  Put16(&p[30], static_cast<std::uint16_t>(n));
  for (std::size_t i = 0; i < n; ++i) {
    Put16(&p[32 + 4 * i + 2], static_cast<std::uint16_t>(KBsOf(profile_.writeSpeeds[i])));
  }
  return p;
}

void SimDrive::ModeSense(const std::uint8_t* cdb, bool ten, Reply& r) {
  const int page = cdb[2] & 0x3F;
  const int pc = cdb[2] >> 6;
  if (pc == 3) return r.Fail(5, 0x39, 0x00);
  std::vector<std::uint8_t> body;
  const bool writer = profile_.cdr || profile_.dvdMinus || profile_.dvdPlus;
  if (page == 0x05 && writer) {
    body.assign(page5_, page5_ + sizeof page5_);
    body[0] |= 0x80;
    if (pc == 1) {  // changeable values
      std::fill(body.begin() + 2, body.end(), 0xFF);
    }
  } else if (page == 0x2A && profile_.mmc >= 2) {
    body = Page2A();
  } else if (page == 0x31 && profile_.vendorSpeedPage) {
    body = {0x31, 0x02, static_cast<std::uint8_t>(vendorSpeed_), 0x00};
  } else if (page == 0x00 && !ten) {
    // No page: the header and the block descriptor alone.
  } else {
    return r.Fail(5, 0x24, 0x00);
  }
  if (ten) {
    r.data.assign(8, 0);
    r.data.insert(r.data.end(), body.begin(), body.end());
    Put16(&r.data[0], static_cast<std::uint16_t>(r.data.size() - 2));
  } else {
    // MODE SENSE(6) carries a block descriptor unless it is switched off.
    const bool dbd = (cdb[1] & 0x08) != 0;
    r.data.assign(4, 0);
    if (!dbd) {
      r.data[3] = 8;
      std::uint8_t bd[8] = {};
      bd[5] = static_cast<std::uint8_t>(blockSize_ >> 16);
      bd[6] = static_cast<std::uint8_t>(blockSize_ >> 8);
      bd[7] = static_cast<std::uint8_t>(blockSize_);
      r.data.insert(r.data.end(), bd, bd + 8);
    }
    r.data.insert(r.data.end(), body.begin(), body.end());
    r.data[0] = static_cast<std::uint8_t>(r.data.size() - 1);
  }
}

void SimDrive::ModeSelect(const std::uint8_t* cdb, bool ten, const Command& c, Reply& r) {
  const std::uint32_t listLength = ten ? Get16(cdb + 7) : cdb[4];
  if (listLength > c.length || c.direction != Direction::Out) return r.Fail(5, 0x1A, 0x00);
  const std::uint8_t* p = c.data;
  const std::size_t headerSize = ten ? 8 : 4;
  if (listLength < headerSize) return r.Fail(5, 0x1A, 0x00);
  // The mode data length is reserved in MODE SELECT and must be zero.
  if ((ten ? Get16(p) : p[0]) != 0) {
    Note("mode select: mode data length not zero");
    return r.Fail(5, 0x26, 0x00);
  }
  const std::size_t bdLength = ten ? Get16(p + 6) : p[3];
  std::size_t at = headerSize;
  if (bdLength) {
    if (bdLength != 8 || at + 8 > listLength) return r.Fail(5, 0x26, 0x00);
    const std::uint32_t size = (p[at + 5] << 16) | (p[at + 6] << 8) | p[at + 7];
    if (size != 2048 && size != 2336 && size != 2340 && size != 2352) return r.Fail(5, 0x26, 0x00);
    blockSize_ = size;
    at += 8;
  }
  if (at == listLength) return;  // block descriptor only
  if (at + 2 > listLength) return r.Fail(5, 0x1A, 0x00);
  const int page = p[at] & 0x3F;
  const std::size_t pageLength = p[at + 1] + 2u;
  if (at + pageLength > listLength) return r.Fail(5, 0x1A, 0x00);
  const std::uint8_t* pg = p + at;
  if (page == 0x31 && profile_.vendorSpeedPage) {
    if (pageLength < 3 || pg[2] == 0) return r.Fail(5, 0x26, 0x00);
    vendorSpeed_ = std::min<int>(pg[2], profile_.maxReadSpeed);
    readKBs_ = KBsOf(vendorSpeed_);
    return;
  }
  if (page != 0x05 || !(profile_.cdr || profile_.dvdMinus || profile_.dvdPlus)) {
    return r.Fail(5, 0x26, 0x00);
  }
  if (pageLength < 16) return r.Fail(5, 0x1A, 0x00);
  std::string why;
  if (!CheckWriteParameters(pg, pageLength, &why)) {
    Note("write parameters refused: " + why);
    return r.Fail(5, 0x26, 0x00);
  }
  for (auto& f : faults_) {
    if (f.kind != "page5" || f.count == 0) continue;
    if ((f.writeType < 0 || f.writeType == (pg[2] & 0x0F)) &&
        (f.blockType < 0 || f.blockType == (pg[4] & 0x0F)) &&
        (f.testWrite < 0 || f.testWrite == ((pg[2] & 0x10) ? 1 : 0))) {
      if (f.count > 0) --f.count;
      Note("write parameters refused by fault " + FaultText(f));
      return r.Fail(5, 0x26, 0x00);
    }
  }
  std::memcpy(page5_ + 2, pg + 2, std::min<std::size_t>(pageLength, sizeof page5_) - 2);
  if (testWriting_ && !TestWrite()) EndTestWrite();
}

bool SimDrive::CheckWriteParameters(const std::uint8_t* pg, std::size_t length, std::string* why) const {
  const int wt = pg[2] & 0x0F;
  const bool test = (pg[2] & 0x10) != 0;
  const bool bufe = (pg[2] & 0x40) != 0;
  const int trackMode = pg[3] & 0x0F;
  const int dbt = pg[4] & 0x0F;
  const int format = length > 8 ? pg[8] : 0;
  auto no = [&](const char* text) {
    *why = text;
    return false;
  };
  if (test && !profile_.testWrite) return no("test write not supported");
  if (bufe && !profile_.burnproof) return no("no buffer underrun protection");
  if (format != 0x00 && format != 0x10 && format != 0x20) return no("session format");
  if (disc_.IsDvd()) {
    if (dbt != 8) return no("DVD data block type must be 8");
    return true;
  }
  switch (wt) {
    case 0:  // packet
      if ((pg[3] & 0x20) && length >= 14 && Get32(pg + 10) == 0) return no("fixed packet size 0");
      break;
    case 1:
      if (!profile_.tao) return no("track-at-once not supported");
      break;
    case 2:
      if (!profile_.sao) return no("session-at-once not supported");
      return true;  // block sizes come from the cue sheet
    case 3:
      if (!profile_.raw) return no("raw writing not supported");
      if (dbt < 1 || dbt > 3) return no("raw writing needs block type 1, 2 or 3");
      return true;
    default:
      return no("write type");
  }
  switch (dbt) {
    case 0:
      if (trackMode & 0x04) return no("audio block type on a data track mode");
      break;
    case 8:
    case 9:
    case 10:
    case 11:
    case 12:
    case 13:
      if (!(trackMode & 0x04)) return no("data block type on an audio track mode");
      if (dbt >= 10 && format != 0x20 && format != 0x10) return no("mode 2 form blocks need session format 0x20");
      break;
    default:
      return no("block type not valid for this write type");
  }
  return true;
}

void SimDrive::GetConfiguration(const std::uint8_t* cdb, Reply& r) {
  const int rt = cdb[1] & 0x03;
  const int start = Get16(cdb + 2);
  const bool cdWriter = profile_.cdr;
  struct Feature {
    int code;
    std::vector<std::uint8_t> data;  // after the 4-byte feature header
  };
  std::vector<Feature> features;
  {
    std::vector<int> profiles;
    if (profile_.dvdMinus) profiles = {0x14, 0x13, 0x11, 0x10};
    if (profile_.dvdPlus) profiles = {0x1A, 0x10};
    if (cdWriter) profiles.insert(profiles.end(), {0x0A, 0x09});
    profiles.push_back(0x08);
    std::vector<std::uint8_t> d;
    const int current = CurrentProfile(disc_);
    for (int p : profiles) d.insert(d.end(), {static_cast<std::uint8_t>(p >> 8), static_cast<std::uint8_t>(p),
                                             static_cast<std::uint8_t>(p == current ? 1 : 0), 0});
    features.push_back({0x000, d});
  }
  features.push_back({0x001, {0, 0, 0, 2, 1, 0, 0, 0}});
  features.push_back({0x002, {0x02, 0, 0, 0}});
  features.push_back({0x003, {0x29, 0, 0, 0}});
  features.push_back({0x010, {0, 0, 0x08, 0x00, 0, static_cast<std::uint8_t>(disc_.IsDvd() ? 16 : 1), 0, 0}});
  features.push_back({0x01D, {}});
  features.push_back({0x01E, {0x03, 0, 0, 0}});
  if (profile_.dvdMinus || profile_.dvdPlus) features.push_back({0x01F, {0, 0, 0, 0}});
  if (cdWriter) {
    features.push_back({0x021, {0x7F, 0xFF, static_cast<std::uint8_t>(profile_.burnproof ? 1 : 0), 1, 7, 0, 0, 0}});
    if (profile_.cdrw) features.push_back({0x023, {0, 0, 0, 0}});
    if (profile_.dvdPlus) features.push_back({0x02A, {0x01, 0, 0, 0}});
    if (profile_.cdrw) features.push_back({0x027, {0, 0, 0, 0}});
    features.push_back({0x02D, {static_cast<std::uint8_t>((profile_.burnproof ? 0x40 : 0) | 0x10 | 0x08 | 0x04 |
                                                          (profile_.cdrw ? 0x02 : 0) | 0x01),
                                0, 0x7F, 0xFF}});
    if (profile_.sao || profile_.raw) {
      features.push_back({0x02E, {static_cast<std::uint8_t>((profile_.burnproof ? 0x40 : 0) | (profile_.sao ? 0x20 : 0) |
                                                            (profile_.raw ? 0x18 : 0) | 0x04 |
                                                            (profile_.cdrw ? 0x02 : 0) | 0x01),
                                  0x00, 0x0F, 0xA0}});
    }
    if (profile_.dvdMinus) features.push_back({0x02F, {0x46, 0, 0, 0}});
  }
  features.push_back({0x100, {}});
  features.push_back({0x105, {0, 0, 0, 0}});
  features.push_back({0x107, {0x1F, 0, 0, 0}});
  {
    const std::string serial = "SIM0001";
    std::vector<std::uint8_t> d(serial.begin(), serial.end());
    d.resize(8, ' ');
    features.push_back({0x108, d});
  }
  std::sort(features.begin(), features.end(), [](const Feature& a, const Feature& b) { return a.code < b.code; });
  r.data.assign(8, 0);
  const int current = CurrentProfile(disc_);
  r.data[6] = static_cast<std::uint8_t>(current >> 8);
  r.data[7] = static_cast<std::uint8_t>(current);
  for (const auto& f : features) {
    if (rt == 2 ? f.code != start : f.code < start) continue;
    r.data.push_back(static_cast<std::uint8_t>(f.code >> 8));
    r.data.push_back(static_cast<std::uint8_t>(f.code));
    r.data.push_back(0x03 | (f.code <= 0x003 ? 0x00 : 0x04));
    r.data.push_back(static_cast<std::uint8_t>(f.data.size()));
    r.data.insert(r.data.end(), f.data.begin(), f.data.end());
  }
  Put32(&r.data[0], static_cast<std::uint32_t>(r.data.size() - 4));
}

void SimDrive::GetPerformance(const std::uint8_t* cdb, Reply& r) {
  const bool write = (cdb[1] & 0x04) != 0;
  const int type = cdb[10];
  if (type != 0) return r.Fail(5, 0x24, 0x00);
  r.data.assign(8, 0);
  if (write) r.data[4] = 0x02;
  const int kbs = write ? writeKBs_ : readKBs_;
  if (kbs > 0) {
    std::uint8_t d[16] = {};
    Put32(d + 4, static_cast<std::uint32_t>(kbs));
    Put32(d + 8, static_cast<std::uint32_t>(disc_.capacity));
    Put32(d + 12, static_cast<std::uint32_t>(kbs));
    r.data.insert(r.data.end(), d, d + 16);
  }
  Put32(&r.data[0], static_cast<std::uint32_t>(r.data.size() - 4));
}

void SimDrive::SetCdSpeed(const std::uint8_t* cdb, Reply& r) {
  (void)r;
  const int read = Get16(cdb + 2);
  const int write = Get16(cdb + 4);
  const int maxRead = KBsOf(profile_.maxReadSpeed);
  readKBs_ = read == 0xFFFF ? maxRead : std::clamp(read, KBsOf(1), maxRead);
  if (!profile_.writeSpeeds.empty()) {
    // The highest speed the drive has at or below the request, else its lowest.
    int chosen = profile_.writeSpeeds.back();
    for (int x : profile_.writeSpeeds) {
      if (write == 0xFFFF || KBsOf(x) <= write) {
        chosen = x;
        break;
      }
    }
    writeKBs_ = KBsOf(chosen);
  }
}

void SimDrive::PreventAllow(const std::uint8_t* cdb, Reply& r) {
  (void)r;
  locked_ = (cdb[4] & 0x01) != 0;
}

void SimDrive::StartStop(const std::uint8_t* cdb, Reply& r) {
  const bool loej = (cdb[4] & 0x02) != 0;
  const bool start = (cdb[4] & 0x01) != 0;
  if (!loej) return;
  if (!start) {
    if (locked_) return r.Fail(5, 0x53, 0x02);
    EndTestWrite();
    FinishImage();
    trayOpen_ = true;
    Note("tray opened");
    return;
  }
  const bool wasOpen = trayOpen_;
  trayOpen_ = false;
  if (config_.autoBlank && disc_.status != DiscStatus::Blank && disc_.sourceBin.empty()) {
    std::string error;
    if (LoadMedia(folder_, config_.media, &error) && LoadDisc(folder_, &disc_, &error)) {
      Note("a fresh blank disc was loaded");
    } else {
      Note("loading a fresh disc failed: " + error);
    }
  }
  // A disc drawn in with the tray may be another one: the drive becomes
  // ready with it and says so once, to the next command.
  if (wasOpen && disc_.kind != MediaKind::None) unitAttention_ = true;
  Note("tray closed");
}

void SimDrive::ReadDiscInformation(Reply& r) {
  if (blankingLeft_ > 0) {
    --blankingLeft_;
    return r.Fail(2, 0x04, 0x07);
  }
  r.data.assign(34, 0);
  Put16(&r.data[0], 32);
  const bool appendable = disc_.status != DiscStatus::Complete;
  int sessions = static_cast<int>(disc_.sessions.size());
  const bool openSession = !disc_.sessions.empty() && !disc_.sessions.back().closed;
  if (appendable && !openSession) ++sessions;  // the empty session to come
  int lastSessionState = 3;
  if (disc_.status == DiscStatus::Blank) lastSessionState = 0;
  else if (appendable) lastSessionState = openSession ? 1 : 0;
  r.data[2] = static_cast<std::uint8_t>((disc_.Erasable() ? 0x10 : 0) | (lastSessionState << 2) |
                                        static_cast<int>(disc_.status));
  r.data[3] = 1;
  r.data[4] = static_cast<std::uint8_t>(std::max(sessions, 1));
  int firstInLast = 1, lastInLast = 1;
  if (!disc_.tracks.empty()) {
    const int lastSession = disc_.tracks.back().session;
    const bool newSession = appendable && !openSession;
    firstInLast = newSession ? disc_.LastTrackNumber() + 1 : disc_.tracks.back().number;
    for (const auto& t : disc_.tracks) {
      if (!newSession && t.session == lastSession) {
        firstInLast = t.number;
        break;
      }
    }
    lastInLast = disc_.LastTrackNumber() + (appendable ? 1 : 0);
  }
  r.data[5] = static_cast<std::uint8_t>(firstInLast);
  r.data[6] = static_cast<std::uint8_t>(lastInLast);
  r.data[7] = 0x20;  // unrestricted use
  r.data[8] = static_cast<std::uint8_t>(disc_.sessions.empty() ? 0 : disc_.sessions.front().format);
  int m, s, f;
  if (disc_.status == DiscStatus::Complete || !disc_.IsCd()) {
    std::memset(&r.data[16], 0xFF, 8);
  } else {
    const std::int32_t leadIn =
        disc_.status == DiscStatus::Blank ? disc_.leadInStart : disc_.nextWritable - 150 - 4500;
    AddressToMsf(leadIn, &m, &s, &f);
    r.data[17] = static_cast<std::uint8_t>(m);
    r.data[18] = static_cast<std::uint8_t>(s);
    r.data[19] = static_cast<std::uint8_t>(f);
    AddressToMsf(disc_.capacity, &m, &s, &f);
    r.data[21] = static_cast<std::uint8_t>(m);
    r.data[22] = static_cast<std::uint8_t>(s);
    r.data[23] = static_cast<std::uint8_t>(f);
  }
}

void SimDrive::ReadTrackInformation(const std::uint8_t* cdb, Reply& r) {
  const int type = cdb[1] & 0x03;
  const std::uint32_t number = Get32(cdb + 2);
  const SimTrack* track = nullptr;
  bool invisible = false;
  const bool appendable = disc_.status != DiscStatus::Complete && disc_.Writable();
  if (type == 1) {
    if (number == 0xFF || number == static_cast<std::uint32_t>(disc_.LastTrackNumber() + 1)) {
      // The track being written, else the invisible track after the last.
      if (!disc_.tracks.empty() && !disc_.tracks.back().closed) track = &disc_.tracks.back();
      else if (appendable) invisible = true;
    } else {
      for (const auto& t : disc_.tracks) {
        if (t.number == static_cast<int>(number)) track = &t;
      }
    }
  } else if (type == 0) {
    track = disc_.TrackAt(static_cast<std::int32_t>(number));
    if (!track && appendable && static_cast<std::int32_t>(number) >= disc_.nextWritable) invisible = true;
  } else {
    return r.Fail(5, 0x24, 0x00);
  }
  if (!track && !invisible) return r.Fail(5, 0x24, 0x00);
  r.data.assign(36, 0);
  Put16(&r.data[0], 34);
  const bool packetMode = WriteType() == 0;
  if (invisible) {
    const int n = disc_.LastTrackNumber() + 1;
    const int session = static_cast<int>(disc_.sessions.size()) +
                        ((disc_.sessions.empty() || disc_.sessions.back().closed) ? 1 : 0);
    r.data[2] = static_cast<std::uint8_t>(n);
    r.data[3] = static_cast<std::uint8_t>(session);
    r.data[5] = static_cast<std::uint8_t>(page5_[3] & 0x0F);
    r.data[6] = static_cast<std::uint8_t>(0x40 | (packetMode ? 0x20 : 0) |
                                          (packetMode && (page5_[3] & 0x20) ? 0x10 : 0) |
                                          ((page5_[4] & 0x0F) == 8 ? 1 : 2));
    r.data[7] = 0x01;
    Put32(&r.data[8], static_cast<std::uint32_t>(disc_.nextWritable));
    Put32(&r.data[12], static_cast<std::uint32_t>(disc_.nextWritable));
    const std::int32_t free = std::max(0, disc_.capacity - disc_.nextWritable);
    Put32(&r.data[16], static_cast<std::uint32_t>(free));
    if (packetMode && (page5_[3] & 0x20)) Put32(&r.data[20], Get32(page5_ + 10));
    Put32(&r.data[24], static_cast<std::uint32_t>(free));
    return;
  }
  const SimTrack& t = *track;
  r.data[2] = static_cast<std::uint8_t>(t.number);
  r.data[3] = static_cast<std::uint8_t>(t.session);
  r.data[5] = static_cast<std::uint8_t>(t.control & 0x0F);
  const int dataMode = t.mode == TrackMode::Audio ? 0x0F : t.mode == TrackMode::Mode2 ? 2 : 1;
  r.data[6] = static_cast<std::uint8_t>((t.packetSize ? 0x30 : 0) | dataMode);
  const bool writing = !t.closed;
  if (writing) {
    r.data[7] = 0x01;
    Put32(&r.data[12], static_cast<std::uint32_t>(t.start + t.length));
    Put32(&r.data[16], static_cast<std::uint32_t>(std::max(0, disc_.capacity - t.start - t.length)));
  }
  if (t.length > 0) r.data[7] |= 0x02;
  Put32(&r.data[8], static_cast<std::uint32_t>(t.start));
  Put32(&r.data[20], static_cast<std::uint32_t>(t.packetSize));
  Put32(&r.data[24], static_cast<std::uint32_t>(writing ? disc_.capacity - t.start : t.end - t.start));
  Put32(&r.data[28], static_cast<std::uint32_t>(t.start + std::max(t.length, 1) - 1));
}

void SimDrive::ReadToc(const std::uint8_t* cdb, Reply& r) {
  const int format = cdb[2] & 0x0F;
  const bool msf = (cdb[1] & 0x02) != 0;
  const int startTrack = cdb[6];
  std::vector<const SimTrack*> listed;
  for (const auto& t : disc_.tracks) {
    if (t.closed && t.length > 0) listed.push_back(&t);
  }
  auto putAddress = [&](std::uint8_t* at, std::int32_t address) {
    if (msf) {
      int m, s, f;
      AddressToMsf(address, &m, &s, &f);
      at[0] = 0;
      at[1] = static_cast<std::uint8_t>(m);
      at[2] = static_cast<std::uint8_t>(s);
      at[3] = static_cast<std::uint8_t>(f);
    } else {
      Put32(at, static_cast<std::uint32_t>(address));
    }
  };
  if (format == 4) {
    if (disc_.kind != MediaKind::CdR && disc_.kind != MediaKind::CdRw) return r.Fail(5, 0x24, 0x00);
    r.data.assign(28, 0);
    Put16(&r.data[0], 26);
    r.data[4] = 0x50;
    r.data[5] = 0x40;
    r.data[6] = static_cast<std::uint8_t>(0x80 | (disc_.kind == MediaKind::CdRw ? 0x40 : 0) | 0x04);
    int m, s, f;
    AddressToMsf(disc_.leadInStart, &m, &s, &f);
    r.data[8] = static_cast<std::uint8_t>(m);
    r.data[9] = static_cast<std::uint8_t>(s);
    r.data[10] = static_cast<std::uint8_t>(f);
    AddressToMsf(disc_.capacity, &m, &s, &f);
    r.data[12] = static_cast<std::uint8_t>(m);
    r.data[13] = static_cast<std::uint8_t>(s);
    r.data[14] = static_cast<std::uint8_t>(f);
    return;
  }
  if (format == 5) {
    r.data.assign(4, 0);
    std::string packs;
    if (disc_.cdText && !disc_.image.empty()) base::ReadFile(base::JoinPath(folder_, disc_.image + ".cdt"), &packs);
    if (disc_.cdText && !disc_.sourceBin.empty()) {
      std::string cdt = disc_.sourceBin.substr(0, disc_.sourceBin.rfind('.')) + ".cdt";
      base::ReadFile(cdt, &packs);
    }
    r.data.insert(r.data.end(), packs.begin(), packs.end());
    Put16(&r.data[0], static_cast<std::uint16_t>(r.data.size() - 2));
    return;
  }
  if (listed.empty()) return r.Fail(5, 0x24, 0x00);
  const std::int32_t leadOut =
      disc_.sessions.empty() ? listed.back()->end : std::max(listed.back()->end, 0);
  if (format == 0) {
    r.data.assign(4, 0);
    r.data[2] = static_cast<std::uint8_t>(listed.front()->number);
    r.data[3] = static_cast<std::uint8_t>(listed.back()->number);
    for (const SimTrack* t : listed) {
      if (startTrack != 0xAA && t->number < startTrack) continue;
      if (startTrack == 0xAA) break;
      std::uint8_t d[8] = {0, static_cast<std::uint8_t>(0x10 | (t->control & 0x0F)),
                           static_cast<std::uint8_t>(t->number), 0};
      putAddress(d + 4, t->start);
      r.data.insert(r.data.end(), d, d + 8);
    }
    std::uint8_t d[8] = {0, static_cast<std::uint8_t>(0x10 | (listed.back()->control & 0x0F)), 0xAA, 0};
    putAddress(d + 4, leadOut);
    r.data.insert(r.data.end(), d, d + 8);
    Put16(&r.data[0], static_cast<std::uint16_t>(r.data.size() - 2));
    return;
  }
  if (format == 1) {
    r.data.assign(12, 0);
    Put16(&r.data[0], 10);
    int closedSessions = 0;
    for (const auto& s : disc_.sessions) closedSessions += s.closed ? 1 : 0;
    r.data[2] = 1;
    r.data[3] = static_cast<std::uint8_t>(std::max(closedSessions, 1));
    const int lastSession = listed.back()->session;
    const SimTrack* first = listed.back();
    for (const SimTrack* t : listed) {
      if (t->session == lastSession) {
        first = t;
        break;
      }
    }
    r.data[5] = static_cast<std::uint8_t>(0x10 | (first->control & 0x0F));
    r.data[6] = static_cast<std::uint8_t>(first->number);
    putAddress(&r.data[8], first->start);
    return;
  }
  if (format == 2) {
    r.data.assign(4, 0);
    r.data[2] = 1;
    r.data[3] = static_cast<std::uint8_t>(std::max<std::size_t>(disc_.sessions.size(), 1));
    auto entry = [&](int session, int ctl, int point, int pm, int ps, int pf) {
      std::uint8_t d[11] = {static_cast<std::uint8_t>(session), static_cast<std::uint8_t>(0x10 | ctl), 0,
                            static_cast<std::uint8_t>(point), 0, 0, 0, 0,
                            static_cast<std::uint8_t>(pm), static_cast<std::uint8_t>(ps),
                            static_cast<std::uint8_t>(pf)};
      r.data.insert(r.data.end(), d, d + 11);
    };
    for (const auto& s : disc_.sessions) {
      std::vector<const SimTrack*> in;
      for (const SimTrack* t : listed) {
        if (t->session == s.number) in.push_back(t);
      }
      if (in.empty()) continue;
      int m, sec, f;
      entry(s.number, in.front()->control, 0xA0, in.front()->number, s.format, 0);
      entry(s.number, in.back()->control, 0xA1, in.back()->number, 0, 0);
      AddressToMsf(s.closed ? s.leadOut : in.back()->end, &m, &sec, &f);
      entry(s.number, in.back()->control, 0xA2, m, sec, f);
      for (const SimTrack* t : in) {
        AddressToMsf(t->start, &m, &sec, &f);
        entry(s.number, t->control, t->number, m, sec, f);
      }
    }
    Put16(&r.data[0], static_cast<std::uint16_t>(r.data.size() - 2));
    return;
  }
  r.Fail(5, 0x24, 0x00);
}

void SimDrive::ReadSubChannel(const std::uint8_t* cdb, Reply& r) {
  const int format = cdb[3];
  r.data.assign(4, 0);
  r.data[1] = 0x15;  // no current audio status
  if (!(cdb[2] & 0x40)) {
    return;
  }
  if (format == 2) {
    std::uint8_t d[20] = {2};
    if (disc_.mcn.size() == 13) {
      d[4] = 0x80;
      std::memcpy(d + 5, disc_.mcn.data(), 13);
    }
    r.data.insert(r.data.end(), d, d + 20);
  } else if (format == 3) {
    const int track = cdb[6];
    const SimTrack* t = nullptr;
    for (const auto& x : disc_.tracks) {
      if (x.number == track) t = &x;
    }
    if (!t) return r.Fail(5, 0x24, 0x00);
    std::uint8_t d[20] = {3, static_cast<std::uint8_t>(0x10 | (t->control & 0x0F)), static_cast<std::uint8_t>(track)};
    if (t->isrc.size() == 12) {
      d[4] = 0x80;
      std::memcpy(d + 5, t->isrc.data(), 12);
    }
    r.data.insert(r.data.end(), d, d + 20);
  } else if (format == 1) {
    std::uint8_t d[12] = {1, 0x14, 1, 1};
    r.data.insert(r.data.end(), d, d + 12);
  } else {
    return r.Fail(5, 0x24, 0x00);
  }
  Put16(&r.data[2], static_cast<std::uint16_t>(r.data.size() - 4));
}

// Composes the fields READ CD asked for from a stored sector.
void SimDrive::ReadCd(const std::uint8_t* cdb, Reply& r) {
  const int expected = (cdb[1] >> 2) & 0x07;
  const std::int32_t lba = static_cast<std::int32_t>(Get32(cdb + 2));
  const std::int32_t count = (cdb[6] << 16) | (cdb[7] << 8) | cdb[8];
  const int fields = cdb[9];
  const int sub = cdb[10] & 0x07;
  if (disc_.IsDvd()) return r.Fail(5, 0x64, 0x00);
  std::uint8_t raw[kRawSector];
  for (std::int32_t i = 0; i < count; ++i) {
    TrackMode mode;
    const std::int32_t a = lba + i;
    if (!ReadRawSector(a, raw, &mode)) return r.Fail(5, 0x21, 0x00);
    SectorKind kind = SectorKind::Mode1;
    int type = 1;
    if (mode == TrackMode::Mode1) {
      type = 2;
    } else if (mode == TrackMode::Mode2) {
      kind = raw[15] == 2 ? Mode2KindOf(raw) : SectorKind::Mode2Formless;
      type = kind == SectorKind::Mode2Form1 ? 4 : 5;
    }
    if (expected != 0 && expected != type && !(expected == 3 && mode == TrackMode::Mode2)) {
      return r.Fail(5, 0x64, 0x00);
    }
    if (mode == TrackMode::Audio) {
      if (fields & 0xF8) r.data.insert(r.data.end(), raw, raw + kRawSector);
    } else {
      const bool mode2 = mode == TrackMode::Mode2;
      if (fields & 0x80) r.data.insert(r.data.end(), raw, raw + 12);
      const int headers = (fields >> 5) & 0x03;
      if (headers & 0x01) r.data.insert(r.data.end(), raw + 12, raw + 16);
      if ((headers & 0x02) && mode2 && kind != SectorKind::Mode2Formless) r.data.insert(r.data.end(), raw + 16, raw + 24);
      const int userAt = mode2 && kind != SectorKind::Mode2Formless ? 24 : 16;
      int userLength = 2048;
      if (mode2 && kind == SectorKind::Mode2Form2) userLength = 2328;
      if (mode2 && kind == SectorKind::Mode2Formless) userLength = 2336;
      if (expected == 3 && kind != SectorKind::Mode2Formless) {
        // Mode 2 read as formless: everything after the header is user data.
        if (fields & 0x10) r.data.insert(r.data.end(), raw + 16, raw + kRawSector);
      } else {
        if (fields & 0x10) r.data.insert(r.data.end(), raw + userAt, raw + userAt + userLength);
        if ((fields & 0x08) && userAt + userLength < static_cast<int>(kRawSector)) {
          r.data.insert(r.data.end(), raw + userAt + userLength, raw + kRawSector);
        }
      }
    }
    if (fields & 0x06) r.data.insert(r.data.end(), (fields & 0x06) == 0x04 ? 296 : 294, 0);
    if (sub) {
      std::uint8_t channels[kSubcodeSize] = {};
      bool p = false;
      std::uint8_t q[12];
      SaoQ(a, q, &p);
      if (p) std::memset(channels, 0xFF, 12);
      std::memcpy(channels + 12, q, 12);
      if (sub == 2) {
        r.data.insert(r.data.end(), q, q + 12);
        r.data.insert(r.data.end(), 4, 0);
      } else {
        std::uint8_t interleaved[kSubcodeSize];
        ChannelsToInterleaved(channels, interleaved);
        r.data.insert(r.data.end(), interleaved, interleaved + kSubcodeSize);
      }
    }
  }
}

void SimDrive::ReadCdDa(const std::uint8_t* cdb, Reply& r) {
  const std::int32_t lba = static_cast<std::int32_t>(Get32(cdb + 2));
  const std::int32_t count = static_cast<std::int32_t>(Get32(cdb + 6));
  const int format = cdb[10];
  if (format > 4) return r.Fail(5, 0x24, 0x00);
  std::uint8_t raw[kRawSector];
  for (std::int32_t i = 0; i < count; ++i) {
    TrackMode mode;
    if (!ReadRawSector(lba + i, raw, &mode)) return r.Fail(5, 0x21, 0x00);
    if (mode != TrackMode::Audio) return r.Fail(5, 0x64, 0x00);
    if (format != 3) r.data.insert(r.data.end(), raw, raw + kRawSector);
    std::uint8_t q[12];
    bool p = false;
    SaoQ(lba + i, q, &p);
    if (format == 1) {
      // Q with BCD numbers, as these drives send it.
      r.data.insert(r.data.end(), q, q + 12);
      r.data.insert(r.data.end(), 4, 0);
    } else if (format == 2 || format == 3) {
      std::uint8_t channels[kSubcodeSize] = {};
      std::memcpy(channels + 12, q, 12);
      std::uint8_t interleaved[kSubcodeSize];
      ChannelsToInterleaved(channels, interleaved);
      r.data.insert(r.data.end(), interleaved, interleaved + kSubcodeSize);
    } else if (format == 4) {
      r.data.insert(r.data.end(), 294, 0);
    }
  }
}

void SimDrive::Read(std::int64_t lba, std::int64_t count, Reply& r) {
  if (count < 0 || count > 65535) return r.Fail(5, 0x24, 0x00);
  if (disc_.IsDvd()) {
    for (std::int64_t i = 0; i < count; ++i) {
      std::uint8_t block[2048] = {};
      const SimTrack* t = disc_.TrackAt(static_cast<std::int32_t>(lba + i));
      if (!t || lba + i >= t->start + t->length) return r.Fail(5, 0x21, 0x00);
      if (ImageFd() >= 0) {
        if (::pread(ImageFd(), block, 2048, (lba + i) * 2048) < 0) return r.Fail(3, 0x11, 0x00);
      }
      r.data.insert(r.data.end(), block, block + 2048);
    }
    return;
  }
  std::uint8_t raw[kRawSector];
  for (std::int64_t i = 0; i < count; ++i) {
    TrackMode mode;
    if (!ReadRawSector(static_cast<std::int32_t>(lba + i), raw, &mode)) return r.Fail(5, 0x21, 0x00);
    switch (blockSize_) {
      case 2048:
        if (mode == TrackMode::Audio) return r.Fail(5, 0x64, 0x00);
        if (mode == TrackMode::Mode2 && Mode2KindOf(raw) == SectorKind::Mode2Form2) return r.Fail(5, 0x64, 0x00);
        r.data.insert(r.data.end(), raw + (mode == TrackMode::Mode2 ? 24 : 16),
                      raw + (mode == TrackMode::Mode2 ? 24 : 16) + 2048);
        break;
      case 2336:
        r.data.insert(r.data.end(), raw + 16, raw + kRawSector);
        break;
      case 2340:
        r.data.insert(r.data.end(), raw + 12, raw + kRawSector);
        break;
      default:
        r.data.insert(r.data.end(), raw, raw + kRawSector);
        break;
    }
  }
}

}  // namespace vexa::scsi::sim
