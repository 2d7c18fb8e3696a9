// What the three readers share: the path, the frame buffer of converted
// 44100 Hz stereo frames with its count and read position, the end-of-stream
// flag, and the read loop that refills the buffer block by block.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "plugins/ARAS.h"
#include "plugins/discpakb/Conversions.h"

namespace vexa::discpakb {

// The longest path a reader holds (its field is 512 bytes with the zero).
inline constexpr std::size_t kMaxPathLength = 511;

class AudioStream : public ARAS {
 public:
  std::int32_t Read(std::uint32_t* frames, std::int32_t byteCount) override;
  const char* GetError() override { return error_.c_str(); }
  const std::string& path() const { return path_; }

 protected:
  AudioStream(std::string path, RateMode mode) : path_(std::move(path)), converter_(mode) {}

  // One decoded block of the source: interleaved 16-bit samples.
  struct Block {
    const std::int16_t* samples = nullptr;
    std::size_t frames = 0;
    int channels = 0;
    int rate = 0;
  };
  // The reader's own step: decodes its next block. False at the end of the
  // stream, on a decoding error, or when the stream is not open.
  virtual bool DecodeBlock(Block* block) = 0;

  // Empties the frame buffer and the conversion state (Open and Close).
  void ResetFrames();
  // The reason GetError gives; Open sets it when it refuses and clears it
  // when it succeeds.
  void SetError(std::string why) { error_ = std::move(why); }
  // Open's refusal: the reason kept, 0 answered.
  std::int32_t Refuse(std::string why) {
    Close();
    error_ = std::move(why);
    return 0;
  }

 private:
  void NextBlock();

  std::string path_;
  std::string error_;
  std::vector<std::int16_t> frames_;  // interleaved stereo, 44100 Hz
  std::size_t count_ = 0;             // frames in the buffer
  std::size_t position_ = 0;          // next frame to deliver
  bool ended_ = false;
  bool sourceDone_ = false;
  BlockConverter converter_;
};

}  // namespace vexa::discpakb
