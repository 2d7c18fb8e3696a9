// Fixed-packet writing on CD-RW: FormatDiscFP writes a blank disc full of
// empty packets and closes it; afterwards packets are written anywhere in
// the track.
#include <cstring>
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
  BYTE page[128];
  DWORD length = 0;
  if (!ReadPage5(page, &length, "SetFPWriteMode:Error reading write parameters page.")) return false;
  page[2] = 0x00;
  page[3] = 0x25;
  page[4] = 8;
  PutBE32(page + 10, static_cast<DWORD>(packetSize));
  COMS_Log("SetFPWriteMode: Sending mode page");
  return SendPage5(page, length, "SetFPWriteMode: Error sending write parameters page.");
}

LONG MmcClass::FormatDiscFP(LONG packetSize) {
  ComsLogF("FormatDiscFP: packetsize %ld", static_cast<long>(packetSize));
  if (!(caps_ & CDRF_CDRW)) {
    COMS_Log("FormatDiscFP: not a CD-RW drive");
    return 6;
  }
  // The packet size is checked before anything is sent: a size of 0 would
  // never advance the format loop.
  if (packetSize <= 0 || packetSize >= 33) {
    COMS_Log("FormatDiscFP: packet size too large");
    return 1;
  }
  if (writeState_ != 0) {
    SetError("Already in write mode.", nullptr);
    return 1;
  }
  ClearError();
  BYTE info[32];
  if (DoReadDiscInfo(info) != 0) {
    COMS_Log("FormatDiscFP: failed ReadDiscInfo");
    return 1;
  }
  if ((info[2] & 0x03) != 0) {
    COMS_Log("FormatDiscFP: disc not blank");
    return 1;
  }
  if (!(info[2] & 0x10)) {
    COMS_Log("FormatDiscFP: disc not erasable/RW");
    return 1;
  }
  if (!SetFPWriteMode(packetSize)) {
    COMS_Log("FormatDiscFP: error setting fixed packet mode");
    return 1;
  }
  BYTE track[36];
  if (DoReadTrackInfo(1, track) != 0) {
    COMS_Log("FormatDiscFP: error reading track info");
    return 1;
  }
  // Whole packets from address 0 through the free blocks; a remainder
  // smaller than a packet stays unwritten.
  const LONG free = static_cast<LONG>(HostLong(track + 16));
  std::vector<BYTE> zeros(static_cast<std::size_t>(packetSize) * 2048, 0);
  for (LONG address = 0; address + packetSize <= free; address += packetSize) {
    if (!SectorWrite(address, packetSize, zeros.data(), 2048)) {
      COMS_Log("FormatDiscFP: write error during format");
      return 1;
    }
  }
  if (!CacheFlush()) {
    COMS_Log("FormatDiscFP: error flushing buffers");
    return 1;
  }
  if (!CloseTrack(1) || CloseSession(0, 1) != 1) {
    COMS_Log("FormatDiscFP: error closing session");
    return 1;
  }
  return 0;
}

LONG MmcClass::StartFP(LONG track, LONG* packetSize, LONG* trackStart, LONG* trackSize) {
  if (!(caps_ & CDRF_CDRW)) return 6;
  if (writeState_ != 0) {
    SetError("Already in write mode.", nullptr);
    return 1;
  }
  ClearError();
  BYTE info[36];
  if (DoReadTrackInfo(track, info) != 0) return 1;
  if ((info[6] & 0x30) != 0x30) return 1;  // not a fixed-packet track
  const LONG packet = static_cast<LONG>(HostLong(info + 20));
  if (packet <= 0 || !SetFPWriteMode(packet)) return 1;
  fpFirst_ = static_cast<LONG>(HostLong(info + 8));
  fpLast_ = fpFirst_ + static_cast<LONG>(HostLong(info + 24)) - 1;
  fpPacket_ = packet;
  fpFailed_ = -1;
  writeState_ = 3;
  if (packetSize) *packetSize = packet;
  if (trackStart) *trackStart = fpFirst_;
  if (trackSize) *trackSize = fpLast_ - fpFirst_ + 1;
  return 0;
}

LONG MmcClass::WriteFP(LONG address, LONG count, const void* data) {
  if (writeState_ != 3) return 1;
  // Whole packets inside the track only; nothing is sent otherwise.
  if ((address - fpFirst_) % fpPacket_ != 0 || count <= 0 || count % fpPacket_ != 0 || address < fpFirst_ ||
      address + count - 1 > fpLast_) {
    return 1;
  }
  if (!SectorWrite(address, count, data, 2048)) {
    fpFailed_ = address;
    return 1;
  }
  return 0;
}

LONG MmcClass::FlushFP() {
  if (CacheFlush()) return 0;
  fpFailed_ = 0;
  return 1;
}

LONG MmcClass::LastFailedFP() { return fpFailed_; }

LONG MmcClass::FinishFP() {
  if (writeState_ != 3) return 1;
  const LONG r = FlushFP();
  writeState_ = 0;
  return r;
}

// ---- DVD recorders -----------------------------------------------------------------------

bool MmcClass::SetDvdWriteMode(LONG flags, int writeType) {
  BYTE page[128];
  DWORD length = 0;
  if (!ReadPage5(page, &length, "SetDvdWriteMode:Error reading write parameters page.")) return false;
  page[2] = static_cast<BYTE>(writeType | ((flags & CDR_TESTWRITE) ? 0x10 : 0));
  if ((flags & CDR_BURNPROOF) && (caps_ & CDRF_BURNPROOF)) page[2] |= 0x40;
  page[3] = 4;
  page[4] = 8;
  COMS_Log("SetDvdWriteMode: Sending mode page");
  return SendPage5(page, length, "SetDvdWriteMode: Error sending write parameters page.");
}

LONG MmcDvdClass::ReadCD(LONG start, LONG count, void* buffer, LONG sectorType, LONG sectorSize,
                         ComsSenseRecord* sense) {
  if (sectorType != 6) return MmcClass::ReadCD(start, count, buffer, sectorType, sectorSize, sense);
  if (count < 0) return 6;
  DWORD length = static_cast<DWORD>(count) * 2048;
  const DWORD s = static_cast<DWORD>(start);
  const DWORD c = static_cast<DWORD>(count);
  return CmdRead(device_, {0xA8, 0, static_cast<int>(s >> 24), static_cast<int>((s >> 16) & 0xFF),
                           static_cast<int>((s >> 8) & 0xFF), static_cast<int>(s & 0xFF), static_cast<int>(c >> 24),
                           static_cast<int>((c >> 16) & 0xFF), static_cast<int>((c >> 8) & 0xFF),
                           static_cast<int>(c & 0xFF), 0, 0},
                 buffer, &length, sense)
             ? 0
             : 1;
}

LONG MmcDvdClass::WriteDVD(LONG count, const void* data) {
  if (writeState_ != 4) return 1;
  if (!SectorWrite(current_, count, data, 2048)) return 1;
  current_ += count;
  return 0;
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

DvdRwClass::DvdRwClass(LONG device, I_CDR4DriveDB* database) : MmcDvdClass(device, database) {
  caps_ |= CDRF_DVDR | CDRF_DVDRW;
  COMS_Log("DvdRwClass: Created with CDRF_DVDR, CDRF_DVDRW");
}

LONG DvdRwClass::StartDVD(LONG track, LONG flags, LONG size) {
  if (writeState_ != 0) {
    SetError("Already in write mode.", nullptr);
    return 1;
  }
  ClearError();
  if (!SetDvdWriteMode(flags, 2)) return 1;
  BYTE info[36];
  if (DoReadTrackInfo(track, info) != 0) {
    SetError("Invalid track number.", nullptr);
    return 1;
  }
  DWORD nwa;
  std::memcpy(&nwa, info + 12, 4);
  current_ = static_cast<LONG>(nwa);
  const DWORD s = static_cast<DWORD>(size);
  ComsSenseRecord sense;
  if (!Cmd(device_, {0x53, 0, 0, 0, 0, static_cast<int>(s >> 24), static_cast<int>((s >> 16) & 0xFF),
                     static_cast<int>((s >> 8) & 0xFF), static_cast<int>(s & 0xFF), 0},
           &sense)) {
    SetError("Reserve track failed", &sense);
    return 1;
  }
  writeState_ = 4;
  return 0;
}

LONG DvdRwClass::FinishDVD() {
  if (!EndDvdWrite()) return 1;
  COMS_Log("FinishDVD: Finished");
  return 0;
}

DvdPrwClass::DvdPrwClass(LONG device, I_CDR4DriveDB* database) : MmcDvdClass(device, database) {
  caps_ |= CDRF_DvdPrw;
  COMS_Log("Dvd+RwClass: Created with CDRF_DvdPrw");
}

LONG DvdPrwClass::StartDVD(LONG, LONG flags, LONG) {
  if (flags != 0) return 6;
  if (writeState_ != 0) {
    SetError("Already in write mode.", nullptr);
    return 1;
  }
  ClearError();
  if (!SetDvdWriteMode(flags, 1)) return 1;
  if (FormatDVD(1) != 0) return 1;
  current_ = 0;
  writeState_ = 4;
  return 0;
}

LONG DvdPrwClass::FinishDVD() {
  if (!EndDvdWrite()) return 1;
  if (CloseDVD(1) != 0) COMS_Log("FinishDVD: Error suspending format, but ok");
  COMS_Log("FinishDVD: completed");
  return 0;
}

// FORMAT UNIT of the whole disc as DVD+RW (format type 0x26), restarting a
// format that was suspended.
LONG DvdPrwClass::FormatDVD(LONG restart) {
  BYTE list[12] = {0, 0, 0, 8, 0x00, 0x23, 0x05, 0x40, 0x98, 0, 0, static_cast<BYTE>(restart ? 1 : 0)};
  ComsSenseRecord sense;
  if (!CmdWrite(device_, {0x04, 0x11, 0, 0, 0, 0}, list, sizeof list, &sense)) {
    SetError("Format failed", &sense);
    return 1;
  }
  return 0;
}

LONG DvdPrwClass::CloseDVD(LONG) { return Cmd(device_, {0x5B, 0, 0, 0, 0, 0, 0, 0, 0, 0}) ? 0 : 1; }

double DvdPrwClass::FormatProgress() {
  Cmd(device_, {0x00, 0, 0, 0, 0, 0});
  BYTE sense[32];
  if (!RequestSense(device_, sense)) return 0.0;
  if (!(sense[15] & 0x80)) return 1.0;
  return ((sense[16] << 8) | sense[17]) / 65536.0;
}

}  // namespace discpak
