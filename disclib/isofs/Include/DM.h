// DM: the session master over one embedded file-system manager. Most
// operations are handed to the manager; the ones the ISO 9660 format does
// not offer raise E_UnsuppMethod.
#pragma once

#include "disclib/isofs/Manager_p.h"
#include "disclib/isofs/I_CD_SessionMaster.h"

namespace isofs {

class DM : public I_CD_SessionMaster {
 public:
  explicit DM(I_Directory* root) : fs_(root) {}
  ~DM() override = default;

  ISO9660_FilesystemManager& Manager() { return fs_; }

  void BeginSession() override {}
  void SetSessionParms(DWORD start, DWORD, DWORD format) override {
    start_ = start;
    format_ = format;
    fs_.SetSessionParms(start, format);
  }
  void SetXAStartupDirectory(const char* text) override { fs_.SetXAStartupDirectory(text); }
  void SetSystemId(const char* t) override { fs_.SetSystemId(t); }
  void SetVolumeId(const char* t) override { fs_.SetVolumeId(t); }
  void SetVolumeSetId(const char* t) override { fs_.SetVolumeSetId(t); }
  void SetPublisherId(const char* t) override { fs_.SetPublisherId(t); }
  void SetDataPreparerId(const char* t) override { fs_.SetDataPreparerId(t); }
  void SetApplicationId(const char* t) override { fs_.SetApplicationId(t); }
  void SetCopyrightFileId(const char* t) override { fs_.SetCopyrightFileId(t); }
  void SetAbstractFileId(const char* t) override { fs_.SetAbstractFileId(t); }
  void SetBibliographicFileId(const char* t) override { fs_.SetBibliographicFileId(t); }
  void SetSystemId(const char16_t* t) override { fs_.SetSystemId(t); }
  void SetVolumeId(const char16_t* t) override { fs_.SetVolumeId(t); }
  void SetVolumeSetId(const char16_t* t) override { fs_.SetVolumeSetId(t); }
  void SetPublisherId(const char16_t* t) override { fs_.SetPublisherId(t); }
  void SetDataPreparerId(const char16_t* t) override { fs_.SetDataPreparerId(t); }
  void SetApplicationId(const char16_t* t) override { fs_.SetApplicationId(t); }
  void SetCopyrightFileId(const char16_t* t) override { fs_.SetCopyrightFileId(t); }
  void SetAbstractFileId(const char16_t* t) override { fs_.SetAbstractFileId(t); }
  void SetBibliographicFileId(const char16_t* t) override { fs_.SetBibliographicFileId(t); }
  DWORD GetStartSector() override { return fs_.GetStartSector(); }
  DWORD GetSectCount() override { Unsupported("GetSectCount", 75); }
  DWORD GetFormat() override { return fs_.GetFormat(); }
  void SetCreationDate(const SYSTEMTIME* t) override { fs_.SetCreationDate(t); }
  void SetModificationDate(const SYSTEMTIME* t) override { fs_.SetModificationDate(t); }
  void SetExpirationDate(const SYSTEMTIME* t) override { fs_.SetExpirationDate(t); }
  void SetEffectiveDate(const SYSTEMTIME* t) override { fs_.SetEffectiveDate(t); }
  void GetCreationDate(SYSTEMTIME* t) override { fs_.GetCreationDate(t); }
  void GetModificationDate(SYSTEMTIME* t) override { fs_.GetModificationDate(t); }
  void GetExpirationDate(SYSTEMTIME* t) override { fs_.GetExpirationDate(t); }
  void GetEffectiveDate(SYSTEMTIME* t) override { fs_.GetEffectiveDate(t); }
  I_File* AddFile(const char* path, DWORD size, DWORD start, WORD flags, const char* altName) override {
    return fs_.AddFile(path, size, start, flags, altName);
  }
  I_File* AddPath(const char* path, DWORD size, DWORD start, WORD flags, const char* altPath) override {
    return fs_.AddPath(path, size, start, flags, altPath);
  }
  I_File* AddFile(const char* path, DWORD size, DWORD start, WORD flags, const SYSTEMTIME* date,
                  const char* altName) override {
    return fs_.add_file<char>(path, size, start, flags, date, altName);
  }
  // The narrow XA file form is not offered: nothing is added.
  I_File* AddFileXA(const char*, DWORD, DWORD, WORD, const SYSTEMTIME*, const char*, WORD, BYTE, WORD,
                    WORD) override {
    return nullptr;
  }
  I_File* AddPath(const char* path, DWORD size, DWORD start, WORD flags, const SYSTEMTIME* date,
                  const char* altPath) override {
    return fs_.add_path<char>(path, size, start, flags, date, altPath);
  }
  I_File* AddPathXA(const char* path, DWORD size, DWORD start, WORD flags, const SYSTEMTIME* date,
                    WORD attributes, BYTE fileNumber, WORD groupId, WORD userId) override {
    return fs_.AddPathXA(path, size, start, flags, date, attributes, fileNumber, groupId, userId);
  }
  I_Directory* MakePath(const char* path, const char* altPath) override { return fs_.MakePath(path, altPath); }
  I_Directory* AddPath(const char* path, const SYSTEMTIME* date, const char* altPath) override {
    return fs_.add_path<char>(path, date, altPath);
  }
  I_Directory* CreateDir(const char* path, const char* altName) override { return fs_.CreateDir(path, altName); }
  I_Directory* CreateDir(const char* path, const char* altName, const SYSTEMTIME* date) override {
    return fs_.create_dir<char>(path, altName, date);
  }
  I_File* AddFile(const char16_t* path, DWORD size, DWORD start, WORD flags, const SYSTEMTIME* date,
                  const char16_t* altName) override {
    return fs_.add_file<char16_t>(path, size, start, flags, date, altName);
  }
  I_File* AddFileXA(const char16_t* path, DWORD size, DWORD start, WORD flags, const SYSTEMTIME* date,
                    const char16_t* altName, WORD attributes, BYTE fileNumber, WORD groupId,
                    WORD userId) override {
    return fs_.add_file_xa<char16_t>(path, size, start, flags, date, altName, attributes, fileNumber, groupId,
                                     userId);
  }
  I_File* AddPath(const char16_t* path, DWORD size, DWORD start, WORD flags, const SYSTEMTIME* date,
                  const char16_t* altPath) override {
    return fs_.add_path<char16_t>(path, size, start, flags, date, altPath);
  }
  I_Directory* AddPath(const char16_t* path, const SYSTEMTIME* date, const char16_t* altPath) override {
    return fs_.add_path<char16_t>(path, date, altPath);
  }
  I_File* AddPathXA(const char16_t* path, DWORD size, DWORD start, WORD flags, const SYSTEMTIME* date,
                    const char16_t* altPath, WORD attributes, BYTE fileNumber, WORD groupId,
                    WORD userId) override {
    return fs_.add_path_xa<char16_t>(path, size, start, flags, date, altPath, attributes, fileNumber, groupId,
                                     userId);
  }
  I_Directory* CreateDir(const char16_t* path, const char16_t* altName) override {
    return fs_.create_dir<char16_t>(path, altName, nullptr);
  }
  int DeleteDirISO(const char*) override { Unsupported("DeleteDirISO", 156); }
  int DeleteFileISO(const char*) override { Unsupported("DeleteFileISO", 157); }
  int ChangeDirISO(const char*) override { Unsupported("ChangeDirISO", 158); }
  int IsAPlainFileISO(const char*) override { Unsupported("IsAPlainFileISO", 159); }
  int IsADirectoryISO(const char*) override { Unsupported("IsADirectoryISO", 160); }
  int DeleteDir(const char*) override { Unsupported("DeleteDir", 162); }
  int DeleteFileA(const char*) override { Unsupported("DeleteFileA", 163); }
  int ChangeDir(const char*) override { Unsupported("ChangeDir", 164); }
  int IsAPlainFile(const char*) override { Unsupported("IsAPlainFile", 165); }
  int IsADirectory(const char*) override { Unsupported("IsADirectory", 166); }
  const char* GetCurrentDirName() override { return fs_.GetCurrentDirName(); }
  const char* GetCurrentDirISOName() override { return fs_.GetCurrentDirISOName(); }
  I_Directory* GetCurrentDir() override { Unsupported("GetCurrentDir", 170); }
  void ResetCurrentDir() override { Unsupported("ResetCurrentDir", 173); }
  void ResetDirISO(const char*) override { Unsupported("ResetDirISO", 174); }
  void ResetDir(const char*) override { Unsupported("ResetDir", 175); }
  void Release() override { Unsupported("Release", 176); }
  int ItemsInCurrentDir() override { Unsupported("ItemsInCurrentDir", 178); }
  int ItemsInDir(const char*) override { Unsupported("ItemsInDir", 179); }
  int ItemsInDirISO(const char*) override { Unsupported("ItemsInDirISO", 180); }
  int ItemsInDir(const char16_t*) override { Unsupported("ItemsInDir", 181); }
  I_File* GetNextDirItemISO(const char*) override { Unsupported("GetNextDirItemISO", 183); }
  I_File* GetNextDirItem(const char*) override { Unsupported("GetNextDirItem", 184); }
  I_File* GetNextDirItem(const char16_t*) override { Unsupported("GetNextDirItem", 185); }
  DWORD SetStructureOffset(DWORD sectors) override { return fs_.SetStructureOffset(sectors); }
  DWORD GetStructureEnd() override {
    fs_.StartGroups();
    DWORD first = 0, last = 0;
    fs_.NextGroup(&first, &last);
    fs_.NextGroup(&first, &last);
    return last - fs_.GetStartSector() + 1;
  }
  DWORD TrailingSectors() override { Unsupported("TrailingSectors", 190); }
  void GetSessionSectors(DWORD first, DWORD count, BYTE* buffer) override {
    if (!buffer && count) {
      ThrowTrel<E_NullPointer>("DM::GetSessionSectors", "Include/DM", __LINE__, "Null argument");
    }
    fs_.GetData(buffer, fs_.GetStartSector() + first, count);
  }
  void GetTrailingData(BYTE*) override { Unsupported("GetTrailingData", 193); }
  void WriteData(DWORD sector, DWORD offset, const BYTE* data, DWORD length) override {
    fs_.WriteData(sector, offset, data, length);
  }
  void UpdateISO_Entries(DWORD delta) override { fs_.UpdateISO_Entries(delta); }
  I_File* GetFile(const char* path) override {
    ISOFS_TRACE("DM::GetFile") << "Delegating GetFile(" << (path ? path : "") << ") request" << endl;
    return fs_.GetFile(path);
  }

 private:
  [[noreturn]] static void Unsupported(const char* operation, int line) {
    ThrowTrel<E_UnsuppMethod>((std::string("DM::") + operation).c_str(), "Include/DM", line, "");
  }

  ISO9660_FilesystemManager fs_;
  DWORD start_ = 0;
  DWORD format_ = 0;
};

}  // namespace isofs
