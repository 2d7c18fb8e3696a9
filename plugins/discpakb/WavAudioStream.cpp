#include "plugins/discpakb/WavAudioStream.h"

#include <sys/types.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "plugins/discpakb/Mp3AudioStream.h"

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

// libmpg123 reads the data chunk alone, through the reader's byte source.
struct MpegIo {
  static WavAudioStream* Self(void* p) { return static_cast<WavAudioStream*>(p); }
  static ssize_t Read(void* p, void* buffer, size_t count) {
    WavAudioStream* s = Self(p);
    const std::uint64_t size = s->layout_.dataSize;
    if (s->mpegPos_ >= size) return 0;
    const std::size_t n = s->input_->ReadAt(s->layout_.dataOffset + s->mpegPos_, buffer,
                                            static_cast<std::size_t>(std::min<std::uint64_t>(count, size - s->mpegPos_)));
    s->mpegPos_ += n;
    return static_cast<ssize_t>(n);
  }
  static off_t Seek(void* p, off_t offset, int whence) {
    WavAudioStream* s = Self(p);
    off_t base = 0;
    if (whence == SEEK_CUR) base = static_cast<off_t>(s->mpegPos_);
    if (whence == SEEK_END) base = static_cast<off_t>(s->layout_.dataSize);
    const off_t to = base + offset;
    if (to < 0) return -1;
    s->mpegPos_ = static_cast<std::uint64_t>(to);
    return to;
  }
};

void WavAudioStream::MpegCloser::operator()(mpg123_handle* h) const {
  mpg123_close(h);
  mpg123_delete(h);
}

WavAudioStream::WavAudioStream(std::string path) : AudioStream(std::move(path), RateMode::kRepeatOrResample) {}

WavAudioStream::WavAudioStream(std::string path, std::unique_ptr<ByteSource> source)
    : AudioStream(std::move(path), RateMode::kRepeatOrResample), injected_(std::move(source)) {}

WavAudioStream::~WavAudioStream() { Close(); }

void WavAudioStream::Close() {
  sndfile_.reset();
  mpeg_.reset();
  mpegPos_ = 0;
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
  if (layout_.sampleFormat == kWaveFormatMpeg || layout_.sampleFormat == kWaveFormatMpegLayer3) {
    if (!OpenMpeg(&why)) return Refuse(why);
  } else if (!isPCM_ && !OpenSndfile(&why)) {
    return Refuse(why);
  }
  readPos_ = layout_.dataOffset;
  bytesLeft_ = layout_.dataSize;
  opened_ = true;
  SetError("");
  return 1;
}

bool WavAudioStream::OpenMpeg(std::string* why) {
  mpegPos_ = 0;
  mpeg_.reset(NewMp3Handle());
  if (!mpeg_) {
    *why = "the MP3 decoder cannot be started";
    return false;
  }
  if (mpg123_replace_reader_handle(mpeg_.get(), &MpegIo::Read, &MpegIo::Seek, nullptr) != MPG123_OK ||
      mpg123_open_handle(mpeg_.get(), this) != MPG123_OK) {
    *why = "the MP3 decoder cannot read its sound data";
    return false;
  }
  long rate = 0;
  int channels = 0, encoding = 0;
  if (mpg123_getformat(mpeg_.get(), &rate, &channels, &encoding) != MPG123_OK) {
    *why = "no MPEG audio frame was found in its sound data";
    return false;
  }
  if (rate != static_cast<long>(layout_.head.samplesPerSec) || channels != static_cast<int>(layout_.head.channels)) {
    *why = "its head and its sound data disagree on the rate or the channels";
    return false;
  }
  // The length in frames, with the encoder's delay and padding taken off
  // where the stream records them: its head's byte rate is only an average,
  // or 0 for a variable bit rate.
  if (mpg123_scan(mpeg_.get()) != MPG123_OK || mpg123_seek(mpeg_.get(), 0, SEEK_SET) < 0) {
    *why = "the MP3 decoder cannot measure its sound data";
    return false;
  }
  const off_t length = mpg123_length(mpeg_.get());
  decodedFrames_ = length > 0 ? static_cast<std::uint64_t>(length) : 0;
  return true;
}

// One MPEG frame a block, as the MP3 reader decodes it.
bool WavAudioStream::DecodeMpegBlock(Block* block) {
  for (int tries = 0; tries < 64; ++tries) {
    off_t frameNumber = 0;
    unsigned char* audio = nullptr;
    std::size_t bytes = 0;
    const int r = mpg123_decode_frame(mpeg_.get(), &frameNumber, &audio, &bytes);
    if (r == MPG123_NEW_FORMAT) {
      // A stream whose rate or channels change part-way is not followed.
      long rate = 0;
      int channels = 0, encoding = 0;
      if (mpg123_getformat(mpeg_.get(), &rate, &channels, &encoding) != MPG123_OK ||
          rate != static_cast<long>(layout_.head.samplesPerSec) || channels != static_cast<int>(layout_.head.channels)) {
        return false;
      }
      continue;
    }
    if (r != MPG123_OK) return false;  // the end, or a frame that cannot be decoded
    const std::size_t frames = bytes / (2 * static_cast<std::size_t>(layout_.head.channels));
    if (frames == 0) continue;  // a frame taken off as encoder delay
    block->samples = reinterpret_cast<const std::int16_t*>(audio);
    block->frames = frames;
    block->channels = layout_.head.channels;
    block->rate = static_cast<int>(layout_.head.samplesPerSec);
    return true;
  }
  return false;
}

bool WavAudioStream::DecodeBlock(Block* block) {
  if (!opened_) return false;
  if (mpeg_) return DecodeMpegBlock(block);
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
  const bool known = ByteRate() != 0;
  if (bytes) *bytes = known ? layout_.dataSize : 0;
  if (!known) return 0;
  return static_cast<std::int32_t>(GetDurationMs() / 1000);
}

std::uint32_t WavAudioStream::GetDurationMs() {
  // A coded file (ADPCM, MPEG audio and the like) lasts as many frames as
  // its decoder finds; its stated byte rate is only an average, and a
  // variable-rate coding (MP3 at a varying bit rate) states none at all.
  if (!isPCM_ && decodedFrames_ > 0 && layout_.head.samplesPerSec > 0) {
    return static_cast<std::uint32_t>(static_cast<double>(decodedFrames_) * 1000.0 / layout_.head.samplesPerSec);
  }
  const std::uint32_t avg = layout_.head.avgBytesPerSec;
  if (!avg) return 0;
  return static_cast<std::uint32_t>(static_cast<double>(layout_.dataSize) / avg * 1000.0);
}

// Bytes a second: as the head states it, or for a coded file that states
// none, its data over the length its decoder finds; 0 when neither is known.
std::uint64_t WavAudioStream::ByteRate() {
  if (layout_.head.avgBytesPerSec) return layout_.head.avgBytesPerSec;
  const std::uint32_t ms = GetDurationMs();
  return ms ? static_cast<std::uint64_t>(layout_.dataSize) * 1000 / ms : 0;
}

AudioFormatRecord* WavAudioStream::GetFormat() {
  const WaveHead& h = layout_.head;
  const std::uint64_t rate = ByteRate();
  if (!rate) return nullptr;
  const std::uint64_t bits = rate * 8;
  format_.bitRate = format_.peakBitRate = static_cast<std::int32_t>(std::min<std::uint64_t>(bits, INT32_MAX));
  format_.sampleRate = static_cast<std::int32_t>(h.samplesPerSec);
  format_.channels = h.channels;
  format_.bitsPerSample = h.bitsPerSample;
  format_.formatCode = h.formatTag;
  return &format_;
}

}  // namespace vexa::discpakb
