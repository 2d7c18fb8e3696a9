#include "encoder/common/OutputFile.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "encoder/common/Failure.h"
#include "platform/base/Path.h"

namespace vidlathe {

OutputFile::~OutputFile() {
  if (file_) {
    std::fclose(file_);
    if (!direct_) unlink(temp_.c_str());
  }
}

bool OutputFile::Open(const std::string& path) {
  if (path.empty()) return Fail("no output file given");
  if (file_) return false;
  target_ = path;
  struct stat st {};
  if (stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) return Fail(FileReason(path, "is a folder, not a file"));
  if (stat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) {
    direct_ = true;
    file_ = std::fopen(path.c_str(), "wb");
    if (!file_) return Fail(FileReason(path, "cannot open the output", errno));
  } else {
    std::string dir = vexa::base::DirName(path);
    if (dir.empty()) dir.push_back('.');
    std::string name = vexa::base::BaseName(path);
    name.insert(name.begin(), '.');
    const std::string temp = vexa::base::MakeTempFile(dir, name);
    if (temp.empty()) return Fail(FileReason(path, "cannot create the output", errno));
    chmod(temp.c_str(), 0644);
    temp_ = temp;
    file_ = std::fopen(temp_.c_str(), "w+b");
    if (!file_) {
      const int error = errno;
      unlink(temp_.c_str());
      return Fail(FileReason(path, "cannot create the output", error));
    }
  }
  // Pack-sized writes go to the file in large blocks.
  std::setvbuf(file_, nullptr, _IOFBF, 64 * 1024);
  return true;
}

bool OutputFile::Commit(bool ok) {
  if (!file_) return false;
  const bool wanted = ok;
  if (std::fflush(file_) != 0 || std::ferror(file_)) ok = false;
  if (std::fclose(file_) != 0) ok = false;
  file_ = nullptr;
  if (wanted && !ok) Fail(FileReason(target_, "cannot write the stream", errno));
  if (direct_) return ok;
  if (ok && std::rename(temp_.c_str(), target_.c_str()) != 0) {
    ok = false;
    Fail(FileReason(target_, "cannot put the output in place", errno));
  }
  if (!ok) unlink(temp_.c_str());
  return ok;
}

}  // namespace vidlathe
