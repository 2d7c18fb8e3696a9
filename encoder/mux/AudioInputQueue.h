// MPEG audio frames on their way into a system stream. A producer (the audio
// file reader thread, or a property probe) adds raw byte buffers; the
// multiplexer takes whole Layer II frames out, packed into packets of
// exactly 2279 bytes, each with the number of the first frame that starts in
// it. The buffer list is a closable bounded queue: a full queue blocks the
// producer, an empty one blocks the consumer, and closing it ends both.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "encoder/common/AudioHeader.h"
#include "platform/base/Queue.h"

namespace vidlathe {

class AudioInputQueue {
 public:
  static constexpr size_t kPacketPayload = 2279;
  static constexpr size_t kMaxBuffers = 20;

  struct FrameInfo {
    int64_t number;   // frame number, counted from 0
    uint64_t start;   // offset of its first byte in the delivered audio bytes
    uint32_t length;
  };

  AudioInputQueue();
  virtual ~AudioInputQueue();

  // ---- producer ----
  // Adds a buffer; endOfFile marks the end of one pass over an input file
  // (a frame cut by it is dropped). false when the consumer has gone.
  bool AddBuffer(std::vector<uint8_t> data, bool endOfFile);
  // No more buffers will come.
  void Finish();

  // ---- consumer ----
  // The next whole frame into dst (capacity bytes); its length, or 0 at the
  // end of the audio with *number = -1.
  size_t TakeFrame(uint8_t* dst, size_t capacity, int64_t* number);
  // The next packet of kPacketPayload bytes (fewer at the end of the audio,
  // 0 when nothing is left). *firstFrame: the first frame that starts in it.
  // frames, when given, receives the frames that start in the packet.
  size_t TakePacket(uint8_t* dst, int64_t* firstFrame, std::vector<FrameInfo>* frames = nullptr);
  // The consumer is done: producers blocked on a full queue are released.
  void Abort();
  // The header of the first frame delivered (valid after one frame).
  const MpegAudioHeader& firstHeader() const { return first_; }

 private:
  struct Buffer {
    std::vector<uint8_t> data;
    bool endOfFile = false;
  };
  // Makes at least n bytes available at pos_ unless the input ends; returns
  // how many are available.
  size_t Fill(size_t n);

  vexa::base::ClosableQueue<Buffer> buffers_;
  std::vector<uint8_t> pending_;
  size_t pos_ = 0;
  std::vector<size_t> fileEnds_;  // offsets in pending_ where an input pass ended
  bool inputEnded_ = false;
  int64_t frameCounter_ = -1;
  int framesThisPass_ = 0;
  bool haveFirst_ = false;
  MpegAudioHeader first_;
  uint64_t delivered_ = 0;  // audio bytes delivered in frames so far
  std::vector<uint8_t> assembly_;
  std::vector<FrameInfo> assemblyFrames_;
};

// The audio file reader thread: reads path into queue in 4096-byte buffers;
// with loop, starts the file again after its end until the queue is closed
// by its consumer. false, with the reason recorded, when the file cannot be
// read whole (it is missing, unreadable, or shrinks while it is read).
bool RunAudioFileReader(const std::string& path, bool loop, AudioInputQueue* queue);

}  // namespace vidlathe
