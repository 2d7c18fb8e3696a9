#include "engine/DriveSession.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "platform/base/File.h"
#include "platform/base/Path.h"
#include "platform/base/Text.h"

namespace vexa::engine {

namespace {

std::string FormatInt(const char* format, long value) {
  char text[512];
  std::snprintf(text, sizeof text, format, value);
  return text;
}

void PutLE32(std::uint8_t* p, std::uint32_t v) {
  p[0] = static_cast<std::uint8_t>(v);
  p[1] = static_cast<std::uint8_t>(v >> 8);
  p[2] = static_cast<std::uint8_t>(v >> 16);
  p[3] = static_cast<std::uint8_t>(v >> 24);
}

void PutLE16(std::uint8_t* p, std::uint16_t v) {
  p[0] = static_cast<std::uint8_t>(v);
  p[1] = static_cast<std::uint8_t>(v >> 8);
}

std::int32_t ReadInt32(const std::uint8_t* p) {
  std::int32_t v;
  std::memcpy(&v, p, 4);
  return v;
}

std::string StripTrailingSeparators(std::string s) {
  while (s.size() > 1 && s.back() == '/') s.pop_back();
  return s;
}

// The parts of an audio-CD track name (see idl/vexasdk.h): the drive's path
// and the track number.
struct CdaName {
  std::string drivePath;
  int track = 0;
};

// kSuccess when the name is a track name; otherwise the code of the fault
// (104 not a ".cda" name, 103 a base name of one character or track 0).
EngineCode ParseCdaName(const std::string& path, CdaName* out, bool* trackZero) {
  *trackZero = false;
  const std::string ext = base::Extension(path);
  if (!base::EqualsNoCase(ext, ".cda")) return EngineCode::kInvalidFileFormat;
  std::string name = base::BaseName(path);
  name = name.substr(0, name.size() - ext.size());
  if (name.size() <= 1) return EngineCode::kParameterInvalid;
  const std::string digits = name.substr(name.size() - 2);
  int track = 0;
  for (char c : digits) {
    if (c < '0' || c > '9') {
      track = 0;
      break;
    }
    track = track * 10 + (c - '0');
  }
  if (track == 0) {
    *trackZero = true;
    return EngineCode::kParameterInvalid;
  }
  out->drivePath = StripTrailingSeparators(base::DirName(path));
  out->track = track;
  return EngineCode::kSuccess;
}

}  // namespace

void DriveSession::Bind(DriveAccess* drives) {
  drive_ = DrivePtr(nullptr, DriveDeleter{drives});
  drives_ = drives;
  number_ = -1;
}

void DriveSession::MakeCurrent(DrivePtr drive, std::int32_t number) {
  drive_ = std::move(drive);
  number_ = number;
}

void DriveSession::Release() { drive_.reset(); }

// ---- Finding drives ------------------------------------------------------------------

DriveSession::DrivePtr DriveSession::FindWriter(int first, int* number, std::string* problem) {
  *number = -1;
  for (int i = 0; i < 256; ++i) {
    const int n = (first + i) & 0xFF;
    DrivePtr d(drives_->CreateDrive(n), DriveDeleter{drives_});
    if (d && (drives_->GetDriveCaps(d.get()) & caps::kCDR)) {
      *number = n;
      return d;
    }
  }
  *problem = drives_->TransportProblem();
  return DrivePtr(nullptr, DriveDeleter{drives_});
}

Result DriveSession::OpenWriter(std::int32_t number, DrivePtr* out) {
  DrivePtr d(drives_->CreateDrive(number), DriveDeleter{drives_});
  if (!d) {
    return Result::Fail(EngineCode::kParameterInvalid, FormatInt("IVEXADriveMgr::GetDrive - Drive number %d not valid", number));
  }
  if (!(drives_->GetDriveCaps(d.get()) & caps::kWriteTAO)) {
    return Result::Fail(EngineCode::kParameterInvalid,
                        FormatInt("IVEXADriveMgr::GetDrive - Drive number %d does not support VEXACapWriteTAO", number));
  }
  *out = std::move(d);
  return Result::Ok();
}

// ---- The disc ------------------------------------------------------------------------

bool DriveSession::ReadDiscInformation(std::uint8_t* info) {
  std::memset(info, 0, 32);
  return drives_->ReadDiscInfo(drive_.get(), info) == 0;
}

Result DriveSession::ReadDiscKind(DiscKind* out) {
  std::uint8_t info[32];
  if (!ReadDiscInformation(info)) return Result::Refuse("IVEXADrive::get_DiscType - get_DiscType failed.");
  const int status = info[2] & 3;
  std::uint8_t atip[32];
  if (status != 2 && status != 3 && drives_->ReadATIP(drive_.get(), atip) == 1) {
    // A disc that can still be written has an ATIP when it is a CD: one
    // without is a DVD (or another disc no CD writing mode fits).
    *out = DiscKind::kNotCd;
  } else if (info[2] & 0x10) {
    *out = DiscKind::kRW;
  } else if (status == 2 || status == 3) {
    *out = DiscKind::kROM;
  } else {
    *out = DiscKind::kR;
  }
  return Result::Ok();
}

Result DriveSession::IsDiscBlank(bool* out) {
  DiscKind kind = DiscKind::kROM;
  if (Result r = ReadDiscKind(&kind); !r.ok()) return r;
  if (kind == DiscKind::kROM) {
    *out = false;
    return Result::Ok();
  }
  std::uint8_t info[32];
  if (!ReadDiscInformation(info)) return Result::Refuse("IVEXADrive::DiscIsBlank - ReadDiscInfo failed.");
  *out = info[4] < 2 && (info[2] & 3) == 0;
  return Result::Ok();
}

Result DriveSession::CheckDiscIsCd() {
  DiscKind kind = DiscKind::kR;
  if (!ReadDiscKind(&kind).ok() || kind != DiscKind::kNotCd) return Result::Ok();
  return Result::Fail(EngineCode::kBrellWriteFail,
                      "IVEXABurner::StartBurn - The disc in the writer is not a CD (it has no ATIP, as a DVD has "
                      "none): only CD-R and CD-RW discs can be written. Put in a blank CD-R; nothing was written.");
}

// ---- Speeds and the burn ----------------------------------------------------------------

std::int32_t DriveSession::MaxBurnSpeed() {
  DriveHandle* d = drive_.get();
  const std::int32_t current = drives_->SpeedQuery(d, 2048);
  drives_->SpeedQuery(d, 128);
  const std::int32_t highest = drives_->SpeedQuery(d, 2048);
  if (current != kNoSpeed && current > 0) drives_->SpeedQuery(d, current);
  return highest;
}

std::vector<std::int32_t> DriveSession::WriteSpeeds() {
  const std::int32_t highest = MaxBurnSpeed();
  std::vector<std::int32_t> speeds;
  for (std::int32_t n = 1; n <= highest && n < kNoSpeed && speeds.size() < 128; ++n) {
    if (n != 1 && n % 2 != 0) continue;
    if (drives_->SpeedQuery(drive_.get(), n + 0x1000) != kNoSpeed) speeds.push_back(n);
  }
  return speeds;
}

std::int32_t DriveSession::BurnSpeed(std::int32_t maxSpeed) {
  // A speed no drive has (1024 and up read as the drive's special codes)
  // is the drive's highest, as is none.
  if (maxSpeed > 0 && maxSpeed < kNoSpeed) {
    return drives_->SpeedQuery(drive_.get(), maxSpeed) == kNoSpeed ? MaxBurnSpeed() : maxSpeed;
  }
  return MaxBurnSpeed();
}

std::string DriveSession::DiscTooSmallMessage(std::int64_t neededSectors, std::int64_t freeSectors, const char* method) {
  // Megabytes of 2048-byte sectors, as discs are labelled ("700 MB"): what
  // is needed rounded up, what is free rounded down.
  constexpr std::int64_t kSectorsPerMB = 1048576 / 2048;
  const std::int64_t neededMB = (neededSectors + kSectorsPerMB - 1) / kSectorsPerMB;
  const std::int64_t freeMB = freeSectors / kSectorsPerMB;
  char text[256];
  std::snprintf(text, sizeof text,
                "The disc is too small: the disc image needs %lld MB (%lld sectors) and the disc has %lld MB "
                "(%lld sectors) free.",
                static_cast<long long>(neededMB), static_cast<long long>(neededSectors),
                static_cast<long long>(freeMB), static_cast<long long>(freeSectors));
  return std::string(method) + " - " + text;
}

Result DriveSession::CheckRoomForImage(const std::function<std::int64_t(std::int32_t)>& imageEnd, const char* method) {
  std::uint8_t info[36] = {};
  if (drives_->ReadTrackInfo(drive_.get(), 255, info) == 0 && (info[7] & 0x01) != 0) {
    std::int32_t next = 0, free = 0;
    std::memcpy(&next, info + 12, 4);
    std::memcpy(&free, info + 16, 4);
    const std::int64_t needed = imageEnd(next) - next;
    if (next >= 0 && free >= 0 && needed > free) {
      return Result::Fail(EngineCode::kDiscTooSmall, DiscTooSmallMessage(needed, free, method));
    }
  }
  return Result::Ok();
}

Result DriveSession::Erase(bool full) {
  // The drive's answer counts: a disc it will not blank is a failure.
  const std::int32_t answer = drives_->BlankDisc(drive_.get(), full ? 1 : 0);
  if (answer == 0) return Result::Ok();
  std::string text = answer == 6 ? "IVEXABurner::StartErase - The drive cannot erase this disc."
                                 : "IVEXABurner::StartErase - BlankDisc call failed.";
  const std::string why = drives_->GetLastError(drive_.get());
  if (!why.empty()) text += " " + why;
  return Result::Fail(EngineCode::kBrellWriteFail, text);
}

// ---- Audio-CD tracks ----------------------------------------------------------------------

Result DriveSession::FindTrack(const char* method, std::string_view cdaFile, DrivePtr* owned, DriveHandle** drive,
                               std::int32_t* start, std::int32_t* sectors) {
  const bool read = std::string_view(method).find("StartRead") != std::string_view::npos;
  const std::string prefix = read ? "IVEXAStoryboardStillsSlideshow1::StartRead - " : "IVEXAStoryboardStillsSlideshow1::GetTrackInfo - ";
  const char* logName = read ? "IVEXAStoryboardStillsSlideshow1::StartRead" : "IVEXAStoryboardStillsSlideshow1::RipAudio";
  CdaName name;
  bool trackZero = false;
  const EngineCode bad = ParseCdaName(std::string(cdaFile), &name, &trackZero);
  if (bad != EngineCode::kSuccess) {
    const std::string text = trackZero && !read ? "IVEXAStoryboardStillsSlideshow1::RipAudio - invalid .cda track"
                                                : prefix + "invalid .cda track";
    return Result::FailAs(logName, bad, text);
  }
  *drive = nullptr;
  if (drive_ && StripTrailingSeparators(drives_->GetDrivePath(drive_.get())) == name.drivePath &&
      (drives_->GetDriveCaps(drive_.get()) & caps::kCDDA)) {
    *drive = drive_.get();
  } else if (drives_) {
    for (int n = 0; n < 256 && !*drive; ++n) {
      DrivePtr d(drives_->CreateDrive(n), DriveDeleter{drives_});
      if (!d) continue;
      if (StripTrailingSeparators(drives_->GetDrivePath(d.get())) == name.drivePath &&
          (drives_->GetDriveCaps(d.get()) & caps::kCDDA)) {
        *drive = d.get();
        *owned = std::move(d);
      }
    }
  }
  if (!*drive) return Result::FailAs(logName, EngineCode::kSubmoduleRipAudioFail, prefix + "unable to query disc");

  std::uint8_t toc[804] = {};
  const std::string tocFail = read ? prefix + "unable to query disc"
                                   : std::string("IVEXAStoryboardStillsSlideshow1::RipAudio - unable to query disc");
  const Result noToc = Result::FailAs(logName, EngineCode::kSubmoduleRipAudioFail, tocFail);
  if (drives_->ReadTOC(*drive, toc) != 0) return noToc;
  // Descriptors of 8 bytes after the 4-byte header: track number in byte 2,
  // address in bytes 4-7; the lead-out is track 0xAA.
  int found = -1;
  for (int i = 0; i < 100; ++i) {
    const std::uint8_t* d = toc + 4 + 8 * i;
    if (d[2] == name.track) {
      found = i;
      break;
    }
    if (d[2] == 0xAA || (d[2] == 0 && i > 0)) break;
  }
  if (found < 0 || found + 1 >= 100) return noToc;
  const std::uint8_t* here = toc + 4 + 8 * found;
  const std::uint8_t* next = here + 8;
  if (next[2] == 0 && next[1] == 0) return noToc;
  *start = ReadInt32(here + 4);
  const std::int32_t end = ReadInt32(next + 4);
  if (*start < 0 || end < *start || end - *start > 1000000) return noToc;
  *sectors = end - *start;
  return Result::Ok();
}

Result DriveSession::TrackInfo(const char* method, std::string_view cdaFile, TrackFigures* out) {
  DrivePtr owned(nullptr, DriveDeleter{drives_});
  DriveHandle* drive = nullptr;
  std::int32_t start = 0, sectors = 0;
  if (Result r = FindTrack(method, cdaFile, &owned, &drive, &start, &sectors); !r.ok()) return r;
  out->trackSize = sectors * 2352 + 36;
  out->playTime = sectors / 75.0;
  const std::int32_t speed = drives_->ReadSpeedQuery(drive, 2048);
  if (speed == kNoSpeed || speed <= 0) {
    out->timeToRip = out->trackSize / 600000;
  } else {
    out->timeToRip = out->trackSize / (speed * 30000);
  }
  return Result::Ok();
}

Result DriveSession::ReadTrack(const char* method, std::string_view cdaFile, const std::string& wavFile) {
  static constexpr char kPrefix[] = "IVEXAStoryboardStillsSlideshow1::StartRead - ";
  DrivePtr owned(nullptr, DriveDeleter{drives_});
  DriveHandle* drive = nullptr;
  std::int32_t start = 0, sectors = 0;
  if (Result r = FindTrack(method, cdaFile, &owned, &drive, &start, &sectors); !r.ok()) return r;

  base::OutputFile out;
  if (wavFile.empty() || !out.Open(wavFile)) {
    return Result::Fail(EngineCode::kSubmoduleRipAudioFail, std::string(kPrefix) + "unable to open wav file");
  }
  const std::uint32_t dataBytes = static_cast<std::uint32_t>(sectors) * 2352u;
  std::uint8_t header[44];
  std::memcpy(header, "RIFF", 4);
  PutLE32(header + 4, dataBytes + 36);
  std::memcpy(header + 8, "WAVEfmt ", 8);
  PutLE32(header + 16, 16);
  PutLE16(header + 20, 1);       // PCM
  PutLE16(header + 22, 2);       // channels
  PutLE32(header + 24, 44100);
  PutLE32(header + 28, 176400);  // bytes a second
  PutLE16(header + 32, 4);       // block alignment
  PutLE16(header + 34, 16);      // bits a sample
  std::memcpy(header + 36, "data", 4);
  PutLE32(header + 40, dataBytes);
  if (!out.Write(header, sizeof header)) {
    return Result::Fail(EngineCode::kSubmoduleRipAudioFail, std::string(kPrefix) + "unable to write wav header");
  }

  drives_->SetBlocking(drive, 1);
  std::vector<std::uint8_t> block(16 * 2352);
  bool ok = true;
  for (std::int32_t done = 0; done < sectors && ok;) {
    const std::int32_t n = std::min<std::int32_t>(16, sectors - done);
    ok = drives_->ReadCD(drive, start + done, n, block.data(), 1, 2352) == 0 &&
         out.Write(block.data(), static_cast<std::size_t>(n) * 2352);
    done += n;
  }
  drives_->SetBlocking(drive, 0);
  if (!ok || !out.Commit()) {
    out.Discard();
    return Result::Fail(EngineCode::kSubmoduleRipAudioFail, std::string(kPrefix) + "unable to read CDA and write to a WAV.");
  }
  return Result::Ok();
}

}  // namespace vexa::engine
