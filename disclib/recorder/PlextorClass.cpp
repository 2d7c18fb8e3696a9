// PlextorClass: the old PLEXTOR CD-ROM readers from before MMC. Audio is
// read with the vendor READ CD-DA, data with READ(10) at the sector's block
// size, the speed lives in the vendor page 0x31; nothing is recorded.
#include <cstring>

#include "disclib/recorder/CdrCommands.h"
#include "disclib/recorder/CdrDrive.h"
#include "disclib/recorder/CdrUtil.h"
#include "disclib/recorder/ComsLog.h"

namespace discpak {

PlextorClass::PlextorClass(LONG device, I_CDR4DriveDB* database) : CdrClassPhysical(device, database) {
  ComsLogF("Created PlextorClass device on id %ld", static_cast<long>(device));
  letter_ = COMS_GetTransportTable()->COMS_GetDriveLetter(device_);
  GetInquiry(inquiry_);
  blockSize_ = currentBlock_ = SCSI2_GetBlockSize(device_);
  caps_ = CDRF_READCDDA | CDRF_CDDAACCURATE | CDRF_SUBCODE | CDRF_READC2 | CDRF_METHOD2 | CDRF_ISRC | CDRF_UPC;
  if (std::strstr(inquiry_, "PLEXTOR CD-ROM PX-40TS")) caps_ |= CDRF_RAWSUBCODE | CDRF_CDTEXT;
  ClearError();
}

PlextorClass::~PlextorClass() {
  if (blockSize_ && currentBlock_ != blockSize_) SCSI2_SetBlockSize(device_, blockSize_);
}

LONG PlextorClass::SetBlocking(LONG type) {
  if (type == 2) return 6;
  return COMS_GetTransportTable()->COMS_BlockDevice(device_, type) ? 0 : 1;
}

LONG PlextorClass::ReadCD(LONG start, LONG count, void* buffer, LONG sectorType, LONG sectorSize,
                          ComsSenseRecord* sense) {
  if (count < 0) return 6;
  const DWORD s = static_cast<DWORD>(start);
  DWORD length = static_cast<DWORD>(count) * static_cast<DWORD>(sectorSize);
  bool ok;
  if (sectorType == 1) {
    int format;
    switch (sectorSize) {
      case 2352: format = 0; break;
      case 2368: format = 1; break;
      case 2448: format = 2; break;
      case 96: format = 3; break;
      case 2646: format = 4; break;
      default: return 6;
    }
    ok = CmdRead(device_, {0xD8, 0, static_cast<int>(s >> 24), static_cast<int>((s >> 16) & 0xFF),
                           static_cast<int>((s >> 8) & 0xFF), static_cast<int>(s & 0xFF), 0, 0,
                           static_cast<int>((count >> 8) & 0xFF), static_cast<int>(count & 0xFF), format, 0},
                 buffer, &length, sense);
    if (ok && sectorSize == 2368) {
      BYTE* b = static_cast<BYTE*>(buffer);
      for (LONG i = 0; i < count; ++i) {
        BYTE* q = b + static_cast<std::size_t>(i) * 2368 + 2352;
        for (int k : {1, 2, 3, 4, 5, 7, 8, 9}) q[k] = static_cast<BYTE>(BCDToBin(q[k]));
      }
    }
  } else {
    if (sectorSize != 2048 && sectorSize != 2336 && sectorSize != 2340 && sectorSize != 2352) return 6;
    if (currentBlock_ != static_cast<DWORD>(sectorSize)) {
      if (!SCSI2_SetBlockSize(device_, static_cast<DWORD>(sectorSize))) return 1;
      currentBlock_ = static_cast<DWORD>(sectorSize);
    }
    ok = CmdRead(device_, {0x28, 0, static_cast<int>(s >> 24), static_cast<int>((s >> 16) & 0xFF),
                           static_cast<int>((s >> 8) & 0xFF), static_cast<int>(s & 0xFF), 0,
                           static_cast<int>((count >> 8) & 0xFF), static_cast<int>(count & 0xFF), 0},
                 buffer, &length, sense);
  }
  if (!ok) return 1;
  readNext_ = start + count;
  readType_ = sectorType;
  readSize_ = sectorSize;
  return 0;
}

LONG PlextorClass::ReadSectors(LONG count, void* buffer, ComsSenseRecord* sense) {
  return ReadCD(readNext_, count, buffer, readType_, readSize_, sense);
}

bool PlextorClass::ReadVendorPage(BYTE page[4]) {
  for (int attempt = 0; attempt < 2; ++attempt) {
    DWORD length = 0;
    if (ModeSense6(device_, 0x31, page, 4, &length) && length >= 3) return true;
  }
  return false;
}

bool PlextorClass::WriteVendorPage(const BYTE page[4]) {
  for (int attempt = 0; attempt < 2; ++attempt) {
    if (ModeSelect6(device_, page, 4)) return true;
  }
  return false;
}

// The speed in x in byte 2 of the vendor page.
LONG PlextorClass::VendorSpeed(LONG code) {
  BYTE page[4] = {};
  if (!ReadVendorPage(page)) return 1024;
  const LONG current = page[2];
  auto set = [&](LONG x) -> LONG {
    if (x <= 0 || x > 255) return 1024;
    BYTE p[4] = {0x31, 0x02, static_cast<BYTE>(x), page[3]};
    if (!WriteVendorPage(p)) return 1024;
    BYTE back[4] = {};
    if (!ReadVendorPage(back) || back[2] == 0) return 1024;
    return back[2];
  };
  if (code == 2048) return current ? current : 1024;
  if (code == 2049 || code == 2050) return current ? set(code == 2049 ? current + 1 : current - 1) : 1024;
  if (code & 0x1000) {
    const LONG x = code & 0xFFF;
    const LONG took = set(x);
    set(current);
    return took == x ? x : 1024;
  }
  return set(code);
}

}  // namespace discpak
