// The add operations of the manager, written once for 8-bit (char) and
// 16-bit (char16_t) paths. Included by the sources that instantiate them.
#pragma once

#include <memory>
#include <string>

#include "disclib/isofs/Manager_p.h"
#include "disclib/PathSeparator.h"
#include "platform/base/Text.h"

namespace isofs {

namespace DirUtl {

inline bool IsSep(char c) { return IsPathSeparator(c); }
inline bool IsSep(char16_t c) { return IsPathSeparatorW(c); }

// A path as given (null is ""). Paths are not cut: only the names taken from
// them are, where the entries store and look them up (at most 511 bytes or
// units, never inside a character), so a long path keeps every entry.
template <class S>
std::basic_string<S> Str(const S* s) {
  return s ? std::basic_string<S>(s) : std::basic_string<S>();
}

// Text up to the last separator, with it unless it is the last character;
// "" when there is none.
template <class S>
std::basic_string<S> dirname(const std::basic_string<S>& path) {
  std::size_t i = path.size();
  while (i > 0 && !IsSep(path[i - 1])) --i;
  if (i == 0) return {};
  if (i == 1) return path.substr(0, 1);
  return path.substr(0, i == path.size() ? i - 1 : i);
}

template <class S>
std::basic_string<S> basename(const std::basic_string<S>& path) {
  std::size_t i = path.size();
  while (i > 0 && !IsSep(path[i - 1])) --i;
  return path.substr(i);
}

template <class S>
bool is_absolute(const std::basic_string<S>& path) {
  return !path.empty() && IsSep(path[0]);
}

// Skips separators at cursor, takes the text up to the next one and moves
// the cursor past it; false when only separators are left.
template <class S>
bool ExtractNextEntry(std::basic_string<S>& out, const std::basic_string<S>& path, std::size_t& cursor) {
  while (cursor < path.size() && IsSep(path[cursor])) ++cursor;
  if (cursor >= path.size()) return false;
  const std::size_t start = cursor;
  while (cursor < path.size() && !IsSep(path[cursor])) ++cursor;
  out = path.substr(start, cursor - start);
  if (cursor < path.size()) ++cursor;
  return true;
}

inline std::string Narrow(const std::string& s) { return s; }
inline std::string Narrow(const std::u16string& s) { return vexa::base::Utf16ToUtf8(s); }

}  // namespace DirUtl

template <class S>
void ISO9660_FilesystemManager::walk_dirname(const Where& where, const std::basic_string<S>& path,
                                             const std::basic_string<S>& whole) {
  if (DirUtl::is_absolute(path)) cwd_ = root_;
  std::size_t cursor = 0;
  std::basic_string<S> entry;
  while (DirUtl::ExtractNextEntry(entry, path, cursor)) {
    I_Directory* d = cwd_->GetDirectory(entry.c_str());
    if (!d) {
      ThrowTrel<E_NoSuchPath>(where.function, where.module, where.missingLine,
                              DirUtl::Narrow(whole) + "(" + DirUtl::Narrow(entry) + ")");
    }
    cwd_ = d;
  }
}

template <class S>
I_Directory* ISO9660_FilesystemManager::make_dir(const std::basic_string<S>& name,
                                                 const std::basic_string<S>& alt, const SYSTEMTIME* date) {
  auto owned = std::make_unique<Directory>(name.c_str(), DirUtl::Narrow(alt).c_str(), date);
  Directory* dir = owned.get();
  dir->Set_FS_Flags(format_);
  // The current directory takes the new entry over.
  cwd_->AddFile(owned.release());
  // Both trees always get a structure, whatever the format.
  iso_set_->new_subdir(dir);
  joliet_set_->new_subdir(dir);
  return dir;
}

template <class S>
I_Directory* ISO9660_FilesystemManager::add_path_chdir(const std::basic_string<S>& path,
                                                       const std::basic_string<S>& altPath,
                                                       const SYSTEMTIME* date) {
  ISOFS_TRACE("ISO9660_FilesystemManager::add_path_chdir<S>") << " Extracted dirname: " << DirUtl::Narrow(path) << endl;
  if (DirUtl::is_absolute(path)) cwd_ = root_;
  I_Directory* created = nullptr;
  std::size_t cursor = 0, altCursor = 0;
  std::basic_string<S> entry, altEntry;
  while (DirUtl::ExtractNextEntry(entry, path, cursor)) {
    if (!DirUtl::ExtractNextEntry(altEntry, altPath, altCursor)) altEntry.clear();
    if (I_Directory* d = cwd_->GetDirectory(entry.c_str())) {
      cwd_ = d;
      continue;
    }
    cwd_ = created = make_dir(entry, altEntry, date);
  }
  return created;
}

template <class S>
I_File* ISO9660_FilesystemManager::add_entry(const Where& where, const S* pathIn, DWORD size, DWORD start,
                                             WORD flags, const SYSTEMTIME* date, const S* altIn,
                                             const XAInfo* xa, bool makePath, const SYSTEMTIME* dirDate) {
  I_Directory* saved = cwd_;
  const std::basic_string<S> path = DirUtl::Str(pathIn);
  const std::basic_string<S> alt = DirUtl::Str(altIn);
  const std::basic_string<S> dir = DirUtl::dirname(path);
  if (makePath) {
    add_path_chdir(dir, DirUtl::dirname(alt), dirDate);
  } else {
    walk_dirname(where, dir, path);
  }
  const std::basic_string<S> name = DirUtl::basename(path);
  if (name.empty()) {
    cwd_ = saved;
    ThrowTrel<E_InvalidPath>(where.function, where.module, where.invalidLine,
                             DirUtl::Narrow(path) + " doesn't contain a filename at the end.");
  }
  const std::string altName = DirUtl::Narrow(DirUtl::basename(alt));
  std::unique_ptr<File> owned;
  if (xa) {
    owned = std::make_unique<XA_File>(name.c_str(), size, start, flags, date, altName.c_str(), xa->attributes,
                                      xa->fileNumber, xa->groupId, xa->userId);
  } else {
    owned = std::make_unique<PlainFile>(name.c_str(), size, start, flags, date, altName.c_str());
  }
  File* file = owned.get();
  file->Set_FS_Flags(format_);
  // The current directory takes the new entry over.
  cwd_->AddFile(owned.release());
  cwd_ = saved;
  return file;
}

template <class S>
I_File* ISO9660_FilesystemManager::add_file(const S* path, DWORD size, DWORD start, WORD flags,
                                            const SYSTEMTIME* date, const S* alt) {
  static const Where where{"ISO9660_FilesystemManager::add_file<S>",
                           "Include/ISO9660_FilesystemManager-Templates", 49, 49};
  I_File* f = add_entry(where, path, size, start, flags, date, alt, nullptr, false, nullptr);
  note_start(start, size);
  return f;
}

template <class S>
I_File* ISO9660_FilesystemManager::add_file_xa(const S* path, DWORD size, DWORD start, WORD flags,
                                               const SYSTEMTIME* date, const S* alt, WORD attributes,
                                               BYTE fileNumber, WORD groupId, WORD userId) {
  static const Where where{"ISO9660_FilesystemManager::add_file_xa<S>",
                           "Include/ISO9660_FilesystemManager-Templates", 89, 89};
  const XAInfo xa{attributes, fileNumber, groupId, userId};
  I_File* f = add_entry(where, path, size, start, flags, date, alt, &xa, false, nullptr);
  note_start(start, size);
  return f;
}

template <class S>
I_File* ISO9660_FilesystemManager::add_path(const S* path, DWORD size, DWORD start, WORD flags,
                                            const SYSTEMTIME* date, const S* altPath) {
  static const Where where{"ISO9660_FilesystemManager::add_path<S>",
                           "Include/ISO9660_FilesystemManager-Templates", 216, 216};
  I_File* f = add_entry(where, path, size, start, flags, date, altPath, nullptr, true, nullptr);
  note_start(start, size);
  return f;
}

template <class S>
I_Directory* ISO9660_FilesystemManager::add_path(const S* path, const SYSTEMTIME* date, const S* altPath) {
  ISOFS_TRACE("ISO9660_FilesystemManager::add_path<S>") << ") Adding pure path: " << DirUtl::Narrow(DirUtl::Str(path)) << endl;
  I_Directory* saved = cwd_;
  I_Directory* created = add_path_chdir(DirUtl::Str(path), DirUtl::Str(altPath), date);
  cwd_ = saved;
  return created;
}

template <class S>
I_File* ISO9660_FilesystemManager::add_path_xa(const S* path, DWORD size, DWORD start, WORD flags,
                                               const SYSTEMTIME* date, const S* altPath, WORD attributes,
                                               BYTE fileNumber, WORD groupId, WORD userId) {
  static const Where where{"ISO9660_FilesystemManager::add_path_xa<S>",
                           "Include/ISO9660_FilesystemManager-Templates", 252, 252};
  const XAInfo xa{attributes, fileNumber, groupId, userId};
  I_File* f = add_entry(where, path, size, start, flags, date, altPath, &xa, true, date);
  note_start(start, size);
  return f;
}

template <class S>
I_Directory* ISO9660_FilesystemManager::create_dir(const S* pathIn, const S* altIn, const SYSTEMTIME* date) {
  static const Where where{"ISO9660_FilesystemManager::create_dir<S>",
                           "Include/ISO9660_FilesystemManager-Templates", 165, 165};
  I_Directory* saved = cwd_;
  const std::basic_string<S> path = DirUtl::Str(pathIn);
  walk_dirname(where, DirUtl::dirname(path), path);
  const std::basic_string<S> name = DirUtl::basename(path);
  if (name.empty()) {
    cwd_ = saved;
    ThrowTrel<E_InvalidPath>(where.function, where.module, where.invalidLine,
                             DirUtl::Narrow(path) + " doesn't contain a directory name at the end.");
  }
  I_Directory* d = make_dir(name, DirUtl::basename(DirUtl::Str(altIn)), date);
  cwd_ = saved;
  return d;
}

}  // namespace isofs
