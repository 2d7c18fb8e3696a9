#include "encoder/common/OutputFile.h"

#include <sys/stat.h>
#include <unistd.h>

#include "platform/base/Path.h"

namespace vidlathe {

OutputFile::~OutputFile() {
  if (file_) {
    std::fclose(file_);
    if (!direct_) unlink(temp_.c_str());
  }
}

bool OutputFile::Open(const std::string& path) {
  if (path.empty() || file_) return false;
  target_ = path;
  struct stat st {};
  if (stat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) {
    direct_ = true;
    file_ = std::fopen(path.c_str(), "wb");
  } else {
    std::string dir = vexa::base::DirName(path);
    if (dir.empty()) dir.push_back('.');
    std::string name = vexa::base::BaseName(path);
    name.insert(name.begin(), '.');
    const std::string temp = vexa::base::MakeTempFile(dir, name);
    if (temp.empty()) return false;
    chmod(temp.c_str(), 0644);
    temp_ = temp;
    file_ = std::fopen(temp_.c_str(), "w+b");
    if (!file_) unlink(temp_.c_str());
  }
  // Pack-sized writes go to the file in large blocks.
  if (file_) std::setvbuf(file_, nullptr, _IOFBF, 64 * 1024);
  return file_ != nullptr;
}

bool OutputFile::Commit(bool ok) {
  if (!file_) return false;
  if (std::fflush(file_) != 0 || std::ferror(file_)) ok = false;
  if (std::fclose(file_) != 0) ok = false;
  file_ = nullptr;
  if (direct_) return ok;
  if (ok && std::rename(temp_.c_str(), target_.c_str()) != 0) ok = false;
  if (!ok) unlink(temp_.c_str());
  return ok;
}

}  // namespace vidlathe
