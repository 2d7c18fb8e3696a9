// On-disc records: endian writers, the directory and path-table record
// fillers, the two date forms and the volume descriptors. Every record is
// written field by field at its offset; nothing is copied from a struct.
#pragma once

#include <cstring>
#include <string>

#include "disclib/isofs/ISO9660.h"

namespace isofs {

namespace rec {

inline void PutLE16(BYTE* p, WORD v) {
  p[0] = static_cast<BYTE>(v);
  p[1] = static_cast<BYTE>(v >> 8);
}
inline void PutBE16(BYTE* p, WORD v) {
  p[0] = static_cast<BYTE>(v >> 8);
  p[1] = static_cast<BYTE>(v);
}
inline void PutLE32(BYTE* p, DWORD v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<BYTE>(v >> (8 * i));
}
inline void PutBE32(BYTE* p, DWORD v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<BYTE>(v >> (8 * (3 - i)));
}
// Both-endian: little-endian then big-endian.
inline void PutBoth16(BYTE* p, WORD v) {
  PutLE16(p, v);
  PutBE16(p + 2, v);
}
inline void PutBoth32(BYTE* p, DWORD v) {
  PutLE32(p, v);
  PutBE32(p + 4, v);
}
inline WORD GetLE16(const BYTE* p) { return static_cast<WORD>(p[0] | (p[1] << 8)); }
inline WORD GetBE16(const BYTE* p) { return static_cast<WORD>((p[0] << 8) | p[1]); }
inline DWORD GetLE32(const BYTE* p) {
  return DWORD(p[0]) | (DWORD(p[1]) << 8) | (DWORD(p[2]) << 16) | (DWORD(p[3]) << 24);
}
inline DWORD GetBE32(const BYTE* p) {
  return (DWORD(p[0]) << 24) | (DWORD(p[1]) << 16) | (DWORD(p[2]) << 8) | DWORD(p[3]);
}

// Directory record offsets.
enum : int {
  kDirLength = 0,
  kDirExtAttrLength = 1,
  kDirLocation = 2,
  kDirDataLength = 10,
  kDirRecordingDT = 18,
  kDirFileFlags = 25,
  kDirFileUnitSize = 26,
  kDirInterleave = 27,
  kDirVolSeq = 28,
  kDirIdLength = 32,
  kDirId = 33,
};
constexpr int kXAFieldSize = 14;
// XA attributes of a directory: directory, Mode 2 Form 1, read and execute
// for owner, group and world.
constexpr WORD kXADirectoryAttributes = 0x8D55;

// True when the record stands for "no date".
bool IsNoDate(const SYSTEMTIME* t);
// Offset from GMT in 15-minute units (east positive) of the given local
// time, daylight saving included.
int LocalOffsetQuarterHours(const SYSTEMTIME& t);
// 7-byte recording date; all zeros for "no date".
void PutDate7(BYTE* p, const SYSTEMTIME* t);
// 17-byte volume date; the unset form "0000000000000000" and offset 0 for
// "no date".
void PutDate17(BYTE* p, const SYSTEMTIME* t);
void PutUnsetDate17(BYTE* p);
SYSTEMTIME GetDate17(const BYTE* p);
// The 14-byte CD-ROM XA system-use field.
void PutXAField(BYTE* p, WORD groupId, WORD userId, WORD attributes, BYTE fileNumber);

}  // namespace rec

void ISO_Dir_InitDir(BYTE* record);
void ISO_Dir_InitThisDir(BYTE* record);
void ISO_Dir_InitParentDir(BYTE* record);
void ISO_Dir_SetName(BYTE* record, const char* name, BYTE fileFlags);
void ISO_Dir_SetData(BYTE* record, DWORD location, DWORD length);
void ISO_Dir_SetDataSize(BYTE* record, DWORD length);
void ISO_Dir_SetDataLocation(BYTE* record, DWORD location);
void ISO_Path_SetParent(BYTE* record, WORD number);
void ISO_Path_SetLocation(BYTE* record, DWORD location);
int ISO_Path_InitRoot(BYTE* record);

// One sector holding a volume descriptor; a chunk of one sector.
class VolumeDescriptor : public I_Chunk {
 public:
  VolumeDescriptor();  // the set terminator: type 255, "CD001", version 1
  DWORD GetSize() override { return kSectorSize; }
  DWORD GetAllocatedSize() override { return kSectorSize; }
  DWORD GetSectors() override { return 1; }
  DWORD GetLocation() override { return location_; }
  DWORD GetData(BYTE** dest, DWORD* remaining, DWORD offset) override;
  void SetLocation(DWORD sector, DWORD) override { location_ = sector; }

  const BYTE* Bytes() const { return data_; }
  BYTE* Bytes() { return data_; }

 protected:
  BYTE data_[kSectorSize];
  DWORD location_ = 0;
};

class PrimaryVolumeDescriptor : public VolumeDescriptor {
 public:
  PrimaryVolumeDescriptor() { init(); }
  void init();

  virtual void SetRaw(DWORD offset, const BYTE* data, DWORD length);
  virtual void SetVolumeSpaceSize(DWORD sectors);
  virtual void SetRootDate(int year, int month, int day, int hour, int minute, int second);
  virtual void SetL_PathTableLocation(DWORD sector);
  virtual void SetM_PathTableLocation(DWORD sector);  // written big-endian
  virtual void SetPathTableSize(DWORD bytes);
  virtual void SetRootDirectory(DWORD location, DWORD length);
  virtual bool Check();
  virtual BYTE* GetRootRecord() { return data_ + 156; }
  virtual void SetSystemIdentifier(const char* text) { SetText(8, 32, text); }
  virtual void SetVolumeIdentifier(const char* text) { SetText(40, 32, text); }
  virtual void SetVolumeSetIdentifier(const char* text) { SetText(190, 128, text); }
  virtual void SetPublisherIdentifier(const char* text) { SetText(318, 128, text); }
  virtual void SetDataPreparerIdentifier(const char* text) { SetText(446, 128, text); }
  virtual void SetApplicationIdentifier(const char* text) { SetText(574, 128, text); }
  virtual void SetCopyrightFileIdentifier(const char* text) { SetText(702, 37, text); }
  virtual void SetAbstractFileIdentifier(const char* text) { SetText(739, 37, text); }
  virtual void SetBibliographicFileIdentifier(const char* text) { SetText(776, 37, text); }
  virtual void SetVolumeCreationDT(const SYSTEMTIME* t) { rec::PutDate17(data_ + 813, t); }
  virtual void SetVolumeModificationDT(const SYSTEMTIME* t) { rec::PutDate17(data_ + 830, t); }
  virtual void SetVolumeExpirationDT(const SYSTEMTIME* t) { rec::PutDate17(data_ + 847, t); }
  virtual void SetVolumeEffectiveDT(const SYSTEMTIME* t) { rec::PutDate17(data_ + 864, t); }
  virtual SYSTEMTIME GetVolumeCreationDT() const { return rec::GetDate17(data_ + 813); }
  virtual SYSTEMTIME GetVolumeModificationDT() const { return rec::GetDate17(data_ + 830); }
  virtual SYSTEMTIME GetVolumeExpirationDT() const { return rec::GetDate17(data_ + 847); }
  virtual SYSTEMTIME GetVolumeEffectiveDT() const { return rec::GetDate17(data_ + 864); }
  virtual void SetXASignature();
  virtual void SetXAStartupDirectory(const char* text);

 protected:
  // Narrow text over a space-filled field; never cuts inside a character.
  virtual void SetText(int offset, int size, const char* text);
};

// The Joliet descriptor: identifier fields in UCS-2 big-endian.
class SupplementaryVolumeDescriptor : public PrimaryVolumeDescriptor {
 public:
  SupplementaryVolumeDescriptor() { init(); }
  void init();

  void SetSystemIdentifier(const char16_t* text) { SetWide(8, 32, text); }
  void SetVolumeIdentifier(const char16_t* text) { SetWide(40, 32, text); }
  void SetVolumeSetIdentifier(const char16_t* text) { SetWide(190, 128, text); }
  void SetPublisherIdentifier(const char16_t* text) { SetWide(318, 128, text); }
  void SetDataPreparerIdentifier(const char16_t* text) { SetWide(446, 128, text); }
  void SetApplicationIdentifier(const char16_t* text) { SetWide(574, 128, text); }
  void SetCopyrightFileIdentifier(const char16_t* text) { SetWide(702, 37, text); }
  void SetAbstractFileIdentifier(const char16_t* text) { SetWide(739, 37, text); }
  void SetBibliographicFileIdentifier(const char16_t* text) { SetWide(776, 37, text); }
  using PrimaryVolumeDescriptor::SetSystemIdentifier;
  using PrimaryVolumeDescriptor::SetVolumeIdentifier;
  using PrimaryVolumeDescriptor::SetVolumeSetIdentifier;
  using PrimaryVolumeDescriptor::SetPublisherIdentifier;
  using PrimaryVolumeDescriptor::SetDataPreparerIdentifier;
  using PrimaryVolumeDescriptor::SetApplicationIdentifier;
  using PrimaryVolumeDescriptor::SetCopyrightFileIdentifier;
  using PrimaryVolumeDescriptor::SetAbstractFileIdentifier;
  using PrimaryVolumeDescriptor::SetBibliographicFileIdentifier;

  bool Check() override { return true; }

 protected:
  void SetText(int offset, int size, const char* text) override;
  void SetWide(int offset, int size, const char16_t* text);
};

}  // namespace isofs
