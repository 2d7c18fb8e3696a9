// Small file utilities: a string with parsing helpers, a file time with a
// text form, the description of one file found on disk, a recursive walk of
// the files below a folder, and the versioned text file that lists files
// with per-file options. Nothing throws to the caller.
#pragma once

#include <cstdint>
#include <ctime>
#include <fstream>
#include <iosfwd>
#include <list>
#include <memory>
#include <string>
#include <vector>

#include "uicommon/common/CommonExport.h"

namespace vexa::ui {

class VEXATHUMCOMMON_API String : public std::string {
 public:
  String() = default;
  String(const char* s) : std::string(s ? s : "") {}
  String(const std::string& s) : std::string(s) {}

  const char* Chars() const { return c_str(); }
  // The text before / after the first c; all of it when c is absent.
  String ParseHead(char c) const;
  String ParseTail(char c) const;
  int ToInteger() const;
  static String ToString(int value);
  // The text and a line end on the given stream.
  void Print(std::ostream& out) const;
  static void Print(String& s, std::ostream& out);
};

// A file time in 100 ns units since 1601, kept as two 32-bit halves.
struct FILETIME {
  std::uint32_t dwLowDateTime = 0;
  std::uint32_t dwHighDateTime = 0;
};

class VEXATHUMCOMMON_API CFileTime {
 public:
  CFileTime() = default;
  explicit CFileTime(FILETIME ft) : m_low(ft.dwLowDateTime), m_high(ft.dwHighDateTime) {}
  // "<high>-<low>", each half a signed 32-bit decimal.
  explicit CFileTime(const String& text);
  static CFileTime FromUnix(std::int64_t seconds, std::int64_t nanoseconds = 0);

  bool operator==(const CFileTime& o) const { return m_low == o.m_low && m_high == o.m_high; }
  bool operator!=(const CFileTime& o) const { return !(*this == o); }
  // 1, -1 or 0.
  int Compare(const CFileTime& other) const;
  FILETIME GetFILETIME() const { return FILETIME{m_low, m_high}; }
  // Whole seconds between the two, 4294967295 when that does not fit.
  unsigned Diff(const CFileTime& other) const;
  String ToString() const;

 private:
  std::uint32_t m_low = 0;
  std::uint32_t m_high = 0;
};

// What a directory walk finds about one entry.
struct FindData {
  std::string name;
  bool directory = false;
  bool hidden = false;
  FILETIME creationTime;
  FILETIME lastWriteTime;
  std::uint64_t size = 0;
};

class VEXATHUMCOMMON_API CFileInfo {
 public:
  CFileInfo();
  explicit CFileInfo(const FindData* data);
  CFileInfo(const String& name, const String& folder);
  virtual ~CFileInfo();

  bool Init(const FindData* data);
  // Looks folder + "/" + name up; false when it does not exist.
  bool Init(const String& name, const String& folder);
  // Neither hidden nor "." nor "..".
  bool UsefulFile() const;
  // Sum of every whole 4-byte little-endian word, wrapping; false when the
  // file cannot be opened (the sum is then 0).
  bool CalcChecksum(unsigned& sum) const;

#define VEXA_FILEINFO_VALUE(Name, Type)                 \
  void Set##Name(const Type& v) {                       \
    m_##Name = v;                                       \
    m_##Name##Valid = true;                             \
  }                                                     \
  const Type& Get##Name() const { return m_##Name; }    \
  bool Is##Name##Valid() const { return m_##Name##Valid; }
  VEXA_FILEINFO_VALUE(FileName, String)
  VEXA_FILEINFO_VALUE(Path, String)
  VEXA_FILEINFO_VALUE(Directory, bool)
  VEXA_FILEINFO_VALUE(Hidden, bool)
  VEXA_FILEINFO_VALUE(CreationTime, CFileTime)
  VEXA_FILEINFO_VALUE(LastModifyTime, CFileTime)
  VEXA_FILEINFO_VALUE(FileType, String)
  VEXA_FILEINFO_VALUE(Size, std::uint64_t)
#undef VEXA_FILEINFO_VALUE

 private:
  String m_FileName, m_Path, m_FileType;
  bool m_Directory = false, m_Hidden = false;
  CFileTime m_CreationTime, m_LastModifyTime;
  std::uint64_t m_Size = 0;
  bool m_FileNameValid = false, m_PathValid = false, m_DirectoryValid = false,
       m_HiddenValid = false, m_CreationTimeValid = false, m_LastModifyTimeValid = false,
       m_FileTypeValid = false, m_SizeValid = false;
};

// Walks the files below a folder, depth first: the files of a subfolder come
// before the remaining entries of its parent. Hidden entries are passed
// over; a link to a folder is not followed, so a walk always ends.
class VEXATHUMCOMMON_API CFileEnumerator {
 public:
  explicit CFileEnumerator(const String& folder);
  CFileEnumerator(const String& folder, CFileInfo& subfolder);
  ~CFileEnumerator();
  CFileEnumerator(const CFileEnumerator&) = delete;
  CFileEnumerator& operator=(const CFileEnumerator&) = delete;

  // The next file; false when there is none.
  bool GetFile(CFileInfo& info);

 private:
  String m_folder;
  std::vector<FindData> m_entries;
  std::size_t m_next = 0;
  std::unique_ptr<CFileEnumerator> m_child;
  bool m_first = true;
};

// Option flags of a file-list entry.
enum : std::uint8_t { FILESPEC_F = 1, FILESPEC_I = 2, FILESPEC_T = 4 };

struct VEXATHUMCOMMON_API CFileSpec {
  int count = 1;
  std::string path;
  std::time_t modified = 0;  // seconds; 0 when unknown
  std::uint8_t flags = 0;
  bool operator<(const CFileSpec& other) const { return modified < other.modified; }
};
using CFileSpecList = std::list<CFileSpec>;

class VEXATHUMCOMMON_API CFileListReader {
 public:
  // Existing files, oldest first (stable); missing ones go to `missing`
  // with time 0. Empty for a file that cannot be read or is not version 1.0.
  static CFileSpecList Read(std::string path, CFileSpecList* missing);
};

class VEXATHUMCOMMON_API CFileListWriter {
 public:
  CFileListWriter();
  ~CFileListWriter();
  // The list is written beside its path and put in place by Close, so a
  // list that fails half way leaves the old one as it was.
  bool Open(std::string path);
  bool AddFile(std::string path, std::uint8_t flags, int count);
  bool Close();

 private:
  void Abandon();
  std::string m_path, m_temp;
  std::ofstream m_out;
};

}  // namespace vexa::ui
