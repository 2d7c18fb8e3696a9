// PlextorClass: the old PLEXTOR CD-ROM readers from before MMC. Audio is
// read with the vendor READ CD-DA, data with READ(10) at the sector's block
// size, the speed lives in the vendor page 0x31; nothing is recorded.
#include <cstring>
#include <memory>
#include <utility>

#include "disclib/recorder/CdrCommands.h"
#include "disclib/recorder/CdrDrive.h"
#include "disclib/recorder/CdrUtil.h"
#include "disclib/recorder/ComsLog.h"

namespace discpak {

PlextorClass::PlextorClass(LONG device, std::unique_ptr<I_CDR4DriveDB> database)
    : CdrClassPhysical(device, std::move(database)) {
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
  if (type == 2) return CDR_NOT_SUPPORTED;
  return COMS_GetTransportTable()->COMS_BlockDevice(device_, type) ? CDR_OK : CDR_FAILED;
}

LONG PlextorClass::ReadCD(LONG start, LONG count, void* buffer, LONG sectorType, LONG sectorSize,
                          ComsSenseRecord* sense) {
  if (count < 0) return CDR_NOT_SUPPORTED;
  const DWORD s = static_cast<DWORD>(start);
  const DWORD n = static_cast<DWORD>(count);
  DWORD length = static_cast<DWORD>(count) * static_cast<DWORD>(sectorSize);
  bool ok;
  if (sectorType == CDR_TRACK_AUDIO) {
    cmd::ReadCdDaFormat format;
    switch (sectorSize) {
      case 2352: format = cmd::kCdDa2352; break;
      case 2368: format = cmd::kCdDa2368; break;
      case 2448: format = cmd::kCdDa2448; break;
      case 96: format = cmd::kCdDaSubcodeOnly; break;
      case 2646: format = cmd::kCdDa2646; break;
      default: return CDR_NOT_SUPPORTED;
    }
    ok = CmdRead(device_, Cdb(cmd::kReadCdDa).Set(cmd::kAddress, s).Length(n).Set(cmd::kReadCdDaFormat, format),
                 buffer, &length, sense);
    if (ok && sectorSize == 2368) {
      BYTE* b = static_cast<BYTE*>(buffer);
      for (LONG i = 0; i < count; ++i) {
        BYTE* q = b + static_cast<std::size_t>(i) * 2368 + 2352;
        for (int k : {1, 2, 3, 4, 5, 7, 8, 9}) q[k] = static_cast<BYTE>(BCDToBin(q[k]));
      }
    }
  } else {
    if (sectorSize != 2048 && sectorSize != 2336 && sectorSize != 2340 && sectorSize != 2352) {
      return CDR_NOT_SUPPORTED;
    }
    if (currentBlock_ != static_cast<DWORD>(sectorSize)) {
      if (!SCSI2_SetBlockSize(device_, static_cast<DWORD>(sectorSize))) return CDR_FAILED;
      currentBlock_ = static_cast<DWORD>(sectorSize);
    }
    ok = CmdRead(device_, Cdb(cmd::kRead10).Set(cmd::kAddress, s).Length(n), buffer, &length, sense);
  }
  if (!ok) return CDR_FAILED;
  readNext_ = start + count;
  readType_ = sectorType;
  readSize_ = sectorSize;
  return CDR_OK;
}

LONG PlextorClass::ReadSectors(LONG count, void* buffer, ComsSenseRecord* sense) {
  return ReadCD(readNext_, count, buffer, readType_, readSize_, sense);
}

bool PlextorClass::ReadVendorPage(BYTE page[4]) {
  for (int attempt = 0; attempt < 2; ++attempt) {
    DWORD length = 0;
    if (ModeSense6(device_, cmd::kPagePlextorSpeed, page, 4, &length) && length >= 3) return true;
  }
  return false;
}

bool PlextorClass::WriteVendorPage(const BYTE page[4]) {
  for (int attempt = 0; attempt < 2; ++attempt) {
    if (ModeSelect6(device_, page, 4)) return true;
  }
  return false;
}

// The speed in x in byte 2 of the vendor page (page code, length 2, speed,
// and a byte kept as the drive gives it).
LONG PlextorClass::VendorSpeed(LONG code) {
  BYTE page[4] = {};
  if (!ReadVendorPage(page)) return CDR_SPEED_NONE;
  const LONG current = page[2];
  auto set = [&](LONG x) -> LONG {
    if (x <= 0 || x > 255) return CDR_SPEED_NONE;
    BYTE p[4] = {cmd::kPagePlextorSpeed, 0x02, static_cast<BYTE>(x), page[3]};
    if (!WriteVendorPage(p)) return CDR_SPEED_NONE;
    BYTE back[4] = {};
    if (!ReadVendorPage(back) || back[2] == 0) return CDR_SPEED_NONE;
    return back[2];
  };
  if (code == CDR_SPEED_CURRENT) return current ? current : CDR_SPEED_NONE;
  if (code == CDR_SPEED_FASTER || code == CDR_SPEED_SLOWER) {
    return current ? set(code == CDR_SPEED_FASTER ? current + 1 : current - 1) : CDR_SPEED_NONE;
  }
  if (code & CDR_SPEED_ASK) {
    const LONG x = code & 0xFFF;
    const LONG took = set(x);
    set(current);
    return took == x ? x : CDR_SPEED_NONE;
  }
  return set(code);
}

}  // namespace discpak
