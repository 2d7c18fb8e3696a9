// The two name formats: ISO9660_Std writes ISO 9660 identifiers (d-characters,
// ";1" versions) and ISO9660_Joliet writes the UCS-2 big-endian identifiers
// of the Joliet tree. Both lay out directory and path-table records.
#pragma once

#include <algorithm>
#include <string>

#include "disclib/isofs/Records_p.h"
#include "disclib/isofs/Tree_p.h"

namespace isofs {

// The XA system-use field of the records of both trees: a file added with
// XA attributes carries its own; on a CD-ROM XA session a directory, and the
// "." and ".." records, carry the directory attributes.
class XARecords : public I_ISO_Format {
 protected:
  bool HasXAField(const I_File* file) const {
    return file && (file->IsXA() || (directory_xa_ && file->IsDirectory()));
  }
  static void PutXA(BYTE* field, const I_File* file) {
    if (file->IsXA()) {
      const auto* xa = dynamic_cast<const I_XA_File*>(file);
      rec::PutXAField(field, xa->GetGroupId(), xa->GetUserId(), xa->GetAttributes(), xa->GetFileNumber());
    } else {
      rec::PutXAField(field, 0, 0, rec::kXADirectoryAttributes, 0);
    }
  }
  // "." and "..": a one-byte identifier, no pad, the field right after it.
  void PutDotXA(BYTE* record) const {
    if (!directory_xa_) return;
    rec::PutXAField(record + 34, 0, 0, rec::kXADirectoryAttributes, 0);
    record[rec::kDirLength] = static_cast<BYTE>(Dir_DotSize());
  }
};

class ISO9660_Std : public XARecords {
 public:
  DWORD TakesFile(const I_File* file) const override {
    return file->Get_FS_Flags() & (FS_ISO9660 | FS_ISO9660_LONG);
  }
  DWORD GetFormatFlag() const override { return 1; }
  void Dir_Init(BYTE* record) override { ISO_Dir_InitDir(record); }
  void Dir_InitThis(BYTE* record) override {
    ISO_Dir_InitThisDir(record);
    PutDotXA(record);
  }
  void Dir_InitParent(BYTE* record) override {
    ISO_Dir_InitParentDir(record);
    PutDotXA(record);
  }
  int Dir_GetSize(const char* name, const I_File* file) override {
    const int len = static_cast<int>(std::strlen(name));
    return len - (len & 1) + (HasXAField(file) ? 48 : 36);
  }
  int Dir_GetRecordSize(const BYTE* record) override { return record[0]; }
  void Dir_SetDataSize(BYTE* record, DWORD bytes) override { ISO_Dir_SetDataSize(record, bytes); }
  void Dir_SetDataLocation(BYTE* record, DWORD lba) override { ISO_Dir_SetDataLocation(record, lba); }
  void Dir_SetName(BYTE* record, const char* name, BYTE fileFlags, const I_File* file) override {
    ISO_Dir_SetName(record, name, fileFlags);
    if (HasXAField(file)) {
      const int len = record[rec::kDirIdLength];
      BYTE* field = record + rec::kDirId + len + ((len & 1) ? 0 : 1);
      PutXA(field, file);
      record[rec::kDirLength] = static_cast<BYTE>(Dir_GetSize(name, file));
    }
  }
  const char* Dir_GetNamePtr(const BYTE* record) override {
    name_.assign(reinterpret_cast<const char*>(record + rec::kDirId), record[rec::kDirIdLength]);
    return name_.c_str();
  }
  void Dir_GetName(const BYTE* record, char* buffer, int bufferLength) override {
    const int len = record[rec::kDirIdLength];
    if (len > bufferLength - 1) {
      ThrowTrel<E_InvalidParameter>("ISO9660_Std::Dir_GetName", "Include/FormatBundles", __LINE__,
                                    "Length of the filename larger than the buffer");
    }
    std::memcpy(buffer, record + rec::kDirId, static_cast<std::size_t>(len));
    buffer[len] = 0;
  }
  void Dir_SetDate(BYTE* record, const SYSTEMTIME* time) override {
    rec::PutDate7(record + rec::kDirRecordingDT, time);
  }
  std::string Dir_GetPrintName(const BYTE* record) override {
    if (record[rec::kDirIdLength] == 1 && record[rec::kDirId] == 0) return ".";
    if (record[rec::kDirIdLength] == 1 && record[rec::kDirId] == 1) return "..";
    return Dir_GetNamePtr(record);
  }
  int PTable_GetSize(const char* name, const I_File*) override {
    const int len = static_cast<int>(std::strlen(name));
    return 8 + len + (len & 1);
  }
  void PTable_SetParent(BYTE* record, WORD number) override { ISO_Path_SetParent(record, number); }
  void PTable_SetLocation(BYTE* record, DWORD lba) override { ISO_Path_SetLocation(record, lba); }
  int PTable_SetName(BYTE* record, const char* name, const I_File*) override {
    const int len = static_cast<int>(std::strlen(name));
    record[0] = static_cast<BYTE>(len);
    record[1] = 0;
    std::memcpy(record + 8, name, static_cast<std::size_t>(len));
    if (len & 1) record[8 + len] = 0;
    return 8 + len + (len & 1);
  }
  int PTable_InitRoot(BYTE* record) override { return ISO_Path_InitRoot(record); }
  void PTable_Dump(const BYTE* record) override {
    ISOFS_TRACE("ISO9660_Std::PTable_Dump") << "LengthOfDirectoryIdentifier: " << int(record[0]) << endl;
  }

 private:
  std::string name_;
};

class ISO9660_Joliet : public XARecords {
 public:
  DWORD TakesFile(const I_File* file) const override { return file->Get_FS_Flags() & FS_JOLIET; }
  DWORD GetFormatFlag() const override { return 2; }
  void Dir_Init(BYTE* record) override { ISO_Dir_InitDir(record); }
  void Dir_InitThis(BYTE* record) override {
    ISO_Dir_InitThisDir(record);
    PutDotXA(record);
  }
  void Dir_InitParent(BYTE* record) override {
    ISO_Dir_InitParentDir(record);
    PutDotXA(record);
  }
  int Dir_GetSize(const char*, const I_File* file) override {
    Need(file, "ISO9660_Joliet::Dir_GetSize");
    // A directory's XA field follows its identifier's pad byte.
    if (!file->IsXA() && HasXAField(file)) return 2 * static_cast<int>(Id(file).size()) + 34 + rec::kXAFieldSize;
    return 2 * static_cast<int>(Id(file).size()) + 38 + (file->IsXA() ? rec::kXAFieldSize : 0);
  }
  int Dir_GetRecordSize(const BYTE* record) override { return record[0]; }
  void Dir_SetDataSize(BYTE* record, DWORD bytes) override { ISO_Dir_SetDataSize(record, bytes); }
  void Dir_SetDataLocation(BYTE* record, DWORD lba) override { ISO_Dir_SetDataLocation(record, lba); }
  void Dir_SetName(BYTE* record, const char* name, BYTE fileFlags, const I_File* file) override {
    Need(file, "ISO9660_Joliet::Dir_SetName");
    const std::u16string& id = Id(file);
    const int chars = static_cast<int>(id.size());
    BYTE* p = record + rec::kDirId;
    for (char16_t c : id) {
      rec::PutBE16(p, c);
      p += 2;
    }
    int idLength = 2 * chars;
    if ((fileFlags & 0x02) && !file->IsXA() && HasXAField(file)) {
      *p++ = 0;  // the identifier's pad byte
    } else if (fileFlags & 0x02) {
      std::memset(p, 0, 5);
      p += 5;
    } else {
      rec::PutBE16(p, u';');
      rec::PutBE16(p + 2, u'1');
      p[4] = 0;
      p += 5;
      idLength += 4;
    }
    record[rec::kDirIdLength] = static_cast<BYTE>(idLength);
    record[rec::kDirFileFlags] = fileFlags;
    if (HasXAField(file)) PutXA(p, file);
    record[rec::kDirLength] = static_cast<BYTE>(Dir_GetSize(name, file));
  }
  const char* Dir_GetNamePtr(const BYTE* record) override {
    name_.clear();
    const int chars = record[rec::kDirIdLength] / 2;
    for (int i = 0; i < chars; ++i) {
      const BYTE low = record[rec::kDirId + 2 * i + 1];
      if (low == ';') break;
      name_ += static_cast<char>(low);
    }
    return name_.c_str();
  }
  void Dir_GetName(const BYTE* record, char* buffer, int bufferLength) override {
    const int chars = record[rec::kDirIdLength] / 2;
    if (chars > bufferLength - 1) {
      ThrowTrel<E_InvalidParameter>("ISO9660_Joliet::Dir_GetName", "Include/FormatBundles", __LINE__,
                                    "Length of the filename larger than the buffer");
    }
    for (int i = 0; i < chars; ++i) buffer[i] = static_cast<char>(record[rec::kDirId + 2 * i + 1]);
    buffer[chars] = 0;
  }
  void Dir_SetDate(BYTE* record, const SYSTEMTIME* time) override {
    rec::PutDate7(record + rec::kDirRecordingDT, time);
  }
  std::string Dir_GetPrintName(const BYTE* record) override {
    if (record[rec::kDirIdLength] == 1 && record[rec::kDirId] == 0) return ".";
    if (record[rec::kDirIdLength] == 1 && record[rec::kDirId] == 1) return "..";
    return Dir_GetNamePtr(record);
  }
  int PTable_GetSize(const char*, const I_File* file) override {
    Need(file, "ISO9660_Joliet::PTable_GetSize");
    return 8 + 2 * static_cast<int>(Id(file).size());
  }
  void PTable_SetParent(BYTE* record, WORD number) override { ISO_Path_SetParent(record, number); }
  void PTable_SetLocation(BYTE* record, DWORD lba) override { ISO_Path_SetLocation(record, lba); }
  // The path table carries the same identifier as the directory record.
  int PTable_SetName(BYTE* record, const char*, const I_File* file) override {
    Need(file, "ISO9660_Joliet::PTable_SetName");
    const std::u16string& id = Id(file);
    record[0] = static_cast<BYTE>(2 * id.size());
    record[1] = 0;
    for (std::size_t i = 0; i < id.size(); ++i) rec::PutBE16(record + 8 + 2 * i, id[i]);
    return 8 + 2 * static_cast<int>(id.size());
  }
  int PTable_InitRoot(BYTE* record) override { return ISO_Path_InitRoot(record); }
  void PTable_Dump(const BYTE* record) override {
    ISOFS_TRACE("ISO9660_Joliet::PTable_Dump") << "LengthOfDirectoryIdentifier: " << int(record[0]) << endl;
  }

 private:
  static void Need(const I_File* file, const char* function) {
    if (!file) {
      ThrowTrel<E_NullPointer>(function, "Include/FormatBundles", __LINE__,
                               "I_File interface must be provided for this call");
    }
  }
  // The recorded identifier; an entry that has not been through its
  // directory's name resolution yet uses its wide name, cleaned and cut.
  const std::u16string& Id(const I_File* file) {
    if (!file->GetJolietName().empty()) return file->GetJolietName();
    scratch_ = isoname::JolietIdentifier(file->GetWideName());
    return scratch_;
  }

  std::string name_;
  std::u16string scratch_;
};

}  // namespace isofs
