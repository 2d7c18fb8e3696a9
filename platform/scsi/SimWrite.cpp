// The simulated recorder's recording modes: track-at-once, session-at-once
// with its cue sheet and CD-TEXT lead-in, raw writing with host-built
// sectors and subcode, packet writing, DVD recording, and the image files.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <map>

#include "platform/base/Path.h"
#include "platform/scsi/SimDrive.h"
#include "platform/scsi/SimDriveInternal.h"
#include "platform/scsi/SimSector.h"

namespace vexa::scsi::sim {

namespace {

constexpr std::int32_t kRunOut = 2;
constexpr std::int32_t kPregap = 150;

bool AllZero(const std::uint8_t* p, std::size_t n) {
  for (std::size_t i = 0; i < n; ++i) {
    if (p[i]) return false;
  }
  return true;
}

// Main data size of a cue-sheet data form (bits 0-5).
int CueMainSize(int form) {
  switch (form & 0x3F) {
    case 0x00: return 2352;
    case 0x10: return 2048;
    case 0x11: return 2352;
    case 0x20: return 2336;
    case 0x21: return 2352;
    default: return 0;
  }
}

bool SyncOk(const std::uint8_t* raw) {
  if (raw[0] || raw[11]) return false;
  for (int i = 1; i < 11; ++i) {
    if (raw[i] != 0xFF) return false;
  }
  return true;
}

// True when the sector's sync and header name this address and mode.
bool HeaderOk(const std::uint8_t* raw, std::int32_t address, int mode) {
  int m, s, f;
  AddressToMsf(address, &m, &s, &f);
  return SyncOk(raw) && raw[12] == ToBcd(m) && raw[13] == ToBcd(s) && raw[14] == ToBcd(f) && raw[15] == mode;
}

}  // namespace

int SimDrive::BlockSizeOf(int dbt) const {
  switch (dbt) {
    case 0: return 2352;
    case 1: return 2368;
    case 2:
    case 3: return 2448;
    case 8: return 2048;
    case 9: return 2336;
    case 10: return 2048;
    case 11: return 2056;
    case 12: return 2324;
    case 13: return 2332;
    default: return 0;
  }
}

// ---- Image files ----------------------------------------------------------

bool SimDrive::EnsureImage() {
  if (testWriting_) return true;  // a test write makes no files
  if (binFd_ >= 0 && binWritable_) return true;
  if (binFd_ >= 0) {
    ::close(binFd_);
    binFd_ = -1;
  }
  if (disc_.image.empty()) {
    for (int n = 1; n < 100000; ++n) {
      char name[32];
      std::snprintf(name, sizeof name, "disc-%04d", n);
      const std::string base = base::JoinPath(folder_, name);
      if (!base::FileExists(base + ".bin") && !base::FileExists(base + ".iso") &&
          !base::FileExists(base + ".cue")) {
        disc_.image = name;
        break;
      }
    }
    if (disc_.image.empty()) return false;
    Note("new image " + disc_.image);
  }
  const std::string path = base::JoinPath(folder_, disc_.image + (disc_.IsDvd() ? ".iso" : ".bin"));
  binFd_ = ::open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (binFd_ < 0) {
    Note("cannot open " + path);
    return false;
  }
  struct stat st;
  binHighWater_ = ::fstat(binFd_, &st) == 0 ? st.st_size : 0;
  binWritable_ = true;
  return true;
}

int SimDrive::ImageFd() {
  FlushImageRun();
  if (binFd_ >= 0) return binFd_;
  std::string path;
  if (!disc_.sourceBin.empty()) {
    path = disc_.sourceBin;
  } else if (!disc_.image.empty()) {
    path = base::JoinPath(folder_, disc_.image + (disc_.IsDvd() ? ".iso" : ".bin"));
  } else {
    return -1;
  }
  binFd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  binWritable_ = false;
  return binFd_;
}

bool SimDrive::PutSector(std::int32_t address, const std::uint8_t* raw) {
  if (address < 0 || testWriting_) return true;  // the pause before track 1 is not held in the file
  return PutUnit(static_cast<std::int64_t>(address) * kRawSector, raw, kRawSector);
}

bool SimDrive::PutDvdSector(std::int32_t address, const std::uint8_t* data) {
  if (testWriting_) return true;
  return PutUnit(static_cast<std::int64_t>(address) * 2048, data, 2048);
}

// Sectors are gathered into runs of consecutive offsets and written with one
// system call a run (at most kImageRunBytes); every command's sectors are in
// the file when the command ends (FlushImageRun at the end of Execute).
bool SimDrive::PutUnit(std::int64_t offset, const std::uint8_t* data, std::size_t size) {
  if (!EnsureImage()) return false;
  const std::int64_t runEnd = runOffset_ + static_cast<std::int64_t>(run_.size());
  // Never-written stretches stay holes: an empty sector there costs nothing.
  if (offset >= std::max(binHighWater_, runEnd) && AllZero(data, size)) return true;
  if (!run_.empty() && offset != runEnd && !FlushImageRun()) return false;
  if (run_.empty()) {
    runOffset_ = offset;
    run_.reserve(kImageRunBytes);
  }
  run_.insert(run_.end(), data, data + size);
  return run_.size() < kImageRunBytes || FlushImageRun();
}

bool SimDrive::FlushImageRun() {
  if (run_.empty()) return true;
  const std::size_t size = run_.size();
  const std::int64_t offset = runOffset_;
  std::size_t done = 0;
  while (binFd_ >= 0 && binWritable_ && done < size) {
    const ssize_t n = ::pwrite(binFd_, run_.data() + done, size - done, offset + static_cast<std::int64_t>(done));
    if (n <= 0) break;
    done += static_cast<std::size_t>(n);
  }
  run_.clear();
  if (done < size) return false;
  binHighWater_ = std::max<std::int64_t>(binHighWater_, offset + static_cast<std::int64_t>(size));
  return true;
}

bool SimDrive::PutSubcode(std::int32_t address, const std::uint8_t* channels) {
  if (address < 0 || testWriting_) return true;
  if (subFd_ < 0) {
    if (!EnsureImage()) return false;
    subFd_ = ::open(base::JoinPath(folder_, disc_.image + ".sub").c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (subFd_ < 0) return false;
    disc_.subcode = true;
  }
  return ::pwrite(subFd_, channels, kSubcodeSize, static_cast<std::int64_t>(address) * kSubcodeSize) ==
         static_cast<ssize_t>(kSubcodeSize);
}

bool SimDrive::ReadRawSector(std::int32_t address, std::uint8_t* raw, TrackMode* mode) {
  const SimTrack* t = disc_.TrackAt(address);
  if (!t || address < 0 || address >= t->end || (!t->closed && address >= t->start + t->length)) {
    return false;
  }
  *mode = t->mode;
  std::memset(raw, 0, kRawSector);
  const int fd = ImageFd();
  if (fd < 0) return false;
  return ::pread(fd, raw, kRawSector, static_cast<std::int64_t>(address) * kRawSector) >= 0;
}

// Gap and run-out sectors in a track's mode: silence, or data sectors with
// zero user data (mode 2 ones as form 2 with a zero subheader).
void SimDrive::WriteGapSectors(std::int32_t from, std::int32_t to, TrackMode mode) {
  std::uint8_t raw[kRawSector];
  for (std::int32_t a = std::max(from, 0); a < to; ++a) {
    std::memset(raw, 0, sizeof raw);
    if (mode == TrackMode::Mode1) {
      EncodeDataSector(raw, a, SectorKind::Mode1);
    } else if (mode == TrackMode::Mode2) {
      raw[18] = raw[22] = 0x20;
      EncodeDataSector(raw, a, SectorKind::Mode2Form2);
    }
    PutSector(a, raw);
  }
}

void SimDrive::PublishImage() {
  FlushImageRun();
  if (disc_.image.empty() || testWriting_) return;
  std::int64_t needed = 0;
  const std::int64_t unit = disc_.IsDvd() ? 2048 : kRawSector;
  for (const auto& t : disc_.tracks) {
    needed = std::max<std::int64_t>(needed, static_cast<std::int64_t>(t.closed ? t.end : t.start + t.length) * unit);
  }
  if (binFd_ >= 0 && binWritable_) {
    struct stat st;
    if (::fstat(binFd_, &st) == 0 && st.st_size < needed && ::ftruncate(binFd_, needed) == 0) {
      binHighWater_ = std::max(binHighWater_, needed);
    }
  }
  if (disc_.IsCd()) {
    bool any = false;
    for (const auto& t : disc_.tracks) any = any || (t.closed && t.length > 0);
    if (any) base::WritePrivateFileAtomic(base::JoinPath(folder_, disc_.image + ".cue"), CueText(disc_));
  }
}

void SimDrive::FinishImage() {
  PublishImage();
  if (binFd_ >= 0) ::close(binFd_);
  if (subFd_ >= 0) ::close(subFd_);
  binFd_ = subFd_ = -1;
  binWritable_ = false;
  if (traceFile_) std::fflush(traceFile_);
}

void SimDrive::SaveState() {
  if (testWriting_) return;
  recordingOnFile_ = false;
  std::string error;
  if (!SaveDisc(folder_, disc_, &error)) Note(error);
}

void SimDrive::SaveRecordingStarted() {
  if (testWriting_ || recordingOnFile_) return;
  recordingOnFile_ = true;
  // A session-at-once or raw recording adds its tracks only when it ends;
  // until then the disc on file is incomplete without them.
  SimDisc onFile = disc_;
  if (onFile.status == DiscStatus::Blank) onFile.status = DiscStatus::Incomplete;
  std::string error;
  if (!SaveDisc(folder_, onFile, &error)) Note(error);
}

void SimDrive::BeginTestWrite() {
  if (testWriting_) return;
  discBeforeTest_ = disc_;
  testWriting_ = true;
  Note("test write: the laser stays off, nothing is recorded");
}

void SimDrive::EndTestWrite() {
  if (!testWriting_) return;
  disc_ = discBeforeTest_;
  testWriting_ = false;
  saoActive_ = false;
  cue_.clear();
  raw_ = RawState{};
  leadInSymbols_.clear();
  reserved_ = 0;
  Note("test write ended: the disc is as it was");
}

// ---- Tracks and sessions ----------------------------------------------------

void SimDrive::CloseOpenTrack() {
  SimTrack* t = disc_.OpenTrack();
  if (!t) return;
  if (t->length == 0) {
    disc_.tracks.pop_back();
    return;
  }
  if (disc_.IsDvd() || t->packetSize) {
    t->end = t->start + t->length;
  } else {
    WriteGapSectors(t->start + t->length, t->start + t->length + kRunOut, t->mode);
    t->end = t->start + t->length + kRunOut;
  }
  t->closed = true;
  disc_.nextWritable = t->end + (disc_.IsDvd() ? 0 : kPregap);
  Note("track " + std::to_string(t->number) + " closed: start " + std::to_string(t->start) + " length " +
       std::to_string(t->length) + ", next writable " + std::to_string(disc_.nextWritable));
  reserved_ = 0;
  PublishImage();
  SaveState();
}

void SimDrive::CloseSession() {
  CloseOpenTrack();
  if (disc_.sessions.empty() || disc_.sessions.back().closed) return;
  SimSession& s = disc_.sessions.back();
  std::int32_t end = 0;
  for (const auto& t : disc_.tracks) {
    if (t.session == s.number) end = std::max(end, t.end);
  }
  s.closed = true;
  s.leadOut = end;
  s.format = page5_[8];
  const bool nextSession = (page5_[3] & 0xC0) == 0xC0;
  if (nextSession && disc_.IsCd()) {
    disc_.status = DiscStatus::Incomplete;
    // Lead-out (90 s after the first session, 30 s after later ones), the
    // next lead-in (60 s) and the first pre-gap.
    disc_.nextWritable = end + (s.number == 1 ? 6750 : 2250) + 4500 + kPregap;
  } else {
    disc_.status = DiscStatus::Complete;
    disc_.nextWritable = -1;
  }
  Note("session " + std::to_string(s.number) + " closed: lead-out at " + std::to_string(end) +
       (disc_.status == DiscStatus::Complete ? ", disc complete" : ", disc appendable"));
  PublishImage();
  SaveState();
}

void SimDrive::Write(const std::uint8_t* cdb, const Command& c, Reply& r) {
  const std::int32_t lba = static_cast<std::int32_t>(Get32(cdb + 2));
  const std::int32_t count = Get16(cdb + 7);
  if (c.length && c.direction != Direction::Out) return r.Fail(5, 0x24, 0x00);
  if (!disc_.Writable()) return r.Fail(5, 0x27, 0x00);
  if (count == 0) return;
  if (TestWrite()) BeginTestWrite();
  Throttle(count);
  if (disc_.IsDvd()) {
    WriteDvd(lba, count, c.data, c.length, r);
  } else {
    switch (WriteType()) {
      case 0: WritePacket(lba, count, c.data, c.length, r); break;
      case 1: WriteTao(lba, count, c.data, c.length, r); break;
      case 2: WriteSao(lba, count, c.data, c.length, r); break;
      case 3: WriteRaw(lba, count, c.data, c.length, r); break;
      default: return r.Fail(5, 0x2C, 0x00);
    }
  }
  if (!r.check) SaveRecordingStarted();
}

// Builds the 2352-byte sector the drive records for a track-at-once or
// packet block of the given data block type.
static bool BuildSector(int dbt, const std::uint8_t* in, const std::uint8_t* page5, std::int32_t address,
                        std::uint8_t* raw) {
  std::memset(raw, 0, kRawSector);
  switch (dbt) {
    case 0:
      std::memcpy(raw, in, kRawSector);
      return true;
    case 8:
      std::memcpy(raw + 16, in, 2048);
      EncodeDataSector(raw, address, SectorKind::Mode1);
      return true;
    case 9:
      std::memcpy(raw + 16, in, 2336);
      EncodeDataSector(raw, address, SectorKind::Mode2Formless);
      return true;
    case 10:
    case 12:
      std::memcpy(raw + 16, page5 + 48, 4);
      std::memcpy(raw + 20, page5 + 48, 4);
      std::memcpy(raw + 24, in, dbt == 10 ? 2048 : 2324);
      EncodeDataSector(raw, address, dbt == 10 ? SectorKind::Mode2Form1 : SectorKind::Mode2Form2);
      return true;
    case 11:
      std::memcpy(raw + 16, in, 2056);
      EncodeDataSector(raw, address, SectorKind::Mode2Form1);
      return true;
    case 13:
      std::memcpy(raw + 16, in, 2332);
      EncodeDataSector(raw, address, Mode2KindOf(raw));
      return true;
    default:
      return false;
  }
}

void SimDrive::WriteTao(std::int32_t lba, std::int32_t count, const std::uint8_t* data, std::uint32_t length,
                        Reply& r) {
  const int dbt = BlockType();
  const int size = BlockSizeOf(dbt);
  if (size == 0 || dbt == 1 || dbt == 2 || dbt == 3) return r.Fail(5, 0x2C, 0x00);
  if (length != static_cast<std::uint32_t>(count) * size) {
    Note("write: " + std::to_string(length) + " bytes for " + std::to_string(count) + " blocks of " +
         std::to_string(size));
    return r.Fail(5, 0x24, 0x00);
  }
  if (disc_.status == DiscStatus::Complete) return r.Fail(5, 0x21, 0x02);
  SimTrack* t = disc_.OpenTrack();
  if (t && t->packetSize) return r.Fail(5, 0x2C, 0x00);
  const std::int32_t expected = t ? t->start + t->length : disc_.nextWritable;
  if (lba != expected) {
    Note("write at " + std::to_string(lba) + " where " + std::to_string(expected) + " is next");
    return r.Fail(5, 0x21, 0x02);
  }
  if (expected + count > disc_.capacity) return r.Fail(5, 0x63, 0x00);
  if (!EnsureImage()) return r.Fail(3, 0x0C, 0x00);
  if (!t) {
    SimTrack n;
    n.number = disc_.LastTrackNumber() + 1;
    if (disc_.sessions.empty() || disc_.sessions.back().closed) {
      SimSession s;
      s.number = static_cast<int>(disc_.sessions.size()) + 1;
      s.format = page5_[8];
      disc_.sessions.push_back(s);
    }
    n.session = disc_.sessions.back().number;
    n.mode = dbt == 0 ? TrackMode::Audio : dbt == 8 ? TrackMode::Mode1 : TrackMode::Mode2;
    n.control = dbt == 0 ? (page5_[3] & 0x0B) : (0x04 | (page5_[3] & 0x02));
    n.start = lba;
    const bool firstOfDisc = disc_.tracks.empty();
    n.pregap = firstOfDisc ? lba : lba - kPregap;
    disc_.tracks.push_back(n);
    disc_.status = DiscStatus::Incomplete;
    t = &disc_.tracks.back();
    if (!firstOfDisc) WriteGapSectors(t->pregap, t->start, t->mode);
    Note("track " + std::to_string(n.number) + " started at " + std::to_string(lba));
  }
  std::uint8_t raw[kRawSector];
  for (std::int32_t i = 0; i < count; ++i) {
    BuildSector(dbt, data + static_cast<std::size_t>(i) * size, page5_, lba + i, raw);
    if (!PutSector(lba + i, raw)) return r.Fail(3, 0x0C, 0x00);
    ++t->length;
  }
}

void SimDrive::WritePacket(std::int32_t lba, std::int32_t count, const std::uint8_t* data, std::uint32_t length,
                           Reply& r) {
  const int dbt = BlockType();
  if (dbt != 8 && dbt != 10) return r.Fail(5, 0x2C, 0x00);
  if (length != static_cast<std::uint32_t>(count) * 2048) return r.Fail(5, 0x24, 0x00);
  SimTrack* t = nullptr;
  for (auto& x : disc_.tracks) {
    if (x.packetSize && lba >= x.start && lba < x.start + std::max(x.length, x.end - x.start)) t = &x;
  }
  if (!t) t = disc_.OpenTrack();
  if (!t) {
    if (disc_.status == DiscStatus::Complete || lba != disc_.nextWritable) return r.Fail(5, 0x21, 0x02);
    SimTrack n;
    n.number = disc_.LastTrackNumber() + 1;
    if (disc_.sessions.empty() || disc_.sessions.back().closed) {
      SimSession s;
      s.number = static_cast<int>(disc_.sessions.size()) + 1;
      s.format = page5_[8];
      disc_.sessions.push_back(s);
    }
    n.session = disc_.sessions.back().number;
    n.mode = dbt == 8 ? TrackMode::Mode1 : TrackMode::Mode2;
    n.start = n.pregap = lba;
    n.packetSize = (page5_[3] & 0x20) ? static_cast<int>(Get32(page5_ + 10)) : 0;
    disc_.tracks.push_back(n);
    disc_.status = DiscStatus::Incomplete;
    t = &disc_.tracks.back();
  }
  if (t->packetSize) {
    if ((lba - t->start) % t->packetSize) return r.Fail(5, 0x21, 0x02);
    if (count % t->packetSize) return r.Fail(5, 0x64, 0x01);
  }
  const bool rewritable = disc_.kind == MediaKind::CdRw;
  const std::int32_t writtenEnd = t->start + t->length;
  const std::int32_t limit = t->closed ? t->end : disc_.capacity;
  if (lba + count > limit) return r.Fail(5, 0x63, 0x00);
  if (lba != writtenEnd && !(rewritable && lba < writtenEnd)) return r.Fail(5, 0x21, 0x02);
  std::uint8_t raw[kRawSector];
  for (std::int32_t i = 0; i < count; ++i) {
    BuildSector(dbt, data + static_cast<std::size_t>(i) * 2048, page5_, lba + i, raw);
    if (!PutSector(lba + i, raw)) return r.Fail(3, 0x0C, 0x00);
  }
  t->length = std::max(t->length, lba + count - t->start);
}

void SimDrive::WriteDvd(std::int32_t lba, std::int32_t count, const std::uint8_t* data, std::uint32_t length,
                        Reply& r) {
  if (length != static_cast<std::uint32_t>(count) * 2048) return r.Fail(5, 0x24, 0x00);
  if (lba < 0 || lba + count > disc_.capacity) return r.Fail(5, 0x63, 0x00);
  SimTrack* t = disc_.OpenTrack();
  if (disc_.kind == MediaKind::DvdPlusRw) {
    if (!disc_.formatted) return r.Fail(2, 0x30, 0x05);
    if (disc_.tracks.empty()) {
      SimTrack n;
      n.mode = TrackMode::Dvd;
      disc_.tracks.push_back(n);
      disc_.sessions.push_back(SimSession{});
    }
    t = &disc_.tracks.front();
  } else {
    if (disc_.status == DiscStatus::Complete) return r.Fail(5, 0x21, 0x02);
    if (!t) {
      if (lba != disc_.nextWritable) return r.Fail(5, 0x21, 0x02);
      SimTrack n;
      n.number = disc_.LastTrackNumber() + 1;
      n.mode = TrackMode::Dvd;
      n.start = n.pregap = lba;
      if (disc_.sessions.empty() || disc_.sessions.back().closed) {
        SimSession s;
        s.number = static_cast<int>(disc_.sessions.size()) + 1;
        disc_.sessions.push_back(s);
      }
      n.session = disc_.sessions.back().number;
      disc_.tracks.push_back(n);
      disc_.status = DiscStatus::Incomplete;
      t = &disc_.tracks.back();
    }
    if (lba != t->start + t->length) return r.Fail(5, 0x21, 0x02);
    if (reserved_ && t->length + count > reserved_) return r.Fail(5, 0x63, 0x00);
  }
  for (std::int32_t i = 0; i < count; ++i) {
    if (!PutDvdSector(lba + i, data + static_cast<std::size_t>(i) * 2048)) return r.Fail(3, 0x0C, 0x00);
  }
  t->length = std::max(t->length, lba + count - t->start);
  if (t->closed) t->end = std::max(t->end, t->start + t->length);
}

void SimDrive::SynchronizeCache(Reply& r) {
  if (saoActive_) {
    FinishSao(r);
  } else if (raw_.active) {
    FinishRaw(r);
  } else {
    if (!disc_.IsDvd() && WriteType() == 1) CloseOpenTrack();
    FlushImageRun();
    if (binFd_ >= 0 && binWritable_) ::fdatasync(binFd_);
    PublishImage();
    SaveState();
  }
  EndTestWrite();
}

void SimDrive::CloseTrackSession(const std::uint8_t* cdb, Reply& r) {
  struct EndsTest {
    SimDrive* d;
    ~EndsTest() { d->EndTestWrite(); }
  } endsTest{this};
  const int function = cdb[2] & 0x07;
  switch (function) {
    case 0:  // stop a DVD+RW background format
      if (disc_.kind != MediaKind::DvdPlusRw) return r.Fail(5, 0x24, 0x00);
      formatProgress_ = -1;
      PublishImage();
      SaveState();
      return;
    case 1:
      CloseOpenTrack();
      return;
    case 2:
      if (saoActive_ || raw_.active) return r.Fail(5, 0x2C, 0x00);
      if (disc_.tracks.empty() || disc_.sessions.empty() || disc_.sessions.back().closed) {
        if (disc_.OpenTrack() == nullptr) return r.Fail(5, 0x2C, 0x00);
      }
      CloseSession();
      return;
    default:
      return r.Fail(5, 0x24, 0x00);
  }
}

void SimDrive::Blank(const std::uint8_t* cdb, Reply& r) {
  const int type = cdb[1] & 0x07;
  if (type > 1) return r.Fail(5, 0x24, 0x00);
  if (!disc_.Erasable()) return r.Fail(2, 0x30, 0x06);
  EndTestWrite();
  FinishImage();
  const std::int32_t capacity = disc_.capacity;
  disc_ = FreshDisc(MediaName(disc_.kind), capacity);
  saoActive_ = false;
  raw_ = RawState{};
  Note(type == 0 ? "blanked (full)" : "blanked (minimal)");
  SaveState();
  if (cdb[1] & 0x10) blankingLeft_ = 4;  // immediate: the drive reports progress for a while
}

void SimDrive::ReserveTrack(const std::uint8_t* cdb, Reply& r) {
  const std::int32_t size = static_cast<std::int32_t>(Get32(cdb + 5));
  if (disc_.OpenTrack() || disc_.status == DiscStatus::Complete) return r.Fail(5, 0x2C, 0x00);
  if (size <= 0 || disc_.nextWritable + size > disc_.capacity) return r.Fail(5, 0x63, 0x01);
  reserved_ = size;
  Note("track reserved: " + std::to_string(size) + " blocks");
}

void SimDrive::FormatUnit(const std::uint8_t* cdb, const Command& c, Reply& r) {
  if (!(cdb[1] & 0x10) || c.length < 12 || c.direction != Direction::Out) return r.Fail(5, 0x24, 0x00);
  const std::uint8_t* p = c.data;
  if (Get16(p + 2) != 8) return r.Fail(5, 0x26, 0x00);
  const std::uint8_t* d = p + 4;
  const int type = d[4] >> 2;
  EndTestWrite();
  if (disc_.kind == MediaKind::DvdPlusRw && type == 0x26) {
    if (!disc_.formatted) {
      disc_.formatted = true;
      formatProgress_ = 0;
      disc_.tracks.clear();
      disc_.sessions.clear();
      SimTrack t;
      t.mode = TrackMode::Dvd;
      t.closed = true;
      disc_.tracks.push_back(t);
      SimSession s;
      s.closed = true;
      disc_.sessions.push_back(s);
      disc_.status = DiscStatus::Complete;
      Note("DVD+RW format started");
    }
    EnsureImage();
    SaveState();
    return;
  }
  if (disc_.kind == MediaKind::CdRw && type == 0x10) {
    const std::int32_t packet = (d[5] << 16) | (d[6] << 8) | d[7];
    if (packet <= 0) return r.Fail(5, 0x26, 0x00);
    FinishImage();
    const std::int32_t capacity = disc_.capacity;
    disc_ = FreshDisc("cdrw", capacity);
    SimTrack t;
    t.mode = TrackMode::Mode1;
    t.packetSize = packet;
    t.length = capacity / packet * packet;
    t.end = t.length;
    t.closed = true;
    disc_.tracks.push_back(t);
    SimSession s;
    s.closed = true;
    s.leadOut = t.end;
    disc_.sessions.push_back(s);
    disc_.status = DiscStatus::Complete;
    disc_.formatted = true;
    EnsureImage();
    Note("CD-RW formatted with fixed packets of " + std::to_string(packet));
    PublishImage();
    SaveState();
    return;
  }
  r.Fail(5, 0x26, 0x00);
}

// ---- Session-at-once ----------------------------------------------------------

void SimDrive::SendCueSheet(const Command& c, Reply& r) {
  auto refuse = [&](const std::string& why) {
    Note("cue sheet refused: " + why);
    r.Fail(5, 0x26, 0x00);
  };
  if (WriteType() != 2 || disc_.OpenTrack() || disc_.status == DiscStatus::Complete || disc_.IsDvd()) {
    return r.Fail(5, 0x2C, 0x00);
  }
  if (c.direction != Direction::Out || c.length % 8 || c.length < 24) return refuse("length");
  std::vector<CueLine> lines;
  for (std::uint32_t at = 0; at < c.length; at += 8) {
    const std::uint8_t* p = c.data + at;
    CueLine l;
    l.ctlAdr = p[0];
    l.track = p[1];
    l.index = p[2];
    l.form = p[3];
    if (p[5] > 99 || p[6] > 59 || p[7] > 74) return refuse("MSF out of range");
    l.address = MsfToAddress(p[5], p[6], p[7]);
    lines.push_back(l);
  }
  const CueLine& in = lines.front();
  const CueLine& out = lines.back();
  auto leadForm = [](int f) {
    f &= 0x3F;
    return f == 0x01 || f == 0x14 || f == 0x24 || f == 0x34;
  };
  if (in.track != 0 || in.index != 0 || !leadForm(in.form)) return refuse("first line is not the lead-in");
  if (out.track != 0xAA || out.index != 1 || !leadForm(out.form)) return refuse("last line is not the lead-out");
  const std::int32_t programStart = disc_.status == DiscStatus::Blank ? -kPregap : disc_.nextWritable - kPregap;
  int expectTrack = disc_.LastTrackNumber() + 1;
  int lastIndex = -1;
  int trackForm = -1;
  bool hasIndex1 = false;
  for (std::size_t i = 1; i + 1 < lines.size(); ++i) {
    const CueLine& l = lines[i];
    if ((l.ctlAdr & 0x0F) != 1) return refuse("only ADR 1 lines are supported");
    if (i == 1 && l.address != programStart) return refuse("the program does not start at " + std::to_string(programStart));
    if (i > 1 && l.address <= lines[i - 1].address) return refuse("addresses do not increase");
    const int main = l.form & 0x3F;
    const int sub = l.form & 0xC0;
    if (!CueMainSize(main)) return refuse("data form");
    if (sub && main != 0x00) return refuse("subcode with a data track");
    const bool data = main != 0x00;
    if (data != ((l.ctlAdr & 0x40) != 0)) return refuse("CTL does not match the data form");
    if (l.track != expectTrack) {
      if (l.track != expectTrack + 1 || !hasIndex1) return refuse("track numbers");
      expectTrack = l.track;
      lastIndex = -1;
      hasIndex1 = false;
      trackForm = -1;
    }
    if (i == 1 && l.track != disc_.LastTrackNumber() + 1) return refuse("first track number");
    if (l.index <= lastIndex || l.index > 99) return refuse("index numbers");
    if (l.index == 0 && lastIndex >= 0) return refuse("index 0 after index 1");
    if (trackForm >= 0 && trackForm != l.form) return refuse("data form changes inside a track");
    trackForm = l.form;
    lastIndex = l.index;
    hasIndex1 = hasIndex1 || l.index == 1;
  }
  if (!hasIndex1 || lines.size() < 3) return refuse("a track has no index 1");
  if (out.address <= lines[lines.size() - 2].address) return refuse("lead-out before the last track");
  if (out.address > disc_.capacity) return refuse("lead-out beyond the disc's capacity");
  cue_ = lines;
  saoActive_ = true;
  saoHeaderMismatches_ = 0;
  leadInSymbols_.clear();
  const bool leadInText = (in.form & 0xC0) != 0;
  saoNext_ = leadInText ? (disc_.status == DiscStatus::Blank ? disc_.leadInStart : programStart - 4500) : programStart;
  Note("cue sheet accepted: " + std::to_string(lines.size()) + " lines, lead-out at " + std::to_string(out.address) +
       (leadInText ? ", lead-in R-W from the host" : ""));
}

void SimDrive::SaoQ(std::int32_t a, std::uint8_t q[12], bool* p) const {
  // The layout as (ctl/adr, track, index, address) entries and the lead-out.
  struct Entry {
    int ctlAdr, track, index;
    std::int32_t address;
  };
  std::vector<Entry> entries;
  std::int32_t leadOut = 0;
  int leadOutCtl = 0x01;
  if (saoActive_) {
    for (std::size_t i = 1; i + 1 < cue_.size(); ++i) {
      entries.push_back({cue_[i].ctlAdr, cue_[i].track, cue_[i].index, cue_[i].address});
    }
    leadOut = cue_.back().address;
    leadOutCtl = cue_.back().ctlAdr;
  } else {
    for (const auto& t : disc_.tracks) {
      const int ctlAdr = (t.control << 4) | 1;
      if (t.pregap < t.start) entries.push_back({ctlAdr, t.number, 0, t.pregap});
      entries.push_back({ctlAdr, t.number, 1, t.start});
      for (const auto& i : t.extraIndexes) entries.push_back({ctlAdr, t.number, i.number, i.address});
      leadOut = t.closed ? t.end : t.start + t.length;
      leadOutCtl = ctlAdr;
    }
  }
  std::memset(q, 0, 12);
  *p = false;
  int m, s, f;
  if (entries.empty() || a >= leadOut) {
    const std::int32_t rel = a - leadOut;
    q[0] = static_cast<std::uint8_t>(leadOutCtl);
    q[1] = 0xAA;
    q[2] = 0x01;
    AddressToMsf(rel - 150, &m, &s, &f);
    *p = rel >= 150 && (rel % 75) < 38;
    q[3] = ToBcd(m);
    q[4] = ToBcd(s);
    q[5] = ToBcd(f);
  } else {
    std::size_t e = 0;
    for (std::size_t i = 0; i < entries.size(); ++i) {
      if (entries[i].address <= a) e = i;
    }
    const Entry& en = entries[e];
    q[0] = static_cast<std::uint8_t>(en.ctlAdr);
    q[1] = ToBcd(en.track);
    q[2] = ToBcd(en.index);
    std::int32_t rel = 0;
    if (en.index == 0) {
      // The pause counts down to index 1.
      std::int32_t next = leadOut;
      if (e + 1 < entries.size()) next = entries[e + 1].address;
      rel = next - a;
      *p = true;
    } else {
      std::int32_t start = en.address;
      for (const auto& x : entries) {
        if (x.track == en.track && x.index == 1) start = x.address;
      }
      rel = a - start;
    }
    AddressToMsf(rel - 150, &m, &s, &f);
    q[3] = ToBcd(m);
    q[4] = ToBcd(s);
    q[5] = ToBcd(f);
  }
  AddressToMsf(a, &m, &s, &f);
  q[7] = ToBcd(m);
  q[8] = ToBcd(s);
  q[9] = ToBcd(f);
  const std::uint16_t crc = QCrc(q, 10);
  q[10] = static_cast<std::uint8_t>(crc >> 8);
  q[11] = static_cast<std::uint8_t>(crc);
}

void SimDrive::WriteSao(std::int32_t lba, std::int32_t count, const std::uint8_t* data, std::uint32_t length,
                        Reply& r) {
  if (!saoActive_) return r.Fail(5, 0x2C, 0x00);
  if (lba != saoNext_) {
    Note("session-at-once write at " + std::to_string(lba) + " where " + std::to_string(saoNext_) + " is next");
    return r.Fail(5, 0x21, 0x02);
  }
  const std::int32_t programStart = cue_[1].address;
  const std::int32_t leadOut = cue_.back().address;
  // The form of each sector, and the bytes they must add up to.
  std::vector<int> forms(count);
  std::size_t expected = 0;
  std::size_t line = 1;
  for (std::int32_t i = 0; i < count; ++i) {
    const std::int32_t a = lba + i;
    if (a >= leadOut) {
      Note("session-at-once write past the lead-out at " + std::to_string(leadOut));
      return r.Fail(5, 0x21, 0x02);
    }
    if (a < programStart) {
      forms[i] = -1;  // lead-in subcode block
      expected += kSubcodeSize;
      continue;
    }
    while (line + 2 < cue_.size() && cue_[line + 1].address <= a) ++line;
    forms[i] = cue_[line].form;
    expected += CueMainSize(forms[i]) + ((forms[i] & 0xC0) ? kSubcodeSize : 0);
  }
  if (expected != length) {
    Note("session-at-once write of " + std::to_string(length) + " bytes where the cue sheet gives " +
         std::to_string(expected));
    return r.Fail(5, 0x24, 0x00);
  }
  const std::uint8_t* in = data;
  std::uint8_t raw[kRawSector];
  for (std::int32_t i = 0; i < count; ++i) {
    const std::int32_t a = lba + i;
    if (forms[i] < 0) {
      for (std::size_t k = 0; k < kSubcodeSize; ++k) leadInSymbols_.push_back(in[k] & 0x3F);
      in += kSubcodeSize;
      continue;
    }
    const int main = forms[i] & 0x3F;
    std::memset(raw, 0, sizeof raw);
    switch (main) {
      case 0x00:
        std::memcpy(raw, in, kRawSector);
        break;
      case 0x10:
        std::memcpy(raw + 16, in, 2048);
        EncodeDataSector(raw, a, SectorKind::Mode1);
        break;
      case 0x20:
        std::memcpy(raw + 16, in, 2336);
        EncodeDataSector(raw, a, Mode2KindOf(raw));
        break;
      case 0x11:
      case 0x21:
        // The host built the whole sector: keep it as sent.
        std::memcpy(raw, in, kRawSector);
        if (a >= 0 && !HeaderOk(raw, a, main == 0x11 ? 1 : 2) && saoHeaderMismatches_++ < 5) {
          Note("session-at-once sector " + std::to_string(a) + " has no valid sync and header for its track");
        }
        break;
    }
    in += CueMainSize(main);
    if (!PutSector(a, raw)) return r.Fail(3, 0x0C, 0x00);
    // The drive records P and Q from the cue sheet; R-W come from the host.
    std::uint8_t q[12];
    bool p = false;
    SaoQ(a, q, &p);
    std::uint8_t interleaved[kSubcodeSize];
    for (std::size_t k = 0; k < kSubcodeSize; ++k) {
      const int qbit = (q[k / 8] >> (7 - k % 8)) & 1;
      interleaved[k] = static_cast<std::uint8_t>((p ? 0x80 : 0) | (qbit << 6) |
                                                 ((forms[i] & 0xC0) ? (in[k] & 0x3F) : 0));
    }
    if (forms[i] & 0xC0) in += kSubcodeSize;
    std::uint8_t channels[kSubcodeSize];
    InterleavedToChannels(interleaved, channels);
    if (!PutSubcode(a, channels)) return r.Fail(3, 0x0C, 0x00);
  }
  saoNext_ += count;
}

void SimDrive::AdoptCdText(const std::vector<std::uint8_t>& symbols, const char* mode) {
  if (symbols.empty()) return;
  int bad = 0;
  const std::vector<std::uint8_t> packs = PacksFromSymbols(symbols, &bad);
  Note(std::string(mode) + ": CD-TEXT " + std::to_string(packs.size() / 18) + " packs, " + std::to_string(bad) +
       " with a bad CRC");
  if (packs.empty() || testWriting_ || !EnsureImage()) return;
  base::WritePrivateFileAtomic(base::JoinPath(folder_, disc_.image + ".cdt"),
                        std::string(packs.begin(), packs.end()));
  disc_.cdText = true;
  const int last = disc_.LastTrackNumber();
  const auto titles = CdTextField(packs, 0x80, last);
  const auto performers = CdTextField(packs, 0x81, last);
  disc_.discTitle = titles[0];
  disc_.discPerformer = performers[0];
  for (auto& t : disc_.tracks) {
    if (t.number < static_cast<int>(titles.size())) t.title = titles[t.number];
    if (t.number < static_cast<int>(performers.size())) t.performer = performers[t.number];
  }
}

void SimDrive::FinishSao(Reply& r) {
  const std::int32_t leadOut = cue_.back().address;
  const std::int32_t reached = saoNext_;
  saoActive_ = false;
  if (reached <= cue_[1].address) {
    Note("session-at-once: nothing of the program area was written");
    cue_.clear();
    return;
  }
  // The tracks as the cue sheet laid them out.
  std::map<int, SimTrack> tracks;
  for (std::size_t i = 1; i + 1 < cue_.size(); ++i) {
    const CueLine& l = cue_[i];
    SimTrack& t = tracks[l.track];
    t.number = l.track;
    t.control = l.ctlAdr >> 4;
    const int main = l.form & 0x3F;
    t.mode = main == 0x00 ? TrackMode::Audio : (main & 0xF0) == 0x10 ? TrackMode::Mode1 : TrackMode::Mode2;
    if (l.index == 0) t.pregap = l.address;
    if (l.index == 1) {
      t.start = l.address;
      if (t.pregap > t.start || t.pregap == 0) t.pregap = t.start;
      for (std::size_t k = 1; k + 1 < cue_.size(); ++k) {
        if (cue_[k].track == l.track && cue_[k].index == 0) t.pregap = cue_[k].address;
      }
    }
    if (l.index > 1) t.extraIndexes.push_back({l.index, l.address});
  }
  SimSession s;
  s.number = static_cast<int>(disc_.sessions.size()) + 1;
  s.format = page5_[8];
  std::vector<SimTrack> list;
  for (auto& [n, t] : tracks) list.push_back(t);
  for (std::size_t i = 0; i < list.size(); ++i) {
    list[i].session = s.number;
    list[i].end = i + 1 < list.size() ? list[i + 1].pregap : leadOut;
    list[i].closed = true;
    list[i].length = list[i].end - list[i].start;
  }
  if (reached < leadOut) {
    Note("session-at-once: the stream stopped at " + std::to_string(reached) + " before the lead-out at " +
         std::to_string(leadOut));
    while (!list.empty() && list.back().end > reached) list.pop_back();
    r.Fail(3, 0x0C, 0x09);
  }
  disc_.tracks.insert(disc_.tracks.end(), list.begin(), list.end());
  s.closed = true;
  s.leadOut = list.empty() ? reached : list.back().end;
  disc_.sessions.push_back(s);
  if ((page5_[3] & 0xC0) == 0xC0 && reached >= leadOut) {
    disc_.status = DiscStatus::Incomplete;
    disc_.nextWritable = s.leadOut + (s.number == 1 ? 6750 : 2250) + 4500 + kPregap;
  } else {
    disc_.status = DiscStatus::Complete;
    disc_.nextWritable = -1;
  }
  AdoptCdText(leadInSymbols_, "session-at-once");
  Note("session-at-once: " + std::to_string(list.size()) + " tracks, lead-out at " + std::to_string(s.leadOut) +
       ", sectors without valid header " + std::to_string(saoHeaderMismatches_));
  cue_.clear();
  PublishImage();
  SaveState();
}

// ---- Raw writing -------------------------------------------------------------
//
// Block type 1 carries 16 bytes after each 2352-byte sector: the 12 Q bytes
// and the P flag in byte 15. Block type 3 (and 2) carry 96 subcode bytes in
// which byte i holds bit i of each channel: P in bit 7, Q in bit 6 and the
// R-W symbols in bits 5-0. The drive records them as they come; in the
// lead-in the R-W bits are read back here as a stream of plain 6-bit CD-TEXT
// pack symbols, four to three bytes, the same form the session-at-once
// lead-in takes (no R-W interleaving or parity is undone).

void SimDrive::WriteRaw(std::int32_t lba, std::int32_t count, const std::uint8_t* data, std::uint32_t length,
                        Reply& r) {
  const int dbt = BlockType();
  const int size = BlockSizeOf(dbt);
  if (dbt < 1 || dbt > 3) return r.Fail(5, 0x2C, 0x00);
  if (length != static_cast<std::uint32_t>(count) * size) return r.Fail(5, 0x24, 0x00);
  if (!raw_.active) {
    if (disc_.OpenTrack()) return r.Fail(5, 0x2C, 0x00);
    raw_ = RawState{};
    raw_.active = true;
    raw_.next = disc_.status == DiscStatus::Blank ? disc_.leadInStart : disc_.nextWritable - kPregap - 4500;
    leadInSymbols_.clear();
    Note("raw recording from " + std::to_string(raw_.next));
  }
  if (lba != raw_.next) {
    Note("raw write at " + std::to_string(lba) + " where " + std::to_string(raw_.next) + " is next");
    return r.Fail(5, 0x21, 0x02);
  }
  std::uint8_t raw[kRawSector];
  for (std::int32_t i = 0; i < count; ++i) {
    const std::int32_t a = lba + i;
    const std::uint8_t* in = data + static_cast<std::size_t>(i) * size;
    std::uint8_t q[12];
    bool p = false;
    std::uint8_t channels[kSubcodeSize] = {};
    if (dbt == 1) {
      std::memcpy(q, in + kRawSector, 12);
      p = in[kRawSector + 15] != 0;
      if (p) std::memset(channels, 0xFF, 12);
      std::memcpy(channels + 12, q, 12);
    } else {
      InterleavedToChannels(in + kRawSector, channels);
      std::memcpy(q, channels + 12, 12);
      p = (channels[0] & 0x80) != 0;
    }
    if (QCrc(q, 10) != ((q[10] << 8) | q[11])) ++raw_.qCrcErrors;
    const int adr = q[0] & 0x0F;
    if (a < -kPregap) {
      if (adr == 1 && q[1] == 0) {
        bool seen = false;
        for (const auto& e : raw_.tocEntries) seen = seen || e[2] == q[2];
        if (!seen) {
          std::array<std::uint8_t, 12> e;
          std::memcpy(e.data(), q, 12);
          raw_.tocEntries.push_back(e);
        }
      }
      if (dbt != 1) {
        for (std::size_t k = 0; k < kSubcodeSize; ++k) leadInSymbols_.push_back(in[kRawSector + k] & 0x3F);
      }
    } else if (q[1] == 0xAA) {
      if (raw_.leadOutStart < 0) raw_.leadOutStart = a;
      ++raw_.leadOutSeen;
    } else if (a >= 0) {
      const int track = FromBcd(q[1]);
      const int index = FromBcd(q[2]);
      if (adr == 1 && MsfToAddress(FromBcd(q[7]), FromBcd(q[8]), FromBcd(q[9])) != a) ++raw_.addressErrors;
      if (track != raw_.lastTrack) {
        SimTrack t;
        t.number = track;
        t.control = q[0] >> 4;
        t.mode = (t.control & 0x04) ? TrackMode::Mode1 : TrackMode::Audio;
        t.pregap = t.start = a;
        raw_.tracks.push_back(t);
        raw_.lastTrack = track;
        raw_.lastIndex = -1;
      }
      SimTrack& t = raw_.tracks.back();
      if (index != raw_.lastIndex) {
        if (index == 1) t.start = a;
        else if (index > 1) t.extraIndexes.push_back({index, a});
        raw_.lastIndex = index;
      }
      std::memcpy(raw, in, kRawSector);
      if (t.control & 0x04) {
        Scramble(raw);  // stored descrambled
        if (raw[15] == 2) t.mode = TrackMode::Mode2;
      }
      if (!PutSector(a, raw)) return r.Fail(3, 0x0C, 0x00);
      if (!PutSubcode(a, channels)) return r.Fail(3, 0x0C, 0x00);
    }
    ++raw_.next;
  }
}

void SimDrive::FinishRaw(Reply& r) {
  (void)r;
  raw_.active = false;
  // The table of contents as the lead-in gave it.
  int first = -1, last = -1;
  std::int32_t leadOut = -1;
  std::map<int, std::pair<int, std::int32_t>> starts;  // track -> (ctl, start)
  for (const auto& e : raw_.tocEntries) {
    const int point = e[2];
    if (point == 0xA0) first = FromBcd(e[7]);
    else if (point == 0xA1) last = FromBcd(e[7]);
    else if (point == 0xA2) leadOut = MsfToAddress(FromBcd(e[7]), FromBcd(e[8]), FromBcd(e[9]));
    else if (point >= 1 && point <= 0x99) starts[FromBcd(static_cast<std::uint8_t>(point))] = {e[0] >> 4, MsfToAddress(FromBcd(e[7]), FromBcd(e[8]), FromBcd(e[9]))};
  }
  int mismatches = 0;
  std::string detail;
  if (raw_.tocEntries.empty()) {
    Note("raw: no lead-in table of contents was written");
    ++mismatches;
  }
  if (leadOut != raw_.leadOutStart) {
    ++mismatches;
    detail += " lead-out " + std::to_string(leadOut) + "/" + std::to_string(raw_.leadOutStart);
  }
  if (first != (raw_.tracks.empty() ? -1 : raw_.tracks.front().number) ||
      last != (raw_.tracks.empty() ? -1 : raw_.tracks.back().number) || starts.size() != raw_.tracks.size()) {
    ++mismatches;
    detail += " track range";
  }
  for (auto& t : raw_.tracks) {
    auto it = starts.find(t.number);
    if (it == starts.end() || it->second.second != t.start || it->second.first != t.control) {
      ++mismatches;
      detail += " track " + std::to_string(t.number);
    }
  }
  SimSession s;
  s.number = static_cast<int>(disc_.sessions.size()) + 1;
  s.format = page5_[8];
  for (std::size_t i = 0; i < raw_.tracks.size(); ++i) {
    SimTrack& t = raw_.tracks[i];
    t.session = s.number;
    t.end = i + 1 < raw_.tracks.size() ? raw_.tracks[i + 1].pregap : (raw_.leadOutStart >= 0 ? raw_.leadOutStart : raw_.next);
    t.length = t.end - t.start;
    t.closed = true;
    disc_.tracks.push_back(t);
  }
  s.closed = true;
  s.leadOut = raw_.tracks.empty() ? 0 : raw_.tracks.back().end;
  disc_.sessions.push_back(s);
  disc_.status = (page5_[3] & 0xC0) == 0xC0 ? DiscStatus::Incomplete : DiscStatus::Complete;
  disc_.nextWritable = disc_.status == DiscStatus::Complete ? -1 : s.leadOut + (s.number == 1 ? 6750 : 2250) + 4500 + kPregap;
  AdoptCdText(leadInSymbols_, "raw");
  Note("raw: " + std::to_string(raw_.tracks.size()) + " tracks, lead-in entries " +
       std::to_string(raw_.tocEntries.size()) + ", lead-out " + std::to_string(raw_.leadOutSeen) +
       " sectors, q-crc errors " + std::to_string(raw_.qCrcErrors) + ", address errors " +
       std::to_string(raw_.addressErrors) + ", toc/subcode mismatches " + std::to_string(mismatches) + detail);
  PublishImage();
  SaveState();
}

}  // namespace vexa::scsi::sim
