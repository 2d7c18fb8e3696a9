// The file-system manager: directory structures (one extent per directory
// and tree), the per-tree structure sets with their path tables, sector
// placement and the copy-out of the session's file-system sectors.
//
// Lay out first, then write: Place() builds every extent and fixes every
// sector address before any byte is handed out.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "disclib/isofs/Include/FormatBundles.h"
#include "disclib/isofs/Records_p.h"
#include "disclib/isofs/Tree_p.h"

namespace isofs {

class ISO9660_FilesystemManager;

// Operations of the manager in the order the session master reaches them.
class I_DM_Format {
 public:
  virtual void BeginSession() = 0;
  virtual void SetSessionParms(DWORD start, DWORD format) = 0;
  virtual void SetSystemId(const char* text) = 0;
  virtual void SetVolumeId(const char* text) = 0;
  virtual void SetVolumeSetId(const char* text) = 0;
  virtual void SetPublisherId(const char* text) = 0;
  virtual void SetDataPreparerId(const char* text) = 0;
  virtual void SetApplicationId(const char* text) = 0;
  virtual void SetCopyrightFileId(const char* text) = 0;
  virtual void SetAbstractFileId(const char* text) = 0;
  virtual void SetBibliographicFileId(const char* text) = 0;
  virtual void SetXAStartupDirectory(const char* text) = 0;
  virtual DWORD GetStartSector() = 0;
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
  virtual I_File* AddFile(const char* path, DWORD size, DWORD start, WORD flags, const SYSTEMTIME* date,
                          const char* altName) = 0;
  virtual I_File* AddFileXA(const char* path, DWORD size, DWORD start, WORD flags, const SYSTEMTIME* date,
                            WORD attributes, BYTE fileNumber, WORD groupId, WORD userId) = 0;
  virtual I_Directory* MakePath(const char* path, const char* altPath) = 0;
  virtual I_Directory* AddPath(const char* path, const SYSTEMTIME* date, const char* altPath) = 0;
  virtual I_File* AddPath(const char* path, DWORD size, DWORD start, WORD flags, const char* altPath) = 0;
  virtual I_File* AddPath(const char* path, DWORD size, DWORD start, WORD flags, const SYSTEMTIME* date,
                          const char* altPath) = 0;
  virtual I_File* AddPathXA(const char* path, DWORD size, DWORD start, WORD flags, const SYSTEMTIME* date,
                            WORD attributes, BYTE fileNumber, WORD groupId, WORD userId) = 0;
  virtual I_Directory* CreateDir(const char* path, const char* altName) = 0;
  virtual I_Directory* CreateDir(const char* path, const char* altName, const SYSTEMTIME* date) = 0;
  virtual int ChangeDirISO(const char* path) = 0;
  virtual int ChangeDir(const char* path) = 0;
  virtual const char* GetCurrentDirName() = 0;
  virtual const char* GetCurrentDirISOName() = 0;
  virtual void Reserved36() {}
  virtual void Reserved37() {}
  // Places everything and rewinds the group cursor.
  virtual void StartGroups() = 0;
  virtual DWORD GroupCount() = 0;
  // First and last sector of the group at the cursor; false at the end.
  virtual bool NextGroup(DWORD* first, DWORD* last) = 0;
  virtual void GetData(BYTE* buffer, DWORD first, DWORD count) = 0;
  virtual void DumpRoot() = 0;
  virtual void WriteData(DWORD sector, DWORD offset, const BYTE* data, DWORD length) = 0;
  virtual void UpdateISO_Entries(DWORD delta) = 0;
  virtual I_File* GetFile(const char* path) = 0;
  virtual ~I_DM_Format() = default;
};

class filesystem_structures;

// One directory's extent in one tree.
class ISO_DirStructure : public I_DirListener, public I_Chunk {
 public:
  ISO_DirStructure(I_ISO_Format* format, I_Directory* dir, int depth, ISO_DirStructure* parent,
                   BYTE* parentEntry, filesystem_structures* owner);
  ~ISO_DirStructure() override;
  ISO_DirStructure(const ISO_DirStructure&) = delete;
  ISO_DirStructure& operator=(const ISO_DirStructure&) = delete;

  void NotifyDelete() override;
  // Marks the extent out of date; it is laid out again at the next build.
  void NotifyChange() override { dirty_ = true; }

  std::string GetName() const;
  I_Directory* GetDirectory() const { return dir_; }
  I_File* GetDirectoryFile() const { return file_; }
  BYTE* GetISO_Dir(const char* name);
  BYTE* GetParentEntry();
  ISO_DirStructure* GetParent() const { return parent_; }
  void SetNumber(WORD n) { number_ = n; }
  WORD GetNumber() const { return number_; }
  void UpdateISO_Entries(DWORD delta);
  void Dump();
  int Depth() const { return depth_; }
  bool IsRoot() const { return parent_ == this; }

  DWORD GetSize() override { return static_cast<DWORD>(buf_.size()); }
  DWORD GetAllocatedSize() override { return GetSize(); }
  DWORD GetSectors() override { return sectors_; }
  DWORD GetLocation() override { return location_; }
  DWORD GetData(BYTE** dest, DWORD* remaining, DWORD offset) override;
  void SetLocation(DWORD sector, DWORD fileBase) override;

  std::string GetEntryName(const I_File* file) const;
  // Lays out the records: ".", "..", then every entry the format takes, in
  // the order of the recorded identifiers.
  void build();
  // The record of a subdirectory entry, kept when it was laid out.
  BYTE* RecordFor(const I_File* entry);
  // End (first sector after) of the furthest file extent recorded here.
  DWORD MaxFileEnd() const { return max_file_end_; }

 private:
  DWORD comp_dir_size(const std::vector<I_File*>& entries);
  // build(), keeping the locations this extent and its subdirectories have.
  void relayout_in_place();
  std::vector<I_File*> TakenEntries();

  filesystem_structures* owner_;
  I_Directory* dir_;
  I_File* file_;
  ISO_DirStructure* parent_;
  BYTE* fixed_parent_entry_;
  I_ISO_Format* format_;
  std::vector<std::pair<std::size_t, I_File*>> records_;  // offset, entry (null for "." "..")
  std::unordered_map<const I_File*, std::size_t> dir_records_;
  int depth_;
  std::vector<BYTE> buf_;
  DWORD sectors_ = 1;
  DWORD location_ = 0;
  WORD number_ = 0;
  bool dirty_ = true;
  DWORD max_file_end_ = 0;
  std::string orb_name_;
};

// The directory structures of one tree, grouped by depth. The set owns
// every structure it makes (SetUp, new_subdir); the levels only observe them.
class filesystem_structures {
 public:
  filesystem_structures(int kind, I_ISO_Format* format, PrimaryVolumeDescriptor* descriptor);
  virtual ~filesystem_structures();

  virtual void RegisterDirectory(ISO_DirStructure* s, int depth);
  virtual void UnregisterDirectory(ISO_DirStructure* s, int depth);
  virtual int kind() const { return kind_; }

  // Makes the root structure for root (once); its parent entry is the root
  // record inside this tree's volume descriptor.
  void SetUp(I_Directory* root);
  // Makes the structure of a new subdirectory; its parent is the structure
  // of the directory that holds it.
  ISO_DirStructure* new_subdir(I_Directory* dir);
  // A structure whose directory goes away: the set destroys it.
  void Destroy(ISO_DirStructure* s);
  // Told of every structure that leaves the set, so whoever placed it can
  // forget it.
  void SetOnUnregister(std::function<void(ISO_DirStructure*)> hook) { on_unregister_ = std::move(hook); }

  ISO_DirStructure* Root() const { return root_; }
  I_ISO_Format* Format() const { return format_; }
  PrimaryVolumeDescriptor* Descriptor() const { return descriptor_; }
  const std::map<int, std::vector<ISO_DirStructure*>>& Levels() const { return levels_; }

  // The date a directory without one of its own is recorded with: the
  // volume's creation date.
  SYSTEMTIME DefaultDate() const;
  // The structures that are part of this tree, numbered 1, 2, ... in path
  // table order: level by level, by parent number, then by identifier.
  std::vector<ISO_DirStructure*> PathTableOrder();
  bool InTree(ISO_DirStructure* s) const;
  DWORD dir_struct_sectors();
  DWORD ptable_size();
  void gen_path_table_L(BYTE* buffer);
  void gen_path_table_M(BYTE* buffer);

  static ISO_DirStructure* StructureOf(I_Directory* dir, int kind);

 private:
  void gen_path_table(BYTE* buffer, bool bigEndian);

  int kind_;
  ISO_DirStructure* root_ = nullptr;
  I_ISO_Format* format_;
  ISO_DirStructure* Adopt(std::unique_ptr<ISO_DirStructure> s);

  std::map<int, std::vector<ISO_DirStructure*>> levels_;
  std::unordered_map<ISO_DirStructure*, std::unique_ptr<ISO_DirStructure>> owned_;
  PrimaryVolumeDescriptor* descriptor_;
  std::function<void(ISO_DirStructure*)> on_unregister_;
};

class ISO9660_FilesystemManager : public I_DM_Format {
 public:
  // A buffer of whole sectors (the path tables).
  class sector : public I_Chunk {
   public:
    explicit sector(DWORD count) : buf_(count * kSectorSize, 0), count_(count) {}
    DWORD GetSize() override { return static_cast<DWORD>(buf_.size()); }
    DWORD GetAllocatedSize() override { return GetSize(); }
    DWORD GetSectors() override { return count_; }
    DWORD GetLocation() override { return location_; }
    DWORD GetData(BYTE** dest, DWORD* remaining, DWORD offset) override;
    void SetLocation(DWORD s, DWORD) override { location_ = s; }
    BYTE* Bytes() { return buf_.data(); }

   private:
    std::vector<BYTE> buf_;
    DWORD count_;
    DWORD location_ = 0;
  };

  // A run of placed sectors and the chunks that fill it, in order.
  struct chunk {
    DWORD first = 0;
    DWORD last = 0;
    std::vector<I_Chunk*> chunks;
  };

  explicit ISO9660_FilesystemManager(I_Directory* root = nullptr);
  ~ISO9660_FilesystemManager() override;
  ISO9660_FilesystemManager(const ISO9660_FilesystemManager&) = delete;
  ISO9660_FilesystemManager& operator=(const ISO9660_FilesystemManager&) = delete;

  void BeginSession() override {}
  void SetSessionParms(DWORD start, DWORD format) override;
  void SetSystemId(const char* t) override;
  void SetVolumeId(const char* t) override;
  void SetVolumeSetId(const char* t) override;
  void SetPublisherId(const char* t) override;
  void SetDataPreparerId(const char* t) override;
  void SetApplicationId(const char* t) override;
  void SetCopyrightFileId(const char* t) override;
  void SetAbstractFileId(const char* t) override;
  void SetBibliographicFileId(const char* t) override;
  void SetXAStartupDirectory(const char* text) override { pvd_.SetXAStartupDirectory(text); }
  DWORD GetStartSector() override { return start_; }
  DWORD GetFormat() override { return format_; }
  void SetCreationDate(const SYSTEMTIME* t) override;
  void SetModificationDate(const SYSTEMTIME* t) override;
  void SetExpirationDate(const SYSTEMTIME* t) override;
  void SetEffectiveDate(const SYSTEMTIME* t) override;
  void GetCreationDate(SYSTEMTIME* t) override;
  void GetModificationDate(SYSTEMTIME* t) override;
  void GetExpirationDate(SYSTEMTIME* t) override;
  void GetEffectiveDate(SYSTEMTIME* t) override;
  I_File* AddFile(const char* path, DWORD size, DWORD start, WORD flags, const char* altName) override;
  I_File* AddFile(const char* path, DWORD size, DWORD start, WORD flags, const SYSTEMTIME* date,
                  const char* altName) override {
    return add_file<char>(path, size, start, flags, date, altName);
  }
  I_File* AddFileXA(const char* path, DWORD size, DWORD start, WORD flags, const SYSTEMTIME* date,
                    WORD attributes, BYTE fileNumber, WORD groupId, WORD userId) override;
  I_Directory* MakePath(const char* path, const char* altPath) override;
  I_Directory* AddPath(const char* path, const SYSTEMTIME* date, const char* altPath) override {
    return add_path<char>(path, date, altPath);
  }
  I_File* AddPath(const char* path, DWORD size, DWORD start, WORD flags, const char* altPath) override;
  I_File* AddPath(const char* path, DWORD size, DWORD start, WORD flags, const SYSTEMTIME* date,
                  const char* altPath) override {
    return add_path<char>(path, size, start, flags, date, altPath);
  }
  I_File* AddPathXA(const char* path, DWORD size, DWORD start, WORD flags, const SYSTEMTIME* date,
                    WORD attributes, BYTE fileNumber, WORD groupId, WORD userId) override;
  I_Directory* CreateDir(const char* path, const char* altName) override;
  I_Directory* CreateDir(const char* path, const char* altName, const SYSTEMTIME* date) override {
    return create_dir<char>(path, altName, date);
  }
  int ChangeDirISO(const char* path) override;
  int ChangeDir(const char* path) override;
  const char* GetCurrentDirName() override { return AsFile(cwd_)->GetName(); }
  const char* GetCurrentDirISOName() override { return AsFile(cwd_)->GetISOName(); }
  void StartGroups() override;
  DWORD GroupCount() override { return static_cast<DWORD>(groups_.size()); }
  bool NextGroup(DWORD* first, DWORD* last) override;
  void GetData(BYTE* buffer, DWORD first, DWORD count) override;
  void DumpRoot() override;
  void WriteData(DWORD sector, DWORD offset, const BYTE* data, DWORD length) override;
  void UpdateISO_Entries(DWORD delta) override;
  I_File* GetFile(const char* path) override;

  // Wide forms.
  virtual void SetSystemId(const char16_t* t) { svd_.SetSystemIdentifier(t); }
  virtual void SetVolumeId(const char16_t* t) { svd_.SetVolumeIdentifier(t); }
  virtual void SetVolumeSetId(const char16_t* t) { svd_.SetVolumeSetIdentifier(t); }
  virtual void SetPublisherId(const char16_t* t) { svd_.SetPublisherIdentifier(t); }
  virtual void SetDataPreparerId(const char16_t* t) { svd_.SetDataPreparerIdentifier(t); }
  virtual void SetApplicationId(const char16_t* t) { svd_.SetApplicationIdentifier(t); }
  virtual void SetCopyrightFileId(const char16_t* t) { svd_.SetCopyrightFileIdentifier(t); }
  virtual void SetAbstractFileId(const char16_t* t) { svd_.SetAbstractFileIdentifier(t); }
  virtual void SetBibliographicFileId(const char16_t* t) { svd_.SetBibliographicFileIdentifier(t); }
  virtual I_File* AddFile(const char16_t* path, DWORD size, DWORD start, WORD flags, const SYSTEMTIME* date,
                          const char16_t* altName) {
    return add_file<char16_t>(path, size, start, flags, date, altName);
  }
  virtual I_Directory* AddPath(const char16_t* path, const SYSTEMTIME* date, const char16_t* altPath) {
    return add_path<char16_t>(path, date, altPath);
  }
  virtual I_File* AddPath(const char16_t* path, DWORD size, DWORD start, WORD flags, const SYSTEMTIME* date,
                          const char16_t* altPath) {
    return add_path<char16_t>(path, size, start, flags, date, altPath);
  }
  virtual I_File* AddFileXA(const char16_t* path, DWORD size, DWORD start, WORD flags,
                            const SYSTEMTIME* date, const char16_t* altName, WORD attributes,
                            BYTE fileNumber, WORD groupId, WORD userId) {
    return add_file_xa<char16_t>(path, size, start, flags, date, altName, attributes, fileNumber, groupId,
                                 userId);
  }
  virtual I_File* AddPathXA(const char16_t* path, DWORD size, DWORD start, WORD flags,
                            const SYSTEMTIME* date, const char16_t* altPath, WORD attributes,
                            BYTE fileNumber, WORD groupId, WORD userId) {
    return add_path_xa<char16_t>(path, size, start, flags, date, altPath, attributes, fileNumber, groupId,
                                 userId);
  }
  virtual I_Directory* CreateDir(const char16_t* path, const char16_t* altName, const SYSTEMTIME* date) {
    return create_dir<char16_t>(path, altName, date);
  }

  // The template family (Include/ISO9660_FilesystemManager-Templates.h).
  template <class S>
  I_File* add_file(const S* path, DWORD size, DWORD start, WORD flags, const SYSTEMTIME* date, const S* alt);
  template <class S>
  I_File* add_file_xa(const S* path, DWORD size, DWORD start, WORD flags, const SYSTEMTIME* date, const S* alt,
                      WORD attributes, BYTE fileNumber, WORD groupId, WORD userId);
  template <class S>
  I_File* add_path(const S* path, DWORD size, DWORD start, WORD flags, const SYSTEMTIME* date,
                   const S* altPath);
  template <class S>
  I_Directory* add_path(const S* path, const SYSTEMTIME* date, const S* altPath);
  template <class S>
  I_File* add_path_xa(const S* path, DWORD size, DWORD start, WORD flags, const SYSTEMTIME* date,
                      const S* altPath, WORD attributes, BYTE fileNumber, WORD groupId, WORD userId);
  template <class S>
  I_Directory* create_dir(const S* path, const S* alt, const SYSTEMTIME* date);

  // Lays out everything added so far (see the class comment).
  void Place();
  DWORD StructureOffset() const { return structure_offset_; }
  DWORD SetStructureOffset(DWORD sectors) { return structure_offset_ = sectors; }
  I_Directory* Root() const { return root_; }
  PrimaryVolumeDescriptor& PVD() { return pvd_; }
  SupplementaryVolumeDescriptor& SVD() { return svd_; }
  filesystem_structures& ISOSet() { return *iso_set_; }
  filesystem_structures& JolietSet() { return *joliet_set_; }
  const std::vector<chunk>& Groups() const { return groups_; }
  DWORD MaxStartAddr() const { return max_start_addr_; }
  bool JolietOn() const { return (format_ & FS_JOLIET) != 0; }

 private:
  struct XAInfo {
    WORD attributes;
    BYTE fileNumber;
    WORD groupId;
    WORD userId;
  };
  struct Where {
    const char* function;
    const char* module;
    int missingLine;  // dirname entry missing
    int invalidLine;  // nothing after the last separator
  };

  template <class S>
  I_File* add_entry(const Where& where, const S* path, DWORD size, DWORD start, WORD flags,
                    const SYSTEMTIME* date, const S* alt, const XAInfo* xa, bool makePath,
                    const SYSTEMTIME* dirDate);
  template <class S>
  I_Directory* add_path_chdir(const std::basic_string<S>& path, const std::basic_string<S>& altPath,
                              const SYSTEMTIME* date);
  template <class S>
  void walk_dirname(const Where& where, const std::basic_string<S>& path, const std::basic_string<S>& whole);
  template <class S>
  I_Directory* make_dir(const std::basic_string<S>& name, const std::basic_string<S>& alt,
                        const SYSTEMTIME* date);
  void note_start(DWORD start, DWORD size);
  // Drops a chunk that no longer exists from the placed groups.
  void forget_chunk(I_Chunk* c);
  void import_tree(I_Directory* dir);
  void set_volume_space_size();

  DWORD start_ = 0;
  DWORD structure_offset_ = 0;
  DWORD format_ = FS_ISO9660 | FS_JOLIET;
  I_Directory* root_ = nullptr;           // the tree's root, owned or not
  std::unique_ptr<Directory> own_root_;   // set when the manager made the root
  I_Directory* cwd_ = nullptr;
  PrimaryVolumeDescriptor pvd_;
  SupplementaryVolumeDescriptor svd_;
  VolumeDescriptor terminator_;
  DWORD max_start_addr_ = 0;
  DWORD max_start_size_ = 0;
  std::vector<chunk> groups_;
  std::size_t group_cursor_ = 0;
  ISO9660_Std std_format_;
  ISO9660_Joliet joliet_format_;
  std::unique_ptr<filesystem_structures> iso_set_;
  std::unique_ptr<filesystem_structures> joliet_set_;
  std::unique_ptr<sector> iso_l_, iso_m_, joliet_l_, joliet_m_;
  DWORD structures_end_ = 0;
};

}  // namespace isofs
