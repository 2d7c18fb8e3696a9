#include "pcpages/FolderTree.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <memory>
#include <vector>

namespace vexa::pcpages {

namespace {

struct DirCloser {
  void operator()(DIR* d) const { closedir(d); }
};
using DirHandle = std::unique_ptr<DIR, DirCloser>;

class Fd {
 public:
  explicit Fd(int fd) : fd_(fd) {}
  ~Fd() {
    if (fd_ >= 0) close(fd_);
  }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  int get() const { return fd_; }
  // Closes now, reporting whether the close succeeded.
  bool Close() {
    const int fd = fd_;
    fd_ = -1;
    return close(fd) == 0;
  }

 private:
  int fd_;
};

bool Fail(std::string* why, const std::string& what, const std::string& path) {
  if (why) *why = what + " " + path + ": " + std::strerror(errno);
  return false;
}

// The names in a folder, read before anything in it changes.
bool ListFolder(const std::string& folder, std::vector<std::string>* names, std::string* why) {
  DirHandle d(opendir(folder.c_str()));
  if (!d) return Fail(why, "cannot read folder", folder);
  errno = 0;
  while (dirent* e = readdir(d.get())) {
    const std::string name = e->d_name;
    if (name != "." && name != "..") names->push_back(name);
    errno = 0;
  }
  if (errno != 0) return Fail(why, "cannot read folder", folder);
  return true;
}

bool CopyFile(const std::string& from, const std::string& to, std::string* why) {
  Fd in(open(from.c_str(), O_RDONLY | O_CLOEXEC));
  if (in.get() < 0) return Fail(why, "cannot read", from);
  Fd out(open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644));
  if (out.get() < 0) return Fail(why, "cannot create", to);
  bool ok = true;
  char buf[65536];
  for (;;) {
    const ssize_t n = read(in.get(), buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      ok = Fail(why, "cannot read", from);
      break;
    }
    if (n == 0) break;
    for (ssize_t done = 0; done < n;) {
      const ssize_t w = write(out.get(), buf + done, static_cast<std::size_t>(n - done));
      if (w < 0 && errno == EINTR) continue;
      if (w <= 0) {
        ok = Fail(why, "cannot write", to);
        break;
      }
      done += w;
    }
    if (!ok) break;
  }
  if (!out.Close() && ok) ok = Fail(why, "cannot write", to);
  if (!ok) unlink(to.c_str());  // no half-copied file stays behind
  return ok;
}

// Removes one entry; on failure makes its folder writable and tries again.
bool RemoveEntry(const std::string& folder, const std::string& path, bool isDir, std::string* why) {
  auto remove = [&] { return (isDir ? rmdir(path.c_str()) : unlink(path.c_str())) == 0; };
  if (remove()) return true;
  struct stat st {};
  if (stat(folder.c_str(), &st) == 0) chmod(folder.c_str(), (st.st_mode & 07777) | S_IRWXU);
  if (remove()) return true;
  return Fail(why, "cannot delete", path);
}

bool EmptyFolder(const std::string& folder, std::string* why) {
  std::vector<std::string> names;
  if (!ListFolder(folder, &names, why)) {
    // A folder we may not read: make it ours first, as far as we may.
    struct stat st {};
    if (stat(folder.c_str(), &st) != 0 || chmod(folder.c_str(), (st.st_mode & 07777) | S_IRWXU) != 0) return false;
    names.clear();
    if (!ListFolder(folder, &names, why)) return false;
  }
  for (const std::string& name : names) {
    const std::string path = folder + "/" + name;
    struct stat st {};
    if (lstat(path.c_str(), &st) != 0) return Fail(why, "cannot examine", path);
    if (S_ISDIR(st.st_mode)) {
      if (name.front() == '.') continue;
      if (!EmptyFolder(path, why)) return false;
      if (!RemoveEntry(folder, path, true, why)) return false;
    } else {
      if (!RemoveEntry(folder, path, false, why)) return false;
    }
  }
  return true;
}

bool CopyFolder(const std::string& from, const std::string& to, std::string* why) {
  struct stat st {};
  if (stat(to.c_str(), &st) != 0) {
    if (mkdir(to.c_str(), 0755) != 0) return Fail(why, "cannot create folder", to);
  } else if (!S_ISDIR(st.st_mode)) {
    errno = ENOTDIR;
    return Fail(why, "cannot create folder", to);
  }
  std::vector<std::string> names;
  if (!ListFolder(from, &names, why)) return false;
  for (const std::string& name : names) {
    const std::string src = from + "/" + name;
    const std::string dst = to + "/" + name;
    struct stat ls {};
    if (lstat(src.c_str(), &ls) != 0) return Fail(why, "cannot examine", src);
    struct stat fs = ls;
    if (S_ISLNK(ls.st_mode) && stat(src.c_str(), &fs) != 0) return Fail(why, "cannot follow", src);
    if (S_ISDIR(fs.st_mode)) {
      if (name.front() == '.' || S_ISLNK(ls.st_mode)) continue;
      if (!CopyFolder(src, dst, why)) return false;
    } else if (S_ISREG(fs.st_mode)) {
      if (!CopyFile(src, dst, why)) return false;
    }
  }
  return true;
}

// The path with links and dots resolved, "" when it does not exist.
std::string Canonical(const std::string& path) {
  std::error_code ec;
  const std::filesystem::path p = std::filesystem::canonical(path, ec);
  return ec ? std::string() : p.string();
}

}  // namespace

bool CopyTree(std::string_view from, std::string_view to, std::string* why) {
  const std::string src(from), dst(to);
  struct stat st {};
  if (src.empty() || stat(src.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
    if (why) *why = "no such folder: " + src;
    return false;
  }
  // A destination inside the source would be copied into itself.
  const std::string a = Canonical(src), b = Canonical(dst);
  if (!a.empty() && !b.empty() && (b == a || b.compare(0, a.size() + 1, a + "/") == 0)) {
    if (why) *why = dst + " lies inside " + src;
    return false;
  }
  return CopyFolder(src, dst, why);
}

bool EmptyTree(std::string_view folder, std::string* why) {
  const std::string f(folder);
  struct stat st {};
  if (f.empty() || stat(f.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
    if (why) *why = "no such folder: " + f;
    return false;
  }
  if (Canonical(f) == "/") {
    if (why) *why = "refusing to empty /";
    return false;
  }
  return EmptyFolder(f, why);
}

}  // namespace vexa::pcpages
