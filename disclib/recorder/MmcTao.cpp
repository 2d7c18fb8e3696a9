// Track-at-once recording of MmcClass, and the routines every write mode
// shares: the write parameters page, the sector write, the cache flush,
// closing a track or the session, and the disc information in the log.
//
// The caller's thread only fills the sector queue; MmcTaoStartThread drains
// it with WRITE(10) commands of up to 64 KiB. Both wait on the queue's
// condition (room, an entry, the finish, the writer's end), never in sleep
// loops; only a drive that answers "busy" is asked again after a pause, and
// never past the device wait limit.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>

#include "disclib/recorder/CdrCommands.h"
#include "disclib/recorder/CdrDrive.h"
#include "disclib/recorder/CdrUtil.h"
#include "disclib/recorder/ComsLog.h"

namespace discpak {

namespace {

DWORD HostLongAt(const BYTE* p) {
  DWORD v;
  std::memcpy(&v, p, 4);
  return v;
}

}  // namespace

// ---- Write parameters ---------------------------------------------------------------

bool MmcClass::ReadPage5(WriteParametersPage* page, const char* errorText) {
  ComsSenseRecord sense = {};
  for (int attempt = 0; attempt < 2; ++attempt) {
    if (ModeSense10(device_, cmd::kPageWriteParameters, page->Data(), WriteParametersPage::kCapacity,
                    page->LengthOut(), &sense) &&
        page->Length() >= 16) {
      return true;
    }
  }
  SetError(errorText, &sense);
  return false;
}

bool MmcClass::SendPage5(const WriteParametersPage& page, const char* errorText) {
  ComsSenseRecord sense = {};
  for (int attempt = 0; attempt < 2; ++attempt) {
    if (ModeSelect10(device_, page.Data(), page.Length(), &sense)) {
      page5Sent_ = true;
      return true;
    }
  }
  SetError(errorText, &sense);
  return false;
}

bool MmcClass::SetTAOWriteMode(LONG type, LONG flags, const BYTE* subheader, bool alternative) {
  using Page = WriteParametersPage;
  Page page;
  if (!ReadPage5(&page, "SetTAOWriteMode: Error reading write parameters page.")) return false;
  page.SetWriteType(Page::kTrackAtOnce);
  page.SetTestWrite(flags & CDR_TESTWRITE);
  page.SetUnderrunProtection((flags & CDR_BURNPROOF) && (caps_ & CDRF_BURNPROOF));
  switch (type) {
    case CDR_TRACK_AUDIO:
      page.SetTrackMode(Page::kAudio);
      page.SetDataBlockType(Page::kBlockRaw);
      break;
    case CDR_TRACK_MODE1:
      page.SetTrackMode(Page::kData);
      page.SetDataBlockType(Page::kBlockMode1);
      break;
    case CDR_TRACK_MODE2_FORM1:
      // With the subheader in the page the drive takes 2048-byte blocks,
      // else 2056-byte blocks that carry it.
      page.SetTrackMode(Page::kData);
      page.SetDataBlockType((subheader || alternative) ? Page::kBlockMode2Form1 : Page::kBlockMode2Form1WithSubheader);
      page.SetSessionFormat(Page::kCdRomXa);
      break;
    case CDR_TRACK_MODE2_FORM2:
      page.SetTrackMode(Page::kData);
      page.SetDataBlockType(Page::kBlockMode2MixedWithSubheader);
      page.SetSessionFormat(Page::kCdRomXa);
      break;
    default:
      return false;
  }
  page.SetSubheader(subheader);
  page.SetAudioPauseLength(150);
  COMS_Log("SetTAOWriteMode: Sending mode page");
  return SendPage5(page, "SetTAOWriteMode: Error sending write parameters page.");
}

bool MmcClass::SetSAOWriteMode(LONG flags, LONG leaveOpen, LONG format) {
  using Page = WriteParametersPage;
  if (flags & CDR_TESTWRITE) COMS_Log("SetSAOWriteMode: test mode on");
  if (flags & CDR_BURNPROOF) COMS_Log("SetSAOWriteMode: burnproof on");
  if (leaveOpen) COMS_Log("SetSAOWriteMode: leave session open");
  ComsLogF("SetSAOWriteMode: session type %02lx", static_cast<long>(format));
  Page page;
  if (!ReadPage5(&page, "SetSAOWriteMode: Error reading write parameters page.")) return false;
  page.SetWriteType(Page::kSessionAtOnce);
  page.SetTestWrite(flags & CDR_TESTWRITE);
  page.SetUnderrunProtection((flags & CDR_BURNPROOF) && (caps_ & CDRF_BURNPROOF));
  page.SetTrackMode(Page::kData);
  page.SetMultiSession(leaveOpen ? Page::kNextSessionAllowed : Page::kNoNextSession);
  page.SetDataBlockType(Page::kBlockMode1);
  page.SetSessionFormat(static_cast<Page::SessionFormat>(format));
  page.SetAudioPauseLength(150);
  COMS_Log("SetSAOWriteMode: Sending mode page");
  return SendPage5(page, "SetSAOWriteMode: Error sending write parameters page.");
}

bool MmcClass::SetRAWWriteMode(LONG flags, LONG leaveOpen, LONG format, WriteParametersPage::DataBlockType blockType) {
  using Page = WriteParametersPage;
  if (flags & CDR_TESTWRITE) COMS_Log("SetRAWWriteMode: test mode on");
  if (flags & CDR_BURNPROOF) COMS_Log("SetRAWWriteMode: burnproof on");
  if (leaveOpen) COMS_Log("SetRAWWriteMode: leave session open");
  ComsLogF("SetRAWWriteMode: session type %02lx", static_cast<long>(format));
  Page page;
  if (!ReadPage5(&page, "SetRAWWriteMode:Error reading write parameters page.")) return false;
  page.SetWriteType(Page::kRaw);
  page.SetTestWrite(flags & CDR_TESTWRITE);
  page.SetUnderrunProtection((flags & CDR_BURNPROOF) && (caps_ & CDRF_BURNPROOF));
  page.SetTrackMode(Page::kData);
  page.SetMultiSession(leaveOpen ? Page::kNextSessionAllowed : Page::kNoNextSession);
  page.SetDataBlockType(blockType);
  page.SetSessionFormat(static_cast<Page::SessionFormat>(format));
  page.SetAudioPauseLength(150);
  COMS_Log("SetRAWWriteMode: Sending mode page");
  return SendPage5(page, "SetRAWWriteMode: Error sending write parameters page.");
}

// A recorder gets a valid write parameters page before its first disc or
// track information read.
void MmcClass::EnsureWriteParameters() {
  if (page5Sent_ || !(caps_ & (CDRF_CDR | CDRF_CDRW | CDRF_DVDR))) return;
  page5Sent_ = true;  // once in the object's life, whatever the drive says
  SetTAOWriteMode(CDR_TRACK_AUDIO, 0, nullptr);
}

LONG MmcClass::ReadDiscInfo(void* buffer) {
  EnsureWriteParameters();
  return DoReadDiscInfo(buffer);
}

LONG MmcClass::ReadTrackInfo(LONG track, void* buffer) {
  EnsureWriteParameters();
  return DoReadTrackInfo(track, buffer);
}

LONG MmcClass::ReserveTrack(LONG size, LONG trackType) {
  if (!SetTAOWriteMode(trackType, 0, nullptr)) return CDR_FAILED;
  return Cmd(device_, Cdb(cmd::kReserveTrack).Length(static_cast<DWORD>(size))) ? CDR_OK : CDR_FAILED;
}

// ---- Shared write routines ------------------------------------------------------------------

namespace {
// The failure text of a wait on a busy drive that ran out.
std::string StillBusyText(const char* what, std::int64_t limitMs) {
  char text[128];
  std::snprintf(text, sizeof text, "%s: the drive was still busy after %lld s", what,
                static_cast<long long>((limitMs + 999) / 1000));
  return text;
}
}  // namespace

bool MmcClass::SectorWrite(LONG address, LONG count, const void* data, DWORD sectorSize) {
  if (count == 0) return true;
  const DWORD a = static_cast<DWORD>(address);
  const auto deadline = DeviceWriteDeadline();
  for (;;) {
    ComsSenseRecord sense;
    if (CmdWrite(device_, Cdb(cmd::kWrite10).Set(cmd::kAddress, a).Length(static_cast<DWORD>(count)), data,
                 static_cast<DWORD>(count) * sectorSize, &sense)) {
      return true;
    }
    if (!IsBusy(sense)) {
      SetError("Write failed", &sense);
      return false;
    }
    if (DeviceWaitPassed(deadline)) {
      SetError(StillBusyText("Write failed", std::min(DeviceWaitLimitMs(), kWriteBusyLimitMs)).c_str(), &sense);
      return false;
    }
    DeviceWaitPause(std::chrono::milliseconds(10));
  }
}

// Asks again every 100 ms while the drive is busy, up to the wait limit.
// True when the drive came back without a sense code.
bool MmcClass::WaitWhileBusy(const char* what) {
  COMS_Log("Waiting for long write to finish");
  const auto deadline = DeviceWaitDeadline();
  ComsSenseRecord sense = {};
  do {
    DeviceWaitPause(std::chrono::milliseconds(100));
    if (Cmd(device_, Cdb(cmd::kTestUnitReady), &sense)) return true;
    if (!IsBusy(sense)) return SenseCode(sense) == 0;
  } while (!DeviceWaitPassed(deadline));
  SetError(StillBusyText(what, DeviceWaitLimitMs()).c_str(), &sense);
  return false;
}

bool MmcClass::CacheFlush() {
  ComsSenseRecord sense;
  if (Cmd(device_, Cdb(cmd::kSynchronizeCache), &sense)) return true;
  if (IsBusy(sense)) {
    COMS_Log("Waiting for long write to finish");
    const auto deadline = DeviceWaitDeadline();
    while (!DeviceWaitPassed(deadline)) {
      DeviceWaitPause(std::chrono::milliseconds(100));
      if (Cmd(device_, Cdb(cmd::kSynchronizeCache), &sense)) return true;
      if (!IsBusy(sense)) {
        if (SenseCode(sense) == 0) return true;
        break;
      }
    }
    if (IsBusy(sense)) {
      SetError(StillBusyText("Flush failed", DeviceWaitLimitMs()).c_str(), &sense);
      return false;
    }
  }
  SetError("Flush failed", &sense);
  return false;
}

bool MmcClass::CloseTrack(LONG track) {
  ComsSenseRecord sense;
  if (Cmd(device_,
          Cdb(cmd::kCloseTrackSession)
              .Set(cmd::kCloseFunction, cmd::kCloseTrack)
              .Set(cmd::kCloseTrackNumber, static_cast<DWORD>(track)),
          &sense)) {
    return true;
  }
  if (IsBusy(sense)) {
    if (WaitWhileBusy("Close track failed")) return true;
    SetError("Close track failed", &sense);
    return false;
  }
  SetError("Close track failed", &sense);
  return false;
}

CdrResult MmcClass::DoCloseSession(LONG format, LONG closeFlag) {
  using Page = WriteParametersPage;
  if (format != Page::kCdDaOrCdRom && format != Page::kCdI && format != Page::kCdRomXa) {
    COMS_Log("Invalid session type.");
    return CDR_FAILED;
  }
  Page page;
  if (!ReadPage5(&page, "Error reading write parameters page from drive.")) return CDR_FAILED;
  page.SetMultiSession(closeFlag ? Page::kNoNextSession : Page::kNextSessionAllowed);
  page.SetSessionFormat(static_cast<Page::SessionFormat>(format));
  if (!SendPage5(page, "Error sending write parameters page to drive.")) return CDR_FAILED;
  ComsSenseRecord sense = {};
  if (Cmd(device_, Cdb(cmd::kCloseTrackSession).Set(cmd::kCloseFunction, cmd::kCloseSession), &sense)) return CDR_OK;
  if (IsBusy(sense)) {
    if (WaitWhileBusy("Close session failed")) return CDR_OK;
    SetError("Close session failed", &sense);
    return CDR_FAILED;
  }
  if (format == Page::kCdRomXa) {
    COMS_Log("CloseSession: try normal session type");
    const bool latchedBefore = ErrorLatched();
    if (DoCloseSession(Page::kCdDaOrCdRom, closeFlag) == CDR_OK) return CDR_OK;
    // The second try's own refusal (often of its write parameters) is not
    // the cause: the drive's answer to the CLOSE SESSION is.
    if (!latchedBefore) {
      ClearError();
      SetError("Close session failed", &sense);
    }
    return CDR_FAILED;
  }
  SetError("Close session failed", &sense);
  return CDR_FAILED;
}

void MmcClass::AddDiscInfoToDebugLog() {
  COMS_Log("AddDiscInfoToDebugLog ------------------------------");
  BYTE info[32];
  if (DoReadDiscInfo(info) == CDR_OK) {
    ComsLogF("discstatus %02x firsttrack %02x numsessions %02x", info[2], info[3], info[4]);
    ComsLogF("firsttracksess %02x lasttracksess %02x flags %02x", info[5], info[6], info[7]);
    ComsLogF("disctype %02x discid %08lx", info[8], static_cast<unsigned long>(GetBE32(info + 12)));
    ComsLogF("leadinstart %08lx leadoutstart %08lx", static_cast<unsigned long>(GetBE32(info + 16)),
             static_cast<unsigned long>(GetBE32(info + 20)));
  } else {
    COMS_Log("AddDiscInfoToDebugLog: FAILED");
  }
  COMS_Log("AddDiscInfoToDebugLog ----------- ATIP -------------");
  BYTE atip[32];
  if (DoReadATIP(atip) == CDR_OK) {
    ComsLogF("wrtpwrspd %02x uru %02x typea123 %02x", atip[4], atip[5], atip[6]);
    ComsLogF("leadin %02x %02x %02x leadout %02x %02x %02x", atip[8], atip[9], atip[10], atip[12], atip[13],
             atip[14]);
    ComsLogF("clvspeeds %02x powerfactor %02x erasefactor %02x", atip[16], atip[20], atip[24]);
  } else {
    COMS_Log("AddDiscInfoToDebugLog: ATIP FAILED");
  }
  COMS_Log("AddDiscInfoToDebugLog ----------- TRACK INFO -------");
  BYTE track[36];
  if (DoReadTrackInfo(255, track) == CDR_OK) {
    ComsLogF("tracknum %02x sessionnum %02x dmg_copy %02x", track[2], track[3], track[5]);
    ComsLogF("rt_blank %02x lra_nwa %02x start %08lx", track[6], track[7],
             static_cast<unsigned long>(HostLongAt(track + 8)));
    ComsLogF("nwa %08lx free %08lx", static_cast<unsigned long>(HostLongAt(track + 12)),
             static_cast<unsigned long>(HostLongAt(track + 16)));
    ComsLogF("fixedsize %08lx tracksize %08lx", static_cast<unsigned long>(HostLongAt(track + 20)),
             static_cast<unsigned long>(HostLongAt(track + 24)));
    ComsLogF("lra %08lx", static_cast<unsigned long>(HostLongAt(track + 28)));
  }
}

// ---- Track-at-once ---------------------------------------------------------------------------

LONG MmcClass::StartTAO(LONG track, LONG type, LONG flags, const BYTE* code16, const BYTE* subheader8) {
  ComsLogF("StartTAO %lx %lx %lx %x", static_cast<unsigned long>(track), static_cast<unsigned long>(type),
           static_cast<unsigned long>(flags), code16 ? 0 : 1);
  if (writeState_ != 0) {
    SetError("Already in write mode.", nullptr);
    return CDR_FAILED;
  }
  ClearError();
  hasCode_ = hasSubheader_ = false;
  std::memset(code_, 0, sizeof code_);
  std::memset(subheader_, 0, sizeof subheader_);
  LONG size = 0;
  switch (type) {
    case CDR_TRACK_AUDIO: size = 2352; break;
    case CDR_TRACK_MODE1: size = 2048; break;
    case CDR_TRACK_MODE2_FORM1: size = subheader8 ? 2048 : 2056; break;
    case CDR_TRACK_MODE2_FORM2: size = 2332; break;
    default:
      SetError("Track mode not supported.", nullptr);
      return CDR_NOT_SUPPORTED;
  }
  BYTE info[36];
  if (ReadTrackInfo(track, info) != CDR_OK) {
    SetError("Invalid track number.", nullptr);
    return CDR_FAILED;
  }
  if (!(info[6] & 0x40) || (info[6] & 0x20)) {
    SetError("Track is not blank or is in packet mode.", nullptr);
    return CDR_FAILED;
  }
  nextQueue_ = current_ = static_cast<LONG>(HostLongAt(info + 12));
  if (subheader8) {
    std::memcpy(subheader_, subheader8, 8);
    hasSubheader_ = true;
  }
  flags_ = flags;
  if ((flags & CDR_CODE) && code16) {
    std::memcpy(code_, code16, 16);
    hasCode_ = true;
  }
  track_ = track;
  type_ = type;
  sectorSize_ = size;
  finishRequested_ = false;
  writerDone_ = false;
  writerFailed_ = false;
  AddDiscInfoToDebugLog();
  DWORD entries = 2048;
  if (flags & CDR_NOBUF) {
    COMS_Log("StartTAO: CDR_NOBUF flag disabled internal buffer");
    entries = 32;
  }
  {
    std::lock_guard lock(abortMutex_);
    abortRequested_ = false;
    try {
      queue_ = std::make_unique<CDRQueueClass>(entries, static_cast<DWORD>(size));
    } catch (long) {
      SetError("Out of memory.", nullptr);
      return CDR_FAILED;
    }
    taoQueued_ = true;
  }
  writeState_ = 1;
  writer_ = std::thread([this] { MmcTaoStartThread(); });
  return CDR_OK;
}

LONG MmcClass::WriteTAO(LONG sectorSize, LONG count, const void* data) {
  if (writeState_ != 1 || writerDone_) return CDR_FAILED;
  if (sectorSize != sectorSize_) {
    COMS_Log("WriteTAO: -------- INVALID SECTOR SIZE -----------");
    return CDR_FAILED;
  }
  const BYTE* p = static_cast<const BYTE*>(data);
  for (LONG i = 0; i < count; ++i) {
    for (;;) {
      const LONG put = queue_->Put(static_cast<DWORD>(track_), static_cast<DWORD>(nextQueue_),
                                   static_cast<DWORD>(type_), static_cast<DWORD>(sectorSize),
                                   p + static_cast<std::size_t>(i) * sectorSize);
      if (put == CDRQ_PUT_STORED) break;
      if (put == CDRQ_PUT_TOO_LONG) return CDR_FAILED;
      if (!queue_->WaitNotFull([this] { return writerDone_.load(); })) return CDR_FAILED;
    }
    ++nextQueue_;
  }
  return CDR_OK;
}

LONG MmcClass::FinishTAO() {
  COMS_Log("Finish TAO called.");
  if (writeState_ != 1) return CDR_FAILED;
  StopWriter();
  writeState_ = 0;
  {
    std::lock_guard lock(abortMutex_);
    taoQueued_ = false;
    queue_.reset();
  }
  if (abortRequested_) {
    COMS_Log("FinishTAO: aborted, the queued sectors dropped.");
    return CDR_FAILED;
  }
  return writerFailed_ ? CDR_FAILED : CDR_OK;
}

LONG MmcClass::AbortTAO() {
  std::lock_guard lock(abortMutex_);
  if (!taoQueued_) return CDR_FAILED;
  COMS_Log("Abort TAO called.");
  abortRequested_ = true;
  queue_->Wake();
  return CDR_OK;
}

void MmcClass::StopWriter() {
  if (!writer_.joinable()) return;
  finishRequested_ = true;
  if (queue_) queue_->Wake();
  writer_.join();
}

void MmcClass::MmcTaoStartThread() {
  COMS_Log("Track-at-once thread started.");
  try {
    DoTAOWrite();
    if (!abortRequested_ && !CacheFlush()) writerFailed_ = true;
  } catch (...) {
    COMS_Log("MmcTaoStartThread caught exception!");
    writerFailed_ = true;
    CacheFlush();
  }
  writerDone_ = true;
  queue_->Wake();
}

void MmcClass::DoTAOWrite() {
  std::vector<BYTE> buffer(65536);
  bool alternative = false;
  if (!SetTAOWriteMode(type_, flags_, hasSubheader_ ? subheader_ : nullptr)) {
    if (sectorSize_ != 2056) {
      writerFailed_ = true;
      return;
    }
    COMS_Log("DoTAOWrite: Will try alt write mode");
    alternative = true;
  }
  COMS_Log("DoTAOWrite: Waiting for queue to fill");
  auto ending = [this] { return finishRequested_.load() || abortRequested_.load(); };
  queue_->WaitFull(ending);
  // The thread would be raised to the highest priority here; an ordinary
  // process cannot raise its threads above the others on this platform.
  const LONG perWrite = alternative ? 65536 / 2056 : 65536 / sectorSize_;
  const DWORD blockSize = alternative ? 2048 : static_cast<DWORD>(sectorSize_);
  bool alternativeSet = false;
  bool ended = false;
  while (!ended) {
    // An abort is looked at before every WRITE command: it ends the track
    // where the writing is, whatever is still queued.
    if (abortRequested_) {
      COMS_Log("DoTAOWrite: Aborted by the caller");
      return;
    }
    LONG n = 0;
    while (n < perWrite) {
      CDRQueueEntry* e = queue_->Front();
      if (!e) {
        if (n > 0 && finishRequested_) break;
        if (!queue_->WaitNotEmpty(ending)) {
          ended = true;
          break;
        }
        continue;
      }
      if (alternative) {
        if (!alternativeSet) {
          alternativeSet = true;
          if (!SetTAOWriteMode(type_, flags_, e->data, true)) {
            COMS_Log("DoTAOWrite: Alt write mode failed");
            writerFailed_ = true;
            return;
          }
        }
        std::memcpy(buffer.data() + static_cast<std::size_t>(n) * 2048, e->data + 8, 2048);
      } else {
        std::memcpy(buffer.data() + static_cast<std::size_t>(n) * sectorSize_, e->data, sectorSize_);
      }
      queue_->Release(e);
      ++n;
    }
    if (n == 0 || abortRequested_) continue;
    if (!SectorWrite(current_, n, buffer.data(), blockSize)) {
      COMS_Log("DoTAOWrite: Aborted write failure");
      writerFailed_ = true;
      return;
    }
    current_ += n;
  }
  if (abortRequested_) {
    COMS_Log("DoTAOWrite: Aborted by the caller");
    return;
  }
  if (CacheFlush()) {
    COMS_Log("DoTAOWrite: Finished");
  } else {
    COMS_Log("DoTAOWrite: Aborted flush failure");
    writerFailed_ = true;
  }
}

}  // namespace discpak
