// The image builder: its objects, the forwarding operations, the run record
// and the progress, time and size estimates. The two workers are in
// VCDWizardWorkers.cpp.
#include "engine/VCDWizard.h"

#include <sys/statvfs.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>

#include "engine/ThumbnailBrowser2.h"
#include "platform/base/Path.h"
#include "platform/base/Text.h"
#include "platform/base/Time.h"

namespace vexa::engine {

namespace {

std::string Narrow(const char16_t* s) { return s ? base::Utf16ToUtf8(s) : std::string(); }

}  // namespace

VCDWizard::VCDWizard(DISCPAK_LibObject* discpak, DriveAccess* drives, const base::Clock& clock)
    : discpak_(discpak), drives_(drives), clock_(clock) {
  if (discpak_) {
    if (discpak_->NewVCDClassISOFormat) iso_ = discpak_->NewVCDClassISOFormat();
    if (discpak_->NewVCDClassMPG1VideoEncode) video_ = discpak_->NewVCDClassMPG1VideoEncode();
    if (discpak_->NewVCDClassMPG1L2AudioEncode) audio_ = discpak_->NewVCDClassMPG1L2AudioEncode();
  }
}

VCDWizard::~VCDWizard() {
  CancelWork();
  Join();
  if (discpak_) {
    if (iso_) discpak_->DeleteVCDClassISOFormat(iso_);
    if (video_) discpak_->DeleteVCDClassMPG1VideoEncode(video_);
    if (audio_) discpak_->DeleteVCDClassMPG1L2AudioEncode(audio_);
  }
  std::lock_guard lock(mutex_);
  if (!videoPath_.empty()) std::remove(videoPath_.c_str());
  if (!audioPath_.empty()) std::remove(audioPath_.c_str());
}

std::int64_t VCDWizard::NowMs() const {
  return std::chrono::duration_cast<std::chrono::milliseconds>(clock_.Monotonic().time_since_epoch()).count();
}

// ---- Forwarding ---------------------------------------------------------------------

void VCDWizard::SetMenuBuilder(ThumbnailBrowser2* builder) { menu_ = builder; }

void VCDWizard::SetStillTimes(std::int32_t displayMs, std::int32_t captionMs) {
  if (video_) video_->SetStillTimes(displayMs, captionMs);
}

void VCDWizard::SetVideoFormat(std::int32_t format) {
  videoFormat_ = format;
  if (video_) video_->SetVideoFormat(format);
  if (menu_) menu_->SetVideoFormat(format);
}

void VCDWizard::SetCaptionStyle(const char* font, std::int32_t size, std::int32_t charset, std::int32_t x,
                                std::int32_t y) {
  if (video_) video_->SetCaptionStyle(font, size, charset, x, y);
}

void VCDWizard::SetCaptionStyleW(const char16_t* font, std::int32_t size, std::int32_t charset, std::int32_t x,
                                 std::int32_t y) {
  SetCaptionStyle(Narrow(font).c_str(), size, charset, x, y);
}

void VCDWizard::SetJolietSupport(std::int32_t flag) {
  if (iso_) iso_->SetFileSystemType(flag ? 1 : 0);
}

void VCDWizard::SetVolumeInfo(const std::uint8_t* record) {
  if (iso_) iso_->SetVolumeInfo(record);
}

std::int32_t VCDWizard::AddStill(const char* file, const char* caption, std::int32_t flag) {
  if (!video_) return 0;
  // Only what the encoder took counts: a premaster with a refused picture
  // alone has no slide show to make.
  const std::int32_t r = video_->AddPicture(file, caption, flag);
  if (r) ++pictures_;
  return r;
}

std::int32_t VCDWizard::AddStillW(const char16_t* file, const char16_t* caption, std::int32_t flag) {
  const std::string c = Narrow(caption);
  return AddStill(Narrow(file).c_str(), caption ? c.c_str() : nullptr, flag);
}

std::int32_t VCDWizard::AddFile(const char* source, const char* discPath, const void* date16, const char* altName) {
  return iso_ ? iso_->AddFile(source, discPath, date16, altName) : 0;
}

std::int32_t VCDWizard::AddFileW(const char16_t* source, const char16_t* discPath, const void* date16,
                                 const char16_t* altName) {
  const std::string alt = Narrow(altName);
  return AddFile(Narrow(source).c_str(), Narrow(discPath).c_str(), date16, altName ? alt.c_str() : nullptr);
}

std::int32_t VCDWizard::AddHardLink(const char* source, const char* discPath, const void* date16) {
  return iso_ ? iso_->AddHardLink(source, discPath, date16) : 0;
}

std::int32_t VCDWizard::AddHardLinkW(const char16_t* source, const char16_t* discPath, const void* date16) {
  return AddHardLink(Narrow(source).c_str(), Narrow(discPath).c_str(), date16);
}

std::int32_t VCDWizard::AddDualFile(const char* source1, const char* source2, const char* discPath,
                                    const void* date16) {
  return iso_ ? iso_->AddDualFile(source1, source2, discPath, date16) : 0;
}

std::int32_t VCDWizard::AddDualFileW(const char16_t* source1, const char16_t* source2, const char16_t* discPath,
                                     const void* date16) {
  return AddDualFile(Narrow(source1).c_str(), Narrow(source2).c_str(), Narrow(discPath).c_str(), date16);
}

std::int32_t VCDWizard::AddVCDSegment(const char* file, std::int32_t contentByte) {
  return iso_ ? iso_->AddVCDSegment(file, contentByte) : 0;
}

std::int32_t VCDWizard::AddVCDSegmentW(const char16_t* file, std::int32_t contentByte) {
  return AddVCDSegment(Narrow(file).c_str(), contentByte);
}

std::int32_t VCDWizard::LinkVCDTrack(std::int32_t track, const char* name) {
  return iso_ ? iso_->LinkVCDTrack(track, name) : 0;
}

std::int32_t VCDWizard::LinkVCDTrackW(std::int32_t track, const char16_t* name) {
  return LinkVCDTrack(track, Narrow(name).c_str());
}

std::int32_t VCDWizard::LinkVCDSegment(std::int32_t segment, const char* name) {
  return iso_ ? iso_->LinkVCDSegment(segment, name) : 0;
}

std::int32_t VCDWizard::LinkVCDSegmentW(std::int32_t segment, const char16_t* name) {
  return LinkVCDSegment(segment, Narrow(name).c_str());
}

std::int32_t VCDWizard::AddTrackFile(const char* path, std::int32_t flag) {
  if (!iso_ || static_cast<int>(tracks_.size()) >= kMaxExtraTracks || !path) return 0;
  std::ifstream in(path, std::ios::binary | std::ios::ate);
  if (!in) return 0;
  const auto size = static_cast<std::int64_t>(in.tellg());
  if (size < 0) return 0;
  tracks_.push_back({path, static_cast<std::int32_t>(size / 2324), flag});
  return 1;
}

std::int32_t VCDWizard::AddTrackFileW(const char16_t* path, std::int32_t flag) {
  return AddTrackFile(Narrow(path).c_str(), flag);
}

std::int32_t VCDWizard::AddAudioFile(const char* file, std::int32_t mix) {
  if (!audio_) return 0;
  const std::int32_t r = audio_->AddAudioFile(file);
  if (r) ++audios_;
  mix_ = static_cast<std::uint8_t>(mix & 0xFF);
  return r;
}

std::string VCDWizard::AudioError() const {
  if (!audio_) return "the audio encoder is missing";
  const char* why = audio_->GetError();
  return why ? why : "";
}

std::int32_t VCDWizard::AddAudioFileW(const char16_t* file, std::int32_t mix) {
  return AddAudioFile(Narrow(file).c_str(), mix);
}

void VCDWizard::SetTempDirectory(const char* path) {
  std::lock_guard lock(mutex_);
  workDirectory_ = path ? path : "";
  if (!workDirectory_.empty() && workDirectory_.back() != '/') workDirectory_ += '/';
}

void VCDWizard::SetTempDirectoryW(const char16_t* path) { SetTempDirectory(Narrow(path).c_str()); }

std::string VCDWizard::WorkDirectory() const {
  std::lock_guard lock(mutex_);
  return workDirectory_;
}

std::string VCDWizard::AudioPath() const {
  std::lock_guard lock(mutex_);
  return audioPath_;
}

std::string VCDWizard::VideoPath() const {
  std::lock_guard lock(mutex_);
  return videoPath_;
}

// ---- Run record -----------------------------------------------------------------------

void VCDWizard::Join() { run_.Join(); }

void VCDWizard::StartRun(int kind) {
  run_.Join();
  startTick_.store(NowMs());
  endTick_.store(0);
  writeSpeed_.store(0);
  kind_.store(kind);
}

bool VCDWizard::CancelWork() {
  if (!run_.Cancel()) return false;
  // The burn's worker may wait inside the drive's writer (a full queue, or
  // a finish writing out what is queued, half a minute at 1x): the writer is
  // told at once, so the worker comes back after the WRITE under way.
  if (kind_.load() == 2 && drives_ && drive_) drives_->AbortTAO(drive_);
  return true;
}

void VCDWizard::HoldImage() { imageHeld_.store(true); }

void VCDWizard::ReleaseImage() {
  imageHeld_.store(false);
  run_.Wake();
}

bool VCDWizard::WaitImage() {
  return run_.WaitUnlessCancelled([&] { return !imageHeld_.load(); });
}

bool VCDWizard::WaitDone(std::int32_t timeoutMs) { return run_.WaitDone(std::chrono::milliseconds(timeoutMs)); }

void VCDWizard::GetProgress(std::int32_t* percent, std::int32_t* elapsed, std::int32_t* remaining,
                            std::int32_t* done, std::int32_t* writeSpeed) {
  const std::int64_t start = startTick_.load();
  const std::int64_t end = endTick_.load();
  const bool finished = run_.done();
  *done = finished ? 1 : 0;
  if (kind_.load() == 1) {
    // The premaster: the percent of the work done, never 100 before the
    // end; the time left at the rate the work has gone so far (before any
    // is done, the estimate), never 0 while work remains.
    const std::int64_t now = NowMs();
    const std::int64_t spent = std::max<std::int64_t>(0, now - start);
    *elapsed = static_cast<std::int32_t>(spent / 1000);
    *writeSpeed = end == 0 ? 8 : writeSpeed_.load();
    if (finished) {
      *percent = 100;
      *remaining = 0;
      return;
    }
    const std::int64_t planned = run_.PlannedUnits();
    const double share =
        planned > 0 ? std::clamp(static_cast<double>(run_.DoneUnits()) / static_cast<double>(planned), 0.0, 1.0)
                    : 0.0;
    *percent = std::min(99, static_cast<std::int32_t>(share * 100.0));
    const double leftMs = share > 0 ? static_cast<double>(spent) * (1.0 - share) / share
                                    : static_cast<double>(std::max<std::int64_t>(0, end - now));
    *remaining = std::max<std::int32_t>(1, static_cast<std::int32_t>(std::ceil(leftMs / 1000.0)));
    return;
  }
  if (end == 0) {
    *percent = 0;
    *elapsed = 0;
    *remaining = 0;
    *writeSpeed = 8;
    return;
  }
  const std::int64_t now = NowMs();
  const double span = static_cast<double>(end - start);
  const double ratio = span > 0 ? static_cast<double>(now - start) / span * 100.0 : 100.0;
  *percent = (ratio < 0 || ratio > 100) ? 100 : static_cast<std::int32_t>(ratio);
  *remaining = now < end ? static_cast<std::int32_t>((end - now) / 1000) : 0;
  *elapsed = static_cast<std::int32_t>(std::max<std::int64_t>(0, now - start) / 1000);
  *writeSpeed = writeSpeed_.load();
}

std::int32_t VCDWizard::GetWorkResult(std::string* name) { return run_.Result(name); }

std::int32_t VCDWizard::GetWorkResultW(std::u16string* name) {
  std::string narrow;
  const std::int32_t state = GetWorkResult(&narrow);
  if (name) *name = base::Utf8ToUtf16(narrow);
  return state;
}

std::int32_t VCDWizard::EstimateSeconds() {
  std::int32_t s = 0;
  if (audio_) s += audio_->EstimateSeconds();
  if (video_) s += video_->EstimateSeconds();
  if (menu_) s += menu_->EstimateSeconds();
  return s;
}

std::int64_t VCDWizard::WorkBytesNeeded() {
  std::int64_t sectors = 0;
  if (audio_ && audios_ > 0) sectors += audio_->EstimateSectors();
  if (video_ && pictures_ > 0) sectors += video_->EstimateSectors() + 152;
  if (menu_) sectors += menu_->EstimateSectors();
  return sectors * 2324;
}

std::int64_t VCDWizard::FreeBytes(const std::string& folder) {
  struct statvfs fs {};
  if (folder.empty() || ::statvfs(folder.c_str(), &fs) != 0) return -1;
  return static_cast<std::int64_t>(fs.f_bavail) * static_cast<std::int64_t>(fs.f_frsize);
}

std::string VCDWizard::NoRoomText(const std::string& folder, std::int64_t free, std::int64_t needed) {
  char text[512];
  std::snprintf(text, sizeof text,
                "Not enough space for the slide show in the temporary folder %s: %lld MB free on its disk, about "
                "%lld MB needed",
                folder.c_str(), static_cast<long long>(free / 1000000),
                static_cast<long long>((needed + 999999) / 1000000));
  return text;
}

std::int32_t VCDWizard::EstimateSectors() {
  std::int32_t s = iso_ ? iso_->GetTotalSectors() : 0;
  if (video_) s += video_->EstimateSectors() + 152;
  if (menu_) s += menu_->EstimateSectors();
  return s < kPaddingTarget ? kPaddingTarget : s;
}

}  // namespace vexa::engine
