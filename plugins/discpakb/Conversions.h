// The conversions every reader applies to a decoded block on its way to the
// 44100 Hz stereo frames that ARAS delivers: channels to stereo (mono
// doubled, more than two down-mixed), then the sample rate (exact repetition
// at 11025 and 22050 Hz, a real resampler for every other rate).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

struct soxr;

namespace vexa::discpakb {

inline constexpr int kOutputRate = 44100;

// Interleaved samples of `channels` channels to interleaved stereo, appended
// to `out`. One channel: both sides equal. Two: unchanged. More: the
// standard down-mix of the usual WAVE channel order (front left, front right,
// centre, LFE, back left, back right, side left, side right), centre and
// surrounds at -3 dB, LFE left out, each side scaled so it cannot clip.
void ToStereo(const std::int16_t* in, std::size_t frames, int channels, std::vector<std::int16_t>* out);

// The down-mix weights of one source channel: into the left and the right side.
struct MixWeights {
  double left;
  double right;
};
std::vector<MixWeights> DownmixMatrix(int channels);

// Streaming rate conversion of interleaved stereo 16-bit frames to 44100 Hz.
class Resampler {
 public:
  explicit Resampler(int inputRate);

  bool ok() const { return handle_ != nullptr; }
  int inputRate() const { return rate_; }
  // Converts `frames` stereo frames, appending the output frames to `out`.
  bool Process(const std::int16_t* in, std::size_t frames, std::vector<std::int16_t>* out);
  // Appends what the converter still holds at the end of the input.
  bool Flush(std::vector<std::int16_t>* out);

 private:
  struct Deleter {
    void operator()(soxr* s) const;
  };
  std::unique_ptr<soxr, Deleter> handle_;
  int rate_;
};

// How a reader turns its source rate into 44100 Hz.
enum class RateMode {
  kRepeatOrResample,  // 11025 Hz: each frame four times; 22050 Hz: twice; other rates resampled
  kResample,          // every rate other than 44100 Hz resampled
};

// One stream's conversion state: stereo frames in, 44100 Hz stereo frames out.
class BlockConverter {
 public:
  explicit BlockConverter(RateMode mode) : mode_(mode) {}
  void Reset();
  // Converts one decoded block, appending 44100 Hz stereo frames to `out`.
  // False when the rate cannot be converted (the stream then ends).
  bool Convert(const std::int16_t* in, std::size_t frames, int channels, int rate,
               std::vector<std::int16_t>* out);
  // At the end of the stream: whatever a resampler still holds.
  void Finish(std::vector<std::int16_t>* out);

 private:
  RateMode mode_;
  std::unique_ptr<Resampler> resampler_;
  std::vector<std::int16_t> stereo_;
};

// The exact repetition factor for a rate, or 0 when the rate needs a
// resampler (1 at 44100 Hz).
int RepetitionFactor(int rate, RateMode mode);

}  // namespace vexa::discpakb
