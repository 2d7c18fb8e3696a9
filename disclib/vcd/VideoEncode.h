// VCDClassMPG1VideoEncode: the album's pictures, each shown for its time and
// optionally captioned for part of it, encoded by vidlathe into one MPEG-1
// Video CD stream (motion or still list), with the Layer II music when given.
// The encoder pulls the pictures one by one through a picture callback,
// which draws each through the bitmap plug-in.
#pragma once

#include <atomic>
#include <chrono>
#include <string>
#include <vector>

#include "disclib/vcd/VCDClasses.h"
#include "platform/base/WorkRun.h"
#include "encoder/Vidlathe.h"

namespace vexa::vcd {

class VCDClassMPG1VideoEncode final : public I_VCDClassMPG1VideoEncode {
 public:
  static constexpr std::size_t kMaxEntries = 16383;

  VCDClassMPG1VideoEncode();
  ~VCDClassMPG1VideoEncode() override;

  void SetStillTimes(std::int32_t displayMs, std::int32_t captionMs) override;
  void SetVideoFormat(std::int32_t format) override;
  void SetCaptionStyle(const char* font, std::int32_t size, std::int32_t charset, std::int32_t xPercent,
                       std::int32_t yPercent) override;
  void SetCaptionStyleW(const char16_t* font, std::int32_t size, std::int32_t charset, std::int32_t xPercent,
                        std::int32_t yPercent) override;
  std::int32_t AddPicture(const char* path, const char* caption, std::int32_t flag) override;
  std::int32_t AddPictureW(const char16_t* path, const char16_t* caption, std::int32_t flag) override;
  std::int32_t SetAudioFile(const char* mp2Path, std::int32_t mix) override;
  std::int32_t SetAudioFileW(const char16_t* mp2Path, std::int32_t mix) override;
  void SetQuality(std::int32_t quality) override { quality_ = quality; }
  std::int32_t GetPCMBytes() override;
  void StartConversion(const char* outputPath) override;
  void StartConversionW(const char16_t* outputPath) override;
  std::int32_t GetProgress(std::int32_t* percent, std::int32_t* remaining, std::int32_t* done) override;
  void Cancel() override;
  std::int32_t GetResult(const char** name) override;
  std::int32_t GetResultW(const char16_t** name) override;
  std::int32_t EstimateSeconds() override;
  std::int32_t EstimateSectors() override;

  // Waits for the run to end or the time to pass (tools and tests); true when done.
  bool WaitDone(std::chrono::milliseconds timeout) { return run_.WaitDone(timeout); }
  std::int32_t WaitDone(std::int32_t timeoutMs) override {
    return run_.WaitDone(std::chrono::milliseconds(timeoutMs < 0 ? 0 : timeoutMs)) ? 1 : 0;
  }

  // The picture callback's work for this object.
  int NextPicture(void* bitsOut, BITMAPINFOHEADER* headerOut);

  struct Entry {
    std::string path;
    std::string caption;
    std::int32_t durationMs;
    std::int32_t flag;
  };
  const std::vector<Entry>& entries() const { return entries_; }
  std::int32_t width() const { return width_; }
  std::int32_t height() const { return height_; }
  float frameRate() const { return frameRate_; }
  std::int32_t captionMs() const { return captionMs_; }
  std::int32_t modeCode() const { return mode_; }

 private:
  std::int32_t Encode();
  std::int64_t SummedMs() const;

  std::int32_t quality_ = 16;
  std::int32_t format_ = 0;
  std::int32_t width_ = 352, height_ = 240;
  float frameRate_ = 29.97f;
  std::int32_t mode_ = 5;
  bool stillFamily_ = false;
  std::int32_t displayMs_ = 4000, captionMs_ = 4000;
  std::int32_t fontSize_ = kVCDCaptionPoints;
  std::string font_ = kVCDCaptionFont;
  std::int32_t charset_ = 0;
  std::int32_t xPercent_ = kVCDCaptionXPercent, yPercent_ = kVCDCaptionYPercent;
  std::string mp2Path_;
  std::int32_t mix_ = 1;
  std::string output_;
  std::vector<Entry> entries_;
  std::string resultName_;
  std::u16string resultNameW_;

  std::int64_t startTick_ = 0;
  std::atomic<std::int64_t> endTick_{0};
  std::atomic<std::int64_t> lastDeliveryTick_{0};
  std::atomic<std::int32_t> failingIndex_{0xFFFF};
  // The run; its units of work are the entries (done: the pictures
  // delivered to the encoder, which is also the next entry's index).
  base::WorkRun run_;
};

}  // namespace vexa::vcd
