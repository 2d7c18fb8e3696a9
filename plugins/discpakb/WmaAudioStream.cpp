#include "plugins/discpakb/WmaAudioStream.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/log.h>
#include <libswresample/swresample.h>
}

#include <algorithm>
#include <mutex>

#include "plugins/discpakb/ByteSource.h"

namespace vexa::discpakb {

namespace {
// The media libraries never print: a library of ours does not write to the
// terminal.
void QuietLibraries() {
  static std::once_flag once;
  std::call_once(once, [] { av_log_set_level(AV_LOG_QUIET); });
}

// Channels of a decoded block are converted to 16-bit samples as they are;
// more than 8 is refused.
constexpr int kMaxChannels = 8;
}  // namespace

void WmaAudioStream::Deleters::operator()(AVFormatContext* p) const { avformat_close_input(&p); }
void WmaAudioStream::Deleters::operator()(AVCodecContext* p) const { avcodec_free_context(&p); }
void WmaAudioStream::Deleters::operator()(AVPacket* p) const { av_packet_free(&p); }
void WmaAudioStream::Deleters::operator()(AVFrame* p) const { av_frame_free(&p); }
void WmaAudioStream::Deleters::operator()(SwrContext* p) const { swr_free(&p); }

WmaAudioStream::WmaAudioStream(std::string path) : AudioStream(std::move(path), RateMode::kResample) {}

WmaAudioStream::~WmaAudioStream() { Close(); }

void WmaAudioStream::Close() {
  swr_.reset();
  frame_.reset();
  packet_.reset();
  codec_.reset();
  format_ctx_.reset();
  stream_ = -1;
  channels_ = rate_ = 0;
  draining_ = done_ = false;
  block_ = {};
  ResetFrames();
}

std::int32_t WmaAudioStream::Open() {
  Close();
  QuietLibraries();
  if (!FileSource::Open(path())) return Refuse("it cannot be opened for reading");
  // Only the Windows Media container: a file of another kind named .wma is
  // refused, as a Windows Media reader would.
  const AVInputFormat* asf = av_find_input_format("asf");
  if (!asf) return Refuse("the Windows Media reader is missing");
  AVFormatContext* raw = nullptr;
  if (avformat_open_input(&raw, path().c_str(), asf, nullptr) < 0) return Refuse("it is not a Windows Media file");
  format_ctx_.reset(raw);
  auto fail = [&] { return Refuse("its Windows Media sound cannot be decoded"); };
  if (avformat_find_stream_info(format_ctx_.get(), nullptr) < 0) return fail();
  const AVCodec* decoder = nullptr;
  stream_ = av_find_best_stream(format_ctx_.get(), AVMEDIA_TYPE_AUDIO, -1, -1, &decoder, 0);
  if (stream_ < 0 || !decoder) return fail();  // not audio, or no decoder for it
  const AVStream* st = format_ctx_->streams[stream_];
  codec_.reset(avcodec_alloc_context3(decoder));
  if (!codec_ || avcodec_parameters_to_context(codec_.get(), st->codecpar) < 0) return fail();
  codec_->thread_count = 1;
  if (avcodec_open2(codec_.get(), decoder, nullptr) < 0) return fail();
  channels_ = codec_->ch_layout.nb_channels;
  rate_ = codec_->sample_rate;
  if (channels_ < 1 || channels_ > kMaxChannels || rate_ <= 0) return fail();
  // The decoder's samples become interleaved 16-bit samples, channels and
  // rate unchanged; the shared conversions do the rest.
  AVChannelLayout layout{};
  if (codec_->ch_layout.order == AV_CHANNEL_ORDER_UNSPEC) {
    av_channel_layout_default(&layout, channels_);
  } else if (av_channel_layout_copy(&layout, &codec_->ch_layout) < 0) {
    return fail();
  }
  SwrContext* swr = nullptr;
  const int swrResult = swr_alloc_set_opts2(&swr, &layout, AV_SAMPLE_FMT_S16, rate_, &layout, codec_->sample_fmt,
                                            rate_, 0, nullptr);
  av_channel_layout_uninit(&layout);
  swr_.reset(swr);
  if (swrResult < 0 || !swr_ || swr_init(swr_.get()) < 0) return fail();
  packet_.reset(av_packet_alloc());
  frame_.reset(av_frame_alloc());
  if (!packet_ || !frame_) return fail();

  // The file's duration (100-nanosecond units) and the bit rates it states.
  std::int64_t us = format_ctx_->duration;
  if (us <= 0 && st->duration > 0) us = av_rescale_q(st->duration, st->time_base, AVRational{1, 1000000});
  duration_ = us > 0 ? us * 10 : 0;
  const std::int64_t bitRate = st->codecpar->bit_rate > 0 ? st->codecpar->bit_rate : format_ctx_->bit_rate;
  format_.bitRate = format_.peakBitRate = static_cast<std::int32_t>(std::clamp<std::int64_t>(bitRate, 0, INT32_MAX));
  format_.sampleRate = 0;
  format_.channels = 2;
  format_.bitsPerSample = 0;
  format_.formatCode = 0;
  SetError("");
  return 1;
}

bool WmaAudioStream::ReceiveFrame(Block* block, bool* failed) {
  *failed = false;
  const int r = avcodec_receive_frame(codec_.get(), frame_.get());
  if (r == AVERROR(EAGAIN)) return false;
  if (r < 0) {
    *failed = true;  // the end of the decoder's output, or an error
    return false;
  }
  const int frames = frame_->nb_samples;
  if (frame_->sample_rate != rate_ || frame_->ch_layout.nb_channels != channels_) {
    *failed = true;  // a format change inside the stream is not followed
    av_frame_unref(frame_.get());
    return false;
  }
  block_.resize(static_cast<std::size_t>(frames) * static_cast<std::size_t>(channels_));
  auto* out = reinterpret_cast<std::uint8_t*>(block_.data());
  const int made = swr_convert(swr_.get(), &out, frames, const_cast<const std::uint8_t**>(frame_->extended_data),
                               frames);
  av_frame_unref(frame_.get());
  if (made < 0) {
    *failed = true;
    return false;
  }
  block->samples = block_.data();
  block->frames = static_cast<std::size_t>(made);
  block->channels = channels_;
  block->rate = rate_;
  return true;
}

bool WmaAudioStream::DecodeBlock(Block* block) {
  if (!codec_ || done_) return false;
  for (;;) {
    bool failed = false;
    if (ReceiveFrame(block, &failed)) {
      if (block->frames == 0) continue;
      return true;
    }
    if (failed) {
      done_ = true;
      return false;
    }
    if (draining_) {
      done_ = true;
      return false;
    }
    // The decoder wants input: the next packet of the audio stream.
    const int r = av_read_frame(format_ctx_.get(), packet_.get());
    if (r < 0) {
      // End of the file (or a container error): let the decoder give out
      // what it still holds.
      draining_ = true;
      if (avcodec_send_packet(codec_.get(), nullptr) < 0) {
        done_ = true;
        return false;
      }
      continue;
    }
    if (packet_->stream_index != stream_) {
      av_packet_unref(packet_.get());
      continue;
    }
    const int s = avcodec_send_packet(codec_.get(), packet_.get());
    av_packet_unref(packet_.get());
    if (s < 0 && s != AVERROR(EAGAIN)) {
      done_ = true;  // a packet that cannot be decoded ends the stream
      return false;
    }
  }
}

std::int32_t WmaAudioStream::GetSize(std::uint32_t* bytes) {
  const std::int64_t seconds = duration_ / 10000000;
  if (bytes) *bytes = static_cast<std::uint32_t>(std::min<std::int64_t>(seconds * 176400, UINT32_MAX));
  return static_cast<std::int32_t>(std::min<std::int64_t>(seconds, INT32_MAX));
}

std::uint32_t WmaAudioStream::GetDurationMs() {
  return static_cast<std::uint32_t>(std::min<std::int64_t>(duration_ / 10000, UINT32_MAX));
}

AudioFormatRecord* WmaAudioStream::GetFormat() { return &format_; }

}  // namespace vexa::discpakb
