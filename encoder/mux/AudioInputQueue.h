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

#include "platform/base/Queue.h"

namespace vidlathe {

struct MpegAudioHeader {
  int id = 0;            // 1 MPEG-1, 0 lower sampling frequencies
  int layerCode = 0;     // 3 Layer I, 2 Layer II, 1 Layer III
  int protection = 0;
  int bitRateIndex = 0;
  int samplingIndex = 0;
  int padding = 0;
  int privateBit = 0;

  int BitRate() const;       // bit/s, 0 when free format or invalid
  int SamplingRate() const;  // Hz, 0 when reserved
  int SamplesPerFrame() const;
  int FrameLength() const;   // bytes, 0 when it cannot be known
};

// Parses a 4-byte header; false when it is not a usable frame header
// (no sync, reserved layer, free-format or bad bit rate, reserved rate).
bool ParseAudioHeader(const uint8_t* p, MpegAudioHeader* h);

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

// Reads path into queue in 4096-byte buffers; with loop, starts the file
// again after its end until the queue is closed by its consumer.
void RunAudioFileReader(const std::string& path, bool loop, AudioInputQueue* queue);

}  // namespace vidlathe
