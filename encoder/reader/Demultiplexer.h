// Takes a system stream apart for the decoder: the payloads of the chosen
// video stream come out as one elementary stream, those of the audio stream
// go to a sink. A pull model: the decoder asks for bytes and the
// demultiplexer reads packs until it has some.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "encoder/reader/StreamReader.h"

namespace vidlathe {

class Demultiplexer {
 public:
  using AudioSink = std::function<bool(const uint8_t* data, size_t size)>;

  // reader must be open; audio may be empty (audio is then dropped).
  Demultiplexer(SystemStreamReader* reader, AudioSink audio);

  // Up to capacity bytes of the video stream; 0 at the end of the file.
  // The video stream is the one a system header lists (a still pair's
  // 704-wide stream E2 in preference), or the first video packet's stream.
  size_t ReadVideo(uint8_t* dst, size_t capacity);
  // Reads to the end, giving only the audio to the sink. false when the
  // sink refused data.
  bool DrainAudio();
  // The presentation times of the video packets that carry one, in order.
  const std::vector<int64_t>& videoTimes() const { return videoTimes_; }
  bool ended() const { return ended_; }

 private:
  // Reads the next packet of interest; false at the end.
  bool Step();

  SystemStreamReader* r_;
  AudioSink audio_;
  int videoId_ = -1, audioId_ = -1, kind_ = 0;
  bool videoFromHeader_ = false;
  bool ended_ = false;
  bool sinkFailed_ = false;
  std::vector<uint8_t> pending_;
  size_t pendingAt_ = 0;
  std::vector<uint8_t> payload_;
  std::vector<int64_t> videoTimes_;
};

// A file read as it is, for elementary video streams.
class FileByteSource {
 public:
  explicit FileByteSource(const std::string& path);
  ~FileByteSource();
  FileByteSource(const FileByteSource&) = delete;
  FileByteSource& operator=(const FileByteSource&) = delete;
  bool ok() const { return f_ != nullptr; }
  size_t Read(uint8_t* dst, size_t capacity);
  uint64_t position() const { return position_; }

 private:
  std::FILE* f_ = nullptr;
  uint64_t position_ = 0;
};

}  // namespace vidlathe
