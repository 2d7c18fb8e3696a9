// "CDR4BASE": drive creation and the flat forwarders of the drive object.
#include "disclib/recorder/CDR4BASE.h"

#include <cstring>
#include <memory>
#include <new>

#include "disclib/recorder/CdrDrive.h"
#include "disclib/recorder/CommandTemplates.h"
#include "disclib/recorder/ComsLog.h"
#include "disclib/recorder/DriveDB.h"

using namespace discpak;

namespace {

const char* const kOldReaders[] = {"PLEXTOR CD-ROM PX-40", "PLEXTOR CD-ROM PX-32", "PLEXTOR CD-ROM PX-20",
                                   "PLEXTOR CD-ROM PX-12"};

LONG GetDrivePath(I_CDRClass* d) { return d->GetDrivePath(); }
LONG GetDriveNum(I_CDRClass* d) { return d->GetDriveNum(); }
DWORD GetDriveCaps(I_CDRClass* d) { return d->GetDriveCaps(); }
LONG GetInquiry(I_CDRClass* d, char* b) { return d->GetInquiry(b); }
LONG GetDriveStatus(I_CDRClass* d) { return d->GetDriveStatus(); }
LONG QueryDisc(I_CDRClass* d, LONG w, DWORD* l, void* b) { return d->QueryDisc(w, l, b); }
LONG ReadCD(I_CDRClass* d, LONG s, LONG c, void* b, LONG t, LONG z) { return d->ReadCD(s, c, b, t, z, nullptr); }
LONG ReadSectors(I_CDRClass* d, LONG c, void* b, ComsSenseRecord* s) { return d->ReadSectors(c, b, s); }
LONG ReadSpeedQuery(I_CDRClass* d, LONG c) { return d->ReadSpeedQuery(c); }
LONG SpeedQuery(I_CDRClass* d, LONG c) { return d->SpeedQuery(c); }
LONG SetBlocking(I_CDRClass* d, LONG t) { return d->SetBlocking(t); }
LONG Eject(I_CDRClass* d) { return d->Eject(0); }
LONG Load(I_CDRClass* d) { return d->Load(0); }
LONG LockDrive(I_CDRClass* d) { return d->LockDrive(); }
LONG UnlockDrive(I_CDRClass* d) { return d->UnlockDrive(); }
LONG IsDiscBlank(I_CDRClass* d, void* b) { return d->ReadDiscInfo(b); }
LONG ReadTrackInfo(I_CDRClass* d, LONG t, void* b) { return d->ReadTrackInfo(t, b); }
LONG ReserveTrack(I_CDRClass* d, LONG s, LONG t) { return d->ReserveTrack(s, t); }
LONG StartTAO(I_CDRClass* d, LONG t, LONG y, LONG f, const BYTE* c, const BYTE* s) {
  return d->StartTAO(t, y, f, c, s);
}
LONG WriteTAO(I_CDRClass* d, LONG s, LONG c, const void* b) { return d->WriteTAO(s, c, b); }
LONG FinishTAO(I_CDRClass* d) { return d->FinishTAO(); }
LONG AbortTAO(I_CDRClass* d) {
  auto* mmc = dynamic_cast<MmcClass*>(d);
  return mmc ? mmc->AbortTAO() : CDR_NOT_SUPPORTED;
}
LONG CloseSession(I_CDRClass* d, LONG f, LONG c) { return d->CloseSession(f, c); }
LONG StartSAO(I_CDRClass* d, I_CDRSessionLayout* l, LONG f) { return d->StartSAO(l, f); }
LONG WriteSAO(I_CDRClass* d, LONG t, LONG s, LONG c, const void* b) { return d->WriteSAO(t, s, c, b); }
LONG FinishSAO(I_CDRClass* d) { return d->FinishSAO(); }
const char* GetLastError(I_CDRClass* d, ComsSenseRecord* s) { return d->GetLastError(s); }
LONG BlankDisc(I_CDRClass* d, LONG f) { return d->BlankDisc(f); }
LONG IsIdle(I_CDRClass* d) { return d->IsIdle(); }
I_CDR4DriveDB* GetDriveDB(I_CDRClass* d) { return d->GetDriveDB(); }
LONG DBIsLoaded(I_CDR4DriveDB* b) { return b->IsLoaded(); }
LONG DBCountA(I_CDR4DriveDB* b) { return b->CountA(); }
LONG DBGetA(I_CDR4DriveDB* b, LONG i, LONG n, char* s, DWORD* w1, DWORD* sp, DWORD* w3) {
  return b->GetA(i, n, s, w1, sp, w3);
}
LONG DBCountB(I_CDR4DriveDB* b) { return b->CountB(); }
LONG DBCountC(I_CDR4DriveDB* b) { return b->CountC(); }
LONG DBGetB(I_CDR4DriveDB* b, LONG i, LONG n, char* s, DWORD* w1, DWORD* sp, DWORD* w3) {
  return b->GetB(i, n, s, w1, sp, w3);
}
LONG DBGetC(I_CDR4DriveDB* b, LONG i, LONG n, char* s, DWORD* w1, DWORD* sp, DWORD* w3) {
  return b->GetC(i, n, s, w1, sp, w3);
}
LONG DBSlot8(I_CDR4DriveDB* b) { return b->Slot8(); }
void DBSlot9(I_CDR4DriveDB* b, DWORD x, DWORD y, char* t) { b->Slot9(x, y, t); }
LONG DBCodeCount(I_CDR4DriveDB* b) { return b->CodeCount(); }
LONG DBSlot11(I_CDR4DriveDB* b) { return b->Slot11(); }
LONG DBHasKey(I_CDR4DriveDB* b, DWORD k) { return b->HasKey(k); }
DWORD DBGetValue(I_CDR4DriveDB* b, DWORD k) { return b->GetValue(k); }

// The drive's entry in the drive database, or null when it has none (or
// there is no memory to read it: the drive is then made without one).
std::unique_ptr<I_CDR4DriveDB> DatabaseEntry(const char* inquiry) {
  try {
    auto entry = std::make_unique<Cdr4DriveDBRegistry>(inquiry);
    if (!entry->IsLoaded()) return nullptr;
    ComsLogF("IN REGISTRY: %s", inquiry);
    return entry;
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

I_CDRClass* CreateDrive(LONG device) {
  const ComsTransportTable* t = COMS_GetTransportTable();
  if (t->COMS_GetNumDevices() == 0) COMS_Open();
  t = COMS_GetTransportTable();
  device &= 0xFF;
  if (device >= t->COMS_GetNumDevices()) return nullptr;
  char inquiry[29] = {};
  if (!COMS_LogInquiry(device, inquiry) || inquiry[0] == 0) return nullptr;
  // The database entry has one owner at a time: this function until a
  // drive's constructor takes it, then the drive, which deletes it, also
  // when its own construction fails half-way.
  std::unique_ptr<I_CDR4DriveDB> database = DatabaseEntry(inquiry);
  if (IsDvdDevice(device, cmd::kFeatureDvdMinusRw, "DVD-RW")) return new DvdRwClass(device, std::move(database));
  if (IsDvdDevice(device, cmd::kFeatureDvdPlusRw, "DVD+RW")) return new DvdPrwClass(device, std::move(database));
  if (IsMmcDevice(device)) return new MmcClass(device, std::move(database));
  if (database && database->GetValue(CDR4DB_KEY_CDRFLAGS)) return new MmcClass(device, std::move(database));
  for (const char* name : kOldReaders) {
    if (std::strstr(inquiry, name)) return new PlextorClass(device, std::move(database));
  }
  return nullptr;
}

}  // namespace

extern "C" {

I_CDRClass* CDR4_CreateDrive(LONG device) {
  // Memory running out anywhere on the way gives null, as for a device
  // that is no drive.
  try {
    return CreateDrive(device);
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

void CDR4_DeleteDrive(I_CDRClass* drive) { delete drive; }

CDR4BASE* CDR4BASE_Get() {
  static CDR4BASE table = {107,
                           130,
                           CDR4_CreateDrive,
                           CDR4_DeleteDrive,
                           GetDrivePath,
                           GetDriveNum,
                           GetDriveCaps,
                           GetInquiry,
                           GetDriveStatus,
                           QueryDisc,
                           ReadCD,
                           ReadSectors,
                           ReadSpeedQuery,
                           SpeedQuery,
                           SetBlocking,
                           Eject,
                           Load,
                           LockDrive,
                           UnlockDrive,
                           IsDiscBlank,
                           ReadTrackInfo,
                           ReserveTrack,
                           StartTAO,
                           WriteTAO,
                           FinishTAO,
                           CloseSession,
                           StartSAO,
                           WriteSAO,
                           FinishSAO,
                           GetLastError,
                           BlankDisc,
                           IsIdle,
                           GetDriveDB,
                           DBIsLoaded,
                           DBCountA,
                           DBGetA,
                           DBCountB,
                           DBCountC,
                           DBGetB,
                           DBGetC,
                           DBSlot8,
                           DBSlot9,
                           DBCodeCount,
                           DBSlot11,
                           DBHasKey,
                           DBGetValue,
                           AbortTAO};
  return &table;
}

void CDR4BASE_Release(CDR4BASE*) {}

}  // extern "C"
