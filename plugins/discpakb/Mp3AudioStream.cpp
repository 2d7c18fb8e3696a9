#include "plugins/discpakb/Mp3AudioStream.h"

#include <sys/stat.h>

#include <algorithm>
#include <mutex>

#include "plugins/discpakb/ByteSource.h"

namespace vexa::discpakb {

namespace {

void InitLibrary() {
  static std::once_flag once;
  std::call_once(once, [] { mpg123_init(); });
}

struct Handle {
  mpg123_handle* h;
  ~Handle() {
    if (h) mpg123_delete(h);
  }
};

// A block is one decoded MPEG frame; the decoder's own buffer holds it.
constexpr int kMaxTries = 64;

}  // namespace

mpg123_handle* NewMp3Handle() {
  InitLibrary();
  int error = MPG123_OK;
  mpg123_handle* h = mpg123_new(nullptr, &error);
  if (!h) return nullptr;
  Handle guard{h};
  if (mpg123_param(h, MPG123_ADD_FLAGS, MPG123_QUIET, 0) != MPG123_OK) return nullptr;
  if (mpg123_format_none(h) != MPG123_OK) return nullptr;
  const long* rates = nullptr;
  std::size_t count = 0;
  mpg123_rates(&rates, &count);
  for (std::size_t i = 0; i < count; ++i) {
    if (mpg123_format(h, rates[i], MPG123_MONO | MPG123_STEREO, MPG123_ENC_SIGNED_16) != MPG123_OK) return nullptr;
  }
  guard.h = nullptr;
  return h;
}

void Mp3AudioStream::HandleDeleter::operator()(mpg123_handle* h) const {
  mpg123_close(h);
  mpg123_delete(h);
}

Mp3Analysis AnalyseMp3(const std::string& path) {
  Mp3Analysis a;
  std::unique_ptr<mpg123_handle, void (*)(mpg123_handle*)> h(NewMp3Handle(), [](mpg123_handle* p) {
    if (p) {
      mpg123_close(p);
      mpg123_delete(p);
    }
  });
  if (!h || !FileSource::Open(path)) return a;
  if (mpg123_open(h.get(), path.c_str()) != MPG123_OK) return a;
  // A full scan makes the length exact, with the encoder's delay and padding
  // taken off when the file records them; then the frames are walked again
  // for their bit rates.
  if (mpg123_scan(h.get()) != MPG123_OK) return a;
  const off_t length = mpg123_length(h.get());
  a.samples = length > 0 ? length : 0;
  if (mpg123_seek_frame(h.get(), 0, SEEK_SET) < 0) return a;
  std::int64_t bitRateSum = 0;
  for (;;) {
    const int r = mpg123_framebyframe_next(h.get());
    if (r != MPG123_OK && r != MPG123_NEW_FORMAT) break;
    mpg123_frameinfo2 info{};
    if (mpg123_info2(h.get(), &info) != MPG123_OK) break;
    ++a.frames;
    bitRateSum += info.bitrate;
    a.peakBitRate = std::max<std::int32_t>(a.peakBitRate, info.bitrate * 1000);
    if (a.sampleRate == 0) {
      a.sampleRate = static_cast<int>(info.rate);
      a.channels = info.mode == MPG123_M_MONO ? 1 : 2;
    }
  }
  if (a.frames == 0 || a.sampleRate <= 0 || a.samples == 0) return a;
  a.averageBitRate = static_cast<std::int32_t>(bitRateSum * 1000 / a.frames);
  a.durationMs = static_cast<std::uint32_t>(a.samples * 1000 / a.sampleRate);
  a.succeeded = true;
  return a;
}

Mp3AudioStream::Mp3AudioStream(std::string path) : AudioStream(std::move(path), RateMode::kRepeatOrResample) {}

Mp3AudioStream::~Mp3AudioStream() { Close(); }

void Mp3AudioStream::Close() {
  decoder_.reset();
  rate_ = channels_ = 0;
  ResetFrames();
}

std::int32_t Mp3AudioStream::Open() {
  Close();
  if (!FileSource::Open(path())) return Refuse("it cannot be opened for reading");
  decoder_.reset(NewMp3Handle());
  if (!decoder_) return Refuse("the MP3 decoder cannot be started");
  if (mpg123_open(decoder_.get(), path().c_str()) != MPG123_OK) return Refuse("the MP3 decoder cannot open it");
  // The first frame must be found: a file with none is refused here.
  long rate = 0;
  int channels = 0, encoding = 0;
  if (mpg123_getformat(decoder_.get(), &rate, &channels, &encoding) != MPG123_OK || rate <= 0 ||
      channels < 1 || channels > 2) {
    return Refuse("no MPEG audio frame was found in it");
  }
  rate_ = static_cast<int>(rate);
  channels_ = channels;
  SetError("");
  return 1;
}

bool Mp3AudioStream::DecodeBlock(Block* block) {
  if (!decoder_) return false;
  for (int tries = 0; tries < kMaxTries; ++tries) {
    off_t frameNumber = 0;
    unsigned char* audio = nullptr;
    std::size_t bytes = 0;
    const int r = mpg123_decode_frame(decoder_.get(), &frameNumber, &audio, &bytes);
    if (r == MPG123_NEW_FORMAT) {
      long rate = 0;
      int channels = 0, encoding = 0;
      if (mpg123_getformat(decoder_.get(), &rate, &channels, &encoding) != MPG123_OK || rate <= 0 ||
          channels < 1 || channels > 2)
        return false;
      rate_ = static_cast<int>(rate);
      channels_ = channels;
      continue;
    }
    if (r != MPG123_OK) return false;  // the end, or a frame that cannot be decoded
    const std::size_t frames = bytes / (2 * static_cast<std::size_t>(channels_));
    if (frames == 0) continue;  // a frame taken off as encoder delay
    block->samples = reinterpret_cast<const std::int16_t*>(audio);
    block->frames = frames;
    block->channels = channels_;
    block->rate = rate_;
    return true;
  }
  return false;
}

const Mp3Analysis& Mp3AudioStream::Analysis() {
  if (!analysed_) {
    analysed_ = true;  // a failed analysis is not retried
    analysis_ = AnalyseMp3(path());
    if (analysis_.succeeded) {
      format_.bitRate = analysis_.averageBitRate;
      format_.peakBitRate = analysis_.peakBitRate;
      format_.sampleRate = analysis_.sampleRate;
      format_.channels = analysis_.channels;
      format_.bitsPerSample = 16;
      format_.formatCode = 5000;
    }
  }
  return analysis_;
}

std::int32_t Mp3AudioStream::GetSize(std::uint32_t* bytes) {
  if (bytes) {
    struct stat st {};
    *bytes = ::stat(path().c_str(), &st) == 0
                 ? static_cast<std::uint32_t>(std::min<std::uint64_t>(static_cast<std::uint64_t>(st.st_size), UINT32_MAX))
                 : 0;
  }
  const Mp3Analysis& a = Analysis();
  return a.succeeded ? static_cast<std::int32_t>(a.durationMs / 1000) : 0;
}

std::uint32_t Mp3AudioStream::GetDurationMs() {
  const Mp3Analysis& a = Analysis();
  return a.succeeded ? a.durationMs : 0;
}

AudioFormatRecord* Mp3AudioStream::GetFormat() {
  return Analysis().succeeded ? &format_ : nullptr;
}

}  // namespace vexa::discpakb
