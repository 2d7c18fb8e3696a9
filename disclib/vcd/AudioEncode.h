// VCDClassMPG1L2AudioEncode: audio files, read as 44.1 kHz stereo PCM
// through the audio plug-in, encoded one after another into one Layer II
// file by the Layer II encoder, on the object's own thread.
#pragma once

#include <atomic>
#include <chrono>
#include <string>
#include <vector>

#include "disclib/vcd/VCDClasses.h"
#include "platform/base/WorkRun.h"

namespace vexa::vcd {

class VCDClassMPG1L2AudioEncode final : public I_VCDClassMPG1L2AudioEncode {
 public:
  static constexpr std::size_t kMaxFiles = 512;
  // PCM bytes read from a stream at a time.
  static constexpr std::int32_t kBlockBytes = 8192;
  // Frames the Layer II encoder gathers before each write to its file.
  static constexpr int kFramesPerWrite = 10;
  // The least music a Layer II stream is made of: two frames of 1152
  // stereo 16-bit samples.
  static constexpr std::int64_t kMinMusicBytes = 2 * 1152 * 4;

  VCDClassMPG1L2AudioEncode();
  ~VCDClassMPG1L2AudioEncode() override;

  std::int32_t AddAudioFile(const char* path) override;
  std::int32_t AddAudioFileW(const char16_t* path) override;
  std::int32_t EstimateBytes() override;
  void StartConversion(const char* outputPath) override;
  void StartConversionW(const char16_t* outputPath) override;
  std::int32_t GetProgress(std::int32_t* percent, std::int32_t* remaining, std::int32_t* done) override;
  void Cancel() override;
  std::int32_t GetResult(const char** name) override;
  std::int32_t GetResultW(const char16_t** name) override;
  std::int32_t EstimateSeconds() override;
  std::int32_t EstimateSectors() override;

  std::size_t FileCount() const { return files_.size(); }
  // Waits for the run to end or the time to pass (tools and tests); true when done.
  bool WaitDone(std::chrono::milliseconds timeout) { return run_.WaitDone(timeout); }
  std::int32_t WaitDone(std::int32_t timeoutMs) override {
    return run_.WaitDone(std::chrono::milliseconds(timeoutMs < 0 ? 0 : timeoutMs)) ? 1 : 0;
  }
  const char* GetError() override { return error_.c_str(); }

 private:
  struct File {
    std::string path;
    std::uint32_t durationMs;
  };
  std::int32_t Encode();
  std::int64_t SummedMs() const;

  bool bound_;
  std::vector<File> files_;
  std::string output_;
  std::string error_;  // why the last AddAudioFile refused its file
  std::string resultName_;
  std::u16string resultNameW_;

  std::int64_t startTick_ = 0;
  std::atomic<std::int64_t> endTick_{0};
  std::int64_t nextMark_ = 0;
  std::int64_t totalBytes_ = 0;
  // The run; its units of work are PCM bytes (planned: the total, done: the
  // bytes handed to the encoder).
  base::WorkRun run_;
};

}  // namespace vexa::vcd
