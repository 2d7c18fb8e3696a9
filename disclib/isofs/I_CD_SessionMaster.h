// The session master: the object through which the Video CD layout builds
// the file system of its data track, and CreateDM, which makes one. This is
// the file-system manager's front door: the tree's interfaces (I_File,
// I_Directory ...) are in ISO9660.h, the error objects it throws in
// Exceptions.h.
#pragma once

#include "disclib/isofs/ISO9660.h"

namespace isofs {

class I_CD_SessionMaster {
 public:
  virtual void BeginSession() = 0;
  virtual void SetSessionParms(DWORD start, DWORD ignored, DWORD format) = 0;
  virtual void SetXAStartupDirectory(const char* text) = 0;
  virtual void SetSystemId(const char* text) = 0;
  virtual void SetVolumeId(const char* text) = 0;
  virtual void SetVolumeSetId(const char* text) = 0;
  virtual void SetPublisherId(const char* text) = 0;
  virtual void SetDataPreparerId(const char* text) = 0;
  virtual void SetApplicationId(const char* text) = 0;
  virtual void SetCopyrightFileId(const char* text) = 0;
  virtual void SetAbstractFileId(const char* text) = 0;
  virtual void SetBibliographicFileId(const char* text) = 0;
  virtual void SetSystemId(const char16_t* text) = 0;
  virtual void SetVolumeId(const char16_t* text) = 0;
  virtual void SetVolumeSetId(const char16_t* text) = 0;
  virtual void SetPublisherId(const char16_t* text) = 0;
  virtual void SetDataPreparerId(const char16_t* text) = 0;
  virtual void SetApplicationId(const char16_t* text) = 0;
  virtual void SetCopyrightFileId(const char16_t* text) = 0;
  virtual void SetAbstractFileId(const char16_t* text) = 0;
  virtual void SetBibliographicFileId(const char16_t* text) = 0;
  virtual DWORD GetStartSector() = 0;
  virtual DWORD GetSectCount() = 0;
  virtual DWORD GetFormat() = 0;
  virtual void SetCreationDate(const SYSTEMTIME* t) = 0;
  virtual void SetModificationDate(const SYSTEMTIME* t) = 0;
  virtual void SetExpirationDate(const SYSTEMTIME* t) = 0;
  virtual void SetEffectiveDate(const SYSTEMTIME* t) = 0;
  virtual void GetCreationDate(SYSTEMTIME* t) = 0;
  virtual void GetModificationDate(SYSTEMTIME* t) = 0;
  virtual void GetExpirationDate(SYSTEMTIME* t) = 0;
  virtual void GetEffectiveDate(SYSTEMTIME* t) = 0;
  virtual I_File* AddFile(const char* path, DWORD size, DWORD start, WORD flags, const char* altName) = 0;
  virtual I_File* AddPath(const char* path, DWORD size, DWORD start, WORD flags, const char* altPath) = 0;
  virtual I_File* AddFile(const char* path, DWORD size, DWORD start, WORD flags, const SYSTEMTIME* date,
                          const char* altName) = 0;
  virtual I_File* AddFileXA(const char* path, DWORD size, DWORD start, WORD flags, const SYSTEMTIME* date,
                            const char* altName, WORD attributes, BYTE fileNumber, WORD groupId,
                            WORD userId) = 0;
  virtual I_File* AddPath(const char* path, DWORD size, DWORD start, WORD flags, const SYSTEMTIME* date,
                          const char* altPath) = 0;
  virtual I_File* AddPathXA(const char* path, DWORD size, DWORD start, WORD flags, const SYSTEMTIME* date,
                            WORD attributes, BYTE fileNumber, WORD groupId, WORD userId) = 0;
  virtual I_Directory* MakePath(const char* path, const char* altPath) = 0;
  virtual I_Directory* AddPath(const char* path, const SYSTEMTIME* date, const char* altPath) = 0;
  virtual I_Directory* CreateDir(const char* path, const char* altName) = 0;
  virtual I_Directory* CreateDir(const char* path, const char* altName, const SYSTEMTIME* date) = 0;
  virtual I_File* AddFile(const char16_t* path, DWORD size, DWORD start, WORD flags, const SYSTEMTIME* date,
                          const char16_t* altName) = 0;
  virtual I_File* AddFileXA(const char16_t* path, DWORD size, DWORD start, WORD flags,
                            const SYSTEMTIME* date, const char16_t* altName, WORD attributes,
                            BYTE fileNumber, WORD groupId, WORD userId) = 0;
  virtual I_File* AddPath(const char16_t* path, DWORD size, DWORD start, WORD flags, const SYSTEMTIME* date,
                          const char16_t* altPath) = 0;
  virtual I_Directory* AddPath(const char16_t* path, const SYSTEMTIME* date, const char16_t* altPath) = 0;
  virtual I_File* AddPathXA(const char16_t* path, DWORD size, DWORD start, WORD flags,
                            const SYSTEMTIME* date, const char16_t* altPath, WORD attributes,
                            BYTE fileNumber, WORD groupId, WORD userId) = 0;
  virtual I_Directory* CreateDir(const char16_t* path, const char16_t* altName) = 0;
  virtual int DeleteDirISO(const char* path) = 0;
  virtual int DeleteFileISO(const char* path) = 0;
  virtual int ChangeDirISO(const char* path) = 0;
  virtual int IsAPlainFileISO(const char* path) = 0;
  virtual int IsADirectoryISO(const char* path) = 0;
  virtual int DeleteDir(const char* path) = 0;
  virtual int DeleteFileA(const char* path) = 0;
  virtual int ChangeDir(const char* path) = 0;
  virtual int IsAPlainFile(const char* path) = 0;
  virtual int IsADirectory(const char* path) = 0;
  virtual const char* GetCurrentDirName() = 0;
  virtual const char* GetCurrentDirISOName() = 0;
  virtual I_Directory* GetCurrentDir() = 0;
  virtual void ResetCurrentDir() = 0;
  virtual void ResetDirISO(const char* path) = 0;
  virtual void ResetDir(const char* path) = 0;
  virtual void Release() = 0;
  virtual int ItemsInCurrentDir() = 0;
  virtual int ItemsInDir(const char* path) = 0;
  virtual int ItemsInDirISO(const char* path) = 0;
  virtual int ItemsInDir(const char16_t* path) = 0;
  virtual I_File* GetNextDirItemISO(const char* path) = 0;
  virtual I_File* GetNextDirItem(const char* path) = 0;
  virtual I_File* GetNextDirItem(const char16_t* path) = 0;
  virtual DWORD SetStructureOffset(DWORD sectors) = 0;
  // Places everything; returns the sectors from the session start to the
  // end of the directory extents.
  virtual DWORD GetStructureEnd() = 0;
  virtual DWORD TrailingSectors() = 0;
  // Fills count sectors of buffer with the session's sectors from first
  // (counted from the session start). Sectors no structure covers keep what
  // the buffer held.
  virtual void GetSessionSectors(DWORD first, DWORD count, BYTE* buffer) = 0;
  virtual void GetTrailingData(BYTE* buffer) = 0;
  virtual void WriteData(DWORD sector, DWORD offset, const BYTE* data, DWORD length) = 0;
  virtual void UpdateISO_Entries(DWORD delta) = 0;
  virtual I_File* GetFile(const char* path) = 0;
  virtual ~I_CD_SessionMaster() {}
};

// Makes a session master. With null the manager makes and owns its own root
// directory; with a tree it takes that root (the tree stays the caller's).
// The caller deletes the session master through its virtual destructor.
// Returns null only when allocation fails.
I_CD_SessionMaster* CreateDM(I_Directory* root);

}  // namespace isofs
