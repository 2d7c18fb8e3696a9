// The reader of MPEG audio files (Layer I, II and III), decoded by libmpg123.
// The file is measured once (frames, bit rates, duration) on a second
// decoder handle of the object's own, so readers share no state.
#pragma once

#include <mpg123.h>

#include <memory>

#include "plugins/discpakb/AudioStream.h"

namespace vexa::discpakb {

// What one pass over the frames of a file found.
struct Mp3Analysis {
  bool succeeded = false;
  std::int64_t frames = 0;
  std::int64_t samples = 0;     // per channel, after the encoder's delay and padding
  int sampleRate = 0;
  int channels = 0;
  std::int32_t averageBitRate = 0;  // bits per second
  std::int32_t peakBitRate = 0;
  std::uint32_t durationMs = 0;
};

// Walks every frame of an MPEG audio file without decoding it.
Mp3Analysis AnalyseMp3(const std::string& path);

class Mp3AudioStream final : public AudioStream {
 public:
  explicit Mp3AudioStream(std::string path);
  ~Mp3AudioStream() override;

  std::int32_t Open() override;
  void Close() override;
  std::int32_t GetSize(std::uint32_t* bytes) override;
  std::uint32_t GetDurationMs() override;
  AudioFormatRecord* GetFormat() override;

 protected:
  bool DecodeBlock(Block* block) override;

 private:
  struct HandleDeleter {
    void operator()(mpg123_handle* h) const;
  };
  const Mp3Analysis& Analysis();

  std::unique_ptr<mpg123_handle, HandleDeleter> decoder_;
  int rate_ = 0;
  int channels_ = 0;
  bool analysed_ = false;
  Mp3Analysis analysis_;
  AudioFormatRecord format_;
};

// The decoder handle with the settings both passes use: quiet, 16-bit
// signed output at the file's own rate and channels. Null on failure.
mpg123_handle* NewMp3Handle();

}  // namespace vexa::discpakb
