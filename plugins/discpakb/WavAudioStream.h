// The reader of RIFF WAVE files. Plain 16-bit PCM is read directly; MPEG
// audio inside a WAVE file (formats 0x0050 and 0x0055) is decoded by
// libmpg123 as the MP3 reader does, also at a variable bit rate; every
// other coding the head allows (8-, 24- and 32-bit integers, floating point,
// WAVE_FORMAT_EXTENSIBLE files, ADPCM and the like) is decoded by
// libsndfile to 16-bit samples. Rates other than 44100 Hz and channel counts
// other than two are converted by the shared conversions.
#pragma once

#include <mpg123.h>
#include <sndfile.h>

#include <memory>

#include "plugins/discpakb/AudioStream.h"
#include "plugins/discpakb/ByteSource.h"
#include "plugins/discpakb/RiffWave.h"

namespace vexa::discpakb {

class WavAudioStream final : public AudioStream {
 public:
  explicit WavAudioStream(std::string path);
  // For the fuzzing target: reads from the given bytes instead of the path.
  WavAudioStream(std::string path, std::unique_ptr<ByteSource> source);
  ~WavAudioStream() override;

  std::int32_t Open() override;
  void Close() override;
  std::int32_t GetSize(std::uint32_t* bytes) override;
  std::uint32_t GetDurationMs() override;
  AudioFormatRecord* GetFormat() override;

  const WaveLayout& layout() const { return layout_; }
  bool isPCM() const { return isPCM_; }

 protected:
  bool DecodeBlock(Block* block) override;

 private:
  std::uint64_t ByteRate();
  struct SndfileCloser {
    void operator()(SNDFILE* f) const { sf_close(f); }
  };
  bool OpenSndfile(std::string* why);
  struct MpegCloser {
    void operator()(mpg123_handle* h) const;
  };
  bool OpenMpeg(std::string* why);
  bool DecodeMpegBlock(Block* block);

  std::unique_ptr<ByteSource> injected_;
  std::unique_ptr<ByteSource> source_;
  ByteSource* input_ = nullptr;
  WaveLayout layout_;
  bool opened_ = false;
  bool isPCM_ = false;
  std::uint64_t readPos_ = 0;     // next data byte to read
  std::uint64_t bytesLeft_ = 0;   // data bytes still to read
  std::vector<std::int16_t> block_;
  std::vector<float> decoded_;  // a block from the decoder, before it is made 16-bit
  std::unique_ptr<SNDFILE, SndfileCloser> sndfile_;
  std::uint64_t virtualPos_ = 0;  // libsndfile's position in the file
  std::unique_ptr<mpg123_handle, MpegCloser> mpeg_;
  std::uint64_t mpegPos_ = 0;  // libmpg123's position in the data chunk
  std::uint64_t decodedFrames_ = 0;  // the frames the decoder finds (coded files)
  AudioFormatRecord format_;

  friend struct SndfileIo;
  friend struct MpegIo;
};

}  // namespace vexa::discpakb
