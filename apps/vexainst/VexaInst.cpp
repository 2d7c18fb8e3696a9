#include "apps/vexainst/VexaInst.h"

#include <dirent.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "idl/ProductKey.h"
#include "platform/base/Path.h"
#include "platform/base/Text.h"
#include "platform/registry/Registry.h"

namespace vexa::inst {

namespace {

// The file the data folder keeps on uninstall.
constexpr char kKeptDataFile[] = "delivery.kvz";
// The old per-user key removed on uninstall.
constexpr char kOldUserKey[] = "Software\\Tervane\\Kv Falvane";

int PidfdOpen(pid_t pid) { return static_cast<int>(::syscall(SYS_pidfd_open, pid, 0)); }

int PidfdSendSignal(int pidfd, int sig) {
  return static_cast<int>(::syscall(SYS_pidfd_send_signal, pidfd, sig, nullptr, 0));
}

// Waits until the process behind pidfd has ended, up to wait.
bool WaitForEnd(int pidfd, std::chrono::milliseconds wait) {
  const auto deadline = std::chrono::steady_clock::now() + wait;
  for (;;) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    pollfd p{pidfd, POLLIN, 0};
    const int n = ::poll(&p, 1, static_cast<int>(std::max<long long>(0, left.count())));
    if (n > 0) return true;
    if (n == 0) return false;
    if (errno != EINTR) return false;
  }
}

// The executable's file name of a process, without " (deleted)" when the
// file was replaced or removed while it ran; "" when it cannot be read.
std::string ExecutableName(const std::string& procDir) {
  char target[PATH_MAX];
  const ssize_t n = ::readlink((procDir + "/exe").c_str(), target, sizeof target - 1);
  if (n <= 0) return "";
  std::string path(target, static_cast<std::size_t>(n));
  constexpr std::string_view kDeleted = " (deleted)";
  if (path.size() > kDeleted.size() &&
      path.compare(path.size() - kDeleted.size(), kDeleted.size(), kDeleted) == 0) {
    path.resize(path.size() - kDeleted.size());
  }
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool OwnedByCaller(const std::string& procDir) {
  struct stat st;
  return ::stat(procDir.c_str(), &st) == 0 && st.st_uid == ::getuid();
}

// Removes every non-folder entry at the top of folder for which remove()
// answers true. Entries that cannot be removed are passed over.
template <typename Pred>
void RemoveFiles(const std::string& folder, Pred remove) {
  DIR* dir = ::opendir(folder.c_str());
  if (!dir) return;
  std::vector<std::string> doomed;
  while (dirent* e = ::readdir(dir)) {
    const std::string name = e->d_name;
    if (name == "." || name == "..") continue;
    struct stat st;
    if (::lstat((folder + name).c_str(), &st) != 0 || S_ISDIR(st.st_mode)) continue;
    if (remove(name)) doomed.push_back(name);
  }
  ::closedir(dir);
  for (const std::string& name : doomed) ::unlink((folder + name).c_str());
}

// Help index files of the installation folder: a name whose text from its
// first dot on starts with ".FT", or is ".GID" or ".OPT" (with case).
bool IsHelpIndexFile(const std::string& name) {
  const std::size_t dot = name.find('.');
  if (dot == std::string::npos) return false;
  const std::string_view ext = std::string_view(name).substr(dot);
  return ext.starts_with(".FT") || ext == ".GID" || ext == ".OPT";
}

}  // namespace

Switches ParseSwitches(int argc, const char* const* argv) {
  Switches s;
  for (int i = 0; i < argc; ++i) {
    const std::string_view arg = argv[i] ? argv[i] : "";
    std::size_t pos = 0;
    while (pos < arg.size()) {
      const std::size_t end = arg.find_first_of(" \t\n", pos);
      const std::string_view token = arg.substr(pos, end == std::string_view::npos ? arg.npos : end - pos);
      if (token == "/r" || token == "-r") s.registerFilter = true;
      if (token == "/k" || token == "-k") s.kill = true;
      if (token == "/u" || token == "-u") s.uninstall = true;
      if (token == "/s" || token == "-s") s.keepData = true;
      if (end == std::string_view::npos) break;
      pos = end + 1;
    }
  }
  return s;
}

std::vector<pid_t> FindProductProcesses() {
  std::vector<std::pair<int, pid_t>> found;  // (program's rank, pid)
  DIR* proc = ::opendir("/proc");
  if (!proc) return {};
  const pid_t self = ::getpid();
  while (dirent* e = ::readdir(proc)) {
    char* end = nullptr;
    const long pid = std::strtol(e->d_name, &end, 10);
    if (pid <= 0 || *end != '\0' || pid == self) continue;
    const std::string dir = std::string("/proc/") + e->d_name;
    if (!OwnedByCaller(dir)) continue;
    const std::string name = ExecutableName(dir);
    for (std::size_t rank = 0; rank < std::size(kProductPrograms); ++rank) {
      if (name == kProductPrograms[rank]) found.emplace_back(static_cast<int>(rank), static_cast<pid_t>(pid));
    }
  }
  ::closedir(proc);
  std::sort(found.begin(), found.end());
  std::vector<pid_t> pids;
  for (const auto& f : found) pids.push_back(f.second);
  return pids;
}

bool StopProcess(pid_t pid, std::chrono::milliseconds wait) {
  // A pidfd names this very process even if its number is reused meanwhile.
  const int pidfd = PidfdOpen(pid);
  if (pidfd < 0) return errno == ESRCH;
  bool gone = false;
  if (PidfdSendSignal(pidfd, SIGTERM) != 0) {
    gone = errno == ESRCH;
  } else {
    gone = WaitForEnd(pidfd, wait);
  }
  if (!gone) {
    if (PidfdSendSignal(pidfd, SIGKILL) == 0 || errno == ESRCH) gone = WaitForEnd(pidfd, wait);
  }
  ::close(pidfd);
  return gone;
}

void StopPrograms() {
  // Each program gets the time the original gave it after ending it.
  constexpr std::chrono::seconds kWait{10};
  for (pid_t pid : FindProductProcesses()) StopProcess(pid, kWait);
}

std::string FolderToClean(std::string_view path) {
  if (path.empty()) return "";
  const std::string native = vexa::base::ToNativePath(path);
  if (native[0] != '/') return "";
  char resolved[PATH_MAX];
  if (!::realpath(native.c_str(), resolved)) return "";
  const std::string canonical = resolved;
  struct stat st;
  if (::stat(canonical.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return "";
  if (canonical == "/") return "";
  if (const char* home = std::getenv("HOME"); home && *home) {
    char homeResolved[PATH_MAX];
    if (::realpath(home, homeResolved) && canonical == homeResolved) return "";
  }
  return canonical + "/";
}

void CleanUp(bool keepData) {
  using vexa::reg::Hive;
  const std::optional<std::string> dataPath = vexa::reg::GetString(Hive::LocalMachine, kProductKey, "APP_PATH_DATA");
  if (dataPath && !keepData) {
    const std::string data = FolderToClean(*dataPath);
    if (!data.empty()) {
      // The installation folder holds the data folder when that is named
      // "data"; its help index files go.
      const std::string trimmed = data.substr(0, data.size() - 1);
      if (vexa::base::EqualsNoCase(vexa::base::BaseName(trimmed), "data")) {
        const std::string install = FolderToClean(vexa::base::DirName(trimmed));
        if (!install.empty()) RemoveFiles(install, IsHelpIndexFile);
      }
      RemoveFiles(data, [](const std::string& name) { return name != kKeptDataFile; });
    }
  }
  if (const auto appPath = vexa::reg::GetString(Hive::LocalMachine, kProductKey, "APP_PATH")) {
    const std::string program = FolderToClean(*appPath);
    if (!program.empty()) RemoveFiles(program, [](const std::string& name) { return name[0] != '.'; });
  }

  HKEY key = nullptr;
  if (RegOpenKeyEx(HKEY_CURRENT_USER, kOldUserKey, 0, KEY_ALL_ACCESS, &key) == ERROR_SUCCESS) {
    RegDeleteKey(key, "CurrentVersion");
    RegDeleteKey(key, "");
    RegCloseKey(key);
  }
}

void Run(const Switches& switches) {
  // switches.registerFilter: no filter driver exists to register.
  if (switches.uninstall || switches.kill) {
    StopPrograms();
    if (!switches.kill) CleanUp(switches.keepData);
  }
}

}  // namespace vexa::inst
