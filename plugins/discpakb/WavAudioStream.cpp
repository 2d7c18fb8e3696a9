#include "plugins/discpakb/WavAudioStream.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace vexa::discpakb {

namespace {
// Source frames in one block: after repetition the block still fits the
// 0x40000-byte frame buffer of 65536 stereo frames.
constexpr std::size_t kBufferFrames = 0x40000 / 4;
}  // namespace

// libsndfile reads the file through the reader's byte source.
struct SndfileIo {
  static WavAudioStream* Self(void* p) { return static_cast<WavAudioStream*>(p); }
  static sf_count_t Length(void* p) { return static_cast<sf_count_t>(Self(p)->input_->Size()); }
  static sf_count_t Seek(sf_count_t offset, int whence, void* p) {
    WavAudioStream* s = Self(p);
    sf_count_t base = 0;
    if (whence == SEEK_CUR) base = static_cast<sf_count_t>(s->virtualPos_);
    if (whence == SEEK_END) base = static_cast<sf_count_t>(s->input_->Size());
    const sf_count_t to = base + offset;
    if (to < 0) return -1;
    s->virtualPos_ = static_cast<std::uint64_t>(to);
    return to;
  }
  static sf_count_t Read(void* buffer, sf_count_t count, void* p) {
    WavAudioStream* s = Self(p);
    if (count <= 0) return 0;
    const std::size_t n = s->input_->ReadAt(s->virtualPos_, buffer, static_cast<std::size_t>(count));
    s->virtualPos_ += n;
    return static_cast<sf_count_t>(n);
  }
  static sf_count_t Write(const void*, sf_count_t, void*) { return 0; }
  static sf_count_t Tell(void* p) { return static_cast<sf_count_t>(Self(p)->virtualPos_); }
};

WavAudioStream::WavAudioStream(std::string path) : AudioStream(std::move(path), RateMode::kRepeatOrResample) {}

WavAudioStream::WavAudioStream(std::string path, std::unique_ptr<ByteSource> source)
    : AudioStream(std::move(path), RateMode::kRepeatOrResample), injected_(std::move(source)) {}

WavAudioStream::~WavAudioStream() { Close(); }

void WavAudioStream::Close() {
  sndfile_.reset();
  source_.reset();
  input_ = nullptr;
  opened_ = false;
  readPos_ = bytesLeft_ = 0;
  decodedFrames_ = 0;
  block_ = {};
  decoded_ = {};
  ResetFrames();
}

bool WavAudioStream::OpenSndfile(std::string* why) {
  SF_VIRTUAL_IO io{&SndfileIo::Length, &SndfileIo::Seek, &SndfileIo::Read, &SndfileIo::Write, &SndfileIo::Tell};
  SF_INFO info{};
  virtualPos_ = 0;
  sndfile_.reset(sf_open_virtual(&io, SFM_READ, &info, this));
  if (!sndfile_) {
    char tag[16];
    std::snprintf(tag, sizeof tag, "0x%04X", layout_.sampleFormat);
    *why = std::string("its sound coding (format ") + tag + ") cannot be decoded: " + sf_strerror(nullptr);
    return false;
  }
  decodedFrames_ = info.frames > 0 ? static_cast<std::uint64_t>(info.frames) : 0;
  // What the decoder found must agree with the head the checks were made on.
  if (info.samplerate != static_cast<int>(layout_.head.samplesPerSec) ||
      info.channels != static_cast<int>(layout_.head.channels)) {
    *why = "its head and its sound data disagree on the rate or the channels";
    return false;
  }
  return true;
}

std::int32_t WavAudioStream::Open() {
  Close();
  if (injected_) {
    input_ = injected_.get();
  } else {
    source_ = FileSource::Open(path());
    input_ = source_.get();
  }
  if (!input_) return Refuse("it cannot be opened for reading");
  layout_ = WaveLayout{};
  std::string why;
  if (!ParseWave(*input_, &layout_, &why)) return Refuse(why);
  // 16-bit integer samples are read as they lie; every other coding and
  // size goes through the decoder, which delivers 16-bit samples.
  isPCM_ = layout_.head.formatTag == kWaveFormatPcm && layout_.head.bitsPerSample == 16;
  if (!isPCM_ && !OpenSndfile(&why)) return Refuse(why);
  readPos_ = layout_.dataOffset;
  bytesLeft_ = layout_.dataSize;
  opened_ = true;
  SetError("");
  return 1;
}

bool WavAudioStream::DecodeBlock(Block* block) {
  if (!opened_) return false;
  const WaveHead& h = layout_.head;
  const int rate = static_cast<int>(h.samplesPerSec);
  const int factor = std::max(1, RepetitionFactor(rate, RateMode::kRepeatOrResample));
  const std::size_t frames = kBufferFrames / static_cast<std::size_t>(factor);
  block_.resize(frames * h.channels);
  std::size_t got = 0;
  if (isPCM_) {
    if (bytesLeft_ == 0) return false;
    const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(bytesLeft_, frames * h.blockAlign));
    const std::size_t bytes = input_->ReadAt(readPos_, block_.data(), want);
    readPos_ += bytes;
    bytesLeft_ = bytes < want ? 0 : bytesLeft_ - bytes;  // a short file ends the data
    got = bytes / h.blockAlign;
  } else {
    // The decoder's samples as floats (full scale at 1.0, whatever the
    // coding), made 16-bit here; beyond full scale they are held at it
    // rather than wrapped round.
    decoded_.resize(frames * h.channels);
    const sf_count_t n = sf_readf_float(sndfile_.get(), decoded_.data(), static_cast<sf_count_t>(frames));
    got = n > 0 ? static_cast<std::size_t>(n) : 0;
    for (std::size_t i = 0; i < got * h.channels; ++i) {
      const long v = std::lrint(static_cast<double>(decoded_[i]) * 32768.0);
      block_[i] = static_cast<std::int16_t>(std::clamp<long>(v, -32768, 32767));
    }
  }
  if (got == 0) return false;
  block->samples = block_.data();
  block->frames = got;
  block->channels = h.channels;
  block->rate = rate;
  return true;
}

std::int32_t WavAudioStream::GetSize(std::uint32_t* bytes) {
  const std::uint32_t avg = layout_.head.avgBytesPerSec;
  if (bytes) *bytes = avg ? layout_.dataSize : 0;
  if (!avg) return 0;
  return static_cast<std::int32_t>(GetDurationMs() / 1000);
}

std::uint32_t WavAudioStream::GetDurationMs() {
  const std::uint32_t avg = layout_.head.avgBytesPerSec;
  if (!avg) return 0;
  // A coded file (ADPCM and the like) lasts as many frames as its decoder
  // finds; its stated byte rate is only an average.
  if (!isPCM_ && decodedFrames_ > 0 && layout_.head.samplesPerSec > 0) {
    return static_cast<std::uint32_t>(static_cast<double>(decodedFrames_) * 1000.0 / layout_.head.samplesPerSec);
  }
  return static_cast<std::uint32_t>(static_cast<double>(layout_.dataSize) / avg * 1000.0);
}

AudioFormatRecord* WavAudioStream::GetFormat() {
  const WaveHead& h = layout_.head;
  if (!h.avgBytesPerSec) return nullptr;
  const std::uint64_t bits = static_cast<std::uint64_t>(h.avgBytesPerSec) * 8;
  format_.bitRate = format_.peakBitRate = static_cast<std::int32_t>(std::min<std::uint64_t>(bits, INT32_MAX));
  format_.sampleRate = static_cast<std::int32_t>(h.samplesPerSec);
  format_.channels = h.channels;
  format_.bitsPerSample = h.bitsPerSample;
  format_.formatCode = h.formatTag;
  return &format_;
}

}  // namespace vexa::discpakb
