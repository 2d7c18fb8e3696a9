// An MPEG-1 video (ISO/IEC 11172-2) decoder for the re-encoding path: I, P
// and B pictures with half-sample forward, backward and interpolated
// prediction, skipped macroblocks and loaded quantiser matrices. Pictures
// come out in display order; the last anchor picture is given out when the
// stream ends.
//
// The bytes come from a pull source, so the decoder can sit behind a file,
// a demultiplexer or a fuzzer. Everything taken from the stream is checked
// before use: picture sizes are bounded, run lengths and table lookups stay
// inside their tables, motion vectors that point outside the reference are
// clamped to its edge, and a damaged slice is dropped (its macroblocks keep
// the prediction from the previous anchor).
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

namespace vidlathe {

struct DecodedPicture {
  int width = 0, height = 0;  // displayed size; chroma is half of each (rounded up)
  std::vector<uint8_t> y, u, v;
  int codingType = 0;         // 1 I, 2 P, 3 B
  int pictureRateCode = 0;
};

class VideoDecoder {
 public:
  // Fills dst with up to capacity bytes of the elementary stream; 0 ends it.
  using Source = std::function<size_t(uint8_t* dst, size_t capacity)>;
  // Receives each picture in display order; false stops the decoder.
  using Sink = std::function<bool(DecodedPicture& picture)>;

  static constexpr int kMaxWidth = 1920;
  static constexpr int kMaxHeight = 1152;

  // fastIdct selects the 16-bit transform; otherwise the integer one.
  explicit VideoDecoder(Source source, bool fastIdct = true);
  ~VideoDecoder();
  VideoDecoder(const VideoDecoder&) = delete;
  VideoDecoder& operator=(const VideoDecoder&) = delete;

  // Decodes to the end of the data. false when the sink stopped it.
  bool Run(const Sink& sink);

  // Pictures dropped or damaged because the stream was malformed.
  int damaged() const;

 private:
  struct State;
  std::unique_ptr<State> s_;
};

// The inverse transform the decoder applies to each dequantised block: the
// fast 16-bit transform, or the integer transform that the encoder also
// reconstructs its reference pictures with.
void DecoderInverseTransform(int16_t* block, bool fastIdct);

}  // namespace vidlathe
