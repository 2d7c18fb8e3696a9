#include "encoder/reader/StreamReader.h"

#include <cstring>

namespace vidlathe {

namespace {
constexpr size_t kPlainBlock = 65536;
constexpr size_t kMaxStuffing = 16;
}  // namespace

int64_t ReadTimeStamp(const uint8_t* p) {
  return (static_cast<int64_t>((p[0] >> 1) & 0x07) << 30) | (static_cast<int64_t>(p[1]) << 22) |
         (static_cast<int64_t>(p[2] >> 1) << 15) | (static_cast<int64_t>(p[3]) << 7) |
         static_cast<int64_t>(p[4] >> 1);
}

bool ParsePacketHeader(const uint8_t* p, size_t length, PacketHeader* out) {
  *out = PacketHeader{};
  size_t i = 0;
  while (i < length && p[i] == 0xFF) {
    if (++i > kMaxStuffing) return false;
  }
  if (i >= length) return false;
  if ((p[i] & 0xC0) == 0x40) {  // STD buffer scale and size
    i += 2;
    if (i >= length) return false;
  }
  const uint8_t b = p[i];
  if ((b & 0xF0) == 0x20) {
    if (i + 5 > length) return false;
    out->ptsAt = static_cast<int>(i);
    out->pts = ReadTimeStamp(p + i);
    i += 5;
  } else if ((b & 0xF0) == 0x30) {
    if (i + 10 > length) return false;
    out->ptsAt = static_cast<int>(i);
    out->pts = ReadTimeStamp(p + i);
    out->dtsAt = static_cast<int>(i + 5);
    out->dts = ReadTimeStamp(p + i + 5);
    i += 10;
  } else if (b == 0x0F) {
    i += 1;
  } else {
    return false;
  }
  out->headerLength = i;
  return true;
}

bool SystemStreamReader::Open(const std::string& path) {
  if (!file_.Open(path)) return false;
  fileSize_ = file_.size();
  uint8_t head[4] = {};
  cdxa_ = fileSize_ >= 4 && file_.ReadExactly(head, 4) && std::memcmp(head, "RIFF", 4) == 0;
  buf_.resize(cdxa_ ? 2 * kUserData : kPlainBlock);
  sector_.resize(kSectorSize);
  Rewind();
  return !file_.failed();
}

void SystemStreamReader::Rewind() {
  if (!file_.isOpen()) return;
  fileOffset_ = cdxa_ ? kRiffHeader : 0;
  pos_ = len_ = 0;
  ended_ = false;
  readError_ = !file_.Seek(fileOffset_);
}

uint64_t SystemStreamReader::Position() const {
  if (!cdxa_) return fileOffset_ - (len_ - pos_);
  // Each block in the buffer is one sector's user data.
  const uint64_t sectorsLeft = (len_ - pos_) / kUserData;
  return fileOffset_ > sectorsLeft * kSectorSize ? fileOffset_ - sectorsLeft * kSectorSize : 0;
}

bool SystemStreamReader::Refill() {
  if (!file_.isOpen() || ended_) {
    ended_ = true;
    return false;
  }
  pos_ = len_ = 0;
  if (!cdxa_) {
    len_ = file_.Read(buf_.data(), buf_.size());
    fileOffset_ += len_;
  } else {
    // Whole sectors; a cut last sector keeps what it holds of user data.
    while (len_ + kUserData <= buf_.size()) {
      const size_t n = file_.Read(sector_.data(), kSectorSize);
      fileOffset_ += n;
      if (n > 24) {
        const size_t keep = n - 24 < kUserData ? n - 24 : kUserData;
        std::memcpy(buf_.data() + len_, sector_.data() + 24, keep);
        len_ += keep;
      }
      if (n < kSectorSize) break;
    }
  }
  if (file_.failed()) readError_ = true;
  if (len_ == 0) {
    ended_ = true;
    return false;
  }
  return true;
}

int SystemStreamReader::Read16() {
  const int a = ReadByte();
  const int b = ReadByte();
  return b < 0 ? -1 : (a << 8) | b;
}

int SystemStreamReader::Read24() {
  const int a = Read16();
  const int b = ReadByte();
  return b < 0 ? -1 : (a << 8) | b;
}

bool SystemStreamReader::Read(uint8_t* dst, size_t n) {
  while (n > 0) {
    if (pos_ == len_ && !Refill()) return false;
    const size_t take = n < len_ - pos_ ? n : len_ - pos_;
    std::memcpy(dst, buf_.data() + pos_, take);
    pos_ += take;
    dst += take;
    n -= take;
  }
  return true;
}

bool SystemStreamReader::Skip(size_t n) {
  while (n > 0) {
    if (pos_ == len_ && !Refill()) return false;
    const size_t take = n < len_ - pos_ ? n : len_ - pos_;
    pos_ += take;
    n -= take;
  }
  return true;
}

int SystemStreamReader::NextStartCode() {
  uint32_t window = 0xFFFFFFFF;
  for (;;) {
    const int b = ReadByte();
    if (b < 0) return -1;
    window = (window << 8) | static_cast<uint32_t>(b);
    if ((window & 0xFFFFFF00u) == 0x00000100u) return 0x100 + static_cast<int>(window & 0xFF);
  }
}

bool SystemStreamReader::FindStartCode(int code) {
  for (;;) {
    const int c = NextStartCode();
    if (c < 0) return false;
    if (c == 0x100 + code) return true;
  }
}

bool SystemStreamReader::ReadPacketPayload(int length, std::vector<uint8_t>* dst, int64_t* pts,
                                           int64_t* dts) {
  if (pts) *pts = kNoTimeStamp;
  if (dts) *dts = kNoTimeStamp;
  if (length <= 0 || length > 0xFFFF) return false;
  packet_.resize(static_cast<size_t>(length));
  uint8_t* packet = packet_.data();
  if (!Read(packet, static_cast<size_t>(length))) return false;
  PacketHeader h;
  if (!ParsePacketHeader(packet, static_cast<size_t>(length), &h)) return false;
  if (pts) *pts = h.pts;
  if (dts) *dts = h.dts;
  dst->assign(packet + h.headerLength, packet + length);
  return true;
}

}  // namespace vidlathe
