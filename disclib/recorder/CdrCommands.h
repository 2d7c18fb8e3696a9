// Shared utilities of the drive classes: commands sent through the transport
// table, mode pages, feature descriptors, sense, block sizes, and the waits
// on a busy drive. Every command a drive class sends goes through here.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>

#include "disclib/recorder/CDR4COMS.h"
#include "disclib/recorder/CommandTemplates.h"
#include "platform/base/Time.h"
#include "platform/base/WinTypes.h"

namespace discpak {

// One command through the transport table: none, or `length` bytes read
// into buffer (in/out: the bytes moved afterwards), or `length` bytes of
// data sent. A unit attention is answered by sending the command again
// (RetryFor); the sense record holds the last answer.
bool Cmd(LONG device, const Cdb& cdb, ComsSenseRecord* sense = nullptr);
bool CmdRead(LONG device, const Cdb& cdb, void* buffer, DWORD* length, ComsSenseRecord* sense = nullptr);
bool CmdWrite(LONG device, const Cdb& cdb, const void* data, DWORD length, ComsSenseRecord* sense = nullptr);

// Sense code of a record: key (low four bits of byte 2) << 16 | ASC << 8 | ASCQ.
DWORD SenseCode(const ComsSenseRecord& sense);

// What the sense of a failed command asks of the one who sent it. This is
// the one place that decides from sense data whether a command is tried
// again.
enum class SenseRetry {
  kNone,     // the failure stands
  // A unit attention: the medium may have changed (06/28/xx) or the drive
  // was powered on or reset (06/29/xx). The drive reports it once, to the
  // first command after the event, without carrying that command out; the
  // same command is sent again at once (Cmd, CmdRead and CmdWrite do so,
  // at most kUnitAttentionReissues times).
  kReissue,
  // Operation still in progress: 02/04/01, 02/04/04, 02/04/07, 02/04/08,
  // and a sense byte 2 of 0xFE with 04/08. The caller asks again after a
  // pause, up to its wait limit.
  kWhileBusy,
};
SenseRetry RetryFor(const ComsSenseRecord& sense);
// Several events can be pending at once (a reset, then a new disc), each
// reported once; a drive that keeps answering so is not asked for ever.
inline constexpr int kUnitAttentionReissues = 3;
// RetryFor(sense) == SenseRetry::kWhileBusy.
bool IsBusy(const ComsSenseRecord& sense);
// The text of a sense code, or null when the table has none.
const char* SenseText(DWORD code);

// MODE SENSE(10) of one page into page (at most 768 bytes): the page from
// its code byte on, the length the device gave for it. Dumped as "MSN".
bool ModeSense10(LONG device, int pageCode, BYTE* page, DWORD allocation, DWORD* pageLength,
                 ComsSenseRecord* sense = nullptr);
// MODE SELECT(10) with the page-format bit: an 8-byte header (mode data
// length zero) and the page (its PS bit cleared). Dumped as "MSL".
bool ModeSelect10(LONG device, const BYTE* page, DWORD pageLength, ComsSenseRecord* sense = nullptr);
// MODE SENSE(6) / MODE SELECT(6) of one page (without block descriptors).
bool ModeSense6(LONG device, int pageCode, BYTE* page, DWORD allocation, DWORD* pageLength,
                ComsSenseRecord* sense = nullptr);
bool ModeSelect6(LONG device, const BYTE* page, DWORD pageLength, ComsSenseRecord* sense = nullptr);
// GET CONFIGURATION from a feature (request type 0): the current profile,
// and the first descriptor when its feature code is the one asked for.
bool GetConfiguration(LONG device, int feature, BYTE* descriptor, DWORD descriptorSize, DWORD* descriptorLength,
                      int* currentProfile, ComsSenseRecord* sense = nullptr);
bool RequestSense(LONG device, BYTE sense[32]);
bool SCSI2_SetBlockSize(LONG device, DWORD size);
DWORD SCSI2_GetBlockSize(LONG device);

// Waits on a busy drive end after this long; tests shorten it.
std::int64_t DeviceWaitLimitMs();
void SetDeviceWaitLimitMs(std::int64_t ms);

// The clock those waits read and the pause between two questions to a busy
// drive. By default the real monotonic clock and a sleep; a test installs a
// clock of its own and a pause that moves it on, so a wait ends after the
// same number of questions however loaded the machine is. Null and an empty
// function put the real ones back. Install them only while no recording
// runs.
void SetDeviceWaitClock(const vexa::base::Clock* clock, std::function<void(std::chrono::milliseconds)> pause);
// The point the wait limit ends at, counted from now on the wait clock; and
// whether the wait clock has reached a point.
std::chrono::steady_clock::time_point DeviceWaitDeadline();
// The same for a WRITE the drive keeps answering busy: its buffer drains
// in seconds, so a drive still busy after a minute (or the wait limit, when
// that is shorter) will not take the data.
constexpr std::int64_t kWriteBusyLimitMs = 60 * 1000;
std::chrono::steady_clock::time_point DeviceWriteDeadline();
bool DeviceWaitPassed(std::chrono::steady_clock::time_point deadline);
// One pause between two questions to a busy drive.
void DeviceWaitPause(std::chrono::milliseconds pause);

// Speeds: x is a multiple of 176.4 kB/s.
int SpeedX(int kbs);
int SpeedKBs(int x);

}  // namespace discpak
