// Every command the recorder layer sends to a drive, as a named template:
// its operation code and each byte that is the same every time it is sent,
// grouped by command set (SPC: every device; SBC: block devices; MMC:
// multimedia drives). A call site copies a template into a Cdb and fills in
// only what varies (an address, a length, the page or format asked for)
// through the named fields below; no command byte is written anywhere else.
//
//   ModeSense10: Cdb(cmd::kModeSense10).Set(cmd::kModePageCode, page).Length(allocation)
#pragma once

#include <cstddef>

#include "platform/base/WinTypes.h"

namespace discpak {

// A field of a command descriptor block: `bytes` big-endian bytes from byte
// `at` on, or, when `bits` is non-zero, that many bits of byte `at` from bit
// `shift` up (the other bits of the byte are left as they are).
struct CdbField {
  BYTE at = 0;
  BYTE bytes = 0;
  BYTE shift = 0;
  BYTE bits = 0;
};

// One command: its name for the reader, its size, the bytes that never
// change (the rest are zero), and where its length goes: the allocation
// length of a command that reads, the transfer length in blocks of READ and
// WRITE, the parameter list length of a command that sends data.
struct CdbTemplate {
  const char* name;
  BYTE size;
  BYTE fixed[12];
  CdbField length;
  constexpr BYTE Opcode() const { return fixed[0]; }
};

// A command to send: a copy of a template with its varying fields filled in.
class Cdb {
 public:
  constexpr explicit Cdb(const CdbTemplate& t) : template_(&t), bytes_{} {
    for (std::size_t i = 0; i < sizeof t.fixed; ++i) bytes_[i] = t.fixed[i];
  }
  // Stores value in the field (truncated to the field's width).
  constexpr Cdb& Set(CdbField f, DWORD value) {
    if (f.bits) {
      const BYTE mask = static_cast<BYTE>(((1u << f.bits) - 1) << f.shift);
      bytes_[f.at] = static_cast<BYTE>((bytes_[f.at] & ~mask) | ((value << f.shift) & mask));
      return *this;
    }
    for (int i = f.bytes - 1; i >= 0; --i, value >>= 8) bytes_[f.at + i] = static_cast<BYTE>(value);
    return *this;
  }
  constexpr Cdb& Length(DWORD value) { return Set(template_->length, value); }

  const BYTE* Bytes() const { return bytes_; }
  int Size() const { return template_->size; }
  const char* Name() const { return template_->name; }

 private:
  const CdbTemplate* template_;
  BYTE bytes_[12];
};

namespace cmd {

// ---- Fields several commands share ------------------------------------------------------

inline constexpr CdbField kAddress{2, 4};     // logical block address (or track number)
inline constexpr CdbField kLength6{4, 1};     // the length of a 6-byte command
inline constexpr CdbField kLength10{7, 2};    // the length of most 10-byte commands
inline constexpr CdbField kModePageCode{2, 0, 0, 6};   // MODE SENSE: the page asked for
inline constexpr CdbField kDisableBlockDescriptors{1, 0, 3, 1};  // MODE SENSE(6): the page alone

// ---- SPC: every device ---------------------------------------------------------------------

inline constexpr CdbTemplate kTestUnitReady{"TEST UNIT READY", 6, {0x00}, {}};
inline constexpr CdbTemplate kRequestSense{"REQUEST SENSE", 6, {0x03}, kLength6};
inline constexpr CdbTemplate kInquiry{"INQUIRY", 6, {0x12}, kLength6};
// The 6-byte mode commands: SELECT sends pages in the standard format (byte
// 1 bit 4); SENSE asks for one page, with its block descriptor unless
// kDisableBlockDescriptors is set.
inline constexpr CdbTemplate kModeSelect6{"MODE SELECT(6)", 6, {0x15, 0x10}, kLength6};
inline constexpr CdbTemplate kModeSense6{"MODE SENSE(6)", 6, {0x1A}, kLength6};
inline constexpr CdbTemplate kModeSelect10{"MODE SELECT(10)", 10, {0x55, 0x10}, kLength10};
inline constexpr CdbTemplate kModeSense10{"MODE SENSE(10)", 10, {0x5A}, kLength10};
inline constexpr CdbTemplate kPreventAllowMediumRemoval{"PREVENT ALLOW MEDIUM REMOVAL", 6, {0x1E}, {}};
inline constexpr CdbField kPrevent{4, 0, 0, 1};

// Mode pages.
enum ModePage : BYTE {
  kPageErrorRecovery = 0x01,     // read-write error recovery (asked for its block descriptor)
  kPageWriteParameters = 0x05,
  kPageCapabilities = 0x2A,      // CD/DVD capabilities and mechanical status
  kPagePlextorSpeed = 0x31,      // the old PLEXTOR readers' speed page
};

// ---- SBC: block devices -----------------------------------------------------------------

// FORMAT UNIT with a parameter list (FmtData, byte 1 bit 4) and format code 1.
inline constexpr CdbTemplate kFormatUnit{"FORMAT UNIT", 6, {0x04, 0x11}, {}};
// START STOP UNIT with LoEj set (byte 4 bit 1): the tray moves; kStart
// chooses load (1) or eject (0).
inline constexpr CdbTemplate kStartStopUnit{"START STOP UNIT", 6, {0x1B, 0, 0, 0, 0x02}, {}};
inline constexpr CdbField kStartStopImmediate{1, 0, 0, 1};
inline constexpr CdbField kStart{4, 0, 0, 1};
inline constexpr CdbTemplate kRead10{"READ(10)", 10, {0x28}, kLength10};
inline constexpr CdbTemplate kWrite10{"WRITE(10)", 10, {0x2A}, kLength10};
inline constexpr CdbTemplate kSynchronizeCache{"SYNCHRONIZE CACHE", 10, {0x35}, {}};
inline constexpr CdbTemplate kRead12{"READ(12)", 12, {0xA8}, {6, 4}};

// ---- MMC: multimedia drives ---------------------------------------------------------------

// READ SUB-CHANNEL of the Q sub-channel (SubQ, byte 2 bit 6).
inline constexpr CdbTemplate kReadSubChannel{"READ SUB-CHANNEL", 10, {0x42, 0, 0x40}, kLength10};
inline constexpr CdbField kSubChannelFormat{3, 1};
inline constexpr CdbField kSubChannelTrack{6, 1};
enum SubChannelFormat : BYTE { kSubChannelCatalogueNumber = 2, kSubChannelIsrc = 3 };

inline constexpr CdbTemplate kReadToc{"READ TOC/PMA/ATIP", 10, {0x43}, kLength10};
inline constexpr CdbField kTocFormat{2, 0, 0, 4};
enum TocFormat : BYTE {
  kTocFormatToc = 0,
  kTocFormatSessionInfo = 1,
  kTocFormatFullToc = 2,
  kTocFormatAtip = 4,
  kTocFormatCdText = 5,
};

// GET CONFIGURATION, every feature from the starting one on (RT 0).
inline constexpr CdbTemplate kGetConfiguration{"GET CONFIGURATION", 10, {0x46}, kLength10};
inline constexpr CdbField kStartingFeature{2, 2};

inline constexpr CdbTemplate kReadDiscInformation{"READ DISC INFORMATION", 10, {0x51}, kLength10};
// READ TRACK INFORMATION of a track number (address type 1); kAddress
// holds the track.
inline constexpr CdbTemplate kReadTrackInformation{"READ TRACK INFORMATION", 10, {0x52, 0x01}, kLength10};
// RESERVE TRACK: its length is the reservation size in blocks.
inline constexpr CdbTemplate kReserveTrack{"RESERVE TRACK", 10, {0x53}, {5, 4}};

inline constexpr CdbTemplate kCloseTrackSession{"CLOSE TRACK/SESSION", 10, {0x5B}, {}};
inline constexpr CdbField kCloseFunction{2, 0, 0, 3};
inline constexpr CdbField kCloseTrackNumber{4, 2};
enum CloseFunction : BYTE {
  kCloseSuspendFormat = 0,  // DVD+RW: stop the background format
  kCloseTrack = 1,
  kCloseSession = 2,
};

// SEND CUE SHEET: its length is the cue sheet's size in bytes.
inline constexpr CdbTemplate kSendCueSheet{"SEND CUE SHEET", 10, {0x5D}, {6, 3}};

// BLANK, answering at once (Immed, byte 1 bit 4).
inline constexpr CdbTemplate kBlank{"BLANK", 12, {0xA1, 0x10}, {}};
inline constexpr CdbField kBlankingType{1, 0, 0, 3};
enum BlankingType : BYTE { kBlankDisc = 0, kBlankMinimal = 1 };

// GET PERFORMANCE of the write speeds (data type: write, tolerance 10b;
// byte 1 = 0x14), at most 31 descriptors (bytes 8-9), type 0 (performance).
inline constexpr CdbTemplate kGetWritePerformance{"GET PERFORMANCE", 12, {0xAC, 0x14, 0, 0, 0, 0, 0, 0, 0, 31}, {}};

// SET CD SPEED: both speeds in kB/s, 0xFFFF for the drive's highest.
inline constexpr CdbTemplate kSetCdSpeed{"SET CD SPEED", 12, {0xBB}, {}};
inline constexpr CdbField kReadSpeed{2, 2};
inline constexpr CdbField kWriteSpeed{4, 2};

// READ CD: the expected sector type, which fields of each sector and which
// sub-channel data come back; its length is the count of sectors.
inline constexpr CdbTemplate kReadCd{"READ CD", 12, {0xBE}, {6, 3}};
inline constexpr CdbField kExpectedSectorType{1, 0, 2, 3};
inline constexpr CdbField kReadCdFields{9, 1};
inline constexpr CdbField kReadCdSubChannel{10, 1};
enum ReadCdFields : BYTE {
  kFieldC2Errors = 0x02,     // the C2 error bits (294 bytes)
  kFieldEdcEcc = 0x08,
  kFieldUserData = 0x10,
  kFieldHeader = 0x20,
  kFieldSubheader = 0x40,
  kFieldAllHeaders = 0x60,
  kFieldSync = 0x80,
  kFieldsWholeSector = kFieldSync | kFieldAllHeaders | kFieldUserData | kFieldEdcEcc,
};
enum ReadCdSubChannel : BYTE { kReadCdRawPW = 1, kReadCdQ = 2, kReadCdRW = 4 };

// READ CD-DA, the PLEXTOR vendor command for audio: its length (bytes 8-9)
// is the count of sectors, kReadCdDaFormat the sector layout.
inline constexpr CdbTemplate kReadCdDa{"READ CD-DA", 12, {0xD8}, {8, 2}};
inline constexpr CdbField kReadCdDaFormat{10, 1};
enum ReadCdDaFormat : BYTE {
  kCdDa2352 = 0,        // audio
  kCdDa2368 = 1,        // audio and Q
  kCdDa2448 = 2,        // audio and P-W
  kCdDaSubcodeOnly = 3, // 96 bytes of P-W
  kCdDa2646 = 4,        // audio and the C2 error bits
};

// Feature codes of GET CONFIGURATION that decide something.
enum Feature : WORD {
  kFeatureProfileList = 0x000,
  kFeatureCore = 0x001,
  kFeatureMorphing = 0x002,
  kFeatureRemovableMedium = 0x003,
  kFeatureRandomReadable = 0x010,
  kFeatureRandomWritable = 0x020,
  kFeatureIncrementalStreamingWrite = 0x021,
  kFeatureWriteOnce = 0x025,
  kFeatureDvdPlusRw = 0x02A,
  kFeatureCdTrackAtOnce = 0x02D,
  kFeatureCdSessionAtOnce = 0x02E,  // and raw writing
  kFeatureDvdMinusRw = 0x02F,
  kFeatureRealTimeStreaming = 0x107,
  kFeatureSerialNumber = 0x108,
  kFeatureStoneFord = 0xFFDE,  // vendor: write speeds and strategy
};

}  // namespace cmd

}  // namespace discpak
