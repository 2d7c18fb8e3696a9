// Fixed-packet writing on CD-RW: FormatDiscFP writes a blank disc full of
// empty packets and closes it; afterwards packets are written anywhere in
// the track.
#include <cstring>
#include <memory>
#include <utility>
#include <vector>

#include "disclib/recorder/CdrCommands.h"
#include "disclib/recorder/CdrDrive.h"
#include "disclib/recorder/CdrUtil.h"
#include "disclib/recorder/ComsLog.h"

namespace discpak {

namespace {
DWORD HostLong(const BYTE* p) {
  DWORD v;
  std::memcpy(&v, p, 4);
  return v;
}
}  // namespace

bool MmcClass::SetFPWriteMode(LONG packetSize) {
  using Page = WriteParametersPage;
  Page page;
  if (!ReadPage5(&page, "SetFPWriteMode:Error reading write parameters page.")) return false;
  page.SetWriteType(Page::kPacket);
  page.SetTrackMode(Page::kDataIncremental);
  page.SetFixedPacket(true);
  page.SetDataBlockType(Page::kBlockMode1);
  page.SetPacketSize(static_cast<DWORD>(packetSize));
  COMS_Log("SetFPWriteMode: Sending mode page");
  return SendPage5(page, "SetFPWriteMode: Error sending write parameters page.");
}

LONG MmcClass::FormatDiscFP(LONG packetSize) {
  ComsLogF("FormatDiscFP: packetsize %ld", static_cast<long>(packetSize));
  if (!(caps_ & CDRF_CDRW)) {
    COMS_Log("FormatDiscFP: not a CD-RW drive");
    return CDR_NOT_SUPPORTED;
  }
  // The packet size is checked before anything is sent: a size of 0 would
  // never advance the format loop.
  if (packetSize <= 0 || packetSize >= 33) {
    COMS_Log("FormatDiscFP: packet size too large");
    return CDR_FAILED;
  }
  if (writeState_ != 0) {
    SetError("Already in write mode.", nullptr);
    return CDR_FAILED;
  }
  ClearError();
  BYTE info[32];
  if (DoReadDiscInfo(info) != CDR_OK) {
    COMS_Log("FormatDiscFP: failed ReadDiscInfo");
    return CDR_FAILED;
  }
  if ((info[2] & 0x03) != 0) {
    COMS_Log("FormatDiscFP: disc not blank");
    return CDR_FAILED;
  }
  if (!(info[2] & 0x10)) {
    COMS_Log("FormatDiscFP: disc not erasable/RW");
    return CDR_FAILED;
  }
  if (!SetFPWriteMode(packetSize)) {
    COMS_Log("FormatDiscFP: error setting fixed packet mode");
    return CDR_FAILED;
  }
  BYTE track[36];
  if (DoReadTrackInfo(1, track) != CDR_OK) {
    COMS_Log("FormatDiscFP: error reading track info");
    return CDR_FAILED;
  }
  // Whole packets from address 0 through the free blocks; a remainder
  // smaller than a packet stays unwritten.
  const LONG free = static_cast<LONG>(HostLong(track + 16));
  std::vector<BYTE> zeros(static_cast<std::size_t>(packetSize) * 2048, 0);
  for (LONG address = 0; address + packetSize <= free; address += packetSize) {
    if (!SectorWrite(address, packetSize, zeros.data(), 2048)) {
      COMS_Log("FormatDiscFP: write error during format");
      return CDR_FAILED;
    }
  }
  if (!CacheFlush()) {
    COMS_Log("FormatDiscFP: error flushing buffers");
    return CDR_FAILED;
  }
  if (!CloseTrack(1) || DoCloseSession(WriteParametersPage::kCdDaOrCdRom, 1) != CDR_OK) {
    COMS_Log("FormatDiscFP: error closing session");
    return CDR_FAILED;
  }
  return CDR_OK;
}

LONG MmcClass::StartFP(LONG track, LONG* packetSize, LONG* trackStart, LONG* trackSize) {
  if (!(caps_ & CDRF_CDRW)) return CDR_NOT_SUPPORTED;
  if (writeState_ != 0) {
    SetError("Already in write mode.", nullptr);
    return CDR_FAILED;
  }
  ClearError();
  BYTE info[36];
  if (DoReadTrackInfo(track, info) != CDR_OK) return CDR_FAILED;
  if ((info[6] & 0x30) != 0x30) return CDR_FAILED;  // not a fixed-packet track
  const LONG packet = static_cast<LONG>(HostLong(info + 20));
  if (packet <= 0 || !SetFPWriteMode(packet)) return CDR_FAILED;
  fpFirst_ = static_cast<LONG>(HostLong(info + 8));
  fpLast_ = fpFirst_ + static_cast<LONG>(HostLong(info + 24)) - 1;
  fpPacket_ = packet;
  fpFailed_ = -1;
  writeState_ = 3;
  if (packetSize) *packetSize = packet;
  if (trackStart) *trackStart = fpFirst_;
  if (trackSize) *trackSize = fpLast_ - fpFirst_ + 1;
  return CDR_OK;
}

LONG MmcClass::WriteFP(LONG address, LONG count, const void* data) {
  if (writeState_ != 3) return CDR_FAILED;
  // Whole packets inside the track only; nothing is sent otherwise.
  if ((address - fpFirst_) % fpPacket_ != 0 || count <= 0 || count % fpPacket_ != 0 || address < fpFirst_ ||
      address + count - 1 > fpLast_) {
    return CDR_FAILED;
  }
  if (!SectorWrite(address, count, data, 2048)) {
    fpFailed_ = address;
    return CDR_FAILED;
  }
  return CDR_OK;
}

LONG MmcClass::FlushFP() {
  if (CacheFlush()) return CDR_OK;
  fpFailed_ = 0;
  return CDR_FAILED;
}

LONG MmcClass::LastFailedFP() { return fpFailed_; }

LONG MmcClass::FinishFP() {
  if (writeState_ != 3) return CDR_FAILED;
  const LONG r = FlushFP();
  writeState_ = 0;
  return r;
}

// ---- DVD recorders -----------------------------------------------------------------------

bool MmcClass::SetDvdWriteMode(LONG flags, WriteParametersPage::WriteType writeType) {
  using Page = WriteParametersPage;
  Page page;
  if (!ReadPage5(&page, "SetDvdWriteMode:Error reading write parameters page.")) return false;
  page.SetWriteType(writeType);
  page.SetTestWrite(flags & CDR_TESTWRITE);
  page.SetUnderrunProtection((flags & CDR_BURNPROOF) && (caps_ & CDRF_BURNPROOF));
  page.SetTrackMode(Page::kData);
  page.SetDataBlockType(Page::kBlockMode1);
  COMS_Log("SetDvdWriteMode: Sending mode page");
  return SendPage5(page, "SetDvdWriteMode: Error sending write parameters page.");
}

LONG MmcDvdClass::ReadCD(LONG start, LONG count, void* buffer, LONG sectorType, LONG sectorSize,
                         ComsSenseRecord* sense) {
  if (sectorType != CDR_READ_DVD) return MmcClass::ReadCD(start, count, buffer, sectorType, sectorSize, sense);
  if (count < 0) return CDR_NOT_SUPPORTED;
  DWORD length = static_cast<DWORD>(count) * 2048;
  return CmdRead(device_, Cdb(cmd::kRead12).Set(cmd::kAddress, static_cast<DWORD>(start)).Length(static_cast<DWORD>(count)),
                 buffer, &length, sense)
             ? CDR_OK
             : CDR_FAILED;
}

LONG MmcDvdClass::WriteDVD(LONG count, const void* data) {
  if (writeState_ != 4) return CDR_FAILED;
  if (!SectorWrite(current_, count, data, 2048)) return CDR_FAILED;
  current_ += count;
  return CDR_OK;
}

bool MmcDvdClass::EndDvdWrite() {
  COMS_Log("FinishDVD called.");
  if (writeState_ != 4) return false;
  writeState_ = 0;
  if (!CacheFlush()) {
    COMS_Log("FinishDVD: Error flush failure");
    return false;
  }
  return true;
}

DvdRwClass::DvdRwClass(LONG device, std::unique_ptr<I_CDR4DriveDB> database)
    : MmcDvdClass(device, std::move(database)) {
  caps_ |= CDRF_DVDR | CDRF_DVDRW;
  COMS_Log("DvdRwClass: Created with CDRF_DVDR, CDRF_DVDRW");
}

LONG DvdRwClass::StartDVD(LONG track, LONG flags, LONG size) {
  if (writeState_ != 0) {
    SetError("Already in write mode.", nullptr);
    return CDR_FAILED;
  }
  ClearError();
  if (!SetDvdWriteMode(flags, WriteParametersPage::kSessionAtOnce)) return CDR_FAILED;
  BYTE info[36];
  if (DoReadTrackInfo(track, info) != CDR_OK) {
    SetError("Invalid track number.", nullptr);
    return CDR_FAILED;
  }
  DWORD nwa;
  std::memcpy(&nwa, info + 12, 4);
  current_ = static_cast<LONG>(nwa);
  ComsSenseRecord sense;
  if (!Cmd(device_, Cdb(cmd::kReserveTrack).Length(static_cast<DWORD>(size)), &sense)) {
    SetError("Reserve track failed", &sense);
    return CDR_FAILED;
  }
  writeState_ = 4;
  return CDR_OK;
}

LONG DvdRwClass::FinishDVD() {
  if (!EndDvdWrite()) return CDR_FAILED;
  COMS_Log("FinishDVD: Finished");
  return CDR_OK;
}

DvdPrwClass::DvdPrwClass(LONG device, std::unique_ptr<I_CDR4DriveDB> database)
    : MmcDvdClass(device, std::move(database)) {
  caps_ |= CDRF_DvdPrw;
  COMS_Log("Dvd+RwClass: Created with CDRF_DvdPrw");
}

LONG DvdPrwClass::StartDVD(LONG, LONG flags, LONG) {
  if (flags != 0) return CDR_NOT_SUPPORTED;
  if (writeState_ != 0) {
    SetError("Already in write mode.", nullptr);
    return CDR_FAILED;
  }
  ClearError();
  if (!SetDvdWriteMode(flags, WriteParametersPage::kTrackAtOnce)) return CDR_FAILED;
  if (FormatDVD(1) != CDR_OK) return CDR_FAILED;
  current_ = 0;
  writeState_ = 4;
  return CDR_OK;
}

LONG DvdPrwClass::FinishDVD() {
  if (!EndDvdWrite()) return CDR_FAILED;
  if (CloseDVD(1) != CDR_OK) COMS_Log("FinishDVD: Error suspending format, but ok");
  COMS_Log("FinishDVD: completed");
  return CDR_OK;
}

// FORMAT UNIT of the whole disc as DVD+RW (format type 0x26), restarting a
// format that was suspended. The parameter list: a 4-byte header that gives
// the descriptor's length, then one format descriptor (number of blocks,
// the format type in bits 2-7 of byte 4, and the restart bit of the DVD+RW
// format's parameter).
LONG DvdPrwClass::FormatDVD(LONG restart) {
  constexpr DWORD kDvdPlusRwBlocks = 0x00230540;
  constexpr BYTE kFormatDvdPlusRw = 0x26;
  BYTE list[12] = {};
  list[3] = 8;
  PutBE32(list + 4, kDvdPlusRwBlocks);
  list[8] = kFormatDvdPlusRw << 2;
  list[11] = restart ? 1 : 0;
  ComsSenseRecord sense;
  if (!CmdWrite(device_, Cdb(cmd::kFormatUnit), list, sizeof list, &sense)) {
    SetError("Format failed", &sense);
    return CDR_FAILED;
  }
  return CDR_OK;
}

LONG DvdPrwClass::CloseDVD(LONG) {
  return Cmd(device_, Cdb(cmd::kCloseTrackSession).Set(cmd::kCloseFunction, cmd::kCloseSuspendFormat)) ? CDR_OK
                                                                                                         : CDR_FAILED;
}

double DvdPrwClass::FormatProgress() {
  Cmd(device_, Cdb(cmd::kTestUnitReady));
  BYTE sense[32];
  if (!RequestSense(device_, sense)) return 0.0;
  if (!(sense[15] & 0x80)) return 1.0;
  return ((sense[16] << 8) | sense[17]) / 65536.0;
}

}  // namespace discpak
