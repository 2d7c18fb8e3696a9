// Putting files and directories into the tree by path.
#include "disclib/isofs/Include/ISO9660_FilesystemManager-Templates.h"

namespace isofs {

template I_File* ISO9660_FilesystemManager::add_file<char>(const char*, DWORD, DWORD, WORD, const SYSTEMTIME*,
                                                           const char*);
template I_File* ISO9660_FilesystemManager::add_file<char16_t>(const char16_t*, DWORD, DWORD, WORD,
                                                               const SYSTEMTIME*, const char16_t*);
template I_File* ISO9660_FilesystemManager::add_file_xa<char16_t>(const char16_t*, DWORD, DWORD, WORD,
                                                                  const SYSTEMTIME*, const char16_t*, WORD, BYTE,
                                                                  WORD, WORD);
template I_File* ISO9660_FilesystemManager::add_path<char>(const char*, DWORD, DWORD, WORD, const SYSTEMTIME*,
                                                           const char*);
template I_File* ISO9660_FilesystemManager::add_path<char16_t>(const char16_t*, DWORD, DWORD, WORD,
                                                               const SYSTEMTIME*, const char16_t*);
template I_Directory* ISO9660_FilesystemManager::add_path<char>(const char*, const SYSTEMTIME*, const char*);
template I_Directory* ISO9660_FilesystemManager::add_path<char16_t>(const char16_t*, const SYSTEMTIME*,
                                                                    const char16_t*);
template I_File* ISO9660_FilesystemManager::add_path_xa<char16_t>(const char16_t*, DWORD, DWORD, WORD,
                                                                  const SYSTEMTIME*, const char16_t*, WORD, BYTE,
                                                                  WORD, WORD);
template I_Directory* ISO9660_FilesystemManager::create_dir<char>(const char*, const char*, const SYSTEMTIME*);
template I_Directory* ISO9660_FilesystemManager::create_dir<char16_t>(const char16_t*, const char16_t*,
                                                                      const SYSTEMTIME*);

std::string DiscPathEntry(std::string_view name) {
  std::string out(name);
  for (char& c : out) {
    if (DirUtl::IsSep(c)) c = '_';
  }
  return out;
}

std::u16string DiscPathEntry(std::u16string_view name) {
  std::u16string out(name);
  for (char16_t& c : out) {
    if (DirUtl::IsSep(c)) c = u'_';
  }
  return out;
}

I_File* ISO9660_FilesystemManager::AddFile(const char* path, DWORD size, DWORD start, WORD flags,
                                           const char* altName) {
  static const Where where{"ISO9660_FilesystemManager::AddFile", "BuildTree", 66, 66};
  return add_entry<char>(where, path, size, start, flags, nullptr, altName, nullptr, false, nullptr);
}

I_File* ISO9660_FilesystemManager::AddFileXA(const char* path, DWORD size, DWORD start, WORD flags,
                                             const SYSTEMTIME* date, WORD attributes, BYTE fileNumber,
                                             WORD groupId, WORD userId) {
  static const Where where{"ISO9660_FilesystemManager::AddFileXA", "BuildTree", 97, 97};
  const XAInfo xa{attributes, fileNumber, groupId, userId};
  return add_entry<char>(where, path, size, start, flags, date, nullptr, &xa, false, nullptr);
}

I_File* ISO9660_FilesystemManager::AddPath(const char* path, DWORD size, DWORD start, WORD flags,
                                           const char* altPath) {
  static const Where where{"ISO9660_FilesystemManager::AddPath", "BuildTree", 159, 159};
  return add_entry<char>(where, path, size, start, flags, nullptr, altPath, nullptr, true, nullptr);
}

I_File* ISO9660_FilesystemManager::AddPathXA(const char* path, DWORD size, DWORD start, WORD flags,
                                             const SYSTEMTIME* date, WORD attributes, BYTE fileNumber,
                                             WORD groupId, WORD userId) {
  static const Where where{"ISO9660_FilesystemManager::AddPathXA", "BuildTree", 225, 225};
  const XAInfo xa{attributes, fileNumber, groupId, userId};
  return add_entry<char>(where, path, size, start, flags, date, nullptr, &xa, true, date);
}

I_Directory* ISO9660_FilesystemManager::MakePath(const char* path, const char* altPath) {
  I_Directory* saved = cwd_;
  I_Directory* created = add_path_chdir(DirUtl::Str(path), DirUtl::Str(altPath), nullptr);
  cwd_ = saved;
  return created;
}

I_Directory* ISO9660_FilesystemManager::CreateDir(const char* pathIn, const char* altName) {
  static const Where where{"ISO9660_FilesystemManager::CreateDir", "BuildTree", 268, 268};
  ISOFS_TRACE("ISO9660_FilesystemManager::CreateDir") << (pathIn ? pathIn : "") << endl;
  I_Directory* saved = cwd_;
  const std::string path = DirUtl::Str(pathIn);
  walk_dirname(where, DirUtl::dirname(path), path);
  const std::string name = DirUtl::basename(path);
  if (name.empty()) {
    cwd_ = saved;
    ThrowTrel<E_InvalidPath>(where.function, where.module, where.invalidLine,
                             path + " doesn't contain a directory name at the end.");
  }
  I_Directory* d = make_dir(name, DirUtl::basename(DirUtl::Str(altName)), nullptr);
  cwd_ = saved;
  return d;
}

int ISO9660_FilesystemManager::ChangeDir(const char* path) {
  static const Where where{"ISO9660_FilesystemManager::ChangeDir", "BuildTree", 316, 316};
  // The current directory stays where the walk ends.
  walk_dirname(where, DirUtl::Str(path), DirUtl::Str(path));
  return 0;
}

int ISO9660_FilesystemManager::ChangeDirISO(const char* path) {
  if (!path) {
    ThrowTrel<E_UnsuppMethod>("ISO9660_FilesystemManager::ChangeDirISO", "BuildTree", 325, "Changing ISO dir");
  }
  ThrowTrel<E_UnsuppMethod>("ISO9660_FilesystemManager::ChangeDirISO", "BuildTree", 322,
                            std::string("Changing ISO dir to ") + path);
}

}  // namespace isofs
