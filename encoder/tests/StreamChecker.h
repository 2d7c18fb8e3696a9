// A test utility that reads a Video CD system stream back: it checks the
// pack and packet syntax (pack size, markers, header stuffing, padding, the
// 20 zero bytes of audio packs, the end code) and runs the decoder's buffer
// model: every pack fills its stream's buffer at its SCR, every picture
// leaves it at its DTS and every audio frame at its PTS. A picture or frame
// not wholly arrived at its decoding time, or a buffer fuller than its
// declared size, is an error.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace vidlathe::testing {

struct CheckedPicture {
  int64_t pts = -1, dts = -1;
  std::vector<uint8_t> data;  // the coded picture (sequence header to end code)
};

struct CheckedStream {
  std::vector<std::string> errors;
  size_t packs = 0;
  std::map<int, std::vector<CheckedPicture>> pictures;  // by stream id (0xE1, 0xE2)
  std::map<int, int> bufferBytes;                       // declared bound by stream id
  std::vector<uint8_t> audio;                           // concatenated C0 payload
  std::vector<int64_t> audioFramePts;                   // per frame
  bool endCode = false;

  bool ok() const { return errors.empty(); }
  std::string Report() const;
};

CheckedStream CheckSystemStream(const std::vector<uint8_t>& file);
CheckedStream CheckSystemStreamFile(const std::string& path);

}  // namespace vidlathe::testing
