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

#include "encoder/common/InputFile.h"
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
  // True when the stream ended inside a packet or pack header (a cut
  // file), or when packets of the chosen streams were malformed.
  bool cutShort() const { return cutShort_; }
  int malformedPackets() const { return malformed_; }

 private:
  // Reads the next packet of interest; false at the end.
  bool Step();

  SystemStreamReader* r_;
  AudioSink audio_;
  int videoId_ = -1, audioId_ = -1, kind_ = 0;
  bool videoFromHeader_ = false;
  bool ended_ = false;
  bool sinkFailed_ = false;
  bool cutShort_ = false;
  int malformed_ = 0;
  std::vector<uint8_t> pending_;
  size_t pendingAt_ = 0;
  std::vector<uint8_t> payload_;
  std::vector<int64_t> videoTimes_;
};

// A file read as it is, for elementary video streams; every read is
// checked (InputFile).
class FileByteSource {
 public:
  explicit FileByteSource(const std::string& path) { file_.Open(path); }
  bool ok() const { return file_.isOpen() && !file_.failed(); }
  size_t Read(uint8_t* dst, size_t capacity) { return file_.Read(dst, capacity); }
  uint64_t position() const { return file_.position(); }

 private:
  InputFile file_;
};

}  // namespace vidlathe
