#include "plugins/discpakb/AudioStream.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace vexa::discpakb {

static_assert(std::endian::native == std::endian::little, "frames are copied as little-endian samples");

void AudioStream::ResetFrames() {
  frames_.clear();
  count_ = position_ = 0;
  ended_ = sourceDone_ = false;
  converter_.Reset();
}

void AudioStream::NextBlock() {
  frames_.clear();
  count_ = position_ = 0;
  while (!sourceDone_) {
    Block block;
    if (!DecodeBlock(&block)) {
      sourceDone_ = true;
      converter_.Finish(&frames_);
      break;
    }
    if (!converter_.Convert(block.samples, block.frames, block.channels, block.rate, &frames_)) {
      // A rate that cannot be converted ends the stream here.
      sourceDone_ = true;
      break;
    }
    if (!frames_.empty()) break;  // a resampler may hold back a first small block
  }
  count_ = frames_.size() / 2;
  if (count_ == 0) ended_ = true;
}

std::int32_t AudioStream::Read(std::uint32_t* frames, std::int32_t byteCount) {
  if (!frames || byteCount < 4) return 0;
  std::size_t wanted = static_cast<std::size_t>(byteCount) / 4;
  std::size_t delivered = 0;
  auto* out = reinterpret_cast<unsigned char*>(frames);
  while (wanted > 0) {
    if (ended_) break;
    if (position_ >= count_) {
      try {
        NextBlock();
      } catch (...) {
        ended_ = true;  // out of memory ends the stream; nothing crosses the plug-in boundary
      }
      continue;
    }
    const std::size_t n = std::min(wanted, count_ - position_);
    std::memcpy(out + delivered * 4, frames_.data() + position_ * 2, n * 4);
    position_ += n;
    delivered += n;
    wanted -= n;
  }
  return static_cast<std::int32_t>(delivered * 4);
}

}  // namespace vexa::discpakb
