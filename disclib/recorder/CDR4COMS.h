// "CDR4COMS": the SCSI transport object of the disc library. It numbers the
// CD/DVD devices of the machine 0..n-1, carries command blocks to them
// through the transport chosen when it opens (platform/scsi: Linux SG_IO or
// the simulated recorder), and owns the drive-command debug log
// ("comslog.txt" for the disc engine) that every part of the disc library
// writes to with COMS_Log.
//
// Transport functions answer 1 for success and 0 for failure, except
// COMS_Open, which answers 0 for opened and 1 for failed.
#pragma once

#include <cstddef>

#include "disclib/DiscpakExport.h"
#include "platform/base/WinTypes.h"

// Command record, zeroed by the caller before use.
struct ComsCommandRecord {
  BYTE cdbLength;    // 6, 10 or 12
  BYTE reserved[3];
  DWORD tag;         // printed as "T" in the command log
  BYTE cdb[16];      // cdb[0] is the operation code
};
static_assert(sizeof(ComsCommandRecord) == 24);

// Sense record: the status word (0 after success; after a failure the SCSI
// status, kComsStatusTimedOut when the command's time ran out before the
// drive answered, kComsStatusGone when the device is no longer there, or
// kComsStatusNoAnswer when the transport failed without a status otherwise)
// and 32 bytes of sense data in the fixed format (key in byte 2, ASC in 12,
// ASCQ in 13).
struct ComsSenseRecord {
  DWORD status;
  BYTE sense[32];
};
static_assert(sizeof(ComsSenseRecord) == 36);
inline constexpr DWORD kComsStatusNoAnswer = 0xFF;
inline constexpr DWORD kComsStatusTimedOut = 0x1FF;
inline constexpr DWORD kComsStatusGone = 0x2FF;
// How a drive's error text names a device that is no longer there.
inline constexpr char kComsDriveGoneText[] =
    "NO ANSWER FROM THE DRIVE: the drive is gone (disconnected or switched off)";

// Device information record, refilled by each COMS_GetDeviceInfo.
struct ComsDeviceInfo {
  DWORD hostAdapter;    // SCSI host number
  DWORD pathId;         // channel
  DWORD targetId;
  DWORD lun;
  DWORD filterVersion;  // 0: no filter driver on this platform
  DWORD version;        // 0
  DWORD isScsi;         // 0 when COMS_CheckATAPI finds an ATAPI device
  DWORD autorun;        // 0
  BYTE reserved[28];
  char text[32];        // "IDE//USB" or "SCSI"
};
static_assert(sizeof(ComsDeviceInfo) == 92);
static_assert(offsetof(ComsDeviceInfo, text) == 60);

// The library object: two version words, then sixteen entry points.
struct CDR4COMS {
  DWORD version1;  // 104
  DWORD version2;  // 104
  LONG (*COMS_Open)();
  void (*COMS_Close)();
  LONG (*COMS_Nop)();
  LONG (*COMS_GetDeviceType)(LONG device);
  LONG (*COMS_LogInquiry)(LONG device, char* text29);
  LONG (*COMS_Cmd)(LONG device, ComsCommandRecord* command, ComsSenseRecord* sense, void* event);
  LONG (*COMS_CmdWrite)(LONG device, ComsCommandRecord* command, ComsSenseRecord* sense, void* event,
                        void* data, DWORD* length);
  LONG (*COMS_CmdRead)(LONG device, ComsCommandRecord* command, ComsSenseRecord* sense, void* event,
                       void* buffer, DWORD* length);
  void (*COMS_StartLog)(const char* path, LONG append);
  void (*COMS_StopLog)();
  void (*COMS_Log)(const char* text);
  ComsDeviceInfo* (*COMS_GetDeviceInfo)(LONG device);
  LONG (*COMS_SetDeviceMode)(LONG device, LONG flag);
  LONG (*COMS_CheckDeviceMode)(LONG device);
  LONG (*COMS_BlockDevice)(LONG device, LONG type);
  LONG (*COMS_GetDriveLetter)(LONG device);
};

// The twelve transport functions every drive class sends its commands
// through. Before the layer is open every entry is a stub.
struct ComsTransportTable {
  void (*COMS_Close)();
  LONG (*COMS_Nop)();
  LONG (*COMS_GetNumDevices)();
  LONG (*COMS_GetDeviceType)(LONG device);
  ComsDeviceInfo* (*COMS_GetDeviceInfo)(LONG device);
  LONG (*COMS_GetDriveLetter)(LONG device);
  LONG (*COMS_Cmd)(LONG device, ComsCommandRecord* command, ComsSenseRecord* sense, void* event);
  LONG (*COMS_CmdWrite)(LONG device, ComsCommandRecord* command, ComsSenseRecord* sense, void* event,
                        void* data, DWORD* length);
  LONG (*COMS_CmdRead)(LONG device, ComsCommandRecord* command, ComsSenseRecord* sense, void* event,
                       void* buffer, DWORD* length);
  LONG (*COMS_BlockDevice)(LONG device, LONG type);
  LONG (*COMS_SetDeviceMode)(LONG device, LONG flag);
  LONG (*COMS_CheckDeviceMode)(LONG device);
};

extern "C" {

// Opens the layer (COMS_Open) and returns the object; words 3-9 and 13-17
// are those of the back end chosen at that moment.
DISCPAK_API CDR4COMS* CDR4COMS_Get();
// Does nothing: the object lives as long as the library.
DISCPAK_API void CDR4COMS_Release(CDR4COMS* object);

DISCPAK_API LONG COMS_Open();
DISCPAK_API void COMS_Close();
DISCPAK_API LONG COMS_Nop();
DISCPAK_API LONG COMS_GetNumDevices();
DISCPAK_API LONG COMS_GetDeviceType(LONG device);
DISCPAK_API LONG COMS_LogInquiry(LONG device, char* text29);
DISCPAK_API LONG COMS_Cmd(LONG device, ComsCommandRecord* command, ComsSenseRecord* sense, void* event);
DISCPAK_API LONG COMS_CmdWrite(LONG device, ComsCommandRecord* command, ComsSenseRecord* sense, void* event,
                               void* data, DWORD* length);
DISCPAK_API LONG COMS_CmdRead(LONG device, ComsCommandRecord* command, ComsSenseRecord* sense, void* event,
                              void* buffer, DWORD* length);
DISCPAK_API ComsDeviceInfo* COMS_GetDeviceInfo(LONG device);
DISCPAK_API LONG COMS_SetDeviceMode(LONG device, LONG flag);
DISCPAK_API LONG COMS_CheckDeviceMode(LONG device);
DISCPAK_API LONG COMS_BlockDevice(LONG device, LONG type);
// The letter form a drive is known by: 'D' + n for devices below 23, 0 for
// the others, -1 out of range (0 before the layer is open).
DISCPAK_API LONG COMS_GetDriveLetter(LONG device);
// The device node (or simulator folder) of a device; "" out of range.
DISCPAK_API const char* COMS_GetDevicePath(LONG device);
// Why no writer may be usable: the reason the transport setting could not
// be opened, else what stands against each device (another program holds
// it, its node cannot be opened), one per line; "" when nothing is known.
// The text stays valid until the next call in the same thread.
DISCPAK_API const char* COMS_GetProblem();
DISCPAK_API LONG COMS_CheckATAPI(LONG device);

// The debug log (comslog.txt).
DISCPAK_API void COMS_StartLog(const char* path, LONG append);
DISCPAK_API void COMS_StopLog();
DISCPAK_API void COMS_Log(const char* text);

// The transport table in effect (stubs before COMS_Open).
DISCPAK_API const ComsTransportTable* COMS_GetTransportTable();

}  // extern "C"
