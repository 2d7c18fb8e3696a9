// The transport object "CDR4COMS" over the platform transport.
#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <shared_mutex>
#include <string>

#include "disclib/recorder/CommandTemplates.h"
#include "disclib/recorder/ComsInternal.h"
#include "idl/ProductKey.h"
#include "disclib/recorder/ComsLog.h"

using discpak::ComsLogF;
using vexa::scsi::Direction;
using vexa::scsi::Transport;

namespace {

constexpr int kMaxDevices = 64;

// A command record holding a command built from its template.
ComsCommandRecord Record(const discpak::Cdb& cdb) {
  ComsCommandRecord c = {};
  c.cdbLength = static_cast<BYTE>(cdb.Size());
  std::memcpy(c.cdb, cdb.Bytes(), cdb.Size());
  return c;
}

// The open back end. Commands hold the shared lock for their whole run and
// their device's lock around the command itself; opening and closing hold
// the exclusive lock.
std::shared_mutex g_openLock;
std::unique_ptr<Transport> g_transport;
std::string g_openProblem;  // why the configured transport could not be opened
std::array<std::mutex, kMaxDevices> g_deviceLocks;

// ---- Stubs in place before any back end is open ----
void StubClose() {}
LONG StubNop() { return 0; }
LONG StubCount() { return 0; }
LONG StubType(LONG) { return 255; }
ComsDeviceInfo* StubInfo(LONG) { return nullptr; }
LONG StubLetter(LONG) { return 0; }
LONG StubCmd(LONG, ComsCommandRecord*, ComsSenseRecord*, void*) { return 0; }
LONG StubData(LONG, ComsCommandRecord*, ComsSenseRecord*, void*, void*, DWORD*) { return 0; }
LONG StubBlock(LONG, LONG) { return 0; }
LONG StubMode(LONG, LONG) { return 0; }
LONG StubCheck(LONG) { return 0; }

constexpr ComsTransportTable kStubs = {StubClose, StubNop,  StubCount, StubType,  StubInfo,  StubLetter,
                                       StubCmd,   StubData, StubData,  StubBlock, StubMode,  StubCheck};

ComsTransportTable g_table = kStubs;
CDR4COMS g_object = {};

const ComsTransportTable kReal = {COMS_Close,    COMS_Nop,     COMS_GetNumDevices, COMS_GetDeviceType,
                                  COMS_GetDeviceInfo, COMS_GetDriveLetter, COMS_Cmd, COMS_CmdWrite,
                                  COMS_CmdRead,  COMS_BlockDevice, COMS_SetDeviceMode, COMS_CheckDeviceMode};

// Words 3-9 and 13-17 of the object follow the table.
void RefreshObject() {
  g_object.version1 = 104;
  g_object.version2 = 104;
  g_object.COMS_Open = COMS_Open;
  g_object.COMS_Close = g_table.COMS_Close;
  g_object.COMS_Nop = g_table.COMS_Nop;
  g_object.COMS_GetDeviceType = g_table.COMS_GetDeviceType;
  g_object.COMS_LogInquiry = COMS_LogInquiry;
  g_object.COMS_Cmd = g_table.COMS_Cmd;
  g_object.COMS_CmdWrite = g_table.COMS_CmdWrite;
  g_object.COMS_CmdRead = g_table.COMS_CmdRead;
  g_object.COMS_StartLog = COMS_StartLog;
  g_object.COMS_StopLog = COMS_StopLog;
  g_object.COMS_Log = COMS_Log;
  g_object.COMS_GetDeviceInfo = g_table.COMS_GetDeviceInfo;
  g_object.COMS_SetDeviceMode = g_table.COMS_SetDeviceMode;
  g_object.COMS_CheckDeviceMode = g_table.COMS_CheckDeviceMode;
  g_object.COMS_BlockDevice = g_table.COMS_BlockDevice;
  g_object.COMS_GetDriveLetter = g_table.COMS_GetDriveLetter;
}

int DeviceCountLocked() { return g_transport ? g_transport->DeviceCount() : 0; }

const char* DirectionText(Direction d) {
  switch (d) {
    case Direction::None: return " -  ";
    case Direction::Out: return "OUT ";
    case Direction::In: return "IN  ";
  }
  return " -  ";
}

void LogStart(LONG device, const ComsCommandRecord& c, Direction d, DWORD length) {
  if (!discpak::ComsDebugLog().Running()) return;
  // The CDB bytes, then the tag and length columns lined up for every size.
  const int n = c.cdbLength == 6 ? 6 : c.cdbLength == 10 ? 10 : 12;
  char line[160];
  int at = std::snprintf(line, sizeof line, "%02ld %s%02d[", static_cast<long>(device), DirectionText(d), n);
  for (int i = 0; i < n; ++i) at += std::snprintf(line + at, sizeof line - at, i ? "\\%02x" : "%02x", c.cdb[i]);
  at += std::snprintf(line + at, sizeof line - at, "]");
  at += std::snprintf(line + at, sizeof line - at, "%*s", 19 - (n - 6) * 3, "");
  std::snprintf(line + at, sizeof line - at, "T%04lx B%04lx START", static_cast<unsigned long>(c.tag),
                static_cast<unsigned long>(length));
  COMS_Log(line);
}

LONG RunCommand(LONG device, ComsCommandRecord* command, ComsSenseRecord* sense, void* event, Direction direction,
                void* data, DWORD* length) {
  const int op = command ? command->cdb[0] : 0;
  if (event) {
    ComsLogF("COMS_Cmd %02x event not supported", op);
    return 0;
  }
  std::shared_lock open(g_openLock);
  if (device < 0 || device >= DeviceCountLocked() || device >= kMaxDevices) {
    ComsLogF("COMS_Cmd %02x invalid device %d", op, static_cast<int>(device));
    return 0;
  }
  if (!command || (command->cdbLength != 6 && command->cdbLength != 10 && command->cdbLength != 12 &&
                   command->cdbLength != 16)) {
    ComsLogF("COMS_Cmd %02x bad command length device %d", op, static_cast<int>(device));
    return 0;
  }
  const DWORD requested = direction == Direction::None ? 0 : (length ? *length : 0);
  if (requested & 1) {
    ComsLogF("COMS_Cmd %02x bad buffer size device %d size %04x", op, static_cast<int>(device),
             static_cast<unsigned>(requested));
    return 0;
  }
  if (requested && !data) {
    ComsLogF("COMS_Cmd %02x bad buffer size device %d size %04x", op, static_cast<int>(device),
             static_cast<unsigned>(requested));
    return 0;
  }
  LogStart(device, *command, direction, requested);
  vexa::scsi::Command c;
  c.cdb = command->cdb;
  c.cdbLength = command->cdbLength;
  c.direction = direction;
  c.data = static_cast<std::uint8_t*>(data);
  c.length = requested;
  c.timeoutMs = discpak::ComsTimeoutMs(op);
  vexa::scsi::Result r;
  const auto t0 = std::chrono::steady_clock::now();
  {
    std::lock_guard deviceLock(g_deviceLocks[device]);
    r = g_transport->Execute(device, c);
  }
  const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
  // Never trust a transferred count above what was asked for.
  const DWORD moved = r.transferred <= requested ? r.transferred : 0;
  if (r.Ok()) {
    ComsLogF("%02ld %02x SUCCESS %.1fms elapsed", static_cast<long>(device), op, ms);
    if (sense) std::memset(sense, 0, sizeof *sense);
    if (length && direction != Direction::None) *length = moved;
    return 1;
  }
  if (sense) std::memset(sense, 0, sizeof *sense);
  if (r.senseValid) {
    const std::uint8_t* s = r.sense;
    ComsLogF("%02ld %02x FAILED %.1fms elap %02x%02x<%02x>%02x%02x%02x%02x%02x%02x%02x%02x%02x<%02x%02x> %02x %02x",
             static_cast<long>(device), op, ms, s[0], s[1], s[2], s[3], s[4], s[5], s[6], s[7], s[8], s[9], s[10],
             s[11], s[12], s[13], r.status, r.hostStatus & 0xFF);
    if (sense) {
      sense->status = r.status ? r.status : 2;
      std::memcpy(sense->sense, r.sense, sizeof sense->sense);
    }
  } else if (r.timedOut) {
    ComsLogF("%02ld %02x FAILED %.1fms elapsed TIMEOUT", static_cast<long>(device), op, ms);
    if (sense) sense->status = kComsStatusTimedOut;
  } else if (r.DeviceGone()) {
    ComsLogF("%02ld %02x FAILED %.1fms elapsed DEVICE GONE", static_cast<long>(device), op, ms);
    if (sense) sense->status = kComsStatusGone;
  } else {
    ComsLogF("%02ld %02x FAILED %.1fms elapsed NO SENSE AVAILABLE", static_cast<long>(device), op, ms);
    if (sense) sense->status = r.status ? r.status : kComsStatusNoAnswer;
  }
  if (length && direction != Direction::None) *length = moved;
  return 0;
}

}  // namespace

namespace discpak {

std::uint32_t ComsTimeoutMs(int op) {
  switch (op) {
    case cmd::kSynchronizeCache.Opcode():
    case cmd::kCloseTrackSession.Opcode():
    case cmd::kBlank.Opcode():
    case cmd::kFormatUnit.Opcode():
      return 10 * 60 * 1000;
    default:
      return 30 * 1000;
  }
}

void ComsInstallTransport(std::unique_ptr<Transport> transport) {
  std::unique_lock open(g_openLock);
  g_transport = std::move(transport);
  g_table = g_transport ? kReal : kStubs;
  RefreshObject();
}

}  // namespace discpak

extern "C" {

CDR4COMS* CDR4COMS_Get() {
  COMS_Open();
  std::shared_lock open(g_openLock);
  return &g_object;
}

void CDR4COMS_Release(CDR4COMS*) {}

const ComsTransportTable* COMS_GetTransportTable() { return &g_table; }

LONG COMS_Open() {
  COMS_Log("COMS_Open: entered");
  {
    std::shared_lock open(g_openLock);
    if (g_transport && g_transport->DeviceCount() > 0) {
      RefreshObject();
      return 0;
    }
  }
  const std::string setting = vexa::scsi::ConfiguredTransportSpec(kProductKey);
  std::string error;
  auto transport = vexa::scsi::OpenTransport(setting, &error);
  if (!transport) {
    ComsLogF("COMS_Open: %s", error.c_str());
    COMS_Log("COMS_Open: failed");
    std::unique_lock open(g_openLock);
    // Where the setting came from, so the user knows what to change.
    const char* env = std::getenv("VEXA_SCSI_TRANSPORT");
    g_openProblem = (env && *env ? "the setting VEXA_SCSI_TRANSPORT=\"" : "the registry value SCSI_TRANSPORT \"") +
                    setting + "\" cannot be used: " + error;
    RefreshObject();
    return 1;
  }
  const std::string kind = transport->Kind();
  const int count = transport->DeviceCount();
  for (int i = 0; i < count; ++i) {
    const std::string problem = transport->Problem(i);
    if (!problem.empty()) ComsLogF("COMS_Open: device %d: %s", i, problem.c_str());
  }
  {
    std::unique_lock open(g_openLock);
    g_openProblem.clear();
  }
  discpak::ComsInstallTransport(std::move(transport));
  ComsLogF("COMS_Open: %s opened, %d devices", kind.c_str(), count);
  return 0;
}

void COMS_Close() {
  std::unique_lock open(g_openLock);
  g_transport.reset();
  g_openProblem.clear();
}

LONG COMS_Nop() { return 0; }

LONG COMS_GetNumDevices() {
  std::shared_lock open(g_openLock);
  return DeviceCountLocked();
}

LONG COMS_GetDeviceType(LONG device) {
  std::shared_lock open(g_openLock);
  const vexa::scsi::DeviceInfo* info = g_transport ? g_transport->Device(device) : nullptr;
  return info ? info->type : 255;
}

LONG COMS_LogInquiry(LONG device, char* text) {
  std::uint8_t reply[64] = {};
  ComsCommandRecord c = Record(discpak::Cdb(discpak::cmd::kInquiry).Length(sizeof reply));
  DWORD length = sizeof reply;
  if (!text || !COMS_CmdRead(device, &c, nullptr, nullptr, reply, &length)) return 0;
  std::memset(text, 0, 29);
  // Only what the device returned: a short reply leaves the rest empty.
  if (length > 8) std::memcpy(text, reply + 8, std::min<DWORD>(length - 8, 28));
  ComsLogF("INQ device %02d <%s>", static_cast<int>(device), text);
  return 1;
}

LONG COMS_Cmd(LONG device, ComsCommandRecord* command, ComsSenseRecord* sense, void* event) {
  return RunCommand(device, command, sense, event, Direction::None, nullptr, nullptr);
}

LONG COMS_CmdWrite(LONG device, ComsCommandRecord* command, ComsSenseRecord* sense, void* event, void* data,
                   DWORD* length) {
  return RunCommand(device, command, sense, event, Direction::Out, data, length);
}

LONG COMS_CmdRead(LONG device, ComsCommandRecord* command, ComsSenseRecord* sense, void* event, void* buffer,
                  DWORD* length) {
  return RunCommand(device, command, sense, event, Direction::In, buffer, length);
}

LONG COMS_CheckATAPI(LONG device) {
  ComsLogF("COMS_CheckATAPI: %02ld", static_cast<long>(device));
  std::uint8_t reply[64] = {};
  namespace cmd = discpak::cmd;
  ComsCommandRecord c =
      Record(discpak::Cdb(cmd::kModeSense10).Set(cmd::kModePageCode, cmd::kPageCapabilities).Length(sizeof reply));
  DWORD length = sizeof reply;
  LONG atapi = 0;
  if (COMS_CmdRead(device, &c, nullptr, nullptr, reply, &length)) {
    discpak::ComsLogBytes("CKAT", reply, length);
    // The page code without its PS bit, after a 4- or an 8-byte header.
    atapi = (length > 4 && (reply[4] & 0x3F) == cmd::kPageCapabilities) ||
            (length > 8 && (reply[8] & 0x3F) == cmd::kPageCapabilities);
  }
  ComsLogF("COMS_CheckATAPI: %02ld result %d", static_cast<long>(device), static_cast<int>(atapi));
  return atapi;
}

ComsDeviceInfo* COMS_GetDeviceInfo(LONG device) {
  static ComsDeviceInfo record;
  vexa::scsi::DeviceInfo info;
  {
    std::shared_lock open(g_openLock);
    const vexa::scsi::DeviceInfo* d = g_transport ? g_transport->Device(device) : nullptr;
    if (!d) return nullptr;
    info = *d;
  }
  const LONG atapi = COMS_CheckATAPI(device);
  std::memset(&record, 0, sizeof record);
  record.hostAdapter = static_cast<DWORD>(info.host);
  record.pathId = static_cast<DWORD>(info.channel);
  record.targetId = static_cast<DWORD>(info.target);
  record.lun = static_cast<DWORD>(info.lun);
  record.isScsi = atapi ? 0 : 1;
  std::snprintf(record.text, sizeof record.text, "%s", info.busText.c_str());
  return &record;
}

LONG COMS_SetDeviceMode(LONG device, LONG flag) {
  std::shared_lock open(g_openLock);
  if (!g_transport || !g_transport->Device(device)) return 0;
  std::lock_guard deviceLock(g_deviceLocks[device]);
  return g_transport->SetDeviceMode(device, flag != 0) ? 1 : 0;
}

LONG COMS_CheckDeviceMode(LONG device) {
  std::shared_lock open(g_openLock);
  if (!g_transport || !g_transport->Device(device)) return 0;
  std::lock_guard deviceLock(g_deviceLocks[device]);
  return g_transport->CheckDeviceMode(device) ? 1 : 0;
}

LONG COMS_BlockDevice(LONG device, LONG type) {
  if (type == 2) return 0;
  std::shared_lock open(g_openLock);
  if (!g_transport || !g_transport->Device(device)) return 0;
  std::lock_guard deviceLock(g_deviceLocks[device]);
  const bool ok = g_transport->SetExclusive(device, type != 0);
  ComsLogF("COMS_BlockDevice: %02ld %s blocking %s", static_cast<long>(device), type ? "exclusive" : "shared",
           ok ? "set" : "failed");
  return ok ? 1 : 0;
}

LONG COMS_GetDriveLetter(LONG device) {
  std::shared_lock open(g_openLock);
  if (!g_transport) return 0;
  if (device < 0 || device >= DeviceCountLocked()) return -1;
  return device < 23 ? 'D' + device : 0;
}

const char* COMS_GetProblem() {
  thread_local std::string text;
  std::shared_lock open(g_openLock);
  text = g_transport ? std::string() : g_openProblem;
  for (int i = 0; g_transport && i < DeviceCountLocked(); ++i) {
    const std::string p = g_transport->Problem(i);
    if (!p.empty()) text += (text.empty() ? "" : "\n") + p;
  }
  return text.c_str();
}

const char* COMS_GetDevicePath(LONG device) {
  std::shared_lock open(g_openLock);
  const vexa::scsi::DeviceInfo* d = g_transport ? g_transport->Device(device) : nullptr;
  return d ? d->path.c_str() : "";
}

}  // extern "C"
