#include "encoder/mux/AudioInputQueue.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "encoder/common/InputFile.h"

namespace vidlathe {

AudioInputQueue::AudioInputQueue() : buffers_(kMaxBuffers) {}
AudioInputQueue::~AudioInputQueue() { buffers_.Abort(); }

bool AudioInputQueue::AddBuffer(std::vector<uint8_t> data, bool endOfFile) {
  return buffers_.Push(Buffer{std::move(data), endOfFile});
}

void AudioInputQueue::Finish() { buffers_.Close(); }
void AudioInputQueue::Abort() { buffers_.Abort(); }

size_t AudioInputQueue::Fill(size_t n) {
  while (pending_.size() - pos_ < n && !inputEnded_) {
    auto b = buffers_.Pop();
    if (!b) {
      inputEnded_ = true;
      break;
    }
    if (pos_ > 65536) {  // drop what has been consumed
      pending_.erase(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(pos_));
      for (auto& e : fileEnds_) e -= pos_;
      pos_ = 0;
    }
    pending_.insert(pending_.end(), b->data.begin(), b->data.end());
    if (b->endOfFile) fileEnds_.push_back(pending_.size());
  }
  return pending_.size() - pos_;
}

size_t AudioInputQueue::TakeFrame(uint8_t* dst, size_t capacity, int64_t* number) {
  *number = -1;
  for (;;) {
    // Passes over the input that ended before the read position are done
    // with; a pass that gave no frame at all ends the audio (a looping
    // reader over a file without frames would never stop otherwise).
    while (!fileEnds_.empty() && fileEnds_.front() <= pos_) {
      fileEnds_.erase(fileEnds_.begin());
      if (framesThisPass_ == 0) return 0;
      framesThisPass_ = 0;
    }
    if (Fill(4) < 4) {
      pos_ = pending_.size();
      return 0;
    }
    MpegAudioHeader h;
    const uint8_t* p = pending_.data() + pos_;
    const bool usable = ParseAudioHeader(p, &h) &&
                        (!haveFirst_ || (h.id == first_.id && h.layerCode == first_.layerCode &&
                                         h.samplingIndex == first_.samplingIndex));
    if (!usable) {
      ++pos_;  // resynchronise byte by byte
      continue;
    }
    const size_t len = static_cast<size_t>(h.FrameLength());
    const size_t avail = Fill(len);
    // A frame cut by the end of an input pass or of the input is never
    // delivered; the search goes on behind the cut.
    size_t cut = pending_.size();
    for (size_t e : fileEnds_)
      if (e > pos_) {
        cut = e;
        break;
      }
    if (avail < len || pos_ + len > cut) {
      pos_ = std::min(cut, pending_.size());
      continue;
    }
    if (len > capacity) return 0;
    std::memcpy(dst, pending_.data() + pos_, len);
    pos_ += len;
    if (!haveFirst_) {
      first_ = h;
      haveFirst_ = true;
    }
    ++framesThisPass_;
    *number = ++frameCounter_;
    return len;
  }
}

size_t AudioInputQueue::TakePacket(uint8_t* dst, int64_t* firstFrame,
                                   std::vector<FrameInfo>* frames) {
  *firstFrame = -1;
  if (frames) frames->clear();
  uint8_t frame[4096];
  while (assembly_.size() < kPacketPayload) {
    int64_t n;
    const size_t len = TakeFrame(frame, sizeof frame, &n);
    if (len == 0) break;
    if (*firstFrame < 0) *firstFrame = n;
    if (frames) frames->push_back({n, delivered_, static_cast<uint32_t>(len)});
    delivered_ += len;
    assembly_.insert(assembly_.end(), frame, frame + len);
  }
  const size_t out = std::min(assembly_.size(), kPacketPayload);
  std::memcpy(dst, assembly_.data(), out);
  assembly_.erase(assembly_.begin(), assembly_.begin() + static_cast<std::ptrdiff_t>(out));
  if (*firstFrame < 0 && out > 0) *firstFrame = frameCounter_ + 1;
  return out;
}

bool RunAudioFileReader(const std::string& path, bool loop, AudioInputQueue* queue) {
  bool ok = true;
  for (;;) {
    InputFile f;
    if (!f.Open(path)) {
      ok = false;
      break;
    }
    size_t total = 0;
    bool open = true;
    for (;;) {
      std::vector<uint8_t> chunk(4096);
      const size_t n = f.Read(chunk.data(), chunk.size());
      if (f.failed()) {
        ok = open = false;
        break;
      }
      chunk.resize(n);
      total += n;
      const bool atEnd = n < 4096;
      if (!queue->AddBuffer(std::move(chunk), atEnd)) {
        open = false;
        break;
      }
      if (atEnd) break;
    }
    if (!open || !loop || total == 0 || !f.regular()) break;
  }
  queue->Finish();
  return ok;
}

}  // namespace vidlathe
