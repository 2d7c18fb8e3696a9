#include "disclib/recorder/CdrCommands.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

#include "disclib/recorder/CdrUtil.h"
#include "disclib/recorder/ComsLog.h"

namespace discpak {

namespace {
std::atomic<std::int64_t> g_waitLimitMs{10 * 60 * 1000};
// The wait clock and pause are read by the recording's writer thread; the
// mutex keeps an install from another thread race-free.
std::mutex g_waitMutex;
const vexa::base::Clock* g_waitClock = nullptr;
std::function<void(std::chrono::milliseconds)> g_waitPause;

std::chrono::steady_clock::time_point WaitNow() {
  std::lock_guard lock(g_waitMutex);
  return (g_waitClock ? *g_waitClock : vexa::base::Clock::Real()).Monotonic();
}
}  // namespace

std::int64_t DeviceWaitLimitMs() { return g_waitLimitMs.load(); }
void SetDeviceWaitLimitMs(std::int64_t ms) { g_waitLimitMs = ms; }

void SetDeviceWaitClock(const vexa::base::Clock* clock, std::function<void(std::chrono::milliseconds)> pause) {
  std::lock_guard lock(g_waitMutex);
  g_waitPause = std::move(pause);
  g_waitClock = clock;
}

std::chrono::steady_clock::time_point DeviceWaitDeadline() {
  return WaitNow() + std::chrono::milliseconds(DeviceWaitLimitMs());
}

std::chrono::steady_clock::time_point DeviceWriteDeadline() {
  return WaitNow() + std::chrono::milliseconds(std::min(DeviceWaitLimitMs(), kWriteBusyLimitMs));
}

bool DeviceWaitPassed(std::chrono::steady_clock::time_point deadline) { return WaitNow() >= deadline; }

void DeviceWaitPause(std::chrono::milliseconds pause) {
  std::function<void(std::chrono::milliseconds)> installed;
  {
    std::lock_guard lock(g_waitMutex);
    installed = g_waitPause;
  }
  if (installed) {
    installed(pause);
  } else {
    std::this_thread::sleep_for(pause);
  }
}

int SpeedX(int kbs) { return static_cast<int>(std::lround(kbs / 176.4)); }
int SpeedKBs(int x) { return static_cast<int>(std::lround(x * 176.4)); }

namespace {
enum class Direction { kNone, kOut, kIn };

bool SendOnce(LONG device, const Cdb& cdb, Direction direction, void* data, DWORD* length, ComsSenseRecord* sense) {
  ComsCommandRecord c = {};
  c.cdbLength = static_cast<BYTE>(cdb.Size());
  std::memcpy(c.cdb, cdb.Bytes(), cdb.Size());
  const ComsTransportTable* t = COMS_GetTransportTable();
  switch (direction) {
    case Direction::kNone: return t->COMS_Cmd(device, &c, sense, nullptr) != 0;
    case Direction::kOut: return t->COMS_CmdWrite(device, &c, sense, nullptr, data, length) != 0;
    case Direction::kIn: break;
  }
  return t->COMS_CmdRead(device, &c, sense, nullptr, data, length) != 0;
}

bool Send(LONG device, const Cdb& cdb, Direction direction, void* data, DWORD* length, ComsSenseRecord* sense) {
  // The sense decides about a second try even when the caller wants none.
  ComsSenseRecord own;
  ComsSenseRecord* s = sense ? sense : &own;
  const DWORD asked = length ? *length : 0;
  for (int reissued = 0;; ++reissued) {
    if (length) *length = asked;
    if (SendOnce(device, cdb, direction, data, length, s)) return true;
    if (RetryFor(*s) != SenseRetry::kReissue || reissued == kUnitAttentionReissues) return false;
    ComsLogF("%02ld %02x unit attention %02x/%02x: sent again", static_cast<long>(device), cdb.Bytes()[0],
             s->sense[12], s->sense[13]);
  }
}
}  // namespace

bool Cmd(LONG device, const Cdb& cdb, ComsSenseRecord* sense) {
  return Send(device, cdb, Direction::kNone, nullptr, nullptr, sense);
}

bool CmdRead(LONG device, const Cdb& cdb, void* buffer, DWORD* length, ComsSenseRecord* sense) {
  return Send(device, cdb, Direction::kIn, buffer, length, sense);
}

bool CmdWrite(LONG device, const Cdb& cdb, const void* data, DWORD length, ComsSenseRecord* sense) {
  return Send(device, cdb, Direction::kOut, const_cast<void*>(data), &length, sense);
}

DWORD SenseCode(const ComsSenseRecord& s) {
  return (static_cast<DWORD>(s.sense[2] & 0x0F) << 16) | (s.sense[12] << 8) | s.sense[13];
}

SenseRetry RetryFor(const ComsSenseRecord& s) {
  // A transport failure or a timeout leaves the sense bytes zero: no retry.
  const DWORD code = SenseCode(s);
  if (code == 0x020401 || code == 0x020404 || code == 0x020407 || code == 0x020408) return SenseRetry::kWhileBusy;
  if (s.sense[2] == 0xFE && s.sense[12] == 0x04 && s.sense[13] == 0x08) return SenseRetry::kWhileBusy;
  const int key = s.sense[2] & 0x0F;
  if (key == 6 && (s.sense[12] == 0x28 || s.sense[12] == 0x29)) return SenseRetry::kReissue;
  return SenseRetry::kNone;
}

bool IsBusy(const ComsSenseRecord& s) { return RetryFor(s) == SenseRetry::kWhileBusy; }

bool ModeSense10(LONG device, int pageCode, BYTE* page, DWORD allocation, DWORD* pageLength,
                 ComsSenseRecord* sense) {
  allocation = std::min<DWORD>((allocation + 1) & ~1u, 768);
  std::vector<BYTE> reply(allocation + 8, 0);
  DWORD got = allocation;
  std::memset(page, 0, allocation);
  if (pageLength) *pageLength = 0;
  if (!CmdRead(device, Cdb(cmd::kModeSense10).Set(cmd::kModePageCode, pageCode).Length(allocation), reply.data(),
               &got, sense)) {
    return false;
  }
  // The page lies after the header and any block descriptors; take no more
  // than the device sent and its own lengths allow.
  if (got < 8) return false;
  const DWORD dataLength = std::min<DWORD>(GetBE16(reply.data()) + 2u, got);
  const DWORD at = 8 + GetBE16(reply.data() + 6);
  if (at + 2 > dataLength) return false;
  const DWORD length = std::min<DWORD>({reply[at + 1] + 2u, dataLength - at, allocation});
  std::memcpy(page, reply.data() + at, length);
  if (pageLength) *pageLength = length;
  ComsLogBytes("MSN", page, length);
  return true;
}

bool ModeSelect10(LONG device, const BYTE* page, DWORD pageLength, ComsSenseRecord* sense) {
  pageLength = std::min<DWORD>(pageLength, 760);
  std::vector<BYTE> list(8 + ((pageLength + 1) & ~1u), 0);
  std::memcpy(list.data() + 8, page, pageLength);
  list[8] &= 0x3F;
  ComsLogBytes("MSL", list.data() + 8, pageLength);
  const DWORD n = static_cast<DWORD>(list.size());
  return CmdWrite(device, Cdb(cmd::kModeSelect10).Length(n), list.data(), n, sense);
}

bool ModeSense6(LONG device, int pageCode, BYTE* page, DWORD allocation, DWORD* pageLength,
                ComsSenseRecord* sense) {
  allocation = std::min<DWORD>((allocation + 1) & ~1u, 254);
  std::vector<BYTE> reply(allocation + 4 + 8, 0);
  DWORD got = static_cast<DWORD>(reply.size()) & ~1u;
  if (got > 254) got = 254;
  std::memset(page, 0, allocation);
  if (pageLength) *pageLength = 0;
  if (!CmdRead(device,
               Cdb(cmd::kModeSense6).Set(cmd::kDisableBlockDescriptors, 1).Set(cmd::kModePageCode, pageCode).Length(got),
               reply.data(), &got, sense)) {
    return false;
  }
  if (got < 4) return false;
  const DWORD dataLength = std::min<DWORD>(reply[0] + 1u, got);
  const DWORD at = 4 + reply[3];
  if (at + 2 > dataLength) return false;
  const DWORD length = std::min<DWORD>({reply[at + 1] + 2u, dataLength - at, allocation});
  std::memcpy(page, reply.data() + at, length);
  if (pageLength) *pageLength = length;
  ComsLogBytes("MSN", page, length);
  return true;
}

bool ModeSelect6(LONG device, const BYTE* page, DWORD pageLength, ComsSenseRecord* sense) {
  pageLength = std::min<DWORD>(pageLength, 247);
  std::vector<BYTE> list(4 + ((pageLength + 1) & ~1u), 0);
  std::memcpy(list.data() + 4, page, pageLength);
  list[4] &= 0x3F;
  ComsLogBytes("MSL", list.data() + 4, pageLength);
  const DWORD n = static_cast<DWORD>(list.size());
  return CmdWrite(device, Cdb(cmd::kModeSelect6).Length(n), list.data(), n, sense);
}

bool GetConfiguration(LONG device, int feature, BYTE* descriptor, DWORD descriptorSize, DWORD* descriptorLength,
                      int* currentProfile, ComsSenseRecord* sense) {
  std::vector<BYTE> reply(512, 0);
  DWORD got = 512;
  if (descriptorLength) *descriptorLength = 0;
  if (descriptor) std::memset(descriptor, 0, descriptorSize);
  if (!CmdRead(device, Cdb(cmd::kGetConfiguration).Set(cmd::kStartingFeature, static_cast<DWORD>(feature)).Length(512),
               reply.data(), &got, sense)) {
    return false;
  }
  if (got < 8) return false;
  if (currentProfile) *currentProfile = GetBE16(reply.data() + 6);
  const DWORD total = std::min<DWORD>(GetBE32(reply.data()) + 4u, got);
  if (total < 12) return true;  // no descriptor
  if (GetBE16(reply.data() + 8) != feature) return true;
  const DWORD length = std::min<DWORD>({reply[11] + 4u, total - 8, descriptorSize});
  if (descriptor) std::memcpy(descriptor, reply.data() + 8, length);
  if (descriptorLength) *descriptorLength = length;
  return true;
}

bool RequestSense(LONG device, BYTE sense[32]) {
  DWORD got = 32;
  std::memset(sense, 0, 32);
  return CmdRead(device, Cdb(cmd::kRequestSense).Length(32), sense, &got);
}

// What the 6-byte mode commands carry for the block size: the 4-byte mode
// parameter header (byte 3: the block descriptor length) and one 8-byte
// block descriptor, whose bytes 5-7 are the block length.
namespace {
constexpr int kBlockDescriptorLengthAt = 3;
constexpr int kBlockLengthAt = 4 + 5;
}  // namespace

bool SCSI2_SetBlockSize(LONG device, DWORD size) {
  ComsLogF("SCSI2_SetBlockSize: %ld", static_cast<long>(size));
  BYTE list[12] = {};
  list[kBlockDescriptorLengthAt] = 8;
  list[kBlockLengthAt] = static_cast<BYTE>(size >> 16);
  list[kBlockLengthAt + 1] = static_cast<BYTE>(size >> 8);
  list[kBlockLengthAt + 2] = static_cast<BYTE>(size);
  return CmdWrite(device, Cdb(cmd::kModeSelect6).Length(sizeof list), list, sizeof list);
}

DWORD SCSI2_GetBlockSize(LONG device) {
  BYTE reply[12] = {};
  DWORD got = sizeof reply;
  DWORD size = 0;
  if (CmdRead(device, Cdb(cmd::kModeSense6).Set(cmd::kModePageCode, cmd::kPageErrorRecovery).Length(sizeof reply),
              reply, &got) &&
      got >= 12 && reply[kBlockDescriptorLengthAt] >= 8) {
    size = (reply[kBlockLengthAt] << 16) | (reply[kBlockLengthAt + 1] << 8) | reply[kBlockLengthAt + 2];
  }
  ComsLogF("SCSI2_GetBlockSize: %ld", static_cast<long>(size));
  return size;
}

}  // namespace discpak
