#include "encoder/reader/Demultiplexer.h"

#include <algorithm>
#include <cstring>

#include "encoder/reader/StreamProperties.h"

namespace vidlathe {

namespace {
bool IsVideoId(int id) { return id >= 0xE0 && id <= 0xEF; }
bool IsAudioId(int id) { return id >= 0xC0 && id <= 0xDF; }
}  // namespace

Demultiplexer::Demultiplexer(SystemStreamReader* reader, AudioSink audio)
    : r_(reader), audio_(std::move(audio)) {}

bool Demultiplexer::Step() {
  while (!ended_) {
    const int code = r_->NextStartCode();
    if (code < 0 || code == 0x1B9) break;
    if (code == 0x1BA) {
      if (!r_->Skip(8)) {
        cutShort_ = true;
        break;
      }
      continue;
    }
    if (code == 0x1BB) {
      int video = -1, audio = -1, kind = kind_;
      if (!ReadSystemHeader(*r_, &video, &audio, &kind)) {
        cutShort_ = true;
        break;
      }
      // A pair's 704-wide stream wins; otherwise the last listed.
      if (video >= 0 && videoId_ != 0xE2) {
        videoId_ = kind == 3 ? 0xE2 : video;
        videoFromHeader_ = true;
      }
      if (audio >= 0) audioId_ = audio;
      kind_ = kind;
      continue;
    }
    if (code < 0x1BC) continue;  // a stray code inside data
    const int length = r_->Read16();
    if (length < 0) {
      cutShort_ = true;
      break;
    }
    const int id = code & 0xFF;
    if (videoId_ < 0 && IsVideoId(id)) videoId_ = id;
    if (audioId_ < 0 && IsAudioId(id) && audio_) audioId_ = id;
    if (id == videoId_ || (id == audioId_ && audio_)) {
      int64_t pts;
      if (!r_->ReadPacketPayload(length, &payload_, &pts)) {
        if (r_->ended()) {
          cutShort_ = true;
          break;
        }
        ++malformed_;
        continue;  // a malformed packet is dropped
      }
      if (id == videoId_) {
        if (pts != kNoTimeStamp) videoTimes_.push_back(pts);
        pending_.insert(pending_.end(), payload_.begin(), payload_.end());
        return true;
      }
      if (!audio_(payload_.data(), payload_.size())) {
        sinkFailed_ = true;
        break;
      }
      continue;
    }
    if (!r_->Skip(static_cast<size_t>(length))) {
      cutShort_ = true;
      break;
    }
  }
  ended_ = true;
  return false;
}

size_t Demultiplexer::ReadVideo(uint8_t* dst, size_t capacity) {
  while (pendingAt_ == pending_.size()) {
    pending_.clear();
    pendingAt_ = 0;
    if (!Step()) return 0;
  }
  const size_t n = std::min(capacity, pending_.size() - pendingAt_);
  std::memcpy(dst, pending_.data() + pendingAt_, n);
  pendingAt_ += n;
  return n;
}

bool Demultiplexer::DrainAudio() {
  while (Step()) {
    pending_.clear();
    pendingAt_ = 0;
  }
  return !sinkFailed_;
}

}  // namespace vidlathe
