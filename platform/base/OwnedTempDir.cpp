#include "platform/base/OwnedTempDir.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <mutex>
#include <string>
#include <vector>

#include "platform/base/Path.h"

namespace vexa::base {

namespace {

// Never destroyed: the stop watcher may read it while the program ends.
std::mutex gOwnMutex;
std::vector<std::string>& OwnFolders() {
  static auto* folders = new std::vector<std::string>;
  return *folders;
}

// "PID STARTTIME\n" of this process.
std::string OwnerText() {
  const int pid = static_cast<int>(::getpid());
  return std::to_string(pid) + " " + std::to_string(ProcessStartTime(pid)) + "\n";
}

// Reads the owner file of folder (opened as dirFd) without following a link.
// Only a regular file of this user counts: the program makes it so.
bool ReadOwner(int dirFd, int* pid, unsigned long long* start) {
  const int fd = ::openat(dirFd, kTempOwnerFile, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != ::geteuid()) {
    ::close(fd);
    return false;
  }
  char text[64];
  const ssize_t n = ::read(fd, text, sizeof text - 1);
  ::close(fd);
  if (n <= 0) return false;
  text[n] = '\0';
  char* end = nullptr;
  errno = 0;
  const long p = std::strtol(text, &end, 10);
  if (errno || end == text || *end != ' ' || p <= 0) return false;
  const char* rest = end + 1;
  const unsigned long long s = std::strtoull(rest, &end, 10);
  if (errno || end == rest || *end != '\n') return false;
  *pid = static_cast<int>(p);
  *start = s;
  return true;
}

// True when the folder opened as dirFd is one this program makes for the
// running user: a real folder (the caller opened it without following a
// link) of the effective user, with the mode mkdtemp gives it (0700). A
// folder someone else made or opened up, in a temporary folder everybody
// shares, is never taken for one of ours.
bool MadeByThisUser(int dirFd) {
  struct stat st {};
  return ::fstat(dirFd, &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::geteuid() &&
         (st.st_mode & 07777) == S_IRWXU;
}

// True when name is prefix followed by the six letters or digits that
// mkdtemp puts in place of "XXXXXX".
bool MadeTempName(std::string_view name, std::string_view prefix) {
  if (name.size() != prefix.size() + 6 || name.substr(0, prefix.size()) != prefix) return false;
  for (const char c : name.substr(prefix.size())) {
    if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'))) return false;
  }
  return true;
}

// True when the process that wrote (pid, start) has ended. A process of that
// number that started at another time is a later one that reused it.
bool OwnerGone(int pid, unsigned long long start) {
  if (::kill(pid, 0) == 0 || errno == EPERM) {
    const unsigned long long now = ProcessStartTime(pid);
    return start != 0 && now != 0 && now != start;
  }
  return errno == ESRCH;
}

// Removes the entries of the open folder dirFd, then nothing else; the
// folder itself is the caller's to remove. Links are removed as links. An
// owner file goes last: a removal cut short (the program killed outright)
// leaves a folder that still names its owner, which the next run removes.
bool EmptyFolder(int dirFd) {
  // Entries of a folder that is not writable or searchable cannot go.
  ::fchmod(dirFd, S_IRWXU);
  const int listFd = ::dup(dirFd);
  if (listFd < 0) return false;
  DIR* dir = ::fdopendir(listFd);
  if (!dir) {
    ::close(listFd);
    return false;
  }
  std::vector<std::string> names;
  bool owned = false;
  while (const dirent* e = ::readdir(dir)) {
    const std::string name = e->d_name;
    if (name == kTempOwnerFile) {
      owned = true;
    } else if (name != "." && name != "..") {
      names.push_back(name);
    }
  }
  ::closedir(dir);
  bool ok = true;
  for (const std::string& name : names) {
    if (::unlinkat(dirFd, name.c_str(), 0) == 0 || errno == ENOENT) continue;
    if (errno != EISDIR && errno != EPERM) {
      ok = false;
      continue;
    }
    const int child = ::openat(dirFd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (child < 0) {
      ok = false;
      continue;
    }
    const bool emptied = EmptyFolder(child);
    ::close(child);
    if (!emptied || (::unlinkat(dirFd, name.c_str(), AT_REMOVEDIR) != 0 && errno != ENOENT)) ok = false;
  }
  // Only once everything else went: a folder that keeps some of its
  // content keeps its owner too.
  if (owned && ok && ::unlinkat(dirFd, kTempOwnerFile, 0) != 0 && errno != ENOENT) ok = false;
  return ok;
}

// Removes the folder name inside parentFd, never through a link.
bool RemoveAt(int parentFd, const std::string& name) {
  const int fd = ::openat(parentFd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) {
    if (errno == ENOENT) return true;
    // Not a folder (or a link): removed as a file.
    return ::unlinkat(parentFd, name.c_str(), 0) == 0 || errno == ENOENT;
  }
  const bool emptied = EmptyFolder(fd);
  ::close(fd);
  return emptied && (::unlinkat(parentFd, name.c_str(), AT_REMOVEDIR) == 0 || errno == ENOENT);
}

}  // namespace

unsigned long long ProcessStartTime(int pid) {
  std::string stat;
  if (!ReadFile("/proc/" + std::to_string(pid) + "/stat", &stat)) return 0;
  // The name in parentheses may hold spaces and ')': the fields follow the
  // last ')'. The start time is the 22nd field, the 20th after the name.
  const std::size_t close = stat.rfind(')');
  if (close == std::string::npos) return 0;
  std::size_t at = close + 1;
  for (int field = 3; field < 22; ++field) {
    at = stat.find(' ', at + 1);
    if (at == std::string::npos) return 0;
  }
  return std::strtoull(stat.c_str() + at + 1, nullptr, 10);
}

bool RemoveTreeNoFollow(std::string_view path) {
  // "dir/" names the folder dir.
  while (path.size() > 1 && path.back() == '/') path.remove_suffix(1);
  const std::string p(path);
  std::string parent = DirName(p);
  std::string name = BaseName(p);
  if (name.empty()) return false;
  if (parent.empty()) parent = p[0] == '/' ? "/" : ".";
  const int parentFd = ::open(parent.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (parentFd < 0) return false;
  const bool removed = RemoveAt(parentFd, name);
  ::close(parentFd);
  return removed;
}

int RemoveAbandonedTempDirs(std::string_view dir, std::string_view prefix) {
  const std::string folder = dir.empty() ? TempDirectory() : std::string(dir);
  const int dirFd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dirFd < 0) return 0;
  std::vector<std::string> candidates;
  if (const int listFd = ::dup(dirFd); listFd >= 0) {
    if (DIR* list = ::fdopendir(listFd)) {
      while (const dirent* e = ::readdir(list)) {
        if (MadeTempName(e->d_name, prefix)) candidates.emplace_back(e->d_name);
      }
      ::closedir(list);
    } else {
      ::close(listFd);
    }
  }
  int removed = 0;
  for (const std::string& name : candidates) {
    // Checked and emptied through one descriptor of the folder itself,
    // never through a link: what is emptied is what was checked.
    const int fd = ::openat(dirFd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) continue;
    int pid = 0;
    unsigned long long start = 0;
    const bool abandoned = MadeByThisUser(fd) && ReadOwner(fd, &pid, &start) && OwnerGone(pid, start);
    const bool emptied = abandoned && EmptyFolder(fd);
    ::close(fd);
    if (emptied && (::unlinkat(dirFd, name.c_str(), AT_REMOVEDIR) == 0 || errno == ENOENT)) ++removed;
  }
  ::close(dirFd);
  return removed;
}

std::string MakeOwnedTempDir(std::string_view dir, std::string_view prefix) {
  RemoveAbandonedTempDirs(dir, prefix);
  const std::string made = MakeTempDir(dir, prefix);
  if (made.empty()) return "";
  const std::string owner = JoinPath(made, kTempOwnerFile);
  const std::string text = OwnerText();
  const int fd = ::open(owner.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
  const bool written = fd >= 0 && ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
  const int why = errno;
  if (fd >= 0) ::close(fd);
  if (!written) {
    RemoveTreeNoFollow(made);
    errno = why;
    return "";
  }
  std::lock_guard lock(gOwnMutex);
  OwnFolders().push_back(made);
  return made;
}

void RemoveOwnTempDirs() {
  std::vector<std::string> folders;
  {
    std::lock_guard lock(gOwnMutex);
    folders = OwnFolders();
  }
  const int self = static_cast<int>(::getpid());
  const unsigned long long start = ProcessStartTime(self);
  for (const std::string& path : folders) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) continue;
    int pid = 0;
    unsigned long long written = 0;
    // Only a folder of this user's that still names this process: the name
    // may have been taken by another program since this one removed its
    // folder.
    const bool mine = MadeByThisUser(fd) && ReadOwner(fd, &pid, &written) && pid == self && written == start;
    ::close(fd);
    // Workers may still be adding files: a few tries.
    for (int i = 0; mine && i < 3 && !RemoveTreeNoFollow(path); ++i) {
    }
  }
}

}  // namespace vexa::base
