#include "tools/vcd-mkimage/DiscWriter.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>

#include "disclib/vcd/DiscpakLibrary.h"
#include "platform/base/Path.h"

namespace vexa::vcdmkimage {

namespace {
// The image a fresh recorder folder gives its first disc.
constexpr const char* kImageName = "disc-0001";
}  // namespace

DiscWriter::~DiscWriter() {
  Release();
  if (!folder_.empty()) base::RemoveAll(folder_);
}

void DiscWriter::Release() {
  if (drive_) base_->CDR4_DeleteDrive(drive_);
  drive_ = nullptr;
  if (base_) DLL_LL_ReleaseObject(base_);
  base_ = nullptr;
  if (coms_) {
    coms_->COMS_Close();
    DLL_LL_ReleaseObject(coms_);
  }
  coms_ = nullptr;
}

std::string DiscWriter::DriveError(const char* what) {
  const char* error = drive_ ? base_->CDR4_GetLastError(drive_, nullptr) : nullptr;
  return error && *error ? std::string(what) + ": " + error : std::string(what);
}

bool DiscWriter::Open(const std::string& binPath, std::string* error) {
  binPath_ = binPath;
  const std::string dir = base::DirName(binPath);
  folder_ = base::MakeTempDir(dir.empty() ? "." : dir, ".vcd-mkimage-");
  if (folder_.empty()) {
    *error = "cannot make a recorder folder beside " + binPath;
    return false;
  }
  // The recorder: the simulator's CD writer with a blank CD-R in its tray.
  if (!base::WriteFileAtomic(base::JoinPath(folder_, "drive.conf"), "media = cdr\n", error)) return false;
  ::setenv("VEXA_SCSI_TRANSPORT", ("sim:" + folder_).c_str(), 1);
  coms_ = static_cast<CDR4COMS*>(DLL_LL_GetLibObject("CDR4COMS"));
  base_ = static_cast<CDR4BASE*>(DLL_LL_GetLibObject("CDR4BASE"));
  if (!coms_ || !base_ || coms_->version1 != 104 || base_->version1 != 107) {
    *error = "the disc library has no recorder objects";
    return false;
  }
  drive_ = base_->CDR4_CreateDrive(0);
  if (!drive_) {
    *error = "the simulated recorder did not open";
    return false;
  }
  if (!(base_->CDR4_GetDriveCaps(drive_) & CDRF_WRITETAO)) {
    *error = "the recorder cannot write track-at-once";
    return false;
  }
  BYTE info[32] = {};
  if (base_->CDR4_IsDiscBlank(drive_, info) != 0 || (info[2] & 3) != 0) {
    *error = DriveError("the recorder holds no blank disc");
    return false;
  }
  return true;
}

std::int32_t DiscWriter::NextWritable() {
  BYTE info[36] = {};
  if (!drive_ || base_->CDR4_ReadTrackInfo(drive_, 255, info) != 0) return -1;
  std::int32_t next;
  std::memcpy(&next, info + 12, 4);
  return next;
}

bool DiscWriter::StartTrack(const std::uint8_t* subheader8, std::string* error) {
  const std::int32_t next = NextWritable();
  if (next < 0) {
    *error = DriveError("the recorder has no writable track");
    return false;
  }
  if (base_->CDR4_StartTAO(drive_, 255, CDR_TRACK_MODE2_FORM2, CDR_BURNPROOF, nullptr, subheader8) != 0) {
    *error = DriveError("the recorder did not start a track");
    return false;
  }
  lba_ = next;
  trackStarts_.push_back(next);
  blockUnits_ = 0;
  return true;
}

bool DiscWriter::Flush(std::string* error) {
  if (blockUnits_ == 0) return true;
  const LONG n = blockUnits_;
  blockUnits_ = 0;
  if (base_->CDR4_WriteTAO(drive_, kVCDUnitBytes, n, block_.data()) != 0) {
    *error = DriveError("the recorder refused a write");
    return false;
  }
  return true;
}

bool DiscWriter::WriteUnit(const std::uint8_t* unit, std::string* error) {
  std::memcpy(block_.data() + static_cast<std::size_t>(blockUnits_) * kVCDUnitBytes, unit, kVCDUnitBytes);
  ++blockUnits_;
  ++lba_;
  return blockUnits_ < kBlockUnits || Flush(error);
}

bool DiscWriter::FinishTrack(std::string* error) {
  const bool written = Flush(error);
  // The drive's answer and any error it latched during the track both count:
  // a refused last write or flush fails the track.
  const bool finished = base_->CDR4_FinishTAO(drive_) == 0;
  const char* latched = base_->CDR4_GetLastError(drive_, nullptr);
  if (!written) return false;
  if (!finished || (latched && *latched)) {
    *error = DriveError("the recorder did not finish the track");
    return false;
  }
  return true;
}

bool DiscWriter::Close(const std::string& cuePath, std::string* error) {
  if (!drive_) return false;
  if (base_->CDR4_CloseSession(drive_, 0x20, 1) != 1) {
    *error = DriveError("the recorder did not close the session");
    return false;
  }
  Release();
  // The recorder's cue sheet names its own image; the moved image takes the
  // caller's name.
  const std::string image = base::JoinPath(folder_, kImageName);
  std::string cue;
  if (!base::ReadFile(image + ".cue", &cue, error)) return false;
  std::istringstream lines(cue);
  std::string line, text;
  while (std::getline(lines, line)) {
    if (line.rfind("FILE ", 0) == 0) line = "FILE \"" + base::BaseName(binPath_) + "\" BINARY";
    text += line + "\n";
  }
  if (std::rename((image + ".bin").c_str(), binPath_.c_str()) != 0) {
    *error = "cannot move the image to " + binPath_;
    return false;
  }
  if (!base::WriteFileAtomic(cuePath, text, error)) return false;
  base::RemoveAll(folder_);
  folder_.clear();
  return true;
}

}  // namespace vexa::vcdmkimage
