// The base of the drive classes: identification, the error latch, and the
// disc queries (table of contents, session, ATIP, CD-TEXT, catalogue number,
// disc and track information).
#include <algorithm>
#include <cstring>
#include <vector>

#include "disclib/recorder/CdrCommands.h"
#include "disclib/recorder/CdrDrive.h"
#include "disclib/recorder/CdrUtil.h"
#include "disclib/recorder/ComsLog.h"

namespace discpak {

namespace {

// Multi-byte fields of the replies are handed up in host order.
void HostWord(BYTE* p) {
  const WORD v = GetBE16(p);
  std::memcpy(p, &v, 2);
}
void HostLong(BYTE* p) {
  const DWORD v = GetBE32(p);
  std::memcpy(p, &v, 4);
}

}  // namespace

CdrClassPhysical::CdrClassPhysical(LONG device, I_CDR4DriveDB* database) : device_(device), database_(database) {}

LONG CdrClassPhysical::GetInquiry(char* buffer) {
  if (!buffer) return 0;
  return COMS_LogInquiry(device_, buffer);
}

void CdrClassPhysical::SetError(const char* text, const ComsSenseRecord* sense) {
  if (text) ComsLogF("SetError: %s", text);
  std::lock_guard lock(errorMutex_);
  if (latched_) return;
  latched_ = true;
  std::snprintf(errorText_, sizeof errorText_, "%s", text ? text : "");
  if (!sense) {
    senseValid_ = false;
    return;
  }
  sense_ = *sense;
  senseValid_ = true;
  const DWORD code = SenseCode(*sense);
  char message[96];
  if (const char* known = SenseText(code)) {
    std::snprintf(message, sizeof message, "%s", known);
  } else {
    std::snprintf(message, sizeof message, "UNKNOWN ERROR (%06lx)", static_cast<unsigned long>(code));
  }
  COMS_Log(message);
  const std::size_t used = std::strlen(errorText_);
  std::snprintf(errorText_ + used, sizeof errorText_ - used, ": %s", message);
}

void CdrClassPhysical::ClearError() {
  std::lock_guard lock(errorMutex_);
  latched_ = false;
  senseValid_ = false;
  std::memset(errorText_, 0, sizeof errorText_);
}

bool CdrClassPhysical::ErrorLatched() {
  std::lock_guard lock(errorMutex_);
  return latched_;
}

const char* CdrClassPhysical::GetLastError(ComsSenseRecord* sense) {
  std::lock_guard lock(errorMutex_);
  if (sense) {
    std::memset(sense, 0, sizeof *sense);
    if (latched_ && senseValid_) *sense = sense_;
  }
  return latched_ ? errorText_ : nullptr;
}

LONG CdrClassPhysical::StatusOfDrive() {
  for (int attempt = 0; attempt < 2; ++attempt) {
    ComsSenseRecord sense;
    if (Cmd(device_, {0x00, 0, 0, 0, 0, 0}, &sense)) return 0;
    const DWORD code = SenseCode(sense);
    if (code == 0x020401) return 3;
    const int key = sense.sense[2] & 0x0F;
    if (key == 2 && sense.sense[12] == 0x3A) return 5;
    if (key == 6 && (sense.sense[12] == 0x28 || sense.sense[12] == 0x29) && attempt == 0) continue;
    return 5;
  }
  return 5;
}

LONG CdrClassPhysical::DoReadTOC(void* buffer) {
  BYTE* b = static_cast<BYTE*>(buffer);
  std::memset(b, 0, 804);
  DWORD got = 804;
  if (!CmdRead(device_, {0x43, 0, 0, 0, 0, 0, 0, 804 >> 8, 804 & 0xFF, 0}, b, &got)) {
    std::memset(b, 0, 804);
    return 1;
  }
  const DWORD length = std::min<DWORD>(GetBE16(b) + 2u, got);
  HostWord(b);
  for (DWORD at = 4; at + 8 <= length && at + 8 <= 804; at += 8) HostLong(b + at + 4);
  return 0;
}

LONG CdrClassPhysical::DoReadSessionInfo(void* buffer) {
  BYTE* b = static_cast<BYTE*>(buffer);
  std::memset(b, 0, 12);
  DWORD got = 12;
  if (!CmdRead(device_, {0x43, 0, 1, 0, 0, 0, 0, 0, 12, 0}, b, &got)) {
    std::memset(b, 0, 12);
    return 1;
  }
  HostWord(b);
  HostLong(b + 8);
  return 0;
}

LONG CdrClassPhysical::DoReadATIP(void* buffer) {
  BYTE* b = static_cast<BYTE*>(buffer);
  std::memset(b, 0, 32);
  DWORD got = 32;
  if (!CmdRead(device_, {0x43, 0, 4, 0, 0, 0, 0, 0, 32, 0}, b, &got)) {
    std::memset(b, 0, 32);
    return 1;
  }
  HostWord(b);
  return 0;
}

LONG CdrClassPhysical::DoReadCDText(void* buffer) {
  COMS_Log("QueryDisc::tCDCDTEXT");
  BYTE* b = static_cast<BYTE*>(buffer);
  std::memset(b, 0, 8196);
  DWORD got = 2;
  BYTE head[2] = {};
  if (!CmdRead(device_, {0x43, 0, 5, 0, 0, 0, 0, 0, 2, 0}, head, &got) || got < 2) return 1;
  DWORD length = std::min<DWORD>(GetBE16(head), 8194);
  DWORD want = (length + 2 + 1) & ~1u;
  want = std::min<DWORD>(want, 8196);
  got = want;
  if (!CmdRead(device_, {0x43, 0, 5, 0, 0, 0, 0, static_cast<int>(want >> 8), static_cast<int>(want & 0xFF), 0}, b,
               &got)) {
    std::memset(b, 0, 8196);
    return 1;
  }
  // Never more than was read.
  length = std::min<DWORD>({static_cast<DWORD>(GetBE16(b)), 8194u, got >= 2 ? got - 2 : 0u});
  std::memset(b + 2 + length, 0, 8196 - 2 - length);
  const WORD host = static_cast<WORD>(length);
  std::memcpy(b, &host, 2);
  if (length > 2) ComsLogBytes("CDT", b + 4, length - 2);
  return 0;
}

LONG CdrClassPhysical::DoReadMCN(void* buffer) {
  BYTE* b = static_cast<BYTE*>(buffer);
  std::memset(b, 0, 16);
  BYTE reply[20] = {};
  DWORD got = 20;
  if (!CmdRead(device_, {0x42, 0, 0x40, 2, 0, 0, 0, 0, 20, 0}, reply, &got)) return 1;
  std::memcpy(b, reply + 4, 16);
  return 0;
}

LONG CdrClassPhysical::DoReadFullTOC(void* buffer) {
  BYTE* b = static_cast<BYTE*>(buffer);
  std::memset(b, 0, 2204);
  DWORD got = 2204;
  if (!CmdRead(device_, {0x43, 0, 2, 0, 0, 0, 0, 2204 >> 8, 2204 & 0xFF, 0}, b, &got)) {
    std::memset(b, 0, 2204);
    return 1;
  }
  HostWord(b);
  return 0;
}

LONG CdrClassPhysical::DoReadDiscInfo(void* buffer) {
  BYTE* b = static_cast<BYTE*>(buffer);
  std::memset(b, 0, 32);
  DWORD got = 32;
  if (!CmdRead(device_, {0x51, 0, 0, 0, 0, 0, 0, 0, 32, 0}, b, &got)) {
    std::memset(b, 0, 32);
    return 1;
  }
  HostWord(b);
  return 0;
}

LONG CdrClassPhysical::DoReadTrackInfo(LONG track, void* buffer) {
  BYTE* b = static_cast<BYTE*>(buffer);
  std::memset(b, 0, 36);
  DWORD got = 36;
  const DWORD t = static_cast<DWORD>(track);
  if (!CmdRead(device_, {0x52, 1, static_cast<int>(t >> 24), static_cast<int>((t >> 16) & 0xFF),
                         static_cast<int>((t >> 8) & 0xFF), static_cast<int>(t & 0xFF), 0, 0, 36, 0},
               b, &got)) {
    std::memset(b, 0, 36);
    return 1;
  }
  HostWord(b);
  for (int at = 8; at <= 28; at += 4) HostLong(b + at);
  return 0;
}

LONG CdrClassPhysical::DoQueryDisc(LONG what, DWORD* length, void* buffer) {
  ComsLogF("QueryDisc %ld", static_cast<long>(what));
  static const DWORD kSizes[] = {804, 12, 32, 8196, 16, 2204};
  if (what < 0 || what > 5 || !length) return 6;
  if (what == CDRQ_CDTEXT) COMS_Log("CDRQ_CDTEXT");
  std::vector<BYTE> full(kSizes[what], 0);
  LONG r = 1;
  switch (what) {
    case CDRQ_TOC: r = DoReadTOC(full.data()); break;
    case CDRQ_SESSION: r = DoReadSessionInfo(full.data()); break;
    case CDRQ_ATIP: r = DoReadATIP(full.data()); break;
    case CDRQ_CDTEXT: r = DoReadCDText(full.data()); break;
    case CDRQ_MCN: r = DoReadMCN(full.data()); break;
    case CDRQ_FULLTOC: r = DoReadFullTOC(full.data()); break;
  }
  if (r != 0) {
    *length = 0;
    return r;
  }
  const DWORD n = std::min<DWORD>(*length, kSizes[what]);
  if (buffer) std::memcpy(buffer, full.data(), n);
  *length = n;
  return 0;
}

}  // namespace discpak
