// The ISO 9660 file-system manager: the interfaces through which the disc
// library builds a file tree, lays it out and fetches its sectors.
//
// Sectors are 2048 bytes; every location is a logical block number counted
// from the start of the disc. 8-bit text is UTF-8 (the system's ANSI text),
// 16-bit text is UTF-16 in char16_t.
//
// The public headers of this folder are this one, I_CD_SessionMaster.h (the
// session master and CreateDM), Exceptions.h and SimpleORB.h. Headers named
// *_p.h and those under Include/ belong to the manager and its tests.
#pragma once

#include <cstddef>
#include <ostream>
#include <string>
#include <string_view>

#include "disclib/isofs/Exceptions.h"
#include "disclib/isofs/SimpleORB.h"
#include "platform/base/WinTypes.h"

namespace isofs {

// File-system flags: on every tree entry and in the session's format word.
enum : DWORD {
  FS_ISO9660 = 0x01,       // ISO 9660 tree, 8.3 names
  FS_JOLIET = 0x02,        // Joliet tree
  FS_XA = 0x08,            // CD-ROM XA extension
  FS_ISO9660_LONG = 0x20,  // ISO 9660 tree with long names
};

constexpr std::size_t kSectorSize = 2048;

// Dates are SYSTEMTIME records (platform/base/WinTypes.h); a record whose
// year, month and day are 0 stands for "no date".

class I_Directory;

class I_File {
 public:
  virtual int IsPlainFile() const = 0;
  virtual int IsDirectory() const = 0;
  virtual int IsXA() const = 0;
  virtual DWORD Get_FS_Flags() const = 0;
  virtual void Set_FS_Flags(DWORD flags) = 0;
  virtual const char* GetName() const = 0;
  virtual const char* GetISOName() const = 0;
  virtual const char16_t* GetWideName() const = 0;
  virtual std::u16string GetFullPathWide() const = 0;
  virtual std::string GetFullPath() const = 0;
  virtual std::string GetFullPathISO() const = 0;
  virtual void SetName(const char16_t* wideName, const char* isoName) = 0;
  virtual void SetName(const char* narrowName, const char* isoName) = 0;
  virtual void SetISOName(const char* name) = 0;
  virtual void SetData(DWORD size, DWORD location, WORD locationKind) = 0;
  virtual DWORD GetLocation() const = 0;
  virtual WORD GetLocationKind() const = 0;
  virtual DWORD GetDataSize() const = 0;
  virtual I_Directory* GetParent() const = 0;
  virtual void SetParent(I_Directory* dir) = 0;
  virtual DWORD GetChanged() const = 0;
  virtual void SetChanged(DWORD value) = 0;
  virtual const SYSTEMTIME* GetDate() const = 0;
  virtual void SetDate(const SYSTEMTIME* date) = 0;
  virtual int NameEquals(const char* text) const;
  virtual int NameGreater(const char* name) const;
  virtual int NameLess(const char* name) const;
  virtual void Print(std::ostream& out, int depth) const = 0;
  virtual ~I_File() = default;

  // The identifier this entry is recorded under in the Joliet tree: its wide
  // name with the characters Joliet forbids replaced, cut to 64 characters
  // and made unique in its directory. Valid after the directory's First().
  virtual const std::u16string& GetJolietName() const = 0;
};

class I_PlainFile : public virtual I_File {
 public:
  ~I_PlainFile() override = default;
};

class I_XA_File : public virtual I_PlainFile {
 public:
  virtual void SetXA(WORD attributes, BYTE fileNumber, WORD groupId, WORD userId) = 0;
  virtual WORD GetUserId() const = 0;
  virtual WORD GetGroupId() const = 0;
  virtual WORD GetAttributes() const = 0;
  virtual BYTE GetFileNumber() const = 0;
  ~I_XA_File() override = default;
};

class I_DirListener {
 public:
  virtual void NotifyDelete() = 0;
  virtual void NotifyChange() = 0;
  virtual ~I_DirListener() = default;
};

class I_DirGuard {
 public:
  virtual void AddDirListener(I_DirListener* listener) = 0;
  virtual void RemoveDirListener(I_DirListener* listener) = 0;
  virtual ~I_DirGuard() = default;
};

class I_Directory : public virtual I_SimpleORB {
 public:
  virtual I_File* GetFile(const char* name) = 0;
  virtual I_Directory* GetDirectory(const char* name) = 0;
  virtual I_PlainFile* GetPlainFile(const char* name) = 0;
  virtual I_File* GetFile(const char16_t* name) = 0;
  virtual I_Directory* GetDirectory(const char16_t* name) = 0;
  virtual I_PlainFile* GetPlainFile(const char16_t* name) = 0;
  virtual I_File* GetFileISO(const char* name) = 0;
  virtual I_Directory* GetDirectoryISO(const char* name) = 0;
  virtual I_PlainFile* GetPlainFileISO(const char* name) = 0;
  virtual void AddFile(I_File* file) = 0;
  virtual void DeleteFile(I_File* file) = 0;
  virtual void DeleteFile(const char* name) = 0;
  virtual void DeleteFile(const char16_t* name) = 0;
  virtual void DeleteAll() = 0;
  // Brings the recorded names up to date and moves the cursor before the
  // first entry: First(); while ((f = Next())) ...
  virtual void First() = 0;
  virtual I_File* Next() = 0;
  virtual void Last() = 0;
  virtual I_File* Previous() = 0;
  ~I_Directory() override = default;
};

// The two sides of a directory object.
inline I_File* AsFile(I_Directory* d) { return dynamic_cast<I_File*>(d); }
inline I_Directory* AsDirectory(I_File* f) { return dynamic_cast<I_Directory*>(f); }

// One entry of a disc path made from a name of the operating system's file
// system, where '\' is an ordinary character: every character that disc
// paths split at ('/' and '\') becomes '_', so the name stays one entry
// and never turns into folders. Walk a tree on disk by its own separator
// and build each disc path from entries made here.
std::string DiscPathEntry(std::string_view name);
std::u16string DiscPathEntry(std::u16string_view name);

// True when text is made of d-characters only (A-Z, 0-9 and '_'), the
// characters the volume identifier of the primary descriptor may hold.
bool IsDCharacters(std::string_view text);

// Name and record rules of one file-system tree (ISO 9660 or Joliet).
class I_ISO_Format {
 public:
  virtual DWORD TakesFile(const I_File* file) const = 0;
  virtual DWORD GetFormatFlag() const = 0;
  virtual void Dir_Init(BYTE* record) = 0;
  virtual void Dir_InitThis(BYTE* record) = 0;
  virtual void Dir_InitParent(BYTE* record) = 0;
  virtual int Dir_GetSize(const char* name, const I_File* file) = 0;
  virtual int Dir_GetRecordSize(const BYTE* record) = 0;
  virtual void Dir_SetDataSize(BYTE* record, DWORD bytes) = 0;
  virtual void Dir_SetDataLocation(BYTE* record, DWORD lba) = 0;
  virtual void Dir_SetName(BYTE* record, const char* name, BYTE fileFlags, const I_File* file) = 0;
  virtual const char* Dir_GetNamePtr(const BYTE* record) = 0;
  virtual void Dir_GetName(const BYTE* record, char* buffer, int bufferLength) = 0;
  virtual void Dir_SetDate(BYTE* record, const SYSTEMTIME* time) = 0;
  virtual std::string Dir_GetPrintName(const BYTE* record) = 0;
  virtual int PTable_GetSize(const char* name, const I_File* file) = 0;
  virtual void PTable_SetParent(BYTE* record, WORD number) = 0;
  virtual void PTable_SetLocation(BYTE* record, DWORD lba) = 0;
  virtual int PTable_SetName(BYTE* record, const char* name, const I_File* file) = 0;
  virtual int PTable_InitRoot(BYTE* record) = 0;
  virtual void PTable_Dump(const BYTE* record) = 0;
  virtual ~I_ISO_Format() = default;

  // On a CD-ROM XA session every directory record, "." and ".." included,
  // carries the XA system-use field as file records do (SetSessionParms).
  void SetDirectoryXA(bool on) { directory_xa_ = on; }
  bool DirectoryXA() const { return directory_xa_; }
  // The length of the "." and ".." records.
  int Dir_DotSize() const { return directory_xa_ ? 48 : 34; }

 protected:
  bool directory_xa_ = false;
};

// A run of whole sectors that the manager places and copies out.
class I_Chunk {
 public:
  virtual DWORD GetSize() = 0;
  virtual DWORD GetAllocatedSize() = 0;
  virtual DWORD GetSectors() = 0;
  virtual DWORD GetLocation() = 0;
  // Copies min(remaining, size - offset) bytes from offset to *dest, moves
  // *dest on and lowers *remaining by that count; returns the count.
  virtual DWORD GetData(BYTE** dest, DWORD* remaining, DWORD offset) = 0;
  virtual void SetLocation(DWORD sector, DWORD fileBase) = 0;
  virtual ~I_Chunk() = default;
};

}  // namespace isofs
