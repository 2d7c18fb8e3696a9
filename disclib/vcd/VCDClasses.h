// The Video CD classes of discpakm2 as their callers see them: the audio and
// video encoder objects, the play-sequence lists, and (defined with the image
// layout) the ISO-format object. Objects are made and deleted through the
// "DISCPAK" library object (DiscpakLibrary.h).
//
// Work objects follow one run protocol: a start operation launches a thread
// and returns at once; GetProgress answers percent, remaining seconds and
// done; Cancel sets a flag; GetResult answers the state with the name of the
// input that failed. The states are the run states every worker of the
// system answers (vexa::base::WorkState).
#pragma once

#include <cstdint>

#include "platform/base/WorkState.h"

// Encodes a list of audio files, read through the audio plug-in, into one
// MPEG-1 Layer II file (44.1 kHz, stereo, 224 kbit/s), in the order added.
class I_VCDClassMPG1L2AudioEncode {
 public:
  virtual ~I_VCDClassMPG1L2AudioEncode() = default;
  // 1 when the file opens as an audio stream with a duration, else 0.
  virtual std::int32_t AddAudioFile(const char* path) = 0;
  virtual std::int32_t AddAudioFileW(const char16_t* path) = 0;
  // (summed ms / 1000 + 1) x 28000 bytes.
  virtual std::int32_t EstimateBytes() = 0;
  virtual void StartConversion(const char* outputPath) = 0;
  virtual void StartConversionW(const char16_t* outputPath) = 0;
  // Percent done, seconds remaining; answers (and stores) the done flag.
  virtual std::int32_t GetProgress(std::int32_t* percent, std::int32_t* remaining, std::int32_t* done) = 0;
  virtual void Cancel() = 0;
  // The state; *name is the failing file (empty when none), owned by the object.
  virtual std::int32_t GetResult(const char** name) = 0;
  virtual std::int32_t GetResultW(const char16_t** name) = 0;
  virtual std::int32_t EstimateSeconds() = 0;
  virtual std::int32_t EstimateSectors() = 0;
  // Waits until the run is done or timeoutMs has passed; 1 when done. For
  // callers that show progress without polling in a loop.
  virtual std::int32_t WaitDone(std::int32_t timeoutMs) = 0;
  // Why the last AddAudioFile answered 0: the file and the reason, in words
  // ("/music/a.wav: its sample rate is 4000 Hz; ..."); "" after an accepted
  // file. Owned by the object.
  virtual const char* GetError() = 0;
};

// The caption style of a slide show whose caller sets none: white text in
// a face every system has, at a size a television shows legibly, starting at
// the left edge of the frame's title-safe area and low in it.
inline constexpr char kVCDCaptionFont[] = "Arial";
inline constexpr std::int32_t kVCDCaptionPoints = 12;
inline constexpr std::int32_t kVCDCaptionXPercent = 10;
inline constexpr std::int32_t kVCDCaptionYPercent = 80;

// Encodes the album's pictures, each shown for a set time and optionally
// captioned for part of it, into one MPEG-1 Video CD stream, multiplexed
// with a Layer II file when one is given.
class I_VCDClassMPG1VideoEncode {
 public:
  virtual ~I_VCDClassMPG1VideoEncode() = default;
  virtual void SetStillTimes(std::int32_t displayMs, std::int32_t captionMs) = 0;
  // 0 NTSC 352x240, 1 NTSC 352x240 at 24 pictures a second, 2 PAL 352x288
  // (motion); 3 NTSC 704x480, 4 (size kept), 5 PAL 704x576 (stills).
  virtual void SetVideoFormat(std::int32_t format) = 0;
  // The captions' face, size in points and top-left corner in percent of
  // the frame; wherever that is, a caption is drawn whole inside the
  // frame's title-safe area (CaptionLayout.h).
  virtual void SetCaptionStyle(const char* font, std::int32_t size, std::int32_t charset, std::int32_t xPercent,
                               std::int32_t yPercent) = 0;
  virtual void SetCaptionStyleW(const char16_t* font, std::int32_t size, std::int32_t charset,
                                std::int32_t xPercent, std::int32_t yPercent) = 0;
  virtual std::int32_t AddPicture(const char* path, const char* caption, std::int32_t flag) = 0;
  virtual std::int32_t AddPictureW(const char16_t* path, const char16_t* caption, std::int32_t flag) = 0;
  virtual std::int32_t SetAudioFile(const char* mp2Path, std::int32_t mix) = 0;
  virtual std::int32_t SetAudioFileW(const char16_t* mp2Path, std::int32_t mix) = 0;
  virtual void SetQuality(std::int32_t quality) = 0;
  virtual std::int32_t GetPCMBytes() = 0;
  virtual void StartConversion(const char* outputPath) = 0;
  virtual void StartConversionW(const char16_t* outputPath) = 0;
  virtual std::int32_t GetProgress(std::int32_t* percent, std::int32_t* remaining, std::int32_t* done) = 0;
  virtual void Cancel() = 0;
  virtual std::int32_t GetResult(const char** name) = 0;
  virtual std::int32_t GetResultW(const char16_t** name) = 0;
  virtual std::int32_t EstimateSeconds() = 0;
  virtual std::int32_t EstimateSectors() = 0;
  // Waits until the run is done or timeoutMs has passed; 1 when done. For
  // callers that show progress without polling in a loop.
  virtual std::int32_t WaitDone(std::int32_t timeoutMs) = 0;
};

// One list of a Video CD 2.0 play-sequence descriptor. List identifiers are
// 16-bit; 0xFFFF names no list.
class I_VCD20List {
 public:
  virtual ~I_VCD20List() = default;
  virtual void SetListId(std::uint16_t id) = 0;
  virtual std::uint16_t GetListId() = 0;
  // The descriptor's size in bytes (a multiple of 8).
  virtual std::int32_t GetSize() = 0;
  // Writes the descriptor at `out`; `positions` holds each list's byte
  // position in PSD.VCD by identifier (maxListId + 1 entries, -1 for none).
  virtual void Write(std::uint16_t maxListId, const std::int32_t* positions, std::uint8_t* out) = 0;
};

inline constexpr std::uint16_t kVCDNoList = 0xFFFF;

class I_VCD20PlayList : public I_VCD20List {
 public:
  // kind 0 previous, 1 next, 2 return; 1 taken, 0 refused.
  virtual std::int32_t SetLink(std::int32_t kind, std::uint16_t listId) = 0;
  virtual std::int32_t SetItemCount(std::int32_t count) = 0;
  virtual std::int32_t SetItem(std::int32_t index, std::int32_t item) = 0;
  virtual void SetPlayingTime(std::int32_t time) = 0;
  virtual void SetWaitTimes(std::int32_t wait, std::int32_t autoWait) = 0;
};

class I_VCD20SelList : public I_VCD20List {
 public:
  // kind 0 previous, 1 next, 2 return, 3 default, 4 timeout.
  virtual std::int32_t SetLink(std::int32_t kind, std::uint16_t listId) = 0;
  virtual std::int32_t SetSelections(std::int32_t count, std::int32_t base) = 0;
  virtual std::int32_t SetSelection(std::int32_t number, std::uint16_t listId) = 0;
  virtual void SetItem(std::int32_t item) = 0;
  virtual void SetWaitTime(std::int32_t time) = 0;
  virtual void SetLoop(std::int32_t loop) = 0;
};

class I_VCD20EndList : public I_VCD20List {
 public:
  virtual std::int32_t Reserved() = 0;
};

// Builds PSD.VCD and LOT.VCD from the lists it owns.
class I_VCDClass20Menu {
 public:
  virtual ~I_VCDClass20Menu() = default;
  virtual I_VCD20PlayList* NewPlayList(std::uint16_t id) = 0;
  virtual I_VCD20SelList* NewSelList(std::uint16_t id) = 0;
  virtual I_VCD20EndList* NewEndList(std::uint16_t id) = 0;
  // The blocks stay owned by the menu until the next build; null (size 0)
  // when the result would not fit its place on the disc (GetError says why).
  virtual const std::uint8_t* BuildLOT(std::int32_t* size) = 0;
  virtual const std::uint8_t* BuildPSD(std::int32_t* size) = 0;
  virtual const char* GetError() = 0;
};

// The data track of a Video CD 2.0 disc: files with ISO 9660 and Joliet
// names, hard links, dual files, INFO.VCD, ENTRIES.VCD, LOT.VCD, PSD.VCD,
// the segment play items and the AVSEQnn.DAT entries of the MPEG tracks;
// laid out on the ISO 9660 manager and streamed as 2332-byte units.
// Dates are 16-byte calendar records (year, month, day of week, day, hour,
// minute, second, millisecond as 16-bit words); null means the time of the
// layout.
class I_VCDClassISOFormat {
 public:
  virtual ~I_VCDClassISOFormat() = default;
  // 0 ISO 9660, 1 ISO 9660 and Joliet, 2 ISO 9660 with long names.
  virtual std::int32_t SetFileSystemType(std::int32_t type) = 0;
  // The 752-byte volume record (dates, then space-padded identifiers).
  virtual void SetVolumeInfo(const std::uint8_t* record) = 0;
  virtual std::int32_t AddFile(const char* source, const char* isoPath, const void* date16, const char* altName) = 0;
  virtual std::int32_t AddFileW(const char16_t* source, const char16_t* isoPath, const void* date16,
                                const char16_t* altName) = 0;
  virtual std::int32_t AddHardLink(const char* source, const char* linkPath, const void* date16) = 0;
  virtual std::int32_t AddHardLinkW(const char16_t* source, const char16_t* linkPath, const void* date16) = 0;
  virtual std::int32_t AddDualFile(const char* source1, const char* source2, const char* isoPath,
                                   const void* date16) = 0;
  virtual std::int32_t AddDualFileW(const char16_t* source1, const char16_t* source2, const char16_t* isoPath,
                                    const void* date16) = 0;
  virtual std::int32_t AddVCDTrack(const char* mpegFile, std::int32_t flag) = 0;
  virtual std::int32_t AddVCDTrackW(const char16_t* mpegFile, std::int32_t flag) = 0;
  virtual std::int32_t LinkVCDTrack(std::int32_t trackNumber, const char* name) = 0;
  virtual std::int32_t LinkVCDTrackW(std::int32_t trackNumber, const char16_t* name) = 0;
  // The first play-item number of the segment, 0 when refused.
  virtual std::int32_t AddVCDSegment(const char* file, std::int32_t contentByte) = 0;
  virtual std::int32_t AddVCDSegmentW(const char16_t* file, std::int32_t contentByte) = 0;
  virtual std::int32_t LinkVCDSegment(std::int32_t segmentNumber, const char* name) = 0;
  virtual std::int32_t LinkVCDSegmentW(std::int32_t segmentNumber, const char16_t* name) = 0;
  virtual std::int32_t SetLOTPSDFiles(const char* lotFile, const char* psdFile, std::uint16_t maxListId) = 0;
  virtual std::int32_t SetLOTPSDFilesW(const char16_t* lotFile, const char16_t* psdFile, std::uint16_t maxListId) = 0;
  // The sectors of the data track, as laid out.
  virtual std::int32_t GetISOTrackSectors() = 0;
  // Starts the layout thread; 1 when it runs.
  virtual std::int32_t StartImage() = 0;
  // Copies up to count units into buffer (count x 2332 bytes); 0 at the end.
  virtual std::int32_t ReadSectors(std::int32_t count, std::uint8_t* buffer) = 0;
  // Ends the pass (also after a partial read); 1 when the image was whole.
  virtual std::int32_t FinishImage() = 0;
  virtual std::int32_t GetTotalSectors() = 0;
  // Why the last image failed (names the file), or "".
  virtual const char* GetError() = 0;
};
