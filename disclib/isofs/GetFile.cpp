// Looking a file up again by path.
#include "disclib/isofs/Include/ISO9660_FilesystemManager-Templates.h"

namespace isofs {

I_File* ISO9660_FilesystemManager::GetFile(const char* pathIn) {
  static const Where where{"ISO9660_FilesystemManager::GetFile", "GetFile", 53, 53};
  I_Directory* saved = cwd_;
  const std::string path = DirUtl::Str(pathIn);
  walk_dirname(where, DirUtl::dirname(path), path);
  const std::string name = DirUtl::basename(path);
  I_File* f = cwd_->GetFile(name.c_str());
  if (!f) {
    cwd_ = saved;
    ThrowTrel<E_NoSuchPath>(where.function, where.module, 66, path + "(" + name + ")");
  }
  cwd_ = saved;
  return f;
}

}  // namespace isofs
