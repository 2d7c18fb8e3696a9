// The base of the drive classes: identification, the error latch, and the
// disc queries (table of contents, session, ATIP, CD-TEXT, catalogue number,
// disc and track information).
#include <algorithm>
#include <cstring>
#include <utility>
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

CdrClassPhysical::CdrClassPhysical(LONG device, std::unique_ptr<I_CDR4DriveDB> database)
    : device_(device), database_(std::move(database)) {}

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
  // Without sense data the transport's own outcome is the cause.
  if (sense->status == kComsStatusTimedOut) {
    std::snprintf(message, sizeof message, "NO ANSWER FROM THE DRIVE: the command timed out");
  } else if (sense->status == kComsStatusGone) {
    std::snprintf(message, sizeof message, "%s", kComsDriveGoneText);
  } else if (sense->status == kComsStatusNoAnswer) {
    std::snprintf(message, sizeof message, "NO ANSWER FROM THE DRIVE: the command did not reach it");
  } else if (const char* known = SenseText(code)) {
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
  // A unit attention (medium changed, reset) has been asked again by Cmd.
  ComsSenseRecord sense;
  if (Cmd(device_, Cdb(cmd::kTestUnitReady), &sense)) return CDR_STATUS_READY;
  if (SenseCode(sense) == 0x020401) return CDR_STATUS_BECOMING_READY;
  // No medium (02/3A/xx), or anything else.
  return CDR_STATUS_NOT_READY;
}

CdrResult CdrClassPhysical::DoReadTOC(void* buffer) {
  BYTE* b = static_cast<BYTE*>(buffer);
  std::memset(b, 0, 804);
  DWORD got = 804;
  if (!CmdRead(device_, Cdb(cmd::kReadToc).Set(cmd::kTocFormat, cmd::kTocFormatToc).Length(804), b, &got)) {
    std::memset(b, 0, 804);
    return CDR_FAILED;
  }
  const DWORD length = std::min<DWORD>(GetBE16(b) + 2u, got);
  HostWord(b);
  for (DWORD at = 4; at + 8 <= length && at + 8 <= 804; at += 8) HostLong(b + at + 4);
  return CDR_OK;
}

CdrResult CdrClassPhysical::DoReadSessionInfo(void* buffer) {
  BYTE* b = static_cast<BYTE*>(buffer);
  std::memset(b, 0, 12);
  DWORD got = 12;
  if (!CmdRead(device_, Cdb(cmd::kReadToc).Set(cmd::kTocFormat, cmd::kTocFormatSessionInfo).Length(12), b, &got)) {
    std::memset(b, 0, 12);
    return CDR_FAILED;
  }
  HostWord(b);
  HostLong(b + 8);
  return CDR_OK;
}

CdrResult CdrClassPhysical::DoReadATIP(void* buffer) {
  BYTE* b = static_cast<BYTE*>(buffer);
  std::memset(b, 0, 32);
  DWORD got = 32;
  if (!CmdRead(device_, Cdb(cmd::kReadToc).Set(cmd::kTocFormat, cmd::kTocFormatAtip).Length(32), b, &got)) {
    std::memset(b, 0, 32);
    return CDR_FAILED;
  }
  HostWord(b);
  return CDR_OK;
}

CdrResult CdrClassPhysical::DoReadCDText(void* buffer) {
  COMS_Log("QueryDisc::tCDCDTEXT");
  BYTE* b = static_cast<BYTE*>(buffer);
  std::memset(b, 0, 8196);
  DWORD got = 2;
  BYTE head[2] = {};
  const Cdb cdText = Cdb(cmd::kReadToc).Set(cmd::kTocFormat, cmd::kTocFormatCdText);
  if (!CmdRead(device_, Cdb(cdText).Length(2), head, &got) || got < 2) return CDR_FAILED;
  DWORD length = std::min<DWORD>(GetBE16(head), 8194);
  DWORD want = (length + 2 + 1) & ~1u;
  want = std::min<DWORD>(want, 8196);
  got = want;
  if (!CmdRead(device_, Cdb(cdText).Length(want), b, &got)) {
    std::memset(b, 0, 8196);
    return CDR_FAILED;
  }
  // Never more than was read.
  length = std::min<DWORD>({static_cast<DWORD>(GetBE16(b)), 8194u, got >= 2 ? got - 2 : 0u});
  std::memset(b + 2 + length, 0, 8196 - 2 - length);
  const WORD host = static_cast<WORD>(length);
  std::memcpy(b, &host, 2);
  if (length > 2) ComsLogBytes("CDT", b + 4, length - 2);
  return CDR_OK;
}

CdrResult CdrClassPhysical::DoReadMCN(void* buffer) {
  BYTE* b = static_cast<BYTE*>(buffer);
  std::memset(b, 0, 16);
  BYTE reply[20] = {};
  DWORD got = 20;
  if (!CmdRead(device_, Cdb(cmd::kReadSubChannel).Set(cmd::kSubChannelFormat, cmd::kSubChannelCatalogueNumber).Length(20),
               reply, &got)) {
    return CDR_FAILED;
  }
  std::memcpy(b, reply + 4, 16);
  return CDR_OK;
}

CdrResult CdrClassPhysical::DoReadFullTOC(void* buffer) {
  BYTE* b = static_cast<BYTE*>(buffer);
  std::memset(b, 0, 2204);
  DWORD got = 2204;
  if (!CmdRead(device_, Cdb(cmd::kReadToc).Set(cmd::kTocFormat, cmd::kTocFormatFullToc).Length(2204), b, &got)) {
    std::memset(b, 0, 2204);
    return CDR_FAILED;
  }
  HostWord(b);
  return CDR_OK;
}

CdrResult CdrClassPhysical::DoReadDiscInfo(void* buffer) {
  BYTE* b = static_cast<BYTE*>(buffer);
  std::memset(b, 0, 32);
  DWORD got = 32;
  if (!CmdRead(device_, Cdb(cmd::kReadDiscInformation).Length(32), b, &got)) {
    std::memset(b, 0, 32);
    return CDR_FAILED;
  }
  HostWord(b);
  return CDR_OK;
}

CdrResult CdrClassPhysical::DoReadTrackInfo(LONG track, void* buffer) {
  BYTE* b = static_cast<BYTE*>(buffer);
  std::memset(b, 0, 36);
  DWORD got = 36;
  if (!CmdRead(device_, Cdb(cmd::kReadTrackInformation).Set(cmd::kAddress, static_cast<DWORD>(track)).Length(36), b,
               &got)) {
    std::memset(b, 0, 36);
    return CDR_FAILED;
  }
  HostWord(b);
  for (int at = 8; at <= 28; at += 4) HostLong(b + at);
  return CDR_OK;
}

CdrResult CdrClassPhysical::DoQueryDisc(LONG what, DWORD* length, void* buffer) {
  ComsLogF("QueryDisc %ld", static_cast<long>(what));
  static const DWORD kSizes[] = {804, 12, 32, 8196, 16, 2204};
  if (what < 0 || what > 5 || !length) return CDR_NOT_SUPPORTED;
  if (what == CDRQ_CDTEXT) COMS_Log("CDRQ_CDTEXT");
  std::vector<BYTE> full(kSizes[what], 0);
  CdrResult r = CDR_FAILED;
  switch (what) {
    case CDRQ_TOC: r = DoReadTOC(full.data()); break;
    case CDRQ_SESSION: r = DoReadSessionInfo(full.data()); break;
    case CDRQ_ATIP: r = DoReadATIP(full.data()); break;
    case CDRQ_CDTEXT: r = DoReadCDText(full.data()); break;
    case CDRQ_MCN: r = DoReadMCN(full.data()); break;
    case CDRQ_FULLTOC: r = DoReadFullTOC(full.data()); break;
  }
  if (r != CDR_OK) {
    *length = 0;
    return r;
  }
  const DWORD n = std::min<DWORD>(*length, kSizes[what]);
  if (buffer) std::memcpy(buffer, full.data(), n);
  *length = n;
  return CDR_OK;
}

}  // namespace discpak
