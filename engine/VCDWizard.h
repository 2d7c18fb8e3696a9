// VCDWizard: the engine's image builder. It owns the three Video CD objects
// of the "DISCPAK" library object (the ISO-format object, the video encoder
// and the audio encoder), collects the pictures, music, files, segments and
// extra tracks of the disc, and runs the premaster (PremasterWorker) and the
// burn (BurnWorker) on a worker thread, answering progress, estimates and
// the result while either runs.
//
// Text-taking operations come as a narrow form (UTF-8) followed by a wide
// form (UTF-16) that converts and calls the narrow one.
//
// Each premaster and burn is a work run (platform/base/WorkRun.h): the final
// state is published before the done flag, a cancel after completion
// changes nothing, and a new run, Join() or destruction waits for the
// previous worker to end. The states are the run states (2: an input or the
// hand-over to the image failed, 3: the burn failed).
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "disclib/vcd/DiscpakLibrary.h"
#include "engine/DriveAccess.h"
#include "platform/base/WorkRun.h"

namespace vexa::base {
class Clock;
}

namespace vexa::engine {

class ThumbnailBrowser2;

class VCDWizard {
 public:
  // Makes the three Video CD objects through the table (any may be absent).
  VCDWizard(DISCPAK_LibObject* discpak, DriveAccess* drives, const base::Clock& clock);
  virtual ~VCDWizard();
  VCDWizard(const VCDWizard&) = delete;
  VCDWizard& operator=(const VCDWizard&) = delete;

  virtual void SetMenuBuilder(ThumbnailBrowser2* builder);
  virtual void SetStillTimes(std::int32_t displayMs, std::int32_t captionMs);
  virtual void SetVideoFormat(std::int32_t format);
  virtual void SetCaptionStyle(const char* font, std::int32_t size, std::int32_t charset, std::int32_t x,
                               std::int32_t y);
  virtual void SetCaptionStyleW(const char16_t* font, std::int32_t size, std::int32_t charset, std::int32_t x,
                                std::int32_t y);
  virtual void SetJolietSupport(std::int32_t flag);
  // The 752-byte volume record.
  virtual void SetVolumeInfo(const std::uint8_t* record);
  virtual std::int32_t AddStill(const char* file, const char* caption, std::int32_t flag);
  virtual std::int32_t AddStillW(const char16_t* file, const char16_t* caption, std::int32_t flag);
  // date16: a 16-byte date record (SYSTEMTIME layout) or null for none;
  // altName: a second name of the entry or null.
  virtual std::int32_t AddFile(const char* source, const char* discPath, const void* date16,
                               const char* altName);
  virtual std::int32_t AddFileW(const char16_t* source, const char16_t* discPath, const void* date16,
                                const char16_t* altName);
  virtual std::int32_t AddHardLink(const char* source, const char* discPath, const void* date16);
  virtual std::int32_t AddHardLinkW(const char16_t* source, const char16_t* discPath, const void* date16);
  virtual std::int32_t AddDualFile(const char* source1, const char* source2, const char* discPath,
                                   const void* date16);
  virtual std::int32_t AddDualFileW(const char16_t* source1, const char16_t* source2, const char16_t* discPath,
                                    const void* date16);
  virtual std::int32_t AddVCDSegment(const char* file, std::int32_t contentByte);
  virtual std::int32_t AddVCDSegmentW(const char16_t* file, std::int32_t contentByte);
  virtual std::int32_t AddTrackFile(const char* path, std::int32_t flag);
  virtual std::int32_t AddTrackFileW(const char16_t* path, std::int32_t flag);
  virtual std::int32_t LinkVCDTrack(std::int32_t track, const char* name);
  virtual std::int32_t LinkVCDTrackW(std::int32_t track, const char16_t* name);
  virtual std::int32_t LinkVCDSegment(std::int32_t segment, const char* name);
  virtual std::int32_t LinkVCDSegmentW(std::int32_t segment, const char16_t* name);
  virtual std::int32_t AddAudioFile(const char* file, std::int32_t mix);
  virtual std::int32_t AddAudioFileW(const char16_t* file, std::int32_t mix);
  virtual void SetTempDirectory(const char* path);
  virtual void SetTempDirectoryW(const char16_t* path);
  // 1 when the worker started (or ended at once with state 7).
  virtual std::int32_t StartPremasterThread();
  virtual std::int32_t StartBurnThread(DriveHandle* drive, bool testMode, bool underrunProtection,
                                       std::int32_t speed);
  virtual void GetProgress(std::int32_t* percent, std::int32_t* elapsed, std::int32_t* remaining,
                           std::int32_t* done, std::int32_t* writeSpeed);
  // Asks the running worker to stop; true when it was still running (a
  // cancel after the end changes nothing and answers false).
  virtual bool CancelWork();
  // The state; *name is the failing input's name ("" when none).
  virtual std::int32_t GetWorkResult(std::string* name);
  virtual std::int32_t GetWorkResultW(std::u16string* name);
  virtual std::int32_t EstimateSeconds();
  virtual std::int32_t EstimateSectors();
  // About how many bytes the premaster writes into the work directory: the
  // music, the slide show stream and the menu segments.
  std::int64_t WorkBytesNeeded();
  // The bytes free on the disk of a folder; -1 when it cannot be told.
  // The size of a file in bytes; 0 when it cannot be read.
  static std::uint64_t FileBytes(const std::string& path);
  static std::int64_t FreeBytes(const std::string& folder);
  // The text of a work directory without room for the premaster's streams.
  static std::string NoRoomText(const std::string& folder, std::int64_t free, std::int64_t needed);

  // While held, a premaster worker encodes but leaves the ISO-format object
  // alone, so the engine may still add files to the image; Release lets it
  // hand its results over.
  void HoldImage();
  void ReleaseImage();

  // Called (on the worker's thread) at the end of every premaster and burn,
  // once the result can be read. Set before the first run.
  void SetOnDone(std::function<void()> onDone) { run_.SetOnDone(std::move(onDone)); }

  // Waits until the running worker (if any) has ended.
  void Join();
  // Waits until the run is done or the time has passed; true when done.
  bool WaitDone(std::int32_t timeoutMs);
  // The work directory, always ending in '/' once set.
  std::string WorkDirectory() const;
  // The intermediate files of the last premaster ("" when none).
  std::string AudioPath() const;
  std::string VideoPath() const;
  // Where on the disc the burn of the premastered image ends when its first
  // track starts at `start`: the image track, the video and extra tracks
  // (each at least 300 sectors) and the padding up to the Video CD's least
  // size, with the gap the drive leaves between two tracks. The burn needs
  // the disc's free space to reach this address.
  std::int64_t BurnEndAddress(std::int32_t start) const;
  // The data track as laid out so far, in sectors, and the bytes of the
  // further MPEG tracks added.
  std::int64_t DataTrackSectors() const;
  std::vector<std::uint64_t> ExtraTrackBytes() const;
  // The same address from the figures: a data track of isoSectors, then a
  // track for each MPEG file of trackBytes.
  static std::int64_t BurnEnd(std::int64_t start, std::int64_t isoSectors, const std::vector<std::uint64_t>& trackBytes);
  // Sectors a drive leaves between the end of one track and the start of
  // the next when writing track-at-once (run-out, link, run-in and the
  // two-second pre-gap).
  static constexpr std::int32_t kTrackGap = 2 + 1 + 4 + 150;

  // Why the audio encoder refused the last music file (the file and the
  // reason), or "".
  std::string AudioError() const;
  // Picture and music counts as added.
  std::int32_t PictureCount() const { return pictures_; }
  std::int32_t AudioCount() const { return audios_; }

  static constexpr int kMaxExtraTracks = 98;
  static constexpr std::int32_t kPaddingTarget = 50000;

 private:
  struct ExtraTrack {
    std::string path;
    std::int32_t sectors;
    std::int32_t flag;
  };
  std::int64_t NowMs() const;
  // The run record's own part (times, kind) of a new run.
  void StartRun(int kind);
  bool Cancelled() const { return run_.cancelled(); }
  void SetFailedName(const std::string& name) { run_.SetFailedName(name); }
  // Keeps the first reason a run failed.
  void NoteFailure(const std::string& why) { run_.NoteFailure(why); }
  void SetEndTick(std::int64_t end) { endTick_.store(end); }
  // Waits until the image is released; false when the run was cancelled.
  bool WaitImage();

  // The bodies of the two runs; each answers the run's state.
  std::int32_t PremasterBody();
  // A cancelled premaster removes its intermediate files and the menus.
  void PremasterEnd(bool cancelled);
  void NoteFullWorkDisk();
  std::int32_t BurnBody();
  std::int32_t BurnTracks();
  // A failed burn whose writer no longer answers at all says that the
  // writer is gone, whichever command met its absence first.
  void NoteWriterGone();
  bool WriteImageTrack(std::int32_t flags);
  bool WriteFileTrack(const std::string& path, std::int32_t flags, std::int32_t trackFlag);
  bool WritePaddingTrack(std::int32_t flags, std::int32_t target);
  bool FinishTrack();
  bool EndTrack(bool written);

  DISCPAK_LibObject* discpak_;
  DriveAccess* drives_;
  const base::Clock& clock_;
  ThumbnailBrowser2* menu_ = nullptr;
  I_VCDClassISOFormat* iso_ = nullptr;
  I_VCDClassMPG1VideoEncode* video_ = nullptr;
  I_VCDClassMPG1L2AudioEncode* audio_ = nullptr;

  mutable std::mutex mutex_;  // guards the texts below
  std::string workDirectory_;
  std::string audioPath_;
  std::string videoPath_;

  std::int32_t videoFormat_ = 0;
  std::int32_t pictures_ = 0;
  std::int32_t audios_ = 0;
  std::uint8_t mix_ = 1;
  std::vector<ExtraTrack> tracks_;

  // Burn parameters.
  DriveHandle* drive_ = nullptr;
  bool testMode_ = false;
  bool underrun_ = false;
  std::int32_t speed_ = 0;

  // Run record: times and kind beside the run itself.
  std::atomic<std::int64_t> startTick_{0};
  std::atomic<std::int64_t> endTick_{0};
  std::atomic<std::int32_t> writeSpeed_{0};
  std::atomic<int> kind_{0};
  std::atomic<bool> imageHeld_{false};
  base::WorkRun run_;  // last: it is stopped and joined before the rest goes
};

}  // namespace vexa::engine
