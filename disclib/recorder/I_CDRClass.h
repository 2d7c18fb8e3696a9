// The drive interface of the recorder layer: one object per drive, made by
// CDR4_CreateDrive (CDR4BASE.h), in the slot order the disc engine calls.
//
// Drive operations answer a CdrResult (below); CloseSession alone answers
// 1 when the session was closed and 0 when not. A drive keeps the first
// error of an operation: GetLastError gives its text and sense record.
#pragma once

#include "disclib/recorder/CDR4COMS.h"
#include "disclib/recorder/I_CDR4DriveDB.h"
#include "platform/base/WinTypes.h"

// What a drive operation answers. The numbers are the ones the disc engine
// reads through "CDR4BASE" and never change.
enum CdrResult : LONG {
  CDR_OK = 0,
  CDR_FAILED = 1,
  CDR_NOT_SUPPORTED = 6,  // not by this drive, this disc or in this mode
};

// GetDriveStatus.
enum : LONG { CDR_STATUS_READY = 0, CDR_STATUS_BECOMING_READY = 3, CDR_STATUS_NOT_READY = 5 };

// The codes of SpeedQuery and ReadSpeedQuery besides a speed in x (a
// multiple of 176.4 kB/s) to set, and their answer for "no such speed".
enum : LONG {
  CDR_SPEED_NONE = 1024,
  CDR_SPEED_CURRENT = 2048,
  CDR_SPEED_FASTER = 2049,
  CDR_SPEED_SLOWER = 2050,
  CDR_SPEED_ASK = 0x1000,  // + x: is x one of the drive's speeds? Nothing changes.
};

// CDRF capability word.
enum : DWORD {
  CDRF_READCDDA = 0x1,
  CDRF_CDDAACCURATE = 0x2,
  CDRF_SUBCODE = 0x4,
  CDRF_RAWSUBCODE = 0x8,
  CDRF_READC2 = 0x10,
  CDRF_CDTEXT = 0x20,
  CDRF_CDR = 0x40,
  CDRF_CDRW = 0x80,
  CDRF_WRITETAO = 0x100,
  CDRF_WRITESAO = 0x200,
  CDRF_WRITECDTEXT = 0x400,
  CDRF_WRITERAW = 0x800,
  CDRF_BURNPROOF = 0x1000,
  CDRF_METHOD2 = 0x4000,
  CDRF_ISRC = 0x8000,
  CDRF_UPC = 0x10000,
  CDRF_WRITEDAO = 0x20000,
  CDRF_OVERBURN = 0x40000,
  CDRF_WRITERSCODE = 0x80000,
  CDRF_WRITECSCODE = 0x100000,
  CDRF_STONEFORD = 0x200000,
  CDRF_MMC3 = 0x400000,
  CDRF_DVDR = 0x800000,
  CDRF_DVDRW = 0x1000000,
  CDRF_DvdPrw = 0x2000000,
};

// MMCF quirk word (the drive database's key 4097).
enum : DWORD {
  MMCF_READCDDA_D8 = 0x1,  // audio is read with the vendor READ CD-DA (0xD8)
  MMCF_BCD2368 = 0x2,
  MMCF_WRITESAO = 0x4,
  MMCF_WRITECDTEXT = 0x8,
  MMCF_BURNPROOF = 0x10,
  MMCF_WRITERAW = 0x20,
  MMCF_LGERASE = 0x40,
  MMCF_WRITERAW3 = 0x80,
  MMCF_KV4700CUE = 0x100,
  MMCF_SIMPLECUE = 0x200,
  MMCF_FORCE150GAP = 0x400,
  MMCF_WRITEDAO = 0x800,
  MMCF_OVERBURN = 0x1000,
  MMCF_WRITERSCODE = 0x2000,
  MMCF_WRITECSCODE = 0x4000,
  MMCF_STONEFORD = 0x8000,
  MMCF_MMC3 = 0x10000,
  MMCF_DVDR = 0x20000,
  MMCF_DVDRW = 0x40000,
  MMCF_FORCERAW = 0x80000,
  MMCF_REJECTC2 = 0x100000,
};

// Track types of the write operations, and the option flags.
enum : LONG {
  CDR_TRACK_AUDIO = 1,
  CDR_TRACK_MODE1 = 2,
  CDR_TRACK_MODE2 = 3,        // mode 2 formless (reading)
  CDR_TRACK_MODE2_FORM1 = 4,
  CDR_TRACK_MODE2_FORM2 = 5,  // track-at-once: mode 2 mixed form (XA), 2332-byte units
};
// The sector types ReadCD takes besides the track types above.
enum : LONG {
  CDR_READ_ANY = 0,   // whatever the sector holds
  CDR_READ_DVD = 6,   // 2048-byte DVD sectors (DVD+RW drives)
  CDR_READ_ISRC = 9,  // the ISRC of track `start` (16 bytes)
};
enum : LONG {
  CDR_TESTWRITE = 0x1,
  CDR_CODE = 0x2,
  CDR_BURNPROOF = 0x4,
  CDR_NOBUF = 0x8,
  CDR_FORCERAW = 0x10,
  CDR_RWPACKED = 0x20,
  CDR_RWRAW = 0x40,
};

// Disc queries of QueryDisc.
enum : LONG { CDRQ_TOC = 0, CDRQ_SESSION = 1, CDRQ_ATIP = 2, CDRQ_CDTEXT = 3, CDRQ_MCN = 4, CDRQ_FULLTOC = 5 };

// One entry of a session-at-once layout.
struct CDRLayoutEntry {
  LONG kind;       // 0 UPC, 1 MCN, 2 track index, 3 lead-out
  LONG dataType;   // 1 audio, 2 mode 1, 4 mode 2 form 1, 5 mode 2 form 2
  LONG track;
  LONG index;
  LONG start;      // address, may be negative
};
enum : LONG { CDRLAYOUT_UPC = 0, CDRLAYOUT_MCN = 1, CDRLAYOUT_INDEX = 2, CDRLAYOUT_LEADOUT = 3 };

// What a caller describes a session-at-once recording with.
class I_CDRSessionLayout {
 public:
  virtual ~I_CDRSessionLayout() = default;
  // The entry at index, or null after the last.
  virtual const CDRLayoutEntry* GetEntry(LONG index) = 0;
  // Non-zero when the session is to stay open for a next one.
  virtual LONG LeaveOpen() = 0;
  // 0x00, 0x10 or 0x20.
  virtual LONG SessionFormat() = 0;
  // Fills an 8196-byte CD-TEXT record as ReadCDText returns one: the 16-bit
  // length in host order, two reserved bytes, then 18-byte packs.
  virtual void GetCDText(BYTE* record) = 0;
};

class I_CDRClass {
 public:
  virtual ~I_CDRClass() = default;                                        // 0
  virtual LONG GetDrivePath() = 0;                                        // 1 drive letter
  virtual LONG GetDriveNum() = 0;                                         // 2
  virtual DWORD GetDriveCaps() = 0;                                       // 3
  virtual LONG GetInquiry(char* buffer) = 0;                              // 4 1 with 28 characters, 0
  virtual LONG GetDriveStatus() = 0;                                      // 5 0 ready, 3 becoming, 5 not
  virtual LONG QueryDisc(LONG what, DWORD* length, void* buffer) = 0;     // 6
  virtual LONG ReadTOC(void* buffer) = 0;                                 // 7 804 bytes
  virtual LONG ReadSessionInfo(void* buffer) = 0;                         // 8 12 bytes
  virtual LONG ReadATIP(void* buffer) = 0;                                // 9 32 bytes
  virtual LONG ReadCDText(void* buffer) = 0;                              // 10 8196 bytes (length, 2, packs)
  virtual LONG ReadMCN(void* buffer) = 0;                                 // 11 16 bytes
  virtual LONG ReadFullTOC(void* buffer) = 0;                             // 12 2204 bytes
  // 13-18: the same six again.
  virtual LONG ReadTOC2(void* buffer) { return ReadTOC(buffer); }
  virtual LONG ReadSessionInfo2(void* buffer) { return ReadSessionInfo(buffer); }
  virtual LONG ReadATIP2(void* buffer) { return ReadATIP(buffer); }
  virtual LONG ReadCDText2(void* buffer) { return ReadCDText(buffer); }
  virtual LONG ReadMCN2(void* buffer) { return ReadMCN(buffer); }
  virtual LONG ReadFullTOC2(void* buffer) { return ReadFullTOC(buffer); }
  virtual LONG ReadCD(LONG start, LONG count, void* buffer, LONG sectorType, LONG sectorSize,
                      ComsSenseRecord* sense) = 0;                        // 19
  virtual LONG ReadSectors(LONG count, void* buffer, ComsSenseRecord* sense) = 0;  // 20
  virtual LONG ReadSpeedQuery(LONG code) = 0;                             // 21
  virtual LONG SpeedQuery(LONG code) = 0;                                 // 22 write speed
  virtual LONG SetBlocking(LONG type) = 0;                                // 23
  virtual LONG Eject(LONG wait) = 0;                                      // 24
  virtual LONG Load(LONG wait) = 0;                                       // 25
  virtual LONG LockDrive() = 0;                                           // 26
  virtual LONG UnlockDrive() = 0;                                         // 27
  virtual I_CDR4DriveDB* GetDriveDB() = 0;                                // 28
  virtual LONG ReadDiscInfo(void* buffer) = 0;                            // 29 32 bytes
  virtual LONG ReadTrackInfo(LONG track, void* buffer) = 0;               // 30 36 bytes; 255 next writable
  virtual LONG ReserveTrack(LONG size, LONG trackType) = 0;               // 31
  virtual LONG StartTAO(LONG track, LONG type, LONG flags, const BYTE* code16,
                        const BYTE* subheader8) = 0;                      // 32
  virtual LONG WriteTAO(LONG sectorSize, LONG count, const void* data) = 0;  // 33
  virtual LONG FinishTAO() = 0;                                           // 34
  virtual LONG CloseSession(LONG format, LONG closeFlag) = 0;             // 35 1 success, 0 failure
  virtual LONG StartSAO(I_CDRSessionLayout* layout, LONG flags) = 0;      // 36
  virtual LONG WriteSAO(LONG trackType, LONG sectorSize, LONG count, const void* data) = 0;  // 37
  virtual LONG FinishSAO() = 0;                                           // 38
  virtual const char* GetLastError(ComsSenseRecord* sense) = 0;           // 39 null when none
  virtual LONG FormatDiscFP(LONG packetSize) = 0;                         // 40
  virtual LONG StartFP(LONG track, LONG* packetSize, LONG* trackStart, LONG* trackSize) = 0;  // 41
  virtual LONG WriteFP(LONG address, LONG count, const void* data) = 0;   // 42
  virtual LONG FlushFP() = 0;                                             // 43
  virtual LONG LastFailedFP() = 0;                                        // 44
  virtual LONG FinishFP() = 0;                                            // 45
  virtual LONG BlankDisc(LONG full) = 0;                                  // 46
  virtual LONG IsIdle() = 0;                                              // 47
};
