#include "encoder/common/CodedStreamBuffer.h"

#include <algorithm>
#include <cstring>

namespace vidlathe {

CodedStreamBuffer::CodedStreamBuffer() : ring_(kRingSize) {}

CodedStreamBuffer::~CodedStreamBuffer() = default;

void CodedStreamBuffer::PutBits(uint32_t value, int count) {
  const uint64_t v = count >= 32 ? value : (value & ((uint64_t{1} << count) - 1));
  acc_ = (acc_ << count) | v;
  bitsInAcc_ += count;
  while (bitsInAcc_ >= 8) {
    bitsInAcc_ -= 8;
    EmitByte(static_cast<uint8_t>(acc_ >> bitsInAcc_));
  }
  acc_ &= (uint64_t{1} << bitsInAcc_) - 1;
}

void CodedStreamBuffer::Align() {
  if (bitsInAcc_ > 0) PutBits(0, 8 - bitsInAcc_);
}

void CodedStreamBuffer::BeginCopy(std::vector<uint8_t>* copy) {
  Align();
  copy_ = copy;
  copyFrom_ = staged_;
}

void CodedStreamBuffer::EndCopy(uint32_t* bits, int* count) {
  if (copy_) TakeCopy();
  copy_ = nullptr;
  *bits = static_cast<uint32_t>(acc_);
  *count = bitsInAcc_;
}

void CodedStreamBuffer::PutBytes(const uint8_t* data, size_t n) {
  Align();
  for (size_t i = 0; i < n; ++i) EmitByte(data[i]);
}

void CodedStreamBuffer::Flush() {
  if (copy_) TakeCopy();
  size_t done = 0;
  std::unique_lock lock(mutex_);
  while (done < staged_) {
    changed_.wait(lock, [&] { return readerStopped_ || committed_ - consumed_ < kRingSize; });
    if (readerStopped_) {
      committed_ += staged_ - done;  // keep the counts; the bytes go nowhere
      break;
    }
    const size_t room = kRingSize - static_cast<size_t>(committed_ - consumed_);
    const size_t pos = static_cast<size_t>(committed_ % kRingSize);
    const size_t n = std::min({room, staged_ - done, kRingSize - pos});
    // [committed_, committed_ + n) lies outside everything the reader may
    // still be copying: consumed_ moves only after a copy has finished.
    std::memcpy(ring_.data() + pos, stage_ + done, n);
    committed_ += n;
    done += n;
    changed_.notify_all();
  }
  staged_ = 0;
}

void CodedStreamBuffer::MarkMotionPicture(uint32_t first, uint32_t second) {
  const uint64_t pos = committed_ + staged_;
  std::lock_guard lock(mutex_);
  motion_.push_back({first, second, pos});
}

void CodedStreamBuffer::MarkStillPicture(int stream, uint32_t displayMs, int phase) {
  if (phase == 2) {
    Align();
    Flush();
    std::lock_guard lock(mutex_);
    ended_ = true;
    changed_.notify_all();
    return;
  }
  if (stream != 0 && stream != 1) return;
  if (phase == 0) {
    open_[stream] = {committed_ + staged_, 0, displayMs, stream};
    stillOpen_[stream] = true;
    return;
  }
  if (phase == 1 && stillOpen_[stream]) {
    Align();
    Flush();
    std::lock_guard lock(mutex_);
    open_[stream].end = committed_;
    stills_.push_back(open_[stream]);
    stillOpen_[stream] = false;
    changed_.notify_all();
  }
}

uint64_t CodedStreamBuffer::OpenPictureBytes(int stream) const {
  if ((stream != 0 && stream != 1) || !stillOpen_[stream]) return 0;
  return committed_ + staged_ - open_[stream].start;
}

void CodedStreamBuffer::DiscardOpenPicture(int stream) {
  if ((stream != 0 && stream != 1) || !stillOpen_[stream]) return;
  const uint64_t start = open_[stream].start;
  acc_ = 0;
  bitsInAcc_ = 0;
  if (start >= committed_) {
    staged_ = static_cast<size_t>(start - committed_);
    return;
  }
  // Part of the picture is in the ring already; the reader never touches an
  // open picture, so its bytes can be taken back.
  std::lock_guard lock(mutex_);
  staged_ = 0;
  committed_ = start;
}

void CodedStreamBuffer::CopyOut(uint64_t from, uint8_t* dst, size_t n) const {
  size_t pos = static_cast<size_t>(from % kRingSize);
  const size_t first = std::min(n, kRingSize - pos);
  std::memcpy(dst, ring_.data() + pos, first);
  if (first < n) std::memcpy(dst + first, ring_.data(), n - first);
}

size_t CodedStreamBuffer::ReadChunk(uint8_t* dst, uint32_t* first, uint32_t* second) {
  std::unique_lock lock(mutex_);
  const uint64_t from = chunkEnd_;
  changed_.wait(lock, [&] { return ended_ || committed_ >= from + kChunk; });
  const size_t n = static_cast<size_t>(std::min<uint64_t>(kChunk, committed_ - from));
  *first = *second = 0;
  // The time stamps of a packet belong to the first picture that starts in it.
  bool found = false;
  while (motionHanded_ < motion_.size() && motion_[motionHanded_].position < from + n) {
    if (!found) {
      *first = motion_[motionHanded_].first;
      *second = motion_[motionHanded_].second;
      found = true;
    }
    ++motionHanded_;
  }
  // Entries handed out are not needed again: drop them now and then, so a
  // long motion stream does not keep one entry per picture.
  if (motionHanded_ >= 1024) {
    motion_.erase(motion_.begin(), motion_.begin() + static_cast<std::ptrdiff_t>(motionHanded_));
    motionHanded_ = 0;
  }
  lock.unlock();
  CopyOut(from, dst, n);
  lock.lock();
  chunkEnd_ = from + n;
  consumed_ = chunkEnd_;
  changed_.notify_all();
  return n;
}

size_t CodedStreamBuffer::ReadPicture(uint8_t* dst, size_t capacity, int stream,
                                      uint32_t* displayMs) {
  std::unique_lock lock(mutex_);
  changed_.wait(lock, [&] { return ended_ || stillRead_ < stills_.size(); });
  if (stillRead_ >= stills_.size()) return 0;
  const StillEntry e = stills_[stillRead_];
  // Pictures are handed out in the order they were written; asking for the
  // other stream first is a caller error and gets nothing.
  if (e.stream != stream) return 0;
  const size_t size = static_cast<size_t>(e.end - e.start);
  if (displayMs) *displayMs = e.displayMs;
  if (dst == nullptr || capacity < size) return size;
  lock.unlock();
  CopyOut(e.start, dst, size);
  lock.lock();
  ++stillRead_;
  consumed_ = e.end;
  changed_.notify_all();
  return size;
}

void CodedStreamBuffer::ReaderStopped() {
  std::lock_guard lock(mutex_);
  readerStopped_ = true;
  changed_.notify_all();
}

bool CodedStreamBuffer::IsReaderStopped() const {
  std::lock_guard lock(mutex_);
  return readerStopped_;
}

}  // namespace vidlathe
