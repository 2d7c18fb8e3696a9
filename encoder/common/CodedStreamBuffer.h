// The channel between the encoder thread, which writes coded video bit by
// bit, and the multiplexer thread, which takes it out as whole still
// pictures or as packet-sized chunks. A ring of 587,264 bytes (256 chunks of
// 2294) with an MSB-first bit writer in front and a picture index beside it.
//
// The reader's position moves on only after its copy is complete, so the
// writer can never overwrite bytes that are still being copied. Byte counts
// are 64-bit. When the reader stops (ReaderStopped), the writer no longer
// waits for space: what it writes afterwards is dropped.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <vector>

namespace vidlathe {

class CodedStreamBuffer {
 public:
  static constexpr size_t kChunk = 2294;
  static constexpr size_t kRingSize = 256 * kChunk;  // 587,264
  static constexpr int kIndexSize = 128;

  CodedStreamBuffer();
  virtual ~CodedStreamBuffer();
  CodedStreamBuffer(const CodedStreamBuffer&) = delete;
  CodedStreamBuffer& operator=(const CodedStreamBuffer&) = delete;

  // ---- writer side (encoder thread) ----
  // Appends the low count bits of value (count 1..32), most significant first.
  void PutBits(uint32_t value, int count);
  // Pads a partly filled byte with zero bits.
  void Align();
  // From a byte boundary on, every whole byte written is also appended to
  // *copy, until EndCopy, which answers the bits written after the last
  // whole byte (fewer than 8, in the low bits of *bits). PutBytes and
  // PutBits(bits, count) then write the same again elsewhere in the stream.
  void BeginCopy(std::vector<uint8_t>* copy);
  void EndCopy(uint32_t* bits, int* count);
  // Writes whole bytes at a byte boundary.
  void PutBytes(const uint8_t* data, size_t n);
  // Bits written so far.
  uint64_t BitCount() const { return 8 * (committed_ + staged_) + bitsInAcc_; }
  // Records the next motion picture: decoding-order and display-order numbers
  // and the byte position of its first byte (call after Align).
  void MarkMotionPicture(uint32_t first, uint32_t second);
  // Still index of stream 0 (352-wide) or 1 (704-wide). Phase 0 opens an
  // entry at the current byte, phase 1 closes it (the picture becomes
  // readable), phase 2 marks the end of the coded data.
  void MarkStillPicture(int stream, uint32_t displayMs, int phase);
  // Throws away everything written since the open still entry of stream was
  // opened (the entry stays open). Used to code a picture again.
  void DiscardOpenPicture(int stream);
  // Bytes written since the open still entry of stream was opened.
  uint64_t OpenPictureBytes(int stream) const;

  // ---- reader side (multiplexer thread) ----
  // Copies the next chunk of kChunk bytes; at the end of the data the rest
  // (0 when none). first/second are the numbers of the first motion picture
  // that starts in the chunk, or 0 when none starts in it.
  size_t ReadChunk(uint8_t* dst, uint32_t* first, uint32_t* second);
  // The size of stream's next completed still picture; copies it and moves
  // on only when capacity is enough. 0 when the data ended without one.
  size_t ReadPicture(uint8_t* dst, size_t capacity, int stream, uint32_t* displayMs);
  // The reader is gone: writers stop waiting, later bytes are dropped.
  void ReaderStopped();
  bool IsReaderStopped() const;

 private:
  struct StillEntry {
    uint64_t start = 0, end = 0;
    uint32_t displayMs = 0;
    int stream = 0;
  };
  struct MotionEntry {
    uint32_t first = 0, second = 0;
    uint64_t position = 0;
  };

  void EmitByte(uint8_t b) {
    stage_[staged_++] = b;
    if (staged_ == sizeof(stage_)) Flush();
  }
  void Flush();
  void CopyOut(uint64_t from, uint8_t* dst, size_t n) const;

  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<uint8_t> ring_;
  uint64_t committed_ = 0;  // bytes stored in the ring (writer's count)
  uint64_t consumed_ = 0;   // bytes the reader has finished copying
  uint64_t chunkEnd_ = 0;   // end of the last chunk handed out
  bool ended_ = false;
  bool readerStopped_ = false;
  // Still pictures in ring order; stillRead_ counts those handed out.
  std::vector<StillEntry> stills_;
  size_t stillRead_ = 0;
  bool stillOpen_[2] = {false, false};
  StillEntry open_[2];
  std::vector<MotionEntry> motion_;
  size_t motionHanded_ = 0;
  // Writer-local state, touched by the writer thread only.
  uint64_t acc_ = 0;
  int bitsInAcc_ = 0;
  uint8_t stage_[4096];
  size_t staged_ = 0;
  // Bytes being copied (BeginCopy): those staged from copyFrom_ on; each
  // flush of the stage hands them over, so the byte path stays as it is.
  std::vector<uint8_t>* copy_ = nullptr;
  size_t copyFrom_ = 0;
  void TakeCopy() {
    copy_->insert(copy_->end(), stage_ + copyFrom_, stage_ + staged_);
    copyFrom_ = 0;
  }
};

}  // namespace vidlathe
