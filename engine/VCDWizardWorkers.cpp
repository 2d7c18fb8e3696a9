// The image builder's two workers: the premaster (music, pictures and menus
// encoded, everything handed to the ISO-format object) and the burn (the
// image track, the MPEG file tracks, the padding track and the closing of
// the session, track-at-once).
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "disclib/recorder/CDR4COMS.h"
#include "disclib/vcd/VCDTrackWriter.h"
#include "engine/ThumbnailBrowser2.h"
#include "engine/VCDWizard.h"
#include "platform/base/Path.h"
#include "platform/base/Time.h"

namespace vexa::engine {

namespace {

constexpr std::int32_t kUnit = kVCDUnitBytes;

void MakeEmptyUnit(std::uint8_t* unit) {
  std::memcpy(unit, kVCDEmptySubheader, 8);
  std::memset(unit + 8, 0, kVCDForm2DataBytes);
}

}  // namespace

// ---- Starting the workers ------------------------------------------------------------------

std::int32_t VCDWizard::StartPremasterThread() {
  StartRun(1);
  if (!video_ || !iso_ || !audio_) {
    run_.EndNow(base::kWorkNotBound);
    return 1;
  }
  auto body = [this] {
    std::int32_t state;
    try {
      state = PremasterBody();
    } catch (...) {
      state = base::kWorkFault;
    }
    // Before the intermediate files go: a full disk is seen as one.
    if (state != base::kWorkSuccess && state != base::kWorkCancelled) NoteFullWorkDisk();
    return state;
  };
  return run_.Start(body, [this](bool cancelled) { PremasterEnd(cancelled); }) ? 1 : 0;
}

std::int32_t VCDWizard::StartBurnThread(DriveHandle* drive, bool testMode, bool underrunProtection,
                                        std::int32_t speed) {
  StartRun(2);
  drive_ = drive;
  testMode_ = testMode;
  underrun_ = underrunProtection;
  speed_ = speed;
  if (!drives_ || !drive_ || !iso_) {
    run_.EndNow(base::kWorkNotBound);
    return 1;
  }
  return run_.Start([this] { return BurnBody(); }) ? 1 : 0;
}

// ---- Premaster -----------------------------------------------------------------------------

void VCDWizard::PremasterEnd(bool cancelled) {
  if (!cancelled) return;
  // The intermediate files of a cancelled run go at once, the menus too.
  if (menu_) menu_->Discard();
  std::lock_guard lock(mutex_);
  if (!videoPath_.empty()) std::remove(videoPath_.c_str());
  if (!audioPath_.empty()) std::remove(audioPath_.c_str());
}

std::int32_t VCDWizard::PremasterBody() {
  if (audio_) {
    audio_->EstimateSeconds();
    audio_->EstimateSectors();
  }
  if (video_) {
    video_->EstimateSeconds();
    video_->EstimateSectors();
  }
  if (menu_) {
    menu_->EstimateSeconds();
    menu_->EstimateSectors();
  }
  std::string work = WorkDirectory();
  if (work.empty()) work = base::TempDirectory() + "/";

  // The menus do not depend on the music or the slide show: they are made
  // at the same time. Results are still taken in order: music, slide show,
  // menus.
  bool menuStarted = false;
  if (menu_ && !Cancelled()) {
    menu_->Start(work.c_str());  // a builder that cannot start reports it as its result
    menuStarted = true;
  }
  auto stopMenu = [&] {
    if (menuStarted) {
      menu_->Cancel();
      while (!menu_->WaitDone(1000)) {
      }
    }
  };
  auto menuRemaining = [&]() -> std::int32_t {
    if (!menuStarted) return 0;
    std::int32_t p, r, d;
    menu_->GetProgress(&p, &r, &d);
    return d ? 0 : r;
  };

  // The premaster's progress counts the work done against the work planned.
  // The music, the slide show and the menus each weigh their work as the
  // time estimates count it on the reference machine, in milliseconds and
  // unrounded (a second of music 1/5.2 s, a still of the slide show 2 s, a
  // menu item 2 s): their shares stay right however fast the processor,
  // where the scaled whole seconds would round small parts to nothing. How
  // much of each is done (the music's PCM bytes, the pictures given to the
  // slide show's encoder, the menu items made) is sampled while the worker
  // follows them.
  const double musicSeconds = audios_ > 0 ? std::max(0, audio_->EstimateBytes() / 28000 - 1) : 0;
  const std::int64_t audioWeight = audios_ > 0 ? std::max<std::int64_t>(1, std::llround(musicSeconds * 1000 / 5.2)) : 0;
  const std::int64_t videoWeight = std::int64_t{pictures_} * 2000;
  const std::int64_t menuWeight = menu_ ? menu_->ReferenceWorkMs() : 0;
  run_.SetPlanned(audioWeight + videoWeight + menuWeight);
  double audioDone = 0, videoDone = 0;  // fractions of the two encodings
  auto countProgress = [&] {
    double menuDone = 0;
    if (menuStarted) {
      std::int64_t made = 0, planned = 0;
      menu_->GetItemProgress(&made, &planned);
      if (planned > 0) menuDone = std::min(1.0, static_cast<double>(made) / static_cast<double>(planned));
    }
    const auto units = static_cast<std::int64_t>(
        (static_cast<double>(audioWeight) * audioDone + static_cast<double>(videoWeight) * videoDone +
         static_cast<double>(menuWeight) * menuDone));
    const std::int64_t counted = run_.DoneUnits();
    if (units > counted) run_.AddDone(units - counted);
  };

  // Polls a work object until it is done: the end estimate is moved at most
  // 10 s a poll once it exists, a cancel is passed on, and the wait never
  // sleeps past the object's end. *fraction (when given) follows the
  // object's percent; an object is whole only once it is done.
  auto follow = [&](auto* object, const char* logFormat, auto laterSeconds, bool capGrowth, double* fraction) {
    std::int64_t lastLog = 0;
    for (;;) {
      std::int32_t percent = 0, remaining = 0, done = 0;
      object->GetProgress(&percent, &remaining, &done);
      if (fraction) *fraction = done ? 1.0 : std::clamp(percent, 0, 99) / 100.0;
      countProgress();
      if (done) break;
      const std::int64_t now = NowMs();
      std::int64_t candidate = now + (static_cast<std::int64_t>(remaining) + laterSeconds()) * 1000;
      const std::int64_t end = endTick_.load();
      if (capGrowth && end != 0 && candidate > end + 10000) candidate = end + 10000;
      SetEndTick(candidate);
      if (logFormat && now - lastLog >= 1000) {
        char line[96];
        std::snprintf(line, sizeof line, logFormat, static_cast<int>((candidate - now) / 1000));
        if (drives_) drives_->Log(line);
        lastLog = now;
      }
      // A cancel reaches the menu builder's workers at once too, not only
      // once the object followed has stopped.
      if (Cancelled()) {
        object->Cancel();
        if (menuStarted) menu_->Cancel();
      }
      object->WaitDone(200);
    }
  };

  std::string mp2;
  if (audios_ > 0) {
    mp2 = work + "DISCPAK.MP2";
    {
      std::lock_guard lock(mutex_);
      audioPath_ = mp2;
    }
    audio_->StartConversion(mp2.c_str());
    const std::int32_t videoLater = video_->EstimateSeconds();
    follow(audio_, "audio est remaining time %d", [&] { return videoLater + menuRemaining(); }, false, &audioDone);
    const char* name = nullptr;
    const std::int32_t r = audio_->GetResult(&name);
    if (r != 0) {
      SetFailedName(name ? name : "");
      stopMenu();
      return r;
    }
  }

  if (pictures_ > 0) {
    const std::string dat = work + "DISCPAK.DAT";
    {
      std::lock_guard lock(mutex_);
      videoPath_ = dat;
    }
    if (!mp2.empty()) video_->SetAudioFile(mp2.c_str(), mix_);
    video_->StartConversion(dat.c_str());
    follow(video_, "video est remaining time %d", menuRemaining, true, &videoDone);
    const char* name = nullptr;
    const std::int32_t r = video_->GetResult(&name);
    if (r != 0) {
      SetFailedName(name ? name : "");
      stopMenu();
      return r;
    }
    // The track flag marks a PAL disc (0) for INFO.VCD.
    if (!WaitImage()) {
      stopMenu();
      return base::kWorkCancelled;
    }
    if (!iso_->AddVCDTrack(dat.c_str(), videoFormat_ == 2 ? 0 : 1)) {
      SetFailedName(dat);
      stopMenu();
      return base::kWorkInputFailed;
    }
  }

  if (!WaitImage()) {
    stopMenu();
    return base::kWorkCancelled;
  }
  if (menuStarted) {
    follow(menu_, nullptr, [] { return 0; }, true, nullptr);
    std::string name;
    const std::int32_t r = menu_->GetResult(&name);
    if (r != 0) {
      SetFailedName(name);
      return r;
    }
    const std::string lot = work + "LOT.VCD";
    const std::string psd = work + "PSD.VCD";
    iso_->SetLOTPSDFiles(lot.c_str(), psd.c_str(), 4096);
    const std::int32_t segments = menu_->GetSegmentCount();
    for (std::int32_t i = 0; i < segments; ++i) {
      std::int32_t content = 0;
      const std::string path = menu_->GetSegment(i, &content);
      if (!iso_->AddVCDSegment(path.c_str(), content)) {
        SetFailedName(path);
        return base::kWorkInputFailed;
      }
    }
  }

  for (const ExtraTrack& t : tracks_) {
    if (!iso_->AddVCDTrack(t.path.c_str(), t.flag)) {
      SetFailedName(t.path);
      return base::kWorkInputFailed;
    }
  }
  return base::kWorkSuccess;
}

// A premaster that failed where the disk has no room for its streams (the
// encoder drops what it wrote, so the room is measured against the whole
// need) says so, where, and about how much is needed, in place of the name
// of the file it was writing.
void VCDWizard::NoteFullWorkDisk() {
  std::string work = WorkDirectory();
  if (work.empty()) work = base::TempDirectory() + "/";
  const std::int64_t free = FreeBytes(work);
  const std::int64_t needed = WorkBytesNeeded();
  if (free < 0 || free >= needed) return;
  SetFailedName(NoRoomText(work, free, needed));
}

// ---- Burn ----------------------------------------------------------------------------------

// Ends a track: the drive's answer and the first error it latched during
// the track both count, so a failed last write or flush fails the track.
bool VCDWizard::FinishTrack() {
  const bool finished = drives_->FinishTAO(drive_) == 0;
  const std::string error = drives_->GetLastError(drive_);
  if (!error.empty()) {
    NoteFailure(error);
    return false;
  }
  return finished;
}

// Ends a track as its writing ended: a cancelled burn stops the drive's
// writer at once rather than writing out every sector still queued for it
// (half a minute at 1x), so a stop is not held up by the track; otherwise
// as FinishTrack.
bool VCDWizard::EndTrack(bool written) {
  if (Cancelled()) {
    drives_->AbortTAO(drive_);
    drives_->FinishTAO(drive_);
    return false;
  }
  return FinishTrack() && written;
}

std::int64_t VCDWizard::BurnEnd(std::int64_t start, std::int64_t isoSectors, const std::vector<std::uint64_t>& trackBytes) {
  std::int64_t at = start + isoSectors;
  // Each file track as the track writer lays it out (at least 300 sectors).
  for (const std::uint64_t bytes : trackBytes) at += kTrackGap + VCDMpegTrack(bytes).total;
  // The padding track, as WritePaddingTrack lays it out.
  const std::int64_t next = at + kTrackGap;
  if (next < kPaddingTarget) at = kPaddingTarget - next < 300 ? next + 300 : kPaddingTarget;
  return at + 2;  // the last track's run-out
}

std::uint64_t VCDWizard::FileBytes(const std::string& path) {
  std::error_code ec;
  const auto bytes = std::filesystem::file_size(path, ec);
  return ec ? 0 : bytes;
}

std::int64_t VCDWizard::DataTrackSectors() const { return iso_ ? iso_->GetISOTrackSectors() : 0; }

std::vector<std::uint64_t> VCDWizard::ExtraTrackBytes() const {
  std::vector<std::uint64_t> tracks;
  for (const ExtraTrack& t : tracks_) tracks.push_back(FileBytes(t.path));
  return tracks;
}

std::int64_t VCDWizard::BurnEndAddress(std::int32_t start) const {
  std::vector<std::uint64_t> tracks;
  const std::string video = VideoPath();
  if (!video.empty() && base::FileExists(video)) tracks.push_back(FileBytes(video));
  const std::vector<std::uint64_t> extra = ExtraTrackBytes();
  tracks.insert(tracks.end(), extra.begin(), extra.end());
  return BurnEnd(start, DataTrackSectors(), tracks);
}

std::int32_t VCDWizard::BurnBody() {
  const std::int32_t state = BurnTracks();
  if (state == base::kWorkBurnFailed) NoteWriterGone();
  return state;
}

void VCDWizard::NoteWriterGone() {
  const std::string said = run_.FailedName();
  // The drive's own words already say it stopped answering.
  if (said.find("NO ANSWER FROM THE DRIVE") != std::string::npos) return;
  // Any drive that is there answers INQUIRY, busy, without a disc or after
  // a failed write alike.
  char inquiry[32] = {};
  if (drives_->GetInquiry(drive_, inquiry) != 0) return;
  std::string why = said;
  while (!why.empty() && (why.back() == '.' || why.back() == ' ')) why.pop_back();
  SetFailedName(why.empty() ? std::string(kComsDriveGoneText) : why + ": " + kComsDriveGoneText);
}

std::int32_t VCDWizard::BurnTracks() {
  SetEndTick(0);
  const std::int32_t flags = (testMode_ ? 1 : 0) | (underrun_ ? 4 : 0);
  std::int32_t speed = drives_->SpeedQuery(drive_, speed_);
  if (speed == 1024) speed = speed_;
  if (speed <= 0) speed = 1;
  writeSpeed_.store(speed);
  std::int64_t seconds = EstimateSectors() / speed / 75 + 10;
  if (!testMode_) seconds += 320 / speed;
  SetEndTick(startTick_.load() + seconds * 1000);

  if (!WriteImageTrack(flags)) return base::kWorkBurnFailed;
  const std::string video = VideoPath();
  if (!video.empty() && base::FileExists(video)) {
    if (!WriteFileTrack(video, flags, 1)) return base::kWorkBurnFailed;
  }
  for (const ExtraTrack& t : tracks_) {
    if (!WriteFileTrack(t.path, flags, t.flag)) return base::kWorkBurnFailed;
  }
  if (!WritePaddingTrack(flags, kPaddingTarget)) return base::kWorkBurnFailed;
  if (!testMode_ && drives_->CloseSession(drive_, 32, 1) != 1) {
    NoteFailure(drives_->GetLastError(drive_));
    return base::kWorkBurnFailed;
  }
  return Cancelled() ? static_cast<std::int32_t>(base::kWorkCancelled) : base::kWorkSuccess;
}

bool VCDWizard::WriteImageTrack(std::int32_t flags) {
  if (iso_->StartImage() != 1) {
    const char* why = iso_->GetError();
    NoteFailure(why ? why : "");
    return false;
  }
  bool ok = drives_->StartTAO(drive_, 255, 5, flags, nullptr, nullptr) == 0;
  if (ok) {
    std::vector<std::uint8_t> buffer(static_cast<std::size_t>(16) * kUnit);
    for (;;) {
      // A cancel ends the track between two blocks.
      if (Cancelled()) {
        ok = false;
        break;
      }
      const std::int32_t n = iso_->ReadSectors(16, buffer.data());
      if (n <= 0) break;
      if (drives_->WriteTAO(drive_, kUnit, n, buffer.data()) != 0) {
        ok = false;
        break;
      }
    }
    ok = EndTrack(ok);
  } else {
    NoteFailure(drives_->GetLastError(drive_));
  }
  if (iso_->FinishImage() != 1) {
    const char* why = iso_->GetError();
    if (why && *why) NoteFailure(why);
    ok = false;
  }
  return ok;
}

bool VCDWizard::WriteFileTrack(const std::string& path, std::int32_t flags, std::int32_t trackFlag) {
  (void)trackFlag;
  // A file that does not open fails the track before the drive starts one.
  if (!std::ifstream(path, std::ios::binary)) {
    NoteFailure(path);
    return false;
  }
  std::uint8_t info[36] = {};
  if (drives_->ReadTrackInfo(drive_, 255, info) != 0) {
    NoteFailure(drives_->GetLastError(drive_));
    return false;
  }
  if (drives_->StartTAO(drive_, 255, 5, flags, nullptr, kVCDVideoSubheader) != 0) {
    NoteFailure(drives_->GetLastError(drive_));
    return false;
  }
  // The track the image layout planned for this file, sector for sector.
  // A write refused is the drive's to explain: its track writer has latched
  // what the drive answered by the time the queue refuses more.
  std::string refused;
  const VCDTrackWriteResult written = VCDWriteMpegTrack(
      path,
      [&](const std::uint8_t* units, int count) {
        if (drives_->WriteTAO(drive_, kUnit, count, units) == 0) return true;
        refused = drives_->GetLastError(drive_);
        return false;
      },
      [&] { return Cancelled(); });
  if (!written.ok && !written.error.empty()) NoteFailure(refused.empty() ? written.error : refused);
  return EndTrack(written.ok);
}

bool VCDWizard::WritePaddingTrack(std::int32_t flags, std::int32_t target) {
  std::uint8_t info[36] = {};
  if (drives_->ReadTrackInfo(drive_, 255, info) != 0) {
    NoteFailure(drives_->GetLastError(drive_));
    return false;
  }
  std::int32_t next;
  std::memcpy(&next, info + 12, 4);  // next writable address
  if (next >= target) return true;
  const std::int32_t end = target - next < 300 ? next + 300 : target;
  if (drives_->StartTAO(drive_, 255, 5, flags, nullptr, kVCDEmptySubheader) != 0) {
    NoteFailure(drives_->GetLastError(drive_));
    return false;
  }
  // Empty sectors in blocks: the simulator and real drives take up to 28 a
  // command anyway.
  std::vector<std::uint8_t> block(static_cast<std::size_t>(16) * kUnit);
  for (int i = 0; i < 16; ++i) MakeEmptyUnit(block.data() + static_cast<std::size_t>(i) * kUnit);
  bool ok = true;
  for (std::int32_t at = next; at < end && ok;) {
    if (Cancelled()) {
      ok = false;
      break;
    }
    const std::int32_t n = std::min<std::int32_t>(16, end - at);
    if (drives_->WriteTAO(drive_, kUnit, n, block.data()) != 0) ok = false;
    at += n;
  }
  return EndTrack(ok);
}

}  // namespace vexa::engine
