// The write parameters mode page (page 5) as a drive gives it and takes it
// back. A write mode reads the page from the drive, changes the fields it
// needs through the setters below and sends the page whole, so the fields
// it does not name keep the drive's own values.
//
//   byte 0       page code 0x05 (bit 7: the page can be saved)
//   byte 1       page length
//   byte 2       bit 6 buffer underrun protection, bit 5 link size valid,
//                bit 4 test write, bits 0-3 write type
//   byte 3       bits 6-7 multi-session, bit 5 fixed packets, bit 4 copy,
//                bits 0-3 track mode (the Q sub-channel's control nibble)
//   byte 4       bits 0-3 data block type
//   byte 5       link size
//   byte 7       bits 0-5 host application code
//   byte 8       session format
//   bytes 10-13  packet size
//   bytes 14-15  audio pause length
//   bytes 16-31  media catalogue number
//   bytes 32-47  ISRC
//   bytes 48-51  the first four bytes of a mode 2 subheader
#pragma once

#include <cstring>

#include "disclib/recorder/CdrUtil.h"
#include "platform/base/WinTypes.h"

namespace discpak {

class WriteParametersPage {
 public:
  enum WriteType : BYTE {
    kPacket = 0,  // packets (fixed or variable), and incremental DVD-R
    kTrackAtOnce = 1,
    kSessionAtOnce = 2,
    kRaw = 3,
  };
  enum TrackMode : BYTE {
    kAudio = 0,            // two channels, no pre-emphasis
    kData = 4,             // data, recorded uninterrupted
    kDataIncremental = 5,  // data, recorded in packets
  };
  enum MultiSession : BYTE {
    kNoNextSession = 0,
    kNextSessionAllowed = 3,
  };
  enum DataBlockType : BYTE {
    kBlockRaw = 0,                         // 2352 bytes
    kBlockRawPQ = 1,                       // 2368: with the P and Q sub-channel
    kBlockRawPW = 3,                       // 2448: with the raw P-W sub-channel
    kBlockMode1 = 8,                       // 2048
    kBlockMode2Form1 = 10,                 // 2048
    kBlockMode2Form1WithSubheader = 11,    // 2056
    kBlockMode2MixedWithSubheader = 13,    // 2332
  };
  enum SessionFormat : BYTE {
    kCdDaOrCdRom = 0x00,
    kCdI = 0x10,
    kCdRomXa = 0x20,
  };

  // Room for the page; MODE SENSE fills it and says how much came.
  static constexpr DWORD kCapacity = 128;
  BYTE* Data() { return bytes_; }
  const BYTE* Data() const { return bytes_; }
  DWORD Length() const { return length_; }
  DWORD* LengthOut() { return &length_; }

  // The write type alone: test write, buffer underrun protection and link
  // size valid go off with it.
  void SetWriteType(WriteType type) { bytes_[kWriteTypeByte] = type; }
  void SetTestWrite(bool on) { SetBit(kWriteTypeByte, kTestWriteBit, on); }
  void SetUnderrunProtection(bool on) { SetBit(kWriteTypeByte, kUnderrunProtectionBit, on); }

  // The track mode alone: the multi-session field ("no next session"),
  // fixed packets and copy go off with it.
  void SetTrackMode(TrackMode mode) { bytes_[kTrackModeByte] = mode; }
  void SetMultiSession(MultiSession m) {
    bytes_[kTrackModeByte] = static_cast<BYTE>((bytes_[kTrackModeByte] & 0x3F) | (m << kMultiSessionShift));
  }
  void SetFixedPacket(bool on) { SetBit(kTrackModeByte, kFixedPacketBit, on); }

  void SetDataBlockType(DataBlockType type) { bytes_[kDataBlockTypeByte] = type; }
  void SetSessionFormat(SessionFormat format) { bytes_[kSessionFormatByte] = format; }
  void SetPacketSize(DWORD blocks) { PutBE32(bytes_ + kPacketSizeAt, blocks); }
  void SetAudioPauseLength(WORD blocks) { PutBE16(bytes_ + kAudioPauseAt, blocks); }
  // The first four bytes of a mode 2 subheader, or zeros for null; only a
  // page long enough to hold them takes them.
  void SetSubheader(const BYTE* first4) {
    if (length_ < kSubheaderAt + 4) return;
    if (first4) std::memcpy(bytes_ + kSubheaderAt, first4, 4);
    else std::memset(bytes_ + kSubheaderAt, 0, 4);
  }

 private:
  static constexpr int kWriteTypeByte = 2;
  static constexpr int kTestWriteBit = 4;
  static constexpr int kUnderrunProtectionBit = 6;
  static constexpr int kTrackModeByte = 3;
  static constexpr int kFixedPacketBit = 5;
  static constexpr int kMultiSessionShift = 6;
  static constexpr int kDataBlockTypeByte = 4;
  static constexpr int kSessionFormatByte = 8;
  static constexpr int kPacketSizeAt = 10;
  static constexpr int kAudioPauseAt = 14;
  static constexpr DWORD kSubheaderAt = 48;

  void SetBit(int at, int bit, bool on) {
    const BYTE mask = static_cast<BYTE>(1u << bit);
    bytes_[at] = static_cast<BYTE>(on ? (bytes_[at] | mask) : (bytes_[at] & ~mask));
  }

  BYTE bytes_[kCapacity] = {};
  DWORD length_ = 0;
};

}  // namespace discpak
