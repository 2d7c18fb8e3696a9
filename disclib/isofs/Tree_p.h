// The in-memory file tree: files, CD-ROM XA files and directories, each with
// its names in three forms (8-bit, 16-bit, ISO), its file-system flags, data
// location and size, and date. Callers use the I_ interfaces; the classes are
// public so that the manager and the tests can make entries.
#pragma once

#include <memory>
#include <string>
#include <unordered_set>
#include <vector>

#include "disclib/isofs/ISO9660.h"

namespace isofs {

class Directory;

class File : public virtual I_File {
 public:
  static constexpr std::size_t kMaxName = 511;

  File(const char* name, DWORD size, DWORD location, WORD locationKind, const SYSTEMTIME* date,
       const char* isoName);
  File(const char16_t* name, DWORD size, DWORD location, WORD locationKind,
       const SYSTEMTIME* date, const char* isoName);
  File(const File&) = delete;
  File& operator=(const File&) = delete;

  int IsPlainFile() const override { return 0; }
  int IsDirectory() const override { return 0; }
  int IsXA() const override { return 0; }
  DWORD Get_FS_Flags() const override { return flags_; }
  void Set_FS_Flags(DWORD flags) override;
  const char* GetName() const override { return narrow_.c_str(); }
  const char* GetISOName() const override { return iso_.c_str(); }
  const char16_t* GetWideName() const override { return wide_.c_str(); }
  std::u16string GetFullPathWide() const override;
  std::string GetFullPath() const override;
  std::string GetFullPathISO() const override;
  void SetName(const char16_t* wideName, const char* isoName) override;
  void SetName(const char* narrowName, const char* isoName) override;
  void SetISOName(const char* name) override;
  void SetData(DWORD size, DWORD location, WORD locationKind) override;
  DWORD GetLocation() const override { return location_; }
  WORD GetLocationKind() const override { return location_kind_; }
  DWORD GetDataSize() const override { return size_; }
  I_Directory* GetParent() const override { return parent_; }
  void SetParent(I_Directory* dir) override;
  DWORD GetChanged() const override { return changed_; }
  void SetChanged(DWORD value) override { changed_ = value; }
  const SYSTEMTIME* GetDate() const override { return &date_; }
  void SetDate(const SYSTEMTIME* date) override;
  void Print(std::ostream& out, int depth) const override;
  const std::u16string& GetJolietName() const override { return joliet_; }

  // The ISO name the creator gave (or the last SetISOName), before the
  // directory derives and resolves the recorded name from it.
  const std::string& GivenISOName() const { return iso_given_; }
  // Used by the owning directory while it resolves names.
  void SetResolvedISOName(std::string name) { iso_ = std::move(name); }
  void SetJolietName(std::u16string name) { joliet_ = std::move(name); }

 protected:
  Directory* ParentDirectory() const { return parent_dir_; }

 private:
  void TellParentNamesChanged();

  std::u16string wide_;
  std::string narrow_;
  std::string iso_;
  std::string iso_given_;
  std::u16string joliet_;
  DWORD location_ = 0;
  WORD location_kind_ = 0;
  DWORD size_ = 0;
  DWORD changed_ = 1;
  I_Directory* parent_ = nullptr;
  Directory* parent_dir_ = nullptr;
  SYSTEMTIME date_{};
  DWORD flags_ = FS_ISO9660 | FS_JOLIET;
};

class PlainFile : public File, public virtual I_PlainFile {
 public:
  using File::File;
  int IsPlainFile() const override { return 1; }
  void Print(std::ostream& out, int depth) const override;
};

class XA_File : public PlainFile, public virtual I_XA_File {
 public:
  template <class S>
  XA_File(const S* name, DWORD size, DWORD location, WORD locationKind, const SYSTEMTIME* date,
          const char* isoName, WORD attributes, BYTE fileNumber, WORD groupId, WORD userId)
      : PlainFile(name, size, location, locationKind, date, isoName),
        group_(groupId), user_(userId), attributes_(attributes), file_number_(fileNumber) {}

  int IsXA() const override { return 1; }
  void SetXA(WORD attributes, BYTE fileNumber, WORD groupId, WORD userId) override {
    attributes_ = attributes;
    file_number_ = fileNumber;
    group_ = groupId;
    user_ = userId;
  }
  WORD GetUserId() const override { return user_; }
  WORD GetGroupId() const override { return group_; }
  WORD GetAttributes() const override { return attributes_; }
  BYTE GetFileNumber() const override { return file_number_; }

 private:
  WORD group_;
  WORD user_;
  WORD attributes_;
  BYTE file_number_;
};

// A directory owns its entries: DeleteFile, DeleteAll and its own destruction
// destroy them. Entries are kept in ascending byte order of their narrow
// names; a new entry goes before existing entries of the same name.
class Directory : public File, public virtual I_Directory, public SimpleORB, public I_DirGuard {
 public:
  template <class S>
  Directory(const S* name, const char* isoName, const SYSTEMTIME* date = nullptr)
      : File(name, 0, 0, 0, date, isoName) {}
  ~Directory() override;

  int IsDirectory() const override { return 1; }
  void Print(std::ostream& out, int depth) const override { PrintTree(out, depth); }

  I_File* GetFile(const char* name) override;
  I_Directory* GetDirectory(const char* name) override;
  I_PlainFile* GetPlainFile(const char* name) override;
  I_File* GetFile(const char16_t* name) override;
  I_Directory* GetDirectory(const char16_t* name) override;
  I_PlainFile* GetPlainFile(const char16_t* name) override;
  I_File* GetFileISO(const char* name) override;
  I_Directory* GetDirectoryISO(const char* name) override;
  I_PlainFile* GetPlainFileISO(const char* name) override;
  // Takes ownership of file (the tree's interface hands entries over as
  // pointers); the overload below is the same for callers holding one.
  void AddFile(I_File* file) override;
  void AddFile(std::unique_ptr<I_File> file);
  void DeleteFile(I_File* file) override;
  void DeleteFile(const char* name) override;
  void DeleteFile(const char16_t* name) override;
  void DeleteAll() override;
  void First() override;
  I_File* Next() override;
  void Last() override;
  I_File* Previous() override;

  void AddDirListener(I_DirListener* listener) override;
  void RemoveDirListener(I_DirListener* listener) override;

  void PrintTree(std::ostream& out, int depth) const;
  // Sets the names-changed and changed flags and tells the listeners.
  void SetChanged(DWORD value) override;
  void SetNamesChanged() { names_changed_ = true; }
  // An entry of this directory took a new name.
  void EntryRenamed(I_File* file);
  bool NamesChanged() const { return names_changed_; }
  std::size_t EntryCount() const { return entries_.size(); }
  std::size_t ListenerCount() const { return listeners_.size(); }

  // Brings the ISO and Joliet names of all entries up to date: each entry's
  // name is derived from its own names, then collisions are resolved once
  // against the set of all names in use, so every recorded name in this
  // directory is unique.
  void adj_iso_names();

 private:
  void SendNotifyChange();
  void SendNotifyDelete();
  void EraseAt(std::size_t index);
  std::size_t LowerBound(const std::string& narrow) const;

  std::vector<std::unique_ptr<I_File>> entries_;
  std::size_t cursor_ = 0;
  std::vector<I_DirListener*> listeners_;
  bool names_changed_ = true;
};

// ---- ISO 9660 and Joliet name rules ---------------------------------------

namespace isoname {

// d-character mapping: digits, A-Z and '_' stay, a-z are upper-cased,
// everything else becomes '_'.
char MapDChar(char c);
// Where the version of a name starts: a ';' followed by nothing but digits
// up to the end ("README;1"). Any other ';' is an ordinary character of the
// name ("a;1.txt"). npos when the name carries no version.
std::size_t VersionStart(const std::string& name);
// Turns every non-ASCII character of a UTF-8 text into one '_' so that the
// byte rules below see one unit per character.
std::string Flatten(const std::string& utf8);
// The 8.3 form derived when an entry is added: base up to 8 characters
// stopping at '.' or the version; extension up to 3 after the last dot.
std::string Derive83(const std::string& source);
// Normalises a name into an ISO name (SetISOName): long form cuts to 32
// (directory) or 30 (file) characters; a version is dropped; a file keeps
// only its last dot and gets ";1", a directory keeps none.
std::string Normalise(const std::string& name, bool isDirectory, bool longForm);
// Numbered variant of a recorded ISO name: "HOLIDAY_.JPG;1", 2 gives
// "HOLIDA_2.JPG;1"; the stem gives way to the number. "" when the number
// leaves no room within 8.3 (or the long-name limits): no name is left.
std::string Numbered(const std::string& isoName, unsigned k, bool isDirectory, bool longForm);

// Joliet identifier of a wide name, as UCS-2 can record it and readers take
// it: characters beyond the Basic Multilingual Plane (and lone surrogates),
// characters below 0x20 and '*', '/', ':', ';', '?', '\' become '_'; a name
// over 64 characters is cut to 64, keeping its extension; an identifier is
// never empty, "." or "..".
std::u16string JolietIdentifier(const std::u16string& wide);
// Numbered variant "stem~k.ext" within 64 characters; "" when none fits.
std::u16string JolietNumbered(const std::u16string& id, unsigned k);
// The form two Joliet identifiers are compared in for collisions: readers
// that ignore case take names differing only in case for one name.
std::u16string JolietFoldCase(const std::u16string& id);

// The first numbered variant of a colliding name, from number k + 1 on, that
// is not in use; k is left at the number taken. When the numbering runs out
// of room, throws E_NoUniqueName naming the entry and its directory.
std::string NextFreeName(const std::string& isoName, unsigned& k, bool isDirectory, bool longForm,
                         const std::unordered_set<std::string>& used, const std::string& entry,
                         const std::string& directory);
// The same for a Joliet identifier; used holds the names in use in their
// folded form (JolietFoldCase).
std::u16string NextFreeJolietName(const std::u16string& id, unsigned& k,
                                  const std::unordered_set<std::u16string>& usedFolded,
                                  const std::string& entry, const std::string& directory);

// Order of recorded identifiers: by the part before the last dot, then the
// part after it up to ';', each compared as if padded with spaces.
template <class C>
bool RecordLess(const std::basic_string<C>& a, const std::basic_string<C>& b);

}  // namespace isoname

}  // namespace isofs
