// The reader of Windows Media Audio files: the ASF container read by
// libavformat and the audio decoded by libavcodec in a pull loop on the
// caller's thread (one decoded frame a block), every rate other than
// 44100 Hz resampled.
#pragma once

#include <cstdint>
#include <memory>

#include "plugins/discpakb/AudioStream.h"

struct AVFormatContext;
struct AVCodecContext;
struct AVPacket;
struct AVFrame;
struct SwrContext;

namespace vexa::discpakb {

class WmaAudioStream final : public AudioStream {
 public:
  explicit WmaAudioStream(std::string path);
  ~WmaAudioStream() override;

  std::int32_t Open() override;
  void Close() override;
  std::int32_t GetSize(std::uint32_t* bytes) override;
  std::uint32_t GetDurationMs() override;
  AudioFormatRecord* GetFormat() override;

  // The file's duration in 100-nanosecond units.
  std::int64_t duration() const { return duration_; }

 protected:
  bool DecodeBlock(Block* block) override;

 private:
  struct Deleters {
    void operator()(AVFormatContext* p) const;
    void operator()(AVCodecContext* p) const;
    void operator()(AVPacket* p) const;
    void operator()(AVFrame* p) const;
    void operator()(SwrContext* p) const;
  };
  bool ReceiveFrame(Block* block, bool* failed);

  std::unique_ptr<AVFormatContext, Deleters> format_ctx_;
  std::unique_ptr<AVCodecContext, Deleters> codec_;
  std::unique_ptr<AVPacket, Deleters> packet_;
  std::unique_ptr<AVFrame, Deleters> frame_;
  std::unique_ptr<SwrContext, Deleters> swr_;
  int stream_ = -1;
  int channels_ = 0;
  int rate_ = 0;
  bool draining_ = false;
  bool done_ = false;
  std::vector<std::int16_t> block_;
  std::int64_t duration_ = 0;
  AudioFormatRecord format_;
};

}  // namespace vexa::discpakb
