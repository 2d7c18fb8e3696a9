// The drive classes behind I_CDRClass:
//
//   CdrClassPhysical   device number, drive letter, capability and quirk
//                      words, the database entry, the error latch, and the
//                      disc queries both branches share
//   MmcClass           every MMC reader and recorder (probing, reading,
//                      speeds, track-at-once; the other write modes follow)
//   MmcDvdClass        adds the DVD recording slots 48-50
//     DvdRwClass       DVD-R/RW recorders
//     DvdPrwClass      DVD+RW recorders (slots 51-53)
//   PlextorClass       old readers from before MMC
#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "disclib/recorder/CDRQueue.h"
#include "disclib/recorder/I_CDRClass.h"
#include "disclib/recorder/WriteParameters.h"

namespace discpak {

// CloseSession answers the other way round from the other operations: 1
// when the session was closed, 0 when not.
constexpr LONG SessionClosedAnswer(CdrResult r) { return r == CDR_OK ? 1 : 0; }

class CdrClassPhysical : public I_CDRClass {
 public:
  // The drive owns its database entry (null for none) from here on.
  CdrClassPhysical(LONG device, std::unique_ptr<I_CDR4DriveDB> database);

  LONG GetDrivePath() override { return letter_; }
  LONG GetDriveNum() override { return device_; }
  DWORD GetDriveCaps() override { return caps_; }
  LONG GetInquiry(char* buffer) override;
  I_CDR4DriveDB* GetDriveDB() override { return database_.get(); }
  const char* GetLastError(ComsSenseRecord* sense) override;

  DWORD GetQuirks() const { return quirks_; }

 protected:
  // The error latch: only the first error of an operation is kept.
  void SetError(const char* text, const ComsSenseRecord* sense);
  void ClearError();
  bool ErrorLatched();

  // What both branches read the same way (buffers zeroed first; numbers
  // turned to host order).
  LONG StatusOfDrive();  // CDR_STATUS_...
  CdrResult DoQueryDisc(LONG what, DWORD* length, void* buffer);
  CdrResult DoReadTOC(void* buffer);
  CdrResult DoReadSessionInfo(void* buffer);
  CdrResult DoReadATIP(void* buffer);
  CdrResult DoReadCDText(void* buffer);
  CdrResult DoReadMCN(void* buffer);
  CdrResult DoReadFullTOC(void* buffer);
  CdrResult DoReadDiscInfo(void* buffer);
  CdrResult DoReadTrackInfo(LONG track, void* buffer);

  LONG device_;
  LONG letter_ = 0;
  DWORD caps_ = 0;
  DWORD quirks_ = 0;
  std::unique_ptr<I_CDR4DriveDB> database_;
  char inquiry_[29] = {};

 private:
  std::mutex errorMutex_;
  bool latched_ = false;
  char errorText_[512] = {};
  bool senseValid_ = false;
  ComsSenseRecord sense_ = {};
};

class MmcClass : public CdrClassPhysical {
 public:
  MmcClass(LONG device, std::unique_ptr<I_CDR4DriveDB> database);
  ~MmcClass() override;

  LONG GetDriveStatus() override { return StatusOfDrive(); }
  LONG QueryDisc(LONG what, DWORD* length, void* buffer) override { return DoQueryDisc(what, length, buffer); }
  LONG ReadTOC(void* buffer) override { return DoReadTOC(buffer); }
  LONG ReadSessionInfo(void* buffer) override { return DoReadSessionInfo(buffer); }
  LONG ReadATIP(void* buffer) override { return DoReadATIP(buffer); }
  LONG ReadCDText(void* buffer) override { return DoReadCDText(buffer); }
  LONG ReadMCN(void* buffer) override { return DoReadMCN(buffer); }
  LONG ReadFullTOC(void* buffer) override { return DoReadFullTOC(buffer); }
  LONG ReadCD(LONG start, LONG count, void* buffer, LONG sectorType, LONG sectorSize,
              ComsSenseRecord* sense) override;
  LONG ReadSectors(LONG count, void* buffer, ComsSenseRecord* sense) override;
  LONG ReadSpeedQuery(LONG code) override { return Speed(code, false); }
  LONG SpeedQuery(LONG code) override { return Speed(code, true); }
  LONG SetBlocking(LONG type) override;
  LONG Eject(LONG wait) override;
  LONG Load(LONG wait) override;
  LONG LockDrive() override;
  LONG UnlockDrive() override;
  LONG ReadDiscInfo(void* buffer) override;
  LONG ReadTrackInfo(LONG track, void* buffer) override;
  LONG ReserveTrack(LONG size, LONG trackType) override;
  LONG StartTAO(LONG track, LONG type, LONG flags, const BYTE* code16, const BYTE* subheader8) override;
  LONG WriteTAO(LONG sectorSize, LONG count, const void* data) override;
  LONG FinishTAO() override;
  // Cuts a track-at-once recording short, for a caller that cancels; any
  // thread may ask, also while the recording thread waits in WriteTAO or
  // FinishTAO. The writer stops after the WRITE command under way and the
  // sectors still queued are dropped; no flush follows (a drive flushing a
  // full buffer at a low speed takes longer than a stopping program may
  // wait), and the track is left open, so a CD-R stays incomplete. The
  // recording thread still ends the recording with FinishTAO, which then
  // answers failure. Not a slot of the interface: "CDR4BASE" reaches it by
  // its own entry.
  LONG AbortTAO();
  LONG CloseSession(LONG format, LONG closeFlag) override {
    return SessionClosedAnswer(DoCloseSession(format, closeFlag));
  }
  LONG StartSAO(I_CDRSessionLayout* layout, LONG flags) override;
  LONG WriteSAO(LONG trackType, LONG sectorSize, LONG count, const void* data) override;
  LONG FinishSAO() override;
  LONG FormatDiscFP(LONG packetSize) override;
  LONG StartFP(LONG track, LONG* packetSize, LONG* trackStart, LONG* trackSize) override;
  LONG WriteFP(LONG address, LONG count, const void* data) override;
  LONG FlushFP() override;
  LONG LastFailedFP() override;
  LONG FinishFP() override;
  LONG BlankDisc(LONG full) override;
  LONG IsIdle() override;

 protected:
  CdrResult DoCloseSession(LONG format, LONG closeFlag);

  // Probing at creation.
  void Probe();
  bool ProbeMmc3(DWORD* mask);
  bool ProbeStoneFord();
  LONG Speed(LONG code, bool write);
  LONG CurrentSpeed(bool write);
  LONG SetSpeed(LONG x, bool write);
  LONG StoneFordSpeedQuery(LONG x);

  // Write parameters (page 5).
  bool ReadPage5(WriteParametersPage* page, const char* errorText);
  bool SendPage5(const WriteParametersPage& page, const char* errorText);
  bool SetTAOWriteMode(LONG type, LONG flags, const BYTE* subheader, bool alternative = false);
  bool SetSAOWriteMode(LONG flags, LONG leaveOpen, LONG format);
  bool SetRAWWriteMode(LONG flags, LONG leaveOpen, LONG format, WriteParametersPage::DataBlockType blockType);
  void EnsureWriteParameters();

  // Shared write routines.
  bool SectorWrite(LONG address, LONG count, const void* data, DWORD sectorSize);
  bool CacheFlush();
  bool CloseTrack(LONG track);
  bool WaitWhileBusy(const char* what);
  void AddDiscInfoToDebugLog();
  void StopWriter();

  // The track-at-once writer.
  void MmcTaoStartThread();
  void DoTAOWrite();

  // The session-at-once writer and the raw writer it hands over to.
  void MmcSaoStartThread();
  void DoSAOWrite();
  bool SendCueSheetStep(int audioForm);
  bool SendSAOCDText(const BYTE* record);
  bool DoSAOWriteProcessTrack(std::size_t entry);
  bool SaoWrite(LONG address, LONG count, const BYTE* records, const int* forms);
  void DoRAWWrite();
  bool SetFPWriteMode(LONG packetSize);
  bool SetDvdWriteMode(LONG flags, WriteParametersPage::WriteType writeType);

  // Session-at-once state: the layout as written (after any pause the
  // drive's cue-sheet variant makes the writer insert), and those pauses.
  I_CDRSessionLayout* layout_ = nullptr;
  LONG saoFlags_ = 0;
  std::vector<CDRLayoutEntry> entries_;
  std::vector<CDRLayoutEntry> written_;
  struct Pause {
    LONG at, count, dataType;
  };
  std::vector<Pause> pauses_;
  std::vector<int> forms_;  // the cue data form of each written_ entry
  // Fixed-packet state.
  LONG fpFirst_ = 0, fpLast_ = 0, fpPacket_ = 0, fpFailed_ = -1;

  // Recording state (one recording at a time).
  int writeState_ = 0;  // 0 idle, 1 track-at-once, 2 session-at-once, 3 fixed packet
  LONG track_ = 0, type_ = 0, sectorSize_ = 0, flags_ = 0;
  BYTE code_[16] = {};
  bool hasCode_ = false;
  BYTE subheader_[8] = {};
  bool hasSubheader_ = false;
  LONG nextQueue_ = 0;
  LONG current_ = 0;
  std::atomic<bool> finishRequested_{false};
  std::atomic<bool> abortRequested_{false};
  // Guards the queue against an abort from another thread while the
  // recording thread makes or drops it; taoQueued_ tells that it is there.
  std::mutex abortMutex_;
  bool taoQueued_ = false;
  std::atomic<bool> writerDone_{false};
  std::atomic<bool> writerFailed_{false};
  std::unique_ptr<CDRQueueClass> queue_;
  std::thread writer_;
  bool page5Sent_ = false;

  // Last read position of ReadCD.
  LONG readNext_ = 0, readType_ = 0, readSize_ = 0;
};

// DVD recorders: slots 48-50 start, write and finish a DVD recording.
class MmcDvdClass : public MmcClass {
 public:
  using MmcClass::MmcClass;
  LONG ReadCD(LONG start, LONG count, void* buffer, LONG sectorType, LONG sectorSize,
              ComsSenseRecord* sense) override;
  virtual LONG StartDVD(LONG track, LONG flags, LONG size) = 0;  // 48
  // Writes 2048-byte sectors where the last write ended; 1 when no recording
  // was started or the write fails.
  virtual LONG WriteDVD(LONG count, const void* data);  // 49
  virtual LONG FinishDVD() = 0;                         // 50

 protected:
  // The common start of FinishDVD: leaves write mode and flushes the drive's
  // cache; false when no recording was started or the flush fails.
  bool EndDvdWrite();
};

class DvdRwClass : public MmcDvdClass {
 public:
  DvdRwClass(LONG device, std::unique_ptr<I_CDR4DriveDB> database);
  LONG StartDVD(LONG track, LONG flags, LONG size) override;
  LONG FinishDVD() override;
};

class DvdPrwClass : public MmcDvdClass {
 public:
  DvdPrwClass(LONG device, std::unique_ptr<I_CDR4DriveDB> database);
  LONG StartDVD(LONG track, LONG flags, LONG size) override;
  LONG FinishDVD() override;
  virtual LONG FormatDVD(LONG restart);    // 51
  virtual LONG CloseDVD(LONG suspend);     // 52
  virtual double FormatProgress();         // 53
};

class PlextorClass : public CdrClassPhysical {
 public:
  PlextorClass(LONG device, std::unique_ptr<I_CDR4DriveDB> database);
  ~PlextorClass() override;

  LONG GetDriveStatus() override { return StatusOfDrive(); }
  LONG QueryDisc(LONG what, DWORD* length, void* buffer) override { return DoQueryDisc(what, length, buffer); }
  LONG ReadTOC(void* buffer) override { return DoReadTOC(buffer); }
  LONG ReadSessionInfo(void* buffer) override { return DoReadSessionInfo(buffer); }
  LONG ReadATIP(void* buffer) override { return DoReadATIP(buffer); }
  LONG ReadCDText(void* buffer) override { return DoReadCDText(buffer); }
  LONG ReadMCN(void* buffer) override { return DoReadMCN(buffer); }
  LONG ReadFullTOC(void* buffer) override { return DoReadFullTOC(buffer); }
  LONG ReadCD(LONG start, LONG count, void* buffer, LONG sectorType, LONG sectorSize,
              ComsSenseRecord* sense) override;
  LONG ReadSectors(LONG count, void* buffer, ComsSenseRecord* sense) override;
  LONG ReadSpeedQuery(LONG code) override { return VendorSpeed(code); }
  LONG SpeedQuery(LONG code) override { return VendorSpeed(code); }
  LONG SetBlocking(LONG type) override;
  LONG Eject(LONG) override { return CDR_NOT_SUPPORTED; }
  LONG Load(LONG) override { return CDR_NOT_SUPPORTED; }
  LONG LockDrive() override { return CDR_NOT_SUPPORTED; }
  LONG UnlockDrive() override { return CDR_NOT_SUPPORTED; }
  LONG ReadDiscInfo(void* buffer) override { return DoReadDiscInfo(buffer); }
  LONG ReadTrackInfo(LONG track, void* buffer) override { return DoReadTrackInfo(track, buffer); }
  LONG ReserveTrack(LONG, LONG) override { return CDR_NOT_SUPPORTED; }
  LONG StartTAO(LONG, LONG, LONG, const BYTE*, const BYTE*) override { return CDR_NOT_SUPPORTED; }
  LONG WriteTAO(LONG, LONG, const void*) override { return CDR_NOT_SUPPORTED; }
  LONG FinishTAO() override { return CDR_NOT_SUPPORTED; }
  LONG CloseSession(LONG, LONG) override { return SessionClosedAnswer(CDR_NOT_SUPPORTED); }
  LONG StartSAO(I_CDRSessionLayout*, LONG) override { return CDR_NOT_SUPPORTED; }
  LONG WriteSAO(LONG, LONG, LONG, const void*) override { return CDR_NOT_SUPPORTED; }
  LONG FinishSAO() override { return CDR_NOT_SUPPORTED; }
  LONG FormatDiscFP(LONG) override { return CDR_NOT_SUPPORTED; }
  LONG StartFP(LONG, LONG*, LONG*, LONG*) override { return CDR_NOT_SUPPORTED; }
  LONG WriteFP(LONG, LONG, const void*) override { return CDR_NOT_SUPPORTED; }
  LONG FlushFP() override { return CDR_NOT_SUPPORTED; }
  LONG LastFailedFP() override { return -1; }
  LONG FinishFP() override { return CDR_NOT_SUPPORTED; }
  LONG BlankDisc(LONG) override { return CDR_NOT_SUPPORTED; }
  LONG IsIdle() override { return StatusOfDrive() == CDR_STATUS_READY ? 1 : 0; }

 private:
  LONG VendorSpeed(LONG code);
  bool ReadVendorPage(BYTE page[4]);
  bool WriteVendorPage(const BYTE page[4]);

  DWORD blockSize_ = 0;     // the block size found at creation
  DWORD currentBlock_ = 0;  // the block size set now
  LONG readNext_ = 0, readType_ = 0, readSize_ = 0;
};

// Creation order of CDR4_CreateDrive, and its probes.
bool IsMmcDevice(LONG device);
bool IsDvdDevice(LONG device, int feature, const char* name);

}  // namespace discpak
