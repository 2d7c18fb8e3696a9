// Reads MPEG-1 files as a plain byte stream, whatever their file form: plain
// system or elementary streams, or Video CD track files in RIFF/CDXA form
// (raw 2352-byte sectors, of which the 2324 bytes of user data are the
// stream). On top of that: start-code search and the packet layer of
// ISO/IEC 11172-1.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "encoder/common/InputFile.h"

namespace vidlathe {

constexpr int64_t kNoTimeStamp = -1;

// Where the fields of one packet header lie, counted from the first byte
// after the 16-bit packet length.
struct PacketHeader {
  size_t headerLength = 0;  // bytes before the payload
  int ptsAt = -1;           // offset of the 5-byte PTS field, -1 without
  int dtsAt = -1;           // offset of the 5-byte DTS field, -1 without
  int64_t pts = kNoTimeStamp;
  int64_t dts = kNoTimeStamp;
};

// Parses the header of a packet whose bytes after the length field are
// p[0..length). false when the header is malformed or longer than the packet.
bool ParsePacketHeader(const uint8_t* p, size_t length, PacketHeader* out);
// Reads the 5-byte time-stamp layout (4-bit prefix, 33 bits with markers).
int64_t ReadTimeStamp(const uint8_t* p);

class SystemStreamReader {
 public:
  static constexpr size_t kSectorSize = 2352;
  static constexpr size_t kUserData = 2324;
  static constexpr size_t kRiffHeader = 44;

  SystemStreamReader() = default;
  ~SystemStreamReader() = default;
  SystemStreamReader(const SystemStreamReader&) = delete;
  SystemStreamReader& operator=(const SystemStreamReader&) = delete;

  // false, with the reason recorded, when the file cannot be opened.
  bool Open(const std::string& path);
  const std::string& path() const { return file_.path(); }
  bool cdxa() const { return cdxa_; }
  uint64_t fileSize() const { return fileSize_; }
  // How far into the file the reader has come (file bytes, for progress).
  uint64_t Position() const;
  // True once a read has run past the end (or failed).
  bool ended() const { return ended_; }
  // True when the file could not be read, or became shorter while it was
  // read (as opposed to a normal end); the reason is recorded.
  bool readError() const { return readError_; }

  // -1 at the end.
  int ReadByte() {
    if (pos_ < len_) return buf_[pos_++];
    return Refill() ? buf_[pos_++] : -1;
  }
  int Read16();
  int Read24();
  // Copies n bytes; false when the stream ends first.
  bool Read(uint8_t* dst, size_t n);
  bool Skip(size_t n);
  void Rewind();

  // Reads on until 00 00 01 code has been consumed; false at the end.
  bool FindStartCode(int code);
  // Reads on to the next 00 00 01 xx and gives 0x100 + xx, or -1 at the end.
  int NextStartCode();
  // After a packet start code and its 16-bit length: reads the header and
  // copies the payload into dst (resized). Returns false when the packet is
  // malformed or cut short by the end of the file.
  bool ReadPacketPayload(int length, std::vector<uint8_t>* dst, int64_t* pts,
                         int64_t* dts = nullptr);

 private:
  bool Refill();

  InputFile file_;
  bool cdxa_ = false;
  bool ended_ = false;
  bool readError_ = false;
  uint64_t fileSize_ = 0;
  uint64_t fileOffset_ = 0;  // file offset just behind the block in buf_
  std::vector<uint8_t> buf_;
  size_t pos_ = 0, len_ = 0;
  std::vector<uint8_t> sector_;
  std::vector<uint8_t> packet_;
};

}  // namespace vidlathe
