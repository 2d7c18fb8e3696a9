// "CDR4BASE": the drive object of the recorder layer, as the disc engine
// reaches it: CDR4_CreateDrive picks the drive class for a device number,
// the other words forward to the drive (I_CDRClass.h) and to its database
// entry (I_CDR4DriveDB.h) with their arguments unchanged.
#pragma once

#include "disclib/DiscpakExport.h"
#include "disclib/recorder/I_CDR4DriveDB.h"
#include "disclib/recorder/I_CDRClass.h"

using CDR4_DBGetFn = LONG (*)(I_CDR4DriveDB*, LONG index, LONG nameSize, char* name, DWORD* word1, DWORD* speed,
                              DWORD* word3);

struct CDR4BASE {
  DWORD version1;  // 107
  DWORD version2;  // 130
  I_CDRClass* (*CDR4_CreateDrive)(LONG device);
  void (*CDR4_DeleteDrive)(I_CDRClass* drive);
  LONG (*CDR4_GetDrivePath)(I_CDRClass* drive);
  LONG (*CDR4_GetDriveNum)(I_CDRClass* drive);
  DWORD (*CDR4_GetDriveCaps)(I_CDRClass* drive);
  LONG (*CDR4_GetInquiry)(I_CDRClass* drive, char* buffer);
  LONG (*CDR4_GetDriveStatus)(I_CDRClass* drive);
  LONG (*CDR4_QueryDisc)(I_CDRClass* drive, LONG what, DWORD* length, void* buffer);
  LONG (*CDR4_ReadCD)(I_CDRClass* drive, LONG start, LONG count, void* buffer, LONG sectorType, LONG sectorSize);
  LONG (*CDR4_ReadSectors)(I_CDRClass* drive, LONG count, void* buffer, ComsSenseRecord* sense);
  LONG (*CDR4_ReadSpeedQuery)(I_CDRClass* drive, LONG code);
  LONG (*CDR4_SpeedQuery)(I_CDRClass* drive, LONG code);
  LONG (*CDR4_SetBlocking)(I_CDRClass* drive, LONG type);
  LONG (*CDR4_Eject)(I_CDRClass* drive);
  LONG (*CDR4_Load)(I_CDRClass* drive);
  LONG (*CDR4_LockDrive)(I_CDRClass* drive);
  LONG (*CDR4_UnlockDrive)(I_CDRClass* drive);
  LONG (*CDR4_IsDiscBlank)(I_CDRClass* drive, void* buffer);
  LONG (*CDR4_ReadTrackInfo)(I_CDRClass* drive, LONG track, void* buffer);
  LONG (*CDR4_ReserveTrack)(I_CDRClass* drive, LONG size, LONG trackType);
  LONG (*CDR4_StartTAO)(I_CDRClass* drive, LONG track, LONG type, LONG flags, const BYTE* code16,
                        const BYTE* subheader8);
  LONG (*CDR4_WriteTAO)(I_CDRClass* drive, LONG sectorSize, LONG count, const void* data);
  LONG (*CDR4_FinishTAO)(I_CDRClass* drive);
  LONG (*CDR4_CloseSession)(I_CDRClass* drive, LONG format, LONG closeFlag);
  LONG (*CDR4_StartSAO)(I_CDRClass* drive, I_CDRSessionLayout* layout, LONG flags);
  LONG (*CDR4_WriteSAO)(I_CDRClass* drive, LONG trackType, LONG sectorSize, LONG count, const void* data);
  LONG (*CDR4_FinishSAO)(I_CDRClass* drive);
  const char* (*CDR4_GetLastError)(I_CDRClass* drive, ComsSenseRecord* sense);
  LONG (*CDR4_BlankDisc)(I_CDRClass* drive, LONG full);
  LONG (*CDR4_IsIdle)(I_CDRClass* drive);
  I_CDR4DriveDB* (*CDR4_GetDriveDB)(I_CDRClass* drive);
  LONG (*CDR4_DBIsLoaded)(I_CDR4DriveDB* db);
  LONG (*CDR4_DBCountA)(I_CDR4DriveDB* db);
  CDR4_DBGetFn CDR4_DBGetA;
  LONG (*CDR4_DBCountB)(I_CDR4DriveDB* db);
  LONG (*CDR4_DBCountC)(I_CDR4DriveDB* db);
  CDR4_DBGetFn CDR4_DBGetB;
  CDR4_DBGetFn CDR4_DBGetC;
  LONG (*CDR4_DBSlot8)(I_CDR4DriveDB* db);
  void (*CDR4_DBSlot9)(I_CDR4DriveDB* db, DWORD ignored1, DWORD ignored2, char* text);
  LONG (*CDR4_DBCodeCount)(I_CDR4DriveDB* db);
  LONG (*CDR4_DBSlot11)(I_CDR4DriveDB* db);
  LONG (*CDR4_DBHasKey)(I_CDR4DriveDB* db, DWORD key);
  DWORD (*CDR4_DBGetValue)(I_CDR4DriveDB* db, DWORD key);
  // Added after the drive database's words, so the earlier ones keep their
  // places: cuts a track-at-once recording short from any thread
  // (MmcClass::AbortTAO); CDR_NOT_SUPPORTED for a drive that records no
  // tracks at once.
  LONG (*CDR4_AbortTAO)(I_CDRClass* drive);
};

extern "C" {

// Fills the table once and returns it; CDR4BASE_Release does nothing.
DISCPAK_API CDR4BASE* CDR4BASE_Get();
DISCPAK_API void CDR4BASE_Release(CDR4BASE* object);

// The drive class for a device number (taken modulo 256), or null.
DISCPAK_API I_CDRClass* CDR4_CreateDrive(LONG device);
DISCPAK_API void CDR4_DeleteDrive(I_CDRClass* drive);

}  // extern "C"
